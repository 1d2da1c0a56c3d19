#include "auth/TOAuthProvider.h"

#include <QTest>

using Keys = QMap<QString, QString>;

// Providers from the service table and from a mailbox's keys, and the refusals in words.
class tst_OAuthProvider : public QObject {
    Q_OBJECT
private slots:
    void handGiven_data();
    void handGiven();
    void shippedServices_data();
    void shippedServices();
    void namedService();
    void malformedOAuthEntries_data();
    void malformedOAuthEntries();
};

namespace {
Keys complete()
{
    return Keys{{QStringLiteral("OAuthAuthorizeUrl"), QStringLiteral("https://auth.example.org/authorize")},
                {QStringLiteral("OAuthTokenUrl"), QStringLiteral("https://auth.example.org/token")},
                {QStringLiteral("OAuthScope"), QStringLiteral("  mail   offline ")},
                {QStringLiteral("OAuthClientId"), QStringLiteral("client-1")}};
}
} // namespace

void tst_OAuthProvider::handGiven_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("error"); // a part of the refusal; empty: accepted
    auto with = [](const QString& key, const QString& value) {
        Keys k = complete();
        if (value.isNull()) {
            k.remove(key);
        } else {
            k.insert(key, value);
        }
        return k;
    };
    QTest::newRow("complete") << complete() << "";
    QTest::newRow("keys in other case") << Keys{{"oauthauthorizeurl", "https://a.example/auth"},
                                                {"OAUTHTOKENURL", "https://a.example/token"},
                                                {"oauthScope", "s"},
                                                {"OAuthClientID", "c"}}
                                        << "";
    QTest::newRow("loopback token over http") << with("OAuthTokenUrl", "http://127.0.0.1:8080/token") << "";
    QTest::newRow("ipv6 loopback over http") << with("OAuthTokenUrl", "http://[::1]:8080/token") << "";
    QTest::newRow("localhost over http") << with("OAuthAuthorizeUrl", "http://localhost:9/auth") << "";
    QTest::newRow("token over http") << with("OAuthTokenUrl", "http://auth.example.org/token") << "https";
    QTest::newRow("authorize over http") << with("OAuthAuthorizeUrl", "http://auth.example.org/a") << "https";
    QTest::newRow("lookalike loopback") << with("OAuthTokenUrl", "http://127.0.0.1.example.org/token") << "https";
    QTest::newRow("other scheme") << with("OAuthTokenUrl", "ftp://auth.example.org/token") << "https";
    QTest::newRow("fragment") << with("OAuthTokenUrl", "https://auth.example.org/token#x") << "不是有效的網址";
    QTest::newRow("user in URL") << with("OAuthTokenUrl", "https://me:pw@auth.example.org/token") << "不是有效的網址";
    QTest::newRow("no token URL") << with("OAuthTokenUrl", QString()) << "沒有設定權杖網址（OAuthTokenUrl）";
    QTest::newRow("no authorize URL") << with("OAuthAuthorizeUrl", " ") << "沒有設定授權網址（OAuthAuthorizeUrl）";
    QTest::newRow("no scope") << with("OAuthScope", QString()) << "沒有設定授權範圍（OAuthScope）";
    QTest::newRow("no client id") << with("OAuthClientId", QString()) << "沒有設定用戶端 ID（OAuthClientId）";
    QTest::newRow("unknown mechanism") << with("OAuthMechanism", "PLAIN") << "只能是 XOAUTH2 或 OAUTHBEARER";
    QTest::newRow("control in client id") << with("OAuthClientId", "c\r\nx") << "控制字元";
    QTest::newRow("unknown provider") << with("OAuthProvider", "Nowhere") << "服務表中沒有「Nowhere」";
}

void tst_OAuthProvider::handGiven()
{
    QFETCH(Keys, keys);
    QFETCH(QString, error);
    TOAuthProvider provider;
    provider.Scope = QStringLiteral("untouched");
    QString why;
    const bool ok = TOAuthProvider::FromKeys(keys, provider, why);
    if (!error.isEmpty()) {
        QVERIFY(!ok);
        QVERIFY2(why.contains(error), qPrintable(why));
        // A refused set of keys leaves the caller's provider as it was.
        QCOMPARE(provider.Scope, QStringLiteral("untouched"));
        return;
    }
    QVERIFY2(ok, qPrintable(why));
    QVERIFY(provider.Name.isEmpty());
    QCOMPARE(provider.Mechanism, TSaslOAuth::Mechanism::XOAuth2);
    QVERIFY(provider.Pkce);
    QVERIFY(!provider.Scope.contains(QStringLiteral("  ")));
}

void tst_OAuthProvider::shippedServices_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("authorize");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("scope");
    QTest::addColumn<QString>("option");
    // Whether the service still takes an app password instead.
    QTest::addColumn<bool>("appPassword");
    QTest::newRow("Gmail") << "Gmail"
                           << "https://accounts.google.com/o/oauth2/v2/auth"
                           << "https://oauth2.googleapis.com/token"
                           << "https://mail.google.com/"
                           << "MAILVANE_GOOGLE_CLIENT_ID" << true;
    QTest::newRow("Outlook") << "Outlook"
                             << "https://login.microsoftonline.com/common/oauth2/v2.0/authorize"
                             << "https://login.microsoftonline.com/common/oauth2/v2.0/token"
                             << "https://outlook.office.com/IMAP.AccessAsUser.All "
                                "https://outlook.office.com/POP.AccessAsUser.All offline_access"
                             << "MAILVANE_MICROSOFT_CLIENT_ID" << false;
}

void tst_OAuthProvider::shippedServices()
{
    QFETCH(QString, service);
    QFETCH(QString, authorize);
    QFETCH(QString, token);
    QFETCH(QString, scope);
    QFETCH(QString, option);
    QFETCH(bool, appPassword);
    const QMap<QString, TOAuthProvider>& table = TOAuthProvider::Shipped();
    QVERIFY(table.contains(service));
    const TOAuthProvider p = table.value(service);
    QCOMPARE(p.Name, service);
    QCOMPARE(p.AuthorizeUrl, QUrl(authorize));
    QCOMPARE(p.TokenUrl, QUrl(token));
    QCOMPARE(p.Scope, scope);
    QCOMPARE(p.Mechanism, TSaslOAuth::Mechanism::XOAuth2);
    QVERIFY(p.Pkce);
    QCOMPARE(p.ClientIdOption, option);
    QCOMPARE(p.AppPassword, appPassword);
    // The build's option is the only source of a built-in ID: none is shipped.
    QCOMPARE(p.ClientId, TOAuthProvider::BuildOption(option));
    // Services that still take passwords have no entry.
    QVERIFY(!table.contains(QStringLiteral("Yahoo")));
}

void tst_OAuthProvider::namedService()
{
    const bool builtIn = !TOAuthProvider::BuildOption(QStringLiteral("MAILVANE_GOOGLE_CLIENT_ID")).isEmpty();
    TOAuthProvider p;
    QString error;
    const bool ok = TOAuthProvider::FromKeys({{QStringLiteral("OAuthProvider"), QStringLiteral("gmail")}}, p, error);
    if (builtIn) {
        QVERIFY2(ok, qPrintable(error));
    } else {
        // Without an ID from the build or the mailbox, the text names the build option.
        QVERIFY(!ok);
        QVERIFY2(error.contains(QStringLiteral("MAILVANE_GOOGLE_CLIENT_ID")) &&
                     error.contains(QStringLiteral("OAuthClientId")),
                 qPrintable(error));
    }
    // The mailbox's own client ID is taken; hand-given endpoints beside a named service are not.
    QVERIFY(TOAuthProvider::FromKeys({{QStringLiteral("OAuthProvider"), QStringLiteral("Gmail")},
                                      {QStringLiteral("OAuthClientId"), QStringLiteral("mine")},
                                      {QStringLiteral("OAuthClientSecret"), QStringLiteral("s")},
                                      {QStringLiteral("OAuthTokenUrl"), QStringLiteral("https://evil.example/token")},
                                      {QStringLiteral("OAuthMechanism"), QStringLiteral("OAUTHBEARER")}},
                                     p, error));
    QCOMPARE(p.Name, QStringLiteral("Gmail"));
    QCOMPARE(p.ClientId, QStringLiteral("mine"));
    QCOMPARE(p.ClientSecret, QStringLiteral("s"));
    QCOMPARE(p.TokenUrl, QUrl(QStringLiteral("https://oauth2.googleapis.com/token")));
    QCOMPARE(p.Mechanism, TSaslOAuth::Mechanism::XOAuth2);
}

void tst_OAuthProvider::malformedOAuthEntries_data()
{
    QTest::addColumn<QByteArray>("oauth");
    QTest::newRow("not an object") << QByteArray("\"yes\"");
    QTest::newRow("http token") << QByteArray(R"({"authorize":"https://a.example/a","token":"http://a.example/t",
                                                  "scope":"s"})");
    QTest::newRow("no authorize") << QByteArray(R"({"token":"https://a.example/t","scope":"s"})");
    QTest::newRow("no scope") << QByteArray(R"({"authorize":"https://a.example/a","token":"https://a.example/t"})");
    QTest::newRow("bad mechanism") << QByteArray(R"({"authorize":"https://a.example/a","token":"https://a.example/t",
                                                     "scope":"s","mechanism":"PLAIN"})");
    QTest::newRow("pkce not a bool") << QByteArray(R"({"authorize":"https://a.example/a","token":"https://a.example/t",
                                                       "scope":"s","pkce":"yes"})");
}

void tst_OAuthProvider::malformedOAuthEntries()
{
    QFETCH(QByteArray, oauth);
    const QByteArray good = R"({"name":"Good","oauth":{"authorize":"https://g.example/a","token":"https://g.example/t",
                                "scope":"s","mechanism":"oauthbearer","pkce":false,"unknown":1}})";
    QString error;
    QMap<QString, TOAuthProvider> table =
        TOAuthProvider::FromServiceTable("{\"services\":[" + good + ",{\"name\":\"Plain\"}]}", error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(table.keys(), QStringList{QStringLiteral("Good")});
    QCOMPARE(table.value(QStringLiteral("Good")).Mechanism, TSaslOAuth::Mechanism::OAuthBearer);
    QVERIFY(!table.value(QStringLiteral("Good")).Pkce);

    table = TOAuthProvider::FromServiceTable("{\"services\":[" + good + ",{\"name\":\"Bad\",\"oauth\":" + oauth + "}]}",
                                             error);
    QVERIFY(error.startsWith(QStringLiteral("Bad")));
    QVERIFY(table.isEmpty());
}

QTEST_GUILESS_MAIN(tst_OAuthProvider)
#include "tst_OAuthProvider.moc"
