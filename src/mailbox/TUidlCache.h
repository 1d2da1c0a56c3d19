#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

struct TMailRow;

// What a listing learnt of one message: enough to show its row and know it again
// without fetching its headers.
struct TUidlEntry {
    QByteArray Size;
    QString Date;
    // As shown (encoded words decoded) and as received, which keyword rules also match.
    QString From;
    QString Subject;
    QString RawFrom;
    QString RawSubject;
    QByteArray Id;

    // The entry of a message of this size whose header (a TOP-style reply) is given, decoded
    // as rows show it.
    static TUidlEntry FromHeader(const QByteArray& header, const QByteArray& size);
    // Shows the entry's texts and identifier in row.
    void Fill(TMailRow& row) const;

    bool operator==(const TUidlEntry& other) const
    {
        return Size == other.Size && Date == other.Date && From == other.From && Subject == other.Subject &&
               RawFrom == other.RawFrom && RawSubject == other.RawSubject && Id == other.Id;
    }
};

// A mailbox's headers by the server's unique-id (UIDL), kept in a file of its own beside
// the settings file. The file names its mailbox, server and login and carries a digest of
// its text: a missing, cut, edited or foreign file reads as empty and is written anew.
class TUidlCache {
public:
    // The longest unique-id a server may give; longer ones are not cached.
    static constexpr int MaxUidLength = 70;
    // A larger file is not read.
    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

    // Who the entries belong to: mailbox name, server and login together.
    static QByteArray Key(const QString& mailbox, const QString& host, const QString& login);
    // "<folder of settings>/<settings base name>.cache/<hash of key>.uidl"
    static QString PathFor(const QString& settingsPath, const QByteArray& key);
    // Printable ASCII without spaces, 1 to MaxUidLength bytes.
    static bool ValidUid(const QByteArray& uid);
    // "n uid" of a UIDL listing line or of a one-message reply's text, CR LF optional.
    static bool UidLine(const QByteArray& line, int& number, QByteArray& uid);
    // The unique-ids of a UIDL reply by message number (1 to maxNumber). A number or a
    // unique-id given twice is left out altogether; false for a refusal.
    static bool UidList(const QByteArray& reply, int maxNumber, QHash<int, QByteArray>& uids);

    // Reads the file's text; false (and no entries) for anything that is not a whole
    // file written for key.
    bool Parse(const QByteArray& text, const QByteArray& key);
    QByteArray Serialize(const QByteArray& key) const;

    // Missing or unreadable files leave the cache empty. Bytes equal to those of the file's
    // last load or save are not parsed again.
    bool Load(const QString& path, const QByteArray& key);
    // Owner-only file in an owner-only folder, replaced in one rename after a sync.
    bool Save(const QString& path, const QByteArray& key) const;
    // Save on a thread of its own, after every save asked for before: a large cache costs
    // the program no pause. Load waits for these saves, and so does the program's end.
    void SaveInBackground(const QString& path, const QByteArray& key) const;
    static void WaitForSaves();
    // Removes, after the saves asked for before, the cache files that no mailbox of the
    // settings file can use any more (mailboxes deleted, or whose server or login changed),
    // keeping the file at keptPath whatever the settings say.
    static void PruneInBackground(const QString& settingsPath, const QString& keptPath);
    static void Prune(const QString& settingsPath, const QString& keptPath);

    // Keeps the first entry given for a unique-id; an entry whose texts would not read
    // back unchanged is left out.
    void Insert(const QByteArray& uid, const TUidlEntry& entry);
    const TUidlEntry* Find(const QByteArray& uid) const;
    int Count() const { return int(m_order.size()); }
    void Reserve(qsizetype count)
    {
        m_index.reserve(count);
        m_entries.reserve(count);
        m_order.reserve(count);
    }
    const QList<QByteArray>& Uids() const { return m_order; }
    // The position of uid in Uids(), -1 when it is not kept; the entry at a position.
    qsizetype IndexOf(const QByteArray& uid) const;
    const TUidlEntry& EntryAt(qsizetype index) const { return m_entries.at(index); }
    void Clear();

    bool operator==(const TUidlCache& other) const { return m_order == other.m_order && m_entries == other.m_entries; }
    bool operator!=(const TUidlCache& other) const { return !(*this == other); }

private:
    // Entries in the order of their unique-ids, and where each unique-id is.
    QHash<QByteArray, qsizetype> m_index;
    QList<TUidlEntry> m_entries;
    QList<QByteArray> m_order;
};
