// The preferences sheet ("VOR Preferences", modeless, six pages over
// g_settings) and the about sheet ("About VOR...", modal, two pages).
// The message loop (shell/startup_win.cpp) feeds the preferences sheet its
// messages through g_hPreferencesSheet and finishes it when it closes.
#pragma once

#ifndef _WIN32
#error "shell/preferences_win.h is Win32 only"
#endif

#include <windows.h>

// Brings the open sheet to the front, or creates it (setting
// g_hPreferencesSheet). 1 when the sheet exists afterwards.
int ShowPreferences(HWND owner);
// Runs the about sheet modally; returns when it is closed.
void ShowAbout(HWND owner);
