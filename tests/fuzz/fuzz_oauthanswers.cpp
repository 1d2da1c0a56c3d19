// What a token endpoint or a mail server sends about tokens, and the SASL strings built
// from tokens: garbage is refused without a crash, and whatever is accepted is safe to
// put on the wire.

#include "auth/TOAuthTokens.h"
#include "auth/TSaslOAuth.h"
#include "fuzz/FuzzSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QByteArray unescapedSaslName(const QByteArray& name)
{
    QByteArray out = name;
    out.replace("=2C", ",");
    out.replace("=3D", "=");
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    fuzz::Reader reader(input);
    static const int statuses[] = {200, 400, 401, 500};
    const int status = statuses[reader.byte() % 4];
    const QByteArray user = reader.take(reader.byte());
    const QByteArray rest = reader.rest();

    TOAuthTokens tokens;
    tokens.RefreshToken = "old";
    QString code;
    const TOAuthTokens::Answer answer = TOAuthTokens::Parse(status, rest, tokens, code);
    FUZZ_CHECK(code.size() <= 64);
    for (const QChar c : code) {
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() < 0x7f && c != QLatin1Char('"') && c != QLatin1Char('\\'));
    }
    if (answer == TOAuthTokens::Answer::Ok) {
        FUZZ_CHECK(status == 200);
        FUZZ_CHECK(TSaslOAuth::ValidToken(tokens.AccessToken) && TSaslOAuth::ValidToken(tokens.RefreshToken));
        FUZZ_CHECK(tokens.ExpiresIn >= -1 && tokens.ExpiresIn <= 366 * 86400);
    } else {
        FUZZ_CHECK(tokens.AccessToken.isEmpty() && tokens.RefreshToken == "old");
    }
    if (answer == TOAuthTokens::Answer::InvalidGrant) {
        FUZZ_CHECK(code == QLatin1String("invalid_grant"));
    }

    TSaslOAuth::ParseChallenge(rest);
    const QString statusText = QString::fromUtf8(rest);
    const QByteArray challenge =
        QJsonDocument(QJsonObject{{QStringLiteral("status"), statusText}}).toJson(QJsonDocument::Compact).toBase64();
    const TSaslOAuth::Challenge c = TSaslOAuth::ParseChallenge(challenge);
    FUZZ_CHECK(c.Valid && c.Status == statusText);

    const QByteArray token = rest.left(200);
    const QByteArray xoauth2 = TSaslOAuth::InitialResponse(TSaslOAuth::Mechanism::XOAuth2, user, token);
    const QByteArray bearer = TSaslOAuth::InitialResponse(TSaslOAuth::Mechanism::OAuthBearer, user, token, "h", 1);
    FUZZ_CHECK(xoauth2.isEmpty() == bearer.isEmpty());
    if (xoauth2.isEmpty()) {
        return 0;
    }
    FUZZ_CHECK(TSaslOAuth::ValidToken(token) && !user.isEmpty());
    QByteArray expected = "user=" + user + "\x01";
    expected += "auth=Bearer " + token + "\x01\x01";
    FUZZ_CHECK(QByteArray::fromBase64(xoauth2) == expected);
    // The separators are the ones the format has: user and token add none.
    FUZZ_CHECK(QByteArray::fromBase64(xoauth2).count('\x01') == 3);
    const QByteArray decoded = QByteArray::fromBase64(bearer);
    FUZZ_CHECK(decoded.count('\x01') == 5);
    FUZZ_CHECK(decoded.startsWith("n,a="));
    const qsizetype nameEnd = decoded.indexOf(",\x01");
    FUZZ_CHECK(nameEnd > 0 && !decoded.mid(4, nameEnd - 4).contains(','));
    FUZZ_CHECK(unescapedSaslName(decoded.mid(4, nameEnd - 4)) == user);
    FUZZ_CHECK(decoded.endsWith("auth=Bearer " + token + "\x01\x01"));
    return 0;
}
