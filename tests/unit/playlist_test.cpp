// The playlist model: adding, the cursor, reordering by content exchange,
// removal, the refresh hook, reading an entry's info, and copies of the
// current entry taken by another thread while the list changes.
#include "playlist/playlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "playlist_test_util.h"

namespace {

using namespace pltest;
using Strings = std::vector<std::string>;

class PlaylistModel : public PlaylistFixture {};

TEST_F(PlaylistModel, AddMakesFirstEntryCurrentAndLeavesCursorAfterwards) {
    EXPECT_EQ(PlaylistCount(), 0);
    EXPECT_EQ(CurrentPath(), "<none>");
    AddAll({"a", "b"});
    EXPECT_EQ(CurrentPath(), "a");
    ASSERT_EQ(PlaylistNext(), 1);
    PlaylistAdd("c");
    EXPECT_EQ(CurrentPath(), "b");
    EXPECT_EQ(PlaylistCount(), 3);
    EXPECT_EQ(Paths(), (Strings{"a", "b", "c"}));
    EXPECT_EQ(PlaylistGetCurrentIndex(), 1);
    EXPECT_EQ(PlaylistAdd(nullptr), 0);
}

TEST_F(PlaylistModel, PathsAreRefusedNeverCut) {
    EXPECT_EQ(PlaylistAdd(std::string(260, 'x').c_str()), 0);
    EXPECT_EQ(PlaylistCount(), 0);
    PlaylistAdd(std::string(259, 'x').c_str());
    PlaylistEntry e;
    ASSERT_EQ(PlaylistGetEntry(0, &e), 1);
    EXPECT_EQ(std::string(e.path), std::string(259, 'x'));
    char small[10];
    ASSERT_EQ(PlaylistGetCurrentPath(small, sizeof small), 1);
    EXPECT_EQ(std::string(small), std::string(9, 'x'));
}

TEST_F(PlaylistModel, SelectByIndexAndByPath) {
    EXPECT_EQ(PlaylistSelect(0, nullptr), 0);  // empty
    AddAll({"a", "b", "c"});
    EXPECT_EQ(PlaylistSelect(5, nullptr), 0);
    EXPECT_EQ(CurrentPath(), "c");
    EXPECT_EQ(PlaylistSelect(1, nullptr), 1);
    EXPECT_EQ(CurrentPath(), "b");
    EXPECT_EQ(PlaylistSelect(-7, nullptr), 1);
    EXPECT_EQ(CurrentPath(), "a");
    EXPECT_EQ(PlaylistSelect(-1, "c"), 1);
    EXPECT_EQ(CurrentPath(), "c");
    EXPECT_EQ(PlaylistSelect(-1, "C"), 1);  // case-sensitive: no match, the first
    EXPECT_EQ(CurrentPath(), "a");
}

TEST_F(PlaylistModel, NextAndPrevStopAtTheEnds) {
    EXPECT_EQ(PlaylistNext(), 0);
    EXPECT_EQ(PlaylistPrev(), 0);
    AddAll({"a", "b"});
    EXPECT_EQ(PlaylistPrev(), 0);
    EXPECT_EQ(PlaylistNext(), 1);
    EXPECT_EQ(PlaylistNext(), 0);
    EXPECT_EQ(CurrentPath(), "b");
    EXPECT_EQ(PlaylistPrev(), 1);
    EXPECT_EQ(CurrentPath(), "a");
}

TEST_F(PlaylistModel, SortIsByteOrderAndKeepsTheCurrentSong) {
    AddAll({"b.mp3", "B.mp3", "a.mp3", "\xC3\xA9.mp3"});
    PlaylistSelect(2, nullptr);  // a.mp3
    ASSERT_EQ(PlaylistSort(0), 1);
    EXPECT_EQ(Paths(), (Strings{"B.mp3", "a.mp3", "b.mp3", "\xC3\xA9.mp3"}));
    EXPECT_EQ(CurrentPath(), "a.mp3");
    EXPECT_EQ(PlaylistGetCurrentIndex(), 1);
    ASSERT_EQ(PlaylistSort(1), 1);
    EXPECT_EQ(Paths(), (Strings{"\xC3\xA9.mp3", "b.mp3", "a.mp3", "B.mp3"}));
    EXPECT_EQ(CurrentPath(), "a.mp3");

    PlaylistClear();
    AddAll({"ab", "a"});  // a prefix sorts first
    PlaylistSort(0);
    EXPECT_EQ(Paths(), (Strings{"a", "ab"}));
    PlaylistClear();
    PlaylistAdd("only");
    EXPECT_EQ(PlaylistSort(0), 0);
}

TEST_F(PlaylistModel, SortKeepsEqualPathsInTheirOrder) {
    // Equal paths, told apart by the cursor: the current one of two equal
    // entries must stay the second of them.
    AddAll({"z", "x", "x", "a"});
    PlaylistSelect(2, nullptr);
    PlaylistSort(0);
    EXPECT_EQ(Paths(), (Strings{"a", "x", "x", "z"}));
    EXPECT_EQ(PlaylistGetCurrentIndex(), 2);
    PlaylistSort(1);
    EXPECT_EQ(Paths(), (Strings{"z", "x", "x", "a"}));
    EXPECT_EQ(PlaylistGetCurrentIndex(), 2);
}

TEST_F(PlaylistModel, ShuffleKeepsEveryEntryOnceAndTheCurrentSong) {
    AddAll({"a", "b"});
    EXPECT_EQ(PlaylistShuffle(), 0);
    EXPECT_EQ(Paths(), (Strings{"a", "b"}));

    PlaylistClear();
    Strings names;
    for (int i = 0; i < 50; ++i) names.push_back("song" + std::to_string(i));
    for (auto& n : names) PlaylistAdd(n.c_str());
    PlaylistSelect(17, nullptr);
    PlaylistSeedShuffle(12345);
    ASSERT_EQ(PlaylistShuffle(), 1);
    Strings shuffled = Paths();
    EXPECT_NE(shuffled, names);
    EXPECT_EQ(CurrentPath(), "song17");
    Strings sorted = shuffled;
    std::sort(sorted.begin(), sorted.end());
    Strings expect = names;
    std::sort(expect.begin(), expect.end());
    EXPECT_EQ(sorted, expect);
    // The generator runs on: a second shuffle gives another order.
    PlaylistShuffle();
    EXPECT_NE(Paths(), shuffled);
}

TEST_F(PlaylistModel, ShuffleOfALongListStaysAPermutation) {
    // Longer than the generator's 15 bits cover in j.
    const int n = 10000;
    for (int i = 0; i < n; ++i) PlaylistAdd(std::to_string(i).c_str());
    PlaylistSelect(9999, nullptr);
    ASSERT_EQ(PlaylistShuffle(), 1);
    std::vector<int> seen(n, 0);
    for (auto& p : Paths()) seen[static_cast<size_t>(std::stoi(p))]++;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n);
    EXPECT_EQ(CurrentPath(), "9999");
}

TEST_F(PlaylistModel, MoveRunsOfEntriesTogether) {
    AddAll({"A", "B", "C", "D", "E"});
    const int sel[] = {1, 2};
    PlaylistSelect(2, nullptr);  // C
    EXPECT_EQ(PlaylistMove(1, 2, sel), 2);
    EXPECT_EQ(Paths(), (Strings{"A", "D", "B", "C", "E"}));
    EXPECT_EQ(CurrentPath(), "C");

    PlaylistClear();
    AddAll({"A", "B", "C", "D", "E"});
    EXPECT_EQ(PlaylistMove(0, 2, sel), 2);
    EXPECT_EQ(Paths(), (Strings{"B", "C", "A", "D", "E"}));

    const int first[] = {0}, last[] = {4}, outside[] = {-1, 9};
    PlaylistMove(0, 1, first);
    PlaylistMove(1, 1, last);
    PlaylistMove(1, 2, outside);
    EXPECT_EQ(Paths(), (Strings{"B", "C", "A", "D", "E"}));
    EXPECT_EQ(PlaylistMove(1, 0, sel), 0);
}

TEST_F(PlaylistModel, RemoveByPositionsBeforeRemoval) {
    AddAll({"A", "B", "C", "D"});
    const int sel[] = {0, 2};
    EXPECT_EQ(PlaylistRemove(2, sel), 2);
    EXPECT_EQ(Paths(), (Strings{"B", "D"}));
    EXPECT_EQ(CurrentPath(), "B");  // A was current: the new first entry

    PlaylistClear();
    AddAll({"A", "B", "C"});
    const int bad[] = {-3, 1, 1, 7};
    EXPECT_EQ(PlaylistRemove(4, bad), 1);
    EXPECT_EQ(Paths(), (Strings{"A", "C"}));
    // Appending after removing the last entry links behind the new last one.
    const int lastOne[] = {1};
    PlaylistRemove(1, lastOne);
    PlaylistAdd("D");
    EXPECT_EQ(Paths(), (Strings{"A", "D"}));
}

TEST_F(PlaylistModel, RemovingTheCurrentEntryMovesTheCursor) {
    AddAll({"A", "B", "C"});
    PlaylistSelect(1, nullptr);
    const int inner[] = {1};
    PlaylistRemove(1, inner);
    EXPECT_EQ(CurrentPath(), "C");  // an inner entry: its successor

    const int last[] = {1};
    PlaylistRemove(1, last);
    EXPECT_EQ(CurrentPath(), "A");  // the last of several: its predecessor
    EXPECT_EQ(PlaylistNext(), 0);

    const int only[] = {0};
    PlaylistRemove(1, only);
    EXPECT_EQ(CurrentPath(), "<none>");
    char path[260];
    EXPECT_EQ(PlaylistGetCurrentPath(path), 0);
    PlaylistAdd("E");
    EXPECT_EQ(CurrentPath(), "E");

    // A run that includes the current entry and everything behind it.
    PlaylistClear();
    AddAll({"A", "B", "C", "D"});
    PlaylistSelect(2, nullptr);
    const int tail[] = {2, 3};
    PlaylistRemove(2, tail);
    EXPECT_EQ(CurrentPath(), "B");
}

int g_refreshCalls;
int g_countInRefresh;
void CountRefresh() {
    ++g_refreshCalls;
    g_countInRefresh = PlaylistCount();  // the hook may read the list
}

TEST_F(PlaylistModel, ClearFreesEverythingThenAsksForARefresh) {
    g_refreshCalls = 0;
    g_countInRefresh = -1;
    SetPlaylistRefreshHook(CountRefresh);
    AddAll({"a", "b"});
    PlaylistNext();
    const int sel[] = {0};
    PlaylistRemove(1, sel);
    PlaylistSort(0);
    EXPECT_EQ(g_refreshCalls, 0);  // only Clear asks
    EXPECT_EQ(PlaylistClear(), 1);
    EXPECT_EQ(g_refreshCalls, 1);
    EXPECT_EQ(g_countInRefresh, 0);
    EXPECT_EQ(CurrentPath(), "<none>");
    PlaylistAdd("c");
    EXPECT_EQ(CurrentPath(), "c");
}

// ------------------------------------------------------------ file info

class PlaylistInfo : public PlaylistFixture {};

PlaylistEntry InfoOf(const std::string& path) {
    PlaylistEntry e{};
    std::snprintf(e.path, sizeof e.path, "%s", path.c_str());
    ReadPlaylistEntryInfo(&e);
    return e;
}

TEST_F(PlaylistInfo, ConstantBitrateWithTags) {
    testutil::TempDir dir;
    std::string plain = dir.File("plain.mp3"), tagged = dir.File("tagged.mp3");
    testutil::WriteBytes(plain, Cbr128(250));
    // An ID3v2 tag in front and an ID3v1 tag behind do not count as audio.
    testutil::WriteBytes(tagged, Cat(Cat(Id3v2(50000), Cbr128(10)), Id3v1("Title", "Artist")));
    PlaylistEntry a = InfoOf(plain), b = InfoOf(tagged);
    EXPECT_EQ(a.infoRead, 1);
    EXPECT_EQ(a.durationMs, 250000);
    EXPECT_EQ(a.tag.valid, 0);
    EXPECT_EQ(b.infoRead, 1);
    EXPECT_EQ(b.durationMs, 10000);
    EXPECT_EQ(b.tag.valid, 1);
    EXPECT_STREQ(b.tag.title, "Title");
    EXPECT_STREQ(b.tag.artist, "Artist");
}

// n frames of MPEG-1 Layer III at 44.1 kHz with the given bitrate index.
Bytes Frames(int n, int bitrateIndex) {
    static const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    Bytes f(static_cast<size_t>(144000 * kbps[bitrateIndex] / 44100), 0);
    f[0] = 0xFF, f[1] = 0xFB, f[2] = static_cast<uint8_t>(bitrateIndex << 4), f[3] = 0;
    Bytes out;
    for (int i = 0; i < n; ++i) out.insert(out.end(), f.begin(), f.end());
    return out;
}

TEST_F(PlaylistInfo, XingFrameCountAndVariableBitrate) {
    testutil::TempDir dir;
    // A Xing frame (MPEG-1 stereo: behind 32 bytes of side information)
    // counting 3828 frames of 1152 samples at 44.1 kHz: 99.99 s.
    Bytes xing(417, 0);
    std::memcpy(xing.data(), kHeader128, 4);
    std::memcpy(xing.data() + 36, "Xing", 4);
    xing[43] = 1;  // flags: frame count present
    uint32_t frames = 3828;
    xing[44] = uint8_t(frames >> 24), xing[45] = uint8_t(frames >> 16), xing[46] = uint8_t(frames >> 8),
    xing[47] = uint8_t(frames);
    std::string vbr = dir.File("xing.mp3");
    testutil::WriteBytes(vbr, Cat(Cat(Id3v2(1000), xing), Frames(3828, 9)));
    EXPECT_EQ(InfoOf(vbr).durationMs, 99000);
    // The header frame alone: no audio, no length.
    testutil::WriteBytes(vbr, Cat(Id3v2(1000), xing));
    EXPECT_EQ(InfoOf(vbr).infoRead, 0);

    // No VBR header, frames of 64 and 128 kbit/s alternating: the average
    // frame (313.5 bytes, 26.1 ms) counts, not the first frame's bitrate.
    Bytes stream;
    for (int i = 0; i < 2000; ++i) {
        bool low = i % 2;
        Bytes f(low ? 208 : 417, 0);
        f[0] = 0xFF, f[1] = 0xFB, f[2] = low ? 0x50 : 0x90, f[3] = 0;
        stream = Cat(stream, f);
    }
    std::string mixed = dir.File("mixed.mp3");
    testutil::WriteBytes(mixed, stream);
    EXPECT_EQ(InfoOf(mixed).durationMs, 52000);  // 2000 frames x 26.12 ms
}

TEST_F(PlaylistInfo, VariableBitrateIsNotJudgedByItsFirstFrames) {
    testutil::TempDir dir;
    // A quiet start: 100 frames at 32 kbit/s, then 300 at 320 kbit/s.
    std::string sweep = dir.File("sweep.mp3");
    testutil::WriteBytes(sweep, Cat(Frames(100, 1), Frames(300, 14)));
    EXPECT_EQ(InfoOf(sweep).durationMs, 10000);  // 400 x 26.12 ms

    // Longer streams are sampled: 3000 frames at 128 and 3000 at 256 kbit/s
    // play 156.7 s.
    std::string longer = dir.File("longer.mp3");
    testutil::WriteBytes(longer, Cat(Frames(3000, 9), Frames(3000, 13)));
    EXPECT_NEAR(InfoOf(longer).durationMs, 156000, 16000);
}

TEST_F(PlaylistInfo, NoUsableHeaderLeavesInfoUnreadButReadsTheTag) {
    testutil::TempDir dir;
    std::string text = dir.File("notes.txt");
    Bytes junk(5000, 'x');
    testutil::WriteBytes(text, Cat(junk, Id3v1("Notes", "")));
    PlaylistEntry e = InfoOf(text);
    EXPECT_EQ(e.infoRead, 0);
    EXPECT_EQ(e.tag.valid, 1);
    EXPECT_STREQ(e.tag.title, "Notes");

    // Free format (bitrate index 0) gives no length either.
    std::string free = dir.File("free.mp3");
    Bytes f = Cbr128(2);
    for (size_t i = 0; i + 2 < f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] == 0xFB) f[i + 2] &= 0x0F;
    testutil::WriteBytes(free, f);
    EXPECT_EQ(InfoOf(free).infoRead, 0);

    // Junk in front of the audio is passed over as the frame reader does.
    std::string late = dir.File("late.mp3");
    Bytes frames;
    for (int i = 0; i < 40; ++i) {
        Bytes fr(417, 0);
        std::memcpy(fr.data(), kHeader128, 4);
        frames = Cat(frames, fr);
    }
    testutil::WriteBytes(late, Cat(Bytes(1000, 0x11), Cat(frames, Bytes(16000 * 3, 0))));
    PlaylistEntry l = InfoOf(late);
    EXPECT_EQ(l.infoRead, 1);
    EXPECT_EQ(l.durationMs, 1000);  // 40 frames: the zeros behind them are no audio
}

TEST_F(PlaylistInfo, MissingFilesAndUrlsStayUnread) {
    testutil::TempDir dir;
    PlaylistEntry e = InfoOf(dir.File("gone.mp3"));
    EXPECT_EQ(e.infoRead, 0);
    EXPECT_EQ(e.tag.valid, 0);
    EXPECT_EQ(InfoOf("http://127.0.0.1:1/a.mp3").infoRead, 0);
    EXPECT_TRUE(ShownBoxes().empty());
}

TEST_F(PlaylistInfo, AddReadsInfoOnlyWhenAskedAndCurrentPathReadsItLater) {
    testutil::TempDir dir;
    std::string song = dir.File("song.mp3");
    MakeSong(song, 61, "T", "A");
    PlaylistAdd(song.c_str());
    PlaylistEntry e;
    PlaylistGetCurrentEntry(&e);
    EXPECT_EQ(e.infoRead, 0);
    char path[260];
    ASSERT_EQ(PlaylistGetCurrentPath(path), 1);
    EXPECT_EQ(std::string(path), song);
    PlaylistGetCurrentEntry(&e);
    EXPECT_EQ(e.infoRead, 1);
    EXPECT_EQ(e.durationMs, 61000);
    EXPECT_STREQ(e.tag.title, "T");
    EXPECT_EQ(e.prev, nullptr);
    EXPECT_EQ(e.next, nullptr);

    g_settings.ReadFileInfo = 1;
    PlaylistAdd(song.c_str());
    ASSERT_EQ(PlaylistGetEntry(1, &e), 1);
    EXPECT_EQ(e.infoRead, 1);
    EXPECT_EQ(e.durationMs, 61000);
}

// ------------------------------------------------------------ concurrency

struct HammerResult {
    std::atomic<int> copies{0}, torn{0};
};

// The content of every song ties its path, length and title together: a
// copy mixing two entries shows it.
bool Consistent(const PlaylistEntry& e) {
    std::string p = e.path;
    size_t slash = p.find_last_of("\\/");
    std::string stem = p.substr(slash + 1, p.size() - slash - 5);
    return e.infoRead == 1 && e.tag.valid == 1 && stem == e.tag.title &&
           e.durationMs == 1000 * std::stoi(stem);
}

TEST_F(PlaylistModel, CopiesOfTheCurrentEntryNeverTearWhileTheListChanges) {
    testutil::TempDir dir;
    std::vector<std::string> songs;
    for (int i = 1; i <= 12; ++i) {
        songs.push_back(dir.File(std::to_string(i) + ".mp3"));
        MakeSong(songs.back(), i, std::to_string(i), "x");
    }
    g_settings.ReadFileInfo = 1;
    for (auto& s : songs) PlaylistAdd(s.c_str());

    HammerResult r;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        PlaylistEntry e;
        while (!done.load()) {
            if (PlaylistGetCurrentEntry(&e)) {
                r.copies++;
                if (!Consistent(e)) r.torn++;
            }
        }
    });
    PlaylistSeedShuffle(7);
    const int rounds = testutil::StressRounds(300);
    for (int round = 0; round < rounds; ++round) {
        PlaylistShuffle();
        PlaylistSort(round & 1);
        const int sel[] = {0, 3, 5};
        PlaylistMove(round & 1, 3, sel);
        PlaylistNext();
        if (round % 10 == 0) {
            const int rem[] = {round % 12};
            PlaylistRemove(1, rem);
            PlaylistAdd(songs[static_cast<size_t>(round % 12)].c_str());
        }
        if (round % 50 == 49 || round == rounds - 1) {
            PlaylistClear();
            for (auto& s : songs) PlaylistAdd(s.c_str());
        }
    }
    // The reader must have copied something before it is stopped.
    const int copies = testutil::UnderValgrind() ? 20 : 1000;
    while (r.copies.load() < copies) std::this_thread::yield();
    done = true;
    reader.join();
    EXPECT_EQ(r.torn.load(), 0);
}

}  // namespace
