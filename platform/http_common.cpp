// The one reader of HTTP answers (see http.h): the request line, the
// response head of a web server or of a radio server ("ICY 200 OK"), the
// body by its framing (a length, chunked, or to the close), redirects and
// their limits, all over a transport of the platform's (http_transport.h).
// One connection per request ("Connection: close").
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/http.h"
#include "platform/http_transport.h"
#include "platform/thread.h"

namespace plat {

struct HttpRec {
    bool isSession = false;
    std::string userAgent;  // a session's
    HttpHead head;          // a request's answer
    std::string finalUrl;   // the URL that answer came from
    std::unique_ptr<HttpTransport> link;
    enum Framing { kToClose, kLength, kChunked, kNone } framing = kToClose;
    uint64_t left = 0;  // kLength: body bytes still to come
    ChunkedDecoder chunks;
    std::string ready;  // body bytes received and not yet read: ready[readyPos..]
    size_t readyPos = 0;
    bool ended = false;   // the body is complete
    bool failed = false;  // the connection broke before the body was
};

namespace {

constexpr size_t kMaxHeadSize = 65536;  // all the heads of one answer together
constexpr size_t kReceivePiece = 8192;

std::atomic<int> g_live{0};
std::atomic<HttpTransportFactory> g_factory{nullptr};
thread_local std::string t_lastResponse;

const char* const kNoAnswerInTime = "The server did not answer in time";
const char* const kNotUnderstood = "The server's answer could not be understood";

void SetLastResponse(const std::string& text) { t_lastResponse = text; }
bool Refuse(const std::string& text) {
    SetLastResponse(text);
    return false;
}

Http Fail(HttpRec* r, const std::string& text) {
    SetLastResponse(text);
    delete r;
    return nullptr;
}

// Takes n received bytes of the body through the framing into r->ready.
void TakeBody(HttpRec* r, char* data, size_t n) {
    if (r->ended) return;
    if (r->framing == HttpRec::kChunked) {
        n = r->chunks.Feed(data, n);
        if (r->chunks.Done()) r->ended = true;
        if (r->chunks.Failed()) r->failed = true;
    } else if (r->framing == HttpRec::kLength) {
        if (n > r->left) n = static_cast<size_t>(r->left);
        r->left -= n;
        if (r->left == 0) r->ended = true;
    }
    if (r->readyPos == r->ready.size()) {
        r->ready.clear();
        r->readyPos = 0;
    }
    r->ready.append(data, n);
}

// One receive into the body. False when nothing more will come.
bool ReceiveBody(HttpRec* r) {
    if (r->ended || r->failed) return false;
    char buf[kReceivePiece];
    int k = r->link->Receive(buf, sizeof buf, TickCount() + kHttpStallMs);
    if (k > 0) {
        TakeBody(r, buf, static_cast<size_t>(k));
        return true;
    }
    // The close ends a body that runs to it; any other body is cut short.
    if (k == kTransportClosed && r->framing == HttpRec::kToClose)
        r->ended = true;
    else
        r->failed = true;
    return false;
}

void ChooseFraming(HttpRec* r) {
    const HttpHead& h = r->head;
    const char* length = h.Field("Content-Length");
    if (h.status == 204 || h.status == 304) {
        r->framing = HttpRec::kNone;
        r->ended = true;
    } else if (!h.icy && IsChunkedCoding(h.Field("Transfer-Encoding"))) {
        r->framing = HttpRec::kChunked;
    } else if (!h.icy && length && *length >= '0' && *length <= '9') {
        r->framing = HttpRec::kLength;
        r->left = std::strtoull(length, nullptr, 10);
        if (r->left == 0) r->ended = true;
    }
}

// Receives the answer's head by the deadline; what came after it is the
// start of the body. Informational answers (1xx) are passed over, up to
// kHttpMaxInterimHeads of them. False, with the last response text set,
// when there is no usable answer.
bool ReadHead(HttpRec* r, uint32_t deadline) {
    std::string in;
    size_t headBytes = 0, scanned = 0;
    int interim = 0;
    char buf[kReceivePiece];
    for (;;) {
        if (!in.empty() && LacksStatusLine(in.data(), in.size())) {
            r->head = HttpHead{};  // no head: all of it is body, to the close
            r->framing = HttpRec::kToClose;
            TakeBody(r, &in[0], in.size());
            return true;
        }
        // (Only the new bytes are searched, and the two before them: a
        // server sending a byte at a time costs no rescans.)
        size_t from = scanned > 2 ? scanned - 2 : 0;
        size_t end = FindHeadEnd(in.data() + from, in.size() - from);
        scanned = in.size();
        if (end) {
            end += from;
            scanned = 0;
            if (!ParseHttpHead(in.data(), end, &r->head)) return Refuse(kNotUnderstood);
            in.erase(0, end);
            headBytes += end;
            if (r->head.status / 100 == 1) {
                if (++interim > kHttpMaxInterimHeads)
                    return Refuse("The server sent informational answers without end");
                continue;
            }
            ChooseFraming(r);
            if (!in.empty()) TakeBody(r, &in[0], in.size());
            return true;
        }
        if (headBytes + in.size() > kMaxHeadSize) return Refuse(kNotUnderstood);
        int k = r->link->Receive(buf, sizeof buf, deadline);
        if (k > 0) {
            in.append(buf, static_cast<size_t>(k));
        } else if (k == kTransportClosed && !in.empty() && in.find('\n') == std::string::npos) {
            r->head = HttpHead{};  // a short answer without a head
            TakeBody(r, &in[0], in.size());
            r->ended = true;
            return true;
        } else {
            return Refuse(k == kTransportClosed    ? "The server closed the connection without an answer"
                          : k == kTransportTimedOut ? kNoAnswerInTime
                                                    : "The connection to the server was lost");
        }
    }
}

// One request without redirects, by the deadline: nullptr, with the last
// response text set, when there is no answer.
Http OpenOneHop(Http session, const std::string& url, const char* headers, uint32_t deadline) {
    UrlParts u;
    if (!SplitUrl(url, &u)) return Fail(nullptr, "Not a valid URL: " + url);
    HttpTransportFactory factory = g_factory.load();
    auto* r = new HttpRec;
    r->link = factory ? factory(u.scheme) : NewPlatformTransport(u.scheme);
    if (!r->link) return Fail(r, "Addresses of the form " + u.scheme + ":// cannot be opened here");
    std::string error;
    if (!r->link->Connect(u.host, u.port, deadline, &error)) return Fail(r, error);

    bool literal6 = u.host.find(':') != std::string::npos;
    std::string host = literal6 ? "[" + u.host + "]" : u.host;
    if (u.port != (u.scheme == "https" ? 443 : 80)) host += ":" + std::to_string(u.port);
    std::string request = "GET " + RequestTarget(u.target) + " HTTP/1.1\r\nHost: " + host +
                          "\r\nUser-Agent: " + session->userAgent + "\r\n" + (headers ? headers : "") +
                          "Connection: close\r\n\r\n";
    if (!r->link->Send(request.data(), request.size(), deadline))
        return Fail(r, MsUntil(deadline) == 0 ? kNoAnswerInTime : "The request could not be sent to " + host);
    if (!ReadHead(r, deadline)) return Fail(r, t_lastResponse);
    r->finalUrl = url;
    g_live.fetch_add(1);
    return r;
}

HttpRec* Request(Http h) { return h && !h->isSession ? h : nullptr; }

}  // namespace

uint32_t MsUntil(uint32_t deadline) {
    auto left = static_cast<int32_t>(deadline - TickCount());
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

void SetHttpTransportFactory(HttpTransportFactory factory) { g_factory.store(factory); }

std::string CertProblemText(CertProblem problem, const std::string& host) {
    switch (problem) {
    case CertProblem::kUntrusted: return "The server's certificate is not trusted";
    case CertProblem::kExpired: return "The server's certificate has expired";
    case CertProblem::kWrongName: return "The server's certificate does not match the name " + host;
    default: return "The server's certificate could not be checked";
    }
}

std::string TlsFailedText(const std::string& host) { return "The secure connection to " + host + " failed"; }

Http HttpOpenSession(const char* userAgent) {
    auto* s = new HttpRec;
    s->isSession = true;
    s->userAgent = userAgent ? userAgent : "";
    g_live.fetch_add(1);
    return s;
}

bool HttpClose(Http h) {
    if (!h) return false;
    delete h;
    g_live.fetch_sub(1);
    return true;
}

Http HttpOpenUrl(Http session, const char* url, const char* headers) {
    SetLastResponse("");
    if (!session || !session->isSession || !url) return nullptr;
    uint32_t deadline = TickCount() + kHttpOpenTimeoutMs;
    std::string current = url;
    if (HasControlBytes(current)) return Fail(nullptr, "Not a valid URL (it holds control characters)");
    std::vector<std::string> passed{current};
    for (int hop = 0;; hop++) {
        Http r = OpenOneHop(session, current, headers, deadline);
        if (!r) return nullptr;
        const char* location = r->head.Field("Location");
        if (!IsRedirectStatus(r->head.status) || !location || !*location) return r;
        std::string next = ResolveUrl(current, location);
        HttpClose(r);
        std::string text;
        bool loop = false;
        for (const std::string& p : passed) loop = loop || p == next;
        if (HasControlBytes(next))
            text = "The server of " + std::string(url) + " redirects to an address with control characters";
        else if (loop)
            text = "The redirects of " + std::string(url) + " go round in a loop (back to " + next + ")";
        else if (hop == kHttpMaxRedirects)
            text = "Too many redirects from " + std::string(url) + " (more than " +
                   std::to_string(kHttpMaxRedirects) + ")";
        if (!text.empty()) return Fail(nullptr, text);
        passed.push_back(next);
        current = next;
    }
}

const HttpHead* HttpResponseHead(Http request) { return Request(request) ? &request->head : nullptr; }
const char* HttpFinalUrl(Http request) { return Request(request) ? request->finalUrl.c_str() : ""; }

bool HttpSetStatusCallback(Http request) {
    // The reader reports nothing that is wanted here.
    return Request(request) != nullptr;
}

int HttpReadSome(Http request, void* dst, uint32_t n) {
    HttpRec* r = Request(request);
    if (!r) return -1;
    while (r->readyPos == r->ready.size() && ReceiveBody(r)) {
    }
    size_t avail = r->ready.size() - r->readyPos;
    if (avail == 0) return r->failed ? -1 : 0;
    if (avail > n) avail = n;
    std::memcpy(dst, r->ready.data() + r->readyPos, avail);
    r->readyPos += avail;
    return static_cast<int>(avail);
}

int HttpRead(Http request, void* dst, uint32_t n) {
    if (!Request(request)) return -1;
    auto* out = static_cast<char*>(dst);
    uint32_t got = 0;
    int last = 0;
    // The buffer is filled whole unless the body ends first.
    while (got < n && (last = HttpReadSome(request, out + got, n - got)) > 0) got += static_cast<uint32_t>(last);
    return got == 0 && last < 0 ? -1 : static_cast<int>(got);
}

void HttpShutdown(Http request) {
    if (Request(request)) request->link->Shutdown();
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
