#include "settings/TIniFile.h"

#include "core/EWriteError.h"
#include "core/TFileWrite.h"
#include "core/TIntConvert.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const int kMaxValueLength = TIniFile::MaxValueLength;

enum class Kind { Blank, Comment, Section, Key, Other };

// One physical line: its text [start, contentEnd) and its own ending [contentEnd, end).
struct Line {
    int start;
    int contentEnd;
    int end;
    bool header; // first non-blank character is "["
};

// The same blanks as QByteArrayView::trimmed().
bool isBlank(char ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

struct Parsed {
    Kind kind = Kind::Blank;
    QByteArrayView name;
    QByteArrayView value;
};

} // namespace

// The file as it lies on disk, cut into lines; kept only by a snapshot.
struct TIniDocument {
    QByteArray data;
    std::vector<Line> lines;
    bool readable = true;

    QByteArrayView content(const Line& line) const
    {
        return QByteArrayView(data.constData() + line.start, line.contentEnd - line.start);
    }
};

namespace {

using Document = TIniDocument;

Document load(const QString& path)
{
    Document doc;
    QFile file(path);
    if (!file.exists()) {
        return doc;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        doc.readable = false;
        return doc;
    }
    doc.data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        doc.readable = false;
    }
    // Plain pointers: this loop runs over every line of the file on every operation.
    const char* base = doc.data.constData();
    const int size = static_cast<int>(doc.data.size());
    int pos = doc.data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    doc.lines.reserve(static_cast<size_t>(size / 24) + 1);
    while (pos < size) {
        const char* nl = static_cast<const char*>(std::memchr(base + pos, '\n', static_cast<size_t>(size - pos)));
        Line line;
        line.start = pos;
        if (!nl) {
            line.contentEnd = line.end = size;
        } else {
            line.end = static_cast<int>(nl - base) + 1;
            line.contentEnd = line.end - 1;
            if (line.contentEnd > pos && base[line.contentEnd - 1] == '\r') {
                --line.contentEnd;
            }
        }
        int i = pos;
        while (i < line.contentEnd && isBlank(base[i])) {
            ++i;
        }
        line.header = i < line.contentEnd && base[i] == '[';
        doc.lines.push_back(line);
        pos = line.end;
    }
    return doc;
}

Parsed parse(QByteArrayView text)
{
    Parsed p;
    const QByteArrayView t = text.trimmed();
    if (t.isEmpty()) {
        return p;
    }
    if (t.front() == ';') {
        p.kind = Kind::Comment;
        return p;
    }
    if (t.front() == '[') {
        // Up to the last "]", so a name holding "]" still finds its own header.
        const qsizetype close = t.lastIndexOf(']');
        p.kind = Kind::Section;
        p.name = (close > 0 ? t.sliced(1, close - 1) : t.sliced(1)).trimmed();
        return p;
    }
    const qsizetype eq = t.indexOf('=');
    if (eq < 0) {
        p.kind = Kind::Other;
        return p;
    }
    p.kind = Kind::Key;
    p.name = t.first(eq).trimmed();
    p.value = t.sliced(eq + 1).trimmed();
    if (p.value.size() >= 2 && p.value.front() == '"' && p.value.back() == '"') {
        p.value = p.value.sliced(1, p.value.size() - 2);
    }
    return p;
}

// QString::fromUtf8 drops a leading U+FEFF; inside the file it is part of a name or value.
// Stateless, so that a character cut off at the end reads as U+FFFD instead of vanishing.
QString decode(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

bool isAscii(QByteArrayView bytes)
{
    for (const char ch : bytes) {
        if (static_cast<unsigned char>(ch) >= 0x80) {
            return false;
        }
    }
    return true;
}

// A CR or LF inside a name or value would start a new line of the file.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// A name looked up in the file, matched without regard to letter case.
class Name {
public:
    explicit Name(const QString& name)
        : m_text(oneLine(name).trimmed()), m_utf8(m_text.toUtf8()), m_ascii(isAscii(m_utf8))
    {
    }

    bool matches(QByteArrayView bytes) const
    {
        // Plain ASCII names are the common case; skip decoding them.
        if (m_ascii && isAscii(bytes)) {
            return bytes.size() == m_utf8.size() &&
                   qstrnicmp(bytes.data(), bytes.size(), m_utf8.constData(), m_utf8.size()) == 0;
        }
        return decode(bytes).compare(m_text, Qt::CaseInsensitive) == 0;
    }

    const QByteArray& utf8() const { return m_utf8; }

private:
    QString m_text;
    QByteArray m_utf8;
    bool m_ascii;
};

// The first section of that name: index of its header and of the next header.
bool findSection(const Document& doc, const Name& section, size_t from, size_t& header, size_t& next)
{
    for (size_t i = from; i < doc.lines.size(); ++i) {
        if (!doc.lines[i].header) {
            continue;
        }
        if (section.matches(parse(doc.content(doc.lines[i])).name)) {
            header = i;
            next = i + 1;
            while (next < doc.lines.size() && !doc.lines[next].header) {
                ++next;
            }
            return true;
        }
    }
    return false;
}

bool findValue(const Document& doc, const QString& section, const QString& key, QByteArrayView& value)
{
    size_t header = 0;
    size_t next = 0;
    if (!findSection(doc, Name(section), 0, header, next)) {
        return false;
    }
    const Name name(key);
    for (size_t i = header + 1; i < next; ++i) {
        const Parsed p = parse(doc.content(doc.lines[i]));
        if (p.kind == Kind::Key && name.matches(p.name)) {
            value = p.value;
            return true;
        }
    }
    return false;
}

// The file's own line end, from its first line break. A file without LF whose text
// ends in CR has lost the LF of a CR LF; any other file without one gets LF.
QByteArray lineEnding(const Document& doc)
{
    for (const Line& line : doc.lines) {
        if (line.end > line.contentEnd) {
            return doc.data.mid(line.contentEnd, line.end - line.contentEnd);
        }
    }
    return doc.data.endsWith('\r') ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
}

// What ends a last line that has no line break: a CR already there is half of one.
QByteArray closingBreak(const QByteArray& text, const QByteArray& eol)
{
    return text.endsWith('\r') ? QByteArrayLiteral("\n") : eol;
}

std::function<void(TIniFile::WriteStep)>& writeStepHook()
{
    static std::function<void(TIniFile::WriteStep)> instance;
    return instance;
}

void reached(TIniFile::WriteStep step)
{
    if (writeStepHook()) {
        writeStepHook()(step);
    }
}

// The temporary file of one write: closed, and removed unless it took the file's place,
// however the write ends.
struct TempFile {
    QByteArray name;
    int fd = -1;
    bool placed = false;

    ~TempFile()
    {
        if (fd >= 0) {
            ::close(fd);
        }
        if (!placed) {
            ::unlink(name.constData());
        }
    }
};

// A rename is only lasting once the folder that holds the names is on the disk too.
bool syncFolder(const QString& file)
{
    const int dir =
        ::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return false;
    }
    // Some file systems cannot sync a folder at all and say so with EINVAL.
    const bool synced = ::fsync(dir) == 0 || errno == EINVAL;
    ::close(dir);
    return synced;
}

// A new file beside the old one, synced, then put in its place by one rename, and the
// folder synced: a crash at any step leaves the old file or the new one, complete. The
// temporary file has a fixed name, so one left by a crash goes at the next write; it
// holds scrambled passwords, so it is owner-only from its creation.
bool replaceFile(const QString& path, const QByteArray& data)
{
    QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    const QByteArray dest = QFile::encodeName(target);
    struct stat st {};
    // The owner's write bit, not access(): root may write anything, yet a file the user
    // made read-only must stay as it is.
    if (::stat(dest.constData(), &st) == 0 && (st.st_mode & S_IWUSR) == 0) {
        return false;
    }
    TempFile temp{dest + ".tmp"};
    ::unlink(temp.name.constData());
    temp.fd = ::open(temp.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (temp.fd < 0) {
        temp.placed = true; // not ours to remove
        return false;
    }
    // The umask may have taken the owner's write bit.
    if (::fchmod(temp.fd, S_IRUSR | S_IWUSR) != 0 || !WriteAllBytes(temp.fd, data)) {
        return false;
    }
    reached(TIniFile::WriteStep::TempWritten);
    if (::fsync(temp.fd) != 0) {
        return false;
    }
    const int closed = ::close(temp.fd);
    temp.fd = -1;
    if (closed != 0) {
        return false;
    }
    reached(TIniFile::WriteStep::TempSynced);
    if (::rename(temp.name.constData(), dest.constData()) != 0) {
        return false;
    }
    temp.placed = true;
    reached(TIniFile::WriteStep::Renamed);
    if (!syncFolder(target)) {
        return false;
    }
    reached(TIniFile::WriteStep::FolderSynced);
    return true;
}

} // namespace

void TIniFile::SetWriteStepHook(std::function<void(WriteStep)> hook)
{
    writeStepHook() = std::move(hook);
}

TIniFile::TIniFile(QString path) : m_path(std::move(path)) {}

static QString storedValue(QByteArrayView bytes)
{
    QString value = decode(bytes);
    if (value.size() > kMaxValueLength) {
        value.truncate(kMaxValueLength);
        // Do not leave half of a surrogate pair behind.
        if (value.back().isHighSurrogate()) {
            value.chop(1);
        }
    }
    return value;
}

TIniFile TIniFile::Snapshot() const
{
    TIniFile snapshot(m_path);
    snapshot.m_snapshot = std::make_shared<const Document>(load(m_path));
    return snapshot;
}

std::shared_ptr<const TIniDocument> TIniFile::current() const
{
    return m_snapshot ? m_snapshot : std::make_shared<const Document>(load(m_path));
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const std::shared_ptr<const Document> current = this->current();
    const Document& doc = *current;
    QByteArrayView bytes;
    if (!findValue(doc, section, key, bytes)) {
        return def;
    }
    return storedValue(bytes);
}

QList<QPair<QString, QString>> TIniFile::ReadSection(const QString& section) const
{
    QList<QPair<QString, QString>> entries;
    const std::shared_ptr<const Document> current = this->current();
    const Document& doc = *current;
    size_t header = 0;
    size_t next = 0;
    if (!findSection(doc, Name(section), 0, header, next)) {
        return entries;
    }
    for (size_t i = header + 1; i < next; ++i) {
        const Parsed p = parse(doc.content(doc.lines[i]));
        if (p.kind == Kind::Key) {
            entries.append({decode(p.name), storedValue(p.value)});
        }
    }
    return entries;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    int value = 0;
    return TIntConvert::TryParse(ReadString(section, key, QString()), value) ? value : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const QString& section) const
{
    const std::shared_ptr<const Document> current = this->current();
    const Document& doc = *current;
    size_t header = 0;
    size_t next = 0;
    return findSection(doc, Name(section), 0, header, next);
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    m_snapshot.reset();
    const Name sectionName(section);
    const Name keyName(key);
    const QByteArray entry = keyName.utf8() + '=' + oneLine(value).toUtf8();

    const Document doc = load(m_path);
    if (!doc.readable) {
        // Writing now would replace a file we could not read with a single key.
        throw EWriteError(QFileInfo(m_path).absoluteFilePath());
    }
    QByteArray out;
    size_t header = 0;
    size_t next = 0;
    if (findSection(doc, sectionName, 0, header, next)) {
        size_t last = header;
        for (size_t i = header + 1; i < next; ++i) {
            const Line& line = doc.lines[i];
            const Parsed p = parse(doc.content(line));
            if (p.kind != Kind::Key) {
                continue;
            }
            if (keyName.matches(p.name)) {
                out = doc.data;
                out.replace(line.start, line.contentEnd - line.start, entry);
                break;
            }
            last = i;
        }
        if (out.isNull()) {
            // After the section's last key, ahead of the blank lines that part it from the next.
            const Line& after = doc.lines[last];
            out = doc.data;
            if (after.end > after.contentEnd) {
                out.insert(after.end, entry + doc.data.mid(after.contentEnd, after.end - after.contentEnd));
            } else {
                out.insert(after.end, closingBreak(doc.data, lineEnding(doc)) + entry);
            }
        }
    } else {
        const QByteArray eol = lineEnding(doc);
        out = doc.data;
        if (!doc.lines.empty() && doc.lines.back().end == doc.lines.back().contentEnd) {
            out += closingBreak(doc.data, eol);
        }
        out += '[' + sectionName.utf8() + ']' + eol + entry + eol;
    }
    if (!replaceFile(m_path, out)) {
        throw EWriteError(QFileInfo(m_path).absoluteFilePath());
    }
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::DeleteKey(const QString& section, const QString& key)
{
    m_snapshot.reset();
    const Name sectionName(section);
    const Name keyName(key);
    const Document doc = load(m_path);
    if (!doc.readable) {
        throw EWriteError(QFileInfo(m_path).absoluteFilePath());
    }
    size_t header = 0;
    size_t next = 0;
    if (!findSection(doc, sectionName, 0, header, next)) {
        return;
    }
    // Every line of the key goes, so that no older copy reads back in its place.
    QByteArray out;
    int copied = 0;
    for (size_t i = header + 1; i < next; ++i) {
        const Line& line = doc.lines[i];
        const Parsed p = parse(doc.content(line));
        if (p.kind == Kind::Key && keyName.matches(p.name)) {
            out += doc.data.mid(copied, line.start - copied);
            copied = line.end;
        }
    }
    if (copied == 0) {
        return;
    }
    out += doc.data.mid(copied);
    if (!replaceFile(m_path, out)) {
        throw EWriteError(QFileInfo(m_path).absoluteFilePath());
    }
}

void TIniFile::EraseSection(const QString& section)
{
    replaceSection(section, nullptr);
}

void TIniFile::WriteSection(const QString& section, const QList<QPair<QString, QString>>& entries)
{
    replaceSection(section, &entries);
}

void TIniFile::replaceSection(const QString& section, const QList<QPair<QString, QString>>* entries)
{
    m_snapshot.reset();
    const Name sectionName(section);
    const Document doc = load(m_path);
    if (!doc.readable) {
        throw EWriteError(QFileInfo(m_path).absoluteFilePath());
    }
    // Every section of that name goes, so nothing of it is read back afterwards.
    QByteArray out;
    int copied = 0;
    size_t from = 0;
    size_t header = 0;
    size_t next = 0;
    while (findSection(doc, sectionName, from, header, next)) {
        const int cut = doc.lines[header].start;
        const int resume = next < doc.lines.size() ? doc.lines[next].start : doc.data.size();
        out += doc.data.mid(copied, cut - copied);
        copied = resume;
        from = next;
    }
    if (from == 0 && !entries) {
        return;
    }
    out += doc.data.mid(copied);
    if (entries && !entries->isEmpty()) {
        // Appended at the end, as writing each key into a missing section would.
        const QByteArray eol = lineEnding(doc);
        if (!out.isEmpty() && !out.endsWith('\n')) {
            out += closingBreak(out, eol);
        }
        out += '[' + sectionName.utf8() + ']' + eol;
        for (const auto& entry : *entries) {
            out += Name(entry.first).utf8() + '=' + oneLine(entry.second).toUtf8() + eol;
        }
    } else if (from == 0) {
        return;
    }
    if (!replaceFile(m_path, out)) {
        throw EWriteError(QFileInfo(m_path).absoluteFilePath());
    }
}

QString TIniFile::DefaultPath()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() + QStringLiteral("/Mailvane.ini");
}
