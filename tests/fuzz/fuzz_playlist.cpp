// Fuzz target: the PLS and M3U readers. Byte 0 chooses the reader (bit 0),
// whether entries get their info read (bit 1), and whether the rest is the
// file as it stands or (bit 2, PLS) records that build its keys; the file
// is written into a private work directory that also holds a small tree
// (sub/a.mp3, sub/inner/) for listed directories and nested lists. Every
// entry must be a whole path of at most 259 bytes, and every title of a
// URL one line.
//
// The directory layer is this target's own: it answers like the POSIX one
// inside the work directory, but calls every directory outside it missing,
// so that a listed "/" or ".." never walks the machine's file system.
#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "output/stream_titles.h"
#include "platform/dir.h"
#include "playlist/playlist.h"
#include "playlist/playlist_files.h"
#include "settings/settings.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

std::string g_pls, g_m3u;

bool InsideWorkDir(const char* path) {
    char real[PATH_MAX];
    if (!realpath(path, real)) return false;
    std::string r = std::string(real) + "/";
    return r.compare(0, fuzz::g_workDir.size(), fuzz::g_workDir) == 0;
}

int g_entriesSeen = 0;
void CheckEntry(const PlaylistEntry* e, int, int, void*) {
    if (!std::memchr(e->path, 0, sizeof e->path)) std::abort();
    char title[kPlaylistPathSize];
    if (GetStreamTitle(e->path, title, sizeof title))
        for (const char* c = title; *c; ++c)
            if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) std::abort();
    g_entriesSeen++;
}

// A PLS section from records, so that runs reach key numbers of any size,
// repeats, counts that lie, quoted values and titles: each record is a kind
// byte (the key's name and case in bits 0-2; bit 3 gives a count key its
// value as text instead of the number), a 32-bit number, then the value up
// to a NUL.
std::string PlsFromRecords(const uint8_t* p, const uint8_t* end) {
    static const char* const kKeys[] = {"File", "Title", "NumberOfEntries", "Length",
                                        "file", "TITLE", "numberofentries", "Version"};
    std::string text = "[playlist]\n";
    while (end - p >= 5) {
        const int kind = p[0] & 7;
        const bool count = kind == 2 || kind == 6, asText = p[0] & 8;
        const int32_t n = static_cast<int32_t>(uint32_t(p[1]) | uint32_t(p[2]) << 8 | uint32_t(p[3]) << 16 |
                                               uint32_t(p[4]) << 24);
        p += 5;
        const uint8_t* v = p;
        while (p < end && *p) ++p;
        std::string value(reinterpret_cast<const char*>(v), static_cast<size_t>(p - v));
        if (p < end) ++p;
        text += kKeys[kind];
        if (!count) text += std::to_string(n);
        text += "=" + (count && !asText ? std::to_string(n) : value) + "\n";
    }
    return text;
}

}  // namespace

namespace plat {

struct DirFindRec {
    DIR* dir;
    std::string directory;
};

int GetPathKind(const char* path) {
    struct stat st;
    if (!path || !*path || ::stat(path, &st) != 0) return PathMissing;
    if (S_ISDIR(st.st_mode)) return InsideWorkDir(path) ? PathIsDirectory : PathMissing;
    return PathIsFile;
}

static bool ReadNextName(DirFindRec* find, DirFindData* data) {
    struct dirent* de = ::readdir(find->dir);
    if (!de) return false;
    data->name = de->d_name;
    std::string full = find->directory + de->d_name;
    data->isDirectory = GetPathKind(full.c_str()) == PathIsDirectory;
    return true;
}

DirFind DirFindFirst(const char* directory, DirFindData* data) {
    if (!directory || !*directory || !data || !InsideWorkDir(directory)) return nullptr;
    DIR* dir = ::opendir(directory);
    if (!dir) return nullptr;
    auto* find = new DirFindRec{dir, directory};
    if (find->directory.back() != '/') find->directory += '/';
    if (!ReadNextName(find, data)) {
        DirFindClose(find);
        return nullptr;
    }
    return find;
}

bool DirFindNext(DirFind find, DirFindData* data) { return find && data && ReadNextName(find, data); }

void DirFindClose(DirFind find) {
    if (!find) return;
    ::closedir(find->dir);
    delete find;
}

}  // namespace plat

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string& dir = fuzz::MakeWorkDir("vorlo-fuzz-playlist");
    g_pls = dir + "list.pls";
    g_m3u = dir + "list.m3u";
    ::mkdir((dir + "sub").c_str(), 0755);
    ::mkdir((dir + "sub/inner").c_str(), 0755);
    fuzz::WriteWholeFile(dir + "sub/a.mp3", "\xFF\xFB\x90\x00", 4);
    plat::SetMessageBoxHook(fuzz::QuietMessageBox);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool m3u = data[0] & 1;
    g_settings.ReadFileInfo = (data[0] >> 1) & 1;
    const std::string& path = m3u ? g_m3u : g_pls;
    if (!m3u && (data[0] & 4)) {
        const std::string text = PlsFromRecords(data + 1, data + size);
        fuzz::WriteWholeFile(path, text.data(), text.size());
    } else {
        fuzz::WriteWholeFile(path, data + 1, size - 1);
    }
    PlaylistClear();
    ClearStreamTitles();
    if (m3u)
        PlaylistLoadM3u(path.c_str());
    else
        PlaylistLoadPls(path.c_str());
    g_entriesSeen = 0;
    PlaylistForEach(CheckEntry, nullptr);
    if (g_entriesSeen != PlaylistCount()) std::abort();
    PlaylistClear();
    return 0;
}
