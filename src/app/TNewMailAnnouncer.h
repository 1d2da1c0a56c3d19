#pragma once

#include <QString>

#include <functional>

class TFormMain;
struct TProgramState;

// Tells the user of new mail: the animation, the sound, the desktop notification and the
// mail program, as the options say. A check pass announces what it found at its end; mail
// a server pushes between passes is announced at once, and never twice.
class TNewMailAnnouncer {
public:
    TNewMailAnnouncer(TFormMain& main, TProgramState& state) : m_main(main), m_state(state) {}

    // New mail found outside a check pass. While a pass runs, its end announces it.
    void NewMailOutsidePass();
    // Announces the new mail found since the last announcement, if any, and clears the mark.
    void AnnouncePending();

    // Starts the mail program named by path, directly (never through a shell), when it is an
    // existing executable file; a starter set for tests runs instead.
    static void StartMailProgram(const QString& path);
    using TProgramStarter = std::function<void(const QString& program, const QString& folder)>;
    static void SetProgramStarter(TProgramStarter starter);

private:
    void playMedia();
    void notifyDesktop();
    void openMedia(const QString& file);

    TFormMain& m_main;
    TProgramState& m_state;
};
