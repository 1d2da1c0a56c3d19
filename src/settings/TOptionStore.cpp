#include "settings/TOptionStore.h"

#include "core/EConvertError.h"
#include "settings/TLanguage.h"
#include "settings/TMailboxPasswords.h"
#include "settings/TSettingsKeys.h"
#include "settings/TSettingsRules.h"
#include "settings/TVarnEncryption.h"

namespace Keys = TSettingsKeys;

namespace {

int fontSize(const TIniFile& ini, const TSetting& setting)
{
    const int size = setting.ReadInteger(ini);
    return size > 0 ? size : setting.Default().toInt();
}

// The port a connection goes to; 0 when it cannot be told.
int portOf(const QString& security, const QString& port)
{
    if (!TSettingsRules::PortError(port).isEmpty()) {
        return 0;
    }
    if (!port.trimmed().isEmpty()) {
        return port.trimmed().toInt();
    }
    return TSettingsRules::SecurityWord(security) == QLatin1String("TLS") ? 995 : 110;
}

} // namespace

TOptionStore::TOptionStore(const QString& path, TVarnEncryption& encryption, TPasswordStore* keyring)
    : m_ini(path), m_encryption(encryption), m_keyring(keyring)
{
}

QString TOptionStore::id(const TSetting& setting)
{
    return setting.Section() + QLatin1Char('/') + setting.Key();
}

QString TOptionStore::readScrambled(const TSetting& setting, QStringList& errors)
{
    const QString stored = setting.ReadString(m_ini);
    m_unreadable.remove(id(setting));
    try {
        return m_encryption.Unscramble(stored);
    } catch (const EConvertError& e) {
        m_unreadable.insert(id(setting));
        errors << e.message();
        return QString();
    }
}

void TOptionStore::writeScrambled(const TSetting& setting, const QString& clear)
{
    if (clear.isEmpty() && m_unreadable.contains(id(setting))) {
        return;
    }
    setting.WriteString(m_ini, m_encryption.Scramble(clear));
}

TOptionSettings TOptionStore::Load(const QString& exeFolder, QStringList& errors)
{
    TOptionSettings v;
    v.Timeout = TSetting(Keys::GeneralTimeout).ReadString(m_ini);
    v.MailProgram = TSetting(Keys::GeneralMailProgram).ReadString(m_ini);
    v.ViewerFontName = TSetting(Keys::GeneralViewerFontName).ReadString(m_ini);
    v.ViewerFontSize = fontSize(m_ini, Keys::GeneralViewerFontSize);
    v.PrinterFontName = TSetting(Keys::GeneralPrinterFontName).ReadString(m_ini);
    v.PrinterFontSize = fontSize(m_ini, Keys::GeneralPrinterFontSize);
    v.ConsolePassword = readScrambled(Keys::GeneralConsolePassword, errors);

    v.Animation =
        TSetting(Keys::EffectAnimation).WithDefault(exeFolder + QStringLiteral("Mailvane.avi")).ReadString(m_ini);
    v.Sound = TSetting(Keys::EffectSound).WithDefault(exeFolder + QStringLiteral("Mailvane.wav")).ReadString(m_ini);
    v.ReadableView = TSetting(Keys::OptionReadableView).ReadBool(m_ini);

    v.Filter = TFilterRules::Read(m_ini);

    v.EnableDialUp = TSetting(Keys::DialUpEnable).ReadBool(m_ini);
    v.ConnectedOnly = TSetting(Keys::DialUpConnectedOnly).ReadBool(m_ini);
    v.Redial = TSetting(Keys::DialUpRedial).ReadString(m_ini);
    v.RedialInterval = TSetting(Keys::DialUpRedialInterval).ReadString(m_ini);
    v.DialUpLogin = TSetting(Keys::DialUpLogin).ReadString(m_ini);
    v.DialUpPassword = readScrambled(Keys::DialUpPassword, errors);
    v.Entry = TSetting(Keys::DialUpEntry).ReadInteger(m_ini);

    v.IntervalCheck = TSetting(Keys::ScheduleIntervalCheck).ReadBool(m_ini);
    v.ScheduleCheck = TSetting(Keys::ScheduleCheck).ReadBool(m_ini);
    v.AutoCheck = TSetting(Keys::ScheduleAutoCheck).ReadString(m_ini);
    v.Schedule = TSetting(Keys::ScheduleHours).ReadString(m_ini);

    for (int k = 0; k < Keys::ServerLines; ++k) {
        v.Servers << TSetting(Keys::ServerLine).Numbered(k).ReadString(m_ini);
    }
    v.DesktopNotify = TSetting(Keys::OptionDesktopNotify).ReadBool(m_ini);
    v.UseKeyring = TSetting(Keys::OptionUseKeyring).ReadBool(m_ini);
    v.Language = TLanguage::Normalized(TSetting(Keys::OptionLanguage).ReadString(m_ini));
    return v;
}

void TOptionStore::Save(const TOptionSettings& v)
{
    // In this order, so that a new file lists its keys as it always has.
    TSetting(Keys::GeneralMailProgram).WriteString(m_ini, v.MailProgram);
    TSetting(Keys::GeneralViewerFontName).WriteString(m_ini, v.ViewerFontName);
    TSetting(Keys::GeneralViewerFontSize).WriteInteger(m_ini, v.ViewerFontSize);
    TSetting(Keys::GeneralPrinterFontName).WriteString(m_ini, v.PrinterFontName);
    TSetting(Keys::GeneralPrinterFontSize).WriteInteger(m_ini, v.PrinterFontSize);
    TSetting(Keys::GeneralTimeout).WriteString(m_ini, v.Timeout);
    writeScrambled(Keys::GeneralConsolePassword, v.ConsolePassword);

    TSetting(Keys::EffectAnimation).WriteString(m_ini, v.Animation);
    TSetting(Keys::EffectSound).WriteString(m_ini, v.Sound);
    TSetting(Keys::OptionReadableView).WriteBool(m_ini, v.ReadableView);

    v.Filter.Write(m_ini);

    TSetting(Keys::DialUpEnable).WriteBool(m_ini, v.EnableDialUp);
    TSetting(Keys::DialUpConnectedOnly).WriteBool(m_ini, v.ConnectedOnly);
    TSetting(Keys::DialUpRedial).WriteString(m_ini, v.Redial);
    TSetting(Keys::DialUpRedialInterval).WriteString(m_ini, v.RedialInterval);
    TSetting(Keys::DialUpLogin).WriteString(m_ini, v.DialUpLogin);
    TSetting(Keys::DialUpEntry).WriteInteger(m_ini, v.Entry);
    writeScrambled(Keys::DialUpPassword, v.DialUpPassword);

    TSetting(Keys::ScheduleIntervalCheck).WriteBool(m_ini, v.IntervalCheck);
    TSetting(Keys::ScheduleCheck).WriteBool(m_ini, v.ScheduleCheck);
    TSetting(Keys::ScheduleAutoCheck).WriteString(m_ini, v.AutoCheck);
    TSetting(Keys::ScheduleHours).WriteString(m_ini, v.Schedule);

    SaveServers(v.Servers);

    TSetting(Keys::OptionDesktopNotify).WriteBool(m_ini, v.DesktopNotify);
    const bool keyringWasOn = TSetting(Keys::OptionUseKeyring).ReadBool(m_ini);
    if (keyringWasOn && !v.UseKeyring) {
        // Given up: the passwords come back into the file rather than being lost to the program.
        TMailboxPasswords passwords(m_ini.FileName(), m_encryption, m_keyring);
        for (const QString& name : v.Servers) {
            if (!name.isEmpty()) {
                passwords.MoveToFile(name, TSetting(Keys::MailboxLogin, name).ReadString(m_ini));
            }
        }
    }
    TSetting(Keys::OptionUseKeyring).WriteBool(m_ini, v.UseKeyring);
    TSetting(Keys::OptionLanguage).WriteString(m_ini, TLanguage::Normalized(v.Language));
}

void TOptionStore::SaveServers(const QStringList& servers)
{
    for (int k = 0; k < Keys::ServerLines; ++k) {
        TSetting(Keys::ServerLine).Numbered(k).WriteString(m_ini, servers.value(k));
    }
}

TMailboxSettings TOptionStore::LoadMailbox(const QString& name, QString& error)
{
    TMailboxSettings mailbox;
    mailbox.Host = TSetting(Keys::MailboxHost, name).ReadString(m_ini);
    mailbox.Login = TSetting(Keys::MailboxLogin, name).ReadString(m_ini);
    mailbox.Security = TSetting(Keys::MailboxSecurity, name).ReadString(m_ini);
    mailbox.Port = TSetting(Keys::MailboxPort, name).ReadString(m_ini);
    mailbox.CertSha256 = TSetting(Keys::MailboxCertSha256, name).ReadString(m_ini);
    mailbox.Protocol = TSetting(Keys::MailboxProtocol, name).ReadString(m_ini);
    mailbox.Folder = TSetting(Keys::MailboxFolder, name).ReadString(m_ini);
    mailbox.Push = TSetting(Keys::MailboxPush, name).ReadString(m_ini);
    mailbox.Auth = TSetting(Keys::MailboxAuth, name).ReadString(m_ini);
    mailbox.OAuthProvider = TSetting(Keys::MailboxOAuthProvider, name).ReadString(m_ini);
    mailbox.OAuthAuthorizeUrl = TSetting(Keys::MailboxOAuthAuthorizeUrl, name).ReadString(m_ini);
    mailbox.OAuthTokenUrl = TSetting(Keys::MailboxOAuthTokenUrl, name).ReadString(m_ini);
    mailbox.OAuthScope = TSetting(Keys::MailboxOAuthScope, name).ReadString(m_ini);
    mailbox.OAuthClientId = TSetting(Keys::MailboxOAuthClientId, name).ReadString(m_ini);
    mailbox.OAuthClientSecret = TSetting(Keys::MailboxOAuthClientSecret, name).ReadString(m_ini);
    mailbox.OAuthMechanism = TSetting(Keys::MailboxOAuthMechanism, name).ReadString(m_ini);
    const TSetting password(Keys::MailboxPassword, name);
    m_unreadable.remove(id(password));
    error.clear();
    try {
        mailbox.Password = TMailboxPasswords(m_ini.FileName(), m_encryption, m_keyring).Read(name, mailbox.Login);
    } catch (const EConvertError& e) {
        m_unreadable.insert(id(password));
        error = e.message();
    }
    return mailbox;
}

void TOptionStore::SaveMailbox(const QString& name, const TMailboxSettings& mailbox)
{
    TMailboxPasswords passwords(m_ini.FileName(), m_encryption, m_keyring);
    const TSetting login(Keys::MailboxLogin, name);
    if (m_ini.SectionExists(name)) {
        // The keyring entry is the account's: a new login name takes it along.
        passwords.Rename(name, login.ReadString(m_ini), name, mailbox.Login);
    }
    TSetting(Keys::MailboxHost, name).WriteString(m_ini, mailbox.Host);
    login.WriteString(m_ini, mailbox.Login);
    // A plaintext mailbox's section stays as older versions wrote it, unless it held these keys.
    const QString unset = QStringLiteral("\x01");
    const auto writeConnection = [&](const TSettingKey& key, const QString& value) {
        const TSetting setting(key, name);
        if (value != QLatin1String(key.Default) || m_ini.ReadString(name, setting.Key(), unset) != unset) {
            setting.WriteString(m_ini, value);
        }
    };
    writeConnection(Keys::MailboxSecurity, mailbox.Security);
    writeConnection(Keys::MailboxPort, mailbox.Port);
    writeConnection(Keys::MailboxCertSha256, mailbox.CertSha256);
    writeConnection(Keys::MailboxProtocol, mailbox.Protocol);
    writeConnection(Keys::MailboxFolder, mailbox.Folder);
    writeConnection(Keys::MailboxPush, mailbox.Push);
    writeConnection(Keys::MailboxAuth, mailbox.Auth);
    writeConnection(Keys::MailboxOAuthProvider, mailbox.OAuthProvider);
    writeConnection(Keys::MailboxOAuthAuthorizeUrl, mailbox.OAuthAuthorizeUrl);
    writeConnection(Keys::MailboxOAuthTokenUrl, mailbox.OAuthTokenUrl);
    writeConnection(Keys::MailboxOAuthScope, mailbox.OAuthScope);
    writeConnection(Keys::MailboxOAuthClientId, mailbox.OAuthClientId);
    writeConnection(Keys::MailboxOAuthClientSecret, mailbox.OAuthClientSecret);
    writeConnection(Keys::MailboxOAuthMechanism, mailbox.OAuthMechanism);
    // A mailbox's password is replaced even by an empty one.
    passwords.Write(name, mailbox.Login, mailbox.Password);
    m_unreadable.remove(id(TSetting(Keys::MailboxPassword, name)));
}

bool TOptionStore::PinIfSameServer(const QString& name, const TMailboxSettings& typed)
{
    const QString host = TSetting(Keys::MailboxHost, name).ReadString(m_ini);
    const QString security = TSettingsRules::SecurityWord(TSetting(Keys::MailboxSecurity, name).ReadString(m_ini));
    const int port = portOf(security, TSetting(Keys::MailboxPort, name).ReadString(m_ini));
    const bool same = host.trimmed().compare(typed.Host.trimmed(), Qt::CaseInsensitive) == 0 && !security.isEmpty() &&
                      security == TSettingsRules::SecurityWord(typed.Security) && port != 0 &&
                      port == portOf(typed.Security, typed.Port);
    if (same) {
        TSetting(Keys::MailboxCertSha256, name).WriteString(m_ini, typed.CertSha256);
    }
    return same;
}

void TOptionStore::EraseMailbox(const QString& name)
{
    TMailboxPasswords(m_ini.FileName(), m_encryption, m_keyring)
        .Remove(name, TSetting(Keys::MailboxLogin, name).ReadString(m_ini));
    m_ini.EraseSection(name);
    m_ini.EraseSection(QLatin1String(Keys::SeenIdsPrefix) + name);
}
