#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// A byte stream to a mail server. Calls block until done; every failure, a time-out
// included, goes to the error report with a Winsock code and its English text. The report
// may throw, and the throw leaves from the failing call; when it returns, the call
// returns as a closed stream would (nothing received).
class TTransport {
public:
    using TErrorReport = std::function<void(int socket, int error, const QString& msg)>;

    virtual ~TTransport() = default;

    // Connects to host (name or dotted address) with a time-out in seconds per call.
    virtual void Open(const QString& host, int timeout) = 0;
    virtual void Send(const QByteArray& bytes) = 0;
    // What has arrived, waiting for at least one byte; empty when the peer closed.
    virtual QByteArray Receive() = 0;
    // Safe to call at any time, even while another call waits: that wait then fails.
    virtual void Close() = 0;
    virtual bool Connected() const = 0;
    virtual void SetErrorReport(TErrorReport report) = 0;
};
