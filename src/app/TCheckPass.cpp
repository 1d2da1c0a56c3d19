#include "app/TCheckPass.h"

#include "app/TFormMain.h"
#include "app/TNewMailAnnouncer.h"
#include "app/TProgramState.h"
#include "core/EAbort.h"
#include "core/EConvertError.h"
#include "dialup/TDialDriver.h"
#include "mailbox/TFormMailList.h"

#include <QPointer>

namespace {

// Marks the pass as running, so that news pushed meanwhile waits for its end.
class TRunning {
public:
    explicit TRunning(bool& flag) : m_flag(flag) { m_flag = true; }
    ~TRunning() { m_flag = false; }
    TRunning(const TRunning&) = delete;
    TRunning& operator=(const TRunning&) = delete;

private:
    bool& m_flag;
};

} // namespace

void TCheckPass::Run(TOrigin origin)
{
    if (m_main.Busy() || m_state.CheckPassRunning) {
        return;
    }
    try {
        {
            const TRunning running(m_state.CheckPassRunning);
            if (!m_dial.DialForCheck(origin == TOrigin::Timer, m_state.ConnectedOnly)) {
                return;
            }
            m_main.SetStatusCount(1, 0);
            m_main.SetStatusCount(2, 0);
            QList<QPointer<TFormMailList>> windows;
            for (TFormMailList* w : m_main.MailboxWindows()) {
                windows.append(w);
            }
            for (const QPointer<TFormMailList>& w : std::as_const(windows)) {
                // A window deleted by a command that ran during an earlier wait is skipped.
                if (w) {
                    w->Check();
                }
            }
        }
        m_announcer.AnnouncePending();
        m_main.HangUpIfDialed();
    } catch (const EAbort&) {
        m_main.LED(QStringLiteral("Red"), QStringLiteral("Error"));
    } catch (const EConvertError&) {
        m_main.LED(QStringLiteral("Red"), QStringLiteral("Error"));
    }
}
