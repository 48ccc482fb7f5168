// vorlo.exe: the entry point of the player.
#include <windows.h>

#include "shell/dpi_win.h"
#include "shell/startup_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showState) {
    EnableDpiAwareness();
    // The whole line, program path included: argument 0 is the program.
    return RunPlayer(instance, GetCommandLineA(), showState);
}
