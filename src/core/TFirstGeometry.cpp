#include "core/TFirstGeometry.h"

#include <algorithm>

QRect TFirstGeometry::MainWindow(const QRect& available)
{
    if (available.isEmpty()) {
        return QRect(0, 0, MinMainWidth, MinMainHeight);
    }
    const int width = std::min(available.width(), std::max(MinMainWidth, available.width() * 2 / 3));
    const int height = std::min(available.height(), std::max(MinMainHeight, available.height() * 2 / 3));
    QRect r(0, 0, width, height);
    r.moveCenter(available.center());
    return r;
}

QList<int> TFirstGeometry::Columns(const QList<int>& wanted, int room)
{
    QList<int> widths = wanted;
    int total = 0;
    for (int w : widths) {
        total += w + 1;
    }
    if (room <= 0 || total <= room) {
        return widths;
    }
    // Cut only the wide columns (sender, subject), down to a common cap: the narrow ones
    // (mark, number, size) stay readable whatever happens.
    const int lines = int(widths.size());
    int low = MinColumn;
    int high = *std::max_element(widths.begin(), widths.end());
    auto sumWithCap = [&](int cap) {
        int sum = lines;
        for (int w : wanted) {
            sum += std::min(w, cap);
        }
        return sum;
    };
    if (sumWithCap(low) > room) {
        high = low;
    }
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (sumWithCap(mid) <= room) {
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    for (int& w : widths) {
        w = std::min(w, low);
    }
    return widths;
}
