#include "shell/skin_bitmaps_win.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "settings/settings.h"
#include "shell/main_window.h"
#include "shell/user_skin.h"

namespace {

// The chosen user skin; null for the built-in one. Replaced whole, so that
// a thread loading a bitmap keeps the skin it started with.
std::mutex g_lock;
std::shared_ptr<const UserSkin> g_skin;

// A 32-bit top-down DIB section holding the image.
HBITMAP MakeDib(const skin::Image& img) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = img.width;
    bi.bmiHeader.biHeight = -img.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bmp && bits) std::memcpy(bits, img.pixels.data(), img.pixels.size() * sizeof(uint32_t));
    return bmp;
}

}  // namespace

HBITMAP LoadSkinBitmap(int id) {
    std::shared_ptr<const UserSkin> skin;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        skin = g_skin;
    }
    const int index = SkinBitmapIndex(id);
    if (skin && index >= 0 && skin->images[index].width > 0) {
        if (HBITMAP bmp = MakeDib(skin->images[index])) return bmp;
    }
    return static_cast<HBITMAP>(LoadImageA(g_hInstance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                           LR_CREATEDIBSECTION));
}

std::string SkinsDirectory() {
    char exeDir[MAX_PATH];
    GetExeDirectory(exeDir, sizeof exeDir);
    return std::string(exeDir) + kSkinsFolder + "\\";
}

std::string SelectSkin(const char* name) {
    std::shared_ptr<UserSkin> skin;
    if (name && *name) {
        skin = std::make_shared<UserSkin>();
        LoadUserSkin(SkinsDirectory(), name, skin.get());
    }
    std::string message = skin ? skin->message : std::string();
    std::lock_guard<std::mutex> hold(g_lock);
    g_skin = std::move(skin);
    return message;
}
