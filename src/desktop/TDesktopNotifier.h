#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

// The desktop's notification bubble (org.freedesktop.Notifications) for new mail. Calls
// are asynchronous: without a notification service nothing shows, nothing is reported and
// nothing waits.
class TDesktopNotifier : public QObject {
    Q_OBJECT
public:
    struct TMail {
        QString From;
        QString Subject;
    };

    // At most this many messages are named in one notification.
    static constexpr int MaxListed = 5;

    // The bus is a seam: tests hand in a private one.
    explicit TDesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // One notification for a check that found count new messages, newest first.
    void Notify(int count, const QList<TMail>& newest);
    // The service's id of the notification shown now; 0 until the service has answered.
    uint ShownId() const { return m_lastId; }

    // The text shown: a title with the count, and one line per message named.
    static QString Summary(int count);
    static QString Body(int count, const QList<TMail>& newest);

    // Run when the user activates one of this program's notifications, with the window
    // activation token the server sent just before (empty when it sent none).
    std::function<void(const QString& activationToken)> OnActivated;

private slots:
    void activationToken(uint id, const QString& token);
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    uint m_lastId = 0;
    QSet<uint> m_shown;
    QHash<uint, QString> m_tokens;
};
