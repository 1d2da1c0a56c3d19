#include "settings/TIniFile.h"

bool probeSettings(const QString& path)
{
    return TIniFile(path).SectionExists(QStringLiteral("Server"));
}
