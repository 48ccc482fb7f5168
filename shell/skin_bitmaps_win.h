// The skin's bitmaps: the one place every window takes them from (the
// built-in ones, compiled in as resources).
#pragma once

#include <windows.h>

// A skin bitmap by its resource id (IDB_*) as a DIB section, or nullptr.
// The caller owns it.
HBITMAP LoadSkinBitmap(int id);
