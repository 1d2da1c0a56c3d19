// The rules a settings value must follow: an hour list, a mailbox name and a time-out that
// the rules accept are written in a form that reads back to the same value, and a name
// the rules refuse has a reason the settings file or the program gives.
// Input: hour list, NUL, mailbox name, NUL, time-out text.

#include "core/EConvertError.h"
#include "core/TIntConvert.h"
#include "fuzz/FuzzSupport.h"
#include "mailbox/TSeenIds.h"
#include "settings/TIniFile.h"
#include "settings/TOptionStore.h"
#include "settings/TSettingsKeys.h"
#include "settings/TSettingsRules.h"
#include "settings/TVarnEncryption.h"

#include <algorithm>

namespace Keys = TSettingsKeys;

namespace {

const QString kExeFolder = QStringLiteral("/opt/mailvane/");
const QString kOther = QStringLiteral("其他信箱");

bool readHours(const QString& list, bool hours[24])
{
    try {
        TSettingsRules::ReadHourList(list, hours);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

void hourList(const QString& path, const QString& list)
{
    const QString error = TSettingsRules::HourListError(list);
    bool hours[24];
    const bool readable = readHours(list, hours);
    // Start-up reads what the dialog accepts; a list refused for a piece that is no number
    // stops the reading there (an hour outside the day is skipped).
    FUZZ_CHECK(error.isEmpty() ? readable : error != QLatin1String("Bad time schedule!") || !readable);
    if (!error.isEmpty()) {
        FUZZ_CHECK(error == QLatin1String("Bad time schedule!") || error == QStringLiteral("時間表格式錯誤！"));
        return;
    }
    TIniFile ini(path);
    TSetting(Keys::ScheduleHours).WriteString(ini, list);
    const QString back = TSetting(Keys::ScheduleHours).ReadString(TIniFile(path));
    FUZZ_CHECK(TSettingsRules::HourListError(back).isEmpty());
    bool again[24];
    FUZZ_CHECK(readHours(back, again) && std::equal(hours, hours + 24, again));
}

// The text as the dialog's four-character field holds it.
void timeout(const QString& path, const QString& text)
{
    if (text.size() > 4) {
        return;
    }
    int seconds = 0;
    if (!TIntConvert::TryStrToInt(text, seconds) || !TSettingsRules::TimeoutInRange(seconds)) {
        return;
    }
    TIniFile ini(path);
    TSetting(Keys::GeneralTimeout).WriteString(ini, text);
    // The session reads it with the strict rule.
    FUZZ_CHECK(TIntConvert::StrToInt(TSetting(Keys::GeneralTimeout).ReadString(TIniFile(path))) == seconds);
}

bool programSection(const QString& name)
{
    for (const TSettingKey* key : Keys::All) {
        if (key->Section && name.compare(QLatin1String(key->Section), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return name.startsWith(QLatin1String(Keys::SeenIdsPrefix), Qt::CaseInsensitive);
}

// A mailbox as the options dialog adds it beside another one, with its seen list.
void addMailbox(TOptionStore& store, const QString& path, const QString& name)
{
    store.SaveServers({name, kOther});
    // A plain password: its scrambled form takes two characters a byte, and names are the point here.
    TMailboxSettings mailbox;
    mailbox.Host = name;
    mailbox.Login = name;
    mailbox.Password = QStringLiteral("secret");
    store.SaveMailbox(name, mailbox);
    TMailboxSettings other;
    other.Host = other.Login = other.Password = kOther;
    store.SaveMailbox(kOther, other);
    TIniFile ini(path);
    TSeenIds::Store(ini, name, {"<1@x>"});
    TSeenIds::Store(ini, kOther, {"<2@x>"});
}

void mailboxName(const QString& path, const QString& name)
{
    fuzz::writeFile(path, {});
    TVarnEncryption encryption;
    encryption.Key = QStringLiteral("Q-Lumen");
    TOptionStore store(path, encryption);
    QStringList errors;
    const TOptionSettings defaults = store.Load(kExeFolder, errors);
    addMailbox(store, path, name);

    QString error;
    const TMailboxSettings back = TOptionStore(path, encryption).LoadMailbox(name, error);
    const TOptionSettings options = TOptionStore(path, encryption).Load(kExeFolder, errors);
    const bool readsBack = options.Servers.value(0) == name && back.Host == name && back.Login == name &&
                           back.Password == QStringLiteral("secret") && error.isEmpty();
    if (!TSettingsRules::ValidMailboxName(name)) {
        // Refused only for a reason: the file cannot hold it, the program uses the section,
        // it is a caption of the program's own, or other readers of the file would take it
        // otherwise (a leading U+FEFF as a byte-order mark, "]" as the header's end, a
        // leading "[" as a header, enclosing quotes as quoting).
        const bool reserved = name == QLatin1String("Status") || name == QLatin1String("Viewer") ||
                              name == QLatin1String("About") || name == QLatin1String("Console");
        const bool quoted = name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"'));
        FUZZ_CHECK(!readsBack || name.isEmpty() || programSection(name) || reserved || quoted ||
                   name.startsWith(QChar(0xFEFF)) || name.startsWith(QLatin1Char('[')) ||
                   name.contains(QLatin1Char(']')));
        return;
    }
    FUZZ_CHECK(readsBack);
    FUZZ_CHECK(TSettingsRules::FindMailboxName(options.Servers, name) == 0);
    // The mailbox's entry is no option.
    TOptionSettings expected = defaults;
    expected.Servers = options.Servers;
    FUZZ_CHECK(options.Timeout == expected.Timeout && options.Schedule == expected.Schedule &&
               options.MailProgram == expected.MailProgram && options.DialUpLogin == expected.DialUpLogin &&
               errors.isEmpty());
    if (TSettingsRules::FindMailboxName({kOther}, name) == 0) {
        return;
    }
    // Its own seen list, and deleting it leaves the other mailbox whole.
    TSeenIds seen;
    seen.Load(TIniFile(path), name);
    FUZZ_CHECK(seen.Ids() == QList<QByteArray>({"<1@x>"}));
    store.EraseMailbox(name);
    const TIniFile ini(path);
    FUZZ_CHECK(!ini.SectionExists(name) && !ini.SectionExists(TSeenIds::SectionName(name)));
    seen.Load(ini, kOther);
    FUZZ_CHECK(seen.Ids() == QList<QByteArray>({"<2@x>"}));
    FUZZ_CHECK(TOptionStore(path, encryption).LoadMailbox(kOther, error).Host == kOther);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QList<QByteArray> parts = fuzz::bytes(data, size).split('\0');
    const QString path = fuzz::scratchIni();
    fuzz::writeFile(path, {});
    hourList(path, fuzz::utf8KeepBom(parts.value(0)));
    mailboxName(path, fuzz::utf8KeepBom(parts.value(1)));
    fuzz::writeFile(path, {});
    timeout(path, fuzz::utf8KeepBom(parts.value(2)));
    return 0;
}
