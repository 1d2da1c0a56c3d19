#include "welcome/TNewMailbox.h"

#include "settings/TIniFile.h"
#include "settings/TOptionStore.h"
#include "settings/TSettingsKeys.h"
#include "settings/TSettingsRules.h"

#include <QCoreApplication>

namespace Keys = TSettingsKeys;

namespace {

QStringList serverLines(const TIniFile& ini)
{
    QStringList lines;
    for (int k = 0; k < Keys::ServerLines; ++k) {
        lines << TSetting(Keys::ServerLine).Numbered(k).ReadString(ini);
    }
    return lines;
}

} // namespace

QStringList TNewMailbox::ListedNames(const QString& settingsPath)
{
    QStringList names = serverLines(TIniFile(settingsPath));
    names.removeAll(QString());
    return names;
}

QString TNewMailbox::DefaultName(const QString& address, const QStringList& taken)
{
    QString base = address.trimmed();
    base = base.left(base.indexOf(QLatin1Char('@')));
    // What a section name cannot hold; the rest of the rules are checked below.
    for (const QChar c : {QLatin1Char('['), QLatin1Char(']'), QLatin1Char('"'), QLatin1Char('\r'), QLatin1Char('\n')}) {
        base.remove(c);
    }
    base = base.trimmed();
    if (!TSettingsRules::ValidMailboxName(base)) {
        base = QCoreApplication::translate("TNewMailbox", "信箱");
    }
    QString name = base;
    for (int n = 2; TSettingsRules::FindMailboxName(taken, name) >= 0 || !TSettingsRules::ValidMailboxName(name); ++n) {
        name = base + QStringLiteral(" (%1)").arg(n);
    }
    return name;
}

QString TNewMailbox::Add(const QString& settingsPath, TVarnEncryption& encryption, const QString& name,
                         const TNewMailboxEntry& entry)
{
    if (name.isEmpty() || entry.Host.isEmpty() || entry.Login.isEmpty()) {
        return QCoreApplication::translate("TNewMailbox", "請詳細填寫資料！");
    }
    QStringList lines = serverLines(TIniFile(settingsPath));
    if (!lines.last().isEmpty()) {
        return QCoreApplication::translate("TNewMailbox", "最多設定10個信箱，請先刪除部份信箱。");
    }
    if (!TSettingsRules::ValidMailboxName(name)) {
        return QCoreApplication::translate("TNewMailbox", "信箱名稱不正確，請重新命名。");
    }
    if (TSettingsRules::FindMailboxName(lines, name) >= 0) {
        return QCoreApplication::translate("TNewMailbox", "信箱名稱重覆，請重新命名。");
    }
    const QString passwordError = TSettingsRules::PasswordError(entry.Password);
    if (!passwordError.isEmpty()) {
        return passwordError;
    }
    lines.prepend(name);
    lines.removeLast();

    TOptionStore store(settingsPath, encryption);
    store.SaveServers(lines);
    // The options dialog's own writing, so both places store a mailbox alike.
    TMailboxSettings mailbox{entry.Host, entry.Login, entry.Password, entry.Security, entry.Port, entry.CertSha256};
    mailbox.Protocol = entry.Protocol;
    mailbox.Auth = entry.Auth;
    mailbox.OAuthProvider = entry.OAuthProvider;
    store.SaveMailbox(name, mailbox);
    return QString();
}

void TNewMailbox::Remove(const QString& settingsPath, TVarnEncryption& encryption, const QString& name)
{
    QStringList lines = serverLines(TIniFile(settingsPath));
    const int k = TSettingsRules::FindMailboxName(lines, name);
    if (k < 0) {
        return;
    }
    lines.removeAt(k);
    lines.append(QString());
    TOptionStore store(settingsPath, encryption);
    store.SaveServers(lines);
    if (TSettingsRules::ValidMailboxName(name)) {
        store.EraseMailbox(name);
    }
}
