#include "net/TTlsRules.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QStringList>

namespace {

QList<QSslCertificate>& extraCa()
{
    static QList<QSslCertificate> instance;
    return instance;
}

QString bareHost(const QString& host)
{
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        return host.mid(1, host.size() - 2);
    }
    return host;
}

// For a host given as an address only an iPAddress entry names it (RFC 9525): a common
// name or DNS name that reads like the address does not, though Qt's check accepts one.
bool namesAddress(const QSslCertificate& certificate, const QHostAddress& address)
{
    const QList<QString> entries = certificate.subjectAlternativeNames().values(QSsl::IpAddressEntry);
    for (const QString& entry : entries) {
        if (QHostAddress(entry) == address) {
            return true;
        }
    }
    return false;
}

} // namespace

namespace TTlsRules {

void Prepare(QSslSocket& ssl, const QString& host, const QString& pin, QList<int>* errors)
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!extraCa().isEmpty()) {
        config.addCaCertificates(extraCa());
    }
    ssl.setSslConfiguration(config);
    ssl.setPeerVerifyName(bareHost(host));
    const QString digits = PlainDigits(pin);
    QHostAddress address;
    const bool byAddress = address.setAddress(bareHost(host));
    QSslSocket* socket = &ssl;
    QObject::connect(socket, &QSslSocket::sslErrors, socket,
                     [socket, digits, errors, byAddress, address](const QList<QSslError>& seen) {
                         if (errors) {
                             for (const QSslError& e : seen) {
                                 if (!errors->contains(int(e.error()))) {
                                     errors->append(int(e.error()));
                                 }
                             }
                             if (byAddress && !namesAddress(socket->peerCertificate(), address) &&
                                 !errors->contains(int(QSslError::HostNameMismatch))) {
                                 errors->append(int(QSslError::HostNameMismatch));
                             }
                         }
                         // The user's own trust decision stands in for the chain and the name.
                         if (!digits.isEmpty() && PlainDigits(Fingerprint(socket->peerCertificate())) == digits) {
                             socket->ignoreSslErrors();
                         }
                     });
}

bool PinHolds(const QSslSocket& ssl, const QString& pin)
{
    return pin.isEmpty() || PlainDigits(Fingerprint(ssl.peerCertificate())) == PlainDigits(pin);
}

bool AddressHolds(const QSslSocket& ssl, const QString& host, const QString& pin)
{
    QHostAddress address;
    return !pin.isEmpty() || !address.setAddress(bareHost(host)) || namesAddress(ssl.peerCertificate(), address);
}

QString Fingerprint(const QSslCertificate& certificate)
{
    const QByteArray hex = certificate.digest(QCryptographicHash::Sha256).toHex().toUpper();
    QStringList pairs;
    for (int i = 0; i + 1 < hex.size(); i += 2) {
        pairs.append(QString::fromLatin1(hex.mid(i, 2)));
    }
    return pairs.join(QLatin1Char(':'));
}

QString PlainDigits(QString fingerprint)
{
    return fingerprint.remove(QLatin1Char(':')).toUpper();
}

void SetExtraCaCertificates(const QList<QSslCertificate>& certificates)
{
    extraCa() = certificates;
}

} // namespace TTlsRules
