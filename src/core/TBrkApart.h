#pragma once

#include <QString>
#include <QStringList>

// Cuts a text into pieces at every occurrence of a delimiter.
class TBrkApart {
public:
    QString BreakString;
    QString BaseString;
    bool AllowEmptyString = false;
    QStringList StringList;

    void Split();
};
