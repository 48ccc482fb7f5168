// What each Internet client (http_posix.cpp, http_win.cpp) shares with the
// client-independent part (http_common.cpp): the fields every session and
// request has, one request without redirects, and the bookkeeping.
#pragma once

#include <string>

#include "platform/http.h"

namespace plat {

struct HttpRecBase {
    bool isSession = false;
    std::string userAgent;  // a session's
    HttpHead head;          // a request's answer
    std::string finalUrl;   // the URL that answer came from
};

namespace http_detail {
// The client's own start (once per process); false, with the last response
// text set, when it cannot start.
bool StartClient();
// A new session or request of the client's own kind, and its common part.
Http NewRec();
HttpRecBase* Base(Http h);
// Ends a request (its connection) and frees it, or frees a session.
void FreeRec(Http h);
// One request without redirects: nullptr, with the last response text set,
// when there is no answer.
Http OpenOneHop(Http session, const char* url, const char* headers);
// Up to n bytes of the body, as soon as there are some: the count, 0 at its
// end, -1 when the transfer failed.
int ReadSome(Http request, char* dst, uint32_t n);
// The calling thread's last response text.
void SetLastResponse(const char* text);
// Live-handle bookkeeping of requests.
void CountOpened();
}  // namespace http_detail

}  // namespace plat
