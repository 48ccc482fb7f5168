// The notification-area icon and the mini controller.
//
// The icon exists only while the main window is minimised into the tray
// (MinimizeLocation 1); its picture and tip follow the decoder's progress
// notices. The mini controller is a modeless dialog owned by the main
// window that closes itself as soon as it loses activation.
#include "shell/tray_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>

#include "decoder/decoder_thread.h"
#include "playlist/playlist.h"
#include "resources/resource.h"
#include "resources/tray_ids.h"
#include "shell/dpi_win.h"
#include "shell/player_control.h"
#include "shell/player_win.h"
#include "shell/skin_geometry.h"
#include "shell/tray_tip.h"

namespace {

constexpr UINT kHoldMs = 500;      // left button held this long opens the controller
constexpr UINT kFollowMs = 500;    // the controller's slider follows the position
constexpr int kMiniLeft = 80;      // controller's corner left of / above the pointer
constexpr int kMiniUp = 33;

// The controller's layout in skin pixels (the window draws it at the main
// window's scale): a black frame, five keys in a row, the slider below.
constexpr int kMiniWidth = 149, kMiniHeight = 51;
struct MiniPlace {
    int control;
    SkinRect rect;
};
constexpr MiniPlace kMiniPlaces[] = {
    {IDC_MINI_PREV, {5, 4, 33, 25}},   {IDC_MINI_PLAY, {33, 4, 61, 25}},   {IDC_MINI_PAUSE, {61, 4, 89, 25}},
    {IDC_MINI_STOP, {89, 4, 117, 25}}, {IDC_MINI_NEXT, {117, 4, 145, 25}}, {IDC_MINI_SLIDER, {3, 27, 147, 47}},
};
constexpr int kThumbHalf = 5;  // the slider's thumb is 11 skin pixels wide

struct TrayState {
    HINSTANCE instance = nullptr;
    HICON icons[11] = {};          // by percent / 10
    bool inTray = false;
    int lastPercent = 0;
    int decoderThread = -1;        // given with AddTrayIcon, for the controller's seeks
    bool holdPending = false;      // left button down on the icon, timer running
    HWND mini = nullptr;
    int followPosition = 1;        // 0 while the user moves the slider
    HBRUSH panelBrush = nullptr;   // the controller's slate background
    HICON miniIcon = nullptr;
    WNDPROC sliderProc = nullptr;  // the trackbar's own, under the controller's painting
    int sliderPainted = -1;        // the position the slider's picture shows
};
TrayState g_tray;

// The skin's colours: slate body, dark key wells, LED teal glyphs.
constexpr COLORREF kPanel = RGB(44, 50, 60);
constexpr COLORREF kKeyUp = RGB(64, 70, 82);
constexpr COLORREF kKeyDown = RGB(14, 16, 20);
constexpr COLORREF kRim = RGB(150, 154, 160);
constexpr COLORREF kGlyph = RGB(78, 218, 246);
constexpr COLORREF kGlyphDown = RGB(206, 252, 255);
constexpr COLORREF kFocusRim = RGB(28, 140, 166);

HICON IconFor(int percent) {
    const int id = TrayIconForPercent(percent);
    for (int i = 0; i <= 10; ++i)
        if (TrayIconForPercent(i * 10) == id) return g_tray.icons[i];
    return nullptr;
}

// The tip goes through the wide call: its 63 characters then always fit
// the record (the 8-bit record holds 127 bytes, fewer than 63 characters of
// most scripts take as UTF-8).
void FillNotifyData(HWND main, NOTIFYICONDATAW& nid) {
    std::memset(&nid, 0, sizeof nid);
    nid.cbSize = sizeof nid;
    nid.hWnd = main;
    nid.uID = VORLO_TRAY_ICON_ID;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_VORLO_TRAY;
    nid.hIcon = IconFor(g_tray.lastPercent);
    char path[kPlaylistPathSize];
    char title[kPlaylistPathSize] = "";
    if (PlaylistGetCurrentPath(path, sizeof path)) GetPathTitle(path, title, sizeof title);
    char tip[kTrayTipBytes];
    FormatTrayTip(title, g_tray.lastPercent, tip, sizeof tip);
    if (!MultiByteToWideChar(CP_ACP, 0, tip, -1, nid.szTip, ARRAYSIZE(nid.szTip))) nid.szTip[0] = L'\0';
}

int SeekThread() {
    return g_tray.decoderThread > 0 ? g_tray.decoderThread : PlayerDecoderThread();
}

// ---------------------------------------------------------------- controller

struct MiniButton {
    int control;
    int command;
};
constexpr MiniButton kMiniButtons[] = {
    {IDC_MINI_PREV, IDM_PREVIOUS}, {IDC_MINI_PLAY, IDM_PLAY}, {IDC_MINI_PAUSE, IDM_PAUSE},
    {IDC_MINI_STOP, IDM_STOP},     {IDC_MINI_NEXT, IDM_NEXT},
};

void FillPolygon(HDC dc, const POINT* pts, int n, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    Polygon(dc, pts, n);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

void FillBox(HDC dc, int x0, int y0, int x1, int y1, COLORREF colour) {
    RECT r = {x0, y0, x1, y1};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// Draws a w x h picture of skin pixels through draw(dc) into a memory
// context, then onto the window context at the skin's scale.
template <typename Draw>
void DrawScaled(HDC window, int w, int h, Draw draw) {
    HDC dc = CreateCompatibleDC(window);
    HBITMAP bmp = CreateCompatibleBitmap(window, w, h);
    if (dc && bmp) {
        HGDIOBJ old = SelectObject(dc, bmp);
        draw(dc);
        SkinBlit(window, 0, 0, w, h, dc, 0, 0);
        SelectObject(dc, old);
    }
    if (bmp) DeleteObject(bmp);
    if (dc) DeleteDC(dc);
}

// A key in the skin's manner: rimmed dark well when pressed, raised slate
// when up, the transport glyph in LED teal centred on it (h pixels high).
void DrawMiniKey(HDC dc, const DRAWITEMSTRUCT& di, const RECT& r) {
    const bool down = (di.itemState & ODS_SELECTED) != 0;
    FillBox(dc, r.left, r.top, r.right, r.bottom, kRim);
    FillBox(dc, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, down ? kKeyDown : kKeyUp);
    if (!down) FillBox(dc, r.left + 1, r.top + 1, r.right - 1, r.top + 2, RGB(96, 104, 118));
    const COLORREF c = down ? kGlyphDown : kGlyph;
    const int h = (r.bottom - r.top) * 2 / 5 | 1;  // odd, so triangles have a tip row
    const int cx = (r.left + r.right) / 2 + (down ? 1 : 0);
    const int cy = (r.top + r.bottom) / 2 + (down ? 1 : 0);
    const int top = cy - h / 2, bot = cy + h / 2;
    const int w = h / 2 + 1;  // a triangle's width
    auto right = [&](int x) {  // triangle pointing right, base at x
        POINT p[3] = {{x, top}, {x + w, cy}, {x, bot}};
        FillPolygon(dc, p, 3, c);
    };
    auto left = [&](int x) {  // triangle pointing left, base at x
        POINT p[3] = {{x, top}, {x - w, cy}, {x, bot}};
        FillPolygon(dc, p, 3, c);
    };
    switch (di.CtlID) {
    case IDC_MINI_PREV:
        FillBox(dc, cx - w - 1, top, cx - w + 1, bot + 1, c);
        left(cx + w / 2 + 1);
        break;
    case IDC_MINI_PLAY: right(cx - w / 2); break;
    case IDC_MINI_PAUSE:
        FillBox(dc, cx - 3, top, cx - 1, bot + 1, c);
        FillBox(dc, cx + 1, top, cx + 3, bot + 1, c);
        break;
    case IDC_MINI_STOP: FillBox(dc, cx - h / 2, top, cx + h / 2 + 1, bot + 1, c); break;
    case IDC_MINI_NEXT:
        right(cx - w / 2 - 1);
        FillBox(dc, cx + w - 1, top, cx + w + 1, bot + 1, c);
        break;
    }
    if (di.itemState & ODS_FOCUS) {  // the keyboard's key: a teal rim
        HBRUSH rim = CreateSolidBrush(kFocusRim);
        FrameRect(dc, &r, rim);
        DeleteObject(rim);
    }
}

void DrawMiniKey(const DRAWITEMSTRUCT& di) {
    const int s = SkinScale();
    const RECT r = {0, 0, (di.rcItem.right - di.rcItem.left) / s, (di.rcItem.bottom - di.rcItem.top) / s};
    DrawScaled(di.hDC, r.right, r.bottom, [&](HDC dc) { DrawMiniKey(dc, di, r); });
}

// The slider in the same manner, painted whole at the skin's scale over the
// trackbar (which keeps the keyboard, the mouse and the notices): a dark
// groove with a dim LED line, a light grey thumb, a teal rim with the focus.
void PaintMiniSlider(HWND slider, int pos, int max) {
    PAINTSTRUCT ps;
    HDC window = BeginPaint(slider, &ps);
    const int s = SkinScale();
    RECT c;
    GetClientRect(slider, &c);
    const int w = c.right / s, h = c.bottom / s, cy = h / 2;
    const int x = kThumbHalf + (max > 0 ? (w - 1 - 2 * kThumbHalf) * pos / max : 0);  // the thumb's centre
    const bool focus = GetFocus() == slider;
    DrawScaled(window, w, h, [&](HDC dc) {
        FillBox(dc, 0, 0, w, h, kPanel);
        FillBox(dc, 2, cy - 2, w - 2, cy + 2, kKeyDown);
        FillBox(dc, 3, cy - 1, w - 3, cy + 1, kFocusRim);
        FillBox(dc, x - kThumbHalf, 2, x + kThumbHalf + 1, h - 2, kRim);
        FillBox(dc, x - kThumbHalf + 1, 3, x + kThumbHalf, h - 3, RGB(214, 218, 224));
        if (focus) {
            const RECT r = {0, 0, w, h};
            HBRUSH rim = CreateSolidBrush(kFocusRim);
            FrameRect(dc, &r, rim);
            DeleteObject(rim);
        }
    });
    EndPaint(slider, &ps);
}

LRESULT CALLBACK MiniSliderProc(HWND slider, UINT msg, WPARAM wParam, LPARAM lParam) {
    const WNDPROC own = g_tray.sliderProc;
    const auto position = [&] { return static_cast<int>(CallWindowProcA(own, slider, TBM_GETPOS, 0, 0)); };
    switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
        g_tray.sliderPainted = position();
        PaintMiniSlider(slider, g_tray.sliderPainted,
                        static_cast<int>(CallWindowProcA(own, slider, TBM_GETRANGEMAX, 0, 0)));
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(slider, nullptr, FALSE); break;
    }
    const LRESULT result = CallWindowProcA(own, slider, msg, wParam, lParam);
    // The trackbar repaints where its own thumb was and is: the picture here
    // is repainted whole when the position has moved.
    if (msg != WM_NCDESTROY && position() != g_tray.sliderPainted) InvalidateRect(slider, nullptr, FALSE);
    return result;
}

// Places the controls at the scale, and the slider under the painting above.
void LayOutMini(HWND dlg, int scale) {
    for (const MiniPlace& p : kMiniPlaces) {
        const SkinRect r = SkinRectToWindow(p.rect, scale);
        SetWindowPos(GetDlgItem(dlg, p.control), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    HWND slider = GetDlgItem(dlg, IDC_MINI_SLIDER);
    g_tray.sliderPainted = -1;
    const auto own = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(slider, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MiniSliderProc)));
    if (own != MiniSliderProc) g_tray.sliderProc = own;
}

void OnMiniSlider(HWND dlg, int code) {
    if (code != TB_ENDTRACK) {
        // Dragging, clicking beside the thumb or a key: hold the thumb where
        // the user puts it until the move ends.
        g_tray.followPosition = 0;
        return;
    }
    if (g_tray.followPosition == 0) {
        const int pos = static_cast<int>(SendDlgItemMessageA(dlg, IDC_MINI_SLIDER, TBM_GETPOS, 0, 0));
        PostSeek(pos, SeekThread());
    }
    g_tray.followPosition = 1;
}

void OnMiniInit(HWND dlg) {
    g_tray.mini = dlg;
    g_tray.followPosition = 1;
    if (!g_tray.panelBrush) g_tray.panelBrush = CreateSolidBrush(kPanel);
    if (!g_tray.miniIcon)
        g_tray.miniIcon = static_cast<HICON>(LoadImageA(g_tray.instance, MAKEINTRESOURCEA(IDI_MINI_CONTROLLER),
                                                        IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    if (g_tray.miniIcon) {
        SendMessageA(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_tray.miniIcon));
        SendMessageA(dlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_tray.miniIcon));
    }
    HWND slider = GetDlgItem(dlg, IDC_MINI_SLIDER);
    SendMessageA(slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
    SendMessageA(slider, TBM_SETPAGESIZE, 0, 10);
    SendMessageA(slider, TBM_SETPOS, TRUE, g_tray.lastPercent);
    const int scale = SkinScale();
    LayOutMini(dlg, scale);
    POINT pt = {};
    GetCursorPos(&pt);
    const int x = pt.x - kMiniLeft * scale < 0 ? 0 : pt.x - kMiniLeft * scale;
    const int y = pt.y - kMiniUp * scale < 0 ? 0 : pt.y - kMiniUp * scale;
    SetWindowPos(dlg, HWND_TOPMOST, x, y, kMiniWidth * scale, kMiniHeight * scale, SWP_SHOWWINDOW);
    SetForegroundWindow(dlg);
    SetActiveWindow(dlg);
    SetTimer(dlg, VORLO_MINI_TIMER, kFollowMs, nullptr);
}

INT_PTR CALLBACK MiniControllerProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        OnMiniInit(dlg);
        return FALSE;  // the focus stays where activation put it
    case WM_TIMER:
        if (wParam == VORLO_MINI_TIMER && g_tray.followPosition == 1)
            SendDlgItemMessageA(dlg, IDC_MINI_SLIDER, TBM_SETPOS, TRUE, g_tray.lastPercent);
        return TRUE;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dlg, IDC_MINI_SLIDER))
            OnMiniSlider(dlg, LOWORD(wParam));
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDCANCEL) {
            CloseMiniController();
            return TRUE;
        }
        for (const MiniButton& b : kMiniButtons)
            if (b.control == id && HIWORD(wParam) == BN_CLICKED) {
                HWND owner = GetWindow(dlg, GW_OWNER);
                if (owner) SendMessageA(owner, WM_COMMAND, MAKEWPARAM(b.command, 0), 0);
                return TRUE;
            }
        return FALSE;
    }
    case WM_PAINT: {  // the frame, one skin pixel of black
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(dlg, &ps);
        const int s = SkinScale();
        RECT c;
        GetClientRect(dlg, &c);
        FillBox(dc, 0, 0, c.right, s, RGB(0, 0, 0));
        FillBox(dc, 0, c.bottom - s, c.right, c.bottom, RGB(0, 0, 0));
        FillBox(dc, 0, 0, s, c.bottom, RGB(0, 0, 0));
        FillBox(dc, c.right - s, 0, c.right, c.bottom, RGB(0, 0, 0));
        EndPaint(dlg, &ps);
        return TRUE;
    }
    case WM_DRAWITEM:
        DrawMiniKey(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(g_tray.panelBrush);
    case WM_ACTIVATE:
        // Closed from outside the activation change, so the window that
        // takes the activation is not disturbed by a destroy in between.
        if (LOWORD(wParam) == WA_INACTIVE) PostMessageA(dlg, WM_CLOSE, 0, 0);
        return FALSE;
    case WM_CLOSE:
        CloseMiniController();
        return TRUE;
    case WM_DESTROY:
        // Also reached when the owner is destroyed first.
        KillTimer(dlg, VORLO_MINI_TIMER);
        if (g_tray.mini == dlg) g_tray.mini = nullptr;
        return FALSE;
    }
    return FALSE;
}

}  // namespace

void LoadTrayIcons(HINSTANCE instance) {
    g_tray.instance = instance;
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    for (int i = 0; i <= 10; ++i)
        if (!g_tray.icons[i])
            g_tray.icons[i] = static_cast<HICON>(LoadImageA(
                instance, MAKEINTRESOURCEA(TrayIconForPercent(i * 10)), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
}

void AddTrayIcon(HWND main, int percent, int decoderThread) {
    g_tray.lastPercent = percent;
    g_tray.decoderThread = decoderThread;
    NOTIFYICONDATAW nid;
    FillNotifyData(main, nid);
    // A refused icon is not reported: the window hides all the same, and
    // restoring it by the task list still works.
    Shell_NotifyIconW(NIM_ADD, &nid);
    g_tray.inTray = true;
    ShowWindow(main, SW_HIDE);
}

void RemoveTrayIcon(HWND main) {
    if (!g_tray.inTray) return;
    NOTIFYICONDATAW nid = {};
    nid.cbSize = sizeof nid;
    nid.hWnd = main;
    nid.uID = VORLO_TRAY_ICON_ID;
    Shell_NotifyIconW(NIM_DELETE, &nid);
    g_tray.inTray = false;
    g_tray.holdPending = false;
    KillTimer(main, VORLO_TRAY_TIMER);
    ShowWindow(main, SW_SHOW);
}

void UpdateTrayIcon(HWND main, int percent) {
    g_tray.lastPercent = percent;
    if (!g_tray.inTray) return;
    NOTIFYICONDATAW nid;
    FillNotifyData(main, nid);
    Shell_NotifyIconW(NIM_MODIFY, &nid);
}

int ShowMiniController(HWND main) {
    if (g_tray.mini) CloseMiniController();
    HINSTANCE instance = g_tray.instance ? g_tray.instance : GetModuleHandleA(nullptr);
    HWND dlg = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MINI_CONTROLLER), main, MiniControllerProc, 0);
    return dlg ? 1 : 0;
}

void CloseMiniController() {
    HWND dlg = g_tray.mini;
    if (!dlg) return;
    g_tray.mini = nullptr;
    KillTimer(dlg, VORLO_MINI_TIMER);
    DestroyWindow(dlg);
}

void OnTrayNotify(HWND main, LPARAM mouseMessage) {
    switch (static_cast<UINT>(mouseMessage)) {
    case WM_LBUTTONDOWN:
        g_tray.holdPending = true;
        SetTimer(main, VORLO_TRAY_TIMER, kHoldMs, nullptr);
        break;
    case WM_LBUTTONUP:
        if (g_tray.holdPending) {
            g_tray.holdPending = false;
            KillTimer(main, VORLO_TRAY_TIMER);
        }
        break;
    case WM_RBUTTONDOWN: {
        SetForegroundWindow(main);
        POINT pt = {};
        GetCursorPos(&pt);
        SendMessageA(main, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(main), MAKELPARAM(pt.x, pt.y));
        break;
    }
    case WM_LBUTTONDBLCLK:
        g_tray.holdPending = false;
        KillTimer(main, VORLO_TRAY_TIMER);
        ShowWindow(main, SW_RESTORE);
        RemoveTrayIcon(main);
        SetForegroundWindow(main);
        break;
    }
}

void OnTrayHoldTimer(HWND main) {
    KillTimer(main, VORLO_TRAY_TIMER);
    if (g_tray.holdPending) ShowMiniController(main);
    g_tray.holdPending = false;
}

HWND MiniControllerWindow() { return g_tray.mini; }
