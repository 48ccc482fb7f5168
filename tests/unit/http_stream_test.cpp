// The HTTP stream against a small HTTP server of the test's own on
// 127.0.0.1 (a free port picked by the system): the request sent, the body
// through the pipe, error pages, redirects, chunked and cut bodies, the save
// file, failed opens and the bounded close. The server handles one request
// per connection on its own thread and answers by the request path.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decoder/input.h"
#include "output/http_stream.h"
#include "output/stream_titles.h"
#include "platform/http.h"
#include "platform/pipe.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "playlist/playlist.h"
#include "playlist/playlist_files.h"
#include "settings/settings.h"
#include "test_util.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

// ------------------------------------------------------------ sockets
//
// The test exe is not linked with ws2_32, so the Windows side takes the few
// Winsock functions it needs from the DLL.
#ifdef _WIN32
using Sock = SOCKET;
const Sock kNoSock = INVALID_SOCKET;
struct Winsock {
    decltype(&::socket) socket_;
    decltype(&::bind) bind_;
    decltype(&::listen) listen_;
    decltype(&::accept) accept_;
    decltype(&::recv) recv_;
    decltype(&::send) send_;
    decltype(&::closesocket) close_;
    decltype(&::getsockname) getsockname_;
    decltype(&::select) select_;
    bool ok = false;
};
Winsock& Ws() {
    static Winsock ws = [] {
        Winsock w{};
        HMODULE m = LoadLibraryA("ws2_32.dll");
        if (!m) return w;
        auto startup = reinterpret_cast<decltype(&::WSAStartup)>(reinterpret_cast<void*>(GetProcAddress(m, "WSAStartup")));
#define VORLO_WS(field, name) \
    w.field = reinterpret_cast<decltype(w.field)>(reinterpret_cast<void*>(GetProcAddress(m, name)))
        VORLO_WS(socket_, "socket");
        VORLO_WS(bind_, "bind");
        VORLO_WS(listen_, "listen");
        VORLO_WS(accept_, "accept");
        VORLO_WS(recv_, "recv");
        VORLO_WS(send_, "send");
        VORLO_WS(close_, "closesocket");
        VORLO_WS(getsockname_, "getsockname");
        VORLO_WS(select_, "select");
#undef VORLO_WS
        WSADATA data;
        w.ok = startup && startup(MAKEWORD(2, 2), &data) == 0 && w.socket_ && w.bind_ && w.listen_ &&
               w.accept_ && w.recv_ && w.send_ && w.close_ && w.getsockname_ && w.select_;
        return w;
    }();
    return ws;
}
Sock SockSocket() { return Ws().ok ? Ws().socket_(AF_INET, SOCK_STREAM, IPPROTO_TCP) : kNoSock; }
int SockBind(Sock s, const sockaddr_in& a) { return Ws().bind_(s, reinterpret_cast<const sockaddr*>(&a), sizeof a); }
int SockListen(Sock s) { return Ws().listen_(s, 8); }
Sock SockAccept(Sock s) { return Ws().accept_(s, nullptr, nullptr); }
int SockRecv(Sock s, char* b, int n) { return Ws().recv_(s, b, n, 0); }
int SockSend(Sock s, const char* b, int n) { return Ws().send_(s, b, n, 0); }
void SockClose(Sock s) { Ws().close_(s); }
int SockName(Sock s, sockaddr_in* a) {
    int len = sizeof *a;
    return Ws().getsockname_(s, reinterpret_cast<sockaddr*>(a), &len);
}
int SockSelect(int nfds, fd_set* r, timeval* t) { return Ws().select_(nfds, r, nullptr, nullptr, t); }
#else
using Sock = int;
const Sock kNoSock = -1;
Sock SockSocket() { return ::socket(AF_INET, SOCK_STREAM, 0); }
int SockBind(Sock s, const sockaddr_in& a) { return ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a); }
int SockListen(Sock s) { return ::listen(s, 8); }
Sock SockAccept(Sock s) { return ::accept(s, nullptr, nullptr); }
int SockRecv(Sock s, char* b, int n) { return static_cast<int>(::recv(s, b, static_cast<size_t>(n), 0)); }
int SockSend(Sock s, const char* b, int n) {
    return static_cast<int>(::send(s, b, static_cast<size_t>(n), MSG_NOSIGNAL));
}
void SockClose(Sock s) { ::close(s); }
int SockName(Sock s, sockaddr_in* a) {
    socklen_t len = sizeof *a;
    return ::getsockname(s, reinterpret_cast<sockaddr*>(a), &len);
}
int SockSelect(int nfds, fd_set* r, timeval* t) { return ::select(nfds, r, nullptr, nullptr, t); }
#endif

// A listening socket on 127.0.0.1 with a port chosen by the system.
Sock ListenLoopback(int* port) {
    Sock s = SockSocket();
    if (s == kNoSock) return kNoSock;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    // 127.0.0.1 and nothing else, in network order (no htonl: that is ws2_32).
    const uint8_t loopback[4] = {127, 0, 0, 1};
    std::memcpy(&a.sin_addr, loopback, 4);
    a.sin_port = 0;
    if (SockBind(s, a) != 0 || SockListen(s) != 0 || SockName(s, &a) != 0) {
        SockClose(s);
        return kNoSock;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(&a.sin_port);
    *port = (p[0] << 8) | p[1];
    return s;
}

// Waits up to ms for the socket to become readable (a connection to accept).
bool Readable(Sock s, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval t{ms / 1000, (ms % 1000) * 1000};
    return SockSelect(static_cast<int>(s) + 1, &set, &t) > 0;
}

// ------------------------------------------------------------ the server

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> b(n);
    uint32_t x = seed;
    for (auto& v : b) {
        x = x * 1664525u + 1013904223u;
        v = uint8_t(x >> 24);
    }
    return b;
}

class TestServer {
public:
    // A connection as the handler sees it.
    struct Conn {
        Sock s;
        std::atomic<bool>* stopping;
        bool Send(const std::string& text) { return Send(text.data(), text.size()); }
        bool Send(const void* data, size_t n) {
            const char* p = static_cast<const char*>(data);
            while (n > 0) {
                int k = SockSend(s, p, n > 65536 ? 65536 : static_cast<int>(n));
                if (k <= 0) return false;
                p += k;
                n -= static_cast<size_t>(k);
            }
            return true;
        }
    };
    using Handler = std::function<void(Conn&, const std::string& path)>;

    explicit TestServer(Handler h) : handler_(std::move(h)) {
        listener_ = ListenLoopback(&port_);
        if (listener_ != kNoSock) thread_ = std::thread([this] { Run(); });
    }
    ~TestServer() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ != kNoSock) SockClose(listener_);
    }
    bool ok() const { return listener_ != kNoSock; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> g(m_);
        return requests_;
    }

private:
    void Run() {
        while (!stopping_) {
            if (!Readable(listener_, 50)) continue;
            Sock c = SockAccept(listener_);
            if (c == kNoSock) continue;
            std::string req;
            char buf[1024];
            while (req.find("\r\n\r\n") == std::string::npos && req.size() < 65536) {
                int k = SockRecv(c, buf, sizeof buf);
                if (k <= 0) break;
                req.append(buf, static_cast<size_t>(k));
            }
            {
                std::lock_guard<std::mutex> g(m_);
                requests_.push_back(req);
            }
            size_t sp1 = req.find(' ');
            size_t sp2 = sp1 == std::string::npos ? sp1 : req.find(' ', sp1 + 1);
            std::string path = sp2 == std::string::npos ? "" : req.substr(sp1 + 1, sp2 - sp1 - 1);
            Conn conn{c, &stopping_};
            handler_(conn, path);
            SockClose(c);
        }
    }

    Handler handler_;
    Sock listener_ = kNoSock;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex m_;
    std::vector<std::string> requests_;
};

std::string Head(const char* status, size_t length, const char* extra = "") {
    return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: audio/mpeg\r\nContent-Length: " +
           std::to_string(length) + "\r\nConnection: close\r\n" + extra + "\r\n";
}

const std::vector<uint8_t>& Body() {
    static const std::vector<uint8_t> b = Pattern(150000, 7);  // more than the pipe holds
    return b;
}
const char kErrorPage[] = "<html><body><h1>404 Not Found</h1></body></html>";

// The body with a metadata block after every metaint bytes: the titles in
// turn, "" a block of length 0.
std::string WithMetadata(uint32_t metaint, const std::vector<std::string>& titles) {
    const auto& body = Body();
    std::string out;
    size_t k = 0;
    for (size_t at = 0; at < body.size(); at += metaint) {
        size_t n = std::min<size_t>(metaint, body.size() - at);
        out.append(reinterpret_cast<const char*>(body.data() + at), n);
        if (n < metaint) break;
        const std::string& t = titles[k++ % titles.size()];
        std::string text = t.empty() ? "" : "StreamTitle='" + t + "';StreamUrl='';";
        size_t len = (text.size() + 15) / 16;
        out += static_cast<char>(len);
        out += text + std::string(len * 16 - text.size(), '\0');
    }
    return out;
}
// The stations send their body once the test lets them (it looks at the
// title before the first block).
std::atomic<bool> g_stationGo{false};
void AwaitGo(TestServer::Conn& c) {
    while (!g_stationGo.load() && !c.stopping->load()) plat::SleepMs(2);
}
const std::vector<std::string> kTitles = {"Artist - First", "", "Caf\xE9 - Second", "Caf\xE9 - Second"};

// Answers by path; see the tests for what each is for.
void Serve(TestServer::Conn& c, const std::string& path) {
    const auto& body = Body();
    if (path == "/icy") {
        c.Send("ICY 200 OK\r\nicy-name: Radio Test\r\nicy-metaint: 8192\r\ncontent-type: audio/mpeg\r\n\r\n");
        AwaitGo(c);
        c.Send(WithMetadata(8192, kTitles));
    } else if (path == "/icecast") {
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-metaint: 16000\r\n\r\n");
        AwaitGo(c);
        c.Send(WithMetadata(16000, kTitles));
    } else if (path.rfind("/hops/", 0) == 0) {
        // /hops/N redirects to /hops/N-1, ..., /hops/0 to the song.
        int n = std::atoi(path.c_str() + 6);
        std::string to = n ? "Location: /hops/" + std::to_string(n - 1) + "\r\n" : "Location: /song.mp3\r\n";
        const char* status[] = {"301 Moved Permanently", "302 Found", "303 See Other", "307 Temporary Redirect",
                                "308 Permanent Redirect"};
        c.Send(Head(status[n % 5], 0, to.c_str()));
    } else if (path == "/loop-a" || path == "/loop-b") {
        c.Send(Head("302 Found", 0, path == "/loop-a" ? "Location: /loop-b\r\n" : "Location: loop-a\r\n"));
    } else if (path == "/stations.pls" || path == "/by-type") {
        std::string list = path == "/by-type" ? "#EXTM3U\n#EXTINF:-1,Song by type\nsong.mp3\n"
                                              : "[playlist]\nFile1=song.mp3\nTitle1=Song Radio\nFile2=/tiny.mp3\n"
                                                "NumberOfEntries=2\n";
        c.Send(std::string("HTTP/1.1 200 OK\r\nContent-Type: ") +
               (path == "/by-type" ? "audio/x-mpegurl" : "text/plain") + "\r\nContent-Length: " +
               std::to_string(list.size()) + "\r\nConnection: close\r\n\r\n" + list);
    } else if (path == "/fails") {
        c.Send(Head("500 Internal Server Error", 5));
        c.Send("oops!");
    } else if (path == "/song.mp3" || path == "/dir/") {
        c.Send(Head("200 OK", body.size()));
        c.Send(body.data(), body.size());
    } else if (path == "/tiny.mp3") {
        c.Send(Head("200 OK", 5));
        c.Send("ABCDE");
    } else if (path == "/moved301") {
        c.Send(Head("301 Moved Permanently", 0, "Location: /song.mp3\r\n"));
    } else if (path == "/moved302") {
        std::string rel = "Location: /moved301\r\n";  // two hops
        c.Send(Head("302 Found", 0, rel.c_str()));
    } else if (path == "/chunked.mp3") {
        c.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
        size_t at = 0, step = 1;
        while (at < body.size()) {
            size_t n = step < body.size() - at ? step : body.size() - at;
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", n);
            c.Send(size);
            c.Send(body.data() + at, n);
            c.Send("\r\n");
            at += n;
            step = step * 3 + 1;
            if (step > 9000) step = 777;
        }
        c.Send("0\r\n\r\n");
    } else if (path == "/cut.mp3") {
        // Announces the whole body, sends a third of it, hangs up.
        c.Send(Head("200 OK", body.size()));
        c.Send(body.data(), body.size() / 3);
    } else if (path == "/endless.mp3") {
        // Sends until the client goes away, in paced pieces (a client that
        // drains a response it is closing then finds an end soon).
        c.Send(Head("200 OK", 1u << 30));
        std::vector<uint8_t> piece = Pattern(16384, 3);
        while (!c.stopping->load() && c.Send(piece.data(), piece.size())) plat::SleepMs(2);
    } else if (path == "/stall.mp3") {
        // Sends two whole pieces, then neither sends nor closes until told
        // to stop. (A read is filled whole before it returns.)
        c.Send(Head("200 OK", body.size()));
        c.Send(body.data(), 2 * kDownloadPiece);
        while (!c.stopping->load()) plat::SleepMs(20);
    } else {
        c.Send(std::string("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: ") +
               std::to_string(sizeof kErrorPage - 1) + "\r\nConnection: close\r\n\r\n" + kErrorPage);
    }
}

// ------------------------------------------------------------ message boxes

struct Box {
    std::string text, caption;
    unsigned flags;
};
std::mutex g_boxMutex;
std::vector<Box> g_boxes;
int RecordBox(void*, const char* text, const char* caption, unsigned flags) {
    std::lock_guard<std::mutex> g(g_boxMutex);
    g_boxes.push_back(Box{text ? text : "", caption ? caption : "", flags});
    return plat::IdOk;
}
std::vector<Box> Boxes() {
    std::lock_guard<std::mutex> g(g_boxMutex);
    return g_boxes;
}

// The main window's side of the stream's notices: the titles it would
// show, read at each notice, and the lost connection's box.
std::mutex g_titleMutex;
std::vector<std::string> g_shownTitles;
std::string g_titleUrl;
intptr_t MainWindowNotices(void*, unsigned msg, uintptr_t, intptr_t, bool) {
    if (msg == kNoticeStreamLost) plat::ShowMessageBox(nullptr, kConnectionLostText, kInternetErrorCaption, plat::MbOk);
    if (msg == kNoticeSaveFailed) plat::ShowMessageBox(nullptr, kSaveWriteErrorText, kSaveErrorCaption, plat::MbOk);
    if (msg != kNoticeStreamTitle) return 0;
    char title[300] = "";
    std::lock_guard<std::mutex> g(g_titleMutex);
    GetStreamTitle(g_titleUrl.c_str(), title, sizeof title);
    g_shownTitles.push_back(title);
    return 0;
}

// Everything the input reads until the end of the data.
std::vector<uint8_t> ReadAll() {
    std::vector<uint8_t> out;
    uint8_t buf[3000];
    for (;;) {
        int n = InputRead(buf, sizeof buf);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

void ExpectStreamClosed() {
    EXPECT_EQ(g_urlStream.root, nullptr);
    EXPECT_EQ(g_urlStream.request, nullptr);
    EXPECT_EQ(g_urlStream.readEnd, nullptr);
    EXPECT_EQ(g_urlStream.writeEnd.load(), nullptr);
    EXPECT_EQ(g_urlStream.saveFile.load(), nullptr);
    EXPECT_EQ(g_urlStream.thread, nullptr);
    EXPECT_EQ(plat::HttpLiveHandles(), 0);
}

class HttpStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> g(g_boxMutex);
            g_boxes.clear();
        }
        plat::SetMessageBoxHook(RecordBox);
        plat::SetNoticeHook(MainWindowNotices);
        g_settings.DownloadOption = 0;
        g_settings.InternetDLDir[0] = '\0';
        threadsBefore_ = plat::ThreadLiveCount();
        ASSERT_TRUE(server_.ok());
    }
    void TearDown() override {
        CloseInput();
        g_settings.DownloadOption = 0;
        g_settings.InternetDLDir[0] = '\0';
        plat::SetMessageBoxHook(nullptr);
        plat::SetNoticeHook(nullptr);
    }
    // After a close: no download thread, no handle left.
    void ExpectNothingLeft() {
        ExpectStreamClosed();
        EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore_);
        EXPECT_EQ(g_input.handle, nullptr);
    }
    void SetSaveDir(const std::string& dir) {
        g_settings.DownloadOption = 1;
        std::snprintf(g_settings.InternetDLDir, sizeof g_settings.InternetDLDir, "%s", dir.c_str());
    }

    TestServer server_{Serve};
    int threadsBefore_ = 0;
};

// ------------------------------------------------------------ the tests

TEST_F(HttpStreamTest, StreamsTheBodyWithTheRequestOfThePlayer) {
    std::string url = server_.Url("/song.mp3");
    ASSERT_EQ(OpenInput(url.c_str()), 1);
    EXPECT_EQ(g_input.isNetwork, 1);
    EXPECT_EQ(g_input.fileSize, 1);
    EXPECT_EQ(ReadAll(), Body());
    EXPECT_EQ(CloseInput(), 1);
    ExpectNothingLeft();
    EXPECT_TRUE(Boxes().empty());

    auto reqs = server_.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].rfind("GET /song.mp3 HTTP/1.1\r\n", 0), 0u) << reqs[0];
    EXPECT_NE(reqs[0].find("\r\nUser-Agent: VorMP3 v0.90\r\n"), std::string::npos) << reqs[0];
    EXPECT_NE(reqs[0].find("\r\nAccept: audio/x-mpeg, audio/x-mpegurl, */*\r\n"), std::string::npos)
        << reqs[0];
}

TEST_F(HttpStreamTest, ShortBodiesEndNormallyErrorStatusesAndCutBodiesSaySo) {
    // A body shorter than one piece.
    ASSERT_EQ(OpenInput(server_.Url("/tiny.mp3").c_str()), 1);
    std::vector<uint8_t> tiny = ReadAll();
    EXPECT_EQ(std::string(tiny.begin(), tiny.end()), "ABCDE");
    CloseInput();
    ExpectNothingLeft();
    EXPECT_TRUE(Boxes().empty());

    // An error status fails the open with the server's status text.
    EXPECT_EQ(OpenInput(server_.Url("/no/such/file.mp3").c_str()), 0);
    ExpectNothingLeft();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "VOR Internet Error Message...");
    EXPECT_EQ(boxes[0].text, "404 Not Found");

    // The server hangs up after a third of what it announced: the data ends
    // there, with every byte that arrived, and the close says so once.
    ASSERT_EQ(OpenInput(server_.Url("/cut.mp3").c_str()), 1);
    std::vector<uint8_t> cut = ReadAll();
    std::vector<uint8_t> third(Body().begin(), Body().begin() + Body().size() / 3);
    EXPECT_EQ(cut, third);
    CloseInput();
    ExpectNothingLeft();
    boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, kConnectionLostText);
}

TEST_F(HttpStreamTest, RedirectsAreFollowedAndChunkedBodiesArrivePlain) {
    ASSERT_EQ(OpenInput(server_.Url("/moved302").c_str()), 1);  // 302, then 301, then the file
    EXPECT_EQ(ReadAll(), Body());
    CloseInput();
    auto reqs = server_.Requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[2].rfind("GET /song.mp3 ", 0), 0u);

    ASSERT_EQ(OpenInput(server_.Url("/chunked.mp3").c_str()), 1);
    EXPECT_EQ(ReadAll(), Body());
    CloseInput();
    ExpectNothingLeft();
}

TEST_F(HttpStreamTest, StationsPlayTheirAudioAloneAndShowTheirTitles) {
    for (const char* path : {"/icy", "/icecast"}) {
        {
            std::lock_guard<std::mutex> g(g_titleMutex);
            g_shownTitles.clear();
            g_titleUrl = server_.Url(path);
        }
        testutil::TempDir dir;
        SetSaveDir(dir.Path());
        g_stationGo = false;
        ASSERT_EQ(OpenInput(g_titleUrl.c_str()), 1) << path;
        char name[300] = "";
        bool named = GetStreamTitle(g_titleUrl.c_str(), name, sizeof name);
        g_stationGo = true;
        EXPECT_EQ(ReadAll(), Body()) << path;
        CloseInput();
        ExpectNothingLeft();
        // The saved copy holds the audio alone too.
        EXPECT_EQ(testutil::ReadBytes(dir.File(path + 1)), Body()) << path;
        // Each change of title once, in UTF-8; a block of length 0 changes nothing.
        std::vector<std::string> want;
        uint32_t metaint = std::string(path) == "/icy" ? 8192 : 16000;
        for (size_t k = 0; k < Body().size() / metaint; k++) {
            std::string t = kTitles[k % kTitles.size()] == "Artist - First" ? "Artist - First" : "Caf\xC3\xA9 - Second";
            if (!kTitles[k % kTitles.size()].empty() && (want.empty() || want.back() != t)) want.push_back(t);
        }
        ASSERT_GE(want.size(), 4u);
        if (std::string(path) == "/icy") {
            // icy-name is the title until the first StreamTitle.
            EXPECT_TRUE(named);
            EXPECT_STREQ(name, "Radio Test");
        } else {
            EXPECT_FALSE(named);
        }
        std::lock_guard<std::mutex> g(g_titleMutex);
        EXPECT_EQ(g_shownTitles, want) << path;
        // A station's body does not end: its end is a lost connection.
        auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u) << path;
        EXPECT_EQ(boxes[0].text, kConnectionLostText);
        {
            std::lock_guard<std::mutex> g2(g_boxMutex);
            g_boxes.clear();
        }
        EXPECT_FALSE(GetStreamTitle(g_titleUrl.c_str(), name, sizeof name));  // gone with the stream
    }
    for (const std::string& r : server_.Requests()) EXPECT_NE(r.find("\r\nIcy-MetaData: 1\r\n"), std::string::npos);
}

TEST_F(HttpStreamTest, FiveRedirectsAreFollowedNotSixNorALoop) {
    ASSERT_EQ(OpenInput(server_.Url("/hops/4").c_str()), 1);  // five redirects, each kind
    EXPECT_EQ(ReadAll(), Body());
    CloseInput();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(server_.Requests().size(), 6u);

    struct Case {
        const char* path;
        const char* text;
    } cases[] = {
        {"/hops/5", "Too many redirects from http://127.0.0.1:PORT/hops/5 (more than 5)"},
        {"/loop-a", "The redirects of http://127.0.0.1:PORT/loop-a go round in a loop (back to "
                    "http://127.0.0.1:PORT/loop-a)"},
        {"/fails", "500 Internal Server Error"},
    };
    std::string port = server_.Url("").substr(std::strlen("http://127.0.0.1:"));
    for (const Case& c : cases) {
        {
            std::lock_guard<std::mutex> g(g_boxMutex);
            g_boxes.clear();
        }
        EXPECT_EQ(OpenInput(server_.Url(c.path).c_str()), 0) << c.path;
        ExpectNothingLeft();
        std::string want = c.text;
        for (size_t at; (at = want.find("PORT")) != std::string::npos;) want.replace(at, 4, port);
        auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.path;
        EXPECT_EQ(boxes[0].text, want);
    }
}

TEST_F(HttpStreamTest, StationListsByUrlGiveTheirStreamsAndTitles) {
    ClearStreamTitles();
    PlaylistClear();
    PlaylistOpenItem(kOpenUrl, server_.Url("/stations.pls").c_str());
    std::vector<std::string> paths;
    for (int i = 0; i < PlaylistCount(); i++) {
        PlaylistEntry e;
        PlaylistGetEntry(i, &e);
        paths.push_back(e.path);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{server_.Url("/song.mp3"), server_.Url("/tiny.mp3")}));
    char title[300] = "";
    EXPECT_TRUE(GetStreamTitle(server_.Url("/song.mp3").c_str(), title, sizeof title));
    EXPECT_STREQ(title, "Song Radio");
    PlaylistClear();

    // A list known by its Content-Type plays its first stream.
    ASSERT_EQ(OpenInput(server_.Url("/by-type").c_str()), 1);
    EXPECT_EQ(ReadAll(), Body());
    CloseInput();
    ExpectNothingLeft();
    EXPECT_TRUE(GetStreamTitle(server_.Url("/by-type").c_str(), title, sizeof title));
    EXPECT_STREQ(title, "Song by type");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(HttpStreamTest, RefusedConnectionShowsTheResponseTextAndLeavesNothing) {
    int port = 0;
    Sock s = ListenLoopback(&port);
    ASSERT_NE(s, kNoSock);
    SockClose(s);  // nobody listens there now
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/song.mp3";

    EXPECT_EQ(OpenInput(url.c_str()), 0);
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "VOR Internet Error Message...");
    EXPECT_EQ(boxes[0].flags, unsigned(plat::MbOk));
    char text[1025];
    plat::HttpLastResponseText(text, sizeof text);
    EXPECT_EQ(boxes[0].text, text);
    ExpectNothingLeft();
}

TEST_F(HttpStreamTest, SaveFileIsTheBodyByteForByte) {
    testutil::TempDir dir;
    SetSaveDir(dir.Path());
    ASSERT_EQ(OpenInput(server_.Url("/song.mp3").c_str()), 1);
    EXPECT_EQ(ReadAll(), Body());
    CloseInput();
    ExpectNothingLeft();
    EXPECT_EQ(testutil::ReadBytes(dir.File("song.mp3")), Body());
    EXPECT_TRUE(Boxes().empty());

    // A directory given with its separator gets no second one; an existing
    // file is kept, the new save taking the next free numbered name.
    testutil::WriteBytes(dir.File("tiny.mp3"), Pattern(9999, 1));
    testutil::WriteBytes(dir.File("tiny (2).mp3"), Pattern(3, 1));
    SetSaveDir(dir.Path() + plat::kPathSeparator);
    ASSERT_EQ(OpenInput(server_.Url("/tiny.mp3").c_str()), 1);
    ReadAll();
    CloseInput();
    EXPECT_EQ(testutil::ReadBytes(dir.File("tiny.mp3")), Pattern(9999, 1));
    EXPECT_EQ(testutil::ReadBytes(dir.File("tiny (2).mp3")), Pattern(3, 1));
    EXPECT_EQ(testutil::ReadText(dir.File("tiny (3).mp3")), "ABCDE");

    // A stream closed early leaves what was received, a prefix of the body.
    ASSERT_EQ(OpenInput(server_.Url("/song.mp3").c_str()), 1);
    uint8_t some[100];
    ASSERT_EQ(InputRead(some, sizeof some), 100);
    CloseInput();
    ExpectNothingLeft();
    std::vector<uint8_t> saved = testutil::ReadBytes(dir.File("song.mp3"));
    ASSERT_GE(saved.size(), 100u);
    ASSERT_LE(saved.size(), Body().size());
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), Body().begin()));
}

#ifndef _WIN32
TEST_F(HttpStreamTest, AFailedSaveWriteIsReportedOnceAndThePlayGoesOn) {
    // A file size limit stands for a full disk: writes past it fail.
    testutil::TempDir dir;
    SetSaveDir(dir.Path());
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 10000;
    void (*oldSignal)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_EQ(OpenInput(server_.Url("/song.mp3").c_str()), 1);
    std::vector<uint8_t> got = ReadAll();
    CloseInput();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(got, Body());
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSaveWriteErrorText);
    std::vector<uint8_t> saved = testutil::ReadBytes(dir.File("song.mp3"));
    EXPECT_LE(saved.size(), 10000u);
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), Body().begin()));
    ExpectNothingLeft();
}
#endif

TEST_F(HttpStreamTest, UnsavableNameWarnsAndStillPlays) {
    testutil::TempDir dir;
    SetSaveDir(dir.Path());
    ASSERT_EQ(OpenInput(server_.Url("/dir/").c_str()), 1);  // no name after the last "/"
    EXPECT_EQ(ReadAll(), Body());
    CloseInput();
    ExpectNothingLeft();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "ERROR!");
    EXPECT_EQ(boxes[0].text, "URL Save file could NOT be created,\nData will NOT be saved...");
    EXPECT_EQ(boxes[0].flags, unsigned(plat::MbOk | plat::MbIconWarning));

    // Other values than 1 save nothing and say nothing.
    g_settings.DownloadOption = 2;
    ASSERT_EQ(OpenInput(server_.Url("/song.mp3").c_str()), 1);
    EXPECT_EQ(ReadAll(), Body());
    CloseInput();
    EXPECT_FALSE(plat::FileExists(dir.File("song.mp3").c_str()));
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(HttpStreamTest, ClosingWhileThePipeIsFullEndsTheThread) {
    ASSERT_EQ(OpenInput(server_.Url("/endless.mp3").c_str()), 1);
    uint8_t b[16];
    ASSERT_EQ(InputRead(b, sizeof b), 16);
    // The decoder stops reading; the download thread fills the pipe and
    // blocks in its write, since the server never stops sending.
    plat::SleepMs(300);
    EXPECT_EQ(CloseInput(), 1);
    ExpectNothingLeft();
#ifndef _WIN32
    // The closed read end fails the blocked write: the thread ends by itself.
    EXPECT_EQ(g_urlStream.lastCloseForced, 0);
#endif
}

TEST_F(HttpStreamTest, ClosingWhileTheServerStallsEndsTheThreadAtOnce) {
    ASSERT_EQ(OpenInput(server_.Url("/stall.mp3").c_str()), 1);
    uint8_t b[2 * kDownloadPiece];
    ASSERT_EQ(InputRead(b, sizeof b), int(sizeof b));
    EXPECT_TRUE(std::equal(b, b + sizeof b, Body().begin()));
    plat::SleepMs(300);  // time for the thread to go back into its read
    // The thread waits for the server: the closer shuts the connection
    // down, the read returns and the thread ends by itself, well within the
    // closer's wait, and no loss is reported for it.
    EXPECT_EQ(CloseInput(), 1);
    EXPECT_EQ(g_urlStream.lastCloseForced, 0);
    ExpectNothingLeft();
    EXPECT_TRUE(Boxes().empty());
}

TEST(HttpSavePath, BuildsInsideTheDirectoryOnly) {
    char path[kSaveNameSize];
    std::string sep(1, plat::kPathSeparator);
    ASSERT_TRUE(BuildSavePath("dl", "a.mp3", path, sizeof path));
    EXPECT_EQ(std::string(path), "dl" + sep + "a.mp3");
    ASSERT_TRUE(BuildSavePath("C:\\dl\\", "a.mp3", path, sizeof path));
    EXPECT_EQ(std::string(path), "C:\\dl\\a.mp3");
    ASSERT_TRUE(BuildSavePath("/dl/", "a.mp3", path, sizeof path));
    EXPECT_EQ(std::string(path), "/dl/a.mp3");

    // Names from the URL that would not be a file inside the directory, or
    // would be a device.
    for (const char* bad : {"", ".", "..", "..\\..\\evil.exe", "c:evil", "a\\b.mp3", "CON", "nul.mp3",
                            "Aux .txt", "prn.tar.gz", "com1.mp3", "LPT9"})
        EXPECT_FALSE(BuildSavePath("dl", bad, path, sizeof path)) << bad;
    for (const char* good : {"COM10.mp3", "console.mp3", "lpt0", "nul_radio.mp3"})
        EXPECT_TRUE(BuildSavePath("dl", good, path, sizeof path)) << good;

    // Paths that do not fit are refused, not cut.
    std::string longName(250, 'n');
    EXPECT_FALSE(BuildSavePath("012345678", longName.c_str(), path, sizeof path));
    EXPECT_TRUE(BuildSavePath("01234567", longName.c_str(), path, sizeof path));
    EXPECT_EQ(std::strlen(path), 259u);
}

TEST(Pipe, CarriesBytesAndReportsTheEndAndAGoneReader) {
    plat::File r = nullptr, w = nullptr;
    ASSERT_TRUE(plat::PipeCreate(&r, &w, 65536));
    EXPECT_EQ(plat::PipeWrite(w, "hello", 5), 5);
    EXPECT_TRUE(plat::FileClose(w));
    char buf[16];
    EXPECT_EQ(plat::FileRead(r, buf, 5), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(plat::FileRead(r, buf, sizeof buf), 0);  // the writer is gone: the end
    EXPECT_TRUE(plat::FileClose(r));

    ASSERT_TRUE(plat::PipeCreate(&r, &w, 65536));
    EXPECT_TRUE(plat::FileClose(r));
    EXPECT_EQ(plat::PipeWrite(w, "x", 1), -1);  // no reader: a failure, and no signal
    EXPECT_TRUE(plat::FileClose(w));
}

}  // namespace
