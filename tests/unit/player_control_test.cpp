// Playback control: the commands' effect on PlayerState, on the decoder
// thread's queue (here: the test thread's own) and on the output driver,
// and the stepping at the end of a track.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "decoder/decoder_thread.h"
#include "output/output_driver.h"
#include "platform/thread.h"
#include "playlist/playlist.h"
#include "shell/player_control.h"
#include "settings/settings.h"

namespace {

// Driver calls in order: 'P'ause, 'R'esume, 'F'lush.
std::string g_calls;
int FakePause() { g_calls += 'P'; return 1; }
int FakeResume() { g_calls += 'R'; return 1; }
int FakeFlush() { g_calls += 'F'; return 1; }

struct Posted {
    unsigned msg;
    std::string path;  // DCMD_PLAY_FILE only
};

class PlayerControl : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_settings;
        savedDriver_ = g_outputDriver;
        g_settings.ReadFileInfo = 0;
        g_settings.ShufflePlay = 0;
        g_settings.RepeatPlay = 0;
        driver_ = AudioOutputDriver{};
        driver_.Pause = FakePause;
        driver_.Resume = FakeResume;
        driver_.Flush = FakeFlush;
        g_outputDriver = &driver_;
        g_calls.clear();
        PlaylistClear();
        SetPlayerDecoderThread(static_cast<int>(plat::CurrentThreadId()));
        Drain();
    }
    void TearDown() override {
        Drain();
        PlaylistClear();
        SetPlayerDecoderThread(-1);
        g_outputDriver = savedDriver_;
        g_settings = saved_;
    }
    // The messages posted to the "decoder" since the last call.
    std::vector<Posted> Drain() {
        std::vector<Posted> out;
        plat::ThreadMsg m;
        while (plat::ThreadPeekMessage(&m)) {
            Posted p{m.msg, ""};
            if (m.msg == DCMD_PLAY_FILE) p.path = reinterpret_cast<const char*>(m.lParam);
            out.push_back(p);
        }
        return out;
    }
    static void Fill(std::initializer_list<const char*> names) {
        for (const char* n : names) ASSERT_EQ(PlaylistAdd(n), 1);
    }
    static std::string Current() {
        char path[kPlaylistPathSize];
        return PlaylistGetCurrentPath(path, sizeof path) ? path : "";
    }

    Settings saved_;
    const AudioOutputDriver* savedDriver_ = nullptr;
    AudioOutputDriver driver_{};
};

TEST_F(PlayerControl, PlayPauseStopTransitions) {
    Fill({"a.mp3", "b.mp3"});
    EXPECT_EQ(PlayerState.load(), Stopped);

    // Pause while stopped does nothing.
    PlayerPause();
    EXPECT_EQ(PlayerState.load(), Stopped);
    EXPECT_EQ(g_calls, "");

    // The first Play has no held path: it plays the current entry.
    PlayerPlay();
    EXPECT_EQ(PlayerState.load(), Playing);
    auto q = Drain();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].msg, DCMD_PLAY_FILE);
    EXPECT_EQ(q[0].path, "a.mp3");

    // Pause, and pause again: the second does nothing (no toggle).
    PlayerPause();
    PlayerPause();
    EXPECT_EQ(PlayerState.load(), Paused);
    EXPECT_EQ(g_calls, "P");

    // Play while paused resumes without restarting the track.
    PlayerPlay();
    EXPECT_EQ(PlayerState.load(), Playing);
    EXPECT_EQ(g_calls, "PR");
    EXPECT_TRUE(Drain().empty());

    // Play while playing restarts it.
    PlayerPlay();
    q = Drain();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].msg, DCMD_STOP);
    EXPECT_EQ(q[1].msg, DCMD_PLAY);

    // Stop from paused resumes and flushes the device before DCMD_STOP.
    PlayerPause();
    g_calls.clear();
    PlayerStop();
    EXPECT_EQ(PlayerState.load(), Stopped);
    EXPECT_EQ(g_calls, "RF");
    q = Drain();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].msg, DCMD_STOP);

    // Play when stopped replays the held path.
    PlayerPlay();
    q = Drain();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].msg, DCMD_PLAY);
}

TEST_F(PlayerControl, PlayWithNothingToPlayStaysStopped) {
    PlayerPlay();
    EXPECT_EQ(PlayerState.load(), Stopped);
    EXPECT_TRUE(Drain().empty());
}

TEST_F(PlayerControl, NextAndPreviousThroughThreeEntries) {
    Fill({"a.mp3", "b.mp3", "c.mp3"});
    EXPECT_EQ(PlayerStep(PlaylistNext, 0), 1);
    auto q = Drain();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].msg, DCMD_STOP);
    EXPECT_EQ(q[1].path, "b.mp3");
    // The state waits for the decoder's start report.
    EXPECT_EQ(PlayerState.load(), Stopped);
    PlayerTrackStarted();
    EXPECT_EQ(PlayerState.load(), Playing);

    EXPECT_EQ(PlayerStep(PlaylistNext, 0), 1);
    EXPECT_EQ(Drain().back().path, "c.mp3");
    // At the end nothing moves and nothing is posted.
    EXPECT_EQ(PlayerStep(PlaylistNext, 0), 0);
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(PlayerStep(PlaylistPrev, 0), 1);
    EXPECT_EQ(Drain().back().path, "b.mp3");
}

TEST_F(PlayerControl, TrackEndStepsStopsOrRepeats) {
    Fill({"a.mp3", "b.mp3"});
    PlayerPlay();
    PlayerTrackStarted();
    Drain();

    EXPECT_EQ(PlayerTrackEnded(), 1);
    auto q = Drain();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].path, "b.mp3");

    // The end of the last entry closes the output and stops.
    EXPECT_EQ(PlayerTrackEnded(), 0);
    q = Drain();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].msg, DCMD_CLOSE_OUTPUT);
    EXPECT_EQ(PlayerState.load(), Stopped);

    // With RepeatPlay 1 the list starts over.
    g_settings.RepeatPlay = 1;
    EXPECT_EQ(PlayerTrackEnded(), 1);
    q = Drain();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].path, "a.mp3");

    // An empty list ends in Stopped whatever RepeatPlay says.
    PlaylistClear();
    EXPECT_EQ(PlayerTrackEnded(), 0);
    EXPECT_EQ(Drain().back().msg, DCMD_CLOSE_OUTPUT);
}

TEST_F(PlayerControl, PlayCurrentCommandAndShuffledFill) {
    Fill({"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"});
    PlaylistSelect(3, nullptr);
    PlayerPlayCurrentCommand();
    auto q = Drain();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].msg, DCMD_STOP);
    EXPECT_EQ(q[1].path, "d.mp3");

    // A shuffled new list starts at its first entry, so that stepping
    // through it reaches every entry.
    g_settings.ShufflePlay = 1;
    PlaylistSeedShuffle(7);
    PlaylistSelect(0, nullptr);
    PlayerShuffleNewList();
    EXPECT_EQ(PlaylistGetCurrentIndex(), 0);
    int seen = 1;
    while (PlaylistNext()) ++seen;
    EXPECT_EQ(seen, 5);

    // Without ShufflePlay the order and the cursor stay.
    g_settings.ShufflePlay = 0;
    PlaylistSelect(2, nullptr);
    const std::string before = Current();
    PlayerShuffleNewList();
    EXPECT_EQ(Current(), before);
}

}  // namespace
