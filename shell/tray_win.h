// The notification-area icon (position in eleven steps, tip with the file
// title and percentage) and the mini controller (dialog 137).
#pragma once

#ifndef _WIN32
#error "shell/tray_win.h is Win32 only"
#endif

#include <windows.h>

// Loads the eleven position icons (once, at the main window's creation).
void LoadTrayIcons(HINSTANCE instance);
// Adds the icon with its tip, remembers decoderThread for the controller's
// seeks and hides the main window.
void AddTrayIcon(HWND main, int percent, int decoderThread);
// Deletes the icon, if it is shown, and shows the main window again.
void RemoveTrayIcon(HWND main);
// Remembers percent; when the icon is shown, updates its image and tip.
void UpdateTrayIcon(HWND main, int percent);
// Opens the mini controller at the pointer; 0 when it cannot be created.
int ShowMiniController(HWND main);
void CloseMiniController();
// The main window's routing of the icon's callback (WM_VORLO_TRAY, the mouse
// message in lParam) and of its press-and-hold timer VORLO_TRAY_TIMER.
void OnTrayNotify(HWND main, LPARAM mouseMessage);
void OnTrayHoldTimer(HWND main);
// The mini controller window, null while there is none (for the message loop).
HWND MiniControllerWindow();
