#pragma once

#include "settings/TSetting.h"

// Every key of the settings file, each spelled here and nowhere else.
namespace TSettingsKeys {

inline constexpr TSettingKey GeneralTimeout{"General", "Timeout", "30"};
inline constexpr TSettingKey GeneralMailProgram{"General", "MailProgram", ""};
inline constexpr TSettingKey GeneralViewerFontName{"General", "ViewerFontName", ""};
inline constexpr TSettingKey GeneralViewerFontSize{"General", "ViewerFontSize", "10"};
inline constexpr TSettingKey GeneralPrinterFontName{"General", "PrinterFontName", ""};
inline constexpr TSettingKey GeneralPrinterFontSize{"General", "PrinterFontSize", "10"};
inline constexpr TSettingKey GeneralConsolePassword{"General", "ConsolePassword", ""};

inline constexpr TSettingKey EffectAnimation{"Effect", "Animation", ""};
inline constexpr TSettingKey EffectSound{"Effect", "Sound", ""};

// Numbered 1 to 5, one per keyword rule.
inline constexpr TSettingKey FilterHighLight{"Filter", "HighLight", ""};
inline constexpr TSettingKey FilterHighLightColor{"Filter", "HighLightColor", "0"};
inline constexpr TSettingKey FilterDelete{"Filter", "Delete", "0"};
inline constexpr TSettingKey FilterColor{"Filter", "Color", "1"};

// "EnableDiapUp" is how existing files spell it.
inline constexpr TSettingKey DialUpEnable{"DialUp", "EnableDiapUp", "0"};
inline constexpr TSettingKey DialUpConnectedOnly{"DialUp", "ConnectedOnly", "0"};
inline constexpr TSettingKey DialUpRedial{"DialUp", "Redial", "2"};
inline constexpr TSettingKey DialUpRedialInterval{"DialUp", "RedialInterval", "30"};
inline constexpr TSettingKey DialUpLogin{"DialUp", "DialUpLogin", ""};
inline constexpr TSettingKey DialUpPassword{"DialUp", "DialUpPassword", ""};
inline constexpr TSettingKey DialUpEntry{"DialUp", "Entry", "0"};

inline constexpr TSettingKey ScheduleIntervalCheck{"Schedule", "IntervalCheck", "1"};
inline constexpr TSettingKey ScheduleCheck{"Schedule", "ScheduleCheck", "0"};
inline constexpr TSettingKey ScheduleAutoCheck{"Schedule", "AutoCheck", "3"};
inline constexpr TSettingKey ScheduleHours{"Schedule", "Schedule", ""};

// The mailbox list: keys 0 to 9, an empty line for a free place.
inline constexpr TSettingKey ServerLine{"Server", "", ""};
inline constexpr int ServerLines = 10;

inline constexpr TSettingKey WindowsMainLeft{"Windows", "MainLeft", "0"};
inline constexpr TSettingKey WindowsMainTop{"Windows", "MainTop", "0"};
inline constexpr TSettingKey WindowsMainWidth{"Windows", "MainWidth", "640"};
inline constexpr TSettingKey WindowsMainHeight{"Windows", "MainHeight", "480"};
inline constexpr TSettingKey WindowsStatusTop{"Windows", "StatusTop", "0"};
inline constexpr TSettingKey WindowsStatusLeft{"Windows", "StatusLeft", "0"};
inline constexpr TSettingKey WindowsMediaTop{"Windows", "MediaTop", "0"};
inline constexpr TSettingKey WindowsMediaLeft{"Windows", "MediaLeft", "0"};
inline constexpr TSettingKey WindowsViewerHeight{"Windows", "ViewerHeight", "200"};
inline constexpr TSettingKey WindowsViewerWidth{"Windows", "ViewerWidth", "480"};

// The check marks of the option menu.
inline constexpr TSettingKey OptionAutoCheck{"Option", "AutoCheck", "1"};
inline constexpr TSettingKey OptionAutoLoad{"Option", "AutoLoad", "0"};
inline constexpr TSettingKey OptionAutoDelete{"Option", "AutoDelete", "0"};
inline constexpr TSettingKey OptionAutoView{"Option", "AutoView", "0"};
inline constexpr TSettingKey OptionConsoleProtect{"Option", "ConsoleProtect", "0"};
inline constexpr TSettingKey OptionNoSound{"Option", "NoSound", "0"};
inline constexpr TSettingKey OptionNoHeader{"Option", "NoHeader", "1"};
inline constexpr TSettingKey OptionRestoreWindow{"Option", "RestoreWindow", "1"};
inline constexpr TSettingKey OptionStayOnTop{"Option", "StayOnTop", "1"};
inline constexpr TSettingKey OptionStartupCheck{"Option", "StartupCheck", "1"};
inline constexpr TSettingKey OptionStartupMinimized{"Option", "StartupMinimized", "0"};
// Which view of a message the viewer opens with: the readable one (1) or the raw text.
inline constexpr TSettingKey OptionReadableView{"Option", "ReadableView", "1"};
inline constexpr TSettingKey OptionDesktopNotify{"Option", "DesktopNotify", "1"};
inline constexpr TSettingKey OptionUseKeyring{"Option", "UseKeyring", "1"};
// The welcome window at a start without mailboxes, until the user turns it off.
inline constexpr TSettingKey OptionShowWelcome{"Option", "ShowWelcome", "1"};
// "auto" (the desktop's language), "zh_TW" or "en"; read at start.
inline constexpr TSettingKey OptionLanguage{"Option", "Language", "auto"};

// A mailbox's own section, named after the mailbox.
inline constexpr TSettingKey MailboxHost{nullptr, "Host", ""};
inline constexpr TSettingKey MailboxLogin{nullptr, "Login", ""};
inline constexpr TSettingKey MailboxPassword{nullptr, "Password", ""};
inline constexpr TSettingKey MailboxTop{nullptr, "Top", "0"};
inline constexpr TSettingKey MailboxLeft{nullptr, "Left", "0"};
inline constexpr TSettingKey MailboxHeight{nullptr, "Height", "200"};
// Numbered 0 to 5, one per grid column.
inline constexpr TSettingKey MailboxColumn{nullptr, "Column", "50"};
// "None", "STARTTLS" or "TLS"; an empty port means the security's usual one (110 or 995,
// 143 or 993 for IMAP).
inline constexpr TSettingKey MailboxSecurity{nullptr, "Security", "None"};
inline constexpr TSettingKey MailboxPort{nullptr, "Port", ""};
// The SHA-256 fingerprint of a certificate the user chose to trust for this mailbox.
inline constexpr TSettingKey MailboxCertSha256{nullptr, "CertSha256", ""};
// "POP3" or "IMAP", and the IMAP folder watched.
inline constexpr TSettingKey MailboxProtocol{nullptr, "Protocol", "POP3"};
inline constexpr TSettingKey MailboxFolder{nullptr, "Folder", "INBOX"};
// "1": an IMAP mailbox keeps a connection waiting for news (IDLE); "0": the schedule only.
inline constexpr TSettingKey MailboxPush{nullptr, "Push", "1"};
// "1" in the mailbox the program serves itself from its built-in demo server.
inline constexpr TSettingKey MailboxDemo{nullptr, "Demo", "0"};
// "Password" or "OAuth2" (signing in through the browser). With OAuth2 either a provider of
// the service table, or endpoints, scope, client and SASL mechanism given by hand.
inline constexpr TSettingKey MailboxAuth{nullptr, "Auth", "Password"};
inline constexpr TSettingKey MailboxOAuthProvider{nullptr, "OAuthProvider", ""};
inline constexpr TSettingKey MailboxOAuthAuthorizeUrl{nullptr, "OAuthAuthorizeUrl", ""};
inline constexpr TSettingKey MailboxOAuthTokenUrl{nullptr, "OAuthTokenUrl", ""};
inline constexpr TSettingKey MailboxOAuthScope{nullptr, "OAuthScope", ""};
inline constexpr TSettingKey MailboxOAuthClientId{nullptr, "OAuthClientId", ""};
inline constexpr TSettingKey MailboxOAuthClientSecret{nullptr, "OAuthClientSecret", ""};
inline constexpr TSettingKey MailboxOAuthMechanism{nullptr, "OAuthMechanism", ""};

// The section of a mailbox's seen identifiers is this prefix and the mailbox's name.
inline constexpr char SeenIdsPrefix[] = "IDs:";

inline constexpr const TSettingKey* All[] = {
    &GeneralTimeout,
    &GeneralMailProgram,
    &GeneralViewerFontName,
    &GeneralViewerFontSize,
    &GeneralPrinterFontName,
    &GeneralPrinterFontSize,
    &GeneralConsolePassword,
    &EffectAnimation,
    &EffectSound,
    &FilterHighLight,
    &FilterHighLightColor,
    &FilterDelete,
    &FilterColor,
    &DialUpEnable,
    &DialUpConnectedOnly,
    &DialUpRedial,
    &DialUpRedialInterval,
    &DialUpLogin,
    &DialUpPassword,
    &DialUpEntry,
    &ScheduleIntervalCheck,
    &ScheduleCheck,
    &ScheduleAutoCheck,
    &ScheduleHours,
    &ServerLine,
    &WindowsMainLeft,
    &WindowsMainTop,
    &WindowsMainWidth,
    &WindowsMainHeight,
    &WindowsStatusTop,
    &WindowsStatusLeft,
    &WindowsMediaTop,
    &WindowsMediaLeft,
    &WindowsViewerHeight,
    &WindowsViewerWidth,
    &OptionAutoCheck,
    &OptionAutoLoad,
    &OptionAutoDelete,
    &OptionAutoView,
    &OptionConsoleProtect,
    &OptionNoSound,
    &OptionNoHeader,
    &OptionRestoreWindow,
    &OptionStayOnTop,
    &OptionStartupCheck,
    &OptionStartupMinimized,
    &OptionReadableView,
    &OptionDesktopNotify,
    &OptionUseKeyring,
    &OptionShowWelcome,
    &OptionLanguage,
    &MailboxHost,
    &MailboxLogin,
    &MailboxPassword,
    &MailboxTop,
    &MailboxLeft,
    &MailboxHeight,
    &MailboxColumn,
    &MailboxSecurity,
    &MailboxPort,
    &MailboxCertSha256,
    &MailboxProtocol,
    &MailboxFolder,
    &MailboxPush,
    &MailboxDemo,
    &MailboxAuth,
    &MailboxOAuthProvider,
    &MailboxOAuthAuthorizeUrl,
    &MailboxOAuthTokenUrl,
    &MailboxOAuthScope,
    &MailboxOAuthClientId,
    &MailboxOAuthClientSecret,
    &MailboxOAuthMechanism,
};

} // namespace TSettingsKeys
