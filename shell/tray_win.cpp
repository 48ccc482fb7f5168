// Placeholder: the tray icon and mini controller are being written.
#include "shell/tray_win.h"

void LoadTrayIcons(HINSTANCE) {}
void AddTrayIcon(HWND, int, int) {}
void RemoveTrayIcon(HWND) {}
void UpdateTrayIcon(HWND, int) {}
int ShowMiniController(HWND) { return 0; }
void CloseMiniController() {}
void OnTrayNotify(HWND, LPARAM) {}
void OnTrayHoldTimer(HWND) {}
HWND MiniControllerWindow() { return nullptr; }
