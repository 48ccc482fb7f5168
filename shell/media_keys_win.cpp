#include "shell/media_keys_win.h"

#include <cstring>

#include "settings/settings.h"
#include "shell/media_keys.h"
#include "shell/player_control.h"

static_assert(VK_MEDIA_PLAY_PAUSE == 0xB3 && VK_MEDIA_STOP == 0xB2 && VK_MEDIA_NEXT_TRACK == 0xB0 &&
                  VK_MEDIA_PREV_TRACK == 0xB1,
              "the table's virtual keys");
static_assert(APPCOMMAND_MEDIA_PLAY_PAUSE == 14 && APPCOMMAND_MEDIA_STOP == 13 &&
                  APPCOMMAND_MEDIA_NEXTTRACK == 11 && APPCOMMAND_MEDIA_PREVIOUSTRACK == 12,
              "the table's application commands");

namespace {

// A key's hot key id is its virtual key (ids below 0xC000 are the program's).
bool g_registered[kMediaKeyCount] = {};
bool g_reported = false;

}  // namespace

void ApplyMediaKeys(HWND window) {
    if (g_settings.GlobalMediaKeys != 1) {
        ReleaseMediaKeys(window);
        return;
    }
    char refused[128] = "VORLO: media keys held by another program:";
    bool any = false;
    for (int i = 0; i < kMediaKeyCount; ++i) {
        const MediaKey& k = kMediaKeys[i];
        if (!k.virtualKey || g_registered[i]) continue;
        g_registered[i] = RegisterHotKey(window, k.virtualKey, 0, static_cast<UINT>(k.virtualKey)) != 0;
        if (g_registered[i]) continue;
        any = true;
        std::strncat(refused, " ", sizeof refused - std::strlen(refused) - 1);
        std::strncat(refused, k.name, sizeof refused - std::strlen(refused) - 1);
    }
    if (any && !g_reported) {
        g_reported = true;
        std::strncat(refused, "\n", sizeof refused - std::strlen(refused) - 1);
        OutputDebugStringA(refused);
    }
}

void ReleaseMediaKeys(HWND window) {
    for (int i = 0; i < kMediaKeyCount; ++i) {
        if (g_registered[i]) UnregisterHotKey(window, kMediaKeys[i].virtualKey);
        g_registered[i] = false;
    }
}

int MediaKeyMessageCommand(UINT msg, WPARAM, LPARAM lParam) {
    if (msg == WM_HOTKEY) return MediaHotKeyCommand(HIWORD(lParam), PlayerState.load());
    if (msg == WM_APPCOMMAND) return MediaAppCommand(GET_APPCOMMAND_LPARAM(lParam), PlayerState.load());
    return 0;
}
