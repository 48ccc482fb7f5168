// Placeholder: the preferences and about sheets are being written.
#include "shell/preferences_win.h"

int ShowPreferences(HWND) { return 0; }
void ShowAbout(HWND) {}
