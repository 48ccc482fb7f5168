// High-DPI screens: the process's DPI awareness, the DPI of a window's
// monitor, and the scale the skinned windows draw at (shell/skin_geometry.h
// says how a scale follows from a DPI).
//
// Every newer entry point is looked up at run time, so the executable still
// starts on systems that lack it; each step falls back to the one before it.
#pragma once

#include <windows.h>

// WM_DPICHANGED (Windows 8.1): the new DPI in LOWORD(wParam), the suggested
// window rectangle at lParam.
constexpr UINT kWmDpiChanged = 0x02E0;

// Per-monitor aware (version 2 where there is one, else version 1, else
// system aware). Called once, before the first window.
void EnableDpiAwareness();
// The DPI of the monitor the window is on (96 when nothing says otherwise).
int WindowDpi(HWND window);

// The skin's current scale (1 or 2), set by the main window and read by the
// LED and dial threads for their blits.
int SkinScale();
void SetSkinScale(int scale);
// Copies a w x h block of skin pixels from src (sx, sy) to the window
// context at skin position (x, y), each pixel a square of SkinScale() -- the
// one nearest-neighbour blit of the skinned windows.
void SkinBlit(HDC window, int x, int y, int w, int h, HDC src, int sx, int sy);
