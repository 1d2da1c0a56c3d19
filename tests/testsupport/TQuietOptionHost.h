#pragma once

#include "options/TOptionHost.h"
#include "settings/TVarnEncryption.h"

// An options host that keeps only the messages shown ("source|text"); the forms' own
// tests record the rest.
class TQuietOptionHost : public TOptionHost {
public:
    QString Path;
    QString Config;
    TVarnEncryption Scrambler;
    QStringList Messages;

    TQuietOptionHost() { Scrambler.Key = QStringLiteral("Q-Lumen"); }
    QString SettingsPath() const override { return Path; }
    QString ExeFolder() const override { return QStringLiteral("/opt/mailvane/"); }
    TVarnEncryption& Encryption() override { return Scrambler; }
    QString ConfigHome() const override { return Config; }
    bool RasPresent() override { return true; }
    QStringList GetPhoneBookEntries() override { return {}; }
    void CreateMailbox(const QString&) override {}
    void DestroyMailbox(const QString&) override {}
    void SetMailboxPassword(const QString&, const QString&) override {}
    void AddMailboxCount(int) override {}
    void ShowMessage(const QString& from, const QString& text) override { Messages << from + u'|' + text; }
    void RefreshState(const TOptionState&) override {}
    void ChangeNextCheck() override {}
    void RaiseMainWindow() override {}
};
