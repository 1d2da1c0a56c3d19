#include "app/TFormMain.h"
#include "app/TWindowActivation.h"
#include "desktop/TDesktopNotifier.h"
#include "mailbox/TFormMailList.h"
#include "net/TSockets.h"
#include "settings/TMailboxPasswords.h"
#include "settings/TVarnEncryption.h"
#include "testsupport/TFakeNotifications.h"
#include "testsupport/TMemoryPasswordStore.h"
#include "testsupport/TPrivateBus.h"
#include "testsupport/TScriptServer.h"
#include "widgets/TModal.h"

#include <QDBusConnection>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

QList<QByteArray> messages(const char* tag, int n)
{
    QList<QByteArray> list;
    for (int i = 1; i <= n; ++i) {
        list << QByteArray("Message-ID: <") + tag + QByteArray::number(i) +
                    "@test>\nDate: Mon, 1 Jan 2024 10:00:00 +0000\nFrom: sender" + QByteArray::number(i) +
                    "@example.org\nSubject: hello " + QByteArray::number(i) + "\n\nbody\n";
    }
    return list;
}

// A keyring whose every read lets something else happen first, as the wait for a real
// one lets the event loop run.
class TEventfulStore : public TMemoryPasswordStore {
public:
    std::function<void()> DuringRead;
    TResult Read(const QString& key, QString& password) override
    {
        if (DuringRead) {
            DuringRead();
        }
        return TMemoryPasswordStore::Read(key, password);
    }
};

} // namespace

// The check pass with the desktop: the notification service and the keyring.
class tst_DesktopIntegration : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void oneNotificationPerCheckThatFoundNewMail_data();
    void oneNotificationPerCheckThatFoundNewMail();
    void mailJustFoundIsNamedBeforeOlderNewMail();
    void checkTakesThePasswordFromTheKeyring_data();
    void checkTakesThePasswordFromTheKeyring();
    void mailboxDeletedOrProgramClosedDuringTheKeyringWait_data();
    void mailboxDeletedOrProgramClosedDuringTheKeyringWait();
    void activationRestoresThroughTheConsoleGuard();
    void activationTokenReachesTheWindow();

private:
    void start(const QByteArray& extra, const QByteArray& mailboxExtra = QByteArray());

    QTemporaryDir* m_dir = nullptr;
    QString m_ini;
    TFormMain* m_main = nullptr;
    QStringList m_messages;
    TVarnEncryption m_encryption;
};

void tst_DesktopIntegration::init()
{
    m_dir = new QTemporaryDir;
    m_ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_messages.clear();
    m_encryption.Key = QStringLiteral("Q-Lumen");
    TModal::SetHook([this](QDialog* d) {
        m_messages << d->windowTitle();
        d->reject();
    });
}

void tst_DesktopIntegration::cleanup()
{
    delete m_main;
    m_main = nullptr;
    TModal::SetHook({});
    delete m_dir;
}

void tst_DesktopIntegration::start(const QByteArray& extra, const QByteArray& mailboxExtra)
{
    QFile f(m_ini);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Option]\nStartupCheck=0\n" + extra +
            "[General]\nTimeout=5\n[Server]\n0=Home\n[Home]\nHost=127.0.0.1\nLogin=user\n" + mailboxExtra);
    f.close();
    m_main = new TFormMain(m_ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
}

void tst_DesktopIntegration::oneNotificationPerCheckThatFoundNewMail_data()
{
    QTest::addColumn<QByteArray>("option");
    QTest::addColumn<int>("expected");
    QTest::newRow("on by default") << QByteArray() << 1;
    QTest::newRow("turned off") << QByteArray("DesktopNotify=0\n") << 0;
}

void tst_DesktopIntegration::oneNotificationPerCheckThatFoundNewMail()
{
    QFETCH(QByteArray, option);
    QFETCH(int, expected);

    TPrivateBus bus;
    QVERIFY2(bus.Start(), qPrintable(bus.Error()));
    // Named connections outlive the test function unless closed, also when it fails.
    const auto disconnect = qScopeGuard([this] {
        delete m_main;
        m_main = nullptr;
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    });
    TFakeNotifications service(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("service")));
    QVERIFY(service.Register());
    auto notifier =
        std::make_unique<TDesktopNotifier>(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("client")));

    TScriptServer server;
    server.serveMailbox(messages("a", 3));
    start(option);
    m_main->SetDesktop(nullptr, notifier.get());
    m_main->MailboxWindows().first()->SetPassword(QStringLiteral("pass"));
    TIniFile(m_ini).WriteString(QStringLiteral("Home"), QStringLiteral("Port"), QString::number(server.port()));

    m_main->MenuCheck->trigger();
    // The same mail again: counted, but nothing unseen.
    m_main->MenuCheck->trigger();
    // A marker on the same connection: once it arrives, whatever the checks sent has too.
    notifier->Notify(42, {});
    QTRY_VERIFY(!service.Calls.isEmpty() && service.Calls.last().Summary.contains(QLatin1String("42")));
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));
    QCOMPARE(service.Calls.size(), expected + 1);
    if (expected) {
        const TFakeNotifications::TCall& call = service.Calls.first();
        QVERIFY2(call.Summary.contains(QLatin1String("3")), qPrintable(call.Summary));
        // Newest first, as the list shows sender and subject.
        QVERIFY2(call.Body.startsWith(QStringLiteral("sender3@example.org — hello 3")), qPrintable(call.Body));
        QCOMPARE(call.Body.count(QLatin1Char('\n')), 2);
    }
}

void tst_DesktopIntegration::mailJustFoundIsNamedBeforeOlderNewMail()
{
    TPrivateBus bus;
    QVERIFY2(bus.Start(), qPrintable(bus.Error()));
    const auto disconnect = qScopeGuard([this] {
        delete m_main;
        m_main = nullptr;
        QDBusConnection::disconnectFromBus(QStringLiteral("client4"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service4"));
    });
    TFakeNotifications service(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("service4")));
    QVERIFY(service.Register());
    TDesktopNotifier notifier(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("client4")));

    TScriptServer home;
    home.serveMailbox(messages("h", 2));
    TScriptServer work;
    work.serveMailbox({});
    QFile f(m_ini);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Option]\nStartupCheck=0\n[General]\nTimeout=5\n[Server]\n0=Home\n1=Work\n"
            "[Home]\nHost=127.0.0.1\nLogin=user\nPort="
            + QByteArray::number(home.port()) + "\n[Work]\nHost=127.0.0.1\nLogin=user\nPort="
            + QByteArray::number(work.port()) + "\n");
    f.close();
    m_main = new TFormMain(m_ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
    m_main->SetDesktop(nullptr, &notifier);
    QCOMPARE(m_main->MailboxWindows().size(), 2);
    TFormMailList* first = m_main->MailboxWindows().at(0);
    TFormMailList* second = m_main->MailboxWindows().at(1);
    QCOMPARE(first->MailboxName(), QStringLiteral("Home"));
    for (TFormMailList* w : {first, second}) {
        w->SetPassword(QStringLiteral("pass"));
    }

    m_main->MenuCheck->trigger();
    QTRY_COMPARE(service.Calls.size(), 1);
    // The first mailbox's mail stays new (not viewed); the second one's arrives now.
    work.serveMailbox(messages("w", 1));
    m_main->MenuCheck->trigger();
    QTRY_COMPARE(service.Calls.size(), 2);
    const TFakeNotifications::TCall& call = service.Calls.at(1);
    QVERIFY2(call.Summary.contains(QLatin1String("3")), qPrintable(call.Summary));
    QVERIFY2(call.Body.startsWith(QStringLiteral("sender1@example.org — hello 1\nsender2@example.org — hello 2")),
             qPrintable(call.Body));
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));
}

void tst_DesktopIntegration::activationRestoresThroughTheConsoleGuard()
{
    TPrivateBus bus;
    QVERIFY2(bus.Start(), qPrintable(bus.Error()));
    const auto disconnect = qScopeGuard([this] {
        delete m_main;
        m_main = nullptr;
        QDBusConnection::disconnectFromBus(QStringLiteral("client2"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service2"));
    });
    TFakeNotifications service(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("service2")));
    QVERIFY(service.Register());
    TDesktopNotifier notifier(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("client2")));

    start("ConsoleProtect=1\n");
    // The console password of the guard: asked for, and answered wrong, ends the program.
    TIniFile(m_ini).WriteString(QStringLiteral("General"), QStringLiteral("ConsolePassword"),
                                m_encryption.Scramble(QStringLiteral("guard")));
    m_main->SetDesktop(nullptr, &notifier);
    m_main->showMinimized();
    notifier.Notify(1, {{QStringLiteral("a"), QStringLiteral("b")}});
    QTRY_COMPARE(service.Calls.size(), 1);
    service.InvokeAction(service.Calls.first().Id, QStringLiteral("default"));
    // The guard asks for the console password (the hook cancels each prompt, so the program
    // ends): the window was not simply shown again.
    QTRY_VERIFY(m_main->Terminated());
    QVERIFY(!m_messages.isEmpty());
}

void tst_DesktopIntegration::activationTokenReachesTheWindow()
{
    TPrivateBus bus;
    QVERIFY2(bus.Start(), qPrintable(bus.Error()));
    QList<QPair<QWidget*, QString>> activations;
    TWindowActivation::SetObserver([&](QWidget* window, const QString& token) { activations.append({window, token}); });
    const auto disconnect = qScopeGuard([this] {
        TWindowActivation::SetObserver({});
        delete m_main;
        m_main = nullptr;
        QDBusConnection::disconnectFromBus(QStringLiteral("client3"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service3"));
    });
    TFakeNotifications service(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("service3")));
    QVERIFY(service.Register());
    TDesktopNotifier notifier(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("client3")));
    start("ConsoleProtect=0\n");
    m_main->SetDesktop(nullptr, &notifier);
    m_main->showMinimized();
    notifier.Notify(1, {{QStringLiteral("a"), QStringLiteral("b")}});
    QTRY_COMPARE(service.Calls.size(), 1);
    service.SendActivationToken(service.Calls.first().Id, QStringLiteral("weston-token-42"));
    service.InvokeAction(service.Calls.first().Id, QStringLiteral("default"));
    QTRY_COMPARE(activations.size(), 1);
    QCOMPARE(activations.first().first, m_main);
    QCOMPARE(activations.first().second, QStringLiteral("weston-token-42"));
    QVERIFY(m_main->isVisible() && !m_main->isMinimized());
    // Used up: no later program started from here inherits it.
    QVERIFY(qEnvironmentVariableIsEmpty("XDG_ACTIVATION_TOKEN"));
}

void tst_DesktopIntegration::checkTakesThePasswordFromTheKeyring_data()
{
    QTest::addColumn<bool>("available");
    QTest::addColumn<bool>("inKeyring");
    QTest::newRow("scrambled in the file, keyring running: moves") << true << false;
    QTest::newRow("already in the keyring") << true << true;
    QTest::newRow("no keyring service: the file as before") << false << false;
}

void tst_DesktopIntegration::checkTakesThePasswordFromTheKeyring()
{
    QFETCH(bool, available);
    QFETCH(bool, inKeyring);

    TMemoryPasswordStore keyring;
    keyring.Available = available;
    const QString key = TMailboxPasswords::KeyOf(QStringLiteral("Home"), QStringLiteral("user"));
    QByteArray stored;
    if (inKeyring) {
        keyring.Entries.insert(key, QStringLiteral("pass"));
    } else {
        stored = "Password=" + m_encryption.Scramble(QStringLiteral("pass")).toUtf8() + "\n";
    }
    TScriptServer server;
    server.serveMailbox(messages("k", 1));
    start(QByteArray(), stored);
    m_main->SetDesktop(&keyring, nullptr);
    TIniFile(m_ini).WriteString(QStringLiteral("Home"), QStringLiteral("Port"), QString::number(server.port()));

    m_main->MenuCheck->trigger();
    // Logged in with the stored password: no prompt, no error.
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));
    QVERIFY(server.received().contains(QStringLiteral("PASS pass")));
    QFile f(m_ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QCOMPARE(text.contains("Password="), !available);
    QCOMPARE(keyring.Entries.value(key), available ? QStringLiteral("pass") : QString());
}

void tst_DesktopIntegration::mailboxDeletedOrProgramClosedDuringTheKeyringWait_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("mailbox deleted") << false;
    QTest::newRow("program closed") << true;
}

void tst_DesktopIntegration::mailboxDeletedOrProgramClosedDuringTheKeyringWait()
{
    QFETCH(bool, close);
    TEventfulStore keyring;
    keyring.Entries.insert(TMailboxPasswords::KeyOf(QStringLiteral("Home"), QStringLiteral("user")),
                           QStringLiteral("pass"));
    TScriptServer server;
    server.serveMailbox(messages("d", 1));
    start(QByteArray());
    m_main->SetDesktop(&keyring, nullptr);
    TIniFile(m_ini).WriteString(QStringLiteral("Home"), QStringLiteral("Port"), QString::number(server.port()));
    keyring.DuringRead = [this, close] {
        if (close) {
            m_main->close();
        } else {
            m_main->DestroyMailbox(QStringLiteral("Home"));
        }
    };

    m_main->MenuCheck->trigger();
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));
    // The mailbox was gone before the session got its password: it never connected.
    QCOMPARE(server.connections(), 0);
    QTRY_VERIFY(m_main->MailboxWindows().isEmpty() || close);
}

QTEST_MAIN(tst_DesktopIntegration)
#include "tst_DesktopIntegration.moc"
