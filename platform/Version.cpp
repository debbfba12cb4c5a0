#include "platform/Version.h"

const char* VorpaneVersion() { return VORPANE_VERSION; }
