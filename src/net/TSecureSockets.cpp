#include "net/TSecureSockets.h"

#include "net/TCallTimer.h"
#include "net/TSockets.h"
#include "net/TTlsRules.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr int WSAEINTR = 10004;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;

// Decrypted bytes held for the next receives at most.
constexpr qint64 kReadBuffer = 64 * 1024;

QString bareHost(const QString& host)
{
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        return host.mid(1, host.size() - 2);
    }
    return host;
}

QString plainDigits(const QString& fingerprint)
{
    return TTlsRules::PlainDigits(fingerprint);
}

QString names(const QSslCertificate& certificate, bool issuer)
{
    QStringList parts;
    const auto attributes = {QSslCertificate::CommonName, QSslCertificate::Organization,
                             QSslCertificate::OrganizationalUnitName, QSslCertificate::CountryName};
    for (const auto attribute : attributes) {
        const QStringList values = issuer ? certificate.issuerInfo(attribute) : certificate.subjectInfo(attribute);
        if (!values.isEmpty()) {
            parts.append(values.join(QLatin1String(", ")));
        }
    }
    return parts.join(QLatin1String(" / "));
}

} // namespace

// One blocking wait: a local loop under the call's time-out cut short by the session's
// deadline. Everything the loop may reach lives here on the caller's stack, so a handler
// run by the loop may close the transport or destroy it while the call waits.
struct TSecureSockets::Wait {
    Wait(TSecureSockets* owner, int timeoutSeconds, const QDeadlineTimer& sessionEnd) : p(owner), alive(owner->m_alive)
    {
        p->m_wait = this;
        QObject::connect(&timer, &QTimer::timeout, &loop, [this] {
            timedOut = true;
            loop.quit();
        });
        timedOut = !ArmCallTimer(timer, timeoutSeconds, sessionEnd);
    }
    Wait(const Wait&) = delete;
    Wait& operator=(const Wait&) = delete;
    ~Wait()
    {
        timer.stop();
        if (*alive) {
            p->m_wait = nullptr;
        }
    }

    bool dead() const { return !*alive; }
    bool ended() const { return timedOut || cancelled; }

    // False when the wait ended without being woken.
    bool run()
    {
        if (ended()) {
            return false;
        }
        woken = false;
        loop.exec();
        if (!woken && !ended()) {
            // The program is quitting: every loop now returns at once.
            cancelled = true;
        }
        return !ended();
    }
    void wake()
    {
        woken = true;
        loop.quit();
    }
    void cancel()
    {
        cancelled = true;
        loop.quit();
    }

    TSecureSockets* p;
    std::shared_ptr<bool> alive;
    QEventLoop loop;
    QTimer timer;
    bool woken = false;
    bool timedOut = false;
    bool cancelled = false;
};

TSecureSockets::TSecureSockets(TSockets& plain, QObject* parent) : QObject(parent), m_plain(plain) {}

TSecureSockets::~TSecureSockets()
{
    *m_alive = false;
    if (m_wait) {
        m_wait->cancel();
    }
    delete m_ssl;
}

QString TSecureSockets::Fingerprint(const QSslCertificate& certificate)
{
    return TTlsRules::Fingerprint(certificate);
}

void TSecureSockets::SetExtraCaCertificates(const QList<QSslCertificate>& certificates)
{
    TTlsRules::SetExtraCaCertificates(certificates);
}

void TSecureSockets::SetEndpoint(const TEndpoint& endpoint)
{
    m_endpoint = endpoint;
}

void TSecureSockets::SetErrorReport(TErrorReport report)
{
    m_report = report;
    m_plain.SetErrorReport(std::move(report));
}

bool TSecureSockets::Encrypted() const
{
    return m_ssl && m_ssl->isEncrypted();
}

bool TSecureSockets::Connected() const
{
    if (m_ssl) {
        return m_ssl->state() == QAbstractSocket::ConnectedState;
    }
    return m_plain.Connected();
}

void TSecureSockets::dropSecure()
{
    if (!m_ssl) {
        return;
    }
    QSslSocket* old = m_ssl;
    m_ssl = nullptr;
    old->disconnect(this);
    old->abort();
    old->deleteLater();
}

void TSecureSockets::Close()
{
    if (m_wait) {
        m_wait->cancel();
    }
    if (m_ssl) {
        // Reset at once, as the plaintext client does; the object goes at the next connection.
        m_ssl->abort();
    }
    m_fd = -1;
    m_plain.Close();
}

void TSecureSockets::fail(int error, const QString& msg)
{
    const int fd = m_fd;
    Close();
    if (m_report) {
        const TErrorReport report = m_report;
        report(fd, error, msg);
    }
}

void TSecureSockets::Open(const QString& host, int timeout)
{
    if (m_wait) {
        fail(WSAEINPROGRESS, TSockets::ErrorText(WSAEINPROGRESS));
        return;
    }
    dropSecure();
    m_host = host;
    m_timeout = timeout;
    m_certificate = TCertificateInfo();
    QString port = m_endpoint.Port;
    if (port.isEmpty() && m_endpoint.Security == TSecurity::Tls) {
        port = TlsPort;
    }
    const std::shared_ptr<bool> alive = m_alive;
    if (port.isEmpty()) {
        m_plain.Open(host, timeout);
    } else {
        // The socket client's own port stays the default for the plaintext ones.
        struct Restore {
            TSockets& plain;
            QString port;
            ~Restore() { plain.Port = port; }
        } restore{m_plain, m_plain.Port};
        m_plain.Port = port;
        m_plain.Open(host, timeout);
    }
    if (!*alive || !m_plain.Connected()) {
        return;
    }
    if (m_endpoint.Security == TSecurity::Tls) {
        StartTls();
    }
}

void TSecureSockets::StartTls()
{
    if (m_wait) {
        fail(WSAEINPROGRESS, TSockets::ErrorText(WSAEINPROGRESS));
        return;
    }
    if (m_ssl) {
        // Encrypted once already: a second STLS is a confused server, never a downgrade.
        fail(SecurityError, tr("連線已經加密，不能再次開始加密。"));
        return;
    }
    const QDeadlineTimer sessionEnd = m_plain.SessionDeadline();
    const int fd = m_plain.TakeHandle();
    if (fd == -1) {
        fail(WSAENOTCONN, TSockets::ErrorText(WSAENOTCONN));
        return;
    }
    m_fd = fd;
    m_sslErrors.clear();
    m_certificate = TCertificateInfo();
    m_ssl = new QSslSocket(this);
    if (!m_ssl->setSocketDescriptor(fd)) {
        ::close(fd);
        fail(SecurityError, tr("無法建立安全連線：%1").arg(m_ssl->errorString()));
        return;
    }
    // One short command per reply: do not hold it back for a full segment.
    m_ssl->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // A receive waits in the event loop whenever what was decrypted is used up, and the loop
    // reads and decrypts no more than this at a time: a server that keeps sending cannot hold
    // the program in one long pass of the loop, nor pile up data in memory.
    m_ssl->setReadBufferSize(kReadBuffer);
    const QString pin = plainDigits(m_endpoint.CertSha256);
    TTlsRules::Prepare(*m_ssl, m_host, pin, &m_sslErrors);

    bool timedOut = false;
    bool cancelled = false;
    bool failed = false;
    QString failure;
    {
        Wait wait(this, m_timeout, sessionEnd);
        QSslSocket* ssl = m_ssl;
        connect(ssl, &QSslSocket::encrypted, &wait.loop, [&wait] { wait.wake(); });
        connect(ssl, &QAbstractSocket::disconnected, &wait.loop, [&wait] { wait.wake(); });
        connect(ssl, &QAbstractSocket::errorOccurred, &wait.loop, [&] {
            failed = true;
            failure = ssl->errorString();
            wait.wake();
        });
        ssl->startClientEncryption();
        while (!ssl->isEncrypted() && !failed && ssl->state() == QAbstractSocket::ConnectedState) {
            if (!wait.run()) {
                break;
            }
        }
        if (wait.dead()) {
            return;
        }
        timedOut = wait.timedOut;
        cancelled = wait.cancelled;
    }
    if (!m_ssl) {
        return;
    }
    const QSslCertificate peer = m_ssl->peerCertificate();
    if (!peer.isNull()) {
        m_certificate.Subject = names(peer, false);
        m_certificate.Issuer = names(peer, true);
        m_certificate.ValidFrom = peer.effectiveDate().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
        m_certificate.ValidTo = peer.expiryDate().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
        m_certificate.Fingerprint = Fingerprint(peer);
    }
    if (m_ssl->isEncrypted() && !timedOut && !cancelled) {
        if (!pin.isEmpty() && plainDigits(m_certificate.Fingerprint) != pin) {
            // A valid chain does not overrule the user's pin: the server's key changed.
            m_certificate.PinMismatch = true;
            m_certificate.Reason = tr("憑證與此信箱信任的憑證不同");
            fail(SecurityError, tr("伺服器的憑證與此信箱信任的憑證不同，已中止連線。\n"
                                   "信任的指紋 (SHA-256)：%1\n伺服器的指紋 (SHA-256)：%2")
                                    .arg(m_endpoint.CertSha256, m_certificate.Fingerprint));
            return;
        }
        if (TTlsRules::AddressHolds(*m_ssl, m_host, pin)) {
            return;
        }
        // Accepted by Qt for a name that only reads like the address: refused as any
        // certificate for another name, which the user may still trust by its pin.
        m_sslErrors = {int(QSslError::HostNameMismatch)};
    } else if (cancelled) {
        fail(WSAEINTR, TSockets::ErrorText(WSAEINTR));
        return;
    } else if (timedOut) {
        fail(WSAETIMEDOUT, QStringLiteral("Blocking call timed out"));
        return;
    }
    if (!m_sslErrors.isEmpty() && !peer.isNull()) {
        m_certificate.Reason = describe(m_sslErrors);
        if (!pin.isEmpty()) {
            m_certificate.PinMismatch = true;
            fail(SecurityError, tr("無法建立安全連線：%1，且與此信箱信任的憑證不同。\n"
                                   "信任的指紋 (SHA-256)：%2\n伺服器的指紋 (SHA-256)：%3")
                                    .arg(m_certificate.Reason, m_endpoint.CertSha256, m_certificate.Fingerprint));
        } else {
            m_certificate.Untrusted = true;
            fail(SecurityError, tr("無法建立安全連線：%1。\n伺服器的指紋 (SHA-256)：%2")
                                    .arg(m_certificate.Reason, m_certificate.Fingerprint));
        }
        return;
    }
    if (failure.isEmpty()) {
        failure = tr("伺服器中斷了連線");
    }
    fail(SecurityError, tr("無法建立安全連線：加密交握失敗（%1）。").arg(failure));
}

QString TSecureSockets::describe(const QList<int>& errors) const
{
    QStringList reasons;
    for (const int error : errors) {
        QString reason;
        switch (QSslError::SslError(error)) {
        case QSslError::CertificateExpired:
            reason = tr("憑證已過期");
            break;
        case QSslError::CertificateNotYetValid:
            reason = tr("憑證尚未生效");
            break;
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
            reason = tr("憑證為自我簽署");
            break;
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
        case QSslError::CertificateRejected:
            reason = tr("憑證的簽發者不受信任");
            break;
        case QSslError::HostNameMismatch:
            reason = tr("憑證上的名稱與主機「%1」不符").arg(bareHost(m_host));
            break;
        case QSslError::CertificateRevoked:
            reason = tr("憑證已被撤銷");
            break;
        default:
            reason = tr("憑證無法驗證（%1）").arg(QSslError(QSslError::SslError(error)).errorString());
            break;
        }
        if (!reasons.contains(reason)) {
            reasons.append(reason);
        }
    }
    return reasons.join(tr("、", "between the reasons a certificate fails"));
}

void TSecureSockets::Send(const QByteArray& bytes)
{
    if (!m_ssl) {
        m_plain.Send(bytes);
        return;
    }
    if (m_wait) {
        fail(WSAEINPROGRESS, TSockets::ErrorText(WSAEINPROGRESS));
        return;
    }
    if (m_ssl->state() != QAbstractSocket::ConnectedState || !m_ssl->isEncrypted()) {
        fail(WSAENOTCONN, TSockets::ErrorText(WSAENOTCONN));
        return;
    }
    // Goes out while the reply is awaited.
    m_ssl->write(bytes);
    m_ssl->flush();
}

QByteArray TSecureSockets::Receive()
{
    if (!m_ssl) {
        return m_plain.Receive();
    }
    if (m_wait) {
        fail(WSAEINPROGRESS, TSockets::ErrorText(WSAEINPROGRESS));
        return {};
    }
    const qint64 size = qMax(1, m_plain.MaximumReceiveLength);
    bool timedOut = false;
    bool cancelled = false;
    bool failed = false;
    QString failure;
    {
        Wait wait(this, m_timeout, m_plain.SessionDeadline());
        QSslSocket* ssl = m_ssl;
        connect(ssl, &QIODevice::readyRead, &wait.loop, [&wait] { wait.wake(); });
        connect(ssl, &QAbstractSocket::disconnected, &wait.loop, [&wait] { wait.wake(); });
        connect(ssl, &QAbstractSocket::errorOccurred, &wait.loop, [&](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError) {
                failed = true;
                failure = ssl->errorString();
            }
            wait.wake();
        });
        for (;;) {
            if (wait.ended()) {
                break;
            }
            if (ssl->bytesAvailable() > 0) {
                return ssl->read(size);
            }
            if (failed) {
                break;
            }
            if (ssl->state() != QAbstractSocket::ConnectedState) {
                // Closed by the peer: as a closed stream.
                return {};
            }
            if (!wait.run()) {
                break;
            }
        }
        if (wait.dead()) {
            return {};
        }
        timedOut = wait.timedOut;
        cancelled = wait.cancelled;
    }
    if (timedOut) {
        fail(WSAETIMEDOUT, QStringLiteral("Blocking call timed out"));
    } else if (cancelled) {
        fail(WSAEINTR, TSockets::ErrorText(WSAEINTR));
    } else {
        fail(SecurityError, tr("加密連線中斷：%1").arg(failure));
    }
    return {};
}
