#pragma once

#include "mailbox/TPop3Session.h"
#include "settings/TFilterRules.h"

#include <QString>
#include <QStringList>

// A session host without a window: records what the session shows, answers password
// prompts from a list and reports retirement when told to.
class TRecordingSessionHost : public TPop3SessionHost {
public:
    QString Path;
    QString Name = QStringLiteral("Box");
    QStringList Statuses;
    // "colour/text" of every light.
    QStringList Leds;
    QStringList Messages;
    int Counts[3] = {0, 0, 0};
    int NewMailFound = 0;
    int HangUps = 0;
    QString Typed;
    QStringList Answers;
    int Prompts = 0;
    bool IsRetired = false;
    TFilterRules Rules;

    QString SettingsPath() const override { return Path; }
    QString MailboxName() const override { return Name; }
    void Status(const QString& text) override { Statuses.append(text); }
    void LED(const QString& colourWord, const QString& text) override { Leds.append(colourWord + u'/' + text); }
    void RepaintMain() override {}
    int StatusCount(int row) const override { return Counts[row]; }
    void SetStatusCount(int row, int value) override { Counts[row] = value; }
    void SetNewMailFound() override { ++NewMailFound; }
    void ShowMessage(const QString& text) override { Messages.append(text); }
    void HangUpIfDialed() override { ++HangUps; }
    const TFilterRules& Filters() const override { return Rules; }
    QString Password() const override { return Typed; }
    void SetPassword(const QString& clear) override { Typed = clear; }
    void AskPassword() override
    {
        ++Prompts;
        Typed = Answers.isEmpty() ? QString() : Answers.takeFirst();
    }
    QString Unscramble(const QString& stored) override { return stored; }
    bool Retired() const override { return IsRetired; }
    void PumpEvents(bool) override {}
};
