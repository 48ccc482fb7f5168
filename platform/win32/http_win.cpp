// The Internet client on Win32: HTTP/1.1 over Winsock, one connection per
// request ("Connection: close"). It reads the head of a web server's answer
// as well as an internet radio server's "ICY 200 OK", and bodies announced
// by Content-Length, sent chunked, or ended by the close. Only http:// is
// offered: an https:// URL fails the open with a message saying so.
//
// (wininet was the client here before; under Wine it takes an ICY status
// line for an answer without a head and hands the header lines over as the
// start of the body.)
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http_client.h"

namespace plat {

struct HttpRec : HttpRecBase {
    SOCKET sock = INVALID_SOCKET;  // a request's
    enum Framing { kToClose, kLength, kChunked, kNone } framing = kToClose;
    uint64_t left = 0;  // kLength: body bytes still to come
    ChunkedDecoder chunks;
    std::vector<char> ready;  // body bytes received and not yet read: ready[readyPos..]
    size_t readyPos = 0;
    bool ended = false;   // the body is complete
    bool failed = false;  // the connection broke before the body was
};

namespace {

// Connecting, and each receive, give up after this long.
constexpr DWORD kStallMs = 60000;
constexpr size_t kMaxHeadSize = 65536;
constexpr int kReceivePiece = 8192;

std::once_flag g_winsock;
bool g_winsockOk = false;

Http Fail(HttpRec* r, const std::string& text) {
    http_detail::SetLastResponse(text.c_str());
    if (r) {
        if (r->sock != INVALID_SOCKET) closesocket(r->sock);
        delete r;
    }
    return nullptr;
}

bool ConnectWithin(SOCKET s, const sockaddr* a, int len, DWORD ms, bool* timedOut) {
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    bool ok = connect(s, a, len) == 0;
    if (!ok && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval t{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
        int k = select(0, nullptr, &writable, &failed, &t);
        *timedOut = k == 0;
        int err = 0, errLen = sizeof err;
        ok = k > 0 && FD_ISSET(s, &writable) &&
             getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &errLen) == 0 && err == 0;
    }
    nonBlocking = 0;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    return ok;
}

bool SendAll(SOCKET s, const std::string& text) {
    const char* p = text.data();
    size_t n = text.size();
    while (n > 0) {
        int k = send(s, p, n > 65536 ? 65536 : static_cast<int>(n), 0);
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
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
    r->ready.insert(r->ready.end(), data, data + n);
}

// One receive into the body. False when nothing more will come.
bool ReceiveBody(HttpRec* r) {
    if (r->ended || r->failed) return false;
    char buf[kReceivePiece];
    int k = recv(r->sock, buf, sizeof buf, 0);
    if (k > 0) {
        TakeBody(r, buf, static_cast<size_t>(k));
        return true;
    }
    // The close ends a body that runs to it; any other body is cut short.
    if (k == 0 && r->framing == HttpRec::kToClose)
        r->ended = true;
    else
        r->failed = true;
    return false;
}

void ChooseFraming(HttpRec* r) {
    const HttpHead& h = r->head;
    const char* te = h.Field("Transfer-Encoding");
    const char* length = h.Field("Content-Length");
    if (h.status == 204 || h.status == 304) {
        r->framing = HttpRec::kNone;
        r->ended = true;
    } else if (!h.icy && te && std::strstr(te, "chunked")) {
        r->framing = HttpRec::kChunked;
    } else if (!h.icy && length && *length >= '0' && *length <= '9') {
        r->framing = HttpRec::kLength;
        r->left = _strtoui64(length, nullptr, 10);
        if (r->left == 0) r->ended = true;
    }
}

// Receives the answer's head; what came after it is the start of the body.
// An informational answer (1xx) is passed over.
Http ReadHead(HttpRec* r) {
    std::string in;
    char buf[kReceivePiece];
    for (;;) {
        size_t end = FindHeadEnd(in.data(), in.size());
        if (!in.empty() && LacksStatusLine(in.data(), in.size())) {
            r->head = HttpHead{};  // no head: all of it is body, to the close
            r->framing = HttpRec::kToClose;
            TakeBody(r, &in[0], in.size());
            return r;
        }
        if (end) {
            if (!ParseHttpHead(in.data(), end, &r->head))
                return Fail(r, "The server's answer could not be understood");
            in.erase(0, end);
            if (r->head.status / 100 == 1) continue;
            ChooseFraming(r);
            if (!in.empty()) TakeBody(r, &in[0], in.size());
            return r;
        }
        if (in.size() > kMaxHeadSize) return Fail(r, "The server's answer could not be understood");
        int k = recv(r->sock, buf, sizeof buf, 0);
        if (k > 0) {
            in.append(buf, static_cast<size_t>(k));
        } else if (k == 0) {
            if (!in.empty() && in.find('\n') == std::string::npos) {
                r->head = HttpHead{};
                TakeBody(r, &in[0], in.size());
                r->ended = true;
                return r;
            }
            return Fail(r, "The server closed the connection without an answer");
        } else {
            return Fail(r, WSAGetLastError() == WSAETIMEDOUT ? "The server did not answer in time"
                                                               : "The connection to the server was lost");
        }
    }
}

}  // namespace

namespace http_detail {

bool StartClient() {
    std::call_once(g_winsock, [] {
        WSADATA data;
        g_winsockOk = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    if (!g_winsockOk) SetLastResponse("The network (Winsock) could not be started");
    return g_winsockOk;
}
Http NewRec() { return new HttpRec; }
HttpRecBase* Base(Http h) { return h; }
void FreeRec(Http h) {
    if (!h->isSession && h->sock != INVALID_SOCKET) closesocket(h->sock);
    delete h;
}

Http OpenOneHop(Http session, const char* url, const char* headers) {
    if (!session || !session->isSession || !url) return nullptr;
    UrlParts u;
    if (!SplitUrl(url, &u)) return Fail(nullptr, std::string("Not a valid URL: ") + url);
    if (u.scheme != "http")
        return Fail(nullptr, "Only http:// addresses can be opened here, not " + u.scheme + "://");

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    std::string port = std::to_string(u.port);
    if (getaddrinfo(u.host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return Fail(nullptr, "Could not resolve host: " + u.host);
    auto* r = new HttpRec;
    bool timedOut = false;
    for (addrinfo* a = found; a && r->sock == INVALID_SOCKET; a = a->ai_next) {
        SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) continue;
        if (ConnectWithin(s, a->ai_addr, static_cast<int>(a->ai_addrlen), kStallMs, &timedOut))
            r->sock = s;
        else
            closesocket(s);
    }
    freeaddrinfo(found);
    if (r->sock == INVALID_SOCKET)
        return Fail(r, timedOut ? std::string("The server did not answer in time")
                                : "Could not connect to " + u.host + " port " + port);
    DWORD ms = kStallMs;
    setsockopt(r->sock, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    setsockopt(r->sock, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);

    bool literal6 = u.host.find(':') != std::string::npos;
    std::string host = literal6 ? "[" + u.host + "]" : u.host;
    if (u.port != 80) host += ":" + port;
    std::string request = "GET " + u.target + " HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " +
                          session->userAgent + "\r\n" + (headers ? headers : "") + "Connection: close\r\n\r\n";
    if (!SendAll(r->sock, request)) return Fail(r, "The request could not be sent to " + host);
    if (!ReadHead(r)) return nullptr;
    CountOpened();
    return r;
}

int ReadSome(Http r, char* dst, uint32_t n) {
    while (r->readyPos == r->ready.size() && ReceiveBody(r)) {
    }
    size_t avail = r->ready.size() - r->readyPos;
    if (avail == 0) return r->failed ? -1 : 0;
    if (avail > n) avail = n;
    std::memcpy(dst, r->ready.data() + r->readyPos, avail);
    r->readyPos += avail;
    return static_cast<int>(avail);
}

}  // namespace http_detail

}  // namespace plat
