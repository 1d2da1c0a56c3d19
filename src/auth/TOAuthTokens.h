#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// What a token endpoint gave. Tokens are secrets: this type has no debug output on
// purpose, and nothing should print its fields.
struct TOAuthTokens {
    QByteArray AccessToken;
    // The refresh token to keep: the new one when the provider sent one, otherwise the
    // one the refresh was made with.
    QByteArray RefreshToken;
    // The provider sent a refresh token in this answer: it is to be stored again.
    bool RefreshTokenRenewed = false;
    // Seconds from ReceivedAt; -1 when the provider did not say.
    qint64 ExpiresIn = -1;
    // TClock::Monotonic() when the answer arrived.
    qint64 ReceivedAt = 0;
    QString Scope;

    enum class Answer {
        Ok,
        InvalidGrant, // the code or the refresh token is no longer accepted
        Refused,      // another OAuth error (invalid_client, server_error, ...)
        Malformed     // no usable answer
    };
    // Reads a token endpoint's answer. errorCode gets the OAuth error code when the
    // answer has one, reduced to printable ASCII and cut, so that it can be shown.
    static Answer Parse(int httpStatus, const QByteArray& body, TOAuthTokens& tokens, QString& errorCode);

    // The largest answer read; a token endpoint's answer is a few kilobytes.
    static constexpr qint64 MaxAnswer = 64 * 1024;
};

Q_DECLARE_METATYPE(TOAuthTokens)
