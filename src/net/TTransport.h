#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// How a mailbox's connection is protected.
enum class TSecurity {
    None,
    // Plaintext greeting and capability list, then encryption after STLS.
    StartTls,
    // Encrypted from the first byte.
    Tls,
};

// Where and how the next Open connects.
struct TEndpoint {
    // Decimal port; empty for the transport's default for the security.
    QString Port;
    TSecurity Security = TSecurity::None;
    // SHA-256 of a certificate the user chose to trust, normalised (upper case, no colons).
    QString CertSha256;
};

// A byte stream to a mail server. Calls block until done; every failure, a time-out
// included, goes to the error report with a Winsock code and its English text. The report
// may throw, and the throw leaves from the failing call; when it returns, the call
// returns as a closed stream would (nothing received).
class TTransport {
public:
    using TErrorReport = std::function<void(int socket, int error, const QString& msg)>;

    // The error of a failed encryption; its text is for the user as it is.
    static constexpr int SecurityError = 20001;

    virtual ~TTransport() = default;

    // Applies to the next Open; a transport starts with the default endpoint.
    virtual void SetEndpoint(const TEndpoint& endpoint) = 0;
    // Connects to host (name, dotted address or IPv6 literal, bracketed or not) with a
    // time-out in seconds per call; encrypts at once for TSecurity::Tls.
    virtual void Open(const QString& host, int timeout) = 0;
    // Encrypts the open plaintext connection (after the server accepted STLS). A failure
    // goes to the error report; the connection is never used in plaintext again.
    virtual void StartTls() = 0;
    virtual void Send(const QByteArray& bytes) = 0;
    // What has arrived, waiting for at least one byte; empty when the peer closed.
    virtual QByteArray Receive() = 0;
    // Safe to call at any time, even while another call waits: that wait then fails.
    virtual void Close() = 0;
    virtual bool Connected() const = 0;
    virtual void SetErrorReport(TErrorReport report) = 0;
};
