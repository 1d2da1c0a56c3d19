#pragma once

#include "core/EMailvane.h"

// A number that does not convert: "'%s' is not a valid integer value".
class EConvertError : public EMailvane {
public:
    explicit EConvertError(const QString& text)
        : EMailvane(QStringLiteral("'%1' is not a valid integer value").arg(text))
    {
    }
};
