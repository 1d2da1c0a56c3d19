#pragma once

#include "settings/TFilterRules.h"

#include <QString>
#include <QStringList>

// The values the options dialog edits, as the settings file holds them. Numbers the user
// types stay text, so that what was typed is what gets stored. Passwords are in clear.
struct TOptionSettings {
    QString Timeout;
    QString MailProgram;
    QString ViewerFontName;
    int ViewerFontSize = 10;
    QString PrinterFontName;
    int PrinterFontSize = 10;
    QString ConsolePassword;

    QString Animation;
    QString Sound;
    // Which view of a message the viewer opens with: readable, or raw as received.
    bool ReadableView = true;

    TFilterRules Filter;

    bool EnableDialUp = false;
    bool ConnectedOnly = false;
    QString Redial;
    QString RedialInterval;
    QString DialUpLogin;
    QString DialUpPassword;
    int Entry = 0;

    bool IntervalCheck = true;
    bool ScheduleCheck = false;
    QString AutoCheck;
    QString Schedule;

    // The mailbox list, one name or an empty line for each of its places.
    QStringList Servers;

    // A desktop notification for new mail; passwords in the desktop's keyring.
    bool DesktopNotify = true;
    bool UseKeyring = true;
    // "auto", "zh_TW" or "en", taking effect at the next start.
    QString Language = QStringLiteral("auto");
};

// A mailbox's own entry: server, login and the password in clear, and how the connection
// is protected: "None", "STARTTLS" or "TLS", the port (empty for the usual one) and the
// SHA-256 fingerprint of a certificate the user trusts.
struct TMailboxSettings {
    QString Host;
    QString Login;
    QString Password;
    QString Security = QStringLiteral("None");
    QString Port;
    QString CertSha256;
    // "POP3" or "IMAP", the IMAP folder, and "1" when news are to be pushed (IMAP IDLE).
    QString Protocol = QStringLiteral("POP3");
    QString Folder = QStringLiteral("INBOX");
    QString Push = QStringLiteral("1");
    // "Password" or "OAuth2"; a service of the table, or the provider given by hand.
    QString Auth = QStringLiteral("Password");
    QString OAuthProvider{};
    QString OAuthAuthorizeUrl{};
    QString OAuthTokenUrl{};
    QString OAuthScope{};
    QString OAuthClientId{};
    QString OAuthClientSecret{};
    QString OAuthMechanism{};
};
