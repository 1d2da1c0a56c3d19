#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QString>

#include <functional>
#include <optional>

// Whether minimising can go to a notification area, and the one explanation per run
// when it cannot: then the frame stays an ordinary minimised window on the task bar.
class TTrayFallback {
    Q_DECLARE_TR_FUNCTIONS(TTrayFallback)

public:
    // Where Qt's D-Bus tray puts the icon (KDE, GNOME with the AppIndicator extension, ...).
    static inline const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

    // Qt's own tray, or a StatusNotifierWatcher on the session bus.
    static bool Available();
    static bool WatcherPresent(const QDBusConnection& bus);

    // Seams for tests: what Qt reports about its tray, and the bus looked at. Empty or
    // nullopt: the real ones.
    static void SetQtReport(std::function<bool()> report);
    static void SetBus(std::optional<QDBusConnection> bus);

    // The reason for the message window the first time it is asked for; empty afterwards.
    QString ReasonOnce();
    static QString Reason();

private:
    bool m_told = false;
};
