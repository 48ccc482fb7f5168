// The LED display thread (see led_win.h).
//
// Each frame is composed in an off-screen bitmap of the panel's size and
// copied to the window in one blit, so the panel never shows a half-drawn
// frame. The song name is rendered once per track into a strip of glyphs;
// a frame copies a 146-pixel window of it.
#include "shell/led_win.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "output/output_driver.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "playlist/playlist.h"
#include "resources/resource.h"
#include "shell/dpi_win.h"
#include "shell/gdi_raii_win.h"
#include "shell/main_window.h"
#include "shell/player_win.h"
#include "settings/settings.h"
#include "shell/skin_bitmaps_win.h"
#include "shell/skin_geometry.h"

namespace {

constexpr unsigned kLedStackSize = 16384;
constexpr unsigned kLedFrameMs = 125;
constexpr unsigned kLedStopWait = 3000;
constexpr unsigned kLedPaintRequest = 0x000F;  // WM_PAINT, as a thread message
constexpr unsigned kLedReloadRequest = 0x6410;  // the skin changed

struct LedState {
    HWND window = nullptr;
    int x = kLedX, y = kLedY, width = kLedWidth, height = kLedHeight;
    HDC offDc = nullptr;
    HBITMAP offBitmap = nullptr;
    HGDIOBJ offOld = nullptr;
    plat::Event wake = nullptr;
    plat::Thread thread = nullptr;
    uint32_t threadId = 0;
    std::atomic<unsigned> frames{0};
};
LedState g_led;

// What the thread holds for its life.
struct LedThreadRes {
    Bitmap glyphs, symbols, background, strip;
    int stripWidth = 0;
    LedScroll scroll{0, 2, 0};
    int blink = 0;
    unsigned frame = 0;
};

// The name shown for the current entry: "title / artist" from its tags, else
// its file's title; "VORLO 1.00" with no current entry.
void CurrentName(char* name, size_t size) {
    PlaylistEntry e;
    if (!PlaylistGetCurrentEntry(&e)) {
        std::snprintf(name, size, "%s", kMainWindowTitle);
        return;
    }
    if (e.titles.source != kTitleNone)
        std::snprintf(name, size, "%s / %s", e.titles.title, e.titles.artist);
    else
        GetPathTitle(e.path, name, 256);
}

// Draws glyph n at x, y of dst from the glyph strip in src.
void DrawGlyph(HDC dst, int x, int y, HDC src, int n) {
    BitBlt(dst, x, y, kGlyphWidth, kGlyphHeight, src, kGlyphWidth * n, 0, SRCCOPY);
}

// The name drawn is also kept as a global atom in the main window's
// property "VorloLedName", where another process (a test driver) reads it.
void PublishLedName(const char* name) {
    char cut[256];
    std::snprintf(cut, sizeof cut, "%s", name[0] ? name : " ");
    ATOM atom = GlobalAddAtomA(cut);
    ATOM old = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(g_led.window, "VorloLedName")));
    SetPropA(g_led.window, "VorloLedName", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
    if (old) GlobalDeleteAtom(old);
}

void BuildNameStrip(HDC screen, LedThreadRes* r) {
    char name[600];  // "title / artist": two texts of up to 255 bytes
    CurrentName(name, sizeof name);
    PublishLedName(name);
    // One cell per character of the UTF-8 name, whatever its bytes.
    const std::vector<int> glyphs = LedGlyphsOf(name);
    const int chars = static_cast<int>(glyphs.size());
    // At least the panel's width, so a short name never copies from outside
    // the strip; the rest shows blank glyphs.
    const int minChars = (g_led.width + kGlyphWidth - 1) / kGlyphWidth;
    const int cells = chars > minChars ? chars : minChars;
    r->strip.reset(CreateCompatibleBitmap(screen, cells * kGlyphWidth, kGlyphHeight));
    r->stripWidth = chars * kGlyphWidth;
    if (r->strip) {
        MemoryDc dst(screen), src(screen);
        Selection s1(dst.get(), r->strip.get());
        Selection s2(src.get(), r->glyphs.get());
        for (int i = 0; i < cells; ++i)
            DrawGlyph(dst.get(), kGlyphWidth * i, 0, src.get(), i < chars ? glyphs[i] : LedGlyphIndex(' '));
    }
    r->scroll.maxOffset = LedMaxOffset(chars);
    r->scroll.offset = 0;
}

void DrawFrame(HDC screen, LedThreadRes* r) {
    HDC off = g_led.offDc;
    MemoryDc src(screen);
    {
        Selection s(src.get(), r->background.get());
        BitBlt(off, 0, 0, g_led.width, g_led.height, src.get(), g_led.x, g_led.y, SRCCOPY);
    }
    if (++r->frame % 4 == 0) r->blink ^= 1;
    {
        Selection s(src.get(), r->symbols.get());
        BitBlt(off, 60, 22, 8, 11, src.get(), LedSymbolColumn(PlayerState.load()), r->blink ? 10 : 0,
               SRCCOPY);
    }
    {
        Selection s(src.get(), r->glyphs.get());
        char t[32];
        const AudioOutputDriver* out = g_outputDriver;
        LedFormatTime(out && out->GetPosition ? out->GetPosition() : 0, t, sizeof t);
        for (int i = 0, x = 72; t[i] && x <= 151; ++i, x += 10)
            DrawGlyph(off, x, 20, src.get(), LedGlyphIndex(t[i]));
    }
    if (r->strip) {
        Selection s(src.get(), r->strip.get());
        BitBlt(off, 0, 0, g_led.width, kGlyphHeight, src.get(), r->scroll.offset, 0, SRCCOPY);
    }
    LedAdvanceScroll(&r->scroll, g_settings.LEDAutoScrollSongName);
    SkinBlit(screen, g_led.x, g_led.y, g_led.width, g_led.height, off, 0, 0);
    g_led.frames++;
}

void LoadBitmaps(LedThreadRes* r) {
    r->glyphs.reset(LoadSkinBitmap(IDB_LED_GLYPHS));
    r->symbols.reset(LoadSkinBitmap(IDB_LED_SYMBOLS));
    // A copy of its own: a bitmap can be selected into one context at a
    // time, and the window's paint uses its own.
    r->background.reset(LoadSkinBitmap(IDB_BACKGROUND));
}

unsigned LedThread(void*) {
    WindowDc screen(g_led.window);
    LedThreadRes r;
    LoadBitmaps(&r);
    for (;;) {
        plat::ThreadMsg m;
        if (plat::ThreadPeekMessage(&m)) {
            if (m.msg == plat::kMsgQuit) break;
            if (m.msg == kLedReloadRequest) LoadBitmaps(&r);
            if (m.msg == kLedPaintRequest || m.msg == kLedReloadRequest) BuildNameStrip(screen.get(), &r);
        }
        // Off screen: asleep until woken (a paint, a new name, the quit).
        if (!WindowOnScreen(g_led.window)) {
            plat::EventWait(g_led.wake, plat::kWaitInfinite);
            continue;
        }
        plat::EventWait(g_led.wake, kLedFrameMs);
        if (screen && WindowOnScreen(g_led.window)) DrawFrame(screen.get(), &r);
    }
    return 0;
}

}  // namespace

int StartLedDisplay(HWND window, int x, int y, int width, int height) {
    g_led.window = window;
    g_led.x = x;
    g_led.y = y;
    g_led.width = width;
    g_led.height = height;
    {
        WindowDc screen(window);
        g_led.offDc = CreateCompatibleDC(screen.get());
        g_led.offBitmap = CreateCompatibleBitmap(screen.get(), width, height);
    }
    if (!g_led.offDc || !g_led.offBitmap) {
        StopLedDisplay();
        return 0;
    }
    g_led.offOld = SelectObject(g_led.offDc, g_led.offBitmap);
    g_led.wake = plat::EventCreate(false, false);
    g_led.thread = plat::ThreadStart(LedThread, nullptr, kLedStackSize, &g_led.threadId);
    if (!g_led.thread) {
        StopLedDisplay();
        return 0;
    }
    while (!plat::ThreadPost(g_led.threadId, kLedPaintRequest, 0, 0)) plat::SleepMs(10);
    return 1;
}

void StopLedDisplay() {
    if (g_led.thread) {
        plat::ThreadPost(g_led.threadId, plat::kMsgQuit, 0, 0);
        plat::EventSet(g_led.wake);
        if (!plat::ThreadWait(g_led.thread, kLedStopWait)) {
            plat::ThreadTerminate(g_led.thread, 0);
            plat::ShowMessageBox(g_led.window, "Had To TerminateThread()...", "Error Message...",
                                 plat::MbIconError | plat::MbTopmost | plat::MbSetForeground);
        }
        plat::ThreadClose(g_led.thread);
        g_led.thread = nullptr;
        g_led.threadId = 0;
    }
    if (g_led.wake) plat::EventClose(g_led.wake);
    g_led.wake = nullptr;
    if (g_led.offDc) {
        if (g_led.offOld) SelectObject(g_led.offDc, g_led.offOld);
        DeleteDC(g_led.offDc);
    }
    if (g_led.offBitmap) DeleteObject(g_led.offBitmap);
    g_led.offDc = nullptr;
    g_led.offBitmap = nullptr;
    g_led.offOld = nullptr;
}

void RefreshLedName() {
    if (g_led.threadId) plat::ThreadPost(g_led.threadId, kLedPaintRequest, 0, 0);
    if (g_led.wake) plat::EventSet(g_led.wake);
}

void WakeLedDisplay() {
    if (g_led.wake) plat::EventSet(g_led.wake);
}

void ReloadLedBitmaps() {
    if (g_led.threadId) plat::ThreadPost(g_led.threadId, kLedReloadRequest, 0, 0);
    if (g_led.wake) plat::EventSet(g_led.wake);
}
unsigned LedFramesDrawn() { return g_led.frames.load(); }
