#include "welcome/TDemoServer.h"

#include "assets/MailvaneAssets.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace {

// A POP3 command line may be 255 octets; this leaves room, and bounds what a peer can make us hold.
constexpr int kMaxLine = 1024;
// A peer that opens more connections than this at once gets the later ones closed.
constexpr int kMaxSessions = 16;
// Replies queued for one connection; above this its commands wait until the peer reads.
constexpr qint64 kMaxQueued = 256 * 1024;

QByteArray crlf(const QByteArray& text)
{
    QByteArray lf = text;
    lf.replace("\r\n", "\n");
    lf.replace('\r', '\n');
    if (!lf.endsWith('\n')) {
        lf += '\n';
    }
    lf.replace("\n", "\r\n");
    return lf;
}

// The message as a multi-line reply body: every line starting with "." gets another, then the terminator.
QByteArray dotStuffed(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + 16);
    int start = 0;
    while (start < text.size()) {
        int end = int(text.indexOf("\r\n", start));
        end = end < 0 ? int(text.size()) : end + 2;
        if (text.at(start) == '.') {
            out += '.';
        }
        out += text.mid(start, end - start);
        start = end;
    }
    return out + ".\r\n";
}

// The header and the first lines of the body.
QByteArray topOf(const QByteArray& text, int lines)
{
    const int blank = int(text.indexOf("\r\n\r\n"));
    if (blank < 0) {
        return text;
    }
    int end = blank + 4;
    for (int n = 0; n < lines && end < text.size(); ++n) {
        const int next = int(text.indexOf("\r\n", end));
        end = next < 0 ? int(text.size()) : next + 2;
    }
    return text.left(end);
}

bool parseNumber(const QByteArray& arg, int& n)
{
    if (arg.isEmpty() || arg.size() > 9) {
        return false;
    }
    for (const char c : arg) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    n = arg.toInt();
    return true;
}

} // namespace

// One client's dialogue: authorisation, then the transaction on a snapshot of the messages;
// deletions reach the server at QUIT, as a POP3 server's update state does.
class TDemoServer::Session : public QObject {
public:
    Session(TDemoServer* server, QTcpSocket* socket) : QObject(socket), m_server(server), m_socket(socket)
    {
        // What the peer sent but we have not run stays small: a line, and the next beyond it.
        m_socket->setReadBufferSize(2 * kMaxLine);
        connect(socket, &QTcpSocket::readyRead, this, [this] { serve(); });
        // A peer that reads its replies lets the commands it sent ahead run.
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { serve(); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        reply("+OK Mailvane demo POP3 server ready");
    }

private:
    void reply(const QByteArray& line) { m_socket->write(line + "\r\n"); }

    // Runs the complete lines received while the replies still queued are few.
    void serve()
    {
        while (m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesToWrite() < kMaxQueued) {
            const int end = int(m_buffer.indexOf('\n'));
            if (end < 0) {
                if (m_buffer.size() > kMaxLine) {
                    reply("-ERR line too long");
                    m_socket->disconnectFromHost();
                    return;
                }
                const QByteArray more = m_socket->read(kMaxLine + 1 - m_buffer.size());
                if (more.isEmpty()) {
                    return;
                }
                m_buffer += more;
                continue;
            }
            QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            if (!command(line)) {
                return;
            }
        }
        // Waiting for the peer to read: it may send its next command, but not pile them up.
        if (m_socket->state() == QAbstractSocket::ConnectedState &&
            m_buffer.size() + m_socket->bytesAvailable() > kMaxLine) {
            m_socket->abort();
        }
    }

    const Message* message(const QByteArray& arg, int& n)
    {
        if (!parseNumber(arg, n) || n < 1 || n > m_snapshot.size()) {
            reply("-ERR no such message");
            return nullptr;
        }
        if (m_deleted.contains(n)) {
            reply("-ERR message deleted");
            return nullptr;
        }
        return &m_snapshot.at(n - 1);
    }

    // False once the connection is to end.
    bool command(const QByteArray& line)
    {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray verb = words.value(0).toUpper();
        const QByteArray arg = words.value(1);
        if (verb == "QUIT") {
            if (m_loggedIn) {
                QSet<QByteArray> gone;
                for (const int n : m_deleted) {
                    gone.insert(m_snapshot.at(n - 1).Uid);
                }
                m_server->m_messages.erase(std::remove_if(m_server->m_messages.begin(), m_server->m_messages.end(),
                                                          [&](const Message& m) { return gone.contains(m.Uid); }),
                                           m_server->m_messages.end());
            }
            reply("+OK bye");
            m_socket->disconnectFromHost();
            return false;
        }
        if (verb == "CAPA") {
            m_socket->write("+OK\r\nUSER\r\nTOP\r\nUIDL\r\n.\r\n");
            return true;
        }
        if (verb == "NOOP" && m_loggedIn) {
            reply("+OK");
            return true;
        }
        if (!m_loggedIn) {
            return authorise(verb, arg);
        }
        int n = 0;
        if (verb == "STAT") {
            qint64 size = 0;
            int count = 0;
            for (int k = 1; k <= m_snapshot.size(); ++k) {
                if (!m_deleted.contains(k)) {
                    ++count;
                    size += m_snapshot.at(k - 1).Text.size();
                }
            }
            reply("+OK " + QByteArray::number(count) + ' ' + QByteArray::number(size));
        } else if ((verb == "LIST" || verb == "UIDL") && words.size() == 1) {
            QByteArray out = "+OK\r\n";
            for (int k = 1; k <= m_snapshot.size(); ++k) {
                if (!m_deleted.contains(k)) {
                    const Message& m = m_snapshot.at(k - 1);
                    out += QByteArray::number(k) + ' ' + (verb == "LIST" ? QByteArray::number(m.Text.size()) : m.Uid) +
                           "\r\n";
                }
            }
            m_socket->write(out + ".\r\n");
        } else if (verb == "LIST" || verb == "UIDL") {
            if (const Message* m = message(arg, n)) {
                reply("+OK " + QByteArray::number(n) + ' ' +
                      (verb == "LIST" ? QByteArray::number(m->Text.size()) : m->Uid));
            }
        } else if (verb == "RETR") {
            if (const Message* m = message(arg, n)) {
                m_socket->write("+OK " + QByteArray::number(m->Text.size()) + " octets\r\n" + dotStuffed(m->Text));
            }
        } else if (verb == "TOP") {
            int lines = 0;
            if (!parseNumber(words.value(2), lines)) {
                reply("-ERR TOP needs a message and a line count");
            } else if (const Message* m = message(arg, n)) {
                m_socket->write("+OK\r\n" + dotStuffed(topOf(m->Text, lines)));
            }
        } else if (verb == "DELE") {
            if (message(arg, n)) {
                m_deleted.insert(n);
                reply("+OK message deleted");
            }
        } else if (verb == "RSET") {
            m_deleted.clear();
            reply("+OK");
        } else {
            reply("-ERR unknown command");
        }
        return true;
    }

    bool authorise(const QByteArray& verb, const QByteArray& arg)
    {
        if (verb == "USER") {
            m_user = arg;
            m_userGiven = true;
            reply("+OK");
        } else if (verb == "PASS" && m_userGiven) {
            m_userGiven = false;
            if (m_user != TDemoServer::Login || arg != TDemoServer::Password) {
                reply("-ERR the demo mailbox logs in as demo / demo");
                return true;
            }
            m_loggedIn = true;
            m_snapshot = m_server->m_messages;
            reply("+OK " + QByteArray::number(m_snapshot.size()) + " messages");
        } else {
            reply("-ERR log in first");
        }
        return true;
    }

    TDemoServer* m_server;
    QTcpSocket* m_socket;
    QByteArray m_buffer;
    QByteArray m_user;
    bool m_userGiven = false;
    bool m_loggedIn = false;
    QList<Message> m_snapshot;
    QSet<int> m_deleted;
};

TDemoServer::TDemoServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] { acceptConnections(); });
    SetMessages(ShippedMessages());
}

TDemoServer::~TDemoServer()
{
    Stop();
}

QList<QByteArray> TDemoServer::ShippedMessages()
{
    InitMailvaneAssets();
    QList<QByteArray> list;
    const QDir dir(QStringLiteral(":/demo"));
    const QStringList files = dir.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            list << crlf(file.readAll());
        }
    }
    return list;
}

void TDemoServer::SetMessages(const QList<QByteArray>& messages)
{
    m_messages.clear();
    for (const QByteArray& text : messages) {
        m_messages.append({"demo-" + QByteArray::number(m_nextUid++), crlf(text)});
    }
}

QList<QByteArray> TDemoServer::Messages() const
{
    QList<QByteArray> list;
    for (const Message& m : m_messages) {
        list << m.Text;
    }
    return list;
}

namespace {
quint16 listenPort = 0;
} // namespace

void TDemoServer::SetListenPort(quint16 port)
{
    listenPort = port;
}

bool TDemoServer::Start()
{
    if (m_server->isListening()) {
        return true;
    }
    return m_server->listen(QHostAddress::LocalHost, listenPort);
}

void TDemoServer::Stop()
{
    m_server->close();
    const auto sockets = m_server->findChildren<QTcpSocket*>();
    for (QTcpSocket* s : sockets) {
        s->abort();
        s->deleteLater();
    }
}

bool TDemoServer::Listening() const
{
    return m_server->isListening();
}

quint16 TDemoServer::Port() const
{
    return m_server->isListening() ? m_server->serverPort() : 0;
}

bool TDemoServer::PeerAllowed(const QHostAddress& address)
{
    if (address.isNull()) {
        return false;
    }
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    if (v4) {
        return (ip >> 24) == 127;
    }
    return address == QHostAddress(QHostAddress::LocalHostIPv6);
}

void TDemoServer::acceptConnections()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        // Sockets are the server's children until they go, so they can be counted and closed.
        const int open = int(m_server->findChildren<QTcpSocket*>().size());
        if (!PeerAllowed(socket->peerAddress()) || open > kMaxSessions) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        new Session(this, socket);
    }
}
