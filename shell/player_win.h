// The pieces of the main window that the display threads and the other
// windows of the shell reach (Win32 only); PlayerState is in
// player_control.h.
#pragma once

#include <windows.h>

#include "shell/player_control.h"

// The open-file dialog "Open a MP3 Or Playlist..." owned by owner: multiple
// selection, starting in PreviousDir, the filter list from filterIndex (0
// all supported, 1 MPEG audio, 2 playlists) to its end. The chosen names go
// through PlaylistOpenChosenFiles (clearing the playlist first when
// clearFirst is set). Returns the number of names opened, 0 when cancelled.
int PlaylistOpenDialog(HWND owner, int clearFirst, int filterIndex);

// The "Open URL..." dialog (125) owned by owner: true on "Open", with up to
// IDC_URL_MAX characters of the edit in text (IDC_URL_MAX + 1 bytes).
bool AskForUrl(HWND owner, char* text);

// The platform's title of a path (GetFileTitleA: the file name, without its
// extension where the shell hides extensions), at most size - 1 characters;
// the path itself when it has no title (a URL).
void GetPathTitle(const char* path, char* out, int size);
