#pragma once

#include <QString>

class TIniFile;

// One mailbox's account as the settings file holds it, read once by the settings layer and
// handed to the mailbox's session: a session never opens the settings file itself.
struct TAccount {
    enum class TProtocol { Pop3, Imap };
    enum class TSecurityKind { None, StartTls, Tls };
    enum class TAuth { Password, OAuth2 };

    // Messages of this listed size or more are not fetched: for the raw view, and for the
    // readable view, which can show a message with its attachments.
    static constexpr int RawViewLimit = 65534;
    static constexpr int ReadableViewLimit = 16 * 1024 * 1024;

    QString Name;
    // The settings file the account was read from; the mailbox's seen list and header
    // cache live there and beside it.
    QString SettingsPath;
    QString Host;
    QString Login;
    // Decimal port as written; empty means the security's usual port (for IMAP it is filled
    // in: 143, or 993 for TLS).
    QString Port;
    TSecurityKind Security = TSecurityKind::None;
    // Normalised SHA-256 fingerprint of a trusted certificate; empty when none is pinned.
    QString CertSha256;
    TProtocol Protocol = TProtocol::Pop3;
    QString Folder = QStringLiteral("INBOX");
    // IMAP: a connection waits for the server's news between checks.
    bool Push = true;
    // The time-out as written; Timeout() converts it.
    QString TimeoutText;
    // How the mailbox logs in. For OAuth2 the provider's keys as written; TOAuthAccess
    // makes a provider of them (service table, hand-given keys, the build's client IDs).
    TAuth Auth = TAuth::Password;
    QString OAuthProvider;
    QString OAuthAuthorizeUrl;
    QString OAuthTokenUrl;
    QString OAuthScope;
    QString OAuthClientId;
    QString OAuthClientSecret;
    QString OAuthMechanism;
    // Whether the viewer opens the readable view, which may fetch larger messages.
    bool ReadableView = true;
    // Why a hand-edited value is refused, for the user; empty when every value is usable.
    // Such an account is never read as a weaker one (no encryption, another protocol).
    QString Error;

    // The section of name in the settings file at ini, with the general time-out and view.
    static TAccount Read(const TIniFile& ini, const QString& name);
    // Seconds; throws EConvertError when the written value is not an integer.
    int Timeout() const;
    // The most the view may fetch of one message.
    int ViewLimit() const { return ReadableView ? ReadableViewLimit : RawViewLimit; }
};
