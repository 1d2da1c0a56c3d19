#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class TSeenIds;

// Where a mailbox's session keeps what it learnt between checks: the seen-ID list (a
// section of the settings file, as it always was) and the header cache (a file of its own
// beside it). Sessions load and store through this, never through the settings file.
class TMailboxFiles {
public:
    TMailboxFiles(QString settingsPath, QString mailbox)
        : m_settingsPath(std::move(settingsPath)), m_mailbox(std::move(mailbox))
    {
    }

    // pump runs between reads and writes so that a long list does not freeze the program.
    // A settings file with the bytes of this mailbox's last load gives that list again.
    void LoadSeen(TSeenIds& seen, const std::function<void()>& pump) const;
    // A list equal to loaded, the one LoadSeen gave, is not written again: the write is synced.
    void StoreSeen(const QList<QByteArray>& ids, const TSeenIds& loaded, const std::function<void()>& pump) const;
    // The header cache's file for the account identified by key.
    QString CachePath(const QByteArray& key) const;
    // Removes the cache files of mailboxes deleted or moved since, keeping keep.
    void PruneCaches(const QString& keep) const;

private:
    QString m_settingsPath;
    QString m_mailbox;
};
