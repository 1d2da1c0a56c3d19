#pragma once

#include "mailbox/TMailSession.h"
#include "settings/TAccount.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <memory>

class TMailListModel;
class TOAuthLogin;
class TTransport;
struct TEndpoint;

// The POP3 dialogue of one mailbox over a transport: the check (deletion and listing
// sessions with the new/seen rules) and the retrieval of one message. A failure is reported
// to the host and ends the call with the silent abort (EAbort).
class TPop3Session : public TMailSession {
public:
    TPop3Session(TTransport& transport, TMailListModel& list, TSessionHost& host);
    ~TPop3Session() override;
    TPop3Session(const TPop3Session&) = delete;
    TPop3Session& operator=(const TPop3Session&) = delete;

    // Deletes the marked messages (all unmarked ones too with autoDelete), lists the
    // mailbox anew and applies the keyword rules' deletion marks.
    void Check(bool autoDelete) override;

    // True when a listed size is readable and not below limit.
    static bool TooLarge(const QByteArray& listedSize, int limit);

    TRetrieval Retrieve(int row, int limit = TAccount::RawViewLimit) override;
    void Viewed(int row) override;
    void Cancel() override;
    void Unwound() override { m_aborting = false; }
    bool Busy() const override { return m_calls > 0; }

    // Logs in to account with the host's password and logs out: the connection test.
    // Capabilities are asked for only where encryption needs them. A failure is reported
    // to the host and ends with the silent abort.
    void LoginAndLogout(const TAccount& account);

    // The capability names the server listed after the greeting of the last session.
    const QSet<QByteArray>& Capabilities() const { return m_capabilities; }

private:
    struct TQueued;
    using TQueuedPtr = std::shared_ptr<TQueued>;

    void login();
    // The account's endpoint for the transport.
    static TEndpoint endpointOf(const TAccount& account);
    // CAPA, STLS, the handshake and CAPA again; fails unless the server offers STLS.
    void startTls();
    void readCapabilities();
    // SASL with an OAuth2 access token: one new token after a refusal, no password ever.
    void authenticate(TOAuthLogin& token, const TEndpoint& endpoint);
    // Commands go out in order, several at once when the server pipelines; take() returns
    // the reply of one, reading the replies before it first, and fails the session on a
    // refusal just as sendCommand does. front puts the command before every unsent one.
    TQueuedPtr queue(const QByteArray& command, bool front = false);
    QByteArray take(const TQueuedPtr& command, const QString& statusText, const QString& errorText);
    QByteArray readFor(const QByteArray& command, const QString& errorText);
    void clearQueue();
    bool uidList(int maxNumber, qint64 limit, const QString& statusText, const QString& errorText,
                 QHash<int, QByteArray>& uids);
    void logout();
    QByteArray sendCommand(const QByteArray& command, const QString& statusText, const QString& errorText);
    // Closes, reports the failure to the host and ends the call.
    [[noreturn]] void fail(TSessionFailure failure);
    [[noreturn]] void abortSession(const QString& message);
    void transportError(int socket, int error, const QString& msg);
    void checkRetired() const;
    QByteArray readReply(bool multiLine, qint64 limit, const QString& errorText, bool keepStart = false);
    QByteArray skipToReplyEnd(qint64 keep, const QString& errorText);
    QByteArray exchange(const QByteArray& command, const QString& statusText, const QString& errorText, qint64 limit);
    QByteArray currentId(int n, const QString& statusText, const QString& errorText);
    QByteArray currentUid(int n, const QString& statusText, const QString& errorText);
    QSet<QByteArray> deletionSession();
    void listingSession(const QSet<QByteArray>& pendingNew, const QSet<QByteArray>& keptMarks);

    TTransport& m_transport;
    TMailListModel& m_list;
    TSessionHost& m_host;
    TAccount m_account;
    QString m_password;
    // The refusal that ends the dialogue, for the failure report.
    QByteArray m_refusal;
    bool m_readCapabilities = true;
    int m_calls = 0;
    QByteArray m_pending;
    qint64 m_retrLimit = 0;
    bool m_aborting = false;
    QSet<QByteArray> m_capabilities;
    QSet<QByteArray> m_sasl;
    QString m_server;
    QString m_user;
    QList<TQueuedPtr> m_unsent;
    QList<TQueuedPtr> m_inFlight;
    qint64 m_inFlightBytes = 0;
};
