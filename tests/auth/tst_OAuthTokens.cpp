#include "auth/TOAuthTokenCache.h"
#include "auth/TOAuthTokens.h"
#include "core/TClock.h"

#include <QTest>

using Answer = TOAuthTokens::Answer;

// Reading a token endpoint's answer, and how long an access token is handed out.
class tst_OAuthTokens : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void answers_data();
    void answers();
    void cacheHandsOutUntilShortlyBeforeExpiry_data();
    void cacheHandsOutUntilShortlyBeforeExpiry();
    void cacheKeepsMailboxesApart();
};

void tst_OAuthTokens::cleanup()
{
    TClock::SetReal();
}

void tst_OAuthTokens::answers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QByteArray>("access");
    QTest::addColumn<QByteArray>("refresh"); // "old" when the one given stays
    QTest::addColumn<qint64>("expiresIn");
    QTest::addColumn<QString>("errorCode");

    QTest::newRow("full") << 200 << QByteArray(R"({"access_token":"ya29.a-b_c","token_type":"Bearer","expires_in":3599,
                                            "refresh_token":"1//r","scope":"https://mail.google.com/"})")
                          << Answer::Ok << QByteArray("ya29.a-b_c") << QByteArray("1//r") << qint64(3599) << "";
    QTest::newRow("no refresh token, bearer lower case")
        << 200 << QByteArray(R"({"access_token":"a","token_type":"bearer","expires_in":60})") << Answer::Ok
        << QByteArray("a") << QByteArray("old") << qint64(60) << "";
    QTest::newRow("lifetime as text, no type")
        << 200 << QByteArray(R"({"access_token":"a","expires_in":"300"})") << Answer::Ok << QByteArray("a")
        << QByteArray("old") << qint64(300) << "";
    QTest::newRow("no lifetime") << 200 << QByteArray(R"({"access_token":"a"})") << Answer::Ok << QByteArray("a")
                                 << QByteArray("old") << qint64(-1) << "";
    QTest::newRow("negative lifetime") << 200 << QByteArray(R"({"access_token":"a","expires_in":-5})") << Answer::Ok
                                       << QByteArray("a") << QByteArray("old") << qint64(0) << "";
    QTest::newRow("other token type") << 200 << QByteArray(R"({"access_token":"a","token_type":"mac"})")
                                      << Answer::Malformed << QByteArray() << QByteArray("old") << qint64(-1) << "";
    QTest::newRow("token with a blank") << 200 << QByteArray(R"({"access_token":"a b"})") << Answer::Malformed
                                        << QByteArray() << QByteArray("old") << qint64(-1) << "";
    QTest::newRow("refresh token with a control")
        << 200 << QByteArray(R"({"access_token":"a","refresh_token":"r\u0001"})") << Answer::Malformed << QByteArray()
        << QByteArray("old") << qint64(-1) << "";
    QTest::newRow("no access token") << 200 << QByteArray(R"({"token_type":"Bearer"})") << Answer::Malformed
                                     << QByteArray() << QByteArray("old") << qint64(-1) << "";
    QTest::newRow("not JSON") << 200 << QByteArray("<html>ok</html>") << Answer::Malformed << QByteArray()
                              << QByteArray("old") << qint64(-1) << "";
    QTest::newRow("too large") << 200
                               << QByteArray(R"({"access_token":"a","pad":")") +
                                      QByteArray(TOAuthTokens::MaxAnswer, 'x') + "\"}"
                               << Answer::Malformed << QByteArray() << QByteArray("old") << qint64(-1) << "";
    QTest::newRow("invalid_grant") << 400 << QByteArray(R"({"error":"invalid_grant","error_description":"Bad"})")
                                   << Answer::InvalidGrant << QByteArray() << QByteArray("old") << qint64(-1)
                                   << "invalid_grant";
    // Only a client error of the grant means "authorize again".
    QTest::newRow("invalid_grant from a failing server")
        << 500 << QByteArray(R"({"error":"invalid_grant"})") << Answer::Refused << QByteArray() << QByteArray("old")
        << qint64(-1) << "invalid_grant";
    QTest::newRow("invalid_client") << 401 << QByteArray(R"({"error":"invalid_client"})") << Answer::Refused
                                    << QByteArray() << QByteArray("old") << qint64(-1) << "invalid_client";
    QTest::newRow("error code cleaned") << 400 << QByteArray(R"({"error":"bad\"<b>\n\u0007x"})") << Answer::Refused
                                        << QByteArray() << QByteArray("old") << qint64(-1) << "bad<b>x";
    QTest::newRow("gateway page") << 502 << QByteArray("<html>Bad Gateway</html>") << Answer::Malformed << QByteArray()
                                  << QByteArray("old") << qint64(-1) << "";
    QTest::newRow("tokens with an error status") << 400 << QByteArray(R"({"access_token":"a"})") << Answer::Malformed
                                                 << QByteArray() << QByteArray("old") << qint64(-1) << "";
}

void tst_OAuthTokens::answers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(Answer, answer);
    QFETCH(QByteArray, access);
    QFETCH(QByteArray, refresh);
    QFETCH(qint64, expiresIn);
    QFETCH(QString, errorCode);
    TOAuthTokens tokens;
    tokens.RefreshToken = "old";
    QString code = QStringLiteral("stale");
    QCOMPARE(TOAuthTokens::Parse(status, body, tokens, code), answer);
    QCOMPARE(tokens.AccessToken, access);
    QCOMPARE(tokens.RefreshToken, refresh);
    QCOMPARE(tokens.RefreshTokenRenewed, refresh != "old");
    QCOMPARE(tokens.ExpiresIn, expiresIn);
    QCOMPARE(code, errorCode);
}

void tst_OAuthTokens::cacheHandsOutUntilShortlyBeforeExpiry_data()
{
    QTest::addColumn<qint64>("expiresIn");
    QTest::addColumn<qint64>("usableForMs");
    QTest::newRow("an hour") << qint64(3600) << qint64(3540 * 1000);
    // A short-lived token is not thrown away at once: half its life is the margin then.
    QTest::newRow("a minute") << qint64(60) << qint64(30 * 1000);
    QTest::newRow("unknown lifetime") << qint64(-1) << qint64(3540 * 1000);
    QTest::newRow("already expired") << qint64(0) << qint64(0);
}

void tst_OAuthTokens::cacheHandsOutUntilShortlyBeforeExpiry()
{
    QFETCH(qint64, expiresIn);
    QFETCH(qint64, usableForMs);
    TClock::SetFixed(QDateTime(QDate(2024, 10, 1), QTime(12, 0)));
    TOAuthTokenCache cache;
    const QString key = TOAuthTokenCache::Key(QStringLiteral("Work"), QStringLiteral("me@example.org"));
    TOAuthTokens tokens;
    tokens.AccessToken = "at-1";
    tokens.ExpiresIn = expiresIn;
    tokens.ReceivedAt = TClock::Monotonic();
    // Time passes between the answer and the storing.
    TClock::Advance(500);
    cache.Put(key, tokens);
    if (usableForMs == 0) {
        QCOMPARE(cache.Usable(key), QByteArray());
        return;
    }
    TClock::Advance(usableForMs - 501);
    QCOMPARE(cache.Usable(key), QByteArray("at-1"));
    TClock::Advance(1);
    QCOMPARE(cache.Usable(key), QByteArray());
    // Setting the wall clock back does not revive it.
    TClock::JumpWall(-3600 * 1000);
    QCOMPARE(cache.Usable(key), QByteArray());
}

void tst_OAuthTokens::cacheKeepsMailboxesApart()
{
    TClock::SetFixed(QDateTime(QDate(2024, 10, 1), QTime(12, 0)));
    TOAuthTokenCache cache;
    const QString work = TOAuthTokenCache::Key(QStringLiteral("Work"), QStringLiteral("me"));
    const QString home = TOAuthTokenCache::Key(QStringLiteral("Home"), QStringLiteral("me"));
    const QString other = TOAuthTokenCache::Key(QStringLiteral("Work"), QStringLiteral("you"));
    TOAuthTokens tokens;
    tokens.AccessToken = "work";
    tokens.ExpiresIn = 3600;
    tokens.ReceivedAt = TClock::Monotonic();
    cache.Put(work, tokens);
    QCOMPARE(cache.Usable(work), QByteArray("work"));
    QCOMPARE(cache.Usable(home), QByteArray());
    QCOMPARE(cache.Usable(other), QByteArray());
    tokens.AccessToken = "home";
    cache.Put(home, tokens);
    cache.Forget(work);
    QCOMPARE(cache.Usable(work), QByteArray());
    QCOMPARE(cache.Usable(home), QByteArray("home"));
    // An answer without a token takes the old one away.
    tokens.AccessToken.clear();
    cache.Put(home, tokens);
    QCOMPARE(cache.Usable(home), QByteArray());
}

QTEST_GUILESS_MAIN(tst_OAuthTokens)
#include "tst_OAuthTokens.moc"
