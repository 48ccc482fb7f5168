// The Internet client under the HTTP stream: a root session, a request opened
// from a URL (a GET with the caller's extra headers, redirects followed, the
// response head kept and its body handed over whatever the status), and
// blocking reads of the body.
//
// Answers may come from web servers (HTTP/1.0, HTTP/1.1) or from internet
// radio servers, whose status line reads "ICY 200 OK". Redirects (301, 302,
// 303, 307, 308 with a Location) are followed here, each hop with the same
// request, at most kHttpMaxRedirects of them; a chain that comes back to a
// URL it passed, or goes on longer, fails the open with a message saying so.
//
// POSIX is libcurl (http, https, ftp). Win32 is a client of its own on
// Winsock (http only): wininet there takes an ICY status line for a
// headerless answer and hands its header lines over as body.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/http_wire.h"

namespace plat {

struct HttpRec;
using Http = HttpRec*;  // a session or a request; nullptr is "none"

constexpr int kHttpMaxRedirects = 5;

// Opens the root session with the given user agent and a direct connection
// (no proxy). nullptr on failure.
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
// The last response text the client has for the calling thread, cut to
// size-1 characters and terminated; possibly empty. Returns its length.
size_t HttpLastResponseText(char* buf, size_t size);
// Closes a request or a session. Returns true when a handle was closed.
bool HttpClose(Http h);
// Sessions and requests opened and not yet closed, in the whole process.
int HttpLiveHandles();
}  // namespace plat
