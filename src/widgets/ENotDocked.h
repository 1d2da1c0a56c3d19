#pragma once

#include "core/EMailvane.h"

// Raised when a property that only a docked bar may change is set while it floats.
class ENotDocked : public EMailvane {
public:
    ENotDocked() : EMailvane(QStringLiteral("The Panel must be docked to change this property")) {}
};
