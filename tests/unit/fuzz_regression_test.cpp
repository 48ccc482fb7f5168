// Inputs the fuzz targets (tests/fuzz) found faults with, kept as unit
// tests where the fault shows without a sanitizer too.
#include <gtest/gtest.h>

#include "playlist/playlist.h"
#include "playlist/playlist_files.h"
#include "settings/settings.h"
#include "test_util.h"

// An M3U file that holds nothing but the UTF-8 byte-order mark: the line
// reader once stepped past its buffer looking for the first line.
TEST(FuzzRegression, M3uOfOnlyTheByteOrderMarkListsNothing) {
    testutil::TempDir dir;
    std::string list = dir.File("mark.m3u");
    testutil::WriteBytes(list, {0xEF, 0xBB, 0xBF});
    g_settings.ReadFileInfo = 0;
    PlaylistClear();
    EXPECT_EQ(PlaylistLoadM3u(list.c_str()), 1);
    EXPECT_EQ(PlaylistCount(), 0);
    PlaylistClear();
}

// A list that names itself twice: the depth limit alone let it load 2^16
// times. The loads under one open are bounded; the entries show how many.
TEST(FuzzRegression, APlaylistNamingItselfTwiceLoadsABoundedNumberOfTimes) {
    testutil::TempDir dir;
    std::string list = dir.File("twice.m3u");
    const std::string text = "twice.m3u\nsong.mp3\ntwice.m3u\n";
    testutil::WriteBytes(list, std::vector<uint8_t>(text.begin(), text.end()));
    g_settings.ReadFileInfo = 0;
    PlaylistClear();
    PlaylistOpenItem(kOpenLocal, list.c_str());
    EXPECT_EQ(PlaylistCount(), 256);  // one song per load
    PlaylistClear();
}
