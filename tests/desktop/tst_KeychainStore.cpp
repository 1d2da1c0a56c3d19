#include "desktop/TKeychainStore.h"
#include "settings/TMailboxPasswords.h"
#include "settings/TVarnEncryption.h"
#include "testsupport/TPrivateBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <memory>

using TResult = TPasswordStore::TResult;

namespace {

// A secret service that takes every call and never answers.
class TSilentService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

} // namespace

// The keyring through QtKeychain against a real Secret Service (GNOME Keyring) on a bus of
// the test's own, and against one that never answers.
class tst_KeychainStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    // First: no keyring has been started on the bus yet.
    void noSecretServiceAnswersAtOnce();
    void roundTripThroughTheRealKeyring();
    void scrambledPasswordMovesIntoTheRealKeyring();
    void serviceGoneMeansUnavailable();
    // Last: the client library keeps waiting on the silent service after the test is done.
    void silentServiceNeverHoldsAPasswordInTheFile();
    void silentServiceEndsInTimeOrOnCancel();

private:
    bool startKeyring(QString& why);
    QString writeSettings(const QByteArray& text);
    QByteArray settingsText() const;
    std::unique_ptr<TPrivateBus> m_bus;
    QProcess m_keyring;
    QString m_skip;
};

void tst_KeychainStore::initTestCase()
{
    m_bus = std::make_unique<TPrivateBus>();
    QVERIFY2(m_bus->Start(), qPrintable(m_bus->Error()));
    // QtKeychain and libsecret find the session bus, and GNOME Keyring its files, through
    // the environment: all of it points into the test's folder.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->Address().toUtf8());
    qputenv("HOME", QFile::encodeName(m_bus->Folder()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_bus->Folder() + QStringLiteral("/data")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_bus->Folder()));
    qunsetenv("DISPLAY");
}

void tst_KeychainStore::cleanupTestCase()
{
    if (m_keyring.state() != QProcess::NotRunning) {
        m_keyring.kill();
        m_keyring.waitForFinished(5000);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("silent"));
    m_bus.reset();
}

bool tst_KeychainStore::startKeyring(QString& why)
{
    if (m_keyring.state() == QProcess::Running) {
        return true;
    }
    if (!m_skip.isEmpty()) {
        why = m_skip;
        return false;
    }
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (daemon.isEmpty()) {
        why = m_skip = QStringLiteral("gnome-keyring-daemon is not installed");
        return false;
    }
    // --unlock reads the login keyring's password from standard input. The test's keyring
    // gets a throw-away one: given an empty one, the daemon creates no login keyring.
    m_keyring.start(
        daemon, {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(5000)) {
        why = m_skip = QStringLiteral("gnome-keyring-daemon did not start: ") + m_keyring.errorString();
        return false;
    }
    m_keyring.write("mailvane-test");
    m_keyring.closeWriteChannel();
    QDBusConnection probe = QDBusConnection::connectToBus(m_bus->Address(), QStringLiteral("probe"));
    QElapsedTimer clock;
    clock.start();
    while (!probe.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value()) {
        if (clock.elapsed() > 15000 || m_keyring.state() != QProcess::Running) {
            why = m_skip = QStringLiteral("gnome-keyring-daemon does not serve org.freedesktop.secrets headless "
                                          "here: ") +
                           QString::fromLocal8Bit(m_keyring.readAllStandardError());
            return false;
        }
        QTest::qWait(100);
    }
    return true;
}

QString tst_KeychainStore::writeSettings(const QByteArray& text)
{
    const QString path = m_bus->Folder() + QStringLiteral("/Mailvane.ini");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(text);
    }
    return path;
}

QByteArray tst_KeychainStore::settingsText() const
{
    QFile file(m_bus->Folder() + QStringLiteral("/Mailvane.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_KeychainStore::noSecretServiceAnswersAtOnce()
{
    // Nothing owns org.freedesktop.secrets and nothing can be started for it: every call
    // answers at once, long before the keyring's time-out.
    TKeychainStore store(QStringLiteral("Mailvane test"));
    QElapsedTimer clock;
    clock.start();
    QString password = QStringLiteral("untouched");
    QCOMPARE(store.Read(QStringLiteral("Home/joe"), password), TResult::Unavailable);
    QCOMPARE(password, QStringLiteral("untouched"));
    QCOMPARE(store.Write(QStringLiteral("Home/joe"), QStringLiteral("pw")), TResult::Unavailable);
    QCOMPARE(store.Remove(QStringLiteral("Home/joe")), TResult::Unavailable);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

    // A password in the file reads at once and stays there.
    TVarnEncryption encryption;
    encryption.Key = QStringLiteral("Q-Lumen");
    const QByteArray before =
        "[Home]\nLogin=joe\nPassword=" + encryption.Scramble(QStringLiteral("pw")).toUtf8() + "\n";
    TMailboxPasswords passwords(writeSettings(before), encryption, &store);
    clock.restart();
    QCOMPARE(passwords.Read(QStringLiteral("Home"), QStringLiteral("joe")), QStringLiteral("pw"));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(settingsText(), before);
}

void tst_KeychainStore::silentServiceNeverHoldsAPasswordInTheFile()
{
    QDBusConnection silent = QDBusConnection::connectToBus(m_bus->Address(), QStringLiteral("silent"));
    TSilentService service;
    QVERIFY(
        silent.registerVirtualObject(QStringLiteral("/org/freedesktop/secrets"), &service, QDBusConnection::SubPath));
    QVERIFY(silent.registerService(QStringLiteral("org.freedesktop.secrets")));

    // The password still in the file is used at once; its move into the keyring waits
    // beside the caller, and the file keeps it as long as the keyring has not taken it.
    TVarnEncryption encryption;
    encryption.Key = QStringLiteral("Q-Lumen");
    const QByteArray before = "[Home]\nLogin=ann\nPassword=" + encryption.Scramble(QStringLiteral("s3cret")).toUtf8() +
                              "\n[Work]\nLogin=bob\n";
    TKeychainStore store(QStringLiteral("Mailvane test"));
    TMailboxPasswords passwords(writeSettings(before), encryption, &store);
    QElapsedTimer clock;
    clock.start();
    for (int check = 0; check < 3; ++check) {
        QCOMPARE(passwords.Read(QStringLiteral("Home"), QStringLiteral("ann")), QStringLiteral("s3cret"));
    }
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(settingsText(), before);

    // One only in the keyring is waited for, up to the bound, while the program runs on.
    TKeychainStore bounded(QStringLiteral("Mailvane test"), 700);
    TMailboxPasswords fromKeyring(writeSettings(before), encryption, &bounded);
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
    tick.start(50);
    clock.restart();
    QCOMPARE(fromKeyring.Read(QStringLiteral("Work"), QStringLiteral("bob")), QString());
    QVERIFY2(clock.elapsed() >= 600 && clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));

    QVERIFY(silent.unregisterService(QStringLiteral("org.freedesktop.secrets")));
    silent.unregisterObject(QStringLiteral("/org/freedesktop/secrets"), QDBusConnection::UnregisterTree);
}

void tst_KeychainStore::silentServiceEndsInTimeOrOnCancel()
{
    QDBusConnection silent = QDBusConnection::connectToBus(m_bus->Address(), QStringLiteral("silent"));
    TSilentService service;
    QVERIFY(
        silent.registerVirtualObject(QStringLiteral("/org/freedesktop/secrets"), &service, QDBusConnection::SubPath));
    QVERIFY(silent.registerService(QStringLiteral("org.freedesktop.secrets")));

    TKeychainStore store(QStringLiteral("Mailvane test"), 700);
    QElapsedTimer clock;
    clock.start();
    QString password;
    QCOMPARE(store.Read(QStringLiteral("Home/joe"), password), TResult::Unavailable);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));

    // The program ending cuts the wait short, long before the time-out.
    TKeychainStore patient(QStringLiteral("Mailvane test"), 60000);
    QTimer::singleShot(200, [&patient] { patient.CancelWaits(); });
    clock.restart();
    QCOMPARE(patient.Write(QStringLiteral("Home/joe"), QStringLiteral("pw")), TResult::Unavailable);
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));

    QVERIFY(silent.unregisterService(QStringLiteral("org.freedesktop.secrets")));
    silent.unregisterObject(QStringLiteral("/org/freedesktop/secrets"), QDBusConnection::UnregisterTree);
}

void tst_KeychainStore::roundTripThroughTheRealKeyring()
{
    QString why;
    if (!startKeyring(why)) {
        QSKIP(qPrintable(why));
    }
    TKeychainStore store(QStringLiteral("Mailvane test"));
    QString password;
    const TResult first = store.Read(QStringLiteral("Home/joe"), password);
    if (first == TResult::Unavailable) {
        QSKIP("the keyring service is running but refuses QtKeychain (no unlocked collection)");
    }
    QCOMPARE(first, TResult::Missing);
    QCOMPARE(store.Write(QStringLiteral("Home/joe"), QStringLiteral("密碼 pw;=%")), TResult::Done);
    QCOMPARE(store.Write(QStringLiteral("Work/joe"), QStringLiteral("other")), TResult::Done);
    QCOMPARE(store.Read(QStringLiteral("Home/joe"), password), TResult::Done);
    QCOMPARE(password, QStringLiteral("密碼 pw;=%"));
    QCOMPARE(store.Remove(QStringLiteral("Home/joe")), TResult::Done);
    QCOMPARE(store.Read(QStringLiteral("Home/joe"), password), TResult::Missing);
    QCOMPARE(store.Read(QStringLiteral("Work/joe"), password), TResult::Done);
    QCOMPARE(password, QStringLiteral("other"));
}

void tst_KeychainStore::scrambledPasswordMovesIntoTheRealKeyring()
{
    QString why;
    if (!startKeyring(why)) {
        QSKIP(qPrintable(why));
    }
    TVarnEncryption encryption;
    encryption.Key = QStringLiteral("Q-Lumen");
    const QString path =
        writeSettings("[Home]\nLogin=ann\nPassword=" + encryption.Scramble(QStringLiteral("s3cret")).toUtf8() + "\n");

    TKeychainStore store(QStringLiteral("Mailvane test"));
    TMailboxPasswords passwords(path, encryption, &store);
    QCOMPARE(passwords.Read(QStringLiteral("Home"), QStringLiteral("ann")), QStringLiteral("s3cret"));
    // The move finishes beside the caller.
    QTRY_COMPARE(settingsText(), QByteArray("[Home]\nLogin=ann\n"));
    QString inKeyring;
    QCOMPARE(store.Read(TMailboxPasswords::KeyOf(QStringLiteral("Home"), QStringLiteral("ann")), inKeyring),
             TResult::Done);
    QCOMPARE(inKeyring, QStringLiteral("s3cret"));
}

void tst_KeychainStore::serviceGoneMeansUnavailable()
{
    if (m_keyring.state() == QProcess::Running) {
        m_keyring.kill();
        m_keyring.waitForFinished(5000);
    }
    TKeychainStore store(QStringLiteral("Mailvane test"), 5000);
    QString password = QStringLiteral("untouched");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(store.Read(QStringLiteral("Work/joe"), password), TResult::Unavailable);
    QCOMPARE(password, QStringLiteral("untouched"));
    QCOMPARE(store.Write(QStringLiteral("Work/joe"), QStringLiteral("x")), TResult::Unavailable);
}

QTEST_GUILESS_MAIN(tst_KeychainStore)
#include "tst_KeychainStore.moc"
