// The Internet client under the HTTP stream: a root session, a request opened
// from a URL (a GET with the caller's extra headers, redirects followed, the
// response body handed over whatever the status), and blocking reads of the
// body.
//
// Win32 is wininet (InternetOpenA, InternetOpenUrlA, InternetReadFile...);
// POSIX is libcurl, sending the same request.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

struct HttpRec;
using Http = HttpRec*;  // a session or a request; nullptr is "none"

// Opens the root session with the given user agent and a direct connection
// (no proxy). nullptr on failure.
Http HttpOpenSession(const char* userAgent);
// Opens the URL: connects, sends the request with `headers` (lines that each
// end in "\r\n") and waits for the response head. The body of any status
// (an error page too) is then read with HttpRead. nullptr when the server
// cannot be reached or does not answer; HttpLastResponseText then tells why.
Http HttpOpenUrl(Http session, const char* url, const char* headers);
// Installs a status callback on a request that does nothing
// (InternetSetStatusCallback). False when it cannot be installed.
bool HttpSetStatusCallback(Http request);
// Reads n bytes of the body, fewer only where the body ends or the transfer
// fails (a synchronous InternetReadFile). Returns the count, 0 at the end of
// the body, -1 when the transfer failed with nothing read (a connection lost
// before the announced length counts as a failure).
int HttpRead(Http request, void* dst, uint32_t n);
// The last response text the client has for the calling thread
// (InternetGetLastResponseInfoA), cut to size-1 characters and terminated;
// possibly empty. Returns its length.
size_t HttpLastResponseText(char* buf, size_t size);
// Closes a request or a session. Returns true when a handle was closed.
bool HttpClose(Http h);
// Sessions and requests opened and not yet closed, in the whole process.
int HttpLiveHandles();

}  // namespace plat
