#include "testsupport/TAuthServer.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <memory>

namespace {

constexpr int kMaxRequest = 64 * 1024;

QByteArray randomToken(const char* prefix)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray out(prefix);
    for (int i = 0; i < 32; ++i) {
        out += alphabet[QRandomGenerator::global()->bounded(62)];
    }
    return out;
}

TAuthServer::TFields formFields(const QByteArray& encoded)
{
    TAuthServer::TFields fields;
    for (const QByteArray& item : encoded.split('&')) {
        if (item.isEmpty()) {
            continue;
        }
        const qsizetype eq = item.indexOf('=');
        auto decode = [](QByteArray s) {
            return QString::fromUtf8(QByteArray::fromPercentEncoding(s.replace('+', ' ')));
        };
        fields.insert(decode(item.left(eq < 0 ? item.size() : eq)), eq < 0 ? QString() : decode(item.mid(eq + 1)));
    }
    return fields;
}

QByteArray response(int status, const QByteArray& reason, const QByteArray& type, const QByteArray& body,
                    const QByteArray& extra = QByteArray())
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extra + "\r\n" +
           body;
}

QByteArray json(int status, const QJsonObject& o)
{
    const QByteArray reason = status == 200   ? "OK"
                              : status == 401 ? "Unauthorized"
                              : status == 503 ? "Service Unavailable"
                                              : "Bad Request";
    return response(status, reason, "application/json", QJsonDocument(o).toJson(QJsonDocument::Compact),
                    "Cache-Control: no-store\r\n");
}

QByteArray page(int status, const QByteArray& text)
{
    return response(status, status == 404 ? "Not Found" : "Bad Request", "text/plain; charset=utf-8", text + '\n');
}

QByteArray redirect(const QUrl& to)
{
    return response(302, "Found", "text/plain", QByteArray(), "Location: " + to.toEncoded() + "\r\n");
}

QByteArray queryOf(const QList<QPair<QByteArray, QByteArray>>& items)
{
    QByteArray out;
    for (const auto& item : items) {
        out += (out.isEmpty() ? "" : "&") + item.first + '=' + item.second.toPercentEncoding();
    }
    return out;
}

} // namespace

struct TAuthServer::Private {
    struct Grant {
        QString User;
        QString RedirectUri;
        QByteArray Challenge;
        bool Used = false;
    };
    struct Access {
        QString User;
        QDeadlineTimer Until;
        bool Active = true;
    };

    QThread thread;
    QObject* context = nullptr; // lives on the thread, with the listener and its sockets
    quint16 port = 0;

    mutable QMutex mutex;
    QString user = QStringLiteral("user@example.org");
    QString clientId = QStringLiteral("mailvane-test");
    QString clientSecret;
    AuthorizeMode mode = AuthorizeMode::Approve;
    int accessLifetime = 300;
    bool rotate = true;
    bool tokenUnavailable = false;
    bool introspectionUnauthorized = false;

    QHash<QByteArray, Grant> codes;
    QHash<QByteArray, Access> access;
    QHash<QByteArray, QString> refresh; // refresh tokens still accepted, and whose they are

    TFields lastAuthorize;
    QList<TFields> tokenRequests;
    QList<QByteArray> accessIssued;
    QList<QByteArray> refreshIssued;
    int introspections = 0;
    QStringList requests;

    void accept(QTcpServer* server);
    // Answers one whole request; empty while more is to come.
    QByteArray handle(QByteArray& received);
    QByteArray authorize(const TFields& query);
    QByteArray token(const TFields& form);
    QByteArray userinfo(const QByteArray& authorization);
    QByteArray issue(const QString& owner, bool withRefresh);
};

void TAuthServer::Private::accept(QTcpServer* server)
{
    while (server->hasPendingConnections()) {
        QTcpSocket* socket = server->nextPendingConnection();
        auto received = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            *received += socket->readAll();
            const QByteArray answer = handle(*received);
            if (!answer.isEmpty()) {
                socket->write(answer);
                socket->disconnectFromHost();
            }
        });
    }
}

QByteArray TAuthServer::Private::handle(QByteArray& received)
{
    if (received.size() > kMaxRequest) {
        received.clear();
        return page(400, "too large");
    }
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        return QByteArray();
    }
    const QList<QByteArray> lines = received.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    QMap<QByteArray, QByteArray> headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0) {
            headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
        }
    }
    const qsizetype length = headers.value("content-length", "0").toLongLong();
    if (received.size() < headEnd + 4 + length) {
        return QByteArray();
    }
    const QByteArray body = received.mid(headEnd + 4, length);
    if (requestLine.size() != 3) {
        return page(400, "bad request line");
    }
    const QByteArray method = requestLine.at(0);
    const QByteArray target = requestLine.at(1);
    const qsizetype question = target.indexOf('?');
    const QByteArray path = target.left(question < 0 ? target.size() : question);
    const TFields query = formFields(question < 0 ? QByteArray() : target.mid(question + 1));

    QMutexLocker lock(&mutex);
    requests << QString::fromLatin1(method + ' ' + path);
    if (path == "/authorize" && method == "GET") {
        return authorize(query);
    }
    if (path == "/token" && method == "POST") {
        return token(formFields(body));
    }
    if (path == "/userinfo" && (method == "GET" || method == "POST")) {
        return userinfo(headers.value("authorization"));
    }
    return page(404, "no such endpoint");
}

QByteArray TAuthServer::Private::authorize(const TFields& query)
{
    lastAuthorize = query;
    const QUrl back(query.value(QStringLiteral("redirect_uri")), QUrl::StrictMode);
    if (query.value(QStringLiteral("response_type")) != QLatin1String("code")) {
        return page(400, "response_type must be code");
    }
    if (query.value(QStringLiteral("client_id")) != clientId) {
        return page(400, "unknown client");
    }
    if (back.scheme() != QLatin1String("http") || back.host() != QLatin1String("127.0.0.1") || back.port() <= 0 ||
        back.path() != QLatin1String("/") || back.hasQuery()) {
        return page(400, "redirect_uri must be a loopback address");
    }
    const QByteArray challenge = query.value(QStringLiteral("code_challenge")).toLatin1();
    if (query.value(QStringLiteral("code_challenge_method")) != QLatin1String("S256") || challenge.size() != 43) {
        return page(400, "PKCE with S256 is required");
    }
    const QByteArray state = query.value(QStringLiteral("state")).toUtf8();
    QUrl to = back;
    if (mode == AuthorizeMode::Deny) {
        to.setQuery(QString::fromLatin1(queryOf({{"error", "access_denied"}, {"state", state}})));
        return redirect(to);
    }
    const QByteArray code = randomToken("code-");
    codes.insert(code, Grant{user, back.toString(), challenge, false});
    const QByteArray sentState = mode == AuthorizeMode::WrongState ? state + "x" : state;
    to.setQuery(QString::fromLatin1(queryOf({{"code", code}, {"state", sentState}})));
    return redirect(to);
}

QByteArray TAuthServer::Private::token(const TFields& form)
{
    tokenRequests << form;
    if (tokenUnavailable) {
        return json(503, {{QStringLiteral("error"), QStringLiteral("temporarily_unavailable")}});
    }
    const QJsonObject invalidGrant{{QStringLiteral("error"), QStringLiteral("invalid_grant")}};
    if (form.value(QStringLiteral("client_id")) != clientId ||
        (!clientSecret.isEmpty() && form.value(QStringLiteral("client_secret")) != clientSecret)) {
        return json(401, {{QStringLiteral("error"), QStringLiteral("invalid_client")}});
    }
    const QString grant = form.value(QStringLiteral("grant_type"));
    if (grant == QLatin1String("authorization_code")) {
        const auto it = codes.find(form.value(QStringLiteral("code")).toUtf8());
        if (it == codes.end() || it->Used) {
            return json(400, invalidGrant);
        }
        // A code is spent by its first use, right or wrong.
        it->Used = true;
        const QByteArray verifier = form.value(QStringLiteral("code_verifier")).toUtf8();
        const QByteArray computed = QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        if (form.value(QStringLiteral("redirect_uri")) != it->RedirectUri || verifier.isEmpty() ||
            computed != it->Challenge) {
            return json(400, invalidGrant);
        }
        return issue(it->User, true);
    }
    if (grant == QLatin1String("refresh_token")) {
        const QByteArray presented = form.value(QStringLiteral("refresh_token")).toUtf8();
        const auto it = refresh.find(presented);
        if (it == refresh.end()) {
            return json(400, invalidGrant);
        }
        const QString owner = it.value();
        if (rotate) {
            refresh.erase(it);
        }
        return issue(owner, rotate);
    }
    return json(400, {{QStringLiteral("error"), QStringLiteral("unsupported_grant_type")}});
}

QByteArray TAuthServer::Private::issue(const QString& owner, bool withRefresh)
{
    const QByteArray accessToken = randomToken("at-");
    access.insert(accessToken, Access{owner, QDeadlineTimer(qint64(accessLifetime) * 1000), true});
    accessIssued << accessToken;
    QJsonObject o{{QStringLiteral("access_token"), QString::fromLatin1(accessToken)},
                  {QStringLiteral("token_type"), QStringLiteral("Bearer")},
                  {QStringLiteral("expires_in"), accessLifetime}};
    if (withRefresh) {
        const QByteArray refreshToken = randomToken("rt-");
        refresh.insert(refreshToken, owner);
        refreshIssued << refreshToken;
        o.insert(QStringLiteral("refresh_token"), QString::fromLatin1(refreshToken));
    }
    return json(200, o);
}

QByteArray TAuthServer::Private::userinfo(const QByteArray& authorization)
{
    ++introspections;
    if (introspectionUnauthorized) {
        return json(401, {{QStringLiteral("error"), QStringLiteral("unauthorized")}});
    }
    const QByteArray presented = authorization.startsWith("Bearer ") ? authorization.mid(7).trimmed() : QByteArray();
    const auto it = access.constFind(presented);
    if (it == access.cend() || !it->Active || it->Until.hasExpired()) {
        return json(200, {{QStringLiteral("active"), false}});
    }
    return json(200, {{QStringLiteral("active"), true}, {QStringLiteral("email"), it->User}});
}

TAuthServer::TAuthServer() : d(std::make_unique<Private>()) {}

TAuthServer::~TAuthServer()
{
    if (d->thread.isRunning()) {
        QMetaObject::invokeMethod(
            d->context,
            [this] {
                delete d->context;
                d->context = nullptr;
            },
            Qt::BlockingQueuedConnection);
        d->thread.quit();
        d->thread.wait();
    }
}

bool TAuthServer::start()
{
    if (d->thread.isRunning()) {
        return d->port != 0;
    }
    d->thread.start();
    d->context = new QObject;
    d->context->moveToThread(&d->thread);
    QMetaObject::invokeMethod(
        d->context,
        [this] {
            auto* server = new QTcpServer(d->context);
            QObject::connect(server, &QTcpServer::newConnection, server, [this, server] { d->accept(server); });
            if (server->listen(QHostAddress::LocalHost, 0)) {
                d->port = server->serverPort();
            }
        },
        Qt::BlockingQueuedConnection);
    return d->port != 0;
}

quint16 TAuthServer::port()
{
    start();
    return d->port;
}

QUrl TAuthServer::url(const QString& path)
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void TAuthServer::setUser(const QString& email)
{
    QMutexLocker lock(&d->mutex);
    d->user = email;
}

void TAuthServer::setClient(const QString& clientId, const QString& clientSecret)
{
    QMutexLocker lock(&d->mutex);
    d->clientId = clientId;
    d->clientSecret = clientSecret;
}

void TAuthServer::setAuthorizeMode(AuthorizeMode mode)
{
    QMutexLocker lock(&d->mutex);
    d->mode = mode;
}

void TAuthServer::setAccessLifetime(int seconds)
{
    QMutexLocker lock(&d->mutex);
    d->accessLifetime = seconds;
}

void TAuthServer::setRotateRefreshTokens(bool rotate)
{
    QMutexLocker lock(&d->mutex);
    d->rotate = rotate;
}

void TAuthServer::setTokenUnavailable(bool unavailable)
{
    QMutexLocker lock(&d->mutex);
    d->tokenUnavailable = unavailable;
}

void TAuthServer::setIntrospectionUnauthorized(bool unauthorized)
{
    QMutexLocker lock(&d->mutex);
    d->introspectionUnauthorized = unauthorized;
}

void TAuthServer::revokeRefreshTokens()
{
    QMutexLocker lock(&d->mutex);
    d->refresh.clear();
}

void TAuthServer::expireAccessTokens()
{
    QMutexLocker lock(&d->mutex);
    for (auto& a : d->access) {
        a.Active = false;
    }
}

TAuthServer::TFields TAuthServer::lastAuthorize() const
{
    QMutexLocker lock(&d->mutex);
    return d->lastAuthorize;
}

QList<TAuthServer::TFields> TAuthServer::tokenRequests() const
{
    QMutexLocker lock(&d->mutex);
    return d->tokenRequests;
}

QList<QByteArray> TAuthServer::accessTokens() const
{
    QMutexLocker lock(&d->mutex);
    return d->accessIssued;
}

QList<QByteArray> TAuthServer::refreshTokens() const
{
    QMutexLocker lock(&d->mutex);
    return d->refreshIssued;
}

int TAuthServer::introspections() const
{
    QMutexLocker lock(&d->mutex);
    return d->introspections;
}

QStringList TAuthServer::requests() const
{
    QMutexLocker lock(&d->mutex);
    return d->requests;
}
