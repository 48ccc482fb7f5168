// Playlist files (PLS, M3U), directory scans, and the one dispatcher through
// which every name the user opens reaches the playlist.
//
// Path rules shared by the readers: a value containing "://" is a URL, used
// as written. Otherwise it is absolute, or relative to the directory of the
// playlist file (the text up to and including its last separator; the
// current directory when there is none). On Windows the separator is the
// backslash; a value is absolute when it has a drive ("X:\") or starts with
// a separator (a UNC path \\server\share\..., or a path from the root of the
// playlist's drive); '/' is taken for a separator as well. On POSIX the
// separator is '/', an absolute value starts with it, and a backslash in a
// value (a list written on Windows) is read as '/'.
//
// Text encodings: a playlist's text is UTF-8 when it begins with a UTF-8
// byte-order mark, when its name ends in ".m3u8", or when its bytes are
// valid UTF-8 (as ASCII is); a UTF-16 byte-order mark makes it UTF-16; any
// other file was written in the former ANSI code page (Windows-1252 on
// POSIX) and is converted. Lists are saved in UTF-8.
//
// A listed name that does not exist is added all the same (its info stays
// unread). A path or URL takes at most 259 bytes and is never cut: a name
// that does not fit is passed over with a message ("Path Longer Than 259
// Bytes, Passed Over: %s"), once for each list or directory that holds such
// names (with their count and the first). Nested playlists and
// directories are opened to a depth of kPlaylistMaxDepth: a playlist that
// lists itself, or a directory tree with a link loop, ends there.
#pragma once

#include <cstddef>

constexpr int kPlaylistMaxDepth = 16;

// Kinds of name for PlaylistOpenItem.
constexpr int kOpenLocal = 0;
constexpr int kOpenUrl = 2;
constexpr int kPathTooLong = -1;

// Opens a name by its kind and extension (a name longer than 259 bytes is
// refused with its message): ".PLS", ".M3U" and ".M3U8" (any
// case) load the playlist; a URL (kind 2) or an existing non-directory is added;
// anything else is scanned as a directory. Failures are shown ("Error
// Loading Playlist: %s", "Error Adding Directory: %s", "Error Processing
// File: %s" for an entry that could not be added, caption "Error...")
// and the caller goes on. Returns 1.
int PlaylistOpenItem(int kind, const char* name);
// Opens every name in directory, subdirectories recursively ("." and ".."
// passed over). 0 when the directory cannot be listed.
int PlaylistAddDirectory(const char* directory);
// Opens File1..FileN of section "playlist", N = NumberOfEntries, going over
// the File keys the file holds (a count that lies costs nothing); empty
// values are passed over. A URL's Title<n>, read from the same parsed text,
// becomes its listed title. 0 when NumberOfEntries is missing.
int PlaylistLoadPls(const char* file);
// Opens each line of an M3U file. Blank lines and lines beginning with "#"
// are passed over; lines end in LF, CR LF or CR; "#EXTINF:length,title"
// titles the URL of the next line. 0 when the file cannot be opened.
int PlaylistLoadM3u(const char* file);
// Writes the playlist into section "playlist" of file with INI semantics:
// File1..FileN (paths inside the playlist's directory relative to it), then
// NumberOfEntries. Returns the count; 0 when the playlist is empty or a key
// could not be written.
int PlaylistSavePls(const char* file);
// Writes the playlist as an M3U file, replacing it: one path a line
// (relative as in a PLS file), each ended by CR LF, in UTF-8. An ".m3u8"
// file never begins with a byte-order mark (that name says UTF-8 already);
// an ".m3u" file begins with one when some path is not plain ASCII, so that
// a reader that would take it for the ANSI code page knows better, and a
// list of ASCII paths stays as every player reads it. Returns the count; 0
// when the playlist is empty or the file could not be written.
int PlaylistSaveM3u(const char* file);
// PlaylistSaveM3u for a name ending in ".m3u" or ".m3u8" (any case), else
// PlaylistSavePls.
int PlaylistSaveList(const char* file);

// What the open-file dialog hands back, taken apart: result is the dialog's
// buffer (size bytes) of the directory and the NUL-terminated names that
// begin at fileOffset, ending with an empty name. Clears the playlist first
// when clearFirst is set, stores the directory in g_settings.PreviousDir and
// opens each directory + name. Returns the number of names.
int PlaylistOpenChosenFiles(const char* result, size_t size, size_t fileOffset, int clearFirst);

// The nesting depth of the opens in progress (0 outside any), and setting
// it: a station list fetched on another thread adds its entries at the
// depth it was opened at, so that nesting stays bounded across fetches.
int PlaylistOpenDepth();
void SetPlaylistOpenDepth(int depth);
// The message box of a failed open: format's "%s" is name ("Error...").
void ShowPlaylistError(const char* format, const char* name);

// The path rules on their own: the playlist's directory prefix of file (up
// to and including its last separator, "" when none) into dir, and the
// path that value names into out (both 260 characters). ResolvePlaylistValue
// returns kOpenUrl for a URL, kOpenLocal for a path, kPathTooLong (out
// empty) when the result does not fit size-1 bytes.
void PlaylistDirectoryPrefix(const char* file, char* dir, size_t size);
int ResolvePlaylistValue(const char* dir, const char* value, char* out, size_t size);
