// The seen-ID list: stored into an arbitrary settings file and loaded back.
// Input: the file's bytes, a NUL byte, then the IDs one per line.

#include "fuzz/FuzzSupport.h"
#include "mailbox/TSeenIds.h"
#include "settings/TIniFile.h"

namespace {

const QString kMailbox = QStringLiteral("box");

int seenSections(const QByteArray& file)
{
    int count = 0;
    for (const QByteArray& line : fuzz::iniLines(file)) {
        const QByteArray t = line.trimmed();
        count += t.startsWith('[') && t.mid(1, t.lastIndexOf(']') - 1).trimmed().toLower() == "ids:box" ? 1 : 0;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const qsizetype nul = input.indexOf('\0');
    const QByteArray file = nul < 0 ? QByteArray() : input.left(nul);
    QList<QByteArray> ids = (nul < 0 ? input : input.mid(nul + 1)).split('\n');
    if (ids.size() > 64) {
        ids.resize(64);
    }
    const QString path = fuzz::scratchIni();
    fuzz::writeFile(path, file);
    TIniFile ini(path);

    // A hand-edited list loads as the single reads see it, up to the first empty value.
    TSeenIds loaded;
    loaded.Load(ini, kMailbox);
    const QString section = TSeenIds::SectionName(kMailbox);
    for (int n = 0; n < loaded.Ids().size(); ++n) {
        FUZZ_CHECK(!loaded.Ids()[n].isEmpty());
        FUZZ_CHECK(loaded.Ids()[n] == ini.ReadString(section, QString::number(n + 1), QString()).toLatin1());
    }
    FUZZ_CHECK(ini.ReadString(section, QString::number(loaded.Ids().size() + 1), QString()).isEmpty());

    // Another mailbox's list is not touched by storing this one.
    TSeenIds other;
    other.Load(ini, QStringLiteral("other"));

    TSeenIds::Store(ini, kMailbox, ids);
    const QByteArray stored = fuzz::readFile(path);
    FUZZ_CHECK(seenSections(stored) == (ids.isEmpty() ? 0 : 1));

    // Each ID reads back as the file's rules keep it; the list ends at the first that
    // reads back empty.
    QList<QByteArray> expected;
    for (const QByteArray& id : std::as_const(ids)) {
        const QByteArray kept = fuzz::storedForm(QString::fromLatin1(id)).toLatin1();
        if (kept.isEmpty()) {
            break;
        }
        expected.append(kept);
    }
    TSeenIds back;
    back.Load(ini, kMailbox);
    FUZZ_CHECK(back.Ids() == expected);
    for (const QByteArray& id : std::as_const(expected)) {
        FUZZ_CHECK(back.Contains(id) && back.Contains(id.toUpper()) && back.Contains(id.toLower()));
    }

    TSeenIds otherAfter;
    otherAfter.Load(ini, QStringLiteral("other"));
    FUZZ_CHECK(otherAfter.Ids() == other.Ids());

    // Storing the same list again changes nothing; a file that mixes line ends may
    // change which one the list uses, but not its lines.
    TSeenIds::Store(ini, kMailbox, ids);
    const QByteArray again = fuzz::readFile(path);
    FUZZ_CHECK(fuzz::iniLines(again) == fuzz::iniLines(stored));
    const fuzz::LineEnds ends = fuzz::lineEnds(file);
    if (ends.loneCr == 0 && (ends.lf == 0 || ends.crlf == 0)) {
        FUZZ_CHECK(again == stored);
    }
    return 0;
}
