#include "mailbox/TConnectionTest.h"

#include "core/EAbort.h"
#include "mailbox/TImapSession.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TPop3Reply.h"
#include "mailbox/TPop3Session.h"
#include "mailbox/TSessionTexts.h"
#include "net/TSecureSockets.h"
#include "net/TSockets.h"
#include "settings/TAccount.h"
#include "settings/TFilterRules.h"
#include "settings/TSettingsRules.h"

#include <QCoreApplication>

#include <memory>

namespace Texts = TSessionTexts;

namespace {

// The session's host during a test: the typed password, nothing shown, the outcome kept.
class TTestHost : public TSessionHost {
public:
    explicit TTestHost(QString password) : m_password(std::move(password)) {}

    // With an OAuth2 account: where its token comes from.
    TAccount OAuthAccount;
    TOAuthAccess* OAuth = nullptr;

    TOAuthAccess::TResult AccessToken(bool renew, QByteArray& token, QString& message) override
    {
        if (!OAuth) {
            return TSessionHost::AccessToken(renew, token, message);
        }
        return OAuth->Token(OAuthAccount, renew, token, message);
    }
    QByteArray CachedAccessToken() override { return OAuth ? OAuth->CachedToken(OAuthAccount) : QByteArray(); }

    TAccount Account() override { return {}; }
    const TFilterRules& Filters() const override { return m_rules; }
    QString Password(const QString&, bool) override { return m_password; }
    bool Retired() const override { return false; }
    void Yield(bool) override {}
    void Progress(const QString&) override {}
    void Started() override {}
    void Connected(bool encrypted) override
    {
        LoggedIn = true;
        Encrypted = encrypted;
    }
    void Listed(int) override {}
    void NewMessage(bool) override {}
    void NoLongerNew() override {}
    void Notice(const QString&) override {}
    void Failed(const TSessionFailure& failure) override { Failure = failure; }
    void Finished(const TCheckCounts&) override {}

    bool LoggedIn = false;
    bool Encrypted = false;
    TSessionFailure Failure;

private:
    QString m_password;
    TFilterRules m_rules;
};

// The server's words, printable ASCII only, for a message.
QString serverWords(const QByteArray& reply)
{
    QString text;
    for (const char c : reply.trimmed().left(200)) {
        text.append(c >= 0x20 && c < 0x7f ? QLatin1Char(c) : QLatin1Char('?'));
    }
    return text;
}

bool says(const TSessionFailure& failure, const QString& text)
{
    return failure.Message == text + QLatin1Char('\n');
}

// The session's refusal in the test's own words, which name the server's reply.
QString testMessage(const TSessionFailure& failure, bool oauth)
{
    switch (failure.Kind) {
    case TSessionFailure::TKind::Connection:
        return Texts::TestCannotConnect(failure.Error, failure.ErrorText);
    case TSessionFailure::TKind::Security:
        return failure.ErrorText;
    case TSessionFailure::TKind::Refused:
        break;
    }
    if (says(failure, Texts::StartTlsNotOffered())) {
        return Texts::TestStartTlsNotOffered();
    }
    if (says(failure, Texts::StartTlsRefused())) {
        return Texts::TestStartTlsRefused(serverWords(failure.ServerReply));
    }
    if (says(failure, Texts::BytesBeforeTls())) {
        return Texts::TestBytesBeforeTls();
    }
    if (says(failure, Texts::LoginError())) {
        return Texts::TestLoginRefused(serverWords(failure.ServerReply));
    }
    if (oauth) {
        // The token login's own texts; the server's words when it refused.
        return failure.ServerReply.isEmpty()
                   ? failure.Message.trimmed()
                   : failure.Message.trimmed() + QCoreApplication::translate("TSessionTexts", "（伺服器：%1）")
                                                     .arg(serverWords(failure.ServerReply));
    }
    if (failure.ServerReply.isEmpty()) {
        return Texts::TestPeerClosed();
    }
    return says(failure, Texts::Unreachable()) ? Texts::TestNoGreeting() : failure.Message.trimmed();
}

} // namespace

TConnectionTestResult TConnectionTest::Run(const TConnectionParams& params)
{
    TConnectionTestResult result;
    const QString host = params.Host.trimmed();
    const QString word = TSettingsRules::SecurityWord(params.Security);
    const QString portError = TSettingsRules::PortError(params.Port);
    const QString pin = TSettingsRules::NormalisedFingerprint(params.CertSha256);
    if (host.isEmpty()) {
        result.Message = Texts::TestNoHost();
        return result;
    }
    if (word.isEmpty()) {
        result.Message = Texts::TestBadSecurity(params.Security);
        return result;
    }
    if (!portError.isEmpty()) {
        result.Message = portError;
        return result;
    }
    if (!params.CertSha256.trimmed().isEmpty() && pin.isEmpty()) {
        result.Message = Texts::TestBadPin();
        return result;
    }
    const QString protocol = params.Protocol.trimmed().toUpper();
    const bool imap = protocol == QLatin1String("IMAP");
    if (!imap && !protocol.isEmpty() && protocol != QLatin1String("POP3")) {
        result.Message = Texts::TestBadProtocol(params.Protocol);
        return result;
    }
    const QString auth = params.Auth.trimmed();
    const bool oauth = auth.compare(QLatin1String("OAuth2"), Qt::CaseInsensitive) == 0;
    if (!oauth && !auth.isEmpty() && auth.compare(QLatin1String("Password"), Qt::CaseInsensitive) != 0) {
        result.Message = Texts::TestBadAuth(params.Auth);
        return result;
    }
    // A token is as good as a password to whoever reads it on the way.
    if (oauth && word == QLatin1String("NONE")) {
        result.Message = Texts::TestOAuthNeedsEncryption();
        return result;
    }
    if (TPop3Reply::HasLineBreak(params.Login.toUtf8()) || TPop3Reply::HasLineBreak(params.Password.toUtf8())) {
        result.Message = Texts::TestLineBreak();
        return result;
    }

    TAccount account;
    account.Host = host;
    account.Login = params.Login;
    account.Port = params.Port.trimmed();
    account.Security = word == QLatin1String("TLS")        ? TAccount::TSecurityKind::Tls
                       : word == QLatin1String("STARTTLS") ? TAccount::TSecurityKind::StartTls
                                                           : TAccount::TSecurityKind::None;
    account.CertSha256 = pin;
    account.TimeoutText = QString::number(params.Timeout);
    account.Protocol = imap ? TAccount::TProtocol::Imap : TAccount::TProtocol::Pop3;
    if (!params.Folder.trimmed().isEmpty()) {
        account.Folder = params.Folder;
    }

    if (oauth) {
        account.Name = params.Mailbox;
        account.SettingsPath = params.SettingsPath;
        account.Auth = TAccount::TAuth::OAuth2;
        account.OAuthProvider = params.OAuthProvider.trimmed();
        account.OAuthAuthorizeUrl = params.OAuthAuthorizeUrl.trimmed();
        account.OAuthTokenUrl = params.OAuthTokenUrl.trimmed();
        account.OAuthScope = params.OAuthScope.trimmed();
        account.OAuthClientId = params.OAuthClientId.trimmed();
        account.OAuthClientSecret = params.OAuthClientSecret.trimmed();
        account.OAuthMechanism = params.OAuthMechanism.trimmed();
    }

    TSockets plain;
    plain.Port = QStringLiteral("110");
    plain.NonBlocking = false;
    TSecureSockets transport(plain);
    TMailListModel list;
    TTestHost testHost(params.Password);
    testHost.OAuthAccount = account;
    testHost.OAuth = params.OAuth;
    {
        // Made after the transport and gone before it: each session hooks its error report.
        std::unique_ptr<TPop3Session> pop3;
        std::unique_ptr<TImapSession> imapSession;
        TMailSession* session = nullptr;
        if (imap) {
            imapSession = std::make_unique<TImapSession>(transport, list, testHost);
            session = imapSession.get();
        } else {
            pop3 = std::make_unique<TPop3Session>(transport, list, testHost);
            session = pop3.get();
        }
        try {
            if (imap) {
                imapSession->LoginAndLogout(account);
                result.Idle = imapSession->OffersIdle();
            } else {
                pop3->LoginAndLogout(account);
            }
            result.Ok = true;
        } catch (const EAbort&) {
            // A refused logout after a good login still shows the account works.
            result.Ok = testHost.LoggedIn && testHost.Failure.Kind == TSessionFailure::TKind::Refused &&
                        says(testHost.Failure, Texts::LogoutError());
            if (!result.Ok) {
                result.Message = testMessage(testHost.Failure, account.Auth == TAccount::TAuth::OAuth2);
            } else if (imap) {
                result.Idle = imapSession->OffersIdle();
            }
        }
        session->Unwound();
    }
    transport.Close();
    if (result.Ok) {
        result.Encrypted = testHost.Encrypted;
        result.Message = result.Encrypted ? Texts::TestPassedEncrypted() : Texts::TestPassedPlain();
        if (imap) {
            result.Message += result.Idle ? Texts::TestIdleOffered() : Texts::TestIdleMissing();
        }
    }
    const TCertificateInfo& cert = transport.LastCertificate();
    result.CertUntrusted = cert.Untrusted;
    result.Subject = cert.Subject;
    result.Issuer = cert.Issuer;
    result.ValidFrom = cert.ValidFrom;
    result.ValidTo = cert.ValidTo;
    result.Fingerprint = cert.Fingerprint;
    return result;
}
