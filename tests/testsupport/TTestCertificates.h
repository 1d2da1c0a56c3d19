#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// Certificates for encrypted test servers, made with the openssl command in a temporary
// folder: a test CA and, signed by it, a server certificate for "localhost" and ::1 (not
// 127.0.0.1), an expired one and one not yet valid, one whose common name and DNS name
// read 127.0.0.1 with no address entry, and one with address entries for 127.0.0.1 and
// ::1 only; the server certificate again followed by the CA's, as a chain; and a
// self-signed one for "localhost", ::1 and 127.0.0.1. Each has its key beside it
// (name.pem, name.key).
class TTestCertificates {
public:
    TTestCertificates();
    ~TTestCertificates();
    TTestCertificates(const TTestCertificates&) = delete;
    TTestCertificates& operator=(const TTestCertificates&) = delete;

    bool Make(QString* error);

    QString Ca() const { return path(QStringLiteral("ca.pem")); }
    // Names: "server", "expired", "future", "namedaddress", "ipaddress", "chain", "selfsigned".
    QString Cert(const QString& name) const { return path(name + QStringLiteral(".pem")); }
    QString Key(const QString& name) const { return path(name + QStringLiteral(".key")); }

    // "AB:CD:..." as openssl prints it; empty on failure.
    static QString Fingerprint(const QString& certFile);

private:
    QString path(const QString& file) const;
    bool run(const QStringList& arguments, QString* error) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};
