#include "shell/user_skin.h"

#include <cstdio>
#include <vector>

#include "settings/settings.h"
#include "skin/skin_files.h"

int SkinBitmapIndex(int id) {
    for (int i = 0; i < kSkinBitmapCount; ++i)
        if (kSkinBitmapSpecs[i].id == id) return i;
    return -1;
}

std::string SkinBitmapFileName(int id) { return "skin" + std::to_string(id) + ".bmp"; }

std::vector<std::string> SkinChoices(const std::string& dir) {
    std::vector<std::string> out{kBuiltInSkinName};
    for (const std::string& name : skin::ListSkins(dir))
        if (name.size() < kSettingsNameSize && name != kBuiltInSkinName) out.push_back(name);
    return out;
}

std::string SkinSettingOf(const std::string& choice) { return choice == kBuiltInSkinName ? "" : choice; }

void LoadUserSkin(const std::string& dir, const std::string& name, UserSkin* out) {
    *out = UserSkin();
    skin::SkinFiles files;
    std::string error;
    if (!files.Open(dir, name, &error)) {
        out->message = "Skin \"" + name + "\" cannot be used (" + error + "); the built-in skin is shown.";
        return;
    }
    std::string fallbacks;
    for (int i = 0; i < kSkinBitmapCount; ++i) {
        const SkinBitmapSpec& spec = kSkinBitmapSpecs[i];
        const std::string file = SkinBitmapFileName(spec.id);
        std::vector<uint8_t> bytes;
        skin::Image img;
        if (files.Read(file, &bytes, &error) && skin::DecodeBmp(bytes.data(), bytes.size(), &img, &error)) {
            if (img.width == spec.width && img.height == spec.height) {
                out->images[i] = std::move(img);
                continue;
            }
            char text[64];
            std::snprintf(text, sizeof text, "%d x %d instead of %d x %d", img.width, img.height, spec.width,
                          spec.height);
            error = text;
        }
        fallbacks += "\r\n" + file + ": " + error;
    }
    if (!fallbacks.empty())
        out->message = "Skin \"" + name + "\" uses the built-in bitmap for:" + fallbacks;
}
