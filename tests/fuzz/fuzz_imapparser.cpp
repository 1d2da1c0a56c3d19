// IMAP responses from a hostile server, and what the client writes.
// First byte: bit 0 chooses small limits; the rest is a piece-size seed. The remaining
// input is fed to the response reader at once and in pieces (sizes cycling from the
// seed): both must read the same responses and fail alike; a line the quick size
// reading takes must read the same in full. The same bytes also go
// through the command builder (read back by the reader), modified UTF-7 both ways and
// the UID set builder.

#include "fuzz/FuzzSupport.h"
#include "mailbox/TImapCommand.h"
#include "mailbox/TImapParser.h"
#include "mailbox/TImapUtf7.h"

#include <QSet>

#include <algorithm>

namespace {

QByteArray dump(const TImapResponse& r)
{
    QByteArray out = QByteArray::number(int(r.Kind)) + '|' + r.Tag + '|' + QByteArray::number(int(r.Status)) + '|' +
                     r.Name + '|' + QByteArray::number(r.Number) + '|' + r.Code + '|' + r.CodeArgs + '|' + r.Text +
                     '|' + r.Words.join(' ') + '|' + r.Delimiter + '|' + r.Mailbox + '|' + r.Rest + '|';
    for (const quint32 n : r.Numbers) {
        out += QByteArray::number(n) + ',';
    }
    for (const auto& field : r.Id) {
        out += field.first + '=' + field.second + (field.second.isNull() ? "(nil)" : "") + ',';
    }
    const TImapFetch& f = r.Fetch;
    out += '|' + QByteArray::number(f.HasUid) + QByteArray::number(f.Uid) + QByteArray::number(f.HasFlags) +
           f.Flags.join(' ') + QByteArray::number(f.HasSize) + QByteArray::number(f.Size);
    for (const TImapBody& body : f.Bodies) {
        out += '[' + body.Section + ']' + QByteArray::number(body.Origin) + QByteArray::number(body.Nil) + body.Data;
    }
    return out;
}

// The items of one response stay within the limits it was read with.
void checkResponse(const TImapResponse& r, const TImapParser::TLimits& limits)
{
    FUZZ_CHECK(r.Words.size() + r.Id.size() + r.Fetch.Bodies.size() + r.Fetch.Flags.size() <= limits.MaxItems);
    FUZZ_CHECK(!r.Fetch.HasUid || r.Fetch.Uid > 0);
    FUZZ_CHECK(r.Fetch.Size >= 0);
    for (const quint32 n : r.Numbers) {
        FUZZ_CHECK(n > 0);
    }
    for (const TImapBody& body : r.Fetch.Bodies) {
        FUZZ_CHECK(body.Data.size() <= qMax<qint64>(limits.MaxLiteral, limits.MaxLine));
        FUZZ_CHECK(!body.Nil || body.Data.isEmpty());
        FUZZ_CHECK(r.Fetch.Body(body.Section) != nullptr);
    }
    if (r.Kind == TImapResponse::TKind::Tagged) {
        FUZZ_CHECK(!r.Tag.isEmpty() && r.Status != TImapResponse::TStatus::None);
    }
}

struct TRun {
    QList<QByteArray> Read;
    TImapError Error = TImapError::None;
};

TRun run(const QByteArray& wire, const TImapParser::TLimits& limits, int firstPiece)
{
    TImapParser parser(limits);
    bool ok = true;
    int piece = firstPiece;
    for (qsizetype at = 0; at < wire.size() && ok; at += piece, piece = piece % 61 + 1) {
        ok = parser.Feed(QByteArrayView(wire.constData() + at, qMin<qsizetype>(piece, wire.size() - at)));
    }
    FUZZ_CHECK(ok == (parser.Error() == TImapError::None));
    FUZZ_CHECK(ok || (!parser.ErrorText().isEmpty() && !parser.Feed("* 1 EXISTS\r\n") && !parser.Empty()));
    TRun result;
    result.Error = parser.Error();
    while (parser.HasResponse()) {
        const TImapResponse r = parser.Take();
        checkResponse(r, limits);
        result.Read.append(dump(r));
    }
    return result;
}

// Line and response sizes are checked as bytes arrive: with a partial line either may
// be noticed first.
bool sameFailure(TImapError a, TImapError b)
{
    const auto size = [](TImapError e) { return e == TImapError::LineTooLong || e == TImapError::ResponseTooLarge; };
    return a == b || (size(a) && size(b));
}

void checkCommand(const QByteArray& value)
{
    TImapCommand command("a1", "X");
    command.AddString(value);
    FUZZ_CHECK(command.Valid() == !value.contains('\0'));
    if (!command.Valid()) {
        FUZZ_CHECK(command.Pieces(TImapCommand::TLiterals::Plus).isEmpty());
        return;
    }
    const QList<QByteArray> sync = command.Pieces(TImapCommand::TLiterals::Synchronising);
    const QList<QByteArray> plus = command.Pieces(TImapCommand::TLiterals::Plus);
    FUZZ_CHECK(plus.size() == 1 && sync.size() == (TImapCommand::NeedsLiteral(value) ? 2 : 1));
    if (sync.size() == 2) {
        // The same bytes, one waiting for the server's "+" after the announcement.
        FUZZ_CHECK(sync.first().endsWith("}\r\n") && !sync.first().endsWith("+}\r\n"));
        FUZZ_CHECK(sync.first().chopped(3) + "+}\r\n" + sync.last() == plus.first());
    } else {
        FUZZ_CHECK(sync == plus);
    }
    FUZZ_CHECK(plus.first().startsWith("a1 X ") && plus.first().endsWith("\r\n"));

    // What was written reads back as the same string, so nothing in it ended the line.
    const QByteArray argument = plus.first().mid(5).chopped(2);
    TImapParser parser;
    FUZZ_CHECK(parser.Feed("* LIST () NIL " + argument + "\r\n"));
    FUZZ_CHECK(parser.HasResponse());
    const TImapResponse r = parser.Take();
    FUZZ_CHECK(r.Name == "LIST" && r.Mailbox == value && r.Rest.isEmpty());
    FUZZ_CHECK(parser.Empty());
}

void checkUtf7(const QByteArray& wire)
{
    // A name read from the wire is written back exactly so: one spelling per name.
    QString name;
    QString error;
    if (TImapUtf7::Decode(wire, name, &error)) {
        bool ok = false;
        FUZZ_CHECK(TImapUtf7::Encode(name, &ok) == wire && ok);
    } else {
        FUZZ_CHECK(name.isEmpty() && !error.isEmpty());
    }

    // Any text: written and read back unchanged, or refused when it is not Unicode.
    QString text;
    for (qsizetype i = 0; i + 1 < wire.size(); i += 2) {
        text += QChar(char16_t((quint8(wire.at(i)) << 8) | quint8(wire.at(i + 1))));
    }
    bool paired = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (text.at(i).isSurrogate()) {
            paired = false;
        }
    }
    bool ok = false;
    const QByteArray encoded = TImapUtf7::Encode(text, &ok);
    FUZZ_CHECK(ok == paired);
    if (ok) {
        QString back;
        FUZZ_CHECK(TImapUtf7::Decode(encoded, back, &error) && back == text);
    } else {
        FUZZ_CHECK(encoded.isEmpty());
    }
}

void checkUidSet(const QByteArray& bytes)
{
    QList<quint32> uids;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        // Mostly small numbers for runs, now and then the top of the range.
        const auto b = quint8(bytes.at(i));
        uids.append(b >= 0xf0 ? 0xffffffffu - (b & 0x0f) : b);
    }
    QList<quint32> expected = uids;
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    expected.removeAll(0);

    const QByteArray set = TImapCommand::UidSet(uids);
    QList<quint32> read;
    if (!set.isEmpty()) {
        for (const QByteArray& range : set.split(',')) {
            const QList<QByteArray> ends = range.split(':');
            FUZZ_CHECK(ends.size() <= 2);
            const quint32 low = ends.first().toUInt();
            const quint32 high = ends.last().toUInt();
            FUZZ_CHECK(low > 0 && (ends.size() == 1 || low < high) && high - low < 1000);
            // Shortest form: ranges never touch.
            FUZZ_CHECK(read.isEmpty() || low > read.back() + 1);
            for (quint64 n = low; n <= high; ++n) {
                read.append(quint32(n));
            }
        }
    }
    // Qt's comparison of two empty lists hands memcmp a null pointer, which UBSan reports.
    FUZZ_CHECK(read.size() == expected.size() && (read.isEmpty() || read == expected));

    const int maxLength = 1 + (bytes.isEmpty() ? 0 : quint8(bytes.front()) % 40);
    const QList<QByteArray> sets = TImapCommand::UidSets(uids, maxLength);
    FUZZ_CHECK(sets.join(',') == set);
    for (const QByteArray& one : sets) {
        FUZZ_CHECK(one.size() <= maxLength || !one.contains(','));
    }
}

} // namespace

// A line the quick size reading takes, the full reader takes alike.
void checkSizeLines(const QByteArray& wire, const TImapParser::TLimits& limits)
{
    for (const QByteArray& line : wire.split('\n')) {
        const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
        TImapSizeLine sizes;
        if (!TImapParser::ParseSizeLine(text, limits, sizes)) {
            continue;
        }
        TImapResponse r;
        FUZZ_CHECK(TImapParser::Parse(text, limits, r, nullptr) == TImapError::None);
        FUZZ_CHECK(r.Kind == TImapResponse::TKind::Untagged && r.Name == "FETCH" && r.Number == sizes.Number);
        FUZZ_CHECK(r.Fetch.HasUid == sizes.HasUid && r.Fetch.Uid == sizes.Uid);
        FUZZ_CHECK(r.Fetch.HasSize == sizes.HasSize && r.Fetch.Size == sizes.Size);
        FUZZ_CHECK(r.Fetch.Bodies.size() == (sizes.HasBody ? 1 : 0));
        FUZZ_CHECK(!sizes.HasBody ||
                   (r.Fetch.Bodies.at(0).Section == sizes.Section && r.Fetch.Bodies.at(0).Data == sizes.Body));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Reader reader(fuzz::bytes(data, size));
    const quint8 mode = reader.byte();
    const QByteArray wire = reader.rest();

    TImapParser::TLimits limits;
    if (mode & 1) {
        limits.MaxLine = 40;
        limits.MaxLiteral = 30;
        limits.MaxResponse = 120;
        limits.MaxQueued = 6;
        limits.MaxItems = 5;
    }
    const TRun whole = run(wire, limits, int(wire.size()) + 1);
    const TRun pieces = run(wire, limits, 1 + (mode >> 1) % 61);
    FUZZ_CHECK(sameFailure(whole.Error, pieces.Error));
    FUZZ_CHECK(whole.Read == pieces.Read);

    checkSizeLines(wire.left(4000), limits);
    checkCommand(wire.left(2000));
    checkUtf7(wire.left(512));
    checkUidSet(wire.left(256));
    return 0;
}
