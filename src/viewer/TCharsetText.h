#pragma once

#include <QByteArray>
#include <QString>

// Turns message bytes into readable text: by the charset the message declares, else
// UTF-8, else a single-byte reading; control bytes become visible marks.
class TCharsetText {
public:
    // The viewer's text for the shown bytes; the charset is looked up in the whole message.
    static QString ToText(const QByteArray& shown, const QByteArray& wholeMessage);

    // The charset parameter of the first Content-Type header line (lower case), or empty.
    static QByteArray DeclaredCharset(const QByteArray& message);

    // Decodes strictly by the charset; false when it is unknown or the bytes do not fit.
    static bool TryDecode(const QByteArray& bytes, const QByteArray& charset, QString& text);

    // Declared charset, then UTF-8, then Windows-1252, then Latin-1 (which always fits).
    static QString Decode(const QByteArray& bytes, const QByteArray& charset);

    // Line ends become "\n"; other control characters (Tab excepted) become control pictures.
    static QString Visible(const QString& text);
};
