#include "CheckPass.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TImapIdle.h"
#include "mailbox/TMailPush.h"
#include "settings/TIniFile.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TFakeMailHost.h"
#include "widgets/TColorStringGrid.h"

#include <QLabel>
#include <QSignalSpy>
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

QTEST_MAIN(tst_FormMailListPush)
#include "tst_FormMailListPush.moc"
