#include "app/TFormMain.h"
#include "core/TExceptionHook.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TFormPassword.h"
#include "net/TSockets.h"
#include "settings/TIniFile.h"
#include "settings/TVarnEncryption.h"
#include "testsupport/TScriptServer.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <stdexcept>

// Ending the program while a check waits: on a host-name lookup, on the network, in a
// password prompt, and during the start-up check, before the message loop runs.
class tst_Exit : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void duringLookup_data();
    void duringLookup();
    void duringStartupCheck_data();
    void duringStartupCheck();

private:
    void writeSettings(const QString& host, bool startupCheck, bool consoleProtect);
    QByteArray settingsBytes() const;

    QTemporaryDir* m_dir = nullptr;
    QString m_ini;
    TFormMain* m_main = nullptr;
    std::shared_ptr<QSemaphore> m_release;
    std::function<void(TFormPassword*)> m_onPrompt;
    QStringList m_messages;
};

void tst_Exit::init()
{
    QApplication::setQuitOnLastWindowClosed(false);
    m_dir = new QTemporaryDir;
    m_ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_messages.clear();
    m_onPrompt = {};
    TModal::SetHook([this](QDialog* d) {
        if (auto* prompt = qobject_cast<TFormPassword*>(d)) {
            if (m_onPrompt) {
                m_onPrompt(prompt);
                return;
            }
            prompt->reject();
            return;
        }
        QString text;
        for (QLabel* l : d->findChildren<QLabel*>()) {
            text += l->text() + QLatin1Char('|');
        }
        m_messages << text;
        d->accept();
    });
    TExceptionHook::SetHandler([](const QString& message) {
        if (FormMain) {
            FormMain->OnException(message);
        }
    });
    // A resolver that never answers while the test runs (it gives up after 8 s).
    m_release = std::make_shared<QSemaphore>();
    TSockets::SetLookup(
        [gate = m_release](const QString&, quint32&) { return gate->tryAcquire(1, 8000) ? 11001 : 11002; });
}

void tst_Exit::cleanup()
{
    delete m_main;
    m_main = nullptr;
    m_release->release(100);
    TSockets::SetLookup({});
    TExceptionHook::SetHandler({});
    TModal::SetHook({});
    delete m_dir;
}

void tst_Exit::writeSettings(const QString& host, bool startupCheck, bool consoleProtect)
{
    TIniFile f(m_ini);
    f.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), startupCheck);
    f.WriteBool(QStringLiteral("Option"), QStringLiteral("ConsoleProtect"), consoleProtect);
    TVarnEncryption scrambler;
    scrambler.Key = QStringLiteral("Q-Lumen");
    f.WriteString(QStringLiteral("General"), QStringLiteral("ConsolePassword"), scrambler.Scramble("s3cret"));
    f.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("20"));
    f.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("M0"));
    f.WriteString(QStringLiteral("M0"), QStringLiteral("Host"), host);
    f.WriteString(QStringLiteral("M0"), QStringLiteral("Login"), QStringLiteral("user"));
}

QByteArray tst_Exit::settingsBytes() const
{
    QFile f(m_ini);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void tst_Exit::duringLookup_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("saves");
    QTest::newRow("exit") << "exit" << true;
    QTest::newRow("exception hook") << "exception" << false;
    QTest::newRow("console password") << "console" << false;
}

// The program's loop runs; the check waits for a resolver that never answers.
void tst_Exit::duringLookup()
{
    QFETCH(QString, how);
    QFETCH(bool, saves);
    writeSettings(QStringLiteral("mail.example.invalid"), false, how == QLatin1String("console"));
    m_main = new TFormMain(m_ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
    m_main->MailboxWindows().at(0)->SetPassword(QStringLiteral("pass"));
    m_onPrompt = [](TFormPassword* prompt) {
        prompt->EditPassword->setText(QStringLiteral("wrong"));
        prompt->accept();
    };
    const QByteArray before = settingsBytes();
    const int lookups = TSockets::HostLookups();

    QElapsedTimer sinceEnd;
    bool checkReturned = false;
    QTimer::singleShot(0, m_main, [&] {
        QTimer::singleShot(300, m_main, [&] {
            QCOMPARE(TSockets::HostLookups(), lookups + 1);
            sinceEnd.start();
            if (how == QLatin1String("exit")) {
                m_main->MenuExit->trigger();
            } else if (how == QLatin1String("exception")) {
                TExceptionHook::Run([] { throw std::runtime_error("boom"); });
            } else {
                m_main->OnRestore();
            }
        });
        m_main->MenuCheck->trigger();
        checkReturned = true;
    });
    const int rc = QApplication::exec();
    const qint64 elapsed = sinceEnd.elapsed();
    QVERIFY(checkReturned);
    QCOMPARE(rc, 0);
    QVERIFY2(sinceEnd.isValid() && elapsed < 1000, qPrintable(QString::number(elapsed)));
    // Only the report that ends the program is shown; the cut-off check reports nothing.
    QCOMPARE(m_messages.size(), how == QLatin1String("exit") ? 0 : 1);
    for (const QString& m : std::as_const(m_messages)) {
        QVERIFY2(m.contains(QStringLiteral("Mailvane Kernel")), qPrintable(m));
    }
    if (saves) {
        QVERIFY(settingsBytes() != before);
        QVERIFY(
            !TIniFile(m_ini).ReadString(QStringLiteral("Windows"), QStringLiteral("MainWidth"), QString()).isEmpty());
    } else {
        QCOMPARE(settingsBytes(), before);
    }
}

void tst_Exit::duringStartupCheck_data()
{
    QTest::addColumn<bool>("inPrompt");
    QTest::newRow("network wait") << false;
    QTest::newRow("password prompt") << true;
}

// The start-up check runs before the message loop: an exit there ends the program without
// entering the loop, after writing the settings, and closes a prompt that is still open.
void tst_Exit::duringStartupCheck()
{
    QFETCH(bool, inPrompt);
    TScriptServer server;
    // Greets, takes the login, then never answers STAT.
    server.dialogue("+OK ready", {{"CAPA", "-ERR"}, {"USER user", "+OK"}, {"PASS pass", "+OK"}}).silent();
    writeSettings(QStringLiteral("127.0.0.1"), true, false);
    TIniFile(m_ini).WriteString(QStringLiteral("M0"), QStringLiteral("Port"), QString::number(server.port()));
    // No password is stored, so the check asks for one before it connects.
    QElapsedTimer sinceExit;
    QPointer<TFormPassword> open;
    int prompts = 0;
    m_onPrompt = [&](TFormPassword* prompt) {
        ++prompts;
        if (inPrompt) {
            open = prompt;
            // Keeps a broken exit from hanging the test.
            QTimer::singleShot(3000, prompt, &QDialog::reject);
            sinceExit.start();
            FormMain->MenuExit->trigger();
            return;
        }
        prompt->EditPassword->setText(QStringLiteral("pass"));
        prompt->accept();
        QTimer::singleShot(500, FormMain, [&] {
            sinceExit.start();
            FormMain->MenuExit->trigger();
        });
    };
    m_main = new TFormMain(m_ini);
    m_main->show();
    m_main->CreateStatusWindow();
    // Had the message loop been entered, this would end it.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(7); });
    guard.start(5000);
    const int rc = m_main->Run();
    const qint64 elapsed = sinceExit.elapsed();
    guard.stop();
    QCOMPARE(rc, 0);
    QVERIFY2(sinceExit.isValid() && elapsed < 1000, qPrintable(QString::number(elapsed)));
    QCOMPARE(prompts, 1);
    QVERIFY(open.isNull() || !open->isVisible());
    QCOMPARE(server.connections(), inPrompt ? 0 : 1);
    QVERIFY(!m_main->isVisible());
    QVERIFY(!TIniFile(m_ini).ReadString(QStringLiteral("Windows"), QStringLiteral("MainWidth"), QString()).isEmpty());
    QVERIFY(m_messages.isEmpty());
}

QTEST_MAIN(tst_Exit)
#include "tst_Exit.moc"
