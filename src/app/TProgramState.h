#pragma once

#include "settings/TCheckSettings.h"

#include <QString>

// The option menu's check marks, kept in step with the menu items by the command table:
// the program reads these, never the items.
struct TOptionMarks {
    bool AutoCheck = false;
    bool AutoLoad = false;
    bool AutoDelete = false;
    bool AutoView = false;
    bool ConsoleProtect = false;
    bool NoSound = false;
    bool NoHeader = false;
    bool RestoreWindow = false;
    bool StayOnTop = false;
    bool StartupCheck = false;
    bool StartupMinimized = false;
};

// What the running program knows between commands: the options read at start-up or
// applied by the options dialog, the next check time and the flags of a check pass.
// The main window owns one and hands it by reference to the parts that need it.
struct TProgramState : TCheckSettings {
    TOptionMarks Options;
    // The media file the last announcement opened.
    QString MediaFile;
    double NextCheckTime = 0;
    // Set by a mailbox during a check pass; the pass announces and clears it.
    bool NewMailFound = false;
    // While a check pass runs, news pushed by a server waits for its end.
    bool CheckPassRunning = false;
    bool DialedByProgram = false;
    int RedialsLeft = 0;
};
