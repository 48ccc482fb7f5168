// Station lists and the titles of URL entries: PLS and M3U texts with their
// titles, the types and names that make a URL a list, titles of streams in
// local lists, the live title over the listed one, and lists by URL
// fetched off the window's thread.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "http_script.h"

#include "output/radio.h"
#include "output/stream_titles.h"
#include "playlist/playlist_files.h"
#include "playlist/station_list.h"
#include "platform/thread.h"
#include "playlist_test_util.h"

namespace {

using namespace pltest;

std::string Shown(const char* url) {
    char t[300];
    return GetStreamTitle(url, t, sizeof t) ? t : "(none)";
}

TEST(StationList, ParsesPlsAndM3uWithTheirTitles) {
    struct Case {
        const char* text;
        std::vector<std::pair<std::string, std::string>> entries;
    } cases[] = {
        {"[playlist]\r\nNumberOfEntries=2\r\nTitle2=Two\r\nFile2=http://b/\r\nFile1=http://a/\r\nTitle1=One\r\n",
         {{"http://a/", "One"}, {"http://b/", "Two"}}},
        {"[PlayList]\nfile1 = http://a/\ntitle1 = Caf\xE9\nFile3=rel.mp3\n", {{"http://a/", "Caf\xC3\xA9"}, {"rel.mp3", ""}}},
        {"\xEF\xBB\xBF#EXTM3U\n#EXTINF:-1,Station One\nhttp://a/\n\n# a comment\nhttp://b/\n",
         {{"http://a/", "Station One"}, {"http://b/", ""}}},
        {"#EXTINF:123,Artist - Title, with a comma\r\nsong.mp3\r\n", {{"song.mp3", "Artist - Title, with a comma"}}},
        {"[playlist]\nNumberOfEntries=0\n", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, std::string>> got;
        for (const StationEntry& e : ParseStationList(c.text)) got.emplace_back(e.location, e.title);
        EXPECT_EQ(got, c.entries) << c.text;
    }
}

TEST(StationList, KnowsListsByTypeAndName) {
    for (const char* t : {"audio/x-scpls", "audio/x-mpegurl; charset=utf-8", "AUDIO/MPEGURL", "application/vnd.apple.mpegurl"})
        EXPECT_TRUE(IsStationListType(t)) << t;
    for (const char* t : {"audio/mpeg", "text/html", "", "audio/x-scpls-not"}) EXPECT_FALSE(IsStationListType(t)) << t;
    EXPECT_FALSE(IsStationListType(nullptr));
    for (const char* u : {"http://h/list.pls", "http://h/a.M3U?x=1", "http://h/x.m3u8#f", "C:\\l.pls"})
        EXPECT_TRUE(HasStationListExtension(u)) << u;
    for (const char* u : {"http://h/stream", "http://h/a.mp3?list.pls", "http://host.pls", "http://h/.pls/x"})
        EXPECT_FALSE(HasStationListExtension(u)) << u;
}

TEST(StreamTitles, LiveTitleOverListedOne) {
    ClearStreamTitles();
    const char* url = "http://h/s";
    EXPECT_EQ(Shown(url), "(none)");
    SetListedStreamTitle(url, "From the list");
    EXPECT_EQ(Shown(url), "From the list");
    SetLiveStreamTitle(url, "Now playing");
    EXPECT_EQ(Shown(url), "Now playing");
    SetLiveStreamTitle(url, nullptr);
    EXPECT_EQ(Shown(url), "From the list");
    SetListedStreamTitle(url, "");
    EXPECT_EQ(Shown(url), "(none)");
}

class StationTitles : public PlaylistFixture {};

TEST_F(StationTitles, LocalListsGiveTheirStreamsTitles) {
    ClearStreamTitles();
    testutil::TempDir dir;
    std::string pls = dir.File("s.pls"), m3u = dir.File("s.m3u");
    std::string text = "[playlist]\nFile1=http://h/a\nTitle1=Alpha FM\nFile2=x.mp3\nTitle2=Not a stream\nNumberOfEntries=2\n";
    testutil::WriteBytes(pls, Bytes(text.begin(), text.end()));
    text = "#EXTM3U\n#EXTINF:-1,Beta Radio\nhttp://h/b\n#EXTINF:5,Local\ny.mp3\nhttp://h/c\n";
    testutil::WriteBytes(m3u, Bytes(text.begin(), text.end()));
    PlaylistOpenItem(kOpenLocal, pls.c_str());
    PlaylistOpenItem(kOpenLocal, m3u.c_str());
    EXPECT_EQ(Paths(), (std::vector<std::string>{"http://h/a", dir.File("x.mp3"), "http://h/b", dir.File("y.mp3"),
                                                 "http://h/c"}));
    EXPECT_EQ(Shown("http://h/a"), "Alpha FM");
    EXPECT_EQ(Shown("http://h/b"), "Beta Radio");
    EXPECT_EQ(Shown("http://h/c"), "(none)");
    EXPECT_EQ(Shown(dir.File("x.mp3").c_str()), "(none)");
}

std::mutex g_postedLock;
std::vector<intptr_t> g_posted;

intptr_t RecordNotice(void*, unsigned msg, uintptr_t, intptr_t lParam, bool) {
    std::lock_guard<std::mutex> held(g_postedLock);
    if (msg == kNoticeStationList) g_posted.push_back(lParam);
    return 0;
}

size_t PostedCount() {
    std::lock_guard<std::mutex> held(g_postedLock);
    return g_posted.size();
}

// The window's thread adds nothing until the worker's results are taken,
// in the order the URLs were opened; a failed fetch says why.
TEST_F(StationTitles, ListsByUrlAreFetchedByTheWorkerInOrder) {
    ClearStreamTitles();
    testutil::HttpScript script;
    script.answers = {"HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n"
                      "#EXTINF:-1,One\nhttp://h/1\nhttp://h/2\n",
                      "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
    testutil::g_httpScript = &script;
    plat::SetHttpTransportFactory(testutil::ScriptedTransportFor);
    plat::SetNoticeHook(RecordNotice);
    g_posted.clear();
    int window = 0;
    StationListsOffThread(&window);
    PlaylistOpenItem(kOpenUrl, "http://h/a.m3u");
    PlaylistOpenItem(kOpenUrl, "http://h/b.pls");
    EXPECT_TRUE(Paths().empty());
    for (uint32_t start = plat::TickCount(); PostedCount() < 2 && plat::TickCount() - start < 10000;) plat::SleepMs(5);
    ASSERT_EQ(PostedCount(), 2u);
    for (intptr_t p : g_posted) EXPECT_EQ(PlaylistTakeFetchedList(p), 1);
    EXPECT_EQ(PlaylistTakeFetchedList(g_posted[0]), 0);  // taken once
    StationListsOffThread(nullptr);
    plat::SetNoticeHook(nullptr);
    plat::SetHttpTransportFactory(nullptr);
    EXPECT_EQ(Paths(), (std::vector<std::string>{"http://h/1", "http://h/2"}));
    EXPECT_EQ(Shown("http://h/1"), "One");
    ASSERT_EQ(ShownBoxes().size(), 2u);
    EXPECT_EQ(ShownBoxes()[0].text, "404 Not Found");
    EXPECT_EQ(ShownBoxes()[1].text, "Error Loading Playlist: http://h/b.pls");
}

}  // namespace
