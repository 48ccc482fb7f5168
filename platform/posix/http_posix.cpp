// The Internet client on POSIX: libcurl, driven through a multi handle so
// that opening returns once the response head is in and the body is then
// taken piece by piece as the reader asks for it. One hop per request:
// redirects are followed by the shared part (http_common.cpp).
//
// libcurl takes an answer that starts "ICY 200 OK" for one without a head
// (HTTP/0.9, allowed here): its head then arrives as the first bytes of the
// body and is taken apart here, so that the reader gets the audio alone.
#include "platform/http_client.h"

#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/thread.h"

namespace plat {

struct HttpRec : HttpRecBase {
    CURL* easy = nullptr;  // request
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    std::vector<char> body;  // received and not yet read: body[bodyPos..]
    size_t bodyPos = 0;
    bool done = false;  // the transfer has ended, with `result`
    CURLcode result = CURLE_OK;
    std::string headText;  // the head being received (header lines, or the
                           // first body bytes of an answer without one)
    bool sawHeader = false;  // libcurl delivered a status line
    bool headDone = false;   // the head of the answer is complete
    char error[CURL_ERROR_SIZE] = {};
};

namespace {

std::once_flag g_globalInit;
bool g_globalOk = false;

// libcurl's global state goes at exit, once every thread has ended (a
// thread that would not end may still be inside libcurl: then it stays).
// Registered after the set-up, so that it runs before the exit handler
// the TLS library registers there.
void CleanupClient() {
    if (ThreadLiveCount() == 0) curl_global_cleanup();
}

// The open waits this long at most for the response head.
constexpr uint32_t kHeadTimeoutMs = 60000;
// An ICY head longer than this is not one.
constexpr size_t kMaxHeadSize = 65536;

void Append(HttpRec* r, const char* data, size_t n) {
    if (r->bodyPos == r->body.size()) {
        r->body.clear();
        r->bodyPos = 0;
    }
    r->body.insert(r->body.end(), data, data + n);
}

// The body of an answer without a head: an ICY head and its audio, or data
// to hand over as it is.
void TakeHeadlessBody(HttpRec* r, const char* data, size_t n) {
    r->headText.append(data, n);
    const char* t = r->headText.data();
    size_t have = r->headText.size();
    if (LacksStatusLine(t, have) || have > kMaxHeadSize) {
        r->headDone = true;
    } else if (size_t end = FindHeadEnd(t, have)) {
        ParseHttpHead(t, end, &r->head);
        r->headDone = true;
        r->headText.erase(0, end);
    } else {
        return;  // more of the head to come
    }
    Append(r, r->headText.data(), r->headText.size());
    r->headText.clear();
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<HttpRec*>(user);
    size_t n = size * count;
    if (!r->sawHeader && !r->headDone)
        TakeHeadlessBody(r, data, n);
    else
        Append(r, data, n);
    return n;
}

// One header line at a time, the status line and the blank line included.
// An informational answer (1xx) is passed over: the head that counts comes
// after it.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<HttpRec*>(user);
    size_t n = size * count;
    if (n >= 5 && strncasecmp(data, "HTTP/", 5) == 0) r->headText.clear();
    r->sawHeader = true;
    r->headText.append(data, n);
    if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
        ParseHttpHead(r->headText.data(), r->headText.size(), &r->head);
        r->headText.clear();
        if (r->head.status / 100 != 1) r->headDone = true;
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

Http Fail(HttpRec* r, const char* text) {
    http_detail::SetLastResponse(text);
    FreeRequest(r);
    return nullptr;
}

}  // namespace

namespace http_detail {

// libcurl's global state is set up once, by the first session.
bool StartClient() {
    std::call_once(g_globalInit, [] {
        g_globalOk = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        if (g_globalOk) std::atexit(CleanupClient);
    });
    if (!g_globalOk) SetLastResponse("The Internet client (libcurl) could not be started");
    return g_globalOk;
}
Http NewRec() { return new HttpRec; }
HttpRecBase* Base(Http h) { return h; }
void FreeRec(Http h) { FreeRequest(h); }

Http OpenOneHop(Http session, const char* url, const char* headers) {
    if (!session || !session->isSession || !url) return nullptr;
    auto* r = new HttpRec;
    r->easy = curl_easy_init();
    r->multi = curl_multi_init();
    if (!r->easy || !r->multi) return Fail(r, "Out of memory");
    r->headers = HeaderList(headers);
    CURL* e = r->easy;
    curl_easy_setopt(e, CURLOPT_URL, url);
    curl_easy_setopt(e, CURLOPT_USERAGENT, session->userAgent.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, r->headers);
    curl_easy_setopt(e, CURLOPT_PROXY, "");  // direct, whatever the environment says
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_HTTP09_ALLOWED, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
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
    if (curl_multi_add_handle(r->multi, e) != CURLM_OK) return Fail(r, "Cannot start the request");

    uint32_t start = TickCount();
    // (Other protocols than HTTP have no head: their first data ends the wait.)
    while (!r->headDone && r->bodyPos == r->body.size() && !r->done) {
        if (TickCount() - start >= kHeadTimeoutMs) return Fail(r, "The server did not answer in time");
        Pump(r, 200);
    }
    if (!r->headDone && !r->headText.empty() && !r->sawHeader) {
        // A short answer without a head: all of it is body.
        Append(r, r->headText.data(), r->headText.size());
        r->headText.clear();
        r->headDone = true;
    }
    if (r->done && !r->headDone && r->bodyPos == r->body.size()) {  // no answer at all
        // The low-speed bound can end a silent server's transfer a moment
        // before the head's own bound: the same case, the same message.
        if (r->result == CURLE_OPERATION_TIMEDOUT) return Fail(r, "The server did not answer in time");
        std::string text = r->error[0] ? r->error : curl_easy_strerror(r->result);
        return Fail(r, text.c_str());
    }
    CountOpened();
    return r;
}

int ReadSome(Http r, char* dst, uint32_t n) {
    while (r->bodyPos == r->body.size() && !r->done) Pump(r, 1000);
    size_t avail = r->body.size() - r->bodyPos;
    if (avail == 0) return r->result != CURLE_OK ? -1 : 0;
    if (avail > n) avail = n;
    std::memcpy(dst, r->body.data() + r->bodyPos, avail);
    r->bodyPos += avail;
    return static_cast<int>(avail);
}

}  // namespace http_detail

}  // namespace plat
