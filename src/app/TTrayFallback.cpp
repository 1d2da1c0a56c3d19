#include "app/TTrayFallback.h"

#include "widgets/TTrayIcon.h"

#include <QDBusConnectionInterface>

namespace {

std::function<bool()>& qtReport()
{
    static std::function<bool()> report;
    return report;
}

std::optional<QDBusConnection>& busOverride()
{
    static std::optional<QDBusConnection> bus;
    return bus;
}

} // namespace

bool TTrayFallback::Available()
{
    const bool qt = qtReport() ? qtReport()() : TTrayIcon::Available();
    return qt || WatcherPresent(busOverride() ? *busOverride() : QDBusConnection::sessionBus());
}

bool TTrayFallback::WatcherPresent(const QDBusConnection& bus)
{
    if (!bus.isConnected() || !bus.interface()) {
        return false;
    }
    const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(WatcherService);
    return reply.isValid() && reply.value();
}

void TTrayFallback::SetQtReport(std::function<bool()> report)
{
    qtReport() = std::move(report);
}

void TTrayFallback::SetBus(std::optional<QDBusConnection> bus)
{
    busOverride() = std::move(bus);
}

QString TTrayFallback::ReasonOnce()
{
    if (m_told) {
        return QString();
    }
    m_told = true;
    return Reason();
}

QString TTrayFallback::Reason()
{
    return tr("桌面沒有通知區域（系統匣），Mailvane 改為一般的最小化視窗，可從工作列叫回。\n");
}
