#pragma once

#include "app/TTrayFallback.h"

#include <QString>

class TFormMain;

// Minimise to the notification area (or, without one, to the task bar) and restore; a restore asks the console
// password first when the protection is on, and ends the program after three misses.
class TConsoleGuard {
public:
    explicit TConsoleGuard(TFormMain& main) : m_main(main) {}

    // The frame's window state changed (minimised or restored from the task bar).
    void WindowStateChanged();
    // The frame starts minimised.
    void StartMinimized();
    void OnMinimize();
    void OnRestore();
    // The open command of the tray, a notification's click and a second start; the last
    // two bring the desktop's activation token.
    void Open(const QString& activationToken = QString());

private:
    void restoreFrame();

    TFormMain& m_main;
    TTrayFallback m_tray;
    QString m_consoleAttempt;
    bool m_inTray = false;
    bool m_minimized = false;
    bool m_inRestore = false;
};
