// Fuzz target: the one HTTP reader (heads, 1xx, framings, chunked bodies,
// redirects) on answers from the input, and URL resolution. Byte 0 picks the
// piece size of the receives, byte 1 the base URL; up to the first newline
// is a Location resolved against the base, and the rest, split at "\xFF\xFE",
// is the answer of each connection in turn. The open and the body must come
// out the same in pieces as whole; a relative reference must stay on the
// base's host and port; every request sent must be one clean request line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/http.h"
#include "tests/unit/http_script.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz-http: %s\n", what);
        std::abort();
    }
}

const char* const kBases[] = {"http://h:1?x", "http://h/a/b?q#f", "http://[::1]:8000", "http://h:80/x/", "https://h#f"};

struct Result {
    bool ok = false;
    plat::HttpHead head;
    std::string body, error;
    int last = 0;
    std::vector<std::string> sent;
};

Result Run(const std::vector<std::string>& answers, size_t piece, const char* url, bool stall) {
    testutil::HttpScript script{answers, piece, stall, {}};
    Result r;
    r.ok = testutil::ReadScripted(&script, url, &r.head, &r.body, &r.last, &r.error);
    r.sent = script.sent;
    return r;
}

void CheckRequest(const std::string& req) {
    size_t line = req.find("\r\n");
    Check(line != std::string::npos && req.size() >= 4 && req.compare(req.size() - 4, 4, "\r\n\r\n") == 0,
          "request not ended by a blank line");
    Check(req.find("\r\n\r\n") == req.size() - 4, "request with a blank line inside");
    std::string first = req.substr(0, line);
    size_t spaces = 0;
    for (char c : first) {
        Check(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F, "raw byte in the request line");
        spaces += c == ' ';
    }
    Check(spaces == 2, "request line not of three parts");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t piece = 1 + data[0] % 17;
    const char* base = kBases[data[1] % (sizeof kBases / sizeof kBases[0])];
    bool stall = data[1] & 0x80;
    std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);

    size_t nl = rest.find('\n');
    std::string ref = rest.substr(0, nl);
    std::string resolved = plat::ResolveUrl(base, ref);
    plat::UrlParts b, u;
    Check(plat::SplitUrl(base, &b), "a base URL does not split");
    if (ref.find("://") == std::string::npos && ref.compare(0, 2, "//") != 0) {
        Check(plat::SplitUrl(resolved, &u), "a relative reference resolves to no URL");
        Check(u.host == b.host && u.port == b.port && u.scheme == b.scheme, "a relative reference leaves its host");
    }
    std::string target = plat::RequestTarget(ref);
    for (char c : target) Check(c != ' ' && static_cast<unsigned char>(c) < 0x80, "RequestTarget keeps a raw byte");

    std::vector<std::string> answers;
    for (size_t at = 0;;) {
        size_t sep = rest.find("\xFF\xFE", at);
        answers.push_back(rest.substr(at, sep == std::string::npos ? sep : sep - at));
        if (sep == std::string::npos || answers.size() == 4) break;
        at = sep + 2;
    }
    Result whole = Run(answers, 1 << 20, base, stall);
    Result pieces = Run(answers, piece, base, stall);
    Check(whole.ok == pieces.ok && whole.error == pieces.error && whole.sent == pieces.sent,
          "the open differs in pieces");
    Check(whole.ok || !whole.error.empty(), "a failed open without a message");
    Check(!whole.ok || (whole.head.status == pieces.head.status && whole.head.fields == pieces.head.fields &&
                        whole.body == pieces.body && whole.last == pieces.last),
          "the answer differs in pieces");
    for (const std::string& req : whole.sent) CheckRequest(req);
    Check(whole.sent.size() <= plat::kHttpMaxRedirects + 1, "more requests than the redirect limit allows");
    Check(plat::HttpLiveHandles() == 0, "a handle left open");
    return 0;
}
