#include "net/TSockets.h"

#include "core/EAbort.h"
#include "core/TIntConvert.h"
#include "net/TCallTimer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int WSAEINTR = 10004;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;

// Longest time a receive of data that keeps arriving goes without running the event loop.
constexpr qint64 kServeEveryMs = 50;

const QString kWinsockError = QStringLiteral("WINSOCK ERROR");

// Linux errno to the Winsock code of the same failure. An errno without a Winsock
// counterpart is passed on as it is; its text is then "Not a WinSock error".
int winsockCode(int err)
{
    switch (err) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EPERM:
    case EACCES:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case ENFILE:
    case EMFILE:
        return 10024;
    case EAGAIN:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case EPIPE: // Linux reports a send into a reset connection as a broken pipe
    case ECONNRESET:
        return 10054;
    case ENOMEM:
    case ENOBUFS:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        return err;
    }
}

TSockets::TMessageBox& messageBox()
{
    static TSockets::TMessageBox instance;
    return instance;
}

TSockets::TExit& exitProgram()
{
    static TSockets::TExit instance;
    return instance;
}

int& lookupCount()
{
    static int count = 0;
    return count;
}

TSockets::TAddressLookup& lookupOverride()
{
    static TSockets::TAddressLookup instance;
    return instance;
}

// Every address of name, IPv4 and IPv6, in the resolver's order.
int systemLookup(const QString& name, std::vector<sockaddr_storage>& addresses)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(name.toUtf8().constData(), nullptr, &hints, &found);
    if (rc != 0) {
        switch (rc) {
        case EAI_NONAME:
            return 11001;
        case EAI_AGAIN:
            return 11002;
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
            return 11004;
        default:
            return 11003;
        }
    }
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if ((a->ai_family == AF_INET || a->ai_family == AF_INET6) && a->ai_addrlen <= sizeof(sockaddr_storage)) {
            sockaddr_storage address{};
            std::memcpy(&address, a->ai_addr, a->ai_addrlen);
            addresses.push_back(address);
        }
    }
    ::freeaddrinfo(found);
    return addresses.empty() ? 11004 : 0;
}

sockaddr_storage ipv4Address(quint32 hostOrder)
{
    sockaddr_storage storage{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(hostOrder);
    return storage;
}

bool storageOf(const QHostAddress& address, sockaddr_storage& storage)
{
    bool v4 = false;
    const quint32 hostOrder = address.toIPv4Address(&v4);
    if (v4) {
        storage = ipv4Address(hostOrder);
        return true;
    }
    if (address.protocol() != QAbstractSocket::IPv6Protocol) {
        return false;
    }
    storage = sockaddr_storage{};
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    v6->sin6_family = AF_INET6;
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(&v6->sin6_addr, &bytes, sizeof v6->sin6_addr);
    return true;
}

// A literal address: dotted IPv4 as the resolver's inet_aton reads it, or IPv6 with or
// without brackets. False for a name.
bool literalAddress(const QString& host, sockaddr_storage& storage)
{
    QByteArray text = host.toLatin1();
    in_addr v4{};
    if (::inet_aton(text.constData(), &v4) != 0) {
        storage = ipv4Address(ntohl(v4.s_addr));
        return true;
    }
    if (text.startsWith('[') && text.endsWith(']')) {
        text = text.mid(1, text.size() - 2);
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.constData(), &v6) == 1) {
        storage = sockaddr_storage{};
        auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_addr = v6;
        return true;
    }
    return false;
}

// A lookup running on a detached thread. Not QHostInfo: its thread pool is waited for when
// the program ends, so a resolver that never answers would keep the process alive.
// The thread and the waiting call share this; the thread wakes the call through the pipe.
struct Lookup {
    std::mutex mutex;
    bool done = false;
    int code = 0;
    std::vector<sockaddr_storage> addresses;
    int pipe[2] = {-1, -1};

    Lookup() = default;
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;
    ~Lookup()
    {
        for (int fd : pipe) {
            if (fd != -1) {
                ::close(fd);
            }
        }
    }

    // False when no thread could be started.
    static bool start(const std::shared_ptr<Lookup>& self, const QString& name)
    {
        if (::pipe2(self->pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        const TSockets::TAddressLookup replaced = lookupOverride();
        try {
            std::thread([self, replaced, name] {
                std::vector<sockaddr_storage> addresses;
                int code = 0;
                if (replaced) {
                    QList<QHostAddress> found;
                    code = replaced(name, found);
                    for (const QHostAddress& address : found) {
                        sockaddr_storage storage{};
                        if (storageOf(address, storage)) {
                            addresses.push_back(storage);
                        }
                    }
                    if (code == 0 && addresses.empty()) {
                        code = 11004;
                    }
                } else {
                    code = systemLookup(name, addresses);
                }
                std::lock_guard<std::mutex> lock(self->mutex);
                self->code = code;
                self->addresses = std::move(addresses);
                self->done = true;
                const char wake = 1;
                [[maybe_unused]] const ssize_t n = ::write(self->pipe[1], &wake, 1);
            }).detach();
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    bool finished()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return done;
    }
};

void showMessage(const QString& text, const QString& caption)
{
    if (messageBox()) {
        const TSockets::TMessageBox box = messageBox();
        box(text, caption);
    } else {
        std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    }
}

void endProgram()
{
    if (exitProgram()) {
        const TSockets::TExit exit = exitProgram();
        exit();
    } else if (QCoreApplication::instance()) {
        QCoreApplication::exit(0);
    }
}

int resolvePort(const QString& port)
{
    const QByteArray name = port.toLatin1();
    // No service is named by digits alone: a number needs no pass over the services file.
    if (!name.isEmpty() && std::all_of(name.cbegin(), name.cend(), [](char c) { return c >= '0' && c <= '9'; })) {
        return TIntConvert::StrToInt(port);
    }
    if (const servent* service = ::getservbyname(name.constData(), "tcp")) {
        return ntohs(static_cast<quint16>(service->s_port));
    }
    return TIntConvert::StrToInt(port);
}

void closeAtOnce(int fd)
{
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

} // namespace

struct TSockets::Private {
    struct Call;

    int fd = -1;
    bool connected = false;
    // When the running session must end, set by SConnect and cleared by Disconnect.
    QDeadlineTimer sessionEnd{QDeadlineTimer::Forever};
    Call* call = nullptr;
    // Since the last wait of a call ran the event loop.
    QElapsedTimer served;
    // Cleared by the destructor; a call waiting in its local loop checks it before it
    // touches the object again.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

// One blocking call: its time-out timer and the local loop it waits in. All that the
// loop can reach lives here on the caller's stack, so a handler run by the loop may
// close the socket or destroy the object while the call waits.
struct TSockets::Private::Call {
    Call(Private* owner, int timeoutSeconds) : p(owner), alive(owner->alive)
    {
        p->call = this;
        QObject::connect(&timer, &QTimer::timeout, &loop, [this] {
            timedOut = true;
            loop.quit();
        });
        timedOut = !ArmCallTimer(timer, timeoutSeconds, p->sessionEnd);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    ~Call()
    {
        timer.stop();
        if (*alive) {
            p->call = nullptr;
        }
    }

    bool dead() const { return !*alive; }
    bool ended() const { return timedOut || cancelled; }

    // False when the wait ended without the socket becoming ready.
    bool waitFor(int fd, QSocketNotifier::Type type)
    {
        if (ended()) {
            return false;
        }
        QSocketNotifier ready(fd, type);
        bool woken = false;
        QObject::connect(&ready, &QSocketNotifier::activated, &loop, [this, &woken] {
            woken = true;
            loop.quit();
        });
        notifier = &ready;
        loop.exec();
        notifier = nullptr;
        if (*alive) {
            p->served.start();
        }
        if (!woken && !ended()) {
            // Ended from outside: the program is quitting, and from now on every loop
            // returns at once, so waiting again would spin.
            cancelled = true;
        }
        return !ended();
    }

    // Resolves name into address; returns 0 or the Winsock code of the failure, -1 when
    // the wait ended first.
    int lookup(const QString& name, std::vector<sockaddr_storage>& addresses)
    {
        const auto pending = std::make_shared<Lookup>();
        if (!Lookup::start(pending, name)) {
            return 11003;
        }
        while (!pending->finished()) {
            if (!waitFor(pending->pipe[0], QSocketNotifier::Read)) {
                return -1;
            }
        }
        std::lock_guard<std::mutex> lock(pending->mutex);
        addresses = pending->addresses;
        return pending->code;
    }

    void cancel()
    {
        cancelled = true;
        if (notifier) {
            notifier->setEnabled(false);
        }
        loop.quit();
    }

    Private* p;
    std::shared_ptr<bool> alive;
    QEventLoop loop;
    QTimer timer;
    QSocketNotifier* notifier = nullptr;
    bool timedOut = false;
    bool cancelled = false;
};

TSockets::TSockets(QObject* parent) : QObject(parent), d(new Private) {}

TSockets::~TSockets()
{
    *d->alive = false;
    if (d->call) {
        d->call->cancel();
    }
    // Unlike Winsock's cleanup, leave no descriptor behind.
    if (d->fd != -1) {
        closeAtOnce(d->fd);
        ::close(d->fd);
    }
    delete d;
}

int TSockets::SocketHandle() const
{
    return d->fd;
}

bool TSockets::Waiting() const
{
    return d->call != nullptr;
}

void TSockets::SetMessageBox(TMessageBox box)
{
    messageBox() = std::move(box);
}

void TSockets::SetExit(TExit exit)
{
    exitProgram() = std::move(exit);
}

int TSockets::HostLookups()
{
    return lookupCount();
}

void TSockets::SetLookup(TLookup lookup)
{
    if (!lookup) {
        lookupOverride() = {};
        return;
    }
    lookupOverride() = [lookup](const QString& name, QList<QHostAddress>& addresses) {
        quint32 address = 0;
        const int code = lookup(name, address);
        addresses.append(QHostAddress(address));
        return code;
    };
}

void TSockets::SetAddressLookup(TAddressLookup lookup)
{
    lookupOverride() = std::move(lookup);
}

void TSockets::Open(const QString& host, int timeout)
{
    IPAddr = host;
    Timeout = timeout;
    SConnect();
}

void TSockets::SetErrorReport(TErrorReport report)
{
    if (!report) {
        OnErrorOccurred = nullptr;
        return;
    }
    OnErrorOccurred = [report](TSockets*, int socket, int error, const QString& msg) { report(socket, error, msg); };
}

void TSockets::SConnect()
{
    if (Port.isEmpty()) {
        showMessage(QStringLiteral("No Port Specified"), kWinsockError);
        return;
    }
    if (IPAddr.isEmpty()) {
        showMessage(QStringLiteral("No IP Address Specified"), kWinsockError);
        return;
    }
    if (d->call) {
        ReportError(d->fd, QStringLiteral("SConnect"), WSAEINPROGRESS);
        return;
    }
    const std::shared_ptr<bool> alive = d->alive;
    if (d->fd != -1) {
        // A second connect must not leak the first socket.
        Disconnect();
        if (!*alive) {
            return;
        }
    }
    d->served.start();
    const int limit = sessionLimit();
    d->sessionEnd = limit > 0 ? QDeadlineTimer(qint64(limit) * 1000) : QDeadlineTimer(QDeadlineTimer::Forever);

    const int port = resolvePort(Port);

    std::vector<sockaddr_storage> addresses(1);
    if (!literalAddress(IPAddr, addresses.front())) {
        addresses.clear();
        ++lookupCount();
        int result = 0;
        bool timedOut = false;
        {
            Private::Call call(d, Timeout);
            result = call.lookup(IPAddr, addresses);
            if (call.dead()) {
                return;
            }
            timedOut = call.timedOut;
        }
        if (result < 0) {
            failCall(-1, QStringLiteral("SConnect"), WSAEINTR, timedOut);
            return;
        }
        if (result != 0) {
            // A handler reports it like any failed session; only without one is it a box.
            if (OnErrorOccurred) {
                ReportError(-1, QStringLiteral("SConnect"), result);
            } else {
                showMessage(QStringLiteral("Cannot convert host address"), kWinsockError);
            }
            return;
        }
    }

    if (port <= 0 || port > 65535) {
        ReportError(-1, QStringLiteral("SConnect"), WSAEADDRNOTAVAIL);
        return;
    }

    // Each address in the resolver's order until one answers; the last failure is reported.
    int code = 0;
    int fd = -1;
    bool timedOut = false;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        sockaddr_storage& server = addresses[i];
        socklen_t length = sizeof(sockaddr_in);
        if (server.ss_family == AF_INET6) {
            reinterpret_cast<sockaddr_in6*>(&server)->sin6_port = htons(static_cast<quint16>(port));
            length = sizeof(sockaddr_in6);
        } else {
            reinterpret_cast<sockaddr_in*>(&server)->sin_port = htons(static_cast<quint16>(port));
        }
        if (fd != -1) {
            // The previous address failed: its socket goes before the next is tried.
            d->fd = -1;
            closeAtOnce(fd);
            ::close(fd);
        }
        fd = ::socket(server.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (fd < 0) {
            ReportError(-1, QStringLiteral("SConnect (socket)"), winsockCode(errno));
            return;
        }
        d->fd = fd;
        d->connected = false;

        code = 0;
        timedOut = false;
        {
            Private::Call call(d, Timeout);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&server), length) != 0) {
                if (errno == EINPROGRESS || errno == EINTR) {
                    if (call.waitFor(fd, QSocketNotifier::Write)) {
                        int err = 0;
                        socklen_t errLength = sizeof err;
                        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLength) != 0) {
                            err = errno;
                        }
                        code = err == 0 ? 0 : winsockCode(err);
                    } else {
                        if (call.dead()) {
                            return;
                        }
                        code = WSAEINTR;
                        timedOut = call.timedOut;
                        // Closed or cancelled from outside: no further address.
                        if (call.cancelled || d->fd != fd) {
                            break;
                        }
                    }
                } else {
                    code = winsockCode(errno);
                }
            }
        }
        if (code == 0) {
            d->connected = true;
            return;
        }
        if (sessionLimit() > 0 && d->sessionEnd.hasExpired()) {
            break;
        }
    }
    failCall(fd, QStringLiteral("SConnect"), code, timedOut);
}

int TSockets::TakeHandle()
{
    const int fd = d->fd;
    d->fd = -1;
    d->connected = false;
    return fd;
}

QDeadlineTimer TSockets::SessionDeadline() const
{
    return d->sessionEnd;
}

void TSockets::SetText(const QByteArray& text)
{
    const QString function = QStringLiteral("SetText (Send)");
    if (d->call) {
        ReportError(d->fd, function, WSAEINPROGRESS);
        return;
    }
    if (d->fd == -1) {
        ReportError(-1, function, WSAENOTSOCK);
        return;
    }
    if (!d->connected) {
        ReportError(d->fd, function, WSAENOTCONN);
        return;
    }

    const int fd = d->fd;
    int code = 0;
    bool timedOut = false;
    {
        Private::Call call(d, Timeout);
        qsizetype sent = 0;
        // One send may take only part of the text: go on until every byte is out.
        while (sent < text.size()) {
            if (call.ended()) {
                code = WSAEINTR;
                timedOut = call.timedOut;
                break;
            }
            const ssize_t n = ::send(fd, text.constData() + sent, size_t(text.size() - sent), MSG_NOSIGNAL);
            if (n >= 0) {
                sent += n;
                continue;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (call.waitFor(fd, QSocketNotifier::Write)) {
                    continue;
                }
                if (call.dead()) {
                    return;
                }
                code = WSAEINTR;
                timedOut = call.timedOut;
                break;
            }
            code = winsockCode(errno);
            break;
        }
    }
    if (code != 0) {
        failCall(fd, function, code, timedOut);
    }
}

QByteArray TSockets::GetText()
{
    const QString function = QStringLiteral("GetText (Recv)");
    if (d->fd == -1) {
        return {};
    }
    if (d->call) {
        ReportError(d->fd, function, WSAEINPROGRESS);
        return {};
    }
    if (!d->connected) {
        ReportError(d->fd, function, WSAENOTCONN);
        return {};
    }

    const int fd = d->fd;
    const int size = qMax(1, MaximumReceiveLength);
    QByteArray buffer(size, Qt::Uninitialized);
    int code = 0;
    bool timedOut = false;
    {
        Private::Call call(d, Timeout);
        // A server that sends without pause never makes a receive wait, so now and then it
        // waits anyway: with the data there the wait ends at once, the program's events run.
        bool wait = !d->served.isValid() || d->served.hasExpired(kServeEveryMs);
        for (;;) {
            // Past the session's end even a ready reply is not taken.
            if (call.ended()) {
                code = WSAEINTR;
                timedOut = call.timedOut;
                break;
            }
            if (wait && !call.waitFor(fd, QSocketNotifier::Read)) {
                if (call.dead()) {
                    return {};
                }
                code = WSAEINTR;
                timedOut = call.timedOut;
                break;
            }
            const ssize_t n = ::recv(fd, buffer.data(), size_t(size), 0);
            if (n >= 0) {
                buffer.truncate(n);
                return buffer;
            }
            wait = errno == EAGAIN || errno == EWOULDBLOCK;
            if (wait || errno == EINTR) {
                continue;
            }
            code = winsockCode(errno);
            break;
        }
    }
    failCall(fd, function, code, timedOut);
    return {};
}

void TSockets::Disconnect()
{
    d->sessionEnd = QDeadlineTimer(QDeadlineTimer::Forever);
    if (d->fd == -1) {
        // A host-name lookup waits before there is a socket.
        if (d->call) {
            d->call->cancel();
        }
        return;
    }
    const int fd = d->fd;
    // Marked closed first, so that a report made while closing cannot lead back here.
    d->fd = -1;
    d->connected = false;
    if (d->call) {
        d->call->cancel();
    }
    ::shutdown(fd, SHUT_RDWR);
    closeAtOnce(fd);
    if (::close(fd) != 0 && errno != EINTR) {
        ReportError(fd, QStringLiteral("Disconnect (closesocket)"), winsockCode(errno));
    }
}

int TSockets::sessionLimit() const
{
    if (SessionTimeout >= 0) {
        return SessionTimeout;
    }
    if (Timeout <= 0) {
        return 0;
    }
    // Ten calls' worth of the time-out, plus ten minutes so that a large message on a
    // slow line still arrives whole (4 MB at about 5 KB/s).
    return static_cast<int>(qMin<qint64>(qint64(Timeout) * 10 + 600, INT_MAX / 1000));
}

void TSockets::failCall(int socket, const QString& function, int code, bool timedOut)
{
    if (timedOut) {
        const std::shared_ptr<bool> alive = d->alive;
        if (OnErrorOccurred) {
            const TErrorOccurred handler = OnErrorOccurred;
            handler(this, socket, WSAETIMEDOUT, QStringLiteral("Blocking call timed out"));
        } else {
            showMessage(QStringLiteral("Error %1\r\nBlocking call timed out").arg(WSAETIMEDOUT),
                        QStringLiteral("WINSOCK CALL CANCELED"));
        }
        if (!*alive) {
            return;
        }
    }
    ReportError(socket, function, code);
}

void TSockets::ReportError(int socket, const QString& function, int code)
{
    const QString text = ErrorText(code);
    if (OnErrorOccurred) {
        const TErrorOccurred handler = OnErrorOccurred;
        handler(this, socket, code, text);
        return;
    }
    showMessage(QStringLiteral("Error %1 in function %2\r\n%3").arg(code).arg(function, text), kWinsockError);
    endProgram();
    // The program is ending: stop the running command as well.
    throw EAbort();
}

QString TSockets::ErrorText(int code)
{
    switch (code) {
    case 10004:
        return QStringLiteral("Interrupted system call");
    case 10009:
        return QStringLiteral("Bad file number");
    case 10013:
        return QStringLiteral("Permission denied");
    case 10014:
        return QStringLiteral("Bad address");
    case 10022:
        return QStringLiteral("Invalid argument");
    case 10024:
        return QStringLiteral("Too many open files");
    case 10035:
        return QStringLiteral("Operation would block");
    case 10036:
        return QStringLiteral("Operation now in progress");
    case 10037:
        return QStringLiteral("Operation already in progress");
    case 10038:
        return QStringLiteral("Socket operation on non-socket");
    case 10039:
        return QStringLiteral("Destination address required");
    case 10040:
        return QStringLiteral("Message too long");
    case 10041:
        return QStringLiteral("Protocol wrong type for socket");
    case 10042:
        return QStringLiteral("Protocol not available");
    case 10043:
        return QStringLiteral("Protocol not supported");
    case 10044:
        return QStringLiteral("Socket type not supported");
    case 10045:
        return QStringLiteral("Operation not supported on socket");
    case 10046:
        return QStringLiteral("Protocol family not supported");
    case 10047:
        return QStringLiteral("Address family not supported by protocol family");
    case 10048:
        return QStringLiteral("Address already in use");
    case 10049:
        return QStringLiteral("Can't assign requested address");
    case 10050:
        return QStringLiteral("Network is down");
    case 10051:
        return QStringLiteral("Network is unreachable");
    case 10052:
        return QStringLiteral("Network dropped connection on reset");
    case 10053:
        return QStringLiteral("Software caused connection abort");
    case 10054:
        return QStringLiteral("Connection reset by peer");
    case 10055:
        return QStringLiteral("No buffer space available");
    case 10056:
        return QStringLiteral("Socket is already connected");
    case 10057:
        return QStringLiteral("Socket is not connected");
    case 10058:
        return QStringLiteral("Can't send after socket shutdown");
    case 10059:
        return QStringLiteral("Too many references: can't splice");
    case 10060:
        return QStringLiteral("Connection timed out");
    case 10061:
        return QStringLiteral("Connection refused");
    case 10062:
        return QStringLiteral("Too many levels of symbolic links");
    case 10063:
        return QStringLiteral("File name too long");
    case 10064:
        return QStringLiteral("Host is down");
    case 10065:
        return QStringLiteral("No route to host");
    case 10066:
        return QStringLiteral("Directory not empty");
    case 10067:
        return QStringLiteral("Too many processes");
    case 10068:
        return QStringLiteral("Too many users");
    case 10069:
        return QStringLiteral("Disc quota exceeded");
    case 10070:
        return QStringLiteral("Stale NFS file handle");
    case 10071:
        return QStringLiteral("Too many levels of remote in path");
    case 10091:
        return QStringLiteral("Network sub-system is unusable");
    case 10092:
        return QStringLiteral("WinSock DLL cannot support this application");
    case 10093:
        return QStringLiteral("WinSock not initialized");
    case 11001:
        return QStringLiteral("Host not found");
    case 11002:
        return QStringLiteral("Non-authoritative host not found");
    case 11003:
        return QStringLiteral("Non-recoverable error");
    case 11004:
        return QStringLiteral("No Data");
    default:
        return QStringLiteral("Not a WinSock error");
    }
}
