// Playlist helpers for vorlo-decode (see playlist_listing.h).
#include "playlist/playlist_listing.h"

#include <cstring>

#include "output/stream_titles.h"
#include "platform/platform.h"
#include "playlist/playlist.h"
#include "playlist/playlist_files.h"
#include "playlist/station_list.h"
#include "settings/settings.h"

namespace {

void PrintEntry(const PlaylistEntry* e, int, int, void* context) {
    FILE* out = static_cast<FILE*>(context);
    std::fputs(e->path, out);
    if (e->infoRead)
        std::fprintf(out, "\t%ld", static_cast<long>(e->durationMs));
    else
        std::fputs("\t?", out);
    char station[kPlaylistPathSize] = "";
    if (!e->titles.title[0]) GetStreamTitle(e->path, station, sizeof station);  // a URL's title
    std::fprintf(out, "\t%s\t%s\n", e->titles.title[0] ? e->titles.title : station, e->titles.artist);
}

}  // namespace

int PrintPlaylistListing(const char* input, FILE* out) {
    if (!input || !out) return 0;
    PlaylistClear();
    int saved = g_settings.ReadFileInfo;
    g_settings.ReadFileInfo = 1;
    if (std::strstr(input, "://") && std::strlen(input) < kPlaylistPathSize)
        PlaylistOpenStationUrl(input, true);  // a stream is listed with its station's title
    else
        PlaylistOpenItem(kOpenLocal, input);
    g_settings.ReadFileInfo = saved;
    PlaylistForEach(PrintEntry, out);
    std::fflush(out);
    return PlaylistCount();
}

int PlaylistFirstToPlay(int shuffle, char* path, size_t size) {
    if (!PlaylistSelect(0, nullptr)) return 0;
    if (shuffle && PlaylistShuffle()) PlaylistSelect(0, nullptr);
    return PlaylistGetCurrentPath(path, size);
}

int PlaylistNextToPlay(int repeat, char* path, size_t size) {
    if (!PlaylistNext() && !(repeat && PlaylistSelect(0, nullptr))) return 0;
    return PlaylistGetCurrentPath(path, size);
}

int MakeNumberedOutputName(const char* output, int n, char* out, size_t size) {
    if (!out || size == 0) return 0;
    out[0] = '\0';
    if (!output) return 0;
    size_t len = std::strlen(output);
    // The extension is the last dot of the file name, not of a directory,
    // and not a leading dot of the name.
    size_t nameStart = 0;
    for (size_t i = 0; i < len; ++i)
        if (output[i] == '/' || output[i] == plat::kPathSeparator) nameStart = i + 1;
    size_t dot = len;
    for (size_t i = len; i > nameStart + 1; --i)
        if (output[i - 1] == '.') {
            dot = i - 1;
            break;
        }
    char suffix[16];
    int sl = std::snprintf(suffix, sizeof suffix, "-%d", n);
    if (sl < 0 || dot + static_cast<size_t>(sl) + (len - dot) >= size) return 0;
    std::memcpy(out, output, dot);
    std::memcpy(out + dot, suffix, static_cast<size_t>(sl));
    std::memcpy(out + dot + sl, output + dot, len - dot);
    out[dot + sl + (len - dot)] = '\0';
    return 1;
}
