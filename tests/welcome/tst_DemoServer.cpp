#include "welcome/TDemoServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

#include <unistd.h>

namespace {

// A POP3 client that lets the server, which runs on this thread, answer while it waits.
class Client {
public:
    explicit Client(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_greeting = line();
    }

    QByteArray greeting() const { return m_greeting; }

    // One reply line, CR LF removed; empty when the server closed or did not answer.
    QByteArray line() { return take("\r\n", false); }
    QByteArray ask(const QByteArray& command)
    {
        m_socket.write(command + "\r\n");
        return line();
    }
    // A multi-line reply: status line and body, terminator removed, dot-stuffing kept.
    QByteArray askMulti(const QByteArray& command)
    {
        m_socket.write(command + "\r\n");
        return multi();
    }
    // The next multi-line reply, as askMulti gives it.
    QByteArray multi()
    {
        const QByteArray status = line();
        if (!status.startsWith('+')) {
            return status;
        }
        return status + "\r\n" + take("\r\n.\r\n", true);
    }
    void send(const QByteArray& bytes) { m_socket.write(bytes); }
    void abort() { m_socket.abort(); }
    QTcpSocket& socket() { return m_socket; }
    // True once the server has closed the connection.
    bool closedByServer()
    {
        QElapsedTimer t;
        t.start();
        while (m_socket.state() == QAbstractSocket::ConnectedState && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
        return m_socket.state() != QAbstractSocket::ConnectedState;
    }

private:
    QByteArray take(const QByteArray& end, bool keepLineEnd)
    {
        QElapsedTimer t;
        t.start();
        while (!m_buffer.contains(end) && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            m_buffer += m_socket.readAll();
            if (m_socket.state() == QAbstractSocket::UnconnectedState && !m_buffer.contains(end)) {
                break;
            }
        }
        const int at = int(m_buffer.indexOf(end));
        if (at < 0) {
            return {};
        }
        const QByteArray part = m_buffer.left(keepLineEnd ? at + 2 : at);
        m_buffer.remove(0, at + int(end.size()));
        return part;
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    QByteArray m_greeting;
};

QByteArray unstuffed(const QByteArray& body)
{
    QByteArray out;
    for (const QByteArray& l : body.split('\n')) {
        out += (l.startsWith("..") ? l.mid(1) : l) + '\n';
    }
    out.chop(1);
    return out;
}

void login(Client& c)
{
    QVERIFY(c.greeting().startsWith("+OK"));
    QVERIFY(c.ask("USER demo").startsWith("+OK"));
    QVERIFY(c.ask("PASS demo").startsWith("+OK"));
}

// The process's resident memory in bytes.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

} // namespace

// The demo mailbox's own POP3 server: what a session needs, the deletion rules of a real
// server, and no one but the loopback as a peer.
class tst_DemoServer : public QObject {
    Q_OBJECT
private slots:
    void onlyLoopbackPeers_data();
    void onlyLoopbackPeers();
    void shippedMessagesShowTheFeatures();
    void listsAndRetrieves();
    void multiLineRepliesAreDotStuffed();
    void refusesBeforeLogin_data();
    void refusesBeforeLogin();
    void deletionTakesEffectAtQuitOnly_data();
    void deletionTakesEffectAtQuitOnly();
    void badCommands_data();
    void badCommands();
    void overlongLineEndsTheConnection();
    void floodWithoutReadingIsBounded();
    void commandsSentAheadRunAsTheClientReads();
    void sessionCap();
    void stopClosesTheDoor();
};

void tst_DemoServer::onlyLoopbackPeers_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("127.0.0.1") << "127.0.0.1" << true;
    QTest::newRow("127.200.3.4") << "127.200.3.4" << true;
    QTest::newRow("::1") << "::1" << true;
    QTest::newRow("v4-mapped loopback") << "::ffff:127.0.0.1" << true;
    QTest::newRow("private 10") << "10.0.0.1" << false;
    QTest::newRow("private 192.168") << "192.168.1.20" << false;
    QTest::newRow("public") << "8.8.8.8" << false;
    QTest::newRow("128.0.0.1") << "128.0.0.1" << false;
    QTest::newRow("126.255.255.255") << "126.255.255.255" << false;
    QTest::newRow("any v4") << "0.0.0.0" << false;
    QTest::newRow("any v6") << "::" << false;
    QTest::newRow("link-local v6") << "fe80::1" << false;
    QTest::newRow("v4-mapped private") << "::ffff:10.1.2.3" << false;
    QTest::newRow("null") << "" << false;
}

void tst_DemoServer::onlyLoopbackPeers()
{
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    QCOMPARE(TDemoServer::PeerAllowed(QHostAddress(address)), allowed);
}

void tst_DemoServer::shippedMessagesShowTheFeatures()
{
    const QList<QByteArray> messages = TDemoServer::ShippedMessages();
    QVERIFY(messages.size() >= 10);
    QSet<QByteArray> ids;
    bool attachment = false;
    bool longOne = false;
    bool keyword = false;
    int encodedSubjects = 0;
    for (const QByteArray& m : messages) {
        QVERIFY(!m.contains("\n\n")); // line ends are CR LF throughout
        QVERIFY(m.endsWith("\r\n"));
        const int headerEnd = int(m.indexOf("\r\n\r\n"));
        QVERIFY(headerEnd > 0);
        const QByteArray header = m.left(headerEnd);
        // Headers are 7-bit: Chinese goes into encoded words.
        QVERIFY(std::all_of(header.begin(), header.end(), [](char c) { return uchar(c) < 0x80; }));
        const int at = int(header.indexOf("Message-ID: <"));
        QVERIFY(at >= 0);
        ids.insert(header.mid(at, header.indexOf('>', at) - at));
        attachment =
            attachment || (header.contains("multipart/mixed") && m.contains("Content-Disposition: attachment"));
        longOne = longOne || m.size() > 20000;
        keyword = keyword || header.contains("Subject: URGENT");
        encodedSubjects += header.contains("Subject: =?") ? 1 : 0;
    }
    QCOMPARE(ids.size(), messages.size());
    QVERIFY(attachment);
    QVERIFY(longOne);
    QVERIFY(keyword);
    QVERIFY(encodedSubjects >= messages.size() / 2);
}

void tst_DemoServer::listsAndRetrieves()
{
    TDemoServer server;
    QVERIFY(server.Start());
    QVERIFY(server.Port() != 0);
    const QList<QByteArray> messages = server.Messages();
    Client c(server.Port());
    login(c);
    qint64 total = 0;
    for (const QByteArray& m : messages) {
        total += m.size();
    }
    QCOMPARE(c.ask("STAT"), "+OK " + QByteArray::number(messages.size()) + ' ' + QByteArray::number(total));
    const QList<QByteArray> list = c.askMulti("LIST").split('\n');
    QCOMPARE(list.size(), messages.size() + 2); // status line, one per message, the empty rest
    QCOMPARE(list.at(3), "3 " + QByteArray::number(messages.at(2).size()) + '\r');
    QCOMPARE(c.ask("LIST 2"), "+OK 2 " + QByteArray::number(messages.at(1).size()));
    const QList<QByteArray> uidl = c.askMulti("UIDL").split('\n');
    QCOMPARE(QSet<QByteArray>(uidl.begin() + 1, uidl.end() - 1).size(), messages.size());

    const QByteArray top = c.askMulti("TOP 4 0");
    QVERIFY(top.startsWith("+OK"));
    const QByteArray headerOnly = top.mid(top.indexOf("\r\n") + 2);
    QCOMPARE(headerOnly, messages.at(3).left(messages.at(3).indexOf("\r\n\r\n") + 4));

    const QByteArray retr = c.askMulti("RETR 5");
    QVERIFY(retr.startsWith("+OK"));
    QCOMPARE(unstuffed(retr.mid(retr.indexOf("\r\n") + 2)), messages.at(4));
    QCOMPARE(c.ask("NOOP"), QByteArray("+OK"));
    QVERIFY(c.ask("QUIT").startsWith("+OK"));
    QVERIFY(c.closedByServer());
    QCOMPARE(server.Messages(), messages);
}

void tst_DemoServer::multiLineRepliesAreDotStuffed()
{
    TDemoServer server;
    const QByteArray text = "Subject: dots\n\n.starts with a dot\n..two dots\n.\nend\n";
    server.SetMessages({text});
    QVERIFY(server.Start());
    Client c(server.Port());
    login(c);
    const QByteArray retr = c.askMulti("RETR 1");
    const QByteArray body = retr.mid(retr.indexOf("\r\n") + 2);
    QVERIFY(body.contains("\r\n..starts with a dot\r\n...two dots\r\n..\r\nend\r\n"));
    QByteArray crlf = text;
    crlf.replace("\n", "\r\n");
    QCOMPARE(unstuffed(body), crlf);
    // TOP gives the header, the blank line and as many body lines as asked, stuffed the same way.
    QCOMPARE(c.askMulti("Top 1 2"), QByteArray("+OK\r\nSubject: dots\r\n\r\n..starts with a dot\r\n...two dots\r\n"));
    QCOMPARE(c.askMulti("TOP 1 0"), QByteArray("+OK\r\nSubject: dots\r\n\r\n"));
}

void tst_DemoServer::refusesBeforeLogin_data()
{
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::newRow("STAT first") << QList<QByteArray>{"STAT"};
    QTest::newRow("RETR first") << QList<QByteArray>{"RETR 1"};
    QTest::newRow("PASS without USER") << QList<QByteArray>{"PASS demo"};
    QTest::newRow("wrong password") << QList<QByteArray>{"USER demo", "PASS nope"};
    QTest::newRow("wrong user") << QList<QByteArray>{"USER root", "PASS demo"};
}

void tst_DemoServer::refusesBeforeLogin()
{
    QFETCH(QList<QByteArray>, commands);
    TDemoServer server;
    QVERIFY(server.Start());
    Client c(server.Port());
    QByteArray last;
    for (const QByteArray& command : commands) {
        last = c.ask(command);
    }
    QVERIFY2(last.startsWith("-ERR"), last.constData());
    QVERIFY(c.ask("STAT").startsWith("-ERR"));
    // A refusal leaves the way to a proper login open.
    QVERIFY(c.ask("USER demo").startsWith("+OK"));
    QVERIFY(c.ask("PASS demo").startsWith("+OK"));
    QVERIFY(c.ask("STAT").startsWith("+OK"));
}

void tst_DemoServer::deletionTakesEffectAtQuitOnly_data()
{
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<bool>("quit");
    QTest::addColumn<QList<int>>("left"); // indexes into the original messages
    QTest::newRow("DELE then QUIT") << QList<QByteArray>{"DELE 2"} << true << QList<int>{0, 2};
    QTest::newRow("two deleted") << QList<QByteArray>{"DELE 3", "DELE 1"} << true << QList<int>{1};
    QTest::newRow("RSET undoes") << QList<QByteArray>{"DELE 2", "RSET"} << true << QList<int>{0, 1, 2};
    QTest::newRow("connection lost") << QList<QByteArray>{"DELE 2"} << false << QList<int>{0, 1, 2};
}

void tst_DemoServer::deletionTakesEffectAtQuitOnly()
{
    QFETCH(QList<QByteArray>, commands);
    QFETCH(bool, quit);
    QFETCH(QList<int>, left);
    TDemoServer server;
    server.SetMessages({"Subject: a\n\n1\n", "Subject: b\n\n2\n", "Subject: c\n\n3\n"});
    const QList<QByteArray> original = server.Messages();
    QVERIFY(server.Start());
    {
        Client c(server.Port());
        login(c);
        for (const QByteArray& command : commands) {
            QVERIFY(c.ask(command).startsWith("+OK"));
        }
        if (commands.size() == 1 && commands.first().startsWith("DELE")) {
            // A deleted message is gone for the rest of the session.
            QVERIFY(c.ask("RETR 2").startsWith("-ERR"));
            QVERIFY(c.ask("DELE 2").startsWith("-ERR"));
            QVERIFY(c.ask("STAT").startsWith("+OK 2 "));
        }
        if (quit) {
            QVERIFY(c.ask("QUIT").startsWith("+OK"));
            QVERIFY(c.closedByServer());
        } else {
            c.abort();
        }
    }
    QList<QByteArray> expected;
    for (const int k : left) {
        expected << original.at(k);
    }
    QTRY_COMPARE(server.Messages(), expected);
    // The next session numbers what is left from 1.
    Client next(server.Port());
    login(next);
    QCOMPARE(next.ask("STAT").split(' ').value(1), QByteArray::number(expected.size()));
}

void tst_DemoServer::badCommands_data()
{
    QTest::addColumn<QByteArray>("command");
    for (const char* c : {"RETR 0", "RETR 99", "RETR x", "RETR", "RETR -1", "TOP 1", "TOP 1 x", "LIST 4",
                          "DELE 4294967297", "XYZZY", ""}) {
        QTest::newRow(c) << QByteArray(c);
    }
}

void tst_DemoServer::badCommands()
{
    QFETCH(QByteArray, command);
    TDemoServer server;
    server.SetMessages({"Subject: a\n\n1\n", "Subject: b\n\n2\n", "Subject: c\n\n3\n"});
    QVERIFY(server.Start());
    Client c(server.Port());
    login(c);
    QVERIFY(c.ask(command).startsWith("-ERR"));
    // The session goes on.
    QVERIFY(c.ask("STAT").startsWith("+OK 3 "));
}

void tst_DemoServer::overlongLineEndsTheConnection()
{
    TDemoServer server;
    QVERIFY(server.Start());
    Client c(server.Port());
    c.send(QByteArray(64 * 1024, 'A'));
    QVERIFY(c.line().startsWith("-ERR"));
    QVERIFY(c.closedByServer());
}

void tst_DemoServer::floodWithoutReadingIsBounded()
{
    TDemoServer server;
    QVERIFY(server.Start());
    Client flooder(server.Port());
    login(flooder);
    // The flooder's own socket holds little: it takes no replies in and is fed in small pieces.
    QTcpSocket& socket = flooder.socket();
    socket.setReadBufferSize(4096);
    const qint64 before = residentBytes();
    QVERIFY(before > 0);
    constexpr qint64 kGrowthLimit = 20 * 1024 * 1024;
    const QByteArray chunk = QByteArray("RETR 1\r\n").repeated(1000);
    int sent = 0;
    qint64 peak = before;
    QElapsedTimer t;
    t.start();
    while (sent < 1000000 && socket.state() == QAbstractSocket::ConnectedState && t.elapsed() < 60000) {
        if (socket.bytesToWrite() < 64 * 1024) {
            socket.write(chunk);
            sent += 1000;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        peak = qMax(peak, residentBytes());
        // Stop before a broken server takes the machine's memory with it.
        QVERIFY2(
            peak - before < kGrowthLimit,
            qPrintable(QStringLiteral("grew %1 MB after %2 commands").arg((peak - before) / (1024 * 1024)).arg(sent)));
    }
    // A client that only piles up commands is shown the door long before its million.
    QVERIFY2(socket.state() != QAbstractSocket::ConnectedState, qPrintable(QString::number(sent)));
    QVERIFY(sent < 1000000);

    Client normal(server.Port());
    login(normal);
    const QByteArray retr = normal.askMulti("RETR 1");
    QVERIFY(retr.startsWith("+OK"));
    QCOMPARE(unstuffed(retr.mid(retr.indexOf("\r\n") + 2)), server.Messages().at(0));
}

void tst_DemoServer::commandsSentAheadRunAsTheClientReads()
{
    TDemoServer server;
    const QByteArray big = "Subject: big\n\n" + QByteArray(100, 'x').append('\n').repeated(1000);
    server.SetMessages({big});
    QVERIFY(server.Start());
    Client c(server.Port());
    login(c);
    // Far more reply than is queued at once, for a few lines sent ahead: the server pauses
    // and goes on as the replies are read.
    constexpr int kAhead = 20;
    c.send(QByteArray("RETR 1\r\n").repeated(kAhead));
    for (int k = 0; k < kAhead; ++k) {
        const QByteArray retr = c.multi();
        QVERIFY2(retr.startsWith("+OK"), qPrintable(QString::number(k)));
        QCOMPARE(unstuffed(retr.mid(retr.indexOf("\r\n") + 2)), server.Messages().at(0));
    }
    QCOMPARE(c.ask("NOOP"), QByteArray("+OK"));
}

void tst_DemoServer::sessionCap()
{
    TDemoServer server;
    QVERIFY(server.Start());
    std::vector<std::unique_ptr<Client>> open;
    for (int k = 0; k < 16; ++k) {
        open.push_back(std::make_unique<Client>(server.Port()));
        QVERIFY2(open.back()->greeting().startsWith("+OK"), qPrintable(QString::number(k + 1)));
    }
    Client refused(server.Port());
    QVERIFY(refused.greeting().isEmpty());
    QVERIFY(refused.closedByServer());
    // The sixteenth is a full session.
    login(*open.back());
    QVERIFY(open.back()->ask("STAT").startsWith("+OK"));

    // A slot given back is served again.
    open.front()->abort();
    open.erase(open.begin());
    // Retried until the server has seen the close; each refused try holds no slot.
    std::unique_ptr<Client> again;
    const QDeadlineTimer deadline(10000);
    do {
        again.reset();
        QTest::qWait(20);
        again = std::make_unique<Client>(server.Port());
    } while (!again->greeting().startsWith("+OK") && !deadline.hasExpired());
    login(*again);
    open.push_back(std::move(again));
    Client late(server.Port());
    QVERIFY(late.greeting().isEmpty());
}

void tst_DemoServer::stopClosesTheDoor()
{
    TDemoServer server;
    QVERIFY(server.Start());
    const quint16 port = server.Port();
    Client open(port);
    login(open);
    server.Stop();
    QVERIFY(!server.Listening());
    QCOMPARE(server.Port(), quint16(0));
    QVERIFY(open.closedByServer());
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!late.waitForConnected(5000));
    QCOMPARE(late.error(), QAbstractSocket::ConnectionRefusedError);
}

QTEST_GUILESS_MAIN(tst_DemoServer)
#include "tst_DemoServer.moc"
