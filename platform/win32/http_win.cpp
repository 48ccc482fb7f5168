// The transports under the HTTP reader on Win32: a TCP connection over
// Winsock, and for https Schannel's TLS over it (tls_schannel_win.cpp). Every
// wait is a select bounded by the open's deadline or the body's stall bound,
// and Shutdown from the closing thread wakes a download thread inside recv,
// so that it is never ended inside Winsock.
//
// (wininet was the client here before; under Wine it takes an ICY status
// line for an answer without a head and hands the header lines over as the
// start of the body.)
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/http_addresses.h"
#include "platform/http_transport.h"
#include "platform/thread.h"
#include "platform/win32/tls_schannel_win.h"

namespace plat {

namespace {

std::once_flag g_winsock;
bool g_winsockOk = false;

// A wait looks at the shut-down flag at least this often (whether a
// shutdown from another thread wakes a select varies).
constexpr uint32_t kWaitSliceMs = 100;

// Waits until the deadline for the socket to be readable (or writable): true
// when it is, has failed or was shut down (the next call says which); false
// on time-out.
bool WaitFor(SOCKET s, bool write, uint32_t deadline, const std::atomic<bool>& shut) {
    for (;;) {
        uint32_t ms = MsUntil(deadline);
        if (shut.load()) return true;
        if (ms == 0) return false;
        if (ms > kWaitSliceMs) ms = kWaitSliceMs;
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval t{0, static_cast<long>(ms * 1000)};
        if (select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &t) != 0) return true;
    }
}

class WinsockTransport : public HttpTransport {
public:
    ~WinsockTransport() override {
        if (sock_ != INVALID_SOCKET) closesocket(sock_);
    }
    bool Connect(const std::string& host, int port, uint32_t deadline, std::string* error) override {
        if (!g_winsockOk) {
            *error = "The network (Winsock) could not be started";
            return false;
        }
        return ConnectSocket(
            host, port, error, INVALID_SOCKET, &sock_,
            [](const addrinfo& a) { return socket(a.ai_family, a.ai_socktype, a.ai_protocol); },
            [&](SOCKET s, const addrinfo& a, bool* timedOut) {
                return ConnectWithin(s, a.ai_addr, static_cast<int>(a.ai_addrlen), deadline, timedOut);
            },
            closesocket);
    }
    bool Send(const char* data, size_t n, uint32_t deadline) override {
        while (n > 0) {
            int k = send(sock_, data, n > 65536 ? 65536 : static_cast<int>(n), 0);
            if (k > 0) {
                data += k;
                n -= static_cast<size_t>(k);
            } else if (k < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
                if (!WaitFor(sock_, true, deadline, shut_)) return false;
            } else {
                return false;
            }
        }
        return true;
    }
    int Receive(char* dst, size_t n, uint32_t deadline) override {
        for (;;) {
            int k = recv(sock_, dst, n > 65536 ? 65536 : static_cast<int>(n), 0);
            if (k > 0) return k;
            if (k == 0) return kTransportClosed;
            if (shut_.load()) return kTransportFailed;
            if (WSAGetLastError() != WSAEWOULDBLOCK) return kTransportFailed;
            if (!WaitFor(sock_, false, deadline, shut_)) return kTransportTimedOut;
        }
    }
    void Shutdown() override {
        shut_.store(true);
        if (sock_ != INVALID_SOCKET) shutdown(sock_, SD_BOTH);
    }

private:
    // The socket is left non-blocking: every wait is a select.
    static bool ConnectWithin(SOCKET s, const sockaddr* a, int len, uint32_t deadline, bool* timedOut) {
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        bool ok = connect(s, a, len) == 0;
        if (!ok && WSAGetLastError() == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            uint32_t ms = MsUntil(deadline);
            timeval t{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
            int k = select(0, nullptr, &writable, &failed, &t);
            *timedOut = k == 0;
            int err = 0, errLen = sizeof err;
            ok = k > 0 && FD_ISSET(s, &writable) &&
                 getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &errLen) == 0 && err == 0;
        }
        return ok;
    }

    SOCKET sock_ = INVALID_SOCKET;
    std::atomic<bool> shut_{false};
};

}  // namespace

std::unique_ptr<HttpTransport> NewPlatformTransport(const std::string& scheme) {
    if (scheme != "http" && scheme != "https") return nullptr;
    std::call_once(g_winsock, [] {
        WSADATA data;
        g_winsockOk = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    auto tcp = std::make_unique<WinsockTransport>();
    if (scheme == "https") return NewSchannelTransport(std::move(tcp));
    return tcp;
}

}  // namespace plat
