#include "app/TMainOptionHost.h"

#include "app/TFormMain.h"
#include "dialup/TRAS.h"
#include "dialup/TRasApi.h"
#include "mailbox/TFormMailList.h"
#include "settings/TSettingsLocation.h"
#include "widgets/TColorStringGrid.h"

#include <QCoreApplication>
#include <QDir>

QString TMainOptionHost::SettingsPath() const
{
    return m_main.SettingsPath();
}

QString TMainOptionHost::ExeFolder() const
{
    return TSettingsLocation::ShippedFilesFolder(QCoreApplication::applicationDirPath());
}

TVarnEncryption& TMainOptionHost::Encryption()
{
    return m_main.Encryption;
}

TOAuthAccess* TMainOptionHost::OAuthAccess()
{
    return &m_main.OAuth();
}

TPasswordStore* TMainOptionHost::Keyring()
{
    return m_main.Keyring();
}

bool TMainOptionHost::RasPresent()
{
    return TRasApi::IsPresent();
}

QStringList TMainOptionHost::GetPhoneBookEntries()
{
    m_main.RAS->GetPhoneBookEntries();
    return m_main.RAS->PhoneBookEntries;
}

void TMainOptionHost::CreateMailbox(const QString& name)
{
    m_main.CreateMailbox(name);
}

void TMainOptionHost::DestroyMailbox(const QString& name)
{
    m_main.DestroyMailbox(name);
}

void TMainOptionHost::SetMailboxPassword(const QString& name, const QString& clear)
{
    m_main.DeliverPassword(name, clear);
}

void TMainOptionHost::AddMailboxCount(int delta)
{
    m_main.SetStatusCount(0, m_main.StatusCount(0) + delta);
}

void TMainOptionHost::ShowMessage(const QString& from, const QString& text)
{
    m_main.ShowMessage(from, text);
}

void TMainOptionHost::RefreshState(const TOptionState& state)
{
    static_cast<TCheckSettings&>(m_main.State()) = state;
    m_main.RAS->RedialAttempts = state.RedialAttempts;
    m_main.RAS->UserName = state.UserName;
    m_main.RAS->Password = state.Password;
    m_main.RAS->EntryName = state.EntryName;
    // Keyword colours may have changed.
    for (TFormMailList* w : m_main.MailboxWindows()) {
        w->ColorStringGrid->viewport()->update();
    }
}

void TMainOptionHost::ChangeNextCheck()
{
    m_main.ChangeNextCheck();
}

void TMainOptionHost::RaiseMainWindow()
{
    if (m_main.isMinimized() || m_main.isHidden()) {
        return;
    }
    m_main.hide();
    m_main.show();
    m_main.raise();
}
