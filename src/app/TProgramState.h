#pragma once

#include "mailbox/TMailHost.h"

#include <QString>

// What the running program knows between commands: the settings read at start-up or
// applied by the options dialog, the next check time and the flags of a check pass.
// The main window owns one and hands it by reference to the parts that need it.
struct TProgramState {
    QString MailProgramPath;
    QString AnimationFile;
    QString SoundFile;
    // The media file the last announcement opened.
    QString MediaFile;
    TFilterRules FilterRules;
    bool DialUpEnabled = false;
    bool ConnectedOnly = false;
    int RedialInterval = 30;
    bool ScheduleCheck = false;
    bool ScheduleHours[24] = {}; // hour h at index h - 1; 24 is the midnight that ends the day
    int CheckInterval = 3;
    double NextCheckTime = 0;
    // Set by a mailbox during a check pass; the pass announces and clears it.
    bool NewMailFound = false;
    bool DialedByProgram = false;
    int RedialsLeft = 0;
};
