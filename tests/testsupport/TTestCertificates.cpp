#include "testsupport/TTestCertificates.h"

#include <QFile>
#include <QProcess>

namespace {

const char kCaConfig[] = "[ca]\n"
                         "default_ca = test\n"
                         "[test]\n"
                         "dir = .\n"
                         "database = index.txt\n"
                         "new_certs_dir = .\n"
                         "serial = serial\n"
                         "default_md = sha256\n"
                         "policy = any\n"
                         "x509_extensions = server\n"
                         "unique_subject = no\n"
                         "[any]\n"
                         "commonName = supplied\n"
                         "[server]\n"
                         "subjectAltName = DNS:localhost, IP:::1\n"
                         "basicConstraints = CA:FALSE\n"
                         "extendedKeyUsage = serverAuth\n"
                         "[namedaddress]\n"
                         "subjectAltName = DNS:127.0.0.1\n"
                         "basicConstraints = CA:FALSE\n"
                         "extendedKeyUsage = serverAuth\n"
                         "[ipaddress]\n"
                         "subjectAltName = IP:127.0.0.1, IP:::1\n"
                         "basicConstraints = CA:FALSE\n"
                         "extendedKeyUsage = serverAuth\n";

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

TTestCertificates::TTestCertificates() = default;
TTestCertificates::~TTestCertificates() = default;

QString TTestCertificates::path(const QString& file) const
{
    return m_dir ? m_dir->filePath(file) : QString();
}

bool TTestCertificates::run(const QStringList& arguments, QString* error) const
{
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir->path());
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2")
                     .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(openssl.readAllStandardError()));
        return false;
    }
    return true;
}

bool TTestCertificates::Make(QString* error)
{
    // Under /tmp: the private Dovecot reads the files.
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/mailvane-pki-XXXXXX"));
    if (!m_dir->isValid()) {
        *error = QStringLiteral("cannot create a temporary folder");
        return false;
    }
    if (!writeFile(path(QStringLiteral("ca.cnf")), kCaConfig) || !writeFile(path(QStringLiteral("index.txt")), {}) ||
        !writeFile(path(QStringLiteral("serial")), "01\n")) {
        *error = QStringLiteral("cannot write the CA files");
        return false;
    }
    const QStringList ec = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    if (!run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
                 QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                             QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("30"),
                             QStringLiteral("-subj"), QStringLiteral("/O=Mailvane Tests/CN=Mailvane Test CA")},
             error)) {
        return false;
    }
    struct Signed {
        const char* name;
        const char* start;
        const char* end;
        const char* subject;
        const char* extensions;
    };
    const Signed issued[] = {{"server", nullptr, nullptr, "/CN=localhost", "server"},
                             {"expired", "20200101000000Z", "20200201000000Z", "/CN=localhost", "server"},
                             {"future", "20990101000000Z", "20990201000000Z", "/CN=localhost", "server"},
                             {"namedaddress", nullptr, nullptr, "/CN=127.0.0.1", "namedaddress"},
                             {"ipaddress", nullptr, nullptr, "/CN=Mailvane address test", "ipaddress"}};
    for (const Signed& s : issued) {
        const QString name = QString::fromLatin1(s.name);
        if (!run(QStringList{QStringLiteral("req")} + ec +
                     QStringList{QStringLiteral("-keyout"), name + QStringLiteral(".key"), QStringLiteral("-out"),
                                 name + QStringLiteral(".csr"), QStringLiteral("-subj"),
                                 QString::fromLatin1(s.subject)},
                 error)) {
            return false;
        }
        QStringList sign = {
            QStringLiteral("ca"),          QStringLiteral("-batch"),         QStringLiteral("-config"),
            QStringLiteral("ca.cnf"),      QStringLiteral("-cert"),          QStringLiteral("ca.pem"),
            QStringLiteral("-keyfile"),    QStringLiteral("ca.key"),         QStringLiteral("-in"),
            name + QStringLiteral(".csr"), QStringLiteral("-out"),           name + QStringLiteral(".pem"),
            QStringLiteral("-extensions"), QString::fromLatin1(s.extensions)};
        if (s.start) {
            sign << QStringLiteral("-startdate") << QString::fromLatin1(s.start) << QStringLiteral("-enddate")
                 << QString::fromLatin1(s.end);
        } else {
            sign << QStringLiteral("-days") << QStringLiteral("30");
        }
        if (!run(sign, error)) {
            return false;
        }
    }
    // The server's certificate followed by its CA's, as a server sends its chain.
    QFile server(path(QStringLiteral("server.pem")));
    QFile ca(path(QStringLiteral("ca.pem")));
    QFile key(path(QStringLiteral("server.key")));
    if (!server.open(QIODevice::ReadOnly) || !ca.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly) ||
        !writeFile(path(QStringLiteral("chain.pem")), server.readAll() + ca.readAll()) ||
        !writeFile(path(QStringLiteral("chain.key")), key.readAll())) {
        *error = QStringLiteral("cannot write the chain files");
        return false;
    }
    return run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
                   QStringList{QStringLiteral("-keyout"), QStringLiteral("selfsigned.key"), QStringLiteral("-out"),
                               QStringLiteral("selfsigned.pem"), QStringLiteral("-days"), QStringLiteral("30"),
                               QStringLiteral("-subj"), QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
                               QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1")},
               error);
}

QString TTestCertificates::Fingerprint(const QString& certFile)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-fingerprint"),
                   QStringLiteral("-sha256"), QStringLiteral("-in"), certFile});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
        return {};
    }
    const QByteArray out = openssl.readAllStandardOutput().trimmed();
    const int eq = out.indexOf('=');
    return eq < 0 ? QString() : QString::fromLatin1(out.mid(eq + 1)).toUpper();
}
