// The playlist: one doubly linked list of entries with a cursor, the current
// entry. The user-interface thread makes every change; other threads (the
// LED display) only copy the current entry. One lock guards the list: it is
// held for every change and every copy, so a copy never sees a
// half-exchanged or freed entry.
//
// Reordering never relinks entries: it exchanges their contents (path,
// durationMs, tag, titles, infoRead), and the cursor moves with the content
// that was current, so the same song stays current.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tag/title_tags.h"

constexpr size_t kPlaylistPathSize = 260;  // at most 259 characters and a terminator

struct PlaylistEntry {
    PlaylistEntry* prev;  // null for the first entry
    PlaylistEntry* next;  // null for the last entry
    char path[kPlaylistPathSize];  // file path or URL, as added
    int32_t durationMs;   // whole seconds x 1000; valid only when infoRead is 1
    Id3v1Tag tag;         // all zero when no tag was read
    int32_t infoRead;     // 1 once durationMs and tag were read from the file
    TitleTags titles;     // the texts shown for the entry, read with tag
};

// Appends an entry for path (at most 259 bytes: a longer one is refused,
// never cut). Reads its info when
// g_settings.ReadFileInfo is 1. The first entry of an empty list becomes
// current; appending never moves the cursor otherwise. Returns 1; 0 for a
// null or too long path, or when no memory is left.
int PlaylistAdd(const char* path);
// Frees every entry, then calls the refresh hook (outside the lock).
// Returns 1.
int PlaylistClear();
// Copies the current entry's path into path (size bytes, cut to size-1),
// reading the entry's info first when it is still unread. Returns 0 when
// there is no current entry.
int PlaylistGetCurrentPath(char* path, size_t size = kPlaylistPathSize);
// Copies the current entry (its prev and next set to null: they belong to
// the list). Returns 0 when there is none. Safe from any thread.
int PlaylistGetCurrentEntry(PlaylistEntry* out);
// index >= 0 (or below -1): makes the entry at index current (0 or less: the
// first); 0 when the list is shorter, with the last entry current.
// index -1: makes the first entry whose path equals path exactly current, or
// the first entry when none does; 1. An empty list: 0.
int PlaylistSelect(int index, const char* path);
// Step the cursor one entry on or back; 0 (no change) at either end or on
// an empty list. Neither wraps around.
int PlaylistNext();
int PlaylistPrev();
int PlaylistCount();
// Orders the contents by path, byte by byte as unsigned characters (a
// prefix first); equal paths keep their order. 0 for fewer than two entries.
int PlaylistSort(int descending);
// Exchanges each position i with a random j in 0..n-2. 0 (no change) for
// fewer than three entries.
int PlaylistShuffle();
// direction 0 moves each listed entry up one place (indices handled first to
// last), 1 down (last to first), so that a run of adjacent entries moves
// together; an entry at the edge, or an index outside the list, stays.
// Returns count (0 when count <= 0).
int PlaylistMove(int direction, int count, const int* indices);
// Removes the entries at the given positions (as they were before the call,
// ascending). Positions outside the list, and repeats, are passed over.
// Removing the current entry makes its successor current, or its
// predecessor when it was the last. Returns the number removed.
int PlaylistRemove(int count, const int* indices);

// Reads an entry's length, its ID3v1 tag and its titles (ReadTitleTags)
// from its file (a URL is left alone). infoRead becomes 1 only when the
// file holds a usable first frame header; the tags are read whenever the
// file opens. Returns infoRead.
int ReadPlaylistEntryInfo(PlaylistEntry* entry);

// For the editor and the tools: a copy of the entry at index (links null),
// 0 when there is none; the index of the current entry, -1 when none.
int PlaylistGetEntry(int index, PlaylistEntry* out);
int PlaylistGetCurrentIndex();
// Calls fn for each entry in list order with the lock held: fn must not
// call back into the playlist.
using PlaylistVisitFn = void (*)(const PlaylistEntry* entry, int index, int isCurrent, void* context);
void PlaylistForEach(PlaylistVisitFn fn, void* context);

// The editor's refresh request after PlaylistClear (nullptr: none).
using PlaylistRefreshHook = void (*)();
void SetPlaylistRefreshHook(PlaylistRefreshHook hook);

// Restarts the shuffle's generator from seed (tests); it is otherwise
// seeded once from the clock.
void PlaylistSeedShuffle(uint32_t seed);
