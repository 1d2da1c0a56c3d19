#include "app/TFormMain.h"
#include "mailbox/TConnectionTest.h"
#include "mailbox/TFormMailList.h"
#include "options/TFormOption.h"
#include "settings/TIniFile.h"
#include "settings/TVarnEncryption.h"
#include "status/TFormStatus.h"
#include "testsupport/TMemoryPasswordStore.h"
#include "testsupport/TScriptServer.h"
#include "viewer/TFormViewer.h"
#include "welcome/TDemoMailbox.h"
#include "welcome/TDemoServer.h"
#include "welcome/TFormAddMailbox.h"
#include "welcome/TFormWelcome.h"
#include "welcome/TNewMailbox.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TModal.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

struct Settings {
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("Mailvane.ini"));
    QString read(const QString& section, const QString& key) const
    {
        return TIniFile(ini).ReadString(section, key, QStringLiteral("<none>"));
    }
};

// Runs the welcome window of main with body deciding in it; other windows are recorded and closed.
struct WelcomeDriver {
    int shown = 0;
    bool demoButton = false;
    bool removeButton = false;
    QStringList others;

    void install(const std::function<void(TFormWelcome*)>& body)
    {
        TModal::SetHook([this, body](QDialog* d) {
            if (auto* w = qobject_cast<TFormWelcome*>(d)) {
                ++shown;
                demoButton = w->ButtonDemo->isVisibleTo(w);
                removeButton = w->ButtonRemoveDemo->isVisibleTo(w);
                body(w);
            } else {
                QString text = d->windowTitle();
                for (QLabel* l : d->findChildren<QLabel*>()) {
                    text += QLatin1Char('|') + l->text();
                }
                others << text;
                d->accept();
            }
        });
    }
    ~WelcomeDriver() { TModal::SetHook({}); }
};

std::unique_ptr<TFormMain> startMain(const QString& ini)
{
    auto main = std::make_unique<TFormMain>(ini);
    main->show();
    main->CreateStatusWindow();
    main->Startings();
    return main;
}

TFormMailList* window(TFormMain& main, const QString& caption)
{
    for (TFormMailList* w : main.MailboxWindows()) {
        if (w->windowTitle() == caption) {
            return w;
        }
    }
    return nullptr;
}

bool refused(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    return !s.waitForConnected(5000) && s.error() == QAbstractSocket::ConnectionRefusedError;
}

} // namespace

// The main window's first run: the welcome window at a start without mailboxes, the
// add-my-mailbox form's mailbox joining the program, and the demo mailbox.
class tst_FirstRun : public QObject {
    Q_OBJECT
private slots:
    void shownAtStartWithEmptySettings();
    void shownOnlyWithoutOwnMailbox_data();
    void shownOnlyWithoutOwnMailbox();
    void checkBoxKeepsItAway();
    void demoMailboxChecksListsAndDeletes();
    void demoComesBackOnANewPortAtTheNextStart();
    void staleDemoPortIsNotChecked();
    void removingTheDemoStopsItsServer_data();
    void removingTheDemoStopsItsServer();
    void userKeywordRulesAreLeftAlone();
    void addedMailboxOpensAndIsCounted();
    void encryptedMailboxIsNeverCheckedInPlainText();
};

void tst_FirstRun::shownAtStartWithEmptySettings()
{
    Settings s;
    WelcomeDriver driver;
    driver.install([](TFormWelcome* w) {
        w->ButtonClose->click();
        // Ending from here proves the window came up from inside the running program.
        QTimer::singleShot(0, [] { FormMain->MenuExit->trigger(); });
    });
    TFormMain main(s.ini);
    main.show();
    main.CreateStatusWindow();
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(7); });
    guard.start(10000);
    QCOMPARE(main.Run(), 0);
    QCOMPARE(driver.shown, 1);
    QVERIFY(driver.demoButton);
    QVERIFY(!driver.removeButton);
    QVERIFY2(driver.others.isEmpty(), qPrintable(driver.others.join(QLatin1Char('\n'))));
}

void tst_FirstRun::shownOnlyWithoutOwnMailbox_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("shown");
    QTest::newRow("empty file") << "" << true;
    QTest::newRow("one mailbox") << "mailbox" << false;
    QTest::newRow("mailbox in a later place") << "later" << false;
    QTest::newRow("turned off") << "off" << false;
    QTest::newRow("only the demo") << "demo" << true;
    QTest::newRow("demo and a mailbox") << "demo+mailbox" << false;
}

void tst_FirstRun::shownOnlyWithoutOwnMailbox()
{
    QFETCH(QString, setup);
    QFETCH(bool, shown);
    Settings s;
    {
        TIniFile ini(s.ini);
        ini.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
        if (setup == QLatin1String("off")) {
            ini.WriteString(QStringLiteral("Option"), QStringLiteral("ShowWelcome"), QStringLiteral("0"));
        }
    }
    if (setup.startsWith(QLatin1String("demo"))) {
        TVarnEncryption e;
        e.Key = QStringLiteral("Q-Lumen");
        bool ruleAdded = false;
        QCOMPARE(TDemoMailbox::Create(s.ini, e, 1, ruleAdded), QString());
    }
    if (setup.contains(QLatin1String("mailbox")) || setup == QLatin1String("later")) {
        TIniFile ini(s.ini);
        ini.WriteString(QStringLiteral("Server"),
                        setup == QLatin1String("later") ? QStringLiteral("7") : QStringLiteral("1"),
                        QStringLiteral("Home"));
        ini.WriteString(QStringLiteral("Home"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    }
    auto main = startMain(s.ini);
    WelcomeDriver driver;
    driver.install([](TFormWelcome* w) { w->ButtonClose->click(); });
    main->Welcome();
    QCOMPARE(driver.shown, shown ? 1 : 0);
    if (shown) {
        // With the demo listed, its button removes it instead.
        QCOMPARE(driver.removeButton, setup == QLatin1String("demo"));
        QCOMPARE(driver.demoButton, setup != QLatin1String("demo"));
    }
}

void tst_FirstRun::checkBoxKeepsItAway()
{
    Settings s;
    TIniFile(s.ini).WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    auto main = startMain(s.ini);
    WelcomeDriver driver;
    driver.install([](TFormWelcome* w) { w->ButtonClose->click(); });
    main->Welcome();
    // Closing leaves it on.
    QCOMPARE(s.read(QStringLiteral("Option"), QStringLiteral("ShowWelcome")), QStringLiteral("<none>"));
    main->Welcome();
    QCOMPARE(driver.shown, 2);
    driver.install([](TFormWelcome* w) {
        w->CheckBoxShowWelcome->setChecked(false);
        w->ButtonClose->click();
    });
    main->Welcome();
    QCOMPARE(s.read(QStringLiteral("Option"), QStringLiteral("ShowWelcome")), QStringLiteral("0"));
    main->Welcome();
    QCOMPARE(driver.shown, 3);
}

void tst_FirstRun::demoMailboxChecksListsAndDeletes()
{
    Settings s;
    TIniFile(s.ini).WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    TMemoryPasswordStore keyring;
    auto main = startMain(s.ini);
    main->SetDesktop(&keyring, nullptr);
    WelcomeDriver driver;
    driver.install([](TFormWelcome* w) { w->ButtonDemo->click(); });
    main->Welcome();
    QVERIFY2(driver.others.isEmpty(), qPrintable(driver.others.join(QLatin1Char('\n'))));

    // A normal mailbox entry on the demo server's loopback port.
    TDemoServer* server = main->DemoServer();
    QVERIFY(server && server->Listening());
    const QString name = TDemoMailbox::Name();
    QCOMPARE(s.read(QStringLiteral("Server"), QStringLiteral("0")), name);
    QCOMPARE(s.read(name, QStringLiteral("Host")), QStringLiteral("127.0.0.1"));
    QCOMPARE(s.read(name, QStringLiteral("Port")), QString::number(server->Port()));
    // Plaintext is the default: the options dialog's writing leaves the key out.
    QCOMPARE(s.read(name, QStringLiteral("Security")), QStringLiteral("<none>"));
    QCOMPARE(FormStatus->Cell(0), QStringLiteral("1"));

    // Checked at once: every demo message listed, all new.
    TFormMailList* demo = window(*main, name);
    QVERIFY(demo);
    const int count = int(TDemoServer::ShippedMessages().size());
    QCOMPARE(demo->MessageRows(), count);
    QCOMPARE(FormStatus->Cell(1), QString::number(count));
    QCOMPARE(FormStatus->Cell(2), QString::number(count));
    int lunch = 0;
    int urgent = 0;
    for (int row = 1; row <= count; ++row) {
        QCOMPARE(demo->RowId(row),
                 QByteArray("<demo-") + QByteArray::number(row).rightJustified(2, '0') + "@mailvane.invalid>");
        QCOMPARE(demo->Marker(row), QStringLiteral("*"));
        QVERIFY(!demo->ColorStringGrid->Cells(5, row).isEmpty());
        QVERIFY(!demo->ColorStringGrid->Cells(4, row).isEmpty());
        if (demo->ColorStringGrid->Cells(5, row) == QLatin1String("Lunch on Friday?")) {
            lunch = row;
        }
        if (demo->ColorStringGrid->Cells(5, row).startsWith(QLatin1String("URGENT"))) {
            urgent = row;
        }
    }
    QVERIFY(lunch > 0);
    QVERIFY(urgent > 0);

    // Senders and subjects are shown decoded, the multipart message is readable and lists its
    // attachment by its decoded name.
    int multipart = 0;
    for (int row = 1; row <= count; ++row) {
        QVERIFY2(!demo->ColorStringGrid->Cells(4, row).contains(QLatin1String("=?")),
                 qPrintable(demo->ColorStringGrid->Cells(4, row)));
        QVERIFY2(!demo->ColorStringGrid->Cells(5, row).contains(QLatin1String("=?")),
                 qPrintable(demo->ColorStringGrid->Cells(5, row)));
        if (demo->ColorStringGrid->Cells(5, row) == QStringLiteral("附件範例：會議紀錄")) {
            multipart = row;
        }
    }
    QVERIFY(multipart > 0);
    QCOMPARE(demo->ColorStringGrid->Cells(4, multipart), QStringLiteral("王大同 <wang@mailvane.invalid>"));
    demo->ColorStringGrid->SetRow(multipart);
    demo->View(TOrigin::User);
    const QList<TFormViewer*> viewers = main->findChildren<TFormViewer*>();
    QCOMPARE(viewers.size(), 1);
    const QString shown = viewers.first()->Memo->toPlainText();
    QVERIFY2(shown.contains(QStringLiteral("會議紀錄在附件裡，請查收。")), qPrintable(shown));
    QVERIFY2(!shown.contains(QLatin1String("boundary")) && !shown.contains(QLatin1String("5ZCE5L2N")),
             qPrintable(shown));
    QCOMPARE(viewers.first()->ListAttachments->count(), 1);
    QVERIFY2(viewers.first()->ListAttachments->item(0)->text().contains(QStringLiteral("會議紀錄.txt")),
             qPrintable(viewers.first()->ListAttachments->item(0)->text()));
    QCOMPARE(demo->Marker(multipart), QString());
    viewers.first()->close();
    QCOMPARE(FormStatus->Cell(2), QString::number(count - 1));

    // With no rule of the user's own, the demo's keyword rule colours its message red.
    QCOMPARE(s.read(QStringLiteral("Filter"), QStringLiteral("HighLight1")), TDemoMailbox::KeywordRule());
    TCellPaint paint;
    demo->ColorStringGridGetCellColor(demo->ColorStringGrid, urgent, 5, QStyle::State_None, paint);
    QCOMPARE(paint.FontColor, QColor(255, 0, 0));
    TCellPaint plain;
    plain.FontColor = Qt::black;
    demo->ColorStringGridGetCellColor(demo->ColorStringGrid, lunch, 5, QStyle::State_None, plain);
    QCOMPARE(plain.FontColor, QColor(Qt::black));

    // A marked message is deleted at the next check and stays gone for the run.
    demo->MarkDelete(lunch);
    QCOMPARE(demo->Marker(lunch), QStringLiteral("x"));
    main->MenuCheck->trigger();
    QVERIFY2(driver.others.isEmpty(), qPrintable(driver.others.join(QLatin1Char('\n'))));
    QCOMPARE(demo->MessageRows(), count - 1);
    QCOMPARE(server->Messages().size(), count - 1);
    for (int row = 1; row < count; ++row) {
        QVERIFY(demo->ColorStringGrid->Cells(5, row) != QLatin1String("Lunch on Friday?"));
    }
    // The rest are still unread, so still new (the lunch message went, the viewed one is seen).
    QCOMPARE(FormStatus->Cell(2), QString::number(count - 2));

    // Through all three sessions the published password stayed in the file: a keyring
    // without a default collection would otherwise ask for a new keyring's password first.
    QCOMPARE(keyring.Calls, 0);
    QVERIFY(s.read(name, QStringLiteral("Password")) != QLatin1String("<none>"));
}

void tst_FirstRun::demoComesBackOnANewPortAtTheNextStart()
{
    Settings s;
    {
        TIniFile(s.ini).WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
        TVarnEncryption e;
        e.Key = QStringLiteral("Q-Lumen");
        bool ruleAdded = false;
        // The port of an earlier run, where nothing listens now.
        QCOMPARE(TDemoMailbox::Create(s.ini, e, 1, ruleAdded), QString());
    }
    auto main = startMain(s.ini);
    TDemoServer* server = main->DemoServer();
    QVERIFY(server && server->Listening());
    QCOMPARE(s.read(TDemoMailbox::Name(), QStringLiteral("Port")), QString::number(server->Port()));
    WelcomeDriver driver;
    driver.install([](TFormWelcome*) {});
    main->MenuCheck->trigger();
    QVERIFY2(driver.others.isEmpty(), qPrintable(driver.others.join(QLatin1Char('\n'))));
    QCOMPARE(window(*main, TDemoMailbox::Name())->MessageRows(), int(TDemoServer::ShippedMessages().size()));
}

void tst_FirstRun::staleDemoPortIsNotChecked()
{
    // Whoever has taken the port of an earlier run by now must see no connection.
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::LocalHost, 0));
    int connections = 0;
    connect(&squatter, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket* peer = squatter.nextPendingConnection()) {
            ++connections;
            peer->abort();
            peer->deleteLater();
        }
    });
    Settings s;
    {
        TIniFile(s.ini).WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), true);
        TVarnEncryption e;
        e.Key = QStringLiteral("Q-Lumen");
        bool ruleAdded = false;
        QCOMPARE(TDemoMailbox::Create(s.ini, e, squatter.serverPort(), ruleAdded), QString());
    }
    // This run's demo server cannot listen: its port is taken.
    TDemoServer::SetListenPort(squatter.serverPort());
    const auto freePorts = qScopeGuard([] { TDemoServer::SetListenPort(0); });
    WelcomeDriver driver;
    driver.install([](TFormWelcome*) {});
    auto main = startMain(s.ini);
    QVERIFY(main->DemoServer() && !main->DemoServer()->Listening());
    main->MenuCheck->trigger();

    TFormMailList* demo = window(*main, TDemoMailbox::Name());
    QVERIFY(demo);
    QCOMPARE(connections, 0);
    QVERIFY(!squatter.waitForNewConnection(0));
    // Only the report that the demo server did not start; no failed check.
    QCOMPARE(driver.others.size(), 1);
    const QString status = demo->StatusBar->currentMessage();
    QVERIFY2(status.contains(QStringLiteral("示範伺服器")) && status.contains(QStringLiteral("不檢查")),
             qPrintable(status));
}

void tst_FirstRun::removingTheDemoStopsItsServer_data()
{
    QTest::addColumn<bool>("throughOptions");
    QTest::newRow("welcome window") << false;
    QTest::newRow("options dialog") << true;
}

void tst_FirstRun::removingTheDemoStopsItsServer()
{
    QFETCH(bool, throughOptions);
    Settings s;
    TIniFile(s.ini).WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    auto main = startMain(s.ini);
    WelcomeDriver driver;
    driver.install([](TFormWelcome* w) { w->ButtonDemo->click(); });
    main->Welcome();
    TDemoServer* server = main->DemoServer();
    QVERIFY(server && server->Listening());
    const quint16 port = server->Port();
    const QString name = TDemoMailbox::Name();

    if (throughOptions) {
        TModal::SetHook([&](QDialog* d) {
            if (auto* option = qobject_cast<TFormOption*>(d)) {
                option->ListBoxName->setCurrentRow(0);
                option->ListBoxNameClick();
                option->ButtonDelete->click();
                option->close();
            } else {
                driver.others << d->windowTitle();
                d->accept();
            }
        });
        main->MenuNetwork->trigger();
    } else {
        driver.install([](TFormWelcome* w) { w->ButtonRemoveDemo->click(); });
        main->Welcome();
        QVERIFY(driver.removeButton);
    }
    QVERIFY2(driver.others.isEmpty(), qPrintable(driver.others.join(QLatin1Char('\n'))));
    QVERIFY(!server->Listening());
    QVERIFY(refused(port));
    QTRY_VERIFY(main->MailboxWindows().isEmpty());
    QCOMPARE(FormStatus->Cell(0), QStringLiteral("0"));
    QCOMPARE(s.read(QStringLiteral("Server"), QStringLiteral("0")), QString());
    QVERIFY(!TIniFile(s.ini).SectionExists(name));
    QVERIFY(!TIniFile(s.ini).SectionExists(QStringLiteral("IDs:") + name));

    // It can be tried again afterwards.
    driver.install([](TFormWelcome* w) { w->ButtonDemo->click(); });
    main->Welcome();
    QVERIFY(main->DemoServer()->Listening());
    QCOMPARE(window(*main, name)->MessageRows(), int(TDemoServer::ShippedMessages().size()));
}

void tst_FirstRun::userKeywordRulesAreLeftAlone()
{
    Settings s;
    {
        TIniFile ini(s.ini);
        ini.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
        ini.WriteString(QStringLiteral("Filter"), QStringLiteral("HighLight3"), QStringLiteral("BOSS"));
    }
    auto main = startMain(s.ini);
    WelcomeDriver driver;
    driver.install([](TFormWelcome* w) { w->ButtonDemo->click(); });
    main->Welcome();
    QCOMPARE(TIniFile(s.ini).ReadString(QStringLiteral("Filter"), QStringLiteral("HighLight1"), QString()), QString());
    QCOMPARE(s.read(QStringLiteral("Filter"), QStringLiteral("HighLight3")), QStringLiteral("BOSS"));
    QVERIFY(main->State().FilterRules.HighLight[0].isEmpty());
}

void tst_FirstRun::addedMailboxOpensAndIsCounted()
{
    Settings s;
    {
        TIniFile ini(s.ini);
        ini.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
        ini.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("ann"));
        ini.WriteString(QStringLiteral("ann"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
        ini.WriteString(QStringLiteral("ann"), QStringLiteral("Login"), QStringLiteral("user"));
    }
    auto main = startMain(s.ini);
    QList<TConnectionParams> calls;
    TFormMain::SetConnectionTester([&](const TConnectionParams& params) {
        calls << params;
        TConnectionTestResult passed;
        passed.Ok = true;
        passed.Message = QStringLiteral("ok");
        return passed;
    });
    const auto programsOwnTest = qScopeGuard([] { TFormMain::SetConnectionTester({}); });
    bool seen = false;
    QStringList others;
    TModal::SetHook([&](QDialog* d) {
        if (auto* form = qobject_cast<TFormAddMailbox*>(d)) {
            seen = true;
            form->EditAddress->setText(QStringLiteral("Ann@Gmail.com"));
            form->EditPassword->setText(QStringLiteral("app pass"));
            form->ButtonSave->click();
        } else {
            others << d->windowTitle();
            d->accept();
        }
    });
    main->AddMyMailbox();
    TModal::SetHook({});
    QVERIFY(seen);
    QVERIFY2(others.isEmpty(), qPrintable(others.join(QLatin1Char('|'))));
    QCOMPARE(calls.size(), 1);
    // Saved with the program's own scrambler.
    QCOMPARE(main->Encryption.Unscramble(
                 TIniFile(s.ini).ReadString(QStringLiteral("Ann (2)"), QStringLiteral("Password"), QString())),
             QStringLiteral("app pass"));

    // Its window is open and counted, as after the options dialog's add.
    QStringList captions;
    for (TFormMailList* w : main->MailboxWindows()) {
        captions << w->windowTitle();
    }
    QCOMPARE(captions, (QStringList{"ann", "Ann (2)"}));
    QCOMPARE(FormStatus->Cell(0), QStringLiteral("2"));
}

void tst_FirstRun::encryptedMailboxIsNeverCheckedInPlainText()
{
    TScriptServer server;
    server.serveMailbox({QByteArray("Message-ID: <1@x>\nSubject: s\n\nbody\n")});
    Settings s;
    TIniFile(s.ini).WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    auto main = startMain(s.ini);
    TNewMailboxEntry entry;
    entry.Host = QStringLiteral("127.0.0.1");
    entry.Port = QString::number(server.port());
    entry.Security = QStringLiteral("TLS");
    entry.Login = QStringLiteral("user");
    entry.Password = QStringLiteral("pass");
    QCOMPARE(TNewMailbox::Add(s.ini, main->Encryption, QStringLiteral("safe"), entry), QString());
    TFormMailList* w = main->CreateMailbox(QStringLiteral("safe"));
    QStringList messages;
    TModal::SetHook([&](QDialog* d) {
        for (QPlainTextEdit* e : d->findChildren<QPlainTextEdit*>()) {
            messages << e->toPlainText();
        }
        d->accept();
    });
    main->MenuCheck->trigger();
    TModal::SetHook({});
    QVERIFY2(messages.join(QLatin1Char('|')).contains(QStringLiteral("安全連線失敗")),
             qPrintable(messages.join(QLatin1Char('|'))));
    for (const QString& line : server.received()) {
        QVERIFY2(!line.startsWith(QLatin1String("USER"), Qt::CaseInsensitive), qPrintable(line));
        QVERIFY2(!line.startsWith(QLatin1String("PASS"), Qt::CaseInsensitive), qPrintable(line));
    }
    QCOMPARE(w->MessageRows(), 0);
}

QTEST_MAIN(tst_FirstRun)
#include "tst_FirstRun.moc"
