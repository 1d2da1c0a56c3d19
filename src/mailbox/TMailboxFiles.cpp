#include "mailbox/TMailboxFiles.h"

#include "mailbox/TSeenIds.h"
#include "mailbox/TUidlCache.h"
#include "settings/TIniFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QMutex>

namespace {

// A digest of the settings file at the last load of a mailbox's seen list, with the list it
// gave: a check that finds the same file skips reading its sections again. A digest, not a
// copy: the file holds the mailboxes' passwords.
struct TLoadedSeen {
    QByteArray Digest;
    TSeenIds Seen;
};

QMutex& loadedLock()
{
    static QMutex lock;
    return lock;
}

QHash<QPair<QString, QString>, TLoadedSeen>& loadedSeen()
{
    static QHash<QPair<QString, QString>, TLoadedSeen> loaded;
    return loaded;
}

QByteArray fileDigest(const QString& path, bool& readable)
{
    QFile file(path);
    readable = file.open(QIODevice::ReadOnly);
    return readable ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

} // namespace

void TMailboxFiles::LoadSeen(TSeenIds& seen, const std::function<void()>& pump) const
{
    const QPair<QString, QString> id(m_settingsPath, m_mailbox);
    bool readable = false;
    const QByteArray before = fileDigest(m_settingsPath, readable);
    if (readable) {
        const QMutexLocker locker(&loadedLock());
        const auto known = loadedSeen().constFind(id);
        if (known != loadedSeen().cend() && known->Digest == before) {
            seen = known->Seen;
            return;
        }
    }
    seen.Load(TIniFile(m_settingsPath), m_mailbox, pump);
    // Kept only when the file did not change while it was read.
    bool readableAfter = false;
    const QByteArray after = fileDigest(m_settingsPath, readableAfter);
    const QMutexLocker locker(&loadedLock());
    if (readable && readableAfter && before == after) {
        loadedSeen().insert(id, {before, seen});
    } else {
        loadedSeen().remove(id);
    }
}

void TMailboxFiles::StoreSeen(const QList<QByteArray>& ids, const TSeenIds& loaded,
                              const std::function<void()>& pump) const
{
    if (ids == loaded.Ids()) {
        return;
    }
    TIniFile ini(m_settingsPath);
    TSeenIds::Store(ini, m_mailbox, ids, pump);
}

QString TMailboxFiles::CachePath(const QByteArray& key) const
{
    return TUidlCache::PathFor(m_settingsPath, key);
}

void TMailboxFiles::PruneCaches(const QString& keep) const
{
    TUidlCache::PruneInBackground(m_settingsPath, keep);
}
