#include "net/TSockets.h"
#include "testsupport/TScriptServer.h"

#include <QtTest>

// The fake server is what the POP3 tests trust; these check it against the real client.
class tst_ScriptServer : public QObject {
    Q_OBJECT

private:
    QList<int> m_errors;

    void open(TSockets& socket, TScriptServer& server)
    {
        socket.NonBlocking = false;
        socket.Timeout = 5;
        socket.IPAddr = QStringLiteral("127.0.0.1");
        socket.Port = QString::number(server.port());
        socket.OnErrorOccurred = [this](TSockets*, int, int error, const QString&) { m_errors.append(error); };
        socket.SConnect();
    }

    static QByteArray command(TSockets& socket, const QByteArray& line)
    {
        socket.SetText(line + "\r\n");
        const bool multi = line.toUpper().startsWith("TOP") || line.toUpper().startsWith("RETR") ||
                           line.toUpper() == "LIST" || line.toUpper() == "UIDL";
        QByteArray reply = socket.GetText();
        while (multi && reply.startsWith('+') && !reply.endsWith("\r\n.\r\n")) {
            const QByteArray chunk = socket.GetText();
            if (chunk.isEmpty()) {
                break;
            }
            reply += chunk;
        }
        return reply;
    }

    static QList<QByteArray> sampleMessages()
    {
        return {"Message-ID: <a@x>\nFrom: Ann\nSubject: one\n\nfirst line\nsecond line\n",
                "Message-ID: <b@x>\r\nFrom: Bob\r\n\r\n.dotted\r\nend\r\n",
                "Message-ID: <c@x>\nSubject: three\n\nbody\n"};
    }

private slots:
    void init() { m_errors.clear(); }

    void mailboxAnswersAndDeletesAtQuit()
    {
        TScriptServer server;
        server.serveMailbox(sampleMessages(), "ann", "pw");
        TSockets socket;
        open(socket, server);
        QVERIFY(socket.GetText().startsWith("+OK"));
        QCOMPARE(command(socket, "USER ann"), QByteArray("+OK\r\n"));
        QVERIFY(command(socket, "PASS pw").startsWith("+OK"));
        const int size1 = sampleMessages()[0].size() + 6; // six LF become CR LF
        QCOMPARE(command(socket, "STAT"), "+OK 3 " + QByteArray::number(size1 + 46 + 43) + "\r\n");
        QCOMPARE(command(socket, "LIST 1"), "+OK 1 " + QByteArray::number(size1) + "\r\n");
        QCOMPARE(command(socket, "Top 1 1"),
                 QByteArray("+OK\r\nMessage-ID: <a@x>\r\nFrom: Ann\r\nSubject: one\r\n\r\nfirst line\r\n.\r\n"));
        QCOMPARE(command(socket, "RETR 2"),
                 QByteArray("+OK 46 octets\r\nMessage-ID: <b@x>\r\nFrom: Bob\r\n\r\n..dotted\r\nend\r\n.\r\n"));
        QCOMPARE(command(socket, "UIDL 3"), QByteArray("+OK 3 uid3\r\n"));
        QVERIFY(command(socket, "DELE 2").startsWith("+OK"));
        QVERIFY(command(socket, "LIST 2").startsWith("-ERR"));
        QVERIFY(command(socket, "STAT").startsWith("+OK 2 "));
        QCOMPARE(server.mailbox().size(), 3); // not before QUIT
        QCOMPARE(command(socket, "QUIT"), QByteArray("+OK bye\r\n"));
        socket.Disconnect();
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.mailbox().size(), 2);

        // The next session numbers the rest from 1 and keeps their identities.
        open(socket, server);
        socket.GetText();
        command(socket, "USER ann");
        command(socket, "PASS pw");
        QVERIFY(command(socket, "STAT").startsWith("+OK 2 "));
        QCOMPARE(command(socket, "UIDL"), QByteArray("+OK\r\n1 uid1\r\n2 uid3\r\n.\r\n"));
        QVERIFY(command(socket, "TOP 2 0").contains("Subject: three"));
        socket.Disconnect(); // without QUIT: nothing deleted
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.connections(), 2);
        QCOMPARE(server.received().count(QStringLiteral("QUIT")), 1);
        QVERIFY(m_errors.isEmpty());
    }

    void mailboxRefusesWrongLoginAndUnknownCommands_data()
    {
        QTest::addColumn<QByteArray>("pass");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("wrong password") << QByteArray("bad") << QByteArray("PASS bad") << QByteArray("-ERR");
        QTest::newRow("stat before login") << QByteArray() << QByteArray("STAT") << QByteArray("-ERR");
        QTest::newRow("no such message") << QByteArray("pw") << QByteArray("RETR 9") << QByteArray("-ERR");
        QTest::newRow("unknown") << QByteArray("pw") << QByteArray("XYZZY 1") << QByteArray("-ERR");
        QTest::newRow("lower case") << QByteArray("pw") << QByteArray("list 3") << QByteArray("+OK 3 ");
    }

    void mailboxRefusesWrongLoginAndUnknownCommands()
    {
        QFETCH(QByteArray, pass);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, reply);
        TScriptServer server;
        server.serveMailbox(sampleMessages(), "ann", "pw");
        TSockets socket;
        open(socket, server);
        socket.GetText();
        if (!pass.isEmpty()) {
            command(socket, "USER ann");
            const QByteArray answer = command(socket, "PASS " + pass);
            QCOMPARE(answer.startsWith("+OK"), pass == "pw");
        }
        QVERIFY2(command(socket, line).startsWith(reply), line.constData());
    }

    void mailboxFaults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QList<int>>("errors");
        QTest::newRow("error reply") << int(TScriptServer::Fault::ErrReply) << QByteArray("-ERR injected fault\r\n")
                                     << QList<int>();
        QTest::newRow("close") << int(TScriptServer::Fault::Close) << QByteArray() << QList<int>();
        QTest::newRow("reset") << int(TScriptServer::Fault::Reset) << QByteArray() << QList<int>({10054});
        QTest::newRow("silent") << int(TScriptServer::Fault::Silent) << QByteArray() << QList<int>({10060, 10004});
    }

    void mailboxFaults()
    {
        QFETCH(int, fault);
        QFETCH(QByteArray, reply);
        QFETCH(QList<int>, errors);
        TScriptServer server;
        server.serveMailbox(sampleMessages(), "ann", "pw");
        server.failOn("top", TScriptServer::Fault(fault));
        TSockets socket;
        open(socket, server);
        socket.Timeout = 1;
        socket.GetText();
        command(socket, "USER ann");
        command(socket, "PASS pw");
        QVERIFY(command(socket, "LIST 1").startsWith("+OK"));
        QCOMPARE(command(socket, "Top 1 1"), reply);
        QCOMPARE(m_errors, errors);
    }

    void scriptRecordsMismatchesAndStrayLines()
    {
        TScriptServer server;
        server.sendLine("+OK").expect("USER ann").sendLine("+OK").expect("PASS *").sendLine("+OK");
        TSockets socket;
        open(socket, server);
        socket.GetText();
        QCOMPARE(command(socket, "USER bob"), QByteArray("+OK\r\n"));
        QCOMPARE(command(socket, "PASS anything"), QByteArray("+OK\r\n"));
        socket.SetText("QUIT\r\n");
        socket.Disconnect();
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.received(), QStringList({"USER bob", "PASS anything", "QUIT"}));
        QCOMPARE(server.failures(), QStringList({"expected 'USER ann', got 'USER bob'", "unexpected line 'QUIT'"}));
    }

    void acceptThenCloseAndRefusal()
    {
        TScriptServer server;
        server.close();
        TSockets socket;
        open(socket, server);
        QVERIFY(socket.IsOpen());
        QCOMPARE(socket.GetText(), QByteArray());
        socket.Disconnect();
        QVERIFY(server.waitForFinished(5000));
        // The script has run out: the port no longer listens.
        socket.SConnect();
        QCOMPARE(m_errors, QList<int>({10061}));
    }
};

QTEST_GUILESS_MAIN(tst_ScriptServer)
#include "tst_ScriptServer.moc"
