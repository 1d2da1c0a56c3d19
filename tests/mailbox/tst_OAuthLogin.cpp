#include "auth/TSaslOAuth.h"
#include "core/EAbort.h"
#include "mailbox/TImapSession.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TPop3Session.h"
#include "settings/TAccount.h"
#include "testsupport/TRecordingSessionHost.h"
#include "testsupport/TScriptTransport.h"

#include <QtTest>

namespace {

using TResult = TOAuthAccess::TResult;

// Hands out scripted tokens and records whether each was asked for anew.
class TTokenHost : public TRecordingSessionHost {
public:
    QList<QByteArray> Tokens;
    TResult Answer = TResult::Ok;
    QList<bool> Asked;

    TResult AccessToken(bool renew, QByteArray& token, QString& message) override
    {
        Asked.append(renew);
        if (Answer != TResult::Ok || Tokens.isEmpty()) {
            message = TOAuthAccess::NeedsAuthorizationText();
            return Answer == TResult::Ok ? TResult::NeedsAuthorization : Answer;
        }
        token = Tokens.takeFirst();
        return TResult::Ok;
    }
};

TAccount account(TAccount::TProtocol protocol, const QString& mechanism)
{
    TAccount a;
    a.Name = QStringLiteral("Box");
    a.Host = QStringLiteral("mail.test");
    a.Login = QStringLiteral("me@test");
    a.Port = QStringLiteral("995");
    a.TimeoutText = QStringLiteral("10");
    a.Security = TAccount::TSecurityKind::Tls;
    a.Protocol = protocol;
    a.Auth = TAccount::TAuth::OAuth2;
    a.OAuthAuthorizeUrl = QStringLiteral("https://id.test/auth");
    a.OAuthTokenUrl = QStringLiteral("https://id.test/token");
    a.OAuthScope = QStringLiteral("mail");
    a.OAuthClientId = QStringLiteral("client");
    a.OAuthMechanism = mechanism;
    return a;
}

QByteArray initial(const QString& mechanism, const QByteArray& token)
{
    TSaslOAuth::Mechanism m;
    TSaslOAuth::FromName(mechanism, m);
    return TSaslOAuth::InitialResponse(m, "me@test", token, "mail.test", 995);
}

} // namespace

// The SASL dialogue of a token login as the server scripts it: where the initial response
// goes, the error challenge, which refusals bring a new token, and what never happens.
class tst_OAuthLogin : public QObject {
    Q_OBJECT
private slots:
    void pop3_data();
    void pop3();
    void imap_data();
    void imap();
};

void tst_OAuthLogin::pop3_data()
{
    const QByteArray longToken = "ya29." + QByteArray(300, 'x');
    const QByteArray capa = "+OK\r\nUSER\r\nSASL PLAIN XOAUTH2 OAUTHBEARER\r\n.\r\n";
    QTest::addColumn<QString>("mechanism");
    QTest::addColumn<QByteArray>("capa");
    QTest::addColumn<QList<QByteArray>>("tokens");
    // Lines the client must send after CAPA, and the server's answers ("" for none).
    QTest::addColumn<QList<QByteArray>>("dialogue");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<bool>>("asked");
    QTest::addColumn<QString>("message");

    QTest::newRow("initial response on the AUTH line")
        << "XOAUTH2" << capa << QList<QByteArray>{"t1"}
        << QList<QByteArray>{"AUTH XOAUTH2 " + initial(QStringLiteral("XOAUTH2"), "t1"), "+OK in\r\n"} << true
        << QList<bool>{false} << QString();
    QTest::newRow("too long for the AUTH line: after the go-ahead")
        << "XOAUTH2" << capa << QList<QByteArray>{longToken}
        << QList<QByteArray>{"AUTH XOAUTH2", "+ \r\n", initial(QStringLiteral("XOAUTH2"), longToken), "+OK in\r\n"}
        << true << QList<bool>{false} << QString();
    QTest::newRow("error challenge, new token, logged in")
        << "OAUTHBEARER" << capa << QList<QByteArray>{"old", "new"}
        << QList<QByteArray>{"AUTH OAUTHBEARER " + initial(QStringLiteral("OAUTHBEARER"), "old"),
                             "+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n",
                             "AQ==",
                             "-ERR [AUTH] Invalid token\r\n",
                             "AUTH OAUTHBEARER " + initial(QStringLiteral("OAUTHBEARER"), "new"),
                             "+OK in\r\n"}
        << true << QList<bool>{false, true} << QString();
    QTest::newRow("renewed token refused too")
        << "XOAUTH2" << capa << QList<QByteArray>{"old", "new"}
        << QList<QByteArray>{"AUTH XOAUTH2 " + initial(QStringLiteral("XOAUTH2"), "old"),
                             "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n",
                             "",
                             "-ERR [AUTH] no\r\n",
                             "AUTH XOAUTH2 " + initial(QStringLiteral("XOAUTH2"), "new"),
                             "-ERR [AUTH] no\r\n"}
        << false << QList<bool>{false, true} << "拒絕";
    QTest::newRow("temporary: no new token")
        << "XOAUTH2" << capa << QList<QByteArray>{"t1", "t2"}
        << QList<QByteArray>{"AUTH XOAUTH2 " + initial(QStringLiteral("XOAUTH2"), "t1"),
                             "-ERR [SYS/TEMP] Temporary authentication failure\r\n"}
        << false << QList<bool>{false} << "暫時";
    QTest::newRow("mechanism not offered: nothing sent")
        << "XOAUTH2" << QByteArray("+OK\r\nUSER\r\nSASL PLAIN\r\n.\r\n") << QList<QByteArray>{"t1"}
        << QList<QByteArray>{} << false << QList<bool>{false} << "XOAUTH2";
}

void tst_OAuthLogin::pop3()
{
    QFETCH(QString, mechanism);
    QFETCH(QByteArray, capa);
    QFETCH(QList<QByteArray>, tokens);
    QFETCH(QList<QByteArray>, dialogue);
    QFETCH(bool, ok);
    QFETCH(QList<bool>, asked);
    QFETCH(QString, message);

    TScriptTransport net;
    net.Says("+OK ready\r\n").Expects("CAPA").Says(capa);
    for (qsizetype i = 0; i + 1 < dialogue.size(); i += 2) {
        net.Expects(dialogue.at(i));
        if (!dialogue.at(i + 1).isEmpty()) {
            net.Says(dialogue.at(i + 1));
        }
    }
    if (ok) {
        net.Expects("QUIT").Says("+OK bye\r\n");
    }
    TTokenHost host;
    host.Tokens = tokens;
    TMailListModel list;
    TPop3Session session(net, list, host);
    bool done = false;
    try {
        session.LoginAndLogout(account(TAccount::TProtocol::Pop3, mechanism));
        done = true;
    } catch (const EAbort&) {
    }
    QVERIFY2(net.Mismatches.isEmpty(), qPrintable(net.Mismatches.join(QLatin1Char('\n'))));
    QCOMPARE(net.Remaining(), 0);
    QCOMPARE(done, ok);
    QCOMPARE(host.Asked, asked);
    QCOMPARE(host.Prompts, 0);
    if (!ok) {
        QVERIFY2(host.LastFailure.Message.contains(message), qPrintable(host.LastFailure.Message));
        QVERIFY(!host.LastFailure.ForgetPassword);
        QVERIFY(!host.LastFailure.NeedsAuthorization);
    }
    for (const QByteArray& line : net.Sent) {
        QVERIFY(!line.startsWith("USER") && !line.startsWith("PASS"));
    }
}

void tst_OAuthLogin::imap_data()
{
    QTest::addColumn<QString>("mechanism");
    QTest::addColumn<QByteArray>("capabilities");
    QTest::addColumn<QList<QByteArray>>("dialogue");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<bool>>("asked");
    QTest::addColumn<QString>("message");
    const QByteArray irCaps = "IMAP4rev1 SASL-IR AUTH=PLAIN AUTH=XOAUTH2 AUTH=OAUTHBEARER";
    const QByteArray plainCaps = "IMAP4rev1 AUTH=PLAIN AUTH=XOAUTH2 AUTH=OAUTHBEARER";

    QTest::newRow("without SASL-IR: after the go-ahead")
        << "XOAUTH2" << plainCaps
        << QList<QByteArray>{"A1 AUTHENTICATE XOAUTH2", "+ \r\n", initial(QStringLiteral("XOAUTH2"), "t1"),
                             "A1 NO [UNAVAILABLE] Temporary authentication failure\r\n"}
        << false << QList<bool>{false} << "暫時";
    QTest::newRow("error challenge, new token refused too")
        << "XOAUTH2" << irCaps
        << QList<QByteArray>{"A1 AUTHENTICATE XOAUTH2 " + initial(QStringLiteral("XOAUTH2"), "t1"),
                             "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n",
                             "",
                             "A1 NO [AUTHENTICATIONFAILED] failed\r\n",
                             "A2 AUTHENTICATE XOAUTH2 " + initial(QStringLiteral("XOAUTH2"), "t2"),
                             "A2 NO [AUTHENTICATIONFAILED] failed\r\n"}
        << false << QList<bool>{false, true} << "拒絕";
    QTest::newRow("OAUTHBEARER answers the challenge with AQ==")
        << "OAUTHBEARER" << irCaps
        << QList<QByteArray>{"A1 AUTHENTICATE OAUTHBEARER " + initial(QStringLiteral("OAUTHBEARER"), "t1"),
                             "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n",
                             "AQ==",
                             "A1 NO [AUTHENTICATIONFAILED] failed\r\n",
                             "A2 AUTHENTICATE OAUTHBEARER " + initial(QStringLiteral("OAUTHBEARER"), "t2"),
                             "A2 NO [AUTHENTICATIONFAILED] failed\r\n"}
        << false << QList<bool>{false, true} << "拒絕";
    QTest::newRow("mechanism not offered: no LOGIN instead")
        << "OAUTHBEARER" << QByteArray("IMAP4rev1 SASL-IR AUTH=PLAIN AUTH=XOAUTH2") << QList<QByteArray>{} << false
        << QList<bool>{false} << "OAUTHBEARER";
}

void tst_OAuthLogin::imap()
{
    QFETCH(QString, mechanism);
    QFETCH(QByteArray, capabilities);
    QFETCH(QList<QByteArray>, dialogue);
    QFETCH(bool, ok);
    QFETCH(QList<bool>, asked);
    QFETCH(QString, message);

    TScriptTransport net;
    net.Says("* OK [CAPABILITY " + capabilities + "] ready\r\n");
    for (qsizetype i = 0; i + 1 < dialogue.size(); i += 2) {
        net.Expects(dialogue.at(i));
        if (!dialogue.at(i + 1).isEmpty()) {
            net.Says(dialogue.at(i + 1));
        }
    }
    TTokenHost host;
    host.Tokens = {"t1", "t2"};
    TMailListModel list;
    TImapSession session(net, list, host);
    bool done = false;
    try {
        session.LoginAndLogout(account(TAccount::TProtocol::Imap, mechanism));
        done = true;
    } catch (const EAbort&) {
    }
    QVERIFY2(net.Mismatches.isEmpty(), qPrintable(net.Mismatches.join(QLatin1Char('\n'))));
    QCOMPARE(net.Remaining(), 0);
    QCOMPARE(done, ok);
    QCOMPARE(host.Asked, asked);
    QCOMPARE(host.Prompts, 0);
    QVERIFY2(host.LastFailure.Message.contains(message), qPrintable(host.LastFailure.Message));
    QVERIFY(!host.LastFailure.ForgetPassword);
    for (const QByteArray& line : net.Sent) {
        QVERIFY(!line.contains(" LOGIN ") && !line.contains("AUTHENTICATE PLAIN"));
    }
}

QTEST_GUILESS_MAIN(tst_OAuthLogin)
#include "tst_OAuthLogin.moc"
