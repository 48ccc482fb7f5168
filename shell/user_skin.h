// User skins for the main window: which skin bitmaps a skin may replace,
// the file name and size of each, and the loading of a skin with its
// fallbacks. Portable: the Win32 side turns the images into DIB sections.
#pragma once

#include <string>
#include <vector>

#include "shell/skin_geometry.h"
#include "skin/bmp.h"

// The folder beside the executable that holds the skins, and the name the
// preferences show for the built-in skin (stored as an empty Skin).
constexpr char kSkinsFolder[] = "Skins";
constexpr char kBuiltInSkinName[] = "Built-in";

struct SkinBitmapSpec {
    int id;  // kBmp*
    int width, height;
};
constexpr int kSkinBitmapCount = 7;
constexpr SkinBitmapSpec kSkinBitmapSpecs[kSkinBitmapCount] = {
    {kBmpBackground, 258, 191}, {kBmpSmallButtons, 100, 60}, {kBmpLedGlyphs, 1070, 16},
    {kBmpDialLit, 48, 47},      {kBmpTransport, 162, 80},    {kBmpLevels, 18, 79},
    {kBmpLedSymbols, 146, 36},
};
// The index of id in kSkinBitmapSpecs, or -1.
int SkinBitmapIndex(int id);
// A bitmap's file name in a skin: the built-in resource's, "skin102.bmp".
std::string SkinBitmapFileName(int id);

// The preferences' list: kBuiltInSkinName, then the skins of directory dir
// (ending in its separator) whose names a Skin setting can hold.
std::vector<std::string> SkinChoices(const std::string& dir);
// The Skin setting of an entry of that list: empty for kBuiltInSkinName.
std::string SkinSettingOf(const std::string& choice);

struct UserSkin {
    skin::Image images[kSkinBitmapCount];  // width 0: the built-in one
    std::string message;  // names the bitmaps that fell back; empty when none did
};

// Loads skin name (as ListSkins gives it) from directory dir (ending in its
// separator). Every bitmap that is missing, refused by the reader or of
// another size than the built-in one stays empty and is named, with the
// reason, in out->message.
void LoadUserSkin(const std::string& dir, const std::string& name, UserSkin* out);
