// Playlist files and directory scans (see playlist_files.h).
#include "playlist/playlist_files.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dir.h"
#include "platform/platform.h"
#include "playlist/playlist.h"
#include "playlist/station_list.h"
#include "playlist/stream_titles.h"
#include "shell/settings.h"

namespace {

constexpr size_t kPathSize = kPlaylistPathSize;
const char kSection[] = "playlist";

// How deep PlaylistOpenItem is inside playlists and directories.
int g_depth = 0;
// Playlists loaded under the outermost nested open. The depth limit alone
// lets a list that names itself twice load 2^16 times (each level doubling
// the loads); this bound keeps such a list to a moment's work.
constexpr int kPlaylistMaxLoads = 256;
int g_loads = 0;

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool SameTextNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool EndsWithNoCase(const char* name, const char* ext) {
    size_t n = std::strlen(name), e = std::strlen(ext);
    return n >= e && SameTextNoCase(name + n - e, ext, e);
}

// dst = a + b, cut to size-1 characters.
void JoinCut(char* dst, size_t size, const char* a, const char* b) {
    size_t la = strnlen(a, size - 1);
    std::memmove(dst, a, la);
    size_t lb = strnlen(b, size - 1 - la);
    std::memmove(dst + la, b, lb);
    dst[la + lb] = '\0';
}

void ShowError(const char* format, const char* name) {
    char text[1024];
    std::snprintf(text, sizeof text, format, name);
    plat::ShowMessageBox(plat::MainWindow(), text, "Error...", plat::MbIconWarning | plat::MbSetForeground);
}

#ifdef _WIN32
// The root a root-relative value hangs from: the drive ("X:") or the UNC
// share ("\\server\share") of the playlist's directory; "" when it has none.
std::string RootOf(const char* dir) {
    if (dir[0] && dir[1] == ':') return std::string(dir, 2);
    if (IsSeparator(dir[0]) && IsSeparator(dir[1])) {
        const char* p = dir + 2;
        int parts = 0;
        while (*p) {
            if (IsSeparator(*p) && ++parts == 2) break;
            ++p;
        }
        return std::string(dir, static_cast<size_t>(p - dir));
    }
    return std::string();
}
#endif

// The highest n of the keys "File<n>" anywhere in a PLS file, so that a
// NumberOfEntries that lies cannot make the reader ask for millions of
// missing keys. Key names are matched as the profile functions match them
// (blanks around the name, any case).
int HighestFileKey(const char* file) {
    plat::File f = plat::FileOpenRead(file);
    if (!f) return 0;
    int highest = 0;
    enum { LineStart, Letters, Digits, AfterDigits, Skip } state = LineStart;
    int matched = 0;
    long long number = 0;
    char chunk[16384];
    int got;
    while ((got = plat::FileRead(f, chunk, sizeof chunk)) > 0) {
        for (int i = 0; i < got; ++i) {
            char c = chunk[i];
            if (c == '\0') continue;  // a UTF-16 file reads the same
            if (c == '\r' || c == '\n') {
                state = LineStart;
                continue;
            }
            switch (state) {
            case LineStart:
                if (c == ' ' || c == '\t') break;
                state = Letters;
                matched = 0;
                [[fallthrough]];
            case Letters:
                if (Upper(c) == "FILE"[matched]) {
                    if (++matched == 4) {
                        state = Digits;
                        number = -1;
                    }
                } else {
                    state = Skip;
                }
                break;
            case Digits:
                if (c >= '0' && c <= '9') {
                    number = (number < 0 ? 0 : number) * 10 + (c - '0');
                    if (number > INT_MAX) number = INT_MAX;
                    break;
                }
                if (number < 0) {
                    state = Skip;
                    break;
                }
                state = AfterDigits;
                [[fallthrough]];
            case AfterDigits:
                if (c == '=') {
                    if (number > highest) highest = static_cast<int>(number);
                    state = Skip;
                } else if (c != ' ' && c != '\t') {
                    state = Skip;
                }
                break;
            case Skip:
                break;
            }
        }
    }
    plat::FileClose(f);
    return highest;
}

// Reads the lines of a file through a fixed buffer: each line is cut to
// 259 characters, the rest of a longer line is dropped.
struct LineReader {
    plat::File file;
    char chunk[16384];
    int have = 0, at = 0;
    bool first = true;

    bool Next(char* line, size_t size) {
        size_t len = 0;
        bool any = false;
        for (;;) {
            if (at == have) {
                have = plat::FileRead(file, chunk, sizeof chunk);
                at = 0;
                if (have <= 0) {
                    have = 0;
                    line[len] = '\0';
                    return any;
                }
                if (first) {
                    first = false;
                    if (have >= 3 && std::memcmp(chunk, "\xEF\xBB\xBF", 3) == 0) at = 3;
                    if (at == have) continue;  // the file holds the mark alone
                }
            }
            char c = chunk[at++];
            any = true;
            if (c == '\n' || c == '\r') {
                line[len] = '\0';
                return true;
            }
            if (len + 1 < size) line[len++] = c;
        }
    }
};

bool IsBlankLine(const char* s) {
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t') return false;
    return true;
}

// Opens a value read from a playlist file. A name that does not exist is
// added all the same (it may live on a drive that is not there now; its
// info stays unread): only names opened directly are reported missing.
void OpenListedItem(int kind, const char* path) {
    if (kind == kOpenLocal && !EndsWithNoCase(path, ".PLS") && !EndsWithNoCase(path, ".M3U") &&
        plat::GetPathKind(path) == plat::PathMissing) {
        PlaylistAdd(path);
        return;
    }
    PlaylistOpenItem(kind, path);
}

// Opens a nested playlist or directory unless the nesting is too deep or
// too many playlists were loaded under the outermost open already.
template <typename Fn>
bool Nested(Fn open, bool* result, bool playlist = true) {
    if (g_depth == 0) g_loads = 0;
    if (g_depth >= kPlaylistMaxDepth) return false;
    if (playlist && ++g_loads > kPlaylistMaxLoads) return false;
    ++g_depth;
    *result = open() != 0;
    --g_depth;
    return true;
}

}  // namespace

void PlaylistDirectoryPrefix(const char* file, char* dir, size_t size) {
    size_t cut = 0;
    for (size_t i = 0; file[i]; ++i)
        if (IsSeparator(file[i])) cut = i + 1;
    if (cut > size - 1) cut = size - 1;
    std::memcpy(dir, file, cut);
    dir[cut] = '\0';
}

int ResolvePlaylistValue(const char* dir, const char* value, char* out, size_t size) {
    if (std::strstr(value, "://")) {
        JoinCut(out, size, "", value);
        return kOpenUrl;
    }
#ifdef _WIN32
    bool drive = value[0] && value[1] == ':' && IsSeparator(value[2]);
    if (drive || (IsSeparator(value[0]) && IsSeparator(value[1]))) {
        JoinCut(out, size, "", value);  // X:\... or \\server\share\...
    } else if (IsSeparator(value[0])) {
        JoinCut(out, size, RootOf(dir).c_str(), value);  // \dir\... on the playlist's drive
    } else {
        JoinCut(out, size, dir, value);
    }
#else
    JoinCut(out, size, IsSeparator(value[0]) ? "" : dir, value);
    // Lists written on Windows name subdirectories with backslashes.
    size_t from = IsSeparator(value[0]) ? 0 : std::min(std::strlen(dir), std::strlen(out));
    for (char* p = out + from; *p; ++p)
        if (*p == '\\') *p = '/';
#endif
    return kOpenLocal;
}

int PlaylistOpenItem(int kind, const char* name) {
    if (!name) return 1;
    bool ok = true;
    if (kind == kOpenUrl || std::strstr(name, "://")) {
        // A station list is fetched and loaded; any other URL is an entry.
        if (!HasStationListExtension(name))
            PlaylistAdd(name);
        else if (Nested([&] { return PlaylistOpenStationUrl(name, false); }, &ok) && !ok)
            ShowError("Error Loading Playlist: %s", name);
    } else if (EndsWithNoCase(name, ".PLS")) {
        if (Nested([&] { return PlaylistLoadPls(name); }, &ok) && !ok) ShowError("Error Loading Playlist: %s", name);
    } else if (EndsWithNoCase(name, ".M3U")) {
        if (Nested([&] { return PlaylistLoadM3u(name); }, &ok) && !ok) ShowError("Error Loading Playlist: %s", name);
    } else if (kind == kOpenUrl || plat::GetPathKind(name) == plat::PathIsFile) {
        PlaylistAdd(name);
    } else {
        if (Nested([&] { return PlaylistAddDirectory(name); }, &ok, false) && !ok)
            ShowError("Error Adding Directory: %s", name);
    }
    return 1;
}

int PlaylistAddDirectory(const char* directory) {
    if (!directory || !*directory) return 0;
    plat::DirFindData found;
    plat::DirFind find = plat::DirFindFirst(directory, &found);
    if (!find) return 0;
    char dir[kPathSize];
    JoinCut(dir, sizeof dir, "", directory);
    size_t len = std::strlen(dir);
    if (!IsSeparator(dir[len - 1]) && len + 1 < sizeof dir) {
        dir[len] = plat::kPathSeparator;
        dir[len + 1] = '\0';
    }
    do {
        if (std::strcmp(found.name, ".") == 0 || std::strcmp(found.name, "..") == 0) continue;
        char full[kPathSize];
        JoinCut(full, sizeof full, dir, found.name);
        PlaylistOpenItem(kOpenLocal, full);
    } while (plat::DirFindNext(find, &found));
    plat::DirFindClose(find);
    return 1;
}

int PlaylistLoadPls(const char* file) {
    if (!file) return 0;
    char dir[kPathSize];
    PlaylistDirectoryPrefix(file, dir, sizeof dir);
    int n = static_cast<int>(plat::ProfileGetInt(kSection, "NumberOfEntries", -1, file));
    if (n == -1) return 0;
    if (n > 0) {
        int highest = HighestFileKey(file);
        if (highest < n) n = highest;
    }
    for (int i = 1; i <= n; ++i) {
        char key[32], value[kPathSize], path[kPathSize];
        std::snprintf(key, sizeof key, "File%d", i);
        plat::ProfileGetString(kSection, key, "", value, sizeof value, file);
        if (!value[0]) continue;
        int kind = ResolvePlaylistValue(dir, value, path, sizeof path);
        if (kind == kOpenUrl) {  // a station's title
            std::snprintf(key, sizeof key, "Title%d", i);
            plat::ProfileGetString(kSection, key, "", value, sizeof value, file);
            if (value[0]) SetListedStreamTitle(path, value);
        }
        OpenListedItem(kind, path);
    }
    return 1;
}

int PlaylistLoadM3u(const char* file) {
    if (!file) return 0;
    char dir[kPathSize];
    PlaylistDirectoryPrefix(file, dir, sizeof dir);
    LineReader reader;
    reader.file = plat::FileOpenRead(file);
    if (!reader.file) return 0;
    char line[kPathSize];
    std::string title;  // of the next entry, from "#EXTINF:length,title"
    while (reader.Next(line, sizeof line)) {
        if (SameTextNoCase(line, "#EXTINF:", 8)) {
            const char* comma = std::strchr(line, ',');
            title = comma ? comma + 1 : "";
        }
        if (line[0] == '#' || IsBlankLine(line)) continue;
        char path[kPathSize];
        int kind = ResolvePlaylistValue(dir, line, path, sizeof path);
        if (kind == kOpenUrl && !title.empty()) SetListedStreamTitle(path, title.c_str());
        title.clear();
        OpenListedItem(kind, path);
    }
    plat::FileClose(reader.file);
    return 1;
}

namespace {
void CollectPath(const PlaylistEntry* e, int, int, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(e->path);
}
}  // namespace

int PlaylistSavePls(const char* file) {
    if (!file || !*file) return 0;
    std::vector<std::string> paths;
    PlaylistForEach(CollectPath, &paths);
    if (paths.empty()) return 0;
    char dir[kPathSize];
    PlaylistDirectoryPrefix(file, dir, sizeof dir);
    size_t dirLen = std::strlen(dir);
    bool ok = true;
    int k = 0;
    for (const std::string& p : paths) {
        const char* value = p.c_str();
#ifdef _WIN32
        bool inside = dirLen && p.size() > dirLen && SameTextNoCase(value, dir, dirLen);
#else
        // POSIX file names differ by case: only an exact prefix is the directory.
        bool inside = dirLen && p.size() > dirLen && std::memcmp(value, dir, dirLen) == 0;
#endif
        if (inside) value += dirLen;
        char key[32];
        std::snprintf(key, sizeof key, "File%d", ++k);
        ok = plat::ProfileWriteString(kSection, key, value, file) && ok;
    }
    char count[32];
    std::snprintf(count, sizeof count, "%d", k);
    ok = plat::ProfileWriteString(kSection, "NumberOfEntries", count, file) && ok;
    return ok ? k : 0;
}

int PlaylistOpenChosenFiles(const char* result, size_t size, size_t fileOffset, int clearFirst) {
    if (!result || fileOffset == 0 || fileOffset >= size) return 0;
    if (clearFirst) PlaylistClear();
    // The directory is the text before the first name: it ends in a separator
    // for one chosen file and in a NUL for several.
    char dir[kPathSize];
    size_t dirLen = strnlen(result, fileOffset);
    if (dirLen > sizeof dir - 1) dirLen = sizeof dir - 1;
    std::memcpy(dir, result, dirLen);
    dir[dirLen] = '\0';
    JoinCut(g_settings.PreviousDir, sizeof g_settings.PreviousDir, "", dir);
    if (dirLen && !IsSeparator(dir[dirLen - 1]) && dirLen + 1 < sizeof dir) {
        dir[dirLen] = plat::kPathSeparator;
        dir[dirLen + 1] = '\0';
    }
    int count = 0;
    size_t at = fileOffset;
    while (at < size && result[at]) {
        size_t len = strnlen(result + at, size - at);
        std::string name(result + at, len);
        char full[kPathSize];
        JoinCut(full, sizeof full, dir, name.c_str());
        PlaylistOpenItem(kOpenLocal, full);
        ++count;
        at += len + 1;
    }
    return count;
}
