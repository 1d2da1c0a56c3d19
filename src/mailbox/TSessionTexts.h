#pragma once

#include <QString>

// What the mail sessions and the connection test say to the user, in one place; the
// protocol code names none of these texts itself.
namespace TSessionTexts {

// Progress of a session, shown in the mailbox's status line.
QString Connecting();
QString QueryingCapabilities();
QString StartingTls();
QString SendingUser();
QString SendingPassword();
QString SendingToken();
QString LoggedIn();
QString LoggingOut();
QString LeavingServer();
QString LoggedOut();
QString Receiving();
QString Deleting();
QString Downloading();
QString Done();
// The mailbox window's sign that the server's news arrive at once (IMAP IDLE).
QString PushActive();
// Why push was given up: the mailbox is checked on its schedule instead.
QString PushOff(const QString& why);
QString PushNoIdle();
QString PushIdleRefused();
QString PushNeedsLiteral();
QString PushLoginRefused();
QString PushTls();
QString PushFolder();

// Why a session ended, for the message window.
QString Unreachable();
QString LoginError();
QString ReceiveError();
QString DeleteError();
QString DownloadError();
QString LogoutError();
QString StartTlsNotOffered();
QString StartTlsRefused();
QString BytesBeforeTls();
QString TlsFailed();
QString SecureConnectionFailed(const QString& mailbox, const QString& reason);
QString SocketError(int socket, int error, const QString& message);
QString MarksNotFound(int count);
// Logging in with a token (OAuth2).
QString OAuthNeedsAuthorization(const QString& mailbox);
QString OAuthTemporary(const QString& mailbox, const QString& reason);
QString OAuthNotOffered(const QString& mechanism);
QString OAuthRefused();
QString OAuthServerUnavailable();
QString OAuthUnusable(const QString& reason);
QString Moved();
QString TooLarge();

// The status line after a failure: the session's own refusal, or the connection's.
QString Aborted();
QString ConnectionLost();
// The source line of a mailbox's messages.
QString MessageSource(const QString& mailbox);

// The connection test's results.
QString TestNoHost();
QString TestBadSecurity(const QString& word);
QString TestBadPin();
QString TestLineBreak();
QString TestReplyTooLong();
QString TestPeerClosed();
QString TestNoGreeting();
QString TestStartTlsNotOffered();
QString TestStartTlsRefused(const QString& serverWords);
QString TestBytesBeforeTls();
QString TestLoginRefused(const QString& serverWords);
QString TestCannotConnect(int error, const QString& message);
QString TestPassedEncrypted();
QString TestPassedPlain();
QString TestBadProtocol(const QString& word);
QString TestBadAuth(const QString& word);
QString TestOAuthNeedsEncryption();
// Appended to an IMAP test's success.
QString TestIdleOffered();
QString TestIdleMissing();

} // namespace TSessionTexts
