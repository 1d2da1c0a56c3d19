#pragma once

#include <QByteArray>
#include <QString>

// Turns mail bytes into text by a charset label. Bytes that do not fit cost one
// replacement mark each, so one bad byte never spoils the rest; Big5 is read as
// Big5-HKSCS. Without a usable label, text is read as UTF-8, else Big5, else Windows-1252.
class TCharset {
public:
    // Decodes by the label, marking what does not fit with U+FFFD; false when the label
    // names no charset that is known here.
    static bool Decode(const QByteArray& bytes, const QByteArray& label, QString& text);
    // As Decode, but false as soon as one byte sequence does not fit.
    static bool DecodeStrict(const QByteArray& bytes, const QByteArray& label, QString& text);

    // The charset parameter of the Content-Type in the message's header block (lower
    // case), or empty; a multipart message without one takes its first part's.
    static QByteArray DeclaredCharset(const QByteArray& message);

    // Body text: by the declared charset when it is known, else guessed.
    static QString ToText(const QByteArray& bytes, const QByteArray& declared);
    // A header value of message: valid UTF-8 stays UTF-8; other bytes are read by the
    // message's declared charset, else guessed.
    static QString HeaderText(const QByteArray& value, const QByteArray& message);
};
