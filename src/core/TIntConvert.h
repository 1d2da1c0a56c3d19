#pragma once

#include <QString>

// The program's integer rule for stored numbers.
class TIntConvert {
public:
    // Lenient rule of the settings file: "0x"/"0X" (text longer than two characters)
    // becomes "$"; leading blanks skipped; optional sign; "$" and hex digits or
    // decimal digits to the end; must fit in 32 bits. False on any other text.
    static bool TryParse(const QString& text, int& value);
    // Strict conversion: the same without the "0x" replacement; throws
    // EConvertError("'<text>' is not a valid integer value") on failure.
    static int StrToInt(const QString& text);
    // As StrToInt, but returns false instead of throwing.
    static bool TryStrToInt(const QString& text, int& value);
};
