#include "settings/TIniFile.h"
