#include "viewer/TCharsetText.h"

#include "mailbox/TCharset.h"

QString TCharsetText::Visible(const QString& text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r') {
            out.append(u'\n');
            if (i + 1 < n && text.at(i + 1) == u'\n') {
                ++i;
            }
        } else if (c == u'\n' || c == u'\t') {
            out.append(QChar(c));
        } else if (c < 0x20) {
            out.append(QChar(char16_t(0x2400 + c))); // control pictures: NUL shows as U+2400
        } else if (c == 0x7f) {
            out.append(QChar(char16_t(0x2421)));
        } else {
            out.append(QChar(c));
        }
    }
    return out;
}

QString TCharsetText::ToText(const QByteArray& shown, const QByteArray& wholeMessage)
{
    return Visible(TCharset::ToText(shown, TCharset::DeclaredCharset(wholeMessage)));
}
