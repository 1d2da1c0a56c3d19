#pragma once

#include "mailbox/TImapParser.h"
#include "mailbox/TMailSession.h"
#include "mailbox/TSeenIds.h"
#include "mailbox/TUidlCache.h"
#include "settings/TAccount.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>

class TImapCommand;
class TMailListModel;
class TOAuthLogin;
class TTransport;
struct TEndpoint;

// The IMAP dialogue of one mailbox over a transport, with the same meaning as POP3's: a
// check deletes the marked messages and lists the folder (new by the same seen list), a
// retrieval fetches one message for viewing. Listing and viewing never change a flag. A
// failure is reported to the host and ends the call with the silent abort (EAbort).
class TImapSession : public TMailSession {
public:
    TImapSession(TTransport& transport, TMailListModel& list, TSessionHost& host);
    ~TImapSession() override;
    TImapSession(const TImapSession&) = delete;
    TImapSession& operator=(const TImapSession&) = delete;

    void Check(bool autoDelete) override;
    TRetrieval Retrieve(int row, int limit = TAccount::RawViewLimit) override;
    void Viewed(int row) override;
    void Cancel() override;
    void Unwound() override { m_aborting = false; }
    bool Busy() const override { return m_calls > 0; }

    // Logs in with the host's password, opens the folder read-only and logs out: the
    // connection test. A failure is reported to the host and ends with the silent abort.
    void LoginAndLogout(const TAccount& account);

    // The capabilities the server listed after the last login (upper-cased).
    const QSet<QByteArray>& Capabilities() const { return m_capabilities; }
    bool OffersIdle() const { return m_capabilities.contains("IDLE"); }

    // A row's unique-id as this session keeps it: the folder's UIDVALIDITY and the UID.
    static QByteArray RowUid(quint32 validity, quint32 uid);
    static bool ParseRowUid(const QByteArray& rowUid, quint32& validity, quint32& uid);
    // The header cache's key: the POP3 cache's file, but only for this protocol, folder
    // and UIDVALIDITY; any other reads as a foreign file and is rebuilt.
    static QByteArray CacheKey(const TAccount& account, quint32 validity);
    // The header fields a listing fetches, as the reply of a POP3 TOP reads them.
    static QByteArray HeaderSection();
    // A fetched message in the form of a POP3 RETR reply, as the viewers read it.
    static QByteArray AsRetrReply(const QByteArray& message);
    // The endpoint of account, its port the protocol's usual one when none is written.
    static TEndpoint EndpointOf(const TAccount& account);

private:
    using TUntagged = std::function<void(const TImapResponse&)>;

    // What a listing reads from this computer's files, read while the server is busy with
    // the login: the seen list and, when the folder keeps its UIDVALIDITY, the header cache.
    struct TListingFiles {
        bool Read = false;
        TSeenIds Seen;
        QString CachePath;
        bool Cached = false;
        TUidlCache Cache;
        // The UIDVALIDITY Cache was loaded for; 0 when it was not.
        quint32 CacheValidity = 0;
    };

    void login();
    void startTls();
    void authenticate();
    // SASL with an OAuth2 access token: one new token after a refusal, no password ever.
    void authenticate(TOAuthLogin& token, const TEndpoint& endpoint);
    void askCapabilities(const QString& errorText);
    void takeCapabilities(const TImapResponse& response);
    // Sends command and reads up to its tagged reply, passing untagged responses to
    // untagged. A refusal fails the session with errorText unless mayRefuse.
    TImapResponse run(TImapCommand& command, const QString& statusText, const QString& errorText,
                      const TUntagged& untagged = {}, bool mayRefuse = false);
    // Reads up to the tagged reply of a command already sent.
    TImapResponse await(const QByteArray& tag, const QString& errorText, const TUntagged& untagged = {},
                        bool mayRefuse = false);
    QByteArray nextTag();
    // Runs and forgets m_meanwhile; false when there was none.
    bool runMeanwhile();
    TImapResponse next(const QString& errorText);
    // Opens the folder: its message count and UIDVALIDITY. What behind gives (asked once
    // the command has its tag) is sent in the same write, after the command.
    void open(bool readWrite, const QString& errorText, quint32& exists, quint32& validity,
              const std::function<QByteArray()>& behind = {});
    QByteArray folderWire();
    // meanwhile runs once LOGOUT is sent, before its answer is read.
    void logout(const std::function<void()>& meanwhile = {});
    QSet<QByteArray> deletion();
    void readListingFiles(TListingFiles& files);
    // pendingNew: rows new at the last listing and not viewed since, by TMailListModel::IdKey.
    void listing(const QSet<QByteArray>& pendingNew, const QSet<QByteArray>& keptMarks, TListingFiles& files);

    [[noreturn]] void fail(TSessionFailure failure);
    [[noreturn]] void abortSession(const QString& message, bool forgetPassword = false);
    void transportError(int socket, int error, const QString& msg);
    void checkRetired() const;

    TTransport& m_transport;
    TMailListModel& m_list;
    TSessionHost& m_host;
    TAccount m_account;
    TImapParser m_parser;
    QSet<QByteArray> m_capabilities;
    QByteArray m_refusal;
    QString m_password;
    // Bytes sent before and after the next command; tags whose answers are not waited for.
    QByteArray m_ahead;
    QByteArray m_behind;
    QSet<QByteArray> m_skipTags;
    bool m_loggingOut = false;
    bool m_utf8 = false;
    int m_tags = 0;
    // Work of this computer's that runs at the next wait for the server, so the two overlap.
    std::function<void()> m_meanwhile;
    // The folder's UIDVALIDITY at the last listing: the cache is read for it ahead.
    quint32 m_lastValidity = 0;
    int m_calls = 0;
    bool m_aborting = false;
};
