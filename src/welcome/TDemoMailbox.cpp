#include "welcome/TDemoMailbox.h"

#include "settings/TFilterRules.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "welcome/TDemoServer.h"
#include "welcome/TNewMailbox.h"

#include <QCoreApplication>

namespace Keys = TSettingsKeys;

QString TDemoMailbox::Name()
{
    return QCoreApplication::translate("TDemoMailbox", "示範信箱");
}

QString TDemoMailbox::Find(const QString& settingsPath)
{
    const TIniFile ini(settingsPath);
    for (const QString& name : TNewMailbox::ListedNames(settingsPath)) {
        if (TSetting(Keys::MailboxDemo, name).ReadBool(ini)) {
            return name;
        }
    }
    return QString();
}

bool TDemoMailbox::OtherMailboxListed(const QString& settingsPath)
{
    const QString demo = Find(settingsPath);
    for (const QString& name : TNewMailbox::ListedNames(settingsPath)) {
        if (name != demo) {
            return true;
        }
    }
    return false;
}

QString TDemoMailbox::Create(const QString& settingsPath, TVarnEncryption& encryption, quint16 port, bool& ruleAdded)
{
    ruleAdded = false;
    TNewMailboxEntry entry;
    entry.Host = QStringLiteral("127.0.0.1");
    entry.Port = QString::number(port);
    entry.Security = QStringLiteral("None");
    entry.Login = QLatin1String(TDemoServer::Login);
    entry.Password = QLatin1String(TDemoServer::Password);
    const QString error = TNewMailbox::Add(settingsPath, encryption, Name(), entry);
    if (!error.isEmpty()) {
        return error;
    }
    TIniFile ini(settingsPath);
    TSetting(Keys::MailboxDemo, Name()).WriteBool(ini, true);

    // The user's own rules are never touched: a word is added only to an empty rule set.
    TFilterRules rules = TFilterRules::Read(ini);
    for (const QString& word : rules.HighLight) {
        if (!word.isEmpty()) {
            return QString();
        }
    }
    rules.HighLight[0] = KeywordRule();
    rules.HighLightColor[0] = KeywordColour;
    rules.Color[0] = true;
    rules.Delete[0] = false;
    rules.Write(ini);
    ruleAdded = true;
    return QString();
}

QString TDemoMailbox::Unserved(const QString& settingsPath, const QString& name, quint16 servedPort)
{
    const TIniFile ini(settingsPath);
    if (!TSetting(Keys::MailboxDemo, name).ReadBool(ini)) {
        return QString();
    }
    bool number = false;
    const uint port = TSetting(Keys::MailboxPort, name).ReadString(ini).toUInt(&number);
    if (servedPort != 0 && number && port == servedPort) {
        return QString();
    }
    return QCoreApplication::translate("TDemoMailbox", "示範伺服器沒有啟動，不檢查此信箱。");
}

void TDemoMailbox::SetPort(const QString& settingsPath, const QString& name, quint16 port)
{
    TIniFile ini(settingsPath);
    TSetting(Keys::MailboxPort, name).WriteString(ini, QString::number(port));
}
