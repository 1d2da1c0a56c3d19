#pragma once

#include "core/EMailvane.h"

// The settings file could not be written: "Unable to write to %s".
class EWriteError : public EMailvane {
public:
    explicit EWriteError(const QString& path) : EMailvane(QStringLiteral("Unable to write to %1").arg(path)) {}
};
