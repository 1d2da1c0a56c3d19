#pragma once

#include "core/EAbort.h"
#include "mailbox/TFormMailList.h"
#include "testsupport/TFakeMailHost.h"

// One check of a mailbox window as the program's check pass runs it: the counters
// start at 0, and the silent abort tells a failed check.
inline bool RunCheck(TFormMailList* form, TFakeMailHost* host)
{
    host->Counts[1] = 0;
    host->Counts[2] = 0;
    try {
        form->Check();
        return true;
    } catch (const EAbort&) {
        return false;
    }
}
