// The Win32 side of start-up: the entry point's body, the hand-over sender
// and the message loop (see shell/startup.h for the portable pieces).
#pragma once

#include <windows.h>

#include "shell/startup.h"

// The whole start-up: records the instance, initialises the common
// controls, LoadSettings, PlaylistClear, splits commandLine (the full line,
// program included), hands the arguments over to a running player when
// MultipleInstances is 0, else opens them, registers VorMainWindow, creates
// and shows the main window, loads accelerator table 105 and runs the
// message loop. Returns the exit code: 0 when start-up stops early or the
// arguments were handed over, else the quit message's parameter.
int RunPlayer(HINSTANCE instance, const char* commandLine, int showState);

// The top-level window of class VorMainWindow, or null.
HWND FindRunningPlayer();

// Sends the hand-over records for list to target with SendMessageA
// (WM_COPYDATA), each waited for: clear, one add per openable argument, play
// first; nothing when list holds no openable argument. Returns the number
// of records sent.
int SendHandOver(HWND target, const ArgumentList& list);

// The user-interface thread's loop until WM_QUIT: finishes a preferences
// sheet the user has closed (re-enable the main window, destroy the sheet,
// SaveSettings, DCMD_PRIORITY to the decoder, AlwaysOnTop), feeds the open
// sheet its dialog messages, translates accelerators for the main window,
// dispatches the rest. Returns the quit message's wParam.
int RunMessageLoop();
