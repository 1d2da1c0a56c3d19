#include "mailbox/TCharset.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr size_t kFailed = static_cast<size_t>(-1);
constexpr int kMultipartDepth = 4;

bool isLabelChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == ':' || c == '+';
}

// The iconv name for a label, or empty for what cannot be a charset name (iconv must
// never see paths or its own "//" options from a message).
QByteArray iconvName(const QByteArray& label)
{
    const QByteArray name = label.trimmed().toLower();
    if (name.isEmpty() || name.size() > 40) {
        return {};
    }
    for (const char c : name) {
        if (!isLabelChar(c)) {
            return {};
        }
    }
    if (name == "big5" || name == "x-big5" || name == "big-5" || name == "cn-big5" || name == "big5hkscs" ||
        name == "cp950" || name == "x-cp950" || name == "windows-950") {
        return "BIG5-HKSCS"; // mail labelled Big5 routinely carries Hong Kong characters
    }
    if (name == "gb2312" || name == "x-gbk" || name == "cp936" || name == "euc-cn") {
        return "GBK"; // GB2312-labelled mail is routinely GBK in practice
    }
    if (name == "ks_c_5601-1987") {
        return "CP949";
    }
    if (name == "latin1") {
        return "ISO-8859-1";
    }
    return name.toUpper();
}

bool isUtf8(const QByteArray& name)
{
    return name == "UTF-8" || name == "UTF8";
}

// What an undecodable byte becomes.
enum class Mark { Replacement, SameCodePoint, Fail };

class Converter {
public:
    explicit Converter(const QByteArray& from) : m_cd(iconv_open("UTF-8", from.constData())), m_from(from) {}
    ~Converter()
    {
        if (m_cd != kNoConverter) {
            iconv_close(m_cd);
        }
        if (m_probe != kNoConverter) {
            iconv_close(m_probe);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool isOpen() const { return m_cd != kNoConverter; }

    bool run(const QByteArray& bytes, Mark mark, QString& text)
    {
        m_out.resize(bytes.size() * 3 + 16);
        m_used = 0;
        char* in = const_cast<char*>(bytes.constData());
        size_t inLeft = static_cast<size_t>(bytes.size());
        while (inLeft > 0) {
            char* outPtr = m_out.data() + m_used;
            size_t outLeft = static_cast<size_t>(m_out.size() - m_used);
            const size_t result = iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            m_used = outPtr - m_out.data();
            if (result != kFailed) {
                continue;
            }
            if (error == E2BIG) {
                m_out.resize(m_out.size() * 2);
                continue;
            }
            if (mark == Mark::Fail) {
                return false;
            }
            // EILSEQ, or a character cut off at the end. A character still held back
            // (Big5-HKSCS waits for combining marks) goes out first.
            if (!flush()) {
                return false;
            }
            const auto byte = static_cast<unsigned char>(*in);
            size_t skip = 1;
            // An unknown pair is one character; a second byte in ASCII is read again, as
            // browsers do, since it may be a letter after a stray byte.
            if (error == EILSEQ && inLeft >= 2 && static_cast<unsigned char>(in[1]) >= 0x80 && isLeadByte(*in)) {
                skip = 2;
            }
            appendMark(mark == Mark::SameCodePoint && skip == 1 ? char32_t(byte) : char32_t(0xFFFD));
            in += skip;
            inLeft -= skip;
        }
        if (!flush()) {
            return false;
        }
        text = QString::fromUtf8(m_out.constData(), m_used);
        return true;
    }

private:
    // Writes out a held-back character and returns to the initial state.
    bool flush()
    {
        for (;;) {
            char* outPtr = m_out.data() + m_used;
            size_t outLeft = static_cast<size_t>(m_out.size() - m_used);
            const size_t result = iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft);
            const int error = errno;
            m_used = outPtr - m_out.data();
            if (result != kFailed) {
                return true;
            }
            if (error != E2BIG) {
                return false;
            }
            m_out.resize(m_out.size() * 2 + 16);
        }
    }

    void appendMark(char32_t c)
    {
        const QByteArray utf8 = QString::fromUcs4(&c, 1).toUtf8();
        if (m_out.size() - m_used < utf8.size()) {
            m_out.resize(m_out.size() * 2 + utf8.size());
        }
        std::copy(utf8.begin(), utf8.end(), m_out.begin() + m_used);
        m_used += utf8.size();
    }

    // A byte that begins a character of more than one byte: alone it is incomplete.
    bool isLeadByte(char c)
    {
        if (m_probe == kNoConverter) {
            m_probe = iconv_open("UTF-8", m_from.constData());
            if (m_probe == kNoConverter) {
                return false;
            }
        }
        iconv(m_probe, nullptr, nullptr, nullptr, nullptr);
        char one = c;
        char* in = &one;
        size_t inLeft = 1;
        char out[16];
        char* outPtr = out;
        size_t outLeft = sizeof out;
        return iconv(m_probe, &in, &inLeft, &outPtr, &outLeft) == kFailed && errno == EINVAL;
    }

    iconv_t m_cd;
    iconv_t m_probe = kNoConverter;
    QByteArray m_from;
    QByteArray m_out;
    qsizetype m_used = 0;
};

bool utf8Decode(const QByteArray& bytes, bool strict, QString& text)
{
    // Stateless, so that a sequence cut off at the end counts as an error.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString result = decoder.decode(bytes);
    if (strict && decoder.hasError()) {
        return false;
    }
    text = result;
    return true;
}

bool decode(const QByteArray& bytes, const QByteArray& label, Mark mark, QString& text)
{
    const QByteArray name = iconvName(label);
    if (name.isEmpty()) {
        return false;
    }
    if (isUtf8(name)) {
        return utf8Decode(bytes, mark == Mark::Fail, text);
    }
    Converter converter(name);
    return converter.isOpen() && converter.run(bytes, mark, text);
}

QString guess(const QByteArray& bytes)
{
    QString text;
    if (utf8Decode(bytes, true, text) || decode(bytes, "big5", Mark::Fail, text)) {
        return text;
    }
    // The five bytes Windows-1252 leaves open read as the C1 controls, as browsers do.
    if (decode(bytes, "windows-1252", Mark::SameCodePoint, text)) {
        return text;
    }
    return QString::fromLatin1(bytes);
}

// "us-ascii" is what mail programs write when nobody chose: 8-bit bytes under it are
// guessed rather than marked.
bool usable(const QByteArray& declared)
{
    const QByteArray name = iconvName(declared);
    return !name.isEmpty() && name != "US-ASCII" && name != "ASCII";
}

struct HeaderBlock {
    QByteArray contentType; // unfolded value of the first Content-Type, empty when none
    qsizetype bodyStart = -1;
};

// Header lines up to the first empty line, in one pass: no backtracking over a header
// of any length.
HeaderBlock readHeaderBlock(const QByteArray& text, qsizetype from)
{
    HeaderBlock block;
    bool found = false;
    bool collecting = false;
    qsizetype pos = from;
    while (pos < text.size()) {
        const qsizetype eol = text.indexOf('\n', pos);
        const qsizetype next = eol < 0 ? text.size() : eol + 1;
        qsizetype end = eol < 0 ? text.size() : eol;
        if (end > pos && text.at(end - 1) == '\r') {
            --end;
        }
        if (end == pos) {
            block.bodyStart = next;
            break;
        }
        const char first = text.at(pos);
        if (first == ' ' || first == '\t') {
            if (collecting) {
                block.contentType.append(text.constData() + pos, end - pos);
            }
        } else {
            collecting = false;
            // Searched within the line only, so lines without a colon cost no more than their length.
            const auto* colon = static_cast<const char*>(std::memchr(text.constData() + pos, ':', end - pos));
            const qsizetype at = colon ? colon - text.constData() : -1;
            if (!found && at > pos &&
                text.mid(pos, at - pos).trimmed().compare("content-type", Qt::CaseInsensitive) == 0) {
                found = collecting = true;
                block.contentType = text.mid(at + 1, end - at - 1);
            }
        }
        pos = next;
    }
    return block;
}

struct ContentType {
    QByteArray mediaType;
    QByteArray charset;
    QByteArray boundary;
};

// Parameters split at ";" outside quotes.
ContentType parseContentType(const QByteArray& value)
{
    ContentType result;
    QList<QByteArray> parts;
    QByteArray current;
    bool quoted = false;
    for (const char c : value) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            parts.append(current);
            current.clear();
            continue;
        }
        current.append(c);
    }
    parts.append(current);
    result.mediaType = parts.first().trimmed().toLower();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const qsizetype equals = parts[i].indexOf('=');
        if (equals < 0) {
            continue;
        }
        const QByteArray name = parts[i].left(equals).trimmed().toLower();
        QByteArray v = parts[i].mid(equals + 1).trimmed();
        if (v.startsWith('"')) {
            v = v.mid(1);
            const qsizetype close = v.indexOf('"');
            if (close >= 0) {
                v.truncate(close);
            }
        }
        if (name == "charset" && result.charset.isEmpty()) {
            qsizetype n = 0;
            while (n < v.size() && isLabelChar(v.at(n))) {
                ++n;
            }
            result.charset = v.left(n).toLower();
        } else if (name == "boundary" && result.boundary.isEmpty()) {
            result.boundary = v;
        }
    }
    return result;
}

// Start of the line after the first delimiter line "--boundary", or -1.
qsizetype firstPart(const QByteArray& text, qsizetype from, const QByteArray& boundary)
{
    const QByteArray delimiter = "--" + boundary;
    qsizetype at = text.indexOf(delimiter, from);
    while (at >= 0 && at > from && text.at(at - 1) != '\n') {
        at = text.indexOf(delimiter, at + 1);
    }
    if (at < 0) {
        return -1;
    }
    const qsizetype eol = text.indexOf('\n', at);
    return eol < 0 ? -1 : eol + 1;
}

} // namespace

bool TCharset::Decode(const QByteArray& bytes, const QByteArray& label, QString& text)
{
    return decode(bytes, label, Mark::Replacement, text);
}

bool TCharset::DecodeStrict(const QByteArray& bytes, const QByteArray& label, QString& text)
{
    return decode(bytes, label, Mark::Fail, text);
}

QByteArray TCharset::DeclaredCharset(const QByteArray& message)
{
    qsizetype from = 0;
    for (int depth = 0; depth < kMultipartDepth && from >= 0; ++depth) {
        const HeaderBlock block = readHeaderBlock(message, from);
        const ContentType type = parseContentType(block.contentType);
        if (!type.charset.isEmpty()) {
            return type.charset;
        }
        if (!type.mediaType.startsWith("multipart/") || type.boundary.isEmpty() || block.bodyStart < 0) {
            break;
        }
        from = firstPart(message, block.bodyStart, type.boundary);
    }
    return {};
}

QString TCharset::ToText(const QByteArray& bytes, const QByteArray& declared)
{
    QString text;
    if (usable(declared) && Decode(bytes, declared, text)) {
        return text;
    }
    return guess(bytes);
}

QString TCharset::HeaderText(const QByteArray& value, const QByteArray& message)
{
    // ASCII reads the same as UTF-8 and needs no decoder.
    if (std::all_of(value.cbegin(), value.cend(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return QString::fromLatin1(value);
    }
    QString text;
    if (utf8Decode(value, true, text)) {
        return text;
    }
    return ToText(value, DeclaredCharset(message));
}
