#pragma once

// Helpers shared by the fuzz targets: the property check, input slicing, a scratch
// settings file, the settings file's documented normalisation and reference encoders.

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property that does not hold aborts, so libFuzzer saves the input and a replay fails.
#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                          \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace fuzz {

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Takes bytes from the front of the input; past the end it yields zeros.
class Reader {
public:
    explicit Reader(QByteArray data) : m_data(std::move(data)) {}
    quint8 byte() { return m_pos < m_data.size() ? static_cast<quint8>(m_data.at(m_pos++)) : 0; }
    QByteArray take(qsizetype n)
    {
        const QByteArray out = m_data.mid(m_pos, n);
        m_pos += out.size();
        return out;
    }
    QByteArray rest() { return take(m_data.size()); }

private:
    QByteArray m_data;
    qsizetype m_pos = 0;
};

// One scratch file for the whole run; each input overwrites it. It lives in memory where
// the system offers a tmpfs: every settings write syncs the file and its folder, which on
// a disk costs milliseconds and made the settings targets run a few inputs a second.
inline QString scratchIni()
{
    static QTemporaryDir dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        const QFileInfo info(shm);
        return info.isDir() && info.isWritable() ? QTemporaryDir(shm + QStringLiteral("/mailvane-fuzz-XXXXXX"))
                                                 : QTemporaryDir();
    }();
    FUZZ_CHECK(dir.isValid());
    return dir.filePath(QStringLiteral("Mailvane.ini"));
}

inline void writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(data) == data.size());
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// UTF-8 that keeps a leading U+FEFF: a name or value is text, not a file.
inline QString utf8KeepBom(const QByteArray& text)
{
    // Stateless: a sequence cut off at the end is a replacement character, as in reading.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    return decoder.decode(text);
}

// What reading gives back for a written value: CR and LF become blanks, blanks around
// it go, one pair of enclosing double quotes goes, then the 1023-character cut.
inline QString storedForm(const QString& written)
{
    QString oneLine = written;
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    QByteArray raw = oneLine.toUtf8().trimmed();
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
        raw = raw.mid(1, raw.size() - 2);
    }
    QString value = utf8KeepBom(raw);
    if (value.size() > 1023) {
        value.truncate(1023);
        if (value.back().isHighSurrogate()) {
            value.chop(1);
        }
    }
    return value;
}

// The lines of a settings file without their endings (a leading UTF-8 mark is the file's).
inline QList<QByteArray> iniLines(const QByteArray& file)
{
    QByteArray text = file.startsWith("\xEF\xBB\xBF") ? file.mid(3) : file;
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    return lines;
}

inline int headerCount(const QByteArray& file)
{
    int count = 0;
    for (const QByteArray& line : iniLines(file)) {
        count += line.trimmed().startsWith('[') ? 1 : 0;
    }
    return count;
}

struct LineEnds {
    int lf = 0;
    int crlf = 0;
    int loneCr = 0;
};

inline LineEnds lineEnds(const QByteArray& file)
{
    LineEnds ends;
    for (qsizetype i = 0; i < file.size(); ++i) {
        if (file.at(i) == '\n') {
            (i > 0 && file.at(i - 1) == '\r' ? ends.crlf : ends.lf)++;
        } else if (file.at(i) == '\r' && (i + 1 == file.size() || file.at(i + 1) != '\n')) {
            ends.loneCr++;
        }
    }
    return ends;
}

// Quoted-printable as a mail program writes it: hard line breaks stay CR LF, "=" and
// every byte outside printable ASCII is escaped, a "." opening a line too (so no
// reply terminator appears), lines are kept short with soft breaks.
inline QByteArray encodeQuotedPrintable(const QByteArray& data)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    int column = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto c = static_cast<quint8>(data.at(i));
        if (c == '\r' && i + 1 < data.size() && data.at(i + 1) == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        if (column + 3 > 75) {
            out += "=\r\n";
            column = 0;
        }
        const bool blankBeforeBreak = (c == ' ' || c == '\t') && (i + 1 == data.size() || data.at(i + 1) == '\r');
        const bool escape = c == '=' || c < 32 || c > 126 || (c == '.' && column == 0) || blankBeforeBreak;
        const int width = escape ? 3 : 1;
        if (escape) {
            out += '=';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
        column += width;
    }
    return out;
}

// Base64 in lines of 76 characters, as in a mail body.
inline QByteArray encodeBase64(const QByteArray& data)
{
    const QByteArray flat = data.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < flat.size(); i += 76) {
        if (i > 0) {
            out += "\r\n";
        }
        out += flat.mid(i, 76);
    }
    return out;
}

} // namespace fuzz
