// vorlo-tool-tray: drives and reads the player's tray icon and mini
// controller from outside, for tests/wine/tray_check.sh. One step per run,
// its result on standard output:
//
//   state                   "visible V iconic I" of the main window
//   minimize | restore      ShowWindow SW_MINIMIZE / SW_RESTORE on it
//   present                 "icon 1" when the shell still knows icon 12345 of
//                           the main window (a NIM_MODIFY that changes nothing)
//   tips                    every tip of the shell's tray tooltips, one a line
//                           (read from explorer's tooltip controls)
//   notify MSG              WM_VORLO_TRAY to the main window, MSG one of
//                           down up rdown dblclk, or tap: down and up at once
//   mini                    "mini HWND x y w h" of the controller, or "mini none"
//   click ID                BM_CLICK on the controller's control ID
//   press X Y               the left button down and up at the controller's
//                           client point (X, Y): "press ID" of the control there
//   seek N                  the controller's slider dragged to N and released
//   slider                  "slider N", the slider's position
//   outside                 activates a window of this tool (a click elsewhere),
//                           "mini closed" once the controller has gone
//   menu                    "menu 1" when a popup menu window is shown
//   current                 the path in the shared section "VORLOCurrentFile"
//   windows                 every top-level window (to look at a failure)
//   icons EXE               icon group count, and whether icon indices 13 and
//                           14 of EXE are resources 131 and 132, pixel for pixel
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tool_util.h"

namespace {

constexpr UINT kTrayMessage = 0x9388;
constexpr UINT kTrayIconId = 12345;
constexpr int kSlider = 1376;

HWND Main() { return FindWindowA(tool::kMainClass, nullptr); }

HWND Mini() {
    HWND main = Main();
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
        if (GetWindow(w, GW_OWNER) == main && GetDlgItem(w, kSlider)) return w;
    return nullptr;
}

void Pump(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    while (static_cast<int>(end - GetTickCount()) > 0) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        Sleep(10);
    }
}

// Texts of the tools of one tooltip control in another process: the text
// buffer and the tool record must live in that process for TTM_ENUMTOOLSW,
// laid out for its word size (Wine's explorer is a 64-bit process).
void ReadTips(HWND tip, std::vector<std::string>& out) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tip, &pid);
    HANDLE proc = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION | PROCESS_VM_READ |
                                  PROCESS_VM_WRITE, FALSE, pid);
    if (!proc) return;
    BOOL selfWow = FALSE, targetWow = FALSE;
    IsWow64Process(GetCurrentProcess(), &selfWow);
    IsWow64Process(proc, &targetWow);
    const bool wide64 = selfWow && !targetWow;
    constexpr SIZE_T kRecord = 80;  // room for either layout
    constexpr int kChars = 1024;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(proc, nullptr, kRecord + kChars * sizeof(WCHAR), MEM_COMMIT, PAGE_READWRITE));
    if (remote) {
        const int count = static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            unsigned char record[kRecord] = {};
            const auto text = reinterpret_cast<UINT_PTR>(remote + kRecord);
            if (wide64) {
                const UINT size = 72;  // cbSize ... lpszText at 48 ... lpReserved
                const unsigned long long where = text;
                std::memcpy(record, &size, 4);
                std::memcpy(record + 48, &where, 8);
            } else {
                TTTOOLINFOW ti = {};
                ti.cbSize = sizeof ti;
                ti.lpszText = reinterpret_cast<LPWSTR>(text);
                std::memcpy(record, &ti, sizeof ti);
            }
            WCHAR buffer[kChars] = {};
            SIZE_T n = 0;
            WriteProcessMemory(proc, remote, record, sizeof record, &n);
            WriteProcessMemory(proc, remote + kRecord, buffer, sizeof buffer, &n);
            if (!SendMessageW(tip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(remote))) continue;
            ReadProcessMemory(proc, remote + kRecord, buffer, sizeof buffer, &n);
            buffer[kChars - 1] = 0;
            char narrow[kChars];
            WideCharToMultiByte(CP_ACP, 0, buffer, -1, narrow, sizeof narrow, nullptr, nullptr);
            out.push_back(narrow);
        }
        VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
    }
    CloseHandle(proc);
}

BOOL CALLBACK CollectTooltips(HWND w, LPARAM list) {
    char cls[64];
    if (GetClassNameA(w, cls, sizeof cls) && lstrcmpiA(cls, TOOLTIPS_CLASSA) == 0)
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
    return TRUE;
}

// Pixels of an icon drawn at 32 x 32 on black and on white (the two give
// colour and mask).
std::vector<DWORD> IconPixels(HICON icon) {
    std::vector<DWORD> px;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 32;
    bi.bmiHeader.biHeight = -32;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    for (int ground : {BLACK_BRUSH, WHITE_BRUSH}) {
        RECT r = {0, 0, 32, 32};
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(ground)));
        DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
        GdiFlush();
        px.insert(px.end(), static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + 32 * 32);
    }
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return px;
}

int Icons(const char* exe) {
    const UINT groups = ExtractIconExA(exe, -1, nullptr, nullptr, 0);
    std::printf("groups %u\n", groups);
    HMODULE mod = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!mod) return 1;
    for (int index : {12, 13, 14}) {
        HICON large = nullptr;
        ExtractIconExA(exe, index, &large, nullptr, 1);
        for (int id : {124, 131, 132}) {
            HICON res = static_cast<HICON>(LoadImageA(mod, MAKEINTRESOURCEA(id), IMAGE_ICON, 32, 32, 0));
            const bool same = large && res && IconPixels(large) == IconPixels(res);
            if (same) std::printf("index %d is %d\n", index, id);
            if (res) DestroyIcon(res);
        }
        if (large) DestroyIcon(large);
    }
    FreeLibrary(mod);
    return 0;
}

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vorlo-tool-tray STEP [ARG]\n");
        return 2;
    }
    const std::string step = argv[1];
    const char* arg = argc > 2 ? argv[2] : "";
    HWND main = Main();
    if (!main && step != "icons") {
        std::printf("no player window\n");
        return 1;
    }
    if (step == "state") {
        std::printf("visible %d iconic %d\n", IsWindowVisible(main) ? 1 : 0, IsIconic(main) ? 1 : 0);
    } else if (step == "minimize" || step == "restore") {
        ShowWindow(main, step == "minimize" ? SW_MINIMIZE : SW_RESTORE);
    } else if (step == "present") {
        NOTIFYICONDATAA nid = {};
        nid.cbSize = sizeof nid;
        nid.hWnd = main;
        nid.uID = kTrayIconId;
        std::printf("icon %d\n", Shell_NotifyIconA(NIM_MODIFY, &nid) ? 1 : 0);
    } else if (step == "tips") {
        std::vector<HWND> tips;
        EnumWindows(CollectTooltips, reinterpret_cast<LPARAM>(&tips));
        std::vector<std::string> texts;
        for (HWND t : tips) ReadTips(t, texts);
        for (const std::string& s : texts) std::printf("tip [%s] %u\n", s.c_str(), static_cast<unsigned>(s.size()));
    } else if (step == "notify") {
        const std::string m = arg;
        const UINT msg = m == "down" || m == "tap" ? WM_LBUTTONDOWN : m == "up" ? WM_LBUTTONUP
                       : m == "rdown" ? WM_RBUTTONDOWN : WM_LBUTTONDBLCLK;
        PostMessageA(main, kTrayMessage, kTrayIconId, msg);
        if (m == "tap") PostMessageA(main, kTrayMessage, kTrayIconId, WM_LBUTTONUP);
    } else if (step == "mini") {
        HWND mini = Mini();
        RECT r = {};
        if (mini) GetWindowRect(mini, &r);
        if (mini && IsWindowVisible(mini))
            std::printf("mini %p %ld %ld %ld %ld\n", static_cast<void*>(mini), r.left, r.top,
                        r.right - r.left, r.bottom - r.top);
        else
            std::printf("mini none\n");
    } else if (step == "click") {
        HWND mini = Mini();
        HWND button = mini ? GetDlgItem(mini, std::atoi(arg)) : nullptr;
        if (!button) { std::printf("no control %s\n", arg); return 1; }
        // A press without the pointer: WM_COMMAND BN_CLICKED from the button.
        SendMessageA(mini, WM_COMMAND, MAKEWPARAM(std::atoi(arg), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    } else if (step == "press" && argc > 3) {
        HWND mini = Mini();
        POINT pt = {std::atoi(arg), std::atoi(argv[3])};
        HWND child = mini ? ChildWindowFromPoint(mini, pt) : nullptr;
        if (!child) { std::printf("press none\n"); return 1; }
        MapWindowPoints(mini, child, &pt, 1);
        PostMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
        PostMessageA(child, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
        std::printf("press %d\n", GetDlgCtrlID(child));
    } else if (step == "seek") {
        HWND mini = Mini();
        HWND slider = mini ? GetDlgItem(mini, kSlider) : nullptr;
        if (!slider) { std::printf("no slider\n"); return 1; }
        const int pos = std::atoi(arg);
        const LPARAM from = reinterpret_cast<LPARAM>(slider);
        // What the trackbar sends its parent for a drag of the thumb.
        SendMessageA(mini, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, pos), from);
        SendMessageA(slider, TBM_SETPOS, TRUE, pos);
        SendMessageA(mini, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, pos), from);
        SendMessageA(mini, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, pos), from);
        SendMessageA(mini, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), from);
    } else if (step == "slider") {
        HWND mini = Mini();
        HWND slider = mini ? GetDlgItem(mini, kSlider) : nullptr;
        std::printf("slider %d\n", slider ? static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0)) : -1);
    } else if (step == "outside") {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "VorloTrayOutside";
        RegisterClassA(&wc);
        HWND w = CreateWindowA("VorloTrayOutside", "outside", WS_POPUP | WS_VISIBLE, 600, 500, 120, 80,
                               nullptr, nullptr, wc.hInstance, nullptr);
        SetForegroundWindow(w);
        SetActiveWindow(w);
        // The controller closes when it hears of its deactivation, which
        // under Wine can take a second or two.
        for (int waited = 0; Mini() && waited < 5000; waited += 50) Pump(50);
        std::printf("mini %s\n", Mini() ? "open" : "closed");
        DestroyWindow(w);
    } else if (step == "menu") {
        std::printf("menu %d\n", FindWindowA("#32768", nullptr) && IsWindowVisible(FindWindowA("#32768", nullptr)) ? 1 : 0);
    } else if (step == "current") {
        HANDLE map = OpenFileMappingA(FILE_MAP_READ, FALSE, "VORLOCurrentFile");
        const char* view = map ? static_cast<const char*>(MapViewOfFile(map, FILE_MAP_READ, 0, 0, 261)) : nullptr;
        std::printf("current [%.260s]\n", view ? view : "");
        if (view) UnmapViewOfFile(view);
        if (map) CloseHandle(map);
    } else if (step == "windows") {
        // Every top-level window: class, pid, owner, visible, and the active one.
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
            char cls[64] = "", title[64] = "";
            GetClassNameA(w, cls, sizeof cls);
            GetWindowTextA(w, title, sizeof title);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            std::printf("%p %s [%s] pid %lu owner %p visible %d\n", static_cast<void*>(w), cls, title, pid,
                        static_cast<void*>(GetWindow(w, GW_OWNER)), IsWindowVisible(w) ? 1 : 0);
        }
        std::printf("foreground %p\n", static_cast<void*>(GetForegroundWindow()));
    } else if (step == "icons") {
        return Icons(arg);
    } else {
        std::fprintf(stderr, "unknown step %s\n", step.c_str());
        return 2;
    }
    return 0;
}
