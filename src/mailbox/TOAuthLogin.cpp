#include "mailbox/TOAuthLogin.h"

#include "auth/TOAuthAccess.h"
#include "mailbox/TSessionTexts.h"
#include "settings/TAccount.h"

namespace Texts = TSessionTexts;

namespace {

TSessionFailure refusal(const QString& message, const QByteArray& serverReply = QByteArray())
{
    TSessionFailure failure;
    failure.Kind = TSessionFailure::TKind::Refused;
    failure.Message = message.endsWith(QLatin1Char('\n')) ? message : message + QLatin1Char('\n');
    failure.ServerReply = serverReply;
    return failure;
}

} // namespace

TOAuthLogin::TOAuthLogin(TSessionHost& host, const TAccount& account) : m_host(host), m_account(account) {}

bool TOAuthLogin::Prepare()
{
    TOAuthProvider provider;
    QString error;
    if (!TOAuthAccess::Provider(m_account, provider, error)) {
        Failure = refusal(Texts::OAuthUnusable(error));
        return false;
    }
    m_mechanism = provider.Mechanism;
    m_renewed = false;
    return fetch(false);
}

bool TOAuthLogin::Renew(const QByteArray& serverReply)
{
    if (m_renewed) {
        Failure = Refused(serverReply);
        return false;
    }
    m_renewed = true;
    return fetch(true);
}

bool TOAuthLogin::fetch(bool renew)
{
    QString message;
    m_token.clear();
    switch (m_host.AccessToken(renew, m_token, message)) {
    case TOAuthAccess::TResult::Ok:
        if (!TSaslOAuth::ValidToken(m_token)) {
            Failure = refusal(Texts::OAuthRefused());
            return false;
        }
        return true;
    case TOAuthAccess::TResult::NeedsAuthorization:
        Failure =
            refusal(message == TOAuthAccess::NeedsAuthorizationText() ? Texts::OAuthNeedsAuthorization(m_account.Name)
                                                                      : Texts::OAuthUnusable(message));
        Failure.NeedsAuthorization = true;
        return false;
    case TOAuthAccess::TResult::Temporary:
        Failure = refusal(Texts::OAuthTemporary(m_account.Name, message));
        return false;
    }
    return false;
}

QByteArray TOAuthLogin::InitialResponse(const QString& host, int port) const
{
    return TSaslOAuth::InitialResponse(m_mechanism, m_account.Login.toUtf8(), m_token, host.toUtf8(), port);
}

TSessionFailure TOAuthLogin::Refused(const QByteArray& serverReply) const
{
    return refusal(Texts::OAuthRefused(), serverReply);
}

TSessionFailure TOAuthLogin::Unavailable(const QByteArray& serverReply) const
{
    return refusal(Texts::OAuthServerUnavailable(), serverReply);
}

TSessionFailure TOAuthLogin::NotOffered() const
{
    return refusal(Texts::OAuthNotOffered(QString::fromLatin1(MechanismName())));
}
