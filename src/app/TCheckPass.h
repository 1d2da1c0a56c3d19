#pragma once

#include "mailbox/TOrigin.h"

class TDialDriver;
class TFormMain;
class TNewMailAnnouncer;
struct TProgramState;

// One check of every mailbox: the busy guard, the dial step, the counters, the mailboxes
// in window order, the new-mail announcement and the hang-up.
class TCheckPass {
public:
    TCheckPass(TFormMain& main, TProgramState& state, TDialDriver& dial, TNewMailAnnouncer& announcer)
        : m_main(main), m_state(state), m_dial(dial), m_announcer(announcer)
    {
    }

    void Run(TOrigin origin);

private:
    TFormMain& m_main;
    TProgramState& m_state;
    TDialDriver& m_dial;
    TNewMailAnnouncer& m_announcer;
};
