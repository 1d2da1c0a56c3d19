// The settings file: load arbitrary bytes, find every name in it, write, read back.

#include "fuzz/FuzzSupport.h"
#include "settings/TIniFile.h"

#include <algorithm>

namespace {

struct KeyLine {
    QString section;
    QString key;
    QString rawValue;
};

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The names a hand-edited file shows: "[name]" lines and "key=value" lines inside a
// section. Only the first section of a name is read, so keys under a later one are not.
void names(const QByteArray& file, QStringList& sections, QList<KeyLine>& keys)
{
    QString current;
    bool inSection = false;
    for (const QByteArray& line : fuzz::iniLines(file)) {
        const QByteArray t = line.trimmed();
        if (t.startsWith('[')) {
            const qsizetype close = t.lastIndexOf(']');
            current = fuzz::utf8KeepBom((close > 0 ? t.mid(1, close - 1) : t.mid(1)).trimmed());
            inSection = std::none_of(sections.cbegin(), sections.cend(),
                                     [&](const QString& earlier) { return sameName(earlier, current); });
            sections.append(current);
        } else if (inSection && !t.startsWith(';') && t.contains('=')) {
            const qsizetype eq = t.indexOf('=');
            keys.append({current, fuzz::utf8KeepBom(t.left(eq).trimmed()), fuzz::utf8KeepBom(t.mid(eq + 1))});
        }
    }
}

// Names the file can hold; what happens with the others is left open.
bool holdable(const QString& name)
{
    return name.trimmed() == name && !name.contains(QLatin1Char('\r')) && !name.contains(QLatin1Char('\n'));
}

bool holdableSection(const QString& name)
{
    return holdable(name) && !name.contains(QLatin1Char(']'));
}

bool holdableKey(const QString& name)
{
    return holdable(name) && !name.contains(QLatin1Char('=')) && !name.startsWith(QLatin1Char('[')) &&
           !name.startsWith(QLatin1Char(';'));
}

bool found(const TIniFile& ini, const QString& section, const QString& key, QString& value)
{
    value = ini.ReadString(section, key, QStringLiteral("\x01"));
    return value == ini.ReadString(section, key, QStringLiteral("\x02"));
}

// One write the program makes: a key, a whole section (the seen-ID list) or an erase.
struct Write {
    enum Kind { Key, Section, Erase } kind;
    QString section;
    QString key;
    QString value;
};

int headersNamed(const QByteArray& file, const QString& section)
{
    QStringList sections;
    QList<KeyLine> keys;
    names(file, sections, keys);
    int count = 0;
    for (const QString& name : std::as_const(sections)) {
        count += sameName(name, section) ? 1 : 0;
    }
    return count;
}

void apply(TIniFile& ini, const Write& w)
{
    switch (w.kind) {
    case Write::Key:
        ini.WriteString(w.section, w.key, w.value);
        break;
    case Write::Section:
        ini.WriteSection(w.section, {{w.key, w.value}, {QStringLiteral("2"), w.section}});
        break;
    case Write::Erase:
        ini.EraseSection(w.section);
        break;
    }
}

void checkLineEnds(const QByteArray& before, const QByteArray& after)
{
    const fuzz::LineEnds was = fuzz::lineEnds(before);
    const fuzz::LineEnds now = fuzz::lineEnds(after);
    if (was.loneCr == 0 && was.crlf == 0 && was.lf > 0) {
        FUZZ_CHECK(now.crlf == 0 && now.loneCr == 0);
    } else if (was.loneCr == 0 && was.lf == 0 && was.crlf > 0) {
        FUZZ_CHECK(now.lf == 0);
    } else if (was.lf == 0 && was.crlf == 0) {
        // No line end yet: whatever the writes choose, they choose once.
        FUZZ_CHECK(now.lf == 0 || now.crlf == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray original = fuzz::bytes(data, size);
    const QString path = fuzz::scratchIni();
    fuzz::writeFile(path, original);
    TIniFile ini(path);

    QStringList sections;
    QList<KeyLine> keys;
    names(original, sections, keys);
    sections = sections.mid(0, 16);
    keys = keys.mid(0, 24);

    // Every name in the file is found under that name, and the whole-section read agrees
    // with the single read.
    QList<KeyLine> readable;
    for (const QString& section : std::as_const(sections)) {
        if (holdableSection(section)) {
            FUZZ_CHECK(ini.SectionExists(section));
        }
    }
    for (const KeyLine& line : std::as_const(keys)) {
        if (!holdableSection(line.section) || !holdableKey(line.key)) {
            continue;
        }
        QString value;
        FUZZ_CHECK(found(ini, line.section, line.key, value));
        FUZZ_CHECK(value.size() <= 1023);
        const auto entries = ini.ReadSection(line.section);
        for (const auto& entry : entries) {
            if (sameName(entry.first, line.key)) {
                FUZZ_CHECK(entry.second == value);
                break;
            }
        }
        readable.append(line);
    }

    // Writes the program makes: values into existing keys, new keys into existing
    // sections, seen-ID lists, a mailbox named by the first line of the input, an erase.
    QList<Write> writes;
    QString typed = fuzz::utf8KeepBom(original.left(original.indexOf('\n')).left(40));
    typed = typed.remove(QLatin1Char(']')).trimmed();
    if (holdableSection(typed)) {
        writes.append({Write::Section, QStringLiteral("IDs:") + typed, QStringLiteral("1"), QStringLiteral("<a@b>")});
        writes.append({Write::Key, typed, QStringLiteral("Host"), typed});
    }

    for (int i = 0; i < readable.size() && i < 2; ++i) {
        writes.append({Write::Key, readable[i].section, readable[i].key, readable[(i + 1) % readable.size()].rawValue});
    }
    int added = 0;
    for (const QString& section : std::as_const(sections)) {
        if (holdableSection(section) && added++ < 2) {
            writes.append({Write::Key, section, QStringLiteral("Column%1").arg(added), section});
            writes.append({Write::Section, QStringLiteral("IDs:") + section, QStringLiteral("1"), section});
        }
    }

    const auto check = [&](const Write& w) {
        const QByteArray before = fuzz::readFile(path);
        const int named = headersNamed(before, w.section);
        QList<QString> others;
        for (const KeyLine& line : std::as_const(readable)) {
            QString value;
            found(ini, line.section, line.key, value);
            others.append(value);
        }
        apply(ini, w);
        const QByteArray after = fuzz::readFile(path);

        QString value;
        if (w.kind == Write::Erase) {
            FUZZ_CHECK(!ini.SectionExists(w.section));
            FUZZ_CHECK(fuzz::headerCount(after) == fuzz::headerCount(before) - named);
        } else {
            FUZZ_CHECK(found(ini, w.section, w.key, value));
            FUZZ_CHECK(value == fuzz::storedForm(w.value));
            // A key goes into the first section of its name; a whole section replaces all of them.
            const int expected = w.kind == Write::Key ? (named > 0 ? 0 : 1) : 1 - named;
            FUZZ_CHECK(fuzz::headerCount(after) == fuzz::headerCount(before) + expected);
        }
        if (w.kind == Write::Section) {
            const auto entries = ini.ReadSection(w.section);
            FUZZ_CHECK(entries.size() == 2 && entries[1].second == fuzz::storedForm(w.section));
        }
        for (int i = 0; i < readable.size(); ++i) {
            const KeyLine& line = readable[i];
            if (sameName(line.section, w.section) && (w.kind != Write::Key || sameName(line.key, w.key))) {
                continue;
            }
            QString now;
            found(ini, line.section, line.key, now);
            FUZZ_CHECK(now == others[i]);
        }
    };
    for (const Write& w : std::as_const(writes)) {
        check(w);
    }
    const QByteArray once = fuzz::readFile(path);
    checkLineEnds(original, once);

    // The same writes again find everything they wrote: the file does not grow (a
    // whole section moves to the end, so only the order of lines may change).
    for (const Write& w : std::as_const(writes)) {
        apply(ini, w);
    }
    auto sortedLines = [](const QByteArray& file) {
        QList<QByteArray> lines = fuzz::iniLines(file);
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    FUZZ_CHECK(sortedLines(fuzz::readFile(path)) == sortedLines(once));

    // Deleting a mailbox takes every section of its name and nothing else.
    if (!readable.isEmpty()) {
        check({Write::Erase, readable.back().section, QString(), QString()});
    }

    if (holdableSection(typed)) {
        const int number = static_cast<int>(qChecksum(original));
        ini.WriteInteger(typed, QStringLiteral("Top"), number - 32768);
        FUZZ_CHECK(ini.ReadInteger(typed, QStringLiteral("Top"), 7) == number - 32768);
        ini.WriteBool(typed, QStringLiteral("Flag"), number % 2 == 1);
        FUZZ_CHECK(ini.ReadBool(typed, QStringLiteral("Flag"), number % 2 == 0) == (number % 2 == 1));
    }
    return 0;
}
