#include "mailbox/TImapParser.h"

#include <limits>

namespace {

// Parentheses a skipped value (BODYSTRUCTURE, ENVELOPE) may nest.
constexpr int kMaxDepth = 100;
constexpr quint64 kMax32 = std::numeric_limits<quint32>::max();
constexpr quint64 kMax63 = quint64(std::numeric_limits<qint64>::max());

bool isCtl(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

// RFC 3501's ATOM-CHAR; 8-bit bytes are let through, as some servers put UTF-8 in flags.
bool atomChar(unsigned char c)
{
    if (isCtl(c)) {
        return false;
    }
    switch (c) {
    case '(':
    case ')':
    case '{':
    case ' ':
    case '%':
    case '*':
    case '"':
    case '\\':
    case ']':
        return false;
    default:
        return true;
    }
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether the line [begin, end) ends in "{n}" or "{n+}"; digits counts n's digits,
// size holds n when there are at most 18 of them.
bool announcedLiteral(const QByteArray& buffer, qsizetype begin, qsizetype end, quint64& size, int& digits)
{
    if (end - begin < 3 || buffer.at(end - 1) != '}') {
        return false;
    }
    qsizetype open = end - 2;
    if (buffer.at(open) == '+') {
        --open;
    }
    const qsizetype last = open;
    while (open >= begin && isDigit(buffer.at(open))) {
        --open;
    }
    if (open == last || open < begin || buffer.at(open) != '{') {
        return false;
    }
    digits = int(qMin<qsizetype>(last - open, 1000));
    size = 0;
    for (qsizetype i = open + 1; digits <= 18 && i <= last; ++i) {
        size = size * 10 + quint64(buffer.at(i) - '0');
    }
    return true;
}

QByteArray normalSection(QByteArrayView section)
{
    QByteArray text = section.toByteArray().toUpper().simplified();
    text.replace("( ", "(");
    text.replace(" )", ")");
    return text;
}

TImapResponse::TStatus statusOf(const QByteArray& name)
{
    if (name == "OK") {
        return TImapResponse::TStatus::Ok;
    }
    if (name == "NO") {
        return TImapResponse::TStatus::No;
    }
    if (name == "BAD") {
        return TImapResponse::TStatus::Bad;
    }
    if (name == "PREAUTH") {
        return TImapResponse::TStatus::PreAuth;
    }
    if (name == "BYE") {
        return TImapResponse::TStatus::Bye;
    }
    return TImapResponse::TStatus::None;
}

// The "]" closing a section that starts at p and is already in the form normalSection gives
// (upper case, single blanks, no quotes); null for any other.
const char* normalSectionEnd(const char* p, const char* end)
{
    const char* const start = p;
    for (; p < end && *p != ']'; ++p) {
        const char c = *p;
        const char before = p == start ? '(' : p[-1];
        const bool last = p + 1 == end || p[1] == ']';
        if (c == '"' || isCtl(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80 || c == '{' ||
            c == '[' || (c >= 'a' && c <= 'z') || (c == ' ' && (before == ' ' || before == '(' || last)) ||
            (c == ')' && before == ' ')) {
            return nullptr;
        }
    }
    return p < end ? p : nullptr;
}

// Reads one complete response; every read checks the end, so no input reads past it.
class Cursor {
public:
    Cursor(QByteArrayView text, const TImapParser::TLimits& limits)
        : m_begin(text.data()), m_p(text.data()), m_end(text.data() + text.size()), m_limits(limits)
    {
    }

    bool atEnd() const { return m_p == m_end; }
    char peek() const { return atEnd() ? '\0' : *m_p; }
    bool take(char c)
    {
        if (atEnd() || *m_p != c) {
            return false;
        }
        ++m_p;
        return true;
    }
    bool fail(const QString& why)
    {
        if (m_why.isEmpty()) {
            m_why = why + QStringLiteral(" at byte %1").arg(m_p - m_begin);
        }
        return false;
    }
    bool expect(char c) { return take(c) || fail(QStringLiteral("\"%1\" expected").arg(QLatin1Char(c))); }
    bool space() { return expect(' '); }
    QString why() const { return m_why; }
    bool tooMany() const { return m_tooMany; }

    bool count()
    {
        if (++m_items > m_limits.MaxItems) {
            m_tooMany = true;
            return fail(QStringLiteral("more than %1 items").arg(m_limits.MaxItems));
        }
        return true;
    }

    QByteArray rest()
    {
        const QByteArray out(m_p, m_end - m_p);
        m_p = m_end;
        return out;
    }

    QByteArray atom()
    {
        const char* start = m_p;
        while (!atEnd() && atomChar(static_cast<unsigned char>(*m_p))) {
            ++m_p;
        }
        return QByteArray(start, m_p - start);
    }

    // A FETCH item's name stops where its section or origin begins; a view of the response.
    QByteArrayView itemName()
    {
        const char* start = m_p;
        while (!atEnd() && atomChar(static_cast<unsigned char>(*m_p)) && *m_p != '[' && *m_p != '<') {
            ++m_p;
        }
        return QByteArrayView(start, m_p - start);
    }

    QByteArray tag()
    {
        const char* start = m_p;
        while (!atEnd() && (atomChar(static_cast<unsigned char>(*m_p)) || *m_p == ']') && *m_p != '+') {
            ++m_p;
        }
        return QByteArray(start, m_p - start);
    }

    bool number(quint64 max, quint64& value)
    {
        if (!isDigit(peek())) {
            return fail(QStringLiteral("a number expected"));
        }
        value = 0;
        while (isDigit(peek())) {
            const auto digit = quint64(*m_p - '0');
            if (value > (max - digit) / 10) {
                return fail(QStringLiteral("number larger than %1").arg(max));
            }
            value = value * 10 + digit;
            ++m_p;
        }
        return true;
    }

    bool nzNumber32(quint32& value)
    {
        quint64 n = 0;
        if (!number(kMax32, n)) {
            return false;
        }
        if (n == 0) {
            return fail(QStringLiteral("zero where a non-zero number belongs"));
        }
        value = quint32(n);
        return true;
    }

    bool quoted(QByteArray& out)
    {
        if (!expect('"')) {
            return false;
        }
        out.clear();
        while (!atEnd()) {
            const char c = *m_p++;
            if (c == '"') {
                return true;
            }
            if (c == '\\') {
                if (peek() != '"' && peek() != '\\') {
                    return fail(QStringLiteral("a backslash escapes only \" and \\"));
                }
                out += *m_p++;
            } else if (c == '\r' || c == '\n' || c == '\0') {
                return fail(QStringLiteral("CR, LF or NUL in a quoted string"));
            } else {
                out += c;
            }
        }
        return fail(QStringLiteral("quoted string not closed"));
    }

    bool literal(QByteArray& out)
    {
        quint64 size = 0;
        if (!expect('{') || !number(quint64(m_limits.MaxLiteral), size)) {
            return false;
        }
        take('+');
        if (!expect('}')) {
            return false;
        }
        take('\r');
        if (!expect('\n')) {
            return false;
        }
        if (quint64(m_end - m_p) < size) {
            return fail(QStringLiteral("literal of %1 bytes cut short").arg(size));
        }
        out = QByteArray(m_p, qsizetype(size));
        m_p += size;
        return true;
    }

    bool string(QByteArray& out)
    {
        if (peek() == '"') {
            return quoted(out);
        }
        if (peek() == '{') {
            return literal(out);
        }
        return fail(QStringLiteral("a string expected"));
    }

    bool nstring(QByteArray& out, bool& nil)
    {
        nil = false;
        if (peek() == '"' || peek() == '{') {
            return string(out);
        }
        if (atom().toUpper() != "NIL") {
            return fail(QStringLiteral("a string or NIL expected"));
        }
        nil = true;
        out.clear();
        return true;
    }

    bool astring(QByteArray& out)
    {
        if (peek() == '"' || peek() == '{') {
            return string(out);
        }
        const char* start = m_p;
        while (!atEnd() && (atomChar(static_cast<unsigned char>(*m_p)) || *m_p == ']')) {
            ++m_p;
        }
        out = QByteArray(start, m_p - start);
        return !out.isEmpty() || fail(QStringLiteral("a string expected"));
    }

    bool flag(QByteArray& out)
    {
        if (take('\\')) {
            const char* start = m_p - 1;
            if (!take('*')) {
                atom();
            }
            out = QByteArray(start, m_p - start);
            return out.size() > 1 || fail(QStringLiteral("a flag name expected"));
        }
        out = atom();
        return !out.isEmpty() || fail(QStringLiteral("a flag expected"));
    }

    bool flagList(QList<QByteArray>& flags)
    {
        if (!expect('(')) {
            return false;
        }
        if (take(')')) {
            return true;
        }
        while (true) {
            QByteArray one;
            if (!count() || !flag(one)) {
                return false;
            }
            flags.append(one);
            if (take(')')) {
                return true;
            }
            if (!space()) {
                return false;
            }
        }
    }

    // BODY[...]'s section: quoted header names lose their quotes; no literals.
    bool section(QByteArray& out)
    {
        if (!expect('[')) {
            return false;
        }
        // Mostly sent as asked, upper-cased with single blanks: taken as it stands.
        const char* start = m_p;
        if (const char* close = normalSectionEnd(m_p, m_end)) {
            // A listing names the same section in every response: one copy serves them all.
            static thread_local QByteArray last;
            if (QByteArrayView(start, close - start) != QByteArrayView(last)) {
                last = QByteArray(start, close - start);
            }
            out = last;
            m_p = close + 1;
            return true;
        }
        QByteArray raw;
        while (true) {
            if (atEnd()) {
                return fail(QStringLiteral("section not closed"));
            }
            const char c = *m_p;
            if (c == ']') {
                ++m_p;
                break;
            }
            if (c == '"') {
                QByteArray name;
                if (!quoted(name)) {
                    return false;
                }
                raw += name;
                continue;
            }
            if (isCtl(static_cast<unsigned char>(c)) || c == '{' || c == '[') {
                return fail(QStringLiteral("unexpected byte in a section"));
            }
            raw += c;
            ++m_p;
        }
        out = normalSection(raw);
        return true;
    }

    // Any value, read and dropped: atoms, numbers, strings, literals (literal8 too),
    // nested lists with or without blanks between neighbouring lists.
    bool skipValue()
    {
        int depth = 0;
        while (true) {
            if (take('(')) {
                if (++depth > kMaxDepth) {
                    return fail(QStringLiteral("lists nested deeper than %1").arg(kMaxDepth));
                }
                if (peek() != ')') {
                    continue;
                }
            } else if (peek() == '"' || peek() == '{') {
                QByteArray ignored;
                if (!string(ignored)) {
                    return false;
                }
            } else if (peek() == '~') {
                ++m_p;
                QByteArray ignored;
                if (!literal(ignored)) {
                    return false;
                }
            } else {
                const char* start = m_p;
                while (!atEnd() && *m_p != ' ' && *m_p != '(' && *m_p != ')' && *m_p != '"' && *m_p != '{' &&
                       !isCtl(static_cast<unsigned char>(*m_p))) {
                    ++m_p;
                }
                if (m_p == start) {
                    return fail(QStringLiteral("a value expected"));
                }
            }
            while (depth > 0 && take(')')) {
                --depth;
            }
            if (depth == 0) {
                return true;
            }
            if (peek() != '(' && !space()) {
                return false;
            }
        }
    }

private:
    const char* m_begin;
    const char* m_p;
    const char* m_end;
    const TImapParser::TLimits& m_limits;
    int m_items = 0;
    bool m_tooMany = false;
    QString m_why;
};

// The upper-cased name of an untagged response; the usual ones without a copy of their own.
QByteArray upperName(const QByteArray& atom)
{
    static const QByteArray known[] = {QByteArrayLiteral("FETCH"), QByteArrayLiteral("EXISTS"),
                                       QByteArrayLiteral("EXPUNGE"), QByteArrayLiteral("RECENT"),
                                       QByteArrayLiteral("OK")};
    for (const QByteArray& name : known) {
        if (QByteArrayView(atom).compare(name, Qt::CaseInsensitive) == 0) {
            return name;
        }
    }
    return atom.toUpper();
}

bool respText(Cursor& c, TImapResponse& r)
{
    if (c.atEnd()) {
        return true;
    }
    if (!c.space()) {
        return false;
    }
    if (c.take('[')) {
        r.Code = c.atom().toUpper();
        if (r.Code.isEmpty()) {
            return c.fail(QStringLiteral("a response code expected"));
        }
        if (c.take(' ')) {
            while (!c.atEnd() && c.peek() != ']') {
                if (c.peek() == '\r' || c.peek() == '\n') {
                    return c.fail(QStringLiteral("line break in a response code"));
                }
                r.CodeArgs += c.peek();
                c.take(c.peek());
            }
        }
        if (!c.expect(']')) {
            return false;
        }
        if (r.Code == "CAPABILITY") {
            for (const QByteArray& word : r.CodeArgs.split(' ')) {
                if (!word.isEmpty()) {
                    if (!c.count()) {
                        return false;
                    }
                    r.Words.append(word.toUpper());
                }
            }
        }
        if (!c.atEnd() && !c.space()) {
            return false;
        }
    }
    r.Text = c.rest();
    return true;
}

bool fetch(Cursor& c, TImapFetch& f)
{
    if (!c.expect('(')) {
        return false;
    }
    while (true) {
        const QByteArrayView name = c.itemName();
        const auto is = [&name](QByteArrayView wanted) { return name.compare(wanted, Qt::CaseInsensitive) == 0; };
        if (name.isEmpty()) {
            return c.fail(QStringLiteral("a FETCH item expected"));
        }
        if (is("UID")) {
            if (f.HasUid) {
                return c.fail(QStringLiteral("UID given twice"));
            }
            f.HasUid = true;
            if (!c.space() || !c.nzNumber32(f.Uid)) {
                return false;
            }
        } else if (is("FLAGS")) {
            if (f.HasFlags) {
                return c.fail(QStringLiteral("FLAGS given twice"));
            }
            f.HasFlags = true;
            if (!c.space() || !c.flagList(f.Flags)) {
                return false;
            }
        } else if (is("RFC822.SIZE")) {
            if (f.HasSize) {
                return c.fail(QStringLiteral("RFC822.SIZE given twice"));
            }
            f.HasSize = true;
            quint64 size = 0;
            if (!c.space() || !c.number(kMax63, size)) {
                return false;
            }
            f.Size = qint64(size);
        } else if (c.peek() == '[') {
            TImapBody body;
            if (!c.section(body.Section)) {
                return false;
            }
            if (c.take('<')) {
                quint64 origin = 0;
                if (!c.number(kMax63, origin) || !c.expect('>')) {
                    return false;
                }
                body.Origin = qint64(origin);
            }
            if (!c.space()) {
                return false;
            }
            if (is("BODY")) {
                if (!c.count() || !c.nstring(body.Data, body.Nil)) {
                    return false;
                }
                f.Bodies.append(std::move(body));
            } else if (!c.skipValue()) {
                return false;
            }
        } else if (!c.space() || !c.skipValue()) {
            return false;
        }
        if (c.take(')')) {
            return true;
        }
        if (!c.space()) {
            return false;
        }
    }
}

bool idList(Cursor& c, TImapResponse& r)
{
    if (c.peek() != '(') {
        return c.atom().toUpper() == "NIL" || c.fail(QStringLiteral("ID list or NIL expected"));
    }
    c.take('(');
    if (c.take(')')) {
        return true;
    }
    while (true) {
        QByteArray field;
        QByteArray value;
        bool nil = false;
        if (!c.count() || !c.string(field) || !c.space() || !c.nstring(value, nil)) {
            return false;
        }
        r.Id.append({field, nil ? QByteArray() : value});
        if (c.take(')')) {
            return true;
        }
        if (!c.space()) {
            return false;
        }
    }
}

bool untagged(Cursor& c, TImapResponse& r)
{
    if (isDigit(c.peek())) {
        quint64 n = 0;
        if (!c.number(kMax32, n) || !c.space()) {
            return false;
        }
        r.Number = quint32(n);
        r.Name = upperName(c.atom());
        if (r.Name.isEmpty()) {
            return c.fail(QStringLiteral("a response name expected"));
        }
        if ((r.Name == "FETCH" || r.Name == "EXPUNGE") && n == 0) {
            return c.fail(QStringLiteral("message number 0"));
        }
        if (r.Name == "FETCH") {
            return c.space() && fetch(c, r.Fetch);
        }
        if (r.Name == "EXISTS" || r.Name == "RECENT" || r.Name == "EXPUNGE") {
            return true;
        }
        r.Rest = c.take(' ') ? c.rest() : QByteArray();
        return true;
    }
    r.Name = upperName(c.atom());
    if (r.Name.isEmpty()) {
        return c.fail(QStringLiteral("a response name expected"));
    }
    r.Status = statusOf(r.Name);
    if (r.Status != TImapResponse::TStatus::None) {
        return respText(c, r);
    }
    if (r.Name == "CAPABILITY" || r.Name == "ENABLED") {
        while (c.take(' ')) {
            const QByteArray word = c.atom();
            if (word.isEmpty()) {
                return c.fail(QStringLiteral("a capability expected"));
            }
            if (!c.count()) {
                return false;
            }
            r.Words.append(word.toUpper());
        }
        return true;
    }
    if (r.Name == "SEARCH") {
        while (c.take(' ')) {
            // CONDSTORE's "(MODSEQ n)" closes the list.
            if (c.peek() == '(') {
                if (!c.skipValue()) {
                    return false;
                }
                continue;
            }
            quint32 number = 0;
            if (!c.nzNumber32(number)) {
                return false;
            }
            r.Numbers.append(number);
        }
        return true;
    }
    if (r.Name == "ID") {
        return c.space() && idList(c, r);
    }
    if (r.Name == "FLAGS") {
        return c.space() && c.flagList(r.Words);
    }
    if (r.Name == "LIST" || r.Name == "LSUB") {
        if (!c.space() || !c.flagList(r.Words) || !c.space()) {
            return false;
        }
        if (c.peek() == '"') {
            if (!c.quoted(r.Delimiter)) {
                return false;
            }
        } else if (c.atom().toUpper() != "NIL") {
            return c.fail(QStringLiteral("a delimiter or NIL expected"));
        }
        if (!c.space() || !c.astring(r.Mailbox)) {
            return false;
        }
        // LIST-EXTENDED's data after the name is not read.
        r.Rest = c.take(' ') ? c.rest() : QByteArray();
        return true;
    }
    r.Rest = c.take(' ') ? c.rest() : QByteArray();
    return true;
}

bool response(Cursor& c, TImapResponse& r)
{
    if (c.take('+')) {
        r.Kind = TImapResponse::TKind::Continuation;
        c.take(' ');
        r.Text = c.rest();
        return true;
    }
    if (c.take('*')) {
        r.Kind = TImapResponse::TKind::Untagged;
        return c.space() && untagged(c, r);
    }
    r.Kind = TImapResponse::TKind::Tagged;
    r.Tag = c.tag();
    if (r.Tag.isEmpty()) {
        return c.fail(QStringLiteral("a tag, \"*\" or \"+\" expected"));
    }
    if (!c.space()) {
        return false;
    }
    r.Status = statusOf(c.atom().toUpper());
    if (r.Status != TImapResponse::TStatus::Ok && r.Status != TImapResponse::TStatus::No &&
        r.Status != TImapResponse::TStatus::Bad) {
        return c.fail(QStringLiteral("OK, NO or BAD expected after the tag"));
    }
    return respText(c, r);
}

} // namespace

const TImapBody* TImapFetch::Body(QByteArrayView section) const
{
    const QByteArray wanted = normalSection(section);
    for (const TImapBody& body : Bodies) {
        if (body.Section == wanted) {
            return &body;
        }
    }
    return nullptr;
}

bool TImapFetch::HasFlag(QByteArrayView flag) const
{
    for (const QByteArray& one : Flags) {
        if (QByteArrayView(one).compare(flag, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

bool TImapResponse::CodeNumber(quint32& value) const
{
    if (CodeArgs.isEmpty() || CodeArgs.size() > 10) {
        return false;
    }
    quint64 n = 0;
    for (const char c : CodeArgs) {
        if (!isDigit(c)) {
            return false;
        }
        n = n * 10 + quint64(c - '0');
    }
    if (n > kMax32) {
        return false;
    }
    value = quint32(n);
    return true;
}

bool TImapResponse::HasCapability(QByteArrayView name) const
{
    if (Name != "CAPABILITY" && Code != "CAPABILITY") {
        return false;
    }
    for (const QByteArray& word : Words) {
        if (QByteArrayView(word).compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

bool TImapParser::ParseSizeLine(QByteArrayView text, const TLimits& limits, TImapSizeLine& line)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    const auto take = [&](QByteArrayView word) {
        if (end - p < word.size() || QByteArrayView(p, word.size()).compare(word, Qt::CaseInsensitive) != 0) {
            return false;
        }
        p += word.size();
        return true;
    };
    // Digits as the full reader takes them: at least one, and within max.
    const auto number = [&](quint64 max, quint64& value) {
        if (p == end || !isDigit(*p)) {
            return false;
        }
        value = 0;
        for (; p < end && isDigit(*p); ++p) {
            const auto digit = quint64(*p - '0');
            if (value > (max - digit) / 10) {
                return false;
            }
            value = value * 10 + digit;
        }
        return true;
    };
    quint64 n = 0;
    if (!take("* ") || !number(kMax32, n) || n == 0 || !take(" FETCH (")) {
        return false;
    }
    line = TImapSizeLine();
    line.Number = quint32(n);
    bool hasFlags = false;
    // Flags and bodies count against the limit of items, as the full reader counts them.
    int items = 0;
    for (;;) {
        if (take("UID ")) {
            if (line.HasUid || !number(kMax32, n) || n == 0) {
                return false;
            }
            line.HasUid = true;
            line.Uid = quint32(n);
        } else if (take("RFC822.SIZE ")) {
            if (line.HasSize || !number(kMax63, n)) {
                return false;
            }
            line.HasSize = true;
            line.Size = qint64(n);
        } else if (take("FLAGS (")) {
            if (hasFlags) {
                return false;
            }
            hasFlags = true;
            bool first = true;
            while (p < end && *p != ')') {
                if (!first && !take(" ")) {
                    return false;
                }
                // A system flag (backslash and a name, or backslash-star) or a keyword.
                const char* start = p;
                if (p < end && *p == '\\') {
                    ++p;
                    if (p < end && *p == '*') {
                        ++p;
                        if (p < end && *p != ' ' && *p != ')') {
                            return false;
                        }
                    }
                }
                while (p < end && atomChar(static_cast<unsigned char>(*p))) {
                    ++p;
                }
                if (p == start || (p - start == 1 && *start == '\\') || ++items > limits.MaxItems) {
                    return false;
                }
                first = false;
            }
            if (!take(")")) {
                return false;
            }
        } else if (take("BODY[")) {
            const char* close = normalSectionEnd(p, end);
            if (line.HasBody || !close || ++items > limits.MaxItems) {
                return false;
            }
            line.Section = QByteArrayView(p, close - p);
            p = close + 1;
            // " {n}" or " {n+}", a line end, n bytes.
            quint64 length = 0;
            if (!take(" {") || !number(quint64(limits.MaxLiteral), length)) {
                return false;
            }
            if (p < end && *p == '+') {
                ++p;
            }
            if (!take("}")) {
                return false;
            }
            if (p < end && *p == '\r') {
                ++p;
            }
            if (!take("\n") || quint64(end - p) < length) {
                return false;
            }
            line.HasBody = true;
            line.Body = QByteArrayView(p, qsizetype(length));
            p += length;
        } else {
            return false;
        }
        if (take(")")) {
            return p == end;
        }
        if (!take(" ")) {
            return false;
        }
    }
}

TImapParser::TImapParser() = default;

TImapParser::TImapParser(const TLimits& limits) : m_limits(limits) {}

TImapError TImapParser::Parse(QByteArrayView text, const TLimits& limits, TImapResponse& response, QString* why)
{
    response = TImapResponse();
    Cursor c(text, limits);
    bool ok = ::response(c, response);
    if (ok && !c.atEnd()) {
        ok = c.fail(QStringLiteral("unexpected bytes after the response"));
    }
    if (ok) {
        return TImapError::None;
    }
    if (why) {
        *why = c.why();
    }
    return c.tooMany() ? TImapError::TooManyItems : TImapError::Malformed;
}

bool TImapParser::Feed(QByteArrayView bytes)
{
    if (m_error != TImapError::None) {
        return false;
    }
    m_buffer.append(bytes.data(), bytes.size());
    const bool ok = frame();
    // Only what belongs to the next response stays, so each byte moves at most once.
    if (m_start > 0) {
        m_buffer.remove(0, m_start);
        m_lineStart -= m_start;
        m_scanned -= m_start;
        if (m_literalEnd > 0) {
            m_literalEnd -= m_start;
        }
        m_start = 0;
    }
    if (m_buffer.capacity() > 1024 * 1024 && m_buffer.size() < m_buffer.capacity() / 4) {
        m_buffer.squeeze();
    }
    return ok;
}

bool TImapParser::frame()
{
    while (true) {
        if (m_literalEnd > 0) {
            if (m_buffer.size() < m_literalEnd) {
                return true;
            }
            m_lineStart = m_scanned = m_literalEnd;
            m_literalEnd = 0;
        }
        const qsizetype newline = m_buffer.indexOf('\n', m_scanned);
        if (newline < 0) {
            m_scanned = m_buffer.size();
            // A CR at the end may be the line's own end.
            const bool cr = m_scanned > m_lineStart && m_buffer.at(m_scanned - 1) == '\r';
            if (m_scanned - m_lineStart - (cr ? 1 : 0) > m_limits.MaxLine) {
                return fail(TImapError::LineTooLong,
                            QStringLiteral("a line longer than %1 bytes").arg(m_limits.MaxLine));
            }
            if (m_scanned - m_start > m_limits.MaxResponse) {
                return fail(TImapError::ResponseTooLarge,
                            QStringLiteral("a response larger than %1 bytes").arg(m_limits.MaxResponse));
            }
            return true;
        }
        qsizetype lineEnd = newline;
        if (lineEnd > m_lineStart && m_buffer.at(lineEnd - 1) == '\r') {
            --lineEnd;
        }
        if (lineEnd - m_lineStart > m_limits.MaxLine) {
            return fail(TImapError::LineTooLong, QStringLiteral("a line longer than %1 bytes").arg(m_limits.MaxLine));
        }
        if (newline + 1 - m_start > m_limits.MaxResponse) {
            return fail(TImapError::ResponseTooLarge,
                        QStringLiteral("a response larger than %1 bytes").arg(m_limits.MaxResponse));
        }

        // A line ending in "{n}" or "{n+}" announces n bytes that belong to the response.
        quint64 size = 0;
        int digits = 0;
        if (announcedLiteral(m_buffer, m_lineStart, lineEnd, size, digits)) {
            const bool overLiteral = digits > 18 || size > quint64(m_limits.MaxLiteral);
            if (overLiteral || qint64(size) > m_limits.MaxResponse - (newline + 1 - m_start)) {
                const QByteArray shown = m_buffer.mid(lineEnd - qMin(digits + 3, 40), qMin(digits + 3, 40));
                return fail(overLiteral ? TImapError::LiteralTooLarge : TImapError::ResponseTooLarge,
                            QStringLiteral("literal %1 over the limit of %2 bytes")
                                .arg(QString::fromLatin1(shown))
                                .arg(overLiteral ? m_limits.MaxLiteral : m_limits.MaxResponse));
            }
            m_scanned = newline + 1;
            m_literalEnd = m_scanned + qsizetype(size);
            if (m_literalEnd == m_scanned) {
                // "{0}": the line goes on at once.
                m_lineStart = m_scanned;
                m_literalEnd = 0;
            }
            continue;
        }

        // A whole line without literals, and nothing before it still waiting to be taken.
        TImapSizeLine sizes;
        if (m_sizeHandler && m_ready.empty() &&
            ParseSizeLine(QByteArrayView(m_buffer.constData() + m_start, lineEnd - m_start), m_limits, sizes)) {
            m_sizeHandler(sizes);
            m_start = m_lineStart = m_scanned = newline + 1;
            continue;
        }
        if (int(m_ready.size()) >= m_limits.MaxQueued) {
            return fail(TImapError::TooManyResponses,
                        QStringLiteral("more than %1 responses waiting").arg(m_limits.MaxQueued));
        }
        TImapResponse response;
        QString why;
        const TImapError error =
            Parse(QByteArrayView(m_buffer.constData() + m_start, lineEnd - m_start), m_limits, response, &why);
        if (error != TImapError::None) {
            const QByteArray head = m_buffer.mid(m_start, qMin<qsizetype>(lineEnd - m_start, 80));
            return fail(error, why + QStringLiteral(" in: ") + QString::fromLatin1(head));
        }
        m_ready.push_back(std::move(response));
        m_start = m_lineStart = m_scanned = newline + 1;
    }
}

TImapResponse TImapParser::Take()
{
    if (m_ready.empty()) {
        return {};
    }
    TImapResponse response = std::move(m_ready.front());
    m_ready.pop_front();
    return response;
}

bool TImapParser::fail(TImapError error, const QString& text)
{
    m_error = error;
    m_errorText = text;
    m_buffer.clear();
    m_buffer.squeeze();
    m_start = m_lineStart = m_scanned = m_literalEnd = 0;
    return false;
}

void TImapParser::Clear()
{
    m_buffer.clear();
    m_start = m_lineStart = m_scanned = m_literalEnd = 0;
    m_ready.clear();
    m_error = TImapError::None;
    m_errorText.clear();
}
