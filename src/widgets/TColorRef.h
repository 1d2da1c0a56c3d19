#pragma once

#include <QColor>

// Stored colours are 32-bit values with red in the low byte, green next, blue third;
// the top bit marks a system colour (stored as a negative number).
class TColorRef {
public:
    static QColor ToQColor(int value, const QColor& systemFallback = Qt::black);
    static int FromQColor(const QColor& color);
};
