#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include <sys/types.h>

class QLocalSocket;

// One running copy per settings file. The first start holds a lock file beside the
// settings file and listens on a local socket in the user's private runtime folder (or
// beside the settings file); a later start asks it to come to the front and ends. Either
// side talks only to a peer running as the same user.
class TSingleInstance : public QObject {
public:
    explicit TSingleInstance(const QString& settingsPath, QObject* parent = nullptr);

    enum class Result { First, Raised, NoAnswer };
    Result Claim();

    // Called in the first copy for every later start, with the activation token the
    // later start was given by the desktop (empty when none or unusable).
    std::function<void(const QString& activationToken)> OnRaise;

    // The token this start hands to a running copy; from XDG_ACTIVATION_TOKEN by default.
    void SetActivationToken(const QString& token) { m_token = token; }
    // A token travels in one line: printable ASCII without blanks, of sensible length.
    static bool UsableToken(const QString& token);

    // What went wrong with the socket during Claim, for standard error; empty when nothing.
    QString Warning() const { return m_warning; }

    // The socket's absolute path: in runtimeDir ($XDG_RUNTIME_DIR) when that is a folder
    // owned by uid that no one else may enter, otherwise in the settings file's folder.
    static QString SocketPath(const QString& settingsPath, const QString& runtimeDir, uid_t uid);
    // The same for this process: its XDG_RUNTIME_DIR and effective user id.
    static QString SocketPath(const QString& settingsPath);

    // The user id a peer must run as; this process's by default. Tests set another.
    void SetPeerUid(uid_t uid) { m_peerUid = uid; }

private:
    // Sends the raise request, trying for up to patienceMs; true once it was answered.
    bool askRunningCopy(int patienceMs);
    bool listen();
    bool trusted(const QLocalSocket& socket) const;

    QString m_path;
    uid_t m_peerUid;
    QString m_warning;
    QString m_token;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
