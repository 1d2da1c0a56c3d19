#pragma once

#include "net/TTransport.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <memory>

class QSslSocket;
class TSockets;

// The server's certificate as the last handshake saw it, and why it was refused.
struct TCertificateInfo {
    QString Subject;
    QString Issuer;
    QString ValidFrom;
    QString ValidTo;
    // SHA-256, upper-case hexadecimal pairs joined by colons.
    QString Fingerprint;
    // The certificate could not be verified (and was not pinned): the user may trust it.
    bool Untrusted = false;
    // A pin was set and the certificate differs from it.
    bool PinMismatch = false;
    // The reasons in words, for the user.
    QString Reason;
};

// The mail transport: plaintext through the socket client (its Winsock texts unchanged),
// or encrypted with QSslSocket on the same connection, from the first byte or after STLS.
// The certificate is verified against the system's trusted certificates and the host name;
// one whose SHA-256 equals the endpoint's pin is accepted even when unverifiable. Every
// wait keeps the program's event loop running under the call's time-out and the session
// deadline of the socket client; an encryption failure is reported with SecurityError and
// a text for the user. Nothing ever falls back to plaintext.
class TSecureSockets : public QObject, public TTransport {
    Q_OBJECT
public:
    // plain must outlive this object.
    explicit TSecureSockets(TSockets& plain, QObject* parent = nullptr);
    ~TSecureSockets() override;

    // The port of implicit TLS when the endpoint names none.
    QString TlsPort = QStringLiteral("995");

    void SetEndpoint(const TEndpoint& endpoint) override;
    void Open(const QString& host, int timeout) override;
    void StartTls() override;
    void Send(const QByteArray& bytes) override;
    QByteArray Receive() override;
    void Close() override;
    bool Connected() const override;
    void SetErrorReport(TErrorReport report) override;

    bool Encrypted() const;
    const TCertificateInfo& LastCertificate() const { return m_certificate; }

    // "AB:CD:..." of the certificate's DER form.
    static QString Fingerprint(const QSslCertificate& certificate);
    // For tests: certificates trusted in addition to the system's (an empty list removes them).
    static void SetExtraCaCertificates(const QList<QSslCertificate>& certificates);

private:
    struct Wait;
    // Reports a failure; the report may throw. Afterwards the connection is closed.
    void fail(int error, const QString& msg);
    void dropSecure();
    bool checkPin();
    QString describe(const QList<int>& errors) const;

    TSockets& m_plain;
    TEndpoint m_endpoint;
    TErrorReport m_report;
    QString m_host;
    int m_timeout = 30;
    int m_fd = -1;
    QSslSocket* m_ssl = nullptr;
    Wait* m_wait = nullptr;
    QList<int> m_sslErrors;
    TCertificateInfo m_certificate;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
