// Path attributes and directory listing on POSIX.
#include "platform/dir.h"

#include <dirent.h>
#include <sys/stat.h>

#include <string>

namespace plat {

struct DirFindRec {
    DIR* dir;
    std::string directory;  // with a trailing separator, for stat of an entry
};

int GetPathKind(const char* path) {
    struct stat st;
    if (!path || !*path || ::stat(path, &st) != 0) return PathMissing;
    return S_ISDIR(st.st_mode) ? PathIsDirectory : PathIsFile;
}

namespace {

// Fills data from the next directory entry.
bool ReadNext(DirFindRec* find, DirFindData* data) {
    struct dirent* de = ::readdir(find->dir);
    if (!de) return false;
    data->name = de->d_name;
    if (de->d_type == DT_DIR) {
        data->isDirectory = 1;
    } else if (de->d_type == DT_REG) {
        data->isDirectory = 0;
    } else {
        // A link, or a file system that does not say: ask for the target.
        std::string full = find->directory + de->d_name;
        data->isDirectory = GetPathKind(full.c_str()) == PathIsDirectory;
    }
    return true;
}

}  // namespace

DirFind DirFindFirst(const char* directory, DirFindData* data) {
    if (!directory || !*directory || !data) return nullptr;
    DIR* dir = ::opendir(directory);
    if (!dir) return nullptr;
    auto* find = new DirFindRec{dir, directory};
    if (find->directory.back() != '/') find->directory += '/';
    if (!ReadNext(find, data)) {
        DirFindClose(find);
        return nullptr;
    }
    return find;
}

bool DirFindNext(DirFind find, DirFindData* data) {
    if (!find || !data) return false;
    return ReadNext(find, data);
}

void DirFindClose(DirFind find) {
    if (!find) return;
    ::closedir(find->dir);
    delete find;
}

}  // namespace plat
