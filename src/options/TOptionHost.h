#pragma once

#include "settings/TCheckSettings.h"
#include "settings/TSettingsLocation.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class TOAuthAccess;
class TPasswordStore;
class TVarnEncryption;

// What the options dialog applies to the running program as it closes.
struct TOptionState : TCheckSettings {
    // For the dial-up component.
    int RedialAttempts = 2;
    QString UserName;
    QString Password;
    QString EntryName;
};

// What the options dialog needs of the running program; the main window implements it.
class TOptionHost {
public:
    virtual ~TOptionHost() = default;

    virtual QString SettingsPath() const = 0;
    // The folder of the shipped animation and sound, with its trailing separator: the
    // executable's own in a build folder, the shared data folder once installed.
    virtual QString ExeFolder() const = 0;

    virtual TVarnEncryption& Encryption() = 0;
    // The desktop's keyring for mailbox passwords; none keeps them in the settings file.
    virtual TPasswordStore* Keyring() { return nullptr; }
    // The program's browser sign-in; none where the program offers no sign-in (tests).
    virtual TOAuthAccess* OAuthAccess() { return nullptr; }
    // The user's configuration folder (its autostart folder starts programs at login) and
    // the program to start there.
    virtual QString ConfigHome() const { return TSettingsLocation::ConfigHome(TSettingsLocation::System()); }
    virtual QString ProgramPath() const { return QCoreApplication::applicationFilePath(); }

    // Whether the remote-access library can be loaded, and its phone-book entry names.
    virtual bool RasPresent() = 0;
    virtual QStringList GetPhoneBookEntries() = 0;

    // A new mailbox window captioned name, shown at once and checked from now on.
    virtual void CreateMailbox(const QString& name) = 0;
    // Destroys every mailbox window captioned exactly name, without saving its geometry;
    // safe while that mailbox is being checked or viewed.
    virtual void DestroyMailbox(const QString& name) = 0;
    // Sets the held password of every mailbox window captioned exactly name.
    virtual void SetMailboxPassword(const QString& name, const QString& clear) = 0;
    // Adds delta to the number in the status window's mailbox-count cell.
    virtual void AddMailboxCount(int delta) = 0;

    // The message window, modal, with its source line and text.
    virtual void ShowMessage(const QString& from, const QString& text) = 0;

    // Copies the closing dialog's values into the program's state and the dial-up component.
    virtual void RefreshState(const TOptionState& state) = 0;
    virtual void ChangeNextCheck() = 0;
    // Hides the main window and shows it again, bringing it to the front.
    virtual void RaiseMainWindow() = 0;
};
