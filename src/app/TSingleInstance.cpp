#include "app/TSingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray kRaise = QByteArrayLiteral("raise");
const QByteArray kDone = QByteArrayLiteral("ok\n");
// Long enough for a first copy that holds the lock but is still starting up.
constexpr int kAskMs = 5000;
constexpr int kMaxTokenLength = 512;

// A folder no other user can enter, let alone put a socket of their own into.
bool privateFolder(const QString& folder, uid_t uid)
{
    if (!folder.startsWith(QLatin1Char('/'))) {
        return false;
    }
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0) {
        return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 077) == 0;
}
// "raise" or "raise <token>", ending in a newline; a token that is unusable is dropped
// but the raise stands.
bool raiseRequest(const QByteArray& line, QString& token)
{
    if (!line.endsWith('\n')) {
        return false;
    }
    const QByteArray body = line.chopped(1);
    if (body == kRaise) {
        return true;
    }
    if (!body.startsWith(kRaise + ' ')) {
        return false;
    }
    const QString given = QString::fromLatin1(body.mid(kRaise.size() + 1));
    if (TSingleInstance::UsableToken(given)) {
        token = given;
    }
    return true;
}

} // namespace

bool TSingleInstance::UsableToken(const QString& token)
{
    if (token.isEmpty() || token.size() > kMaxTokenLength) {
        return false;
    }
    for (const QChar c : token) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f) {
            return false;
        }
    }
    return true;
}

TSingleInstance::TSingleInstance(const QString& settingsPath, QObject* parent)
    : QObject(parent), m_path(SocketPath(settingsPath)), m_peerUid(::geteuid()),
      m_token(qEnvironmentVariable("XDG_ACTIVATION_TOKEN")),
      m_lock(std::make_unique<QLockFile>(QFileInfo(settingsPath).absoluteFilePath() + QStringLiteral(".lock")))
{
    // Only a dead owner makes the lock stale, however long a copy runs.
    m_lock->setStaleLockTime(0);
    // Where the socket has to live in a shared folder, other users cannot even connect.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server.nextPendingConnection()) {
            // Another user's program learns nothing and raises nothing.
            if (!trusted(*peer)) {
                peer->abort();
                peer->deleteLater();
                continue;
            }
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                if (!peer->canReadLine()) {
                    return;
                }
                const QByteArray line = peer->readLine(kRaise.size() + kMaxTokenLength + 3);
                QString token;
                if (raiseRequest(line, token)) {
                    peer->write(kDone);
                    peer->flush();
                    // Answer first: raising may ask the console password in a loop of its own.
                    QTimer::singleShot(0, this, [this, token] {
                        if (OnRaise) {
                            OnRaise(token);
                        }
                    });
                }
                peer->disconnectFromServer();
            });
        }
    });
}

QString TSingleInstance::SocketPath(const QString& settingsPath, const QString& runtimeDir, uid_t uid)
{
    const QFileInfo info(settingsPath);
    const QString path = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    const QString name =
        QStringLiteral("Mailvane-") +
        QString::fromLatin1(QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
    const QString folder = privateFolder(runtimeDir, uid) ? runtimeDir : QFileInfo(path).absolutePath();
    return folder + QLatin1Char('/') + name;
}

QString TSingleInstance::SocketPath(const QString& settingsPath)
{
    return SocketPath(settingsPath, qEnvironmentVariable("XDG_RUNTIME_DIR"), ::geteuid());
}

bool TSingleInstance::trusted(const QLocalSocket& socket) const
{
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        size != sizeof peer) {
        return false;
    }
    return peer.uid == m_peerUid;
}

TSingleInstance::Result TSingleInstance::Claim()
{
    if (m_lock->tryLock(0)) {
        // A copy that died left its socket behind; the lock says it is gone.
        QLocalServer::removeServer(m_path);
        listen();
        return Result::First;
    }
    if (m_lock->error() == QLockFile::LockFailedError) {
        return askRunningCopy(kAskMs) ? Result::Raised : Result::NoAnswer;
    }
    // No lock file can be made beside the settings file: the socket alone decides.
    if (askRunningCopy(0)) {
        return Result::Raised;
    }
    listen();
    return Result::First;
}

bool TSingleInstance::listen()
{
    if (m_server.listen(m_path)) {
        return true;
    }
    QLocalServer::removeServer(m_path);
    if (m_server.listen(m_path)) {
        return true;
    }
    m_warning = QStringLiteral("Mailvane cannot listen on %1 (%2); later starts will not find this copy.")
                    .arg(m_path, m_server.errorString());
    return false;
}

bool TSingleInstance::askRunningCopy(int patienceMs)
{
    const QDeadlineTimer deadline(patienceMs);
    for (bool first = true; first || !deadline.hasExpired(); first = false) {
        QLocalSocket socket;
        socket.connectToServer(m_path);
        if (socket.waitForConnected(500)) {
            if (!trusted(socket)) {
                m_warning = QStringLiteral("Mailvane did not use %1: it is not this user's.").arg(m_path);
                return false;
            }
            socket.write(kRaise + (UsableToken(m_token) ? ' ' + m_token.toLatin1() : QByteArray()) + '\n');
            if (!socket.waitForBytesWritten(1000)) {
                return false;
            }
            while (!socket.canReadLine() && socket.waitForReadyRead(2000)) {
            }
            return socket.canReadLine() && socket.readLine() == kDone;
        }
        // The running copy may not listen yet.
        QThread::msleep(100);
    }
    return false;
}
