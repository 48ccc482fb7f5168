// The texts of the playlist editor: its numbered list lines and its play
// time line. Portable, so that the formatting and the selection total are
// tested on every build.
#pragma once

#include <cstddef>

#include "playlist/playlist.h"

constexpr size_t kEditorLineSize = 600;  // "%d> " and "title / artist" (up to 255 bytes each)
constexpr int kEditorMaxSelection = 1024;

// The list line of an entry numbered number (from 1): "N> Title / Artist"
// when the entry has titles from its tags, else "N> " and fileTitle (the name of
// the file as the platform presents it). Always terminated.
void FormatEditorLine(char* out, size_t size, int number, const PlaylistEntry& entry,
                      const char* fileTitle);

// "Playtime: HH:MM:SS" for a total of whole seconds, "Playtime: Unknown"
// when seconds is negative. Hours are not wrapped at 24.
void FormatPlaytime(char* out, size_t size, long long seconds);

// The play time of the entries at the given positions (each entry's length
// cut to whole seconds): -1 when one of them has not had its info read, or
// is not in the list. 0 for no positions.
long long SelectionPlaytime(const int* indices, int count);
