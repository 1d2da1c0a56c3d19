#include "net/TTlsRules.h"

#include <QCryptographicHash>
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
    QSslSocket* socket = &ssl;
    QObject::connect(socket, &QSslSocket::sslErrors, socket, [socket, digits, errors](const QList<QSslError>& seen) {
        if (errors) {
            for (const QSslError& e : seen) {
                if (!errors->contains(int(e.error()))) {
                    errors->append(int(e.error()));
                }
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
