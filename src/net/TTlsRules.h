#pragma once

#include <QList>
#include <QString>

class QSslCertificate;
class QSslSocket;

// The certificate rules of every encrypted connection to a mail server, blocking or
// signal-driven: TLS 1.2 or later, the chain verified against the system's trusted
// certificates (and a test's extra ones) and the host name; a certificate whose SHA-256
// equals the mailbox's pin is accepted even when unverifiable, and a pin, when set, must
// match even a verified certificate.
namespace TTlsRules {

// Before the handshake. errors, when given, collects the verification errors seen
// (QSslError::SslError values) and must outlive the handshake.
void Prepare(QSslSocket& ssl, const QString& host, const QString& pin, QList<int>* errors = nullptr);
// After the handshake: false when a pin is set and the server's certificate differs.
bool PinHolds(const QSslSocket& ssl, const QString& pin);
// After the handshake: false when host is an address that the certificate names only in its
// common or DNS names, which Qt accepts; a pin, when set, decides instead.
bool AddressHolds(const QSslSocket& ssl, const QString& host, const QString& pin);
// "AB:CD:..." of the certificate's DER form.
QString Fingerprint(const QSslCertificate& certificate);
// Upper case without colons, as pins compare.
QString PlainDigits(QString fingerprint);
// For tests: certificates trusted in addition to the system's (an empty list removes them).
void SetExtraCaCertificates(const QList<QSslCertificate>& certificates);

} // namespace TTlsRules
