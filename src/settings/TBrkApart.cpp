#include "settings/TBrkApart.h"
