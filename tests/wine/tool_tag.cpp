// vorlo-tool-tag: drives the tag editor of a running vorlo.exe for the
// integration check. One invocation runs its arguments as steps, in order,
// and stops at the first that fails:
//
//   command ID       WM_COMMAND ID to the VorMainWindow window (sent)
//   editor MS        waits up to MS ms for the editor; prints "editor open"
//   noeditor MS      waits up to MS ms for the editor to go; "editor closed"
//   fields           prints the editor's contents, one "NAME TEXT" per line
//                    (file artist title album comment year genre genres)
//   set ID TEXT      sets the text of control ID
//   genre N          selects entry N of the genre list
//   click ID         presses button ID (sent; "busy" when it has not
//                    returned within 2 s, e.g. behind a message box)
//   box MS           waits for a message box of the player; prints
//                    "box CAPTION|TEXT" and presses OK
//   boxcancel MS     the same, pressing Cancel
//   lock PATH        opens PATH for reading, sharing only reading, and
//                    holds it until the tool ends: nobody can open it for
//                    writing meanwhile (file permissions do not stop root)
//   rect             prints the editor's "WIDTHxHEIGHT+X+Y"
//
// Exit status: 0 every step succeeded, 1 a step failed ("fail: ..."), 2 usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tool_util.h"

namespace {

using tool::Fail;

const char kEditorTitle[] = "Tag Editor";

HWND g_main = nullptr;
DWORD g_pid = 0;

bool Locate() { return tool::FindPlayer(&g_main, &g_pid) || Fail("no VorMainWindow window"); }

bool IsEditor(HWND hwnd) {
    char title[128] = "";
    GetWindowTextA(hwnd, title, sizeof title);
    return std::strcmp(title, kEditorTitle) == 0;
}
bool IsNotEditor(HWND hwnd) { return !IsEditor(hwnd); }

// The editor, or a message box (any other dialog of the player).
HWND FindOne(bool editor) { return tool::FindDialog(g_pid, editor ? IsNotEditor : IsEditor); }

// Waits up to ms for the dialog to be there (want) or gone (!want).
HWND Wait(bool editor, bool want, int ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND h = FindOne(editor);
        if ((h != nullptr) == want) return h ? h : reinterpret_cast<HWND>(1);
        if (GetTickCount() - start > static_cast<DWORD>(ms)) return nullptr;
        Sleep(50);
    }
}

HWND Editor() {
    HWND h = FindOne(true);
    if (!h) Fail("no tag editor");
    return h;
}

using tool::ControlText;

bool Fields() {
    HWND dlg = Editor();
    if (!dlg) return false;
    const struct {
        const char* name;
        int id;
    } fields[] = {{"file", 1091},    {"artist", 1092}, {"title", 1094},
                  {"album", 1095},   {"comment", 1096}, {"year", 1099}};
    for (const auto& f : fields)
        std::printf("%s %s\n", f.name, ControlText(GetDlgItem(dlg, f.id)).c_str());
    HWND list = GetDlgItem(dlg, 1068);
    std::printf("genre %ld\n", static_cast<long>(SendMessageA(list, CB_GETCURSEL, 0, 0)));
    std::printf("genres %ld\n", static_cast<long>(SendMessageA(list, CB_GETCOUNT, 0, 0)));
    return true;
}

bool Click(int id) {
    HWND dlg = Editor();
    if (!dlg) return false;
    DWORD_PTR result = 0;
    const bool done = SendMessageTimeoutA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                          reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)),
                                          SMTO_NORMAL, 2000, &result) != 0;
    std::printf("%s\n", done ? "clicked" : "busy");
    return true;
}

bool Box(int ms, int button = IDOK) {
    HWND box = Wait(false, true, ms);
    return box ? tool::AnswerBox(box, button) : Fail("no message box");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && !Locate()) return 1;
    return tool::RunSteps("vorlo-tool-tag", argc, argv, [](const std::string& step, tool::StepArgs& a) {
        const char* a1 = a.arg(1);
        const char* a2 = a.arg(2);
        bool ok = true;
        if (step == "command" && a1) {
            DWORD_PTR result = 0;
            ok = SendMessageTimeoutA(g_main, WM_COMMAND, static_cast<WPARAM>(std::atoi(a1)), 0,
                                     SMTO_NORMAL, 10000, &result) != 0;
            if (!ok) Fail("WM_COMMAND not answered in 10 s");
            a.used = 1;
        } else if ((step == "editor" || step == "noeditor") && a1) {
            const bool want = step == "editor";
            ok = Wait(true, want, std::atoi(a1)) != nullptr;
            if (ok) std::printf("editor %s\n", want ? "open" : "closed");
            else Fail(want ? "no tag editor" : "the tag editor is still open");
            a.used = 1;
        } else if (step == "fields") {
            ok = Fields();
        } else if (step == "set" && a2) {
            HWND dlg = Editor();
            ok = dlg && SetDlgItemTextA(dlg, std::atoi(a1), a2);
            a.used = 2;
        } else if (step == "genre" && a1) {
            HWND dlg = Editor();
            ok = dlg && SendDlgItemMessageA(dlg, 1068, CB_SETCURSEL, std::atoi(a1), 0) != CB_ERR;
            a.used = 1;
        } else if (step == "click" && a1) {
            ok = Click(std::atoi(a1));
            a.used = 1;
        } else if ((step == "box" || step == "boxcancel") && a1) {
            ok = Box(std::atoi(a1), step == "box" ? IDOK : IDCANCEL);
            a.used = 1;
        } else if (step == "lock" && a1) {
            // Deliberately left open: the handle goes with the process.
            ok = CreateFileA(a1, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr) != INVALID_HANDLE_VALUE;
            if (!ok) Fail("cannot open the file to lock it");
            a.used = 1;
        } else if (step == "rect") {
            HWND dlg = Editor();
            RECT rc;
            ok = dlg && GetWindowRect(dlg, &rc);
            if (ok) std::printf("%ldx%ld+%ld+%ld\n", rc.right - rc.left, rc.bottom - rc.top, rc.left, rc.top);
        } else {
            return -1;
        }
        return ok ? 1 : 0;
    });
}
