#include "app/TNewMailAnnouncer.h"

#include "app/TFormMain.h"
#include "app/TProgramState.h"
#include "app/TWindowFinder.h"
#include "desktop/TDesktopNotifier.h"
#include "mailbox/TFormMailList.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "status/TFormMedia.h"

#include <QCursor>
#include <QFileInfo>
#include <QProcess>
#include <QPointer>

#include <algorithm>

namespace {

TNewMailAnnouncer::TProgramStarter& programStarter()
{
    static TNewMailAnnouncer::TProgramStarter starter;
    return starter;
}

} // namespace

void TNewMailAnnouncer::StartMailProgram(const QString& path)
{
    if (path.isEmpty()) {
        return;
    }
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable()) {
        return;
    }
    if (programStarter()) {
        programStarter()(info.absoluteFilePath(), info.absolutePath());
        return;
    }
    QProcess::startDetached(info.absoluteFilePath(), QStringList(), info.absolutePath());
}

void TNewMailAnnouncer::SetProgramStarter(TProgramStarter starter)
{
    programStarter() = std::move(starter);
}

void TNewMailAnnouncer::NewMailOutsidePass()
{
    m_state.NewMailFound = true;
    if (!m_state.CheckPassRunning) {
        AnnouncePending();
    }
}

void TNewMailAnnouncer::AnnouncePending()
{
    if (!m_state.NewMailFound) {
        return;
    }
    // Cleared first: a wait inside the announcement may let more news in, which is new again.
    m_state.NewMailFound = false;
    QCursor::setPos(m_main.frameGeometry().topLeft());
    playMedia();
    notifyDesktop();
    if (m_state.Options.AutoLoad) {
        m_main.MenuLoadClick(nullptr);
    }
}

void TNewMailAnnouncer::openMedia(const QString& file)
{
    m_state.MediaFile = file;
    TMediaContext context;
    context.SettingsPath = m_main.SettingsPath();
    context.MediaFile = m_state.MediaFile;
    context.AnimationFile = m_state.AnimationFile;
    context.StayOnTop = m_state.Options.StayOnTop;
    context.RestoreWindow = m_state.Options.RestoreWindow;
    context.RestoreApplication = [main = &m_main] { main->PopMenuOpenClick(nullptr); };
    QPointer<TFormMedia> media = new TFormMedia(context);
    if (media && media->OpenFailed()) {
        media->close();
    }
}

void TNewMailAnnouncer::playMedia()
{
    if (!m_state.AnimationFile.isEmpty() && !TWindowFinder::Exists(QLatin1String(TFormMedia::VideoCaption))) {
        openMedia(m_state.AnimationFile);
    }
    if (!m_state.SoundFile.isEmpty() && !m_state.Options.NoSound &&
        !TWindowFinder::Exists(QLatin1String(TFormMedia::SoundCaption))) {
        openMedia(m_state.SoundFile);
    }
}

void TNewMailAnnouncer::notifyDesktop()
{
    TDesktopNotifier* notifier = m_main.Notifier();
    if (!notifier || !TSetting(TSettingsKeys::OptionDesktopNotify).ReadBool(TIniFile(m_main.SettingsPath()))) {
        return;
    }
    int count = 0;
    QList<TDesktopNotifier::TMail> newest;
    // The mail found last is named first, before older new mail of other mailboxes.
    QList<TFormMailList*> windows = m_main.MailboxWindows();
    std::stable_sort(windows.begin(), windows.end(), [](const TFormMailList* a, const TFormMailList* b) {
        return a->FoundNewMailAt() > b->FoundNewMailAt();
    });
    for (TFormMailList* w : std::as_const(windows)) {
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
