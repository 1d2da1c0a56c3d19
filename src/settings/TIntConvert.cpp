#include "settings/TIntConvert.h"
