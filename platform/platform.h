// The operating-system layer under the portable core.
//
// Everything the decoder, the output logic, the playlist, the tags and the
// settings need from the OS goes through these functions. platform/win32/
// implements them over the real Win32 calls, platform/posix/ over POSIX, so
// that the core builds and is tested natively while the player gets exact
// Windows behaviour. Nothing here includes <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

// ---------------------------------------------------------------- files

// An open file (or, later, the read end of a pipe). nullptr is "no file".
struct FileRec;
using File = FileRec*;

enum SeekOrigin { SeekBegin = 0, SeekCurrent = 1, SeekEnd = 2 };

// Opens an existing file for reading; others may read and write it meanwhile.
File FileOpenRead(const char* path);
// Opens an existing file for reading and writing; others may read it.
File FileOpenReadWrite(const char* path);
// Creates a file (an existing one is emptied) for reading and writing.
File FileCreate(const char* path);
// Reads up to n bytes. Returns the count read (0 at the end), or -1 on failure.
int FileRead(File f, void* dst, uint32_t n);
// Writes n bytes. Returns the count written, or -1 on failure.
int FileWrite(File f, const void* src, uint32_t n);
// Moves the file pointer like SetFilePointerEx: offsets and sizes are 64-bit
// everywhere, so files past 4 GiB are read to their end. Returns the new offset, or -1
// when the move fails (a negative resulting offset, a pipe, an I/O error).
int64_t FileSeek(File f, int64_t offset, SeekOrigin origin);
// The current offset (FileSeek(f, 0, SeekCurrent)).
int64_t FileTell(File f);
// The size in bytes (all 64 bits), or -1.
int64_t FileSize(File f);
// Cuts the file at the current offset (SetEndOfFile). Returns true on success.
bool FileTruncate(File f);
// Closes the file. Returns true when a file was closed.
bool FileClose(File f);
// Deletes a file by path.
bool FileDelete(const char* path);
// True when the path names an existing regular file.
bool FileExists(const char* path);

// The full path of the running executable, at most size-1 characters
// (cut, never overflowed). Returns its length.
size_t GetExePath(char* buf, size_t size);

// The separator of directories in paths of this platform.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// --------------------------------------------------- private-profile (INI)
//
// Windows semantics on both sides: section and key names compare without
// regard to case; values are trimmed of surrounding blanks and of one pair
// of enclosing quotes; a key written again is replaced in its place; a new
// key goes at the end of its section; a missing section is appended to the
// file. Lines end in CR LF.

// GetPrivateProfileIntA: the leading decimal number of the value (a sign
// allowed), or def when the key or the file is missing.
unsigned ProfileGetInt(const char* section, const char* key, int def, const char* file);
// GetPrivateProfileStringA: copies the value (or def) into buf, cut to
// size-1 characters and terminated. Returns the number of characters copied.
size_t ProfileGetString(const char* section, const char* key, const char* def,
                        char* buf, size_t size, const char* file);
// WritePrivateProfileStringA with a non-null key and value.
bool ProfileWriteString(const char* section, const char* key, const char* value,
                        const char* file);

// --------------------------------------------------------- message boxes

// Flags and answers with the values of MessageBoxA.
enum : unsigned {
    MbOk = 0x0,
    MbOkCancel = 0x1,
    MbYesNo = 0x4,
    MbIconError = 0x10,
    MbIconQuestion = 0x20,
    MbIconWarning = 0x30,
    MbIconInformation = 0x40,
};
enum : int { IdOk = 1, IdCancel = 2, IdYes = 6, IdNo = 7 };

// Shows a modal message box owned by owner and returns the answer. The core
// calls this for every message the user must see; the shell, a tool or a
// test decides how it is shown through the hook.
using MessageBoxHook = int (*)(void* owner, const char* text, const char* caption, unsigned flags);
// Installs a hook (nullptr restores the platform's default: MessageBoxA on
// Win32; on POSIX a line "CAPTION: TEXT" on standard error, answered OK/No).
void SetMessageBoxHook(MessageBoxHook hook);
int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned flags);

// The window that owns the core's message boxes (the main window), or null.
void SetMainWindow(void* window);
void* MainWindow();

}  // namespace plat

// ===================================================== additions: threads, output
// Threads, events, locks, time, notices to the main window and the save
// dialog are declared in platform/thread.h; the wave output device in
// platform/wave.h.

namespace plat {

// More MessageBoxA flags.
enum : unsigned {
    MbSetForeground = 0x10000,
    MbTopmost = 0x40000,
};

}  // namespace plat
