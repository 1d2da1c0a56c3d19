#include "auth/TOAuthAccess.h"
#include "core/EAbort.h"
#include "core/TClock.h"
#include "mailbox/TConnectionTest.h"
#include "mailbox/TImapIdle.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TMailSession.h"
#include "mailbox/TUidlCache.h"
#include "net/TSecureSockets.h"
#include "settings/TAccount.h"
#include "settings/TIniFile.h"
#include "settings/TMailboxPasswords.h"
#include "testsupport/TAuthServer.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TMemoryPasswordStore.h"
#include "testsupport/TRecordingSessionHost.h"
#include "testsupport/TTestBrowser.h"
#include "testsupport/TTestCertificates.h"

#include <QCryptographicHash>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const QString kName = QStringLiteral("Token Box");

// A mailbox window's side of a session, with the program's token holder behind it.
class TOAuthHost : public TRecordingSessionHost {
public:
    TOAuthAccess* OAuth = nullptr;
    int Renewals = 0;
    int PasswordReads = 0;

    TOAuthAccess::TResult AccessToken(bool renew, QByteArray& token, QString& message) override
    {
        Renewals += renew;
        return OAuth->Token(Account(), renew, token, message);
    }
    QByteArray CachedAccessToken() override { return OAuth->CachedToken(Account()); }
    QString Password(const QString& login, bool mayAsk) override
    {
        ++PasswordReads;
        return TRecordingSessionHost::Password(login, mayAsk);
    }
};

} // namespace

// Logging in with tokens against a private Dovecot whose oauth2 passdb asks a local
// authorization server, POP3 and IMAP, through the factory's session as a mailbox window
// drives it; the browser is a fetching fake that counts how often it is opened.
class tst_OAuthDovecot : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void authorizeThenLogIn_data();
    void authorizeThenLogIn();
    void expiryAndEarlyRevocation_data();
    void expiryAndEarlyRevocation();
    void revokedNeedsAuthorization_data();
    void revokedNeedsAuthorization();
    void serverCannotCheckTokens_data();
    void serverCannotCheckTokens();
    void mechanismNotOffered();
    void plainConnectionRefusedBeforeConnecting();
    void pushLogsInWithTheHeldToken();
    void connectionTest();

private:
    // Dovecot with its oauth2 passdb (or without), the mailbox's section written for it.
    bool start(bool imap, const QString& mechanism, bool oauth = true);
    void write(const QString& key, const QString& value) { TIniFile(m_host->Path).WriteString(kName, key, value); }
    bool authorize();
    bool check();
    QList<QByteArray> listedIds() const;
    QString logins(const QString& mechanism) const;

    TTestCertificates m_pki;
    std::unique_ptr<TAuthServer> m_auth;
    std::unique_ptr<TDovecot> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TMemoryPasswordStore> m_store;
    std::unique_ptr<TOAuthAccess> m_access;
    std::unique_ptr<TTestBrowser> m_browser;
    std::unique_ptr<TOAuthHost> m_host;
    std::unique_ptr<TMailListModel> m_list;
    std::unique_ptr<TMailSession> m_session;
    int m_opened = 0;
};

void tst_OAuthDovecot::initTestCase()
{
    QString error;
    QVERIFY2(m_pki.Make(&error), qPrintable(error));
}

void tst_OAuthDovecot::init()
{
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        QSKIP(qPrintable(why));
    }
    TClock::SetFixed(QDateTime(QDate(2026, 3, 2), QTime(9, 0)));
    m_auth = std::make_unique<TAuthServer>();
    QVERIFY(m_auth->start());
    m_dir = std::make_unique<QTemporaryDir>();
    m_store = std::make_unique<TMemoryPasswordStore>();
    m_access = std::make_unique<TOAuthAccess>(m_store.get());
    m_browser = std::make_unique<TTestBrowser>();
    m_opened = 0;
    m_access->Opener = [this](const QUrl& url) {
        ++m_opened;
        return m_browser->open(url);
    };
    m_host = std::make_unique<TOAuthHost>();
    m_host->Name = kName;
    m_host->Path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_host->OAuth = m_access.get();
    m_list = std::make_unique<TMailListModel>();
}

void tst_OAuthDovecot::cleanup()
{
    m_session.reset();
    m_server.reset();
    m_access.reset();
    m_auth.reset();
    TUidlCache::WaitForSaves();
    TSecureSockets::SetExtraCaCertificates({});
    TClock::SetReal();
}

bool tst_OAuthDovecot::start(bool imap, const QString& mechanism, bool oauth)
{
    m_server = std::make_unique<TDovecot>();
    m_server->SetImap(true);
    m_server->SetSsl(TDovecot::TSsl::Required, m_pki.Cert(QStringLiteral("selfsigned")),
                     m_pki.Key(QStringLiteral("selfsigned")));
    if (oauth) {
        m_server->SetOAuth2(m_auth->url(QStringLiteral("/userinfo")).toString());
    }
    QString error;
    if (!m_server->Start(&error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    // Introspection names the user the login is for.
    m_auth->setUser(m_server->User());
    TIniFile ini(m_host->Path);
    ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("10"));
    write(QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    write(QStringLiteral("Login"), m_server->User());
    write(QStringLiteral("Protocol"), imap ? QStringLiteral("IMAP") : QStringLiteral("POP3"));
    write(QStringLiteral("Security"), QStringLiteral("TLS"));
    write(QStringLiteral("Port"), QString::number(imap ? m_server->ImapsPort() : m_server->TlsPort()));
    write(QStringLiteral("CertSha256"), TTestCertificates::Fingerprint(m_pki.Cert(QStringLiteral("selfsigned"))));
    write(QStringLiteral("Auth"), QStringLiteral("OAuth2"));
    write(QStringLiteral("OAuthAuthorizeUrl"), m_auth->url(QStringLiteral("/authorize")).toString());
    write(QStringLiteral("OAuthTokenUrl"), m_auth->url(QStringLiteral("/token")).toString());
    write(QStringLiteral("OAuthScope"), QStringLiteral("mail offline_access"));
    write(QStringLiteral("OAuthClientId"), QStringLiteral("mailvane-test"));
    write(QStringLiteral("OAuthMechanism"), mechanism);
    return true;
}

bool tst_OAuthDovecot::authorize()
{
    QSignalSpy done(m_access.get(), &TOAuthAccess::authorized);
    QSignalSpy failed(m_access.get(), &TOAuthAccess::authorizationFailed);
    if (!m_access->Authorize(m_host->Account())) {
        return false;
    }
    return QTest::qWaitFor([&] { return done.count() + failed.count() > 0; }, 10000) && done.count() == 1;
}

bool tst_OAuthDovecot::check()
{
    if (!m_session) {
        m_session = TMailSession::Create(TAccount(), *m_list, *m_host);
    }
    m_host->Events.clear();
    bool ok = false;
    try {
        m_session->Check(false);
        ok = true;
    } catch (const EAbort&) {
    }
    m_session->Unwound();
    return ok;
}

QList<QByteArray> tst_OAuthDovecot::listedIds() const
{
    QList<QByteArray> ids;
    for (int row = 1; row <= m_list->Count(); ++row) {
        ids.append(m_list->Id(row));
    }
    return ids;
}

QString tst_OAuthDovecot::logins(const QString& mechanism) const
{
    // Dovecot's line for a login names its method.
    QStringList found;
    for (const QString& line : m_server->LogText().split(QLatin1Char('\n'))) {
        if (line.contains(QStringLiteral("Login: user=<")) && line.contains(QStringLiteral("method=") + mechanism)) {
            found.append(line);
        }
    }
    return found.join(QLatin1Char('\n'));
}

void tst_OAuthDovecot::authorizeThenLogIn_data()
{
    QTest::addColumn<bool>("imap");
    QTest::addColumn<QString>("mechanism");
    QTest::newRow("POP3, XOAUTH2") << false << "XOAUTH2";
    QTest::newRow("POP3, OAUTHBEARER") << false << "OAUTHBEARER";
    QTest::newRow("IMAP, XOAUTH2") << true << "XOAUTH2";
    QTest::newRow("IMAP, OAUTHBEARER") << true << "OAUTHBEARER";
}

void tst_OAuthDovecot::authorizeThenLogIn()
{
    QFETCH(bool, imap);
    QFETCH(QString, mechanism);
    QVERIFY(start(imap, mechanism));
    m_server->AddMessage(TDovecot::MakeMessage("<m1@test>", "a@test", "One"));
    // Another mailbox's password and the file's own password stay where they are.
    const QString other = TMailboxPasswords::KeyOf(QStringLiteral("Other"), m_server->User());
    m_store->Entries.insert(other, QStringLiteral("other secret"));

    // Before any authorization: refused before connecting, and no browser from a check.
    QVERIFY(!check());
    QVERIFY(m_host->LastFailure.NeedsAuthorization);
    QVERIFY2(m_host->LastFailure.Message.contains(QStringLiteral("需要重新授權")) &&
                 m_host->LastFailure.Message.contains(kName),
             qPrintable(m_host->LastFailure.Message));
    QVERIFY(m_host->EventsOf(QStringLiteral("connected")).isEmpty());
    QCOMPARE(m_opened, 0);

    QVERIFY(authorize());
    QCOMPARE(m_opened, 1);
    QVERIFY2(check(), qPrintable(m_host->LastFailure.Message));
    QCOMPARE(listedIds(), QList<QByteArray>{"<m1@test>"});
    QCOMPARE(m_host->EventsOf(QStringLiteral("connected")), QStringList{QStringLiteral("connected:1")});
    QVERIFY2(!logins(mechanism).isEmpty(), qPrintable(m_server->LogText()));
    QCOMPARE(m_host->PasswordReads, 0);
    QCOMPARE(m_host->Renewals, 0);

    // The verifier went to the token endpoint and is the one the challenge was made from.
    const QString verifier = m_auth->tokenRequests().constFirst().value(QStringLiteral("code_verifier"));
    QVERIFY(!verifier.isEmpty());
    QCOMPARE(QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
                 .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals),
             m_auth->lastAuthorize().value(QStringLiteral("code_challenge")).toLatin1());

    // Tokens: the refresh token in this mailbox's own keyring entry, none in the file.
    QCOMPARE(m_store->Entries.size(), 2);
    QCOMPARE(m_store->Entries.value(other), QStringLiteral("other secret"));
    QCOMPARE(m_store->Entries.value(TOAuthAccess::KeyOf(kName, m_server->User())).toLatin1(),
             m_auth->refreshTokens().constLast());
    QFile file(m_host->Path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray settings = file.readAll();
    for (const QByteArray& token : m_auth->accessTokens() + m_auth->refreshTokens()) {
        QVERIFY(!settings.contains(token));
    }
    for (const QString& message : m_host->Messages) {
        for (const QByteArray& token : m_auth->accessTokens() + m_auth->refreshTokens()) {
            QVERIFY(!message.contains(QString::fromLatin1(token)));
        }
    }
}

void tst_OAuthDovecot::expiryAndEarlyRevocation_data()
{
    QTest::addColumn<bool>("imap");
    QTest::addColumn<QString>("mechanism");
    QTest::newRow("POP3, XOAUTH2") << false << "XOAUTH2";
    QTest::newRow("IMAP, OAUTHBEARER") << true << "OAUTHBEARER";
}

void tst_OAuthDovecot::expiryAndEarlyRevocation()
{
    QFETCH(bool, imap);
    QFETCH(QString, mechanism);
    m_auth->setAccessLifetime(600);
    QVERIFY(start(imap, mechanism));
    QVERIFY(authorize());
    QVERIFY2(check(), qPrintable(m_host->LastFailure.Message));
    const int requests = m_auth->tokenRequests().size();
    const QString entry = TOAuthAccess::KeyOf(kName, m_server->User());

    // Lapsed here: refreshed before connecting, the rotated refresh token saved.
    TClock::Advance(601 * 1000);
    QVERIFY2(check(), qPrintable(m_host->LastFailure.Message));
    QCOMPARE(m_auth->tokenRequests().size(), requests + 1);
    QCOMPARE(m_host->Renewals, 0);
    QCOMPARE(m_store->Entries.value(entry).toLatin1(), m_auth->refreshTokens().constLast());

    // Revoked early by the provider while still valid here: the server's refusal (after the
    // error challenge) brings one refresh and a second attempt on the same connection.
    m_auth->expireAccessTokens();
    QVERIFY2(check(), qPrintable(m_host->LastFailure.Message));
    QCOMPARE(m_host->Renewals, 1);
    QCOMPARE(m_auth->tokenRequests().size(), requests + 2);
    QCOMPARE(m_store->Entries.value(entry).toLatin1(), m_auth->refreshTokens().constLast());
    QCOMPARE(m_host->EventsOf(QStringLiteral("connected")), QStringList{QStringLiteral("connected:1")});
    QCOMPARE(m_opened, 1);
}

void tst_OAuthDovecot::revokedNeedsAuthorization_data()
{
    QTest::addColumn<bool>("imap");
    QTest::newRow("POP3") << false;
    QTest::newRow("IMAP") << true;
}

void tst_OAuthDovecot::revokedNeedsAuthorization()
{
    QFETCH(bool, imap);
    QVERIFY(start(imap, QStringLiteral("XOAUTH2")));
    QVERIFY(authorize());
    QVERIFY2(check(), qPrintable(m_host->LastFailure.Message));
    const QString password = TMailboxPasswords::KeyOf(kName, m_server->User());
    m_store->Entries.insert(password, QStringLiteral("kept"));

    // Everything revoked: the server refuses the token, the refresh gets invalid_grant.
    m_auth->expireAccessTokens();
    m_auth->revokeRefreshTokens();
    QVERIFY(!check());
    QCOMPARE(m_host->EventsOf(QStringLiteral("failed")), QStringList{QStringLiteral("failed:refused:0")});
    QVERIFY(m_host->LastFailure.NeedsAuthorization);
    QVERIFY(m_host->Leds.constLast().startsWith(QStringLiteral("Red/")));
    QVERIFY2(m_host->Messages.constLast().contains(QStringLiteral("需要重新授權")) &&
                 m_host->Messages.constLast().contains(kName),
             qPrintable(m_host->Messages.constLast()));
    QCOMPARE(m_host->Renewals, 1);
    // The refused token is gone; the password's entry is not; no browser was opened.
    QVERIFY(!m_store->Entries.contains(TOAuthAccess::KeyOf(kName, m_server->User())));
    QCOMPARE(m_store->Entries.value(password), QStringLiteral("kept"));
    QCOMPARE(m_opened, 1);

    // Authorizing again brings the mailbox back.
    QVERIFY(authorize());
    QVERIFY2(check(), qPrintable(m_host->LastFailure.Message));
}

void tst_OAuthDovecot::serverCannotCheckTokens_data()
{
    QTest::addColumn<bool>("imap");
    QTest::newRow("POP3") << false;
    QTest::newRow("IMAP") << true;
}

void tst_OAuthDovecot::serverCannotCheckTokens()
{
    QFETCH(bool, imap);
    QVERIFY(start(imap, QStringLiteral("XOAUTH2")));
    QVERIFY(authorize());
    const int requests = m_auth->tokenRequests().size();
    const QString stored = m_store->Entries.value(TOAuthAccess::KeyOf(kName, m_server->User()));

    // Dovecot's introspection is refused: a temporary failure, no refresh, nothing dropped.
    m_auth->setIntrospectionUnauthorized(true);
    QVERIFY(!check());
    QVERIFY(!m_host->LastFailure.NeedsAuthorization);
    QVERIFY2(m_host->LastFailure.Message.contains(QStringLiteral("暫時")), qPrintable(m_host->LastFailure.Message));
    QCOMPARE(m_host->Renewals, 0);
    QCOMPARE(m_auth->tokenRequests().size(), requests);
    QCOMPARE(m_store->Entries.value(TOAuthAccess::KeyOf(kName, m_server->User())), stored);

    // The token endpoint down and no usable token: this check fails, the next one works.
    m_auth->setIntrospectionUnauthorized(false);
    m_auth->setTokenUnavailable(true);
    TClock::Advance(3600 * 1000);
    QVERIFY(!check());
    QVERIFY(!m_host->LastFailure.NeedsAuthorization);
    QVERIFY(m_host->EventsOf(QStringLiteral("connected")).isEmpty());
    m_auth->setTokenUnavailable(false);
    QVERIFY2(check(), qPrintable(m_host->LastFailure.Message));
    QCOMPARE(m_opened, 1);
}

void tst_OAuthDovecot::mechanismNotOffered()
{
    // A server that takes passwords only: refused, and no password is sent instead.
    QVERIFY(start(true, QStringLiteral("XOAUTH2"), false));
    write(QStringLiteral("Password"), m_server->Password());
    QVERIFY(authorize());
    QVERIFY(!check());
    QVERIFY2(m_host->LastFailure.Message.contains(QStringLiteral("XOAUTH2")), qPrintable(m_host->LastFailure.Message));
    QCOMPARE(m_host->PasswordReads, 0);
    QVERIFY(!m_server->LogText().contains(QStringLiteral("Login: user=")));
}

void tst_OAuthDovecot::plainConnectionRefusedBeforeConnecting()
{
    // Nobody listens at the port: a connection attempt would fail as a connection.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    write(QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    write(QStringLiteral("Login"), QStringLiteral("mvuser"));
    write(QStringLiteral("Port"), QString::number(port));
    write(QStringLiteral("Security"), QStringLiteral("None"));
    write(QStringLiteral("Auth"), QStringLiteral("OAuth2"));
    write(QStringLiteral("OAuthAuthorizeUrl"), m_auth->url(QStringLiteral("/authorize")).toString());
    write(QStringLiteral("OAuthTokenUrl"), m_auth->url(QStringLiteral("/token")).toString());
    write(QStringLiteral("OAuthScope"), QStringLiteral("mail"));
    write(QStringLiteral("OAuthClientId"), QStringLiteral("mailvane-test"));
    for (const QString& protocol : {QStringLiteral("POP3"), QStringLiteral("IMAP")}) {
        write(QStringLiteral("Protocol"), protocol);
        m_session.reset();
        QVERIFY(!check());
        QCOMPARE(m_host->EventsOf(QStringLiteral("failed")), QStringList{QStringLiteral("failed:refused:0")});
        QVERIFY2(m_host->LastFailure.Message.contains(QStringLiteral("加密連線")),
                 qPrintable(m_host->LastFailure.Message));
    }
    QVERIFY(m_auth->requests().isEmpty());
    QCOMPARE(m_host->PasswordReads, 0);
}

void tst_OAuthDovecot::pushLogsInWithTheHeldToken()
{
    QVERIFY(start(true, QStringLiteral("OAUTHBEARER")));
    QVERIFY(authorize());
    const int requests = m_auth->tokenRequests().size();
    TImapIdle idle;
    idle.SetTokenSource([this] { return m_host->CachedAccessToken(); });
    idle.Follow(m_host->Account(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(idle.Active(), 10000);
    QVERIFY2(!logins(QStringLiteral("OAUTHBEARER")).isEmpty(), qPrintable(m_server->LogText()));
    // The push connection only takes what is held: it never waits for a refresh.
    QCOMPARE(m_auth->tokenRequests().size(), requests);
    idle.Stop();
}

void tst_OAuthDovecot::connectionTest()
{
    QVERIFY(start(true, QStringLiteral("XOAUTH2")));
    const TAccount account = m_host->Account();
    TConnectionParams params;
    params.Host = account.Host;
    params.Port = account.Port;
    params.Security = QStringLiteral("TLS");
    params.CertSha256 = account.CertSha256;
    params.Login = account.Login;
    params.Protocol = QStringLiteral("IMAP");
    params.Timeout = 10;
    params.Auth = QStringLiteral("OAuth2");
    params.Mailbox = kName;
    params.OAuthAuthorizeUrl = account.OAuthAuthorizeUrl;
    params.OAuthTokenUrl = account.OAuthTokenUrl;
    params.OAuthScope = account.OAuthScope;
    params.OAuthClientId = account.OAuthClientId;
    params.OAuth = m_access.get();

    TConnectionTestResult result = TConnectionTest::Run(params);
    QVERIFY(!result.Ok);
    QVERIFY2(result.Message.contains(QStringLiteral("需要重新授權")), qPrintable(result.Message));
    QCOMPARE(m_opened, 0);

    QVERIFY(authorize());
    result = TConnectionTest::Run(params);
    QVERIFY2(result.Ok, qPrintable(result.Message));
    QVERIFY(result.Encrypted);

    params.Security = QStringLiteral("None");
    result = TConnectionTest::Run(params);
    QVERIFY(!result.Ok);
    QVERIFY2(result.Message.contains(QStringLiteral("加密連線")), qPrintable(result.Message));
}

QTEST_GUILESS_MAIN(tst_OAuthDovecot)
#include "tst_OAuthDovecot.moc"
