// Path attributes and directory listing, in the manner of
// GetFileAttributesA and FindFirstFileA / FindNextFileA / FindClose.
#pragma once

#include <cstddef>
#include <string>

namespace plat {

// What a path names (GetFileAttributesA, links followed).
enum PathKind { PathMissing = -1, PathIsFile = 0, PathIsDirectory = 1 };
// PathMissing when the attributes cannot be read (no such name, no access).
int GetPathKind(const char* path);

// One name found in a directory: whole, however long (a caller that keeps
// paths of a fixed size refuses one that does not fit, never a cut one).
struct DirFindData {
    std::string name;  // the name alone
    int isDirectory;   // 1 for a directory (a link to one included)
};

struct DirFindRec;
using DirFind = DirFindRec*;  // nullptr is "no search"

// Starts listing the names of a directory, in the order the file system
// keeps them ("." and ".." included where the file system reports them).
// Fills data with the first name. Returns nullptr when the directory
// cannot be listed or holds nothing at all.
DirFind DirFindFirst(const char* directory, DirFindData* data);
// The next name; false when there are no more.
bool DirFindNext(DirFind find, DirFindData* data);
void DirFindClose(DirFind find);

}  // namespace plat
