#pragma once

#include "auth/TSaslOAuth.h"
#include "mailbox/TMailSession.h"

#include <QByteArray>
#include <QString>

struct TAccount;

// The protocol-free part of a session's login with an OAuth2 access token: the account's
// SASL mechanism, the token from the host, and the failures reported for each outcome.
class TOAuthLogin {
public:
    TOAuthLogin(TSessionHost& host, const TAccount& account);

    // The mechanism and a token before anything connects; false with Failure set.
    bool Prepare();
    // After the server refused the token (serverReply): a new one, once. False with Failure
    // set: the renewed token was refused too, or the provider refused the refresh.
    bool Renew(const QByteArray& serverReply);

    TSaslOAuth::Mechanism Mechanism() const { return m_mechanism; }
    QByteArray MechanismName() const { return TSaslOAuth::Name(m_mechanism); }
    // The initial client response for the current token; empty when it cannot be framed.
    QByteArray InitialResponse(const QString& host, int port) const;

    // The server refused the token for good (after the renewed one too).
    TSessionFailure Refused(const QByteArray& serverReply) const;
    // The server cannot check tokens now: this check fails, the token stays.
    TSessionFailure Unavailable(const QByteArray& serverReply) const;
    TSessionFailure NotOffered() const;

    TSessionFailure Failure;

private:
    bool fetch(bool renew);

    TSessionHost& m_host;
    const TAccount& m_account;
    TSaslOAuth::Mechanism m_mechanism = TSaslOAuth::Mechanism::XOAuth2;
    QByteArray m_token;
    bool m_renewed = false;
};
