#pragma once

#include "auth/TOAuthProvider.h"
#include "auth/TOAuthTokens.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTcpServer;
class QTcpSocket;
class QTimer;

// The OAuth2 authorization-code flow of a desktop program (RFC 8252 with PKCE, RFC 7636):
// a listener on 127.0.0.1, the browser sent to the provider, the code exchanged for
// tokens; and the refresh of an access token. Driven by signals only: no call blocks and
// no event loop is nested. Each Authorize() or Refresh() ends in exactly one finished()
// or failed(). Tokens go into no message, no log and no URL. A slot of those signals that
// is done with the flow deletes it with deleteLater().
class TOAuthFlow : public QObject {
    Q_OBJECT
public:
    enum class Failure {
        Setup,        // the provider is incomplete, no listener, no way to open a browser
        Cancelled,    // Cancel()
        TimedOut,     // no redirect within AttemptTimeoutMs
        Denied,       // the provider or the user refused (error=...), or no code came
        BadState,     // a redirect with another state: not this attempt's answer
        InvalidGrant, // the code or refresh token is refused: authorize again
        Temporary     // the token endpoint could not be reached or failed; try later
    };
    Q_ENUM(Failure)

    // Opens a URL in the user's browser. The window-free library has none of its own:
    // the program hands in QDesktopServices::openUrl, tests a fetching fake.
    using TOpener = std::function<bool(const QUrl& url)>;

    explicit TOAuthFlow(const TOAuthProvider& provider, QObject* parent = nullptr);
    ~TOAuthFlow() override;

    TOpener Opener;
    // How long the user has to answer in the browser.
    int AttemptTimeoutMs = 5 * 60 * 1000;
    // How long a connection to the listener may take to send its request.
    int RequestTimeoutMs = 5000;
    // How long a token request may take.
    int TokenTimeoutMs = 30000;

    // Starts an authorization; loginHint, when given, preselects the account. False when
    // an authorization or refresh is already running (nothing is started then).
    bool Authorize(const QString& loginHint = QString());
    // Asks for a new access token with a stored refresh token. False while busy.
    bool Refresh(const QByteArray& refreshToken);
    // Ends the running attempt with failed(Cancelled); nothing when idle.
    void Cancel();
    bool Busy() const { return m_phase != Phase::Idle; }

    // While authorizing: where the browser was sent and where the provider answers.
    QUrl AuthorizationUrl() const { return m_authorizationUrl; }
    QUrl RedirectUri() const { return m_redirectUri; }
    QHostAddress ListenAddress() const;

    // RFC 7636: 64 characters of the unreserved set from the system's CSPRNG.
    static QByteArray NewVerifier();
    static QByteArray NewState();
    // S256: base64url of the verifier's SHA-256, without padding.
    static QByteArray Challenge(const QByteArray& verifier);

signals:
    // The opener failed; the attempt goes on, so that the address can be opened by hand.
    void browserNotOpened(const QUrl& url);
    void finished(const TOAuthTokens& tokens);
    void failed(TOAuthFlow::Failure kind, const QString& message);

private:
    enum class Phase { Idle, Listening, Exchanging, Refreshing, Ending };

    void acceptConnections();
    void readRequest(QTcpSocket* socket);
    void dropConnection(QTcpSocket* socket);
    void handleRedirect(QTcpSocket* socket, const QByteArray& code, const QByteArray& state, bool hasState,
                        bool hasError, const QByteArray& error);
    void postTokenRequest(const QList<QPair<QByteArray, QByteArray>>& fields);
    void tokenReplyFinished();
    void finish(const TOAuthTokens& tokens);
    void fail(Failure kind, const QString& message);
    void failLater(Failure kind, const QString& message);
    void cleanUp();

    TOAuthProvider m_provider;
    Phase m_phase = Phase::Idle;
    quint64 m_attempt = 0;
    QByteArray m_state;
    QByteArray m_verifier;
    QByteArray m_refreshToken;
    QUrl m_authorizationUrl;
    QUrl m_redirectUri;
    QTcpServer* m_server = nullptr;
    QTimer* m_attemptTimer = nullptr;
    QHash<QTcpSocket*, QByteArray> m_requests;
    // The browser's connection that brought the code; it gets the final page.
    QPointer<QTcpSocket> m_browser;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
};
