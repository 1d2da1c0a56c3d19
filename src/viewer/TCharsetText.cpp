#include "viewer/TCharsetText.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <cerrno>
#include <iconv.h>

namespace {

// Labels that mail programs use for a charset that iconv knows under another name.
QByteArray iconvName(const QByteArray& charset)
{
    if (charset == "gb2312" || charset == "x-gbk" || charset == "cp936" || charset == "euc-cn") {
        return "GBK"; // GB2312-labelled mail is routinely GBK in practice
    }
    if (charset == "x-big5" || charset == "big-5" || charset == "cn-big5") {
        return "BIG5";
    }
    if (charset == "ks_c_5601-1987") {
        return "CP949";
    }
    if (charset == "latin1") {
        return "ISO-8859-1";
    }
    return charset.toUpper();
}

bool iconvDecode(const QByteArray& bytes, const QByteArray& from, QString& text)
{
    iconv_t cd = iconv_open("UTF-8", from.constData());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    QByteArray out;
    out.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    bool ok = true;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
            continue;
        }
        ok = false; // EILSEQ or a sequence cut off at the end
        break;
    }
    if (ok) {
        // Flush a stateful encoding's shift state.
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            ok = false;
        }
    }
    iconv_close(cd);
    if (ok) {
        text = QString::fromUtf8(out.constData(), outPtr - out.constData());
    }
    return ok;
}

bool utf8Decode(const QByteArray& bytes, QString& text)
{
    // Stateless, so that a sequence cut off at the end counts as an error.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString result = decoder.decode(bytes);
    if (decoder.hasError()) {
        return false;
    }
    text = result;
    return true;
}

} // namespace

QByteArray TCharsetText::DeclaredCharset(const QByteArray& message)
{
    static const QRegularExpression header(QStringLiteral("^content-type:([^\\n]*(?:\\r?\\n[ \\t][^\\n]*)*)"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::MultilineOption);
    static const QRegularExpression param(QStringLiteral("charset\\s*=\\s*\"?([A-Za-z0-9_.:+-]+)"),
                                          QRegularExpression::CaseInsensitiveOption);
    // Header names and parameters are ASCII; Latin-1 keeps every byte in place.
    const QString text = QString::fromLatin1(message);
    auto it = header.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        const auto p = param.match(m.captured(1));
        if (p.hasMatch()) {
            return p.captured(1).toLatin1().toLower();
        }
    }
    return {};
}

bool TCharsetText::TryDecode(const QByteArray& bytes, const QByteArray& charset, QString& text)
{
    const QByteArray name = charset.trimmed().toLower();
    if (name.isEmpty()) {
        return false;
    }
    if (name == "utf-8" || name == "utf8") {
        return utf8Decode(bytes, text);
    }
    return iconvDecode(bytes, iconvName(name), text);
}

QString TCharsetText::Decode(const QByteArray& bytes, const QByteArray& charset)
{
    QString text;
    if (TryDecode(bytes, charset, text) || utf8Decode(bytes, text) || iconvDecode(bytes, "WINDOWS-1252", text)) {
        return text;
    }
    return QString::fromLatin1(bytes);
}

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
    return Visible(Decode(shown, DeclaredCharset(wholeMessage)));
}
