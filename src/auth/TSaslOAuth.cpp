#include "auth/TSaslOAuth.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool hasControl(const QByteArray& text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            return true;
        }
    }
    return false;
}

// RFC 5801 saslname: "," and "=" would end or confuse the GS2 header.
QByteArray saslName(const QByteArray& user)
{
    QByteArray out;
    out.reserve(user.size());
    for (const char c : user) {
        if (c == '=') {
            out += "=3D";
        } else if (c == ',') {
            out += "=2C";
        } else {
            out += c;
        }
    }
    return out;
}

QString textOf(const QJsonValue& v)
{
    if (v.isString()) {
        return v.toString();
    }
    if (v.isDouble()) {
        return QString::number(v.toDouble());
    }
    return QString();
}

} // namespace

QByteArray TSaslOAuth::Name(Mechanism mechanism)
{
    return mechanism == Mechanism::OAuthBearer ? QByteArrayLiteral("OAUTHBEARER") : QByteArrayLiteral("XOAUTH2");
}

bool TSaslOAuth::FromName(const QString& name, Mechanism& mechanism)
{
    const QString n = name.trimmed();
    if (n.compare(QLatin1String("XOAUTH2"), Qt::CaseInsensitive) == 0) {
        mechanism = Mechanism::XOAuth2;
        return true;
    }
    if (n.compare(QLatin1String("OAUTHBEARER"), Qt::CaseInsensitive) == 0) {
        mechanism = Mechanism::OAuthBearer;
        return true;
    }
    return false;
}

bool TSaslOAuth::ValidToken(const QByteArray& token)
{
    if (token.isEmpty()) {
        return false;
    }
    for (const char c : token) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f) {
            return false;
        }
    }
    return true;
}

QByteArray TSaslOAuth::InitialResponse(Mechanism mechanism, const QByteArray& user, const QByteArray& token,
                                       const QByteArray& host, int port)
{
    if (user.isEmpty() || hasControl(user) || !ValidToken(token) || hasControl(host) || port < 0 || port > 65535) {
        return QByteArray();
    }
    QByteArray message;
    if (mechanism == Mechanism::XOAuth2) {
        message = "user=" + user + "\x01" + "auth=Bearer " + token + "\x01\x01";
    } else {
        message = "n,a=" + saslName(user) + ",\x01";
        if (!host.isEmpty()) {
            message += "host=" + host + "\x01";
        }
        if (port > 0) {
            message += "port=" + QByteArray::number(port) + "\x01";
        }
        message += "auth=Bearer " + token + "\x01\x01";
    }
    return message.toBase64();
}

QByteArray TSaslOAuth::ErrorAnswer(Mechanism mechanism)
{
    // RFC 7628 wants a lone %x01; XOAUTH2 servers take an empty response.
    return mechanism == Mechanism::OAuthBearer ? QByteArrayLiteral("AQ==") : QByteArray();
}

TSaslOAuth::Challenge TSaslOAuth::ParseChallenge(const QByteArray& base64)
{
    Challenge challenge;
    const auto decoded = QByteArray::fromBase64Encoding(base64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return challenge;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(*decoded);
    if (!doc.isObject()) {
        return challenge;
    }
    const QJsonObject o = doc.object();
    challenge.Valid = true;
    challenge.Status = textOf(o.value(QStringLiteral("status")));
    challenge.Scope = textOf(o.value(QStringLiteral("scope")));
    return challenge;
}
