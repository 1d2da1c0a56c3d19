#pragma once

#include "core/EMailvane.h"

// Failures of the line printer, with the printer's English message.
class ELinePrinter : public EMailvane {
public:
    explicit ELinePrinter(const QString& message) : EMailvane(message) {}
};
