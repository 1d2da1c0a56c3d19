#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct TIniDocument;

// The settings file, with the rules of the Windows private-profile service:
// section and key names match without regard to letter case, blanks around names
// and values are dropped on reading, a value in matching double quotes reads
// without them, ";" lines are comments. A write replaces the key's first line in
// place, or appends it at the end of its section, or appends the section at the
// end of the file; every line a write does not touch stays byte for byte.
// Nothing is cached between operations unless asked for with Snapshot(): each write
// reaches the disk at once, atomically (new file, then rename), with owner-only
// permissions.
class TIniFile {
public:
    explicit TIniFile(QString path);

    const QString& FileName() const { return m_path; }
    // A reader of the file as it is now, read once: values read together (an account's
    // keys) come from one version of the file, however it changes meanwhile. Writes go
    // to the disk as always and end the snapshot.
    TIniFile Snapshot() const;

    // The most characters a value reads back with.
    static constexpr int MaxValueLength = 1023;

    // At most MaxValueLength characters; a missing key gives the default.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Integer rule; a value that does not convert gives the default.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    bool SectionExists(const QString& section) const;
    // Every key line of the section in file order, values as ReadString gives them.
    QList<QPair<QString, QString>> ReadSection(const QString& section) const;

    // Throw EWriteError("Unable to write to <path>") when the file cannot be written.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);
    // Removes every line of the key from the section; nothing else changes.
    void DeleteKey(const QString& section, const QString& key);
    void EraseSection(const QString& section);
    // EraseSection followed by writing each key in order, in one step on the disk.
    void WriteSection(const QString& section, const QList<QPair<QString, QString>>& entries);

    // The settings file beside the running executable.
    static QString DefaultPath();

    // The steps of replacing the file on disk, in order. A test hook called after each
    // step may throw to interrupt the write there; an empty function removes it.
    enum class WriteStep { TempWritten, TempSynced, Renamed, FolderSynced };
    static void SetWriteStepHook(std::function<void(WriteStep)> hook);

private:
    void replaceSection(const QString& section, const QList<QPair<QString, QString>>* entries);

    // The file's content for Snapshot()'s reads; null when each read goes to the disk.
    std::shared_ptr<const TIniDocument> current() const;

    QString m_path;
    std::shared_ptr<const TIniDocument> m_snapshot;
};
