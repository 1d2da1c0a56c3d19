#pragma once

#include <QString>

class TIniFile;

// The five keyword rules, index 0 for rule 1: a word, its colour as stored, whether a
// matching mail is deleted and whether it is coloured.
struct TFilterRules {
    static constexpr int Count = 5;

    QString HighLight[Count];
    int HighLightColor[Count] = {0, 0, 0, 0, 0};
    bool Delete[Count] = {false, false, false, false, false};
    bool Color[Count] = {true, true, true, true, true};

    // The words as stored; callers keep them in upper case their own way.
    static TFilterRules Read(const TIniFile& ini);
    void Write(TIniFile& ini) const;
};
