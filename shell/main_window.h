// The main window of class VorMainWindow and the process-wide handles of the
// user-interface thread (Win32 only; included by *_win.cpp files).
//
// Start-up (shell/startup_win.cpp) registers the class and creates the
// window through the two functions below; the window procedure lives in
// shell/main_window_win.cpp.
#pragma once

#ifndef _WIN32
#error "shell/main_window.h is Win32 only"
#endif

#include <windows.h>

// Class name and title: other programs and a second instance find the
// running player by this class.
constexpr char kMainWindowClass[] = "VorMainWindow";
constexpr char kMainWindowTitle[] = "VORLO 1.00";
constexpr int kMainWindowWidth = 258;
constexpr int kMainWindowHeight = 191;         // expanded
constexpr int kMainWindowCollapsedHeight = 99;

// Process-wide handles, written by start-up (defined in startup_win.cpp).
extern HINSTANCE g_hInstance;   // the module instance, set before anything else
// The main window. Start-up sets it when CreateMainWindow returns; a window
// procedure that needs it during WM_CREATE sets it there itself.
extern HWND g_hMainWindow;
// True while the window can be seen: shown and not minimised. The display
// threads draw nothing otherwise (minimised to the tray it is both hidden and
// minimised); the paint that follows its return wakes them.
inline bool WindowOnScreen(HWND window) { return IsWindowVisible(window) && !IsIconic(window); }
extern HACCEL g_hAccelerators;  // accelerator table IDA_MAIN (105)
// The modeless preferences sheet, null while none is open. The preferences
// code sets it when it creates the sheet; the message loop feeds the sheet
// its dialog messages and, once the sheet reports no current page (closed),
// destroys it, clears this handle, saves the settings, re-applies the
// decoder priority and AlwaysOnTop.
extern HWND g_hPreferencesSheet;

// Registers the class VorMainWindow: double clicks and saved bits, icon
// IDI_VORLO, arrow cursor, no background brush, no menu; the extended
// registration on Windows 4.0 and later. Returns false on failure.
bool RegisterMainWindowClass(HINSTANCE instance);

// Creates the main window: WS_EX_ACCEPTFILES; WS_POPUP | WS_VISIBLE |
// WS_SYSMENU | WS_MINIMIZEBOX; title kMainWindowTitle; at (x, y) with
// 258 x 191; no parent, no menu. The window's WM_CREATE handler does the rest
// (skin, threads, first play) and fails the creation when a required step
// fails. Returns the window or null. Does not show it.
HWND CreateMainWindow(HINSTANCE instance, int x, int y);

// Redraws the main window at the scale its monitor and Double Size give
// (after the preferences changed Double Size).
void ApplyMainWindowScale();

// The decoder thread's id while it runs, 0 otherwise; the message loop posts
// DCMD_PRIORITY to it when the preferences sheet closes.
int MainWindowDecoderThreadId();

// Takes the skin g_settings.Skin names (the preferences chose another):
// the window, the LED and the dial redraw with its bitmaps at once, and a
// message names the bitmaps that fell back to the built-in ones.
void ApplySkinSetting();

// For the window procedure, from elsewhere in shell/:
// - WM_COPYDATA (a second start): ParseHandOver (shell/startup.h) reads the
//   record safely (names whole up to 1023 bytes, codes above 4 refused: answer
//   0 for those, 1 for the rest); open names with
//   PlaylistOpenItem(ArgumentOpenKind(name), name), so a URL is opened as one.
// - "VORLOCurrentFile" (shell/shared_section.h): OpenCurrentFileSection at
//   creation, PublishCurrentFile(path) at each DNOTE_TRACK_START,
//   CloseCurrentFileSection at destruction.
// - The accelerator ids, menu 106 and dialog 125: resources/resource.h.
