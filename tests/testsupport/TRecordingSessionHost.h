#pragma once

#include "mailbox/TSessionPresenter.h"
#include "settings/TAccount.h"
#include "settings/TFilterRules.h"
#include "settings/TIniFile.h"

#include <QString>
#include <QStringList>

// A session host without a window: records the session's events and, through the same
// presenter as the mailbox window, what they would show; answers password prompts from a
// list and reports retirement when told to.
class TRecordingSessionHost : public TSessionPresenter {
public:
    QString Path;
    QString Name = QStringLiteral("Box");
    // Every event in order: "progress:<text>", "started", "connected:<0|1>", "listed:<n>",
    // "new:<0|1>", "notnew", "notice", "failed:<kind>:<forget 0|1>", "finished:<messages>:<new>".
    QStringList Events;
    TSessionFailure LastFailure;
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

    TAccount Account() override { return TAccount::Read(TIniFile(Path), Name); }
    const TFilterRules& Filters() const override { return Rules; }
    QString Password(const QString& login, bool mayAsk) override
    {
        if (Typed.isEmpty()) {
            // The scrambled entry of the file, unscrambled as itself.
            Typed = TIniFile(Path).ReadString(Name, QStringLiteral("Password"), QString());
            Q_UNUSED(login);
        }
        if (Typed.isEmpty() && mayAsk) {
            ++Prompts;
            Typed = Answers.isEmpty() ? QString() : Answers.takeFirst();
        }
        return Typed;
    }
    bool Retired() const override { return IsRetired; }
    void Yield(bool) override {}

    void Progress(const QString& text) override
    {
        Events.append(QStringLiteral("progress:") + text);
        TSessionPresenter::Progress(text);
    }
    void Started() override
    {
        Events.append(QStringLiteral("started"));
        TSessionPresenter::Started();
    }
    void Connected(bool encrypted) override { Events.append(QStringLiteral("connected:%1").arg(int(encrypted))); }
    void Listed(int messages) override
    {
        Events.append(QStringLiteral("listed:%1").arg(messages));
        TSessionPresenter::Listed(messages);
    }
    void NewMessage(bool neverSeen) override
    {
        Events.append(QStringLiteral("new:%1").arg(int(neverSeen)));
        TSessionPresenter::NewMessage(neverSeen);
    }
    void NoLongerNew() override
    {
        Events.append(QStringLiteral("notnew"));
        TSessionPresenter::NoLongerNew();
    }
    void Notice(const QString& text) override
    {
        Events.append(QStringLiteral("notice"));
        TSessionPresenter::Notice(text);
    }
    void Failed(const TSessionFailure& failure) override
    {
        static const char* const kinds[] = {"refused", "connection", "security"};
        Events.append(QStringLiteral("failed:%1:%2")
                          .arg(QLatin1String(kinds[int(failure.Kind)]))
                          .arg(int(failure.ForgetPassword)));
        LastFailure = failure;
        TSessionPresenter::Failed(failure);
    }
    void Finished(const TCheckCounts& counts) override
    {
        Events.append(QStringLiteral("finished:%1:%2").arg(counts.Messages).arg(counts.New));
        TSessionPresenter::Finished(counts);
    }

    // Events of one kind, by their prefix.
    QStringList EventsOf(const QString& prefix) const
    {
        QStringList found;
        for (const QString& event : Events) {
            if (event.startsWith(prefix)) {
                found.append(event);
            }
        }
        return found;
    }

protected:
    void Status(const QString& text) override { Statuses.append(text); }
    void LED(const QString& colourWord, const QString& text) override { Leds.append(colourWord + u'/' + text); }
    void RepaintMain() override {}
    int StatusCount(int row) const override { return Counts[row]; }
    void SetStatusCount(int row, int value) override { Counts[row] = value; }
    void SetNewMailFound() override { ++NewMailFound; }
    void HangUpIfDialed() override { ++HangUps; }
    void ShowMessage(const QString& text) override { Messages.append(text); }
    void ForgetPassword() override { Typed.clear(); }
};
