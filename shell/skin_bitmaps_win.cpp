#include "shell/skin_bitmaps_win.h"

#include "shell/main_window.h"

HBITMAP LoadSkinBitmap(int id) {
    return static_cast<HBITMAP>(LoadImageA(g_hInstance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                           LR_CREATEDIBSECTION));
}
