#include "mailbox/TMailboxFiles.h"

#include "mailbox/TSeenIds.h"
#include "mailbox/TUidlCache.h"
#include "settings/TIniFile.h"

void TMailboxFiles::LoadSeen(TSeenIds& seen, const std::function<void()>& pump) const
{
    seen.Load(TIniFile(m_settingsPath), m_mailbox, pump);
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
