#include "mailbox/TColumnScale.h"
#include "mailbox/THeaderExtract.h"
#include "mailbox/TPop3Reply.h"
#include "mailbox/TSeenIds.h"
#include "settings/TIniFile.h"
#include "testsupport/TRandomText.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_Pop3Parsing : public QObject {
    Q_OBJECT
private slots:
    void headerValue_data();
    void headerValue();
    void headerValueInPlace();
    void messageIdStandIn();
    void statCount_data();
    void statCount();
    void listSize_data();
    void listSize();
    void commandKind();
    void completeLength();
    void bodyOnly();
    void capabilities();
    void retrLimit();
    void bankersRound_data();
    void bankersRound();
    void rescaleKeepsProportions();
    void seenIdsRoundTrip();
    void storedIdReadsBack_data();
    void storedIdReadsBack();
};

namespace {
const QByteArray kTop = "+OK\r\n"
                        "Received: from x\r\n"
                        "Message-ID:   <Abc@Example.COM>\r\n"
                        "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\n"
                        "from: Alice <alice@example.com>\r\n"
                        "Subject: First\r\n"
                        "\tcontinued\r\n"
                        "Subject: Second\r\n"
                        "X-Note: DATE: not a header start\r\n"
                        "\r\n"
                        "Cc: body line\r\n"
                        ".\r\n";
} // namespace

void tst_Pop3Parsing::headerValue_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("spaces skipped, case kept") << QByteArray("MESSAGE-ID") << QByteArray("<Abc@Example.COM>");
    QTest::newRow("date") << QByteArray("DATE") << QByteArray("Mon, 1 Jan 2024 10:00:00 +0000");
    QTest::newRow("lower-case header name") << QByteArray("FROM") << QByteArray("Alice <alice@example.com>");
    QTest::newRow("first occurrence, no continuation") << QByteArray("SUBJECT") << QByteArray("First");
    QTest::newRow("absent, the body line not read") << QByteArray("CC") << QByteArray();
}

void tst_Pop3Parsing::headerValue()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    QCOMPARE(THeaderExtract::Value(kTop, name), value);
}

// The header is searched in place; it must find what a search of an upper-cased copy finds.
void tst_Pop3Parsing::headerValueInPlace()
{
    const auto byCopy = [](const QByteArray& reply, const QByteArray& upperName) {
        const qsizetype blank = reply.indexOf("\r\n\r\n");
        const QByteArray headers = blank < 0 ? reply : reply.left(blank);
        const QByteArray pattern = "\r\n" + upperName + ": ";
        const qsizetype at = THeaderExtract::UpperAscii(headers).indexOf(pattern);
        if (at < 0) {
            return QByteArray();
        }
        qsizetype start = at + pattern.size();
        while (start < headers.size() && headers[start] == ' ') {
            ++start;
        }
        const qsizetype end = headers.indexOf("\r\n", start);
        return headers.mid(start, (end < 0 ? headers.size() : end) - start);
    };
    const QByteArray alphabet("\r\n: sSuUbjJ-\xf3");
    const QList<QByteArray> names = {"S", "SUBJ", "S-U", "SUBJECT", "s"};
    TRandomText random(12345);
    for (int round = 0; round < 200000; ++round) {
        const QByteArray reply = random.Next(alphabet, 23);
        const QByteArray& name = names.at(int(random.Below(quint32(names.size()))));
        if (THeaderExtract::Value(reply, name) != byCopy(reply, name)) {
            QFAIL(qPrintable(
                QStringLiteral("%1 in %2").arg(QString::fromLatin1(name), QString::fromLatin1(reply.toHex()))));
        }
    }
}

void tst_Pop3Parsing::messageIdStandIn()
{
    QCOMPARE(THeaderExtract::MessageId(kTop, "120"), QByteArray("<Abc@Example.COM>"));

    const QByteArray a = "+OK\r\nDate: d\r\nFrom: f\r\nSubject: s\r\n\r\nx\r\n.\r\n";
    const QByteArray emptyId = "+OK\r\nMessage-ID: \r\nDate: d\r\nFrom: f\r\nSubject: s\r\n\r\ny\r\n.\r\n";
    const QByteArray id = THeaderExtract::MessageId(a, "10");
    QVERIFY(id.startsWith("<no-id:"));
    QVERIFY(id.endsWith('>'));
    // Stable across checks (the body line of TOP does not count), distinct by size and headers.
    QCOMPARE(THeaderExtract::MessageId(emptyId, "10"), id);
    QVERIFY(THeaderExtract::MessageId(a, "11") != id);
    QVERIFY(THeaderExtract::MessageId("+OK\r\nDate: d\r\nFrom: g\r\nSubject: s\r\n\r\n.\r\n", "10") != id);

    // What is stored must read back the same from the settings file.
    QCOMPARE(THeaderExtract::MessageId("+OK\r\nMessage-ID: <t@x>  \r\n\r\n.\r\n", "1"), QByteArray("<t@x>"));
    const QByteArray longId = "<" + QByteArray(2000, 'l') + ">";
    const QByteArray hashed = THeaderExtract::MessageId("+OK\r\nMessage-ID: " + longId + "\r\n\r\n.\r\n", "1");
    QVERIFY(hashed.size() < 100);
    QVERIFY(hashed !=
            THeaderExtract::MessageId("+OK\r\nMessage-ID: <" + QByteArray(2000, 'm') + ">\r\n\r\n.\r\n", "1"));
}

void tst_Pop3Parsing::statCount_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("count");
    QTest::newRow("usual") << QByteArray("+OK 3 1200\r\n") << true << 3;
    QTest::newRow("no size") << QByteArray("+OK 7\r\n") << true << 7;
    QTest::newRow("empty mailbox") << QByteArray("+OK 0 0\r\n") << true << 0;
    QTest::newRow("negative") << QByteArray("+OK -1 0\r\n") << false << 0;
    QTest::newRow("not a number") << QByteArray("+OK many 0\r\n") << false << 0;
    QTest::newRow("nothing after +OK") << QByteArray("+OK\r\n") << false << 0;
    QTest::newRow("beyond any mailbox") << QByteArray("+OK 2000000000 1\r\n") << false << 0;
    QTest::newRow("limit itself") << QByteArray("+OK 1000000 1\r\n") << true << 1000000;
}

void tst_Pop3Parsing::statCount()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QFETCH(int, count);
    int value = -5;
    QCOMPARE(TPop3Reply::StatCount(reply, value), ok);
    if (ok) {
        QCOMPARE(value, count);
    } else {
        QCOMPARE(value, -5);
    }
}

void tst_Pop3Parsing::listSize_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("size");
    QTest::newRow("usual") << QByteArray("+OK 2 4711\r\n") << QByteArray("4711");
    QTest::newRow("no second space") << QByteArray("+OK 2\r\n") << QByteArray();
    QTest::newRow("rest of the line") << QByteArray("+OK 2 4711 octets\r\n") << QByteArray("4711 octets");
}

void tst_Pop3Parsing::listSize()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, size);
    QCOMPARE(TPop3Reply::ListSize(reply), size);
}

void tst_Pop3Parsing::commandKind()
{
    QVERIFY(TPop3Reply::IsMultiLine("Top 1 1"));
    QVERIFY(TPop3Reply::IsMultiLine("retr 4"));
    QVERIFY(TPop3Reply::IsMultiLine("TOP"));
    // The word decides, not the arguments.
    QVERIFY(!TPop3Reply::IsMultiLine("USER top"));
    QVERIFY(!TPop3Reply::IsMultiLine("PASS retr"));
    QVERIFY(!TPop3Reply::IsMultiLine("TOPS 1"));
    QVERIFY(TPop3Reply::HasLineBreak("a\r\nQUIT"));
    QVERIFY(TPop3Reply::HasLineBreak("a\nb"));
    QVERIFY(!TPop3Reply::HasLineBreak("secret"));
}

void tst_Pop3Parsing::completeLength()
{
    QCOMPARE(TPop3Reply::CompleteLength("+OK 1", false), -1);
    QCOMPARE(TPop3Reply::CompleteLength("+OK 1\r\nextra", false), 7);
    QCOMPARE(TPop3Reply::CompleteLength("+OK\r\nline\r\n", true), -1);
    QCOMPARE(TPop3Reply::CompleteLength("+OK\r\n.\r\n", true), 8);
    QCOMPARE(TPop3Reply::CompleteLength("+OK\r\na\r\n.\r\n+OK", true), 11);
}

void tst_Pop3Parsing::bodyOnly()
{
    QCOMPARE(TPop3Reply::BodyOnly("+OK\r\nA: b\r\n\r\nbody\r\n.\r\nx"), QByteArray("body\r\n.\r\n"));
    QCOMPARE(TPop3Reply::BodyOnly("no blank line\r\n.\r\n"), QByteArray("no blank line\r\n.\r\n"));
}

void tst_Pop3Parsing::capabilities()
{
    const QSet<QByteArray> names =
        TPop3Reply::Capabilities("+OK Capability list follows\r\nTOP\r\nuidl\r\nSASL PLAIN LOGIN\r\nPIPELINING\r\n"
                                 "IMPLEMENTATION X STLS\r\n.\r\nSTLS\r\n");
    QCOMPARE(names, (QSet<QByteArray>{"TOP", "UIDL", "SASL", "PIPELINING", "IMPLEMENTATION"}));
    // A refusal or a server without CAPA offers nothing, whatever text follows.
    QVERIFY(TPop3Reply::Capabilities("-ERR unknown command STLS\r\n").isEmpty());
    QVERIFY(TPop3Reply::Capabilities("").isEmpty());
}

void tst_Pop3Parsing::retrLimit()
{
    QCOMPARE(TPop3Reply::RetrLimit("100"), qint64(1024 * 1024));
    QCOMPARE(TPop3Reply::RetrLimit("1000000"), qint64(2000000 + 65536));
    QCOMPARE(TPop3Reply::RetrLimit(""), qint64(1024 * 1024));
    QCOMPARE(TPop3Reply::RetrLimit("-5"), qint64(1024 * 1024));
}

void tst_Pop3Parsing::bankersRound_data()
{
    QTest::addColumn<qint64>("num");
    QTest::addColumn<qint64>("den");
    QTest::addColumn<qint64>("rounded");
    QTest::newRow("0.5 to 0") << qint64(1) << qint64(2) << qint64(0);
    QTest::newRow("1.5 to 2") << qint64(3) << qint64(2) << qint64(2);
    QTest::newRow("2.5 to 2") << qint64(5) << qint64(2) << qint64(2);
    QTest::newRow("3.5 to 4") << qint64(7) << qint64(2) << qint64(4);
    QTest::newRow("2.4 down") << qint64(12) << qint64(5) << qint64(2);
    QTest::newRow("2.6 up") << qint64(13) << qint64(5) << qint64(3);
    QTest::newRow("-2.5 to -2") << qint64(-5) << qint64(2) << qint64(-2);
    QTest::newRow("-1.5 to -2") << qint64(-3) << qint64(2) << qint64(-2);
    QTest::newRow("exact") << qint64(300) << qint64(6) << qint64(50);
}

void tst_Pop3Parsing::bankersRound()
{
    QFETCH(qint64, num);
    QFETCH(qint64, den);
    QFETCH(qint64, rounded);
    QCOMPARE(TColumnScale::BankersRound(num, den), rounded);
}

void tst_Pop3Parsing::rescaleKeepsProportions()
{
    // Designed client width: every column plus its grid line.
    QCOMPARE(TColumnScale::Rescale({50, 50, 50, 50, 50, 50}, 306), QList<int>({50, 50, 50, 50, 50, 50}));
    // One column dragged to twice its width, then the window doubled.
    QCOMPARE(TColumnScale::Rescale({100, 50, 50, 50, 50, 50}, 706), QList<int>({200, 100, 100, 100, 100, 100}));
    // 35 * 10 / 100 = 3.5 -> 4, 25 * 10 / 100 = 2.5 -> 2.
    QCOMPARE(TColumnScale::Rescale({35, 25, 40}, 13), QList<int>({4, 2, 4}));
    QCOMPARE(TColumnScale::Rescale({0, 0}, 100), QList<int>({0, 0}));
}

void tst_Pop3Parsing::seenIdsRoundTrip()
{
    QTemporaryDir dir;
    TIniFile ini(dir.filePath(QStringLiteral("Mailvane.ini")));
    ini.WriteString(QStringLiteral("IDs:Box"), QStringLiteral("9"), QStringLiteral("<stale>"));
    TSeenIds::Store(ini, QStringLiteral("Box"), {"<A@x>", "<b@x>", "<no-id:12>"});
    TSeenIds seen;
    seen.Load(ini, QStringLiteral("Box"));
    QCOMPARE(seen.Ids(), QList<QByteArray>({"<A@x>", "<b@x>", "<no-id:12>"}));
    QVERIFY(seen.Contains("<a@X>"));
    QVERIFY(!seen.Contains("<stale>"));

    // Reading stops at the first empty value.
    ini.WriteString(QStringLiteral("IDs:Box"), QStringLiteral("2"), QString());
    seen.Load(ini, QStringLiteral("Box"));
    QCOMPARE(seen.Ids(), QList<QByteArray>({"<A@x>"}));

    // Letter case is ignored for every byte as QString::toLower ignores it for Latin-1, in
    // the form that reads back from the file.
    const auto idOf = [](int byte) { return "<" + QByteArray(1, char(byte)) + "@x>"; };
    const auto folded = [](const QByteArray& id) { return QString::fromLatin1(TSeenIds::Storable(id)).toLower(); };
    for (int a = 1; a < 256; ++a) {
        TSeenIds one;
        one.Add(idOf(a));
        for (int b = 1; b < 256; ++b) {
            if (one.Contains(idOf(b)) != (folded(idOf(a)) == folded(idOf(b)))) {
                QFAIL(qPrintable(QStringLiteral("bytes %1 and %2").arg(a).arg(b)));
            }
        }
    }
    TSeenIds quoted;
    quoted.Add(" \"<Q@x>\"\r\n");
    QVERIFY(quoted.Contains("<q@X>"));
    QVERIFY(!quoted.Contains("<q@X"));
}

void tst_Pop3Parsing::storedIdReadsBack_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("quoted") << QByteArray("\"q@example.com\"");
    QTest::newRow("empty quotes") << QByteArray("\"\"");
    QTest::newRow("quotes in quotes") << QByteArray("\"\"<q@x>\"\"");
    QTest::newRow("blanks inside quotes") << QByteArray("\"  <q@x> \"");
    QTest::newRow("bare CR") << QByteArray("<a\rb@x>");
    QTest::newRow("bare LF") << QByteArray("<a\nb@x>");
    QTest::newRow("CR next to the end") << QByteArray("<ab@x>\r");
    QTest::newRow("tab at the end") << QByteArray("<ab@x>\t");
    QTest::newRow("near the length cut") << "<" + QByteArray(1100, 'n') + ">";
}

void tst_Pop3Parsing::storedIdReadsBack()
{
    QFETCH(QByteArray, header);
    const QByteArray id = THeaderExtract::MessageId("+OK\r\nMessage-ID: " + header + "\r\nFrom: f\r\n\r\n.\r\n", "7");
    QVERIFY(!id.isEmpty());
    QTemporaryDir dir;
    TIniFile ini(dir.filePath(QStringLiteral("Mailvane.ini")));
    TSeenIds::Store(ini, QStringLiteral("Box"), {id, "<after@x>"});
    TSeenIds seen;
    seen.Load(ini, QStringLiteral("Box"));
    QCOMPARE(seen.Ids(), QList<QByteArray>({id, "<after@x>"}));
}

QTEST_GUILESS_MAIN(tst_Pop3Parsing)
#include "tst_Pop3Parsing.moc"
