// The integer rule, against a plain reading of its grammar: blanks, sign, then "$" and
// hex digits or decimal digits to the end, within 32 bits.

#include "core/EConvertError.h"
#include "core/TIntConvert.h"
#include "fuzz/FuzzSupport.h"

namespace {

// The strict rule read directly from its description; the magnitude check is done on
// the digits' text so that it does not share the parser's arithmetic.
bool reference(const QString& text, int& value)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    const bool hex = i < text.size() && text.at(i) == QLatin1Char('$');
    QString digits = text.mid(hex ? i + 1 : i);
    if (digits.isEmpty()) {
        return false;
    }
    for (const QChar c : digits) {
        const ushort u = c.unicode();
        const bool ok = (u >= '0' && u <= '9') || (hex && ((u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')));
        if (!ok) {
            return false;
        }
    }
    while (digits.size() > 1 && digits.front() == QLatin1Char('0')) {
        digits.remove(0, 1);
    }
    if (digits.size() > (hex ? 8 : 10)) {
        return false;
    }
    bool ok = false;
    const qlonglong magnitude = digits.toLongLong(&ok, hex ? 16 : 10);
    if (!ok || magnitude > (hex ? 0xFFFFFFFFll : (negative ? 2147483648ll : 2147483647ll))) {
        return false;
    }
    value = static_cast<int>(static_cast<quint32>(negative ? -magnitude : magnitude));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const QString text = QString::fromUtf8(input);

    int expected = 0;
    const bool valid = reference(text, expected);
    int value = 0;
    FUZZ_CHECK(TIntConvert::TryStrToInt(text, value) == valid);
    FUZZ_CHECK(!valid || value == expected);
    try {
        const int strict = TIntConvert::StrToInt(text);
        FUZZ_CHECK(valid && strict == expected);
    } catch (const EConvertError& e) {
        FUZZ_CHECK(!valid && e.message() == QStringLiteral("'%1' is not a valid integer value").arg(text));
    }

    // The settings file's rule reads "0x" as "$".
    const bool hexPrefix =
        text.size() > 2 && (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")));
    const QString lenient = hexPrefix ? QLatin1Char('$') + text.mid(2) : text;
    int lenientExpected = 0;
    const bool lenientValid = reference(lenient, lenientExpected);
    FUZZ_CHECK(TIntConvert::TryParse(text, value) == lenientValid);
    FUZZ_CHECK(!lenientValid || value == lenientExpected);

    // Every 32-bit number reads back from the forms the program writes and the file allows.
    fuzz::Reader reader(input);
    quint32 bits = 0;
    for (int k = 0; k < 4; ++k) {
        bits = bits << 8 | reader.byte();
    }
    const int number = static_cast<int>(bits);
    const QString hexDigits = QString::number(bits, 16);
    for (const QString& form :
         {QString::number(number), QStringLiteral("$") + hexDigits, QStringLiteral("0x") + hexDigits.toUpper(),
          QStringLiteral("   ") + QString::number(number)}) {
        FUZZ_CHECK(TIntConvert::TryParse(form, value) && value == number);
    }
    return 0;
}
