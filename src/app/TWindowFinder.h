#pragma once

#include <QString>

// Finds a top-level window by its exact title: the program's own windows (shown or
// hidden) and, on X11, any other program's mapped windows; on Wayland its own only.
class TWindowFinder {
public:
    static bool Exists(const QString& title);
    static bool ExistsOwn(const QString& title);
    static bool ExistsOnX11(const QString& title);
};
