#include "mailbox/TMimeMessage.h"

#include "mailbox/TCharset.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

#include <cstring>
#include <limits>

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

namespace {

// Limits that keep a hostile structure from costing more than its size: the parser
// recurses once per nested multipart or message, and builds one object per part.
constexpr int kMaxNesting = 200;
constexpr int kMaxDelimiterLines = 20000;
constexpr int kMaxWalkDepth = 64;

void initGMime()
{
    // Local statics are initialised once, even when threads race here.
    static const bool done = [] {
        g_mime_init();
        return true;
    }();
    Q_UNUSED(done);
}

QString tr8(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Line ends become "\n"; other control characters but Tab are dropped.
QString cleanText(const QString& text)
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
        } else if (c == u'\n' || c == u'\t' || (c >= 0x20 && c != 0x7f && !(c >= 0x80 && c < 0xa0))) {
            out.append(QChar(c));
        }
    }
    return out;
}

// One line, without line breaks or controls.
QString cleanLine(const QString& text)
{
    QString line = cleanText(text);
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return line.trimmed();
}

// Encoded words labelled Big5 routinely carry Hong Kong characters, and GB2312 ones GBK:
// the label of a well-formed word is widened before it is decoded.
QByteArray widenLabels(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size() + 16);
    qsizetype pos = 0;
    for (;;) {
        const qsizetype start = value.indexOf("=?", pos);
        if (start < 0) {
            break;
        }
        const qsizetype labelStart = start + 2;
        qsizetype end = labelStart;
        while (end < value.size() && end - labelStart <= 40 && value.at(end) != '?' && value.at(end) != '*' &&
               value.at(end) != ' ') {
            ++end;
        }
        out.append(value.constData() + pos, labelStart - pos);
        const QByteArray label = value.mid(labelStart, end - labelStart).toLower();
        const bool wellFormed = end + 3 < value.size() && value.at(end) == '?' &&
                                QByteArray("bBqQ").contains(value.at(end + 1)) && value.at(end + 2) == '?';
        if (wellFormed && (label == "big5" || label == "x-big5" || label == "cp950" || label == "big-5")) {
            out.append("big5-hkscs");
        } else if (wellFormed && (label == "gb2312" || label == "euc-cn" || label == "x-gbk")) {
            out.append("gbk");
        } else {
            out.append(value.constData() + labelStart, end - labelStart);
        }
        pos = end;
    }
    out.append(value.constData() + pos, value.size() - pos);
    return out;
}

bool latinFamily(const QByteArray& label)
{
    const QByteArray l = label.trimmed().toLower();
    return l.isEmpty() || l == "us-ascii" || l == "ascii" || l.startsWith("iso-8859-") || l.startsWith("iso8859-") ||
           l.startsWith("windows-125") || l.startsWith("cp125") || l == "latin1";
}

bool hasEightBit(const QByteArray& bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

// Body bytes to text: a label that does not fit the bytes is not believed.
QString decodeText(const QByteArray& bytes, const QByteArray& label)
{
    QString text;
    // Valid UTF-8 with 8-bit bytes is hardly ever Latin text by chance, and mail
    // programs often label UTF-8 as Latin-1 or ASCII.
    if (latinFamily(label) && hasEightBit(bytes) && TCharset::DecodeStrict(bytes, "utf-8", text)) {
        return text;
    }
    if (!label.isEmpty() && TCharset::DecodeStrict(bytes, label, text)) {
        return text;
    }
    return TCharset::ToText(bytes, {});
}

// ---- HTML rendered to text --------------------------------------------------------------

struct Entity {
    const char* name;
    char16_t code;
};

const Entity kEntities[] = {
    {"nbsp", 0x00a0},   {"amp", u'&'},     {"lt", u'<'},      {"gt", u'>'},       {"quot", u'"'},
    {"apos", u'\''},    {"copy", 0x00a9},  {"reg", 0x00ae},   {"hellip", 0x2026}, {"mdash", 0x2014},
    {"ndash", 0x2013},  {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201c},  {"rdquo", 0x201d},
    {"middot", 0x00b7}, {"bull", 0x2022},  {"times", 0x00d7}, {"yen", 0x00a5},    {"euro", 0x20ac},
};

bool isBlockTag(const QString& name)
{
    static const QStringList blocks = {
        QStringLiteral("p"),       QStringLiteral("div"),    QStringLiteral("tr"),      QStringLiteral("li"),
        QStringLiteral("h1"),      QStringLiteral("h2"),     QStringLiteral("h3"),      QStringLiteral("h4"),
        QStringLiteral("h5"),      QStringLiteral("h6"),     QStringLiteral("table"),   QStringLiteral("blockquote"),
        QStringLiteral("ul"),      QStringLiteral("ol"),     QStringLiteral("pre"),     QStringLiteral("hr"),
        QStringLiteral("dt"),      QStringLiteral("dd"),     QStringLiteral("address"), QStringLiteral("section"),
        QStringLiteral("article"), QStringLiteral("header"), QStringLiteral("footer"),  QStringLiteral("center")};
    return blocks.contains(name);
}

class HtmlText {
public:
    explicit HtmlText(const QString& html) : m_html(html) {}

    QString run()
    {
        const qsizetype n = m_html.size();
        qsizetype i = 0;
        while (i < n) {
            const QChar c = m_html.at(i);
            if (c == QLatin1Char('<') && i + 1 < n && startsTag(m_html.at(i + 1))) {
                i = tag(i);
            } else if (c == QLatin1Char('&')) {
                i = entity(i);
            } else if (m_pre == 0 && (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
                                      c == QLatin1Char('\n') || c == QLatin1Char('\f'))) {
                m_space = true;
                ++i;
            } else {
                put(c);
                ++i;
            }
        }
        while (m_out.endsWith(QLatin1Char('\n'))) {
            m_out.chop(1);
        }
        return m_out;
    }

private:
    static bool startsTag(QChar c) { return c.isLetter() || c == QLatin1Char('/') || c == QLatin1Char('!'); }

    void put(QChar c)
    {
        if (m_space && !m_out.isEmpty() && !m_out.endsWith(QLatin1Char('\n')) && !m_out.endsWith(QLatin1Char(' '))) {
            m_out.append(QLatin1Char(' '));
        }
        m_space = false;
        m_out.append(c);
    }

    // Ends the line; at most one blank line between blocks.
    void lineBreak(bool blank)
    {
        while (m_out.endsWith(QLatin1Char(' '))) {
            m_out.chop(1);
        }
        m_space = false;
        if (m_out.isEmpty()) {
            return;
        }
        if (!m_out.endsWith(QLatin1Char('\n'))) {
            m_out.append(QLatin1Char('\n'));
        }
        if (blank && !m_out.endsWith(QStringLiteral("\n\n"))) {
            m_out.append(QLatin1Char('\n'));
        }
    }

    // Position after the tag starting at i.
    qsizetype tag(qsizetype i)
    {
        if (m_html.mid(i, 4) == QStringLiteral("<!--")) {
            const qsizetype end = m_html.indexOf(QStringLiteral("-->"), i + 4);
            return end < 0 ? m_html.size() : end + 3;
        }
        // Once no ">" follows, none will: the rest is an unfinished tag.
        const qsizetype close = m_noClose ? -1 : m_html.indexOf(QLatin1Char('>'), i);
        if (close < 0) {
            m_noClose = true;
            return m_html.size();
        }
        const bool ending = m_html.at(i + 1) == QLatin1Char('/');
        qsizetype nameEnd = i + (ending ? 2 : 1);
        while (nameEnd < close && (m_html.at(nameEnd).isLetterOrNumber())) {
            ++nameEnd;
        }
        const QString name = m_html.mid(i + (ending ? 2 : 1), nameEnd - i - (ending ? 2 : 1)).toLower();
        if (!ending && (name == QLatin1String("script") || name == QLatin1String("style") ||
                        name == QLatin1String("head") || name == QLatin1String("title"))) {
            const qsizetype end = m_html.indexOf(QStringLiteral("</") + name, close, Qt::CaseInsensitive);
            if (end < 0) {
                return m_html.size();
            }
            const qsizetype after = m_html.indexOf(QLatin1Char('>'), end);
            return after < 0 ? m_html.size() : after + 1;
        }
        if (name == QLatin1String("br")) {
            lineBreak(false);
        } else if (name == QLatin1String("li") && !ending) {
            lineBreak(false);
            m_out.append(QStringLiteral("• "));
        } else if (name == QLatin1String("td") || name == QLatin1String("th")) {
            m_space = true;
        } else if (name == QLatin1String("pre")) {
            m_pre = qMax(0, m_pre + (ending ? -1 : 1));
            lineBreak(true);
        } else if (name == QLatin1String("p") || name == QLatin1String("table") || name.startsWith(QLatin1Char('h')) ||
                   name == QLatin1String("blockquote")) {
            lineBreak(isBlockTag(name));
        } else if (isBlockTag(name)) {
            lineBreak(false);
        }
        return close + 1;
    }

    qsizetype entity(qsizetype i)
    {
        // Entity names are short: the search for ";" never runs on through the text.
        const qsizetype semi = m_html.mid(i, 12).indexOf(QLatin1Char(';')) + i;
        if (semi < i) {
            put(QLatin1Char('&'));
            return i + 1;
        }
        const QString name = m_html.mid(i + 1, semi - i - 1);
        if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const uint code = name.startsWith(QStringLiteral("#x"), Qt::CaseInsensitive) ? name.mid(2).toUInt(&ok, 16)
                                                                                         : name.mid(1).toUInt(&ok, 10);
            if (ok && code >= 0x20 && code <= 0x10ffff && !(code >= 0xd800 && code <= 0xdfff)) {
                const char32_t c32 = code;
                for (const QChar c : QString::fromUcs4(&c32, 1)) {
                    put(c);
                }
                return semi + 1;
            }
        } else {
            for (const Entity& e : kEntities) {
                if (name == QLatin1String(e.name)) {
                    put(e.code == 0x00a0 ? QLatin1Char(' ') : QChar(e.code));
                    return semi + 1;
                }
            }
        }
        put(QLatin1Char('&'));
        return i + 1;
    }

    const QString& m_html;
    QString m_out;
    bool m_space = false;
    bool m_noClose = false;
    int m_pre = 0;
};

// ---- RETR replies -----------------------------------------------------------------------

// The message of a RETR reply: without its status line and terminator, dot-stuffing undone.
GByteArray* unstuffed(const QByteArray& reply)
{
    GByteArray* out = g_byte_array_sized_new(guint(reply.size()));
    qsizetype pos = 0;
    if (reply.startsWith('+')) {
        const qsizetype eol = reply.indexOf('\n');
        pos = eol < 0 ? reply.size() : eol + 1;
    }
    while (pos < reply.size()) {
        const qsizetype eol = reply.indexOf('\n', pos);
        const qsizetype next = eol < 0 ? reply.size() : eol + 1;
        qsizetype from = pos;
        if (reply.at(pos) == '.') {
            const qsizetype len = next - pos;
            if (len == 1 || (len == 2 && reply.at(pos + 1) == '\n') ||
                (len == 3 && reply.at(pos + 1) == '\r' && reply.at(pos + 2) == '\n')) {
                break;
            }
            from = pos + 1;
        }
        g_byte_array_append(out, reinterpret_cast<const guint8*>(reply.constData() + from), guint(next - from));
        pos = next;
    }
    return out;
}

// Counts what makes the parser recurse (multipart and message headers) and what makes it
// build parts (delimiter lines), without copying the message.
bool parseable(const GByteArray* bytes)
{
    const auto* data = reinterpret_cast<const char*>(bytes->data);
    const qsizetype n = bytes->len;
    int nesting = 0;
    int delimiters = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = data[i];
        if ((c == 'm' || c == 'M') && i + 9 <= n &&
            (qstrnicmp(data + i, "multipart", 9) == 0 || qstrnicmp(data + i, "message/", 8) == 0)) {
            if (++nesting > kMaxNesting) {
                return false;
            }
        } else if (c == '-' && (i == 0 || data[i - 1] == '\n') && i + 1 < n && data[i + 1] == '-') {
            if (++delimiters > kMaxDelimiterLines) {
                return false;
            }
        }
    }
    return true;
}

QByteArray contentBytes(GMimeDataWrapper* wrapper)
{
    if (!wrapper) {
        return {};
    }
    GMimeStream* mem = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(wrapper, mem);
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
    QByteArray bytes(reinterpret_cast<const char*>(array->data), qsizetype(array->len));
    g_object_unref(mem);
    return bytes;
}

QString sanitizedFileName(const QString& name)
{
    QString clean = cleanLine(name);
    const qsizetype slash = qMax(clean.lastIndexOf(QLatin1Char('/')), clean.lastIndexOf(QLatin1Char('\\')));
    clean = clean.mid(slash + 1).trimmed();
    while (clean.startsWith(QLatin1Char('.'))) {
        clean.remove(0, 1);
    }
    return clean.left(200);
}

} // namespace

struct TMimeMessage::Private {
    GMimeMessage* message = nullptr;
    QList<GMimeObject*> attachments;

    ~Private()
    {
        for (GMimeObject* object : attachments) {
            g_object_unref(object);
        }
        if (message) {
            g_object_unref(message);
        }
    }

    int walked = 0;
    QStringList bodies;
    QList<TMimeAttachment> listed;

    static QByteArray mediaType(GMimeObject* object)
    {
        GMimeContentType* type = g_mime_object_get_content_type(object);
        if (!type) {
            return "text/plain";
        }
        char* text = g_mime_content_type_get_mime_type(type);
        const QByteArray result = QByteArray(text).toLower();
        g_free(text);
        return result;
    }

    static bool isAttachment(GMimeObject* object)
    {
        GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
        return disposition && g_mime_content_disposition_is_attachment(disposition);
    }

    void addAttachment(GMimeObject* object)
    {
        TMimeAttachment item;
        item.Type = QString::fromLatin1(mediaType(object));
        GMimeStream* counter = g_mime_stream_null_new();
        if (GMIME_IS_PART(object)) {
            item.FileName = sanitizedFileName(tr8(g_mime_part_get_filename(GMIME_PART(object))));
            if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object))) {
                g_mime_data_wrapper_write_to_stream(content, counter);
            }
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            if (inner) {
                g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, counter);
                item.FileName = sanitizedFileName(tr8(g_mime_message_get_subject(inner)));
                if (!item.FileName.isEmpty()) {
                    item.FileName += QStringLiteral(".eml");
                }
            }
        }
        item.Size = qint64(GMIME_STREAM_NULL(counter)->written);
        g_object_unref(counter);
        if (item.FileName.isEmpty()) {
            item.FileName = QCoreApplication::translate("TMimeMessage", "附件%1").arg(listed.size() + 1);
        }
        g_object_ref(object);
        attachments.append(object);
        listed.append(item);
    }

    void addBody(GMimePart* part, bool html)
    {
        const QByteArray bytes = contentBytes(g_mime_part_get_content(part));
        const QByteArray charset(g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset"));
        QString text = decodeText(bytes, charset);
        if (html) {
            text = HtmlText(text).run();
        }
        bodies.append(cleanText(text));
    }

    // Of alternatives the plain text, else the HTML, else a nested structure.
    static GMimeObject* chosen(GMimeMultipart* alternative)
    {
        GMimeObject* html = nullptr;
        GMimeObject* nested = nullptr;
        const int count = g_mime_multipart_get_count(alternative);
        for (int i = 0; i < count; ++i) {
            GMimeObject* part = g_mime_multipart_get_part(alternative, i);
            const QByteArray type = mediaType(part);
            if (type == "text/plain" && !isAttachment(part)) {
                return part;
            }
            if (type == "text/html" && !html) {
                html = part;
            } else if (GMIME_IS_MULTIPART(part) && !nested) {
                nested = part;
            }
        }
        if (html) {
            return html;
        }
        if (nested) {
            return nested;
        }
        return count > 0 ? g_mime_multipart_get_part(alternative, 0) : nullptr;
    }

    void walk(GMimeObject* object, int depth)
    {
        if (!object || depth > kMaxWalkDepth || ++walked > kMaxDelimiterLines) {
            return;
        }
        if (GMIME_IS_MULTIPART(object)) {
            auto* multipart = GMIME_MULTIPART(object);
            if (mediaType(object) == "multipart/alternative") {
                walk(chosen(multipart), depth + 1);
                return;
            }
            const int count = g_mime_multipart_get_count(multipart);
            for (int i = 0; i < count; ++i) {
                walk(g_mime_multipart_get_part(multipart, i), depth + 1);
            }
            return;
        }
        if (GMIME_IS_PART(object)) {
            const QByteArray type = mediaType(object);
            const bool named = g_mime_part_get_filename(GMIME_PART(object)) != nullptr;
            const bool text = type == "text/plain" || type == "text/html" || (depth == 0 && type.startsWith("text/"));
            if (text && !isAttachment(object) && !(named && depth > 0)) {
                addBody(GMIME_PART(object), type == "text/html");
                return;
            }
        }
        addAttachment(object);
    }
};

TMimeMessage::TMimeMessage(const QByteArray& bytes, Source source) : d(std::make_unique<Private>())
{
    initGMime();
    GByteArray* array = nullptr;
    if (source == Source::Pop3Reply) {
        array = unstuffed(bytes);
    } else {
        array = g_byte_array_sized_new(guint(bytes.size()));
        g_byte_array_append(array, reinterpret_cast<const guint8*>(bytes.constData()), guint(bytes.size()));
    }
    const QByteArray header =
        QByteArray::fromRawData(reinterpret_cast<const char*>(array->data), qsizetype(array->len));
    m_from = AddressText(HeaderValue(header, "From"), header);
    m_to = AddressText(HeaderValue(header, "To"), header);
    m_date = HeaderText(HeaderValue(header, "Date"), header);
    m_subject = HeaderText(HeaderValue(header, "Subject"), header);

    // After the header block, or all of it when no empty line ends the header.
    const auto bodyOf = [&header] {
        const qsizetype crlf = header.indexOf("\n\r\n");
        const qsizetype lf = header.indexOf("\n\n");
        qsizetype start = 0;
        if (crlf >= 0 && (lf < 0 || crlf < lf)) {
            start = crlf + 3;
        } else if (lf >= 0) {
            start = lf + 2;
        }
        return cleanText(TCharset::ToText(header.mid(start), TCharset::DeclaredCharset(header)));
    };
    if (!parseable(array)) {
        // Too deeply built to take apart safely: the body is shown as it stands.
        m_body = bodyOf();
        g_byte_array_unref(array);
        return;
    }
    GMimeStream* stream = g_mime_stream_mem_new_with_byte_array(array); // takes the array
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    d->message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    if (d->message) {
        d->walk(g_mime_message_get_mime_part(d->message), 0);
    }
    m_body = d->bodies.join(QStringLiteral("\n\n"));
    if (d->bodies.isEmpty() && d->listed.isEmpty()) {
        // Nothing the parser could take apart: the text is shown as it came.
        m_body = bodyOf();
    }
    m_attachments = d->listed;
    d->listed.clear();
    d->bodies.clear();
    g_object_unref(stream); // the header bytes are not used after this
}

TMimeMessage::~TMimeMessage() = default;

QByteArray TMimeMessage::AttachmentData(int index) const
{
    if (index < 0 || index >= d->attachments.size()) {
        return {};
    }
    GMimeObject* object = d->attachments.at(index);
    if (GMIME_IS_PART(object)) {
        return contentBytes(g_mime_part_get_content(GMIME_PART(object)));
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (!inner) {
            return {};
        }
        GMimeStream* mem = g_mime_stream_mem_new();
        g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, mem);
        GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
        QByteArray bytes(reinterpret_cast<const char*>(array->data), qsizetype(array->len));
        g_object_unref(mem);
        return bytes;
    }
    return {};
}

QString TMimeMessage::Text(bool withHeader) const
{
    QString text;
    if (withHeader) {
        text += QCoreApplication::translate("TMimeMessage", "寄件者: ") + m_from + QLatin1Char('\n');
        text += QCoreApplication::translate("TMimeMessage", "收件者: ") + m_to + QLatin1Char('\n');
        text += QCoreApplication::translate("TMimeMessage", "日期: ") + m_date + QLatin1Char('\n');
        text += QCoreApplication::translate("TMimeMessage", "主旨: ") + m_subject + QStringLiteral("\n\n");
    }
    text += m_body;
    if (!m_attachments.isEmpty()) {
        text += QCoreApplication::translate("TMimeMessage", "\n\n附件:");
        const QLocale c = QLocale::c();
        for (const TMimeAttachment& a : m_attachments) {
            // The size picks the plural form; it is printed in full even past an int.
            const int form = int(qMin<qint64>(a.Size, std::numeric_limits<int>::max()));
            text += QCoreApplication::translate("TMimeMessage", "\n  %1 (%2, %3 位元組)", nullptr, form)
                        .arg(a.FileName, a.Type, c.toString(a.Size));
        }
    }
    return text;
}

QByteArray TMimeMessage::HeaderValue(const QByteArray& message, const QByteArray& name)
{
    // The value of a one-line header is cut out once; folded lines are joined.
    QByteArray value;
    qsizetype valueStart = -1;
    qsizetype valueEnd = -1;
    bool joined = false;
    const char* text = message.constData();
    qsizetype pos = 0;
    while (pos < message.size()) {
        const auto* lf = static_cast<const char*>(std::memchr(text + pos, '\n', size_t(message.size() - pos)));
        const qsizetype eol = lf ? lf - text : -1;
        const qsizetype next = eol < 0 ? message.size() : eol + 1;
        qsizetype end = eol < 0 ? message.size() : eol;
        if (end > pos && text[end - 1] == '\r') {
            --end;
        }
        if (end == pos) {
            break; // the header block ends at the first empty line
        }
        const char first = text[pos];
        if (first == ' ' || first == '\t') {
            if (valueStart >= 0) {
                if (!joined) {
                    value = message.mid(valueStart, valueEnd - valueStart);
                    joined = true;
                }
                value.append("\r\n");
                value.append(text + pos, end - pos);
            }
        } else if (valueStart >= 0) {
            break;
        } else {
            const auto* colon = static_cast<const char*>(std::memchr(text + pos, ':', size_t(end - pos)));
            const qsizetype at = colon ? colon - text : -1;
            if (at > pos && at - pos == name.size() && qstrnicmp(text + pos, name.constData(), name.size()) == 0) {
                valueStart = at + 1;
                valueEnd = end;
            }
        }
        pos = next;
    }
    if (joined) {
        return value.trimmed();
    }
    if (valueStart < 0) {
        return {};
    }
    // Trimmed as QByteArray::trimmed trims.
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (valueStart < valueEnd && blank(text[valueStart])) {
        ++valueStart;
    }
    while (valueEnd > valueStart && blank(text[valueEnd - 1])) {
        --valueEnd;
    }
    return message.mid(valueStart, valueEnd - valueStart);
}

QString TMimeMessage::HeaderText(const QByteArray& value, const QByteArray& message)
{
    if (value.isEmpty()) {
        return {};
    }
    // ASCII without encoded words has nothing to decode: the common sender and subject of
    // a listing need no trip through the charset tables.
    bool plain = !value.contains("=?");
    for (qsizetype i = 0; plain && i < value.size(); ++i) {
        plain = static_cast<unsigned char>(value.at(i)) < 0x80;
    }
    if (plain) {
        // Line breaks go, tabs become blanks, other controls go, the ends are trimmed: what
        // unfolding and cleanLine make of it.
        QString line(value.size(), Qt::Uninitialized);
        QChar* out = line.data();
        qsizetype size = 0;
        for (const char c : value) {
            if (c == '\t') {
                out[size++] = QLatin1Char(' ');
            } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) {
                out[size++] = QLatin1Char(c);
            }
        }
        qsizetype first = 0;
        while (first < size && out[first] == QLatin1Char(' ')) {
            ++first;
        }
        while (size > first && out[size - 1] == QLatin1Char(' ')) {
            --size;
        }
        line.truncate(size);
        return first == 0 ? line : line.mid(first);
    }
    initGMime();
    // Raw 8-bit bytes first become UTF-8; encoded words are ASCII and pass unchanged.
    QByteArray utf8 = TCharset::HeaderText(value, message).toUtf8();
    QByteArray unfolded;
    unfolded.reserve(utf8.size());
    for (const char c : utf8) {
        if (c != '\r' && c != '\n' && c != '\0') {
            unfolded.append(c);
        }
    }
    char* decoded = g_mime_utils_header_decode_text(nullptr, widenLabels(unfolded).constData());
    const QString text = cleanLine(QString::fromUtf8(decoded));
    g_free(decoded);
    return text;
}

QString TMimeMessage::AddressText(const QByteArray& value, const QByteArray& message)
{
    QString text = HeaderText(value, message);
    // A display name quoted only to carry encoded words reads without its quotes.
    if (text.startsWith(QLatin1Char('"'))) {
        const qsizetype close = text.indexOf(QLatin1Char('"'), 1);
        if (close > 1 && text.mid(close + 1).trimmed().startsWith(QLatin1Char('<')) &&
            !text.mid(1, close - 1).contains(QLatin1Char('\\'))) {
            text = text.mid(1, close - 1).trimmed() + QLatin1Char(' ') + text.mid(close + 1).trimmed();
        }
    }
    return text;
}
