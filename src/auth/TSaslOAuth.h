#pragma once

#include <QByteArray>
#include <QString>

// The SASL strings of a login with an OAuth2 access token: XOAUTH2 (Google, Microsoft)
// and OAUTHBEARER (RFC 7628). Every string is what goes on the wire, base64 included.
class TSaslOAuth {
public:
    enum class Mechanism { XOAuth2, OAuthBearer };

    // The server's error challenge, read as far as it could be.
    struct Challenge {
        bool Valid = false; // base64 of a JSON object
        QString Status;     // "invalid_token", "401", ...
        QString Scope;
    };

    static QByteArray Name(Mechanism mechanism);
    // "XOAUTH2" or "OAUTHBEARER" in any letter case; false for anything else.
    static bool FromName(const QString& name, Mechanism& mechanism);

    // The initial client response, base64. Empty when the user or the token holds a byte
    // that would break the framing (controls, blanks in the token): nothing is sent then.
    // OAUTHBEARER adds host and port when given (port 0: none).
    static QByteArray InitialResponse(Mechanism mechanism, const QByteArray& user, const QByteArray& token,
                                      const QByteArray& host = QByteArray(), int port = 0);
    // The line that answers the server's error challenge so that it sends its final refusal.
    static QByteArray ErrorAnswer(Mechanism mechanism);
    // Reads the error challenge (base64 JSON); garbage gives an invalid result, never a throw.
    static Challenge ParseChallenge(const QByteArray& base64);

    // A token fit for a SASL string or an HTTP header: printable ASCII without blanks.
    static bool ValidToken(const QByteArray& token);
};
