// Start-up pieces that do not need a window: splitting the command line, the
// hand-over protocol between two instances, and opening the arguments into
// the playlist. The Win32 entry point and message loop are in
// shell/startup_win.cpp and shell/winmain_win.cpp.
//
// Hand-over protocol: a second start passes its files to the running player
// (window class VorMainWindow) as WM_COPYDATA records, each sent and waited
// for in turn. A record is (code, size, bytes):
//   0 clear      size 0             stop playback, clear the playlist
//   1 add        name, size = its length without a terminator
//                                   open the name (file, playlist, directory, URL)
//   2 replace    name, as for 1     stop, clear, add as for 1, play the current entry
//   3 play index entry index in the size field, no bytes
//                                   make that entry current and play it
//   4 play first size 0             make the first entry current and play it
// Other codes are ignored. A second start sends clear, one add per argument
// (switches beginning with '/' excepted) and play first.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMaxArguments = 256;
constexpr size_t kArgumentSize = 1024;  // at most 1023 characters and a terminator

// The split command line. args[0] is the program itself and is never opened.
struct ArgumentList {
    int count;
    char args[kMaxArguments][kArgumentSize];
};

// Splits a whole command line (program path included) into list:
// - a double quote toggles the inside-quotes state and is dropped; at the
//   start of an argument it starts nothing (the argument begins after it),
//   inside an argument it ends the argument;
// - outside quotes a space ends the argument, inside quotes it belongs to it;
// - after an argument exactly one space is skipped; a further space is the
//   first character of the next argument;
// - the end of the line ends the argument; nothing starts at the end.
// Arguments longer than 1023 characters are cut there (the rest of that
// argument is dropped); splitting stops after 256 arguments. A null line
// gives no arguments. Returns list->count.
int SplitCommandLine(const char* commandLine, ArgumentList* list);

// True for an argument that names something to open: not a switch (first
// character '/'; switches are ignored), and not empty or blanks only.
bool IsOpenableArgument(const char* arg);

// The PlaylistOpenItem kind for a name from the command line or a hand-over:
// kOpenUrl when it contains "://", else kOpenLocal.
int ArgumentOpenKind(const char* name);

// Start-up with the player in this process: opens every openable argument
// after the program through PlaylistOpenItem, in order. A failure is shown
// in a message box without owner, "Error Processing File: %s" / "Error...",
// and the next argument follows. Returns the number of arguments opened.
int OpenCommandLineArguments(const ArgumentList& list);

// ---- Hand-over records ------------------------------------------------------

enum HandOverCode : uint32_t {
    kHandOverClear = 0,
    kHandOverAdd = 1,
    kHandOverReplace = 2,
    kHandOverPlayIndex = 3,
    kHandOverPlayFirst = 4,
};

// One record as it is sent (the fields of COPYDATASTRUCT). data points into
// the argument list it was built from and has size bytes, no terminator.
struct HandOverRecord {
    uint32_t code;
    uint32_t size;
    const void* data;
};

// The records a second start sends for list: nothing when there is no
// argument besides the program; else clear, add for each openable argument,
// play first. Writes at most maxRecords (kMaxArguments + 1 always suffice)
// and returns the number written.
int BuildHandOver(const ArgumentList& list, HandOverRecord* records, int maxRecords);

// Room for any name a second start sends (its arguments take at most 1023
// bytes), so that a name too long for a path reaches the open whole enough
// to be refused there with its message, never cut to one that fits.
constexpr size_t kHandOverNameSize = kArgumentSize;

// A received record, checked and copied out of the sender's bytes.
struct HandOverRequest {
    uint32_t code;                  // 0..4
    int32_t index;                  // code 3: the entry index; else 0
    char name[kHandOverNameSize];   // codes 1, 2: the name; else ""
};

// Reads a received record (code, size, data) into request. Any bytes are
// safe: the name is taken up to the first NUL or size bytes, whichever comes
// first (a name that is not UTF-8 is taken for the former ANSI code page and
// converted); a name of more than 1023 bytes keeps its first 1023 (on a
// character boundary), which the open refuses as too long; a null data
// with a non-zero size gives an empty name. Returns false for codes above 4, which are to be ignored
// (the request is then zeroed); true otherwise.
bool ParseHandOver(uint32_t code, uint32_t size, const void* data, HandOverRequest* request);
