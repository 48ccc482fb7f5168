#include "shell/playlist_editor_text.h"

#include <cstdio>

void FormatEditorLine(char* out, size_t size, int number, const PlaylistEntry& entry,
                      const char* fileTitle) {
    if (!out || size == 0) return;
    if (entry.titles.source != kTitleNone)
        std::snprintf(out, size, "%d> %s / %s", number, entry.titles.title, entry.titles.artist);
    else
        std::snprintf(out, size, "%d> %s", number, fileTitle ? fileTitle : entry.path);
}

void FormatPlaytime(char* out, size_t size, long long seconds) {
    if (!out || size == 0) return;
    if (seconds < 0) {
        std::snprintf(out, size, "Playtime: Unknown");
        return;
    }
    long long hours = seconds / 3600;
    long long minutes = (seconds - 3600 * hours) / 60;
    std::snprintf(out, size, "Playtime: %02lld:%02lld:%02lld", hours, minutes, seconds % 60);
}

long long SelectionPlaytime(const int* indices, int count) {
    long long total = 0;
    for (int i = 0; i < count; ++i) {
        PlaylistEntry e;
        if (!PlaylistGetEntry(indices[i], &e) || e.infoRead != 1) return -1;
        total += e.durationMs / 1000;
    }
    return total;
}
