// The wave device driver. On POSIX it runs over the fake device, whose
// buffers come back only when the test says so (manual mode) or as soon as
// a running device gets them (automatic mode). Under Wine the device is
// real winmm, so only device-independent cases run there.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "output/wave_out.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "platform/wave.h"
#include "settings/settings.h"

namespace {

const AudioOutputDriver& D = kWaveOutDriver;

TEST(WaveOut, DeviceNameOfAMissingDeviceIsBadDevice) {
    char name[32];
    EXPECT_EQ(GetWaveDeviceName(9999, name), 0);
    EXPECT_STREQ(name, "Bad Device");
}

TEST(WaveOut, ClosedDriverAnswersWithoutADevice) {
    EXPECT_EQ(D.IsOpen(), 0);
    EXPECT_EQ(D.GetVolume(), -1);
    EXPECT_EQ(D.GetPosition(), 0);
    EXPECT_EQ(D.Close(0), 0);
    EXPECT_EQ(D.GetBufferCount(), 10);
}

#ifndef _WIN32

struct Box {
    std::string text, caption;
    unsigned flags;
};
std::vector<Box> g_boxes;
int RecordBox(void*, const char* text, const char* caption, unsigned flags) {
    g_boxes.push_back(Box{text, caption, flags});
    return plat::IdOk;
}

class WaveOutFake : public ::testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        plat::SetMessageBoxHook(RecordBox);
        plat::FakeWaveFailOpen(plat::kWaveOk);
        plat::FakeWaveSetManual(true);
        plat::FakeWaveResetCounters();
        g_settings.WinMMCallback = 0;
        g_settings.AudioBypassACM = 0;
        g_settings.AudioAllowSyncDev = 0;
        block_.assign(16384, 0x11);
    }
    void TearDown() override {
        if (D.IsOpen()) D.Close(1);
        plat::FakeWaveSetManual(false);
        plat::FakeWaveFailOpen(plat::kWaveOk);
        g_settings.WinMMCallback = 0;
        plat::SetMessageBoxHook(nullptr);
    }
    int OpenCd() { return D.Open(44100, 2, -1, 16384, 2.5f, 0); }
    int WriteBlock() { return D.Write(int(block_.size()), block_.data()); }
    std::vector<uint8_t> block_;
};

TEST_F(WaveOutFake, OpenBuildsTheFormatAndHoldsTheDevicePaused) {
    ASSERT_EQ(OpenCd(), 1);
    auto s = plat::GetFakeWaveState();
    EXPECT_TRUE(s.open);
    EXPECT_TRUE(s.paused);
    EXPECT_EQ(s.device, -1);
    EXPECT_EQ(s.format.formatTag, 1);
    EXPECT_EQ(s.format.channels, 2);
    EXPECT_EQ(s.format.samplesPerSec, 44100u);
    EXPECT_EQ(s.format.avgBytesPerSec, 176400u);
    EXPECT_EQ(s.format.blockAlign, 4);
    EXPECT_EQ(s.format.bitsPerSample, 16);
    EXPECT_EQ(s.format.extraSize, 0);
    EXPECT_EQ(D.GetFreeBuffers(), 10);
    // A second open leaves the device as it was.
    EXPECT_EQ(D.Open(22050, 1, 0, 4096, 2.5f, 1), 0);
    EXPECT_EQ(plat::GetFakeWaveState().opens, 1);
    EXPECT_EQ(plat::GetFakeWaveState().format.samplesPerSec, 44100u);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(WaveOutFake, EightBitMonoFormatAndOpenFlags) {
    g_settings.AudioBypassACM = 1;
    g_settings.AudioAllowSyncDev = 1;
    ASSERT_EQ(D.Open(22050, 1, 0, 4096, 2.5f, 1), 1);
    auto s = plat::GetFakeWaveState();
    EXPECT_EQ(s.format.blockAlign, 1);
    EXPECT_EQ(s.format.avgBytesPerSec, 22050u);
    EXPECT_EQ(s.format.bitsPerSample, 8);
    EXPECT_EQ(s.device, 0);
    EXPECT_EQ(s.flags, unsigned(plat::WaveFormatDirect | plat::WaveAllowSync));
}

TEST_F(WaveOutFake, DeviceStartsWithTheFourthBlockAfterOpenAndAfterFlush) {
    ASSERT_EQ(OpenCd(), 1);
    for (int i = 0; i < 3; i++) EXPECT_EQ(WriteBlock(), 16384);
    EXPECT_TRUE(plat::GetFakeWaveState().paused);
    EXPECT_EQ(plat::GetFakeWaveState().restarts, 0);
    EXPECT_EQ(D.GetFreeBuffers(), 7);
    EXPECT_EQ(WriteBlock(), 16384);
    EXPECT_FALSE(plat::GetFakeWaveState().paused);
    EXPECT_EQ(plat::GetFakeWaveState().restarts, 1);
    EXPECT_EQ(WriteBlock(), 16384);
    EXPECT_EQ(plat::GetFakeWaveState().restarts, 1);

    D.Flush();
    auto s = plat::GetFakeWaveState();
    EXPECT_TRUE(s.paused);
    EXPECT_EQ(s.queued, 0);
    EXPECT_EQ(D.GetFreeBuffers(), 10);
    for (int i = 0; i < 3; i++) WriteBlock();
    EXPECT_TRUE(plat::GetFakeWaveState().paused);
    WriteBlock();
    EXPECT_FALSE(plat::GetFakeWaveState().paused);
    EXPECT_EQ(plat::GetFakeWaveState().restarts, 2);
}

TEST_F(WaveOutFake, PositionComesFromReturnedBlocks) {
    ASSERT_EQ(OpenCd(), 1);
    for (int i = 0; i < 4; i++) WriteBlock();
    // Playing, but nothing returned yet.
    EXPECT_EQ(D.GetPosition(), 0);
    ASSERT_EQ(plat::FakeWaveComplete(2), 2);
    EXPECT_EQ(D.GetFreeBuffers(), 8);
    // While paused the position is the returned bytes alone: 32768 / 176.
    D.Pause();
    EXPECT_EQ(D.GetPosition(), 32768 / 176);
    D.Resume();
    EXPECT_GE(D.GetPosition(), 32768 / 176);
    // SetPosition replaces the count.
    EXPECT_EQ(D.SetPosition(3), 3 * 176400);
    D.Pause();
    EXPECT_EQ(D.GetPosition(), 3 * 176400 / 176);
}

TEST_F(WaveOutFake, EndOfTrackMarkerRestartsThePositionWhenItComesBack) {
    ASSERT_EQ(OpenCd(), 1);
    for (int i = 0; i < 4; i++) WriteBlock();
    EXPECT_EQ(D.Write(0, nullptr), 0);  // the marker
    WriteBlock();                       // the next track's first block
    ASSERT_EQ(plat::FakeWaveComplete(4), 4);
    D.Pause();
    EXPECT_EQ(D.GetPosition(), 4 * 16384 / 176);
    D.Resume();
    ASSERT_EQ(plat::FakeWaveComplete(1), 1);  // the marker
    EXPECT_EQ(D.GetPosition(), 0);
    ASSERT_EQ(plat::FakeWaveComplete(1), 1);
    D.Pause();
    EXPECT_EQ(D.GetPosition(), 16384 / 176);
}

TEST_F(WaveOutFake, FlushMakesABlockedWriteReturnZero) {
    ASSERT_EQ(OpenCd(), 1);
    for (int i = 0; i < 10; i++) ASSERT_EQ(WriteBlock(), 16384);
    EXPECT_EQ(D.GetFreeBuffers(), 0);
    std::atomic<int> result{-5};
    std::thread writer([&] { result = WriteBlock(); });
    while (!WaveOutWriterWaiting()) plat::SleepMs(1);
    D.Flush();
    writer.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(D.GetFreeBuffers(), 10);
    EXPECT_EQ(plat::GetFakeWaveState().queued, 0);
}

TEST_F(WaveOutFake, BlockedWriteGoesOnWhenABufferComesBack) {
    ASSERT_EQ(OpenCd(), 1);
    for (int i = 0; i < 10; i++) WriteBlock();
    std::atomic<int> result{-5};
    std::thread writer([&] { result = WriteBlock(); });
    while (!WaveOutWriterWaiting()) plat::SleepMs(1);
    plat::FakeWaveComplete(1);
    writer.join();
    EXPECT_EQ(result.load(), 16384);
    EXPECT_EQ(plat::GetFakeWaveState().queued, 10);
}

TEST_F(WaveOutFake, WriteLongerThanABufferIsSplit) {
    ASSERT_EQ(OpenCd(), 1);
    std::vector<uint8_t> big(65536 + 100, 0x22);
    EXPECT_EQ(D.Write(int(big.size()), big.data()), int(big.size()));
    EXPECT_EQ(plat::GetFakeWaveState().writes, 3);
    EXPECT_EQ(D.GetFreeBuffers(), 7);
    plat::FakeWaveSetManual(false);
    EXPECT_EQ(D.Close(0), 1);
    EXPECT_EQ(plat::GetFakeWaveState().playedBytes, big.size());
}

TEST_F(WaveOutFake, DrainingCloseEndsWhenTheDeviceNeverStarted) {
    plat::FakeWaveSetManual(false);
    ASSERT_EQ(OpenCd(), 1);
    WriteBlock();
    WriteBlock();
    EXPECT_TRUE(plat::GetFakeWaveState().paused);
    EXPECT_EQ(D.Close(0), 1);
    auto s = plat::GetFakeWaveState();
    EXPECT_FALSE(s.open);
    EXPECT_EQ(s.closes, 1);
    EXPECT_EQ(s.resets, 0);                 // played out, not discarded
    EXPECT_EQ(s.playedBytes, 2u * 16384u);
    EXPECT_EQ(D.IsOpen(), 0);
}

TEST_F(WaveOutFake, DrainingCloseWaitsForEveryBlock) {
    ASSERT_EQ(OpenCd(), 1);
    for (int i = 0; i < 5; i++) WriteBlock();
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        D.Close(0);
        closed = true;
    });
    while (!closed) {
        plat::FakeWaveComplete(1);
        plat::SleepMs(1);
    }
    closer.join();
    auto s = plat::GetFakeWaveState();
    EXPECT_EQ(s.resets, 0);
    EXPECT_EQ(s.playedBytes, 5u * 16384u);
    EXPECT_EQ(s.closes, 1);
}

TEST_F(WaveOutFake, ImmediateCloseDiscardsWhatIsQueued) {
    ASSERT_EQ(OpenCd(), 1);
    for (int i = 0; i < 6; i++) WriteBlock();
    EXPECT_EQ(D.Close(1), 1);
    auto s = plat::GetFakeWaveState();
    EXPECT_EQ(s.resets, 1);
    EXPECT_EQ(s.playedBytes, 0u);
    EXPECT_FALSE(s.open);
}

TEST_F(WaveOutFake, VolumeMapping) {
    ASSERT_EQ(OpenCd(), 1);
    D.SetVolume(63);
    EXPECT_EQ(plat::GetFakeWaveState().volume, 0xFC00FC00u);
    EXPECT_EQ(D.GetVolume(), 63);
    D.SetVolume(64);  // only the low six bits count
    EXPECT_EQ(plat::GetFakeWaveState().volume, 0u);
    EXPECT_EQ(D.GetVolume(), 0);
    D.SetVolume(28);
    EXPECT_EQ(plat::GetFakeWaveState().volume, 0x70007000u);
    EXPECT_EQ(D.GetVolume(), 28);
}

TEST_F(WaveOutFake, OpenFailureShowsOneBoxAndLeavesNoThread) {
    g_settings.WinMMCallback = 1;
    int threadsBefore = plat::ThreadLiveCount();
    plat::FakeWaveFailOpen(2);
    EXPECT_EQ(OpenCd(), 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].caption, "waveOutOpen");
    EXPECT_EQ(g_boxes[0].text, "The specified device ID is out of range.");
    EXPECT_EQ(g_boxes[0].flags & 0xF, plat::MbOk);
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore);
    EXPECT_EQ(D.IsOpen(), 0);

    plat::FakeWaveFailOpen(999);  // a code without a text
    EXPECT_EQ(OpenCd(), 0);
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[1].text, "Unknown error");
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore);
}

TEST_F(WaveOutFake, CallbackThreadCountsBlocksAndEndsAtClose) {
    g_settings.WinMMCallback = 1;
    plat::FakeWaveSetManual(false);
    int threadsBefore = plat::ThreadLiveCount();
    ASSERT_EQ(OpenCd(), 1);
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore + 1);
    for (int i = 0; i < 12; i++) EXPECT_EQ(WriteBlock(), 16384);  // more than ten: needs the thread
    EXPECT_EQ(D.Close(0), 1);
    EXPECT_EQ(plat::GetFakeWaveState().playedBytes, 12u * 16384u);
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore);
}

#else  // _WIN32

// The real winmm device. Skipped where the system has no wave output.
int CountBox(void*, const char*, const char*, unsigned) { return plat::IdOk; }

class WaveOutWinmm : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { plat::SetMessageBoxHook(CountBox); }
    void TearDown() override {
        if (D.IsOpen()) D.Close(1);
        g_settings.WinMMCallback = 0;
        plat::SetMessageBoxHook(nullptr);
    }
};

TEST_P(WaveOutWinmm, PlaysOutAndCloses) {
    g_settings.WinMMCallback = GetParam();
    int threadsBefore = plat::ThreadLiveCount();
    if (!D.Open(8000, 1, -1, 1600, 2.5f, 0)) {
        EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore);
        GTEST_SKIP() << "no wave output device";
    }
    D.SetVolume(63);
    std::vector<uint8_t> block(1600, 0);  // 0.1 s of silence
    EXPECT_EQ(D.Write(int(block.size()), block.data()), 1600);
    EXPECT_EQ(D.Write(0, nullptr), 0);
    EXPECT_EQ(D.Write(int(block.size()), block.data()), 1600);
    EXPECT_EQ(D.GetFreeBuffers(), 7);
    // Three blocks: never started; the draining close must still end.
    EXPECT_EQ(D.Close(0), 1);
    EXPECT_EQ(D.IsOpen(), 0);
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore);
}

INSTANTIATE_TEST_SUITE_P(CallbackModes, WaveOutWinmm, ::testing::Values(0, 1));

#endif  // _WIN32

}  // namespace
