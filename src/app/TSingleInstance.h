#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// One running copy per settings file. The first start holds a lock file beside the
// settings file and listens on a local socket named after the file's path; a later
// start asks it to come to the front and ends.
class TSingleInstance : public QObject {
public:
    explicit TSingleInstance(const QString& settingsPath, QObject* parent = nullptr);

    enum class Result { First, Raised, NoAnswer };
    Result Claim();

    // Called in the first copy for every later start.
    std::function<void()> OnRaise;

    static QString ServerName(const QString& settingsPath);

private:
    // Sends the raise request, trying for up to patienceMs; true once it was answered.
    bool askRunningCopy(int patienceMs);
    bool listen();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
