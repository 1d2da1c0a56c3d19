#pragma once

#include <QByteArray>
#include <QString>

// Decodes the body of a single-part message as it came from RETR: quoted-printable
// or Base64. Works on bytes; never fails (characters that do not fit are skipped or
// left as they are).
class TMessageDecoder {
public:
    // kind is "QP" or "BASE64"; text is a whole RETR reply. Any other kind leaves the
    // body as it is but still rebuilds the text from header and body.
    static QByteArray DecodeMessage(const QString& kind, const QByteArray& text);
    // True when both bytes are hexadecimal digits (either case).
    static bool IsHexPair(const QByteArray& s);
    // The value of a Base64 character; 0 for anything outside the alphabet.
    static int Base64Value(char c);

    static QByteArray DecodeQuotedPrintable(const QByteArray& body);
    static QByteArray DecodeBase64(const QByteArray& body);
};
