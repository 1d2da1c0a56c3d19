#include "mailbox/TImapCommand.h"
#include "mailbox/TImapParser.h"
#include "mailbox/TImapUtf7.h"
#include "testsupport/TRandomText.h"

#include <QtTest>

Q_DECLARE_METATYPE(TImapError)
Q_DECLARE_METATYPE(TImapCommand::TLiterals)

class tst_ImapParser : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void splitAnywhere_data();
    void splitAnywhere();
    void malformed_data();
    void malformed();
    void limits_data();
    void limits();
    void limitsAdmitTheirSize();
    void largeInputInTinyPieces();
    void injectedAfterReply();
    void sectionForms();
    void sizeLines();
    void command_data();
    void command();
    void uidSet_data();
    void uidSet();
    void utf7RoundTrip_data();
    void utf7RoundTrip();
    void utf7Malformed_data();
    void utf7Malformed();
};

namespace {

// Line ends and control bytes written out, so a row's text stays on one line.
QByteArray visible(const QByteArray& data)
{
    QByteArray out;
    for (const char c : data) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += "\\x" + QByteArray::number(static_cast<unsigned char>(c), 16);
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray list(const QList<QByteArray>& items)
{
    return '[' + items.join(',') + ']';
}

// One line per response with everything read from it, so a table states it exactly.
QByteArray dump(const TImapResponse& r)
{
    QByteArray out;
    switch (r.Kind) {
    case TImapResponse::TKind::Tagged:
        out = "tagged " + r.Tag;
        break;
    case TImapResponse::TKind::Untagged:
        out = "untagged";
        break;
    case TImapResponse::TKind::Continuation:
        out = "continue";
        break;
    }
    static const char* const statuses[] = {"", "OK", "NO", "BAD", "PREAUTH", "BYE"};
    if (r.Status != TImapResponse::TStatus::None) {
        out += QByteArray(" status=") + statuses[int(r.Status)];
    }
    if (!r.Name.isEmpty()) {
        out += " name=" + r.Name;
    }
    if (r.Number != 0) {
        out += " n=" + QByteArray::number(r.Number);
    }
    if (!r.Code.isEmpty()) {
        out += " code=" + r.Code + '(' + r.CodeArgs + ')';
    }
    if (!r.Text.isEmpty()) {
        out += " text=" + r.Text;
    }
    if (!r.Words.isEmpty()) {
        out += " words=" + list(r.Words);
    }
    if (!r.Numbers.isEmpty()) {
        QList<QByteArray> numbers;
        for (const quint32 n : r.Numbers) {
            numbers.append(QByteArray::number(n));
        }
        out += " numbers=" + list(numbers);
    }
    if (!r.Id.isEmpty()) {
        QList<QByteArray> fields;
        for (const auto& field : r.Id) {
            fields.append(field.first + '=' + (field.second.isNull() ? QByteArray("NIL") : field.second));
        }
        out += " id=" + list(fields);
    }
    if (r.Name == "LIST" || r.Name == "LSUB") {
        out += " delim=" + r.Delimiter + " mailbox=" + r.Mailbox;
    }
    const TImapFetch& f = r.Fetch;
    if (f.HasUid) {
        out += " uid=" + QByteArray::number(f.Uid);
    }
    if (f.HasFlags) {
        out += " flags=" + list(f.Flags);
    }
    if (f.HasSize) {
        out += " size=" + QByteArray::number(f.Size);
    }
    for (const TImapBody& body : f.Bodies) {
        out += " body[" + body.Section + ']';
        if (body.Origin >= 0) {
            out += '<' + QByteArray::number(body.Origin) + '>';
        }
        out += body.Nil ? QByteArray("=NIL") : '=' + visible(body.Data);
    }
    if (!r.Rest.isEmpty()) {
        out += " rest=" + r.Rest;
    }
    return out;
}

QByteArray feedAll(TImapParser& parser, const QList<QByteArray>& pieces, bool* ok = nullptr)
{
    bool fed = true;
    QByteArray out;
    for (const QByteArray& piece : pieces) {
        fed = parser.Feed(piece) && fed;
        while (parser.HasResponse()) {
            out += dump(parser.Take()) + '\n';
        }
    }
    if (ok) {
        *ok = fed;
    }
    return out;
}

const QByteArray kHeader = "Message-ID: <a@x>\r\nFrom: a@x\r\nSubject: one\r\n\r\n";

} // namespace

void tst_ImapParser::parse_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("read");

    QTest::newRow("greeting with capabilities")
        << QByteArray("* OK [CAPABILITY IMAP4rev1 LITERAL+ auth=PLAIN] Dovecot ready.\r\n")
        << QByteArray("untagged status=OK name=OK code=CAPABILITY(IMAP4rev1 LITERAL+ auth=PLAIN) text=Dovecot ready. "
                      "words=[IMAP4REV1,LITERAL+,AUTH=PLAIN]");
    QTest::newRow("tagged OK with a code")
        << QByteArray("a5 OK [READ-ONLY] Examine completed.\r\n")
        << QByteArray("tagged a5 status=OK code=READ-ONLY() text=Examine completed.");
    QTest::newRow("refused login") << QByteArray("a2 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n")
                                   << QByteArray("tagged a2 status=NO code=AUTHENTICATIONFAILED() text=Authentication "
                                                 "failed.");
    QTest::newRow("temporary failure") << QByteArray("a2 no [unavailable] try later\r\n")
                                       << QByteArray("tagged a2 status=NO code=UNAVAILABLE() text=try later");
    QTest::newRow("trycreate") << QByteArray("x9 NO [TRYCREATE] No such folder\r\n")
                               << QByteArray("tagged x9 status=NO code=TRYCREATE() text=No such folder");
    QTest::newRow("bad without text") << QByteArray("a1 BAD\r\n") << QByteArray("tagged a1 status=BAD");
    QTest::newRow("tag with a bracket") << QByteArray("A]1 OK done\r\n")
                                        << QByteArray("tagged A]1 status=OK text=done");
    QTest::newRow("uidvalidity") << QByteArray("* OK [UIDVALIDITY 1796816994] UIDs valid\r\n")
                                 << QByteArray(
                                        "untagged status=OK name=OK code=UIDVALIDITY(1796816994) text=UIDs valid");
    QTest::newRow("permanent flags")
        << QByteArray("* OK [PERMANENTFLAGS (\\Deleted \\*)] Flags permitted.\r\n")
        << QByteArray("untagged status=OK name=OK code=PERMANENTFLAGS((\\Deleted \\*)) text=Flags permitted.");
    QTest::newRow("capability") << QByteArray("* CAPABILITY IMAP4rev1 IDLE UIDPLUS ID\r\n")
                                << QByteArray("untagged name=CAPABILITY words=[IMAP4REV1,IDLE,UIDPLUS,ID]");
    QTest::newRow("exists") << QByteArray("* 23 EXISTS\r\n") << QByteArray("untagged name=EXISTS n=23");
    QTest::newRow("no messages") << QByteArray("* 0 EXISTS\r\n") << QByteArray("untagged name=EXISTS");
    QTest::newRow("expunge, LF only") << QByteArray("* 4 expunge\n") << QByteArray("untagged name=EXPUNGE n=4");
    QTest::newRow("bye") << QByteArray("* BYE Server shutting down.\r\n")
                         << QByteArray("untagged status=BYE name=BYE text=Server shutting down.");
    QTest::newRow("id") << QByteArray("* ID (\"name\" \"Dovecot\" \"version\" NIL)\r\n")
                        << QByteArray("untagged name=ID id=[name=Dovecot,version=NIL]");
    QTest::newRow("id nil") << QByteArray("* ID NIL\r\n") << QByteArray("untagged name=ID");
    QTest::newRow("enabled") << QByteArray("* ENABLED utf8=accept\r\n")
                             << QByteArray("untagged name=ENABLED words=[UTF8=ACCEPT]");
    QTest::newRow("enabled nothing") << QByteArray("* ENABLED\r\n") << QByteArray("untagged name=ENABLED");
    QTest::newRow("search") << QByteArray("* SEARCH 2 4294967295 7\r\n")
                            << QByteArray("untagged name=SEARCH numbers=[2,4294967295,7]");
    QTest::newRow("search with modseq") << QByteArray("* SEARCH 3 (MODSEQ 917162500)\r\n")
                                        << QByteArray("untagged name=SEARCH numbers=[3]");
    QTest::newRow("continuation") << QByteArray("+ idling\r\n") << QByteArray("continue text=idling");
    QTest::newRow("bare continuation") << QByteArray("+\r\n") << QByteArray("continue");
    QTest::newRow("flags") << QByteArray("* FLAGS (\\Answered \\Seen $Forwarded)\r\n")
                           << QByteArray("untagged name=FLAGS words=[\\Answered,\\Seen,$Forwarded]");
    QTest::newRow("list with a literal name")
        << QByteArray("* LIST (\\HasNoChildren) \".\" {7}\r\nA \"b\"\\c\r\n")
        << QByteArray("untagged name=LIST words=[\\HasNoChildren] delim=. mailbox=A \"b\"\\c");
    QTest::newRow("list without delimiter")
        << QByteArray("* LIST () NIL &ZTZO9lMj-\r\n") << QByteArray("untagged name=LIST delim= mailbox=&ZTZO9lMj-");
    QTest::newRow("unknown response kept")
        << QByteArray("* STATUS INBOX (MESSAGES 2)\r\n") << QByteArray("untagged name=STATUS rest=INBOX (MESSAGES 2)");
    QTest::newRow("unknown numbered response")
        << QByteArray("* 3 XFOO (a)\r\n") << QByteArray("untagged name=XFOO n=3 rest=(a)");
    QTest::newRow("fetch as Dovecot sends it")
        << QByteArray("* 1 FETCH (UID 1 FLAGS (\\Recent) RFC822.SIZE 52 BODY[HEADER.FIELDS (DATE FROM SUBJECT "
                      "MESSAGE-ID)] {46}\r\n" +
                      kHeader + ")\r\n")
        << QByteArray("untagged name=FETCH n=1 uid=1 flags=[\\Recent] size=52 body[HEADER.FIELDS (DATE FROM SUBJECT "
                      "MESSAGE-ID)]=Message-ID: <a@x>\\r\\nFrom: a@x\\r\\nSubject: one\\r\\n\\r\\n");
    QTest::newRow("fetch: quoted, NIL and partial bodies, any order")
        << QByteArray("* 12 FETCH (BODY[TEXT] \"a \\\"q\\\" \\\\\" body[header.fields ( \"Date\"  from )] NIL "
                      "BODY[]<0> {3+}\r\nabc FLAGS () UID 4294967295 RFC822.SIZE 9000000000)\r\n")
        << QByteArray("untagged name=FETCH n=12 uid=4294967295 flags=[] size=9000000000 body[TEXT]=a \"q\" \\ "
                      "body[HEADER.FIELDS (DATE FROM)]=NIL body[]<0>=abc");
    QTest::newRow("fetch: skipped items with lists, literals and literal8")
        << QByteArray("* 2 FETCH (INTERNALDATE \"01-Jan-2024 10:00:00 +0000\" ENVELOPE (\"d\" {2}\r\n)( NIL "
                      "((NIL NIL \"a\" \"x\")) NIL) BODYSTRUCTURE ((\"text\" \"plain\" NIL NIL NIL \"7bit\" 1 1)"
                      "(\"text\" \"html\" NIL NIL NIL \"7bit\" 1 1) \"alternative\") BINARY[1] ~{2}\r\n\x01\x02 "
                      "MODSEQ (5) UID 7)\r\n")
        << QByteArray("untagged name=FETCH n=2 uid=7");
}

void tst_ImapParser::parse()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, read);
    TImapParser parser;
    bool ok = false;
    QCOMPARE(feedAll(parser, {wire}, &ok), read + '\n');
    QVERIFY2(ok, qPrintable(parser.ErrorText()));
    QVERIFY(parser.Empty());
}

void tst_ImapParser::splitAnywhere_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("read");
    QTest::newRow("header fetch and its tagged reply")
        << QByteArray("* 1 FETCH (UID 1 FLAGS (\\Seen) RFC822.SIZE 52 BODY[HEADER.FIELDS (DATE FROM SUBJECT "
                      "MESSAGE-ID)] {46}\r\n" +
                      kHeader + ")\r\na6 OK Fetch completed.\r\n")
        << QByteArray("untagged name=FETCH n=1 uid=1 flags=[\\Seen] size=52 body[HEADER.FIELDS (DATE FROM SUBJECT "
                      "MESSAGE-ID)]=Message-ID: <a@x>\\r\\nFrom: a@x\\r\\nSubject: one\\r\\n\\r\\n\n"
                      "tagged a6 status=OK text=Fetch completed.\n");
    // The literal holds what would look like a line end, a literal announcement and a tag.
    const QByteArray tricky = "x {5}\r\na1 OK \"\r\n* BYE \r\n";
    QTest::newRow("literal that looks like responses")
        << QByteArray("* 3 FETCH (BODY[] {" + QByteArray::number(tricky.size()) + "}\r\n" + tricky +
                      " UID 9)\r\n* 4 EXISTS\r\n")
        << QByteArray("untagged name=FETCH n=3 uid=9 body[]=x {5}\\r\\na1 OK \"\\r\\n* BYE \\r\\n\n"
                      "untagged name=EXISTS n=4\n");
    QTest::newRow("empty literal, LITERAL+ form, literal of a brace")
        << QByteArray("* LIST () \"/\" {0}\r\n\r\n* 5 FETCH (BODY[1] {2+}\r\n}\n BODY[2] {1}\r\n{)\r\n+ go on\r\n")
        << QByteArray("untagged name=LIST delim=/ mailbox=\n"
                      "untagged name=FETCH n=5 body[1]=}\\n body[2]={\n"
                      "continue text=go on\n");
}

void tst_ImapParser::splitAnywhere()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, read);
    TImapParser whole;
    bool ok = false;
    QCOMPARE(feedAll(whole, {wire}, &ok), read);
    QVERIFY2(ok, qPrintable(whole.ErrorText()));

    for (qsizetype at = 1; at < wire.size(); ++at) {
        TImapParser parser;
        QCOMPARE(feedAll(parser, {wire.left(at), wire.mid(at)}, &ok), read);
        QVERIFY(ok);
        QVERIFY(parser.Empty());
    }
    QList<QByteArray> bytes;
    for (const char c : wire) {
        bytes.append(QByteArray(1, c));
    }
    TImapParser byByte;
    QCOMPARE(feedAll(byByte, bytes, &ok), read);
    QVERIFY(ok);
}

void tst_ImapParser::malformed_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("empty line") << QByteArray("\r\n");
    QTest::newRow("no tag") << QByteArray(" OK x\r\n");
    QTest::newRow("tagged, not a status") << QByteArray("a1 MAYBE\r\n");
    QTest::newRow("tagged BYE") << QByteArray("a1 BYE now\r\n");
    QTest::newRow("star without blank") << QByteArray("*OK\r\n");
    QTest::newRow("code not closed") << QByteArray("a1 OK [UIDNEXT 5\r\n");
    QTest::newRow("fetch of message 0") << QByteArray("* 0 FETCH (UID 1)\r\n");
    QTest::newRow("expunge of message 0") << QByteArray("* 0 EXPUNGE\r\n");
    QTest::newRow("uid 0") << QByteArray("* 1 FETCH (UID 0)\r\n");
    QTest::newRow("uid over 32 bits") << QByteArray("* 1 FETCH (UID 4294967296)\r\n");
    QTest::newRow("message number over 32 bits") << QByteArray("* 99999999999999999999999 EXISTS\r\n");
    QTest::newRow("size over 63 bits") << QByteArray("* 1 FETCH (RFC822.SIZE 9223372036854775808)\r\n");
    QTest::newRow("uid twice") << QByteArray("* 1 FETCH (UID 5 UID 6)\r\n");
    QTest::newRow("fetch not closed") << QByteArray("* 1 FETCH (UID 5\r\n");
    QTest::newRow("fetch list empty") << QByteArray("* 1 FETCH ()\r\n");
    QTest::newRow("section not closed") << QByteArray("* 1 FETCH (BODY[HEADER NIL)\r\n");
    QTest::newRow("body that is a number") << QByteArray("* 1 FETCH (BODY[] 12)\r\n");
    QTest::newRow("quoted string not closed") << QByteArray("* 1 FETCH (BODY[] \"abc)\r\n");
    QTest::newRow("stray escape") << QByteArray("* 1 FETCH (BODY[] \"a\\b\")\r\n");
    QTest::newRow("literal inside the line") << QByteArray("* 1 FETCH (BODY[] {5} hello)\r\n");
    QTest::newRow("trailing bytes") << QByteArray("* 3 EXISTS now\r\n");
    QTest::newRow("search of 0") << QByteArray("* SEARCH 1 0\r\n");
    QTest::newRow("search of a word") << QByteArray("* SEARCH 1 x\r\n");
    QTest::newRow("id with odd fields") << QByteArray("* ID (\"name\")\r\n");
    QTest::newRow("flag without name") << QByteArray("* FLAGS (\\ \\Seen)\r\n");
    QTest::newRow("capability double blank") << QByteArray("* CAPABILITY IMAP4rev1  IDLE\r\n");
    QTest::newRow("nesting too deep") << QByteArray("* 1 FETCH (ENVELOPE " + QByteArray(101, '(') +
                                                    QByteArray(101, ')') + ")\r\n");
    QTest::newRow("unbalanced skipped list") << QByteArray("* 1 FETCH (ENVELOPE (a (b) UID 1)\r\n");
}

void tst_ImapParser::malformed()
{
    QFETCH(QByteArray, wire);
    TImapParser parser;
    // A good response before shows the fault stops the reader exactly there.
    bool ok = true;
    const QByteArray read = feedAll(parser, {"* 1 EXISTS\r\n" + wire + "* 2 EXISTS\r\n"}, &ok);
    QVERIFY(!ok);
    QCOMPARE(read, QByteArray("untagged name=EXISTS n=1\n"));
    QCOMPARE(parser.Error(), TImapError::Malformed);
    QVERIFY(!parser.ErrorText().isEmpty());
    QVERIFY(!parser.Empty());
    QVERIFY(!parser.Feed("* 3 EXISTS\r\n"));
    QVERIFY(!parser.HasResponse());
    parser.Clear();
    QVERIFY(parser.Feed("* 3 EXISTS\r\n"));
    QVERIFY(parser.HasResponse());
}

void tst_ImapParser::limits_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<int>("responsesBefore");
    QTest::addColumn<TImapError>("error");
    QTest::addColumn<bool>("fitsMore");

    // Limits below: line 64, literal 100, response 200, 4 waiting, 8 items.
    QTest::newRow("line too long, before its end arrives")
        << QList<QByteArray>{"* OK " + QByteArray(60, 'x')} << 0 << TImapError::LineTooLong << true;
    QTest::newRow("line too long with its end")
        << QList<QByteArray>{"* 1 EXISTS\r\n* OK " + QByteArray(60, 'x') + "\r\n"} << 1 << TImapError::LineTooLong
        << true;
    QTest::newRow("line after a literal too long")
        << QList<QByteArray>{"* 1 FETCH (BODY[] {3}\r\nabc", QByteArray(70, ' ')} << 0 << TImapError::LineTooLong
        << true;
    QTest::newRow("literal over the limit")
        << QList<QByteArray>{"* 1 FETCH (BODY[] {101}\r\n"} << 0 << TImapError::LiteralTooLarge << true;
    QTest::newRow("literal of a huge size")
        << QList<QByteArray>{"* 1 FETCH (BODY[] {99999999999999}\r\n"} << 0 << TImapError::LiteralTooLarge << false;
    QTest::newRow("literal size past 64 bits")
        << QList<QByteArray>{"* 1 FETCH (BODY[] {" + QByteArray(40, '9') + "+}\r\n"} << 0 << TImapError::LiteralTooLarge
        << false;
    QTest::newRow("literals adding up over the response limit")
        << QList<QByteArray>{"* 1 FETCH (BODY[1] {90}\r\n" + QByteArray(90, 'a') + " BODY[2] {90}\r\n"} << 0
        << TImapError::ResponseTooLarge << true;
    QTest::newRow("too many responses waiting")
        << QList<QByteArray>{QByteArray("* 1 EXISTS\r\n").repeated(5)} << 4 << TImapError::TooManyResponses << true;
    QTest::newRow("too many flags") << QList<QByteArray>{"* FLAGS (\\a \\b \\c \\d \\e \\f \\g \\h \\i)\r\n"} << 0
                                    << TImapError::TooManyItems << true;
    QTest::newRow("too many capabilities in a code")
        << QList<QByteArray>{"* OK [CAPABILITY a b c d e f g h i] hi\r\n"} << 0 << TImapError::TooManyItems << true;
}

void tst_ImapParser::limits()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, responsesBefore);
    QFETCH(TImapError, error);
    QFETCH(bool, fitsMore);

    TImapParser::TLimits limits;
    limits.MaxLine = 64;
    limits.MaxLiteral = 100;
    limits.MaxResponse = 200;
    limits.MaxQueued = 4;
    limits.MaxItems = 8;
    TImapParser parser(limits);
    bool ok = true;
    for (const QByteArray& piece : pieces) {
        ok = parser.Feed(piece) && ok;
    }
    QVERIFY(!ok);
    QCOMPARE(parser.Error(), error);
    QVERIFY(!parser.ErrorText().isEmpty());
    int responses = 0;
    while (parser.HasResponse()) {
        parser.Take();
        ++responses;
    }
    QCOMPARE(responses, responsesBefore);

    // Each limit admits what it allows: the same input passes with larger limits.
    TImapParser roomy;
    TImapParser::TLimits more = limits;
    more.MaxLine = 80;
    more.MaxLiteral = 200;
    more.MaxResponse = 1000;
    more.MaxQueued = 5;
    more.MaxItems = 9;
    roomy.SetLimits(more);
    bool fits = true;
    for (const QByteArray& piece : pieces) {
        fits = roomy.Feed(piece) && fits;
    }
    QCOMPARE(fits, fitsMore);
}

void tst_ImapParser::limitsAdmitTheirSize()
{
    TImapParser::TLimits limits;
    limits.MaxLine = 21;
    limits.MaxLiteral = 5;
    limits.MaxQueued = 3;
    TImapParser parser(limits);
    // A line of exactly the limit whose CR arrives before its LF.
    QVERIFY(parser.Feed("* OK 0123456789abcdef\r"));
    QVERIFY2(parser.Feed("\n"), qPrintable(parser.ErrorText()));
    QVERIFY(parser.Feed("* 1 FETCH (BODY[] {5}\r\n12345)\r\n* 2 EXISTS\r\n"));
    QCOMPARE(parser.Take().Text, QByteArray("0123456789abcdef"));
    QCOMPARE(parser.Take().Fetch.Body("")->Data, QByteArray("12345"));
    QCOMPARE(parser.Take().Number, 2u);
    QVERIFY(parser.Empty());
}

void tst_ImapParser::largeInputInTinyPieces()
{
    // Byte by byte through a 2 MB literal and a 2 MB line. Each piece costs the same
    // however much came before: looking at earlier bytes again (about 35 s here) would
    // not fit the time given, which is many times what the whole run takes (0.3 s).
    const qsizetype size = 2 * 1024 * 1024;
    QByteArray wire = "* 1 FETCH (UID 3 BODY[] {" + QByteArray::number(size) + "}\r\n";
    wire += QByteArray(size, 'x') + ")\r\n* OK " + QByteArray(size, 'y') + "\r\n";
    TImapParser parser;
    QElapsedTimer timer;
    timer.start();
    for (qsizetype i = 0; i < wire.size(); ++i) {
        QVERIFY(parser.Feed(QByteArrayView(wire.constData() + i, 1)));
    }
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    QVERIFY(parser.HasResponse());
    const TImapResponse fetch = parser.Take();
    QCOMPARE(fetch.Fetch.Uid, 3u);
    QCOMPARE(fetch.Fetch.Body("")->Data, QByteArray(size, 'x'));
    QCOMPARE(parser.Take().Text, QByteArray(size, 'y'));
    QVERIFY(parser.Empty());
}

void tst_ImapParser::injectedAfterReply()
{
    // After "OK Begin TLS" nothing may follow before the handshake.
    TImapParser clean;
    QVERIFY(clean.Feed("a3 OK Begin TLS negotiation now.\r\n"));
    QCOMPARE(clean.Take().Status, TImapResponse::TStatus::Ok);
    QVERIFY(clean.Empty());

    TImapParser whole;
    QVERIFY(whole.Feed("a3 OK Begin TLS negotiation now.\r\n* 1 EXISTS\r\n"));
    whole.Take();
    QVERIFY(!whole.Empty());

    TImapParser partial;
    QVERIFY(partial.Feed("a3 OK Begin TLS negotiation now.\r\n*"));
    partial.Take();
    QVERIFY(!partial.Empty());
    partial.Clear();
    QVERIFY(partial.Empty());
}

// A section sent in the form asked is taken as it stands, any other is normalised: both
// must give what the lookup by name gives.
void tst_ImapParser::sectionForms()
{
    const QByteArray alphabet("Aa ().-1\x85\"");
    TRandomText random(777);
    for (int round = 0; round < 50000; ++round) {
        const QByteArray section = random.Next(alphabet, 11);
        TImapResponse response;
        if (TImapParser::Parse("* 1 FETCH (BODY[" + section + "] NIL)", TImapParser::TLimits(), response, nullptr) !=
            TImapError::None) {
            continue;
        }
        QByteArray unquoted = section;
        unquoted.replace('"', QByteArray());
        QByteArray expected = unquoted.toUpper().simplified();
        expected.replace("( ", "(").replace(" )", ")");
        QCOMPARE(response.Fetch.Bodies.size(), 1);
        if (response.Fetch.Bodies.at(0).Section != expected || !response.Fetch.Body(unquoted.toLower())) {
            QFAIL(qPrintable(
                QStringLiteral("[%1] read as [%2]")
                    .arg(QString::fromLatin1(section), QString::fromLatin1(response.Fetch.Bodies.at(0).Section))));
        }
    }
}

// The quick reading of a listing's sizes takes only what the full reader takes, alike, and
// a handler gets those lines only when no response before them still waits.
void tst_ImapParser::sizeLines()
{
    // Whole items, right and wrong, joined mostly as a server joins them.
    const QList<QByteArray> items = {"UID 5",
                                     "UID 0",
                                     "uid 7",
                                     "UID 4294967296",
                                     "RFC822.SIZE 99",
                                     "rfc822.size 0",
                                     "FLAGS ()",
                                     "FLAGS (\\Seen)",
                                     "FLAGS (\\* x)",
                                     "FLAGS (\\)",
                                     "FLAGS (a  b)",
                                     "FLAGS (a b c d)",
                                     "FLAGS (\\*x)",
                                     "BODY[] NIL",
                                     "UIDX 3",
                                     "FLAGS (a*)",
                                     "BODY[HEADER] {3}\r\nabc",
                                     "body[header] {1}\r\nx",
                                     "BODY[] {2+}\r\nab",
                                     "BODY[TEXT]<0> {1}\r\nx",
                                     "BODY[ ] {0}\r\n",
                                     "BODY[X] {1}\nx"};
    const QList<QByteArray> joins = {" ", " ", " ", "", "  "};
    const QList<QByteArray> ends = {")", ")", ")", ") ", ""};
    const QList<QByteArray> starts = {"* 1 FETCH (", "* 12 fetch (", "* 0 FETCH (", "*  1 FETCH (", "* 1 FETCH ("};
    TImapParser::TLimits limits;
    limits.MaxItems = 3;
    TRandomText random(4242);
    int taken = 0;
    for (int round = 0; round < 100000; ++round) {
        QByteArray line = starts.at(int(random.Below(quint32(starts.size()))));
        const int count = 1 + int(random.Below(4));
        for (int i = 0; i < count; ++i) {
            line += (i > 0 ? joins.at(int(random.Below(quint32(joins.size())))) : QByteArray()) +
                    items.at(int(random.Below(quint32(items.size()))));
        }
        line += ends.at(int(random.Below(quint32(ends.size()))));
        TImapSizeLine sizes;
        if (!TImapParser::ParseSizeLine(line, limits, sizes)) {
            continue;
        }
        ++taken;
        TImapResponse r;
        const bool same = TImapParser::Parse(line, limits, r, nullptr) == TImapError::None && r.Name == "FETCH" &&
                          r.Number == sizes.Number && r.Fetch.HasUid == sizes.HasUid && r.Fetch.Uid == sizes.Uid &&
                          r.Fetch.HasSize == sizes.HasSize && r.Fetch.Size == sizes.Size &&
                          r.Fetch.Bodies.size() == (sizes.HasBody ? 1 : 0) &&
                          (!sizes.HasBody ||
                           (r.Fetch.Bodies.at(0).Section == sizes.Section && r.Fetch.Bodies.at(0).Data == sizes.Body));
        if (!same) {
            QFAIL(qPrintable(QString::fromLatin1(line)));
        }
    }
    QVERIFY2(taken > 100, qPrintable(QString::number(taken)));

    TImapParser parser;
    QList<quint32> handled;
    parser.SetSizeHandler([&handled](const TImapSizeLine& line) { handled.append(line.Uid); });
    QVERIFY(parser.Feed("* 2 EXISTS\r\n* 1 FETCH (UID 5 RFC822.SIZE 9)\r\nA1 OK\r\n"));
    // EXISTS still waits: the FETCH after it waits too, in its place.
    QVERIFY(handled.isEmpty());
    QCOMPARE(parser.Take().Name, QByteArray("EXISTS"));
    QCOMPARE(parser.Take().Fetch.Uid, 5u);
    QCOMPARE(parser.Take().Tag, QByteArray("A1"));
    QVERIFY(parser.Feed("* 2 FETCH (FLAGS (\\Seen) UID 6 RFC822.SIZE 10)\r\n* 3 FETCH (UID 7 BODY[] {1}\r\nx)\r\n"
                        "* 4 FETCH (UID 8 MODSEQ (5))\r\n* 5 FETCH (UID 9 RFC822.SIZE 3)\r\n"));
    // A line the quick reading does not take waits, and so does every line after it.
    QCOMPARE(handled, QList<quint32>({6, 7}));
    QCOMPARE(parser.Take().Fetch.Uid, 8u);
    QCOMPARE(parser.Take().Fetch.Uid, 9u);
    QVERIFY(parser.Empty());
}

void tst_ImapParser::command_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<TImapCommand::TLiterals>("literals");
    QTest::addColumn<QList<QByteArray>>("pieces");
    using L = TImapCommand::TLiterals;
    const QByteArray head = "a1 LOGIN \"mv\" ";

    QTest::newRow("plain") << QByteArray("secret") << L::Synchronising << QList<QByteArray>{head + "\"secret\" x\r\n"};
    QTest::newRow("empty") << QByteArray() << L::Synchronising << QList<QByteArray>{head + "\"\" x\r\n"};
    QTest::newRow("quotes and backslashes")
        << QByteArray("a\"b\\c NIL") << L::Synchronising << QList<QByteArray>{head + "\"a\\\"b\\\\c NIL\" x\r\n"};
    QTest::newRow("line break waits for the server")
        << QByteArray("p\r\nw") << L::Synchronising << QList<QByteArray>{head + "{4}\r\n", "p\r\nw x\r\n"};
    QTest::newRow("line break with LITERAL+")
        << QByteArray("p\r\nw") << L::Plus << QList<QByteArray>{head + "{4+}\r\np\r\nw x\r\n"};
    QTest::newRow("8-bit") << QByteArray("密碼") << L::Minus
                           << QList<QByteArray>{head + "{6+}\r\n" + QByteArray("密碼") + " x\r\n"};
    QTest::newRow("long") << QByteArray(1025, 'k') << L::Plus
                          << QList<QByteArray>{head + "{1025+}\r\n" + QByteArray(1025, 'k') + " x\r\n"};
    QTest::newRow("longest quoted") << QByteArray(1024, 'k') << L::Synchronising
                                    << QList<QByteArray>{head + '"' + QByteArray(1024, 'k') + "\" x\r\n"};
    QTest::newRow("over LITERAL-'s size waits")
        << QByteArray(4097, 'k') << L::Minus
        << QList<QByteArray>{head + "{4097}\r\n", QByteArray(4097, 'k') + " x\r\n"};
    QTest::newRow("NUL refused") << QByteArray("a\0b", 3) << L::Plus << QList<QByteArray>{};
}

void tst_ImapParser::command()
{
    QFETCH(QByteArray, value);
    QFETCH(TImapCommand::TLiterals, literals);
    QFETCH(QList<QByteArray>, pieces);
    TImapCommand command("a1", "LOGIN");
    command.AddString("mv").AddString(value).Add("x");
    QCOMPARE(command.Valid(), !pieces.isEmpty());
    QCOMPARE(command.Pieces(literals), pieces);

    QVERIFY(!TImapCommand("a1", "SELECT").Add("INBOX\r\na2 DELETE x").Valid());
    QVERIFY(TImapCommand("a1", "SELECT").Add("INBOX\r\n").Pieces(TImapCommand::TLiterals::Plus).isEmpty());
    QVERIFY(!TImapCommand("a 1", "NOOP").Valid());
}

void tst_ImapParser::uidSet_data()
{
    QTest::addColumn<QList<quint32>>("uids");
    QTest::addColumn<QByteArray>("set");
    QTest::addColumn<QList<QByteArray>>("sets");

    QTest::newRow("none") << QList<quint32>{} << QByteArray() << QList<QByteArray>{};
    QTest::newRow("one") << QList<quint32>{5} << QByteArray("5") << QList<QByteArray>{"5"};
    QTest::newRow("runs") << QList<quint32>{1, 2, 3, 7, 9, 10, 11, 12} << QByteArray("1:3,7,9:12")
                          << QList<QByteArray>{"1:3,7", "9:12"};
    QTest::newRow("unsorted, repeated, zero")
        << QList<quint32>{12, 0, 3, 3, 2, 9, 1} << QByteArray("1:3,9,12") << QList<QByteArray>{"1:3,9", "12"};
    QTest::newRow("highest uid") << QList<quint32>{4294967295u, 4294967294u} << QByteArray("4294967294:4294967295")
                                 << QList<QByteArray>{"4294967294:4294967295"};
}

void tst_ImapParser::uidSet()
{
    QFETCH(QList<quint32>, uids);
    QFETCH(QByteArray, set);
    QFETCH(QList<QByteArray>, sets);
    QCOMPARE(TImapCommand::UidSet(uids), set);
    // At most 6 bytes a set, except a range that is longer alone.
    QCOMPARE(TImapCommand::UidSets(uids, 6), sets);
}

void tst_ImapParser::utf7RoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("ascii") << QStringLiteral("INBOX/Sent Items") << QByteArray("INBOX/Sent Items");
    QTest::newRow("ampersand") << QStringLiteral("A&B&") << QByteArray("A&-B&-");
    QTest::newRow("cjk") << QStringLiteral("收件匣") << QByteArray("&ZTZO9lMj-");
    QTest::newRow("rfc example") << QStringLiteral("~peter/mail/台北/日本語")
                                 << QByteArray("~peter/mail/&U,BTFw-/&ZeVnLIqe-");
    QTest::newRow("mixed with blanks and ampersand")
        << QStringLiteral("收件匣/備份 & 舊信") << QByteArray("&ZTZO9lMj-/&UJlO,Q- &- &ggpP4Q-");
    QTest::newRow("ampersand between shifts") << QStringLiteral("日本語&台北") << QByteArray("&ZeVnLIqe-&-&U,BTFw-");
    QTest::newRow("surrogate pair") << QStringLiteral("a😀b") << QByteArray("a&2D3eAA-b");
    QTest::newRow("control characters") << QStringLiteral("Tab\there\x7f") << QByteArray("Tab&AAk-here&AH8-");
    QTest::newRow("latin") << QStringLiteral("é") << QByteArray("&AOk-");
    QTest::newRow("empty") << QString() << QByteArray();
}

void tst_ImapParser::utf7RoundTrip()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, wire);
    bool ok = false;
    QCOMPARE(TImapUtf7::Encode(name, &ok), wire);
    QVERIFY(ok);
    QString decoded = QStringLiteral("stale");
    QString error;
    QVERIFY2(TImapUtf7::Decode(wire, decoded, &error), qPrintable(error));
    QCOMPARE(decoded, name);
}

void tst_ImapParser::utf7Malformed_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("shift not closed") << QByteArray("&ZTZO9lMj");
    QTest::newRow("lone ampersand") << QByteArray("a&");
    QTest::newRow("8-bit byte") << QByteArray("收件匣");
    QTest::newRow("tab") << QByteArray("a\tb");
    QTest::newRow("plain base64 slash") << QByteArray("&U/BTFw-");
    QTest::newRow("padding") << QByteArray("&AGE=-");
    QTest::newRow("ascii inside a shift") << QByteArray("&AGE-");
    QTest::newRow("back to back shifts") << QByteArray("&ZeVnLIqe-&U,BTFw-");
    QTest::newRow("stray bits") << QByteArray("&ZTZ-");
    QTest::newRow("half a unit") << QByteArray("&ZT-");
    QTest::newRow("lone high surrogate") << QByteArray("&2D0-");
    QTest::newRow("lone low surrogate") << QByteArray("&3gA-");
    QTest::newRow("swapped surrogates") << QByteArray("&3gDYPQ-");
}

void tst_ImapParser::utf7Malformed()
{
    QFETCH(QByteArray, wire);
    QString name = QStringLiteral("stale");
    QString error;
    QVERIFY(!TImapUtf7::Decode(wire, name, &error));
    QVERIFY(name.isEmpty());
    QVERIFY(!error.isEmpty());

    bool ok = true;
    QVERIFY(TImapUtf7::Encode(QString(QChar(0xd83d)) + QLatin1Char('x'), &ok).isEmpty());
    QVERIFY(!ok);
}

QTEST_GUILESS_MAIN(tst_ImapParser)
#include "tst_ImapParser.moc"
