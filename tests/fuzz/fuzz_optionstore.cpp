// The option store over an arbitrary settings file: load every option and mailbox, write
// them back as the options dialog does on closing, load again. What was read reads back
// as the file keeps it, no section is doubled, and a password that cannot be unscrambled
// keeps its stored text.

#include "core/EConvertError.h"
#include "fuzz/FuzzSupport.h"
#include "mailbox/TSeenIds.h"
#include "settings/TIniFile.h"
#include "settings/TOptionStore.h"
#include "settings/TSettingsKeys.h"
#include "settings/TSettingsRules.h"
#include "settings/TVarnEncryption.h"

namespace Keys = TSettingsKeys;

namespace {

const QString kExeFolder = QStringLiteral("/opt/mailvane/");

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Section names of every header line, as the file reads them.
QStringList headers(const QByteArray& file)
{
    QStringList names;
    for (const QByteArray& line : fuzz::iniLines(file)) {
        const QByteArray t = line.trimmed();
        if (t.startsWith('[')) {
            const qsizetype close = t.lastIndexOf(']');
            names.append(fuzz::utf8KeepBom((close > 0 ? t.mid(1, close - 1) : t.mid(1)).trimmed()));
        }
    }
    return names;
}

int countNamed(const QStringList& names, const QString& name)
{
    return int(std::count_if(names.cbegin(), names.cend(), [&](const QString& n) { return sameName(n, name); }));
}

void checkStrings(const QString& written, const QString& read)
{
    FUZZ_CHECK(read == fuzz::storedForm(written));
}

// The second load against the first: strings as the file keeps them, the rest equal.
void checkReadBack(const TOptionSettings& a, const TOptionSettings& b)
{
    checkStrings(a.Timeout, b.Timeout);
    checkStrings(a.MailProgram, b.MailProgram);
    checkStrings(a.ViewerFontName, b.ViewerFontName);
    checkStrings(a.PrinterFontName, b.PrinterFontName);
    checkStrings(a.Animation, b.Animation);
    checkStrings(a.Sound, b.Sound);
    checkStrings(a.Redial, b.Redial);
    checkStrings(a.RedialInterval, b.RedialInterval);
    checkStrings(a.DialUpLogin, b.DialUpLogin);
    checkStrings(a.AutoCheck, b.AutoCheck);
    checkStrings(a.Schedule, b.Schedule);
    FUZZ_CHECK(a.ViewerFontSize == b.ViewerFontSize && a.PrinterFontSize == b.PrinterFontSize);
    FUZZ_CHECK(a.ViewerFontSize > 0 && a.PrinterFontSize > 0);
    FUZZ_CHECK(a.ConsolePassword == b.ConsolePassword && a.DialUpPassword == b.DialUpPassword);
    FUZZ_CHECK(a.EnableDialUp == b.EnableDialUp && a.ConnectedOnly == b.ConnectedOnly && a.Entry == b.Entry);
    FUZZ_CHECK(a.IntervalCheck == b.IntervalCheck && a.ScheduleCheck == b.ScheduleCheck);
    for (int i = 0; i < TFilterRules::Count; ++i) {
        checkStrings(a.Filter.HighLight[i], b.Filter.HighLight[i]);
        FUZZ_CHECK(a.Filter.HighLightColor[i] == b.Filter.HighLightColor[i]);
        FUZZ_CHECK(a.Filter.Delete[i] == b.Filter.Delete[i] && a.Filter.Color[i] == b.Filter.Color[i]);
    }
    FUZZ_CHECK(a.Servers.size() == Keys::ServerLines && b.Servers.size() == Keys::ServerLines);
    for (int k = 0; k < Keys::ServerLines; ++k) {
        checkStrings(a.Servers[k], b.Servers[k]);
    }
}

struct Mailbox {
    QString name;
    TMailboxSettings values;
    QString error;
    QString storedPassword;
    QList<QByteArray> seen;
};

bool unreadable(TVarnEncryption& encryption, const QString& stored)
{
    try {
        encryption.Unscramble(stored);
        return false;
    } catch (const EConvertError&) {
        return true;
    }
}

QString stored(const QString& path, const TSetting& setting)
{
    return setting.ReadString(TIniFile(path));
}

QList<QByteArray> seenOf(const QString& path, const QString& name)
{
    TSeenIds seen;
    seen.Load(TIniFile(path), name);
    return seen.Ids();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray original = fuzz::bytes(data, size);
    const QString path = fuzz::scratchIni();
    fuzz::writeFile(path, original);
    TVarnEncryption encryption;
    encryption.Key = QStringLiteral("Q-Lumen");

    QStringList errors;
    TOptionStore store(path, encryption);
    const TOptionSettings first = store.Load(kExeFolder, errors);
    const QString consoleStored = stored(path, Keys::GeneralConsolePassword);
    const QString dialUpStored = stored(path, Keys::DialUpPassword);

    // The mailboxes the list names, as the dialog shows them; a name the dialog would
    // refuse is only read.
    QList<Mailbox> boxes;
    for (const QString& name : first.Servers) {
        if (name.isEmpty()) {
            continue;
        }
        Mailbox box;
        box.name = name;
        box.values = store.LoadMailbox(name, box.error);
        // A password that cannot be unscrambled shows as empty.
        FUZZ_CHECK(box.error.isEmpty() || box.values.Password.isEmpty());
        box.storedPassword = stored(path, TSetting(Keys::MailboxPassword, name));
        box.seen = seenOf(path, name);
        boxes.append(box);
    }

    // Closing the dialog writes every option; updating a mailbox writes its entry (one
    // whose password could not be read is left alone, as the user must type a new one).
    const QStringList before = headers(original);
    QStringList written = {QStringLiteral("General"), QStringLiteral("Effect"),   QStringLiteral("Filter"),
                           QStringLiteral("DialUp"),  QStringLiteral("Schedule"), QStringLiteral("Server"),
                           QStringLiteral("Option")};
    store.Save(first);
    for (const Mailbox& box : std::as_const(boxes)) {
        if (box.error.isEmpty() && TSettingsRules::ValidMailboxName(box.name)) {
            store.SaveMailbox(box.name, box.values);
            written.append(box.name);
        }
    }
    const QByteArray saved = fuzz::readFile(path);
    const QStringList after = headers(saved);

    // Each section written is there once if it was missing, as often as before otherwise;
    // every other section is left as it was.
    QStringList all = before + after;
    for (const QString& name : std::as_const(all)) {
        const int was = countNamed(before, name);
        const bool isWritten =
            std::any_of(written.cbegin(), written.cend(), [&](const QString& w) { return sameName(w, name); });
        FUZZ_CHECK(countNamed(after, name) == (isWritten ? std::max(was, 1) : was));
    }

    QStringList errorsAgain;
    TOptionStore again(path, encryption);
    const TOptionSettings second = again.Load(kExeFolder, errorsAgain);
    checkReadBack(first, second);
    FUZZ_CHECK(errorsAgain.size() == errors.size());
    // Unreadable passwords are neither lost nor replaced by the empty one shown.
    const bool consoleUnreadable = unreadable(encryption, consoleStored);
    const bool dialUpUnreadable = unreadable(encryption, dialUpStored);
    FUZZ_CHECK(errors.size() == int(consoleUnreadable) + int(dialUpUnreadable));
    if (consoleUnreadable) {
        FUZZ_CHECK(first.ConsolePassword.isEmpty() && stored(path, Keys::GeneralConsolePassword) == consoleStored);
    }
    if (dialUpUnreadable) {
        FUZZ_CHECK(first.DialUpPassword.isEmpty() && stored(path, Keys::DialUpPassword) == dialUpStored);
    }

    for (const Mailbox& box : std::as_const(boxes)) {
        QString error;
        const TMailboxSettings back = again.LoadMailbox(box.name, error);
        if (box.error.isEmpty() && TSettingsRules::ValidMailboxName(box.name)) {
            checkStrings(box.values.Host, back.Host);
            checkStrings(box.values.Login, back.Login);
        } else {
            FUZZ_CHECK(back.Host == box.values.Host && back.Login == box.values.Login);
        }
        FUZZ_CHECK(back.Password == box.values.Password);
        FUZZ_CHECK(error.isEmpty() == box.error.isEmpty());
        if (!box.error.isEmpty()) {
            FUZZ_CHECK(stored(path, TSetting(Keys::MailboxPassword, box.name)) == box.storedPassword);
        }
        // Options are not a mailbox's seen list.
        FUZZ_CHECK(seenOf(path, box.name) == box.seen);
    }

    // Writing what was read back adds nothing more.
    again.Save(second);
    FUZZ_CHECK(headers(fuzz::readFile(path)) == after);
    return 0;
}
