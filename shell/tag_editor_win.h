// The tag editor: a modeless dialog (141) over the ID3v1 tag of one file.
#pragma once

#ifndef _WIN32
#error "shell/tag_editor_win.h is Win32 only"
#endif

#include <windows.h>

// Toggles the editor: closes an open one and returns 1; otherwise opens one
// on path (owned by the main window) and returns 1, or 0 when path is null
// or the dialog cannot be created.
int ShowTagEditor(const char* path);
// The editor window, null while there is none (for the message loop).
HWND TagEditorWindow();
