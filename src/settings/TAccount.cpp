#include "settings/TAccount.h"

#include "core/TIntConvert.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "settings/TSettingsRules.h"

#include <QCoreApplication>

namespace Keys = TSettingsKeys;

TAccount TAccount::Read(const TIniFile& file, const QString& name)
{
    // One version of the file for every key, and one read of it.
    const TIniFile ini = file.Snapshot();
    TAccount account;
    account.Name = name;
    account.SettingsPath = ini.FileName();
    account.Host = TSetting(Keys::MailboxHost, name).ReadString(ini);
    account.Login = TSetting(Keys::MailboxLogin, name).ReadString(ini);
    account.TimeoutText = TSetting(Keys::GeneralTimeout).ReadString(ini);
    account.ReadableView = TSetting(Keys::OptionReadableView).ReadBool(ini);
    account.Push = TSetting(Keys::MailboxPush, name).ReadBool(ini);

    const QString auth = TSetting(Keys::MailboxAuth, name).ReadString(ini).trimmed();
    account.OAuthProvider = TSetting(Keys::MailboxOAuthProvider, name).ReadString(ini).trimmed();
    account.OAuthAuthorizeUrl = TSetting(Keys::MailboxOAuthAuthorizeUrl, name).ReadString(ini).trimmed();
    account.OAuthTokenUrl = TSetting(Keys::MailboxOAuthTokenUrl, name).ReadString(ini).trimmed();
    account.OAuthScope = TSetting(Keys::MailboxOAuthScope, name).ReadString(ini).trimmed();
    account.OAuthClientId = TSetting(Keys::MailboxOAuthClientId, name).ReadString(ini).trimmed();
    account.OAuthClientSecret = TSetting(Keys::MailboxOAuthClientSecret, name).ReadString(ini).trimmed();
    account.OAuthMechanism = TSetting(Keys::MailboxOAuthMechanism, name).ReadString(ini).trimmed();

    const QString security = TSetting(Keys::MailboxSecurity, name).ReadString(ini);
    const QString port = TSetting(Keys::MailboxPort, name).ReadString(ini);
    const QString pin = TSetting(Keys::MailboxCertSha256, name).ReadString(ini);
    const QString protocol = TSetting(Keys::MailboxProtocol, name).ReadString(ini).trimmed().toUpper();
    const QString folder = TSetting(Keys::MailboxFolder, name).ReadString(ini);
    if (!folder.trimmed().isEmpty()) {
        account.Folder = folder;
    }

    const QString word = TSettingsRules::SecurityWord(security);
    if (word.isEmpty()) {
        account.Error =
            QCoreApplication::translate("TAccount", "安全連線設定「%1」無法辨認，應為 None、STARTTLS 或 TLS！")
                .arg(security);
        return account;
    }
    account.Security = word == QLatin1String("TLS")        ? TSecurityKind::Tls
                       : word == QLatin1String("STARTTLS") ? TSecurityKind::StartTls
                                                           : TSecurityKind::None;
    account.Error = TSettingsRules::PortError(port);
    account.Port = port.trimmed();
    if (account.Error.isEmpty() && !pin.trimmed().isEmpty()) {
        account.CertSha256 = TSettingsRules::NormalisedFingerprint(pin);
        if (account.CertSha256.isEmpty()) {
            account.Error = QCoreApplication::translate("TAccount", "信任的憑證指紋格式錯誤，應為 64 位十六進位數字！");
        }
    }
    if (account.Error.isEmpty()) {
        if (auth.isEmpty() || auth.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0) {
            account.Auth = TAuth::Password;
        } else if (auth.compare(QLatin1String("OAuth2"), Qt::CaseInsensitive) == 0) {
            account.Auth = TAuth::OAuth2;
            // A token is as good as a password to whoever reads it on the way.
            if (account.Security == TSecurityKind::None) {
                account.Error = QCoreApplication::translate(
                    "TAccount", "以瀏覽器登入（OAuth2）的信箱必須使用加密連線（STARTTLS 或 TLS）！");
            }
        } else {
            account.Error =
                QCoreApplication::translate("TAccount", "登入方式設定「%1」無法辨認，應為 Password 或 OAuth2！")
                    .arg(auth);
        }
    }
    if (account.Error.isEmpty()) {
        if (protocol == QLatin1String("IMAP")) {
            account.Protocol = TProtocol::Imap;
            if (account.Port.isEmpty()) {
                account.Port = account.Security == TSecurityKind::Tls ? QStringLiteral("993") : QStringLiteral("143");
            }
        } else if (!protocol.isEmpty() && protocol != QLatin1String("POP3")) {
            account.Error = QCoreApplication::translate("TAccount", "通訊協定設定「%1」無法辨認，應為 POP3 或 IMAP！")
                                .arg(TSetting(Keys::MailboxProtocol, name).ReadString(ini));
        }
    }
    return account;
}

int TAccount::Timeout() const
{
    return TIntConvert::StrToInt(TimeoutText);
}
