#include "app/TCheckPass.h"

#include "app/TFormMain.h"
#include "app/TProgramState.h"
#include "app/TWindowFinder.h"
#include "core/EAbort.h"
#include "core/EConvertError.h"
#include "desktop/TDesktopNotifier.h"
#include "dialup/TDialDriver.h"
#include "mailbox/TFormMailList.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "status/TFormMedia.h"

#include <QAction>
#include <QCursor>
#include <QPointer>

void TCheckPass::Run(TOrigin origin)
{
    if (m_main.Busy()) {
        return;
    }
    try {
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
        if (m_state.NewMailFound) {
            QCursor::setPos(m_main.frameGeometry().topLeft());
            announceNewMail();
            notifyDesktop();
            if (m_main.MenuAutoLoad->isChecked()) {
                m_main.MenuLoadClick(nullptr);
            }
            m_state.NewMailFound = false;
        }
        m_main.HangUpIfDialed();
    } catch (const EAbort&) {
        m_main.LED(QStringLiteral("Red"), QStringLiteral("Error"));
    } catch (const EConvertError&) {
        m_main.LED(QStringLiteral("Red"), QStringLiteral("Error"));
    }
}

void TCheckPass::openMedia(const QString& file)
{
    m_state.MediaFile = file;
    TMediaContext context;
    context.SettingsPath = m_main.SettingsPath();
    context.MediaFile = m_state.MediaFile;
    context.AnimationFile = m_state.AnimationFile;
    context.StayOnTop = m_main.MenuStayOnTop->isChecked();
    context.RestoreWindow = m_main.MenuRestoreWindow->isChecked();
    context.RestoreApplication = [main = &m_main] { main->PopMenuOpenClick(nullptr); };
    QPointer<TFormMedia> media = new TFormMedia(context);
    if (media && media->OpenFailed()) {
        media->close();
    }
}

void TCheckPass::announceNewMail()
{
    if (!m_state.AnimationFile.isEmpty() && !TWindowFinder::Exists(QLatin1String(TFormMedia::VideoCaption))) {
        openMedia(m_state.AnimationFile);
    }
    if (!m_state.SoundFile.isEmpty() && !m_main.MenuNoSound->isChecked() &&
        !TWindowFinder::Exists(QLatin1String(TFormMedia::SoundCaption))) {
        openMedia(m_state.SoundFile);
    }
}

void TCheckPass::notifyDesktop()
{
    TDesktopNotifier* notifier = m_main.Notifier();
    if (!notifier || !TSetting(TSettingsKeys::OptionDesktopNotify).ReadBool(TIniFile(m_main.SettingsPath()))) {
        return;
    }
    int count = 0;
    QList<TDesktopNotifier::TMail> newest;
    for (TFormMailList* w : m_main.MailboxWindows()) {
        const TMailListModel& list = w->List();
        count += list.NewCount();
        // A listing ends with the newest message.
        for (int row = list.Count(); row >= 1; --row) {
            if (list.Mark(row) == TMark::New) {
                newest.append(
                    {TMailListModel::ShownText(list.Row(row).From), TMailListModel::ShownText(list.Row(row).Subject)});
            }
        }
    }
    notifier->Notify(count, newest);
}
