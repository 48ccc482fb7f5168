// Titles of URL entries (see stream_titles.h).
#include "output/stream_titles.h"

#include <map>
#include <mutex>
#include <string>

#include "platform/text_codec.h"

namespace {

struct Titles {
    std::string listed, live;
};

// A bound on the table: station lists are small, but a list of lists need
// not be. Past it the table starts over.
constexpr size_t kMaxUrls = 4096;

std::mutex g_lock;
std::map<std::string, Titles> g_titles;

void Set(const char* url, const char* title, std::string Titles::*which) {
    if (!url) return;
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_titles.size() >= kMaxUrls && g_titles.find(url) == g_titles.end()) g_titles.clear();
    Titles& t = g_titles[url];
    t.*which = title ? title : "";
    BlankControlChars(&(t.*which));  // a title is one line, whoever gave it
    if (t.listed.empty() && t.live.empty()) g_titles.erase(url);
}

}  // namespace

void SetListedStreamTitle(const char* url, const char* title) { Set(url, title, &Titles::listed); }
void SetLiveStreamTitle(const char* url, const char* title) { Set(url, title, &Titles::live); }

bool GetStreamTitle(const char* url, char* out, size_t size) {
    if (!url || !out || size == 0) return false;
    std::lock_guard<std::mutex> hold(g_lock);
    auto it = g_titles.find(url);
    if (it == g_titles.end()) return false;
    const std::string& t = it->second.live.empty() ? it->second.listed : it->second.live;
    Utf8CopyCut(out, size, t.c_str());
    return true;
}

void ClearStreamTitles() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_titles.clear();
}
