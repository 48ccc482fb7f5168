// What vorlo-decode needs from the playlist: the listing of --list, and
// playing a whole list as the main window does.
#pragma once

#include <cstddef>
#include <cstdio>

// Empties the playlist, opens input with PlaylistOpenItem (a local name)
// with ReadFileInfo 1, and prints one line per entry in
// order: path TAB durationMs (or "?" while the info is unread) TAB title
// TAB artist (the entry's titles: empty without a tag; a URL's title is its
// listed title, see stream_titles.h). A URL input is fetched: a station list
// gives its entries, a stream one entry titled with the station's icy-name or
// first StreamTitle. Returns the number of entries printed.
int PrintPlaylistListing(const char* input, FILE* out);

// The first entry to play: selects the first entry, shuffles the list when
// shuffle is set and selects the first entry again, so that every entry
// plays once. Copies its path into path (size bytes). 0 when the list is
// empty.
int PlaylistFirstToPlay(int shuffle, char* path, size_t size);
// At the end of a track (DNOTE_TRACK_END): steps to the next entry, or with
// repeat set from the last entry back to the first, and copies its path.
// 0 at the end of the list: the caller then closes the output
// (DCMD_CLOSE_OUTPUT).
int PlaylistNextToPlay(int repeat, char* path, size_t size);

// The name of the n-th output file (n >= 2) when the WAV output asks for a
// new one: output with "-n" before its extension ("out.wav" -> "out-2.wav";
// a name without an extension gets it at the end). Returns 0 (and an empty
// out) when the result does not fit size-1 characters.
int MakeNumberedOutputName(const char* output, int n, char* out, size_t size);
