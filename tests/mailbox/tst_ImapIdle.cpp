#include "mailbox/TImapIdle.h"
#include "mailbox/TSessionTexts.h"
#include "mailbox/TWakeWatch.h"
#include "settings/TAccount.h"
#include "testsupport/TDelayProxy.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TPrivateBus.h"
#include "testsupport/TScriptServer.h"
#include "testsupport/TTestCertificates.h"

#include <QDBusMessage>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

TAccount imapAccount(int port, const QString& login = QStringLiteral("user"))
{
    TAccount account;
    account.Name = QStringLiteral("Box");
    account.Host = QStringLiteral("127.0.0.1");
    account.Login = login;
    account.Port = QString::number(port);
    account.Protocol = TAccount::TProtocol::Imap;
    account.TimeoutText = QStringLiteral("5");
    return account;
}

const QByteArray kGreeting = "* OK [CAPABILITY IMAP4rev1 IDLE] ready";

// Login and EXAMINE as the waiting connection sends them, numbered from its first tag.
QList<QPair<QByteArray, QByteArray>> upToIdle(int first, const QByteArray& idleReply)
{
    auto t = [first](int k, const char* prefix) { return QByteArray(prefix) + QByteArray::number(first + k); };
    return {{t(0, "L") + " LOGIN \"user\" \"pass\"", t(0, "L") + " OK [CAPABILITY IMAP4rev1 IDLE] in"},
            {t(1, "E") + " EXAMINE \"INBOX\"", "* 0 EXISTS\r\n" + t(1, "E") + " OK [READ-ONLY] done"},
            {t(2, "I") + " IDLE", idleReply}};
}

} // namespace

// The connection that waits in IDLE, against a private Dovecot and a scripted server.
class tst_ImapIdle : public QObject {
    Q_OBJECT
private slots:
    void deliveryWhileIdle();
    void kickReconnectsAndAsksForCheck();
    void blackHoledLinkReconnects();
    void refusedIdleLeavesTheSchedule_data();
    void refusedIdleLeavesTheSchedule();
    void byeDuringIdleReconnects();
    void startTlsInjectionRefused();
    void waitsGrowToTheLimit();
    void renewal();
    void wakeAfterSleep();
    void wakeReconnectsAtOnceAndAsksForCheck_data();
    void wakeReconnectsAtOnceAndAsksForCheck();
    void literalLoginLeftToTheSchedule_data();
    void literalLoginLeftToTheSchedule();
    void folderGoesInModifiedUtf7();
    void encryptedWithPin_data();
    void encryptedWithPin();
    void jitterSpreadsTheWaits();
    void whatCountsAsNews();
};

void tst_ImapIdle::deliveryWhileIdle()
{
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        QSKIP(qPrintable(why));
    }
    TDovecot server;
    server.SetImap(true);
    QString error;
    QVERIFY2(server.Start(&error), qPrintable(error));
    TImapIdle idle;
    QSignalSpy active(&idle, &TMailPush::ActiveChanged);
    QSignalSpy news(&idle, &TMailPush::News);
    idle.Follow(imapAccount(server.ImapPort(), server.User()), server.Password());
    QTRY_VERIFY_WITH_TIMEOUT(idle.Active(), 5000);
    QCOMPARE(active.count(), 1);
    // A second follow of the same account keeps the connection.
    idle.Follow(imapAccount(server.ImapPort(), server.User()), server.Password());
    QCOMPARE(idle.Connections(), 1);

    QElapsedTimer clock;
    clock.start();
    server.AddMessage(TDovecot::MakeMessage("<p1@test>", "a@test", "pushed"));
    QVERIFY(news.wait(2000));
    qInfo("news after %lld ms", clock.elapsed());
    QVERIFY(idle.Active());
    idle.Stop();
    QVERIFY(!idle.Active());
    QCOMPARE(active.count(), 2);
}

void tst_ImapIdle::kickReconnectsAndAsksForCheck()
{
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        QSKIP(qPrintable(why));
    }
    TDovecot server;
    server.SetImap(true);
    QString error;
    QVERIFY2(server.Start(&error), qPrintable(error));
    TImapIdle idle;
    TImapIdle::TWaits waits;
    waits.FirstMs = 50;
    idle.SetWaits(waits);
    QSignalSpy news(&idle, &TMailPush::News);
    idle.Follow(imapAccount(server.ImapPort(), server.User()), server.Password());
    QTRY_VERIFY_WITH_TIMEOUT(idle.Active(), 5000);
    QVERIFY(server.Kick());
    QTRY_VERIFY_WITH_TIMEOUT(!idle.Active(), 5000);
    // Back in IDLE, and the mailbox is to be checked for what came meanwhile.
    QVERIFY(news.wait(5000));
    QVERIFY(idle.Active());
    QCOMPARE(idle.Connections(), 2);
}

void tst_ImapIdle::blackHoledLinkReconnects()
{
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        QSKIP(qPrintable(why));
    }
    TDovecot server;
    server.SetImap(true);
    QString error;
    QVERIFY2(server.Start(&error), qPrintable(error));
    TDelayProxy proxy(quint16(server.ImapPort()), 0);
    QVERIFY(proxy.Start());
    TImapIdle idle;
    TImapIdle::TWaits waits;
    waits.FirstMs = 50;
    waits.RenewMs = 300;
    waits.ReplyMs = 500;
    idle.SetWaits(waits);
    QSignalSpy news(&idle, &TMailPush::News);
    QSignalSpy reconnecting(&idle, &TImapIdle::Reconnecting);
    idle.Follow(imapAccount(proxy.Port(), server.User()), server.Password());
    QTRY_VERIFY_WITH_TIMEOUT(idle.Active(), 5000);
    // The renewal's DONE goes unanswered: the connection is given up after the reply time.
    proxy.SetBlackHole(true);
    QVERIFY(reconnecting.wait(5000));
    QVERIFY(!idle.Active());
    QCOMPARE(news.count(), 0);
    proxy.SetBlackHole(false);
    QVERIFY(news.wait(10000));
    QVERIFY(idle.Active());
    QVERIFY(idle.Connections() >= 2);
}

void tst_ImapIdle::refusedIdleLeavesTheSchedule_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<bool>("idleAsked");
    QTest::newRow("NO to IDLE") << kGreeting << true;
    QTest::newRow("no IDLE offered") << QByteArray("* OK [CAPABILITY IMAP4rev1] ready") << false;
}

void tst_ImapIdle::refusedIdleLeavesTheSchedule()
{
    QFETCH(QByteArray, greeting);
    QFETCH(bool, idleAsked);
    TScriptServer server;
    if (idleAsked) {
        server.dialogue(greeting, upToIdle(1, "I3 NO not here"));
    } else {
        server.dialogue(greeting, {{"L1 LOGIN \"user\" \"pass\"", "L1 OK [CAPABILITY IMAP4rev1] in"}});
    }
    server.silent();
    QVERIFY(server.start());
    TImapIdle idle;
    TImapIdle::TWaits waits;
    waits.FirstMs = 20;
    idle.SetWaits(waits);
    const TAccount account = imapAccount(server.port());
    idle.Follow(account, QStringLiteral("pass"));
    QTRY_VERIFY_WITH_TIMEOUT(idle.Unsupported(), 5000);
    QVERIFY(!idle.Active());
    QCOMPARE(idle.PendingWaitMs(), 0);
    // The next good check follows again: nothing reconnects for this account.
    idle.Follow(account, QStringLiteral("pass"));
    QCOMPARE(idle.Connections(), 1);
    QCOMPARE(idle.PendingWaitMs(), 0);
    QCOMPARE(server.failures(), QStringList());
}

void tst_ImapIdle::byeDuringIdleReconnects()
{
    TScriptServer server;
    server.dialogue(kGreeting, upToIdle(1, "+ idling"));
    server.sendLine("* BYE server shutting down").close();
    server.nextConnection();
    server.dialogue(kGreeting, upToIdle(4, "+ idling"));
    server.silent();
    QVERIFY(server.start());
    TImapIdle idle;
    TImapIdle::TWaits waits;
    waits.FirstMs = 50;
    idle.SetWaits(waits);
    QSignalSpy news(&idle, &TMailPush::News);
    QSignalSpy active(&idle, &TMailPush::ActiveChanged);
    idle.Follow(imapAccount(server.port()), QStringLiteral("pass"));
    QVERIFY(news.wait(5000));
    QVERIFY(idle.Active());
    QCOMPARE(idle.Connections(), 2);
    // On, off at BYE, on again.
    QCOMPARE(active.count(), 3);
    QCOMPARE(server.failures(), QStringList());
}

void tst_ImapIdle::startTlsInjectionRefused()
{
    TScriptServer server;
    server.sendLine("* OK [CAPABILITY IMAP4rev1 STARTTLS IDLE LOGINDISABLED] ready");
    server.expect("S1 STARTTLS");
    // The injected response would pass as one sent over the encrypted line.
    server.send("S1 OK begin\r\n* OK [CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN SASL-IR] fake\r\n");
    server.silent();
    QVERIFY(server.start());
    TImapIdle idle;
    TAccount account = imapAccount(server.port());
    account.Security = TAccount::TSecurityKind::StartTls;
    idle.Follow(account, QStringLiteral("pass"));
    // The client hangs up at once; waitForFinished(0) looks without blocking our event loop.
    QTRY_VERIFY_WITH_TIMEOUT(server.waitForFinished(0), 5000);
    QVERIFY(!idle.Active());
    QCOMPARE(idle.Connections(), 1);
    QCOMPARE(idle.PendingWaitMs(), 0);
    QCOMPARE(server.received(), QStringList{QStringLiteral("S1 STARTTLS")});
}

void tst_ImapIdle::waitsGrowToTheLimit()
{
    TImapIdle idle;
    TImapIdle::TWaits waits;
    waits.FirstMs = 40;
    waits.MaxMs = 160;
    waits.Jitter = 0;
    idle.SetWaits(waits);
    QSignalSpy reconnecting(&idle, &TImapIdle::Reconnecting);
    idle.Follow(imapAccount(TScriptServer::refusedPort()), QStringLiteral("pass"));
    QTRY_VERIFY_WITH_TIMEOUT(reconnecting.count() >= 5, 5000);
    QList<int> seen;
    for (int k = 0; k < 5; ++k) {
        seen.append(reconnecting.at(k).at(0).toInt());
    }
    QCOMPARE(seen, (QList<int>{40, 80, 160, 160, 160}));
    // Woken, or the network back: at once, and the waits begin again.
    idle.ReconnectNow();
    reconnecting.clear();
    QVERIFY(reconnecting.wait(5000));
    QCOMPARE(reconnecting.at(0).at(0).toInt(), 40);
    idle.Stop();
    QCOMPARE(idle.PendingWaitMs(), 0);
}

void tst_ImapIdle::renewal()
{
    TScriptServer server;
    server.dialogue(kGreeting, upToIdle(1, "+ idling"));
    // DONE ends the IDLE; a fresh one follows at once.
    server.expect("DONE").sendLine("I3 OK idle done").expect("I4 IDLE").sendLine("+ again");
    server.silent();
    QVERIFY(server.start());
    TImapIdle idle;
    TImapIdle::TWaits waits;
    waits.RenewMs = 300;
    idle.SetWaits(waits);
    QSignalSpy active(&idle, &TMailPush::ActiveChanged);
    idle.Follow(imapAccount(server.port()), QStringLiteral("pass"));
    QTRY_VERIFY_WITH_TIMEOUT(server.received().contains(QStringLiteral("I4 IDLE")), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(active.count(), 3, 5000);
    QVERIFY(idle.Active());
    QCOMPARE(idle.Connections(), 1);
    QCOMPARE(server.failures(), QStringList());
}

void tst_ImapIdle::wakeAfterSleep()
{
    TPrivateBus bus;
    if (!bus.Start()) {
        QSKIP(qPrintable(bus.Error()));
    }
    {
        QDBusConnection listener = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("listener"));
        QDBusConnection logind = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("logind"));
        QVERIFY(listener.isConnected() && logind.isConnected());
        QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        TWakeWatch watch(listener, false);
        QSignalSpy woke(&watch, &TWakeWatch::Woke);
        for (const bool sleeping : {true, false}) {
            QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                             QStringLiteral("org.freedesktop.login1.Manager"),
                                                             QStringLiteral("PrepareForSleep"));
            signal << sleeping;
            QVERIFY(logind.send(signal));
        }
        // Only the signal after the sleep counts; both arrive in the order sent.
        QVERIFY(woke.wait(5000));
        QCOMPARE(woke.count(), 1);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
}

void tst_ImapIdle::wakeReconnectsAtOnceAndAsksForCheck_data()
{
    QTest::addColumn<bool>("sleep");
    QTest::newRow("network back") << false;
    QTest::newRow("woke from sleep") << true;
}

void tst_ImapIdle::wakeReconnectsAtOnceAndAsksForCheck()
{
    QFETCH(bool, sleep);
    TPrivateBus bus;
    if (sleep && !bus.Start()) {
        QSKIP(qPrintable(bus.Error()));
    }
    TScriptServer server;
    server.dialogue(kGreeting, upToIdle(1, "+ idling"));
    server.silent();
    server.dialogue(kGreeting, upToIdle(4, "+ idling"));
    server.silent();
    QVERIFY(server.start());
    {
        QDBusConnection listener = sleep ? QDBusConnection::connectToBus(bus.Address(), QStringLiteral("listener"))
                                         : QDBusConnection(QStringLiteral("none"));
        QDBusConnection logind = sleep ? QDBusConnection::connectToBus(bus.Address(), QStringLiteral("logind"))
                                       : QDBusConnection(QStringLiteral("none"));
        if (sleep) {
            QVERIFY(listener.isConnected() && logind.isConnected());
            QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        }
        TWakeWatch watch(listener, false);
        // The usual waits: a reconnect after them would come too late for this test.
        TImapIdle idle;
        idle.SetWakeWatch(&watch);
        QSignalSpy news(&idle, &TMailPush::News);
        idle.Follow(imapAccount(server.port()), QStringLiteral("pass"));
        QTRY_VERIFY_WITH_TIMEOUT(idle.Active(), 5000);
        QCOMPARE(news.count(), 0);
        if (sleep) {
            for (const bool sleeping : {true, false}) {
                QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                                 QStringLiteral("org.freedesktop.login1.Manager"),
                                                                 QStringLiteral("PrepareForSleep"));
                signal << sleeping;
                QVERIFY(logind.send(signal));
            }
        } else {
            // Reachable all along says nothing; only a return does.
            watch.NetworkReachable(true);
            QCOMPARE(idle.Connections(), 1);
            watch.NetworkReachable(false);
            QCOMPARE(idle.Connections(), 1);
            watch.NetworkReachable(true);
        }
        // A fresh connection at once, and a check for what came while it was away.
        QVERIFY(news.wait(3000));
        QCOMPARE(news.count(), 1);
        QVERIFY(idle.Active());
        QCOMPARE(idle.Connections(), 2);
        QCOMPARE(server.failures(), QStringList());
    }
    if (sleep) {
        QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
        QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
    }
}

void tst_ImapIdle::literalLoginLeftToTheSchedule_data()
{
    QTest::addColumn<bool>("literalPlus");
    QTest::newRow("synchronising literal") << false;
    QTest::newRow("LITERAL+") << true;
}

void tst_ImapIdle::literalLoginLeftToTheSchedule()
{
    QFETCH(bool, literalPlus);
    // 8-bit bytes cannot be quoted: the password goes as a literal.
    const QByteArray password = "p\xc3\xa4";
    TScriptServer server;
    if (literalPlus) {
        server.sendLine("* OK [CAPABILITY IMAP4rev1 IDLE LITERAL+] ready");
        server.expect("L1 LOGIN \"user\" {3+}").expect(password).sendLine("L1 OK [CAPABILITY IMAP4rev1 IDLE] in");
        server.expect("E2 EXAMINE \"INBOX\"").sendLine("* 0 EXISTS\r\nE2 OK [READ-ONLY] done");
        server.expect("I3 IDLE").sendLine("+ idling");
    } else {
        server.sendLine("* OK [CAPABILITY IMAP4rev1 IDLE] ready");
    }
    server.silent();
    QVERIFY(server.start());
    TImapIdle idle;
    TImapIdle::TWaits waits;
    waits.FirstMs = 20;
    idle.SetWaits(waits);
    QSignalSpy unavailable(&idle, &TMailPush::Unavailable);
    const TAccount account = imapAccount(server.port());
    idle.Follow(account, QString::fromUtf8(password));
    if (literalPlus) {
        QTRY_VERIFY_WITH_TIMEOUT(idle.Active(), 5000);
        QCOMPARE(unavailable.count(), 0);
        QCOMPARE(server.failures(), QStringList());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(idle.Unsupported(), 5000);
    // Nothing sent: neither half a login nor the password ahead of a go-ahead.
    QTRY_VERIFY_WITH_TIMEOUT(server.waitForFinished(0), 5000);
    QCOMPARE(server.received(), QStringList());
    QCOMPARE(unavailable.count(), 1);
    QCOMPARE(unavailable.at(0).at(0).toString(), idle.Reason());
    QVERIFY2(idle.Reason().contains(TSessionTexts::PushNeedsLiteral()), qPrintable(idle.Reason()));
    // Left to the schedule: no reconnect, and the next good check opens nothing.
    QCOMPARE(idle.PendingWaitMs(), 0);
    idle.Follow(account, QString::fromUtf8(password));
    QCOMPARE(idle.Connections(), 1);
    QVERIFY(!idle.Active());
}

void tst_ImapIdle::folderGoesInModifiedUtf7()
{
    TScriptServer server;
    // Even where the server would take UTF-8, this connection enables nothing.
    server.dialogue("* OK [CAPABILITY IMAP4rev1 IDLE ENABLE UTF8=ACCEPT] ready",
                    {{"L1 LOGIN \"user\" \"pass\"", "L1 OK [CAPABILITY IMAP4rev1 IDLE ENABLE UTF8=ACCEPT] in"},
                     {"E2 EXAMINE \"&ZTZO9lMj-/&WDFUSg-\"", "* 0 EXISTS\r\nE2 OK [READ-ONLY] done"},
                     {"I3 IDLE", "+ idling"}});
    server.silent();
    QVERIFY(server.start());
    TImapIdle idle;
    TAccount account = imapAccount(server.port());
    account.Folder = QStringLiteral("收件匣/報告");
    idle.Follow(account, QStringLiteral("pass"));
    QTRY_VERIFY_WITH_TIMEOUT(idle.Active(), 5000);
    QCOMPARE(server.failures(), QStringList());
}

void tst_ImapIdle::encryptedWithPin_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("rightPin");
    QTest::newRow("TLS") << true << true;
    QTest::newRow("STARTTLS") << false << true;
    QTest::newRow("TLS, another pin") << true << false;
    QTest::newRow("STARTTLS, another pin") << false << false;
}

void tst_ImapIdle::encryptedWithPin()
{
    QFETCH(bool, tls);
    QFETCH(bool, rightPin);
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        QSKIP(qPrintable(why));
    }
    TTestCertificates pki;
    QString error;
    QVERIFY2(pki.Make(&error), qPrintable(error));
    TDovecot server;
    server.SetImap(true);
    // No login without encryption: a plaintext fallback could not log in.
    server.SetSsl(TDovecot::TSsl::Required, pki.Cert(QStringLiteral("selfsigned")),
                  pki.Key(QStringLiteral("selfsigned")));
    QVERIFY2(server.Start(&error), qPrintable(error));
    TAccount account = imapAccount(tls ? server.ImapsPort() : server.ImapPort(), server.User());
    account.Security = tls ? TAccount::TSecurityKind::Tls : TAccount::TSecurityKind::StartTls;
    account.CertSha256 = TTestCertificates::Fingerprint(rightPin ? pki.Cert(QStringLiteral("selfsigned")) : pki.Ca());
    TImapIdle idle;
    QSignalSpy unavailable(&idle, &TMailPush::Unavailable);
    idle.Follow(account, server.Password());
    if (rightPin) {
        QTRY_VERIFY_WITH_TIMEOUT(idle.Active(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(server.LogText().contains(QStringLiteral(", TLS")), 5000);
        QCOMPARE(unavailable.count(), 0);
        return;
    }
    QVERIFY(unavailable.wait(5000));
    QVERIFY2(idle.Reason().contains(TSessionTexts::PushTls()), qPrintable(idle.Reason()));
    QVERIFY(!idle.Active());
    QCOMPARE(idle.PendingWaitMs(), 0);
    QCOMPARE(idle.Connections(), 1);
    QVERIFY(!server.LogText().contains(QStringLiteral("Login: user=<mvuser>")));
}

void tst_ImapIdle::jitterSpreadsTheWaits()
{
    TImapIdle idle;
    TImapIdle::TWaits waits;
    waits.FirstMs = 100;
    waits.MaxMs = 100;
    waits.Jitter = 0.5;
    idle.SetWaits(waits);
    QSignalSpy reconnecting(&idle, &TImapIdle::Reconnecting);
    idle.Follow(imapAccount(TScriptServer::refusedPort()), QStringLiteral("pass"));
    QTRY_VERIFY_WITH_TIMEOUT(reconnecting.count() >= 6, 5000);
    idle.Stop();
    QSet<int> seen;
    for (const QList<QVariant>& wait : std::as_const(reconnecting)) {
        const int ms = wait.at(0).toInt();
        QVERIFY2(ms >= 50 && ms <= 150, qPrintable(QString::number(ms)));
        seen.insert(ms);
    }
    // Spread at random, so that clients that lost the same server do not return together.
    QVERIFY(seen.size() > 1);
}

void tst_ImapIdle::whatCountsAsNews()
{
    TScriptServer server;
    server.dialogue(kGreeting, upToIdle(1, "+ idling"));
    // A keepalive and a status line change nothing; the last three each change the folder.
    server.sendLine("* OK Still here").sendLine("* 2 RECENT").sendLine("* 3 EXPUNGE");
    server.sendLine("* 4 FETCH (FLAGS (\\Seen))").sendLine("* 5 EXISTS");
    // The end, so that the test knows every line before it was read.
    server.sendLine("* BYE bye").close();
    QVERIFY(server.start());
    TImapIdle idle;
    QSignalSpy news(&idle, &TMailPush::News);
    QSignalSpy reconnecting(&idle, &TImapIdle::Reconnecting);
    idle.Follow(imapAccount(server.port()), QStringLiteral("pass"));
    QVERIFY(reconnecting.wait(5000));
    QCOMPARE(news.count(), 3);
    QCOMPARE(server.failures(), QStringList());
    idle.Stop();
}

QTEST_GUILESS_MAIN(tst_ImapIdle)
#include "tst_ImapIdle.moc"
