#include "core/EAbort.h"
#include "mailbox/TConnectionTest.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TPop3Session.h"
#include "mailbox/TSeenIds.h"
#include "net/TSecureSockets.h"
#include "net/TSockets.h"
#include "settings/TIniFile.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TLoopGap.h"
#include "testsupport/TRecordingSessionHost.h"
#include "testsupport/TScriptServer.h"
#include "testsupport/TTestCertificates.h"

#include <QSemaphore>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <memory>
#include <unistd.h>

namespace {

const QString kName = QStringLiteral("Secure");

struct TMailbox {
    QString Host = QStringLiteral("localhost");
    QString Security = QStringLiteral("TLS");
    QString Port;
    QString Pin;
    QString Login = QStringLiteral("mvuser");
    QString Password = QStringLiteral("secret");
    QString Timeout = QStringLiteral("10");
};

// One check of the mailbox through the real transports, as a mailbox window runs it.
struct TRun {
    bool Ok = false;
    QStringList Messages;
    QList<QByteArray> Listed;
    QList<QByteArray> Seen;
    QStringList Leds;
};

TRun runCheck(const TMailbox& box)
{
    QTemporaryDir dir;
    TRecordingSessionHost host;
    host.Name = kName;
    host.Path = dir.filePath(QStringLiteral("Mailvane.ini"));
    {
        TIniFile ini(host.Path);
        ini.WriteString(kName, QStringLiteral("Host"), box.Host);
        ini.WriteString(kName, QStringLiteral("Login"), box.Login);
        ini.WriteString(kName, QStringLiteral("Password"), box.Password);
        ini.WriteString(kName, QStringLiteral("Security"), box.Security);
        ini.WriteString(kName, QStringLiteral("Port"), box.Port);
        ini.WriteString(kName, QStringLiteral("CertSha256"), box.Pin);
        ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), box.Timeout);
    }
    TSockets plain;
    plain.Port = QStringLiteral("110");
    TSecureSockets transport(plain);
    TMailListModel list;
    TRun run;
    {
        TPop3Session session(transport, list, host);
        try {
            session.Check(false);
            run.Ok = true;
        } catch (const EAbort&) {
            run.Ok = false;
        }
        session.Unwound();
    }
    for (int row = 1; row <= list.Count(); ++row) {
        run.Listed.append(list.Id(row));
    }
    TSeenIds seen;
    seen.Load(TIniFile(host.Path), kName);
    run.Seen = seen.Ids();
    run.Messages = host.Messages;
    run.Leds = host.Leds;
    return run;
}

QString withoutColons(QString text)
{
    return text.remove(QLatin1Char(':'));
}

// Streams filler over TLS to its first client from a thread of its own, until the client
// goes; the port is 0 when it could not listen.
class TTlsFlood : public QThread {
public:
    TTlsFlood(const QString& certFile, const QString& keyFile)
    {
        QFile cert(certFile);
        QFile key(keyFile);
        if (cert.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly)) {
            m_cert = QSslCertificate(cert.readAll());
            m_key = QSslKey(key.readAll(), QSsl::Ec);
        }
        start();
        m_ready.acquire();
    }
    ~TTlsFlood() override
    {
        m_stop = true;
        wait();
    }
    quint16 Port() const { return m_port; }

protected:
    void run() override
    {
        TAccepting server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            m_ready.release();
            return;
        }
        m_port = server.serverPort();
        m_ready.release();
        for (int i = 0; i < 100 && server.Descriptor < 0 && !m_stop; ++i) {
            server.waitForNewConnection(100);
        }
        if (server.Descriptor < 0) {
            return;
        }
        QSslSocket ssl;
        ssl.setSocketDescriptor(server.Descriptor);
        ssl.setLocalCertificate(m_cert);
        ssl.setPrivateKey(m_key);
        ssl.startServerEncryption();
        if (!ssl.waitForEncrypted(10000)) {
            return;
        }
        const QByteArray block(64 * 1024, 'x');
        while (!m_stop && ssl.state() == QAbstractSocket::ConnectedState) {
            if (ssl.bytesToWrite() < 1024 * 1024) {
                ssl.write(block);
            }
            ssl.waitForBytesWritten(100);
        }
    }

private:
    class TAccepting : public QTcpServer {
    public:
        qintptr Descriptor = -1;

    protected:
        void incomingConnection(qintptr descriptor) override
        {
            if (Descriptor < 0) {
                Descriptor = descriptor;
            } else {
                ::close(int(descriptor));
            }
        }
    };

    QSslCertificate m_cert;
    QSslKey m_key;
    QSemaphore m_ready;
    std::atomic<bool> m_stop{false};
    quint16 m_port = 0;
};

} // namespace

// Encrypted checks against a private Dovecot with certificates made for the test.
class tst_SecureSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void encryptedListing_data();
    void encryptedListing();
    void certificateRefused_data();
    void certificateRefused();
    void pinnedCertificate_data();
    void pinnedCertificate();
    void startTlsWithheld_data();
    void startTlsWithheld();
    void stalledHandshake_data();
    void stalledHandshake();
    void connectionTest_data();
    void connectionTest();
    void connectionTestRefusals_data();
    void connectionTestRefusals();
    void eventLoopRunsWhileTlsStreams();

private:
    // A Dovecot serving three messages with this certificate; false when it cannot run.
    bool startServer(const QString& certName, TDovecot::TSsl mode = TDovecot::TSsl::On, bool ipv6 = false);

    QString m_skip;
    TTestCertificates m_pki;
    std::unique_ptr<TDovecot> m_server;
};

void tst_SecureSession::initTestCase()
{
    QVERIFY2(QSslSocket::supportsSsl(), "Qt has no TLS back end");
    QString error;
    QVERIFY2(m_pki.Make(&error), qPrintable(error));
    TDovecot::Available(&m_skip);
}

void tst_SecureSession::cleanup()
{
    TSecureSockets::SetExtraCaCertificates({});
    m_server.reset();
}

bool tst_SecureSession::startServer(const QString& certName, TDovecot::TSsl mode, bool ipv6)
{
    QString why;
    if (!TDovecot::Available(&why)) {
        return false;
    }
    m_server = std::make_unique<TDovecot>();
    m_server->SetSsl(mode, m_pki.Cert(certName), m_pki.Key(certName));
    m_server->SetIpv6(ipv6);
    QString error;
    if (!m_server->Start(&error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    for (const char* id : {"<one@tls>", "<two@tls>", "<three@tls>"}) {
        m_server->AddMessage(TDovecot::MakeMessage(id, "a@t", "s"));
    }
    return true;
}

void tst_SecureSession::encryptedListing_data()
{
    QTest::addColumn<QString>("cert");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("tlsPort");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("ipv6");

    const int on = int(TDovecot::TSsl::On);
    const int required = int(TDovecot::TSsl::Required);
    const QString server = QStringLiteral("server");
    QTest::newRow("implicit TLS") << server << QStringLiteral("localhost") << QStringLiteral("TLS") << true << on
                                  << false;
    QTest::newRow("STARTTLS") << server << QStringLiteral("localhost") << QStringLiteral("STARTTLS") << false << on
                              << false;
    QTest::newRow("STARTTLS, lower case word")
        << server << QStringLiteral("localhost") << QStringLiteral("starttls") << false << on << false;
    QTest::newRow("TLS, server requires it")
        << server << QStringLiteral("localhost") << QStringLiteral("TLS") << true << required << false;
    QTest::newRow("STARTTLS, server requires it")
        << server << QStringLiteral("localhost") << QStringLiteral("STARTTLS") << false << required << false;
    QTest::newRow("::1") << server << QStringLiteral("::1") << QStringLiteral("TLS") << true << on << true;
    QTest::newRow("[::1] STARTTLS") << server << QStringLiteral("[::1]") << QStringLiteral("STARTTLS") << false << on
                                    << true;
    // An address named by an address entry, and by nothing else.
    const QString ip = QStringLiteral("ipaddress");
    QTest::newRow("127.0.0.1, address entry")
        << ip << QStringLiteral("127.0.0.1") << QStringLiteral("TLS") << true << on << false;
    QTest::newRow("[::1], address entry, STARTTLS")
        << ip << QStringLiteral("[::1]") << QStringLiteral("STARTTLS") << false << on << true;
}

void tst_SecureSession::encryptedListing()
{
    QFETCH(QString, cert);
    QFETCH(QString, host);
    QFETCH(QString, security);
    QFETCH(bool, tlsPort);
    QFETCH(int, mode);
    QFETCH(bool, ipv6);
    if (!startServer(cert, TDovecot::TSsl(mode), ipv6)) {
        QSKIP(qPrintable(m_skip.isEmpty() ? QStringLiteral("dovecot did not start") : m_skip));
    }
    TSecureSockets::SetExtraCaCertificates(QSslCertificate::fromPath(m_pki.Ca()));
    TMailbox box;
    box.Host = host;
    box.Security = security;
    box.Port = QString::number(tlsPort ? m_server->TlsPort() : m_server->Port());
    const TRun run = runCheck(box);
    QVERIFY2(run.Ok, qPrintable(run.Messages.join(QLatin1Char('|')) + m_server->LogText()));
    const QList<QByteArray> ids = {"<one@tls>", "<two@tls>", "<three@tls>"};
    QCOMPARE(run.Listed, ids);
    QCOMPARE(run.Seen, ids);
    // Every login of the check went over TLS.
    const QString log = m_server->LogText();
    QVERIFY2(log.count(QStringLiteral("Login: user=<mvuser>")) >= 1, qPrintable(log));
    QCOMPARE(log.count(QStringLiteral("Login: user=<mvuser>")),
             log.count(QRegularExpression(QStringLiteral("Login: user=<mvuser>.*TLS"))));
}

void tst_SecureSession::certificateRefused_data()
{
    QTest::addColumn<QString>("cert");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("trustCa");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("reason");

    QTest::newRow("name mismatch") << QStringLiteral("server") << QStringLiteral("127.0.0.1") << true
                                   << QStringLiteral("TLS") << QStringLiteral("名稱與主機「127.0.0.1」不符");
    QTest::newRow("name mismatch, STARTTLS") << QStringLiteral("server") << QStringLiteral("127.0.0.1") << true
                                             << QStringLiteral("STARTTLS") << QStringLiteral("不符");
    // Only an address entry names an address: a common name or DNS name reading it does not.
    QTest::newRow("address in the names only")
        << QStringLiteral("namedaddress") << QStringLiteral("127.0.0.1") << true << QStringLiteral("TLS")
        << QStringLiteral("名稱與主機「127.0.0.1」不符");
    QTest::newRow("address in the names only, STARTTLS")
        << QStringLiteral("namedaddress") << QStringLiteral("127.0.0.1") << true << QStringLiteral("STARTTLS")
        << QStringLiteral("名稱與主機「127.0.0.1」不符");
    QTest::newRow("expired") << QStringLiteral("expired") << QStringLiteral("localhost") << true
                             << QStringLiteral("TLS") << QStringLiteral("憑證已過期");
    QTest::newRow("not yet valid") << QStringLiteral("future") << QStringLiteral("localhost") << true
                                   << QStringLiteral("TLS") << QStringLiteral("憑證尚未生效");
    QTest::newRow("self-signed") << QStringLiteral("selfsigned") << QStringLiteral("localhost") << true
                                 << QStringLiteral("TLS") << QStringLiteral("自我簽署");
    QTest::newRow("untrusted issuer") << QStringLiteral("server") << QStringLiteral("localhost") << false
                                      << QStringLiteral("TLS") << QStringLiteral("簽發者不受信任");
}

void tst_SecureSession::certificateRefused()
{
    QFETCH(QString, cert);
    QFETCH(QString, host);
    QFETCH(bool, trustCa);
    QFETCH(QString, security);
    QFETCH(QString, reason);
    if (!startServer(cert)) {
        QSKIP(qPrintable(m_skip.isEmpty() ? QStringLiteral("dovecot did not start") : m_skip));
    }
    if (trustCa) {
        TSecureSockets::SetExtraCaCertificates(QSslCertificate::fromPath(m_pki.Ca()));
    }
    TMailbox box;
    box.Host = host;
    box.Security = security;
    box.Port = QString::number(security == QLatin1String("TLS") ? m_server->TlsPort() : m_server->Port());
    const TRun run = runCheck(box);
    QVERIFY(!run.Ok);
    QVERIFY(run.Leds.last().startsWith(QStringLiteral("Red/")));
    QCOMPARE(run.Messages.size(), 1);
    const QString message = run.Messages.first();
    QVERIFY2(message.contains(kName), qPrintable(message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    const QString fingerprint = TTestCertificates::Fingerprint(m_pki.Cert(cert));
    QVERIFY(!fingerprint.isEmpty());
    QVERIFY2(message.contains(fingerprint), qPrintable(message));
    QVERIFY(run.Listed.isEmpty());
    // Nothing of the login reached the server.
    QVERIFY2(!m_server->LogText().contains(QStringLiteral("user=<mvuser>")), qPrintable(m_server->LogText()));
}

void tst_SecureSession::pinnedCertificate_data()
{
    QTest::addColumn<QString>("cert");
    QTest::addColumn<QString>("pinOf");
    QTest::addColumn<bool>("lowerCase");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("trustCa");
    QTest::addColumn<bool>("accepted");

    const QString localhost = QStringLiteral("localhost");
    QTest::newRow("self-signed, pinned") << QStringLiteral("selfsigned") << QStringLiteral("selfsigned") << false
                                         << localhost << true << true;
    QTest::newRow("self-signed, pinned in lower case, no colons")
        << QStringLiteral("selfsigned") << QStringLiteral("selfsigned") << true << localhost << true << true;
    QTest::newRow("expired, pinned") << QStringLiteral("expired") << QStringLiteral("expired") << false << localhost
                                     << true << true;
    QTest::newRow("changed under the pin")
        << QStringLiteral("selfsigned") << QStringLiteral("server") << false << localhost << true << false;
    // A certificate the system would accept still differs from what the user trusted.
    QTest::newRow("valid chain, other pin")
        << QStringLiteral("server") << QStringLiteral("selfsigned") << false << localhost << true << false;
    QTest::newRow("address in the names only, pinned")
        << QStringLiteral("namedaddress") << QStringLiteral("namedaddress") << false << QStringLiteral("127.0.0.1")
        << true << true;
    // The server sends its certificate and its CA's, the CA not trusted: the pin is
    // compared with the server's own certificate, never with another of the chain.
    QTest::newRow("chain sent, own certificate pinned")
        << QStringLiteral("chain") << QStringLiteral("server") << false << localhost << false << true;
    QTest::newRow("chain sent, CA pinned")
        << QStringLiteral("chain") << QStringLiteral("ca") << false << localhost << false << false;
}

void tst_SecureSession::pinnedCertificate()
{
    QFETCH(QString, cert);
    QFETCH(QString, pinOf);
    QFETCH(bool, lowerCase);
    QFETCH(QString, host);
    QFETCH(bool, trustCa);
    QFETCH(bool, accepted);
    if (!startServer(cert)) {
        QSKIP(qPrintable(m_skip.isEmpty() ? QStringLiteral("dovecot did not start") : m_skip));
    }
    if (trustCa) {
        TSecureSockets::SetExtraCaCertificates(QSslCertificate::fromPath(m_pki.Ca()));
    }
    const QString pinned = TTestCertificates::Fingerprint(m_pki.Cert(pinOf));
    const QString presented = TTestCertificates::Fingerprint(m_pki.Cert(cert));
    QVERIFY(!pinned.isEmpty() && !presented.isEmpty());
    TMailbox box;
    box.Host = host;
    box.Port = QString::number(m_server->TlsPort());
    box.Pin = lowerCase ? withoutColons(pinned).toLower() : pinned;
    const TRun run = runCheck(box);
    QCOMPARE(run.Ok, accepted);
    if (accepted) {
        QCOMPARE(run.Listed.size(), 3);
        QVERIFY(run.Messages.isEmpty());
        return;
    }
    QCOMPARE(run.Messages.size(), 1);
    QVERIFY2(run.Messages.first().contains(pinned), qPrintable(run.Messages.first()));
    QVERIFY2(run.Messages.first().contains(presented), qPrintable(run.Messages.first()));
    QVERIFY(!m_server->LogText().contains(QStringLiteral("user=<mvuser>")));
}

void tst_SecureSession::startTlsWithheld_data()
{
    QTest::addColumn<QByteArray>("capa");
    QTest::addColumn<QByteArray>("stlsReply");
    QTest::addColumn<QString>("message");

    QTest::newRow("not listed") << QByteArray("+OK\r\nTOP\r\nUIDL\r\nUSER\r\n.\r\n") << QByteArray()
                                << QStringLiteral("不提供 STARTTLS");
    QTest::newRow("CAPA refused") << QByteArray("-ERR unknown command\r\n") << QByteArray()
                                  << QStringLiteral("不提供 STARTTLS");
    QTest::newRow("STLS refused") << QByteArray("+OK\r\nSTLS\r\nUSER\r\n.\r\n") << QByteArray("-ERR not now")
                                  << QStringLiteral("拒絕 STARTTLS");
    // Plaintext smuggled in behind the go-ahead would be read as if encrypted.
    QTest::newRow("bytes after the go-ahead")
        << QByteArray("+OK\r\nSTLS\r\n.\r\n") << QByteArray("+OK begin\r\n+OK injected")
        << QStringLiteral("多餘的資料");
}

void tst_SecureSession::startTlsWithheld()
{
    QFETCH(QByteArray, capa);
    QFETCH(QByteArray, stlsReply);
    QFETCH(QString, message);
    TScriptServer server;
    server.sendLine("+OK ready").expect("CAPA").send(capa);
    if (!stlsReply.isEmpty()) {
        server.expect("STLS").sendLine(stlsReply);
    }
    server.silent();
    TMailbox box;
    box.Host = QStringLiteral("127.0.0.1");
    box.Security = QStringLiteral("STARTTLS");
    box.Port = QString::number(server.port());
    const TRun run = runCheck(box);
    QVERIFY(!run.Ok);
    QCOMPARE(run.Messages.size(), 1);
    QVERIFY2(run.Messages.first().contains(message), qPrintable(run.Messages.first()));
    QVERIFY(server.waitForFinished());
    for (const QString& line : server.received()) {
        QVERIFY2(!line.startsWith(QLatin1String("USER"), Qt::CaseInsensitive), qPrintable(line));
        QVERIFY2(!line.startsWith(QLatin1String("PASS"), Qt::CaseInsensitive), qPrintable(line));
        QVERIFY2(!line.contains(QLatin1String("secret")), qPrintable(line));
    }
}

void tst_SecureSession::stalledHandshake_data()
{
    QTest::addColumn<QString>("security");
    QTest::newRow("TLS") << QStringLiteral("TLS");
    QTest::newRow("STARTTLS") << QStringLiteral("STARTTLS");
}

void tst_SecureSession::stalledHandshake()
{
    QFETCH(QString, security);
    // Accepts and answers the plaintext part, then never answers the ClientHello.
    TScriptServer server;
    if (security == QLatin1String("STARTTLS")) {
        server.sendLine("+OK ready").expect("CAPA").send("+OK\r\nSTLS\r\n.\r\n").expect("STLS").sendLine("+OK go");
    }
    server.silent();
    TMailbox box;
    box.Host = QStringLiteral("127.0.0.1");
    box.Security = security;
    box.Port = QString::number(server.port());
    box.Timeout = QStringLiteral("1");
    QElapsedTimer took;
    took.start();
    const TRun run = runCheck(box);
    QVERIFY(!run.Ok);
    QVERIFY(took.elapsed() < 8000);
    QCOMPARE(run.Messages.size(), 1);
    QVERIFY2(run.Messages.first().contains(QStringLiteral("Error: 10060\nMessage: Blocking call timed out")),
             qPrintable(run.Messages.first()));
}

void tst_SecureSession::connectionTest_data()
{
    QTest::addColumn<QString>("cert");
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("pinned");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("untrusted");
    QTest::addColumn<QString>("message");

    QTest::newRow("TLS, trusted CA") << "server"
                                     << "TLS" << false << "secret" << true << false << "加密";
    QTest::newRow("STARTTLS, trusted CA") << "server"
                                          << "STARTTLS" << false << "secret" << true << false << "加密";
    QTest::newRow("self-signed, asks") << "selfsigned"
                                       << "TLS" << false << "secret" << false << true << "自我簽署";
    QTest::newRow("self-signed, pinned") << "selfsigned"
                                         << "TLS" << true << "secret" << true << false << "加密";
    QTest::newRow("wrong password") << "server"
                                    << "TLS" << false << "wrong" << false << false << "密碼錯誤";
    QTest::newRow("plaintext") << "server"
                               << "None" << false << "secret" << true << false << "未加密";
}

void tst_SecureSession::connectionTest()
{
    QFETCH(QString, cert);
    QFETCH(QString, security);
    QFETCH(bool, pinned);
    QFETCH(QString, password);
    QFETCH(bool, ok);
    QFETCH(bool, untrusted);
    QFETCH(QString, message);
    if (!startServer(cert)) {
        QSKIP(qPrintable(m_skip.isEmpty() ? QStringLiteral("dovecot did not start") : m_skip));
    }
    TSecureSockets::SetExtraCaCertificates(QSslCertificate::fromPath(m_pki.Ca()));
    const QString fingerprint = TTestCertificates::Fingerprint(m_pki.Cert(cert));
    TConnectionParams params;
    params.Host = QStringLiteral("localhost");
    params.Security = security;
    params.Port = QString::number(security == QLatin1String("TLS") ? m_server->TlsPort() : m_server->Port());
    params.Login = QStringLiteral("mvuser");
    params.Password = password;
    params.CertSha256 = pinned ? fingerprint : QString();
    params.Timeout = 10;
    const TConnectionTestResult result = TConnectionTest::Run(params);
    QVERIFY2(result.Message.contains(message), qPrintable(result.Message));
    QCOMPARE(result.Ok, ok);
    QCOMPARE(result.CertUntrusted, untrusted);
    QCOMPARE(result.Encrypted, ok && security != QLatin1String("None"));
    if (security != QLatin1String("None")) {
        QCOMPARE(result.Fingerprint, fingerprint);
        QVERIFY2(result.Subject.contains(QStringLiteral("localhost")), qPrintable(result.Subject));
        QVERIFY(!result.ValidTo.isEmpty());
    }
    if (untrusted) {
        QVERIFY(!m_server->LogText().contains(QStringLiteral("user=<mvuser>")));
    }
}

void tst_SecureSession::connectionTestRefusals_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<QByteArray>("capa");
    QTest::addColumn<QByteArray>("stlsReply");
    QTest::addColumn<QByteArray>("passReply");
    QTest::addColumn<QStringList>("message");

    // The STARTTLS scripts of startTlsWithheld, now answered by the connection test.
    QTest::newRow("not listed") << "STARTTLS" << QByteArray("+OK\r\nTOP\r\nUIDL\r\nUSER\r\n.\r\n") << QByteArray()
                                << QByteArray() << QStringList({"不提供 STARTTLS", "未送出帳號密碼。"});
    QTest::newRow("CAPA refused") << "STARTTLS" << QByteArray("-ERR unknown command\r\n") << QByteArray()
                                  << QByteArray() << QStringList({"不提供 STARTTLS"});
    QTest::newRow("STLS refused") << "STARTTLS" << QByteArray("+OK\r\nSTLS\r\nUSER\r\n.\r\n")
                                  << QByteArray("-ERR not now") << QByteArray()
                                  << QStringList({"拒絕 STARTTLS", "（-ERR not now）"});
    QTest::newRow("bytes after the go-ahead")
        << "STARTTLS" << QByteArray("+OK\r\nSTLS\r\n.\r\n") << QByteArray("+OK begin\r\n+OK injected") << QByteArray()
        << QStringList({"多餘的資料"});
    // A plain login sends no CAPA: USER and PASS straight after the greeting.
    QTest::newRow("wrong password") << "None" << QByteArray() << QByteArray() << QByteArray("-ERR [AUTH] bad")
                                    << QStringList({"密碼錯誤", "-ERR [AUTH] bad"});
}

void tst_SecureSession::connectionTestRefusals()
{
    QFETCH(QString, security);
    QFETCH(QByteArray, capa);
    QFETCH(QByteArray, stlsReply);
    QFETCH(QByteArray, passReply);
    QFETCH(QStringList, message);
    TScriptServer server;
    if (passReply.isEmpty()) {
        server.sendLine("+OK ready").expect("CAPA").send(capa);
        if (!stlsReply.isEmpty()) {
            server.expect("STLS").sendLine(stlsReply);
        }
        server.silent();
    } else {
        server.dialogue("+OK ready", {{"USER user", "+OK"}, {"PASS secret", passReply}});
    }
    TConnectionParams params;
    params.Host = QStringLiteral("127.0.0.1");
    params.Port = QString::number(server.port());
    params.Security = security;
    params.Login = QStringLiteral("user");
    params.Password = QStringLiteral("secret");
    params.Timeout = 10;
    const TConnectionTestResult result = TConnectionTest::Run(params);
    QVERIFY(!result.Ok);
    QVERIFY(!result.Encrypted);
    for (const QString& part : message) {
        QVERIFY2(result.Message.contains(part), qPrintable(result.Message));
    }
    QVERIFY(server.waitForFinished());
    QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u'\n')));
    if (passReply.isEmpty()) {
        for (const QString& line : server.received()) {
            QVERIFY2(!line.startsWith(QLatin1String("USER"), Qt::CaseInsensitive), qPrintable(line));
            QVERIFY2(!line.contains(QLatin1String("secret")), qPrintable(line));
        }
    }
}

// A server that keeps sending over TLS holds the program in no long pass of the event loop:
// what one pass reads and decrypts is bounded.
void tst_SecureSession::eventLoopRunsWhileTlsStreams()
{
    TTlsFlood server(m_pki.Cert(QStringLiteral("selfsigned")), m_pki.Key(QStringLiteral("selfsigned")));
    QVERIFY(server.Port() > 0);
    TSockets plain;
    TSecureSockets transport(plain);
    TEndpoint endpoint;
    endpoint.Port = QString::number(server.Port());
    endpoint.Security = TSecurity::Tls;
    endpoint.CertSha256 = withoutColons(TTestCertificates::Fingerprint(m_pki.Cert(QStringLiteral("selfsigned"))));
    transport.SetEndpoint(endpoint);
    QStringList errors;
    transport.SetErrorReport([&](int, int error, const QString& msg) { errors.append(QString::number(error) + msg); });
    transport.Open(QStringLiteral("127.0.0.1"), 10);
    QVERIFY2(transport.Encrypted(), qPrintable(errors.join(u'|')));
    TLoopGap gap;
    qint64 received = 0;
    for (QByteArray chunk = "start"; !chunk.isEmpty() && gap.Elapsed() < 1000;) {
        chunk = transport.Receive();
        received += chunk.size();
    }
    const qint64 longest = gap.Longest();
    transport.Close();
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'|')));
    QVERIFY2(received > 1024 * 1024, qPrintable(QString::number(received)));
    QVERIFY2(longest < 100, qPrintable(QString::number(longest)));
}

QTEST_GUILESS_MAIN(tst_SecureSession)
#include "tst_SecureSession.moc"
