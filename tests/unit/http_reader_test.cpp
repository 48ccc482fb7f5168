// The one reader of HTTP answers, on scripted answers cut in pieces of one
// byte and whole: status lines, heads, framings, redirects and their limits,
// and the request lines it sends.
#include <gtest/gtest.h>

#include <string>

#include "platform/http.h"
#include "tests/unit/http_script.h"

namespace {

std::string Repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

TEST(HttpReader, ReadsEveryAnswerTheSameInAnyPieces) {
    struct Case {
        const char* what;
        std::string url;
        std::vector<std::string> answers;
        bool stall;
        int status;       // -1: the open fails with `text`
        std::string out;  // the body, or the failure's text
        int last;         // the final read: 0 the end, -1 a failure
        std::string request;  // the start of the last request sent
    } cases[] = {
        {"length", "http://h/a", {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloXX"}, false, 200, "hello", 0,
         "GET /a HTTP/1.1\r\nHost: h\r\nUser-Agent: test\r\nX: y\r\nConnection: close\r\n\r\n"},
        {"chunked in any case", "http://h/a",
         {"HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n3\r\nabc\r\n2;x\r\nde\r\n0\r\n\r\nJUNK"}, false, 200,
         "abcde", 0, "GET /a "},
        {"chunked last of the codings", "http://h/a",
         {"HTTP/1.1 200 OK\r\nTRANSFER-ENCODING: gzip, CHUNKED\r\n\r\n1\r\nz\r\n0\r\n\r\n"}, false, 200, "z", 0, ""},
        {"chunked body cut", "http://h/a", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nabc"}, false,
         200, "abc", -1, ""},
        {"length cut", "http://h/a", {"HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nabc"}, false, 200, "abc", -1, ""},
        {"to the close", "http://h/a", {"HTTP/1.0 200 OK\r\n\r\nabc"}, false, 200, "abc", 0, ""},
        {"ICY ignores framings", "http://h/a", {"ICY 200 OK\r\nContent-Length: 1\r\n\r\nabc"}, false, 200, "abc", 0, ""},
        {"no head", "http://h/a", {"\xFF\xFB\x90\x00 audio\n\n"}, false, 0, "\xFF\xFB\x90\x00 audio\n\n", 0, ""},
        {"204", "http://h/a", {"HTTP/1.1 204 No Content\r\n\r\nabc"}, false, 204, "", 0, ""},
        {"1xx passed over", "http://h/a", {Repeat(kContinue, 8) + "HTTP/1.1 200 OK\r\n\r\nabc"}, false, 200, "abc", 0, ""},
        {"endless 1xx", "http://h/a", {Repeat(kContinue, 9) + "HTTP/1.1 200 OK\r\n\r\nabc"}, false, -1,
         "The server sent informational answers without end", 0, ""},
        {"huge head", "http://h/a", {"HTTP/1.1 200 OK\r\n" + Repeat("A: b\r\n", 12000)}, false, -1,
         "The server's answer could not be understood", 0, ""},
        {"bad status line", "http://h/a", {"HTTP/1.1 2x0 OK\r\n\r\n"}, false, -1,
         "The server's answer could not be understood", 0, ""},
        {"silent", "http://h/a", {""}, true, -1, "The server did not answer in time", 0, ""},
        {"trickle", "http://h/a", {"HTTP/1.1 200 OK\r\nA: "}, true, -1, "The server did not answer in time", 0, ""},
        {"closed", "http://h/a", {"HTTP/1.1 200 OK\r\n"}, false, -1,
         "The server closed the connection without an answer", 0, ""},
        {"relative redirect from a query", "http://h:1?x",
         {"HTTP/1.1 302 Found\r\nLocation: a?b\r\n\r\n", "HTTP/1.1 200 OK\r\n\r\nok"}, false, 200, "ok", 0,
         "GET /a?b HTTP/1.1\r\nHost: h:1\r\n"},
        {"spaces encoded", "http://h/x y",
         {"HTTP/1.1 301 Moved\r\nLocation: /a b\xC3\xA9\r\n\r\n", "HTTP/1.1 200 OK\r\n\r\nok"}, false, 200, "ok", 0,
         "GET /a%20b%C3%A9 HTTP/1.1\r\n"},
        {"CR in a Location", "http://h/a", {"HTTP/1.1 302 Found\r\nLocation: /b\rX: y\r\n\r\n"}, false, -1,
         "The server of http://h/a redirects to an address with control characters", 0, ""},
        {"control in the URL", "http://h/a\r\nX: y", {"HTTP/1.1 200 OK\r\n\r\n"}, false, -1,
         "Not a valid URL (it holds control characters)", 0, ""},
        {"not a URL", "h/a", {"HTTP/1.1 200 OK\r\n\r\n"}, false, -1, "Not a valid URL: h/a", 0, ""},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t(1), size_t(1) << 20}) {
            testutil::HttpScript script{c.answers, piece, c.stall, {}};
            plat::HttpHead head;
            std::string body, error;
            int last = 0;
            bool ok = testutil::ReadScripted(&script, c.url.c_str(), &head, &body, &last, &error);
            std::string what = std::string(c.what) + " in pieces of " + std::to_string(piece);
            ASSERT_EQ(ok, c.status >= 0) << what << ": " << error;
            if (ok) {
                EXPECT_EQ(head.status, c.status) << what;
                EXPECT_EQ(body, c.out) << what;
                EXPECT_EQ(last, c.last) << what;
            } else {
                EXPECT_EQ(error, c.out) << what;
            }
            ASSERT_FALSE(script.sent.empty() && ok) << what;
            if (!script.sent.empty())
                EXPECT_EQ(script.sent.back().compare(0, c.request.size(), c.request), 0) << what << ": "
                                                                                           << script.sent.back();
            EXPECT_EQ(plat::HttpLiveHandles(), 0) << what;
        }
    }
}

}  // namespace
