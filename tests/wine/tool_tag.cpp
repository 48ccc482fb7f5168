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

namespace {

const char kEditorTitle[] = "Tag Editor";

HWND g_main = nullptr;
DWORD g_pid = 0;

void Fail(const char* what) {
    std::printf("fail: %s\n", what);
    std::fflush(stdout);
}

bool Locate() {
    g_main = FindWindowA("VorMainWindow", nullptr);
    if (!g_main) {
        Fail("no VorMainWindow window");
        return false;
    }
    GetWindowThreadProcessId(g_main, &g_pid);
    return true;
}

struct Search {
    bool editor;  // the editor, or a message box (any other dialog)
    HWND found;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    char cls[64], title[128] = "";
    if (!GetClassNameA(hwnd, cls, sizeof cls) || std::strcmp(cls, "#32770") != 0) return TRUE;
    if (!IsWindowVisible(hwnd)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != g_pid) return TRUE;
    GetWindowTextA(hwnd, title, sizeof title);
    if ((std::strcmp(title, kEditorTitle) == 0) != s->editor) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND FindOne(bool editor) {
    Search s{editor, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

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

// WM_GETTEXT: GetWindowText does not ask controls of other processes.
std::string Text(HWND h) {
    char buf[1024] = "";
    DWORD_PTR n = 0;
    SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, 2000, &n);
    return buf;
}

bool Fields() {
    HWND dlg = Editor();
    if (!dlg) return false;
    const struct {
        const char* name;
        int id;
    } fields[] = {{"file", 1091},    {"artist", 1092}, {"title", 1094},
                  {"album", 1095},   {"comment", 1096}, {"year", 1099}};
    for (const auto& f : fields)
        std::printf("%s %s\n", f.name, Text(GetDlgItem(dlg, f.id)).c_str());
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
    if (!box) {
        Fail("no message box");
        return false;
    }
    char caption[256] = "";
    GetWindowTextA(box, caption, sizeof caption);
    std::printf("box %s|%s\n", caption, Text(GetDlgItem(box, 0xFFFF)).c_str());
    std::fflush(stdout);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    if (!Wait(false, false, 5000)) {
        Fail("message box did not go away");
        return false;
    }
    return true;
}

int Usage() {
    std::fprintf(stderr, "usage: vorlo-tool-tag STEP...  (see the source for the steps)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (!Locate()) return 1;
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        const char* a1 = i + 1 < argc ? argv[i + 1] : nullptr;
        const char* a2 = i + 2 < argc ? argv[i + 2] : nullptr;
        bool ok = true;
        if (step == "command" && a1) {
            DWORD_PTR result = 0;
            ok = SendMessageTimeoutA(g_main, WM_COMMAND, static_cast<WPARAM>(std::atoi(a1)), 0,
                                     SMTO_NORMAL, 10000, &result) != 0;
            if (!ok) Fail("WM_COMMAND not answered in 10 s");
            i += 1;
        } else if ((step == "editor" || step == "noeditor") && a1) {
            const bool want = step == "editor";
            ok = Wait(true, want, std::atoi(a1)) != nullptr;
            if (ok) std::printf("editor %s\n", want ? "open" : "closed");
            else Fail(want ? "no tag editor" : "the tag editor is still open");
            i += 1;
        } else if (step == "fields") {
            ok = Fields();
        } else if (step == "set" && a2) {
            HWND dlg = Editor();
            ok = dlg && SetDlgItemTextA(dlg, std::atoi(a1), a2);
            i += 2;
        } else if (step == "genre" && a1) {
            HWND dlg = Editor();
            ok = dlg && SendDlgItemMessageA(dlg, 1068, CB_SETCURSEL, std::atoi(a1), 0) != CB_ERR;
            i += 1;
        } else if (step == "click" && a1) {
            ok = Click(std::atoi(a1));
            i += 1;
        } else if ((step == "box" || step == "boxcancel") && a1) {
            ok = Box(std::atoi(a1), step == "box" ? IDOK : IDCANCEL);
            i += 1;
        } else if (step == "lock" && a1) {
            // Deliberately left open: the handle goes with the process.
            ok = CreateFileA(a1, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr) != INVALID_HANDLE_VALUE;
            if (!ok) Fail("cannot open the file to lock it");
            i += 1;
        } else if (step == "rect") {
            HWND dlg = Editor();
            RECT rc;
            ok = dlg && GetWindowRect(dlg, &rc);
            if (ok) std::printf("%ldx%ld+%ld+%ld\n", rc.right - rc.left, rc.bottom - rc.top, rc.left, rc.top);
        } else {
            return Usage();
        }
        std::fflush(stdout);
        if (!ok) return 1;
    }
    return 0;
}
