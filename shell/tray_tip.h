// The tray icon's picture and tip for a position (portable, no windows.h).
#pragma once

#include <cstddef>

constexpr int kTrayTipMax = 63;  // characters of the tip, without its zero
// The tip's 63 characters as UTF-8, and its zero.
constexpr int kTrayTipBytes = 4 * kTrayTipMax + 1;

// The icon resource for a position: percent / 10 picks one of eleven icons
// (0 % -> 114, 55 % -> 115, 100 % -> 113). Values outside 0..100 are
// clamped, so a stray notice can never pick outside the table.
int TrayIconForPercent(int percent);

// "Vor - TITLE - 007%" for title (UTF-8) and percent (clamped to 0..100),
// cut on a character boundary to at most kTrayTipMax characters and at most
// size - 1 bytes; title may be null (no current entry: the title part is
// empty).
void FormatTrayTip(const char* title, int percent, char* out, std::size_t size);
