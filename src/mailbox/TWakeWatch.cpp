#include "mailbox/TWakeWatch.h"

#include <QNetworkInformation>

TWakeWatch& TWakeWatch::Instance()
{
    static TWakeWatch* watch = new TWakeWatch(QDBusConnection::systemBus());
    return *watch;
}

TWakeWatch::TWakeWatch(const QDBusConnection& bus, bool network, QObject* parent) : QObject(parent)
{
    QDBusConnection connection = bus;
    if (connection.isConnected()) {
        connection.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                           SLOT(prepareForSleep(bool)));
    }
    if (network && QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        QNetworkInformation* info = QNetworkInformation::instance();
        m_online = info->reachability() == QNetworkInformation::Reachability::Online;
        connect(info, &QNetworkInformation::reachabilityChanged, this,
                [this](QNetworkInformation::Reachability reachability) {
                    NetworkReachable(reachability == QNetworkInformation::Reachability::Online);
                });
    }
}

void TWakeWatch::NetworkReachable(bool online)
{
    const bool back = online && !m_online;
    m_online = online;
    if (back) {
        emit Woke();
    }
}

void TWakeWatch::prepareForSleep(bool sleeping)
{
    // Sent with true before the sleep and with false after it.
    if (!sleeping) {
        emit Woke();
    }
}
