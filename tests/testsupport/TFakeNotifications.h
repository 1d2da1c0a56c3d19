#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A notification service registered by a test on its own bus: it records every Notify
// call and can send the signals a desktop sends when the user acts on a notification.
class TFakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct TCall {
        QString AppName;
        uint ReplacesId = 0;
        QString Icon;
        QString Summary;
        QString Body;
        QStringList Actions;
        QVariantMap Hints;
        int Timeout = 0;
        uint Id = 0;
    };

    explicit TFakeNotifications(const QDBusConnection& bus);
    // Registers the service name and object; false when the bus refuses.
    bool Register();

    QList<TCall> Calls;

    void InvokeAction(uint id, const QString& action);
    // Sent before InvokeAction by servers that hand the activated program a window token.
    void SendActivationToken(uint id, const QString& token);

signals:
    // After a Notify call was recorded as the last of Calls.
    void Called();

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);
    QStringList GetCapabilities();

private:
    QDBusConnection m_bus;
    uint m_nextId = 100;
};
