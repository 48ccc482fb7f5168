// Path attributes and directory listing on Win32: GetFileAttributesA and
// FindFirstFileA / FindNextFileA / FindClose.
#include "platform/dir.h"

#include <windows.h>

#include <cstring>

namespace plat {

struct DirFindRec {
    HANDLE handle;
};

int GetPathKind(const char* path) {
    if (!path || !*path) return PathMissing;
    DWORD attr = GetFileAttributesA(path);
    if (attr == INVALID_FILE_ATTRIBUTES) return PathMissing;
    return (attr & FILE_ATTRIBUTE_DIRECTORY) ? PathIsDirectory : PathIsFile;
}

namespace {
void Fill(const WIN32_FIND_DATAA& fd, DirFindData* data) {
    data->name.assign(fd.cFileName, strnlen(fd.cFileName, sizeof fd.cFileName));
    data->isDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
}  // namespace

DirFind DirFindFirst(const char* directory, DirFindData* data) {
    if (!directory || !*directory || !data) return nullptr;
    // The pattern is the directory, a backslash unless it ends in one, and
    // "*". A pattern that does not fit MAX_PATH is a failure, never a cut
    // (a cut pattern would list some other directory).
    char pattern[MAX_PATH];
    size_t len = std::strlen(directory);
    bool hasSep = directory[len - 1] == '\\' || directory[len - 1] == '/';
    size_t need = len + (hasSep ? 0 : 1) + 1;
    if (need >= sizeof pattern) return nullptr;
    std::memcpy(pattern, directory, len);
    if (!hasSep) pattern[len++] = '\\';
    pattern[len++] = '*';
    pattern[len] = '\0';

    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    Fill(fd, data);
    return new DirFindRec{h};
}

bool DirFindNext(DirFind find, DirFindData* data) {
    if (!find || !data) return false;
    WIN32_FIND_DATAA fd;
    if (!FindNextFileA(find->handle, &fd)) return false;
    Fill(fd, data);
    return true;
}

void DirFindClose(DirFind find) {
    if (!find) return;
    FindClose(find->handle);
    delete find;
}

}  // namespace plat
