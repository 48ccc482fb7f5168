// The Internet client on POSIX: libcurl, driven through a multi handle so
// that opening returns once the response head is in and the body is then
// taken piece by piece as the reader asks for it. The request matches
// wininet's: GET, the caller's user agent and extra headers, no proxy,
// redirects followed, the body of an error status delivered like any other.
#include "platform/http.h"

#include <curl/curl.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/thread.h"

namespace plat {

struct HttpRec {
    bool isSession = false;
    std::string userAgent;  // session

    CURL* easy = nullptr;  // request
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    std::vector<char> body;  // received and not yet read: body[bodyPos..]
    size_t bodyPos = 0;
    bool done = false;  // the transfer has ended, with `result`
    CURLcode result = CURLE_OK;
    int status = 0;            // status code of the response being received
    bool sawLocation = false;  // that response names a redirect target
    bool headDone = false;     // the head of the final response is complete
    char error[CURL_ERROR_SIZE] = {};
};

namespace {

std::atomic<int> g_live{0};
std::once_flag g_globalInit;
thread_local std::string t_lastResponse;

// The open waits this long at most for the response head.
constexpr uint32_t kHeadTimeoutMs = 60000;

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<HttpRec*>(user);
    size_t n = size * count;
    if (r->bodyPos == r->body.size()) {
        r->body.clear();
        r->bodyPos = 0;
    }
    r->body.insert(r->body.end(), data, data + n);
    return n;
}

bool StartsWithNoCase(const char* s, size_t n, const char* prefix) {
    size_t k = std::strlen(prefix);
    return n >= k && strncasecmp(s, prefix, k) == 0;
}

// One header line at a time, the status line and the blank line included.
// The head is complete at the blank line of a response that libcurl will not
// follow (not informational, not a redirect with a target).
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<HttpRec*>(user);
    size_t n = size * count;
    if (StartsWithNoCase(data, n, "HTTP/")) {
        r->sawLocation = false;
        r->status = 0;
        const char* sp = static_cast<const char*>(std::memchr(data, ' ', n));
        if (sp) {
            int code = 0;
            for (const char* p = sp + 1; p < data + n && *p >= '0' && *p <= '9'; p++) code = code * 10 + (*p - '0');
            r->status = code;
        }
    } else if (StartsWithNoCase(data, n, "Location:")) {
        r->sawLocation = true;
    } else if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
        bool informational = r->status / 100 == 1;
        bool followed = r->status / 100 == 3 && r->status != 304 && r->sawLocation;
        if (!informational && !followed) r->headDone = true;
    }
    return n;
}

// Lets libcurl move the transfer on, waiting up to waitMs for the socket.
void Pump(HttpRec* r, int waitMs) {
    int running = 0;
    curl_multi_perform(r->multi, &running);
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(r->multi, &left)) {
        if (m->msg == CURLMSG_DONE) {
            r->done = true;
            r->result = m->data.result;
        }
    }
    if (r->done || r->bodyPos < r->body.size() || (waitMs == 0)) return;
    curl_multi_poll(r->multi, nullptr, 0, waitMs, nullptr);
}

void FreeRequest(HttpRec* r) {
    if (r->multi && r->easy) curl_multi_remove_handle(r->multi, r->easy);
    if (r->easy) curl_easy_cleanup(r->easy);
    if (r->multi) curl_multi_cleanup(r->multi);
    if (r->headers) curl_slist_free_all(r->headers);
    delete r;
}

// The extra header text: lines ending in "\r\n" (or "\n").
curl_slist* HeaderList(const char* text) {
    curl_slist* list = nullptr;
    if (!text) return nullptr;
    const char* p = text;
    while (*p) {
        const char* end = p;
        while (*end && *end != '\r' && *end != '\n') end++;
        if (end > p) {
            std::string line(p, end);
            curl_slist* grown = curl_slist_append(list, line.c_str());
            if (!grown) break;
            list = grown;
        }
        p = end;
        while (*p == '\r' || *p == '\n') p++;
    }
    return list;
}

}  // namespace

Http HttpOpenSession(const char* userAgent) {
    std::call_once(g_globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    auto* s = new HttpRec;
    s->isSession = true;
    s->userAgent = userAgent ? userAgent : "";
    g_live.fetch_add(1);
    return s;
}

Http HttpOpenUrl(Http session, const char* url, const char* headers) {
    t_lastResponse.clear();
    if (!session || !session->isSession || !url) return nullptr;
    auto* r = new HttpRec;
    r->easy = curl_easy_init();
    r->multi = curl_multi_init();
    if (!r->easy || !r->multi) {
        t_lastResponse = "Out of memory";
        FreeRequest(r);
        return nullptr;
    }
    r->headers = HeaderList(headers);
    CURL* e = r->easy;
    curl_easy_setopt(e, CURLOPT_URL, url);
    curl_easy_setopt(e, CURLOPT_USERAGENT, session->userAgent.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, r->headers);
    curl_easy_setopt(e, CURLOPT_PROXY, "");  // direct, whatever the environment says
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 60L);
    // A body that stops coming fails the transfer after the same bound as
    // the head: the read returns, the stream ends, and the decoder (blocked
    // on the pipe) sees the end instead of waiting for ever.
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, long(kHeadTimeoutMs / 1000));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, r->error);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, r);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, r);
    if (curl_multi_add_handle(r->multi, e) != CURLM_OK) {
        t_lastResponse = "Cannot start the request";
        FreeRequest(r);
        return nullptr;
    }

    uint32_t start = TickCount();
    while (!r->headDone && r->bodyPos == r->body.size() && !r->done) {
        if (TickCount() - start >= kHeadTimeoutMs) {
            t_lastResponse = "The server did not answer in time";
            FreeRequest(r);
            return nullptr;
        }
        Pump(r, 200);
    }
    if (r->done && r->status == 0) {  // no response at all
        // The low-speed bound can end a silent server's transfer a moment
        // before the head's own bound: the same case, the same message.
        if (r->result == CURLE_OPERATION_TIMEDOUT)
            t_lastResponse = "The server did not answer in time";
        else
            t_lastResponse = r->error[0] ? r->error : curl_easy_strerror(r->result);
        FreeRequest(r);
        return nullptr;
    }
    g_live.fetch_add(1);
    return r;
}

bool HttpSetStatusCallback(Http request) {
    // libcurl reports nothing that is wanted here; the request is all it needs.
    return request && !request->isSession;
}

int HttpRead(Http request, void* dst, uint32_t n) {
    if (!request || request->isSession) return -1;
    HttpRec* r = request;
    auto* out = static_cast<char*>(dst);
    uint32_t got = 0;
    // Like a synchronous InternetReadFile: the buffer is filled whole unless
    // the body ends first.
    while (got < n) {
        while (r->bodyPos == r->body.size() && !r->done) Pump(r, 1000);
        size_t avail = r->body.size() - r->bodyPos;
        if (avail == 0) break;
        if (avail > n - got) avail = n - got;
        std::memcpy(out + got, r->body.data() + r->bodyPos, avail);
        r->bodyPos += avail;
        got += static_cast<uint32_t>(avail);
    }
    if (got == 0 && r->result != CURLE_OK) return -1;
    return static_cast<int>(got);
}

size_t HttpLastResponseText(char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    size_t n = t_lastResponse.size() < size - 1 ? t_lastResponse.size() : size - 1;
    std::memcpy(buf, t_lastResponse.data(), n);
    buf[n] = '\0';
    return n;
}

bool HttpClose(Http h) {
    if (!h) return false;
    if (h->isSession)
        delete h;
    else
        FreeRequest(h);
    g_live.fetch_sub(1);
    return true;
}

int HttpLiveHandles() { return g_live.load(); }

}  // namespace plat
