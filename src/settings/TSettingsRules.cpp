#include "settings/TSettingsRules.h"

#include "core/TBrkApart.h"
#include "core/TIntConvert.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"

namespace {

QStringList hourPieces(const QString& list)
{
    TBrkApart splitter;
    splitter.BreakString = QStringLiteral(",");
    // An empty piece is an error, not a piece to skip.
    splitter.AllowEmptyString = true;
    splitter.BaseString = list;
    splitter.Split();
    return splitter.StringList;
}

// Sections of the settings file that belong to the program, never to a mailbox.
bool isProgramSection(const QString& name)
{
    for (const TSettingKey* key : TSettingsKeys::All) {
        if (key->Section && name.compare(QLatin1String(key->Section), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return name.startsWith(QLatin1String(TSettingsKeys::SeenIdsPrefix), Qt::CaseInsensitive);
}

} // namespace

QString TSettingsRules::HourListError(const QString& list)
{
    // A longer list would read back cut, perhaps in the middle of an hour.
    if (list.size() > TIniFile::MaxValueLength) {
        return tr("時間表格式錯誤！");
    }
    for (const QString& piece : hourPieces(list)) {
        int hour = 0;
        if (!TIntConvert::TryStrToInt(piece, hour)) {
            return QStringLiteral("Bad time schedule!");
        }
        if (hour > 24 || hour < 1) {
            return tr("時間表格式錯誤！");
        }
    }
    return {};
}

void TSettingsRules::ReadHourList(const QString& list, bool hours[24])
{
    std::fill(hours, hours + 24, false);
    for (const QString& piece : hourPieces(list)) {
        const int hour = TIntConvert::StrToInt(piece);
        if (hour >= 1 && hour <= 24) {
            hours[hour - 1] = true;
        }
    }
}

bool TSettingsRules::ValidMailboxName(const QString& name)
{
    // The name is also its line's value in the mailbox list, which must read back whole.
    if (name.isEmpty() || name.trimmed() != name || name.size() > TIniFile::MaxValueLength) {
        return false;
    }
    // "Console" is the name under which the console password prompt answers.
    if (name == QLatin1String("Status") || name == QLatin1String("Viewer") || name == QLatin1String("About") ||
        name == QLatin1String("Console")) {
        return false;
    }
    // A leading U+FEFF is invisible, and taken for a byte-order mark by other readers of the file.
    if (name.startsWith(QChar(0xFEFF))) {
        return false;
    }
    // What the settings file cannot hold as a section name, or reads back otherwise.
    if (name.contains(QLatin1Char(']')) || name.startsWith(QLatin1Char('[')) || name.contains(QLatin1Char('\r')) ||
        name.contains(QLatin1Char('\n'))) {
        return false;
    }
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"'))) {
        return false;
    }
    return !isProgramSection(name);
}

int TSettingsRules::FindMailboxName(const QStringList& names, const QString& name)
{
    for (int k = 0; k < names.size(); ++k) {
        if (QString::compare(names.at(k), name, Qt::CaseInsensitive) == 0) {
            return k;
        }
    }
    return -1;
}

QString TSettingsRules::SecurityWord(const QString& text)
{
    const QString word = text.trimmed().toUpper();
    if (word.isEmpty() || word == QLatin1String("NONE")) {
        return QStringLiteral("NONE");
    }
    if (word == QLatin1String("STARTTLS") || word == QLatin1String("TLS")) {
        return word;
    }
    return {};
}

QString TSettingsRules::PortError(const QString& port)
{
    const QString text = port.trimmed();
    if (text.isEmpty()) {
        return {};
    }
    bool digits = text.size() <= 5;
    for (const QChar c : text) {
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    }
    if (digits && text.toInt() >= 1 && text.toInt() <= 65535) {
        return {};
    }
    return tr("埠號必須是 1 到 65535 的整數！");
}

QString TSettingsRules::NormalisedFingerprint(const QString& text)
{
    QString hex;
    for (const QChar c : text) {
        if (c == QLatin1Char(':') || c == QLatin1Char(' ')) {
            continue;
        }
        const bool isHex = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        if (!isHex) {
            return {};
        }
        hex.append(c.toUpper());
    }
    if (hex.size() != 64) {
        return {};
    }
    QStringList pairs;
    for (int i = 0; i < hex.size(); i += 2) {
        pairs.append(hex.mid(i, 2));
    }
    return pairs.join(QLatin1Char(':'));
}

QString TSettingsRules::PasswordError(const QString& clear)
{
    // Stored as two hexadecimal digits a byte after a two-digit start; a longer value would be
    // read back cut.
    const qsizetype stored = 2 + 2 * clear.toUtf8().size();
    return stored <= TIniFile::MaxValueLength ? QString() : tr("密碼過長！");
}
