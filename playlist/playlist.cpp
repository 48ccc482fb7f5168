// The playlist model (see playlist.h).
#include "playlist/playlist.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <vector>

#include "decoder/stream_probe.h"
#include "settings/settings.h"

namespace {

struct PlaylistState {
    PlaylistEntry* head;
    PlaylistEntry* tail;     // the last entry: appending need not walk the list
    PlaylistEntry* current;  // null only when the list is empty or was emptied
    PlaylistRefreshHook refresh;
    uint32_t random;         // the shuffle's generator
    bool randomSeeded;
} g_list;

// Held for every change of the list and every copy out of it.
std::mutex g_lock;

// The exchangeable part of an entry: everything but the links.
struct EntryContent {
    char path[kPlaylistPathSize];
    int32_t durationMs;
    Id3v1Tag tag;
    TitleTags titles;
    int32_t infoRead;
};

void GetContent(const PlaylistEntry* e, EntryContent* c) {
    std::memcpy(c->path, e->path, sizeof c->path);
    c->durationMs = e->durationMs;
    c->tag = e->tag;
    c->titles = e->titles;
    c->infoRead = e->infoRead;
}

void SetContent(PlaylistEntry* e, const EntryContent& c) {
    std::memcpy(e->path, c.path, sizeof e->path);
    e->durationMs = c.durationMs;
    e->tag = c.tag;
    e->titles = c.titles;
    e->infoRead = c.infoRead;
}

// Exchanges the contents of a and b; the cursor follows its content.
void ExchangeContent(PlaylistEntry* a, PlaylistEntry* b) {
    if (a == b) return;
    EntryContent ca, cb;
    GetContent(a, &ca);
    GetContent(b, &cb);
    SetContent(a, cb);
    SetContent(b, ca);
    if (g_list.current == a)
        g_list.current = b;
    else if (g_list.current == b)
        g_list.current = a;
}

// Copies at most size-1 characters and always terminates.
void CopyCut(char* dst, const char* src, size_t size) {
    if (size == 0) return;
    size_t n = strnlen(src, size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

PlaylistEntry* EntryAt(int index) {
    if (index < 0) return nullptr;
    PlaylistEntry* e = g_list.head;
    for (int i = 0; e && i < index; ++i) e = e->next;
    return e;
}

std::vector<PlaylistEntry*> AllEntries() {
    std::vector<PlaylistEntry*> all;
    for (PlaylistEntry* e = g_list.head; e; e = e->next) all.push_back(e);
    return all;
}

void CopyOut(const PlaylistEntry* e, PlaylistEntry* out) {
    *out = *e;
    out->prev = out->next = nullptr;
}

// 0..32767, like the C library's generator on Windows, but with a state of
// our own: seeded once from the clock, never reseeded, so that two shuffles
// in the same second differ.
int NextRandom() {
    if (!g_list.randomSeeded) {
        g_list.random = static_cast<uint32_t>(std::time(nullptr));
        g_list.randomSeeded = true;
    }
    g_list.random = g_list.random * 214013u + 2531011u;
    return static_cast<int>((g_list.random >> 16) & 0x7FFF);
}

// The greatest whole number of seconds, in milliseconds, that fits 32 bits.
constexpr int64_t kMaxDurationMs = 2147483000;

}  // namespace

int ReadPlaylistEntryInfo(PlaylistEntry* entry) {
    if (!entry || std::strstr(entry->path, "://")) return entry ? entry->infoRead : 0;
    // Only regular files: opening a pipe or a device found in a directory
    // scan could wait for ever.
    if (!plat::FileExists(entry->path)) return entry->infoRead;
    plat::File f = plat::FileOpenRead(entry->path);
    if (!f) return entry->infoRead;
    StreamLayout probe;
    int usable = ProbeStream(f, &probe);
    Id3v1Tag tag{};
    ReadTitleTags(f, &entry->titles, &tag);
    plat::FileClose(f);
    entry->tag = tag;
    if (usable) {
        int64_t ms = probe.durationMs / 1000 * 1000;
        entry->durationMs = static_cast<int32_t>(ms > kMaxDurationMs ? kMaxDurationMs : ms);
        entry->infoRead = 1;
    }
    return entry->infoRead;
}

int PlaylistAdd(const char* path) {
    if (!path || std::strlen(path) >= kPlaylistPathSize) return 0;
    auto* e = new (std::nothrow) PlaylistEntry();
    if (!e) return 0;
    CopyCut(e->path, path, sizeof e->path);
    // The file is read before the entry is linked, so that the lock is not
    // held during the file access.
    if (g_settings.ReadFileInfo) ReadPlaylistEntryInfo(e);

    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_list.head) {
        g_list.head = g_list.tail = e;
    } else {
        e->prev = g_list.tail;
        g_list.tail->next = e;
        g_list.tail = e;
    }
    if (!g_list.current) g_list.current = e;
    return 1;
}

int PlaylistClear() {
    PlaylistRefreshHook refresh;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        refresh = g_list.refresh;
        PlaylistEntry* e = g_list.head;
        while (e) {
            PlaylistEntry* next = e->next;
            delete e;
            e = next;
        }
        g_list.head = g_list.tail = g_list.current = nullptr;
    }
    // Outside the lock: the editor's rebuild reads the list.
    if (refresh) refresh();
    return 1;
}

int PlaylistGetCurrentPath(char* path, size_t size) {
    PlaylistEntry probe{};
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_list.current) return 0;
        CopyOut(g_list.current, &probe);
    }
    if (!probe.infoRead) {
        // Read without the lock, then store into the entry that still holds
        // this content (the list may have been reordered meanwhile).
        ReadPlaylistEntryInfo(&probe);
        if (probe.infoRead || probe.tag.valid || probe.titles.source != kTitleNone) {
            std::lock_guard<std::mutex> hold(g_lock);
            PlaylistEntry* c = g_list.current;
            if (c && !c->infoRead && std::strcmp(c->path, probe.path) == 0) {
                c->durationMs = probe.durationMs;
                c->tag = probe.tag;
                c->titles = probe.titles;
                c->infoRead = probe.infoRead;
            }
        }
    }
    if (path) CopyCut(path, probe.path, size);
    return 1;
}

int PlaylistGetCurrentEntry(PlaylistEntry* out) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_list.current || !out) return 0;
    CopyOut(g_list.current, out);
    return 1;
}

int PlaylistSelect(int index, const char* path) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_list.current = g_list.head;
    if (!g_list.head) return 0;
    if (index != -1) {
        for (int i = 0; i < index; ++i) {
            if (!g_list.current->next) return 0;
            g_list.current = g_list.current->next;
        }
        return 1;
    }
    if (path) {
        for (PlaylistEntry* e = g_list.head; e; e = e->next) {
            if (std::strcmp(e->path, path) == 0) {
                g_list.current = e;
                break;
            }
        }
    }
    return 1;
}

int PlaylistNext() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_list.current || !g_list.current->next) return 0;
    g_list.current = g_list.current->next;
    return 1;
}

int PlaylistPrev() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_list.current || !g_list.current->prev) return 0;
    g_list.current = g_list.current->prev;
    return 1;
}

int PlaylistCount() {
    std::lock_guard<std::mutex> hold(g_lock);
    int n = 0;
    for (PlaylistEntry* e = g_list.head; e; e = e->next) ++n;
    return n;
}

int PlaylistSort(int descending) {
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<PlaylistEntry*> all = AllEntries();
    if (all.size() < 2) return 0;
    // A stable sort gives exactly the order of a bubble sort that never
    // exchanges equal paths, in n log n instead of n^2 exchanges.
    struct Item {
        EntryContent content;
        bool wasCurrent;
    };
    std::vector<Item> items(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        GetContent(all[i], &items[i].content);
        items[i].wasCurrent = all[i] == g_list.current;
    }
    auto less = [](const Item& a, const Item& b) { return std::strcmp(a.content.path, b.content.path) < 0; };
    auto greater = [](const Item& a, const Item& b) { return std::strcmp(a.content.path, b.content.path) > 0; };
    if (descending)
        std::stable_sort(items.begin(), items.end(), greater);
    else
        std::stable_sort(items.begin(), items.end(), less);
    for (size_t i = 0; i < all.size(); ++i) {
        SetContent(all[i], items[i].content);
        if (items[i].wasCurrent) g_list.current = all[i];
    }
    return 1;
}

int PlaylistShuffle() {
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<PlaylistEntry*> all = AllEntries();
    int64_t n = static_cast<int64_t>(all.size());
    if (n < 3) return 0;
    for (int64_t i = 0; i < n; ++i) {
        int64_t j = (NextRandom() % (4 * (n - 1))) / 4;  // 0 <= j <= n-2
        ExchangeContent(all[static_cast<size_t>(i)], all[static_cast<size_t>(j)]);
    }
    return 1;
}

int PlaylistMove(int direction, int count, const int* indices) {
    if (count <= 0 || !indices) return 0;
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<PlaylistEntry*> all = AllEntries();
    auto moveOne = [&](int index) {
        if (index < 0 || static_cast<size_t>(index) >= all.size()) return;
        PlaylistEntry* e = all[static_cast<size_t>(index)];
        PlaylistEntry* other = direction ? e->next : e->prev;
        if (other) ExchangeContent(e, other);
    };
    if (direction) {
        for (int k = count - 1; k >= 0; --k) moveOne(indices[k]);
    } else {
        for (int k = 0; k < count; ++k) moveOne(indices[k]);
    }
    return count;
}

int PlaylistRemove(int count, const int* indices) {
    if (count <= 0 || !indices) return 0;
    std::lock_guard<std::mutex> hold(g_lock);
    // The positions name the entries as they stand before the first removal.
    std::vector<PlaylistEntry*> all = AllEntries();
    std::vector<bool> doomed(all.size(), false);
    for (int k = 0; k < count; ++k)
        if (indices[k] >= 0 && static_cast<size_t>(indices[k]) < all.size()) doomed[static_cast<size_t>(indices[k])] = true;
    int removed = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (!doomed[i]) continue;
        PlaylistEntry* e = all[i];
        if (e->prev)
            e->prev->next = e->next;
        else
            g_list.head = e->next;
        if (e->next)
            e->next->prev = e->prev;
        else
            g_list.tail = e->prev;
        // The successor becomes current; the predecessor when e was the last.
        if (g_list.current == e) g_list.current = e->next ? e->next : e->prev;
        delete e;
        ++removed;
    }
    return removed;
}

int PlaylistGetEntry(int index, PlaylistEntry* out) {
    std::lock_guard<std::mutex> hold(g_lock);
    PlaylistEntry* e = EntryAt(index);
    if (!e || !out) return 0;
    CopyOut(e, out);
    return 1;
}

int PlaylistGetCurrentIndex() {
    std::lock_guard<std::mutex> hold(g_lock);
    int i = 0;
    for (PlaylistEntry* e = g_list.head; e; e = e->next, ++i)
        if (e == g_list.current) return i;
    return -1;
}

void PlaylistForEach(PlaylistVisitFn fn, void* context) {
    if (!fn) return;
    std::lock_guard<std::mutex> hold(g_lock);
    int i = 0;
    for (PlaylistEntry* e = g_list.head; e; e = e->next, ++i) fn(e, i, e == g_list.current, context);
}

void SetPlaylistRefreshHook(PlaylistRefreshHook hook) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_list.refresh = hook;
}

void PlaylistSeedShuffle(uint32_t seed) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_list.random = seed;
    g_list.randomSeeded = true;
}
