// The playlist editor's texts: list lines, the play time line and the play
// time of a selection.
#include "shell/playlist_editor_text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "playlist_test_util.h"

namespace {

using namespace pltest;

TEST(PlaylistEditorText, LineShowsTitleThenArtistOrTheFileName) {
    PlaylistEntry e{};
    std::strcpy(e.path, "dir/t.mp3");
    char line[kEditorLineSize];
    FormatEditorLine(line, sizeof line, 2, e, "t.mp3");
    EXPECT_STREQ(line, "2> t.mp3");
    e.titles.source = kTitleId3v2;
    std::strcpy(e.titles.title, "T\xC3\xBC");
    std::strcpy(e.titles.artist, "A");
    FormatEditorLine(line, sizeof line, 3, e, "t.mp3");
    EXPECT_STREQ(line, "3> T\xC3\xBC / A");
}

TEST(PlaylistEditorText, PlaytimeInHoursMinutesSecondsOrUnknown) {
    char text[64];
    FormatPlaytime(text, sizeof text, 61 + 3600);
    EXPECT_STREQ(text, "Playtime: 01:01:01");
    FormatPlaytime(text, sizeof text, 0);
    EXPECT_STREQ(text, "Playtime: 00:00:00");
    FormatPlaytime(text, sizeof text, 100 * 3600 + 59);
    EXPECT_STREQ(text, "Playtime: 100:00:59");
    FormatPlaytime(text, sizeof text, -1);
    EXPECT_STREQ(text, "Playtime: Unknown");
}

class PlaylistEditorSelection : public PlaylistFixture {};

TEST_F(PlaylistEditorSelection, TotalOfReadEntriesUnknownWithAnUnreadOne) {
    testutil::TempDir dir;
    MakeSong(dir.File("a.mp3"), 61);
    MakeSong(dir.File("b.mp3"), 59, "B", "Band");
    g_settings.ReadFileInfo = 1;
    AddAll({dir.File("a.mp3").c_str(), dir.File("b.mp3").c_str(), dir.File("missing.mp3").c_str()});
    const int both[] = {0, 1}, withUnread[] = {0, 1, 2}, outside[] = {0, 7};
    EXPECT_EQ(SelectionPlaytime(both, 2), 120);
    EXPECT_EQ(SelectionPlaytime(withUnread, 3), -1);
    EXPECT_EQ(SelectionPlaytime(outside, 2), -1);
    EXPECT_EQ(SelectionPlaytime(nullptr, 0), 0);
}

}  // namespace
