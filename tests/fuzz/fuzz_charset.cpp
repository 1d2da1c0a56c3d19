// Charset conversion for the viewer: the declared charset is found however the header
// is folded, ASCII text reads the same in every ASCII-based charset, and the shown text
// holds no control characters but line ends and tabs.
// Input: fold count (two bytes), charset choice, then the message bytes.

#include "fuzz/FuzzSupport.h"
#include "mailbox/TCharset.h"
#include "viewer/TCharsetText.h"

#include <iterator>

namespace {

const char* const kAsciiBased[] = {"utf-8", "iso-8859-1", "windows-1252",   "big5",   "gb2312",
                                   "gbk",   "euc-kr",     "ks_c_5601-1987", "koi8-r", "iso-8859-2"};

bool plainAscii(const QByteArray& bytes)
{
    for (const char c : bytes) {
        // ESC and "~" open escape sequences in some ASCII-based encodings.
        if (static_cast<quint8>(c) >= 0x80 || c == 0x1b || c == '~') {
            return false;
        }
    }
    return true;
}

int lineEnds(const QByteArray& bytes)
{
    int count = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        count += bytes.at(i) == '\n' ? (i > 0 && bytes.at(i - 1) == '\r' ? 0 : 1) : bytes.at(i) == '\r' ? 1 : 0;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    fuzz::Reader reader(input);
    const int folds = (reader.byte() << 8 | reader.byte()) % 32768;
    const QByteArray charset = kAsciiBased[reader.byte() % std::size(kAsciiBased)];
    const QByteArray message = reader.rest();

    // A folded Content-Type header names its charset on the last continuation line.
    QByteArray header = "Content-Type: text/plain;";
    for (int i = 0; i < folds; ++i) {
        header += "\r\n\t";
    }
    header += " charset=\"" + charset.toUpper() + "\"\r\nSubject: x\r\n\r\n";
    FUZZ_CHECK(TCharset::DeclaredCharset(header + message) == charset);

    const QByteArray declared = TCharset::DeclaredCharset(message);
    for (const char c : declared) {
        FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || QByteArray("_.:+-").contains(c));
    }

    QString lenient;
    if (plainAscii(message)) {
        FUZZ_CHECK(TCharset::Decode(message, charset, lenient) && lenient == QString::fromLatin1(message));
    }
    QString strict;
    if (TCharset::DecodeStrict(message, "iso-8859-1", strict)) {
        FUZZ_CHECK(strict == QString::fromLatin1(message));
    }
    // A header value that is valid UTF-8 is never re-read in another charset.
    const QString header8 = QString::fromUtf8(message);
    if (!header8.contains(QChar::ReplacementCharacter) && !message.contains('\0')) {
        FUZZ_CHECK(TCharset::HeaderText(message, header + message) == header8);
    }

    const QString shown = TCharsetText::ToText(message, header + message);
    FUZZ_CHECK(!shown.contains(QLatin1Char('\r')));
    for (const QChar c : shown) {
        FUZZ_CHECK(c.unicode() >= 0x20 || c == QLatin1Char('\n') || c == QLatin1Char('\t'));
        FUZZ_CHECK(c.unicode() != 0x7f);
    }
    // Every line end of a text in the charset shows as one line break.
    QString decoded;
    if (TCharset::DecodeStrict(message, charset, decoded) && plainAscii(message)) {
        FUZZ_CHECK(shown.count(QLatin1Char('\n')) == lineEnds(message));
    }
    return 0;
}
