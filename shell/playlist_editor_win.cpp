// Placeholder: the editor window is being written.
#include "shell/playlist_editor_win.h"

namespace {
HWND s_editor = nullptr;
int s_refreshEnabled = 0;
}  // namespace

int PlaylistEditorShow() { return 0; }
int PlaylistEditorClose() { s_editor = nullptr; return 1; }
int PlaylistEditorIsOpen() { return s_editor != nullptr; }
void PlaylistEditorRefresh() {}
void PlaylistEditorEnableRefresh(int enabled) { s_refreshEnabled = enabled; }
HWND PlaylistEditorWindow() { return s_editor; }
