// Playlist files and directory scans (see playlist_files.h).
#include "playlist/playlist_files.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "output/radio.h"
#include "output/stream_titles.h"
#include "platform/dir.h"
#include "platform/ini_text.h"
#include "platform/platform.h"
#include "platform/text_codec.h"
#include "playlist/playlist.h"
#include "playlist/station_list.h"
#include "settings/settings.h"

namespace {

constexpr size_t kPathSize = kPlaylistPathSize;
const char kSection[] = "playlist";
const char kPathTooLongText[] = "Path Longer Than 259 Bytes, Passed Over: %s";

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

// dst = a + b when that fits size-1 bytes; otherwise false with dst empty:
// a path is never cut (a cut one names some other file, or its directory).
bool Join(char* dst, size_t size, const char* a, const char* b) {
    const size_t la = std::strlen(a), lb = std::strlen(b);
    if (la + lb >= size) {
        dst[0] = '\0';
        return false;
    }
    std::memmove(dst, a, la);
    std::memmove(dst + la, b, lb);
    dst[la + lb] = '\0';
    return true;
}

bool FitsPath(const char* name) { return std::strlen(name) < kPathSize; }

// Messages are cut to 1023 bytes, on a character boundary.
void ShowText(std::string text) {
    text.resize(Utf8CutLength(text.c_str(), 1023));
    plat::ShowMessageBox(plat::MainWindow(), text.c_str(), "Error...", plat::MbIconWarning | plat::MbSetForeground);
}

void ShowError(const char* format, const char* name) {
    const char* at = std::strstr(format, "%s");
    ShowText(std::string(format, static_cast<size_t>(at - format)) + name + (at + 2));
}

// The names of one list or directory that do not fit a path: passed over
// and reported once, when the list or directory is done.
class TooLongNames {
public:
    TooLongNames() = default;
    TooLongNames(const TooLongNames&) = delete;
    TooLongNames& operator=(const TooLongNames&) = delete;
    void Add(const std::string& name) {
        if (count_++ == 0) first_ = name;
    }
    ~TooLongNames() {
        if (count_ == 1) ShowError(kPathTooLongText, first_.c_str());
        if (count_ > 1)
            ShowText(std::to_string(count_) + " paths longer than 259 bytes were passed over; the first: " + first_);
    }

private:
    int count_ = 0;
    std::string first_;
};

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

constexpr uint32_t kPlaylistFileMax = 64u << 20;

// A playlist file's text as UTF-8 (see TextFileToUtf8), read to at most
// kPlaylistFileMax bytes. False when the file cannot be opened.
bool ReadPlaylistText(const char* file, bool utf8Expected, std::string* text) {
    plat::File f = plat::FileOpenRead(file);
    if (!f) return false;
    std::string bytes;
    char chunk[16384];
    int got;
    while (bytes.size() < kPlaylistFileMax && (got = plat::FileRead(f, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, static_cast<size_t>(got));
    plat::FileClose(f);
    *text = TextFileToUtf8(bytes.data(), bytes.size(), utf8Expected);
    return true;
}

// n of a key named prefix + n, as "%s%d" writes it (no sign, no leading
// zero), 1 <= n <= INT_MAX; 0 for any other name.
int KeyNumber(const std::string& name, const char* prefix) {
    const size_t p = std::strlen(prefix);
    if (name.size() <= p || name.size() > p + 10 || !SameTextNoCase(name.c_str(), prefix, p) || name[p] == '0')
        return 0;
    long long number = 0;
    for (size_t i = p; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        number = number * 10 + (name[i] - '0');
    }
    return number <= INT_MAX ? static_cast<int>(number) : 0;
}

// The values of the keys prefix1 .. prefix<count> that section holds, by
// number (the first key of a number, as a lookup finds it). The reader goes
// over the keys present: a NumberOfEntries that lies costs nothing.
std::map<int, const std::string*> NumberedValues(const plat::IniSection* section, const char* prefix, int count) {
    std::map<int, const std::string*> values;
    if (!section) return values;
    for (const plat::IniKey& k : section->keys) {
        const int n = KeyNumber(k.name, prefix);
        if (n > 0 && n <= count && k.hasValue) values.emplace(n, &k.value);
    }
    return values;
}

// A value as the profile functions return it: one pair of quotes removed.
std::string Unquoted(const std::string& value) {
    std::vector<char> buf(value.size() + 1);
    const size_t n = plat::IniCopyEntry(value.c_str(), buf.data(), buf.size());
    return std::string(buf.data(), n);
}

bool IsBlankLine(const char* s) {
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t') return false;
    return true;
}

bool IsM3uName(const char* name) { return EndsWithNoCase(name, ".M3U") || EndsWithNoCase(name, ".M3U8"); }

// Opens a value read from a playlist file. A name that does not exist is
// added all the same (it may live on a drive that is not there now; its
// info stays unread): only names opened directly are reported missing.
void OpenListedItem(int kind, const char* path) {
    if (kind == kOpenLocal && !EndsWithNoCase(path, ".PLS") && !IsM3uName(path) &&
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

void ShowPlaylistError(const char* format, const char* name) { ShowError(format, name); }

int PlaylistOpenDepth() { return g_depth; }
void SetPlaylistOpenDepth(int depth) { g_depth = depth; }

void PlaylistDirectoryPrefix(const char* file, char* dir, size_t size) {
    size_t cut = 0;
    for (size_t i = 0; file[i]; ++i)
        if (IsSeparator(file[i])) cut = i + 1;
    if (cut > size - 1) cut = size - 1;
    std::memcpy(dir, file, cut);
    dir[cut] = '\0';
}

int ResolvePlaylistValue(const char* dir, const char* value, char* out, size_t size) {
    if (std::strstr(value, "://")) return Join(out, size, "", value) ? kOpenUrl : kPathTooLong;
    bool fits;
#ifdef _WIN32
    bool drive = value[0] && value[1] == ':' && IsSeparator(value[2]);
    if (drive || (IsSeparator(value[0]) && IsSeparator(value[1]))) {
        fits = Join(out, size, "", value);  // X:\... or \\server\share\...
    } else if (IsSeparator(value[0])) {
        fits = Join(out, size, RootOf(dir).c_str(), value);  // \dir\... on the playlist's drive
    } else {
        fits = Join(out, size, dir, value);
    }
#else
    fits = Join(out, size, IsSeparator(value[0]) ? "" : dir, value);
    // Lists written on Windows name subdirectories with backslashes.
    size_t from = IsSeparator(value[0]) ? 0 : std::min(std::strlen(dir), std::strlen(out));
    for (char* p = out + from; *p; ++p)
        if (*p == '\\') *p = '/';
#endif
    return fits ? kOpenLocal : kPathTooLong;
}

int PlaylistOpenItem(int kind, const char* name) {
    if (!name) return 1;
    if (!FitsPath(name)) {
        ShowError(kPathTooLongText, name);
        return 1;
    }
    bool ok = true;
    if (kind == kOpenUrl || std::strstr(name, "://")) {
        // A station list is fetched and loaded; any other URL is an entry.
        if (!HasStationListExtension(name)) {
            if (!PlaylistAdd(name)) ShowError("Error Processing File: %s", name);
        } else if (Nested([&] { return PlaylistOpenStationUrl(name, false); }, &ok) && !ok)
            ShowError("Error Loading Playlist: %s", name);
    } else if (EndsWithNoCase(name, ".PLS")) {
        if (Nested([&] { return PlaylistLoadPls(name); }, &ok) && !ok) ShowError("Error Loading Playlist: %s", name);
    } else if (IsM3uName(name)) {
        if (Nested([&] { return PlaylistLoadM3u(name); }, &ok) && !ok) ShowError("Error Loading Playlist: %s", name);
    } else if (plat::GetPathKind(name) == plat::PathIsFile) {
        if (!PlaylistAdd(name)) ShowError("Error Processing File: %s", name);
    } else {
        if (Nested([&] { return PlaylistAddDirectory(name); }, &ok, false) && !ok)
            ShowError("Error Adding Directory: %s", name);
    }
    return 1;
}

int PlaylistAddDirectory(const char* directory) {
    if (!directory || !*directory || !FitsPath(directory)) return 0;
    plat::DirFindData found;
    plat::DirFind find = plat::DirFindFirst(directory, &found);
    if (!find) return 0;
    std::string dir = directory;
    if (!IsSeparator(dir.back())) dir += plat::kPathSeparator;
    TooLongNames tooLong;
    do {
        if (found.name == "." || found.name == "..") continue;
        const std::string full = dir + found.name;
        if (FitsPath(full.c_str()))
            PlaylistOpenItem(kOpenLocal, full.c_str());
        else
            tooLong.Add(full);
    } while (plat::DirFindNext(find, &found));
    plat::DirFindClose(find);
    return 1;
}

namespace {

// Opens one value of a list file, or passes it over when the path it names
// does not fit.
void OpenListValue(const char* dir, const std::string& value, const std::string& title, TooLongNames* tooLong) {
    char path[kPathSize];
    const int kind = ResolvePlaylistValue(dir, value.c_str(), path, sizeof path);
    if (kind == kPathTooLong) {
        tooLong->Add(std::strstr(value.c_str(), "://") || IsSeparator(value[0]) ? value : dir + value);
        return;
    }
    if (kind == kOpenUrl && !title.empty()) SetListedStreamTitle(path, title.c_str());  // a station's title
    OpenListedItem(kind, path);
}

}  // namespace

int PlaylistLoadPls(const char* file) {
    if (!file || !FitsPath(file)) return 0;
    char dir[kPathSize];
    PlaylistDirectoryPrefix(file, dir, sizeof dir);
    std::string text;
    ReadPlaylistText(file, false, &text);  // an unreadable file has no keys
    plat::IniFile ini;
    plat::IniParse(text.data(), text.data() + text.size(), &ini);
    int n = static_cast<int>(plat::IniGetInt(&ini, kSection, "NumberOfEntries", -1));
    if (n == -1) return 0;
    const plat::IniSection* section = plat::IniFindSection(&ini, kSection);
    const auto titles = NumberedValues(section, "Title", n);
    TooLongNames tooLong;
    for (const auto& entry : NumberedValues(section, "File", n)) {
        const std::string value = Unquoted(*entry.second);
        if (value.empty()) continue;
        auto title = titles.find(entry.first);
        OpenListValue(dir, value, title == titles.end() ? std::string() : Unquoted(*title->second), &tooLong);
    }
    return 1;
}

int PlaylistLoadM3u(const char* file) {
    if (!file || !FitsPath(file)) return 0;
    char dir[kPathSize];
    PlaylistDirectoryPrefix(file, dir, sizeof dir);
    std::string text;
    if (!ReadPlaylistText(file, EndsWithNoCase(file, ".M3U8"), &text)) return 0;
    const char* p = text.c_str();
    const char* end = p + text.size();
    std::string title;  // of the next entry, from "#EXTINF:length,title"
    TooLongNames tooLong;
    while (p < end) {
        const char* eol = p;
        while (eol < end && *eol != '\n' && *eol != '\r') ++eol;
        const std::string line(p, eol);
        p = eol < end && *eol == '\r' && eol + 1 < end && eol[1] == '\n' ? eol + 2 : eol + 1;
        if (SameTextNoCase(line.c_str(), "#EXTINF:", 8)) {
            const size_t comma = line.find(',');
            title = comma == std::string::npos ? "" : line.substr(comma + 1);
        }
        if (line[0] == '#' || IsBlankLine(line.c_str())) continue;
        OpenListValue(dir, line, title, &tooLong);
        title.clear();
    }
    return 1;
}

namespace {
void CollectPath(const PlaylistEntry* e, int, int, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(e->path);
}
}  // namespace

namespace {

// The values a list saved as file holds for the playlist's entries: paths
// inside the list's directory relative to it, others whole.
std::vector<std::string> ListValues(const char* file) {
    std::vector<std::string> paths;
    PlaylistForEach(CollectPath, &paths);
    char dir[kPathSize];
    PlaylistDirectoryPrefix(file, dir, sizeof dir);
    const size_t dirLen = std::strlen(dir);
    for (std::string& p : paths) {
#ifdef _WIN32
        bool inside = dirLen && p.size() > dirLen && SameTextNoCase(p.c_str(), dir, dirLen);
#else
        // POSIX file names differ by case: only an exact prefix is the directory.
        bool inside = dirLen && p.size() > dirLen && std::memcmp(p.c_str(), dir, dirLen) == 0;
#endif
        if (inside) p.erase(0, dirLen);
    }
    return paths;
}

}  // namespace

int PlaylistSavePls(const char* file) {
    if (!file || !*file) return 0;
    const std::vector<std::string> values = ListValues(file);
    if (values.empty()) return 0;
    bool ok = true;
    int k = 0;
    for (const std::string& value : values) {
        char key[32];
        std::snprintf(key, sizeof key, "File%d", ++k);
        ok = plat::ProfileWriteString(kSection, key, value.c_str(), file) && ok;
    }
    char count[32];
    std::snprintf(count, sizeof count, "%d", k);
    ok = plat::ProfileWriteString(kSection, "NumberOfEntries", count, file) && ok;
    return ok ? k : 0;
}

int PlaylistSaveM3u(const char* file) {
    if (!file || !*file) return 0;
    const std::vector<std::string> values = ListValues(file);
    if (values.empty()) return 0;
    std::string text;
    bool ascii = true;
    for (const std::string& value : values) {
        text += value + "\r\n";
        for (char c : value) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (!ascii && !EndsWithNoCase(file, ".M3U8")) text.insert(0, "\xEF\xBB\xBF");
    plat::File f = plat::FileCreate(file);
    if (!f) return 0;
    const bool ok = plat::FileWrite(f, text.data(), static_cast<uint32_t>(text.size())) ==
                    static_cast<int>(text.size());
    plat::FileClose(f);
    return ok ? static_cast<int>(values.size()) : 0;
}

int PlaylistSaveList(const char* file) {
    if (!file) return 0;
    return IsM3uName(file) ? PlaylistSaveM3u(file) : PlaylistSavePls(file);
}

int PlaylistOpenChosenFiles(const char* result, size_t size, size_t fileOffset, int clearFirst) {
    if (!result || fileOffset == 0 || fileOffset >= size) return 0;
    if (clearFirst) PlaylistClear();
    // The directory is the text before the first name: it ends in a separator
    // for one chosen file and in a NUL for several.
    std::string dir(result, strnlen(result, fileOffset));
    if (FitsPath(dir.c_str())) Join(g_settings.PreviousDir, sizeof g_settings.PreviousDir, "", dir.c_str());
    if (!dir.empty() && !IsSeparator(dir.back())) dir += plat::kPathSeparator;
    int count = 0;
    size_t at = fileOffset;
    TooLongNames tooLong;
    while (at < size && result[at]) {
        size_t len = strnlen(result + at, size - at);
        const std::string full = dir + std::string(result + at, len);
        if (FitsPath(full.c_str()))
            PlaylistOpenItem(kOpenLocal, full.c_str());
        else
            tooLong.Add(full);
        ++count;
        at += len + 1;
    }
    return count;
}
