// Files, the executable's path and the default message box on Win32.
#include "platform/platform.h"

#include <windows.h>

namespace plat {

namespace {
File ToFile(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<File>(h); }
HANDLE ToHandle(File f) { return reinterpret_cast<HANDLE>(f); }
}  // namespace

File FileOpenRead(const char* path) {
    if (!path) return nullptr;
    return ToFile(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

File FileOpenReadWrite(const char* path) {
    if (!path) return nullptr;
    return ToFile(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

File FileCreate(const char* path) {
    if (!path) return nullptr;
    return ToFile(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

namespace {

// The reader of a pipe (the HTTP download's) waits for data in short steps:
// a writer that sends nothing for kPipeStallMs reads as the end of the data,
// as a stalled connection does on the POSIX side, instead of holding the
// reader for ever, whatever the client under the download does.
constexpr DWORD kPipeStallMs = 60000;

bool WaitForPipeData(HANDLE h) {
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD avail = 0;
        if (!PeekNamedPipe(h, nullptr, 0, nullptr, &avail, nullptr) || avail) return true;
        if (GetTickCount() - start >= kPipeStallMs) return false;
        Sleep(5);
    }
}

}  // namespace

int FileRead(File f, void* dst, uint32_t n) {
    DWORD got = 0;
    if (f && n && GetFileType(ToHandle(f)) == FILE_TYPE_PIPE && !WaitForPipeData(ToHandle(f))) return 0;
    if (!f || !ReadFile(ToHandle(f), dst, n, &got, nullptr)) {
        // A pipe whose writer has gone reads as the end of the data.
        if (f && GetLastError() == ERROR_BROKEN_PIPE) return 0;
        return -1;
    }
    return static_cast<int>(got);
}

int FileWrite(File f, const void* src, uint32_t n) {
    DWORD put = 0;
    if (!f || !WriteFile(ToHandle(f), src, n, &put, nullptr)) return -1;
    return static_cast<int>(put);
}

int64_t FileSeek(File f, int64_t offset, SeekOrigin origin) {
    if (!f) return -1;
    LARGE_INTEGER dist, result;
    dist.QuadPart = offset;
    DWORD method = origin == SeekBegin ? FILE_BEGIN : origin == SeekCurrent ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(ToHandle(f), dist, &result, method)) return -1;
    return result.QuadPart;
}

int64_t FileTell(File f) { return FileSeek(f, 0, SeekCurrent); }

int64_t FileSize(File f) {
    LARGE_INTEGER size;
    if (!f || !GetFileSizeEx(ToHandle(f), &size)) return -1;
    return size.QuadPart;
}

bool FileTruncate(File f) { return f && SetEndOfFile(ToHandle(f)); }

bool FileClose(File f) { return f && CloseHandle(ToHandle(f)); }

bool FileDelete(const char* path) { return path && DeleteFileA(path); }

bool FileExists(const char* path) {
    if (!path) return false;
    DWORD attr = GetFileAttributesA(path);
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

size_t GetExePath(char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    char tmp[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, tmp, sizeof tmp);
    if (n >= sizeof tmp) n = 0;
    size_t len = n < size - 1 ? n : size - 1;
    memcpy(buf, tmp, len);
    buf[len] = '\0';
    return len;
}

int DefaultMessageBox(void* owner, const char* text, const char* caption, unsigned flags) {
    return MessageBoxA(static_cast<HWND>(owner), text, caption, flags);
}

}  // namespace plat
