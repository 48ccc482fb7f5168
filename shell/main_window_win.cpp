// The main window VorMainWindow: the skin (regions, palette, painting,
// mouse) and the player's commands, the decoder's notices, dropped files,
// the hand-over records of a second start, and the window's creation and
// destruction with the threads they start and stop.
//
// Every redraw goes through WM_PAINT: a control that changes invalidates
// its own bounds and updates the window at once. The paint composes the
// invalid area off-screen (background, then each element that meets it)
// and copies it in one blit, leaving out the LED panel and the dial, which
// their threads draw.
#include "shell/main_window.h"

#include <commdlg.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder/decoder_thread.h"
#include "decoder/equalizer.h"
#include "output/http_stream.h"
#include "output/output_driver.h"
#include "output/stream_titles.h"
#include "output/vis_feed.h"
#include "platform/platform.h"
#include "playlist/playlist.h"
#include "playlist/playlist_files.h"
#include "playlist/station_list.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "shell/dial_win.h"
#include "shell/dpi_win.h"
#include "shell/file_types_win.h"
#include "shell/gdi_raii_win.h"
#include "shell/irc_win.h"
#include "shell/led_win.h"
#include "shell/media_keys_win.h"
#include "shell/player_win.h"
#include "shell/playlist_editor_win.h"
#include "shell/preferences_win.h"
#include "shell/shared_section.h"
#include "shell/skin_bitmaps_win.h"
#include "shell/skin_geometry.h"
#include "shell/startup.h"
#include "shell/tag_editor_win.h"
#include "shell/title_notices.h"
#include "shell/tray_win.h"
#include "tag/replay_gain.h"

namespace {

constexpr unsigned kNextPlayDelayMs = 100;  // lets the decoder act on the stop posted first
constexpr unsigned kVolumeStepMs = 60;

// Everything the window owns; one instance, used on the user-interface
// thread only (the dial thread reads the sector regions).
struct MainWindowState {
    HWND hwnd = nullptr;
    bool created = false;  // WM_CREATE ran to its end
    Palette palette;
    Region shape;  // a copy of the window region
    HRGN sectors[kDialSectors] = {};
    Region elements[kElemCount];
    Bitmap background, smallButtons, transport, levels;
    HMENU menu = nullptr;
    int decoderThread = -1;
    bool ledStarted = false, dialStarted = false, sectionOpen = false;
    // mouse
    bool tracking[kElemCount] = {};
    bool pressed[kElemCount] = {};
    bool moving = false;
    POINT grab{0, 0};
    bool dragVolume = false, dragEqualizer = false, dragDial = false;
    bool volumeStop = false;
    int lastPercent = 0;
    TitleNoticeCoalescer titles;  // a station's title changes, acted on coalesced
    bool playFetched = false;      // a replaced playlist waits for a station list to play
};
MainWindowState g_mw;

void ShowError(const char* format, const char* name) {
    char text[1024];
    std::snprintf(text, sizeof text, format, name);
    plat::ShowMessageBox(g_mw.hwnd, text, "Error...", plat::MbIconWarning | plat::MbSetForeground);
}

// ------------------------------------------------------------------ skin

bool CreatePalette() {
    SkinColour colours[kPaletteSize];
    BuildSkinPalette(colours);
    struct {
        LOGPALETTE head;
        PALETTEENTRY more[kPaletteSize - 1];
    } lp;
    lp.head.palVersion = 0x300;
    lp.head.palNumEntries = kPaletteSize;
    PALETTEENTRY* e = lp.head.palPalEntry;
    for (int i = 0; i < kPaletteSize; ++i)
        e[i] = PALETTEENTRY{colours[i].r, colours[i].g, colours[i].b, PC_NOCOLLAPSE};
    g_mw.palette.reset(::CreatePalette(&lp.head));
    return static_cast<bool>(g_mw.palette);
}

bool CreateRegions() {
    for (int k = 0; k < kDialSectors; ++k) {
        SkinPoint p[4];
        DialPolygon(k, p);
        POINT pts[4];
        for (int i = 0; i < 4; ++i) pts[i] = POINT{p[i].x, p[i].y};
        g_mw.sectors[k] = CreatePolygonRgn(pts, 4, ALTERNATE);
        if (!g_mw.sectors[k]) return false;
    }
    for (int e = 0; e < kElemCount; ++e) {
        const SkinElementInfo& info = SkinElementAt(e);
        HRGN r = e == kElemDial
                     ? CreateEllipticRgn(kDialBox.left, kDialBox.top, kDialBox.right, kDialBox.bottom)
                     : CreateRectRgn(info.hit.left, info.hit.top, info.hit.right, info.hit.bottom);
        if (!r) return false;
        if (info.hit2.right > info.hit2.left) {
            Region second(CreateRectRgn(info.hit2.left, info.hit2.top, info.hit2.right, info.hit2.bottom));
            if (second) CombineRgn(r, r, second.get(), RGN_OR);
        }
        g_mw.elements[e].reset(r);
    }
    return true;
}

void FreeRegions() {
    for (HRGN& r : g_mw.sectors) {
        if (r) DeleteObject(r);
        r = nullptr;
    }
    for (Region& r : g_mw.elements) r.reset();
    g_mw.shape.reset();
}

// Combines each of the skin rectangles, at scale s, into shape by mode.
void CombineSkinRects(HRGN shape, const SkinRect* rects, int count, int s, int mode) {
    for (int i = 0; i < count; i++) {
        const SkinRect c = SkinRectToWindow(rects[i], s);
        Region r(CreateRectRgn(c.left, c.top, c.right, c.bottom));
        if (r) CombineRgn(shape, shape, r.get(), mode);
    }
}

// The window region: the client rectangle less the cut corners and edges,
// plus the expand button's tab at markerTop (-1: none).
void BuildWindowShape(HWND hwnd, int markerTop) {
    const int s = SkinScale(), W = kSkinWidth, H = kSkinHeightExpanded;
    HRGN shape = CreateRectRgn(0, 0, W * s, H * s);
    if (!shape) return;
    SkinRect cuts[kShapeCutCount];
    ShapeCutRects(W, H, cuts);
    CombineSkinRects(shape, cuts, kShapeCutCount, s, RGN_DIFF);
    if (markerTop != -1) {
        SkinRect tab[kShapeTabCount];
        ShapeTabRects(W, markerTop, tab);
        CombineSkinRects(shape, tab, kShapeTabCount, s, RGN_OR);
    }
    g_mw.shape.reset(CreateRectRgn(0, 0, 0, 0));
    if (g_mw.shape) CombineRgn(g_mw.shape.get(), shape, nullptr, RGN_COPY);
    SetWindowRgn(hwnd, shape, TRUE);  // the system owns shape from here
}

RECT ToRect(const SkinRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// ------------------------------------------------------------ user skins

// The message naming the chosen skin's fallbacks, shown once the window
// has taken the skin (a posted WM_VORLO_SKIN_NOTICE).
std::string g_skinNotice;

void SelectSkinOf(const char* name) {
    g_skinNotice = SelectSkin(name);
    if (!g_skinNotice.empty()) PostMessageA(g_mw.hwnd, WM_VORLO_SKIN_NOTICE, 0, 0);
}

void LoadWindowBitmaps() {
    g_mw.background.reset(LoadSkinBitmap(IDB_BACKGROUND));
    g_mw.smallButtons.reset(LoadSkinBitmap(IDB_SMALL_BUTTONS));
    g_mw.transport.reset(LoadSkinBitmap(IDB_TRANSPORT));
    g_mw.levels.reset(LoadSkinBitmap(IDB_VOLUME_EQ));
}

void ShowSkinNotice() {
    const std::string text = std::move(g_skinNotice);
    g_skinNotice.clear();
    if (!text.empty())
        plat::ShowMessageBox(g_mw.hwnd, text.c_str(), "Skin...", plat::MbIconWarning | plat::MbSetForeground);
}

// Repaints the rectangle now, through WM_PAINT.
void RedrawNow(const SkinRect& r) {
    RECT rc = ToRect(SkinRectToWindow(r, SkinScale()));
    InvalidateRect(g_mw.hwnd, &rc, FALSE);
    UpdateWindow(g_mw.hwnd);
}
void RedrawElement(int e) { RedrawNow(SkinElementBounds(e)); }
// The volume and equaliser repaint their images' full area.
void RedrawVolume() { RedrawNow(SkinRect{37, 98, 46, 179}); }
void RedrawEqualizer() { RedrawNow(SkinRect{67, 98, 235, 178}); }

void Blit(HDC dst, int x, int y, int w, int h, HDC src, HBITMAP bmp, int sx, int sy) {
    Selection s(src, bmp);
    BitBlt(dst, x, y, w, h, src, sx, sy, SRCCOPY);
}

void DrawButton(HDC dc, HDC src, int e) {
    const SkinElementInfo& info = SkinElementAt(e);
    const bool down = g_mw.pressed[e];
    HBITMAP bmp = info.bitmap == kBmpSmallButtons ? g_mw.smallButtons.get() : g_mw.transport.get();
    int sx = down ? info.pressedSrcX : info.upSrcX;
    int sy = down ? info.pressedSrcY : info.upSrcY;
    if (e == kElemRepeat || e == kElemShuffle) {
        const int on = (e == kElemRepeat ? g_settings.RepeatPlay : g_settings.ShufflePlay) == 1;
        sy = info.switchRows[on * 2 + (down ? 1 : 0)];
    }
    ClipScope clip(dc, g_mw.elements[e].get());
    Blit(dc, down ? info.pressedX : info.upX, down ? info.pressedY : info.upY, info.width,
         info.height, src, bmp, sx, sy);
}

void DrawVolume(HDC dc, HDC src) {
    if (g_settings.EqVolume < 0) return;  // the background alone
    Region lit(CreateRectRgn(0, 0, 0, 0));
    if (!lit) return;
    for (int i = 0; i <= g_settings.EqVolume && i < kVolumeSegments; ++i) {
        const SkinRect s = VolumeSegment(i);
        Region r(CreateRectRgn(s.left, s.top, s.right, s.bottom));
        if (r) CombineRgn(lit.get(), lit.get(), r.get(), RGN_OR);
    }
    ClipScope clip(dc, lit.get());
    Blit(dc, 37, 99, 9, 79, src, g_mw.levels.get(), 0, 0);
}

void DrawEqualizer(HDC dc, HDC src) {
    for (int c = 0; c < kEqBandCount; ++c) {
        const SkinRect cell = EqualizerCell(c, EqualizerRowForValue(g_settings.EqBand[c]));
        Region r(CreateRectRgn(cell.left, cell.top, cell.right, cell.bottom));
        ClipScope clip(dc, r.get());
        Blit(dc, 67 + 14 * c, 99, 9, 74, src, g_mw.levels.get(), 9, 0);
    }
}

// The one paint path.
void Paint(HWND hwnd) {
    PaintDc pdc(hwnd);
    const RECT& area = pdc.info().rcPaint;
    if (IsRectEmpty(&area)) return;
    const int scale = SkinScale();
    const SkinRect paint = SkinRectFromWindow(SkinRect{area.left, area.top, area.right, area.bottom}, scale);
    HDC screenDc = pdc.get();
    PaletteSelection pal(screenDc, g_mw.palette.get(), FALSE);

    MemoryDc buffer(screenDc), src(screenDc);
    Bitmap frame(CreateCompatibleBitmap(screenDc, kSkinWidth + 1, kSkinHeightExpanded));
    if (!buffer || !src || !frame) return;
    Selection useFrame(buffer.get(), frame.get());
    HDC dc = buffer.get();

    // The background of the area; collapsed, the bottom edge is closed by
    // the background's last rows.
    Blit(dc, 0, 0, kSkinWidth + 1, kSkinHeightExpanded, src.get(), g_mw.background.get(), 0, 0);
    if (!g_settings.expanded)
        Blit(dc, 0, 93, kSkinWidth + 1, 6, src.get(), g_mw.background.get(), 0, 185);

    for (int e = kElemClose; e <= kElemShuffle; ++e)
        if (SkinIsButton(e) && SkinRectsMeet(SkinElementBounds(e), paint)) DrawButton(dc, src.get(), e);
    if (SkinRectsMeet(SkinRect{37, 98, 46, 179}, paint)) DrawVolume(dc, src.get());
    if (SkinRectsMeet(SkinRect{67, 98, 235, 178}, paint)) DrawEqualizer(dc, src.get());

    // The LED panel and the dial belong to their threads.
    for (SkinRect r : {kLedRect, SkinRect{192, 31, 246, 85}}) {
        r = SkinRectToWindow(r, scale);
        ExcludeClipRect(screenDc, r.left, r.top, r.right, r.bottom);
    }
    SkinBlit(screenDc, paint.left, paint.top, paint.right - paint.left, paint.bottom - paint.top, dc,
             paint.left, paint.top);

    if (SkinRectsMeet(kDialBox, paint)) RedrawDial();
    if (SkinRectsMeet(kLedRect, paint)) WakeLedDisplay();
}

// Selects and realises the palette (in the background for a palette change
// of another window), then selects the old one back. Returns the entries
// realised; repaints the window when any changed.
UINT RealisePalette(HWND hwnd, BOOL background) {
    if (!g_mw.palette) return 0;
    WindowDc dc(hwnd);
    UINT n;
    {
        PaletteSelection pal(dc.get(), g_mw.palette.get(), background);
        n = pal.realised();
    }
    if (n) InvalidateRect(hwnd, nullptr, TRUE);
    return n;
}

// ------------------------------------------------------------- the scale

// The window at the scale for a monitor of that DPI (and Double Size): its
// size and shape, moved to the suggested place when one is given, redrawn.
void ApplyScale(int dpi, const RECT* at) {
    const int scale = SkinScaleFor(dpi, g_settings.DoubleSize);
    if (scale == SkinScale() && !at) return;
    SetSkinScale(scale);
    const int h = g_settings.expanded ? kSkinHeightExpanded : kSkinHeightCollapsed;
    SetWindowPos(g_mw.hwnd, nullptr, at ? at->left : 0, at ? at->top : 0, kSkinWidth * scale, h * scale,
                 SWP_NOZORDER | SWP_NOACTIVATE | (at ? 0 : SWP_NOMOVE));
    BuildWindowShape(g_mw.hwnd, kSkinMarkerRow);
    InvalidateRect(g_mw.hwnd, nullptr, FALSE);
}

// --------------------------------------------------------------- commands

// The open-location dialog: the edit's text into the buffer on "Open".
INT_PTR CALLBACK OpenUrlProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
        SendDlgItemMessageA(dlg, IDC_URL_EDIT, EM_LIMITTEXT, IDC_URL_MAX, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            char* text = reinterpret_cast<char*>(GetWindowLongPtrA(dlg, DWLP_USER));
            GetDlgItemTextA(dlg, IDC_URL_EDIT, text, IDC_URL_MAX + 1);
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// After the playlist changed: refresh enabled again, the editor rebuilt.
void RefreshEditor() {
    PlaylistEditorEnableRefresh(1);
    PlaylistEditorRefresh();
}

void CmdOpenLocation() {
    char text[IDC_URL_MAX + 1] = "";
    if (!AskForUrl(g_mw.hwnd, text)) return;
    if (std::strlen(text) < 4) return;
    PlayerStopSequence();
    DropStationListFetches();
    PlaylistClear();
    PlaylistOpenItem(kOpenUrl, text);  // a station list gives its streams; it reports its own errors
    RefreshEditor();
    g_mw.playFetched = PlaylistCount() == 0;  // until the list is in
    PlayerPlayCurrent();
}

// A station list fetched for the playlist: its entries, and the play a
// replaced playlist waited for.
LRESULT OnStationList(LPARAM fetch) {
    if (!PlaylistTakeFetchedList(fetch)) return 0;
    RefreshEditor();
    if (g_mw.playFetched && PlaylistCount() > 0) {
        g_mw.playFetched = false;
        PlaylistSelect(0, nullptr);
        PlayerPlayCurrent();
    }
    return 0;
}

void CmdOpenFile() {
    if (PlaylistOpenDialog(g_mw.hwnd, 1, 0) <= 0 || !PlaylistSelect(0, nullptr)) return;
    PlayerShuffleNewList();
    RefreshEditor();
    char path[kPlaylistPathSize];
    if (!PlaylistGetCurrentPath(path, sizeof path)) return;
    PlayerStopSequence();
    PlayerPlayCurrent();
}

void ToggleExpanded() {
    const int h = g_settings.expanded ? kSkinHeightCollapsed : kSkinHeightExpanded;
    SetWindowPos(g_mw.hwnd, nullptr, 0, 0, kSkinWidth * SkinScale(), h * SkinScale(), SWP_NOMOVE | SWP_NOZORDER);
    g_settings.expanded = !g_settings.expanded;
    RedrawWindow(g_mw.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void ShowContextMenu(int x, int y) {
    HMENU sub = GetSubMenu(g_mw.menu, 0);
    if (!sub) return;
    auto check = [sub](UINT id, bool on) {
        CheckMenuItem(sub, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
    };
    check(IDM_PLAYLIST_EDITOR, PlaylistEditorIsOpen() != 0);
    check(IDM_PREFERENCES, g_hPreferencesSheet != nullptr);
    check(IDM_EQ_ACTIVE, g_settings.EqEnabled != 0);
    check(IDM_SHUFFLE, g_settings.ShufflePlay == 1);
    check(IDM_REPEAT, g_settings.RepeatPlay == 1);
    check(IDM_DOUBLE_SIZE, g_settings.DoubleSize != 0);
    if (x == -1 && y == -1) {
        POINT p;
        GetCursorPos(&p);
        x = p.x;
        y = p.y;
    }
    SetForegroundWindow(g_mw.hwnd);
    TrackPopupMenu(sub, TPM_RIGHTBUTTON, x, y, 0, g_mw.hwnd, nullptr);
    PostMessageA(g_mw.hwnd, WM_NULL, 0, 0);
}

void OnCommand(int id) {
    switch (id) {
    case IDM_OPEN_FILE: CmdOpenFile(); break;
    case IDM_OPEN_LOCATION: CmdOpenLocation(); break;
    case IDM_PLAYLIST_EDITOR:
        if (PlaylistEditorIsOpen())
            PlaylistEditorClose();
        else
            PlaylistEditorShow();
        break;
    case IDM_PREFERENCES: ShowPreferences(g_mw.hwnd); break;
    case IDM_TAG_EDITOR: {
        char path[kPlaylistPathSize];
        if (PlaylistGetCurrentPath(path, sizeof path)) ShowTagEditor(path);
        break;
    }
    case IDM_ABOUT: ShowAbout(g_mw.hwnd); break;
    case IDM_EQ_ACTIVE: g_settings.EqEnabled = !g_settings.EqEnabled; break;
    case IDM_PREVIOUS: PlayerStep(PlaylistPrev, kNextPlayDelayMs); break;
    case IDM_PLAY: PlayerPlay(); break;
    case IDM_PAUSE: PlayerPause(); break;
    case IDM_STOP: PlayerStop(); break;
    case IDM_NEXT: PlayerStep(PlaylistNext, kNextPlayDelayMs); break;
    case IDM_SHUFFLE:
        g_settings.ShufflePlay = g_settings.ShufflePlay == 1 ? 0 : 1;
        RedrawElement(kElemShuffle);
        break;
    case IDM_REPEAT:
        g_settings.RepeatPlay = g_settings.RepeatPlay == 1 ? 0 : 1;
        RedrawElement(kElemRepeat);
        break;
    case IDM_CLOSE: DestroyWindow(g_mw.hwnd); break;
    case IDM_PLAY_CURRENT: PlayerPlayCurrentCommand(); break;
    case IDM_EXPAND: ToggleExpanded(); break;
    case IDM_WINSHADE: g_settings.WinShade = !g_settings.WinShade; break;
    case IDM_DOUBLE_SIZE:
        g_settings.DoubleSize = !g_settings.DoubleSize;
        ApplyScale(WindowDpi(g_mw.hwnd), nullptr);
        break;
    default: break;  // unknown ids are ignored
    }
}

// ------------------------------------------------------ decoder notices

LRESULT OnTrackEnd() {
    SetDialPosition(100);
    RedrawDial();
    PlayerTrackEnded();
    return 1;
}

// The playing entry for the IRC client: "TITLE / ARTIST" from its tags (when
// IRCUseTag is set), else the title of its file name.
void Announce() {
    static PlaylistEntry entry;  // large; the user-interface thread only
    if (!PlaylistGetCurrentEntry(&entry)) return;
    char song[2 * kPlaylistPathSize];
    if (entry.titles.source != kTitleNone && g_settings.IRCUseTag == 1)
        std::snprintf(song, sizeof song, "%s / %s", entry.titles.title, entry.titles.artist);
    else
        GetPathTitle(entry.path, song, kPlaylistPathSize - 1);
    AnnounceToIrc(song);
}

LRESULT OnTrackStart() {
    // The new track is shown and announced now: a title change still
    // waiting belongs to the track before.
    g_mw.titles.Reset();
    KillTimer(g_mw.hwnd, VORLO_TITLE_TIMER);
    PlayerTrackStarted();
    RefreshLedName();
    char path[kPlaylistPathSize];
    PublishCurrentFile(PlaylistGetCurrentPath(path, sizeof path) ? path : nullptr);
    if (g_settings.IRCEnabled == 1) Announce();
    return 1;
}

// The playing station has a new title (posted by the download thread, as
// often as every metadata block): the LED, the editor's lines and the IRC
// client show the latest once the titles settle (shell/title_notices.h).
LRESULT OnStreamTitle() {
    SetTimer(g_mw.hwnd, VORLO_TITLE_TIMER, g_mw.titles.Change(GetTickCount()), nullptr);
    return 0;
}

void OnTitleTimer() {
    const DWORD now = GetTickCount();
    KillTimer(g_mw.hwnd, VORLO_TITLE_TIMER);
    if (!g_mw.titles.Fire(now)) {
        const int64_t due = g_mw.titles.DueIn(now);
        if (due >= 0) SetTimer(g_mw.hwnd, VORLO_TITLE_TIMER, static_cast<UINT>(due), nullptr);
        return;
    }
    RefreshLedName();
    PlaylistEditorRefresh();
    if (g_settings.IRCEnabled == 1) Announce();
}

LRESULT OnProgress(int percent) {
    g_mw.lastPercent = percent;
    SetDialPosition(percent);
    UpdateTrayIcon(g_mw.hwnd, percent);
    return 1;
}

// ------------------------------------------------------- dropped files, hand-over

void OnDropFiles(HDROP drop) {
    PlayerStopSequence();
    PlaylistClear();
    PlaylistEditorEnableRefresh(0);
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // The whole name, however long: the open refuses one that is too
        // long for a path, where a cut one would name something else.
        std::vector<char> name(DragQueryFileA(drop, i, nullptr, 0) + 1);
        if (!DragQueryFileA(drop, i, name.data(), static_cast<UINT>(name.size()))) continue;
        if (!PlaylistOpenItem(kOpenLocal, name.data())) ShowError("Error Processing File: %s", name.data());
    }
    DragFinish(drop);
    if (PlaylistSelect(0, nullptr)) {
        PlayerShuffleNewList();
        PlayerPlayCurrent();
    }
    RefreshEditor();
}

LRESULT OnCopyData(const COPYDATASTRUCT* cds) {
    if (!cds) return 0;
    auto request = std::make_unique<HandOverRequest>();
    if (!ParseHandOver(static_cast<uint32_t>(cds->dwData), cds->cbData, cds->lpData, request.get()))
        return 0;
    PlaylistEditorEnableRefresh(1);
    switch (request->code) {
    case kHandOverClear:
    case kHandOverReplace:
        PlayerStopSequence();
        DropStationListFetches();
        g_mw.playFetched = false;
        PlaylistClear();
        if (request->code == kHandOverClear) break;
        [[fallthrough]];
    case kHandOverAdd:
        if (!PlaylistOpenItem(ArgumentOpenKind(request->name), request->name))
            ShowError("Error Processing File: %s", request->name);
        if (request->code == kHandOverReplace) {
            g_mw.playFetched = PlaylistCount() == 0;
            SendMessageA(g_mw.hwnd, WM_COMMAND, IDM_PLAY_CURRENT, 0);
        }
        break;
    case kHandOverPlayIndex:
        PlaylistSelect(request->index, nullptr);
        SendMessageA(g_mw.hwnd, WM_COMMAND, IDM_PLAY_CURRENT, 0);
        break;
    case kHandOverPlayFirst:
        PlaylistSelect(0, nullptr);
        SendMessageA(g_mw.hwnd, WM_COMMAND, IDM_PLAY_CURRENT, 0);
        break;
    }
    PlaylistEditorRefresh();
    return 1;
}

// ------------------------------------------------------------------ mouse

void CaptureMouse() { SetCapture(g_mw.hwnd); }

void SeekDialAt(int x, int y) {
    const int percent = DialSeekPercentAt(x, y);
    if (percent >= 0) PostSeek(percent, PlayerDecoderThread());
}

void SetEqualizerAt(int x, int y) {
    for (int c = 0; c < kEqBandCount; ++c) {
        const int r = EqualizerRowAt(c, x, y);
        if (r >= 0) {
            g_settings.EqBand[c] = EqualizerValueForRow(r);
            ComputeEqualizerTable(g_settings.EqBand);
        }
    }
    RedrawEqualizer();
}

// Steps the volume toward target, one segment per 60 ms, drawing each step.
// Pointer moves meanwhile are handled, so that a drag stops the animation.
void AnimateVolume(int target) {
    while (g_settings.EqVolume != target && !g_mw.volumeStop) {
        g_settings.EqVolume = VolumeStepToward(g_settings.EqVolume, target);
        RedrawVolume();
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kVolumeStepMs && !g_mw.volumeStop) {
            MSG m;
            if (PeekMessageA(&m, g_mw.hwnd, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE))
                DispatchMessageA(&m);
            else
                Sleep(5);
        }
    }
}

void OnButtonDown(int x, int y) {
    const int e = SkinHitTest(x, y);
    if (SkinIsButton(e)) {
        g_mw.tracking[e] = g_mw.pressed[e] = true;
        CaptureMouse();
        RedrawElement(e);
    } else if (e == kElemTitle) {
        g_mw.moving = true;
        g_mw.grab = POINT{x, y};
        CaptureMouse();
    } else if (e == kElemDial) {
        g_mw.dragDial = true;
        CaptureMouse();
        SeekDialAt(x, y);
    } else if (e == kElemVolume) {
        g_mw.dragVolume = true;
        g_mw.volumeStop = false;
        CaptureMouse();
        const int i = VolumeSegmentAt(x, y);
        if (i >= 0) AnimateVolume(i);
    } else if (e == kElemEqualizer) {
        g_mw.dragEqualizer = true;
        CaptureMouse();
        SetEqualizerAt(x, y);
    }
}

void OnMouseMove(int x, int y, WPARAM keys) {
    for (int e = 0; e < kElemCount; ++e) {
        if (!g_mw.tracking[e]) continue;
        const bool in = SkinElementContains(e, x, y);
        if (in != g_mw.pressed[e]) {
            g_mw.pressed[e] = in;
            RedrawElement(e);
        }
    }
    if (g_mw.moving) {
        const int s = SkinScale();
        POINT p{x * s, y * s};
        ClientToScreen(g_mw.hwnd, &p);
        SetWindowPos(g_mw.hwnd, nullptr, p.x - g_mw.grab.x * s, p.y - g_mw.grab.y * s, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOSENDCHANGING);
    }
    if (!(keys & MK_LBUTTON)) return;
    if (g_mw.dragDial) SeekDialAt(x, y);
    if (g_mw.dragVolume) {
        g_mw.volumeStop = true;
        const int i = VolumeSegmentAt(x, y);
        if (i >= 0 && i != g_settings.EqVolume) {
            g_settings.EqVolume = i;
            RedrawVolume();
        }
    }
    if (g_mw.dragEqualizer) SetEqualizerAt(x, y);
}

void OnButtonUp() {
    int clicked = kElemNone;
    for (int e = 0; e < kElemCount; ++e) {
        if (!g_mw.tracking[e]) continue;
        ReleaseCapture();
        if (g_mw.pressed[e]) {
            g_mw.pressed[e] = false;
            clicked = e;
        }
        g_mw.tracking[e] = false;
        RedrawElement(e);
    }
    if (g_mw.moving || g_mw.dragVolume || g_mw.dragEqualizer || g_mw.dragDial) ReleaseCapture();
    g_mw.moving = g_mw.dragVolume = g_mw.dragEqualizer = g_mw.dragDial = false;
    g_mw.volumeStop = true;
    if (clicked == kElemNone) return;
    const int command = SkinElementAt(clicked).command;
    if (command == kCmdMinimise)
        ShowWindow(g_mw.hwnd, SW_MINIMIZE);
    else if (command)
        SendMessageA(g_mw.hwnd, WM_COMMAND, command, 0);
}

// ------------------------------------------------------- creation, destruction

void FreeWindowObjects() {
    if (g_mw.menu) DestroyMenu(g_mw.menu);
    g_mw.menu = nullptr;
    g_mw.background.reset();
    g_mw.smallButtons.reset();
    g_mw.transport.reset();
    g_mw.levels.reset();
    FreeRegions();
    g_mw.palette.reset();
}

// Stops what creation started, in the order the threads depend on: the
// visual feed and the LED first, then the decoder, then the dial (which the decoder's notices
// feed).
void StopThreads() {
    if (PlaylistEditorIsOpen()) PlaylistEditorClose();
    if (g_mw.sectionOpen) CloseCurrentFileSection();
    g_mw.sectionOpen = false;
    StopVisFeed();
    if (g_mw.ledStarted) StopLedDisplay();
    g_mw.ledStarted = false;
    if (g_mw.decoderThread != -1) {
        // A paused device takes no more data: the decoder would stay blocked
        // in its Write and miss the quit message. Resume and flush it first.
        if (PlayerState.load() == Paused) PlayerStopSequence();
        ShutdownDecoderThread(g_mw.decoderThread);
    }
    g_mw.decoderThread = -1;
    SetPlayerDecoderThread(-1);
    StationListsOffThread(nullptr);
    if (g_mw.dialStarted) StopDialThread();
    g_mw.dialStarted = false;
}

LRESULT OnCreate(HWND hwnd) {
    g_mw.hwnd = hwnd;
    g_hMainWindow = hwnd;
    plat::SetMainWindow(hwnd);
    StationListsOffThread(hwnd);
    SelectOutputDriver(g_settings.AudioOutputSystem);
    if (!CreatePalette())
        plat::ShowMessageBox(hwnd, "Cannot Create Palette", "Error...", plat::MbIconError);
    if (!CreateRegions()) return -1;
    SelectSkinOf(g_settings.Skin);
    LoadWindowBitmaps();
    g_mw.menu = LoadMenuA(g_hInstance, MAKEINTRESOURCEA(IDR_POPUP_MENU));
    if (!g_mw.background || !g_mw.smallButtons || !g_mw.transport || !g_mw.levels || !g_mw.menu)
        return -1;
    g_settings.expanded = g_settings.StartupExpanded ? 1 : 0;
    SetWindowPos(hwnd, g_settings.AlwaysOnTop == 1 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
    SetPlaylistRefreshHook(PlaylistEditorRefresh);
    LoadTrayIcons(g_hInstance);
    g_mw.sectionOpen = OpenCurrentFileSection();
    StartVisFeed();
    SetSkinScale(SkinScaleFor(WindowDpi(hwnd), g_settings.DoubleSize));
    BuildWindowShape(hwnd, kSkinMarkerRow);
    SetWindowPos(hwnd, nullptr, 0, 0, kSkinWidth * SkinScale(),
                 (g_settings.expanded ? kSkinHeightExpanded : kSkinHeightCollapsed) * SkinScale(),
                 SWP_NOMOVE | SWP_NOZORDER);
    ComputeEqualizerTable(g_settings.EqBand);
    SetTrackGainHook(TrackReplayGain);
    g_mw.decoderThread = StartDecoderThread(hwnd);
    if (g_mw.decoderThread == -1) return -1;
    SetPlayerDecoderThread(g_mw.decoderThread);
    g_mw.ledStarted = StartLedDisplay(hwnd, kLedX, kLedY, kLedWidth, kLedHeight) == 1;
    if (!g_mw.ledStarted) return -1;
    g_mw.dialStarted = StartDialThread(hwnd, g_mw.sectors) == 1;
    if (!g_mw.dialStarted) return -1;
    if (PlaylistSelect(0, nullptr)) {
        PlayerShuffleNewList();
        char path[kPlaylistPathSize];
        if (PlaylistGetCurrentPath(path, sizeof path)) {
            Sleep(kNextPlayDelayMs);
            PlayerPlayCurrent();
        }
    }
    ApplyMediaKeys(hwnd);
    g_mw.created = true;
    return 0;
}

void OnDestroy(HWND hwnd) {
    ReleaseMediaKeys(hwnd);
    StopThreads();
    if (g_mw.created) {
        if (!IsIconic(hwnd)) {
            RECT rc;
            GetWindowRect(hwnd, &rc);
            g_settings.WindowX = rc.left;
            g_settings.WindowY = rc.top;
        }
        RemoveTrayIcon(hwnd);
        g_settings.StartupExpanded = g_settings.expanded;
        SaveSettings();
    }
    FreeWindowObjects();
    if (g_mw.created) PostQuitMessage(0);
    g_mw.created = false;
    plat::SetMainWindow(nullptr);
    g_hMainWindow = nullptr;
}

// A mouse message's client position in skin pixels.
int SkinX(LPARAM lParam) { return SkinFromWindow(GET_X_LPARAM(lParam), SkinScale()); }
int SkinY(LPARAM lParam) { return SkinFromWindow(GET_Y_LPARAM(lParam), SkinScale()); }

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: return OnCreate(hwnd);
    case WM_DESTROY: OnDestroy(hwnd); return 0;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_PAINT: Paint(hwnd); return 0;
    case WM_ERASEBKGND: return 1;  // the paint draws the whole background
    case WM_NCHITTEST: return HTCLIENT;
    case WM_QUERYNEWPALETTE: return RealisePalette(hwnd, FALSE);
    case WM_PALETTECHANGED:
        if (reinterpret_cast<HWND>(wParam) != hwnd) RealisePalette(hwnd, TRUE);
        return 0;
    case WM_ACTIVATE:
        RealisePalette(hwnd, FALSE);
        RedrawNow(kTitleRect);
        break;  // the default sets the keyboard focus
    case WM_LBUTTONDOWN:
        OnButtonDown(SkinX(lParam), SkinY(lParam));
        return 0;
    case WM_LBUTTONDBLCLK: {
        const int x = SkinX(lParam), y = SkinY(lParam);
        // The second press of a quick double click anywhere else is a press.
        if (SkinElementContains(kElemTitle, x, y))
            SendMessageA(hwnd, WM_COMMAND, IDM_WINSHADE, 0);
        else
            OnButtonDown(x, y);
        return 0;
    }
    case WM_MOUSEMOVE: OnMouseMove(SkinX(lParam), SkinY(lParam), wParam); return 0;
    case kWmDpiChanged:
        ApplyScale(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_LBUTTONUP: OnButtonUp(); return 0;
    case WM_CONTEXTMENU: ShowContextMenu(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
    case WM_COMMAND: OnCommand(LOWORD(wParam)); return 0;
    case WM_DROPFILES: OnDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_COPYDATA: return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_SIZE:
        if (wParam == SIZE_RESTORED)
            RemoveTrayIcon(hwnd);
        else if (wParam == SIZE_MINIMIZED && g_settings.MinimizeLocation == 1)
            AddTrayIcon(hwnd, g_mw.lastPercent, MainWindowDecoderThreadId());
        return 0;
    case WM_WINDOWPOSCHANGED:
        // Minimised or hidden, the visuals are fed no more and the display
        // threads sleep; back on screen they go on (the paint wakes the LED
        // and redraws the dial).
        SetVisFeedShown(WindowOnScreen(hwnd));
        break;  // the default sends WM_SIZE and WM_MOVE
    case WM_VORLO_DISPLAY_COUNT:
        return wParam == 0 ? LedFramesDrawn() : wParam == 1 ? DialArcsDrawn() : VisFeedPasses();
    case WM_VORLO_TRAY: OnTrayNotify(hwnd, lParam); return 0;
    case WM_VORLO_SKIN_NOTICE: ShowSkinNotice(); return 0;
    case WM_HOTKEY:
    case WM_APPCOMMAND:
        // The media keys act as the skin's buttons do.
        if (const int command = MediaKeyMessageCommand(msg, wParam, lParam)) {
            SendMessageA(hwnd, WM_COMMAND, command, 0);
            return TRUE;
        }
        break;
    case WM_TIMER:
        if (wParam == VORLO_TRAY_TIMER) OnTrayHoldTimer(hwnd);
        if (wParam == VORLO_TITLE_TIMER) OnTitleTimer();
        return 0;
    case DNOTE_TRACK_END: return OnTrackEnd();
    case DNOTE_TRACK_START: return OnTrackStart();
    case DNOTE_PROGRESS: return OnProgress(static_cast<int>(lParam));
    case kNoticeStreamTitle: return OnStreamTitle();
    case kNoticeStationList: return OnStationList(lParam);
    case kNoticeStreamLost:
        plat::ShowMessageBox(hwnd, kConnectionLostText, kInternetErrorCaption, plat::MbOk);
        return 0;
    case kNoticeSaveFailed:
        plat::ShowMessageBox(hwnd, kSaveWriteErrorText, kSaveErrorCaption, plat::MbOk | plat::MbIconWarning);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

// --------------------------------------------------------------- interface

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_SAVEBITS;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VORLO));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = nullptr;
    wc.lpszClassName = kMainWindowClass;
    const DWORD version = GetVersion();
    if ((version & 0xFF) >= 4) return RegisterClassExA(&wc) != 0;
    WNDCLASSA plain = {};
    plain.style = wc.style;
    plain.lpfnWndProc = wc.lpfnWndProc;
    plain.hInstance = instance;
    plain.hIcon = wc.hIcon;
    plain.hCursor = wc.hCursor;
    plain.lpszClassName = kMainWindowClass;
    return RegisterClassA(&plain) != 0;
}

HWND CreateMainWindow(HINSTANCE instance, int x, int y) {
    return CreateWindowExA(WS_EX_ACCEPTFILES, kMainWindowClass, kMainWindowTitle,
                           WS_POPUP | WS_VISIBLE | WS_SYSMENU | WS_MINIMIZEBOX, x, y,
                           kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, nullptr);
}

bool AskForUrl(HWND owner, char* text) {
    return DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_OPEN_URL), owner, OpenUrlProc,
                           reinterpret_cast<LPARAM>(text)) == IDOK;
}

void ApplyMainWindowScale() {
    if (g_mw.hwnd) ApplyScale(WindowDpi(g_mw.hwnd), nullptr);
}

int MainWindowDecoderThreadId() { return g_mw.decoderThread == -1 ? 0 : g_mw.decoderThread; }

void ApplySkinSetting() {
    if (!g_mw.created) return;
    SelectSkinOf(g_settings.Skin);
    LoadWindowBitmaps();
    ReloadLedBitmaps();
    ReloadDialBitmaps();
    InvalidateRect(g_mw.hwnd, nullptr, FALSE);
    UpdateWindow(g_mw.hwnd);
}

int PlaylistOpenDialog(HWND owner, int clearFirst, int filterIndex) {
    static const char kFilters[] =
        "All Supported Files\0*.MP1;*.MP2;*.MP3;*.PLS;*.M3U;*.M3U8\0"
        "Mpeg Audio Files\0*.MP1;*.MP2;*.MP3\0"
        "Playlist Files\0*.PLS;*.M3U;*.M3U8\0"
        "All FileTypes\0*.*\0";
    const char* filter = kFilters;
    for (int i = 0; i < filterIndex && i < 3; ++i) {
        filter += std::strlen(filter) + 1;  // label
        filter += std::strlen(filter) + 1;  // pattern
    }
    constexpr size_t kResultSize = 32767;
    std::unique_ptr<char[]> result(new char[kResultSize]());
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = result.get();
    ofn.nMaxFile = kResultSize;
    ofn.lpstrInitialDir = g_settings.PreviousDir[0] ? g_settings.PreviousDir : nullptr;
    ofn.lpstrTitle = "Open a MP3 Or Playlist...";
    ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn)) return 0;
    return PlaylistOpenChosenFiles(result.get(), kResultSize, ofn.nFileOffset, clearFirst);
}

void GetPathTitle(const char* path, char* out, int size) {
    if (size <= 0) return;
    if (std::strstr(path, "://")) {
        // A URL has no file title: its station's title, when it has one.
        if (!GetStreamTitle(path, out, static_cast<size_t>(size)))
            std::snprintf(out, static_cast<size_t>(size), "%s", path);
    } else if (GetFileTitleA(path, out, static_cast<WORD>(size)) != 0) {
        std::snprintf(out, static_cast<size_t>(size), "%s", path);
    }
}
