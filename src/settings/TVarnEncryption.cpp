#include "settings/TVarnEncryption.h"
