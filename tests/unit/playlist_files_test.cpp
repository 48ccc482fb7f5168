// Playlist files, directory scans and the open dispatcher: path rules of
// both platforms, PLS and M3U lists as users' players write them, the PLS
// writer's bytes, nesting limits, messages, and the tool's listing.
#include "playlist/playlist_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dir.h"
#ifndef _WIN32
#include <sys/stat.h>  // mkfifo
#endif
#include "output/stream_titles.h"
#include "platform/text_codec.h"
#include "playlist/playlist_listing.h"
#include "playlist_test_util.h"

namespace {

using namespace pltest;
using Strings = std::vector<std::string>;

const std::string S(1, plat::kPathSeparator);
constexpr unsigned kErrorFlags = plat::MbIconWarning | plat::MbSetForeground;

void WriteText(const std::string& path, const std::string& text) {
    testutil::WriteBytes(path, Bytes(text.begin(), text.end()));
}

Strings Sorted(Strings v) {
    std::sort(v.begin(), v.end());
    return v;
}

std::string Resolve(const char* dir, const char* value, int* kind = nullptr) {
    char out[260];
    int k = ResolvePlaylistValue(dir, value, out, sizeof out);
    if (kind) *kind = k;
    return out;
}

std::string Prefix(const char* file) {
    char out[260];
    PlaylistDirectoryPrefix(file, out, sizeof out);
    return out;
}

class PlaylistFiles : public PlaylistFixture {};

// ------------------------------------------------------------ path rules

TEST(PlaylistPaths, UrlsAreTakenAsWritten) {
    int kind = -1;
    EXPECT_EQ(Resolve("lists" "/", "http://host/a b.mp3", &kind), "http://host/a b.mp3");
    EXPECT_EQ(kind, kOpenUrl);
    EXPECT_EQ(Resolve("", "sub" "/a.mp3", &kind), "sub/a.mp3");  // no directory: the current one
    EXPECT_EQ(kind, kOpenLocal);
}

TEST(PlaylistPaths, PathsThatDoNotFitAreRefusedNeverCut) {
    std::string dir = std::string(200, 'd') + S;
    int kind = 0;
    EXPECT_EQ(Resolve(dir.c_str(), std::string(58, 'v').c_str(), &kind), dir + std::string(58, 'v'));  // 259
    EXPECT_EQ(kind, kOpenLocal);
    for (const std::string& value : {std::string(59, 'v'), S + std::string(259, 'a'), "http://h/" + std::string(251, 'u')}) {
        EXPECT_EQ(Resolve(dir.c_str(), value.c_str(), &kind), "") << value.size();
        EXPECT_EQ(kind, kPathTooLong) << value.size();
    }
}

#ifdef _WIN32
TEST(PlaylistPaths, WindowsDrivesUncAndRootRelativeValues) {
    EXPECT_EQ(Prefix("D:\\lists\\x.pls"), "D:\\lists\\");
    EXPECT_EQ(Prefix("x.pls"), "");
    EXPECT_EQ(Prefix("C:\\x.pls"), "C:\\");
    const char* dir = "D:\\lists\\";
    EXPECT_EQ(Resolve(dir, "C:\\music\\a.mp3"), "C:\\music\\a.mp3");
    EXPECT_EQ(Resolve(dir, "c:/music/a.mp3"), "c:/music/a.mp3");
    EXPECT_EQ(Resolve(dir, "sub\\a.mp3"), "D:\\lists\\sub\\a.mp3");
    EXPECT_EQ(Resolve(dir, "\\\\server\\share\\a.mp3"), "\\\\server\\share\\a.mp3");
    EXPECT_EQ(Resolve(dir, "\\music\\a.mp3"), "D:\\music\\a.mp3");
    EXPECT_EQ(Resolve("\\\\srv\\share\\lists\\", "\\music\\a.mp3"), "\\\\srv\\share\\music\\a.mp3");
    EXPECT_EQ(Resolve("\\\\srv\\share\\lists\\", "b.mp3"), "\\\\srv\\share\\lists\\b.mp3");
}
#else
TEST(PlaylistPaths, PosixAbsoluteAndRelativeValues) {
    EXPECT_EQ(Prefix("/lists/x.pls"), "/lists/");
    EXPECT_EQ(Prefix("/x.pls"), "/");
    EXPECT_EQ(Prefix("x.pls"), "");
    EXPECT_EQ(Resolve("/lists/", "/music/a.mp3"), "/music/a.mp3");
    EXPECT_EQ(Resolve("/lists/", "sub/a.mp3"), "/lists/sub/a.mp3");
    EXPECT_EQ(Resolve("/", "a.mp3"), "/a.mp3");
    EXPECT_EQ(Resolve("/lists/", "sub\\a.mp3"), "/lists/sub/a.mp3");  // written on Windows
    EXPECT_EQ(Resolve("/my\\lists/", "a.mp3"), "/my\\lists/a.mp3");   // the list's own path stays
}
#endif

// ------------------------------------------------------------ the dispatcher

TEST_F(PlaylistFiles, OpenItemDispatchesByKindAndExtension) {
    testutil::TempDir dir;
    std::string song = dir.File("song.xyz");  // any extension is added
    MakeSong(song, 3);
    PlaylistOpenItem(kOpenLocal, song.c_str());
    PlaylistOpenItem(kOpenUrl, "http://host/live");
    PlaylistOpenItem(kOpenUrl, "no-file-system-test");
    EXPECT_EQ(Paths(), (Strings{song, "http://host/live", "no-file-system-test"}));
    EXPECT_TRUE(ShownBoxes().empty());

    // A missing name is taken for a directory that cannot be listed.
    std::string gone = dir.File("gone.mp3");
    EXPECT_EQ(PlaylistOpenItem(kOpenLocal, gone.c_str()), 1);
    ASSERT_EQ(ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownBoxes()[0].text, "Error Adding Directory: " + gone);
    EXPECT_EQ(ShownBoxes()[0].caption, "Error...");
    EXPECT_EQ(ShownBoxes()[0].flags, kErrorFlags);

    // ".PlS" in any case is a playlist; a missing one cannot be loaded.
    std::string list = dir.File("missing.PlS");
    PlaylistOpenItem(kOpenLocal, list.c_str());
    std::string m3u = dir.File("missing.m3U");
    PlaylistOpenItem(kOpenLocal, m3u.c_str());
    ASSERT_EQ(ShownBoxes().size(), 3u);
    EXPECT_EQ(ShownBoxes()[1].text, "Error Loading Playlist: " + list);
    EXPECT_EQ(ShownBoxes()[2].text, "Error Loading Playlist: " + m3u);
    EXPECT_EQ(ShownBoxes()[2].flags, kErrorFlags);
    EXPECT_EQ(PlaylistCount(), 3);
}

// Names longer than a path, whatever brings them, are passed over and
// reported once for each list or directory, in whole characters.
TEST_F(PlaylistFiles, NamesLongerThanAPathArePassedOverWithAMessage) {
    testutil::TempDir dir;
    const std::string d = dir.File(""), longName(300, 'v'), longUrl = "http://h/" + std::string(300, 'u');
    const std::string wide = [] {
        std::string t;
        for (int i = 0; i < 1000; ++i) t += "\xE6\x9B\xB2";  // 3000 bytes of whole characters
        return t;
    }();
    const std::string several = "2 paths longer than 259 bytes were passed over; the first: ";
    const std::string one = "Path Longer Than 259 Bytes, Passed Over: ";
    const struct {
        const char* file;  // written in dir, then opened; "" opens text itself
        std::string text, message;
        Strings entries;
    } cases[] = {
        {"", std::string(3000, 'n'), one + std::string(3000, 'n'), {}},
        {"", wide, one + wide, {}},
        {"long.pls", "[playlist]\r\nFile1=" + longName + "\r\nFile2=ok.mp3\r\nFile3=" + longUrl + "\r\nNumberOfEntries=3\r\n",
         several + d + longName, {d + "ok.mp3"}},
        {"long.m3u", longName + "\n#EXTINF:1,T\nok.mp3\n", one + d + longName, {d + "ok.mp3"}},
    };
    for (const auto& c : cases) {
        PlaylistClear();
        ShownBoxes().clear();
        std::string name = c.text;
        if (*c.file) WriteText(name = dir.File(c.file), c.text);
        EXPECT_EQ(PlaylistOpenItem(kOpenLocal, name.c_str()), 1);
        EXPECT_EQ(Paths(), c.entries) << c.file;
        ASSERT_EQ(ShownBoxes().size(), 1u) << c.file;
        const std::string& shown = ShownBoxes()[0].text;
        EXPECT_EQ(shown, c.message.substr(0, shown.size())) << c.file;
        // At most 1023 bytes, in whole characters.
        EXPECT_EQ(shown.size(), std::min<size_t>(c.message.size(), c.text == wide ? 1022 : 1023)) << c.file;
        EXPECT_TRUE(IsValidUtf8(shown.data(), shown.size())) << c.file;
        EXPECT_EQ(ShownBoxes()[0].caption, "Error...");
    }
}

// ------------------------------------------------------------ PLS

TEST_F(PlaylistFiles, PlsWithRelativeAbsoluteUrlAndEmptyValues) {
    testutil::TempDir dir;
    std::filesystem::create_directories(dir.File("sub"));
    std::string a = dir.File("sub") + S + "a.mp3";
    std::string b = dir.File("b.mp3");
    MakeSong(a, 1);
    MakeSong(b, 2);
    std::string pls = dir.File("x.pls");
    WriteText(pls, "[other]\r\nFile1=wrong.mp3\r\n[playlist]\r\nFile1=sub" + S + "a.mp3\r\nFile2=" + b +
                       "\r\nFile3=http://radio.example/stream\r\nFile4=\r\nFile6=never-there.mp3\r\n"
                       "Title1=ignored\r\nNumberOfEntries=6\r\n");
    EXPECT_EQ(PlaylistLoadPls(pls.c_str()), 1);
    // The empty File4 and the missing File5 are passed over; the missing
    // file of File6 is added all the same.
    EXPECT_EQ(Paths(), (Strings{a, b, "http://radio.example/stream", dir.File("never-there.mp3")}));
    EXPECT_TRUE(ShownBoxes().empty());
}

TEST_F(PlaylistFiles, PlsEntryCountMissingZeroOrLying) {
    testutil::TempDir dir;
    std::string none = dir.File("none.pls");
    WriteText(none, "[playlist]\r\nFile1=a.mp3\r\n");
    EXPECT_EQ(PlaylistLoadPls(none.c_str()), 0);
    PlaylistOpenItem(kOpenLocal, none.c_str());
    ASSERT_EQ(ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownBoxes()[0].text, "Error Loading Playlist: " + none);
    EXPECT_EQ(ShownBoxes()[0].caption, "Error...");

    std::string zero = dir.File("zero.pls");
    WriteText(zero, "[playlist]\r\nFile1=a.mp3\r\nNumberOfEntries=0\r\n");
    EXPECT_EQ(PlaylistLoadPls(zero.c_str()), 1);
    EXPECT_EQ(PlaylistCount(), 0);

    std::string fewer = dir.File("fewer.pls");
    WriteText(fewer, "[playlist]\nFile1=a.mp3\nFile2=b.mp3\nFile3=c.mp3\nNumberOfEntries=2\n");
    PlaylistLoadPls(fewer.c_str());
    EXPECT_EQ(Paths(), (Strings{dir.File("a.mp3"), dir.File("b.mp3")}));

    // A count of two thousand million over two keys ends at once; key names
    // match in any case, blanks around them allowed.
    PlaylistClear();
    std::string huge = dir.File("huge.pls");
    WriteText(huge, "[PlayList]\n  file1 = a.mp3\nFILE2=b.mp3\nnumberofentries=2000000000\n");
    EXPECT_EQ(PlaylistLoadPls(huge.c_str()), 1);
    EXPECT_EQ(Paths(), (Strings{dir.File("a.mp3"), dir.File("b.mp3")}));
    EXPECT_EQ(ShownBoxes().size(), 1u);
}

// The reader goes over the keys present, never up to the count: each file
// ends at once and gives these entries.
TEST_F(PlaylistFiles, PlsKeysAreTakenAsTheFileHoldsThem) {
    testutil::TempDir dir;
    const std::string d = dir.File("");
    const struct {
        std::string text;
        Strings entries;
    } cases[] = {
        {"[playlist]\nNumberOfEntries=2147483647\nFile2147483647=a.mp3\n", {d + "a.mp3"}},
        {"[playlist]\nNumberOfEntries=2147483647\nFile2147483648=a.mp3\nFile99999999999=b\n", {}},
        {"[playlist]\nFile3=c\nFile1=a\nFile2=b\nFile1=dup\nNumberOfEntries=3\n", {d + "a", d + "b", d + "c"}},
        {"[playlist]\nFile01=z\nFile+1=z\nFile-1=z\nFile1x=z\nFile=z\nFile2\nNumberOfEntries=9\n", {}},
        {"[playlist]\nFile1=\"q.mp3\"\nFile2=''\nNumberOfEntries=-5\n", {}},
        {"[playlist]\nFile1=\"q.mp3\"\nFile2=''\nNumberOfEntries=0x10\n", {d + "q.mp3"}},
    };
    for (const auto& c : cases) {
        PlaylistClear();
        WriteText(dir.File("k.pls"), c.text);
        EXPECT_EQ(PlaylistLoadPls(dir.File("k.pls").c_str()), 1) << c.text;
        EXPECT_EQ(Paths(), c.entries) << c.text;
    }
}

// A URL's Title<n> is read from the parsed text, in the list's encoding.
TEST_F(PlaylistFiles, PlsTitlesOfUrlsInTheListsEncoding) {
    testutil::TempDir dir;
    const std::string pls = dir.File("t.pls");
    WriteText(pls, "[playlist]\nFile1=http://h/a\nTitle1=Caf\xE9\nFile2=http://h/b\nTitle2=\"Tab\there\"\n"
                   "File3=local.mp3\nTitle3=not kept\nFile4=http://h/d\nNumberOfEntries=4\n");
    ClearStreamTitles();
    PlaylistLoadPls(pls.c_str());
    char t[kPlaylistPathSize];
    const std::pair<const char*, const char*> titles[] = {
        {"http://h/a", "Caf\xC3\xA9"}, {"http://h/b", "Tab here"}, {"http://h/d", nullptr}};
    for (const auto& [url, title] : titles) {
        EXPECT_EQ(GetStreamTitle(url, t, sizeof t), title != nullptr) << url;
        if (title) {
            EXPECT_STREQ(t, title);
        }
    }
    EXPECT_FALSE(GetStreamTitle(dir.File("local.mp3").c_str(), t, sizeof t));
    ClearStreamTitles();
}

TEST_F(PlaylistFiles, SavePlsWritesTheseBytesAndReadsThemBack) {
    testutil::TempDir dir;
    std::string inside = dir.File("sub") + S + "a.mp3";
#ifdef _WIN32
    std::string outside = "E:\\b.mp3";
#else
    std::string outside = "/elsewhere/b.mp3";
#endif
    AddAll({inside.c_str(), outside.c_str(), "http://host/c.mp3"});
    std::string pls = dir.File("x.pls");
    EXPECT_EQ(PlaylistSavePls(pls.c_str()), 3);
    EXPECT_EQ(testutil::ReadText(pls), "[playlist]\r\nFile1=sub" + S + "a.mp3\r\nFile2=" + outside +
                                           "\r\nFile3=http://host/c.mp3\r\nNumberOfEntries=3\r\n");
    PlaylistClear();
    EXPECT_EQ(PlaylistLoadPls(pls.c_str()), 1);
    EXPECT_EQ(Paths(), (Strings{inside, outside, "http://host/c.mp3"}));
    EXPECT_TRUE(ShownBoxes().empty());
}

TEST_F(PlaylistFiles, ListsWrittenOnTheOtherSideRead) {
    // Subdirectories named with either separator find their files.
    testutil::TempDir dir;
    std::filesystem::create_directories(dir.File("sub"));
    MakeSong(dir.File("sub") + S + "a.mp3", 5);
    WriteText(dir.File("w.pls"), "[playlist]\r\nFile1=sub\\a.mp3\r\nFile2=sub/a.mp3\r\nNumberOfEntries=2\r\n");
    WriteText(dir.File("w.m3u"), "sub\\a.mp3\nsub/a.mp3\n");
    g_settings.ReadFileInfo = 1;
    PlaylistLoadPls(dir.File("w.pls").c_str());
    PlaylistLoadM3u(dir.File("w.m3u").c_str());
    ASSERT_EQ(PlaylistCount(), 4);
    for (int i = 0; i < 4; ++i) {
        PlaylistEntry e;
        PlaylistGetEntry(i, &e);
        EXPECT_EQ(e.infoRead, 1) << e.path;
        EXPECT_EQ(e.durationMs, 5000) << e.path;
    }
}

TEST_F(PlaylistFiles, SavePlsKeepsOtherContentAndIsBoundedByTheCount) {
    testutil::TempDir dir;
    std::string pls = dir.File("x.pls");
    WriteText(pls, "[other]\r\nk=v\r\n[playlist]\r\nFile1=old1\r\nFile2=old2\r\nFile3=old3\r\nNumberOfEntries=3\r\n");
    std::string song = dir.File("new.mp3");
    PlaylistAdd(song.c_str());
    EXPECT_EQ(PlaylistSavePls(pls.c_str()), 1);
    EXPECT_EQ(testutil::ReadText(pls),
              "[other]\r\nk=v\r\n[playlist]\r\nFile1=new.mp3\r\nFile2=old2\r\nFile3=old3\r\nNumberOfEntries=1\r\n");
    PlaylistClear();
    PlaylistLoadPls(pls.c_str());
    EXPECT_EQ(Paths(), (Strings{song}));
}

TEST_F(PlaylistFiles, SavePlsOfNothingOrIntoNowhere) {
    testutil::TempDir dir;
    std::string pls = dir.File("x.pls");
    EXPECT_EQ(PlaylistSavePls(pls.c_str()), 0);
    EXPECT_EQ(plat::GetPathKind(pls.c_str()), plat::PathMissing);
    PlaylistAdd("a.mp3");
    std::string nowhere = dir.File("no-such-dir") + S + "x.pls";
    EXPECT_EQ(PlaylistSavePls(nowhere.c_str()), 0);
}

TEST_F(PlaylistFiles, SavePlsMatchesTheDirectoryAsTheFileSystemDoes) {
    testutil::TempDir dir;
    std::string pls = dir.File("x.pls");
    std::string upper = dir.File("");
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; });
    upper += "a.mp3";
    ASSERT_NE(upper, dir.File("a.mp3"));
    PlaylistAdd(upper.c_str());
    PlaylistSavePls(pls.c_str());
#ifdef _WIN32
    EXPECT_NE(testutil::ReadText(pls).find("File1=a.mp3\r\n"), std::string::npos);
#else
    EXPECT_NE(testutil::ReadText(pls).find("File1=" + upper + "\r\n"), std::string::npos);
#endif
}

// ------------------------------------------------------------ M3U

TEST_F(PlaylistFiles, M3uAsPlayersWriteIt) {
    testutil::TempDir dir;
    std::string abs = dir.File("abs.mp3");
    std::string text = "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:123,Artist - Title\r\nsub" + S + "a.mp3\r\n\r\n  \t \r\n" +
                       abs + "\nhttp://host/y.mp3\r\nlast.mp3";
    std::string m3u = dir.File("list.m3u");
    WriteText(m3u, text);
    EXPECT_EQ(PlaylistLoadM3u(m3u.c_str()), 1);
    EXPECT_EQ(Paths(), (Strings{dir.File("sub") + S + "a.mp3", abs, "http://host/y.mp3", dir.File("last.mp3")}));
    EXPECT_TRUE(ShownBoxes().empty());

    // Old Mac line ends.
    PlaylistClear();
    WriteText(m3u, "a.mp3\rb.mp3\r");
    PlaylistLoadM3u(m3u.c_str());
    EXPECT_EQ(Paths(), (Strings{dir.File("a.mp3"), dir.File("b.mp3")}));

    EXPECT_EQ(PlaylistLoadM3u(dir.File("gone.m3u").c_str()), 0);
}

// ------------------------------------------------------------ encodings

const std::string kCyrillic = "\xD0\x9F\xD1\x96\xD1\x81\xD0\xBD\xD1\x8F";  // Пісня
const std::string kJapanese = "\xE6\x9B\xB2";                              // 曲
const std::string kCafe = "Caf\xC3\xA9";                                     // Café

TEST_F(PlaylistFiles, ListsReadInTheirEncoding) {
    testutil::TempDir dir;
    const struct {
        const char* name;
        std::string bytes;
        std::string entry;  // the one path it lists, below dir
    } cases[] = {
        {"bom.m3u", "\xEF\xBB\xBF" + kCyrillic + ".mp3\r\n", kCyrillic + ".mp3"},
        {"plain.m3u", kJapanese + ".mp3\n", kJapanese + ".mp3"},
        {"legacy.m3u", "Caf\xE9.mp3\n", kCafe + ".mp3"},
        {"utf16.m3u", std::string("\xFF\xFE" "a\0\x16\x04.\0m\0p\0" "3\0", 14), "a\xD0\x96.mp3"},
        {"broken.m3u8", "Caf\xE9.mp3\n", "Caf\xE9.mp3"},  // an .m3u8 is UTF-8 whatever it holds
        {"bom.pls", "\xEF\xBB\xBF[playlist]\r\nFile1=" + kCyrillic + ".mp3\r\nNumberOfEntries=1\r\n",
         kCyrillic + ".mp3"},
        {"legacy.pls", "[playlist]\nFile1=Caf\xE9.mp3\nNumberOfEntries=1\n", kCafe + ".mp3"},
    };
    for (const auto& c : cases) {
        PlaylistClear();
        WriteText(dir.File(c.name), c.bytes);
        PlaylistOpenItem(kOpenLocal, dir.File(c.name).c_str());
        EXPECT_EQ(Paths(), (Strings{dir.File("") + c.entry})) << c.name;
    }
    EXPECT_TRUE(ShownBoxes().empty());
}

TEST_F(PlaylistFiles, ListsAreSavedAsUtf8) {
    testutil::TempDir dir;
    const std::string a = dir.File(kCyrillic + ".mp3"), b = dir.File(kJapanese + ".mp2");
    AddAll({a.c_str(), b.c_str()});
    const std::string lines = kCyrillic + ".mp3\r\n" + kJapanese + ".mp2\r\n";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"x.m3u8", lines},
        {"x.m3u", "\xEF\xBB\xBF" + lines},
        {"x.pls", "[playlist]\r\nFile1=" + kCyrillic + ".mp3\r\nFile2=" + kJapanese +
                      ".mp2\r\nNumberOfEntries=2\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlaylistSaveList(dir.File(c.name).c_str()), 2) << c.name;
        EXPECT_EQ(testutil::ReadText(dir.File(c.name)), c.bytes) << c.name;
    }
    for (const auto& c : cases) {
        PlaylistClear();
        PlaylistOpenItem(kOpenLocal, dir.File(c.name).c_str());
        EXPECT_EQ(Paths(), (Strings{a, b})) << c.name;
    }
    // A list of ASCII names reads as every player reads an .m3u: no mark.
    PlaylistClear();
    PlaylistAdd(dir.File("plain.mp3").c_str());
    EXPECT_EQ(PlaylistSaveM3u(dir.File("y.m3u").c_str()), 1);
    EXPECT_EQ(testutil::ReadText(dir.File("y.m3u")), "plain.mp3\r\n");
    PlaylistClear();
    EXPECT_EQ(PlaylistSaveM3u(dir.File("z.m3u").c_str()), 0);
}

TEST_F(PlaylistFiles, NestedListsAndDirectoriesOpenInTurn) {
    testutil::TempDir dir;
    std::filesystem::create_directories(dir.File("albums"));
    std::string song = dir.File("albums") + S + "one.mp3";
    MakeSong(song, 1);
    WriteText(dir.File("inner.m3u"), "#EXTM3U\nsolo.mp3\n");
    WriteText(dir.File("outer.pls"), "[playlist]\nFile1=inner.m3u\nFile2=albums\nNumberOfEntries=2\n");
    PlaylistOpenItem(kOpenLocal, dir.File("outer.pls").c_str());
    EXPECT_EQ(Paths(), (Strings{dir.File("solo.mp3"), song}));
    EXPECT_TRUE(ShownBoxes().empty());
}

TEST_F(PlaylistFiles, APlaylistThatListsItselfStopsAtDepth16) {
    testutil::TempDir dir;
    std::string pls = dir.File("self.pls");
    WriteText(pls, "[playlist]\nFile1=self.pls\nFile2=song.mp3\nNumberOfEntries=2\n");
    PlaylistOpenItem(kOpenLocal, pls.c_str());
    EXPECT_EQ(PlaylistCount(), kPlaylistMaxDepth);
    EXPECT_TRUE(ShownBoxes().empty());

    PlaylistClear();
    std::string a = dir.File("a.m3u"), b = dir.File("b.m3u");
    WriteText(a, "b.m3u\nx.mp3\n");
    WriteText(b, "a.m3u\n");
    PlaylistOpenItem(kOpenLocal, a.c_str());
    EXPECT_EQ(PlaylistCount(), kPlaylistMaxDepth / 2);
    EXPECT_TRUE(ShownBoxes().empty());
}

// ------------------------------------------------------------ directories

TEST_F(PlaylistFiles, DirectoryScanIsRecursiveAndOpensPlaylistsFound) {
    testutil::TempDir dir;
    std::string root = dir.File("music");
    std::filesystem::create_directories(root + S + "sub" + S + "deeper");
    std::filesystem::create_directories(root + S + "empty");
    MakeSong(root + S + "a.mp3", 1);
    WriteText(root + S + "b.txt", "not audio");
    MakeSong(root + S + "sub" + S + "c.mp3", 1);
    MakeSong(root + S + "sub" + S + "deeper" + S + "d.MP2", 1);
    WriteText(root + S + "list.m3u", "x.mp3\n");
    Strings expect = {root + S + "a.mp3", root + S + "b.txt", root + S + "sub" + S + "c.mp3",
                      root + S + "sub" + S + "deeper" + S + "d.MP2", root + S + "x.mp3"};

    EXPECT_EQ(PlaylistAddDirectory(root.c_str()), 1);
    EXPECT_EQ(Sorted(Paths()), Sorted(expect));
    PlaylistClear();
    // A trailing separator gives the same names.
    PlaylistOpenItem(kOpenLocal, (root + S).c_str());
    EXPECT_EQ(Sorted(Paths()), Sorted(expect));
    EXPECT_TRUE(ShownBoxes().empty());

    EXPECT_EQ(PlaylistAddDirectory(dir.File("nothing").c_str()), 0);
    EXPECT_EQ(PlaylistAddDirectory((root + S + "a.mp3").c_str()), 0);  // a file
}

TEST_F(PlaylistFiles, DirectoryListingReportsKinds) {
    testutil::TempDir dir;
    std::filesystem::create_directories(dir.File("d"));
    MakeSong(dir.File("f.mp3"), 1);
    plat::DirFindData data;
    plat::DirFind find = plat::DirFindFirst(dir.Path().c_str(), &data);
    ASSERT_NE(find, nullptr);
    Strings files, dirs;
    do {
        (data.isDirectory ? dirs : files).push_back(data.name);
    } while (plat::DirFindNext(find, &data));
    plat::DirFindClose(find);
    EXPECT_EQ(files, (Strings{"f.mp3"}));
    dirs.erase(std::remove_if(dirs.begin(), dirs.end(), [](const std::string& n) { return n == "." || n == ".."; }),
               dirs.end());
    EXPECT_EQ(dirs, (Strings{"d"}));
    EXPECT_EQ(plat::GetPathKind(dir.File("d").c_str()), plat::PathIsDirectory);
    EXPECT_EQ(plat::GetPathKind(dir.File("f.mp3").c_str()), plat::PathIsFile);
    EXPECT_EQ(plat::GetPathKind(dir.File("x").c_str()), plat::PathMissing);
    EXPECT_EQ(plat::DirFindFirst(dir.File("x").c_str(), &data), nullptr);
}

#ifndef _WIN32
TEST_F(PlaylistFiles, VanishedEntriesAndLinkLoopsInADirectory) {
    testutil::TempDir dir;
    std::string root = dir.File("tree");
    std::filesystem::create_directories(root);
    MakeSong(root + "/a.mp3", 1);
    // A link whose target has gone is listed but cannot be opened.
    std::filesystem::create_symlink(root + "/vanished.mp3", root + "/dangling.mp3");
    PlaylistAddDirectory(root.c_str());
    EXPECT_EQ(Paths(), (Strings{root + "/a.mp3"}));
    ASSERT_EQ(ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownBoxes()[0].text, "Error Adding Directory: " + root + "/dangling.mp3");

    // A pipe is added, but nobody waits for a writer to read its info.
    PlaylistClear();
    ShownBoxes().clear();
    std::filesystem::remove(root + "/dangling.mp3");
    ASSERT_EQ(mkfifo((root + "/pipe.mp3").c_str(), 0600), 0);
    g_settings.ReadFileInfo = 1;
    PlaylistAddDirectory(root.c_str());
    EXPECT_EQ(Sorted(Paths()), (Strings{root + "/a.mp3", root + "/pipe.mp3"}));
    std::filesystem::remove(root + "/pipe.mp3");
    g_settings.ReadFileInfo = 0;

    // A directory of 257..259 bytes leaves room for few names or none: the
    // others are passed over, once reported, and nothing is opened twice.
    for (size_t len : {257u, 258u, 259u}) {
        PlaylistClear();
        ShownBoxes().clear();
        std::string deep = root + "/x";
        while (deep.size() < len) deep += "/" + std::string(std::min<size_t>(200, len - deep.size() - 1), 'd');
        ASSERT_EQ(deep.size(), len);
        std::filesystem::create_directories(deep + "/sub");
        MakeSong(deep + "/a", 1);
        MakeSong(deep + "/bb.mp3", 1);
        PlaylistOpenItem(kOpenLocal, deep.c_str());
        EXPECT_EQ(Paths(), len == 257 ? Strings{deep + "/a"} : Strings{}) << len;
        ASSERT_EQ(ShownBoxes().size(), 1u) << len;
        EXPECT_EQ(ShownBoxes()[0].text.rfind(len == 257 ? "2 paths longer" : "3 paths longer", 0), 0u) << len;
        std::filesystem::remove_all(root + "/x");
    }
    PlaylistClear();
    ShownBoxes().clear();

    // A link back to the tree ends at the depth limit.
    PlaylistClear();
    ShownBoxes().clear();
    std::filesystem::create_directory_symlink(root, root + "/loop");
    PlaylistOpenItem(kOpenLocal, root.c_str());
    EXPECT_EQ(PlaylistCount(), kPlaylistMaxDepth);
    EXPECT_TRUE(ShownBoxes().empty());
}
#endif

// ------------------------------------------------------------ the open dialog's result

TEST_F(PlaylistFiles, ChosenFilesOneOrSeveralGiveTheSamePaths) {
    testutil::TempDir dir;
    std::string d = dir.Path();
    for (const char* n : {"a.mp3", "b.mp3", "c.mp3"}) MakeSong(dir.File(n), 1);
    std::string single = dir.File("a.mp3") + std::string(2, '\0');
    char saved[260];
    std::snprintf(saved, sizeof saved, "%s", g_settings.PreviousDir);
    EXPECT_EQ(PlaylistOpenChosenFiles(single.data(), single.size(), dir.File("").size(), 1), 1);
    EXPECT_EQ(Paths(), (Strings{dir.File("a.mp3")}));
    EXPECT_EQ(std::string(g_settings.PreviousDir), dir.File(""));

    std::string several = d + '\0' + "a.mp3" + '\0' + "b.mp3" + '\0' + "c.mp3" + '\0' + '\0';
    EXPECT_EQ(PlaylistOpenChosenFiles(several.data(), several.size(), d.size() + 1, 1), 3);
    EXPECT_EQ(Paths(), (Strings{dir.File("a.mp3"), dir.File("b.mp3"), dir.File("c.mp3")}));
    EXPECT_EQ(std::string(g_settings.PreviousDir), d);
    EXPECT_EQ(PlaylistOpenChosenFiles(several.data(), several.size(), d.size() + 1, 0), 3);
    EXPECT_EQ(PlaylistCount(), 6);
    std::snprintf(g_settings.PreviousDir, sizeof g_settings.PreviousDir, "%s", saved);
}

// ------------------------------------------------------------ the tool's side

TEST_F(PlaylistFiles, ListingPrintsPathLengthTitleArtist) {
    testutil::TempDir dir;
    MakeSong(dir.File("a.mp3"), 61, "Title A", "Artist A");
    MakeSong(dir.File("b.mp3"), 3600);
    WriteText(dir.File("c.txt"), "text");
    std::string m3u = dir.File("l.m3u");
    WriteText(m3u, "a.mp3\r\nb.mp3\r\nc.txt\r\nhttp://host/s\r\n");
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(PrintPlaylistListing(m3u.c_str(), out), 4);
    std::rewind(out);
    std::string text;
    char buf[512];
    while (std::fgets(buf, sizeof buf, out)) text += buf;
    std::fclose(out);
    EXPECT_EQ(text, dir.File("a.mp3") + "\t61000\tTitle A\tArtist A\n" + dir.File("b.mp3") + "\t3600000\t\t\n" +
                        dir.File("c.txt") + "\t?\t\t\nhttp://host/s\t?\t\t\n");
    EXPECT_EQ(g_settings.ReadFileInfo, 0);  // restored
}

TEST_F(PlaylistFiles, PlayingAWholeListStepsAsTheMainWindowDoes) {
    char path[260];
    EXPECT_EQ(PlaylistFirstToPlay(0, path, sizeof path), 0);
    AddAll({"a", "b", "c"});
    PlaylistSelect(2, nullptr);
    ASSERT_EQ(PlaylistFirstToPlay(0, path, sizeof path), 1);
    EXPECT_STREQ(path, "a");
    ASSERT_EQ(PlaylistNextToPlay(0, path, sizeof path), 1);
    EXPECT_STREQ(path, "b");
    ASSERT_EQ(PlaylistNextToPlay(0, path, sizeof path), 1);
    EXPECT_STREQ(path, "c");
    EXPECT_EQ(PlaylistNextToPlay(0, path, sizeof path), 0);
    ASSERT_EQ(PlaylistNextToPlay(1, path, sizeof path), 1);
    EXPECT_STREQ(path, "a");

    // Shuffled, the list still plays from its (new) first entry.
    PlaylistSeedShuffle(3);
    ASSERT_EQ(PlaylistFirstToPlay(1, path, sizeof path), 1);
    EXPECT_EQ(PlaylistGetCurrentIndex(), 0);
}

TEST(PlaylistOutputNames, NumberGoesBeforeTheExtension) {
    char out[260];
    ASSERT_EQ(MakeNumberedOutputName("out.wav", 2, out, sizeof out), 1);
    EXPECT_STREQ(out, "out-2.wav");
    std::string withDir = "dir.d" + S + "out";
    ASSERT_EQ(MakeNumberedOutputName(withDir.c_str(), 3, out, sizeof out), 1);
    EXPECT_EQ(std::string(out), withDir + "-3");
    ASSERT_EQ(MakeNumberedOutputName("a.b.wav", 12, out, sizeof out), 1);
    EXPECT_STREQ(out, "a.b-12.wav");
    ASSERT_EQ(MakeNumberedOutputName(".wav", 2, out, sizeof out), 1);
    EXPECT_STREQ(out, ".wav-2");
    char small[9];
    EXPECT_EQ(MakeNumberedOutputName("out.wav", 2, small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    char fits[10];
    EXPECT_EQ(MakeNumberedOutputName("out.wav", 2, fits, sizeof fits), 1);
}

}  // namespace
