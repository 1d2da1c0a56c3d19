#include "auth/TOAuthFlow.h"

#include "auth/TOAuthRedirect.h"
#include "core/TClock.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// More would only be someone probing the port; the browser needs one or two.
constexpr int kMaxConnections = 8;

QByteArray randomUnreserved(int length)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    constexpr quint32 size = sizeof(alphabet) - 1;
    QByteArray out(length, Qt::Uninitialized);
    QRandomGenerator* random = QRandomGenerator::system();
    for (char& c : out) {
        c = alphabet[random->bounded(size)];
    }
    return out;
}

QByteArray formEncoded(const QList<QPair<QByteArray, QByteArray>>& fields)
{
    QByteArray out;
    for (const auto& field : fields) {
        if (!out.isEmpty()) {
            out += '&';
        }
        out += field.first.toPercentEncoding() + '=' + field.second.toPercentEncoding();
    }
    return out;
}

bool sameSecret(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        diff = static_cast<char>(diff | (a.at(i) ^ b.at(i)));
    }
    return diff == 0;
}

// A provider's error code as it may be shown: letters, digits and "_.-", at most 64.
QString shownCode(const QByteArray& code)
{
    QString out;
    for (const char c : code.left(64)) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
            c == '-') {
            out += QLatin1Char(c);
        }
    }
    return out;
}

// The short page the browser shows, then the connection closes.
void answer(QTcpSocket* socket, int status, const char* reason, const QString& text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    const QByteArray body = "<!DOCTYPE html>\n<html lang=\"zh-Hant\"><head><meta charset=\"utf-8\">"
                            "<title>Mailvane</title></head><body><p>" +
                            html.toUtf8() + "</p></body></html>\n";
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
        "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nCache-Control: no-store\r\nReferrer-Policy: no-referrer\r\nConnection: close\r\n";
    if (status == 405) {
        head += "Allow: GET\r\n";
    }
    socket->write(head + "\r\n" + body);
    socket->disconnectFromHost();
}

// Built at each answer, so that it follows the language loaded after start-up.
QString refusedPage()
{
    return QCoreApplication::translate("TOAuthFlow", "這個位址只接受 Mailvane 授權的回應。");
}

} // namespace

TOAuthFlow::TOAuthFlow(const TOAuthProvider& provider, QObject* parent)
    : QObject(parent), m_provider(provider), m_attemptTimer(new QTimer(this)),
      m_network(new QNetworkAccessManager(this))
{
    m_attemptTimer->setSingleShot(true);
    connect(m_attemptTimer, &QTimer::timeout, this, [this] {
        if (m_phase == Phase::Listening) {
            fail(Failure::TimedOut, tr("等候瀏覽器中的授權逾時，已中止這次授權。"));
        }
    });
}

TOAuthFlow::~TOAuthFlow()
{
    cleanUp();
}

QByteArray TOAuthFlow::NewVerifier()
{
    return randomUnreserved(64);
}

QByteArray TOAuthFlow::NewState()
{
    return randomUnreserved(32);
}

QByteArray TOAuthFlow::Challenge(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QHostAddress TOAuthFlow::ListenAddress() const
{
    return m_server ? m_server->serverAddress() : QHostAddress();
}

bool TOAuthFlow::Authorize(const QString& loginHint)
{
    if (Busy()) {
        return false;
    }
    m_phase = Phase::Listening;
    QString error;
    if (!m_provider.Validate(error)) {
        failLater(Failure::Setup, error);
        return true;
    }
    if (!Opener) {
        failLater(Failure::Setup, tr("沒有可以開啟瀏覽器的方法。"));
        return true;
    }
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &TOAuthFlow::acceptConnections);
    // Loopback only: nobody on the network may answer in the provider's place.
    if (!m_server->listen(QHostAddress::LocalHost, 0)) {
        failLater(Failure::Setup, tr("無法在本機開啟接收授權回應的連接埠：%1").arg(m_server->errorString()));
        return true;
    }
    m_state = NewState();
    m_verifier = m_provider.Pkce ? NewVerifier() : QByteArray();
    m_redirectUri = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server->serverPort()));

    QList<QPair<QByteArray, QByteArray>> fields{
        {"response_type", "code"},
        {"client_id", m_provider.ClientId.toUtf8()},
        {"redirect_uri", m_redirectUri.toString(QUrl::FullyEncoded).toUtf8()},
        {"scope", m_provider.Scope.toUtf8()},
        {"state", m_state},
    };
    if (m_provider.Pkce) {
        fields.emplace_back("code_challenge", Challenge(m_verifier));
        fields.emplace_back("code_challenge_method", "S256");
    }
    if (!loginHint.trimmed().isEmpty()) {
        fields.emplace_back("login_hint", loginHint.trimmed().toUtf8());
    }
    // Encoded by hand: QUrlQuery leaves "+" alone, which the provider would read as a blank.
    QUrl url = m_provider.AuthorizeUrl;
    const QString given = url.query(QUrl::FullyEncoded);
    const QString ours = QString::fromLatin1(formEncoded(fields));
    url.setQuery(given.isEmpty() ? ours : given + QLatin1Char('&') + ours, QUrl::StrictMode);
    m_authorizationUrl = url;
    m_attemptTimer->start(AttemptTimeoutMs);
    if (!Opener(url)) {
        // The attempt goes on: the user may open the address by hand.
        QMetaObject::invokeMethod(
            this,
            [this, attempt = m_attempt, url] {
                if (m_attempt == attempt && m_phase == Phase::Listening) {
                    emit browserNotOpened(url);
                }
            },
            Qt::QueuedConnection);
    }
    return true;
}

bool TOAuthFlow::Refresh(const QByteArray& refreshToken)
{
    if (Busy()) {
        return false;
    }
    m_phase = Phase::Refreshing;
    QString error;
    if (!m_provider.Validate(error)) {
        failLater(Failure::Setup, error);
        return true;
    }
    if (!TSaslOAuth::ValidToken(refreshToken)) {
        failLater(Failure::InvalidGrant, tr("沒有可用的已儲存授權，需要重新授權。"));
        return true;
    }
    m_refreshToken = refreshToken;
    QList<QPair<QByteArray, QByteArray>> fields{
        {"grant_type", "refresh_token"},
        {"refresh_token", refreshToken},
        {"client_id", m_provider.ClientId.toUtf8()},
        {"scope", m_provider.Scope.toUtf8()},
    };
    if (!m_provider.ClientSecret.isEmpty()) {
        fields.emplace_back("client_secret", m_provider.ClientSecret.toUtf8());
    }
    postTokenRequest(fields);
    return true;
}

void TOAuthFlow::Cancel()
{
    if (Busy()) {
        fail(Failure::Cancelled, tr("已取消授權。"));
    }
}

void TOAuthFlow::acceptConnections()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        // Owned by the flow, so that a page being sent outlives the listener.
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_requests.remove(socket); });
        if (m_phase != Phase::Listening || m_requests.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // What is not read yet stays in the system's buffer, not in ours.
        socket->setReadBufferSize(TOAuthRedirect::MaxRequest + 1);
        m_requests.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A connection that keeps its request back would hold a slot for ever.
        QTimer::singleShot(RequestTimeoutMs, socket, [this, socket] {
            if (m_requests.contains(socket)) {
                dropConnection(socket);
            }
        });
    }
}

void TOAuthFlow::dropConnection(QTcpSocket* socket)
{
    m_requests.remove(socket);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void TOAuthFlow::readRequest(QTcpSocket* socket)
{
    const auto it = m_requests.find(socket);
    if (it == m_requests.end()) {
        return;
    }
    it.value() += socket->read(TOAuthRedirect::MaxRequest + 1 - it.value().size());
    const TOAuthRedirect request = TOAuthRedirect::Parse(it.value());
    if (request.Type == TOAuthRedirect::Kind::Incomplete) {
        return;
    }
    m_requests.erase(it);
    socket->disconnect(this);
    switch (request.Type) {
    case TOAuthRedirect::Kind::Incomplete:
        break;
    case TOAuthRedirect::Kind::TooLarge:
        answer(socket, 431, "Request Header Fields Too Large", refusedPage());
        break;
    case TOAuthRedirect::Kind::Malformed:
    case TOAuthRedirect::Kind::NotARedirect:
        answer(socket, 400, "Bad Request", refusedPage());
        break;
    case TOAuthRedirect::Kind::WrongMethod:
        answer(socket, 405, "Method Not Allowed", refusedPage());
        break;
    case TOAuthRedirect::Kind::WrongPath:
        answer(socket, 404, "Not Found", refusedPage());
        break;
    case TOAuthRedirect::Kind::Redirect:
        handleRedirect(socket, request.Code, request.State, request.HasState, request.HasError, request.Error);
        break;
    }
}

void TOAuthFlow::handleRedirect(QTcpSocket* socket, const QByteArray& code, const QByteArray& state, bool hasState,
                                bool hasError, const QByteArray& error)
{
    if (m_phase != Phase::Listening) {
        answer(socket, 409, "Conflict", refusedPage());
        return;
    }
    m_browser = socket;
    if (!hasState || !sameSecret(state, m_state)) {
        fail(Failure::BadState, tr("授權回應與這次登入不符（state 不同），已中止這次授權。"
                                   "這可能是過期或偽造的回應，請重新授權。"));
        return;
    }
    if (hasError) {
        if (error == "access_denied") {
            fail(Failure::Denied, tr("授權被拒絕了，Mailvane 沒有取得存取信箱的權限。"));
        } else {
            fail(Failure::Denied, tr("授權服務商回報錯誤（%1），沒有完成授權。").arg(shownCode(error)));
        }
        return;
    }
    if (code.isEmpty()) {
        fail(Failure::Denied, tr("授權回應中沒有授權碼，沒有完成授權。"));
        return;
    }
    // The code is here: nothing else is accepted any more.
    m_phase = Phase::Exchanging;
    m_attemptTimer->stop();
    m_server->close();
    const QList<QTcpSocket*> others = m_requests.keys();
    for (QTcpSocket* other : others) {
        dropConnection(other);
    }
    QList<QPair<QByteArray, QByteArray>> fields{
        {"grant_type", "authorization_code"},
        {"code", code},
        {"redirect_uri", m_redirectUri.toString(QUrl::FullyEncoded).toUtf8()},
        {"client_id", m_provider.ClientId.toUtf8()},
    };
    if (m_provider.Pkce) {
        fields.emplace_back("code_verifier", m_verifier);
    }
    if (!m_provider.ClientSecret.isEmpty()) {
        fields.emplace_back("client_secret", m_provider.ClientSecret.toUtf8());
    }
    postTokenRequest(fields);
}

void TOAuthFlow::postTokenRequest(const QList<QPair<QByteArray, QByteArray>>& fields)
{
    QNetworkRequest request(m_provider.TokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    // A token endpoint has no business redirecting a request that carries a secret.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(TokenTimeoutMs);
    m_reply = m_network->post(request, formEncoded(fields));
    connect(m_reply, &QNetworkReply::finished, this, &TOAuthFlow::tokenReplyFinished);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > TOAuthTokens::MaxAnswer && m_reply) {
            m_reply->abort();
        }
    });
}

void TOAuthFlow::tokenReplyFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply) {
        return;
    }
    m_reply.clear();
    reply->disconnect(this);
    reply->deleteLater();
    const bool refreshing = m_phase == Phase::Refreshing;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0) {
        const QString why = reply->error() == QNetworkReply::OperationCanceledError ? tr("逾時") : reply->errorString();
        fail(Failure::Temporary, tr("無法從權杖端點取得權杖（%1），請稍後再試。").arg(why));
        return;
    }
    TOAuthTokens tokens;
    tokens.RefreshToken = refreshing ? m_refreshToken : QByteArray();
    QString code;
    switch (TOAuthTokens::Parse(status, reply->read(TOAuthTokens::MaxAnswer + 1), tokens, code)) {
    case TOAuthTokens::Answer::Ok:
        tokens.ReceivedAt = TClock::Monotonic();
        finish(tokens);
        return;
    case TOAuthTokens::Answer::InvalidGrant:
        fail(Failure::InvalidGrant, refreshing ? tr("服務商不再接受已儲存的授權（invalid_grant），需要重新授權。")
                                               : tr("服務商拒絕了授權碼（invalid_grant），請重新授權。"));
        return;
    case TOAuthTokens::Answer::Refused:
        fail(Failure::Temporary, tr("權杖端點拒絕了要求（HTTP %1，%2）。").arg(status).arg(code));
        return;
    case TOAuthTokens::Answer::Malformed:
        fail(Failure::Temporary, tr("權杖端點的回應無法辨識（HTTP %1）。").arg(status));
        return;
    }
}

void TOAuthFlow::finish(const TOAuthTokens& tokens)
{
    if (m_browser) {
        answer(m_browser, 200, "OK", tr("Mailvane 已取得授權，可以關閉這個分頁了。"));
    }
    cleanUp();
    emit finished(tokens);
}

void TOAuthFlow::fail(Failure kind, const QString& message)
{
    if (m_browser) {
        answer(m_browser, kind == Failure::Temporary ? 502 : 400,
               kind == Failure::Temporary ? "Bad Gateway" : "Bad Request",
               tr("Mailvane 沒有完成授權：%1").arg(message));
    }
    cleanUp();
    emit failed(kind, message);
}

void TOAuthFlow::failLater(Failure kind, const QString& message)
{
    // The caller of Authorize() or Refresh() gets its answer from the event loop, never
    // from inside its own call.
    m_phase = Phase::Ending;
    const quint64 attempt = m_attempt;
    QMetaObject::invokeMethod(
        this,
        [this, attempt, kind, message] {
            if (m_attempt == attempt && m_phase == Phase::Ending) {
                fail(kind, message);
            }
        },
        Qt::QueuedConnection);
}

void TOAuthFlow::cleanUp()
{
    ++m_attempt;
    m_phase = Phase::Idle;
    m_attemptTimer->stop();
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply.clear();
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    const QList<QTcpSocket*> open = m_requests.keys();
    for (QTcpSocket* socket : open) {
        dropConnection(socket);
    }
    m_requests.clear();
    m_browser.clear();
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    // Secrets of the attempt go with it.
    m_state.fill('\0');
    m_verifier.fill('\0');
    m_refreshToken.fill('\0');
    m_state.clear();
    m_verifier.clear();
    m_refreshToken.clear();
    m_authorizationUrl.clear();
    m_redirectUri.clear();
}
