// The transports under the HTTP reader on POSIX: plain sockets for http,
// the same client as the Windows build's but for the socket calls, and
// libcurl's TLS connection (connect-only: libcurl does the handshake, the
// certificate check and the encryption, the reader does all the HTTP) for
// https. libcurl is loaded by the first https connection, not at start-up:
// with the TLS, name and compression libraries it brings, binding it would
// cost a local file's decoding many times over.
#include <curl/curl.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/http_addresses.h"
#include "platform/http_transport.h"
#include "platform/thread.h"

namespace plat {

namespace {

const char* const kNoAnswerInTime = "The server did not answer in time";

// Waits until the deadline for the socket to be ready for events: true when
// it is, false on time-out; errors and hang-ups count as ready (the next
// call says which).
bool WaitFor(int fd, short events, uint32_t deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        int k = poll(&p, 1, static_cast<int>(MsUntil(deadline)));
        if (k > 0) return true;
        if (k == 0) return false;
        if (errno != EINTR) return true;
    }
}

bool ConnectWithin(int fd, const sockaddr* a, socklen_t len, uint32_t deadline, bool* timedOut) {
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    bool ok = connect(fd, a, len) == 0;
    if (!ok && errno == EINPROGRESS) {
        *timedOut = !WaitFor(fd, POLLOUT, deadline);
        int err = 0;
        socklen_t errLen = sizeof err;
        ok = !*timedOut && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) == 0 && err == 0;
    }
    return ok;  // the socket stays non-blocking: every wait is a poll
}

class SocketTransport : public HttpTransport {
public:
    ~SocketTransport() override {
        if (fd_ >= 0) close(fd_);
    }
    bool Connect(const std::string& host, int port, uint32_t deadline, std::string* error) override {
        return ConnectSocket(
            host, port, error, -1, &fd_,
            [](const addrinfo& a) { return socket(a.ai_family, a.ai_socktype | SOCK_CLOEXEC, a.ai_protocol); },
            [&](int fd, const addrinfo& a, bool* timedOut) {
                return ConnectWithin(fd, a.ai_addr, a.ai_addrlen, deadline, timedOut);
            },
            close);
    }
    bool Send(const char* data, size_t n, uint32_t deadline) override {
        while (n > 0) {
            ssize_t k = send(fd_, data, n, MSG_NOSIGNAL);
            if (k > 0) {
                data += k;
                n -= static_cast<size_t>(k);
            } else if (k < 0 && errno == EINTR) {
                continue;
            } else if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!WaitFor(fd_, POLLOUT, deadline)) return false;
            } else {
                return false;
            }
        }
        return true;
    }
    int Receive(char* dst, size_t n, uint32_t deadline) override {
        for (;;) {
            ssize_t k = recv(fd_, dst, n, 0);
            if (k > 0) return static_cast<int>(k);
            if (k == 0) return kTransportClosed;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return kTransportFailed;
            if (!WaitFor(fd_, POLLIN, deadline)) return kTransportTimedOut;
        }
    }
    void Shutdown() override {
        if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    }

private:
    int fd_ = -1;
};

// The libcurl functions the TLS transport calls, resolved from the library
// once, by the first https connection.
struct CurlApi {
    decltype(&::curl_global_init) globalInit;
    decltype(&::curl_global_cleanup) globalCleanup;
    decltype(&::curl_easy_init) easyInit;
    decltype(&::curl_easy_setopt) easySetopt;
    decltype(&::curl_easy_perform) easyPerform;
    decltype(&::curl_easy_getinfo) easyGetinfo;
    decltype(&::curl_easy_strerror) easyStrerror;
    decltype(&::curl_easy_send) easySend;
    decltype(&::curl_easy_recv) easyRecv;
    decltype(&::curl_easy_cleanup) easyCleanup;
};

const char* const kCurlLibrary = "libcurl.so.4";
CurlApi g_curl;
std::once_flag g_curlInit;
bool g_curlReady = false;
std::string g_curlError;  // why it is not

template <typename F>
bool Resolve(void* lib, const char* name, F* fn) {
    *fn = reinterpret_cast<F>(dlsym(lib, name));
    if (!*fn) g_curlError = std::string("The secure connection library ") + kCurlLibrary + " lacks " + name;
    return *fn != nullptr;
}

// libcurl's global state: set up by the first https connection, torn down
// once at exit, once every thread has ended (a thread that would not end may
// still be inside libcurl: then it stays). The handler is registered after
// the set-up, so that it runs before the one the TLS library registers there.
// The library itself stays loaded to the end.
void CleanupCurl() {
    if (ThreadLiveCount() == 0) g_curl.globalCleanup();
}

bool LoadCurl() {
    void* lib = dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        g_curlError = std::string("The secure connection library ") + kCurlLibrary + " could not be loaded" +
                      (why ? std::string(" (") + why + ")" : "");
        return false;
    }
    CurlApi& c = g_curl;
    if (!Resolve(lib, "curl_global_init", &c.globalInit) || !Resolve(lib, "curl_global_cleanup", &c.globalCleanup) ||
        !Resolve(lib, "curl_easy_init", &c.easyInit) || !Resolve(lib, "curl_easy_setopt", &c.easySetopt) ||
        !Resolve(lib, "curl_easy_perform", &c.easyPerform) || !Resolve(lib, "curl_easy_getinfo", &c.easyGetinfo) ||
        !Resolve(lib, "curl_easy_strerror", &c.easyStrerror) || !Resolve(lib, "curl_easy_send", &c.easySend) ||
        !Resolve(lib, "curl_easy_recv", &c.easyRecv) || !Resolve(lib, "curl_easy_cleanup", &c.easyCleanup))
        return false;
    if (c.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        g_curlError = std::string("The secure connection library ") + kCurlLibrary + " could not be set up";
        return false;
    }
    std::atexit(CleanupCurl);
    return true;
}

// True once libcurl is ready; else false with *error saying why.
bool StartCurl(std::string* error) {
    std::call_once(g_curlInit, [] { g_curlReady = LoadCurl(); });
    if (!g_curlReady) *error = g_curlError;
    return g_curlReady;
}

// The certificate problem of a failed verification, from the X509 verify
// result libcurl keeps (OpenSSL's codes). The host name is checked by
// libcurl itself once the chain has verified: it then leaves 0, or
// X509_V_ERR_UNSPECIFIED (1).
CertProblem ProblemOf(long verifyResult) {
    switch (verifyResult) {
    case 0:
    case 1:
    case 62: return CertProblem::kWrongName;  // X509_V_ERR_HOSTNAME_MISMATCH
    case 9:                                   // X509_V_ERR_CERT_NOT_YET_VALID
    case 10: return CertProblem::kExpired;    // X509_V_ERR_CERT_HAS_EXPIRED
    case 2:                                   // X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT
    case 18:                                  // X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
    case 19:                                  // X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN
    case 20:                                  // X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY
    case 21: return CertProblem::kUntrusted;  // X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE
    default: return CertProblem::kOther;
    }
}

// libcurl takes no CA settings from the environment. VORLO_CA_FILE, when
// set, names a file of PEM certificates that this process trusts instead of
// the system's roots: the https checks trust their own test authority so,
// and nothing else on the machine does.
class TlsTransport : public HttpTransport {
public:
    ~TlsTransport() override {
        if (easy_) g_curl.easyCleanup(easy_);
    }
    bool Connect(const std::string& host, int port, uint32_t deadline, std::string* error) override {
        if (!StartCurl(error)) return false;
        easy_ = g_curl.easyInit();
        if (!easy_) {
            *error = "Out of memory";
            return false;
        }
        bool literal6 = host.find(':') != std::string::npos;
        std::string url = "https://" + (literal6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
        char text[CURL_ERROR_SIZE] = {};
        g_curl.easySetopt(easy_, CURLOPT_URL, url.c_str());
        g_curl.easySetopt(easy_, CURLOPT_CONNECT_ONLY, 1L);
        g_curl.easySetopt(easy_, CURLOPT_PROXY, "");  // direct, whatever the environment says
        g_curl.easySetopt(easy_, CURLOPT_NOSIGNAL, 1L);
        g_curl.easySetopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(MsUntil(deadline)) + 1);
        g_curl.easySetopt(easy_, CURLOPT_ERRORBUFFER, text);
        const char* caFile = std::getenv("VORLO_CA_FILE");
        if (caFile && *caFile) {
            g_curl.easySetopt(easy_, CURLOPT_CAINFO, caFile);
            g_curl.easySetopt(easy_, CURLOPT_CAPATH, nullptr);
        }
        CURLcode c = g_curl.easyPerform(easy_);
        g_curl.easySetopt(easy_, CURLOPT_ERRORBUFFER, nullptr);
        curl_socket_t s = CURL_SOCKET_BAD;
        if (c == CURLE_OK) g_curl.easyGetinfo(easy_, CURLINFO_ACTIVESOCKET, &s);
        if (c == CURLE_OK && s != CURL_SOCKET_BAD) {
            fd_ = s;
            return true;
        }
        long verifyResult = 0;
        if (c == CURLE_PEER_FAILED_VERIFICATION &&
            g_curl.easyGetinfo(easy_, CURLINFO_SSL_VERIFYRESULT, &verifyResult) == CURLE_OK)
            *error = CertProblemText(ProblemOf(verifyResult), host);
        else if (c == CURLE_SSL_CONNECT_ERROR)
            *error = TlsFailedText(host) + (text[0] ? std::string(" (") + text + ")" : "");
        else
            *error = c == CURLE_OPERATION_TIMEDOUT ? kNoAnswerInTime : text[0] ? text : g_curl.easyStrerror(c);
        return false;
    }
    bool Send(const char* data, size_t n, uint32_t deadline) override {
        while (n > 0) {
            size_t k = 0;
            CURLcode c = g_curl.easySend(easy_, data, n, &k);
            if (c == CURLE_AGAIN) {
                if (!WaitFor(fd_, POLLOUT, deadline)) return false;
            } else if (c != CURLE_OK) {
                return false;
            }
            data += k;
            n -= k;
        }
        return true;
    }
    int Receive(char* dst, size_t n, uint32_t deadline) override {
        for (;;) {
            size_t k = 0;
            CURLcode c = g_curl.easyRecv(easy_, dst, n, &k);
            if (c == CURLE_OK) return k > 0 ? static_cast<int>(k) : kTransportClosed;
            if (c != CURLE_AGAIN) return kTransportFailed;
            if (!WaitFor(fd_, POLLIN, deadline)) return kTransportTimedOut;
        }
    }
    void Shutdown() override {
        if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    }

private:
    CURL* easy_ = nullptr;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<HttpTransport> NewPlatformTransport(const std::string& scheme) {
    if (scheme == "http") return std::make_unique<SocketTransport>();
    if (scheme == "https") return std::make_unique<TlsTransport>();
    return nullptr;
}

}  // namespace plat
