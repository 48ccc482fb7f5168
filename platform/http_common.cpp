// The client-independent part of the Internet client: redirects, the last
// response text and the handle count (see http.h).
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/http_client.h"

namespace plat {

namespace {
std::atomic<int> g_live{0};
thread_local std::string t_lastResponse;
}  // namespace

namespace http_detail {
void SetLastResponse(const char* text) { t_lastResponse = text ? text : ""; }
void CountOpened() { g_live.fetch_add(1); }
}  // namespace http_detail

Http HttpOpenSession(const char* userAgent) {
    if (!http_detail::StartClient()) return nullptr;
    Http s = http_detail::NewRec();
    http_detail::Base(s)->isSession = true;
    http_detail::Base(s)->userAgent = userAgent ? userAgent : "";
    g_live.fetch_add(1);
    return s;
}

bool HttpClose(Http h) {
    if (!h) return false;
    http_detail::FreeRec(h);
    g_live.fetch_sub(1);
    return true;
}

namespace {
const HttpRecBase* Request(Http h) {
    const HttpRecBase* b = h ? http_detail::Base(h) : nullptr;
    return b && !b->isSession ? b : nullptr;
}
}  // namespace

Http HttpOpenUrl(Http session, const char* url, const char* headers) {
    http_detail::SetLastResponse("");
    if (!session || !http_detail::Base(session)->isSession || !url) return nullptr;
    std::string current = url;
    std::vector<std::string> passed{current};
    for (int hop = 0;; hop++) {
        Http r = http_detail::OpenOneHop(session, current.c_str(), headers);
        if (!r) return nullptr;
        const HttpHead* head = HttpResponseHead(r);
        const char* location = head ? head->Field("Location") : nullptr;
        if (!head || !IsRedirectStatus(head->status) || !location || !*location) {
            http_detail::Base(r)->finalUrl = current;
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

const HttpHead* HttpResponseHead(Http request) { return Request(request) ? &Request(request)->head : nullptr; }
const char* HttpFinalUrl(Http request) { return Request(request) ? Request(request)->finalUrl.c_str() : ""; }

bool HttpSetStatusCallback(Http request) {
    // Neither client reports anything that is wanted here.
    return Request(request) != nullptr;
}

int HttpRead(Http request, void* dst, uint32_t n) {
    if (!Request(request)) return -1;
    auto* out = static_cast<char*>(dst);
    uint32_t got = 0;
    int last = 0;
    // The buffer is filled whole unless the body ends first.
    while (got < n && (last = http_detail::ReadSome(request, out + got, n - got)) > 0)
        got += static_cast<uint32_t>(last);
    return got == 0 && last < 0 ? -1 : static_cast<int>(got);
}

size_t HttpLastResponseText(char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    size_t n = t_lastResponse.size() < size - 1 ? t_lastResponse.size() : size - 1;
    std::memcpy(buf, t_lastResponse.data(), n);
    buf[n] = '\0';
    return n;
}

int HttpLiveHandles() { return g_live.load(); }

}  // namespace plat
