#include "core/EAbort.h"
#include "core/EConvertError.h"
#include "net/TSockets.h"
#include "testsupport/TLoopGap.h"
#include "testsupport/TScriptServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

struct Report {
    int socket;
    int error;
    QString msg;
};

} // namespace

class tst_Sockets : public QObject {
    Q_OBJECT

private:
    QList<Report> m_errors;
    QStringList m_boxes;
    int m_exits = 0;

    void recordErrors(TSockets& socket)
    {
        socket.OnErrorOccurred = [this](TSockets*, int s, int error, const QString& msg) {
            m_errors.append({s, error, msg});
        };
    }

    QList<int> codes() const
    {
        QList<int> out;
        for (const Report& r : m_errors) {
            out.append(r.error);
        }
        return out;
    }

    // A resolver that answers only when released (or gives up after capMs with 11002).
    std::shared_ptr<QSemaphore> m_release;
    void stallLookups(int capMs = 8000)
    {
        m_release = std::make_shared<QSemaphore>();
        TSockets::SetLookup(
            [gate = m_release, capMs](const QString&, quint32&) { return gate->tryAcquire(1, capMs) ? 11001 : 11002; });
    }

    void connectTo(TSockets& socket, TScriptServer& server)
    {
        socket.NonBlocking = false;
        socket.IPAddr = QStringLiteral("127.0.0.1");
        socket.Port = QString::number(server.port());
        socket.SConnect();
    }

private slots:
    void init()
    {
        m_errors.clear();
        m_boxes.clear();
        m_exits = 0;
        TSockets::SetMessageBox(
            [this](const QString& text, const QString& caption) { m_boxes.append(caption + QLatin1Char('|') + text); });
        TSockets::SetExit([this] { ++m_exits; });
        TSockets::SetLookup({});
    }

    void cleanup()
    {
        if (m_release) {
            m_release->release(100);
            m_release.reset();
        }
        TSockets::SetLookup({});
    }

    void exchangesLinesWithServer()
    {
        TScriptServer server;
        server.dialogue("+OK ready", {{"USER alice", "+OK"}, {"PASS secret", "+OK logged in"}});
        TSockets socket;
        recordErrors(socket);
        connectTo(socket, server);
        QVERIFY(socket.IsOpen());
        QVERIFY(socket.SocketHandle() > 0);
        QCOMPARE(socket.GetText(), QByteArray("+OK ready\r\n"));
        socket.SetText("USER alice\r\n");
        QCOMPARE(socket.GetText(), QByteArray("+OK\r\n"));
        socket.SetText("PASS secret\r\n");
        QCOMPARE(socket.GetText(), QByteArray("+OK logged in\r\n"));
        socket.Disconnect();
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.received(), QStringList({"USER alice", "PASS secret"}));
        QVERIFY(server.failures().isEmpty());
        QVERIFY(m_errors.isEmpty());
    }

    // IPv6 literals connect without a lookup, bracketed or not; a refusal keeps its Winsock text.
    void ipv6Literal_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("listening");
        QTest::newRow("bare") << QStringLiteral("::1") << true;
        QTest::newRow("bracketed") << QStringLiteral("[::1]") << true;
        QTest::newRow("long form") << QStringLiteral("0:0:0:0:0:0:0:1") << true;
        QTest::newRow("refused") << QStringLiteral("[::1]") << false;
    }

    void ipv6Literal()
    {
        QFETCH(QString, host);
        QFETCH(bool, listening);
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHostIPv6, 0)) {
            QSKIP("no IPv6 loopback here");
        }
        const quint16 port = server.serverPort();
        if (!listening) {
            server.close();
        }
        const int lookups = TSockets::HostLookups();
        TSockets socket;
        recordErrors(socket);
        socket.IPAddr = host;
        socket.Port = QString::number(port);
        socket.SConnect();
        QCOMPARE(TSockets::HostLookups(), lookups);
        if (!listening) {
            QCOMPARE(codes(), QList<int>({10061}));
            QCOMPARE(m_errors[0].msg, QStringLiteral("Connection refused"));
            return;
        }
        QVERIFY(m_errors.isEmpty());
        QVERIFY(socket.IsOpen());
        QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(5000));
        QTcpSocket* peer = server.nextPendingConnection();
        QCOMPARE(peer->peerAddress(), QHostAddress(QHostAddress::LocalHostIPv6));
        peer->write("+OK v6\r\n");
        peer->flush();
        QCOMPARE(socket.GetText(), QByteArray("+OK v6\r\n"));
    }

    void refusedConnection()
    {
        TSockets socket;
        recordErrors(socket);
        socket.IPAddr = QStringLiteral("127.0.0.1");
        socket.Port = QString::number(TScriptServer::refusedPort());
        socket.SConnect();
        QCOMPARE(m_errors.size(), 1);
        QCOMPARE(m_errors[0].error, 10061);
        QCOMPARE(m_errors[0].msg, QStringLiteral("Connection refused"));
        QCOMPARE(m_errors[0].socket, socket.SocketHandle());
        // The failed socket stays until Disconnect, as the handler expects to close it.
        socket.SetText("USER x\r\n");
        QCOMPARE(codes(), QList<int>({10061, 10057}));
        socket.Disconnect();
        QCOMPARE(socket.SocketHandle(), -1);
    }

    void errorWithoutHandlerEndsProgram()
    {
        TSockets socket;
        socket.IPAddr = QStringLiteral("127.0.0.1");
        socket.Port = QString::number(TScriptServer::refusedPort());
        QVERIFY_THROWS_EXCEPTION(EAbort, socket.SConnect());
        QCOMPARE(m_boxes, QStringList({"WINSOCK ERROR|Error 10061 in function SConnect\r\nConnection refused"}));
        QCOMPARE(m_exits, 1);
        QVERIFY(!socket.Waiting());
    }

    void timeoutReportsThenCallFails()
    {
        TScriptServer server;
        server.silent();
        TSockets socket;
        recordErrors(socket);
        socket.Timeout = 1;
        connectTo(socket, server);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(socket.GetText(), QByteArray());
        QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(codes(), QList<int>({10060, 10004}));
        QCOMPARE(m_errors[0].msg, QStringLiteral("Blocking call timed out"));
        QCOMPARE(m_errors[1].msg, QStringLiteral("Interrupted system call"));
        QVERIFY(!socket.Waiting());
    }

    void timeoutWithoutHandler()
    {
        TScriptServer server;
        server.silent();
        TSockets socket;
        socket.Timeout = 1;
        connectTo(socket, server);
        QVERIFY_THROWS_EXCEPTION(EAbort, socket.GetText());
        QCOMPARE(m_boxes,
                 QStringList({"WINSOCK CALL CANCELED|Error 10060\r\nBlocking call timed out",
                              "WINSOCK ERROR|Error 10004 in function GetText (Recv)\r\nInterrupted system call"}));
        QCOMPARE(m_exits, 1);
    }

    void throwingHandlerLeavesFromBlockedCall()
    {
        TScriptServer server;
        server.silent().nextConnection().dialogue("+OK again", {{"QUIT", "+OK bye"}});
        TSockets socket;
        socket.Timeout = 1;
        int calls = 0;
        socket.OnErrorOccurred = [&](TSockets* sender, int, int, const QString&) {
            ++calls;
            sender->Disconnect();
            throw EAbort();
        };
        connectTo(socket, server);
        QVERIFY_THROWS_EXCEPTION(EAbort, socket.GetText());
        QCOMPARE(calls, 1);
        QVERIFY(!socket.Waiting());
        QCOMPARE(socket.SocketHandle(), -1);

        socket.SConnect();
        QCOMPARE(socket.GetText(), QByteArray("+OK again\r\n"));
        socket.SetText("QUIT\r\n");
        QCOMPARE(socket.GetText(), QByteArray("+OK bye\r\n"));
        socket.Disconnect();
        QVERIFY(server.waitForFinished(5000));
        QVERIFY(server.failures().isEmpty());
        QCOMPARE(calls, 1);
    }

    void peerCloseGivesEmptyText()
    {
        TScriptServer server;
        server.sendLine("+OK bye").close();
        TSockets socket;
        recordErrors(socket);
        connectTo(socket, server);
        QCOMPARE(socket.GetText(), QByteArray("+OK bye\r\n"));
        QCOMPARE(socket.GetText(), QByteArray());
        QCOMPARE(socket.GetText(), QByteArray());
        QVERIFY(m_errors.isEmpty());
        socket.Disconnect();
        QVERIFY(server.waitForFinished(5000));
    }

    void resetByPeer_data()
    {
        QTest::addColumn<bool>("sending");
        QTest::newRow("receive") << false;
        QTest::newRow("send") << true;
    }

    void resetByPeer()
    {
        QFETCH(bool, sending);
        TScriptServer server;
        server.send("+OK partial").pause(200).reset();
        TSockets socket;
        recordErrors(socket);
        connectTo(socket, server);
        if (sending) {
            QVERIFY(server.waitForFinished(5000));
            // The first send may still be taken before the reset is noticed.
            for (int i = 0; i < 20 && m_errors.isEmpty(); ++i) {
                socket.SetText("NOOP\r\n");
                QTest::qWait(20);
            }
        } else {
            // Read before the reset arrives: the kernel drops unread data on a reset.
            QCOMPARE(socket.GetText(), QByteArray("+OK partial"));
            QVERIFY(m_errors.isEmpty());
            QCOMPARE(socket.GetText(), QByteArray());
        }
        QCOMPARE(codes(), QList<int>({10054}));
        QCOMPARE(m_errors[0].msg, QStringLiteral("Connection reset by peer"));
    }

    void oneByteChunksArriveWhole()
    {
        const QByteArray reply = "+OK 2 messages\r\nline one\r\n.\r\n";
        TScriptServer server;
        server.sendChunked(reply, 1, 3).close();
        TSockets socket;
        recordErrors(socket);
        connectTo(socket, server);
        int receives = 0;
        QByteArray all;
        while (!all.endsWith("\r\n.\r\n")) {
            const QByteArray chunk = socket.GetText();
            QVERIFY(!chunk.isEmpty());
            all += chunk;
            ++receives;
        }
        QCOMPARE(all, reply);
        QVERIFY(receives > 1);
        QVERIFY(m_errors.isEmpty());
    }

    void longReplyInSeveralReceives_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("length");
        QTest::newRow("8192, 20000 bytes") << 8192 << 20000;
        QTest::newRow("100, 1000 bytes") << 100 << 1000;
        QTest::newRow("8192, 10 MB") << 8192 << 10 * 1024 * 1024;
    }

    void longReplyInSeveralReceives()
    {
        QFETCH(int, maximum);
        QFETCH(int, length);
        TScriptServer server;
        QByteArray expected;
        if (length > 100000) {
            server.sendHuge(length, 'y').close();
            expected = QByteArray(length, 'y');
        } else {
            for (int i = 0; expected.size() < length; ++i) {
                expected += QByteArray::number(i) + ' ';
            }
            expected.truncate(length);
            server.send(expected).close();
        }
        TSockets socket;
        recordErrors(socket);
        socket.MaximumReceiveLength = maximum;
        connectTo(socket, server);
        QByteArray all;
        int receives = 0;
        for (QByteArray chunk = socket.GetText(); !chunk.isEmpty(); chunk = socket.GetText()) {
            QVERIFY(chunk.size() <= maximum);
            all += chunk;
            ++receives;
        }
        QCOMPARE(all.size(), expected.size());
        QVERIFY(all == expected);
        QVERIFY(receives >= length / maximum);
        QVERIFY(m_errors.isEmpty());
    }

    void largeSendGoesOutWhole()
    {
        QByteArray line(4 * 1024 * 1024, 'a');
        TScriptServer server;
        server.receiveLine().sendLine("+OK");
        TSockets socket;
        recordErrors(socket);
        connectTo(socket, server);
        socket.SetText(line + "\r\n");
        QCOMPARE(socket.GetText(), QByteArray("+OK\r\n"));
        socket.Disconnect();
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.received().size(), 1);
        QCOMPARE(server.received().first().size(), line.size());
        QVERIFY(m_errors.isEmpty());
    }

    void disconnectTwiceAndCallsWithoutSocket()
    {
        TScriptServer server;
        server.sendLine("+OK");
        TSockets socket;
        recordErrors(socket);
        connectTo(socket, server);
        socket.Disconnect();
        QCOMPARE(socket.SocketHandle(), -1);
        socket.Disconnect();
        QCOMPARE(socket.SocketHandle(), -1);
        QVERIFY(m_errors.isEmpty());
        QCOMPARE(socket.GetText(), QByteArray());
        QVERIFY(m_errors.isEmpty());
        socket.SetText("QUIT\r\n");
        QCOMPARE(codes(), QList<int>({10038}));
        QVERIFY(server.waitForFinished(5000));
    }

    void errorTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("10004") << 10004 << "Interrupted system call";
        QTest::newRow("10035") << 10035 << "Operation would block";
        QTest::newRow("10047") << 10047 << "Address family not supported by protocol family";
        QTest::newRow("10049") << 10049 << "Can't assign requested address";
        QTest::newRow("10059") << 10059 << "Too many references: can't splice";
        QTest::newRow("10060") << 10060 << "Connection timed out";
        QTest::newRow("10071") << 10071 << "Too many levels of remote in path";
        QTest::newRow("10092") << 10092 << "WinSock DLL cannot support this application";
        QTest::newRow("11001") << 11001 << "Host not found";
        QTest::newRow("11004") << 11004 << "No Data";
        QTest::newRow("gap 10072") << 10072 << "Not a WinSock error";
        QTest::newRow("gap 10090") << 10090 << "Not a WinSock error";
        QTest::newRow("0") << 0 << "Not a WinSock error";
        QTest::newRow("-1") << -1 << "Not a WinSock error";
    }

    void errorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(TSockets::ErrorText(code), text);
    }

    void setUpMessages_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("box");
        QTest::newRow("no port") << ""
                                 << "127.0.0.1"
                                 << "No Port Specified";
        QTest::newRow("nothing") << ""
                                 << ""
                                 << "No Port Specified";
        QTest::newRow("no address") << "110"
                                    << ""
                                    << "No IP Address Specified";
    }

    void setUpMessages()
    {
        QFETCH(QString, port);
        QFETCH(QString, address);
        QFETCH(QString, box);
        TSockets socket;
        recordErrors(socket);
        socket.Port = port;
        socket.IPAddr = address;
        socket.SConnect();
        QCOMPARE(m_boxes, QStringList({"WINSOCK ERROR|" + box}));
        QCOMPARE(socket.SocketHandle(), -1);
        QCOMPARE(socket.GetText(), QByteArray());
        QVERIFY(m_errors.isEmpty());
        QCOMPARE(m_exits, 0);
    }

    void portResolution()
    {
        TSockets socket;
        recordErrors(socket);
        socket.IPAddr = QStringLiteral("127.0.0.1");
        socket.Port = QStringLiteral("12ab");
        QVERIFY_THROWS_EXCEPTION(EConvertError, socket.SConnect());
        socket.Port = QStringLiteral("70000");
        socket.SConnect();
        QCOMPARE(codes(), QList<int>({10049}));
        QCOMPARE(socket.SocketHandle(), -1);
    }

    void dottedAddressMakesNoLookup()
    {
        TScriptServer server;
        server.sendLine("+OK one").nextConnection().sendLine("+OK two");
        TSockets socket;
        recordErrors(socket);
        const int before = TSockets::HostLookups();
        connectTo(socket, server);
        QCOMPARE(socket.GetText(), QByteArray("+OK one\r\n"));
        QCOMPARE(TSockets::HostLookups(), before);
        socket.Disconnect();

        QStringList asked;
        TSockets::SetLookup([&asked](const QString& name, quint32& address) {
            asked << name;
            address = 0x7f000001;
            return 0;
        });
        socket.IPAddr = QStringLiteral("pop.example.test");
        socket.SConnect();
        QCOMPARE(asked, QStringList({"pop.example.test"}));
        QCOMPARE(TSockets::HostLookups(), before + 1);
        QCOMPARE(socket.GetText(), QByteArray("+OK two\r\n"));
        socket.Disconnect();
        QVERIFY(server.waitForFinished(5000));
        QVERIFY(m_errors.isEmpty());
    }

    // A name with several addresses: each is tried in the resolver's order until one
    // answers, and none after it. A server at the later address would take a connection
    // made in any other order and say nothing.
    void severalAddressesTriedInOrder()
    {
        TScriptServer server;
        server.sendLine("+OK third address");
        QTcpServer later;
        QVERIFY(later.listen(QHostAddress(QStringLiteral("127.0.0.3")), quint16(server.port())));
        QStringList asked;
        QList<QHostAddress> answer = {QHostAddress(QStringLiteral("::1")), QHostAddress(QStringLiteral("127.0.0.2")),
                                      QHostAddress(QStringLiteral("127.0.0.1")),
                                      QHostAddress(QStringLiteral("127.0.0.3"))};
        TSockets::SetAddressLookup([&](const QString& name, QList<QHostAddress>& addresses) {
            asked << name;
            addresses = answer;
            return 0;
        });
        TSockets socket;
        recordErrors(socket);
        socket.NonBlocking = false;
        socket.Timeout = 5;
        socket.IPAddr = QStringLiteral("pop.example.test");
        socket.Port = QString::number(server.port());
        socket.SConnect();
        QVERIFY(socket.IsOpen());
        QCOMPARE(socket.GetText(), QByteArray("+OK third address\r\n"));
        QCOMPARE(asked, QStringList({"pop.example.test"}));
        QVERIFY(m_errors.isEmpty());
        socket.Disconnect();
        QVERIFY(server.waitForFinished(5000));

        // When every address refuses, the last refusal is reported once.
        answer = {QHostAddress(QStringLiteral("127.0.0.2")), QHostAddress(QStringLiteral("127.0.0.4"))};
        socket.SConnect();
        QCOMPARE(codes(), QList<int>({10061}));
        QCOMPARE(m_errors[0].socket, socket.SocketHandle());
        QCOMPARE(asked.size(), 2);
    }

    // A failed lookup is a session failure like any other: reported to the handler, never a
    // box that waits for a click. Only a socket without a handler still shows the box.
    void failedLookup_data()
    {
        QTest::addColumn<int>("answer"); // what the resolver says; 0: it never answers
        QTest::addColumn<bool>("handler");
        QTest::addColumn<QList<int>>("reports");
        QTest::addColumn<QString>("box");
        QTest::newRow("not found") << 11001 << true << QList<int>({11001}) << QString();
        QTest::newRow("server failure") << 11002 << true << QList<int>({11002}) << QString();
        QTest::newRow("never answers") << 0 << true << QList<int>({10060, 10004}) << QString();
        QTest::newRow("not found, no handler") << 11001 << false << QList<int>() << "Cannot convert host address";
    }

    void failedLookup()
    {
        QFETCH(int, answer);
        QFETCH(bool, handler);
        QFETCH(QList<int>, reports);
        QFETCH(QString, box);
        if (answer == 0) {
            stallLookups();
        } else {
            TSockets::SetLookup([answer](const QString&, quint32&) { return answer; });
        }
        TSockets socket;
        if (handler) {
            recordErrors(socket);
        }
        socket.Timeout = 1;
        socket.Port = QStringLiteral("110");
        socket.IPAddr = QStringLiteral("mail.example.invalid");
        QElapsedTimer clock;
        clock.start();
        socket.SConnect();
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(codes(), reports);
        for (const Report& r : std::as_const(m_errors)) {
            QCOMPARE(r.socket, -1);
            QCOMPARE(r.msg,
                     r.error == 10060 ? QStringLiteral("Blocking call timed out") : TSockets::ErrorText(r.error));
        }
        QCOMPARE(m_boxes, box.isEmpty() ? QStringList() : QStringList({"WINSOCK ERROR|" + box}));
        QCOMPARE(socket.SocketHandle(), -1);
        QVERIFY(!socket.Waiting());
        QCOMPARE(m_exits, 0);
    }

    // The lookup has no socket yet; closing must still end its wait.
    void disconnectDuringLookupEndsIt()
    {
        stallLookups();
        TSockets socket;
        recordErrors(socket);
        socket.Timeout = 20;
        socket.Port = QStringLiteral("110");
        socket.IPAddr = QStringLiteral("mail.example.invalid");
        QTimer::singleShot(100, this, [&] { socket.Disconnect(); });
        QElapsedTimer clock;
        clock.start();
        socket.SConnect();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(codes(), QList<int>({10004}));
        QCOMPARE(socket.SocketHandle(), -1);
        QVERIFY(!socket.Waiting());
    }

    // A server that answers a byte just inside each call's time-out still cannot hold the
    // session longer than its limit; the next session gets a limit of its own.
    void sessionLimitCutsADribblingServer()
    {
        TScriptServer server;
        server.sendChunked("+OK dribbling greeting\r\n", 1, 300).nextConnection().sendLine("+OK quick");
        TSockets socket;
        recordErrors(socket);
        socket.Timeout = 1;
        socket.SessionTimeout = 2;
        connectTo(socket, server);
        QElapsedTimer clock;
        clock.start();
        QByteArray got;
        for (QByteArray chunk = socket.GetText(); !chunk.isEmpty(); chunk = socket.GetText()) {
            got += chunk;
        }
        QVERIFY2(clock.elapsed() >= 1500 && clock.elapsed() < 3500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!got.endsWith("\r\n"));
        QCOMPARE(codes(), QList<int>({10060, 10004}));
        QCOMPARE(m_errors[0].msg, QStringLiteral("Blocking call timed out"));
        socket.Disconnect();

        m_errors.clear();
        socket.SConnect();
        QCOMPARE(socket.GetText(), QByteArray("+OK quick\r\n"));
        QVERIFY(m_errors.isEmpty());
    }

    // Once the program's loop is told to quit, every nested loop returns at once; a wait
    // must end then instead of spinning until its data or its time-out arrives.
    void programQuitEndsTheWait()
    {
        TScriptServer server;
        server.pause(4000).sendLine("+OK too late");
        TSockets socket;
        recordErrors(socket);
        socket.Timeout = 20;
        connectTo(socket, server);
        QByteArray got = "not run";
        qint64 afterQuit = -1;
        QElapsedTimer clock;
        QTimer::singleShot(0, this, [&] {
            QTimer::singleShot(200, this, [&] {
                clock.start();
                QCoreApplication::quit();
            });
            got = socket.GetText();
            afterQuit = clock.elapsed();
        });
        QCoreApplication::exec();
        QVERIFY2(afterQuit >= 0 && afterQuit < 1000, qPrintable(QString::number(afterQuit)));
        QCOMPARE(got, QByteArray());
        QCOMPARE(codes(), QList<int>({10004}));
    }

    void eventLoopRunsWhileWaiting()
    {
        TScriptServer server;
        server.pause(400).sendLine("+OK late");
        TSockets socket;
        recordErrors(socket);
        socket.Timeout = 0;
        connectTo(socket, server);
        int ticks = 0;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start();
        QVERIFY(!socket.Waiting());
        bool waitingSeen = false;
        QTimer::singleShot(50, this, [&] { waitingSeen = socket.Waiting(); });
        QCOMPARE(socket.GetText(), QByteArray("+OK late\r\n"));
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QVERIFY(waitingSeen);
        QVERIFY(m_errors.isEmpty());
    }

    // A server that sends without pause never makes a receive wait; the program's events
    // run all the same, and a Disconnect or a deletion reached through them ends the
    // receive as it ends any wait.
    void eventLoopRunsWhileDataStreams_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("streaming for a second") << QString();
        QTest::newRow("disconnected meanwhile") << QStringLiteral("disconnect");
        QTest::newRow("destroyed meanwhile") << QStringLiteral("destroy");
    }

    void eventLoopRunsWhileDataStreams()
    {
        QFETCH(QString, action);
        TScriptServer server;
        // Far more than is read; the server stops when the client goes.
        server.sendHuge(qint64(1) << 40);
        QPointer<TSockets> socket = new TSockets;
        recordErrors(*socket);
        socket->Timeout = 10;
        // Small receives keep the client slower than the server: data is always waiting.
        socket->MaximumReceiveLength = 1024;
        connectTo(*socket, server);
        TLoopGap gap;
        // Owned here, so that it cannot fire in a later test when this one fails.
        QTimer meanwhile;
        meanwhile.setSingleShot(true);
        connect(&meanwhile, &QTimer::timeout, this, [&] {
            if (action == QLatin1String("disconnect")) {
                socket->Disconnect();
            } else if (action == QLatin1String("destroy")) {
                delete socket.data();
            }
        });
        meanwhile.start(300);
        qint64 received = 0;
        for (QByteArray chunk = "start"; !chunk.isEmpty() && gap.Elapsed() < 1000;) {
            chunk = socket->GetText();
            received += chunk.size();
        }
        const qint64 elapsed = gap.Elapsed();
        const qint64 longest = gap.Longest();
        QVERIFY2(received > 1024 * 1024, qPrintable(QString::number(received)));
        QVERIFY2(longest < 250, qPrintable(QString::number(longest)));
        if (action.isEmpty()) {
            QVERIFY(m_errors.isEmpty());
        } else {
            QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
            QCOMPARE(codes(), action == QLatin1String("disconnect") ? QList<int>({10004}) : QList<int>());
            QCOMPARE(socket.isNull(), action == QLatin1String("destroy"));
        }
        delete socket.data();
        QVERIFY(server.waitForFinished(5000));
    }

    void disconnectDuringWaitEndsIt()
    {
        TScriptServer server;
        server.silent();
        TSockets socket;
        recordErrors(socket);
        socket.Timeout = 10;
        connectTo(socket, server);
        const int handle = socket.SocketHandle();
        QTimer::singleShot(100, this, [&] { socket.Disconnect(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(socket.GetText(), QByteArray());
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(codes(), QList<int>({10004}));
        QCOMPARE(m_errors[0].socket, handle);
        QCOMPARE(socket.SocketHandle(), -1);
        QVERIFY(server.waitForFinished(5000));
    }

    void secondCallDuringWaitIsRefused()
    {
        TScriptServer server;
        server.pause(300).sendLine("+OK");
        TSockets socket;
        recordErrors(socket);
        connectTo(socket, server);
        QTimer::singleShot(50, this, [&] { socket.SetText("NOOP\r\n"); });
        QCOMPARE(socket.GetText(), QByteArray("+OK\r\n"));
        QCOMPARE(codes(), QList<int>({10036}));
    }

    void destroyedDuringWait()
    {
        TScriptServer server;
        server.silent();
        QPointer<TSockets> socket = new TSockets;
        recordErrors(*socket);
        socket->Timeout = 10;
        connectTo(*socket, server);
        QTimer::singleShot(100, this, [&] { delete socket.data(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(socket->GetText(), QByteArray());
        QVERIFY(socket.isNull());
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(m_errors.isEmpty());
        QVERIFY(server.waitForFinished(5000));
    }

    void destroyedByHandler()
    {
        TScriptServer server;
        server.silent();
        auto* socket = new TSockets;
        socket->Timeout = 1;
        int calls = 0;
        socket->OnErrorOccurred = [&](TSockets* sender, int, int, const QString&) {
            ++calls;
            delete sender;
        };
        connectTo(*socket, server);
        QCOMPARE(socket->GetText(), QByteArray());
        // The time-out report killed the socket: the call's own failure is not reported.
        QCOMPARE(calls, 1);
        QVERIFY(server.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(tst_Sockets)
#include "tst_Sockets.moc"
