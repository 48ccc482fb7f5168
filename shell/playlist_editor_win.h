// The playlist editor: a modeless, resizable dialog (114) that lists the
// playlist, loads, saves, adds, removes, reorders, shuffles and sorts it.
// Runs on the user-interface thread. The editor sends IDM_PLAY_CURRENT to
// the main window to play the entry chosen in its list.
#pragma once

#ifndef _WIN32
#error "shell/playlist_editor_win.h is Win32 only"
#endif

#include <windows.h>

// Creates the editor when there is none (no owner, at the place kept in the
// settings) and shows it. 1, or 0 when the window cannot be created.
int PlaylistEditorShow();
// Destroys the editor (its place goes into the settings). Returns 1.
int PlaylistEditorClose();
// 1 while an editor exists and is not hidden.
int PlaylistEditorIsOpen();
// Asks the editor to rebuild its list; nothing without an editor, and
// nothing while refresh is disabled.
void PlaylistEditorRefresh();
// Enables (1) or disables (0) the rebuild; bulk adds disable it so that the
// list is rebuilt once at their end. The flag outlives the window.
void PlaylistEditorEnableRefresh(int enabled);
// The editor window, null while there is none (for the message loop).
HWND PlaylistEditorWindow();
