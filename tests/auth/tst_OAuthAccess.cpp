#include "auth/TOAuthAccess.h"
#include "core/TClock.h"
#include "settings/TAccount.h"
#include "settings/TMailboxPasswords.h"
#include "testsupport/TAuthServer.h"
#include "testsupport/TMemoryPasswordStore.h"
#include "testsupport/TTestBrowser.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using TResult = TOAuthAccess::TResult;

// The program's token holder against a local authorization server: what is stored where,
// when it refreshes, and that a session's request never opens the browser.
class tst_OAuthAccess : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void authorizeStoresAndCaches();
    void expiryRenewAndRotation();
    void revokedNeedsAuthorizationWithoutBrowser();
    void unreachableIsTemporary();
    void oneRefreshForTwoCallers();
    void withoutKeyringForTheRunOnly();
    void entriesPerMailbox();
    void refusedBeforeAnyRequest();
    void cancelWaitsEndsARefresh();

private:
    TAccount account(const QString& name = QStringLiteral("Box"), const QString& login = QStringLiteral("me")) const;
    // Authorizes account through the fake browser; false when it did not end well.
    bool authorize(TOAuthAccess& access, const TAccount& account);
    int refreshRequests() const;

    std::unique_ptr<TAuthServer> m_server;
    std::unique_ptr<TTestBrowser> m_browser;
    int m_opened = 0;
};

void tst_OAuthAccess::init()
{
    m_server = std::make_unique<TAuthServer>();
    QVERIFY(m_server->start());
    m_browser = std::make_unique<TTestBrowser>();
    m_opened = 0;
    TClock::SetFixed(QDateTime(QDate(2026, 3, 2), QTime(9, 0)));
}

void tst_OAuthAccess::cleanup()
{
    TClock::SetReal();
    m_browser.reset();
    m_server.reset();
}

TAccount tst_OAuthAccess::account(const QString& name, const QString& login) const
{
    TAccount a;
    a.Name = name;
    a.Login = login;
    a.Host = QStringLiteral("127.0.0.1");
    a.Security = TAccount::TSecurityKind::Tls;
    a.Auth = TAccount::TAuth::OAuth2;
    a.OAuthAuthorizeUrl = m_server->url(QStringLiteral("/authorize")).toString();
    a.OAuthTokenUrl = m_server->url(QStringLiteral("/token")).toString();
    a.OAuthScope = QStringLiteral("mail offline");
    a.OAuthClientId = QStringLiteral("mailvane-test");
    return a;
}

bool tst_OAuthAccess::authorize(TOAuthAccess& access, const TAccount& account)
{
    access.Opener = [this](const QUrl& url) {
        ++m_opened;
        return m_browser->open(url);
    };
    QSignalSpy done(&access, &TOAuthAccess::authorized);
    QSignalSpy failed(&access, &TOAuthAccess::authorizationFailed);
    if (!access.Authorize(account)) {
        return false;
    }
    if (!QTest::qWaitFor([&] { return done.count() + failed.count() > 0; }, 10000)) {
        return false;
    }
    return done.count() == 1 && failed.isEmpty() && done.at(0).at(0).toString() == account.Name &&
           !access.Authorizing();
}

int tst_OAuthAccess::refreshRequests() const
{
    int n = 0;
    for (const TAuthServer::TFields& form : m_server->tokenRequests()) {
        n += form.value(QStringLiteral("grant_type")) == QLatin1String("refresh_token");
    }
    return n;
}

void tst_OAuthAccess::authorizeStoresAndCaches()
{
    TMemoryPasswordStore store;
    store.Entries.insert(TMailboxPasswords::KeyOf(QStringLiteral("Box"), QStringLiteral("me")),
                         QStringLiteral("password"));
    TOAuthAccess access(&store);
    const TAccount box = account();
    QVERIFY(!access.HasRefreshToken(box));
    QVERIFY(authorize(access, box));
    QCOMPARE(m_opened, 1);

    // The refresh token beside, not over, the password's entry.
    QCOMPARE(store.Entries.size(), 2);
    QCOMPARE(store.Entries.value(TMailboxPasswords::KeyOf(QStringLiteral("Box"), QStringLiteral("me"))),
             QStringLiteral("password"));
    QCOMPARE(store.Entries.value(TOAuthAccess::KeyOf(QStringLiteral("Box"), QStringLiteral("me"))).toLatin1(),
             m_server->refreshTokens().constLast());
    QVERIFY(access.HasRefreshToken(box));

    // The access token of the authorization serves the first login: no further request.
    const int requests = m_server->tokenRequests().size();
    QByteArray token;
    QString message;
    QCOMPARE(access.Token(box, false, token, message), TResult::Ok);
    QCOMPARE(token, m_server->accessTokens().constLast());
    QCOMPARE(access.CachedToken(box), token);
    QCOMPARE(m_server->tokenRequests().size(), requests);
}

void tst_OAuthAccess::expiryRenewAndRotation()
{
    m_server->setAccessLifetime(600);
    TMemoryPasswordStore store;
    TOAuthAccess access(&store);
    const TAccount box = account();
    QVERIFY(authorize(access, box));
    const QByteArray first = m_server->accessTokens().constLast();
    const QString entry = TOAuthAccess::KeyOf(box.Name, box.Login);

    QByteArray token;
    QString message;
    // Shortly before it lapses the token is no longer handed out: a refresh brings a new one.
    TClock::Advance((600 - 30) * 1000);
    QVERIFY(access.CachedToken(box).isEmpty());
    QCOMPARE(access.Token(box, false, token, message), TResult::Ok);
    QCOMPARE(refreshRequests(), 1);
    QVERIFY(token != first);
    QCOMPARE(token, m_server->accessTokens().constLast());
    // The provider rotated the refresh token: the keyring holds the new one, the old is spent.
    QCOMPARE(m_server->refreshTokens().size(), 2);
    QCOMPARE(store.Entries.value(entry).toLatin1(), m_server->refreshTokens().constLast());

    // renew: the server refused a token still valid here; a new one all the same.
    QCOMPARE(access.Token(box, true, token, message), TResult::Ok);
    QCOMPARE(refreshRequests(), 2);
    QCOMPARE(token, m_server->accessTokens().constLast());
    QCOMPARE(store.Entries.value(entry).toLatin1(), m_server->refreshTokens().constLast());

    // A provider that keeps its refresh token: the stored one stays and still works.
    m_server->setRotateRefreshTokens(false);
    const QString kept = store.Entries.value(entry);
    QCOMPARE(access.Token(box, true, token, message), TResult::Ok);
    QCOMPARE(store.Entries.value(entry), kept);
    QCOMPARE(m_opened, 1);
}

void tst_OAuthAccess::revokedNeedsAuthorizationWithoutBrowser()
{
    TMemoryPasswordStore store;
    const QString password = TMailboxPasswords::KeyOf(QStringLiteral("Box"), QStringLiteral("me"));
    store.Entries.insert(password, QStringLiteral("password"));
    TOAuthAccess access(&store);
    const TAccount box = account();
    QVERIFY(authorize(access, box));
    QSignalSpy notOpened(&access, &TOAuthAccess::browserNotOpened);
    m_server->revokeRefreshTokens();

    QByteArray token;
    QString message;
    QCOMPARE(access.Token(box, true, token, message), TResult::NeedsAuthorization);
    QCOMPARE(message, QStringLiteral("需要重新授權"));
    QVERIFY(token.isEmpty());
    // The refused token is dropped; the password's entry is none of its business.
    QVERIFY(!store.Entries.contains(TOAuthAccess::KeyOf(box.Name, box.Login)));
    QCOMPARE(store.Entries.value(password), QStringLiteral("password"));
    QVERIFY(!access.HasRefreshToken(box));
    // Asked again: no second request to the provider, still no browser.
    const int requests = m_server->tokenRequests().size();
    QCOMPARE(access.Token(box, false, token, message), TResult::NeedsAuthorization);
    QCOMPARE(m_server->tokenRequests().size(), requests);
    QCOMPARE(m_opened, 1);
    QVERIFY(notOpened.isEmpty());
    QVERIFY(!access.Authorizing());
}

void tst_OAuthAccess::unreachableIsTemporary()
{
    TMemoryPasswordStore store;
    TOAuthAccess access(&store);
    const TAccount box = account();
    QVERIFY(authorize(access, box));
    const QString entry = TOAuthAccess::KeyOf(box.Name, box.Login);
    const QString stored = store.Entries.value(entry);

    QByteArray token;
    QString message;
    m_server->setTokenUnavailable(true);
    QCOMPARE(access.Token(box, true, token, message), TResult::Temporary);
    QVERIFY(!message.isEmpty());
    QCOMPARE(store.Entries.value(entry), stored);

    // A token endpoint nobody listens at.
    TAccount gone = box;
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    gone.OAuthTokenUrl = QStringLiteral("http://127.0.0.1:%1/token").arg(closed.serverPort());
    closed.close();
    QCOMPARE(access.Token(gone, true, token, message), TResult::Temporary);
    QCOMPARE(store.Entries.value(entry), stored);

    m_server->setTokenUnavailable(false);
    QCOMPARE(access.Token(box, true, token, message), TResult::Ok);
    QCOMPARE(token, m_server->accessTokens().constLast());
}

void tst_OAuthAccess::oneRefreshForTwoCallers()
{
    // A rotating refresh token may be spent once: a second caller during the wait must
    // take the first one's result, or its own refresh would be refused and the stored
    // authorization lost.
    TMemoryPasswordStore store;
    TOAuthAccess access(&store);
    const TAccount box = account();
    QVERIFY(authorize(access, box));
    QByteArray token;
    QByteArray inner;
    QString message;
    TResult innerResult = TResult::Temporary;
    bool ran = false;
    QTimer::singleShot(0, &access, [&] {
        QString innerMessage;
        innerResult = access.Token(box, true, inner, innerMessage);
        ran = true;
    });
    QCOMPARE(access.Token(box, true, token, message), TResult::Ok);
    QVERIFY(ran);
    QCOMPARE(innerResult, TResult::Ok);
    QCOMPARE(inner, token);
    QCOMPARE(refreshRequests(), 1);
    QCOMPARE(store.Entries.value(TOAuthAccess::KeyOf(box.Name, box.Login)).toLatin1(),
             m_server->refreshTokens().constLast());
}

void tst_OAuthAccess::withoutKeyringForTheRunOnly()
{
    const TAccount box = account();
    QByteArray token;
    QString message;
    {
        TOAuthAccess access(nullptr);
        QVERIFY(authorize(access, box));
        QCOMPARE(access.Token(box, true, token, message), TResult::Ok);
        QVERIFY(access.HasRefreshToken(box));
    }
    TOAuthAccess later(nullptr);
    QCOMPARE(later.Token(box, false, token, message), TResult::NeedsAuthorization);

    // A keyring the user turned off in the settings file is not written either.
    QTemporaryDir dir;
    TAccount off = box;
    off.SettingsPath = dir.filePath(QStringLiteral("Mailvane.ini"));
    QFile file(off.SettingsPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Option]\nUseKeyring=0\n");
    file.close();
    TMemoryPasswordStore store;
    TOAuthAccess access(&store);
    QVERIFY(authorize(access, off));
    QCOMPARE(access.Token(off, true, token, message), TResult::Ok);
    QCOMPARE(store.Calls, 0);
}

void tst_OAuthAccess::entriesPerMailbox()
{
    TMemoryPasswordStore store;
    TOAuthAccess access(&store);
    const TAccount a = account(QStringLiteral("A"), QStringLiteral("me"));
    const TAccount b = account(QStringLiteral("B"), QStringLiteral("me"));
    QVERIFY(authorize(access, a));
    const QByteArray tokenA = m_server->accessTokens().constLast();
    QVERIFY(authorize(access, b));
    QCOMPARE(store.Entries.size(), 2);
    QVERIFY(store.Entries.value(TOAuthAccess::KeyOf(QStringLiteral("A"), QStringLiteral("me"))) !=
            store.Entries.value(TOAuthAccess::KeyOf(QStringLiteral("B"), QStringLiteral("me"))));
    QCOMPARE(access.CachedToken(a), tokenA);

    access.Forget(b);
    QVERIFY(!access.HasRefreshToken(b));
    QVERIFY(access.CachedToken(b).isEmpty());
    QVERIFY(access.HasRefreshToken(a));
    QCOMPARE(store.Entries.size(), 1);
}

void tst_OAuthAccess::refusedBeforeAnyRequest()
{
    TMemoryPasswordStore store;
    TOAuthAccess access(&store);
    QByteArray token;
    QString message;
    QString error;
    TOAuthProvider provider;

    TAccount noClient = account();
    noClient.OAuthClientId.clear();
    QVERIFY(!TOAuthAccess::Provider(noClient, provider, error));
    QVERIFY2(error.contains(QStringLiteral("用戶端 ID")), qPrintable(error));
    QCOMPARE(access.Token(noClient, false, token, message), TResult::NeedsAuthorization);
    QCOMPARE(message, error);

    // Authorize answers through its signal, also when nothing can start.
    QSignalSpy failed(&access, &TOAuthAccess::authorizationFailed);
    TAccount password = account();
    password.Auth = TAccount::TAuth::Password;
    QVERIFY(access.Authorize(password));
    QVERIFY(access.Authorizing());
    QVERIFY(!access.Authorize(account()));
    QVERIFY(failed.wait(5000));
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("Box"));
    QVERIFY(!access.Authorizing());

    TAccount refused = account();
    refused.Error = QStringLiteral("以瀏覽器登入（OAuth2）的信箱必須使用加密連線");
    QVERIFY(access.Authorize(refused));
    QVERIFY(failed.wait(5000));
    QCOMPARE(failed.at(1).at(1).toString(), refused.Error);

    QVERIFY(m_server->requests().isEmpty());
    QCOMPARE(m_opened, 0);
}

void tst_OAuthAccess::cancelWaitsEndsARefresh()
{
    TMemoryPasswordStore store;
    TOAuthAccess access(&store);
    const TAccount box = account();
    QVERIFY(authorize(access, box));

    // A token endpoint that takes the request and never answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    TAccount stuck = box;
    stuck.OAuthTokenUrl = QStringLiteral("http://127.0.0.1:%1/token").arg(silent.serverPort());
    bool asked = false;
    connect(&silent, &QTcpServer::newConnection, this, [&] {
        asked = true;
        QTimer::singleShot(0, &access, [&access] { access.CancelWaits(); });
    });
    QByteArray token;
    QString message;
    QElapsedTimer took;
    took.start();
    QCOMPARE(access.Token(stuck, true, token, message), TResult::Temporary);
    QVERIFY(asked);
    QVERIFY(took.elapsed() < 5000);
    // The stored authorization is untouched by a refresh that never ended.
    QCOMPARE(store.Entries.value(TOAuthAccess::KeyOf(box.Name, box.Login)).toLatin1(),
             m_server->refreshTokens().constLast());
}

QTEST_GUILESS_MAIN(tst_OAuthAccess)
#include "tst_OAuthAccess.moc"
