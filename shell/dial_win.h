// The seek dial: a thread that draws the lit arc of the playing position
// around the ring at (216, 56) of the main window, sweeping to a new
// position in 15-degree steps without holding up the user-interface thread.
#pragma once

#include <windows.h>

#include "shell/skin_geometry.h"

// Starts the thread (16 KB stack, normal priority). sectors are the main
// window's 360 ring polygon regions (polygon k covers clockwise degrees
// 359 - k .. 360 - k); the thread only reads them, and they must outlive it.
// Returns 1 on success.
int StartDialThread(HWND window, const HRGN* sectors);
// Posts the new percentage (0..100), retrying every 10 ms until the post
// succeeds (for at most a second).
void SetDialPosition(int percent);
// Redraws the current arc.
void RedrawDial();
// Takes the skin's bitmaps anew (another skin was chosen) and redraws.
void ReloadDialBitmaps();
// Arcs drawn so far (a test driver reads it through the main window).
unsigned DialArcsDrawn();
// Posts the quit message and waits up to 3000 ms for the thread to free
// what it holds (the window's destruction, after the decoder has stopped).
void StopDialThread();
