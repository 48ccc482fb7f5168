// What the driver programs of the checks under Wine share: finding the
// player's main window, message boxes of its process, closing it with a
// wait, the "fail: ..." line and the loop that runs the arguments as steps.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tool {

constexpr char kMainClass[] = "VorMainWindow";

// Prints "fail: WHAT DETAIL" on standard output, at once; returns false.
inline bool Fail(const char* what, const char* detail = "") {
    std::printf("fail: %s%s\n", what, detail);
    std::fflush(stdout);
    return false;
}

inline int Usage(const char* name) {
    std::fprintf(stderr, "usage: %s STEP...  (see the source for the steps)\n", name);
    return 2;
}

// The player's main window and its process id; false when there is none.
inline bool FindPlayer(HWND* window, DWORD* pid) {
    *window = FindWindowA(kMainClass, nullptr);
    if (*window) GetWindowThreadProcessId(*window, pid);
    return *window != nullptr;
}

struct DialogSearch {
    DWORD pid;
    bool (*skip)(HWND);
    HWND found;
};

inline BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<DialogSearch*>(param);
    char cls[64];
    if (!GetClassNameA(hwnd, cls, sizeof cls) || std::strcmp(cls, "#32770") != 0) return TRUE;
    if (!IsWindowVisible(hwnd)) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if ((s->pid && owner != s->pid) || (s->skip && s->skip(hwnd))) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A visible dialog (class #32770) of process pid, of any process for pid 0,
// that skip (when given) does not pass over.
inline HWND FindDialog(DWORD pid, bool (*skip)(HWND) = nullptr) {
    DialogSearch s{pid, skip, nullptr};
    EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// WM_GETTEXT, sent with a time bound: GetWindowText does not ask the
// controls of other processes.
inline std::string ControlText(HWND h) {
    char buf[1024] = "";
    DWORD_PTR n = 0;
    SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, 2000, &n);
    return buf;
}

// Prints "box CAPTION|TEXT" (a message box keeps its text in control 0xFFFF).
inline void PrintBox(HWND box) {
    char caption[256] = "";
    GetWindowTextA(box, caption, sizeof caption);
    std::printf("box %s|%s\n", caption, ControlText(GetDlgItem(box, 0xFFFF)).c_str());
    std::fflush(stdout);
}

// Presses button `id` of dialog `dlg` (posted, as a click would) and waits
// up to ms for the dialog to be destroyed; `stays` is the failure's text.
inline bool PressAndWaitGone(HWND dlg, int id, int ms, const char* stays) {
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
    const DWORD start = GetTickCount();
    while (IsWindow(dlg)) {
        if (GetTickCount() - start > static_cast<DWORD>(ms)) return Fail(stays);
        Sleep(20);
    }
    return true;
}

// Prints the box, presses its button and waits up to 5 s for it to go.
inline bool AnswerBox(HWND box, int button = IDOK) {
    PrintBox(box);
    return PressAndWaitGone(box, button, 5000, "message box did not go away");
}

// WM_CLOSE to the player's window, then up to ms for its process to end;
// its exit code in *code.
inline bool ClosePlayer(HWND window, DWORD pid, int ms, DWORD* code) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!process) return Fail("cannot open the player's process");
    PostMessageA(window, WM_CLOSE, 0, 0);
    const DWORD wait = WaitForSingleObject(process, static_cast<DWORD>(ms));
    *code = 0;
    GetExitCodeProcess(process, code);
    CloseHandle(process);
    if (wait != WAIT_OBJECT_0) return Fail("the player did not end in time");
    return true;
}

// The arguments after a step's name: arg(k) is the k-th (nullptr past the
// end), num(k) the same as a number; a step sets used to how many it took.
struct StepArgs {
    int argc;
    char** argv;
    int at;
    int used = 0;
    const char* arg(int k) const { return at + k < argc ? argv[at + k] : nullptr; }
    int num(int k) const { return arg(k) ? std::atoi(arg(k)) : 0; }
};

// Runs argv[1..] as steps, in order: step(name, args) gives 1 for done, 0
// for failed (which ends the run, status 1) and -1 for a step it does not
// know (usage, status 2).
template <class Step>
int RunSteps(const char* name, int argc, char** argv, Step step) {
    if (argc < 2) return Usage(name);
    for (int i = 1; i < argc; ++i) {
        StepArgs a{argc, argv, i};
        const int r = step(std::string(argv[i]), a);
        if (r < 0) return Usage(name);
        std::fflush(stdout);
        if (r == 0) return 1;
        i += a.used;
    }
    return 0;
}

}  // namespace tool
