#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>

// A small OAuth2 authorization server over HTTP on 127.0.0.1 (port chosen by the system),
// serving from a thread of its own so that a client may block the test's thread and
// Dovecot's introspection is still answered.
//   GET /authorize    checks client, loopback redirect_uri and an S256 challenge, then
//                     redirects (302) to redirect_uri with code and state; by mode it
//                     denies (error=access_denied) or sends another state
//   POST /token       authorization_code: the code once, with the verifier whose SHA-256
//                     is the challenge; refresh_token: a new access token and, unless
//                     switched off, a new refresh token that replaces the old one; a
//                     revoked, replaced or unknown one gets invalid_grant
//   GET|POST /userinfo  "Authorization: Bearer <token>" -> {"active":true,"email":<user>}
//                     while the access token is live, {"active":false} otherwise; or 401
// Form values and query items arrive decoded in the records.
class TAuthServer {
public:
    enum class AuthorizeMode { Approve, Deny, WrongState };
    using TFields = QMap<QString, QString>;

    TAuthServer();
    ~TAuthServer();
    TAuthServer(const TAuthServer&) = delete;
    TAuthServer& operator=(const TAuthServer&) = delete;

    bool start();
    quint16 port();
    // http://127.0.0.1:<port><path>
    QUrl url(const QString& path);

    // Whom the browser's session approves as; introspection answers with it.
    void setUser(const QString& email);
    // The client the server knows (default "mailvane-test", no secret).
    void setClient(const QString& clientId, const QString& clientSecret = QString());
    void setAuthorizeMode(AuthorizeMode mode);
    // Lifetime given to new access tokens (expires_in), in seconds.
    void setAccessLifetime(int seconds);
    void setRotateRefreshTokens(bool rotate);
    // The token endpoint answers 503 with {"error":"temporarily_unavailable"}.
    void setTokenUnavailable(bool unavailable);
    // The introspection endpoint answers 401.
    void setIntrospectionUnauthorized(bool unauthorized);
    // Every refresh token given so far is refused from now on.
    void revokeRefreshTokens();
    // Every access token given so far is inactive from now on.
    void expireAccessTokens();

    // The query of the last authorize request, the form of each token request.
    TFields lastAuthorize() const;
    QList<TFields> tokenRequests() const;
    QList<QByteArray> accessTokens() const;
    QList<QByteArray> refreshTokens() const;
    int introspections() const;
    // "METHOD /path" of every request, in order.
    QStringList requests() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
