#pragma once

#include <QString>

class TOAuthAccess;

// A mailbox's connection as typed in a dialog, before it is stored.
struct TConnectionParams {
    QString Host;
    QString Port;
    // "None", "STARTTLS" or "TLS".
    QString Security;
    QString Login;
    QString Password;
    QString CertSha256;
    int Timeout = 60;
    // "POP3" (also when empty) or "IMAP", and the IMAP folder opened by the test.
    QString Protocol;
    QString Folder;
    // "Password" (also when empty) or "OAuth2". With OAuth2 the login takes an access token
    // from OAuth for the mailbox Mailbox (as authorized before; the test opens no browser),
    // with the provider's keys as the settings file names them.
    QString Auth;
    QString Mailbox;
    QString SettingsPath;
    QString OAuthProvider;
    QString OAuthAuthorizeUrl;
    QString OAuthTokenUrl;
    QString OAuthScope;
    QString OAuthClientId;
    QString OAuthClientSecret;
    QString OAuthMechanism;
    TOAuthAccess* OAuth = nullptr;
};

struct TConnectionTestResult {
    bool Ok = false;
    // Success or the exact failure, for the user.
    QString Message;
    // The server's certificate could not be verified and is not pinned: the user may trust
    // it by its fingerprint. The fields below describe it (also filled on a pin mismatch).
    bool CertUntrusted = false;
    QString Subject, Issuer, ValidFrom, ValidTo, Fingerprint;
    bool Encrypted = false;
    // IMAP: the server offers IDLE (news pushed as they arrive).
    bool Idle = false;
};

// Connects with the given values, logs in (for IMAP opens the folder read-only too) and
// logs out, and says how it went. Blocks while
// the program's event loop runs; asks nothing, shows nothing, stores nothing.
class TConnectionTest {
public:
    static TConnectionTestResult Run(const TConnectionParams& params);
};
