#include "desktop/TDesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");

// Notification servers may read the body as simple markup: the mail's text must stay text.
QString plain(const QString& text)
{
    return text.simplified().toHtmlEscaped();
}

} // namespace

TDesktopNotifier::TDesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus)
{
    if (m_bus.isConnected()) {
        // Sent before ActionInvoked by servers that let the activated program raise its window (Wayland).
        m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
                      SLOT(activationToken(uint, QString)));
        m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                      SLOT(actionInvoked(uint, QString)));
        m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                      SLOT(notificationClosed(uint, uint)));
    }
}

QString TDesktopNotifier::Summary(int count)
{
    return tr("Mailvane：%n 封新郵件", nullptr, count);
}

QString TDesktopNotifier::Body(int count, const QList<TMail>& newest)
{
    QStringList lines;
    for (const TMail& mail : newest) {
        if (lines.size() == MaxListed) {
            break;
        }
        lines << plain(mail.From) + QStringLiteral(" — ") + plain(mail.Subject);
    }
    const int more = count - int(lines.size());
    if (more > 0 && !lines.isEmpty()) {
        lines << tr("…還有 %n 封", nullptr, more);
    }
    return lines.join(QLatin1Char('\n'));
}

void TDesktopNotifier::Notify(int count, const QList<TMail>& newest)
{
    if (count <= 0 || !m_bus.isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("mailvane"));
    hints.insert(QStringLiteral("category"), QStringLiteral("email.arrived"));
    // Replaces the bubble of the previous check when it is still shown, so they do not pile up.
    call << QStringLiteral("Mailvane") << m_lastId << QStringLiteral("mailvane") << Summary(count)
         << Body(count, newest) << QStringList{kDefaultAction, tr("開啟 Mailvane")} << hints << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        // No service, or one that failed: the other announcements are enough.
        if (!reply.isError()) {
            m_lastId = reply.value();
            m_shown.insert(m_lastId);
        }
        w->deleteLater();
    });
}

void TDesktopNotifier::activationToken(uint id, const QString& token)
{
    if (m_shown.contains(id)) {
        m_tokens.insert(id, token);
    }
}

void TDesktopNotifier::actionInvoked(uint id, const QString& action)
{
    // Other programs' notifications share the signal.
    if (!m_shown.contains(id)) {
        return;
    }
    // A token is good for one activation only.
    const QString token = m_tokens.take(id);
    if (action != kDefaultAction) {
        return;
    }
    if (OnActivated) {
        OnActivated(token);
    }
}

void TDesktopNotifier::notificationClosed(uint id, uint)
{
    m_shown.remove(id);
    m_tokens.remove(id);
    if (id == m_lastId) {
        m_lastId = 0;
    }
}
