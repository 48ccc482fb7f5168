// Start-up of the player: settings, command line, hand-over to a running
// instance, the main window, and the user-interface thread's message loop.
#include "shell/startup_win.h"

#include <commctrl.h>
#include <prsht.h>

#include <initializer_list>

#include "decoder/decoder_thread.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "playlist/playlist.h"
#include "resources/resource.h"
#include "shell/main_window.h"
#include "shell/playlist_editor_win.h"
#include "settings/settings.h"
#include "shell/tag_editor_win.h"
#include "shell/tray_win.h"

HINSTANCE g_hInstance = nullptr;
HWND g_hMainWindow = nullptr;
HACCEL g_hAccelerators = nullptr;
HWND g_hPreferencesSheet = nullptr;

namespace {

// The split command line; 256 KB, so not on the stack.
ArgumentList s_arguments;

// The sheet has been closed by the user: it stays a window until we destroy
// it, and then the options it edited take effect.
void FinishPreferencesSheet() {
    if (g_hMainWindow) EnableWindow(g_hMainWindow, TRUE);
    DestroyWindow(g_hPreferencesSheet);
    g_hPreferencesSheet = nullptr;
    SaveSettings();
    int decoder = MainWindowDecoderThreadId();
    if (decoder > 0) plat::ThreadPost(static_cast<uint32_t>(decoder), DCMD_PRIORITY, 0, 0);
    if (g_hMainWindow)
        SetWindowPos(g_hMainWindow, g_settings.AlwaysOnTop == 1 ? HWND_TOPMOST : HWND_NOTOPMOST,
                     0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ApplyMainWindowScale();
}

// Keyboard navigation (Tab, Enter, Esc) of the other modeless windows.
bool IsModelessDialogMessage(MSG* msg) {
    for (HWND dialog : {PlaylistEditorWindow(), TagEditorWindow(), MiniControllerWindow()})
        if (dialog && IsDialogMessageA(dialog, msg)) return true;
    return false;
}

}  // namespace

HWND FindRunningPlayer() { return FindWindowA(kMainWindowClass, nullptr); }

int SendHandOver(HWND target, const ArgumentList& list) {
    static HandOverRecord records[kMaxArguments + 1];
    int n = BuildHandOver(list, records, kMaxArguments + 1);
    for (int i = 0; i < n; ++i) {
        COPYDATASTRUCT cds;
        cds.dwData = records[i].code;
        cds.cbData = records[i].size;
        cds.lpData = const_cast<void*>(records[i].data);
        SendMessageA(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }
    return n;
}

int RunMessageLoop() {
    MSG msg;
    // GetMessage answers -1 for an invalid call; that ends the loop too.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (g_hPreferencesSheet && !PropSheet_GetCurrentPageHwnd(g_hPreferencesSheet))
            FinishPreferencesSheet();
        if (g_hPreferencesSheet && PropSheet_IsDialogMessage(g_hPreferencesSheet, &msg))
            continue;
        if (IsModelessDialogMessage(&msg)) continue;
        if (g_hAccelerators && g_hMainWindow &&
            TranslateAcceleratorA(g_hMainWindow, g_hAccelerators, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int RunPlayer(HINSTANCE instance, const char* commandLine, int showState) {
    g_hInstance = instance;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);

    if (!LoadSettings()) return 0;
    PlaylistClear();
    SplitCommandLine(commandLine, &s_arguments);

    HWND running = FindRunningPlayer();
    if (running && g_settings.MultipleInstances == 0) {
        SendHandOver(running, s_arguments);
        return 0;
    }

    OpenCommandLineArguments(s_arguments);

    // A Win32 process never has a previous instance: the class is always
    // registered here, once.
    if (!RegisterMainWindowClass(instance)) return 0;

    HWND window = CreateMainWindow(instance, g_settings.WindowX, g_settings.WindowY);
    if (!window) {
        MessageBoxA(nullptr, "Could Not Open Main Window (Memory?)", "VORLOError Message...",
                    MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
        return 0;
    }
    g_hMainWindow = window;
    plat::SetMainWindow(window);
    ShowWindow(window, showState);
    UpdateWindow(window);
    g_hAccelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAIN));
    return RunMessageLoop();
}
