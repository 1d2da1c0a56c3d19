#include "core/EConvertError.h"
#include "settings/TAccount.h"
#include "settings/TIniFile.h"

#include <QTemporaryDir>
#include <QtTest>

// A mailbox's account as the settings layer reads it for the session.
class tst_Account : public QObject {
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void timeoutIsConvertedWhenUsed();
    void oauthKeys();
};

void tst_Account::read_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("security");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("push");

    const QString hex = QStringLiteral("ab").repeated(32);
    const QString normalised = QStringLiteral("AB:").repeated(31) + QStringLiteral("AB");
    const int none = int(TAccount::TSecurityKind::None);
    const int tls = int(TAccount::TSecurityKind::Tls);
    const int pop3 = int(TAccount::TProtocol::Pop3);
    const int imap = int(TAccount::TProtocol::Imap);
    QTest::newRow("old file") << QString() << QString() << none << QString() << QString() << pop3 << "INBOX" << true;
    QTest::newRow("TLS, port, pin") << "Security=tls\nPort= 995 \nCertSha256=" + hex << QString() << tls << "995"
                                    << normalised << pop3 << "INBOX" << true;
    QTest::newRow("STARTTLS") << "Security=StartTLS" << QString() << int(TAccount::TSecurityKind::StartTls) << QString()
                              << QString() << pop3 << "INBOX" << true;
    QTest::newRow("IMAP with a folder") << "Protocol=imap\nFolder=Archiv/2024" << QString() << none << "143"
                                        << QString() << imap << "Archiv/2024" << true;
    // An empty port is the usual one of the protocol and security; a written one stays.
    QTest::newRow("IMAP over TLS") << "Protocol=IMAP\nSecurity=TLS\nPush=0" << QString() << tls << "993" << QString()
                                   << imap << "INBOX" << false;
    QTest::newRow("IMAP STARTTLS, port") << "Protocol=IMAP\nSecurity=STARTTLS\nPort=1143" << QString()
                                         << int(TAccount::TSecurityKind::StartTls) << "1143" << QString() << imap
                                         << "INBOX" << true;
    QTest::newRow("POP3 keeps an empty port")
        << "Protocol=POP3\nSecurity=TLS" << QString() << tls << QString() << QString() << pop3 << "INBOX" << true;
    // Hand-edited values are refused in words, never read as a weaker setting.
    QTest::newRow("security word") << "Security=SSL"
                                   << "「SSL」無法辨認" << none << QString() << QString() << pop3 << "INBOX" << true;
    QTest::newRow("port") << "Security=TLS\nPort=99999"
                          << "埠號" << tls << "99999" << QString() << pop3 << "INBOX" << true;
    QTest::newRow("pin") << "Security=TLS\nCertSha256=12:34"
                         << "指紋格式錯誤" << tls << QString() << QString() << pop3 << "INBOX" << true;
    QTest::newRow("protocol") << "Protocol=SMTP"
                              << "「SMTP」無法辨認" << none << QString() << QString() << pop3 << "INBOX" << true;
    // A token login sends a bearer secret: never over a plain connection, never as a password.
    QTest::newRow("OAuth2 needs encryption")
        << "Auth=OAuth2"
        << "必須使用加密連線" << none << QString() << QString() << pop3 << "INBOX" << true;
    QTest::newRow("auth word") << "Security=TLS\nAuth=Token"
                               << "「Token」無法辨認" << tls << QString() << QString() << pop3 << "INBOX" << true;
}

void tst_Account::read()
{
    QFETCH(QString, section);
    QFETCH(QString, error);
    QFETCH(int, security);
    QFETCH(QString, port);
    QFETCH(QString, pin);
    QFETCH(int, protocol);
    QFETCH(QString, folder);
    QFETCH(bool, push);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Mailvane.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(("[General]\nTimeout=9\n[Option]\nReadableView=0\n[Box]\nHost=pop.example\nLogin=me\n" + section + "\n")
                   .toUtf8());
    file.close();

    const TAccount account = TAccount::Read(TIniFile(path), QStringLiteral("Box"));
    QCOMPARE(account.Name, QStringLiteral("Box"));
    QCOMPARE(account.SettingsPath, path);
    QCOMPARE(account.Host, QStringLiteral("pop.example"));
    QCOMPARE(account.Login, QStringLiteral("me"));
    QCOMPARE(account.Timeout(), 9);
    QCOMPARE(account.ViewLimit(), TAccount::RawViewLimit);
    if (error.isEmpty()) {
        QCOMPARE(account.Error, QString());
    } else {
        QVERIFY2(account.Error.contains(error), qPrintable(account.Error));
    }
    QCOMPARE(int(account.Security), security);
    QCOMPARE(account.Port, port);
    QCOMPARE(account.CertSha256, pin);
    QCOMPARE(int(account.Protocol), protocol);
    QCOMPARE(account.Folder, folder);
    QCOMPARE(account.Push, push);
}

void tst_Account::timeoutIsConvertedWhenUsed()
{
    TAccount account;
    account.TimeoutText = QStringLiteral("soon");
    QVERIFY_THROWS_EXCEPTION(EConvertError, account.Timeout());
    QCOMPARE(TAccount().ViewLimit(), TAccount::ReadableViewLimit);
}

void tst_Account::oauthKeys()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Mailvane.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Old]\nHost=h\nSecurity=TLS\n"
               "[Box]\nHost=imap.example\nSecurity=TLS\nProtocol=IMAP\nAuth= oauth2 \nOAuthProvider=\n"
               "OAuthAuthorizeUrl=https://id.example/auth\nOAuthTokenUrl=https://id.example/token\n"
               "OAuthScope=mail\nOAuthClientId=cid\nOAuthClientSecret=cs\nOAuthMechanism=OAUTHBEARER\n");
    file.close();

    const TAccount old = TAccount::Read(TIniFile(path), QStringLiteral("Old"));
    QCOMPARE(old.Error, QString());
    QCOMPARE(old.Auth, TAccount::TAuth::Password);
    QVERIFY(old.OAuthClientId.isEmpty());

    const TAccount account = TAccount::Read(TIniFile(path), QStringLiteral("Box"));
    QCOMPARE(account.Error, QString());
    QCOMPARE(account.Auth, TAccount::TAuth::OAuth2);
    QCOMPARE(account.Security, TAccount::TSecurityKind::Tls);
    QCOMPARE(account.Protocol, TAccount::TProtocol::Imap);
    QCOMPARE(account.OAuthAuthorizeUrl, QStringLiteral("https://id.example/auth"));
    QCOMPARE(account.OAuthTokenUrl, QStringLiteral("https://id.example/token"));
    QCOMPARE(account.OAuthScope, QStringLiteral("mail"));
    QCOMPARE(account.OAuthClientId, QStringLiteral("cid"));
    QCOMPARE(account.OAuthClientSecret, QStringLiteral("cs"));
    QCOMPARE(account.OAuthMechanism, QStringLiteral("OAUTHBEARER"));
}

QTEST_GUILESS_MAIN(tst_Account)
#include "tst_Account.moc"
