#pragma once

#include "settings/TCheckSettings.h"

#include <QString>

// What the running program knows between commands: the options read at start-up or
// applied by the options dialog, the next check time and the flags of a check pass.
// The main window owns one and hands it by reference to the parts that need it.
struct TProgramState : TCheckSettings {
    // The media file the last announcement opened.
    QString MediaFile;
    double NextCheckTime = 0;
    // Set by a mailbox during a check pass; the pass announces and clears it.
    bool NewMailFound = false;
    bool DialedByProgram = false;
    int RedialsLeft = 0;
};
