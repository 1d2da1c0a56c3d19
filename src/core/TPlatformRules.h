#pragma once

#include <QString>

// What the window system allows, by the name of Qt's platform plugin
// (QGuiApplication::platformName()): "xcb", "wayland", "wayland-egl", "offscreen", ...
class TPlatformRules {
public:
    static bool IsWayland(const QString& platformName);
    // Wayland clients cannot place their top-level windows; a stored position is ignored there.
    static bool PositionsHonoured(const QString& platformName);
    // Wayland shows a client nothing of other programs' windows.
    static bool ForeignWindowsVisible(const QString& platformName);
};
