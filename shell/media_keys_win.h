// The main window's media keys under Win32: the global hot keys, held while
// GlobalMediaKeys is 1, and the command a WM_HOTKEY or WM_APPCOMMAND stands
// for (shell/media_keys.h).
#pragma once

#include <windows.h>

// Registers the hot keys of window when GlobalMediaKeys is 1, unregisters
// them when it is not. A key the system refuses (another program holds it)
// is left out; the keys refused are named once per run in the debugger's
// output, and nothing else is said.
void ApplyMediaKeys(HWND window);
// Unregisters every hot key of window (before its destruction).
void ReleaseMediaKeys(HWND window);
// The command id of a WM_HOTKEY or WM_APPCOMMAND message, 0 for none.
int MediaKeyMessageCommand(UINT msg, WPARAM wParam, LPARAM lParam);
