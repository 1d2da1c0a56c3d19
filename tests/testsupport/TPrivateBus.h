#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A D-Bus session bus of the test's own: a dbus-daemon with no service folders, so that
// nothing is started on demand and only what the test registers answers.
class TPrivateBus {
public:
    TPrivateBus();
    ~TPrivateBus();
    TPrivateBus(const TPrivateBus&) = delete;
    TPrivateBus& operator=(const TPrivateBus&) = delete;

    // Starts the daemon; false with a reason in Error() when it cannot.
    bool Start();
    QString Address() const { return m_address; }
    QString Error() const { return m_error; }
    // A folder that lives as long as the bus, for the test's other daemons.
    QString Folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};
