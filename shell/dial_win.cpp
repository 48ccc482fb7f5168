// The seek dial thread (see dial_win.h).
//
// Each arc is composed off-screen (the ring's background, then the lit
// ring clipped to the arc's sectors) and copied to the window in one blit:
// sweeping down therefore clears the ring beyond the new arc in the same
// step that draws it.
#include "shell/dial_win.h"

#include <atomic>

#include "platform/thread.h"
#include "resources/resource.h"
#include "shell/dpi_win.h"
#include "shell/gdi_raii_win.h"
#include "shell/main_window.h"
#include "shell/skin_bitmaps_win.h"

namespace {

constexpr unsigned kDialStackSize = 16384;
constexpr unsigned kDialStopWait = 3000;
constexpr int kDialX = 192, kDialY = 31, kDialSize = 54;

struct DialState {
    HWND window = nullptr;
    const HRGN* sectors = nullptr;
    plat::Thread thread = nullptr;
    uint32_t threadId = 0;
    std::atomic<unsigned> arcs{0};
};
DialState g_dial;

struct DialThreadRes {
    Bitmap lit, background, frame;
    HDC mem = nullptr;  // compatible with the window's context
    int target = 0, displayed = 0, lastStep = -1;
};

// The union of the ring polygons covering clockwise degrees 0..degrees,
// in the off-screen frame's coordinates.
HRGN ArcRegion(int degrees) {
    HRGN arc = CreateRectRgn(0, 0, 0, 0);
    if (!arc) return nullptr;
    for (int deg = 1; deg <= degrees && deg <= kDialSectors; ++deg) {
        HRGN s = g_dial.sectors[DialPolygonForDegree(deg)];
        if (s) CombineRgn(arc, arc, s, RGN_OR);
    }
    OffsetRgn(arc, -kDialX, -kDialY);
    return arc;
}

void DrawArc(DialThreadRes* r, int degrees) {
    if (!WindowOnScreen(g_dial.window) || !r->mem || !r->frame) return;
    // A context of the window as it is now: one taken before the window
    // showed can keep drawing where nothing appears.
    WindowDc screen(g_dial.window);
    if (!screen) return;
    MemoryDc src(screen.get());
    Selection frame(r->mem, r->frame.get());
    {
        Selection s(src.get(), r->background.get());
        BitBlt(r->mem, 0, 0, kDialSize, kDialSize, src.get(), kDialX, kDialY, SRCCOPY);
    }
    if (degrees > 0) {
        Region arc(ArcRegion(degrees));
        ClipScope clip(r->mem, arc.get());
        Selection s(src.get(), r->lit.get());
        BitBlt(r->mem, 0, 0, 64, 64, src.get(), 0, 0, SRCCOPY);
    }
    SkinBlit(screen.get(), kDialX, kDialY, kDialSize, kDialSize, r->mem, 0, 0);
    g_dial.arcs++;
}

bool PositionWaiting() {
    MSG m;
    return PeekMessageA(&m, nullptr, WM_VORLO_DIAL_SET_POSITION, WM_VORLO_DIAL_SET_POSITION,
                        PM_NOREMOVE) != 0;
}

void SetPosition(DialThreadRes* r, int p) {
    if (p < 0) p = 0;
    if (p > 100) p = 100;
    if (p == r->target) return;
    r->target = p;
    if (WindowOnScreen(g_dial.window)) {
        int steps[32];
        const int n = DialSweepSteps(r->displayed, r->target, steps, 32);
        for (int i = 0; i < n; ++i) {
            if (PositionWaiting()) break;
            const int e = DialSweepDegrees(steps[i]);
            if (e / 15 != r->lastStep) {
                DrawArc(r, e);
                r->lastStep = e / 15;
            }
        }
    }
    r->displayed = r->target;
    DrawArc(r, DialArcDegrees(r->target));
}

void LoadBitmaps(DialThreadRes* r) {
    r->lit.reset(LoadSkinBitmap(IDB_DIAL_RING));
    r->background.reset(LoadSkinBitmap(IDB_BACKGROUND));
}

unsigned DialThread(void*) {
    plat::SetCurrentThreadPriority(plat::PriorityNormal);
    WindowDc screen(g_dial.window);
    DialThreadRes r;
    LoadBitmaps(&r);
    r.frame.reset(CreateCompatibleBitmap(screen.get(), kDialSize, kDialSize));
    MemoryDc mem(screen.get());
    r.mem = mem.get();
    plat::ThreadMsg m;
    while (plat::ThreadGetMessage(&m)) {
        if (m.msg == WM_VORLO_DIAL_SET_POSITION)
            SetPosition(&r, static_cast<int>(m.lParam));
        else if (m.msg == WM_VORLO_DIAL_REDRAW)
            DrawArc(&r, DialArcDegrees(r.target));
        else if (m.msg == WM_VORLO_DIAL_RELOAD) {
            LoadBitmaps(&r);
            DrawArc(&r, DialArcDegrees(r.target));
        }
    }
    return 0;
}

}  // namespace

int StartDialThread(HWND window, const HRGN* sectors) {
    g_dial.window = window;
    g_dial.sectors = sectors;
    g_dial.thread = plat::ThreadStart(DialThread, nullptr, kDialStackSize, &g_dial.threadId);
    if (!g_dial.thread) return 0;
    // The first paint's redraw request must not be lost: a post succeeds
    // once the thread has its message queue.
    for (int tries = 0; tries < 100; ++tries) {
        if (plat::ThreadPost(g_dial.threadId, WM_VORLO_DIAL_REDRAW, 0, 0)) break;
        plat::SleepMs(10);
    }
    return 1;
}

void SetDialPosition(int percent) {
    if (!g_dial.thread) return;
    // A full queue drains within milliseconds; a thread that is gone never
    // takes the post, so the retries end after a second.
    for (int tries = 0; tries < 100; ++tries) {
        if (plat::ThreadPost(g_dial.threadId, WM_VORLO_DIAL_SET_POSITION, 0, percent)) return;
        plat::SleepMs(10);
    }
}

void RedrawDial() {
    if (g_dial.thread) plat::ThreadPost(g_dial.threadId, WM_VORLO_DIAL_REDRAW, 0, 0);
}

void ReloadDialBitmaps() {
    if (g_dial.thread) plat::ThreadPost(g_dial.threadId, WM_VORLO_DIAL_RELOAD, 0, 0);
}
unsigned DialArcsDrawn() { return g_dial.arcs.load(); }

void StopDialThread() {
    if (!g_dial.thread) return;
    plat::ThreadPost(g_dial.threadId, plat::kMsgQuit, 0, 0);
    if (!plat::ThreadWait(g_dial.thread, kDialStopWait)) plat::ThreadTerminate(g_dial.thread, 0);
    plat::ThreadClose(g_dial.thread);
    g_dial.thread = nullptr;
    g_dial.threadId = 0;
}
