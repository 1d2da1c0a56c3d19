#pragma once

#include <QList>
#include <QRect>

// Sizes of windows that have no stored geometry yet (a first start, a new mailbox),
// fitted to the screen or frame they open in.
class TFirstGeometry {
public:
    // The old fixed first size; also the least a main window opens at where the screen allows.
    static constexpr int MinMainWidth = 640;
    static constexpr int MinMainHeight = 480;
    // A squeezed column never goes below this.
    static constexpr int MinColumn = 40;

    // Two thirds of the available area, at least the old fixed size, at most the area,
    // centred in it. An empty area (no screen known) gives the old size at the origin.
    static QRect MainWindow(const QRect& available);

    // Column widths of a mail list: those wanted (texts measured) when they fit into room
    // pixels with one pixel per grid line, otherwise the columns wider than the narrowest
    // fitting width are cut down in proportion. room <= 0: no limit.
    static QList<int> Columns(const QList<int>& wanted, int room);
};
