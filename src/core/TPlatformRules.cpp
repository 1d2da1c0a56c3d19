#include "core/TPlatformRules.h"

bool TPlatformRules::IsWayland(const QString& platformName)
{
    return platformName.startsWith(QLatin1String("wayland"));
}

bool TPlatformRules::PositionsHonoured(const QString& platformName)
{
    return !IsWayland(platformName);
}

bool TPlatformRules::ForeignWindowsVisible(const QString& platformName)
{
    return !IsWayland(platformName);
}
