#include "testsupport/TScriptServer.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QWaitCondition>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

enum class Outcome { Open, Ended, Lost };

enum class Kind { Send, Expect, ReceiveLine, Chunked, Huge, Pause, Close, Reset, Silent, NextConnection };

struct Step {
    Kind kind;
    QByteArray data;
    qint64 size = 0;
    int n = 0;
};

constexpr int kSlice = 50; // ms between looks at the stop flag

QByteArray withCrLf(const QByteArray& message)
{
    QByteArray out;
    out.reserve(message.size() + message.size() / 20 + 2);
    for (qsizetype i = 0; i < message.size(); ++i) {
        const char c = message.at(i);
        if (c == '\n' && (i == 0 || message.at(i - 1) != '\r')) {
            out.append('\r');
        }
        out.append(c);
    }
    if (!out.endsWith("\r\n")) {
        out.append("\r\n");
    }
    return out;
}

// Multi-line reply body (CR LF line ends): lines beginning with "." get another one,
// then the terminator.
QByteArray dotStuffed(const QByteArray& text)
{
    QByteArray out;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype lf = text.indexOf('\n', at);
        const qsizetype next = lf < 0 ? text.size() : lf + 1;
        if (text.at(at) == '.') {
            out.append('.');
        }
        out.append(text.mid(at, next - at));
        at = next;
    }
    return out + ".\r\n";
}

} // namespace

struct TScriptServer::Private {
    mutable QMutex mutex;
    QWaitCondition changed;
    std::vector<Step> steps;
    QStringList received;
    QStringList failures;
    int connections = 0;
    int sessionsEnded = 0;
    bool active = false;
    bool finished = false;

    bool mailboxMode = false;
    QList<QByteArray> messages;
    QList<int> uids; // stable identity of each message across sessions
    QByteArray user;
    QByteArray pass;
    QList<QPair<QByteArray, Fault>> faults;
    QList<QByteArray> capabilities;

    int listenFd = -1;
    quint16 port = 0;
    std::atomic<bool> stop{false};
    std::unique_ptr<QThread> thread;

    // Bytes read from the connection but not yet taken as a line.
    QByteArray pending;

    void record(const QByteArray& line)
    {
        QMutexLocker lock(&mutex);
        received.append(QString::fromUtf8(line));
    }

    void fail(const QString& text)
    {
        QMutexLocker lock(&mutex);
        failures.append(text);
    }

    bool stepAt(size_t i, Step& step) const
    {
        QMutexLocker lock(&mutex);
        if (i >= steps.size()) {
            return false;
        }
        step = steps[i];
        return true;
    }

    int acceptOne()
    {
        while (!stop) {
            pollfd p{listenFd, POLLIN, 0};
            if (::poll(&p, 1, kSlice) > 0) {
                const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    const int one = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    pending.clear();
                    return fd;
                }
            }
        }
        return -1;
    }

    bool sendAll(int fd, const char* data, qint64 size)
    {
        qint64 sent = 0;
        while (sent < size) {
            if (stop) {
                return false;
            }
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, kSlice) <= 0) {
                continue;
            }
            const ssize_t n = ::send(fd, data + sent, size_t(size - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    continue;
                }
                return false;
            }
            sent += n;
        }
        return true;
    }

    bool sendAll(int fd, const QByteArray& bytes) { return sendAll(fd, bytes.constData(), bytes.size()); }

    // One line without its CR LF; false when the client closed (a last unterminated
    // piece is still returned once) or the server stops.
    bool readLine(int fd, QByteArray& line)
    {
        for (;;) {
            const qsizetype lf = pending.indexOf('\n');
            if (lf >= 0) {
                line = pending.left(lf);
                pending.remove(0, lf + 1);
                if (line.endsWith('\r')) {
                    line.chop(1);
                }
                return true;
            }
            if (stop) {
                return false;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, kSlice) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (n <= 0) {
                if (!pending.isEmpty()) {
                    line = pending;
                    pending.clear();
                    return true;
                }
                return false;
            }
            pending.append(buffer, n);
        }
    }

    // Records what the client still sends until it leaves.
    void drain(int fd, bool unexpected)
    {
        QByteArray line;
        while (readLine(fd, line)) {
            record(line);
            if (unexpected) {
                fail(QStringLiteral("unexpected line '%1'").arg(QString::fromUtf8(line)));
            }
        }
    }

    void closeGracefully(int fd)
    {
        ::shutdown(fd, SHUT_WR);
        drain(fd, false);
        ::close(fd);
    }

    static void closeWithReset(int fd)
    {
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
    }

    static bool matches(const QByteArray& expected, const QByteArray& line)
    {
        if (expected.endsWith('*')) {
            return line.startsWith(expected.left(expected.size() - 1));
        }
        return line == expected;
    }

    void setActive(bool on)
    {
        QMutexLocker lock(&mutex);
        active = on;
        if (on) {
            ++connections;
        } else {
            ++sessionsEnded;
        }
        changed.wakeAll();
    }

    // Runs one step. Ended: the step closed the connection; Lost: the client went away
    // (the connection is still to be closed).
    Outcome runStep(int fd, const Step& step)
    {
        switch (step.kind) {
        case Kind::Send:
            return sendAll(fd, step.data) ? Outcome::Open : Outcome::Lost;
        case Kind::Expect:
        case Kind::ReceiveLine: {
            QByteArray line;
            if (!readLine(fd, line)) {
                fail(QStringLiteral("client left before sending '%1'").arg(QString::fromUtf8(step.data)));
                return Outcome::Lost;
            }
            record(line);
            if (step.kind == Kind::Expect && !matches(step.data, line)) {
                fail(QStringLiteral("expected '%1', got '%2'")
                         .arg(QString::fromUtf8(step.data), QString::fromUtf8(line)));
            }
            return Outcome::Open;
        }
        case Kind::Chunked:
            for (qsizetype at = 0; at < step.data.size(); at += step.n) {
                if (!sendAll(fd, step.data.constData() + at, qMin<qint64>(step.n, step.data.size() - at))) {
                    return Outcome::Lost;
                }
                if (step.size > 0) {
                    QThread::msleep(static_cast<unsigned long>(step.size));
                }
            }
            return Outcome::Open;
        case Kind::Huge: {
            const QByteArray block(64 * 1024, step.data.at(0));
            for (qint64 left = step.size; left > 0; left -= block.size()) {
                if (!sendAll(fd, block.constData(), qMin<qint64>(left, block.size()))) {
                    return Outcome::Lost;
                }
            }
            return Outcome::Open;
        }
        case Kind::Pause:
            QThread::msleep(static_cast<unsigned long>(step.n));
            return Outcome::Open;
        case Kind::Close:
            closeGracefully(fd);
            return Outcome::Ended;
        case Kind::Reset:
            closeWithReset(fd);
            return Outcome::Ended;
        case Kind::Silent:
            drain(fd, false);
            ::close(fd);
            return Outcome::Ended;
        case Kind::NextConnection:
            break;
        }
        return Outcome::Open;
    }

    void runScript()
    {
        size_t i = 0;
        Step step;
        while (stepAt(i, step)) {
            const int fd = acceptOne();
            if (fd < 0) {
                break;
            }
            setActive(true);
            Outcome outcome = Outcome::Open;
            while (outcome == Outcome::Open && stepAt(i, step) && step.kind != Kind::NextConnection) {
                outcome = runStep(fd, step);
                ++i;
            }
            if (outcome == Outcome::Open) {
                // The next connection is due or the script has run out.
                drain(fd, true);
                ::close(fd);
            } else if (outcome == Outcome::Lost) {
                ::close(fd);
                // Skip what was meant for the lost connection.
                while (stepAt(i, step) && step.kind != Kind::NextConnection) {
                    ++i;
                }
            }
            if (stepAt(i, step) && step.kind == Kind::NextConnection) {
                ++i;
            }
            setActive(false);
        }
        ::close(listenFd);
        listenFd = -1;
        QMutexLocker lock(&mutex);
        finished = true;
        changed.wakeAll();
    }

    QByteArray reply(const QByteArray& line, bool& authorized, QByteArray& givenUser, QList<bool>& deleted)
    {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray command = words.value(0).toUpper();
        bool ok1 = false;
        bool ok2 = false;
        const int n = words.value(1).toInt(&ok1);
        const int m = words.value(2).toInt(&ok2);

        if (command == "USER") {
            givenUser = line.mid(5);
            return "+OK\r\n";
        }
        if (command == "PASS") {
            authorized = givenUser == user && line.mid(5) == pass;
            return authorized ? "+OK logged in\r\n" : "-ERR invalid login\r\n";
        }
        if (command == "NOOP") {
            return "+OK\r\n";
        }
        if (command == "CAPA") {
            QMutexLocker lock(&mutex);
            if (capabilities.isEmpty()) {
                return "-ERR unknown command\r\n";
            }
            return "+OK\r\n" + capabilities.join("\r\n") + "\r\n.\r\n";
        }
        if (!authorized) {
            return "-ERR not logged in\r\n";
        }

        QMutexLocker lock(&mutex);
        auto valid = [&](int k) { return k >= 1 && k <= messages.size() && !deleted[k - 1]; };
        if (command == "STAT") {
            qint64 count = 0;
            qint64 octets = 0;
            for (int k = 1; k <= messages.size(); ++k) {
                if (valid(k)) {
                    ++count;
                    octets += messages[k - 1].size();
                }
            }
            return "+OK " + QByteArray::number(count) + ' ' + QByteArray::number(octets) + "\r\n";
        }
        if ((command == "LIST" || command == "UIDL") && words.size() == 1) {
            QByteArray out = "+OK\r\n";
            for (int k = 1; k <= messages.size(); ++k) {
                if (valid(k)) {
                    const QByteArray value = command == "LIST" ? QByteArray::number(messages[k - 1].size())
                                                               : "uid" + QByteArray::number(uids[k - 1]);
                    out += QByteArray::number(k) + ' ' + value + "\r\n";
                }
            }
            return out + ".\r\n";
        }
        if (!ok1 || !valid(n)) {
            return "-ERR no such message\r\n";
        }
        const QByteArray& message = messages[n - 1];
        if (command == "LIST") {
            return "+OK " + QByteArray::number(n) + ' ' + QByteArray::number(message.size()) + "\r\n";
        }
        if (command == "UIDL") {
            return "+OK " + QByteArray::number(n) + " uid" + QByteArray::number(uids[n - 1]) + "\r\n";
        }
        if (command == "RETR") {
            return "+OK " + QByteArray::number(message.size()) + " octets\r\n" + dotStuffed(message);
        }
        if (command == "TOP" && ok2 && m >= 0) {
            const qsizetype blank = message.indexOf("\r\n\r\n");
            QByteArray part = blank < 0 ? message : message.left(blank + 4);
            if (blank >= 0) {
                qsizetype at = blank + 4;
                for (int k = 0; k < m && at < message.size(); ++k) {
                    const qsizetype end = message.indexOf("\r\n", at);
                    const qsizetype next = end < 0 ? message.size() : end + 2;
                    part += message.mid(at, next - at);
                    at = next;
                }
            }
            return "+OK\r\n" + dotStuffed(part);
        }
        if (command == "DELE") {
            deleted[n - 1] = true;
            return "+OK deleted\r\n";
        }
        return "-ERR unknown command\r\n";
    }

    void serveSession(int fd)
    {
        if (!sendAll(fd, QByteArray("+OK Mailvane test server ready\r\n"))) {
            ::close(fd);
            return;
        }
        bool authorized = false;
        QByteArray givenUser;
        QList<bool> deleted;
        {
            QMutexLocker lock(&mutex);
            deleted.fill(false, messages.size());
        }
        QByteArray line;
        while (readLine(fd, line)) {
            record(line);
            bool faulted = false;
            Fault fault = Fault::ErrReply;
            {
                QMutexLocker lock(&mutex);
                for (const auto& f : faults) {
                    if (line.toUpper().startsWith(f.first.toUpper())) {
                        faulted = true;
                        fault = f.second;
                        break;
                    }
                }
            }
            if (faulted) {
                switch (fault) {
                case Fault::ErrReply:
                    sendAll(fd, QByteArray("-ERR injected fault\r\n"));
                    continue;
                case Fault::Close:
                    closeGracefully(fd);
                    return;
                case Fault::Reset:
                    closeWithReset(fd);
                    return;
                case Fault::Silent:
                    drain(fd, false);
                    ::close(fd);
                    return;
                }
            }
            if (line.toUpper() == "QUIT") {
                {
                    QMutexLocker lock(&mutex);
                    for (int k = int(deleted.size()) - 1; k >= 0; --k) {
                        if (deleted[k]) {
                            messages.removeAt(k);
                            uids.removeAt(k);
                        }
                    }
                }
                sendAll(fd, QByteArray("+OK bye\r\n"));
                closeGracefully(fd);
                return;
            }
            if (!sendAll(fd, reply(line, authorized, givenUser, deleted))) {
                break;
            }
        }
        // The client left without QUIT: nothing is deleted.
        ::close(fd);
    }

    void runMailbox()
    {
        for (;;) {
            const int fd = acceptOne();
            if (fd < 0) {
                break;
            }
            setActive(true);
            serveSession(fd);
            setActive(false);
        }
    }

    void add(Step step)
    {
        QMutexLocker lock(&mutex);
        steps.push_back(std::move(step));
    }
};

TScriptServer::TScriptServer() : d(std::make_unique<Private>()) {}

TScriptServer::~TScriptServer()
{
    d->stop = true;
    if (d->thread) {
        d->thread->wait();
    }
    if (d->listenFd != -1) {
        ::close(d->listenFd);
    }
}

TScriptServer& TScriptServer::send(const QByteArray& bytes)
{
    d->add({Kind::Send, bytes});
    return *this;
}

TScriptServer& TScriptServer::sendLine(const QByteArray& line)
{
    return send(line + "\r\n");
}

TScriptServer& TScriptServer::expect(const QByteArray& line)
{
    d->add({Kind::Expect, line});
    return *this;
}

TScriptServer& TScriptServer::receiveLine()
{
    d->add({Kind::ReceiveLine, {}});
    return *this;
}

TScriptServer& TScriptServer::sendChunked(const QByteArray& bytes, int chunkSize, int pauseMs)
{
    d->add({Kind::Chunked, bytes, qMax(0, pauseMs), qMax(1, chunkSize)});
    return *this;
}

TScriptServer& TScriptServer::sendHuge(qint64 size, char fill)
{
    d->add({Kind::Huge, QByteArray(1, fill), size});
    return *this;
}

TScriptServer& TScriptServer::pause(int ms)
{
    d->add({Kind::Pause, {}, 0, qMax(0, ms)});
    return *this;
}

TScriptServer& TScriptServer::close()
{
    d->add({Kind::Close, {}});
    return *this;
}

TScriptServer& TScriptServer::reset()
{
    d->add({Kind::Reset, {}});
    return *this;
}

TScriptServer& TScriptServer::silent()
{
    d->add({Kind::Silent, {}});
    return *this;
}

TScriptServer& TScriptServer::nextConnection()
{
    d->add({Kind::NextConnection, {}});
    return *this;
}

TScriptServer& TScriptServer::dialogue(const QByteArray& greeting, const QList<QPair<QByteArray, QByteArray>>& pairs)
{
    sendLine(greeting);
    for (const auto& pair : pairs) {
        expect(pair.first);
        send(pair.second.endsWith("\r\n") ? pair.second : pair.second + "\r\n");
    }
    return *this;
}

void TScriptServer::serveMailbox(const QList<QByteArray>& messages, const QByteArray& user, const QByteArray& pass)
{
    QMutexLocker lock(&d->mutex);
    d->mailboxMode = true;
    d->messages.clear();
    d->uids.clear();
    for (const QByteArray& message : messages) {
        d->messages.append(withCrLf(message));
        d->uids.append(int(d->uids.size()) + 1);
    }
    d->user = user;
    d->pass = pass;
}

void TScriptServer::announce(const QList<QByteArray>& capabilities)
{
    QMutexLocker lock(&d->mutex);
    d->capabilities = capabilities;
}

void TScriptServer::failOn(const QByteArray& commandPrefix, Fault fault)
{
    QMutexLocker lock(&d->mutex);
    d->faults.append({commandPrefix, fault});
}

QList<QByteArray> TScriptServer::mailbox() const
{
    QMutexLocker lock(&d->mutex);
    return d->messages;
}

bool TScriptServer::start()
{
    if (d->thread) {
        return true;
    }
    d->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (d->listenFd < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(d->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(d->listenFd, 8) != 0 ||
        ::getsockname(d->listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(d->listenFd);
        d->listenFd = -1;
        return false;
    }
    d->port = ntohs(address.sin_port);
    Private* p = d.get();
    if (d->mailboxMode) {
        d->thread.reset(QThread::create([p] { p->runMailbox(); }));
    } else {
        d->thread.reset(QThread::create([p] { p->runScript(); }));
    }
    d->thread->start();
    return true;
}

quint16 TScriptServer::port()
{
    start();
    return d->port;
}

QStringList TScriptServer::received() const
{
    QMutexLocker lock(&d->mutex);
    return d->received;
}

QStringList TScriptServer::failures() const
{
    QMutexLocker lock(&d->mutex);
    return d->failures;
}

int TScriptServer::connections() const
{
    QMutexLocker lock(&d->mutex);
    return d->connections;
}

bool TScriptServer::waitForFinished(int ms)
{
    QDeadlineTimer deadline(ms);
    QMutexLocker lock(&d->mutex);
    for (;;) {
        const bool done = d->mailboxMode ? (d->sessionsEnded > 0 && !d->active) : d->finished;
        if (done) {
            return true;
        }
        if (!d->changed.wait(&d->mutex, deadline)) {
            return d->mailboxMode ? (d->sessionsEnded > 0 && !d->active) : d->finished;
        }
    }
}

quint16 TScriptServer::refusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}
