#include "auth/TOAuthAccess.h"

#include "settings/TAccount.h"
#include "settings/TIniFile.h"
#include "settings/TMailboxPasswords.h"
#include "settings/TPasswordStore.h"
#include "settings/TSettingsKeys.h"

#include <QEventLoop>
#include <QMap>
#include <QTimer>

namespace {

using TStoreResult = TPasswordStore::TResult;

// The keyring to use for the account's refresh token, null when it lives in memory only:
// no keyring, or the user turned it off for this settings file.
TPasswordStore* keyringFor(TPasswordStore* store, const TAccount& account)
{
    if (!store) {
        return nullptr;
    }
    if (account.SettingsPath.isEmpty()) {
        return store;
    }
    return TSetting(TSettingsKeys::OptionUseKeyring).ReadBool(TIniFile(account.SettingsPath)) ? store : nullptr;
}

QString cacheKey(const TAccount& account)
{
    return TOAuthTokenCache::Key(account.Name, account.Login);
}

} // namespace

TOAuthAccess::TOAuthAccess(TPasswordStore* store, QObject* parent) : QObject(parent), m_store(store) {}

TOAuthAccess::~TOAuthAccess()
{
    // Nobody hears of the flows' ends any more: they go with this object.
    for (const QPointer<QEventLoop>& loop : std::as_const(m_waits)) {
        if (loop) {
            loop->exit(1);
        }
    }
    if (m_authorization) {
        m_authorization->disconnect(this);
    }
}

QString TOAuthAccess::NeedsAuthorizationText()
{
    return tr("需要重新授權");
}

QString TOAuthAccess::KeyOf(const QString& mailbox, const QString& login)
{
    // Its own prefix: the password of the same mailbox and login keeps its entry.
    return QStringLiteral("oauth2:") + TMailboxPasswords::KeyOf(mailbox, login);
}

bool TOAuthAccess::Provider(const TAccount& account, TOAuthProvider& provider, QString& error)
{
    if (account.Login.trimmed().isEmpty()) {
        error = tr("沒有設定登入帳號，無法以瀏覽器登入。");
        return false;
    }
    const QMap<QString, QString> keys{
        {QString::fromLatin1(TSettingsKeys::MailboxOAuthProvider.Key), account.OAuthProvider},
        {QString::fromLatin1(TSettingsKeys::MailboxOAuthAuthorizeUrl.Key), account.OAuthAuthorizeUrl},
        {QString::fromLatin1(TSettingsKeys::MailboxOAuthTokenUrl.Key), account.OAuthTokenUrl},
        {QString::fromLatin1(TSettingsKeys::MailboxOAuthScope.Key), account.OAuthScope},
        {QString::fromLatin1(TSettingsKeys::MailboxOAuthClientId.Key), account.OAuthClientId},
        {QString::fromLatin1(TSettingsKeys::MailboxOAuthClientSecret.Key), account.OAuthClientSecret},
        {QString::fromLatin1(TSettingsKeys::MailboxOAuthMechanism.Key), account.OAuthMechanism},
    };
    return TOAuthProvider::FromKeys(keys, provider, error);
}

TOAuthFlow* TOAuthAccess::newFlow(const TOAuthProvider& provider)
{
    return FlowFactory ? FlowFactory(provider, this) : new TOAuthFlow(provider, this);
}

QByteArray TOAuthAccess::refreshToken(const TAccount& account)
{
    const QString key = cacheKey(account);
    const auto known = m_refreshTokens.constFind(key);
    if (known != m_refreshTokens.cend()) {
        return known.value();
    }
    TPasswordStore* store = keyringFor(m_store, account);
    QString stored;
    if (!store || store->Read(KeyOf(account.Name, account.Login), stored) != TStoreResult::Done) {
        return QByteArray();
    }
    const QByteArray token = stored.toLatin1();
    if (!TSaslOAuth::ValidToken(token)) {
        return QByteArray();
    }
    // The keyring may have been slow; another caller may have learned a newer one meanwhile.
    return m_refreshTokens.value(key, token);
}

void TOAuthAccess::keep(const TAccount& account, const TOAuthTokens& tokens)
{
    const QString key = cacheKey(account);
    m_cache.Put(key, tokens);
    if (tokens.RefreshToken.isEmpty() || !tokens.RefreshTokenRenewed) {
        return;
    }
    m_refreshTokens.insert(key, tokens.RefreshToken);
    TPasswordStore* store = keyringFor(m_store, account);
    if (!store) {
        return;
    }
    // No wait here: the authorization is driven by signals only.
    store->WriteInBackground(KeyOf(account.Name, account.Login), QString::fromLatin1(tokens.RefreshToken), nullptr);
}

TOAuthAccess::TOutcome TOAuthAccess::waitForRefresh(const QString& key, TOAuthFlow* flow, bool owner)
{
    QEventLoop loop;
    TOutcome outcome{TResult::Temporary, tr("等候權杖端點的回應逾時，請稍後再試。")};
    bool ended = false;
    // Connected after the owner's handlers, so that the outcome is known when these run.
    const auto done = [&] {
        ended = true;
        outcome = m_outcomes.value(key, outcome);
        loop.exit(0);
    };
    connect(flow, &TOAuthFlow::finished, &loop, done);
    connect(flow, &TOAuthFlow::failed, &loop, done);
    connect(flow, &QObject::destroyed, &loop, [&loop] { loop.exit(1); });
    QTimer::singleShot(RefreshWaitMs, &loop, [&loop] { loop.exit(1); });
    m_waits.append(&loop);
    loop.exec();
    m_waits.removeAll(QPointer<QEventLoop>(&loop));
    if (!ended && owner) {
        flow->Cancel();
    }
    return outcome;
}

TOAuthAccess::TResult TOAuthAccess::Token(const TAccount& account, bool renew, QByteArray& accessToken,
                                          QString& message)
{
    accessToken.clear();
    message.clear();
    TOAuthProvider provider;
    if (!Provider(account, provider, message)) {
        return TResult::NeedsAuthorization;
    }
    const QString key = cacheKey(account);
    if (!renew) {
        accessToken = m_cache.Usable(key);
        if (!accessToken.isEmpty()) {
            return TResult::Ok;
        }
    }
    m_cache.Forget(key);

    if (TOAuthFlow* running = m_refreshing.value(key)) {
        // A rotating refresh token may be spent only once: wait for the refresh under way.
        const TOutcome outcome = waitForRefresh(key, running, false);
        accessToken = outcome.Result == TResult::Ok ? m_cache.Usable(key) : QByteArray();
        message = outcome.Message;
        return outcome.Result == TResult::Ok && accessToken.isEmpty() ? TResult::Temporary : outcome.Result;
    }

    const QByteArray refresh = refreshToken(account);
    if (refresh.isEmpty()) {
        message = NeedsAuthorizationText();
        return TResult::NeedsAuthorization;
    }
    TOAuthFlow* flow = newFlow(provider);
    m_refreshing.insert(key, flow);
    m_outcomes.remove(key);
    TOAuthTokens received;
    bool refused = false;
    connect(flow, &TOAuthFlow::finished, this, [this, key, &received](const TOAuthTokens& tokens) {
        received = tokens;
        m_cache.Put(key, tokens);
        if (tokens.RefreshTokenRenewed && !tokens.RefreshToken.isEmpty()) {
            m_refreshTokens.insert(key, tokens.RefreshToken);
        }
        m_outcomes.insert(key, TOutcome{TResult::Ok, QString()});
    });
    connect(flow, &TOAuthFlow::failed, this,
            [this, key, refresh, &refused](TOAuthFlow::Failure kind, const QString& text) {
                if (kind == TOAuthFlow::Failure::InvalidGrant) {
                    refused = true;
                    // Unless an authorization brought a new one meanwhile, the spent token goes.
                    if (m_refreshTokens.value(key, refresh) == refresh) {
                        m_refreshTokens.remove(key);
                    }
                    m_outcomes.insert(key, TOutcome{TResult::NeedsAuthorization, NeedsAuthorizationText()});
                } else {
                    m_outcomes.insert(key, TOutcome{TResult::Temporary, text});
                }
            });
    flow->Refresh(refresh);
    const TOutcome outcome = waitForRefresh(key, flow, true);
    if (m_refreshing.value(key) == flow) {
        m_refreshing.remove(key);
    }
    flow->disconnect(this);
    flow->deleteLater();
    m_outcomes.remove(key);

    TPasswordStore* store = keyringFor(m_store, account);
    if (outcome.Result == TResult::Ok) {
        accessToken = m_cache.Usable(key);
        if (store && received.RefreshTokenRenewed && !received.RefreshToken.isEmpty() &&
            m_refreshTokens.value(key) == received.RefreshToken) {
            store->Write(KeyOf(account.Name, account.Login), QString::fromLatin1(received.RefreshToken));
        }
        if (accessToken.isEmpty()) {
            message = tr("權杖端點給的存取權杖已經過期，請稍後再試。");
            return TResult::Temporary;
        }
    } else if (refused && store && !m_refreshTokens.contains(key)) {
        QString stored;
        if (store->Read(KeyOf(account.Name, account.Login), stored) == TStoreResult::Done &&
            stored.toLatin1() == refresh) {
            store->Remove(KeyOf(account.Name, account.Login));
        }
    }
    message = outcome.Message;
    return outcome.Result;
}

QByteArray TOAuthAccess::CachedToken(const TAccount& account) const
{
    return m_cache.Usable(cacheKey(account));
}

bool TOAuthAccess::HasRefreshToken(const TAccount& account)
{
    return !refreshToken(account).isEmpty();
}

void TOAuthAccess::Forget(const TAccount& account)
{
    const QString key = cacheKey(account);
    m_cache.Forget(key);
    m_refreshTokens.remove(key);
    if (TPasswordStore* store = keyringFor(m_store, account)) {
        store->Remove(KeyOf(account.Name, account.Login));
    }
}

bool TOAuthAccess::Authorize(const TAccount& account)
{
    if (Authorizing()) {
        return false;
    }
    m_authorizing = account.Name;
    TOAuthProvider provider;
    QString error = account.Error;
    if (error.isEmpty() && account.Auth != TAccount::TAuth::OAuth2) {
        error = tr("這個信箱沒有設定以瀏覽器登入（Auth=OAuth2）。");
    }
    if (error.isEmpty()) {
        Provider(account, provider, error);
    }
    if (!error.isEmpty()) {
        // The answer comes from the event loop, as the flow's own do.
        QMetaObject::invokeMethod(
            this,
            [this, mailbox = account.Name, error] {
                m_authorizing.clear();
                emit authorizationFailed(mailbox, error);
            },
            Qt::QueuedConnection);
        return true;
    }
    TOAuthFlow* flow = newFlow(provider);
    flow->Opener = Opener;
    m_authorization = flow;
    connect(flow, &TOAuthFlow::browserNotOpened, this, &TOAuthAccess::browserNotOpened);
    connect(flow, &TOAuthFlow::finished, this, [this, flow, account](const TOAuthTokens& tokens) {
        flow->disconnect(this);
        flow->deleteLater();
        m_authorization.clear();
        m_authorizing.clear();
        keep(account, tokens);
        emit authorized(account.Name);
    });
    connect(flow, &TOAuthFlow::failed, this, [this, flow, account](TOAuthFlow::Failure, const QString& message) {
        flow->disconnect(this);
        flow->deleteLater();
        m_authorization.clear();
        m_authorizing.clear();
        emit authorizationFailed(account.Name, message);
    });
    flow->Authorize(account.Login);
    return true;
}

void TOAuthAccess::CancelAuthorization()
{
    if (m_authorization) {
        m_authorization->Cancel();
    }
}

bool TOAuthAccess::Authorizing() const
{
    return !m_authorizing.isEmpty();
}

void TOAuthAccess::CancelWaits()
{
    CancelAuthorization();
    for (const QPointer<QEventLoop>& loop : std::as_const(m_waits)) {
        if (loop) {
            loop->exit(1);
        }
    }
}
