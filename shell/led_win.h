// The LED display: a thread that draws the 146 x 36 panel at 29,29 of the
// main window about eight times a second (song name, play-state symbol,
// played time), off-screen, then copies it into the window.
#pragma once

#include <windows.h>

// Creates the off-screen context, bitmap and wake event, starts the thread
// (16 KB stack) and posts it its first name request. The thread draws into
// the window through a device context of its own, inside the rectangle
// only. Returns 1, or 0 when the thread could not be started.
int StartLedDisplay(HWND window, int x, int y, int width, int height);
// Posts the quit message and wakes the thread; waits up to 3000 ms, then
// ends it forcibly and says so ("Had To TerminateThread()..."); frees the
// thread, the event and the off-screen objects. Safe when not started.
void StopLedDisplay();
// Rebuilds the song name from the playlist's current entry (a track started).
void RefreshLedName();
// Draws a frame now (the window's LED region needs painting, or it came
// back on screen).
void WakeLedDisplay();
// Takes the skin's bitmaps anew (another skin was chosen) and draws.
void ReloadLedBitmaps();
// Frames drawn so far (a test driver reads it through the main window).
unsigned LedFramesDrawn();
