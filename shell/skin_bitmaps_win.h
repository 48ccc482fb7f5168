// The skin's bitmaps: the one place every window takes them from (the
// built-in ones, compiled in as resources, or those of the user skin
// chosen in the preferences).
#pragma once

#include <windows.h>

#include <string>

// A skin bitmap by its resource id (IDB_*) as a DIB section, or nullptr:
// the chosen user skin's image when it holds one, else the built-in one.
// The caller owns it. Any thread may call it.
HBITMAP LoadSkinBitmap(int id);

// Makes skin name of the Skins folder beside the executable (empty: the
// built-in skin) the one LoadSkinBitmap draws from. Returns the message that
// names the bitmaps which fell back to the built-in ones, empty when none
// did. The windows reload their bitmaps themselves (ApplySkinSetting).
std::string SelectSkin(const char* name);
// The Skins folder beside the executable, ending in its separator.
std::string SkinsDirectory();
