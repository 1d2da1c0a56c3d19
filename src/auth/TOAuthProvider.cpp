#include "auth/TOAuthProvider.h"

#include "assets/MailvaneAssets.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>

#ifndef MAILVANE_GOOGLE_CLIENT_ID
#define MAILVANE_GOOGLE_CLIENT_ID ""
#endif
#ifndef MAILVANE_GOOGLE_CLIENT_SECRET
#define MAILVANE_GOOGLE_CLIENT_SECRET ""
#endif
#ifndef MAILVANE_MICROSOFT_CLIENT_ID
#define MAILVANE_MICROSOFT_CLIENT_ID ""
#endif

namespace {

QString keyValue(const QMap<QString, QString>& keys, const char* name)
{
    const QString wanted = QString::fromLatin1(name);
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        if (it.key().compare(wanted, Qt::CaseInsensitive) == 0) {
            return it.value().trimmed();
        }
    }
    return QString();
}

bool hasControl(const QString& text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control) {
            return true;
        }
    }
    return false;
}

bool isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// What is wrong with an endpoint, in words; empty when nothing is.
QString endpointProblem(const QUrl& url, const QString& what, const QString& key)
{
    if (url.isEmpty()) {
        return QCoreApplication::translate("TOAuthProvider", "沒有設定%1（%2）。").arg(what, key);
    }
    if (!url.isValid() || url.host().isEmpty() || url.hasFragment() || !url.userInfo().isEmpty()) {
        return QCoreApplication::translate("TOAuthProvider", "%1（%2）不是有效的網址：%3")
            .arg(what, key, url.toString(QUrl::RemoveUserInfo));
    }
    if (!TOAuthProvider::SafeEndpoint(url)) {
        return QCoreApplication::translate("TOAuthProvider", "%1（%2）必須使用 https（本機位址除外）：%3")
            .arg(what, key, url.toString(QUrl::RemoveUserInfo));
    }
    return QString();
}

QUrl endpoint(const QString& text)
{
    return text.isEmpty() ? QUrl() : QUrl(text, QUrl::StrictMode);
}

} // namespace

bool TOAuthProvider::SafeEndpoint(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) {
        return !url.host().isEmpty();
    }
    return scheme == QLatin1String("http") && isLoopbackHost(url.host());
}

QString TOAuthProvider::BuildOption(const QString& option)
{
    if (option == QLatin1String("MAILVANE_GOOGLE_CLIENT_ID")) {
        return QString::fromUtf8(MAILVANE_GOOGLE_CLIENT_ID);
    }
    if (option == QLatin1String("MAILVANE_GOOGLE_CLIENT_SECRET")) {
        return QString::fromUtf8(MAILVANE_GOOGLE_CLIENT_SECRET);
    }
    if (option == QLatin1String("MAILVANE_MICROSOFT_CLIENT_ID")) {
        return QString::fromUtf8(MAILVANE_MICROSOFT_CLIENT_ID);
    }
    return QString();
}

bool TOAuthProvider::FromJson(const QJsonObject& oauth, const QString& name, TOAuthProvider& provider, QString& error)
{
    TOAuthProvider p;
    p.Name = name;
    const QString where = name + QStringLiteral(" oauth");
    p.AuthorizeUrl = endpoint(oauth.value(QStringLiteral("authorize")).toString());
    p.TokenUrl = endpoint(oauth.value(QStringLiteral("token")).toString());
    p.Scope = oauth.value(QStringLiteral("scope")).toString().simplified();
    if (!SafeEndpoint(p.AuthorizeUrl) || !SafeEndpoint(p.TokenUrl) || p.AuthorizeUrl.hasFragment() ||
        p.TokenUrl.hasFragment()) {
        error = where + QStringLiteral(": authorize and token must be https URLs");
        return false;
    }
    if (p.Scope.isEmpty()) {
        error = where + QStringLiteral(": no scope");
        return false;
    }
    const QString mechanism = oauth.value(QStringLiteral("mechanism")).toString(QStringLiteral("XOAUTH2"));
    if (!TSaslOAuth::FromName(mechanism, p.Mechanism)) {
        error = where + QStringLiteral(": bad mechanism \"%1\"").arg(mechanism);
        return false;
    }
    const QJsonValue pkce = oauth.value(QStringLiteral("pkce"));
    if (!pkce.isUndefined() && !pkce.isBool()) {
        error = where + QStringLiteral(": pkce must be true or false");
        return false;
    }
    p.Pkce = pkce.toBool(true);
    p.ClientIdOption = oauth.value(QStringLiteral("clientIdOption")).toString();
    p.AppPassword = oauth.value(QStringLiteral("appPassword")).toBool(false);
    p.ClientId = BuildOption(p.ClientIdOption);
    p.ClientSecret = BuildOption(oauth.value(QStringLiteral("clientSecretOption")).toString());
    provider = p;
    return true;
}

QMap<QString, TOAuthProvider> TOAuthProvider::FromServiceTable(const QByteArray& json, QString& error)
{
    error.clear();
    QMap<QString, TOAuthProvider> out;
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isObject()) {
        error = QStringLiteral("the service table is not a JSON object");
        return out;
    }
    for (const QJsonValue& v : doc.object().value(QStringLiteral("services")).toArray()) {
        const QJsonObject service = v.toObject();
        const QJsonValue oauth = service.value(QStringLiteral("oauth"));
        if (oauth.isUndefined()) {
            continue;
        }
        TOAuthProvider p;
        const QString name = service.value(QStringLiteral("name")).toString();
        if (!oauth.isObject() || !FromJson(oauth.toObject(), name, p, error)) {
            if (error.isEmpty()) {
                error = name + QStringLiteral(": oauth is not an object");
            }
            return {};
        }
        out.insert(name, p);
    }
    return out;
}

const QMap<QString, TOAuthProvider>& TOAuthProvider::Shipped()
{
    static const QMap<QString, TOAuthProvider> table = [] {
        InitMailvaneAssets();
        QFile file(QStringLiteral(":/services/services.json"));
        QString error;
        if (!file.open(QIODevice::ReadOnly)) {
            return QMap<QString, TOAuthProvider>();
        }
        return FromServiceTable(file.readAll(), error);
    }();
    return table;
}

bool TOAuthProvider::FromKeys(const QMap<QString, QString>& keys, const QMap<QString, TOAuthProvider>& services,
                              TOAuthProvider& provider, QString& error)
{
    TOAuthProvider p;
    const QString service = keyValue(keys, "OAuthProvider");
    if (!service.isEmpty()) {
        auto found = services.cend();
        for (auto it = services.cbegin(); it != services.cend(); ++it) {
            if (it.key().compare(service, Qt::CaseInsensitive) == 0) {
                found = it;
                break;
            }
        }
        if (found == services.cend()) {
            error = QCoreApplication::translate("TOAuthProvider", "服務表中沒有「%1」這個登入服務（OAuthProvider）。")
                        .arg(service);
            return false;
        }
        p = found.value();
    } else {
        p.AuthorizeUrl = endpoint(keyValue(keys, "OAuthAuthorizeUrl"));
        p.TokenUrl = endpoint(keyValue(keys, "OAuthTokenUrl"));
        p.Scope = keyValue(keys, "OAuthScope").simplified();
        const QString mechanism = keyValue(keys, "OAuthMechanism");
        if (!mechanism.isEmpty() && !TSaslOAuth::FromName(mechanism, p.Mechanism)) {
            error = QCoreApplication::translate(
                        "TOAuthProvider", "登入方式「%1」無法辨認（OAuthMechanism），只能是 XOAUTH2 或 OAUTHBEARER。")
                        .arg(mechanism);
            return false;
        }
    }
    // The mailbox's own client wins over one built into the program.
    const QString clientId = keyValue(keys, "OAuthClientId");
    if (!clientId.isEmpty()) {
        p.ClientId = clientId;
        p.ClientSecret = keyValue(keys, "OAuthClientSecret");
    }
    if (!p.Validate(error)) {
        return false;
    }
    provider = p;
    return true;
}

bool TOAuthProvider::FromKeys(const QMap<QString, QString>& keys, TOAuthProvider& provider, QString& error)
{
    return FromKeys(keys, Shipped(), provider, error);
}

bool TOAuthProvider::Validate(QString& error) const
{
    error = endpointProblem(AuthorizeUrl, QCoreApplication::translate("TOAuthProvider", "授權網址"),
                            QStringLiteral("OAuthAuthorizeUrl"));
    if (error.isEmpty()) {
        error = endpointProblem(TokenUrl, QCoreApplication::translate("TOAuthProvider", "權杖網址"),
                                QStringLiteral("OAuthTokenUrl"));
    }
    if (!error.isEmpty()) {
        return false;
    }
    if (Scope.isEmpty()) {
        error = QCoreApplication::translate("TOAuthProvider", "沒有設定授權範圍（OAuthScope）。");
        return false;
    }
    if (ClientId.isEmpty()) {
        if (!Name.isEmpty() && !ClientIdOption.isEmpty()) {
            error = QCoreApplication::translate("TOAuthProvider",
                                                "這個 Mailvane 建置時沒有提供 %1 的用戶端 ID（%2），此信箱也沒有設定 "
                                                "OAuthClientId。")
                        .arg(Name, ClientIdOption);
        } else {
            error = QCoreApplication::translate("TOAuthProvider", "沒有設定用戶端 ID（OAuthClientId）。");
        }
        return false;
    }
    if (hasControl(ClientId) || hasControl(ClientSecret) || hasControl(Scope)) {
        error = QCoreApplication::translate("TOAuthProvider", "用戶端 ID、用戶端密鑰或授權範圍含有控制字元。");
        return false;
    }
    return true;
}
