#include "testsupport/TFakeNotifications.h"

#include <QDBusMessage>

TFakeNotifications::TFakeNotifications(const QDBusConnection& bus) : m_bus(bus) {}

bool TFakeNotifications::Register()
{
    return m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                QDBusConnection::ExportAllSlots) &&
           m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

uint TFakeNotifications::Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout)
{
    const uint id = replacesId ? replacesId : ++m_nextId;
    Calls.append({appName, replacesId, icon, summary, body, actions, hints, timeout, id});
    emit Called();
    return id;
}

QStringList TFakeNotifications::GetCapabilities()
{
    return {QStringLiteral("actions"), QStringLiteral("body")};
}

void TFakeNotifications::InvokeAction(uint id, const QString& action)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                   QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
    signal << id << action;
    m_bus.send(signal);
}

void TFakeNotifications::SendActivationToken(uint id, const QString& token)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                   QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActivationToken"));
    signal << id << token;
    m_bus.send(signal);
}
