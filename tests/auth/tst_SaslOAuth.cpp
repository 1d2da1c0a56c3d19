#include "auth/TSaslOAuth.h"

#include <QTest>

using Mechanism = TSaslOAuth::Mechanism;

// The SASL strings of a token login, byte for byte, against the published examples.
class tst_SaslOAuth : public QObject {
    Q_OBJECT
private slots:
    void initialResponse_data();
    void initialResponse();
    void unsafeInputSendsNothing_data();
    void unsafeInputSendsNothing();
    void errorChallenge_data();
    void errorChallenge();
    void mechanismNames();
};

void tst_SaslOAuth::initialResponse_data()
{
    QTest::addColumn<Mechanism>("mechanism");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("expected"); // base64 on the wire

    // Google's XOAUTH2 example and RFC 7628's OAUTHBEARER example, as published.
    QTest::newRow("xoauth2 published") << Mechanism::XOAuth2 << QByteArray("someuser@example.com")
                                       << QByteArray("ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg") << QByteArray()
                                       << 0
                                       << QByteArray("dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmd"
                                                     "DRxbVRjMk52YjNSbGNrQmhkSFJoZG1semRHRXVZMjl0Q2cBAQ==");
    QTest::newRow("oauthbearer published")
        << Mechanism::OAuthBearer << QByteArray("user@example.com")
        << QByteArray("vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==") << QByteArray("server.example.com") << 143
        << QByteArray("bixhPXVzZXJAZXhhbXBsZS5jb20sAWhvc3Q9c2VydmVyLmV4YW1wbGUuY29tAXBvcnQ9MTQzAWF1dGg9QmVhcmVyIHZGOWRm"
                      "dDRxbVRjMk52YjNSbGNrQmhiSFJoZG1semRHRXVZMjl0Q2c9PQEB");
    // XOAUTH2 takes the user as it is; OAUTHBEARER escapes "," and "=" of the GS2 header.
    QTest::newRow("xoauth2 keeps , and =")
        << Mechanism::XOAuth2 << QByteArray("a,b=c@example.org") << QByteArray("t") << QByteArray("h") << 993
        << QByteArray("user=a,b=c@example.org\x01"
                      "auth=Bearer t\x01\x01")
               .toBase64();
    QTest::newRow("oauthbearer escapes") << Mechanism::OAuthBearer << QByteArray("a,b=c=,@example.org")
                                         << QByteArray("t") << QByteArray() << 0
                                         << QByteArray("n,a=a=2Cb=3Dc=3D=2C@example.org,\x01"
                                                       "auth=Bearer t\x01\x01")
                                                .toBase64();
    QTest::newRow("oauthbearer host only")
        << Mechanism::OAuthBearer << QByteArray("u") << QByteArray("t.~+/_-=") << QByteArray("127.0.0.1") << 0
        << QByteArray("n,a=u,\x01host=127.0.0.1\x01"
                      "auth=Bearer t.~+/_-=\x01\x01")
               .toBase64();
    QTest::newRow("utf-8 user") << Mechanism::OAuthBearer << QByteArray("使用者@example.org") << QByteArray("t")
                                << QByteArray() << 110
                                << QByteArray("n,a=使用者@example.org,\x01port=110\x01"
                                              "auth=Bearer t\x01\x01")
                                       .toBase64();
}

void tst_SaslOAuth::initialResponse()
{
    QFETCH(Mechanism, mechanism);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, token);
    QFETCH(QByteArray, host);
    QFETCH(int, port);
    QFETCH(QByteArray, expected);
    const QByteArray sent = TSaslOAuth::InitialResponse(mechanism, user, token, host, port);
    QCOMPARE(QByteArray::fromBase64(sent), QByteArray::fromBase64(expected));
    QCOMPARE(sent, expected);
}

void tst_SaslOAuth::unsafeInputSendsNothing_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("no user") << QByteArray() << QByteArray("t") << QByteArray() << 0;
    QTest::newRow("no token") << QByteArray("u") << QByteArray() << QByteArray() << 0;
    // A \x01 would end the field early and let the rest pose as another key.
    QTest::newRow("separator in user") << QByteArray("u\x01"
                                                     "auth=Bearer x")
                                       << QByteArray("t") << QByteArray() << 0;
    QTest::newRow("separator in token") << QByteArray("u") << QByteArray("t\x01\x01") << QByteArray() << 0;
    QTest::newRow("line break in user") << QByteArray("u\r\nA1 LOGOUT") << QByteArray("t") << QByteArray() << 0;
    QTest::newRow("blank in token") << QByteArray("u") << QByteArray("a b") << QByteArray() << 0;
    QTest::newRow("non-ASCII token") << QByteArray("u") << QByteArray("t\xc3\xa9") << QByteArray() << 0;
    QTest::newRow("separator in host") << QByteArray("u") << QByteArray("t") << QByteArray("h\x01port=1") << 0;
    QTest::newRow("port out of range") << QByteArray("u") << QByteArray("t") << QByteArray() << 65536;
}

void tst_SaslOAuth::unsafeInputSendsNothing()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, token);
    QFETCH(QByteArray, host);
    QFETCH(int, port);
    QCOMPARE(TSaslOAuth::InitialResponse(Mechanism::XOAuth2, user, token, host, port), QByteArray());
    QCOMPARE(TSaslOAuth::InitialResponse(Mechanism::OAuthBearer, user, token, host, port), QByteArray());
}

void tst_SaslOAuth::errorChallenge_data()
{
    QTest::addColumn<QByteArray>("challenge");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("scope");
    // Google's challenge, RFC 7628's, and what else a server might send.
    QTest::newRow("google") << QByteArray(
                                   "eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJodHRwczovL21haWwuZ29v"
                                   "Z2xlLmNvbS8ifQ==")
                            << true << "401"
                            << "https://mail.google.com/";
    QTest::newRow("rfc 7628") << QByteArray(
                                     "eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NvcGUiOiJleGFtcGxlX3Njb3BlIiwib3BlbmlkL"
                                     "WNvbmZpZ3VyYXRpb24iOiJodHRwczovL2V4YW1wbGUuY29tLy53ZWxsLWtub3duL29wZW5pZC1jb2"
                                     "5maWd1cmF0aW9uIn0=")
                              << true << "invalid_token"
                              << "example_scope";
    QTest::newRow("number status, blanks around")
        << QByteArray("  " + QByteArray(R"({"status":400})").toBase64() + "\r\n") << true << "400"
        << "";
    QTest::newRow("empty object") << QByteArray("e30=") << true << ""
                                  << "";
    QTest::newRow("array") << QByteArray("[1]").toBase64() << false << ""
                           << "";
    QTest::newRow("not JSON") << QByteArray("status=401").toBase64() << false << ""
                              << "";
    QTest::newRow("not base64") << QByteArray("{\"status\":\"401\"}") << false << ""
                                << "";
    QTest::newRow("empty") << QByteArray() << false << ""
                           << "";
    QTest::newRow("status an object") << QByteArray(R"({"status":{"a":1},"scope":["x"]})").toBase64() << true << ""
                                      << "";
}

void tst_SaslOAuth::errorChallenge()
{
    QFETCH(QByteArray, challenge);
    QFETCH(bool, valid);
    QFETCH(QString, status);
    QFETCH(QString, scope);
    const TSaslOAuth::Challenge c = TSaslOAuth::ParseChallenge(challenge);
    QCOMPARE(c.Valid, valid);
    QCOMPARE(c.Status, status);
    QCOMPARE(c.Scope, scope);
}

void tst_SaslOAuth::mechanismNames()
{
    Mechanism m = Mechanism::XOAuth2;
    QVERIFY(TSaslOAuth::FromName(QStringLiteral(" oauthBearer "), m));
    QCOMPARE(m, Mechanism::OAuthBearer);
    QCOMPARE(TSaslOAuth::Name(m), QByteArray("OAUTHBEARER"));
    QVERIFY(TSaslOAuth::FromName(QStringLiteral("XOAUTH2"), m));
    QCOMPARE(m, Mechanism::XOAuth2);
    QVERIFY(!TSaslOAuth::FromName(QStringLiteral("PLAIN"), m));
    QVERIFY(!TSaslOAuth::FromName(QString(), m));
    QCOMPARE(m, Mechanism::XOAuth2);
    // What answers the error challenge so that the server sends its final refusal.
    QCOMPARE(TSaslOAuth::ErrorAnswer(Mechanism::XOAuth2), QByteArray());
    QCOMPARE(TSaslOAuth::ErrorAnswer(Mechanism::OAuthBearer), QByteArray("AQ=="));
}

QTEST_GUILESS_MAIN(tst_SaslOAuth)
#include "tst_SaslOAuth.moc"
