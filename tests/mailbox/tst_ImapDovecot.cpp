#include "mailbox/TImapCommand.h"
#include "mailbox/TImapParser.h"
#include "mailbox/TImapUtf7.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TTestCertificates.h"

#include <QElapsedTimer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QtTest>

#include <functional>
#include <memory>

// The test server's IMAP side, spoken to by a bare socket through the response reader.
class tst_ImapDovecot : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void loginSelectLogout();
    void folderNames();
    void flagsAndRecreatedInbox();
    void idleSeesDeliveryAndKick();
    void implicitTls();

private:
    bool start(TDovecot::TSsl ssl = TDovecot::TSsl::Off);

    std::unique_ptr<TDovecot> m_server;
    TTestCertificates m_pki;
    QString m_skip;
};

namespace {

using TResponses = QList<TImapResponse>;

// A client that feeds what arrives in pieces of 7 bytes, so responses from the real
// server cross piece boundaries everywhere, literals included.
class TClient {
public:
    explicit TClient(QTcpSocket& socket) : m_socket(socket) {}

    bool readUntil(const std::function<bool(const TImapResponse&)>& done, TResponses& got, int ms = 5000)
    {
        QElapsedTimer waited;
        waited.start();
        while (true) {
            while (m_parser.HasResponse()) {
                got.append(m_parser.Take());
                if (done(got.back())) {
                    return true;
                }
            }
            const int left = ms - int(waited.elapsed());
            if (left <= 0 || (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(left))) {
                qWarning("no awaited response: %s", qPrintable(m_parser.ErrorText()));
                return false;
            }
            const QByteArray data = m_socket.readAll();
            for (qsizetype i = 0; i < data.size(); i += 7) {
                if (!m_parser.Feed(QByteArrayView(data.constData() + i, qMin<qsizetype>(7, data.size() - i)))) {
                    qWarning("reader failed: %s", qPrintable(m_parser.ErrorText()));
                    return false;
                }
            }
        }
    }

    // Sends a command, its synchronising literals after the server's "+", and collects
    // everything up to its tagged reply, which comes last.
    bool run(const QByteArray& verb, const std::function<void(TImapCommand&)>& arguments, TResponses& got)
    {
        const QByteArray tag = "t" + QByteArray::number(++m_tags);
        TImapCommand command(tag, verb);
        if (arguments) {
            arguments(command);
        }
        const QList<QByteArray> pieces = command.Pieces(TImapCommand::TLiterals::Synchronising);
        if (pieces.isEmpty()) {
            return false;
        }
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            m_socket.write(pieces.at(i));
            if (i + 1 < pieces.size() &&
                !readUntil([](const TImapResponse& r) { return r.Kind == TImapResponse::TKind::Continuation; }, got)) {
                return false;
            }
        }
        return readUntil([&](const TImapResponse& r) { return r.Tag == tag; }, got);
    }

    bool ok(const QByteArray& verb, const std::function<void(TImapCommand&)>& arguments, TResponses& got)
    {
        return run(verb, arguments, got) && got.back().Status == TImapResponse::TStatus::Ok;
    }

    TImapParser& parser() { return m_parser; }

private:
    QTcpSocket& m_socket;
    TImapParser m_parser;
    int m_tags = 0;
};

bool greeted(TClient& client, TResponses& got)
{
    return client.readUntil([](const TImapResponse& r) { return r.Kind == TImapResponse::TKind::Untagged; }, got) &&
           got.back().Status == TImapResponse::TStatus::Ok;
}

bool login(TClient& client, const TDovecot& server)
{
    TResponses got;
    return greeted(client, got) &&
           client.ok(
               "LOGIN",
               [&](TImapCommand& c) { c.AddString(server.User().toUtf8()).AddString(server.Password().toUtf8()); },
               got);
}

bool selectInbox(TClient& client, TResponses& got)
{
    return client.ok(
        "SELECT", [](TImapCommand& c) { c.AddString("INBOX"); }, got);
}

quint32 codeNumber(const TResponses& got, const QByteArray& code)
{
    for (const TImapResponse& r : got) {
        quint32 n = 0;
        if (r.Code == code && r.CodeNumber(n)) {
            return n;
        }
    }
    return 0;
}

const TImapResponse* named(const TResponses& got, const QByteArray& name)
{
    for (const TImapResponse& r : got) {
        if (r.Kind == TImapResponse::TKind::Untagged && r.Name == name) {
            return &r;
        }
    }
    return nullptr;
}

} // namespace

void tst_ImapDovecot::initTestCase()
{
    TDovecot::ImapAvailable(&m_skip);
}

void tst_ImapDovecot::cleanup()
{
    m_server.reset();
}

bool tst_ImapDovecot::start(TDovecot::TSsl ssl)
{
    if (!m_skip.isEmpty()) {
        return false;
    }
    m_server = std::make_unique<TDovecot>();
    m_server->SetImap(true);
    if (ssl != TDovecot::TSsl::Off) {
        QString error;
        if (!m_pki.Make(&error)) {
            m_skip = error;
            return false;
        }
        m_server->SetSsl(ssl, m_pki.Cert(QStringLiteral("selfsigned")), m_pki.Key(QStringLiteral("selfsigned")));
    }
    QString error;
    if (!m_server->Start(&error)) {
        m_skip = error;
        return false;
    }
    return true;
}

void tst_ImapDovecot::loginSelectLogout()
{
    if (!start()) {
        QSKIP(qPrintable(m_skip));
    }
    QVERIFY(m_server->ImapPort() > 0 && m_server->ImapPort() != m_server->Port());
    QCOMPARE(m_server->ImapsPort(), 0);
    m_server->AddMessage(TDovecot::MakeMessage("<one@imap>", "a@t", "first"));
    m_server->AddMessage(TDovecot::MakeMessage("<two@imap>", "b@t", "second", "x\n{5}\n)"));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_server->ImapPort()));
    QVERIFY(socket.waitForConnected(5000));
    TClient client(socket);
    TResponses got;
    QVERIFY(greeted(client, got));
    QVERIFY(got.back().HasCapability("imap4rev1"));
    QVERIFY(!got.back().HasCapability("IMAP4"));

    QVERIFY(client.ok(
        "LOGIN", [&](TImapCommand& c) { c.AddString("mvuser").AddString("secret"); }, got));
    got.clear();
    QVERIFY(selectInbox(client, got));
    QVERIFY(named(got, "EXISTS"));
    QCOMPARE(named(got, "EXISTS")->Number, 2u);
    QCOMPARE(codeNumber(got, "UIDVALIDITY"), m_server->UidValidity());
    QCOMPARE(codeNumber(got, "UIDNEXT"), 3u);
    QCOMPARE(got.back().Code, QByteArray("READ-WRITE"));

    got.clear();
    QVERIFY(client.ok(
        "UID FETCH",
        [](TImapCommand& c) {
            c.Add("1:* (UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)] BODY.PEEK[TEXT])");
        },
        got));
    QCOMPARE(got.size(), 3);
    QList<QByteArray> ids;
    for (const TImapResponse& r : got.mid(0, 2)) {
        QCOMPARE(r.Name, QByteArray("FETCH"));
        QCOMPARE(r.Fetch.Uid, r.Number);
        QVERIFY(r.Fetch.HasFlags && !r.Fetch.HasFlag("\\Seen"));
        QVERIFY(r.Fetch.Size > 0);
        QVERIFY(r.Fetch.Body("header.fields (message-id)"));
        ids.append(r.Fetch.Body("HEADER.FIELDS (MESSAGE-ID)")->Data.trimmed());
    }
    QCOMPARE(ids, (QList<QByteArray>{"Message-ID: <one@imap>", "Message-ID: <two@imap>"}));
    QCOMPARE(got.at(1).Fetch.Body("TEXT")->Data, QByteArray("x\r\n{5}\r\n)\r\n"));

    got.clear();
    QVERIFY(client.ok("LOGOUT", nullptr, got));
    QVERIFY(named(got, "BYE"));
    QVERIFY(client.parser().Empty());

    // POP3 is served beside it as before.
    QTcpSocket pop3;
    pop3.connectToHost(QHostAddress::LocalHost, quint16(m_server->Port()));
    QVERIFY(pop3.waitForConnected(5000));
    QTRY_VERIFY(pop3.canReadLine());
    QVERIFY(pop3.readLine().startsWith("+OK"));
}

void tst_ImapDovecot::folderNames()
{
    if (!start()) {
        QSKIP(qPrintable(m_skip));
    }
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_server->ImapPort()));
    QVERIFY(socket.waitForConnected(5000));
    TClient client(socket);
    QVERIFY(login(client, *m_server));

    // The server checks modified UTF-7 and answers with the name it stored.
    const QString name = QStringLiteral("收件匣 & 備份😀");
    bool encoded = false;
    const QByteArray wire = TImapUtf7::Encode(name, &encoded);
    QVERIFY(encoded);
    TResponses got;
    QVERIFY(client.ok(
        "CREATE", [&](TImapCommand& c) { c.AddString(wire); }, got));
    got.clear();
    QVERIFY(client.ok(
        "LIST", [](TImapCommand& c) { c.AddString("").AddString("*"); }, got));
    QStringList names;
    for (const TImapResponse& r : got) {
        if (r.Name == "LIST") {
            QString decoded;
            QString error;
            QVERIFY2(TImapUtf7::Decode(r.Mailbox, decoded, &error), qPrintable(error));
            names.append(decoded);
        }
    }
    names.sort();
    QCOMPARE(names, (QStringList{QStringLiteral("INBOX"), name}));

    // A name that is not modified UTF-7 is refused by the server, not stored wrongly.
    got.clear();
    QVERIFY(client.run(
        "CREATE", [](TImapCommand& c) { c.AddString("&AGE-"); }, got));
    QVERIFY(got.back().Status != TImapResponse::TStatus::Ok);
}

void tst_ImapDovecot::flagsAndRecreatedInbox()
{
    if (!start()) {
        QSKIP(qPrintable(m_skip));
    }
    m_server->AddMessage(TDovecot::MakeMessage("<one@imap>", "a@t", "first"));
    m_server->AddMessage(TDovecot::MakeMessage("<two@imap>", "b@t", "second"));
    QVERIFY(m_server->SetFlag(2, "\\Deleted"));
    QVERIFY(m_server->Flags(2).contains("\\Deleted"));
    QVERIFY(!m_server->Flags(1).contains("\\Deleted"));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_server->ImapPort()));
    QVERIFY(socket.waitForConnected(5000));
    TClient client(socket);
    QVERIFY(login(client, *m_server));
    TResponses got;
    QVERIFY(selectInbox(client, got));
    const quint32 validity = codeNumber(got, "UIDVALIDITY");
    QVERIFY(validity != 0);
    got.clear();
    QVERIFY(client.ok(
        "UID FETCH", [](TImapCommand& c) { c.Add("1:* (FLAGS)"); }, got));
    QCOMPARE(got.size(), 3);
    QVERIFY(!got.at(0).Fetch.HasFlag("\\Deleted"));
    QVERIFY(got.at(1).Fetch.HasFlag("\\deleted"));

    // Another client clearing it is seen by the selected session.
    QVERIFY(m_server->SetFlag(2, "\\Deleted", false));
    QVERIFY(!m_server->Flags(2).contains("\\Deleted"));
    got.clear();
    QVERIFY(client.ok("NOOP", nullptr, got));
    QVERIFY(named(got, "FETCH"));
    QVERIFY(!named(got, "FETCH")->Fetch.HasFlag("\\Deleted"));

    // Recreating drops the connection; a new one sees the same messages under a new UIDVALIDITY.
    QVERIFY(m_server->RecreateInbox());
    QVERIFY(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000));
    QTcpSocket again;
    again.connectToHost(QHostAddress::LocalHost, quint16(m_server->ImapPort()));
    QVERIFY(again.waitForConnected(5000));
    TClient second(again);
    QVERIFY(login(second, *m_server));
    got.clear();
    QVERIFY(selectInbox(second, got));
    QCOMPARE(named(got, "EXISTS")->Number, 2u);
    QVERIFY(codeNumber(got, "UIDVALIDITY") != validity);
    QCOMPARE(codeNumber(got, "UIDVALIDITY"), m_server->UidValidity());
    QCOMPARE(codeNumber(got, "UIDNEXT"), 3u);
}

void tst_ImapDovecot::idleSeesDeliveryAndKick()
{
    if (!start()) {
        QSKIP(qPrintable(m_skip));
    }
    QVERIFY(!m_server->Kick());
    m_server->AddMessage(TDovecot::MakeMessage("<one@imap>", "a@t", "first"));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_server->ImapPort()));
    QVERIFY(socket.waitForConnected(5000));
    TClient client(socket);
    QVERIFY(login(client, *m_server));
    TResponses got;
    QVERIFY(selectInbox(client, got));
    socket.write("t9 IDLE\r\n");
    QVERIFY(client.readUntil([](const TImapResponse& r) { return r.Kind == TImapResponse::TKind::Continuation; }, got));

    m_server->AddMessage(TDovecot::MakeMessage("<two@imap>", "b@t", "second"));
    got.clear();
    QVERIFY(client.readUntil([](const TImapResponse& r) { return r.Name == "EXISTS"; }, got));
    QCOMPARE(got.back().Number, 2u);

    QVERIFY(m_server->Kick());
    got.clear();
    QVERIFY(client.readUntil([](const TImapResponse& r) { return r.Status == TImapResponse::TStatus::Bye; }, got));
    QVERIFY(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000));
}

void tst_ImapDovecot::implicitTls()
{
    if (!start(TDovecot::TSsl::On)) {
        QSKIP(qPrintable(m_skip));
    }
    QVERIFY(m_server->ImapsPort() > 0);
    QVERIFY(m_server->ImapsPort() != m_server->ImapPort() && m_server->ImapsPort() != m_server->TlsPort());

    QTcpSocket plain;
    plain.connectToHost(QHostAddress::LocalHost, quint16(m_server->ImapPort()));
    QVERIFY(plain.waitForConnected(5000));
    TClient plainClient(plain);
    TResponses got;
    QVERIFY(greeted(plainClient, got));
    QVERIFY(got.back().HasCapability("STARTTLS"));

    QSslSocket socket;
    QSslConfiguration config = socket.sslConfiguration();
    config.setCaCertificates(QSslCertificate::fromPath(m_pki.Cert(QStringLiteral("selfsigned"))));
    socket.setSslConfiguration(config);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), quint16(m_server->ImapsPort()));
    QVERIFY2(socket.waitForEncrypted(5000), qPrintable(socket.errorString()));
    TClient client(socket);
    QVERIFY(login(client, *m_server));
    QVERIFY(m_server->LogText().contains(QStringLiteral("TLS")));
}

QTEST_GUILESS_MAIN(tst_ImapDovecot)
#include "tst_ImapDovecot.moc"
