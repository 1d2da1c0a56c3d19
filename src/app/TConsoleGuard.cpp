#include "app/TConsoleGuard.h"

#include "app/TFormMain.h"
#include "app/TWindowActivation.h"
#include "core/TExceptionHook.h"
#include "mailbox/TFormPassword.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "status/TFormMedia.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QScopeGuard>
#include <QTimer>

void TConsoleGuard::WindowStateChanged()
{
    // State changes that arrive while the console password is asked are the restore's own.
    if (m_inRestore) {
        return;
    }
    if (m_main.isMinimized() && !m_minimized) {
        m_minimized = true;
        TExceptionHook::Run([this] { OnMinimize(); });
    } else if (!m_main.isMinimized() && m_minimized && !m_inTray) {
        // Restored from the task bar, where there is no notification area.
        TExceptionHook::Run([this] { restoreFrame(); });
    }
}

void TConsoleGuard::StartMinimized()
{
    m_main.showMinimized();
    if (!m_minimized) {
        m_minimized = true;
        OnMinimize();
    }
}

void TConsoleGuard::OnMinimize()
{
    // Without a notification area the program stays minimised normally, within reach.
    if (TTrayFallback::Available()) {
        m_inTray = true;
        QTimer::singleShot(0, &m_main, [this] {
            if (m_inTray) {
                m_main.hide();
            }
        });
    } else if (const QString reason = m_tray.ReasonOnce(); !reason.isEmpty()) {
        // Not inside the window system's state change, nor before start-up has finished.
        QTimer::singleShot(0, &m_main, [this, reason] {
            TExceptionHook::Run([&] { m_main.ShowMessage(QStringLiteral("Mailvane"), reason); });
        });
    }
    if (TFormMedia* video = TFormMedia::Find(QLatin1String(TFormMedia::VideoCaption))) {
        video->show();
        video->raise();
    }
}

void TConsoleGuard::Open(const QString& activationToken)
{
    // The console password is being asked: its prompt is already in front.
    if (m_inRestore) {
        return;
    }
    if (m_minimized) {
        m_inTray = false;
        restoreFrame();
        if (m_main.Terminated() || m_minimized) {
            return;
        }
    }
    TWindowActivation::Activate(&m_main, activationToken);
}

void TConsoleGuard::restoreFrame()
{
    m_inRestore = true;
    const auto done = qScopeGuard([this] { m_inRestore = false; });
    // Nothing of the frame (mailbox lists, viewers) may show before the console password is given.
    if (m_main.State().Options.ConsoleProtect) {
        m_main.hide();
    }
    OnRestore();
    if (m_main.Terminated()) {
        return;
    }
    m_minimized = false;
    m_main.showNormal();
}

void TConsoleGuard::OnRestore()
{
    if (!m_main.State().Options.ConsoleProtect) {
        return;
    }
    TIniFile ini(m_main.SettingsPath());
    const QString stored =
        m_main.Encryption.Unscramble(TSetting(TSettingsKeys::GeneralConsolePassword).ReadString(ini));
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_consoleAttempt.clear();
        TFormPassword prompt(
            &m_main.MailHost(), [this](const QString& typed) { m_consoleAttempt = typed; }, &m_main);
        prompt.SetName(QStringLiteral("Console"));
        TModal::Exec(&prompt);
        if (m_consoleAttempt == stored) {
            return;
        }
    }
    m_main.ShowMessage(QStringLiteral("Mailvane Kernel"), QStringLiteral("Console password error!"));
    m_main.EndProgram();
}
