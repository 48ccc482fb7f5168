// Resource, command, control and private message ids of vorlo.exe.
//
// Plain #defines only: this header is read by the resource compiler (windres)
// as well as by C++. The numbers are part of the program's outside contract
// (skins, accelerators, the playlist editor and a second instance send them),
// so change none of them.
//
// Decoder thread commands (DCMD_*, 0x8100..0x8105) and notices (DNOTE_*,
// 0x8200..0x8202) are defined in decoder/decoder_thread.h; they are not
// repeated here.
#ifndef VORLO_RESOURCES_RESOURCE_H
#define VORLO_RESOURCES_RESOURCE_H

// ---- Icons -----------------------------------------------------------------
#define IDI_VORLO                101   // program icon; class icon of VorMainWindow
// Tray icons, chosen by position percentage / 10 (index 0..10).
#define IDI_TRAY_100             113
#define IDI_TRAY_0               114
#define IDI_TRAY_50              115
#define IDI_TRAY_60              116
#define IDI_TRAY_10              117
#define IDI_TRAY_20              118
#define IDI_TRAY_30              119
#define IDI_TRAY_40              120
#define IDI_TRAY_70              121
#define IDI_TRAY_80              122
#define IDI_TRAY_90              123
#define IDI_PLAYLIST_EDITOR      132   // playlist editor window icon
// Document icons of the registered file types (icon index in the exe).
#define IDI_DOC_MEDIA            13
#define IDI_DOC_PLAYLIST         14

// ---- Skin bitmaps ------------------------------------------------------------
#define IDB_BACKGROUND           102   // 258 x 191, 8 bit: whole window
#define IDB_SMALL_BUTTONS        108   // 100 x 60: minimise, close, expand
#define IDB_LED_GLYPHS           118   // 1070 x 16: LED glyph strip
#define IDB_DIAL_RING            119   // 48 x 47: lit seek ring
#define IDB_TRANSPORT            121   // 162 x 80: transport buttons, switches
#define IDB_VOLUME_EQ            128   // 18 x 79: lit volume bar, eq knob column
#define IDB_LED_SYMBOLS          135   // 146 x 36: LED play-state symbols

// ---- Accelerators and menus --------------------------------------------------
#define IDA_MAIN                 105   // accelerator table of the message loop
#define IDR_POPUP_MENU           106   // submenu 0: context menu;
                                       // 1: _ADDITEM_POPUP_; 2: _SORT_POPUP_

// ---- Dialogs -------------------------------------------------------------------
#define IDD_PREFS_DECODER        107
#define IDD_PREFS_GENERAL        108
#define IDD_PLAYLIST_EDITOR      114
#define IDD_PREFS_OUTPUT         117
#define IDD_ABOUT                119
#define IDD_ABOUT_LINKS          120
#define IDD_OPEN_URL             125   // "Open URL...": one edit, Open, Cancel
#define IDD_PREFS_INTERNET       126
#define IDD_PREFS_INTERFACE      127
#define IDD_PREFS_SKINS          129
#define IDD_MINI_CONTROLLER      137
#define IDD_TAG_EDITOR           141
#define IDD_PREFS_REPLAYGAIN     152

// Controls of IDD_OPEN_URL ("Open" is IDOK, "Cancel" is IDCANCEL).
#define IDC_URL_EDIT             1001
#define IDC_URL_MAX              1023  // characters taken from the edit (past a URL: a longer one is refused, not cut)

// ---- Main window commands (WM_COMMAND ids) -----------------------------------
#define IDM_OPEN_FILE            40001
#define IDM_CLOSE                40003
#define IDM_OPEN_LOCATION        40004
#define IDM_PLAYLIST_EDITOR      40006
#define IDM_TAG_EDITOR           40008
#define IDM_PREFERENCES          40009
#define IDM_PLAY                 40010
#define IDM_STOP                 40011
#define IDM_PAUSE                40012
#define IDM_NEXT                 40013
#define IDM_PREVIOUS             40014
#define IDM_SHUFFLE              40015
#define IDM_REPEAT               40016
#define IDM_ABOUT                40018
#define IDM_EQ_ACTIVE            40033
// Commands without a menu item.
#define IDM_PLAY_CURRENT         40102 // also sent by the playlist editor
#define IDM_EXPAND               40103
#define IDM_WINSHADE             40104
#define IDM_DOUBLE_SIZE          40105

// Playlist editor submenus of IDR_POPUP_MENU.
#define IDM_ADD_FILES            40029
#define IDM_ADD_URL              40030
#define IDM_ADD_EVENT            40032 // greyed
#define IDM_SORT_ASCENDING       40038
#define IDM_SORT_DESCENDING      40039
#define IDM_ADD_DIRECTORY        40040

// ---- Private messages and ids of the shell -----------------------------------
#define WM_VORLO_DIAL_SET_POSITION 0x6400 // thread message, lParam = percent
#define WM_VORLO_DIAL_REDRAW       0x6401 // thread message
#define WM_VORLO_DIAL_RELOAD       0x6402 // thread message: the skin changed
#define WM_VORLO_SKIN_NOTICE       0x6403 // to the main window: show the skin's fallbacks
#define WM_VORLO_DISPLAY_COUNT     0x6404 // to the main window: wParam 0 LED frames, 1 dial arcs, 2 feed passes
#define WM_VORLO_TRAY              0x9388 // tray callback, lParam = mouse msg
#define WM_VORLO_PLAYLIST_REFRESH  37768  // to the playlist editor window
#define VORLO_TRAY_ICON_ID         12345  // notification-area icon id
#define VORLO_TRAY_TIMER           1      // tray press-and-hold timer (500 ms)
#define VORLO_TITLE_TIMER          2      // a station's coalesced title notice (shell/title_notices.h)
#define VORLO_MINI_TIMER           1000   // mini controller follow timer

#endif  // VORLO_RESOURCES_RESOURCE_H
