#include "settings/TFilterRules.h"

#include "settings/TSettingsKeys.h"

namespace Keys = TSettingsKeys;

TFilterRules TFilterRules::Read(const TIniFile& ini)
{
    TFilterRules rules;
    for (int i = 0; i < Count; ++i) {
        rules.HighLight[i] = TSetting(Keys::FilterHighLight).Numbered(i + 1).ReadString(ini);
        rules.HighLightColor[i] = TSetting(Keys::FilterHighLightColor).Numbered(i + 1).ReadInteger(ini);
        rules.Delete[i] = TSetting(Keys::FilterDelete).Numbered(i + 1).ReadBool(ini);
        rules.Color[i] = TSetting(Keys::FilterColor).Numbered(i + 1).ReadBool(ini);
    }
    return rules;
}

void TFilterRules::Write(TIniFile& ini) const
{
    for (int i = 0; i < Count; ++i) {
        TSetting(Keys::FilterHighLight).Numbered(i + 1).WriteString(ini, HighLight[i]);
        TSetting(Keys::FilterHighLightColor).Numbered(i + 1).WriteInteger(ini, HighLightColor[i]);
        TSetting(Keys::FilterDelete).Numbered(i + 1).WriteBool(ini, Delete[i]);
        TSetting(Keys::FilterColor).Numbered(i + 1).WriteBool(ini, Color[i]);
    }
}
