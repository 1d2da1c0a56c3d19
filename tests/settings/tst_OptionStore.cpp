#include "settings/TIniFile.h"
#include "settings/TOptionStore.h"
#include "settings/TSettingsKeys.h"
#include "settings/TVarnEncryption.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace Keys = TSettingsKeys;

class tst_OptionStore : public QObject {
    Q_OBJECT

private slots:
    void init();

    void keysSpelledOnce();
    void settingResolves_data();
    void settingResolves();
    void missingFileGivesDefaults();
    void oldFileReads();
    void saveKeepsKeyOrder();
    void roundTrip();
    void unreadablePasswordKept();
    void mailboxEntries();
    void pinOnlyForTheStoredServer_data();
    void pinOnlyForTheStoredServer();

private:
    QStringList keysOf(const QString& section) const;
    void writeFile(const QByteArray& text) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    TVarnEncryption m_encryption;
};

void tst_OptionStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_encryption.Key = QStringLiteral("Q-Lumen");
}

QStringList tst_OptionStore::keysOf(const QString& section) const
{
    QStringList keys;
    for (const auto& entry : TIniFile(m_path).ReadSection(section)) {
        keys << entry.first;
    }
    return keys;
}

void tst_OptionStore::writeFile(const QByteArray& text) const
{
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void tst_OptionStore::keysSpelledOnce()
{
    // The file matches names without regard to letter case: two entries differing only in case would be one key.
    QSet<QString> seen;
    for (const TSettingKey* key : Keys::All) {
        const QString id = (key->Section ? QString::fromLatin1(key->Section) : QStringLiteral("<mailbox>")) +
                           QLatin1Char('/') + QString::fromLatin1(key->Key);
        QVERIFY2(!seen.contains(id.toLower()), qPrintable(id));
        seen.insert(id.toLower());
    }
}

void tst_OptionStore::settingResolves_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("missingInteger");
    QTest::addColumn<bool>("missingBool");
    QTest::addColumn<QString>("expectedSection");
    QTest::addColumn<QString>("expectedKey");
    QTest::addColumn<int>("expectedInteger");
    QTest::addColumn<bool>("expectedBool");

    // Read from a file that does not exist, so every read gives the default.
    const TIniFile none(QStringLiteral("/nonexistent/Mailvane.ini"));
    auto row = [&none](const char* name, const TSetting& setting, const char* section, const char* key, int integer,
                       bool flag) {
        QTest::newRow(name) << setting.Section() << setting.Key() << setting.ReadInteger(none) << setting.ReadBool(none)
                            << QString::fromUtf8(section) << QString::fromUtf8(key) << integer << flag;
    };
    row("fixed section", Keys::WindowsMainWidth, "Windows", "MainWidth", 640, true);
    row("false default", Keys::OptionAutoView, "Option", "AutoView", 0, false);
    row("numbered from 1", TSetting(Keys::FilterColor).Numbered(5), "Filter", "Color5", 1, true);
    row("numbered, no stem", TSetting(Keys::ServerLine).Numbered(9), "Server", "9", 0, false);
    row("mailbox section", TSetting(Keys::MailboxHeight, QStringLiteral("Work")), "Work", "Height", 200, true);
    row("mailbox numbered", TSetting(Keys::MailboxColumn, QStringLiteral("公司")).Numbered(0), "公司", "Column0", 50,
        true);
    row("other default", TSetting(Keys::OptionNoSound).WithDefault(QStringLiteral("1")), "Option", "NoSound", 1, true);
}

void tst_OptionStore::settingResolves()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(int, missingInteger);
    QFETCH(bool, missingBool);
    QFETCH(QString, expectedSection);
    QFETCH(QString, expectedKey);
    QFETCH(int, expectedInteger);
    QFETCH(bool, expectedBool);
    QCOMPARE(section, expectedSection);
    QCOMPARE(key, expectedKey);
    QCOMPARE(missingInteger, expectedInteger);
    QCOMPARE(missingBool, expectedBool);
}

void tst_OptionStore::missingFileGivesDefaults()
{
    TOptionStore store(m_path, m_encryption);
    QStringList errors;
    const TOptionSettings v = store.Load(QStringLiteral("/opt/mailvane/"), errors);
    QVERIFY(errors.isEmpty());
    QCOMPARE(v.Timeout, QStringLiteral("30"));
    QCOMPARE(v.ViewerFontSize, 10);
    QCOMPARE(v.Animation, QStringLiteral("/opt/mailvane/Mailvane.avi"));
    QCOMPARE(v.Sound, QStringLiteral("/opt/mailvane/Mailvane.wav"));
    QCOMPARE(v.Redial, QStringLiteral("2"));
    QCOMPARE(v.RedialInterval, QStringLiteral("30"));
    QCOMPARE(v.AutoCheck, QStringLiteral("3"));
    QVERIFY(v.IntervalCheck && !v.ScheduleCheck && !v.EnableDialUp);
    QVERIFY(v.ReadableView);
    QVERIFY(v.Filter.Color[4] && !v.Filter.Delete[4]);
    QCOMPARE(v.Servers, QStringList(10, QString()));
    QVERIFY(!QFile::exists(m_path));
}

void tst_OptionStore::oldFileReads()
{
    // Written by hand the way older versions and users leave it: other letter case, quotes,
    // blanks, a font size of zero.
    writeFile("[general]\r\n"
              "timeout = 45\r\n"
              "ViewerFontSize=0\r\n"
              "MailProgram=\"/usr/bin/mutt\"\r\n"
              "[FILTER]\r\n"
              "HighLight3=sale\r\n"
              "Color3=0\r\n"
              "HighLightColor3=$FF\r\n"
              "[DialUp]\r\n"
              "EnableDiapUp=1\r\n"
              "Entry=2\r\n"
              "[Schedule]\r\n"
              "ScheduleCheck=1\r\n"
              "Schedule=6,18\r\n"
              "[Server]\r\n"
              "1=Work\r\n");
    TOptionStore store(m_path, m_encryption);
    QStringList errors;
    const TOptionSettings v = store.Load(QString(), errors);
    QVERIFY(errors.isEmpty());
    QCOMPARE(v.Timeout, QStringLiteral("45"));
    QCOMPARE(v.ViewerFontSize, 10);
    QCOMPARE(v.MailProgram, QStringLiteral("/usr/bin/mutt"));
    QCOMPARE(v.Filter.HighLight[2], QStringLiteral("sale"));
    QVERIFY(!v.Filter.Color[2]);
    QCOMPARE(v.Filter.HighLightColor[2], 255);
    QVERIFY(v.EnableDialUp);
    QCOMPARE(v.Entry, 2);
    QVERIFY(v.ScheduleCheck);
    QCOMPARE(v.Schedule, QStringLiteral("6,18"));
    QCOMPARE(v.Servers.value(1), QStringLiteral("Work"));
}

void tst_OptionStore::saveKeepsKeyOrder()
{
    TOptionStore store(m_path, m_encryption);
    QStringList errors;
    store.Save(store.Load(QString(), errors));
    QCOMPARE(keysOf("General"), (QStringList{"MailProgram", "ViewerFontName", "ViewerFontSize", "PrinterFontName",
                                             "PrinterFontSize", "Timeout", "ConsolePassword"}));
    QCOMPARE(keysOf("Filter").mid(0, 8), (QStringList{"HighLight1", "HighLightColor1", "Delete1", "Color1",
                                                      "HighLight2", "HighLightColor2", "Delete2", "Color2"}));
    QCOMPARE(keysOf("Filter").size(), 20);
    QCOMPARE(keysOf("DialUp"), (QStringList{"EnableDiapUp", "ConnectedOnly", "Redial", "RedialInterval", "DialUpLogin",
                                            "Entry", "DialUpPassword"}));
    QCOMPARE(keysOf("Schedule"), (QStringList{"IntervalCheck", "ScheduleCheck", "AutoCheck", "Schedule"}));
    QCOMPARE(keysOf("Server"), (QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

void tst_OptionStore::roundTrip()
{
    TOptionSettings v;
    v.Timeout = QStringLiteral("$1F");
    v.MailProgram = QStringLiteral("/usr/bin/郵件");
    v.ViewerFontName = QStringLiteral("Noto Sans");
    v.ViewerFontSize = 14;
    v.PrinterFontSize = 9;
    v.ConsolePassword = QStringLiteral("guard");
    v.Animation = QStringLiteral("a.avi");
    v.Sound = QString();
    v.ReadableView = false;
    v.Filter.HighLight[4] = QStringLiteral("SPAM");
    v.Filter.Delete[4] = true;
    v.Filter.Color[0] = false;
    v.Filter.HighLightColor[1] = 0xFF00;
    v.EnableDialUp = true;
    v.Redial = QStringLiteral("5");
    v.RedialInterval = QStringLiteral("60");
    v.DialUpLogin = QStringLiteral("dialer");
    v.DialUpPassword = QStringLiteral("secret");
    v.Entry = 3;
    v.IntervalCheck = false;
    v.ScheduleCheck = true;
    v.AutoCheck = QStringLiteral("15");
    v.Schedule = QStringLiteral("6,12");
    v.Servers = QStringList{"A", "", "B"};

    {
        TOptionStore store(m_path, m_encryption);
        store.Save(v);
    }
    // Passwords are never stored in clear.
    const QString stored = TIniFile(m_path).ReadString("General", "ConsolePassword", QString());
    QVERIFY(!stored.isEmpty() && stored != QLatin1String("guard"));
    QCOMPARE(m_encryption.Unscramble(stored), QStringLiteral("guard"));

    TOptionStore store(m_path, m_encryption);
    QStringList errors;
    const TOptionSettings r = store.Load(QStringLiteral("/x/"), errors);
    QVERIFY(errors.isEmpty());
    QCOMPARE(r.Timeout, v.Timeout);
    QCOMPARE(r.MailProgram, v.MailProgram);
    QCOMPARE(r.ViewerFontName, v.ViewerFontName);
    QCOMPARE(r.ViewerFontSize, 14);
    QCOMPARE(r.PrinterFontSize, 9);
    QCOMPARE(r.ConsolePassword, v.ConsolePassword);
    QCOMPARE(r.Animation, v.Animation);
    // Stored empty, not missing: the shipped sound is not offered again.
    QCOMPARE(r.Sound, QString());
    QVERIFY(!r.ReadableView);
    QCOMPARE(TIniFile(m_path).ReadString("Option", "ReadableView", QString()), QStringLiteral("0"));
    QCOMPARE(r.Filter.HighLight[4], QStringLiteral("SPAM"));
    QVERIFY(r.Filter.Delete[4] && !r.Filter.Color[0]);
    QCOMPARE(r.Filter.HighLightColor[1], 0xFF00);
    QVERIFY(r.EnableDialUp);
    QCOMPARE(r.Redial, v.Redial);
    QCOMPARE(r.RedialInterval, v.RedialInterval);
    QCOMPARE(r.DialUpLogin, v.DialUpLogin);
    QCOMPARE(r.DialUpPassword, v.DialUpPassword);
    QCOMPARE(r.Entry, 3);
    QVERIFY(!r.IntervalCheck && r.ScheduleCheck);
    QCOMPARE(r.AutoCheck, v.AutoCheck);
    QCOMPARE(r.Schedule, v.Schedule);
    QCOMPARE(r.Servers, (QStringList{"A", "", "B", "", "", "", "", "", "", ""}));
}

void tst_OptionStore::unreadablePasswordKept()
{
    writeFile("[General]\nConsolePassword=not hex\n[DialUp]\nDialUpPassword=ZZ\n");
    TOptionStore store(m_path, m_encryption);
    QStringList errors;
    TOptionSettings v = store.Load(QString(), errors);
    QCOMPARE(errors.size(), 2);
    QVERIFY(v.ConsolePassword.isEmpty() && v.DialUpPassword.isEmpty());

    // Left empty, the unreadable text stays; a typed password replaces it.
    v.DialUpPassword = QStringLiteral("new");
    store.Save(v);
    const TIniFile ini(m_path);
    QCOMPARE(ini.ReadString("General", "ConsolePassword", QString()), QStringLiteral("not hex"));
    QCOMPARE(m_encryption.Unscramble(ini.ReadString("DialUp", "DialUpPassword", QString())), QStringLiteral("new"));
}

void tst_OptionStore::mailboxEntries()
{
    writeFile("[Work]\nHost=old\nPassword=bad!\n[IDs:Work]\n1=<a@b>\n[Home]\nHost=h\n");
    TOptionStore store(m_path, m_encryption);
    QString error;
    TMailboxSettings work = store.LoadMailbox(QStringLiteral("Work"), error);
    QVERIFY(!error.isEmpty());
    QCOMPARE(work.Host, QStringLiteral("old"));
    QVERIFY(work.Password.isEmpty());
    // A file from before encryption: plaintext on the usual port, nothing pinned.
    QCOMPARE(work.Security, QStringLiteral("None"));
    QCOMPARE(work.Port, QString());
    QCOMPARE(work.CertSha256, QString());

    // A mailbox's password is replaced even when left empty.
    store.SaveMailbox(QStringLiteral("Work"), {QStringLiteral("pop.example"), QStringLiteral("me"), QString(),
                                               QStringLiteral("None"), QString(), QString()});
    work = store.LoadMailbox(QStringLiteral("Work"), error);
    QVERIFY(error.isEmpty());
    QCOMPARE(work.Host, QStringLiteral("pop.example"));
    QCOMPARE(work.Login, QStringLiteral("me"));
    QCOMPARE(work.Password, QString());

    TMailboxSettings secure;
    secure.Host = QStringLiteral("pop.example");
    secure.Password = QStringLiteral("pw");
    secure.Security = QStringLiteral("TLS");
    secure.Port = QStringLiteral("995");
    secure.CertSha256 = QStringLiteral("AB:CD");
    store.SaveMailbox(QStringLiteral("Work"), secure);
    work = TOptionStore(m_path, m_encryption).LoadMailbox(QStringLiteral("Work"), error);
    QCOMPARE(work.Security, QStringLiteral("TLS"));
    QCOMPARE(work.Port, QStringLiteral("995"));
    QCOMPARE(work.CertSha256, QStringLiteral("AB:CD"));
    QCOMPARE(work.Password, QStringLiteral("pw"));
    QCOMPARE(TOptionStore(m_path, m_encryption).LoadMailbox(QStringLiteral("Home"), error).Security,
             QStringLiteral("None"));

    store.EraseMailbox(QStringLiteral("Work"));
    const TIniFile ini(m_path);
    QVERIFY(!ini.SectionExists(QStringLiteral("Work")));
    QVERIFY(!ini.SectionExists(QStringLiteral("IDs:Work")));
    QVERIFY(ini.SectionExists(QStringLiteral("Home")));
}

void tst_OptionStore::pinOnlyForTheStoredServer_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("pinned");

    // Stored: Host=Mail.Example, Security=tls, no port.
    QTest::newRow("same") << QStringLiteral("Mail.Example") << QStringLiteral("TLS") << QString() << true;
    QTest::newRow("host in other case, usual port named")
        << QStringLiteral(" mail.example ") << QStringLiteral("tls") << QStringLiteral("995") << true;
    QTest::newRow("other host") << QStringLiteral("other.example") << QStringLiteral("TLS") << QString() << false;
    QTest::newRow("other port") << QStringLiteral("Mail.Example") << QStringLiteral("TLS") << QStringLiteral("996")
                                << false;
    QTest::newRow("other security, its own usual port")
        << QStringLiteral("Mail.Example") << QStringLiteral("STARTTLS") << QString() << false;
    QTest::newRow("other security, same port number")
        << QStringLiteral("Mail.Example") << QStringLiteral("STARTTLS") << QStringLiteral("995") << false;
}

void tst_OptionStore::pinOnlyForTheStoredServer()
{
    QFETCH(QString, host);
    QFETCH(QString, security);
    QFETCH(QString, port);
    QFETCH(bool, pinned);
    const QByteArray before = "[Server]\n0=Home\n[Home]\nHost=Mail.Example\nLogin=joe\nSecurity=tls\n";
    writeFile(before);
    const QString pin = QStringLiteral("AB:").repeated(31) + QStringLiteral("AB");
    TOptionStore store(m_path, m_encryption);
    TMailboxSettings typed;
    typed.Host = host;
    typed.Security = security;
    typed.Port = port;
    typed.CertSha256 = pin;
    QCOMPARE(store.PinIfSameServer(QStringLiteral("home"), typed), pinned);
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), pinned ? before + "CertSha256=" + pin.toLatin1() + "\n" : before);
}

QTEST_GUILESS_MAIN(tst_OptionStore)
#include "tst_OptionStore.moc"
