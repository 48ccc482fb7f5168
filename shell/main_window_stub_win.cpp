// Placeholder main window, used only while shell/main_window_win.cpp does not
// exist (CMake leaves this file out as soon as it does): a plain window of the
// right class, size and style, so that start-up, the hand-over and the message
// loop can be run before the skinned window lands. Delete this file when
// main_window_win.cpp is added.
#include "shell/main_window.h"

#include "resources/resource.h"

namespace {

LRESULT CALLBACK StubWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDM_CLOSE) DestroyWindow(hwnd);
        return 0;
    case WM_COPYDATA:
        return 1;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS | CS_SAVEBITS;
    wc.lpfnWndProc = StubWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VORLO));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassA(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance, int x, int y) {
    return CreateWindowExA(WS_EX_ACCEPTFILES, kMainWindowClass, kMainWindowTitle,
                           WS_POPUP | WS_VISIBLE | WS_SYSMENU | WS_MINIMIZEBOX, x, y,
                           kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance,
                           nullptr);
}

int MainWindowDecoderThreadId() { return 0; }
