// The client-independent part of the Internet client: redirects, the last
// response text and the handle count (see http.h).
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/http.h"

namespace plat {

namespace {
std::atomic<int> g_live{0};
thread_local std::string t_lastResponse;
}  // namespace

namespace http_detail {
void SetLastResponse(const char* text) { t_lastResponse = text ? text : ""; }
void CountOpened() { g_live.fetch_add(1); }
void CountClosed() { g_live.fetch_sub(1); }
}  // namespace http_detail

Http HttpOpenUrl(Http session, const char* url, const char* headers) {
    http_detail::SetLastResponse("");
    if (!session || !url) return nullptr;
    std::string current = url;
    std::vector<std::string> passed{current};
    for (int hop = 0;; hop++) {
        Http r = http_detail::OpenOneHop(session, current.c_str(), headers);
        if (!r) return nullptr;
        const HttpHead* head = http_detail::HopHead(r);
        const char* location = head ? head->Field("Location") : nullptr;
        if (!head || !IsRedirectStatus(head->status) || !location || !*location) {
            http_detail::SetFinalUrl(r, current.c_str());
            return r;
        }
        std::string next = ResolveUrl(current, location);
        HttpClose(r);
        std::string text;
        bool loop = false;
        for (const std::string& p : passed) loop = loop || p == next;
        if (loop)
            text = "The redirects of " + std::string(url) + " go round in a loop (back to " + next + ")";
        else if (hop == kHttpMaxRedirects)
            text = "Too many redirects from " + std::string(url) + " (more than " +
                   std::to_string(kHttpMaxRedirects) + ")";
        if (!text.empty()) {
            http_detail::SetLastResponse(text.c_str());
            return nullptr;
        }
        passed.push_back(next);
        current = next;
    }
}

const HttpHead* HttpResponseHead(Http request) { return http_detail::HopHead(request); }
const char* HttpFinalUrl(Http request) { return http_detail::FinalUrl(request); }

size_t HttpLastResponseText(char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    size_t n = t_lastResponse.size() < size - 1 ? t_lastResponse.size() : size - 1;
    std::memcpy(buf, t_lastResponse.data(), n);
    buf[n] = '\0';
    return n;
}

int HttpLiveHandles() { return g_live.load(); }

}  // namespace plat
