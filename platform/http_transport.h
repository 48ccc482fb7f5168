// The byte stream under the HTTP reader (http_common.cpp): one connection to
// a host, every wait bounded by a deadline (a TickCount value). Each
// platform has its own (Winsock on Win32, with Schannel over it for https;
// plain sockets on POSIX, and libcurl's TLS there for https); everything
// above the bytes, heads, bodies and redirects, is read by the one portable
// reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

// What Receive returns besides a count of bytes.
constexpr int kTransportClosed = 0;     // the peer closed its side
constexpr int kTransportFailed = -1;    // the connection broke (or was shut down)
constexpr int kTransportTimedOut = -2;  // nothing came before the deadline

class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // Connects to host:port, trying its addresses in turn until the
    // deadline. False with *error set to the user's message.
    virtual bool Connect(const std::string& host, int port, uint32_t deadline, std::string* error) = 0;
    // Sends all n bytes by the deadline.
    virtual bool Send(const char* data, size_t n, uint32_t deadline) = 0;
    // Up to n bytes as soon as there are some, waiting until the deadline at
    // most: the count, or one of the values above.
    virtual int Receive(char* dst, size_t n, uint32_t deadline) = 0;
    // From any thread: ends the connection both ways, so that a Send or
    // Receive waiting in another thread returns at once (and every later one
    // fails). The transport itself stays valid until it is destroyed.
    virtual void Shutdown() = 0;
};

// Why a server's certificate was refused. Each build finds it its own way
// (Schannel's chain policy on Win32, the TLS library's verify result under
// libcurl) and says it with the same text, CertProblemText.
enum class CertProblem { kUntrusted, kExpired, kWrongName, kOther };
std::string CertProblemText(CertProblem problem, const std::string& host);
// The text of a TLS handshake that failed for another reason.
std::string TlsFailedText(const std::string& host);

// The platform's transport for a scheme ("http", "https"); nullptr when this
// build has none for it.
std::unique_ptr<HttpTransport> NewPlatformTransport(const std::string& scheme);

// What the reader takes its transports from: the platform's, unless tests
// or a fuzz target put another in (nullptr puts the platform's back).
using HttpTransportFactory = std::unique_ptr<HttpTransport> (*)(const std::string& scheme);
void SetHttpTransportFactory(HttpTransportFactory factory);

// Milliseconds from now until deadline, 0 once it has passed (TickCount
// wraps; deadlines are less than 2^31 ms away).
uint32_t MsUntil(uint32_t deadline);

}  // namespace plat
