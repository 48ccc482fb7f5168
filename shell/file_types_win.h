// Registration of the player as the opener of .mp1/.mp2/.mp3 files and
// .pls/.m3u playlists under HKEY_CLASSES_ROOT.
#pragma once

#ifndef _WIN32
#error "shell/file_types_win.h is Win32 only"
#endif

#include <windows.h>

// Writes every key and value, broadcasts the change and reports it with a
// message box owned by nobody (registry failures are not reported).
void RegisterFileTypes(HWND page);
