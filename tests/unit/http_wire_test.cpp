// The shared parts of the Internet clients: response heads of web and radio
// servers, URLs and redirect targets, chunked bodies cut anywhere.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/http_wire.h"

namespace {

using plat::HttpHead;

TEST(HttpHead, ReadsWebAndRadioStatusLines) {
    struct Case {
        const char* text;
        bool ok;
        int status;
        bool icy;
        const char* reason;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\n", true, 200, false, "200 OK"},
        {"HTTP/1.0 404 Not Found\r\n\r\n", true, 404, false, "404 Not Found"},
        {"HTTP/1.1 500 Internal Server Error\n\n", true, 500, false, "500 Internal Server Error"},
        {"ICY 200 OK\r\n\r\n", true, 200, true, "200 OK"},
        {"ICY 401 Service Unavailable\r\n\r\n", true, 401, true, "401 Service Unavailable"},
        {"HTTP/1.1 302\r\n\r\n", true, 302, false, "302"},
        {"HTTP/1.1 20 OK\r\n\r\n", false, 0, false, ""},
        {"HTTP/1.1 2000 OK\r\n\r\n", false, 0, false, ""},
        {"FOO 200 OK\r\n\r\n", false, 0, false, ""},
    };
    for (const Case& c : cases) {
        HttpHead h;
        std::string t = c.text;
        EXPECT_EQ(plat::ParseHttpHead(t.data(), t.size(), &h), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(h.status, c.status) << c.text;
        EXPECT_EQ(h.icy, c.icy) << c.text;
        EXPECT_EQ(h.reason, c.reason) << c.text;
    }
}

TEST(HttpHead, FieldsByNameInAnyCase) {
    std::string t =
        "ICY 200 OK\r\nicy-name: Test  Station \r\nicy-metaint:8192\r\nContent-Type: audio/mpeg\r\n"
        "no colon line\r\nicy-name: second\r\n\r\nbody: not a field\r\n";
    HttpHead h;
    ASSERT_TRUE(plat::ParseHttpHead(t.data(), t.size(), &h));
    EXPECT_STREQ(h.Field("ICY-NAME"), "Test  Station");
    EXPECT_STREQ(h.Field("icy-metaint"), "8192");
    EXPECT_STREQ(h.Field("content-type"), "audio/mpeg");
    EXPECT_EQ(h.Field("body"), nullptr);
    EXPECT_EQ(h.fields.size(), 4u);
}

TEST(HttpHead, FindsTheEndAndAnswersWithoutAHead) {
    struct Case {
        const char* text;
        size_t end;
    } ends[] = {{"HTTP/1.1 200 OK\r\nA: b\r\n\r\nBODY", 25}, {"ICY 200 OK\nA: b\n\nBODY", 17},
                {"HTTP/1.1 200 OK\r\nA: b\r\n", 0}, {"", 0}};
    for (const Case& c : ends) EXPECT_EQ(plat::FindHeadEnd(c.text, std::strlen(c.text)), c.end) << c.text;

    struct Start {
        const char* bytes;
        bool lacks;
    } starts[] = {{"IC", false}, {"ICY 2", false}, {"HTTP/1.0", false}, {"HTT", false},
                  {"\xFF\xFB\x90\x00", true}, {"ICE 2", true}, {"<html>", true}};
    for (const Start& s : starts) EXPECT_EQ(plat::LacksStatusLine(s.bytes, std::strlen(s.bytes)), s.lacks) << s.bytes;
}

TEST(HttpUrl, SplitsUrls) {
    struct Case {
        const char* url;
        bool ok;
        const char *scheme, *host;
        int port;
        const char* target;
    } cases[] = {
        {"http://127.0.0.1:8000/stream", true, "http", "127.0.0.1", 8000, "/stream"},
        {"HTTP://Example.org", true, "http", "Example.org", 80, "/"},
        {"https://host/a?b=c#frag", true, "https", "host", 443, "/a?b=c"},
        {"http://host?x", true, "http", "host", 80, "/?x"},
        {"http://user:pw@host:81/", true, "http", "host", 81, "/"},
        {"http://[::1]:8080/s", true, "http", "::1", 8080, "/s"},
        {"http://host:99999/", false, "", "", 0, ""},
        {"http://host:8a/", false, "", "", 0, ""},
        {"http:///path", false, "", "", 0, ""},
        {"no-scheme/path", false, "", "", 0, ""},
        {"gopher://host/", false, "", "", 0, ""},  // no default port
    };
    for (const Case& c : cases) {
        plat::UrlParts u;
        EXPECT_EQ(plat::SplitUrl(c.url, &u), c.ok) << c.url;
        if (!c.ok) continue;
        EXPECT_EQ(u.scheme, c.scheme) << c.url;
        EXPECT_EQ(u.host, c.host) << c.url;
        EXPECT_EQ(u.port, c.port) << c.url;
        EXPECT_EQ(u.target, c.target) << c.url;
    }
}

TEST(HttpUrl, ResolvesRedirectTargets) {
    struct Case {
        const char *base, *ref, *out;
    } cases[] = {
        {"http://a:1/x/y?q", "http://b/z", "http://b/z"},
        {"http://a:1/x/y?q", "https://b/z", "https://b/z"},
        {"http://a:1/x/y?q", "//b:2/z", "http://b:2/z"},
        {"http://a:1/x/y?q", "/z", "http://a:1/z"},
        {"http://a:1/x/y?q", "z", "http://a:1/x/z"},
        {"http://a:1/x/y?q", "../z", "http://a:1/x/../z"},
        {"http://a:1/x/y?q", "?r", "http://a:1/x/y?r"},
        {"http://a:1", "z", "http://a:1/z"},
        {"http://h:1?x", "a", "http://h:1/a"},
        {"http://h:1#f", "a", "http://h:1/a"},
        {"http://h:1?x", "?y", "http://h:1/?y"},
        {"http://a/x/", "z/w", "http://a/x/z/w"},
        {"http://a/x", "path:with/colon", "http://a/path:with/colon"},
    };
    for (const Case& c : cases) EXPECT_EQ(plat::ResolveUrl(c.base, c.ref), c.out) << c.base << " + " << c.ref;
}

TEST(ChunkedDecoder, DecodesBodiesCutAnywhere) {
    std::string body;
    for (int i = 0; i < 3000; i++) body += static_cast<char>('a' + i % 26);
    std::string coded;
    size_t at = 0, step = 1;
    while (at < body.size()) {
        size_t n = std::min(step, body.size() - at);
        char size[32];
        std::snprintf(size, sizeof size, step % 2 ? "%zx\r\n" : "%zX;ext=1\r\n", n);
        coded += size + body.substr(at, n) + "\r\n";
        at += n;
        step = step * 3 + 1;
    }
    coded += "0\r\nTrailer: x\r\n\r\n";
    for (size_t piece = 1; piece <= coded.size(); piece += piece < 40 ? 1 : 97) {
        plat::ChunkedDecoder d;
        std::string out;
        for (size_t p = 0; p < coded.size(); p += piece) {
            std::string part = coded.substr(p, piece);
            size_t n = d.Feed(&part[0], part.size());
            out.append(part, 0, n);
        }
        ASSERT_EQ(out, body) << "pieces of " << piece;
        EXPECT_TRUE(d.Done());
        EXPECT_FALSE(d.Failed());
    }
}

TEST(ChunkedDecoder, FailsOnGarbage) {
    for (const char* bad : {"zz\r\n", "3\r\nabcX", "\r\n"}) {
        plat::ChunkedDecoder d;
        std::string s = bad;
        d.Feed(&s[0], s.size());
        EXPECT_TRUE(d.Failed()) << bad;
    }
}

}  // namespace
