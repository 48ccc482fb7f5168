// vorlo-testdriver: drives a running vorlo.exe from outside, the way the
// integration check under Wine needs it. One invocation runs its arguments
// as a list of steps, in order, and stops at the first step that fails:
//
//   find MS            wait up to MS ms for a window of class VorMainWindow;
//                      prints "window TITLE WIDTHxHEIGHT at X,Y pid N"
//   count              prints "windows N" (top-level VorMainWindow windows)
//   region X,Y...      prints "in X,Y" or "out X,Y" per client pixel, by the
//                      window region (GetWindowRgn + PtInRegion)
//   copydata CODE [TEXT]   WM_COPYDATA hand-over record; prints "result R"
//   copyindex N        hand-over record 3: entry index in the byte count
//   command ID         WM_COMMAND with the id (sent); prints "result R"
//   down X Y | up X Y | move X Y   posts the mouse message at client X,Y
//                      (down/move carry MK_LBUTTON)
//   click X Y          down, then up, at X,Y
//   sleep MS           waits
//   box MS             waits up to MS ms for a dialog of the player's
//                      process; prints "box CAPTION|TEXT" and presses OK
//   nobox MS           fails if a dialog shows up within MS ms
//   ledname            prints "led NAME": the song name the LED draws now
//   close MS           WM_CLOSE, then waits up to MS ms for the process to
//                      end; prints "exit CODE"
//
// Exit status: 0 every step succeeded, 1 a step failed (its reason on
// standard output as "fail: ..."), 2 usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kClass[] = "VorMainWindow";

HWND g_window = nullptr;
DWORD g_pid = 0;

void Fail(const char* what, const char* detail = "") {
    std::printf("fail: %s%s\n", what, detail);
    std::fflush(stdout);
}

BOOL CALLBACK CountWindows(HWND hwnd, LPARAM param) {
    char cls[64];
    if (GetClassNameA(hwnd, cls, sizeof cls) && std::strcmp(cls, kClass) == 0)
        ++*reinterpret_cast<int*>(param);
    return TRUE;
}

// Finds the player's window; true when there is one.
bool Locate() {
    g_window = FindWindowA(kClass, nullptr);
    if (!g_window) return false;
    GetWindowThreadProcessId(g_window, &g_pid);
    return true;
}

bool StepFind(int ms) {
    const DWORD start = GetTickCount();
    while (!Locate() || !IsWindowVisible(g_window)) {
        if (GetTickCount() - start > static_cast<DWORD>(ms)) {
            Fail("no VorMainWindow window");
            return false;
        }
        Sleep(50);
    }
    char title[256] = "";
    GetWindowTextA(g_window, title, sizeof title);
    RECT rc;
    GetWindowRect(g_window, &rc);
    std::printf("window %s %ldx%ld at %ld,%ld pid %lu\n", title, rc.right - rc.left,
                rc.bottom - rc.top, rc.left, rc.top, static_cast<unsigned long>(g_pid));
    return true;
}

bool NeedWindow() {
    if (g_window && IsWindow(g_window)) return true;
    if (Locate()) return true;
    Fail("no VorMainWindow window");
    return false;
}

bool StepRegion(const char* point) {
    int x, y;
    if (std::sscanf(point, "%d,%d", &x, &y) != 2) {
        Fail("bad point ", point);
        return false;
    }
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    const int kind = GetWindowRgn(g_window, rgn);
    if (kind == ERROR) {
        DeleteObject(rgn);
        Fail("the window has no region");
        return false;
    }
    // The region is in window coordinates; the window has no frame, so
    // these are the client coordinates too.
    std::printf("%s %d,%d\n", PtInRegion(rgn, x, y) ? "in" : "out", x, y);
    DeleteObject(rgn);
    return true;
}

bool StepCopyData(DWORD code, const void* data, DWORD bytes) {
    COPYDATASTRUCT cds;
    cds.dwData = code;
    cds.cbData = bytes;
    cds.lpData = const_cast<void*>(data);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(g_window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds),
                             SMTO_NORMAL, 10000, &result)) {
        Fail("WM_COPYDATA not answered in 10 s");
        return false;
    }
    std::printf("result %lu\n", static_cast<unsigned long>(result));
    return true;
}

bool StepCommand(int id) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(g_window, WM_COMMAND, static_cast<WPARAM>(id), 0, SMTO_NORMAL,
                             10000, &result)) {
        Fail("WM_COMMAND not answered in 10 s");
        return false;
    }
    std::printf("result %lu\n", static_cast<unsigned long>(result));
    return true;
}

bool StepMouse(UINT msg, int x, int y) {
    const WPARAM keys = msg == WM_LBUTTONUP ? 0 : MK_LBUTTON;
    if (!PostMessageA(g_window, msg, keys, MAKELPARAM(x, y))) {
        Fail("PostMessage failed");
        return false;
    }
    return true;
}

struct BoxSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<BoxSearch*>(param);
    char cls[64];
    if (!GetClassNameA(hwnd, cls, sizeof cls) || std::strcmp(cls, "#32770") != 0) return TRUE;
    if (!IsWindowVisible(hwnd)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (s->pid && pid != s->pid) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A dialog of the player's process (any process of this Wine when the
// player has no window yet: start-up reports before it creates one).
HWND WaitBox(int ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        BoxSearch s{0, nullptr};
        if (Locate()) s.pid = g_pid;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        if (GetTickCount() - start > static_cast<DWORD>(ms)) return nullptr;
        Sleep(50);
    }
}

bool StepBox(int ms) {
    HWND box = WaitBox(ms);
    if (!box) {
        Fail("no message box");
        return false;
    }
    char caption[256] = "", text[1024] = "";
    GetWindowTextA(box, caption, sizeof caption);
    // A message box keeps its text in the static control 0xFFFF.
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("box %s|%s\n", caption, text);
    std::fflush(stdout);
    HWND ok = GetDlgItem(box, IDOK);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    const DWORD start = GetTickCount();
    while (IsWindow(box)) {
        if (GetTickCount() - start > 5000) {
            Fail("message box did not go away");
            return false;
        }
        Sleep(20);
    }
    return true;
}

bool StepNoBox(int ms) {
    HWND box = WaitBox(ms);
    if (!box) return true;
    char caption[256] = "", text[1024] = "";
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("box %s|%s\n", caption, text);
    Fail("unexpected message box");
    return false;
}

bool StepLedName() {
    ATOM atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(g_window, "VorloLedName")));
    char name[256] = "";
    if (!atom || !GlobalGetAtomNameA(atom, name, sizeof name)) {
        Fail("no LED name");
        return false;
    }
    std::printf("led %s\n", name);
    return true;
}

bool StepClose(int ms) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, g_pid);
    if (!process) {
        Fail("cannot open the player's process");
        return false;
    }
    PostMessageA(g_window, WM_CLOSE, 0, 0);
    const DWORD wait = WaitForSingleObject(process, static_cast<DWORD>(ms));
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (wait != WAIT_OBJECT_0) {
        Fail("the player did not end in time");
        return false;
    }
    std::printf("exit %lu\n", static_cast<unsigned long>(code));
    g_window = nullptr;
    return true;
}

int Usage() {
    std::fprintf(stderr, "usage: vorlo-testdriver STEP...  (see the source for the steps)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        auto arg = [&](int k) -> const char* { return i + k < argc ? argv[i + k] : nullptr; };
        bool ok = true;
        if (step == "find" && arg(1)) {
            ok = StepFind(std::atoi(arg(1)));
            i += 1;
        } else if (step == "count") {
            int n = 0;
            EnumWindows(CountWindows, reinterpret_cast<LPARAM>(&n));
            std::printf("windows %d\n", n);
        } else if (step == "region") {
            ok = NeedWindow();
            while (ok && arg(1) && std::strchr(arg(1), ',')) {
                ok = StepRegion(arg(1));
                ++i;
            }
        } else if (step == "copydata" && arg(1)) {
            const DWORD code = static_cast<DWORD>(std::strtoul(arg(1), nullptr, 10));
            const char* text = nullptr;
            if (arg(2) && (code == 1 || code == 2)) text = arg(2);
            ok = NeedWindow() &&
                 StepCopyData(code, text, text ? static_cast<DWORD>(std::strlen(text)) : 0);
            i += text ? 2 : 1;
        } else if (step == "copyindex" && arg(1)) {
            // The index travels in the byte count; the pointer still points
            // at that many bytes, since the system copies them across.
            const DWORD index = static_cast<DWORD>(std::strtoul(arg(1), nullptr, 10));
            std::vector<char> pad(index + 1, 0);
            ok = NeedWindow() && StepCopyData(3, pad.data(), index);
            i += 1;
        } else if (step == "command" && arg(1)) {
            ok = NeedWindow() && StepCommand(std::atoi(arg(1)));
            i += 1;
        } else if ((step == "down" || step == "up" || step == "move" || step == "click") &&
                   arg(2)) {
            const int x = std::atoi(arg(1)), y = std::atoi(arg(2));
            ok = NeedWindow();
            if (ok && step == "down") ok = StepMouse(WM_LBUTTONDOWN, x, y);
            if (ok && step == "up") ok = StepMouse(WM_LBUTTONUP, x, y);
            if (ok && step == "move") ok = StepMouse(WM_MOUSEMOVE, x, y);
            if (ok && step == "click")
                ok = StepMouse(WM_LBUTTONDOWN, x, y) && StepMouse(WM_LBUTTONUP, x, y);
            i += 2;
        } else if (step == "sleep" && arg(1)) {
            Sleep(static_cast<DWORD>(std::atoi(arg(1))));
            i += 1;
        } else if (step == "box" && arg(1)) {
            ok = StepBox(std::atoi(arg(1)));
            i += 1;
        } else if (step == "nobox" && arg(1)) {
            ok = StepNoBox(std::atoi(arg(1)));
            i += 1;
        } else if (step == "ledname") {
            ok = NeedWindow() && StepLedName();
        } else if (step == "close" && arg(1)) {
            ok = NeedWindow() && StepClose(std::atoi(arg(1)));
            i += 1;
        } else {
            return Usage();
        }
        std::fflush(stdout);
        if (!ok) return 1;
    }
    return 0;
}
