#pragma once

#include "mailbox/TOrigin.h"

#include <QString>

class TDialDriver;
class TFormMain;
struct TProgramState;

// One check of every mailbox: the busy guard, the dial step, the counters, the mailboxes
// in window order, the new-mail announcement and the hang-up.
class TCheckPass {
public:
    TCheckPass(TFormMain& main, TProgramState& state, TDialDriver& dial) : m_main(main), m_state(state), m_dial(dial) {}

    void Run(TOrigin origin);

private:
    void announceNewMail();
    void notifyDesktop();
    void openMedia(const QString& file);

    TFormMain& m_main;
    TProgramState& m_state;
    TDialDriver& m_dial;
};
