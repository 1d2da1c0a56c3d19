#include "auth/TOAuthFlow.h"
#include "testsupport/TAuthServer.h"
#include "testsupport/TTestBrowser.h"

#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

using Failure = TOAuthFlow::Failure;
using Mode = TAuthServer::AuthorizeMode;

// The whole authorization against a local authorization server, with a fetching fake in
// place of the browser; and everything the loopback listener must refuse.
class tst_OAuthFlow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void authorizeThenRefresh();
    void refreshFailures_data();
    void refreshFailures();
    void refusedRedirects_data();
    void refusedRedirects();
    void verifierIsChecked();
    void foreignRequestsDoNotEndTheAttempt_data();
    void foreignRequestsDoNotEndTheAttempt();
    void timeOutCancelAndFreshSecrets();
    void listensOnLoopbackOnly();
    void browserNotOpened();
    void setupFailures_data();
    void setupFailures();
    void introspection();

private:
    TOAuthProvider provider() { return providerFor(*m_server); }
    static TOAuthProvider providerFor(TAuthServer& server);
    // A flow whose browser is the fake; the spies watch its two outcomes.
    struct Attempt {
        explicit Attempt(const TOAuthProvider& p)
            : flow(p), finished(&flow, &TOAuthFlow::finished), failed(&flow, &TOAuthFlow::failed)
        {
            flow.Opener = browser.opener();
        }
        TTestBrowser browser;
        TOAuthFlow flow;
        QSignalSpy finished;
        QSignalSpy failed;
        // Waits for the one outcome; false when none came or more than one.
        bool ended()
        {
            if (!QTest::qWaitFor([this] { return finished.count() + failed.count() > 0; }, 10000)) {
                return false;
            }
            // Nothing may follow the outcome.
            QTest::qWait(0);
            return finished.count() + failed.count() == 1;
        }
        TOAuthTokens tokens() const { return finished.value(0).value(0).value<TOAuthTokens>(); }
        Failure kind() const { return failed.value(0).value(0).value<Failure>(); }
        QString message() const { return failed.value(0).value(1).toString(); }
    };
    // Authorizes once through the fake browser.
    static TOAuthTokens authorized(TAuthServer& server);
    static QByteArray fetch(const QUrl& url, const QByteArray& authorization);

    std::unique_ptr<TAuthServer> m_server;
};

TOAuthProvider tst_OAuthFlow::providerFor(TAuthServer& server)
{
    TOAuthProvider p;
    p.AuthorizeUrl = server.url(QStringLiteral("/authorize"));
    p.TokenUrl = server.url(QStringLiteral("/token"));
    p.Scope = QStringLiteral("mail offline");
    p.ClientId = QStringLiteral("mailvane-test");
    return p;
}

TOAuthTokens tst_OAuthFlow::authorized(TAuthServer& server)
{
    Attempt a(providerFor(server));
    a.flow.Authorize();
    if (!a.ended() || a.finished.count() != 1) {
        return TOAuthTokens();
    }
    return a.tokens();
}

void tst_OAuthFlow::init()
{
    m_server = std::make_unique<TAuthServer>();
    QVERIFY(m_server->start());
    m_server->setUser(QStringLiteral("alice@example.org"));
}

void tst_OAuthFlow::cleanup()
{
    m_server.reset();
}

void tst_OAuthFlow::authorizeThenRefresh()
{
    Attempt a(provider());
    // A "+" in the hint must reach the provider as a "+", not as a blank.
    QVERIFY(a.flow.Authorize(QStringLiteral("alice+mail@example.org")));
    QVERIFY(a.flow.Busy());
    const QUrl redirect = a.flow.RedirectUri();
    QVERIFY(a.ended());
    QCOMPARE(a.failed.count(), 0);
    QVERIFY(!a.flow.Busy());

    const TAuthServer::TFields asked = m_server->lastAuthorize();
    QCOMPARE(asked.value("response_type"), QStringLiteral("code"));
    QCOMPARE(asked.value("client_id"), QStringLiteral("mailvane-test"));
    QCOMPARE(asked.value("redirect_uri"), redirect.toString());
    QVERIFY(redirect.toString().startsWith(QStringLiteral("http://127.0.0.1:")));
    QCOMPARE(asked.value("scope"), QStringLiteral("mail offline"));
    QCOMPARE(asked.value("login_hint"), QStringLiteral("alice+mail@example.org"));
    QCOMPARE(asked.value("code_challenge_method"), QStringLiteral("S256"));
    QVERIFY(asked.value("state").size() >= 32);

    // The verifier went to the token endpoint, fits RFC 7636 and matches the challenge.
    QCOMPARE(m_server->tokenRequests().size(), 1);
    const TAuthServer::TFields exchange = m_server->tokenRequests().at(0);
    QCOMPARE(exchange.value("grant_type"), QStringLiteral("authorization_code"));
    QCOMPARE(exchange.value("redirect_uri"), redirect.toString());
    QVERIFY(!exchange.contains("client_secret"));
    const QByteArray verifier = exchange.value("code_verifier").toLatin1();
    QVERIFY(verifier.size() >= 43 && verifier.size() <= 128);
    for (const char c : verifier) {
        QVERIFY(QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~").contains(c));
    }
    QCOMPARE(TOAuthFlow::Challenge(verifier), asked.value("code_challenge").toLatin1());

    const TOAuthTokens first = a.tokens();
    QCOMPARE(first.AccessToken, m_server->accessTokens().value(0));
    QCOMPARE(first.RefreshToken, m_server->refreshTokens().value(0));
    QVERIFY(first.RefreshTokenRenewed);
    QCOMPARE(first.ExpiresIn, qint64(300));
    // The browser was told, in Chinese, that it worked.
    QTRY_COMPARE(a.browser.pages(), 1);
    QCOMPARE(a.browser.lastStatus(), 200);
    QVERIFY(QString::fromUtf8(a.browser.lastPage()).contains(QStringLiteral("已取得授權")));

    // A refresh: new access token, the refresh token rotated, and the old one dead.
    QVERIFY(a.flow.Refresh(first.RefreshToken));
    QVERIFY(!a.flow.Authorize());
    QVERIFY(!a.flow.Refresh(first.RefreshToken));
    QTRY_COMPARE(a.finished.count(), 2);
    const TOAuthTokens second = a.finished.at(1).at(0).value<TOAuthTokens>();
    QCOMPARE(m_server->tokenRequests().at(1).value("grant_type"), QStringLiteral("refresh_token"));
    QCOMPARE(m_server->tokenRequests().at(1).value("refresh_token").toLatin1(), first.RefreshToken);
    QCOMPARE(second.AccessToken, m_server->accessTokens().value(1));
    QCOMPARE(second.RefreshToken, m_server->refreshTokens().value(1));
    QVERIFY(second.RefreshTokenRenewed);
    QVERIFY(second.RefreshToken != first.RefreshToken);
    QCOMPARE(a.failed.count(), 0);
    // The browser saw nothing of the refresh.
    QCOMPARE(a.browser.pages(), 1);
}

void tst_OAuthFlow::refreshFailures_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<Failure>("kind");
    QTest::addColumn<QString>("words");
    QTest::newRow("rotated out") << "rotated" << false << Failure::InvalidGrant << "需要重新授權";
    QTest::newRow("revoked") << "revoked" << false << Failure::InvalidGrant << "需要重新授權";
    QTest::newRow("never issued") << "unknown" << false << Failure::InvalidGrant << "需要重新授權";
    QTest::newRow("nothing stored") << "empty" << false << Failure::InvalidGrant << "需要重新授權";
    QTest::newRow("endpoint unavailable") << "unavailable" << false << Failure::Temporary << "temporarily_unavailable";
    QTest::newRow("client refused") << "client" << false << Failure::Temporary << "invalid_client";
    QTest::newRow("endpoint unreachable") << "unreachable" << false << Failure::Temporary << "請稍後再試";
    QTest::newRow("no rotation") << "kept" << true << Failure::Setup << "";
}

void tst_OAuthFlow::refreshFailures()
{
    QFETCH(QString, situation);
    QFETCH(bool, succeeds);
    QFETCH(Failure, kind);
    QFETCH(QString, words);
    const TOAuthTokens first = authorized(*m_server);
    QVERIFY(!first.RefreshToken.isEmpty());
    QByteArray presented = first.RefreshToken;
    TOAuthProvider p = provider();
    if (situation == QLatin1String("rotated")) {
        QVERIFY(!authorized(*m_server).RefreshToken.isEmpty());
        Attempt refresh(p);
        refresh.flow.Refresh(first.RefreshToken);
        QVERIFY(refresh.ended());
        QCOMPARE(refresh.finished.count(), 1);
        // The one just replaced is no longer good, only its successor.
    } else if (situation == QLatin1String("revoked")) {
        m_server->revokeRefreshTokens();
    } else if (situation == QLatin1String("unknown")) {
        presented = "rt-never-issued";
    } else if (situation == QLatin1String("empty")) {
        presented.clear();
    } else if (situation == QLatin1String("unavailable")) {
        m_server->setTokenUnavailable(true);
    } else if (situation == QLatin1String("client")) {
        m_server->setClient(QStringLiteral("mailvane-test"), QStringLiteral("secret"));
    } else if (situation == QLatin1String("unreachable")) {
        TAuthServer gone;
        p.TokenUrl = gone.url(QStringLiteral("/token"));
    } else if (situation == QLatin1String("kept")) {
        m_server->setRotateRefreshTokens(false);
    }
    Attempt a(p);
    QVERIFY(a.flow.Refresh(presented));
    // The outcome comes from the event loop, never from inside the call.
    QCOMPARE(a.finished.count() + a.failed.count(), 0);
    QVERIFY(a.ended());
    if (succeeds) {
        QCOMPARE(a.finished.count(), 1);
        // No new refresh token: the one used stays, and there is nothing to store again.
        QCOMPARE(a.tokens().RefreshToken, presented);
        QVERIFY(!a.tokens().RefreshTokenRenewed);
        QCOMPARE(a.tokens().AccessToken, m_server->accessTokens().constLast());
        return;
    }
    QCOMPARE(a.failed.count(), 1);
    QCOMPARE(a.kind(), kind);
    QVERIFY2(a.message().contains(words), qPrintable(a.message()));
    QVERIFY(!presented.isEmpty() ? !a.message().contains(QString::fromLatin1(presented)) : true);
    QVERIFY(!a.message().contains(QString::fromLatin1(first.AccessToken)));
}

void tst_OAuthFlow::refusedRedirects_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<Failure>("kind");
    QTest::addColumn<QString>("words");
    QTest::newRow("wrong state") << Mode::WrongState << Failure::BadState << "state 不同";
    QTest::newRow("denied") << Mode::Deny << Failure::Denied << "授權被拒絕";
}

void tst_OAuthFlow::refusedRedirects()
{
    QFETCH(Mode, mode);
    QFETCH(Failure, kind);
    QFETCH(QString, words);
    m_server->setAuthorizeMode(mode);
    Attempt a(provider());
    a.flow.Authorize();
    QVERIFY(a.ended());
    QCOMPARE(a.failed.count(), 1);
    QCOMPARE(a.kind(), kind);
    QVERIFY2(a.message().contains(words), qPrintable(a.message()));
    // No code was spent, and the browser says why.
    QVERIFY(m_server->tokenRequests().isEmpty());
    QTRY_COMPARE(a.browser.pages(), 1);
    QCOMPARE(a.browser.lastStatus(), 400);
    QVERIFY(QString::fromUtf8(a.browser.lastPage()).contains(words.toHtmlEscaped()));
}

void tst_OAuthFlow::verifierIsChecked()
{
    // Someone between the program and the browser swaps the challenge: the provider then
    // holds a challenge the program's verifier does not match, and the code is refused.
    Attempt a(provider());
    a.flow.Opener = [&a](const QUrl& url) {
        QUrlQuery query(url);
        query.removeQueryItem(QStringLiteral("code_challenge"));
        query.addQueryItem(QStringLiteral("code_challenge"),
                           QString::fromLatin1(TOAuthFlow::Challenge(TOAuthFlow::NewVerifier())));
        QUrl changed = url;
        changed.setQuery(query);
        return a.browser.open(changed);
    };
    a.flow.Authorize();
    QVERIFY(a.ended());
    QCOMPARE(a.failed.count(), 1);
    QCOMPARE(a.kind(), Failure::InvalidGrant);
    QCOMPARE(m_server->tokenRequests().size(), 1);
    QVERIFY(m_server->accessTokens().isEmpty());
}

void tst_OAuthFlow::foreignRequestsDoNotEndTheAttempt_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status"); // the answer's status line; empty: closed unanswered
    // STATE stands for the attempt's own state: even with it, a wrong request is refused.
    QTest::newRow("wrong path") << QByteArray("GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                                << QByteArray("HTTP/1.1 404 ");
    QTest::newRow("wrong path, right query")
        << QByteArray("GET /cb?code=c&state=STATE HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 404 ");
    QTest::newRow("POST") << QByteArray("POST /?code=c&state=STATE HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
                          << QByteArray("HTTP/1.1 405 ");
    QTest::newRow("garbage") << QByteArray::fromHex("160301020000010001fc0303") + "\r\n\r\n"
                             << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("absolute form") << QByteArray("GET http://127.0.0.1/?code=c&state=STATE HTTP/1.1\r\n\r\n")
                                   << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("no parameters") << QByteArray("GET / HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("state twice") << QByteArray("GET /?code=c&state=STATE&state=STATE HTTP/1.1\r\n\r\n")
                                 << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("oversized") << QByteArray("GET /?pad=") + QByteArray(9000, 'x') << QByteArray("HTTP/1.1 431 ");
    QTest::newRow("oversized head") << QByteArray("GET / HTTP/1.1\r\nX: ") + QByteArray(9000, 'x')
                                    << QByteArray("HTTP/1.1 431 ");
    QTest::newRow("request line held back") << QByteArray("GET /?co") << QByteArray();
    QTest::newRow("head held back") << QByteArray("GET /?code=c&state=STATE HTTP/1.1\r\nHost: x\r\n") << QByteArray();
    QTest::newRow("silent") << QByteArray() << QByteArray();
}

void tst_OAuthFlow::foreignRequestsDoNotEndTheAttempt()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    Attempt a(provider());
    QUrl opened;
    a.flow.Opener = [&opened](const QUrl& url) {
        opened = url;
        return true;
    };
    a.flow.RequestTimeoutMs = 300;
    a.flow.Authorize();
    QVERIFY(opened.isValid());
    const QByteArray state = QUrlQuery(opened).queryItemValue(QStringLiteral("state")).toLatin1();
    request.replace("STATE", state);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(a.flow.RedirectUri().port()));
    QTRY_COMPARE(client.state(), QAbstractSocket::ConnectedState);
    client.write(request);
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += client.readAll(), client.state() == QAbstractSocket::UnconnectedState), 5000);
    answer += client.readAll();
    if (status.isEmpty()) {
        QCOMPARE(answer, QByteArray());
    } else {
        QVERIFY2(answer.startsWith(status), answer.left(60).constData());
        QVERIFY(answer.contains("Connection: close"));
    }
    // The attempt goes on: the real redirect still completes it.
    QVERIFY(a.flow.Busy());
    QCOMPARE(a.failed.count(), 0);
    a.browser.open(opened);
    QVERIFY(a.ended());
    QCOMPARE(a.finished.count(), 1);
}

void tst_OAuthFlow::timeOutCancelAndFreshSecrets()
{
    QCOMPARE(TOAuthFlow(provider()).AttemptTimeoutMs, 5 * 60 * 1000);
    QList<QUrl> opened;
    Attempt a(provider());
    a.flow.Opener = [&opened](const QUrl& url) {
        opened << url;
        return true;
    };
    // No answer in time.
    a.flow.AttemptTimeoutMs = 100;
    a.flow.Authorize();
    const quint16 port = quint16(a.flow.RedirectUri().port());
    QVERIFY(a.ended());
    QCOMPARE(a.kind(), Failure::TimedOut);
    QVERIFY(a.message().contains(QStringLiteral("逾時")));
    // The listener is gone with the attempt.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE(probe.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(probe.error(), QAbstractSocket::ConnectionRefusedError);

    // Cancelled by the user.
    a.flow.AttemptTimeoutMs = 60000;
    QVERIFY(a.flow.Authorize());
    a.flow.Cancel();
    QCOMPARE(a.failed.count(), 2);
    QCOMPARE(a.failed.at(1).at(0).value<Failure>(), Failure::Cancelled);
    QVERIFY(!a.flow.Busy());
    a.flow.Cancel();
    QCOMPARE(a.failed.count(), 2);

    // Every attempt has its own state and verifier.
    QCOMPARE(opened.size(), 2);
    const QUrlQuery first(opened.at(0));
    const QUrlQuery second(opened.at(1));
    QVERIFY(first.queryItemValue(QStringLiteral("state")) != second.queryItemValue(QStringLiteral("state")));
    QVERIFY(first.queryItemValue(QStringLiteral("code_challenge")) !=
            second.queryItemValue(QStringLiteral("code_challenge")));
    QCOMPARE(a.finished.count(), 0);
}

void tst_OAuthFlow::listensOnLoopbackOnly()
{
    Attempt a(provider());
    a.flow.Opener = [](const QUrl&) { return true; };
    a.flow.Authorize();
    QCOMPARE(a.flow.ListenAddress(), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(a.flow.RedirectUri().host(), QStringLiteral("127.0.0.1"));
    const quint16 port = quint16(a.flow.RedirectUri().port());
    int tried = 0;
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address == QHostAddress(QHostAddress::LocalHost)) {
            continue;
        }
        QTcpSocket client;
        client.connectToHost(address, port);
        QTRY_VERIFY(client.state() == QAbstractSocket::UnconnectedState ||
                    client.state() == QAbstractSocket::ConnectedState);
        QVERIFY2(client.state() != QAbstractSocket::ConnectedState, qPrintable(address.toString()));
        ++tried;
    }
    // At least the IPv6 loopback or another interface was tried where the machine has one.
    if (tried == 0) {
        QSKIP("no address but 127.0.0.1 on this machine");
    }
    QVERIFY(a.flow.Busy());
}

void tst_OAuthFlow::browserNotOpened()
{
    // No browser came up: the address is handed out and the attempt waits for it.
    Attempt a(provider());
    a.flow.Opener = [](const QUrl&) { return false; };
    QSignalSpy notOpened(&a.flow, &TOAuthFlow::browserNotOpened);
    a.flow.Authorize();
    QCOMPARE(notOpened.count(), 0);
    QVERIFY(notOpened.wait(5000));
    QVERIFY(a.flow.Busy());
    const QUrl url = notOpened.at(0).at(0).toUrl();
    QCOMPARE(url, a.flow.AuthorizationUrl());
    a.browser.open(url);
    QVERIFY(a.ended());
    QCOMPARE(a.finished.count(), 1);
    QCOMPARE(notOpened.count(), 1);
}

void tst_OAuthFlow::setupFailures_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("words");
    QTest::newRow("no opener") << "no opener"
                               << "沒有可以開啟瀏覽器的方法";
    QTest::newRow("token endpoint over http") << "http"
                                              << "必須使用 https";
    QTest::newRow("no client id") << "no client"
                                  << "用戶端 ID";
}

void tst_OAuthFlow::setupFailures()
{
    QFETCH(QString, situation);
    QFETCH(QString, words);
    TOAuthProvider p = provider();
    if (situation == QLatin1String("http")) {
        p.TokenUrl = QUrl(QStringLiteral("http://auth.example.org/token"));
    } else if (situation == QLatin1String("no client")) {
        p.ClientId.clear();
    }
    Attempt a(p);
    if (situation == QLatin1String("no opener")) {
        a.flow.Opener = nullptr;
    }
    QVERIFY(a.flow.Authorize());
    QCOMPARE(a.failed.count(), 0);
    QVERIFY(a.ended());
    QCOMPARE(a.kind(), Failure::Setup);
    QVERIFY2(a.message().contains(words), qPrintable(a.message()));
    QVERIFY(m_server->requests().isEmpty());
    QVERIFY(!a.flow.Busy());
}

QByteArray tst_OAuthFlow::fetch(const QUrl& url, const QByteArray& authorization)
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", authorization);
    QNetworkReply* reply = network.get(request);
    QSignalSpy done(reply, &QNetworkReply::finished);
    if (!done.wait(10000)) {
        return QByteArray();
    }
    reply->deleteLater();
    return QByteArray::number(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()) + ' ' +
           reply->readAll();
}

void tst_OAuthFlow::introspection()
{
    // What Dovecot's oauth2 passdb will ask of the test server.
    const TOAuthTokens tokens = authorized(*m_server);
    const QUrl userinfo = m_server->url(QStringLiteral("/userinfo"));
    QCOMPARE(fetch(userinfo, "Bearer " + tokens.AccessToken),
             QByteArray(R"(200 {"active":true,"email":"alice@example.org"})"));
    QCOMPARE(fetch(userinfo, "Bearer at-forged"), QByteArray(R"(200 {"active":false})"));
    QCOMPARE(fetch(userinfo, QByteArray()), QByteArray(R"(200 {"active":false})"));
    m_server->expireAccessTokens();
    QCOMPARE(fetch(userinfo, "Bearer " + tokens.AccessToken), QByteArray(R"(200 {"active":false})"));
    m_server->setIntrospectionUnauthorized(true);
    QVERIFY(fetch(userinfo, "Bearer " + tokens.AccessToken).startsWith("401 "));
    QCOMPARE(m_server->introspections(), 5);
}

QTEST_GUILESS_MAIN(tst_OAuthFlow)
#include "tst_OAuthFlow.moc"
