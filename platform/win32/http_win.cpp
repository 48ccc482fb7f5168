// The Internet client on Win32: wininet with the default request flags.
#include "platform/http.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace plat {

namespace {

std::atomic<int> g_live{0};

HINTERNET ToHandle(Http h) { return reinterpret_cast<HINTERNET>(h); }
Http Counted(HINTERNET h) {
    if (h) g_live.fetch_add(1);
    return reinterpret_cast<Http>(h);
}

// A connection that sends nothing for this long fails its read.
constexpr DWORD kStallMs = 60000;

void CALLBACK IgnoreStatus(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {}

}  // namespace

Http HttpOpenSession(const char* userAgent) {
    HINTERNET session = InternetOpenA(userAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session) {
        // A server that connects but stops sending (before or within the
        // body) fails the read after a minute, as on the POSIX side, instead
        // of holding the download thread and with it a stop for ever.
        DWORD ms = kStallMs;
        InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
        InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
        InternetSetOptionA(session, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &ms, sizeof ms);
    }
    return Counted(session);
}

Http HttpOpenUrl(Http session, const char* url, const char* headers) {
    if (!session || !url) return nullptr;
    DWORD headerLen = headers ? static_cast<DWORD>(std::strlen(headers)) : 0;
    HINTERNET request = InternetOpenUrlA(ToHandle(session), url, headers, headerLen, 0, 0);
    if (request) {
        // The same bound for the body's reads, set on the request itself.
        // (wininet under Wine ignores both; the pipe's reader bounds a stall
        // there.)
        DWORD ms = kStallMs;
        InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
        InternetSetOptionA(request, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &ms, sizeof ms);
    }
    return Counted(request);
}

bool HttpSetStatusCallback(Http request) {
    return request &&
           InternetSetStatusCallback(ToHandle(request), IgnoreStatus) != INTERNET_INVALID_STATUS_CALLBACK;
}

int HttpRead(Http request, void* dst, uint32_t n) {
    DWORD got = 0;
    if (!request || !InternetReadFile(ToHandle(request), dst, n, &got)) return -1;
    return static_cast<int>(got);
}

size_t HttpLastResponseText(char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    buf[0] = '\0';
    DWORD error = 0;
    DWORD len = static_cast<DWORD>(size);
    if (InternetGetLastResponseInfoA(&error, buf, &len)) {
        buf[size - 1] = '\0';
        return std::strlen(buf);
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        buf[0] = '\0';
        return 0;
    }
    // Longer than the caller's buffer: fetch it whole, hand over the start.
    std::vector<char> whole(len + 1);
    DWORD wholeLen = len + 1;
    if (!InternetGetLastResponseInfoA(&error, whole.data(), &wholeLen)) {
        buf[0] = '\0';
        return 0;
    }
    whole.back() = '\0';
    size_t n = std::strlen(whole.data());
    if (n > size - 1) n = size - 1;
    std::memcpy(buf, whole.data(), n);
    buf[n] = '\0';
    return n;
}

bool HttpClose(Http h) {
    if (!h || !InternetCloseHandle(ToHandle(h))) return false;
    g_live.fetch_sub(1);
    return true;
}

int HttpLiveHandles() { return g_live.load(); }

}  // namespace plat
