#pragma once

#include "mailbox/TMailSession.h"

// How a mailbox shows its session's events: the status line, the status window's light and
// counters (row 1 messages, row 2 new), the message window, the hang-up after a failure.
// The mailbox window (and a test's recording host) supply the screen below.
class TSessionPresenter : public TSessionHost {
public:
    static constexpr int CountRow = 1;
    static constexpr int NewRow = 2;

    void Progress(const QString& text) override { Status(text); }
    void Started() override;
    void Connected(bool) override {}
    void Listed(int messages) override;
    void NewMessage(bool neverSeen) override;
    void NoLongerNew() override;
    void Notice(const QString& text) override { ShowMessage(text); }
    void Failed(const TSessionFailure& failure) override;
    void Finished(const TCheckCounts& counts) override;

    // The lights of a retrieval, which the window runs around the session's call.
    void ShowBusy() { Started(); }
    void ShowReady();

protected:
    virtual void Status(const QString& text) = 0;
    virtual void LED(const QString& colourWord, const QString& text) = 0;
    virtual void RepaintMain() = 0;
    virtual int StatusCount(int row) const = 0;
    virtual void SetStatusCount(int row, int value) = 0;
    virtual void SetNewMailFound() = 0;
    virtual void HangUpIfDialed() = 0;
    // The modal message window; its source line names the mailbox.
    virtual void ShowMessage(const QString& text) = 0;
    virtual void ForgetPassword() = 0;
};
