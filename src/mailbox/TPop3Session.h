#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <memory>

class TMailListModel;
class TTransport;
struct TFilterRules;

// What a POP3 session needs of the mailbox it works for: where it reports and what it asks.
class TPop3SessionHost {
public:
    virtual ~TPop3SessionHost() = default;

    virtual QString SettingsPath() const = 0;
    virtual QString MailboxName() const = 0;
    // The mailbox's status line.
    virtual void Status(const QString& text) = 0;
    // The status window: light, repaint, the two counters (1 messages, 2 new), new mail found.
    virtual void LED(const QString& colourWord, const QString& text) = 0;
    virtual void RepaintMain() = 0;
    virtual int StatusCount(int row) const = 0;
    virtual void SetStatusCount(int row, int value) = 0;
    virtual void SetNewMailFound() = 0;
    // The modal message window, its source line naming the mailbox.
    virtual void ShowMessage(const QString& text) = 0;
    virtual void HangUpIfDialed() = 0;
    virtual const TFilterRules& Filters() const = 0;

    // The remembered password; AskPassword prompts for it (and may leave it empty).
    virtual QString Password() const = 0;
    virtual void SetPassword(const QString& clear) = 0;
    virtual void AskPassword() = 0;
    // Throws EConvertError on a malformed stored text.
    virtual QString Unscramble(const QString& stored) = 0;
    // The password remembered for the mailbox's account, empty when none; may wait for the
    // keyring. By default the scrambled entry of the settings file.
    virtual QString StoredPassword(const QString& mailbox, const QString& login);

    // A retired mailbox ends its session with the silent abort after the current wait.
    virtual bool Retired() const = 0;
    // Lets the program run during long settings work; may throw the silent abort if allowed.
    virtual void PumpEvents(bool mayAbort) = 0;
};

// The POP3 dialogue of one mailbox over a transport: the check (deletion and listing
// sessions with the new/seen rules) and the retrieval of one message. A failure is shown
// through the host and ends the call with the silent abort (EAbort).
class TPop3Session {
public:
    TPop3Session(TTransport& transport, TMailListModel& list, TPop3SessionHost& host);
    ~TPop3Session();
    TPop3Session(const TPop3Session&) = delete;
    TPop3Session& operator=(const TPop3Session&) = delete;

    // Deletes the marked messages (all unmarked ones too with autoDelete), lists the
    // mailbox anew and applies the keyword rules' deletion marks.
    void Check(bool autoDelete);

    // Messages of this listed size or more are not fetched: for the raw view, and for
    // the readable view, which can show a message with its attachments.
    static constexpr int RawViewLimit = 65534;
    static constexpr int ReadableViewLimit = 16 * 1024 * 1024;
    // True when a listed size is readable and not below limit.
    static bool TooLarge(const QByteArray& listedSize, int limit);

    struct TRetrieval {
        // The row's number now names another message: nothing was fetched.
        bool Moved = false;
        // The listed size is beyond what is shown: nothing was fetched.
        bool TooLarge = false;
        QByteArray Text;
    };
    TRetrieval Retrieve(int row, int limit = RawViewLimit);
    // A retrieved message that was shown is no longer new.
    void Viewed(int row);

    // Ends a running call: its wait fails and its reports are dropped.
    void Cancel();
    // Called when the last running call has unwound.
    void Finished() { m_aborting = false; }

    // The capability names the server listed after the greeting of the last session.
    const QSet<QByteArray>& Capabilities() const { return m_capabilities; }

private:
    struct TQueued;
    using TQueuedPtr = std::shared_ptr<TQueued>;

    void login();
    // CAPA, STLS, the handshake and CAPA again; fails unless the server offers STLS.
    void startTls();
    void readCapabilities();
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
    // Closes, hangs up, shows the failure with the red light and ends the call.
    [[noreturn]] void failRed(const QString& statusText, const QString& message, bool forgetPassword = false);
    [[noreturn]] void abortSession(const QString& message);
    void transportError(int socket, int error, const QString& msg);
    void checkRetired() const;
    void setStatus(const QString& text);
    QByteArray readReply(bool multiLine, qint64 limit, const QString& errorText, bool keepStart = false);
    QByteArray skipToReplyEnd(qint64 keep, const QString& errorText);
    QByteArray exchange(const QByteArray& command, const QString& statusText, const QString& errorText, qint64 limit);
    QByteArray currentId(int n, const QString& statusText, const QString& errorText);
    QByteArray currentUid(int n, const QString& statusText, const QString& errorText);
    QSet<QString> deletionSession();
    void listingSession(const QSet<QString>& pendingNew, const QSet<QString>& keptMarks);
    void applyFilters();

    TTransport& m_transport;
    TMailListModel& m_list;
    TPop3SessionHost& m_host;
    QByteArray m_pending;
    qint64 m_retrLimit = 0;
    bool m_aborting = false;
    QSet<QByteArray> m_capabilities;
    QString m_server;
    QString m_user;
    QList<TQueuedPtr> m_unsent;
    QList<TQueuedPtr> m_inFlight;
    qint64 m_inFlightBytes = 0;
};
