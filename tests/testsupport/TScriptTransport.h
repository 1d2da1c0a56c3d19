#pragma once

#include "net/TTransport.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// An in-memory transport that plays a scripted server: "server says ...", "client sends ...",
// the peer closing, and failures reported as the socket client reports them. Nothing waits:
// a receive with nothing scripted behaves as a closed peer.
class TScriptTransport : public TTransport {
public:
    // The server's next chunk, as raw bytes.
    TScriptTransport& Says(const QByteArray& bytes);
    // The client's next command line, without CR LF.
    TScriptTransport& Expects(const QByteArray& line);
    // The next receive finds the peer closed.
    TScriptTransport& Closes();
    // The next call reports this error instead of doing its work.
    TScriptTransport& Fails(int error, const QString& msg);

    void SetEndpoint(const TEndpoint& endpoint) override { Endpoint = endpoint; }
    void Open(const QString& host, int timeout) override;
    // Counts the switch and marks the stream encrypted; a scripted failure comes first.
    void StartTls() override;
    void Send(const QByteArray& bytes) override;
    QByteArray Receive() override;
    void Close() override;
    bool Connected() const override { return m_connected; }
    void SetErrorReport(TErrorReport report) override { m_report = std::move(report); }

    // Command lines the client sent, without CR LF.
    QList<QByteArray> Sent;
    // What the client did against the script; empty when it followed it.
    QStringList Mismatches;
    QString Host;
    int Timeout = -1;
    int Opens = 0;
    TEndpoint Endpoint;
    // Lines sent before and after the stream was encrypted.
    int TlsStarts = 0;
    int SentBeforeTls = -1;
    // Steps not reached.
    int Remaining() const { return int(m_steps.size()); }

    static constexpr int Handle = 7;

private:
    enum class Kind { Say, Expect, Close, Fail };
    struct Step {
        Kind kind;
        QByteArray bytes;
        int error = 0;
        QString msg;
    };
    // Reports a scripted failure if one is next; true when it did (and the report returned).
    bool failNext();

    QList<Step> m_steps;
    QByteArray m_unsent;
    TErrorReport m_report;
    bool m_connected = false;
};
