#include "core/TIntConvert.h"

#include "core/EConvertError.h"

namespace {

int hexDigit(QChar ch)
{
    const ushort u = ch.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return -1;
}

// Leading blanks, optional sign, then "$" and hex digits or decimal digits to the end.
// Hex takes any 32-bit pattern, so "$FFFFFFFF" is -1 as a 32-bit hex literal would be;
// decimal must lie in -2147483648..2147483647.
bool parseStrict(const QString& text, int& value)
{
    int i = 0;
    const int n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    const bool hex = i < n && text.at(i) == QLatin1Char('$');
    if (hex) {
        ++i;
    }
    if (i >= n) {
        return false;
    }
    const quint64 limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const int d = hexDigit(text.at(i));
        if (d < 0 || (!hex && d > 9)) {
            return false;
        }
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<quint64>(d);
        if (magnitude > limit) {
            return false;
        }
    }
    // Two's complement wrap: "$80000000" and "-2147483648" both give the lowest value.
    quint32 bits = static_cast<quint32>(magnitude);
    if (negative) {
        bits = 0u - bits;
    }
    value = static_cast<int>(bits);
    return true;
}

} // namespace

bool TIntConvert::TryParse(const QString& text, int& value)
{
    if (text.size() > 2 && (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")))) {
        return parseStrict(QLatin1Char('$') + text.mid(2), value);
    }
    return parseStrict(text, value);
}

int TIntConvert::StrToInt(const QString& text)
{
    int value = 0;
    if (!parseStrict(text, value)) {
        throw EConvertError(text);
    }
    return value;
}

bool TIntConvert::TryStrToInt(const QString& text, int& value)
{
    return parseStrict(text, value);
}
