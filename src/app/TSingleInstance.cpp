#include "app/TSingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

namespace {
const QByteArray kRaise = QByteArrayLiteral("raise\n");
const QByteArray kDone = QByteArrayLiteral("ok\n");
// Long enough for a first copy that holds the lock but is still starting up.
constexpr int kAskMs = 5000;
} // namespace

TSingleInstance::TSingleInstance(const QString& settingsPath, QObject* parent)
    : QObject(parent), m_name(ServerName(settingsPath)),
      m_lock(std::make_unique<QLockFile>(QFileInfo(settingsPath).absoluteFilePath() + QStringLiteral(".lock")))
{
    // Only a dead owner makes the lock stale, however long a copy runs.
    m_lock->setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                if (!peer->canReadLine()) {
                    return;
                }
                if (peer->readLine() == kRaise) {
                    peer->write(kDone);
                    peer->flush();
                    // Answer first: raising may ask the console password in a loop of its own.
                    QTimer::singleShot(0, this, [this] {
                        if (OnRaise) {
                            OnRaise();
                        }
                    });
                }
                peer->disconnectFromServer();
            });
        }
    });
}

QString TSingleInstance::ServerName(const QString& settingsPath)
{
    const QFileInfo info(settingsPath);
    const QString path = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    return QStringLiteral("Mailvane-") +
           QString::fromLatin1(QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
}

TSingleInstance::Result TSingleInstance::Claim()
{
    if (m_lock->tryLock(0)) {
        // A copy that died left its socket behind; the lock says it is gone.
        QLocalServer::removeServer(m_name);
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
    if (m_server.listen(m_name)) {
        return true;
    }
    QLocalServer::removeServer(m_name);
    return m_server.listen(m_name);
}

bool TSingleInstance::askRunningCopy(int patienceMs)
{
    const QDeadlineTimer deadline(patienceMs);
    for (bool first = true; first || !deadline.hasExpired(); first = false) {
        QLocalSocket socket;
        socket.connectToServer(m_name);
        if (socket.waitForConnected(500)) {
            socket.write(kRaise);
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
