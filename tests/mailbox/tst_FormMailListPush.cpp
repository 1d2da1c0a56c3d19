#include "CheckPass.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TImapIdle.h"
#include "mailbox/TMailPush.h"
#include "mailbox/TSessionTexts.h"
#include "mailbox/TWakeWatch.h"
#include "settings/TIniFile.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TFakeMailHost.h"
#include "testsupport/TPrivateBus.h"
#include "widgets/TColorStringGrid.h"

#include <QDBusMessage>
#include <QLabel>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// A mailbox window of an IMAP mailbox that waits for its server's news: mail delivered
// while it waits shows without a check key pressed.
class tst_FormMailListPush : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void deliveredMailShowsWithinTwoSeconds();
    void kickedConnectionComesBackAndChecks();
    void noPushOverDialUpOrWhenOff_data();
    void noPushOverDialUpOrWhenOff();
    void wakeReconnectsAndChecks_data();
    void wakeReconnectsAndChecks();
    void folderWithChineseName();
    void serverWithoutIdleSaysWhy();
    void newsWhileBusyWaitsAndComesOnce();

private:
    QLabel* indicator() const { return m_form->findChild<QLabel*>(QStringLiteral("PushIndicator")); }

    std::unique_ptr<TDovecot> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TFakeMailHost> m_host;
    std::unique_ptr<TFormMailList> m_form;
};

void tst_FormMailListPush::init()
{
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        QSKIP(qPrintable(why));
    }
    m_server = std::make_unique<TDovecot>();
    m_server->SetImap(true);
    QString error;
    QVERIFY2(m_server->Start(&error), qPrintable(error));
    m_dir = std::make_unique<QTemporaryDir>();
    const QString path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    TIniFile ini(path);
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Login"), m_server->User());
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Password"), m_server->Password());
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Protocol"), QStringLiteral("IMAP"));
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Port"), QString::number(m_server->ImapPort()));
    ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("10"));
    m_host = std::make_unique<TFakeMailHost>();
    m_host->Path = path;
    m_form = std::make_unique<TFormMailList>(m_host.get());
    m_form->setWindowTitle(QStringLiteral("Box"));
}

void tst_FormMailListPush::cleanup()
{
    m_form.reset();
    m_host.reset();
    m_server.reset();
}

void tst_FormMailListPush::deliveredMailShowsWithinTwoSeconds()
{
    m_server->AddMessage(TDovecot::MakeMessage("<one@test>", "Alice <a@test>", "First"));
    QVERIFY(RunCheck(m_form.get(), m_host.get()));
    QCOMPARE(m_form->MessageRows(), 1);
    QVERIFY(m_form->Push());
    QTRY_VERIFY_WITH_TIMEOUT(m_form->PushActive(), 5000);
    QVERIFY(indicator() && !indicator()->isHidden());
    QCOMPARE(m_host->Announcements, 0);

    QElapsedTimer clock;
    clock.start();
    m_server->AddMessage(TDovecot::MakeMessage("<two@test>", "Bob <b@test>", "Second"));
    QTRY_COMPARE_WITH_TIMEOUT(m_form->MessageRows(), 2, 2000);
    qInfo("row shown after %lld ms", clock.elapsed());
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 2), QStringLiteral("Second"));
    QCOMPARE(m_form->Marker(2), QStringLiteral("*"));
    // Announced once, as a scheduled check would; the counters hold this mailbox once.
    QTRY_COMPARE(m_host->Announcements, 1);
    QCOMPARE(m_host->NewMailFoundCount, 2);
    QCOMPARE(m_host->Counts[1], 2);
    QCOMPARE(m_host->Counts[2], 2);
    QVERIFY(m_form->PushActive());
}

void tst_FormMailListPush::kickedConnectionComesBackAndChecks()
{
    m_server->AddMessage(TDovecot::MakeMessage("<one@test>", "Alice <a@test>", "First"));
    auto* idle = qobject_cast<TImapIdle*>(m_form->Push());
    QVERIFY(idle);
    TImapIdle::TWaits waits;
    waits.FirstMs = 50;
    idle->SetWaits(waits);
    QVERIFY(RunCheck(m_form.get(), m_host.get()));
    QTRY_VERIFY_WITH_TIMEOUT(m_form->PushActive(), 5000);
    const int checks = int(m_host->Leds.count(qMakePair(QStringLiteral("Green"), QStringLiteral("Ready"))));
    QVERIFY(m_server->Kick());
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->PushActive(), 5000);
    // Back, and checked once for what may have come meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(m_form->PushActive(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(int(m_host->Leds.count(qMakePair(QStringLiteral("Green"), QStringLiteral("Ready")))),
                              checks + 1, 5000);
    QCOMPARE(m_form->MessageRows(), 1);
    QCOMPARE(m_host->Announcements, 0);
}

void tst_FormMailListPush::noPushOverDialUpOrWhenOff_data()
{
    QTest::addColumn<bool>("dialUp");
    QTest::addColumn<QString>("push");
    QTest::newRow("dial-up") << true << "1";
    QTest::newRow("Push=0") << false << "0";
}

void tst_FormMailListPush::noPushOverDialUpOrWhenOff()
{
    QFETCH(bool, dialUp);
    QFETCH(QString, push);
    m_host->DialUp = dialUp;
    m_host->Active = 1;
    TIniFile(m_host->Path).WriteString(QStringLiteral("Box"), QStringLiteral("Push"), push);
    m_server->AddMessage(TDovecot::MakeMessage("<one@test>", "Alice <a@test>", "First"));
    QSignalSpy active(m_form->Push(), &TMailPush::ActiveChanged);
    QVERIFY(RunCheck(m_form.get(), m_host.get()));
    QCOMPARE(m_form->MessageRows(), 1);
    // Follow decides at once: no connection is opened at all.
    auto* idle = qobject_cast<TImapIdle*>(m_form->Push());
    QVERIFY(idle);
    QCOMPARE(idle->Connections(), 0);
    QVERIFY(!m_form->PushActive());
    QCOMPARE(active.count(), 0);
    QVERIFY(indicator()->isHidden());
}

void tst_FormMailListPush::wakeReconnectsAndChecks_data()
{
    QTest::addColumn<bool>("sleep");
    QTest::newRow("network back") << false;
    QTest::newRow("woke from sleep") << true;
}

void tst_FormMailListPush::wakeReconnectsAndChecks()
{
    QFETCH(bool, sleep);
    TPrivateBus bus;
    if (sleep && !bus.Start()) {
        QSKIP(qPrintable(bus.Error()));
    }
    const QString listenerName = QStringLiteral("listener");
    const QString logindName = QStringLiteral("logind");
    QDBusConnection listener =
        sleep ? QDBusConnection::connectToBus(bus.Address(), listenerName) : QDBusConnection(QStringLiteral("none"));
    QDBusConnection logind =
        sleep ? QDBusConnection::connectToBus(bus.Address(), logindName) : QDBusConnection(QStringLiteral("none"));
    if (sleep) {
        QVERIFY(listener.isConnected() && logind.isConnected());
        QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    }
    auto watch = std::make_unique<TWakeWatch>(listener, false);
    auto* idle = qobject_cast<TImapIdle*>(m_form->Push());
    QVERIFY(idle);
    idle->SetWakeWatch(watch.get());

    m_server->AddMessage(TDovecot::MakeMessage("<one@test>", "Alice <a@test>", "First"));
    QVERIFY(RunCheck(m_form.get(), m_host.get()));
    QTRY_VERIFY_WITH_TIMEOUT(m_form->PushActive(), 5000);
    const auto ready = qMakePair(QStringLiteral("Green"), QStringLiteral("Ready"));
    const int checks = int(m_host->Leds.count(ready));
    if (sleep) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << false;
        QVERIFY(logind.send(signal));
    } else {
        watch->NetworkReachable(false);
        watch->NetworkReachable(true);
    }
    // At once (the growing waits begin at 5 s), and checked once.
    QTRY_COMPARE_WITH_TIMEOUT(idle->Connections(), 2, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(int(m_host->Leds.count(ready)), checks + 1, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(m_form->PushActive(), 3000);
    QCOMPARE(m_form->MessageRows(), 1);
    QCOMPARE(m_host->Announcements, 0);
    QCOMPARE(idle->Connections(), 2);

    watch.reset();
    if (sleep) {
        listener = QDBusConnection(QString());
        logind = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(listenerName);
        QDBusConnection::disconnectFromBus(logindName);
    }
}

void tst_FormMailListPush::folderWithChineseName()
{
    const QString folder = QStringLiteral("收件匣/報告");
    QVERIFY(m_server->CreateFolder(folder));
    TIniFile(m_host->Path).WriteString(QStringLiteral("Box"), QStringLiteral("Folder"), folder);
    QVERIFY(m_server->AddMessageTo(folder, TDovecot::MakeMessage("<one@test>", "Alice <a@test>", "報告一")));
    m_server->AddMessage(TDovecot::MakeMessage("<inbox@test>", "Carol <c@test>", "Not here"));
    QVERIFY(RunCheck(m_form.get(), m_host.get()));
    QCOMPARE(m_form->MessageRows(), 1);
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 1), QStringLiteral("報告一"));
    QTRY_VERIFY_WITH_TIMEOUT(m_form->PushActive(), 5000);

    // The waiting connection watches the same folder: mail stored there shows by itself.
    QVERIFY(m_server->AddMessageTo(folder, TDovecot::MakeMessage("<two@test>", "Bob <b@test>", "報告二")));
    QTRY_COMPARE_WITH_TIMEOUT(m_form->MessageRows(), 2, 2000);
    QCOMPARE(m_form->ColorStringGrid->Cells(5, 2), QStringLiteral("報告二"));
    QCOMPARE(m_form->Marker(2), QStringLiteral("*"));
    QTRY_COMPARE(m_host->Announcements, 1);
}

void tst_FormMailListPush::serverWithoutIdleSaysWhy()
{
    // The same server, listing no IDLE after login.
    m_server = std::make_unique<TDovecot>();
    m_server->SetImap(true);
    m_server->SetImapCapability(QStringLiteral("IMAP4rev1 LITERAL+ SASL-IR ID ENABLE UIDPLUS"));
    QString error;
    QVERIFY2(m_server->Start(&error), qPrintable(error));
    TIniFile(m_host->Path)
        .WriteString(QStringLiteral("Box"), QStringLiteral("Port"), QString::number(m_server->ImapPort()));
    m_server->AddMessage(TDovecot::MakeMessage("<one@test>", "Alice <a@test>", "First"));
    QSignalSpy unavailable(m_form->Push(), &TMailPush::Unavailable);
    QVERIFY(RunCheck(m_form.get(), m_host.get()));
    QCOMPARE(m_form->MessageRows(), 1);
    QVERIFY(unavailable.wait(5000));
    QVERIFY(!m_form->PushActive());
    QVERIFY(indicator()->isHidden());
    const QString shown = m_form->StatusBar->currentMessage();
    QVERIFY2(shown.contains(TSessionTexts::PushNoIdle()), qPrintable(shown));
}

void tst_FormMailListPush::newsWhileBusyWaitsAndComesOnce()
{
    m_server->AddMessage(TDovecot::MakeMessage("<one@test>", "Alice <a@test>", "First"));
    QVERIFY(RunCheck(m_form.get(), m_host.get()));
    QTRY_VERIFY_WITH_TIMEOUT(m_form->PushActive(), 5000);
    const auto ready = qMakePair(QStringLiteral("Green"), QStringLiteral("Ready"));
    const int checks = int(m_host->Leds.count(ready));
    QSignalSpy news(m_form->Push(), &TMailPush::News);
    // Another mailbox's session holds the program: news waits for it.
    m_host->BusyOverride = true;
    m_server->AddMessage(TDovecot::MakeMessage("<two@test>", "Bob <b@test>", "Second"));
    QVERIFY(news.wait(2000));
    m_server->AddMessage(TDovecot::MakeMessage("<three@test>", "Carol <c@test>", "Third"));
    QVERIFY(news.wait(2000));
    QCOMPARE(m_form->MessageRows(), 1);
    QCOMPARE(int(m_host->Leds.count(ready)), checks);
    m_host->BusyOverride = false;
    // One check for both, announced once.
    QTRY_COMPARE_WITH_TIMEOUT(m_form->MessageRows(), 3, 3000);
    QTRY_COMPARE(m_host->Announcements, 1);
    QCOMPARE(int(m_host->Leds.count(ready)), checks + 1);
}

QTEST_MAIN(tst_FormMailListPush)
#include "tst_FormMailListPush.moc"
