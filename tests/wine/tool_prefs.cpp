// vorlo-tool-prefs: drives the preferences and about sheets of a running
// vorlo.exe from outside. One invocation runs its arguments as steps, in
// order, and stops at the first step that fails ("fail: ..." on standard
// output, exit status 1; 2 for a usage error).
//
//   mark OUT FILE        (alone) appends FILE to OUT: the check registers
//                        this as the opener of a test file type
//
//   find MS              wait for the VorMainWindow window
//   command ID           post WM_COMMAND ID to the main window
//   sheet CAPTION MS     wait for the player's top-level window CAPTION and
//                        make it the target of the steps below
//   count CAPTION        "count N": visible top-level windows titled CAPTION
//   page N               select page N of the target sheet
//   click ID             BM_CLICK on control ID of the target (sent)
//   post ID              BM_CLICK posted (for buttons that open a box)
//   check ID             "check ID N": the button's check state
//   text ID              "text ID TEXT"
//   settext ID TEXT      WM_SETTEXT
//   items ID             "items ID SEL|ITEM|ITEM..." of a combo or list box
//                        (SEL the selected index, -1 for none)
//   choose ID TEXT       select TEXT in a combo or list box and tell the
//                        page as the control would (CBN_/LBN_SELCHANGE)
//   slider ID POS        move trackbar ID to POS and tell the page
//   apply                "apply N": the sheet's Apply button is enabled
//   ok | cancel          press the sheet's OK or Cancel (posted), wait up to
//                        10 s for the sheet to be destroyed, then for the
//                        player's thread to answer
//   rect                 "rect WxH+X+Y" of the target
//   topmost              "topmost N": WS_EX_TOPMOST of the main window
//   responds             "responds 1" when the target's thread answers
//                        within 5 s
//   box MS               as vorlo-testdriver, ignoring the sheets themselves
//   nobox MS             fails if a message box (not a sheet) shows up within MS ms
//   sleep MS
//   close MS             WM_CLOSE to the main window, wait for the process
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tool_util.h"

namespace {

using tool::Fail;

HWND g_main = nullptr;
DWORD g_pid = 0;
HWND g_target = nullptr;

bool Locate() { return tool::FindPlayer(&g_main, &g_pid); }

bool NeedMain() {
    return (g_main && IsWindow(g_main)) || Locate() || Fail("no VorMainWindow window");
}

bool NeedTarget() {
    return (g_target && IsWindow(g_target)) || Fail("no sheet");
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, msg, w, l, SMTO_NORMAL, 5000, &result);
    return static_cast<LRESULT>(result);
}

struct Search {
    const char* caption;  // top-level search: exact caption
    int id;               // child search: control id
    int count;
    HWND found;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    char text[256] = "";
    if (!IsWindowVisible(hwnd) || !GetWindowTextA(hwnd, text, sizeof text)) return TRUE;
    if (std::strcmp(text, s->caption) != 0) return TRUE;
    ++s->count;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == g_pid && !s->found) s->found = hwnd;
    return TRUE;
}

BOOL CALLBACK FindChild(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    if (GetDlgCtrlID(hwnd) != s->id) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// Control id of the target: its own buttons (OK, Cancel, Apply) first, then
// the controls of its pages.
HWND Control(int id) {
    if (!NeedTarget()) return nullptr;
    HWND direct = GetDlgItem(g_target, id);
    if (direct) return direct;
    Search s{nullptr, id, 0, nullptr};
    EnumChildWindows(g_target, FindChild, reinterpret_cast<LPARAM>(&s));
    if (!s.found) Fail("no control ", std::to_string(id).c_str());
    return s.found;
}

bool StepSheet(const char* caption, int ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (Locate()) {
            Search s{caption, 0, 0, nullptr};
            EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
            if (s.found) {
                g_target = s.found;
                std::printf("sheet %s\n", caption);
                return true;
            }
        }
        if (GetTickCount() - start > static_cast<DWORD>(ms)) return Fail("no window ", caption);
        Sleep(50);
    }
}

bool IsSheet(HWND hwnd) {
    char text[64] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return std::strcmp(text, "VOR Preferences") == 0 || std::strcmp(text, "About VOR...") == 0;
}

bool StepBox(int ms) {
    const DWORD start = GetTickCount();
    HWND box;
    while (!(box = tool::FindDialog(g_pid, IsSheet))) {
        if (GetTickCount() - start > static_cast<DWORD>(ms)) return Fail("no message box");
        Sleep(50);
    }
    return tool::AnswerBox(box);
}

// No message box (a sheet does not count) shows up within ms.
bool StepNoBox(int ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start <= static_cast<DWORD>(ms)) {
        if (HWND box = tool::FindDialog(g_pid, IsSheet)) {
            tool::PrintBox(box);
            return Fail("a message box showed up");
        }
        Sleep(50);
    }
    return true;
}

bool IsCombo(HWND hwnd) {
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    return _stricmp(cls, "ComboBox") == 0;
}

bool StepItems(int id) {
    HWND c = Control(id);
    if (!c) return false;
    const bool combo = IsCombo(c);
    const int n = static_cast<int>(Send(c, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
    const int sel = static_cast<int>(Send(c, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
    std::printf("items %d %d", id, sel);
    // Item texts cross the process boundary intact only as wide strings.
    for (int i = 0; i < n; ++i) {
        wchar_t wide[512] = L"";
        char text[1024] = "";
        DWORD_PTR len = 0;
        SendMessageTimeoutW(c, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0, SMTO_NORMAL, 5000,
                            &len);
        if (len < 511)
            SendMessageTimeoutW(c, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                                reinterpret_cast<LPARAM>(wide), SMTO_NORMAL, 5000, &len);
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        std::printf("|%s", text);
    }
    std::printf("\n");
    return true;
}

bool StepChoose(int id, const char* text) {
    HWND c = Control(id);
    if (!c) return false;
    const bool combo = IsCombo(c);
    wchar_t wide[512] = L"";
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 512);
    DWORD_PTR at = static_cast<DWORD_PTR>(-1);
    SendMessageTimeoutW(c, combo ? CB_SELECTSTRING : LB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(wide), SMTO_NORMAL, 5000, &at);
    if (static_cast<LRESULT>(at) < 0) return Fail("no item ", text);
    Send(GetParent(c), WM_COMMAND, MAKEWPARAM(id, combo ? CBN_SELCHANGE : LBN_SELCHANGE),
         reinterpret_cast<LPARAM>(c));
    return true;
}

bool StepSlider(int id, int pos) {
    HWND c = Control(id);
    if (!c) return false;
    Send(c, TBM_SETPOS, TRUE, pos);
    Send(GetParent(c), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, pos), reinterpret_cast<LPARAM>(c));
    Send(GetParent(c), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(c));
    return true;
}

// Presses OK or Cancel and waits until the sheet is destroyed and the
// player's thread is back in its message loop (for the preferences sheet:
// the settings have been saved).
bool StepPress(int id) {
    if (!NeedTarget() || !NeedMain()) return false;
    if (!tool::PressAndWaitGone(g_target, id, 10000, "the sheet stayed open")) return false;
    Send(g_main, WM_NULL, 0, 0);
    return true;
}

bool StepClose(int ms) {
    DWORD code = 0;
    if (!tool::ClosePlayer(g_main, g_pid, ms, &code)) return false;
    std::printf("closed\n");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "mark") == 0) {
        // Registered as the opener of a test file type: records what the
        // shell asked it to open.
        if (argc != 4) return tool::Usage("vorlo-tool-prefs");
        FILE* out = std::fopen(argv[2], "a");
        if (!out) return 1;
        std::fprintf(out, "%s\n", argv[3]);
        std::fclose(out);
        return 0;
    }
    return tool::RunSteps("vorlo-tool-prefs", argc, argv, [](const std::string& step, tool::StepArgs& a) {
        auto arg = [&](int k) { return a.arg(k); };
        auto num = [&](int k) { return a.num(k); };
        int& used = a.used;
        bool ok = true;
        if (step == "find" && arg(1)) {
            const DWORD start = GetTickCount();
            while (!Locate() && GetTickCount() - start < static_cast<DWORD>(num(1))) Sleep(50);
            ok = NeedMain();
            used = 1;
        } else if (step == "command" && arg(1)) {
            ok = NeedMain() && PostMessageA(g_main, WM_COMMAND, num(1), 0);
            used = 1;
        } else if (step == "sheet" && arg(2)) {
            ok = StepSheet(arg(1), num(2));
            used = 2;
        } else if (step == "count" && arg(1)) {
            Search s{arg(1), 0, 0, nullptr};
            EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
            std::printf("count %d\n", s.count);
            used = 1;
        } else if (step == "page" && arg(1)) {
            ok = NeedTarget();
            if (ok) Send(g_target, PSM_SETCURSEL, num(1), 0);
            used = 1;
        } else if ((step == "click" || step == "post") && arg(1)) {
            HWND c = Control(num(1));
            ok = c != nullptr;
            if (ok && step == "click") Send(c, BM_CLICK, 0, 0);
            if (ok && step == "post") PostMessageA(c, BM_CLICK, 0, 0);
            used = 1;
        } else if (step == "check" && arg(1)) {
            HWND c = Control(num(1));
            ok = c != nullptr;
            if (ok) std::printf("check %d %d\n", num(1), static_cast<int>(Send(c, BM_GETCHECK, 0, 0)));
            used = 1;
        } else if (step == "text" && arg(1)) {
            HWND c = Control(num(1));
            ok = c != nullptr;
            char text[1100] = "";
            if (ok) Send(c, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
            if (ok) std::printf("text %d %s\n", num(1), text);
            used = 1;
        } else if (step == "settext" && arg(2)) {
            HWND c = Control(num(1));
            ok = c != nullptr;
            if (ok) Send(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg(2)));
            used = 2;
        } else if (step == "items" && arg(1)) {
            ok = StepItems(num(1));
            used = 1;
        } else if (step == "choose" && arg(2)) {
            ok = StepChoose(num(1), arg(2));
            used = 2;
        } else if (step == "slider" && arg(2)) {
            ok = StepSlider(num(1), num(2));
            used = 2;
        } else if (step == "apply") {
            HWND apply = Control(0x3021);  // the sheet's Apply button
            ok = apply != nullptr;
            if (ok) std::printf("apply %d\n", IsWindowEnabled(apply) ? 1 : 0);
        } else if (step == "ok" || step == "cancel") {
            ok = StepPress(step == "ok" ? IDOK : IDCANCEL);
        } else if (step == "rect") {
            ok = NeedTarget();
            RECT r;
            if (ok && GetWindowRect(g_target, &r))
                std::printf("rect %ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left,
                            r.top);
        } else if (step == "responds") {
            // The target's thread answers within 5 s (a blocking call returned).
            DWORD_PTR r = 0;
            ok = NeedTarget();
            if (ok)
                std::printf("responds %d\n",
                            SendMessageTimeoutA(g_target, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r) ? 1 : 0);
        } else if (step == "topmost") {
            ok = NeedMain();
            if (ok)
                std::printf("topmost %d\n",
                            (GetWindowLongA(g_main, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
        } else if (step == "box" && arg(1)) {
            ok = NeedMain() && StepBox(num(1));
            used = 1;
        } else if (step == "nobox" && arg(1)) {
            ok = NeedMain() && StepNoBox(num(1));
            used = 1;
        } else if (step == "sleep" && arg(1)) {
            Sleep(static_cast<DWORD>(num(1)));
            used = 1;
        } else if (step == "close" && arg(1)) {
            ok = NeedMain() && StepClose(num(1));
            used = 1;
        } else {
            return -1;
        }
        return ok ? 1 : 0;
    });
}
