#pragma once

#include "auth/TOAuthAccess.h"
#include "settings/TFilterRules.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"

#include <QByteArray>
#include <QString>

class QObject;
class QWidget;
struct TAccount;

// What a mailbox window needs of the running program; the main window implements it.
class TMailHost {
public:
    virtual ~TMailHost() = default;

    virtual QString SettingsPath() const = 0;

    // Status window: the LED protocol and the counters in column 1 of row 1 ("信件數目")
    // and row 2 ("新進信件").
    virtual void LED(const QString& colourWord, const QString& text) = 0;
    // A mailbox's session or the dial-up is under way (possibly waiting): no other starts.
    virtual bool Busy() const = 0;
    virtual int StatusCount(int row) const = 0;
    virtual void SetStatusCount(int row, int value) = 0;
    virtual void SetNewMailFound() = 0;
    // New mail found outside a check pass (a server's push): announced at once, or at the
    // end of the pass that runs.
    virtual void AnnounceNewMail() {}

    // Why the program must not contact a mailbox's server now, empty when it may.
    virtual QString OutOfService(const QString& mailbox) const
    {
        Q_UNUSED(mailbox);
        return QString();
    }

    // Check marks of the option menu.
    virtual bool AutoDelete() const = 0;
    virtual bool AutoView() const = 0;
    virtual bool NoHeader() const = 0;
    virtual const TFilterRules& Filters() const = 0;

    // The main window's scrambler; throws EConvertError on a malformed stored text.
    virtual QString Unscramble(const QString& stored) = 0;
    // The password remembered for a mailbox's account, empty when none; may wait for the
    // keyring. By default the scrambled entry of the settings file.
    virtual QString StoredPassword(const QString& mailbox, const QString& login)
    {
        Q_UNUSED(login);
        const QString stored = TSetting(TSettingsKeys::MailboxPassword, mailbox).ReadString(TIniFile(SettingsPath()));
        return stored.isEmpty() ? QString() : Unscramble(stored);
    }

    // An OAuth2 mailbox's access token for its session (see TSessionHost::AccessToken);
    // never opens a browser. By default there is none.
    virtual TOAuthAccess::TResult AccessToken(const TAccount& account, bool renew, QByteArray& token, QString& message)
    {
        Q_UNUSED(account);
        Q_UNUSED(renew);
        token.clear();
        message = TOAuthAccess::NeedsAuthorizationText();
        return TOAuthAccess::TResult::NeedsAuthorization;
    }
    // The access token held now, without waiting; empty when none is usable.
    virtual QByteArray CachedAccessToken(const TAccount& account)
    {
        Q_UNUSED(account);
        return QByteArray();
    }

    // Repaints the main window so that status texts show while a call blocks.
    virtual void RepaintMain() = 0;
    // A status text, row or counter changed during a session: shown within a moment, but
    // not painted once per command.
    virtual void ProgressChanged() {}
    virtual QWidget* MainWidget() const = 0;

    // The message window, modal, with its source line and text.
    virtual void ShowMessage(const QString& from, const QString& text) = 0;
    // Hands a typed password to every mailbox window captioned like name.
    virtual void DeliverPassword(const QString& name, const QString& clear) = 0;

    // Dial-up: the enabled flag, the number of active connections (refreshed),
    // dialling (throws the silent abort on failure) and the hang-up rule.
    virtual bool DialUpEnabled() const = 0;
    virtual int ActiveConnections() = 0;
    virtual void ConnectModem() = 0;
    virtual void HangUpIfDialed() = 0;

    // A new viewer window showing "下載信件..." with the two labels set; then its text.
    // The viewer may be closed by the user at any time: callers hold it in a QPointer.
    virtual QWidget* CreateViewer(const QString& server, const QString& subject) = 0;
    // shown and whole are the raw view's bytes; message is the RETR reply the readable
    // view is made from (empty when the message was too large to fetch).
    virtual void FillViewer(QWidget* viewer, const QByteArray& shown, const QByteArray& whole,
                            const QByteArray& message, bool minimise) = 0;

    // The main window's delete command, given a mailbox window's pop-up item.
    virtual void DeleteCommand(QObject* sender) = 0;
};
