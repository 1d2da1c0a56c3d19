// The password scrambler: scrambled bytes unscramble to the same bytes, and any stored
// text either unscrambles or fails with the conversion error.
// Input: key length, key, start value, clear bytes.

#include "core/EConvertError.h"
#include "fuzz/FuzzSupport.h"
#include "settings/TVarnEncryption.h"

namespace {

bool isHexText(const QString& text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F'))) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    fuzz::Reader reader(input);
    TVarnEncryption scrambler;
    scrambler.Key = QString::fromUtf8(reader.take(reader.byte() % 16));
    const int start = reader.byte();
    const QByteArray clear = reader.rest();

    const QByteArray stored = scrambler.ScrambleBytes(clear, start);
    FUZZ_CHECK(stored.size() == 2 * (clear.size() + 1));
    FUZZ_CHECK(stored.left(2).toInt(nullptr, 16) == start);
    FUZZ_CHECK(stored.toUpper() == stored && isHexText(QString::fromLatin1(stored)));

    // Bytes 1 to 254 come back; 255 comes back unless the pair before it is FF (then 0).
    if (!clear.isEmpty()) {
        const QByteArray back = scrambler.UnscrambleBytes(QString::fromLatin1(stored));
        FUZZ_CHECK(back.size() == clear.size());
        for (qsizetype i = 0; i < clear.size(); ++i) {
            const auto b = static_cast<quint8>(clear.at(i));
            const bool afterFF = stored.mid(2 * i, 2) == "FF";
            if (b == 255 && afterFF) {
                FUZZ_CHECK(back.at(i) == 0);
            } else if (b != 0) {
                FUZZ_CHECK(back.at(i) == clear.at(i));
            }
        }
    }

    // Text as the program handles it: a typed password comes back whole.
    const QString password = QString::fromUtf8(clear);
    if (!password.contains(QChar(0))) {
        FUZZ_CHECK(scrambler.Unscramble(scrambler.Scramble(password)) == password);
    }

    // A hand-edited stored value: hexadecimal text of three or more characters always
    // unscrambles, one byte per whole pair after the first (at least one); a shorter
    // text fails.
    const QString edited = QString::fromLatin1(input);
    try {
        const QByteArray back = scrambler.UnscrambleBytes(edited);
        FUZZ_CHECK(edited.size() >= 3);
        FUZZ_CHECK(back.size() == qMax<qsizetype>(1, (edited.size() - 2) / 2));
    } catch (const EConvertError&) {
        FUZZ_CHECK(edited.size() < 3 || !isHexText(edited));
    }
    return 0;
}
