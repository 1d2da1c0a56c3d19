#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class QHostAddress;
class QTcpServer;
class QTcpSocket;

// A small POP3 server inside the program for the demo mailbox: it listens on 127.0.0.1
// at a port the system picks, serves a fixed set of messages from memory and drops any
// peer that is not on the loopback. Deletions last until the program ends.
class TDemoServer : public QObject {
    Q_OBJECT
public:
    // The account the demo mailbox logs in with.
    static constexpr char Login[] = "demo";
    static constexpr char Password[] = "demo";

    explicit TDemoServer(QObject* parent = nullptr);
    ~TDemoServer() override;

    // The demo messages shipped with the program, with CR LF line ends.
    static QList<QByteArray> ShippedMessages();
    // Replaces the messages on the server (line ends become CR LF).
    void SetMessages(const QList<QByteArray>& messages);
    QList<QByteArray> Messages() const;

    // Listens on a free loopback port; false when no port could be had.
    bool Start();
    // Tests: later starts listen on this port instead of a free one (0 again: a free one).
    static void SetListenPort(quint16 port);
    // Stops listening and closes every connection; deletions not yet carried out are lost.
    void Stop();
    bool Listening() const;
    quint16 Port() const;

    // Only the loopback (127.0.0.0/8, ::1, and IPv4 loopback written as IPv6) may connect.
    static bool PeerAllowed(const QHostAddress& address);

private:
    class Session;
    struct Message {
        QByteArray Uid;
        QByteArray Text;
    };

    void acceptConnections();

    QTcpServer* m_server;
    QList<Message> m_messages;
    int m_nextUid = 1;
};
