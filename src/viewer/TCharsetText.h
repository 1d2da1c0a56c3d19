#pragma once

#include <QByteArray>
#include <QString>

// Turns message bytes into the viewer's text: by the charset the message declares, else
// guessed; control bytes become visible marks.
class TCharsetText {
public:
    // The viewer's text for the shown bytes; the charset comes from the whole message's header.
    static QString ToText(const QByteArray& shown, const QByteArray& wholeMessage);

    // Line ends become "\n"; other control characters (Tab excepted) become control pictures.
    static QString Visible(const QString& text);
};
