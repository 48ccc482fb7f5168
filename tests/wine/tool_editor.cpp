// vorlo-tool-editor: drives the playlist editor of a running vorlo.exe from
// outside. One invocation runs its arguments as steps, in order, and stops
// at the first that fails ("fail: ..." on standard output, exit status 1).
//
//   open MS            command 40006 to the main window when no editor is
//                      open; waits up to MS ms for the editor; prints
//                      "editor WxH at X,Y"
//   gone MS            waits up to MS ms until no editor window exists
//   sysclose           the window's close command (WM_SYSCOMMAND SC_CLOSE)
//   lines              prints "line N [*] TEXT" per list line (* selected),
//                      then "playtime TEXT"
//   select I...        selects exactly these lines, as a click would notify
//   button ID          clicks the button (sent: returns when it is done)
//   postbutton ID      clicks the button without waiting (modal dialogs)
//   key VK             posts WM_KEYDOWN/WM_KEYUP of VK to the list box
//   dblclick I         double-clicks line I with the mouse messages
//   current MS         waits up to MS ms for the shared "VORLOCurrentFile"
//                      section to hold a path; prints "current PATH"
//   place X Y W H      SetWindowPos to X,Y and W x H, then as layout
//   command ID         WM_COMMAND ID to the editor (a popup menu's item)
//   postcommand ID     the same without waiting (the item opens a dialog)
//   layout             prints "client WxH" and "ctl ID X Y W H" per control
//   drop FILE...       WM_DROPFILES with the names to the editor, the HDROP
//                      block (wide names, as the shell drops them) written
//                      into the player's own memory (a handle from this
//                      process means nothing there); waits until handled
//   dropmain FILE...   the same drop onto the main window
//   rebuilds           prints "rebuilds N" (the editor's rebuild counter)
//   filedialog NAME MS waits up to MS ms for a dialog owned by the editor
//                      (a file dialog, or "Open URL..."), types NAME into
//                      its name field and presses its OK button
//   sleep MS
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tool_util.h"

namespace {

constexpr int kListId = 1012;
constexpr int kPlaytimeId = 1081;

HWND g_main = nullptr;
HWND g_editor = nullptr;

using tool::Fail;

HWND FindEditor() { return FindWindowA("#32770", "VORLO Playlist Editor"); }

bool NeedEditor() {
    g_editor = FindEditor();
    return g_editor ? true : Fail("no editor window");
}

HWND List() { return GetDlgItem(g_editor, kListId); }

// Gives the editor's thread time to take what was posted to it (a sent
// message would be handled before those), then waits for it to be idle
// enough to answer one.
void Settle(int ms = 200) {
    Sleep(ms);
    DWORD_PTR r;
    SendMessageTimeoutA(g_editor, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &r);
}

bool StepOpen(int ms) {
    g_main = FindWindowA(tool::kMainClass, nullptr);
    if (!g_main) return Fail("no VorMainWindow");
    if (!FindEditor()) PostMessageA(g_main, WM_COMMAND, 40006, 0);
    for (int t = 0; t <= ms; t += 50) {
        if ((g_editor = FindEditor()) && IsWindowVisible(g_editor)) {
            RECT r;
            GetWindowRect(g_editor, &r);
            std::printf("editor %ldx%ld at %ld,%ld\n", r.right - r.left, r.bottom - r.top, r.left,
                        r.top);
            return true;
        }
        Sleep(50);
    }
    return Fail("the editor did not open");
}

bool StepGone(int ms) {
    for (int t = 0; t <= ms; t += 50) {
        if (!FindEditor()) return true;
        Sleep(50);
    }
    return Fail("the editor is still there");
}

bool StepLines() {
    if (!NeedEditor()) return false;
    HWND list = List();
    LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        // Wide: Wine hands the text of another process's list box over in
        // UTF-16 whatever the call's character set.
        wchar_t wide[512] = L"";
        char text[1024] = "";
        if (SendMessageW(list, LB_GETTEXTLEN, i, 0) < 512)
            SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide));
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        bool sel = SendMessageA(list, LB_GETSEL, i, 0) > 0;
        std::printf("line %ld %s%s\n", static_cast<long>(i + 1), sel ? "* " : "", text);
    }
    char playtime[128] = "";
    GetDlgItemTextA(g_editor, kPlaytimeId, playtime, sizeof playtime);
    std::printf("playtime %s\n", playtime);
    return true;
}

bool StepSelect(const std::vector<int>& lines) {
    if (!NeedEditor()) return false;
    HWND list = List();
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    for (int i : lines) SendMessageA(list, LB_SETSEL, TRUE, i);
    if (!lines.empty()) SendMessageA(list, LB_SETCARETINDEX, lines.back(), FALSE);
    SendMessageA(g_editor, WM_COMMAND, MAKEWPARAM(kListId, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    return true;
}

bool StepButton(int id, bool post) {
    if (!NeedEditor()) return false;
    HWND b = GetDlgItem(g_editor, id);
    if (!b) return Fail("no such button");
    if (post) {
        PostMessageA(b, BM_CLICK, 0, 0);
    } else {
        SendMessageA(b, BM_CLICK, 0, 0);
        Settle(100);
    }
    return true;
}

bool StepKey(int vk) {
    if (!NeedEditor()) return false;
    PostMessageA(List(), WM_KEYDOWN, vk, 1);
    PostMessageA(List(), WM_KEYUP, vk, 0xC0000001);
    if (FindEditor()) Settle();
    return true;
}

bool StepDblClick(int line) {
    if (!NeedEditor()) return false;
    HWND list = List();
    int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    int h = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    LPARAM at = MAKELPARAM(20, (line - top) * h + h / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
    PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
    Settle();
    return true;
}

bool StepCurrent(int ms) {
    for (int t = 0; t <= ms; t += 50) {
        if (HANDLE m = OpenFileMappingA(FILE_MAP_READ, FALSE, "VORLOCurrentFile")) {
            char path[262] = "";
            if (const void* v = MapViewOfFile(m, FILE_MAP_READ, 0, 0, 261)) {
                std::memcpy(path, v, 261);
                UnmapViewOfFile(v);
            }
            CloseHandle(m);
            if (path[0]) {
                std::printf("current %s\n", path);
                return true;
            }
        }
        Sleep(50);
    }
    return Fail("nothing is playing");
}

BOOL CALLBACK PrintControl(HWND child, LPARAM) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, g_editor, reinterpret_cast<POINT*>(&r), 2);
    std::printf("ctl %d %ld %ld %ld %ld\n", GetDlgCtrlID(child), r.left, r.top, r.right - r.left,
                r.bottom - r.top);
    return TRUE;
}

bool StepLayout() {
    if (!NeedEditor()) return false;
    RECT w, c;
    GetWindowRect(g_editor, &w);
    GetClientRect(g_editor, &c);
    std::printf("window %ldx%ld at %ld,%ld\n", w.right - w.left, w.bottom - w.top, w.left, w.top);
    std::printf("client %ldx%ld\n", c.right, c.bottom);
    EnumChildWindows(g_editor, PrintControl, 0);
    return true;
}

bool StepPlace(int x, int y, int w, int h) {
    if (!NeedEditor()) return false;
    SetWindowPos(g_editor, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    Settle(100);
    return StepLayout();
}

bool StepDrop(HWND target, const std::vector<std::string>& names) {
    if (!target) return Fail("no window to drop on");
    std::vector<char> block(sizeof(DROPFILES));
    auto* df = reinterpret_cast<DROPFILES*>(block.data());
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    for (const std::string& n : names) {
        // The arguments are UTF-8 (this tool's code page).
        WCHAR wide[MAX_PATH];
        const int len = MultiByteToWideChar(CP_UTF8, 0, n.c_str(), -1, wide, MAX_PATH);
        if (len <= 0) return Fail("a name too long to drop: ", n.c_str());
        const char* bytes = reinterpret_cast<const char*>(wide);
        block.insert(block.end(), bytes, bytes + len * sizeof(WCHAR));
    }
    block.insert(block.end(), sizeof(WCHAR), '\0');
    DWORD pid = 0;
    GetWindowThreadProcessId(target, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return Fail("cannot open the player's process");
    // A fixed block: the shell's drop functions lock it as the pointer it
    // is and their free of it fails harmlessly.
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    SIZE_T written = 0;
    bool ok = remote && WriteProcessMemory(process, remote, block.data(), block.size(), &written) &&
              written == block.size();
    CloseHandle(process);
    if (!ok) return Fail("cannot write the drop block");
    PostMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    Sleep(500);
    DWORD_PTR r;
    SendMessageTimeoutA(target, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &r);
    return true;
}

bool StepRebuilds() {
    if (!NeedEditor()) return false;
    std::printf("rebuilds %d\n",
                static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(g_editor, "VorloRebuildCount"))));
    return true;
}

struct DialogSearch {
    HWND owner, found;
};
BOOL CALLBACK FindOwned(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<DialogSearch*>(param);
    char cls[16];
    if (GetWindow(hwnd, GW_OWNER) == s->owner && IsWindowVisible(hwnd) &&
        GetClassNameA(hwnd, cls, sizeof cls) && std::strcmp(cls, "#32770") == 0) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

bool StepFileDialog(const char* name, int ms) {
    if (!NeedEditor()) return false;
    DialogSearch s = {g_editor, nullptr};
    for (int t = 0; t <= ms && !s.found; t += 100) {
        EnumWindows(FindOwned, reinterpret_cast<LPARAM>(&s));
        if (!s.found) Sleep(100);
    }
    if (!s.found) return Fail("no file dialog");
    Sleep(300);
    // The explorer-style dialog's name field: combo box cmb13 (1148) with
    // its edit, or the edit edt1 (1152).
    HWND field = GetDlgItem(s.found, 1148);
    if (field) {
        HWND edit = FindWindowExA(field, nullptr, "Edit", nullptr);
        if (edit) field = edit;
    } else if (!(field = GetDlgItem(s.found, 1152))) {
        field = GetDlgItem(s.found, 1001);  // "Open URL..."
    }
    if (!field) return Fail("no name field in the file dialog");
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name));
    PostMessageA(s.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(s.found, IDOK)));
    for (int t = 0; t <= 5000; t += 100) {
        if (!IsWindow(s.found)) {
            Settle();
            return true;
        }
        Sleep(100);
    }
    return Fail("the file dialog stayed open");
}

int Usage() { return tool::Usage("vorlo-tool-editor"); }

}  // namespace

int main(int argc, char** argv) {
    int i = 1;
    auto arg = [&](int k) { return i + k < argc ? argv[i + k] : nullptr; };
    auto isNumber = [](const char* s) { return s && *s && std::strspn(s, "0123456789") == std::strlen(s); };
    while (i < argc) {
        std::string step = argv[i];
        bool ok;
        if (step == "open" && arg(1)) {
            ok = StepOpen(std::atoi(arg(1))), i += 2;
        } else if (step == "gone" && arg(1)) {
            ok = StepGone(std::atoi(arg(1))), i += 2;
        } else if (step == "sysclose") {
            ok = NeedEditor(), i += 1;
            if (ok) PostMessageA(g_editor, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (step == "lines") {
            ok = StepLines(), i += 1;
        } else if (step == "select") {
            std::vector<int> lines;
            for (++i; i < argc && isNumber(argv[i]); ++i) lines.push_back(std::atoi(argv[i]));
            ok = StepSelect(lines);
        } else if ((step == "button" || step == "postbutton") && arg(1)) {
            ok = StepButton(std::atoi(arg(1)), step == "postbutton"), i += 2;
        } else if (step == "key" && arg(1)) {
            ok = StepKey(std::atoi(arg(1))), i += 2;
        } else if (step == "dblclick" && arg(1)) {
            ok = StepDblClick(std::atoi(arg(1))), i += 2;
        } else if (step == "current" && arg(1)) {
            ok = StepCurrent(std::atoi(arg(1))), i += 2;
        } else if (step == "place" && arg(4)) {
            ok = StepPlace(std::atoi(arg(1)), std::atoi(arg(2)), std::atoi(arg(3)), std::atoi(arg(4))), i += 5;
        } else if (step == "command" && arg(1)) {
            ok = NeedEditor(), i += 2;
            if (ok) SendMessageA(g_editor, WM_COMMAND, std::atoi(argv[i - 1]), 0), Settle(100);
        } else if (step == "layout") {
            ok = StepLayout(), i += 1;
        } else if (step == "drop" || step == "dropmain") {
            std::vector<std::string> names;
            for (++i; i < argc && std::strchr(argv[i], ':'); ++i) names.push_back(argv[i]);
            HWND target = step == "drop" ? (NeedEditor() ? g_editor : nullptr) : FindWindowA(tool::kMainClass, nullptr);
            ok = StepDrop(target, names);
        } else if (step == "rebuilds") {
            ok = StepRebuilds(), i += 1;
        } else if (step == "postcommand" && arg(1)) {
            ok = NeedEditor(), i += 2;
            if (ok) PostMessageA(g_editor, WM_COMMAND, std::atoi(argv[i - 1]), 0);
        } else if (step == "filedialog" && arg(2)) {
            ok = StepFileDialog(arg(1), std::atoi(arg(2))), i += 3;
        } else if (step == "sleep" && arg(1)) {
            Sleep(std::atoi(arg(1))), ok = true, i += 2;
        } else {
            return Usage();
        }
        std::fflush(stdout);
        if (!ok) return 1;
    }
    return 0;
}
