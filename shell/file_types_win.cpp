// Placeholder: file-type registration is being written.
#include "shell/file_types_win.h"

void RegisterFileTypes(HWND) {}
