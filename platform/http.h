// The Internet client under the HTTP stream: a root session, a request opened
// from a URL (a GET with the caller's extra headers, redirects followed, the
// response head kept and its body handed over whatever the status), and
// blocking reads of the body.
//
// Answers may come from web servers (HTTP/1.0, HTTP/1.1) or from internet
// radio servers, whose status line reads "ICY 200 OK". Redirects (301, 302,
// 303, 307, 308 with a Location) are followed here, each hop with the same
// request, at most kHttpMaxRedirects of them; a chain that comes back to a
// URL it passed, or goes on longer, fails the open with a message saying so,
// and so does a URL or Location holding a control character (CR, LF, ...).
// The request line carries the path with spaces and non-ASCII bytes
// percent-encoded.
//
// The answers are read by one portable reader (http_common.cpp) over a
// transport of the platform's (http_transport.h): Winsock on Win32, with
// Schannel's TLS over it for https, plain sockets on POSIX, and libcurl's
// TLS connection there for https. A server certificate is checked against
// the system's trusted roots and the URL's host name; one that fails fails
// the open with a text saying why. Every open has one deadline, kHttpOpenTimeoutMs, for all of it:
// each address's connect, every hop of the redirects and each head.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/http_wire.h"

namespace plat {

struct HttpRec;
using Http = HttpRec*;  // a session or a request; nullptr is "none"

constexpr int kHttpMaxRedirects = 5;
// The whole open (connects, requests, heads, redirects) ends by this bound.
constexpr uint32_t kHttpOpenTimeoutMs = 60000;
// A body read waiting this long for a byte fails the transfer.
constexpr uint32_t kHttpStallMs = 60000;
// Informational answers (1xx) passed over before the one that counts, at most.
constexpr int kHttpMaxInterimHeads = 8;

// Opens the root session with the given user agent and a direct connection
// (no proxy).
Http HttpOpenSession(const char* userAgent);
// Opens the URL: connects, sends the request with `headers` (lines that each
// end in "\r\n") and waits for the response head, following redirects. The
// body of any other status (an error page too) is then read with HttpRead.
// nullptr when the server cannot be reached or does not answer, or the
// redirects go wrong; HttpLastResponseText then tells why.
Http HttpOpenUrl(Http session, const char* url, const char* headers);
// The head of the answer a request got (status 0 and no fields for an
// answer without a head); nullptr for a session.
const HttpHead* HttpResponseHead(Http request);
// The URL the answer came from, after the redirects ("" for a session).
const char* HttpFinalUrl(Http request);
// Installs a status callback on a request that does nothing. False when it
// cannot be installed.
bool HttpSetStatusCallback(Http request);
// Reads n bytes of the body, fewer only where the body ends or the transfer
// fails. Returns the count, 0 at the end of the body, -1 when the transfer
// failed with nothing read (a connection lost before the announced length,
// or within a chunked body, counts as a failure).
int HttpRead(Http request, void* dst, uint32_t n);
// As HttpRead, but returns as soon as some bytes are there (1 to n of them).
int HttpReadSome(Http request, void* dst, uint32_t n);
// From any thread: ends the request's connection, so that a read waiting in
// another thread returns (-1, or 0 for a body that runs to the close) at
// once. The request is still closed with HttpClose.
void HttpShutdown(Http request);
// The last response text the client has for the calling thread, cut to
// size-1 characters and terminated; possibly empty. Returns its length.
size_t HttpLastResponseText(char* buf, size_t size);
// Closes a request or a session. Returns true when a handle was closed.
bool HttpClose(Http h);
// Sessions and requests opened and not yet closed, in the whole process.
int HttpLiveHandles();
}  // namespace plat
