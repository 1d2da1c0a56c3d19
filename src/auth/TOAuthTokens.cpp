#include "auth/TOAuthTokens.h"

#include "auth/TSaslOAuth.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// An error code as RFC 6749 allows it (printable ASCII but '"' and '\'), at most 64.
QString shownCode(const QString& code)
{
    QString out;
    for (const QChar c : code) {
        if (out.size() >= 64) {
            break;
        }
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f && c != QLatin1Char('"') && c != QLatin1Char('\\')) {
            out += c;
        }
    }
    return out;
}

qint64 seconds(const QJsonValue& v)
{
    // Some providers send the lifetime as a string.
    bool ok = v.isDouble();
    double value = v.toDouble();
    if (v.isString()) {
        value = v.toString().toDouble(&ok);
    }
    if (!ok || value != value) {
        return -1;
    }
    // A year at most keeps the arithmetic far from overflow.
    return static_cast<qint64>(qBound(0.0, value, 366.0 * 86400));
}

} // namespace

TOAuthTokens::Answer TOAuthTokens::Parse(int httpStatus, const QByteArray& body, TOAuthTokens& tokens,
                                         QString& errorCode)
{
    errorCode.clear();
    if (body.size() > MaxAnswer) {
        return Answer::Malformed;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const QJsonObject o = doc.object();
    if (httpStatus != 200) {
        errorCode = shownCode(o.value(QStringLiteral("error")).toString());
        if (errorCode == QLatin1String("invalid_grant") && httpStatus >= 400 && httpStatus < 500) {
            return Answer::InvalidGrant;
        }
        return errorCode.isEmpty() ? Answer::Malformed : Answer::Refused;
    }
    if (!doc.isObject()) {
        return Answer::Malformed;
    }
    const QByteArray access = o.value(QStringLiteral("access_token")).toString().toUtf8();
    const QString type = o.value(QStringLiteral("token_type")).toString(QStringLiteral("Bearer"));
    if (!TSaslOAuth::ValidToken(access) || type.compare(QLatin1String("Bearer"), Qt::CaseInsensitive) != 0) {
        return Answer::Malformed;
    }
    const QJsonValue refresh = o.value(QStringLiteral("refresh_token"));
    if (refresh.isString() && !TSaslOAuth::ValidToken(refresh.toString().toUtf8())) {
        return Answer::Malformed;
    }
    tokens.AccessToken = access;
    if (refresh.isString()) {
        tokens.RefreshToken = refresh.toString().toUtf8();
        tokens.RefreshTokenRenewed = true;
    } else {
        tokens.RefreshTokenRenewed = false;
    }
    tokens.ExpiresIn = o.contains(QStringLiteral("expires_in")) ? seconds(o.value(QStringLiteral("expires_in"))) : -1;
    tokens.Scope = o.value(QStringLiteral("scope")).toString();
    return Answer::Ok;
}
