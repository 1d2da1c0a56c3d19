#pragma once

#include "auth/TOAuthAccess.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class TMailListModel;
class TMailPush;
class TSockets;
struct TAccount;
struct TFilterRules;

// Why a session ended early. The host picks the light and the status text by the kind.
struct TSessionFailure {
    enum class TKind {
        // The server refused or broke off the dialogue, or the account's settings are unusable.
        Refused,
        // The connection failed (refused, timed out, closed).
        Connection,
        // Encryption failed (certificate, handshake).
        Security,
    };
    // The transport's report of a failed call on mailbox's connection.
    static TSessionFailure OfTransport(const QString& mailbox, int socket, int error, const QString& msg);

    TKind Kind = TKind::Refused;
    // For the user, ending with a line break.
    QString Message;
    // The password was refused: the remembered one is to be forgotten.
    bool ForgetPassword = false;
    // An OAuth2 mailbox has no usable authorization: only the browser can give one.
    bool NeedsAuthorization = false;
    // The server's refusal as received, when one ended the dialogue.
    QByteArray ServerReply;
    // The connection's error code and text for Connection and Security.
    int Error = 0;
    QString ErrorText;
};

// What a check found, given with its end.
struct TCheckCounts {
    int Messages = 0;
    int New = 0;
};

// What a mail session needs of the mailbox it works for, and what it tells it. The session
// reports what happened; the host decides how it looks (lights, counters, texts).
class TSessionHost {
public:
    virtual ~TSessionHost() = default;

    // The account as the settings hold it now, read by the settings layer.
    virtual TAccount Account() = 0;
    virtual const TFilterRules& Filters() const = 0;
    // The password for login: the remembered one, else the one stored for login (may wait
    // for the keyring); when still empty and mayAsk, the user is asked (may stay empty).
    virtual QString Password(const QString& login, bool mayAsk) = 0;
    // The access token of a mailbox that logs in through the browser (OAuth2): a cached one,
    // else a refreshed one (may wait); renew when the server refused the last one. Never
    // opens a browser. By default there is none.
    virtual TOAuthAccess::TResult AccessToken(bool renew, QByteArray& token, QString& message)
    {
        Q_UNUSED(renew);
        token.clear();
        message = TOAuthAccess::NeedsAuthorizationText();
        return TOAuthAccess::TResult::NeedsAuthorization;
    }
    // The same as held now, without waiting; empty when none is usable (for connections
    // driven by signals, which must not wait).
    virtual QByteArray CachedAccessToken() { return QByteArray(); }
    // A retired mailbox ends its session with the silent abort after the current wait.
    virtual bool Retired() const = 0;
    // Lets the program run during long work between waits; may throw the silent abort when mayAbort.
    virtual void Yield(bool mayAbort) = 0;

    // Progress for the mailbox's status line.
    virtual void Progress(const QString& text) = 0;
    // A check or a retrieval began and holds the mailbox until it ends.
    virtual void Started() = 0;
    // Logged in to the server.
    virtual void Connected(bool encrypted) = 0;
    // The server holds this many messages; sent before the rows are listed.
    virtual void Listed(int messages) = 0;
    // A listed row is marked new; neverSeen when no earlier check saw it (to be announced).
    virtual void NewMessage(bool neverSeen) = 0;
    // A row marked new is new no more (viewed, or marked for deletion by a rule).
    virtual void NoLongerNew() = 0;
    // Something the user must know that does not end the check.
    virtual void Notice(const QString& text) = 0;
    // The session ends early; the call then ends with the silent abort (EAbort).
    virtual void Failed(const TSessionFailure& failure) = 0;
    // A check ended well.
    virtual void Finished(const TCheckCounts& counts) = 0;
};

// Counts a session's running call while it lives, for Busy(); calls nest while waits run the
// event loop.
class TRunningCall {
public:
    explicit TRunningCall(int& calls) : m_calls(calls) { ++m_calls; }
    ~TRunningCall() { --m_calls; }
    TRunningCall(const TRunningCall&) = delete;
    TRunningCall& operator=(const TRunningCall&) = delete;

private:
    int& m_calls;
};

// One mailbox's dialogue with its server, whatever the protocol: the mailbox window drives
// it and never names the protocol. Calls block while the program's event loop runs; a
// failure is reported through the host and ends the call with the silent abort (EAbort).
class TMailSession {
public:
    virtual ~TMailSession() = default;

    // Deletes the marked messages (all unmarked ones too with autoDelete), lists the mailbox
    // anew and applies the keyword rules' deletion marks.
    virtual void Check(bool autoDelete) = 0;

    struct TRetrieval {
        // The row's number now names another message: nothing was fetched.
        bool Moved = false;
        // The listed size is beyond the limit: nothing was fetched.
        bool TooLarge = false;
        // The message as fetched, for the readable view.
        QByteArray Message;
        // The raw view's text, decoded when it is a single part (empty when the message is
        // beyond the raw view's limit), and the same without its headers.
        QByteArray Whole;
        QByteArray Body;
    };
    // Fetches a listed row's message for viewing, unless its listed size reaches limit.
    virtual TRetrieval Retrieve(int row, int limit) = 0;
    // A retrieved message that was shown is no longer new.
    virtual void Viewed(int row) = 0;

    // Ends a running call: its wait fails and its reports are dropped.
    virtual void Cancel() = 0;
    // Called when the last running call has unwound.
    virtual void Unwound() = 0;
    // True while a call runs (possibly blocked in a wait).
    virtual bool Busy() const = 0;
    // The connection that waits for the server's news between checks; null when the
    // session has none. The session owns it.
    virtual TMailPush* Push() { return nullptr; }

    // The keyword rules that delete: matching rows are marked for deletion (no longer new).
    static void ApplyDeleteRules(TMailListModel& list, TSessionHost& host);
    // A shown row that was new is new no more.
    static void MarkViewed(TMailListModel& list, TSessionHost& host, int row);
    // The raw view's texts of a fetched message of this listed size (none beyond the raw
    // view's own limit, even when the readable view fetched it).
    static void FillViews(TRetrieval& retrieval, const QByteArray& listedSize);

    // The session for account's protocol over the program's own sockets.
    static std::unique_ptr<TMailSession> Create(const TAccount& account, TMailListModel& list, TSessionHost& host);
    // Called with the unencrypted connection beneath every session made from now on, which
    // the session owns; empty: none. Tests tune it (time limits) or cut it through this.
    using TSocketsHook = std::function<void(TSockets& plain)>;
    static void SetSocketsHook(TSocketsHook hook);
};
