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
//   answer MS          sends WM_NULL, failing when the window takes longer
//                      than MS ms to answer; prints "answer N ms"
//   down X Y | up X Y | move X Y   posts the mouse message at client X,Y
//                      (down/move carry MK_LBUTTON)
//   click X Y          down, then up, at X,Y
//   sleep MS           waits
//   box MS             waits up to MS ms for a dialog of the player's
//                      process; prints "box CAPTION|TEXT" and presses OK
//   nobox MS           fails if a dialog shows up within MS ms
//   ledname            prints "led NAME": the song name the LED draws now
//   frames             prints "frames LED DIAL FEED": the frames the LED and
//                      the dial have drawn and the visual feed's passes so far
//   close MS           WM_CLOSE, then waits up to MS ms for the process to
//                      end; prints "exit CODE"
//   focus CLASS MS     waits up to MS ms for a window of class CLASS (another
//                      program's) and makes it the foreground window;
//                      prints "focus CLASS" once it is
//   key VK             presses and releases the key VK (SendInput, hex or
//                      decimal): it goes where the system sends keys
//   appcommand N       posts WM_APPCOMMAND N, as from a key, to the player
//   holdkeys MS VK...  (the last step) holds VK... as this program's hot
//                      keys: prints "held VK" or "refused VK" for each, then
//                      waits up to MS ms for one to be pressed ("hotkey VK")
//
// Exit status: 0 every step succeeded, 1 a step failed (its reason on
// standard output as "fail: ..."), 2 usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tool_util.h"

namespace {

using tool::Fail;
const char* const kClass = tool::kMainClass;
constexpr UINT kDisplayCount = WM_VORLO_DISPLAY_COUNT;

HWND g_window = nullptr;
DWORD g_pid = 0;

BOOL CALLBACK CountWindows(HWND hwnd, LPARAM param) {
    char cls[64];
    if (GetClassNameA(hwnd, cls, sizeof cls) && std::strcmp(cls, kClass) == 0)
        ++*reinterpret_cast<int*>(param);
    return TRUE;
}

// Finds the player's window; true when there is one.
bool Locate() { return tool::FindPlayer(&g_window, &g_pid); }

bool StepFind(int ms) {
    const DWORD start = GetTickCount();
    while (!Locate() || !IsWindowVisible(g_window)) {
        if (GetTickCount() - start > static_cast<DWORD>(ms)) return Fail("no VorMainWindow window");
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
    return Locate() || Fail("no VorMainWindow window");
}

bool StepRegion(const char* point) {
    int x, y;
    if (std::sscanf(point, "%d,%d", &x, &y) != 2) return Fail("bad point ", point);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    const int kind = GetWindowRgn(g_window, rgn);
    if (kind == ERROR) {
        DeleteObject(rgn);
        return Fail("the window has no region");
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
                             SMTO_NORMAL, 10000, &result))
        return Fail("WM_COPYDATA not answered in 10 s");
    std::printf("result %lu\n", static_cast<unsigned long>(result));
    return true;
}

bool StepCommand(int id) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(g_window, WM_COMMAND, static_cast<WPARAM>(id), 0, SMTO_NORMAL,
                             10000, &result))
        return Fail("WM_COMMAND not answered in 10 s");
    std::printf("result %lu\n", static_cast<unsigned long>(result));
    return true;
}

bool StepAnswer(int ms) {
    const DWORD start = GetTickCount();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(g_window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(ms), &result))
        return Fail("WM_NULL not answered in time");
    std::printf("answer %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
    return true;
}

bool StepMouse(UINT msg, int x, int y) {
    const WPARAM keys = msg == WM_LBUTTONUP ? 0 : MK_LBUTTON;
    return PostMessageA(g_window, msg, keys, MAKELPARAM(x, y)) || Fail("PostMessage failed");
}

// A dialog of the player's process (any process of this Wine when the
// player has no window yet: start-up reports before it creates one).
HWND WaitBox(int ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND box = tool::FindDialog(Locate() ? g_pid : 0);
        if (box) return box;
        if (GetTickCount() - start > static_cast<DWORD>(ms)) return nullptr;
        Sleep(50);
    }
}

bool StepBox(int ms) {
    HWND box = WaitBox(ms);
    return box ? tool::AnswerBox(box) : Fail("no message box");
}

bool StepNoBox(int ms) {
    HWND box = WaitBox(ms);
    if (!box) return true;
    tool::PrintBox(box);
    return Fail("unexpected message box");
}

bool StepLedName() {
    ATOM atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(g_window, "VorloLedName")));
    char name[256] = "";
    if (!atom || !GlobalGetAtomNameA(atom, name, sizeof name)) return Fail("no LED name");
    std::printf("led %s\n", name);
    return true;
}

bool StepFrames() {
    DWORD_PTR n[3] = {};
    for (int i = 0; i < 3; ++i)
        if (!SendMessageTimeoutA(g_window, kDisplayCount, i, 0, SMTO_NORMAL, 10000, &n[i]))
            return Fail("the display counts not answered in 10 s");
    std::printf("frames %lu %lu %lu\n", static_cast<unsigned long>(n[0]), static_cast<unsigned long>(n[1]),
                static_cast<unsigned long>(n[2]));
    return true;
}

bool StepClose(int ms) {
    DWORD code = 0;
    if (!tool::ClosePlayer(g_window, g_pid, ms, &code)) return false;
    std::printf("exit %lu\n", static_cast<unsigned long>(code));
    g_window = nullptr;
    return true;
}

bool StepFocus(const char* cls, int ms) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start <= static_cast<DWORD>(ms); Sleep(50)) {
        HWND other = FindWindowA(cls, nullptr);
        if (other && SetForegroundWindow(other) && GetForegroundWindow() == other) {
            std::printf("focus %s\n", cls);
            return true;
        }
    }
    return Fail("cannot give the focus to ", cls);
}

bool StepKey(int vk) {
    INPUT in[2] = {};
    for (int i = 0; i < 2; ++i) {
        in[i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = static_cast<WORD>(vk);
        in[i].ki.dwFlags = KEYEVENTF_EXTENDEDKEY | (i ? KEYEVENTF_KEYUP : 0);
    }
    return SendInput(2, in, sizeof(INPUT)) == 2 || Fail("SendInput failed");
}

// The keys are the process's until it ends.
void StepHoldKeys(int ms, const std::vector<int>& keys) {
    for (int vk : keys)
        std::printf(RegisterHotKey(nullptr, vk, 0, static_cast<UINT>(vk)) ? "held 0x%X\n" : "refused 0x%X\n", vk);
    std::fflush(stdout);
    MSG m;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < static_cast<DWORD>(ms); Sleep(20)) {
        if (PeekMessageA(&m, nullptr, WM_HOTKEY, WM_HOTKEY, PM_REMOVE)) {
            std::printf("hotkey 0x%X\n", static_cast<unsigned>(HIWORD(m.lParam)));
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    return tool::RunSteps("vorlo-testdriver", argc, argv, [](const std::string& step, tool::StepArgs& a) {
        bool ok = true;
        if (step == "find" && a.arg(1)) {
            ok = StepFind(a.num(1));
            a.used = 1;
        } else if (step == "count") {
            int n = 0;
            EnumWindows(CountWindows, reinterpret_cast<LPARAM>(&n));
            std::printf("windows %d\n", n);
        } else if (step == "region") {
            ok = NeedWindow();
            while (ok && a.arg(a.used + 1) && std::strchr(a.arg(a.used + 1), ',')) {
                ok = StepRegion(a.arg(a.used + 1));
                ++a.used;
            }
        } else if (step == "copydata" && a.arg(1)) {
            const DWORD code = static_cast<DWORD>(std::strtoul(a.arg(1), nullptr, 10));
            const char* text = nullptr;
            if (a.arg(2) && (code == 1 || code == 2)) text = a.arg(2);
            ok = NeedWindow() &&
                 StepCopyData(code, text, text ? static_cast<DWORD>(std::strlen(text)) : 0);
            a.used = text ? 2 : 1;
        } else if (step == "copyindex" && a.arg(1)) {
            // The index travels in the byte count; the pointer still points
            // at that many bytes, since the system copies them across.
            const DWORD index = static_cast<DWORD>(std::strtoul(a.arg(1), nullptr, 10));
            std::vector<char> pad(index + 1, 0);
            ok = NeedWindow() && StepCopyData(3, pad.data(), index);
            a.used = 1;
        } else if (step == "answer" && a.arg(1)) {
            ok = NeedWindow() && StepAnswer(a.num(1));
            a.used = 1;
        } else if (step == "command" && a.arg(1)) {
            ok = NeedWindow() && StepCommand(a.num(1));
            a.used = 1;
        } else if ((step == "down" || step == "up" || step == "move" || step == "click") &&
                   a.arg(2)) {
            const int x = a.num(1), y = a.num(2);
            ok = NeedWindow();
            if (ok && step == "down") ok = StepMouse(WM_LBUTTONDOWN, x, y);
            if (ok && step == "up") ok = StepMouse(WM_LBUTTONUP, x, y);
            if (ok && step == "move") ok = StepMouse(WM_MOUSEMOVE, x, y);
            if (ok && step == "click")
                ok = StepMouse(WM_LBUTTONDOWN, x, y) && StepMouse(WM_LBUTTONUP, x, y);
            a.used = 2;
        } else if (step == "sleep" && a.arg(1)) {
            Sleep(static_cast<DWORD>(a.num(1)));
            a.used = 1;
        } else if (step == "box" && a.arg(1)) {
            ok = StepBox(a.num(1));
            a.used = 1;
        } else if (step == "nobox" && a.arg(1)) {
            ok = StepNoBox(a.num(1));
            a.used = 1;
        } else if (step == "ledname") {
            ok = NeedWindow() && StepLedName();
        } else if (step == "frames") {
            ok = NeedWindow() && StepFrames();
        } else if (step == "close" && a.arg(1)) {
            ok = NeedWindow() && StepClose(a.num(1));
            a.used = 1;
        } else if (step == "focus" && a.arg(2)) {
            ok = StepFocus(a.arg(1), a.num(2));
            a.used = 2;
        } else if (step == "key" && a.arg(1)) {
            ok = StepKey(static_cast<int>(std::strtol(a.arg(1), nullptr, 0)));
            a.used = 1;
        } else if (step == "appcommand" && a.arg(1)) {
            const LPARAM command = MAKELPARAM(0, a.num(1) | FAPPCOMMAND_KEY);
            ok = NeedWindow() && (PostMessageA(g_window, WM_APPCOMMAND, 0, command) || Fail("PostMessage failed"));
            a.used = 1;
        } else if (step == "holdkeys" && a.arg(2)) {
            std::vector<int> keys;
            for (int k = 2; a.arg(k); ++k) keys.push_back(static_cast<int>(std::strtol(a.arg(k), nullptr, 0)));
            StepHoldKeys(a.num(1), keys);
            a.used = static_cast<int>(keys.size()) + 1;
        } else {
            return -1;
        }
        return ok ? 1 : 0;
    });
}
