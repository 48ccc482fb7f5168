// The playlist editor window: dialog 114, modeless, without an owner, run by
// the message loop of the user-interface thread (which feeds it
// IsDialogMessage). Every change goes through the playlist's operations; the
// list box is only ever rebuilt from the playlist, never edited in place.
#include "shell/playlist_editor_win.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "playlist/playlist.h"
#include "playlist/playlist_files.h"
#include "playlist/station_list.h"
#include "resources/playlist_editor_ids.h"
#include "resources/resource.h"
#include "shell/main_window.h"
#include "shell/player_win.h"
#include "shell/playlist_editor_text.h"
#include "settings/settings.h"

namespace {

constexpr char kEditorTitle[] = "VORLO Playlist Editor";
constexpr int kMinWidth = 280;   // the smallest window the user can size it to
constexpr int kMinHeight = 255;
// Window property counting the rebuilds of the list, for the integration
// checks (a drop of many files must rebuild once).
constexpr char kRebuildCountProperty[] = "VorloRebuildCount";

struct EditorState {
    HWND hwnd = nullptr;
    int refreshEnabled = 0;   // outlives the window
    int buttonW = 0, buttonH = 0;  // the "Load List" button: the layout's unit
    HMENU menu = nullptr;     // menu 106; submenus 1 (add) and 2 (sort)
    WNDPROC listProc = nullptr;
    int rebuilds = 0;
};
EditorState g_ed;

HWND Item(int id) { return GetDlgItem(g_ed.hwnd, id); }

void ShowEditorError(const char* format, const char* name) {
    char text[1024];
    std::snprintf(text, sizeof text, format, name);
    plat::ShowMessageBox(plat::MainWindow(), text, "Error...",
                         plat::MbIconWarning | plat::MbSetForeground);
}

// The window rectangle into PlaylistX/Y/W/H, unless the window is minimised
// (its rectangle is then the icon's).
void StorePlacement() {
    if (!g_ed.hwnd || IsIconic(g_ed.hwnd)) return;
    RECT r;
    if (!GetWindowRect(g_ed.hwnd, &r)) return;
    g_settings.PlaylistX = r.left;
    g_settings.PlaylistY = r.top;
    g_settings.PlaylistW = r.right - r.left;
    g_settings.PlaylistH = r.bottom - r.top;
}

void Place(int id, int x, int y, int w = -1, int h = -1) {
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (w < 0 ? SWP_NOSIZE : 0);
    SetWindowPos(Item(id), nullptr, x, y, w, h, flags);
}

// The list fills the left, the buttons keep their size along the right edge
// and the bottom; only the list box is resized.
void Layout() {
    RECT c;
    GetClientRect(g_ed.hwnd, &c);
    const int w = c.right, h = c.bottom, bw = g_ed.buttonW, bh = g_ed.buttonH;
    const int x = w - bw - 2;
    Place(IDC_PLE_LIST, 3, 3, w - bw - 10, h - 24);
    Place(IDC_PLE_LOAD, x, 3);
    Place(IDC_PLE_SAVE, x, bh + 3);
    Place(IDC_PLE_ADD, x, 2 * bh + 8);
    Place(IDC_PLE_DELETE, x, 3 * bh + 8);
    Place(IDC_PLE_SHUFFLE, x, 4 * bh + 13);
    Place(IDC_PLE_SORT, x, 5 * bh + 13);
    Place(IDC_PLE_CLEAR, x, 6 * bh + 13);
    Place(IDC_PLE_EDIT_TAG, x, 7 * bh + 18);
    Place(IDC_PLE_DISMISS, x, h - bh - 4);
    Place(IDC_PLE_UP, 3, h - bh + 2);
    Place(IDC_PLE_DOWN, 30, h - bh + 2);
    Place(IDC_PLE_PLAYTIME, 60, h - bh + 2);
    InvalidateRect(g_ed.hwnd, nullptr, TRUE);
}

void SetPlaytime(long long seconds) {
    char text[64];
    FormatPlaytime(text, sizeof text, seconds);
    SetDlgItemTextA(g_ed.hwnd, IDC_PLE_PLAYTIME, text);
}

void AddLine(const PlaylistEntry* entry, int index, int, void* context) {
    char title[kPlaylistPathSize];
    char line[kEditorLineSize];
    const bool tagged = entry->titles.source != kTitleNone;
    if (!tagged) GetPathTitle(entry->path, title, sizeof title);
    FormatEditorLine(line, sizeof line, index + 1, *entry, tagged ? nullptr : title);
    SendMessageA(static_cast<HWND>(context), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
}

// The list rebuilt from the playlist, the current entry's line selected at
// the top of the view. PlaylistForEach holds the playlist's lock, which the
// list box's messages never take.
void FillList() {
    HWND list = Item(IDC_PLE_LIST);
    ++g_ed.rebuilds;
    SetPropA(g_ed.hwnd, kRebuildCountProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(g_ed.rebuilds)));
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    PlaylistForEach(AddLine, list);
    int current = PlaylistGetCurrentIndex();
    if (current >= 0) {
        SendMessageA(list, LB_SETSEL, TRUE, current);
        SendMessageA(list, LB_SETCARETINDEX, current, FALSE);
        SendMessageA(list, LB_SETTOPINDEX, current, 0);
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void Rebuild() {
    if (!g_ed.hwnd || !g_ed.refreshEnabled) return;
    FillList();
    StorePlacement();
}

// The positions selected in the list, ascending, at most kEditorMaxSelection.
int SelectedIndices(int* indices) {
    LRESULT n = SendMessageA(Item(IDC_PLE_LIST), LB_GETSELITEMS, kEditorMaxSelection,
                             reinterpret_cast<LPARAM>(indices));
    return n > 0 ? static_cast<int>(n) : 0;
}

void ShowSelectionPlaytime() {
    int indices[kEditorMaxSelection];
    SetPlaytime(SelectionPlaytime(indices, SelectedIndices(indices)));
}

void DeleteSelected() {
    int indices[kEditorMaxSelection];
    PlaylistRemove(SelectedIndices(indices), indices);
    g_ed.refreshEnabled = 1;
    Rebuild();
    ShowSelectionPlaytime();
}

// Up (direction 0) or down (1); the moved lines stay selected at their new
// places (an entry at the edge stays where it was).
void MoveSelected(int direction) {
    int indices[kEditorMaxSelection];
    int n = SelectedIndices(indices);
    PlaylistMove(direction, n, indices);
    g_ed.refreshEnabled = 1;
    Rebuild();
    HWND list = Item(IDC_PLE_LIST);
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    const int last = PlaylistCount() - 1;
    for (int i = 0; i < n; ++i) {
        int line = direction == 0 ? (indices[i] > 0 ? indices[i] - 1 : 0)
                                  : (indices[i] < last ? indices[i] + 1 : last);
        SendMessageA(list, LB_SETSEL, TRUE, line);
    }
    ShowSelectionPlaytime();
}

// The line with the focus becomes current and the main window plays it.
void PlayFocusedLine() {
    LRESULT line = SendMessageA(Item(IDC_PLE_LIST), LB_GETCARETINDEX, 0, 0);
    if (line < 0 || line >= PlaylistCount()) return;
    PlaylistSelect(static_cast<int>(line), nullptr);
    if (g_hMainWindow)
        SendMessageA(g_hMainWindow, WM_COMMAND, MAKEWPARAM(IDM_PLAY_CURRENT, 0),
                     reinterpret_cast<LPARAM>(g_ed.hwnd));
}

void SaveList() {
    char name[kPlaylistPathSize] = "";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = g_ed.hwnd;
    // The name's extension picks the format; a name without one takes the
    // chosen type's (the dialog adds it), PLS by default.
    ofn.lpstrFilter = "Playlist Files\0*.pls\0M3U8 Playlist (UTF-8)\0*.m3u8\0M3U Playlist\0*.m3u\0";
    ofn.lpstrFile = name;
    ofn.nMaxFile = sizeof name;
    ofn.lpstrDefExt = "PLS";
    ofn.Flags = OFN_HIDEREADONLY;
    if (!GetSaveFileNameA(&ofn)) return;
    // An empty list has nothing to save; any other failure must not pass
    // for a saved list.
    if (PlaylistCount() > 0 && PlaylistSaveList(name) <= 0)
        ShowEditorError("Error Saving Playlist: %s", name);
}

void TrackSubmenu(int index) {
    if (!g_ed.menu) return;
    POINT p;
    GetCursorPos(&p);
    TrackPopupMenu(GetSubMenu(g_ed.menu, index), TPM_LEFTALIGN | TPM_RIGHTBUTTON, p.x, p.y, 0,
                   g_ed.hwnd, nullptr);
}

void AddUrl() {
    char text[IDC_URL_MAX + 1] = "";
    if (!AskForUrl(g_ed.hwnd, text) || std::strlen(text) < 4) return;
    PlaylistOpenItem(kOpenUrl, text);  // a station list gives its streams; it reports its own errors
    g_ed.refreshEnabled = 1;
    Rebuild();
}

void AddDirectory() {
    IMalloc* shellMalloc = nullptr;
    if (FAILED(SHGetMalloc(&shellMalloc)) || !shellMalloc) {
        plat::ShowMessageBox(plat::MainWindow(), "An Error Occurred...", "Error...",
                             plat::MbIconWarning | plat::MbSetForeground);
        return;
    }
    BROWSEINFOA bi = {};
    bi.hwndOwner = g_ed.hwnd;
    bi.lpszTitle = "Please Select a directory to add...";
    if (LPITEMIDLIST item = SHBrowseForFolderA(&bi)) {
        char path[MAX_PATH];
        if (SHGetPathFromIDListA(item, path)) PlaylistOpenItem(kOpenLocal, path);
        shellMalloc->Free(item);
    }
    shellMalloc->Release();
    g_ed.refreshEnabled = 1;
    Rebuild();
}

// Names dropped from the shell: all added first, the list rebuilt once.
void OnDropFiles(HDROP drop) {
    g_ed.refreshEnabled = 0;
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::vector<char> name(DragQueryFileA(drop, i, nullptr, 0) + 1);  // whole: see the main window's
        if (DragQueryFileA(drop, i, name.data(), static_cast<UINT>(name.size()))) PlaylistOpenItem(kOpenLocal, name.data());
    }
    DragFinish(drop);
    g_ed.refreshEnabled = 1;
    Rebuild();
}

void OnCommand(int id, int code) {
    switch (id) {
    case IDC_PLE_DISMISS:
        PlaylistEditorClose();
        break;
    case IDC_PLE_LOAD:
        // "Load List" has the id the dialog manager gives Esc (IDCANCEL):
        // the key must not open the file dialog.
        if (GetKeyState(VK_ESCAPE) < 0) break;
        if (PlaylistOpenDialog(g_ed.hwnd, 1, 2) > 0) {
            g_ed.refreshEnabled = 1;
            Rebuild();
        }
        break;
    case IDC_PLE_SAVE: SaveList(); break;
    case IDC_PLE_ADD: TrackSubmenu(1); break;
    case IDC_PLE_DELETE: DeleteSelected(); break;
    case IDC_PLE_SHUFFLE:
        if (PlaylistShuffle() == 1) Rebuild();
        break;
    case IDC_PLE_SORT: TrackSubmenu(2); break;
    case IDC_PLE_UP: MoveSelected(0); break;
    case IDC_PLE_DOWN: MoveSelected(1); break;
    case IDC_PLE_CLEAR:
        g_ed.refreshEnabled = 1;
        PlaylistClear();  // its refresh hook rebuilds the (now empty) list
        SendMessageA(Item(IDC_PLE_LIST), LB_RESETCONTENT, 0, 0);
        SetPlaytime(0);
        break;
    case IDM_ADD_FILES:
        if (PlaylistOpenDialog(g_ed.hwnd, 0, 0) > 0) {
            g_ed.refreshEnabled = 1;
            Rebuild();
        }
        break;
    case IDM_ADD_URL: AddUrl(); break;
    case IDM_ADD_DIRECTORY: AddDirectory(); break;
    case IDM_SORT_ASCENDING:
    case IDM_SORT_DESCENDING:
        if (PlaylistSort(id == IDM_SORT_DESCENDING) == 1) Rebuild();
        break;
    case IDC_PLE_LIST:
        if (code == LBN_SELCHANGE) ShowSelectionPlaytime();
        if (code == LBN_DBLCLK) PlayFocusedLine();
        break;
    }
}

// The list box asks for Enter itself, so that IsDialogMessage hands it over
// instead of pressing the default button ("Dismiss").
LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_GETDLGCODE && lParam) {
        const MSG* m = reinterpret_cast<const MSG*>(lParam);
        if (m->message == WM_KEYDOWN && m->wParam == VK_RETURN) return DLGC_WANTALLKEYS;
    }
    return CallWindowProcA(g_ed.listProc, hwnd, msg, wParam, lParam);
}

// Enter plays, Delete removes, Insert is swallowed; -2 means handled, -1
// lets the list box act on the key.
INT_PTR OnListKey(int key) {
    switch (key) {
    case VK_RETURN: PlayFocusedLine(); return -2;
    case VK_DELETE: DeleteSelected(); return -2;
    case VK_INSERT: return -2;
    }
    return -1;
}

void OnInitDialog(HWND hwnd) {
    g_ed.hwnd = hwnd;
    if (HICON icon = LoadIconA(g_hInstance, MAKEINTRESOURCEA(IDI_PLAYLIST_EDITOR))) {
        SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    SetWindowTextA(hwnd, kEditorTitle);
    g_ed.menu = LoadMenuA(g_hInstance, MAKEINTRESOURCEA(IDR_POPUP_MENU));
    HWND list = Item(IDC_PLE_LIST);
    g_ed.listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProc)));
    RECT b;
    GetWindowRect(Item(IDC_PLE_LOAD), &b);
    g_ed.buttonW = b.right - b.left;
    g_ed.buttonH = b.bottom - b.top;
    // Clamped through WM_GETMINMAXINFO to the smallest size; WM_SIZE lays
    // the controls out.
    SetWindowPos(hwnd, nullptr, g_settings.PlaylistX, g_settings.PlaylistY, g_settings.PlaylistW,
                 g_settings.PlaylistH, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    SetPlaytime(-1);
    if (PlaylistCount() > 0) {
        FillList();
        PlaylistEntry current;
        if (PlaylistGetCurrentEntry(&current) && current.infoRead == 1)
            SetPlaytime(current.durationMs / 1000);
    }
}

INT_PTR CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(hwnd);
        return TRUE;
    case WM_SIZE:
        if (g_ed.hwnd == hwnd && wParam != SIZE_MINIMIZED) Layout();
        return TRUE;
    case WM_GETMINMAXINFO: {
        auto* mmi = reinterpret_cast<MINMAXINFO*>(lParam);
        mmi->ptMinTrackSize.x = kMinWidth;
        mmi->ptMinTrackSize.y = kMinHeight;
        return TRUE;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:  // not through IDCANCEL, which is "Load List" here
        PlaylistEditorClose();
        return TRUE;
    case WM_VKEYTOITEM:
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, OnListKey(LOWORD(wParam)));
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_VORLO_PLAYLIST_REFRESH:
        Rebuild();
        return TRUE;
    case WM_DESTROY:
        StorePlacement();
        RemovePropA(hwnd, kRebuildCountProperty);
        if (g_ed.menu) DestroyMenu(g_ed.menu);
        g_ed.menu = nullptr;
        return TRUE;
    case WM_NCDESTROY:
        if (g_ed.hwnd == hwnd) g_ed.hwnd = nullptr;
        return FALSE;
    }
    return FALSE;
}

}  // namespace

int PlaylistEditorShow() {
    if (!g_ed.hwnd) {
        HWND hwnd = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PLAYLIST_EDITOR), nullptr,
                                       EditorProc, 0);
        if (!hwnd) return 0;
        g_ed.hwnd = hwnd;
    }
    ShowWindow(g_ed.hwnd, SW_SHOW);
    return 1;
}

int PlaylistEditorClose() {
    if (g_ed.hwnd) DestroyWindow(g_ed.hwnd);
    g_ed.hwnd = nullptr;
    return 1;
}

int PlaylistEditorIsOpen() {
    if (!g_ed.hwnd) return 0;
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    return GetWindowPlacement(g_ed.hwnd, &wp) && wp.showCmd != SW_HIDE ? 1 : 0;
}

void PlaylistEditorRefresh() {
    if (g_ed.hwnd) SendMessageA(g_ed.hwnd, WM_VORLO_PLAYLIST_REFRESH, 0, 0);
}

void PlaylistEditorEnableRefresh(int enabled) { g_ed.refreshEnabled = enabled ? 1 : 0; }

HWND PlaylistEditorWindow() { return g_ed.hwnd; }
