#include "app/TFormMain.h"
#include "app/TTrayFallback.h"
#include "mailbox/TFormPassword.h"
#include "settings/TIniFile.h"
#include "settings/TVarnEncryption.h"
#include "status/TFormMessage.h"
#include "testsupport/TPrivateBus.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

// The console password asked when the program is restored.
class tst_Console : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void tries_data();
    void tries();
    void notMinimisedAsksNothing();
    void nothingShowsWhileAsked_data();
    void nothingShowsWhileAsked();
    void noTrayMinimisesToTaskBar_data();
    void noTrayMinimisesToTaskBar();

private:
    void start(const QString& stored);

    QTemporaryDir* m_dir = nullptr;
    TFormMain* m_main = nullptr;
    QStringList m_answers;
    QStringList m_prompts;
    QStringList m_messages;
    QStringList m_trayReasons;
    QStringList m_shownWhileAsked; // names of the frame's windows visible at each prompt
};

void tst_Console::init()
{
    m_dir = new QTemporaryDir;
    m_answers.clear();
    m_prompts.clear();
    m_messages.clear();
    m_trayReasons.clear();
    m_shownWhileAsked.clear();
    TModal::SetHook([this](QDialog* d) {
        if (auto* prompt = qobject_cast<TFormPassword*>(d)) {
            m_prompts << prompt->LabelName->text();
            if (m_main->isVisible() && !m_main->isMinimized()) {
                m_shownWhileAsked << m_main->objectName();
            }
            for (QMdiSubWindow* w : m_main->MdiArea()->subWindowList()) {
                if (w->isVisible() && !m_main->isMinimized()) {
                    m_shownWhileAsked << w->windowTitle();
                }
            }
            prompt->EditPassword->setText(m_answers.isEmpty() ? QString() : m_answers.takeFirst());
            prompt->accept();
        } else {
            QString text;
            for (QLabel* l : d->findChildren<QLabel*>()) {
                text += l->text() + QLatin1Char('|');
            }
            auto* message = qobject_cast<TFormMessage*>(d);
            // Without a tray (offscreen) every first minimise says so; kept apart.
            if (message && message->Memo->toPlainText() == TTrayFallback::Reason()) {
                m_trayReasons << text;
                d->accept();
                return;
            }
            m_messages << text;
            d->accept();
        }
    });
}

void tst_Console::cleanup()
{
    delete m_main;
    m_main = nullptr;
    TModal::SetHook({});
    TTrayFallback::SetQtReport({});
    TTrayFallback::SetBus(std::nullopt);
    delete m_dir;
}

void tst_Console::start(const QString& stored)
{
    const QString ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    TIniFile f(ini);
    f.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    f.WriteBool(QStringLiteral("Option"), QStringLiteral("ConsoleProtect"), true);
    TVarnEncryption scrambler;
    scrambler.Key = QStringLiteral("Q-Lumen");
    f.WriteString(QStringLiteral("General"), QStringLiteral("ConsolePassword"), scrambler.Scramble(stored));
    m_main = new TFormMain(ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
}

void tst_Console::tries_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("prompts");
    QTest::addColumn<bool>("ends");
    QTest::newRow("right at once") << QStringLiteral("s3cret") << QStringList{QStringLiteral("s3cret")} << 1 << false;
    QTest::newRow("two wrong, then right")
        << QStringLiteral("s3cret")
        << QStringList{QStringLiteral("x"), QStringLiteral("S3CRET"), QStringLiteral("s3cret")} << 3 << false;
    QTest::newRow("three wrong end the program")
        << QStringLiteral("s3cret") << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")} << 3
        << true;
    QTest::newRow("none stored takes an empty entry") << QString() << QStringList{QString()} << 1 << false;
    QTest::newRow("密碼 in Chinese") << QStringLiteral("密碼") << QStringList{QStringLiteral("密碼")} << 1 << false;
}

void tst_Console::tries()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, answers);
    QFETCH(int, prompts);
    QFETCH(bool, ends);
    start(stored);
    const QByteArray before = [&] {
        QFile f(m_dir->filePath(QStringLiteral("Mailvane.ini")));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    m_answers = answers;
    m_main->showMinimized();
    // Let the window system's answer to the minimise arrive first.
    QTest::qWait(50);
    m_main->PopMenuOpenClick(m_main->PopMenuOpen);
    QCOMPARE(m_prompts.size(), prompts);
    QCOMPARE(m_prompts.first(), QStringLiteral("Console"));
    QCOMPARE(m_main->Terminated(), ends);
    if (ends) {
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages.first().contains(QStringLiteral("Mailvane Kernel")));
        // Nothing is written on the way out.
        m_main->close();
        QFile f(m_dir->filePath(QStringLiteral("Mailvane.ini")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    } else {
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!m_main->isMinimized());
    }
}

void tst_Console::notMinimisedAsksNothing()
{
    start(QStringLiteral("s3cret"));
    m_main->PopMenuOpenClick(m_main->PopMenuOpen);
    QVERIFY(m_prompts.isEmpty());
    QVERIFY(!m_main->Terminated());
}

void tst_Console::nothingShowsWhileAsked_data()
{
    QTest::addColumn<bool>("fromTray"); // else the window system restores it from the task bar
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("shownAfter");
    const QStringList wrong{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    QTest::newRow("tray, right") << true << QStringList{QStringLiteral("s3cret")} << true;
    QTest::newRow("tray, three wrong") << true << wrong << false;
    QTest::newRow("task bar, right") << false << QStringList{QStringLiteral("s3cret")} << true;
    QTest::newRow("task bar, three wrong") << false << wrong << false;
}

void tst_Console::nothingShowsWhileAsked()
{
    QFETCH(bool, fromTray);
    QFETCH(QStringList, answers);
    QFETCH(bool, shownAfter);
    {
        TIniFile f(m_dir->filePath(QStringLiteral("Mailvane.ini")));
        f.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("Inbox"));
    }
    start(QStringLiteral("s3cret"));
    QCOMPARE(m_main->MailboxWindows().size(), 1);
    // The window system's answers to the start-up shows come first.
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
    QTest::qWait(50);
    m_answers = answers;
    m_main->showMinimized();
    // Let the window system's answer to the minimise arrive first.
    QTest::qWait(50);
    QCOMPARE(m_prompts.join(u','), QString());
    QVERIFY(m_main->isMinimized());
    if (fromTray) {
        m_main->PopMenuOpenClick(m_main->PopMenuOpen);
    } else {
        m_main->setWindowState(Qt::WindowNoState);
    }
    QCOMPARE(m_prompts.size(), answers.size());
    QCOMPARE(m_shownWhileAsked, QStringList());
    const bool shown = m_main->isVisible() && !m_main->isMinimized();
    QCOMPARE(shown, shownAfter);
    QCOMPARE(m_main->Terminated(), !shownAfter);
}

void tst_Console::noTrayMinimisesToTaskBar_data()
{
    QTest::addColumn<bool>("qtTray");
    QTest::addColumn<bool>("watcher"); // a StatusNotifierWatcher on the session bus
    QTest::addColumn<bool>("startMinimised");
    QTest::newRow("no notification area") << false << false << false;
    QTest::newRow("no notification area, started minimised") << false << false << true;
    QTest::newRow("a StatusNotifierWatcher") << false << true << false;
    QTest::newRow("Qt's own tray") << true << false << false;
}

void tst_Console::noTrayMinimisesToTaskBar()
{
    QFETCH(bool, qtTray);
    QFETCH(bool, watcher);
    QFETCH(bool, startMinimised);
    TPrivateBus bus;
    QVERIFY2(bus.Start(), qPrintable(bus.Error()));
    const auto disconnect = qScopeGuard([] {
        TTrayFallback::SetBus(std::nullopt);
        QDBusConnection::disconnectFromBus(QStringLiteral("tray-client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("tray-host"));
    });
    if (watcher) {
        QDBusConnection host = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("tray-host"));
        QVERIFY(host.registerService(TTrayFallback::WatcherService));
    }
    TTrayFallback::SetBus(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("tray-client")));
    TTrayFallback::SetQtReport([qtTray] { return qtTray; });
    const bool tray = qtTray || watcher;
    QCOMPARE(TTrayFallback::Available(), tray);
    if (startMinimised) {
        TIniFile(m_dir->filePath(QStringLiteral("Mailvane.ini")))
            .WriteBool(QStringLiteral("Option"), QStringLiteral("StartupMinimized"), true);
    }
    start(QStringLiteral("s3cret"));
    for (int round = 0; round < 2; ++round) {
        if (!startMinimised || round > 0) {
            m_main->showMinimized();
        }
        if (tray) {
            QTRY_VERIFY(!m_main->isVisible());
        } else {
            // Reachable from the task bar, with its reason told once per run only.
            QTRY_COMPARE(m_trayReasons.size(), 1);
            QVERIFY2(m_trayReasons.first().contains(QStringLiteral("|Mailvane|")), qPrintable(m_trayReasons.first()));
            QVERIFY(m_main->isVisible());
            QVERIFY(m_main->isMinimized());
        }
        // The console password still guards the way back.
        m_answers = QStringList{QStringLiteral("s3cret")};
        m_main->PopMenuOpenClick(m_main->PopMenuOpen);
        QCOMPARE(m_prompts.size(), round + 1);
        QVERIFY(m_main->isVisible() && !m_main->isMinimized());
    }
    QCOMPARE(m_trayReasons.size(), tray ? 0 : 1);
    QVERIFY(m_messages.isEmpty());
}

QTEST_MAIN(tst_Console)
#include "tst_Console.moc"
