#include "core/EAbort.h"
#include "mailbox/TImapSession.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TSeenIds.h"
#include "mailbox/TSessionTexts.h"
#include "mailbox/TUidlCache.h"
#include "settings/TIniFile.h"
#include "testsupport/TRecordingSessionHost.h"
#include "testsupport/TScriptTransport.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

namespace {

const QString kName = QStringLiteral("Box");

QByteArray header(const QByteArray& id, const QByteArray& subject)
{
    return "Date: d\r\nFrom: a@t\r\nSubject: " + subject + "\r\nMessage-ID: " + id + "\r\n\r\n";
}

QByteArray fetchLine(int number, int uid, const QByteArray& id, const QByteArray& subject)
{
    const QByteArray h = header(id, subject);
    return "* " + QByteArray::number(number) + " FETCH (UID " + QByteArray::number(uid) +
           " FLAGS () RFC822.SIZE 100 BODY[HEADER.FIELDS (DATE FROM SUBJECT MESSAGE-ID CONTENT-TYPE)] {" +
           QByteArray::number(h.size()) + "}\r\n" + h + ")\r\n";
}

const QByteArray kGreeting = "* OK [CAPABILITY IMAP4rev1 LITERAL+ AUTH=PLAIN] ready\r\n";
QByteArray loggedIn(const QByteArray& tag = "A1")
{
    return tag + " OK [CAPABILITY IMAP4rev1 LITERAL+ IDLE UIDPLUS] Logged in\r\n";
}
const QByteArray kLoggedIn = loggedIn();
const QByteArray kFetchAll =
    "UID FETCH 1:* (UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (DATE FROM SUBJECT MESSAGE-ID CONTENT-TYPE)])";

} // namespace

// The IMAP session over a scripted transport: the dialogue's edges without a server.
class tst_ImapSession : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void listingWithLiteralSplitAcrossReceives();
    void repeatCheckFetchesOnlyWhatIsNotCached();
    void cacheReadAheadIsDroppedWhenValidityChanges();
    void seenListWrittenOnlyWhenChanged();
    void loginTable_data();
    void loginTable();
    void loginWaitsForTheGoAheadOfALiteral_data();
    void loginWaitsForTheGoAheadOfALiteral();
    void rowsTheServerLeftOutAreNotCounted();
    void folderNamedAsTheServerTakesIt_data();
    void folderNamedAsTheServerTakesIt();
    void expungeDuringListingNeitherDoublesNorBlanksARow();
    void startTlsRefusesInjectedBytes();
    void deletionByUidAfterValidityChange();
    void rowUidAndRetrReply();

private:
    bool check(bool autoDelete = false);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TRecordingSessionHost> m_host;
    std::unique_ptr<TScriptTransport> m_net;
    std::unique_ptr<TMailListModel> m_list;
    std::unique_ptr<TImapSession> m_session;
};

void tst_ImapSession::init()
{
    m_session.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_host = std::make_unique<TRecordingSessionHost>();
    m_host->Path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    TIniFile ini(m_host->Path);
    ini.WriteString(kName, QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    ini.WriteString(kName, QStringLiteral("Login"), QStringLiteral("user"));
    ini.WriteString(kName, QStringLiteral("Password"), QStringLiteral("pass"));
    ini.WriteString(kName, QStringLiteral("Protocol"), QStringLiteral("IMAP"));
    ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("7"));
    m_net = std::make_unique<TScriptTransport>();
    m_list = std::make_unique<TMailListModel>();
    m_session = std::make_unique<TImapSession>(*m_net, *m_list, *m_host);
}

void tst_ImapSession::cleanup()
{
    // The header cache is written in the background into the test's folder.
    TUidlCache::WaitForSaves();
}

bool tst_ImapSession::check(bool autoDelete)
{
    try {
        m_session->Check(autoDelete);
        m_session->Unwound();
        return true;
    } catch (const EAbort&) {
        m_session->Unwound();
        return false;
    }
}

void tst_ImapSession::listingWithLiteralSplitAcrossReceives()
{
    TSeenIds::Store(*std::make_unique<TIniFile>(m_host->Path), kName, {"<1@t>"});
    const QByteArray fetched = fetchLine(1, 11, "<1@t>", "one") + fetchLine(2, 12, "<2@t>", "=?UTF-8?B?5L2g5aW9?=");
    auto& t = *m_net;
    t.Says(kGreeting).Expects("A1 LOGIN \"user\" \"pass\"").Says(kLoggedIn);
    t.Expects("A2 EXAMINE \"INBOX\"").Expects("A3 " + kFetchAll);
    t.Says("* 2 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\nA2 OK [READ-ONLY] done\r\n");
    // Cut inside the literal's length, inside its bytes and between the literal and ")".
    const int cuts[] = {60, 75, 140, int(fetched.indexOf(")\r\n* 2")), int(fetched.size())};
    int from = 0;
    for (const int cut : cuts) {
        t.Says(fetched.mid(from, cut - from));
        from = cut;
    }
    t.Says("A3 OK done\r\n").Expects("A4 LOGOUT").Says("* BYE bye\r\nA4 OK done\r\n");

    QVERIFY(check());
    QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
    QCOMPARE(m_list->Count(), 2);
    QCOMPARE(m_list->Row(1).Subject, QStringLiteral("one"));
    QCOMPARE(m_list->Row(2).Subject, QStringLiteral("你好"));
    QCOMPARE(m_list->Row(2).RawSubject, QStringLiteral("=?UTF-8?B?5L2g5aW9?="));
    QCOMPARE(m_list->Row(2).Size, QByteArray("100"));
    QCOMPARE(m_list->Row(2).Uid, QByteArray("77.12"));
    QCOMPARE(m_list->Mark(1), TMark::None);
    QCOMPARE(m_list->Mark(2), TMark::New);
    QCOMPARE(m_host->EventsOf(QStringLiteral("new")), QStringList{QStringLiteral("new:1")});
    QCOMPARE(m_host->EventsOf(QStringLiteral("finished")), QStringList{QStringLiteral("finished:2:1")});
}

void tst_ImapSession::repeatCheckFetchesOnlyWhatIsNotCached()
{
    auto& t = *m_net;
    t.Says(kGreeting).Expects("A1 LOGIN \"user\" \"pass\"").Says(kLoggedIn);
    t.Expects("A2 EXAMINE \"INBOX\"").Expects("A3 " + kFetchAll);
    t.Says("* 1 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\nA2 OK done\r\n")
        .Says(fetchLine(1, 11, "<1@t>", "one") + "A3 OK\r\n");
    t.Expects("A4 LOGOUT").Says("A4 OK\r\n");
    QVERIFY(check());
    TUidlCache::WaitForSaves();
    // The sizes go in the same write as EXAMINE; the one message not cached gets its headers.
    t.Says(kGreeting).Expects("A5 LOGIN \"user\" \"pass\"").Says(loggedIn("A5"));
    t.Expects("A6 EXAMINE \"INBOX\"").Expects("A7 FETCH 1:* (UID FLAGS RFC822.SIZE)");
    t.Says("* 2 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\nA6 OK done\r\n* 1 FETCH (UID 11 FLAGS () RFC822.SIZE 100)\r\n"
           "* 2 FETCH (UID 12 FLAGS () RFC822.SIZE 100)\r\nA7 OK\r\n");
    t.Expects("A8 UID FETCH 12 (UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (DATE FROM SUBJECT MESSAGE-ID "
              "CONTENT-TYPE)])");
    t.Says(fetchLine(2, 12, "<2@t>", "two") + "A8 OK\r\n").Expects("A9 LOGOUT").Says("A9 OK\r\n");
    QVERIFY(check());
    QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
    QCOMPARE(m_list->Count(), 2);
    QCOMPARE(m_list->Row(1).Subject, QStringLiteral("one"));
    QCOMPARE(m_list->Row(2).Subject, QStringLiteral("two"));
}

// The cache is read for the last UIDVALIDITY while the server greets; a folder recreated
// since has other messages under the same UIDs, whose headers must be fetched.
void tst_ImapSession::cacheReadAheadIsDroppedWhenValidityChanges()
{
    auto& t = *m_net;
    t.Says(kGreeting).Expects("A1 LOGIN \"user\" \"pass\"").Says(kLoggedIn);
    t.Expects("A2 EXAMINE \"INBOX\"").Expects("A3 " + kFetchAll);
    t.Says("* 1 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\nA2 OK done\r\n" + fetchLine(1, 11, "<1@t>", "one") + "A3 OK\r\n");
    t.Expects("A4 LOGOUT").Says("A4 OK\r\n");
    QVERIFY(check());
    TUidlCache::WaitForSaves();
    for (int round = 0; round < 2; ++round) {
        // The second time the cache read ahead is the one written for 78.
        const int base = t.Sent.size() + 1;
        const auto tag = [base](int n) { return "A" + QByteArray::number(base + n); };
        t.Says(kGreeting).Expects(tag(0) + " LOGIN \"user\" \"pass\"").Says(loggedIn(tag(0)));
        t.Expects(tag(1) + " EXAMINE \"INBOX\"").Expects(tag(2) + " FETCH 1:* (UID FLAGS RFC822.SIZE)");
        t.Says("* 1 EXISTS\r\n* OK [UIDVALIDITY 78] ok\r\n" + tag(1) +
               " OK\r\n* 1 FETCH (UID 11 FLAGS () RFC822.SIZE 100)\r\n" + tag(2) + " OK\r\n");
        if (round == 0) {
            t.Expects(tag(3) + " UID FETCH 11 (UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (DATE FROM SUBJECT "
                               "MESSAGE-ID CONTENT-TYPE)])");
            t.Says(fetchLine(1, 11, "<9@t>", "other") + tag(3) + " OK\r\n").Expects(tag(4) + " LOGOUT");
            t.Says(tag(4) + " OK\r\n");
        } else {
            t.Expects(tag(3) + " LOGOUT").Says(tag(3) + " OK\r\n");
        }
        QVERIFY(check());
        TUidlCache::WaitForSaves();
        QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
        QCOMPARE(m_list->Count(), 1);
        QCOMPARE(m_list->Row(1).Subject, QStringLiteral("other"));
        QCOMPARE(m_list->Row(1).Uid, "78.11");
    }
}

void tst_ImapSession::seenListWrittenOnlyWhenChanged()
{
    // The settings file is replaced by a rename at each write: a new inode.
    auto inode = [this] {
        struct stat st {};
        return ::stat(QFile::encodeName(m_host->Path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    auto& t = *m_net;
    int tag = 0;
    auto listing = [&](const QList<QByteArray>& ids) {
        const QByteArray login = "A" + QByteArray::number(++tag);
        t.Says(kGreeting).Expects(login + " LOGIN \"user\" \"pass\"").Says(loggedIn(login));
        const QByteArray examine = "A" + QByteArray::number(++tag);
        const QByteArray fetch = "A" + QByteArray::number(++tag);
        t.Expects(examine + " EXAMINE \"INBOX\"").Expects(fetch + " " + kFetchAll);
        t.Says("* " + QByteArray::number(ids.size()) + " EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\n" + examine +
               " OK done\r\n");
        QByteArray lines;
        for (int n = 1; n <= ids.size(); ++n) {
            lines += fetchLine(n, 10 + n, ids.at(n - 1), "s");
        }
        t.Says(lines + fetch + " OK\r\n");
        const QByteArray logout = "A" + QByteArray::number(++tag);
        t.Expects(logout + " LOGOUT").Says(logout + " OK\r\n");
    };
    auto stored = [this] {
        TSeenIds seen;
        seen.Load(TIniFile(m_host->Path), kName);
        return seen.Ids();
    };
    // No header cache between the checks: each lists every message the same way.
    const QString cache =
        TUidlCache::PathFor(m_host->Path, TUidlCache::Key(kName, QStringLiteral("127.0.0.1"), QStringLiteral("user")));

    listing({"<1@t>", "<2@t>"});
    QVERIFY(check());
    QCOMPARE(stored(), (QList<QByteArray>{"<1@t>", "<2@t>"}));
    TUidlCache::WaitForSaves();
    QFile::remove(cache);
    const auto written = inode();

    listing({"<1@t>", "<2@t>"});
    QVERIFY(check());
    QCOMPARE(inode(), written);
    TUidlCache::WaitForSaves();
    QFile::remove(cache);

    // A message gone and one come: written again, in the listing's order.
    listing({"<2@t>", "<3@t>"});
    QVERIFY(check());
    QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
    QVERIFY(inode() != written);
    QCOMPARE(stored(), (QList<QByteArray>{"<2@t>", "<3@t>"}));
    QCOMPARE(m_list->Mark(2), TMark::New);
}

void tst_ImapSession::loginTable_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QList<QByteArray>>("dialogue");
    QTest::addColumn<QString>("outcome");

    const QByteArray plain = QByteArray("\0user\0pass", 10).toBase64();
    // Without SASL-IR the response follows the server's go-ahead.
    QTest::newRow("LOGINDISABLED: AUTHENTICATE PLAIN")
        << QByteArray("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN] hi\r\n")
        << QList<QByteArray>{"A1 AUTHENTICATE PLAIN", "+ \r\n", plain, kLoggedIn} << "ok";
    QTest::newRow("SASL-IR: initial response")
        << QByteArray("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] hi\r\n")
        << QList<QByteArray>{"A1 AUTHENTICATE PLAIN " + plain, kLoggedIn} << "ok";
    QTest::newRow("NO to LOGIN forgets the password")
        << kGreeting
        << QList<QByteArray>{"A1 LOGIN \"user\" \"pass\"", "A1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n"}
        << "failed:refused:1";
    QTest::newRow("unavailable keeps it")
        << kGreeting << QList<QByteArray>{"A1 LOGIN \"user\" \"pass\"", "A1 NO [UNAVAILABLE] Try later.\r\n"}
        << "failed:refused:0";
    QTest::newRow("LOGINDISABLED without PLAIN")
        << QByteArray("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED] hi\r\n") << QList<QByteArray>{} << "failed:refused:0";
    // PREAUTH would skip the login and any encryption the account asks for.
    QTest::newRow("PREAUTH") << QByteArray("* PREAUTH welcome\r\n") << QList<QByteArray>{} << "failed:refused:0";
    QTest::newRow("BYE") << QByteArray("* BYE busy\r\n") << QList<QByteArray>{} << "failed:refused:0";
}

void tst_ImapSession::loginTable()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QList<QByteArray>, dialogue);
    QFETCH(QString, outcome);

    auto& t = *m_net;
    t.Says(greeting);
    // Client lines (no CR LF) and server replies alternate.
    for (const QByteArray& step : dialogue) {
        if (step.endsWith("\r\n")) {
            t.Says(step);
        } else {
            t.Expects(step);
        }
    }
    if (outcome == QLatin1String("ok")) {
        t.Expects("A2 EXAMINE \"INBOX\"").Expects("A3 " + kFetchAll);
        t.Says("* 0 EXISTS\r\n* OK [UIDVALIDITY 5] ok\r\nA2 OK done\r\nA3 OK\r\n");
        t.Expects("A4 LOGOUT").Says("* BYE\r\nA4 OK\r\n");
        QVERIFY(check());
        QVERIFY(m_session->OffersIdle());
    } else {
        QVERIFY(!check());
        QCOMPARE(m_host->EventsOf(QStringLiteral("failed")), QStringList{outcome});
        QVERIFY(!m_net->Connected());
    }
    QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
    QCOMPARE(t.Remaining(), 0);
}

void tst_ImapSession::loginWaitsForTheGoAheadOfALiteral_data()
{
    QTest::addColumn<bool>("goAhead");
    QTest::newRow("go-ahead") << true;
    QTest::newRow("refused before the password") << false;
}

void tst_ImapSession::loginWaitsForTheGoAheadOfALiteral()
{
    QFETCH(bool, goAhead);
    // 8-bit bytes cannot be quoted; without LITERAL+ the literal waits for the server's "+".
    const QByteArray password = "p\xc3\xa4ss";
    m_host->Typed = QString::fromUtf8(password);
    auto& t = *m_net;
    t.Says("* OK [CAPABILITY IMAP4rev1] hi\r\n").Expects("A1 LOGIN \"user\" {5}");
    if (goAhead) {
        t.Says("+ go ahead\r\n").Expects(password).Says(kLoggedIn);
        // An empty folder may refuse "1:*".
        t.Expects("A2 EXAMINE \"INBOX\"").Expects("A3 " + kFetchAll);
        t.Says("* 0 EXISTS\r\n* OK [UIDVALIDITY 5] ok\r\nA2 OK done\r\nA3 NO nothing\r\n");
        t.Expects("A4 LOGOUT").Says("A4 OK\r\n");
        QVERIFY(check());
    } else {
        t.Says("A1 NO [CANNOT] not now\r\n");
        QVERIFY(!check());
        QCOMPARE(m_host->EventsOf(QStringLiteral("failed")).size(), 1);
        QVERIFY(m_host->LastFailure.ServerReply.contains("A1 NO [CANNOT]"));
    }
    QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
    QCOMPARE(t.Remaining(), 0);
    QCOMPARE(t.Sent.contains(password), goAhead);
}

void tst_ImapSession::folderNamedAsTheServerTakesIt_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::newRow("UTF-8 enabled") << true;
    // Offered, but the server's answer does not say it is on.
    QTest::newRow("not enabled") << false;
}

void tst_ImapSession::folderNamedAsTheServerTakesIt()
{
    QFETCH(bool, enabled);
    const QString folder = QStringLiteral("收件匣/報告");
    TIniFile(m_host->Path).WriteString(kName, QStringLiteral("Folder"), folder);
    auto& t = *m_net;
    t.Says(kGreeting).Expects("A1 LOGIN \"user\" \"pass\"");
    t.Says("A1 OK [CAPABILITY IMAP4rev1 LITERAL+ ENABLE UTF8=ACCEPT] in\r\n").Expects("A2 ENABLE UTF8=ACCEPT");
    t.Says(enabled ? "* ENABLED UTF8=ACCEPT\r\nA2 OK\r\n" : "* ENABLED\r\nA2 OK\r\n");
    if (enabled) {
        t.Expects("A3 EXAMINE {16+}").Expects(folder.toUtf8());
    } else {
        t.Expects("A3 EXAMINE \"&ZTZO9lMj-/&WDFUSg-\"");
    }
    t.Expects("A4 " + kFetchAll).Says("* 0 EXISTS\r\n* OK [UIDVALIDITY 5] ok\r\nA3 OK\r\nA4 OK\r\n");
    t.Expects("A5 LOGOUT").Says("A5 OK\r\n");
    QVERIFY(check());
    QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
}

void tst_ImapSession::rowsTheServerLeftOutAreNotCounted()
{
    auto& t = *m_net;
    t.Says(kGreeting).Expects("A1 LOGIN \"user\" \"pass\"").Says(kLoggedIn);
    t.Expects("A2 EXAMINE \"INBOX\"").Expects("A3 " + kFetchAll);
    t.Says("* 3 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\nA2 OK done\r\n");
    // Message 2 went between EXAMINE and FETCH, or the server left it out.
    t.Says(fetchLine(1, 11, "<1@t>", "one") + fetchLine(3, 13, "<3@t>", "three") + "A3 OK\r\n");
    t.Expects("A4 LOGOUT").Says("A4 OK\r\n");
    QVERIFY(check());
    QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
    // The count the counters get is the rows': a later check takes back as many as listed.
    QCOMPARE(m_host->EventsOf(QStringLiteral("listed")), QStringList{QStringLiteral("listed:2")});
    QCOMPARE(m_host->EventsOf(QStringLiteral("finished")), QStringList{QStringLiteral("finished:2:2")});
    QCOMPARE(m_list->Count(), 2);
    QCOMPARE(m_list->Row(2).Number, 2);
    QCOMPARE(m_list->Row(2).Subject, QStringLiteral("three"));
    QCOMPARE(m_list->Row(2).Uid, QByteArray("77.13"));
}

void tst_ImapSession::expungeDuringListingNeitherDoublesNorBlanksARow()
{
    TSeenIds::Store(*std::make_unique<TIniFile>(m_host->Path), kName, {"<1@t>"});
    auto& t = *m_net;
    t.Says(kGreeting).Expects("A1 LOGIN \"user\" \"pass\"").Says(kLoggedIn);
    t.Expects("A2 EXAMINE \"INBOX\"").Expects("A3 " + kFetchAll);
    t.Says("* 1 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\nA2 OK done\r\n")
        .Says(fetchLine(1, 11, "<1@t>", "one") + "A3 OK\r\n");
    t.Expects("A4 LOGOUT").Says("A4 OK\r\n");
    QVERIFY(check());
    TUidlCache::WaitForSaves();
    m_host->Events.clear();

    // Two new messages; the first is expunged before its header is fetched, and the
    // server's EXPUNGE renumbers the second from 3 to 2.
    t.Says(kGreeting).Expects("A5 LOGIN \"user\" \"pass\"").Says(loggedIn("A5"));
    t.Expects("A6 EXAMINE \"INBOX\"").Expects("A7 FETCH 1:* (UID FLAGS RFC822.SIZE)");
    t.Says("* 3 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\nA6 OK done\r\n* 1 FETCH (UID 11 FLAGS () RFC822.SIZE 100)\r\n"
           "* 2 FETCH (UID 12 FLAGS () RFC822.SIZE 100)\r\n* 3 FETCH (UID 13 FLAGS () RFC822.SIZE 100)\r\nA7 OK\r\n");
    t.Expects("A8 UID FETCH 12:13 (UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (DATE FROM SUBJECT MESSAGE-ID "
              "CONTENT-TYPE)])");
    t.Says("* 2 EXPUNGE\r\n" + fetchLine(2, 13, "<3@t>", "three") + "A8 OK\r\n");
    t.Expects("A9 LOGOUT").Says("A9 OK\r\n");
    QVERIFY(check());
    QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
    QCOMPARE(m_list->Count(), 2);
    QCOMPARE(m_list->Row(1).Uid, QByteArray("77.11"));
    QCOMPARE(m_list->Row(1).Subject, QStringLiteral("one"));
    QCOMPARE(m_list->Row(2).Uid, QByteArray("77.13"));
    QCOMPARE(m_list->Row(2).Subject, QStringLiteral("three"));
    QCOMPARE(m_host->EventsOf(QStringLiteral("listed")), QStringList{QStringLiteral("listed:2")});
    // Only the message that is there is announced.
    QCOMPARE(m_host->EventsOf(QStringLiteral("new")), QStringList{QStringLiteral("new:1")});
}

void tst_ImapSession::startTlsRefusesInjectedBytes()
{
    TIniFile(m_host->Path).WriteString(kName, QStringLiteral("Security"), QStringLiteral("STARTTLS"));
    auto& t = *m_net;
    t.Says("* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] hi\r\n").Expects("A1 STARTTLS");
    // The injected response would be read as if it came over the encrypted line.
    t.Says("A1 OK go ahead\r\n* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] fake\r\n");
    QVERIFY(!check());
    QCOMPARE(t.TlsStarts, 0);
    QCOMPARE(m_host->EventsOf(QStringLiteral("failed")), QStringList{QStringLiteral("failed:refused:0")});
    QCOMPARE(m_host->LastFailure.Message, TSessionTexts::BytesBeforeTls() + QLatin1Char('\n'));

    // Without injection the handshake comes and the capabilities are asked again.
    init();
    TIniFile(m_host->Path).WriteString(kName, QStringLiteral("Security"), QStringLiteral("STARTTLS"));
    auto& u = *m_net;
    u.Says("* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] hi\r\n").Expects("A1 STARTTLS");
    u.Says("A1 OK go ahead\r\n").Expects("A2 CAPABILITY");
    u.Says("* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\nA2 OK\r\n").Expects("A3 LOGIN \"user\" \"pass\"").Says(loggedIn("A3"));
    u.Expects("A4 EXAMINE \"INBOX\"").Expects("A5 " + kFetchAll).Says("* 0 EXISTS\r\nA4 OK\r\nA5 OK\r\n");
    u.Expects("A6 LOGOUT").Says("A6 OK\r\n");
    QVERIFY(check());
    QCOMPARE(u.TlsStarts, 1);
    QCOMPARE(u.SentBeforeTls, 1);
    QVERIFY2(u.Mismatches.isEmpty(), qPrintable(u.Mismatches.join(QLatin1Char('|'))));
}

void tst_ImapSession::deletionByUidAfterValidityChange()
{
    // Listed under UIDVALIDITY 7; now it is 8 and UID 1 is another message.
    TMailRow marked;
    marked.Number = 1;
    marked.Id = "<b@t>";
    marked.Uid = "7.1";
    marked.Mark = TMark::Delete;
    m_list->Append(marked);
    TMailRow same = marked;
    same.Number = 2;
    same.Id = "<c@t>";
    same.Uid = "8.5";
    m_list->Append(same);
    TMailRow gone = marked;
    gone.Number = 3;
    gone.Id = "<gone@t>";
    gone.Uid = "7.3";
    m_list->Append(gone);

    auto& t = *m_net;
    t.Says(kGreeting).Expects("A1 LOGIN \"user\" \"pass\"").Says(kLoggedIn);
    t.Expects("A2 SELECT \"INBOX\"").Says("* 3 EXISTS\r\n* OK [UIDVALIDITY 8] ok\r\nA2 OK [READ-WRITE]\r\n");
    t.Expects("A3 UID FETCH 1:* (UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (DATE FROM SUBJECT MESSAGE-ID "
              "CONTENT-TYPE)])");
    t.Says(fetchLine(1, 1, "<a@t>", "a") + fetchLine(2, 2, "<b@t>", "b") + fetchLine(3, 5, "<c@t>", "c") + "A3 OK\r\n");
    t.Expects("A4 UID STORE 2,5 +FLAGS.SILENT (\\Deleted)").Says("A4 OK\r\n");
    t.Expects("A5 UID EXPUNGE 2,5").Says("* 2 EXPUNGE\r\n* 2 EXPUNGE\r\nA5 OK\r\n");
    t.Expects("A6 EXAMINE \"INBOX\"").Expects("A7 " + kFetchAll);
    t.Says("* 1 EXISTS\r\n* OK [UIDVALIDITY 8] ok\r\nA6 OK\r\n").Says(fetchLine(1, 1, "<a@t>", "a") + "A7 OK\r\n");
    t.Expects("A8 LOGOUT").Says("A8 OK\r\n");
    QVERIFY(check());
    QVERIFY2(t.Mismatches.isEmpty(), qPrintable(t.Mismatches.join(QLatin1Char('|'))));
    QCOMPARE(m_host->EventsOf(QStringLiteral("notice")).size(), 1);
    QCOMPARE(m_list->Count(), 1);
    QCOMPARE(m_list->Id(1), QByteArray("<a@t>"));
}

void tst_ImapSession::rowUidAndRetrReply()
{
    quint32 validity = 0;
    quint32 uid = 0;
    QVERIFY(TImapSession::ParseRowUid(TImapSession::RowUid(4294967295u, 12), validity, uid));
    QCOMPARE(validity, 4294967295u);
    QCOMPARE(uid, 12u);
    // A POP3 unique-id is no IMAP one: marks carried over are found by Message-ID.
    QVERIFY(!TImapSession::ParseRowUid("UID1-abc", validity, uid));
    QVERIFY(!TImapSession::ParseRowUid("7.0", validity, uid));
    QCOMPARE(TImapSession::AsRetrReply("A: b\r\n\r\n.hidden\r\nend"),
             QByteArray("+OK 20 octets\r\nA: b\r\n\r\n..hidden\r\nend\r\n.\r\n"));
}

QTEST_GUILESS_MAIN(tst_ImapSession)
#include "tst_ImapSession.moc"
