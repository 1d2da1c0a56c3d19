#include "testsupport/TDelayProxy.h"

#include <QMutex>
#include <QMutexLocker>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <list>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Held {
    qint64 due;
    QByteArray bytes; // empty: the sender closed
};

// One direction of a connection.
struct Flow {
    int from = -1;
    int to = -1;
    bool fromClosed = false;
    bool done = false;
    std::deque<Held> held;
};

struct Connection {
    Flow up;   // client to server
    Flow down; // server to client
};

bool sendAll(int fd, const QByteArray& bytes)
{
    qsizetype at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        at += n;
    }
    return true;
}

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

struct TDelayProxy::Private {
    quint16 target = 0;
    int delay = 0;
    QByteArray listenAddress;
    quint16 listenPort = 0;
    int listenFd = -1;
    int wake[2] = {-1, -1};
    quint16 port = 0;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> hideCapabilities{false};
    std::atomic<bool> blackHole{false};
    mutable QMutex mutex;
    QByteArray clientBytes;
    int connections = 0;

    void run()
    {
        std::list<Connection> conns;
        while (!stop) {
            std::vector<pollfd> fds;
            fds.push_back({listenFd, POLLIN, 0});
            fds.push_back({wake[0], POLLIN, 0});
            qint64 next = -1;
            for (Connection& c : conns) {
                for (Flow* f : {&c.up, &c.down}) {
                    if (!f->fromClosed) {
                        fds.push_back({f->from, POLLIN, 0});
                    }
                    if (!f->held.empty() && (next < 0 || f->held.front().due < next)) {
                        next = f->held.front().due;
                    }
                }
            }
            const int timeout = next < 0 ? -1 : int(qMax<qint64>(0, next - nowMs()));
            if (::poll(fds.data(), nfds_t(fds.size()), timeout) < 0) {
                continue;
            }
            if (fds[0].revents & POLLIN) {
                accept(conns);
            }
            const qint64 now = nowMs();
            for (const pollfd& p : fds) {
                if (p.fd == listenFd || p.fd == wake[0] || !(p.revents & (POLLIN | POLLHUP | POLLERR))) {
                    continue;
                }
                for (Connection& c : conns) {
                    for (Flow* f : {&c.up, &c.down}) {
                        if (f->from == p.fd && !f->fromClosed) {
                            receive(c, *f, now);
                        }
                    }
                }
            }
            deliver(conns);
        }
        for (Connection& c : conns) {
            ::close(c.up.from);
            ::close(c.down.from);
        }
    }

    void accept(std::list<Connection>& conns)
    {
        const int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            return;
        }
        const int server = connectTo(target);
        if (server < 0) {
            ::close(client);
            return;
        }
        const int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Connection c;
        c.up.from = client;
        c.up.to = server;
        c.down.from = server;
        c.down.to = client;
        conns.push_back(c);
        QMutexLocker lock(&mutex);
        ++connections;
    }

    void receive(Connection& c, Flow& f, qint64 now)
    {
        char buffer[65536];
        const ssize_t n = ::recv(f.from, buffer, sizeof buffer, 0);
        if (n <= 0) {
            f.fromClosed = true;
            f.held.push_back({now + delay, {}});
            return;
        }
        const QByteArray bytes(buffer, n);
        if (blackHole) {
            return;
        }
        if (&f == &c.up) {
            QMutexLocker lock(&mutex);
            clientBytes += bytes;
        }
        if (&f == &c.up && hideCapabilities && bytes == "CAPA\r\n") {
            c.down.held.push_back({now + 2 * delay, "-ERR no capabilities\r\n"});
            return;
        }
        f.held.push_back({now + delay, bytes});
    }

    void deliver(std::list<Connection>& conns)
    {
        const qint64 now = nowMs();
        for (auto it = conns.begin(); it != conns.end();) {
            for (Flow* f : {&it->up, &it->down}) {
                while (!f->held.empty() && f->held.front().due <= now && !f->done) {
                    const QByteArray bytes = f->held.front().bytes;
                    f->held.pop_front();
                    if (bytes.isEmpty() || !sendAll(f->to, bytes)) {
                        ::shutdown(f->to, SHUT_WR);
                        f->done = true;
                        f->held.clear();
                    }
                }
            }
            if (it->up.done && it->down.done) {
                ::close(it->up.from);
                ::close(it->down.from);
                it = conns.erase(it);
            } else {
                ++it;
            }
        }
    }
};

TDelayProxy::TDelayProxy(quint16 targetPort, int delayMsEachWay, const QByteArray& listenAddress, quint16 listenPort)
    : d(std::make_unique<Private>())
{
    d->target = targetPort;
    d->delay = delayMsEachWay;
    d->listenAddress = listenAddress;
    d->listenPort = listenPort;
}

TDelayProxy::~TDelayProxy()
{
    if (d->thread.joinable()) {
        d->stop = true;
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(d->wake[1], &byte, 1);
        d->thread.join();
    }
    for (const int fd : {d->listenFd, d->wake[0], d->wake[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool TDelayProxy::Start()
{
    if (d->thread.joinable()) {
        return true;
    }
    d->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(d->listenPort);
    // Loopback only: tests and benchmarks never listen where other hosts could connect.
    if (::inet_pton(AF_INET, d->listenAddress.constData(), &addr.sin_addr) != 1 ||
        (ntohl(addr.sin_addr.s_addr) >> 24) != 127) {
        return false;
    }
    const int one = 1;
    ::setsockopt(d->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t len = sizeof addr;
    if (d->listenFd < 0 || ::bind(d->listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(d->listenFd, 16) != 0 || ::getsockname(d->listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        ::pipe2(d->wake, O_CLOEXEC) != 0) {
        return false;
    }
    d->port = ntohs(addr.sin_port);
    d->thread = std::thread([this] { d->run(); });
    return true;
}

quint16 TDelayProxy::Port() const
{
    return d->port;
}

void TDelayProxy::SetBlackHole(bool on)
{
    d->blackHole = on;
}

void TDelayProxy::SetHideCapabilities(bool hide)
{
    d->hideCapabilities = hide;
}

QByteArray TDelayProxy::ClientBytes() const
{
    QMutexLocker lock(&d->mutex);
    return d->clientBytes;
}

int TDelayProxy::Connections() const
{
    QMutexLocker lock(&d->mutex);
    return d->connections;
}
