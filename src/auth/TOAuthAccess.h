#pragma once

#include "auth/TOAuthFlow.h"
#include "auth/TOAuthProvider.h"
#include "auth/TOAuthTokenCache.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

class QEventLoop;
class TPasswordStore;
struct TAccount;

// The program's one holder of OAuth2 tokens. Refresh tokens go to the keyring, one entry
// per mailbox and login beside (never in) the password's, and are kept in memory for the
// run, so that without a keyring they live as long as the program. Access tokens stay in
// memory. Sessions ask Token(), which may refresh but never opens a browser; only
// Authorize() does, driven by signals.
class TOAuthAccess : public QObject {
    Q_OBJECT
public:
    enum class TResult {
        Ok,
        NeedsAuthorization, // no stored authorization, or the provider refused it: Authorize()
        Temporary           // the token endpoint is unreachable or failing: try again later
    };

    // Makes the flows; tests shorten their time-outs here.
    using TFlowFactory = std::function<TOAuthFlow*(const TOAuthProvider& provider, QObject* parent)>;

    // store null: refresh tokens live for the run only.
    explicit TOAuthAccess(TPasswordStore* store, QObject* parent = nullptr);
    ~TOAuthAccess() override;
    // The keyring handed in once the program has one (null: none).
    void SetStore(TPasswordStore* store) { m_store = store; }

    // Opens the browser for Authorize().
    TOAuthFlow::TOpener Opener;
    TFlowFactory FlowFactory;
    // The longest a session waits for a refresh.
    int RefreshWaitMs = 40000;

    // The account's provider: the service table's entry or the hand-given keys, with the
    // build's client IDs. error says, for the user, what is missing.
    static bool Provider(const TAccount& account, TOAuthProvider& provider, QString& error);
    // The keyring entry of an account's refresh token.
    static QString KeyOf(const QString& mailbox, const QString& login);

    // An access token for a session's login: a cached one, else one refreshed with the
    // stored refresh token (waits in a local event loop, bounded; ended by CancelWaits()).
    // renew: the server refused the cached token, a new one is fetched. On
    // NeedsAuthorization a refresh token the provider refused is dropped.
    TResult Token(const TAccount& account, bool renew, QByteArray& accessToken, QString& message);
    // The cached access token while it is usable, empty otherwise; never waits.
    QByteArray CachedToken(const TAccount& account) const;
    // A refresh token is stored for the account (may wait for the keyring).
    bool HasRefreshToken(const TAccount& account);
    // Drops the account's tokens, in memory and in the keyring.
    void Forget(const TAccount& account);

    // Starts the browser's authorization for the account. False while another one runs
    // (nothing starts); otherwise exactly one of authorized() or authorizationFailed()
    // follows from the event loop.
    bool Authorize(const TAccount& account);
    void CancelAuthorization();
    bool Authorizing() const;
    // The mailbox being authorized, empty when none.
    QString AuthorizingMailbox() const { return m_authorizing; }

    // Ends every waiting Token() with Temporary and the running authorization (the program
    // is ending).
    void CancelWaits();

    // The text of NeedsAuthorization for the user.
    static QString NeedsAuthorizationText();

signals:
    void authorized(const QString& mailbox);
    void authorizationFailed(const QString& mailbox, const QString& message);
    // The browser could not be opened: the user may open the address by hand.
    void browserNotOpened(const QUrl& url);

private:
    struct TOutcome {
        TResult Result = TResult::Temporary;
        QString Message;
    };

    TOAuthFlow* newFlow(const TOAuthProvider& provider);
    // The stored refresh token, from memory, else the keyring; empty when none.
    QByteArray refreshToken(const TAccount& account);
    void keep(const TAccount& account, const TOAuthTokens& tokens);
    TOutcome waitForRefresh(const QString& key, TOAuthFlow* flow, bool owner);

    TPasswordStore* m_store;
    TOAuthTokenCache m_cache;
    // Refresh tokens of this run, by cache key.
    QHash<QString, QByteArray> m_refreshTokens;
    // Refreshes under way, by cache key: a second caller waits for the first.
    QHash<QString, QPointer<TOAuthFlow>> m_refreshing;
    QHash<QString, TOutcome> m_outcomes;
    QList<QPointer<QEventLoop>> m_waits;
    QPointer<TOAuthFlow> m_authorization;
    QString m_authorizing;
};
