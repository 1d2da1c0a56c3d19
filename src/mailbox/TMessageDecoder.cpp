#include "mailbox/TMessageDecoder.h"

#include "core/TBrkApart.h"

namespace {

const QByteArray kBlankLine("\r\n\r\n");
const QByteArray kTerminator("\r\n.\r\n");

bool isBase64Char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

bool TMessageDecoder::IsHexPair(const QByteArray& s)
{
    return s.size() == 2 && hexDigit(s[0]) >= 0 && hexDigit(s[1]) >= 0;
}

int TMessageDecoder::Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return 0;
}

QByteArray TMessageDecoder::DecodeQuotedPrintable(const QByteArray& source)
{
    QByteArray body = source;
    if (body.startsWith('=')) {
        body.prepend("= \r\n");
    }
    // The splitter works on text; Latin-1 maps every byte to one character and back.
    TBrkApart splitter;
    splitter.BaseString = QString::fromLatin1(body);
    splitter.BreakString = QStringLiteral("=");
    splitter.AllowEmptyString = true;
    splitter.Split();

    QByteArray result;
    result.reserve(body.size());
    for (int i = 0; i < splitter.StringList.size(); ++i) {
        QByteArray piece = splitter.StringList.at(i).toLatin1();
        // Only what directly follows an "=" is a soft break or an escape; a CR LF at the
        // start of the text, or one that an escape produced, is text.
        if (i > 0 && piece.startsWith("\r\n")) {
            piece.remove(0, 2);
        } else if (i > 0 && piece.size() >= 2 && IsHexPair(piece.left(2))) {
            const char byte = static_cast<char>(hexDigit(piece[0]) * 16 + hexDigit(piece[1]));
            piece = QByteArray(1, byte) + piece.mid(2);
        }
        result += piece;
    }
    return result;
}

QByteArray TMessageDecoder::DecodeBase64(const QByteArray& body)
{
    QByteArray result;
    result.reserve(body.size() * 3 / 4 + 8);
    int values[4];
    int count = 0;
    auto flush = [&] {
        for (int k = count; k < 4; ++k) {
            values[k] = 0;
        }
        const char bytes[3] = {static_cast<char>((values[0] * 4 + values[1] / 16) % 256),
                               static_cast<char>(((values[1] % 16) * 16 + values[2] / 4) % 256),
                               static_cast<char>(((values[2] % 4) * 64 + values[3]) % 256)};
        if (count >= 2) {
            result.append(bytes, count - 1);
        }
        count = 0;
    };
    for (const char c : body) {
        if (c == '=') {
            break;
        }
        if (!isBase64Char(c)) {
            continue;
        }
        values[count++] = Base64Value(c);
        if (count == 4) {
            flush();
        }
    }
    flush();
    return result + kTerminator;
}

QByteArray TMessageDecoder::DecodeMessage(const QString& kind, const QByteArray& text)
{
    QByteArray header;
    QByteArray body;
    const int blank = text.indexOf(kBlankLine);
    if (blank < 0) {
        body = text;
    } else {
        header = text.left(blank);
        body = text.mid(blank + kBlankLine.size());
        const int end = body.indexOf(kTerminator);
        if (end >= 0) {
            body.truncate(end + kTerminator.size());
        }
    }
    if (kind == QLatin1String("QP")) {
        // A soft break on the last line must not swallow the terminating line's CR LF.
        const bool terminated = body.endsWith(kTerminator);
        if (terminated) {
            body.chop(kTerminator.size());
        }
        body = DecodeQuotedPrintable(body);
        if (terminated) {
            body += kTerminator;
        }
    } else if (kind == QLatin1String("BASE64")) {
        body = DecodeBase64(body);
    }
    return header + kBlankLine + body;
}
