#include "app/TCheckPass.h"
#include "app/TFormMain.h"
#include "dialup/TRAS.h"
#include "dialup/TRasApi.h"
#include "mailbox/TFormMailList.h"
#include "net/TSockets.h"
#include "settings/TIniFile.h"
#include "status/TFormStatus.h"
#include "testsupport/TScriptServer.h"
#include "widgets/TModal.h"

#include "FakeRasControl.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

// Check passes around dial-up, with the simulated remote-access library in place.
class tst_DialPass : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void passDialsChecksAndHangsUp();
    void connectedOnlyKeepsScheduledChecksFromDialling();
    void buttonMadeConnectionSurvivesAPass();
    void withoutTheLibraryDialUpStaysOff();
    void exitWhileDialling_data();
    void exitWhileDialling();

private:
    void start(const QString& extra = QString(), int redialInterval = 0);

    QTemporaryDir* m_dir = nullptr;
    TScriptServer* m_server = nullptr;
    TFormMain* m_main = nullptr;
    QStringList m_messages;
};

void tst_DialPass::init()
{
    m_dir = new QTemporaryDir;
    m_server = new TScriptServer;
    m_server->serveMailbox({QByteArray("Message-ID: <1@x>\nSubject: hi\n\nbody\n")});
    m_messages.clear();
    TModal::SetHook([this](QDialog* d) {
        m_messages << d->windowTitle();
        d->accept();
    });
    FakeRas_Reset();
    FakeRas_AddEntry("ISP");
    TRasApi::SetLibraryName(QStringLiteral(MV_FAKE_RAS_PATH));
}

void tst_DialPass::cleanup()
{
    delete m_main;
    m_main = nullptr;
    delete m_server;
    TModal::SetHook({});
    delete m_dir;
}

void tst_DialPass::start(const QString& extra, int redialInterval)
{
    const QString ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    QFile f(ini);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("[Option]\nStartupCheck=0\n[DialUp]\nEnableDiapUp=1\nRedialInterval=%2\nRedial=1\n%1\n"
                           "[Server]\n0=M0\n[M0]\nHost=127.0.0.1\nLogin=user\nPort=%3\n")
                .arg(extra)
                .arg(redialInterval)
                .arg(m_server->port())
                .toUtf8());
    f.close();
    m_main = new TFormMain(ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
    TFormMailList* w = m_main->MailboxWindows().first();
    w->SetPassword(QStringLiteral("pass"));
}

void tst_DialPass::passDialsChecksAndHangsUp()
{
    FakeRas_SetDialMode(FakeRasConnects, 2);
    start();
    QVERIFY(m_main->State().DialUpEnabled);
    QCOMPARE(m_main->RAS->EntryName, QStringLiteral("ISP"));
    m_main->MenuCheck->trigger();
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char(','))));
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("1"));
    QCOMPARE(FakeRas_HangUpCount(), 1);
    QCOMPARE(FakeRas_ConnectionCount(), 0);
    QVERIFY(!m_main->State().DialedByProgram);
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Ready"));
}

void tst_DialPass::connectedOnlyKeepsScheduledChecksFromDialling()
{
    FakeRas_SetDialMode(FakeRasConnects, 1);
    start(QStringLiteral("ConnectedOnly=1"));
    FormStatus->SetCell(1, QStringLiteral("7"));
    m_main->CheckPass().Run(TOrigin::Timer);
    QCOMPARE(FakeRas_DialCount(), 0);
    QCOMPARE(m_server->connections(), 0);
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("7"));
    // The check command dials all the same.
    m_main->MenuCheck->trigger();
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("1"));
}

void tst_DialPass::buttonMadeConnectionSurvivesAPass()
{
    FakeRas_SetDialMode(FakeRasConnects, 1);
    start();
    m_main->SpeedButtonDial->click();
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(FakeRas_ConnectionCount(), 1);
    QVERIFY(!m_main->State().DialedByProgram);
    m_main->MenuCheck->trigger();
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(FakeRas_HangUpCount(), 0);
    QCOMPARE(FakeRas_ConnectionCount(), 1);
    // Pressed again while connected, the button hangs up.
    m_main->SpeedButtonDial->click();
    QCOMPARE(FakeRas_ConnectionCount(), 0);
}

void tst_DialPass::withoutTheLibraryDialUpStaysOff()
{
    TRasApi::SetLibraryName(m_dir->filePath(QStringLiteral("librasapi32-missing.so")));
    start();
    QVERIFY(!m_main->State().DialUpEnabled);
    m_main->SpeedButtonDial->click();
    m_main->MenuCheck->trigger();
    QCOMPARE(FakeRas_CallCount(), 0);
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("1"));
    QVERIFY(m_messages.isEmpty());
}

void tst_DialPass::exitWhileDialling_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("redialInterval");
    QTest::newRow("dial never connects") << int(FakeRasHangs) << 0;
    QTest::newRow("pause before the redial") << int(FakeRasNoAnswer) << 30;
}

// Exit while a check waits on the dial-up connection: the program ends at once, hangs up
// what it dialled, reports nothing and dials no more.
void tst_DialPass::exitWhileDialling()
{
    QFETCH(int, mode);
    QFETCH(int, redialInterval);
    QApplication::setQuitOnLastWindowClosed(false);
    FakeRas_SetDialMode(mode, 1);
    start(QString(), redialInterval);
    QElapsedTimer sinceExit;
    bool checkReturned = false;
    QTimer::singleShot(0, m_main, [&] {
        QTimer::singleShot(300, m_main, [&] {
            sinceExit.start();
            m_main->MenuExit->trigger();
        });
        m_main->MenuCheck->trigger();
        checkReturned = true;
    });
    // Keeps a broken exit from hanging the test.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(7); });
    guard.start(10000);
    const int rc = QApplication::exec();
    const qint64 elapsed = sinceExit.elapsed();
    guard.stop();
    QCOMPARE(rc, 0);
    QVERIFY(checkReturned);
    QVERIFY2(sinceExit.isValid() && elapsed < 1000, qPrintable(QString::number(elapsed)));
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char(','))));
    QCOMPARE(FakeRas_DialCount(), 1);
    QCOMPARE(FakeRas_ConnectionCount(), 0);
    QCOMPARE(m_server->connections(), 0);
    QVERIFY(!m_main->isVisible());
}

QTEST_MAIN(tst_DialPass)
#include "tst_DialPass.moc"
