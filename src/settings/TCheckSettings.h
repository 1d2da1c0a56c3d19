#pragma once

#include "settings/TFilterRules.h"

#include <QString>

// The options the checks work by, as start-up reads them or the options dialog applies them.
struct TCheckSettings {
    QString MailProgramPath;
    QString AnimationFile;
    QString SoundFile;
    // Words in upper case, colours as stored.
    TFilterRules FilterRules;
    bool DialUpEnabled = false;
    bool ConnectedOnly = false;
    int RedialInterval = 30;
    bool ScheduleCheck = false;
    // Index h - 1 stands for hour h (1..24, 24 being the midnight that ends the day).
    bool ScheduleHours[24] = {};
    int CheckInterval = 3;
};
