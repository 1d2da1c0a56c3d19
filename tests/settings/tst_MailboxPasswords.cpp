#include "core/EConvertError.h"
#include "settings/TIniFile.h"
#include "settings/TMailboxPasswords.h"
#include "settings/TOptionStore.h"
#include "settings/TVarnEncryption.h"
#include "testsupport/TMemoryPasswordStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using TResult = TPasswordStore::TResult;

// Where a mailbox's password lives: the keyring while there is one, the scrambled file otherwise.
class tst_MailboxPasswords : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readMovesAScrambledPasswordOnce_data();
    void readMovesAScrambledPasswordOnce();
    void malformedScrambleIsReportedAndKept();
    void keyringEntryWinsAndDropsTheFileCopy();
    void write_data();
    void write();
    void accountsNeverShareAnEntry();
    void optionStoreFollowsTheAccount();
    void givingUpTheKeyringBringsPasswordsBack();
    void demoPasswordNeverReachesTheKeyring();

private:
    void writeIni(const QByteArray& text);
    QByteArray iniText() const;

    QTemporaryDir* m_dir = nullptr;
    QString m_path;
    TVarnEncryption m_encryption;
    TMemoryPasswordStore m_store;
};

void tst_MailboxPasswords::init()
{
    m_dir = new QTemporaryDir;
    m_path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_encryption.Key = QStringLiteral("Q-Lumen");
    m_store = TMemoryPasswordStore();
}

void tst_MailboxPasswords::cleanup()
{
    delete m_dir;
}

void tst_MailboxPasswords::writeIni(const QByteArray& text)
{
    QFile f(m_path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QByteArray tst_MailboxPasswords::iniText() const
{
    QFile f(m_path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void tst_MailboxPasswords::readMovesAScrambledPasswordOnce_data()
{
    QTest::addColumn<QByteArray>("option");
    QTest::addColumn<bool>("available");
    QTest::addColumn<bool>("moved");

    QTest::newRow("keyring running") << QByteArray() << true << true;
    QTest::newRow("option off") << QByteArray("[Option]\nUseKeyring=0\n") << true << false;
    QTest::newRow("no keyring service") << QByteArray() << false << false;
}

void tst_MailboxPasswords::readMovesAScrambledPasswordOnce()
{
    QFETCH(QByteArray, option);
    QFETCH(bool, available);
    QFETCH(bool, moved);

    const QByteArray scrambled = m_encryption.Scramble(QStringLiteral("s3cret")).toUtf8();
    const QByteArray before = option + "[Home]\nHost=127.0.0.1\nLogin=joe\nPassword=" + scrambled + "\nTop=5\n";
    writeIni(before);
    m_store.Available = available;

    TMailboxPasswords passwords(m_path, m_encryption, &m_store);
    QCOMPARE(passwords.Read(QStringLiteral("Home"), QStringLiteral("joe")), QStringLiteral("s3cret"));
    if (moved) {
        QCOMPARE(m_store.Entries.value(TMailboxPasswords::KeyOf(QStringLiteral("Home"), QStringLiteral("joe"))),
                 QStringLiteral("s3cret"));
        // Only the password line went; every other line is as it was.
        QCOMPARE(iniText(), option + "[Home]\nHost=127.0.0.1\nLogin=joe\nTop=5\n");
        // Read again: from the keyring, the file having none.
        QCOMPARE(passwords.Read(QStringLiteral("Home"), QStringLiteral("joe")), QStringLiteral("s3cret"));
    } else {
        QVERIFY(m_store.Entries.isEmpty());
        QCOMPARE(iniText(), before);
    }
    if (!option.isEmpty()) {
        // The option off: the keyring is not even asked.
        QCOMPARE(m_store.Calls, 0);
    }
}

void tst_MailboxPasswords::malformedScrambleIsReportedAndKept()
{
    const QByteArray before = "[Home]\nLogin=joe\nPassword=%%not scrambled\n";
    writeIni(before);
    TMailboxPasswords passwords(m_path, m_encryption, &m_store);
    QVERIFY_THROWS_EXCEPTION(EConvertError, passwords.Read(QStringLiteral("Home"), QStringLiteral("joe")));
    QCOMPARE(iniText(), before);
    QVERIFY(m_store.Entries.isEmpty());
}

void tst_MailboxPasswords::keyringEntryWinsAndDropsTheFileCopy()
{
    writeIni("[Home]\nLogin=joe\nPassword=" + m_encryption.Scramble(QStringLiteral("old")).toUtf8() + "\n");
    m_store.Entries.insert(TMailboxPasswords::KeyOf(QStringLiteral("Home"), QStringLiteral("joe")),
                           QStringLiteral("new"));
    TMailboxPasswords passwords(m_path, m_encryption, &m_store);
    QCOMPARE(passwords.Read(QStringLiteral("Home"), QStringLiteral("joe")), QStringLiteral("new"));
    QCOMPARE(iniText(), QByteArray("[Home]\nLogin=joe\n"));
}

void tst_MailboxPasswords::write_data()
{
    QTest::addColumn<bool>("available");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("inKeyring");

    QTest::newRow("keyring") << true << QStringLiteral("pw") << true;
    QTest::newRow("keyring, emptied") << true << QString() << false;
    QTest::newRow("no keyring") << false << QStringLiteral("pw") << false;
}

void tst_MailboxPasswords::write()
{
    QFETCH(bool, available);
    QFETCH(QString, password);
    QFETCH(bool, inKeyring);

    const QString key = TMailboxPasswords::KeyOf(QStringLiteral("Home"), QStringLiteral("joe"));
    writeIni("[Home]\nLogin=joe\nPassword=" + m_encryption.Scramble(QStringLiteral("old")).toUtf8() + "\n");
    m_store.Entries.insert(key, QStringLiteral("old"));
    m_store.Available = available;

    TMailboxPasswords(m_path, m_encryption, &m_store).Write(QStringLiteral("Home"), QStringLiteral("joe"), password);
    const QString stored = TIniFile(m_path).ReadString(QStringLiteral("Home"), QStringLiteral("Password"), QString());
    if (available) {
        QVERIFY2(!iniText().contains("Password"), iniText().constData());
        QCOMPARE(m_store.Entries.contains(key), inKeyring);
        QCOMPARE(m_store.Entries.value(key), password);
    } else {
        QCOMPARE(m_encryption.Unscramble(stored), password);
    }
    m_store.Available = true;
    QCOMPARE(TMailboxPasswords(m_path, m_encryption, &m_store).Read(QStringLiteral("Home"), QStringLiteral("joe")),
             available ? password : QStringLiteral("old"));
}

void tst_MailboxPasswords::accountsNeverShareAnEntry()
{
    const QStringList keys = {
        TMailboxPasswords::KeyOf(QStringLiteral("a/b"), QStringLiteral("c")),
        TMailboxPasswords::KeyOf(QStringLiteral("a"), QStringLiteral("b/c")),
        TMailboxPasswords::KeyOf(QStringLiteral("a%2Fb"), QStringLiteral("c")),
        TMailboxPasswords::KeyOf(QStringLiteral("a"), QStringLiteral("b%2Fc")),
        TMailboxPasswords::KeyOf(QStringLiteral("a"), QStringLiteral("bc")),
    };
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
}

void tst_MailboxPasswords::optionStoreFollowsTheAccount()
{
    writeIni("[Server]\n0=Home\n1=Work\n");
    TOptionStore store(m_path, m_encryption, &m_store);
    store.SaveMailbox(QStringLiteral("Home"), {QStringLiteral("127.0.0.1"), QStringLiteral("joe"), QStringLiteral("pw"),
                                               QStringLiteral("None"), QString(), QString()});
    store.SaveMailbox(QStringLiteral("Work"), {QStringLiteral("127.0.0.2"), QStringLiteral("ann"), QStringLiteral("w"),
                                               QStringLiteral("None"), QString(), QString()});
    QVERIFY(!iniText().contains("Password"));
    QCOMPARE(m_store.Entries.size(), 2);

    // A new login name takes the entry along; the old one is gone.
    store.SaveMailbox(QStringLiteral("Home"), {QStringLiteral("127.0.0.1"), QStringLiteral("joe2"),
                                               QStringLiteral("pw"), QStringLiteral("None"), QString(), QString()});
    QVERIFY(!m_store.Entries.contains(TMailboxPasswords::KeyOf(QStringLiteral("Home"), QStringLiteral("joe"))));
    QString error;
    QCOMPARE(store.LoadMailbox(QStringLiteral("Home"), error).Password, QStringLiteral("pw"));
    QVERIFY(error.isEmpty());

    // Deleting a mailbox removes its entry and only its entry.
    store.EraseMailbox(QStringLiteral("Home"));
    QCOMPARE(m_store.Entries.keys(),
             QStringList{TMailboxPasswords::KeyOf(QStringLiteral("Work"), QStringLiteral("ann"))});
}

void tst_MailboxPasswords::givingUpTheKeyringBringsPasswordsBack()
{
    writeIni("[Server]\n0=Home\n[Home]\nLogin=joe\n");
    m_store.Entries.insert(TMailboxPasswords::KeyOf(QStringLiteral("Home"), QStringLiteral("joe")),
                           QStringLiteral("pw"));
    TOptionStore store(m_path, m_encryption, &m_store);
    QStringList errors;
    TOptionSettings values = store.Load(QStringLiteral("/x/"), errors);
    QVERIFY(values.UseKeyring);
    values.UseKeyring = false;
    store.Save(values);
    QVERIFY(m_store.Entries.isEmpty());
    QString error;
    QCOMPARE(store.LoadMailbox(QStringLiteral("Home"), error).Password, QStringLiteral("pw"));
    QVERIFY(iniText().contains("Password="));
}

void tst_MailboxPasswords::demoPasswordNeverReachesTheKeyring()
{
    const QByteArray before = "[Server]\n0=Demo\n[Demo]\nHost=127.0.0.1\nLogin=demo\nPassword=" +
                              m_encryption.Scramble(QStringLiteral("demo")).toUtf8() + "\nDemo=1\n";
    writeIni(before);
    TMailboxPasswords passwords(m_path, m_encryption, &m_store);
    QCOMPARE(passwords.Read(QStringLiteral("Demo"), QStringLiteral("demo")), QStringLiteral("demo"));
    QCOMPARE(iniText(), before);
    // Written again as the options dialog does: still the file.
    TOptionStore store(m_path, m_encryption, &m_store);
    store.SaveMailbox(QStringLiteral("Demo"), {QStringLiteral("127.0.0.1"), QStringLiteral("demo"),
                                               QStringLiteral("demo"), QStringLiteral("None"), QString(), QString()});
    QString error;
    QCOMPARE(store.LoadMailbox(QStringLiteral("Demo"), error).Password, QStringLiteral("demo"));
    QVERIFY(iniText().contains("Password="));
    QVERIFY(m_store.Entries.isEmpty());
    QCOMPARE(m_store.Calls, 0);
}

QTEST_GUILESS_MAIN(tst_MailboxPasswords)
#include "tst_MailboxPasswords.moc"
