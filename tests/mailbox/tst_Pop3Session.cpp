#include "core/EAbort.h"
#include "mailbox/TMailHost.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TPop3Reply.h"
#include "mailbox/TPop3Session.h"
#include "mailbox/TSeenIds.h"
#include "mailbox/TUidlCache.h"
#include "settings/TIniFile.h"
#include "testsupport/TRecordingSessionHost.h"
#include "testsupport/TScriptTransport.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const QString kName = QStringLiteral("Box");
const QString kLoginError = QStringLiteral("使用者名稱或密碼錯誤！");
const QString kReceiveError = QStringLiteral("接收資料錯誤！");
const QString kAborted = QStringLiteral("連線中斷!");
const QString kSocketAborted = QStringLiteral("連線中斷！");

// Records what the session reports; answers the password prompt from a list.

QByteArray top(const QByteArray& id, const QByteArray& from = "a@t", const QByteArray& subject = "s")
{
    return "+OK\r\nMessage-ID: " + id + "\r\nDate: d\r\nFrom: " + from + "\r\nSubject: " + subject +
           "\r\n\r\nbody\r\n.\r\n";
}

// The dialogue of a check without deletions: the command sent and the server's reply,
// the first entry being the greeting.
using TDialogue = QList<QPair<QByteArray, QByteArray>>;

TDialogue listing(const QList<QByteArray>& ids)
{
    TDialogue d = {{{}, "+OK ready\r\n"},
                   {"CAPA", "-ERR unknown command\r\n"},
                   {"USER user", "+OK\r\n"},
                   {"PASS pass", "+OK\r\n"}};
    d.append(qMakePair(QByteArray("STAT"), "+OK " + QByteArray::number(ids.size()) + " 100\r\n"));
    for (int n = 1; n <= ids.size(); ++n) {
        const QByteArray num = QByteArray::number(n);
        d.append(qMakePair("LIST " + num, "+OK " + num + " 10" + num + "\r\n"));
        d.append(qMakePair("Top " + num + " 1", top(ids.at(n - 1), "f" + num, "s" + num)));
    }
    d.append(qMakePair(QByteArray("QUIT"), QByteArray("+OK bye\r\n")));
    return d;
}

// A check's dialogue when CAPA lists capabilities: with uids (one per message) the server
// answers UIDL, and the messages numbered in cached get no Top. Pipelined, every command
// of the messages is sent before the first of their replies is read.
struct TCheckScript {
    QList<QByteArray> Ids;
    QByteArray Capabilities;
    QList<QByteArray> Uids;
    QSet<int> Cached;
    bool Pipelined = false;
};

QByteArray capaReply(const QByteArray& names)
{
    QByteArray reply = "+OK\r\n";
    for (const QByteArray& name : names.split(' ')) {
        reply += name + "\r\n";
    }
    return reply + ".\r\n";
}

TDialogue messagesOf(const TCheckScript& c)
{
    TDialogue d;
    for (int n = 1; n <= c.Ids.size(); ++n) {
        const QByteArray num = QByteArray::number(n);
        d.append(qMakePair("LIST " + num, "+OK " + num + " 10" + num + "\r\n"));
        if (!c.Cached.contains(n)) {
            d.append(qMakePair("Top " + num + " 1", top(c.Ids.at(n - 1), "f" + num, "s" + num)));
        }
    }
    return d;
}

void play(TScriptTransport& t, const TDialogue& dialogue);

void playCheck(TScriptTransport& t, const TCheckScript& c)
{
    t.Says("+OK ready\r\n").Expects("CAPA").Says(capaReply(c.Capabilities));
    t.Expects("USER user").Says("+OK\r\n").Expects("PASS pass").Says("+OK\r\n");
    t.Expects("STAT").Says("+OK " + QByteArray::number(c.Ids.size()) + " 100\r\n");
    if (!c.Uids.isEmpty()) {
        QByteArray uidl = "+OK\r\n";
        for (int n = 1; n <= c.Uids.size(); ++n) {
            uidl += QByteArray::number(n) + ' ' + c.Uids.at(n - 1) + "\r\n";
        }
        t.Expects("UIDL").Says(uidl + ".\r\n");
    }
    const TDialogue messages = messagesOf(c);
    if (c.Pipelined) {
        for (const auto& step : messages) {
            t.Expects(step.first);
        }
        for (const auto& step : messages) {
            t.Says(step.second);
        }
    } else {
        play(t, messages);
    }
    t.Expects("QUIT").Says("+OK bye\r\n");
}

void play(TScriptTransport& t, const TDialogue& dialogue)
{
    for (const auto& [command, reply] : dialogue) {
        if (!command.isEmpty()) {
            t.Expects(command);
        }
        if (!reply.isEmpty()) {
            t.Says(reply);
        }
    }
}

// A server that answers every command line as soon as it arrives, as a pipelining server
// does, and counts the client's sends.
class TAnsweringTransport : public TTransport {
public:
    explicit TAnsweringTransport(int count) : m_count(count) {}
    void SetEndpoint(const TEndpoint&) override {}
    void Open(const QString&, int) override
    {
        m_open = true;
        m_replies = "+OK ready\r\n";
    }
    void StartTls() override {}
    void Send(const QByteArray& bytes) override
    {
        ++Sends;
        if (bytes.count('\n') > 1) {
            UnreadAtBatch.append(int(m_replyEnds.size()));
        }
        m_lines += bytes;
        for (qsizetype end = m_lines.indexOf("\r\n"); end >= 0; end = m_lines.indexOf("\r\n")) {
            answer(m_lines.left(end));
            m_lines.remove(0, end + 2);
        }
    }
    QByteArray Receive() override
    {
        // A few replies per read, as they would come off the wire.
        const QByteArray chunk = m_replies.left(512);
        m_replies.remove(0, chunk.size());
        m_received += chunk.size();
        while (!m_replyEnds.isEmpty() && m_replyEnds.first() <= m_received) {
            m_replyEnds.removeFirst();
        }
        return chunk;
    }
    void Close() override { m_open = false; }
    bool Connected() const override { return m_open; }
    void SetErrorReport(TErrorReport) override {}

    int Sends = 0;
    // For each send of several commands: how many replies the client had not yet received.
    QList<int> UnreadAtBatch;

private:
    void answer(const QByteArray& line)
    {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray n = words.value(1);
        if (line == "CAPA") {
            m_replies += "+OK\r\nPIPELINING\r\n.\r\n";
        } else if (line == "STAT") {
            m_replies += "+OK " + QByteArray::number(m_count) + " 100\r\n";
        } else if (words.at(0) == "LIST") {
            m_replies += "+OK " + n + " 100\r\n";
        } else if (words.at(0) == "Top") {
            m_replies += "+OK\r\nMessage-ID: <" + n + "@t>\r\nSubject: s" + n + "\r\n\r\nb\r\n.\r\n";
        } else {
            m_replies += "+OK\r\n";
        }
        m_replyEnds.append(m_received + m_replies.size());
    }

    int m_count;
    bool m_open = false;
    QByteArray m_lines;
    QByteArray m_replies;
    // Where each reply not yet wholly received ends, counted from the first byte sent.
    QList<qint64> m_replyEnds;
    qint64 m_received = 0;
};

} // namespace

Q_DECLARE_METATYPE(TDialogue)

// The POP3 session over a scripted transport, without a window or a socket.
class tst_Pop3Session : public QObject {
    Q_OBJECT
private slots:
    void init();

    void listingFillsModelAndSeenList();
    void failureTable_data();
    void failureTable();
    void eventTable_data();
    void eventTable();
    void framing_data();
    void framing();
    void newStaysNewUntilViewed();
    void filterMarksOnce();
    void listingDecodesAndRulesMatchBoth();
    void deletionRefusedKeepsMarks();
    void deletionFindsMovedMessage();
    void retrievalGuards_data();
    void retrievalGuards();
    void wrongPasswordAsksAgain();
    void retiredDuringWaitIsSilent();
    void startTlsBeforeLogin();
    void endpointSettings_data();
    void endpointSettings();
    void capabilityPaths_data();
    void capabilityPaths();
    void pipelinedFailure_data();
    void pipelinedFailure();
    void cacheRebuilt_data();
    void cacheRebuilt();
    void reusedUidFetchedAgain();
    void pipelinedSendsHalfWindows();
    void deletionAndViewByUid();
    void statusLineBound_data();
    void statusLineBound();
    void endlessStatusLineFailsFast();

private:
    bool check(bool autoDelete = false);
    void writeSeen(const QList<QByteArray>& ids);
    QList<QByteArray> storedSeen() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TRecordingSessionHost> m_host;
    std::unique_ptr<TScriptTransport> m_net;
    std::unique_ptr<TMailListModel> m_list;
    std::unique_ptr<TPop3Session> m_session;
};

void tst_Pop3Session::init()
{
    m_session.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_host = std::make_unique<TRecordingSessionHost>();
    m_host->Path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    TIniFile ini(m_host->Path);
    ini.WriteString(kName, QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    ini.WriteString(kName, QStringLiteral("Login"), QStringLiteral("user"));
    ini.WriteString(kName, QStringLiteral("Password"), QStringLiteral("pass"));
    ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("7"));
    m_net = std::make_unique<TScriptTransport>();
    m_list = std::make_unique<TMailListModel>();
    m_session = std::make_unique<TPop3Session>(*m_net, *m_list, *m_host);
}

bool tst_Pop3Session::check(bool autoDelete)
{
    m_host->Counts[1] = 0;
    m_host->Counts[2] = 0;
    try {
        m_session->Check(autoDelete);
        m_session->Unwound();
        return true;
    } catch (const EAbort&) {
        m_session->Unwound();
        return false;
    }
}

void tst_Pop3Session::writeSeen(const QList<QByteArray>& ids)
{
    TIniFile ini(m_host->Path);
    TSeenIds::Store(ini, kName, ids);
}

QList<QByteArray> tst_Pop3Session::storedSeen() const
{
    TSeenIds seen;
    seen.Load(TIniFile(m_host->Path), kName);
    return seen.Ids();
}

void tst_Pop3Session::listingFillsModelAndSeenList()
{
    play(*m_net, listing({"<1@t>", "<2@t>"}));
    QVERIFY(check());
    QVERIFY(m_net->Mismatches.isEmpty());
    QCOMPARE(m_net->Remaining(), 0);
    QCOMPARE(m_net->Host, QStringLiteral("127.0.0.1"));
    QCOMPARE(m_net->Timeout, 7);
    QVERIFY(!m_net->Connected());
    QCOMPARE(m_list->Count(), 2);
    const TMailRow& second = m_list->Row(2);
    QCOMPARE(second.Number, 2);
    QCOMPARE(second.Size, QByteArray("102"));
    QCOMPARE(second.From, QStringLiteral("f2"));
    QCOMPARE(second.Subject, QStringLiteral("s2"));
    QCOMPARE(second.Id, QByteArray("<2@t>"));
    QCOMPARE(second.Mark, TMark::New);
    QCOMPARE(m_host->Counts[1], 2);
    QCOMPARE(m_host->Counts[2], 2);
    QVERIFY(m_host->NewMailFound > 0);
    QCOMPARE(m_host->Leds, QStringList({QStringLiteral("Yellow/Busy"), QStringLiteral("Green/Ready")}));
    QCOMPARE(m_host->Statuses.last(), QStringLiteral("連線完成！"));
    QCOMPARE(storedSeen(), QList<QByteArray>({"<1@t>", "<2@t>"}));
}

void tst_Pop3Session::failureTable_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("socketError");
    QTest::addColumn<int>("rowsLeft");

    // Steps of the two-message listing: 0 greeting, 1 CAPA, 2 USER, 3 PASS, 4 STAT, 5 LIST 1,
    // 6 Top 1 1, 7 LIST 2, 8 Top 2 1, 9 QUIT. An empty reply is the peer closing.
    const QString unreachable = QStringLiteral("無法連線！");
    QTest::newRow("greeting refused") << 0 << QByteArray("-ERR busy\r\n") << unreachable << false << 0;
    QTest::newRow("greeting without plus") << 0 << QByteArray("OK\r\n") << unreachable << false << 0;
    QTest::newRow("no greeting") << 0 << QByteArray() << unreachable << false << 0;
    QTest::newRow("USER refused") << 2 << QByteArray("-ERR who\r\n") << kLoginError << false << 0;
    QTest::newRow("PASS refused") << 3 << QByteArray("-ERR no\r\n") << kLoginError << false << 0;
    QTest::newRow("PASS unanswered") << 3 << QByteArray() << kLoginError << false << 0;
    QTest::newRow("STAT refused") << 4 << QByteArray("-ERR\r\n") << kReceiveError << false << 0;
    QTest::newRow("STAT garbage") << 4 << QByteArray("+OK many\r\n") << kReceiveError << false << 0;
    QTest::newRow("STAT negative") << 4 << QByteArray("+OK -2 0\r\n") << kReceiveError << false << 0;
    QTest::newRow("LIST refused") << 5 << QByteArray("-ERR\r\n") << kReceiveError << false << 1;
    QTest::newRow("TOP refused") << 6 << QByteArray("-ERR\r\n") << kReceiveError << false << 1;
    QTest::newRow("TOP cut by close") << 6 << QByteArray("+OK\r\nFrom: a\r\n") << kReceiveError << false << 1;
    QTest::newRow("second LIST refused") << 7 << QByteArray("-ERR\r\n") << kReceiveError << false << 2;
    QTest::newRow("QUIT refused") << 9 << QByteArray("-ERR\r\n") << QStringLiteral("無法離線！") << false << 2;
    QTest::newRow("closed at CAPA") << 1 << QByteArray() << unreachable << false << 0;
    QTest::newRow("time-out connecting") << 0 << QByteArray("timeout") << QString() << true << 0;
    QTest::newRow("time-out at TOP") << 6 << QByteArray("timeout") << QString() << true << 1;
}

void tst_Pop3Session::failureTable()
{
    QFETCH(int, failAt);
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    QFETCH(bool, socketError);
    QFETCH(int, rowsLeft);

    writeSeen({"<old@t>"});
    m_host->Typed = QStringLiteral("pass");
    TDialogue dialogue = listing({"<1@t>", "<2@t>"}).mid(0, failAt + 1);
    if (socketError) {
        dialogue.last().second.clear();
        play(*m_net, dialogue);
        m_net->Fails(10060, QStringLiteral("Blocking call timed out"));
        message =
            QStringLiteral("Socket: %1\nError: 10060\nMessage: Blocking call timed out").arg(TScriptTransport::Handle);
    } else {
        dialogue.last().second = reply;
        play(*m_net, dialogue);
        if (!reply.endsWith("\r\n") || reply.contains("From")) {
            m_net->Closes();
        }
    }

    QVERIFY(!check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QCOMPARE(m_net->Sent.size(), failAt);
    QVERIFY(!m_net->Connected());
    QCOMPARE(m_host->Messages, QStringList(message + u'\n'));
    QCOMPARE(m_host->Statuses.last(), socketError ? kSocketAborted : kAborted);
    QCOMPARE(m_host->Leds.last(), QStringLiteral("Red/Error"));
    QCOMPARE(m_host->HangUps, 1);
    // Only a refused login forgets the password.
    QCOMPARE(m_host->Typed.isEmpty(), message == kLoginError);
    QCOMPARE(m_list->Count(), rowsLeft);
    QCOMPARE(storedSeen(), QList<QByteArray>({"<old@t>"}));
}

void tst_Pop3Session::eventTable_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QByteArray>("serverReply");

    // Steps as in failureTable; -1 runs the whole check. An error replaces the step's reply
    // with the transport's report.
    const QString start = QStringLiteral("started");
    const QString in = QStringLiteral("connected:0");
    const QString listed = QStringLiteral("listed:2");
    const QString fresh = QStringLiteral("new:1");
    const QString refused = QStringLiteral("failed:refused:0");
    QTest::newRow("whole check") << -1 << QByteArray() << 0 << QString()
                                 << QStringList({start, in, listed, fresh, fresh, QStringLiteral("finished:2:2")})
                                 << QByteArray();
    QTest::newRow("greeting refused") << 0 << QByteArray("-ERR busy\r\n") << 0 << QString()
                                      << QStringList({start, refused}) << QByteArray("-ERR busy\r\n");
    QTest::newRow("PASS refused") << 3 << QByteArray("-ERR no\r\n") << 0 << QString()
                                  << QStringList({start, QStringLiteral("failed:refused:1")})
                                  << QByteArray("-ERR no\r\n");
    QTest::newRow("STAT refused") << 4 << QByteArray("-ERR\r\n") << 0 << QString() << QStringList({start, in, refused})
                                  << QByteArray("-ERR\r\n");
    QTest::newRow("second LIST refused") << 7 << QByteArray("-ERR\r\n") << 0 << QString()
                                         << QStringList({start, in, listed, fresh, refused}) << QByteArray("-ERR\r\n");
    QTest::newRow("QUIT refused") << 9 << QByteArray("-ERR\r\n") << 0 << QString()
                                  << QStringList({start, in, listed, fresh, fresh, refused}) << QByteArray("-ERR\r\n");
    QTest::newRow("time-out at TOP") << 6 << QByteArray() << 10060 << QString()
                                     << QStringList({start, in, listed, QStringLiteral("failed:connection:0")})
                                     << QByteArray();
    QTest::newRow("certificate refused") << 0 << QByteArray() << int(TTransport::SecurityError) << QStringLiteral("TLS")
                                         << QStringList({start, QStringLiteral("failed:security:0")}) << QByteArray();
    QTest::newRow("unknown security word")
        << 0 << QByteArray() << 0 << QStringLiteral("Bogus") << QStringList({start, refused}) << QByteArray();
}

void tst_Pop3Session::eventTable()
{
    QFETCH(int, failAt);
    QFETCH(QByteArray, reply);
    QFETCH(int, error);
    QFETCH(QString, security);
    QFETCH(QStringList, events);
    QFETCH(QByteArray, serverReply);

    writeSeen({"<old@t>"});
    if (!security.isEmpty()) {
        TIniFile ini(m_host->Path);
        ini.WriteString(kName, QStringLiteral("Security"), security);
    }
    const bool settingsRefused = security == QLatin1String("Bogus");
    TDialogue dialogue = listing({"<1@t>", "<2@t>"});
    if (failAt >= 0) {
        dialogue = dialogue.mid(0, failAt + 1);
        dialogue.last().second = reply;
    }
    if (!settingsRefused) {
        play(*m_net, dialogue);
    }
    if (error != 0) {
        m_net->Fails(error, QStringLiteral("refused by the test"));
    } else if (failAt >= 0 && !reply.endsWith("\r\n")) {
        m_net->Closes();
    }

    QCOMPARE(check(), failAt < 0);
    QStringList seen;
    for (const QString& event : std::as_const(m_host->Events)) {
        if (!event.startsWith(QLatin1String("progress:"))) {
            seen.append(event);
        }
    }
    QCOMPARE(seen, events);
    // Every failure names why, once; the session's words carry no colour.
    if (failAt >= 0) {
        QCOMPARE(m_host->LastFailure.ServerReply, serverReply);
        QVERIFY(m_host->LastFailure.Message.endsWith(u'\n'));
        QCOMPARE(m_host->LastFailure.Error, error);
        if (error == TTransport::SecurityError) {
            QVERIFY2(m_host->LastFailure.Message.contains(kName), qPrintable(m_host->LastFailure.Message));
        }
        if (settingsRefused) {
            QVERIFY2(m_host->LastFailure.Message.contains(security), qPrintable(m_host->LastFailure.Message));
            QCOMPARE(m_net->Opens, 0);
        }
    }
    for (const QString& event : std::as_const(m_host->Events)) {
        for (const char* colour : {"Red", "Yellow", "Green"}) {
            QVERIFY2(!event.contains(QLatin1String(colour)), qPrintable(event));
        }
    }
}

void tst_Pop3Session::framing_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("size");
    QTest::addColumn<QString>("subject");

    const QByteArray whole = top("<1@t>", "a@t", "hello");
    QList<QByteArray> bytes;
    for (const char c : whole) {
        bytes.append(QByteArray(1, c));
    }
    QTest::newRow("one chunk") << QList<QByteArray>({whole}) << QByteArray("101") << QStringLiteral("hello");
    QTest::newRow("byte by byte") << bytes << QByteArray("101") << QStringLiteral("hello");
    QTest::newRow("terminator split") << QList<QByteArray>({whole.chopped(3), whole.right(3)}) << QByteArray("101")
                                      << QStringLiteral("hello");
    QTest::newRow("dot inside a line is no end")
        << QList<QByteArray>({"+OK\r\nMessage-ID: <1@t>\r\nSubject: a\r\n.b\r\n", "\r\n.\r\n"}) << QByteArray("101")
        << QStringLiteral("a");
    QTest::newRow("LIST without second space") << QList<QByteArray>({whole}) << QByteArray() << QStringLiteral("hello");
    // A first body line beyond the reply bound: the headers are kept, the rest is skipped.
    QTest::newRow("over-long TOP") << QList<QByteArray>({"+OK\r\nMessage-ID: <1@t>\r\nSubject: big\r\n\r\n<html>",
                                                         QByteArray(4 * 1024 * 1024 + 10, 'h'), "\r\n.\r\n"})
                                   << QByteArray("101") << QStringLiteral("big");
}

void tst_Pop3Session::framing()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, size);
    QFETCH(QString, subject);

    TDialogue dialogue = listing({"<1@t>"});
    dialogue[5].second = size.isEmpty() ? QByteArray("+OK 1\r\n") : "+OK 1 " + size + "\r\n";
    dialogue[6].second.clear();
    for (int i = 0; i < 6; ++i) {
        play(*m_net, TDialogue{dialogue.at(i)});
    }
    m_net->Expects("Top 1 1");
    for (const QByteArray& chunk : chunks) {
        m_net->Says(chunk);
    }
    m_net->Expects("QUIT").Says("+OK\r\n");

    QVERIFY(check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QCOMPARE(m_list->Count(), 1);
    QCOMPARE(m_list->Row(1).Size, size);
    QCOMPARE(m_list->Row(1).Subject, subject);
    QCOMPARE(m_list->Row(1).Id, QByteArray("<1@t>"));
}

void tst_Pop3Session::newStaysNewUntilViewed()
{
    writeSeen({"<1@t>"});
    play(*m_net, listing({"<1@t>", "<2@t>", "<3@t>"}));
    QVERIFY(check());
    QCOMPARE(m_list->Mark(1), TMark::None);
    QCOMPARE(m_list->Mark(2), TMark::New);
    QCOMPARE(m_host->NewMailFound, 2);

    m_host->Counts[2] = 2;
    m_session->Viewed(2);
    m_session->Viewed(2);
    QCOMPARE(m_list->Mark(2), TMark::None);
    QCOMPARE(m_host->Counts[2], 1);

    // Seen now, but not viewed: still new, without a new-mail alarm.
    m_host->NewMailFound = 0;
    play(*m_net, listing({"<1@t>", "<2@t>", "<3@t>"}));
    QVERIFY(check());
    QCOMPARE(m_list->Mark(2), TMark::None);
    QCOMPARE(m_list->Mark(3), TMark::New);
    QCOMPARE(m_host->Counts[2], 1);
    QCOMPARE(m_host->NewMailFound, 0);
}

void tst_Pop3Session::filterMarksOnce()
{
    m_host->Rules.HighLight[1] = QStringLiteral("SPAM");
    m_host->Rules.Delete[1] = true;
    TDialogue dialogue = listing({"<1@t>", "<2@t>"});
    dialogue[6].second = top("<1@t>", "spam@t", "spam offer");
    play(*m_net, dialogue);
    QVERIFY(check());
    QCOMPARE(m_list->Mark(1), TMark::Delete);
    QCOMPARE(m_list->Mark(2), TMark::New);
    QCOMPARE(m_host->Counts[2], 1);
}

void tst_Pop3Session::listingDecodesAndRulesMatchBoth()
{
    // One rule written for the decoded text, one stored long ago against the raw header.
    m_host->Rules.HighLight[0] = QStringLiteral("優惠");
    m_host->Rules.Delete[0] = true;
    m_host->Rules.HighLight[2] = QStringLiteral("=?GB2312?");
    m_host->Rules.Delete[2] = true;
    TDialogue dialogue = listing({"<1@t>", "<2@t>", "<3@t>"});
    dialogue[6].second = top("<1@t>", "shop@t", "=?UTF-8?B?5pys6YCx5YSq5oOg?=");
    dialogue[8].second = top("<2@t>", "=?gb2312?B?1tDOxA==?= <x@t>", "hello");
    dialogue[10].second =
        top("<3@t>", "\"=?Big5?B?s6+kaqTl?=\" <chen@t>", "=?UTF-8?Q?=E6=B8=AC?=\r\n =?UTF-8?Q?=E8=A9=A6?=");
    play(*m_net, dialogue);
    QVERIFY(check());
    QCOMPARE(m_list->Row(1).Subject, QStringLiteral("本週優惠"));
    QCOMPARE(m_list->Row(2).From, QStringLiteral("中文 <x@t>"));
    QCOMPARE(m_list->Row(3).From, QStringLiteral("陳大文 <chen@t>"));
    QCOMPARE(m_list->Row(3).Subject, QStringLiteral("測試"));
    QCOMPARE(m_list->Mark(1), TMark::Delete);
    QCOMPARE(m_list->Mark(2), TMark::Delete);
    QCOMPARE(m_list->Mark(3), TMark::New);
    QCOMPARE(m_list->Row(2).Id, QByteArray("<2@t>"));
    QCOMPARE(storedSeen(), QList<QByteArray>({"<1@t>", "<2@t>", "<3@t>"}));
}

void tst_Pop3Session::deletionRefusedKeepsMarks()
{
    play(*m_net, listing({"<1@t>", "<2@t>"}));
    QVERIFY(check());
    m_list->SetMark(1, TMark::None);
    m_list->SetMark(2, TMark::Delete);
    play(*m_net, listing({}).mid(0, 4));
    m_net->Expects("TOP 2 0").Says(top("<2@t>")).Expects("DELE 2").Says("-ERR locked\r\n");
    QVERIFY(!check());
    QVERIFY(m_net->Mismatches.isEmpty());
    QCOMPARE(m_host->Messages, QStringList(QStringLiteral("刪除信件錯誤！\n")));
    QCOMPARE(m_list->Count(), 2);
    QCOMPARE(m_list->Mark(2), TMark::Delete);
    QCOMPARE(m_list->Row(2).Subject, QStringLiteral("s2"));
}

void tst_Pop3Session::deletionFindsMovedMessage()
{
    play(*m_net, listing({"<1@t>", "<2@t>", "<3@t>"}));
    QVERIFY(check());
    m_list->SetMark(3, TMark::Delete);
    // Another client removed message 1: the marked one is now number 2.
    play(*m_net, listing({}).mid(0, 4));
    m_net->Expects("TOP 3 0").Says("-ERR no such message\r\n");
    m_net->Expects("STAT").Says("+OK 2 20\r\n");
    m_net->Expects("TOP 2 0").Says(top("<3@t>"));
    m_net->Expects("DELE 2").Says("+OK\r\n").Expects("QUIT").Says("+OK\r\n");
    play(*m_net, listing({"<2@t>"}));
    QVERIFY(check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QCOMPARE(m_list->Count(), 1);
    QCOMPARE(m_list->Id(1), QByteArray("<2@t>"));
    QVERIFY(m_host->Messages.isEmpty());
}

void tst_Pop3Session::retrievalGuards_data()
{
    QTest::addColumn<QByteArray>("listedSize");
    QTest::addColumn<QByteArray>("currentId");
    QTest::addColumn<bool>("fetched");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<bool>("tooLarge");
    QTest::addColumn<int>("limit");

    const int raw = TAccount::RawViewLimit;
    const int readable = TAccount::ReadableViewLimit;
    QTest::newRow("same message") << QByteArray("101") << QByteArray("<1@T>") << true << false << false << raw;
    QTest::newRow("renumbered") << QByteArray("101") << QByteArray("<9@t>") << false << true << false << raw;
    QTest::newRow("too large") << QByteArray("65534") << QByteArray() << false << false << true << raw;
    QTest::newRow("unreadable size") << QByteArray("1O1") << QByteArray("<1@t>") << true << false << false << raw;
    QTest::newRow("readable view fetches it")
        << QByteArray("65534") << QByteArray("<1@t>") << true << false << false << readable;
    QTest::newRow("too large to read") << QByteArray("16777216") << QByteArray() << false << false << true << readable;
}

void tst_Pop3Session::retrievalGuards()
{
    QFETCH(QByteArray, listedSize);
    QFETCH(QByteArray, currentId);
    QFETCH(bool, fetched);
    QFETCH(bool, moved);
    QFETCH(bool, tooLarge);
    QFETCH(int, limit);

    TMailRow row;
    row.Number = 1;
    row.Size = listedSize;
    row.Id = "<1@t>";
    row.Mark = TMark::New;
    m_list->Append(row);
    const QByteArray message = top("<1@t>").mid(5);
    if (!tooLarge) {
        play(*m_net, listing({}).mid(0, 4));
        m_net->Expects("TOP 1 0").Says(top(currentId));
        if (fetched) {
            m_net->Expects("RETR 1").Says("+OK\r\n" + message);
        }
        m_net->Expects("QUIT").Says("+OK\r\n");
    }
    const TPop3Session::TRetrieval got = m_session->Retrieve(1, limit);
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QCOMPARE(m_net->Remaining(), 0);
    QCOMPARE(m_net->Opens, tooLarge ? 0 : 1);
    QCOMPARE(got.Moved, moved);
    QCOMPARE(got.TooLarge, tooLarge);
    QCOMPARE(got.Message, fetched ? "+OK\r\n" + message : QByteArray());
    QCOMPARE(m_list->Mark(1), TMark::New);
}

void tst_Pop3Session::wrongPasswordAsksAgain()
{
    {
        TIniFile ini(m_host->Path);
        ini.WriteString(kName, QStringLiteral("Password"), QString());
    }
    m_host->Answers = {QStringLiteral("wrong"), QStringLiteral("pass")};
    play(*m_net, listing({}).mid(0, 3));
    m_net->Expects("PASS wrong").Says("-ERR\r\n");
    QVERIFY(!check());
    QCOMPARE(m_host->Messages, QStringList(kLoginError + u'\n'));
    QVERIFY(m_host->Typed.isEmpty());

    play(*m_net, listing({"<1@t>"}));
    QVERIFY(check());
    QVERIFY(m_net->Mismatches.isEmpty());
    QCOMPARE(m_host->Prompts, 2);
    QCOMPARE(m_host->Typed, QStringLiteral("pass"));
}

void tst_Pop3Session::retiredDuringWaitIsSilent()
{
    writeSeen({"<old@t>"});
    play(*m_net, listing({"<1@t>"}).mid(0, 5));
    // The window is retired while the listing runs: the closed transport ends the session.
    m_list->OnChanged = [this](int) {
        if (m_list->Count() == 1 && !m_host->IsRetired) {
            m_host->IsRetired = true;
            m_session->Cancel();
        }
    };
    QVERIFY(!check());
    QVERIFY(m_host->Messages.isEmpty());
    QCOMPARE(m_host->Leds, QStringList(QStringLiteral("Yellow/Busy")));
    QCOMPARE(storedSeen(), QList<QByteArray>({"<old@t>"}));
}

void tst_Pop3Session::startTlsBeforeLogin()
{
    TIniFile(m_host->Path).WriteString(kName, QStringLiteral("Security"), QStringLiteral("STARTTLS"));
    TDialogue d = listing({"<1@t>"});
    // The capabilities are asked on the plain line and again on the encrypted one only.
    d.removeAt(1);
    d.insert(1, qMakePair(QByteArray("CAPA"), QByteArray("+OK\r\nTOP\r\nSTLS\r\n.\r\n")));
    d.insert(2, qMakePair(QByteArray("STLS"), QByteArray("+OK begin\r\n")));
    d.insert(3, qMakePair(QByteArray("CAPA"), QByteArray("+OK\r\nTOP\r\nUSER\r\n.\r\n")));
    play(*m_net, d);
    QVERIFY(check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(QLatin1Char('|'))));
    QCOMPARE(m_net->TlsStarts, 1);
    // Encrypted right after the go-ahead, and before anything of the login.
    QCOMPARE(m_net->SentBeforeTls, 2);
    QCOMPARE(m_net->Sent.mid(0, 4), QList<QByteArray>({"CAPA", "STLS", "CAPA", "USER user"}));
    QVERIFY(m_net->Endpoint.Security == TSecurity::StartTls);
    QCOMPARE(m_list->Count(), 1);
}

// What the mailbox's section says reaches the transport; a value that cannot be read
// stops the session before it connects, never falling back to plaintext.
void tst_Pop3Session::endpointSettings_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("failure");

    const QString pin = QStringLiteral("ab").repeated(32);
    QTest::newRow("old file") << QString() << QString() << QString() << int(TSecurity::None) << QString();
    QTest::newRow("TLS, pinned") << QStringLiteral("TLS") << QStringLiteral("995") << pin << int(TSecurity::Tls)
                                 << QString();
    QTest::newRow("unknown word") << QStringLiteral("SSL") << QString() << QString() << -1 << QStringLiteral("SSL");
    QTest::newRow("port out of range") << QStringLiteral("TLS") << QStringLiteral("99999") << QString() << -1
                                       << QStringLiteral("埠號");
    QTest::newRow("pin too short") << QStringLiteral("TLS") << QString() << pin.left(40) << -1
                                   << QStringLiteral("指紋");
}

void tst_Pop3Session::endpointSettings()
{
    QFETCH(QString, security);
    QFETCH(QString, port);
    QFETCH(QString, pin);
    QFETCH(int, expected);
    QFETCH(QString, failure);
    {
        TIniFile ini(m_host->Path);
        if (!security.isEmpty()) {
            ini.WriteString(kName, QStringLiteral("Security"), security);
            ini.WriteString(kName, QStringLiteral("Port"), port);
            ini.WriteString(kName, QStringLiteral("CertSha256"), pin);
        }
    }
    if (expected < 0) {
        QVERIFY(!check());
        QCOMPARE(m_net->Opens, 0);
        QCOMPARE(m_host->Messages.size(), 1);
        QVERIFY2(m_host->Messages.first().contains(failure), qPrintable(m_host->Messages.first()));
        return;
    }
    play(*m_net, listing({"<1@t>"}));
    QVERIFY(check());
    QCOMPARE(int(m_net->Endpoint.Security), expected);
    QCOMPARE(m_net->Endpoint.Port, port);
    QCOMPARE(m_net->Endpoint.CertSha256.remove(QLatin1Char(':')), pin.toUpper());
    QCOMPARE(m_net->TlsStarts, 0);
}

Q_DECLARE_METATYPE(TCheckScript)

void tst_Pop3Session::capabilityPaths_data()
{
    QTest::addColumn<TCheckScript>("script");
    const QList<QByteArray> ids = {"<1@t>", "<2@t>", "<3@t>"};
    const QList<QByteArray> uids = {"u1", "u2", "u3"};
    QTest::newRow("no capabilities") << TCheckScript{ids, "TOP USER", {}, {}, false};
    QTest::newRow("pipelining") << TCheckScript{ids, "PIPELINING", {}, {}, true};
    QTest::newRow("uidl") << TCheckScript{ids, "UIDL", uids, {}, false};
    QTest::newRow("uidl pipelined") << TCheckScript{ids, "UIDL PIPELINING", uids, {}, true};
    QTest::newRow("uidl listing names the messages twice") << TCheckScript{ids, "UIDL", {"u1", "u1", "u1"}, {}, false};
    QTest::newRow("longest unique-ids") << TCheckScript{
        ids, "UIDL", {QByteArray(70, 'a'), QByteArray(70, 'b'), QByteArray(70, 'c')}, {}, false};
}

// The same mailbox through every path: the same rows, marks, counts and seen list; and
// a repeat check through the cache fetches no headers yet shows the same.
void tst_Pop3Session::capabilityPaths()
{
    QFETCH(TCheckScript, script);
    writeSeen({"<2@t>"});
    playCheck(*m_net, script);
    QVERIFY(check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QCOMPARE(m_net->Remaining(), 0);
    QCOMPARE(m_list->Count(), 3);
    for (int n = 1; n <= 3; ++n) {
        const QByteArray num = QByteArray::number(n);
        QCOMPARE(m_list->Row(n).Number, n);
        QCOMPARE(m_list->Row(n).Size, "10" + num);
        QCOMPARE(m_list->Row(n).From, QString::fromLatin1("f" + num));
        QCOMPARE(m_list->Row(n).Subject, QString::fromLatin1("s" + num));
        QCOMPARE(m_list->Row(n).Date, QStringLiteral("d"));
        QCOMPARE(m_list->Row(n).Id, "<" + num + "@t>");
        QCOMPARE(m_list->Mark(n), n == 2 ? TMark::None : TMark::New);
    }
    QCOMPARE(m_host->Counts[1], 3);
    QCOMPARE(m_host->Counts[2], 2);
    QCOMPARE(storedSeen(), QList<QByteArray>({"<1@t>", "<2@t>", "<3@t>"}));

    const QList<TMailRow> first = [this] {
        QList<TMailRow> rows;
        for (int n = 1; n <= m_list->Count(); ++n) {
            rows.append(m_list->Row(n));
        }
        return rows;
    }();
    const bool distinctUids = !script.Uids.isEmpty() && script.Uids.at(0) != script.Uids.at(1);
    if (distinctUids) {
        script.Cached = {1, 2, 3};
    }
    m_session->Viewed(1);
    playCheck(*m_net, script);
    QVERIFY(check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QCOMPARE(m_net->Remaining(), 0);
    QCOMPARE(m_list->Count(), 3);
    for (int n = 1; n <= 3; ++n) {
        QCOMPARE(m_list->Row(n).Size, first.at(n - 1).Size);
        QCOMPARE(m_list->Row(n).From, first.at(n - 1).From);
        QCOMPARE(m_list->Row(n).Subject, first.at(n - 1).Subject);
        QCOMPARE(m_list->Row(n).Id, first.at(n - 1).Id);
    }
    QCOMPARE(m_list->Mark(1), TMark::None);
    QCOMPARE(m_list->Mark(3), TMark::New);
    QCOMPARE(m_host->Counts[2], 1);
}

void tst_Pop3Session::pipelinedFailure_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<int>("rowsLeft");
    // Replies of the two messages: 0 LIST 1, 1 Top 1 1, 2 LIST 2, 3 Top 2 1.
    QTest::newRow("first LIST") << 0 << 1;
    QTest::newRow("first Top") << 1 << 1;
    QTest::newRow("second LIST") << 2 << 2;
    QTest::newRow("second Top") << 3 << 2;
}

// A refusal among pipelined replies fails the check as it does one command at a time:
// the rows listed before it stay, nothing after it is used, the seen list is kept.
void tst_Pop3Session::pipelinedFailure()
{
    QFETCH(int, failAt);
    QFETCH(int, rowsLeft);
    writeSeen({"<old@t>"});
    const TCheckScript script{{"<1@t>", "<2@t>"}, "PIPELINING", {}, {}, true};
    m_net->Says("+OK ready\r\n").Expects("CAPA").Says(capaReply(script.Capabilities));
    play(*m_net, listing({}).mid(2, 2));
    m_net->Expects("STAT").Says("+OK 2 100\r\n");
    const TDialogue messages = messagesOf(script);
    for (const auto& step : messages) {
        m_net->Expects(step.first);
    }
    for (int i = 0; i < messages.size(); ++i) {
        m_net->Says(i == failAt ? QByteArray("-ERR no\r\n") : messages.at(i).second);
    }
    QVERIFY(!check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QVERIFY(!m_net->Sent.contains("QUIT"));
    QCOMPARE(m_host->Messages, QStringList(kReceiveError + u'\n'));
    QCOMPARE(m_list->Count(), rowsLeft);
    QCOMPARE(m_list->Row(1).Subject, failAt >= 2 ? QStringLiteral("s1") : QString());
    QCOMPARE(m_list->Row(rowsLeft).Subject, QString());
    QCOMPARE(storedSeen(), QList<QByteArray>({"<old@t>"}));
}

void tst_Pop3Session::cacheRebuilt_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("missing") << QByteArray("remove");
    QTest::newRow("cut short") << QByteArray("cut");
    QTest::newRow("one byte changed") << QByteArray("flip");
    QTest::newRow("garbage") << QByteArray("garbage");
    QTest::newRow("another server's") << QByteArray("foreign");
}

// A cache that cannot be trusted is not used: every header is fetched again, the rows are
// those of a first check, and a sound owner-only file takes its place.
void tst_Pop3Session::cacheRebuilt()
{
    QFETCH(QByteArray, damage);
    const TCheckScript script{{"<1@t>", "<2@t>"}, "UIDL", {"u1", "u2"}, {}, false};
    playCheck(*m_net, script);
    QVERIFY(check());
    const QByteArray key = TUidlCache::Key(kName, QStringLiteral("127.0.0.1"), QStringLiteral("user"));
    const QString path = TUidlCache::PathFor(m_host->Path, key);
    // The cache is written on a thread of its own once the check is over.
    TUidlCache::WaitForSaves();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray sound = file.readAll();
    file.close();
    QCOMPARE(QFileInfo(path).permissions() & 0x0077, QFileDevice::Permissions());
    TUidlCache parsed;
    QVERIFY(parsed.Parse(sound, key));
    QCOMPARE(parsed.Count(), 2);

    QByteArray broken = sound;
    if (damage == "cut") {
        broken.chop(20);
    } else if (damage == "flip") {
        broken[broken.indexOf("s2") + 1] = '3';
    } else if (damage == "garbage") {
        broken = QByteArray(300, '\x7f');
    } else if (damage == "foreign") {
        TUidlCache other;
        other.Insert("u1", {"101", QStringLiteral("d"), QStringLiteral("x"), QStringLiteral("wrong"),
                            QStringLiteral("x"), QStringLiteral("wrong"), "<9@t>"});
        broken = other.Serialize(TUidlCache::Key(kName, QStringLiteral("127.0.0.2"), QStringLiteral("user")));
    }
    if (damage == "remove") {
        QVERIFY(QFile::remove(path));
    } else {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(broken);
        file.close();
    }
    playCheck(*m_net, script);
    QVERIFY(check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QCOMPARE(m_net->Remaining(), 0);
    QCOMPARE(m_list->Row(1).Subject, QStringLiteral("s1"));
    QCOMPARE(m_list->Row(2).Subject, QStringLiteral("s2"));
    TUidlCache::WaitForSaves();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), sound);
}

// Pipelined commands go out half a window at a time: a send per reply would cost a system
// call per command on a long listing.
void tst_Pop3Session::pipelinedSendsHalfWindows()
{
    TAnsweringTransport server(500);
    TPop3Session session(server, *m_list, *m_host);
    session.Check(false);
    session.Unwound();
    QCOMPARE(m_list->Count(), 500);
    QCOMPARE(m_list->Row(500).Subject, QStringLiteral("s500"));
    QCOMPARE(storedSeen().size(), 500);
    // CAPA, USER, PASS, STAT, QUIT one at a time; 1,000 LIST and Top commands in windows
    // of at most 4,096 bytes, sent again when half of one is answered.
    QVERIFY2(server.Sends <= 5 + 1000 * 11 / 2048 + 2, qPrintable(QString::number(server.Sends)));
    // Each refill goes out while at least a quarter window of replies is still on its way,
    // so the server never idles waiting for the next commands.
    QVERIFY2(server.UnreadAtBatch.size() >= 4, qPrintable(QString::number(server.UnreadAtBatch.size())));
    for (qsizetype i = 1; i < server.UnreadAtBatch.size(); ++i) {
        QVERIFY2(server.UnreadAtBatch.at(i) >= 64, qPrintable(QString::number(server.UnreadAtBatch.at(i))));
    }
}

// A unique-id given to another message: a changed size fetches its headers again; the
// cache keeps only the messages of the last listing.
void tst_Pop3Session::reusedUidFetchedAgain()
{
    playCheck(*m_net, TCheckScript{{"<1@t>", "<2@t>"}, "UIDL", {"u1", "u2"}, {}, false});
    QVERIFY(check());
    // u2 now names a message of another size; u1 is gone and u3 is new.
    m_net->Says("+OK ready\r\n").Expects("CAPA").Says(capaReply("UIDL"));
    play(*m_net, listing({}).mid(2, 2));
    m_net->Expects("STAT").Says("+OK 2 100\r\n");
    m_net->Expects("UIDL").Says("+OK\r\n1 u2\r\n2 u3\r\n.\r\n");
    m_net->Expects("LIST 1").Says("+OK 1 555\r\n").Expects("Top 1 1").Says(top("<other@t>", "o", "other"));
    m_net->Expects("LIST 2").Says("+OK 2 102\r\n").Expects("Top 2 1").Says(top("<3@t>", "f3", "s3"));
    m_net->Expects("QUIT").Says("+OK\r\n");
    QVERIFY(check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QCOMPARE(m_list->Row(1).Subject, QStringLiteral("other"));
    QCOMPARE(m_list->Row(1).Id, QByteArray("<other@t>"));
    QCOMPARE(m_list->Row(2).Subject, QStringLiteral("s3"));

    const QByteArray key = TUidlCache::Key(kName, QStringLiteral("127.0.0.1"), QStringLiteral("user"));
    TUidlCache cache;
    QVERIFY(cache.Load(TUidlCache::PathFor(m_host->Path, key), key));
    QCOMPARE(cache.Uids(), QList<QByteArray>({"u2", "u3"}));
    QCOMPARE(cache.Find("u2")->Size, QByteArray("555"));
}

// With unique-ids the deletion and the view find their message by UIDL, not by its headers.
void tst_Pop3Session::deletionAndViewByUid()
{
    playCheck(*m_net, TCheckScript{{"<1@t>", "<2@t>", "<3@t>"}, "UIDL PIPELINING", {"u1", "u2", "u3"}, {}, true});
    QVERIFY(check());
    QCOMPARE(m_list->Row(3).Uid, QByteArray("u3"));
    m_list->SetMark(1, TMark::None);
    m_list->SetMark(2, TMark::Delete);
    m_list->SetMark(3, TMark::Delete);
    // Another client removed message 1: the marked ones are now numbers 1 and 2.
    m_net->Says("+OK ready\r\n").Expects("CAPA").Says(capaReply("UIDL PIPELINING"));
    play(*m_net, listing({}).mid(2, 2));
    m_net->Expects("UIDL").Says("+OK\r\n1 u2\r\n2 u3\r\n.\r\n");
    m_net->Expects("DELE 1").Expects("DELE 2").Says("+OK\r\n").Says("+OK\r\n");
    m_net->Expects("QUIT").Says("+OK\r\n");
    playCheck(*m_net, TCheckScript{{}, "UIDL PIPELINING", {}, {}, true});
    QVERIFY(check());
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    QCOMPARE(m_net->Remaining(), 0);
    QVERIFY(m_host->Messages.isEmpty());

    TMailRow row;
    row.Number = 1;
    row.Size = "101";
    row.Id = "<1@t>";
    row.Uid = "u1";
    m_list->Append(row);
    for (const QByteArray& current : {QByteArray("u1"), QByteArray("u9")}) {
        m_net->Says("+OK ready\r\n").Expects("CAPA").Says(capaReply("UIDL"));
        play(*m_net, listing({}).mid(2, 2));
        m_net->Expects("UIDL 1").Says("+OK 1 " + current + "\r\n");
        if (current == "u1") {
            m_net->Expects("RETR 1").Says("+OK\r\nSubject: x\r\n\r\nbody\r\n.\r\n");
        }
        m_net->Expects("QUIT").Says("+OK\r\n");
        const TPop3Session::TRetrieval got = m_session->Retrieve(1);
        QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
        QCOMPARE(got.Moved, current != "u1");
        QCOMPARE(got.Message.isEmpty(), current != "u1");
    }
}

void tst_Pop3Session::statusLineBound_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("byteByByte");

    // Lengths count the CR LF.
    const int limit = TPop3Reply::MaxLineReply;
    for (const char* command : {"STAT", "UIDL", "Top"}) {
        QTest::addRow("%s at the limit", command) << QByteArray(command) << limit << false;
        QTest::addRow("%s one byte over", command) << QByteArray(command) << limit + 1 << false;
    }
    // The search for the line's end goes on where it stopped: 64 K receives, not 2 G bytes scanned.
    QTest::newRow("UIDL at the limit, byte by byte") << QByteArray("UIDL") << limit << true;
}

// The status line of every reply, single- or multi-line, is bounded as a single-line
// reply is; a longer one fails the check as a receive error.
void tst_Pop3Session::statusLineBound()
{
    QFETCH(QByteArray, command);
    QFETCH(int, length);
    QFETCH(bool, byteByByte);
    const bool fits = length <= TPop3Reply::MaxLineReply;
    auto reply = [&](const QByteArray& which, const QByteArray& start, const QByteArray& rest) {
        if (which != command) {
            return start + "\r\n" + rest;
        }
        return start + ' ' + QByteArray(length - int(start.size()) - 3, 'x') + "\r\n" + rest;
    };
    writeSeen({"<old@t>"});
    m_net->Says("+OK ready\r\n").Expects("CAPA").Says(capaReply("UIDL"));
    play(*m_net, listing({}).mid(2, 2));
    m_net->Expects("STAT").Says(reply("STAT", "+OK 1 100", {}));
    m_net->Expects("UIDL");
    const QByteArray uidl = reply("UIDL", "+OK", "1 u1\r\n.\r\n");
    for (qsizetype at = 0; at < uidl.size(); at += byteByByte ? 1 : uidl.size()) {
        m_net->Says(byteByByte ? uidl.mid(at, 1) : uidl);
    }
    m_net->Expects("LIST 1").Says("+OK 1 101\r\n");
    m_net->Expects("Top 1 1").Says(reply("Top", "+OK", top("<1@t>").mid(5)));
    m_net->Expects("QUIT").Says("+OK\r\n");

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(check(), fits);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(m_net->Mismatches.isEmpty(), qPrintable(m_net->Mismatches.join(u'\n')));
    if (fits) {
        QCOMPARE(m_list->Count(), 1);
        QCOMPARE(m_list->Row(1).Uid, QByteArray("u1"));
        QCOMPARE(m_list->Row(1).Id, QByteArray("<1@t>"));
        return;
    }
    QCOMPARE(m_net->Sent.last(), command == "Top" ? QByteArray("Top 1 1") : command);
    QCOMPARE(m_host->Messages, QStringList(kReceiveError + u'\n'));
    QCOMPARE(m_host->Leds.last(), QStringLiteral("Red/Error"));
    QCOMPARE(storedSeen(), QList<QByteArray>({"<old@t>"}));
}

// A server that counts a million messages and then never ends the first line of its UIDL
// reply is given up at the status line's bound, at once, not after the megabytes its count
// would allow.
void tst_Pop3Session::endlessStatusLineFailsFast()
{
    m_net->Says("+OK ready\r\n").Expects("CAPA").Says(capaReply("UIDL"));
    play(*m_net, listing({}).mid(2, 2));
    m_net->Expects("STAT").Says("+OK 1000000 0\r\n").Expects("UIDL").Says("+OK ");
    // 8 MB in receives of 8 KB, as the socket client delivers them.
    const QByteArray chunk(8192, 'x');
    for (int i = 0; i < 1024; ++i) {
        m_net->Says(chunk);
    }
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!check());
    const qint64 ms = clock.elapsed();
    QCOMPARE(m_host->Messages, QStringList(kReceiveError + u'\n'));
    QVERIFY(!m_net->Connected());
    QVERIFY2(m_net->Remaining() > 1000, qPrintable(QString::number(m_net->Remaining())));
    QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
}

QTEST_GUILESS_MAIN(tst_Pop3Session)
#include "tst_Pop3Session.moc"
