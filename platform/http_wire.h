// The parts of HTTP that every Internet client here shares: the response
// head (an HTTP/1.x status line or an internet radio server's "ICY 200 OK",
// then the header fields), URLs taken apart and redirect targets resolved
// against them, and the chunked transfer coding. Portable and without I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace plat {

struct HttpHead {
    int status = 0;      // the status code; 0 when the answer had no status line
    bool icy = false;    // the status line was "ICY <code> <reason>"
    std::string reason;  // the status line after its protocol: "404 Not Found"
    std::vector<std::pair<std::string, std::string>> fields;  // in order, values trimmed

    // The value of the first field of that name (any case); nullptr if none.
    const char* Field(const char* name) const;
};

// The end of a response head in data: the offset just past the blank line
// that ends it (CR LF or LF line ends), 0 while it is incomplete.
size_t FindHeadEnd(const char* data, size_t n);
// Parses a head (up to its blank line). False when its first line is
// neither "HTTP/<version> <code>" nor "ICY <code>".
bool ParseHttpHead(const char* data, size_t n, HttpHead* head);
// True when the first bytes of an answer (n of them so far) cannot begin a
// status line: an answer without a head. At least 5 bytes decide.
bool LacksStatusLine(const char* data, size_t n);

// True when the Transfer-Encoding value ends in the chunked coding (tokens
// in any case, as every header name and token).
bool IsChunkedCoding(const char* transferEncoding);

// The statuses whose Location is followed.
bool IsRedirectStatus(int status);

struct UrlParts {
    std::string scheme;  // lower case: "http", "https", ...
    std::string host;    // without brackets for an IPv6 literal
    int port = 0;        // the URL's port, or the scheme's default
    std::string target;  // path and query, "/" at least; no fragment
};
// False when url is not "scheme://host[:port][/...]" with a usable port.
bool SplitUrl(const std::string& url, UrlParts* out);
// The URL a Location value names, seen from base: an absolute URL as it is,
// "//host/..." with base's scheme, "/path" on base's host, anything else
// beside the last "/" of base's path (the root when base has no path).
std::string ResolveUrl(const std::string& base, const std::string& ref);
// True when text holds a control byte (below 0x20, or 0x7F): no URL or
// Location with one is requested.
bool HasControlBytes(const std::string& text);
// The target as the request line carries it: spaces and bytes above 0x7F
// percent-encoded, everything else as it is.
std::string RequestTarget(const std::string& target);

// Undoes the chunked transfer coding in place, in pieces of any size.
class ChunkedDecoder {
public:
    // Decodes n bytes at data; the body bytes are moved to the front of data
    // and their count returned. Stops at the last chunk.
    size_t Feed(char* data, size_t n);
    bool Done() const { return state_ == kDone; }
    bool Failed() const { return state_ == kBad; }

private:
    enum State { kSize, kExtension, kSizeLf, kData, kDataCr, kDataLf, kTrailer, kDone, kBad };
    State state_ = kSize;
    uint64_t left_ = 0;
    bool anyDigit_ = false;
    bool trailerLineEmpty_ = true;
};

}  // namespace plat
