#pragma once

#include <QDBusConnection>
#include <QObject>

// Tells when connections that stay open may have died unnoticed: the computer woke from
// sleep (logind's PrepareForSleep(false) on the system bus), or the network became
// reachable again (QNetworkInformation, where a backend exists). Costs no wake-ups while
// nothing happens.
class TWakeWatch : public QObject {
    Q_OBJECT
public:
    // The program's watcher on the system bus, made at first use.
    static TWakeWatch& Instance();

    // Listens on bus for logind's signal; with network, to the network's reachability too.
    explicit TWakeWatch(const QDBusConnection& bus, bool network = true, QObject* parent = nullptr);
    // Listens to nothing: tests report the network through NetworkReachable.
    explicit TWakeWatch(QObject* parent = nullptr) : QObject(parent) {}

    // The network is reachable (online) or not; Woke when it comes back.
    void NetworkReachable(bool online);

signals:
    // Reconnect now: waits made before are meaningless.
    void Woke();

private slots:
    void prepareForSleep(bool sleeping);

private:
    bool m_online = true;
};
