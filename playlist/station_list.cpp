// Station lists by URL in the playlist (see station_list.h).
#include "playlist/station_list.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "output/http_stream.h"
#include "output/radio.h"
#include "output/stream_titles.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "playlist/playlist.h"
#include "playlist/playlist_files.h"

namespace {

// A worker told to end is given this long before it is ended by force.
constexpr unsigned kStopWaitMs = 1000;
constexpr unsigned kWorkerStackSize = 64 * 1024;
constexpr size_t kErrorTextSize = 1025;

// One URL to fetch, and what its answer gave.
struct Fetch {
    std::string url;
    bool learnTitle = false;
    int depth = 0;            // of the open that asked: its entries open there
    unsigned generation = 0;  // DropStationListFetches drops older ones
    bool ok = true;
    bool list = false;
    std::vector<StationEntry> entries;
    std::string error;  // an Internet error to show ("" none)
    std::string title;  // with learnTitle: the stream's listed title
};

// The worker and what it shares with the window's thread, under lock.
struct Worker {
    plat::Lock lock = plat::LockCreate();
    void* window = nullptr;  // the window's thread only
    plat::Thread thread = nullptr;
    bool running = false;  // the thread takes from the queue until it is empty
    bool stopping = false;
    unsigned generation = 0;
    int admitted = 0;  // fetches queued since the worker was last idle
    std::deque<std::unique_ptr<Fetch>> queue;
    plat::Http request = nullptr;  // the one in flight, once its head is in
    std::vector<std::unique_ptr<Fetch>> done;  // posted, not yet taken
};
Worker g_worker;

// The request in flight, for a stop to cut; one published after the stop
// is cut at once.
void Publish(plat::Http request) {
    plat::LockHeld held(g_worker.lock);
    g_worker.request = request;
    if (request && g_worker.stopping) plat::HttpShutdown(request);
}

// Fetches f->url and reads its answer. Shows no window, so any thread may.
void Run(Fetch* f, bool published) {
    plat::Http session = plat::HttpOpenSession(kHttpUserAgent);
    std::string headers = std::string(kHttpAcceptHeader) + kIcyMetadataHeader;
    plat::Http request = session ? plat::HttpOpenUrl(session, f->url.c_str(), headers.c_str()) : nullptr;
    if (published) Publish(request);
    const plat::HttpHead* head = plat::HttpResponseHead(request);
    if (!request) {
        char text[kErrorTextSize];
        plat::HttpLastResponseText(text, sizeof text);
        f->error = text;
        f->ok = false;
    } else if (!(f->error = AnswerStatusText(head)).empty()) {
        f->ok = false;
    } else if (IsStationList(f->url.c_str(), head ? head->Field("Content-Type") : nullptr)) {
        f->list = true;
        f->ok = ReadStationList(request, &f->entries, &f->error);
    } else if (f->learnTitle) {
        f->title = StreamListedTitle(request);
    }
    if (published) Publish(nullptr);
    plat::HttpClose(request);
    plat::HttpClose(session);
}

// Adds what a fetch gave, after its message if it has one. 0 when it failed.
int Apply(const Fetch& f) {
    if (!f.error.empty()) ShowInternetError(f.error.c_str());
    if (!f.ok) return 0;
    if (!f.list) {
        PlaylistAdd(f.url.c_str());
        if (!f.title.empty()) SetListedStreamTitle(f.url.c_str(), f.title.c_str());
        return 1;
    }
    for (const StationEntry& e : f.entries) {
        if (!e.title.empty()) SetListedStreamTitle(e.location.c_str(), e.title.c_str());
        PlaylistOpenItem(kOpenUrl, e.location.c_str());
    }
    return 1;
}

unsigned WorkerThread(void*) {
    for (;;) {
        std::unique_ptr<Fetch> f;
        {
            plat::LockHeld held(g_worker.lock);
            if (g_worker.queue.empty() || g_worker.stopping) {
                g_worker.running = false;
                g_worker.admitted = 0;
                return 0;
            }
            f = std::move(g_worker.queue.front());
            g_worker.queue.pop_front();
        }
        Run(f.get(), true);
        plat::LockHeld held(g_worker.lock);
        if (f->generation != g_worker.generation || g_worker.stopping) continue;
        Fetch* posted = f.get();
        g_worker.done.push_back(std::move(f));
        plat::PostNotice(g_worker.window, kNoticeStationList, 0, reinterpret_cast<intptr_t>(posted));
    }
}

// Queues a fetch for the worker, starting it when it is idle.
bool Queue(const char* url, bool learnTitle) {
    plat::LockHeld held(g_worker.lock);
    if (g_worker.admitted >= kStationListMaxFetches) return false;
    auto f = std::make_unique<Fetch>();
    f->url = url;
    f->learnTitle = learnTitle;
    f->depth = PlaylistOpenDepth();
    f->generation = g_worker.generation;
    g_worker.queue.push_back(std::move(f));
    if (!g_worker.running) {
        // The last worker has left its loop; it is let go of here.
        plat::ThreadClose(g_worker.thread);
        g_worker.thread = plat::ThreadStart(WorkerThread, nullptr, kWorkerStackSize, nullptr);
        if (!g_worker.thread) {
            g_worker.queue.pop_back();
            return false;
        }
        g_worker.running = true;
    }
    ++g_worker.admitted;
    return true;
}

}  // namespace

int PlaylistOpenStationUrl(const char* url, bool learnTitle) {
    if (!url) return 0;
    if (g_worker.window) return Queue(url, learnTitle) ? 1 : 0;
    Fetch f;
    f.url = url;
    f.learnTitle = learnTitle;
    Run(&f, false);
    return Apply(f);
}

void DropStationListFetches() {
    plat::LockHeld held(g_worker.lock);
    ++g_worker.generation;
    g_worker.queue.clear();
    plat::HttpShutdown(g_worker.request);
}

void StationListsOffThread(void* window) {
    if (window) {
        g_worker.window = window;
        return;
    }
    {
        plat::LockHeld held(g_worker.lock);
        g_worker.stopping = true;
        g_worker.queue.clear();
        plat::HttpShutdown(g_worker.request);
    }
    bool ended = !g_worker.thread || plat::ThreadWait(g_worker.thread, kStopWaitMs) ||
                 plat::ThreadTerminate(g_worker.thread, 1);
    if (!ended) return;  // what it may still touch stays as it is
    // A worker ended by force may have left its state half done.
    plat::ThreadClose(g_worker.thread);
    g_worker.thread = nullptr;
    g_worker.running = false;
    g_worker.admitted = 0;
    g_worker.request = nullptr;
    g_worker.done.clear();
    g_worker.stopping = false;
    g_worker.window = nullptr;
}

int PlaylistTakeFetchedList(intptr_t fetch) {
    std::unique_ptr<Fetch> f;
    {
        plat::LockHeld held(g_worker.lock);
        auto& done = g_worker.done;
        auto it = std::find_if(done.begin(), done.end(), [&](const std::unique_ptr<Fetch>& d) {
            return reinterpret_cast<intptr_t>(d.get()) == fetch;
        });
        if (it == done.end()) return 0;
        f = std::move(*it);
        done.erase(it);
        if (f->generation != g_worker.generation) return 0;
    }
    const int depth = PlaylistOpenDepth();
    SetPlaylistOpenDepth(f->depth);
    if (!Apply(*f)) ShowPlaylistError("Error Loading Playlist: %s", f->url.c_str());
    SetPlaylistOpenDepth(depth);
    return 1;
}
