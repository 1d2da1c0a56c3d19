#pragma once

#include "options/TOptionHost.h"

class TFormMain;

// What the options dialog needs of the running program, served by the main window.
class TMainOptionHost : public TOptionHost {
public:
    explicit TMainOptionHost(TFormMain& main) : m_main(main) {}

    QString SettingsPath() const override;
    QString ExeFolder() const override;
    TVarnEncryption& Encryption() override;
    TPasswordStore* Keyring() override;
    TOAuthAccess* OAuthAccess() override;
    bool RasPresent() override;
    QStringList GetPhoneBookEntries() override;
    void CreateMailbox(const QString& name) override;
    void DestroyMailbox(const QString& name) override;
    void SetMailboxPassword(const QString& name, const QString& clear) override;
    void AddMailboxCount(int delta) override;
    void ShowMessage(const QString& from, const QString& text) override;
    void RefreshState(const TOptionState& state) override;
    void ChangeNextCheck() override;
    void RaiseMainWindow() override;

private:
    TFormMain& m_main;
};
