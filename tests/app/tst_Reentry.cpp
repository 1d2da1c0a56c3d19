#include "app/TFormMain.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TMailSession.h"
#include "net/TSockets.h"
#include "settings/TIniFile.h"
#include "status/TFormStatus.h"
#include "testsupport/TScriptServer.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Commands that arrive through the event loop while a check waits on the network.
class tst_Reentry : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void secondCheckDuringWaitDoesNothing();
    void deletingTheMailboxBeingChecked();
    void closingTheMainWindowDuringACheck();

private:
    TFormMain* start();

    QTemporaryDir* m_dir = nullptr;
    TFormMain* m_main = nullptr;
    TScriptServer* m_server = nullptr;
    QList<TSockets*> m_sockets;
};

void tst_Reentry::init()
{
    m_dir = new QTemporaryDir;
    m_server = new TScriptServer;
    // Greets, takes the login, then never answers STAT.
    m_server->dialogue("+OK ready", {{"CAPA", "-ERR"}, {"USER user", "+OK"}, {"PASS pass", "+OK"}}).silent();
    TModal::SetHook([](QDialog* d) { d->accept(); });
}

void tst_Reentry::cleanup()
{
    delete m_main;
    m_main = nullptr;
    delete m_server;
    TMailSession::SetSocketsHook({});
    TModal::SetHook({});
    delete m_dir;
}

TFormMain* tst_Reentry::start()
{
    const QString ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    TIniFile f(ini);
    f.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    f.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("20"));
    f.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("M0"));
    f.WriteString(QStringLiteral("Server"), QStringLiteral("1"), QStringLiteral("M1"));
    for (const char* name : {"M0", "M1"}) {
        f.WriteString(QLatin1String(name), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
        f.WriteString(QLatin1String(name), QStringLiteral("Login"), QStringLiteral("user"));
    }
    f.WriteString(QStringLiteral("M0"), QStringLiteral("Port"), QString::number(m_server->port()));
    // The second mailbox would be refused at once if it were ever reached.
    f.WriteString(QStringLiteral("M1"), QStringLiteral("Port"), QString::number(TScriptServer::refusedPort()));
    // The connections beneath the windows' sessions, in the order the windows are made.
    m_sockets.clear();
    TMailSession::SetSocketsHook([this](TSockets& plain) { m_sockets << &plain; });
    m_main = new TFormMain(ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
    for (TFormMailList* w : m_main->MailboxWindows()) {
        w->SetPassword(QStringLiteral("pass"));
    }
    return m_main;
}

void tst_Reentry::secondCheckDuringWaitDoesNothing()
{
    start();
    bool ran = false;
    QString status;
    QTimer::singleShot(300, m_main, [&] {
        ran = true;
        QVERIFY(m_main->Busy());
        m_main->MenuCheck->trigger();
        status = FormStatus->LabelStatus->text();
        // End the wait by deleting nothing: cut the connection.
        m_sockets.at(0)->Disconnect();
    });
    m_main->MenuCheck->trigger();
    QVERIFY(ran);
    QCOMPARE(status, QStringLiteral("Busy"));
    QCOMPARE(m_server->connections(), 1);
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Error"));
}

void tst_Reentry::deletingTheMailboxBeingChecked()
{
    start();
    QPointer<TFormMailList> victim = m_main->MailboxWindows().at(0);
    QTimer::singleShot(300, m_main, [&] { m_main->DestroyMailbox(QStringLiteral("M0")); });
    m_main->MenuCheck->trigger();
    QTRY_VERIFY(victim.isNull());
    QCOMPARE(m_main->MailboxWindows().size(), 1);
    QVERIFY(!m_main->Busy());
    // The program goes on: a new check runs without the deleted mailbox.
    m_main->MenuCheck->trigger();
    QVERIFY(!m_main->Busy());
}

void tst_Reentry::closingTheMainWindowDuringACheck()
{
    start();
    QTimer::singleShot(300, m_main, [&] { m_main->close(); });
    QElapsedTimer clock;
    clock.start();
    m_main->MenuCheck->trigger();
    // The waiting check ends with the close, not at its 20-second time-out.
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!m_main->isVisible());
    TIniFile ini(m_dir->filePath(QStringLiteral("Mailvane.ini")));
    QVERIFY(!ini.ReadString(QStringLiteral("Windows"), QStringLiteral("MainWidth"), QString()).isEmpty());
    delete m_main;
    m_main = nullptr;
}

QTEST_MAIN(tst_Reentry)
#include "tst_Reentry.moc"
