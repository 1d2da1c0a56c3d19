#include "mailbox/TSessionPresenter.h"

#include "mailbox/TSessionTexts.h"

void TSessionPresenter::Started()
{
    LED(QStringLiteral("Yellow"), QStringLiteral("Busy"));
    RepaintMain();
}

void TSessionPresenter::ShowReady()
{
    LED(QStringLiteral("Green"), QStringLiteral("Ready"));
    RepaintMain();
}

void TSessionPresenter::Listed(int messages)
{
    SetStatusCount(CountRow, StatusCount(CountRow) + messages);
}

void TSessionPresenter::NewMessage(bool neverSeen)
{
    SetStatusCount(NewRow, StatusCount(NewRow) + 1);
    if (neverSeen) {
        SetNewMailFound();
    }
}

void TSessionPresenter::NoLongerNew()
{
    SetStatusCount(NewRow, StatusCount(NewRow) - 1);
}

void TSessionPresenter::Failed(const TSessionFailure& failure)
{
    HangUpIfDialed();
    Status(failure.Kind == TSessionFailure::TKind::Refused ? TSessionTexts::Aborted()
                                                           : TSessionTexts::ConnectionLost());
    LED(QStringLiteral("Red"), QStringLiteral("Error"));
    RepaintMain();
    ShowMessage(failure.Message);
    if (failure.ForgetPassword) {
        ForgetPassword();
    }
}

void TSessionPresenter::Finished(const TCheckCounts&)
{
    ShowReady();
}
