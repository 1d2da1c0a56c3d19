#pragma once

#include "net/TTransport.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QHostAddress;

// A small TCP client. In blocking mode every call waits for its result while the
// program's event loop keeps running (timers, menus, repaints), guarded by a time-out
// in seconds. Every failure is turned into a Winsock error code and its English text
// and raised through OnErrorOccurred; the handler may throw, and the throw leaves from
// the blocked call itself, never from inside Qt's event dispatch.
// Only the blocking mode exists: NonBlocking is kept as a property but every call blocks.
// The socket handle is the file descriptor of the open socket, -1 when there is none.
class TSockets : public QObject {
    Q_OBJECT
public:
    using TErrorOccurred = std::function<void(TSockets* sender, int socket, int error, const QString& msg)>;
    using TMessageBox = std::function<void(const QString& text, const QString& caption)>;
    using TExit = std::function<void()>;
    using TErrorReport = TTransport::TErrorReport;
    // Replaces the resolver with one giving a single IPv4 address in host byte order; returns 0, or the Winsock
    // code of the failure (11001 "Host not found", ...). Runs on a thread of its own, so it
    // may block; a lookup still running when its call ends is abandoned.
    using TLookup = std::function<int(const QString& name, quint32& address)>;
    // The same giving every address of the name, IPv4 or IPv6, in the order to try them.
    using TAddressLookup = std::function<int(const QString& name, QList<QHostAddress>& addresses)>;

    explicit TSockets(QObject* parent = nullptr);
    ~TSockets() override;

    int MaximumReceiveLength = 8192;
    QString IPAddr;
    QString Port;
    bool NonBlocking = true;
    int Timeout = 30;
    // Longest time in seconds that one session, from SConnect to Disconnect, may take in all;
    // below 0 it follows Timeout, 0 means none.
    int SessionTimeout = -1;
    TErrorOccurred OnErrorOccurred;

    void SConnect();
    // Sends every byte of the text.
    void SetText(const QByteArray& text);
    // One receive of at most MaximumReceiveLength bytes; empty when closed or failed.
    QByteArray GetText();
    // Closes with a reset. Called while a call waits, it ends that wait and the waiting
    // call reports 10004 "Interrupted system call".
    void Disconnect();

    // The socket handle, -1 when no socket is open.
    int SocketHandle() const;
    bool IsOpen() const { return SocketHandle() != -1; }
    // True while a blocking call waits.
    bool Waiting() const;

    static QString ErrorText(int code);

    // The plaintext stream under a transport: Open sets IPAddr and Timeout and connects to
    // Port; the error report is OnErrorOccurred without the sender.
    void Open(const QString& host, int timeout);
    void Send(const QByteArray& bytes) { SetText(bytes); }
    QByteArray Receive() { return GetText(); }
    void Close() { Disconnect(); }
    bool Connected() const { return IsOpen(); }
    void SetErrorReport(TErrorReport report);

    // Hands the open socket over (for encryption): this object forgets it without closing.
    int TakeHandle();
    // When the running session must end (forever when unlimited).
    QDeadlineTimer SessionDeadline() const;

    // Where the set-up errors ("No Port Specified", ...) are shown, caption "WINSOCK ERROR".
    static void SetMessageBox(TMessageBox box);
    // How an error without a handler ends the program; QCoreApplication::exit(0) by default.
    // After it, the failing call throws EAbort so that the running command stops too.
    static void SetExit(TExit exitProgram);
    // Host-name lookups made so far by all sockets (dotted addresses make none).
    static int HostLookups();
    // Replaces the system's resolver; an empty function restores it.
    static void SetLookup(TLookup lookup);
    static void SetAddressLookup(TAddressLookup lookup);

protected:
    void ReportError(int socket, const QString& function, int code);

private:
    // The session's limit in seconds, 0 for none.
    int sessionLimit() const;
    // Reports a failed call; a timed-out call first raises 10060 "Blocking call timed out".
    void failCall(int socket, const QString& function, int code, bool timedOut);

    struct Private;
    Private* d;
};
