#include "output/settings_access.h"

#ifdef VORLO_SETTINGS_STANDIN
SettingsRecord Settings;
#endif
