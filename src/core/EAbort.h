#pragma once

#include "core/EMailvane.h"

// The silent abort: ends the current command without a message.
class EAbort : public EMailvane {
public:
    EAbort() : EMailvane(QStringLiteral("Operation aborted")) {}
};
