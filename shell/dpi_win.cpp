#include "shell/dpi_win.h"

#include <atomic>

namespace {

std::atomic<int> g_scale{1};

template <typename F>
F Lookup(const char* module, const char* name) {
    HMODULE m = GetModuleHandleA(module);
    if (!m) m = LoadLibraryA(module);
    return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE(_V2) and PROCESS_PER_MONITOR_DPI_AWARE.
const HANDLE kPerMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
const HANDLE kPerMonitorV1 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
constexpr int kProcessPerMonitor = 2;
constexpr int kMonitorEffectiveDpi = 0;

}  // namespace

void EnableDpiAwareness() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    using SetAwareness = HRESULT(WINAPI*)(int);
    using SetAware = BOOL(WINAPI*)();
    if (auto set = Lookup<SetContext>("user32.dll", "SetProcessDpiAwarenessContext"))
        if (set(kPerMonitorV2) || set(kPerMonitorV1)) return;
    if (auto set = Lookup<SetAwareness>("shcore.dll", "SetProcessDpiAwareness"))
        if (SUCCEEDED(set(kProcessPerMonitor))) return;
    if (auto set = Lookup<SetAware>("user32.dll", "SetProcessDPIAware")) set();
}

int WindowDpi(HWND window) {
    using ForWindow = UINT(WINAPI*)(HWND);
    using ForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    if (auto get = Lookup<ForWindow>("user32.dll", "GetDpiForWindow"))
        if (UINT dpi = get(window)) return static_cast<int>(dpi);
    if (auto get = Lookup<ForMonitor>("shcore.dll", "GetDpiForMonitor")) {
        UINT x = 0, y = 0;
        if (SUCCEEDED(get(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), kMonitorEffectiveDpi, &x, &y)) && x)
            return static_cast<int>(x);
    }
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

int SkinScale() { return g_scale.load(); }
void SetSkinScale(int scale) { g_scale.store(scale); }

void SkinBlit(HDC window, int x, int y, int w, int h, HDC src, int sx, int sy) {
    const int s = SkinScale();
    if (s == 1) {
        BitBlt(window, x, y, w, h, src, sx, sy, SRCCOPY);
        return;
    }
    SetStretchBltMode(window, COLORONCOLOR);
    StretchBlt(window, x * s, y * s, w * s, h * s, src, sx, sy, w, h, SRCCOPY);
}
