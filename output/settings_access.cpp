// Defines the stand-in Settings record until the settings module has one.
#include "output/settings_access.h"

#if !__has_include("shell/settings.cpp")
Settings g_settings{};
#endif
