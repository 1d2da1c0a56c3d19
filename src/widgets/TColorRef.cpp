#include "widgets/TColorRef.h"

QColor TColorRef::ToQColor(int value, const QColor& systemFallback)
{
    if (value < 0) {
        return systemFallback;
    }
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int TColorRef::FromQColor(const QColor& color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}
