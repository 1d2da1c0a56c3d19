#include "mailbox/TUidlCache.h"

#include "core/TFileWrite.h"
#include "mailbox/TCharset.h"
#include "mailbox/THeaderExtract.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TMimeMessage.h"
#include "settings/TIniFile.h"
#include "settings/TSetting.h"
#include "settings/TSettingsKeys.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QThreadPool>

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Files of an earlier layout read as foreign and are rebuilt.
const QByteArray kMagic = "MailvaneUidlCache 2";

QByteArray digest(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex();
}

QByteArray encoded(const QByteArray& bytes)
{
    // Never empty, so that a field cannot vanish between two separators.
    return "=" + bytes.toPercentEncoding();
}

bool decoded(const QByteArray& field, QByteArray& out)
{
    if (!field.startsWith('=')) {
        return false;
    }
    const QByteArray body = field.mid(1);
    // Only what encoded() writes: unreserved bytes and well-formed escapes.
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body.at(i);
        if (c == '%') {
            if (i + 2 >= body.size()) {
                return false;
            }
            if (!isxdigit(static_cast<unsigned char>(body.at(i + 1))) ||
                !isxdigit(static_cast<unsigned char>(body.at(i + 2)))) {
                return false;
            }
            i += 2;
        } else if (!(isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~')) {
            return false;
        }
    }
    out = QByteArray::fromPercentEncoding(body);
    return true;
}

bool decodedText(const QByteArray& field, QString& out)
{
    QByteArray bytes;
    if (!decoded(field, bytes)) {
        return false;
    }
    out = QString::fromUtf8(bytes);
    return out.toUtf8() == bytes;
}

// One thread: saves of the same file happen in the order they were asked for. The pool
// waits for its saves when it is destroyed at the program's end.
class TSavePool : public QThreadPool {
public:
    TSavePool() { setMaxThreadCount(1); }
};

QThreadPool& savePool()
{
    static TSavePool pool;
    return pool;
}

// The last text read or written for each cache file, with what it parsed to: a check
// whose file holds the same bytes skips the parse. Saves run on the save thread.
struct TParsedFile {
    QByteArray Key;
    QByteArray Text;
    TUidlCache Cache;
    bool Valid = false;
};

QMutex& parsedLock()
{
    static QMutex lock;
    return lock;
}

QHash<QString, TParsedFile>& parsedFiles()
{
    static QHash<QString, TParsedFile> files;
    return files;
}

void rememberParsed(const QString& path, const QByteArray& key, const QByteArray& text, const TUidlCache& cache,
                    bool valid)
{
    const QMutexLocker locker(&parsedLock());
    parsedFiles().insert(path, {key, text, cache, valid});
}

} // namespace

QByteArray TUidlCache::Key(const QString& mailbox, const QString& host, const QString& login)
{
    return mailbox.toUtf8() + '\n' + host.toUtf8() + '\n' + login.toUtf8();
}

QString TUidlCache::PathFor(const QString& settingsPath, const QByteArray& key)
{
    const QFileInfo ini(settingsPath);
    const QByteArray name = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(32);
    return ini.absolutePath() + QLatin1Char('/') + ini.completeBaseName() + QStringLiteral(".cache/") +
           QString::fromLatin1(name) + QStringLiteral(".uidl");
}

bool TUidlCache::ValidUid(const QByteArray& uid)
{
    if (uid.isEmpty() || uid.size() > MaxUidLength) {
        return false;
    }
    for (const char c : uid) {
        if (c < 0x21 || c > 0x7e) {
            return false;
        }
    }
    return true;
}

bool TUidlCache::UidLine(const QByteArray& line, int& number, QByteArray& uid)
{
    QByteArray text = line;
    if (text.endsWith("\r\n")) {
        text.chop(2);
    }
    const QList<QByteArray> words = text.split(' ');
    if (words.size() != 2 || words.at(0).isEmpty() || words.at(0).size() > 9) {
        return false;
    }
    for (const char c : words.at(0)) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    number = words.at(0).toInt();
    uid = words.at(1);
    return number > 0 && ValidUid(uid);
}

bool TUidlCache::UidList(const QByteArray& reply, int maxNumber, QHash<int, QByteArray>& uids)
{
    uids.clear();
    if (!reply.startsWith('+')) {
        return false;
    }
    QHash<QByteArray, int> seen;
    QSet<int> twice;
    const QList<QByteArray> lines = reply.split('\n');
    // The first line is the status line; the listing ends at the terminating ".".
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line == ".") {
            break;
        }
        int n = 0;
        QByteArray uid;
        if (!UidLine(line, n, uid) || n > maxNumber) {
            continue;
        }
        if (uids.contains(n)) {
            twice.insert(n);
            continue;
        }
        const auto other = seen.constFind(uid);
        if (other != seen.constEnd()) {
            twice.insert(n);
            twice.insert(other.value());
            continue;
        }
        seen.insert(uid, n);
        uids.insert(n, uid);
    }
    for (const int n : std::as_const(twice)) {
        uids.remove(n);
    }
    return true;
}

void TUidlCache::Clear()
{
    m_index.clear();
    m_entries.clear();
    m_order.clear();
}

void TUidlCache::Insert(const QByteArray& uid, const TUidlEntry& entry)
{
    if (!ValidUid(uid) || m_index.contains(uid)) {
        return;
    }
    // A text that UTF-8 cannot carry (a lone surrogate) would come back changed.
    for (const QString* text : {&entry.Date, &entry.From, &entry.Subject, &entry.RawFrom, &entry.RawSubject}) {
        if (!text->isValidUtf16()) {
            return;
        }
    }
    m_index.insert(uid, m_order.size());
    m_entries.append(entry);
    m_order.append(uid);
}

const TUidlEntry* TUidlCache::Find(const QByteArray& uid) const
{
    const qsizetype at = IndexOf(uid);
    return at < 0 ? nullptr : &m_entries.at(at);
}

qsizetype TUidlCache::IndexOf(const QByteArray& uid) const
{
    const auto it = m_index.constFind(uid);
    return it == m_index.constEnd() ? -1 : it.value();
}

QByteArray TUidlCache::Serialize(const QByteArray& key) const
{
    QByteArray text = kMagic + '\n' + "K " + encoded(key) + '\n';
    for (qsizetype i = 0; i < m_order.size(); ++i) {
        const QByteArray& uid = m_order.at(i);
        const TUidlEntry& e = m_entries.at(i);
        text += "E " + encoded(uid) + ' ' + encoded(e.Size) + ' ' + encoded(e.Date.toUtf8()) + ' ' +
                encoded(e.From.toUtf8()) + ' ' + encoded(e.Subject.toUtf8()) + ' ' + encoded(e.RawFrom.toUtf8()) + ' ' +
                encoded(e.RawSubject.toUtf8()) + ' ' + encoded(e.Id) + '\n';
    }
    return text + "S " + digest(text) + '\n';
}

bool TUidlCache::Parse(const QByteArray& text, const QByteArray& key)
{
    Clear();
    // The digest line closes the file: a file cut anywhere, or changed, fails it.
    const qsizetype last = text.lastIndexOf("S ", text.size() - 1);
    if (!text.endsWith('\n') || last < 0 || (last > 0 && text.at(last - 1) != '\n')) {
        return false;
    }
    const QByteArray body = text.left(last);
    if (text.mid(last) != "S " + digest(body) + '\n') {
        return false;
    }
    QList<QByteArray> lines = body.split('\n');
    lines.removeLast(); // after the body's final line end
    if (lines.size() < 2 || lines.at(0) != kMagic || lines.at(1) != "K " + encoded(key)) {
        return false;
    }
    Reserve(lines.size() - 2);
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(' ');
        TUidlEntry e;
        QByteArray uid;
        if (fields.size() != 9 || fields.at(0) != "E" || !decoded(fields.at(1), uid) || !ValidUid(uid) ||
            !decoded(fields.at(2), e.Size) || !decodedText(fields.at(3), e.Date) ||
            !decodedText(fields.at(4), e.From) || !decodedText(fields.at(5), e.Subject) ||
            !decodedText(fields.at(6), e.RawFrom) || !decodedText(fields.at(7), e.RawSubject) ||
            !decoded(fields.at(8), e.Id) || m_index.contains(uid)) {
            Clear();
            return false;
        }
        // Every check Insert makes was made above.
        m_index.insert(uid, m_order.size());
        m_entries.append(e);
        m_order.append(uid);
    }
    return true;
}

void TUidlCache::SaveInBackground(const QString& path, const QByteArray& key) const
{
    const TUidlCache copy = *this;
    savePool().start([copy, path, key] { copy.Save(path, key); });
}

void TUidlCache::WaitForSaves()
{
    savePool().waitForDone();
}

void TUidlCache::PruneInBackground(const QString& settingsPath, const QString& keptPath)
{
    savePool().start([settingsPath, keptPath] { Prune(settingsPath, keptPath); });
}

void TUidlCache::Prune(const QString& settingsPath, const QString& keptPath)
{
    const TIniFile ini = TIniFile(settingsPath).Snapshot();
    QSet<QString> kept = {QFileInfo(keptPath).fileName()};
    for (int k = 0; k < TSettingsKeys::ServerLines; ++k) {
        const QString name = TSetting(TSettingsKeys::ServerLine).Numbered(k).ReadString(ini);
        if (!name.isEmpty()) {
            const QByteArray key = Key(name, TSetting(TSettingsKeys::MailboxHost, name).ReadString(ini),
                                       TSetting(TSettingsKeys::MailboxLogin, name).ReadString(ini));
            kept.insert(QFileInfo(PathFor(settingsPath, key)).fileName());
        }
    }
    const QString folder = QFileInfo(PathFor(settingsPath, QByteArray())).absolutePath();
    QDir dir(folder);
    // Only names this class writes: anything else in the folder is not ours to remove.
    static const QRegularExpression ours(QStringLiteral("^[0-9a-f]{32}\\.uidl$"));
    for (const QString& file : dir.entryList({QStringLiteral("*.uidl")}, QDir::Files | QDir::Hidden)) {
        if (ours.match(file).hasMatch() && !kept.contains(file)) {
            dir.remove(file);
        }
    }
}

bool TUidlCache::Load(const QString& path, const QByteArray& key)
{
    WaitForSaves();
    Clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize) {
        return false;
    }
    // Not read(MaxFileSize + 1): that reserves the whole limit for every load.
    const QByteArray text = file.readAll();
    if (text.size() > MaxFileSize) {
        return false;
    }
    {
        const QMutexLocker locker(&parsedLock());
        const auto known = parsedFiles().constFind(path);
        if (known != parsedFiles().cend() && known->Key == key && known->Text == text) {
            *this = known->Cache;
            return known->Valid;
        }
    }
    const bool valid = Parse(text, key);
    rememberParsed(path, key, text, *this, valid);
    return valid;
}

bool TUidlCache::Save(const QString& path, const QByteArray& key) const
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return false;
    }
    // The headers are private mail: the folder is the owner's alone.
    const QByteArray folderName = QFile::encodeName(folder);
    ::chmod(folderName.constData(), S_IRWXU);
    const QByteArray dest = QFile::encodeName(path);
    const QByteArray temp = dest + ".tmp";
    ::unlink(temp.constData());
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        return false;
    }
    const QByteArray text = Serialize(key);
    const bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && WriteAllBytes(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.constData(), dest.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    const int dir = ::open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    // Parsed from the bytes written, off the check's thread: the next Load of them is free.
    TUidlCache parsed;
    const bool valid = parsed.Parse(text, key);
    rememberParsed(path, key, text, parsed, valid);
    return true;
}

TUidlEntry TUidlEntry::FromHeader(const QByteArray& header, const QByteArray& size)
{
    TUidlEntry entry;
    entry.Size = size;
    entry.Date = TCharset::HeaderText(THeaderExtract::Value(header, "DATE"), header);
    entry.RawFrom = TCharset::HeaderText(THeaderExtract::Value(header, "FROM"), header);
    entry.RawSubject = TCharset::HeaderText(THeaderExtract::Value(header, "SUBJECT"), header);
    entry.From = TMimeMessage::AddressText(TMimeMessage::HeaderValue(header, "From"), header);
    entry.Subject = TMimeMessage::HeaderText(TMimeMessage::HeaderValue(header, "Subject"), header);
    entry.Id = THeaderExtract::MessageId(header, size);
    return entry;
}

void TUidlEntry::Fill(TMailRow& row) const
{
    row.Date = Date;
    row.From = From;
    row.Subject = Subject;
    row.RawFrom = RawFrom;
    row.RawSubject = RawSubject;
    row.Id = Id;
}
