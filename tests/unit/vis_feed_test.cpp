// The visual data queue: order, stamps and expiry against a fake driver's
// position, the cap, flushing, the feed thread's start and stop (also when it
// has to be ended forcibly), the record's pieces, and the Layer III decoder
// filling records on the decoder thread without changing its output.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "decoder/decoder_thread.h"
#include "output/output_driver.h"
#include "output/vis_feed.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "settings/settings.h"
#include "test_util.h"

namespace {

// ------------------------------------------------------------ fake output

struct FakeOut {
    std::atomic<int> position{0};
    // A gate that holds the decoder inside its first Write of PCM.
    std::atomic<bool> writeGate{false};
    // A gate that holds the feed thread inside GetPosition.
    std::atomic<bool> positionGate{false};
    plat::Event entered = nullptr, release = nullptr;
    std::mutex m;
    std::vector<uint8_t> written;
    std::vector<int> setPositions;
    int open = 0;
};
FakeOut* g_out;

// Each open starts a new recording: what a close plays out before it
// belongs to the track before.
int FOpen(int, int, int, int, float, int) {
    std::lock_guard<std::mutex> g(g_out->m);
    g_out->written.clear();
    return g_out->open = 1;
}
int FClose(int) {
    int was = g_out->open;
    g_out->open = 0;
    return was;
}
int FIsOpen() { return g_out->open; }
int FWrite(int length, const uint8_t* data) {
    if (length > 0 && g_out->writeGate.exchange(false)) {
        plat::EventSet(g_out->entered);
        plat::EventWait(g_out->release, plat::kWaitInfinite);
    }
    if (length <= 0 || !data) return length;
    std::lock_guard<std::mutex> g(g_out->m);
    g_out->written.insert(g_out->written.end(), data, data + length);
    return length;
}
int FGetPosition() {
    if (g_out->positionGate.exchange(false)) {
        plat::EventSet(g_out->entered);
        plat::EventWait(g_out->release, plat::kWaitInfinite);
    }
    return g_out->position.load();
}
int FSetPosition(int s) {
    std::lock_guard<std::mutex> g(g_out->m);
    g_out->setPositions.push_back(s);
    return 0;
}
int FNone() { return 0; }
int FSetVolume(int) { return 0; }
int FBufferCount() { return 10; }

const AudioOutputDriver kFakeDriver = {FOpen, FClose, FIsOpen,      FWrite,       FNone,
                                       FNone, FNone,  FGetPosition, FSetPosition, FNone,
                                       FSetVolume,    FBufferCount, FNone};

VisRecord MakeRecord(uint32_t time, uint8_t fill) {
    VisRecord r;
    std::memset(&r, fill, sizeof r);
    r.link = nullptr;
    r.time = time;
    return r;
}

void Push(uint32_t time, uint8_t fill = 0) {
    VisRecord r = MakeRecord(time, fill);
    PushVisRecord(&r);
}

std::vector<uint32_t> Times() {
    std::vector<uint32_t> t(kVisQueueCap + 8);
    int n = GetVisRecordTimes(t.data(), int(t.size()));
    t.resize(size_t(n));
    return t;
}

// The queue with its feed running against the fake driver at position 0,
// where nothing is due, so that the thread leaves the queue alone until a
// test moves the position.
class VisFeed : public ::testing::Test {
protected:
    void SetUp() override {
        out_.entered = plat::EventCreate(false, false);
        out_.release = plat::EventCreate(false, false);
        g_out = &out_;
        savedDriver_ = g_outputDriver;
        g_outputDriver = &kFakeDriver;
        threadsBefore_ = plat::ThreadLiveCount();
        ASSERT_EQ(StartVisFeed(), 1);
        FlushVisFeed();
    }
    void TearDown() override {
        SetVisFeedShown(true);
        StopVisFeed();
        EXPECT_EQ(VisRecordCount(), 0);
        g_outputDriver = savedDriver_;
        plat::EventClose(out_.entered);
        plat::EventClose(out_.release);
    }

    FakeOut out_;
    const AudioOutputDriver* savedDriver_ = nullptr;
    int threadsBefore_ = 0;
};

TEST_F(VisFeed, KeepsRecordsInOrderAsCopies) {
    VisRecord r = MakeRecord(0, 7);
    PushVisRecord(&r);
    r.leftMagnitude[5] = 99;  // the queue holds its own copy
    Push(26, 8);
    Push(52, 9);
    EXPECT_EQ(VisRecordCount(), 3);
    EXPECT_EQ(Times(), (std::vector<uint32_t>{0, 26, 52}));
    VisRecord first;
    ASSERT_TRUE(GetFirstVisRecord(&first));
    EXPECT_EQ(first.time, 0u);
    EXPECT_EQ(first.link, nullptr);
    EXPECT_EQ(first.leftMagnitude[5], 7);
    EXPECT_EQ(first.rightWave[575], 7);
}

TEST_F(VisFeed, ExpiryKeepsTheRecordBeingHeard) {
    Push(0);
    Push(26);
    Push(52);
    // 0 has passed and so has 26: the 26 ms record is the one sounding.
    out_.position = 30;
    ExpireVisRecords();
    EXPECT_EQ(Times(), (std::vector<uint32_t>{26, 52}));
    // A record is due only once the position has passed its time.
    out_.position = 52;
    ExpireVisRecords();
    EXPECT_EQ(Times(), (std::vector<uint32_t>{52}));
    // A lone record whose time has passed goes; the queue is empty.
    out_.position = 53;
    ExpireVisRecords();
    EXPECT_TRUE(Times().empty());
    EXPECT_EQ(VisRecordCount(), 0);
    VisRecord first;
    EXPECT_FALSE(GetFirstVisRecord(&first));
    // And takes new records again.
    Push(60);
    Push(70);
    EXPECT_EQ(Times(), (std::vector<uint32_t>{60, 70}));
}

TEST_F(VisFeed, NothingIsDueAtPositionZero) {
    Push(0);
    Push(26);
    ExpireVisRecords();  // even a 0 ms record is not past
    EXPECT_EQ(VisRecordCount(), 2);
}

TEST(VisFeedNoDriver, NothingIsDueBeforeADriverIsChosen) {
    // The feed starts before the decoder thread has chosen a driver.
    const AudioOutputDriver* saved = g_outputDriver;
    g_outputDriver = nullptr;
    ASSERT_EQ(StartVisFeed(), 1);
    VisRecord r = MakeRecord(0, 1);
    PushVisRecord(&r);
    PushVisRecord(&r);
    ExpireVisRecords();
    EXPECT_EQ(VisRecordCount(), 2);
    EXPECT_EQ(StopVisFeed(), 1);
    EXPECT_EQ(VisRecordCount(), 0);
    g_outputDriver = saved;
}

TEST_F(VisFeed, TheFeedThreadExpiresByItself) {
    for (uint32_t t = 0; t < 10; t++) Push(t * 26);
    out_.position = 1000;
    // Every stamp has passed: the thread empties the queue.
    for (int i = 0; i < 5000 && VisRecordCount() > 0; i++) plat::SleepMs(2);
    EXPECT_EQ(VisRecordCount(), 0);
}

TEST_F(VisFeed, EachPassSaysHowLongTheFeedMaySleep) {
    struct Case {
        std::vector<uint32_t> queued;
        int position;
        std::vector<uint32_t> left;
        unsigned wait;
    } const cases[] = {
        {{}, 0, {}, plat::kWaitInfinite},                     // until a push wakes it
        {{100, 126}, 10, {100, 126}, kVisFeedMaxWaitMs},      // far off: bounded
        {{100, 126}, 120, {100, 126}, 6},                     // 100 goes when 126 is due
        {{100}, 90, {100}, 11},                               // a lone record, once past
        {{100, 126}, 126, {126}, 1},
        {{100}, 200, {}, plat::kWaitInfinite},
    };
    for (const Case& c : cases) {
        out_.position = 0;  // nothing is due while the case is queued
        FlushVisFeed();
        for (uint32_t t : c.queued) Push(t);
        out_.position = c.position;
        EXPECT_EQ(ExpireVisRecords(), c.wait) << "position " << c.position;
        EXPECT_EQ(Times(), c.left) << "position " << c.position;
    }
}

TEST_F(VisFeed, OffScreenNothingIsQueuedAndTheFeedSleepsUntilAPush) {
    Push(0);
    Push(26);
    SetVisFeedShown(false);
    EXPECT_EQ(VisRecordCount(), 0);  // flushed
    Push(52);
    EXPECT_EQ(VisRecordCount(), 0);  // and dropped
    plat::SleepMs(2 * kVisFeedMaxWaitMs);  // a wait begun before the flush ends
    const unsigned passes = VisFeedPasses();
    plat::SleepMs(2 * kVisFeedMaxWaitMs);
    EXPECT_EQ(VisFeedPasses(), passes);
    SetVisFeedShown(true);
    // Back on screen, a push wakes the sleeping feed, which expires it.
    out_.position = 1000;
    Push(60);
    for (int i = 0; i < 5000 && VisRecordCount() > 0; i++) plat::SleepMs(1);
    EXPECT_EQ(VisRecordCount(), 0);
    EXPECT_GT(VisFeedPasses(), passes);
}

TEST_F(VisFeed, ThePushCapBoundsTheQueue) {
    // Refused once more than the cap are queued: at most cap + 1 held.
    for (uint32_t t = 0; t < uint32_t(kVisQueueCap); t++) Push(t);
    EXPECT_EQ(VisRecordCount(), kVisQueueCap);
    Push(5000);  // count 1000 is not above the cap: taken
    EXPECT_EQ(VisRecordCount(), kVisQueueCap + 1);
    for (int i = 0; i < 50; i++) Push(9000);  // nothing ever expires these
    EXPECT_EQ(VisRecordCount(), kVisQueueCap + 1);
    auto t = Times();
    ASSERT_EQ(t.size(), size_t(kVisQueueCap + 1));
    EXPECT_EQ(t.back(), 5000u);
    // Once the feed has expired some, pushes are taken again.
    out_.position = 501;  // 0..500 have passed; 501 is the one sounding
    ExpireVisRecords();
    EXPECT_EQ(VisRecordCount(), kVisQueueCap + 1 - 501);
    Push(9000);
    EXPECT_EQ(Times().back(), 9000u);
}

TEST_F(VisFeed, FlushEmptiesTheQueueAndIsHarmlessWhenEmpty) {
    FlushVisFeed();
    EXPECT_EQ(VisRecordCount(), 0);
    for (uint32_t t = 0; t < 20; t++) Push(t);
    FlushVisFeed();
    EXPECT_EQ(VisRecordCount(), 0);
    EXPECT_TRUE(Times().empty());
    FlushVisFeed();
    Push(3);
    EXPECT_EQ(Times(), (std::vector<uint32_t>{3}));
}

TEST_F(VisFeed, StartAndStopLeaveNoThreadAndNoRecords) {
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore_ + 1);
    EXPECT_EQ(StartVisFeed(), 1);  // already running: no second thread
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore_ + 1);
    Push(1);
    Push(2);
    EXPECT_EQ(StopVisFeed(), 1);
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore_);
    EXPECT_EQ(VisRecordCount(), 0);  // the stop freed them
    // A stopped feed takes nothing: a decoder still running during the
    // shutdown (it is stopped after the feed) pushes into the void.
    Push(3);
    EXPECT_EQ(VisRecordCount(), 0);
    FlushVisFeed();
    ExpireVisRecords();
    EXPECT_EQ(StopVisFeed(), 1);  // stopping twice is harmless
    // Started again, it works as before.
    ASSERT_EQ(StartVisFeed(), 1);
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore_ + 1);
    Push(4);
    EXPECT_EQ(Times(), (std::vector<uint32_t>{4}));
}

TEST_F(VisFeed, StopEndsAThreadThatDoesNotEndByItself) {
#if defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)
    // AddressSanitizer cannot follow the unwinding of a cancelled thread.
    GTEST_SKIP() << "forced thread end under AddressSanitizer";
#endif
    // The thread is held inside the driver's GetPosition and never sees
    // the quit message: the stop's wait runs out and the thread is ended.
    Push(1);
    out_.positionGate = true;
    ASSERT_TRUE(plat::EventWait(out_.entered, 10000));
    EXPECT_EQ(StopVisFeed(), 0);
    plat::EventSet(out_.release);
    for (int i = 0; i < 5000 && plat::ThreadLiveCount() != threadsBefore_; i++) plat::SleepMs(2);
    EXPECT_EQ(plat::ThreadLiveCount(), threadsBefore_);
    // The queue the thread may have died in is given up; a new start
    // begins with an empty one.
    EXPECT_EQ(VisRecordCount(), 0);
    ASSERT_EQ(StartVisFeed(), 1);
    EXPECT_EQ(VisRecordCount(), 0);
    Push(2);
    EXPECT_EQ(Times(), (std::vector<uint32_t>{2}));
}

// ------------------------------------------------------------ the record's pieces

TEST(VisRecordPieces, TimeStampsCountInTheDriversScale) {
    // 44100 Hz 16-bit stereo: 176400 bytes a second, counted as 176 a
    // millisecond, as the wave device's GetPosition divides.
    EXPECT_EQ(VisTimeStamp(0, 44100, 2, 16), 0u);
    EXPECT_EQ(VisTimeStamp(2304, 44100, 2, 16), 13u);
    EXPECT_EQ(VisTimeStamp(176400, 44100, 2, 16), 1002u);
    EXPECT_EQ(VisTimeStamp(64000, 32000, 1, 16), 1000u);
    // 8 kHz at quarter rate, mono, 8-bit: 2 bytes a millisecond.
    EXPECT_EQ(VisTimeStamp(2000, 2000, 1, 8), 1000u);
    // No format yet: no division by zero.
    EXPECT_EQ(VisTimeStamp(500, 0, 0, 0), 500u);
    EXPECT_EQ(VisTimeStamp(4000000000u, 48000, 2, 16), 4000000000u / 192u);
}

TEST(VisRecordPieces, MagnitudesAreSubbandMajorAndSaturate) {
    double sb[18][32] = {};
    sb[0][0] = 0.5;     // byte 0
    sb[1][0] = -1.0;    // byte 1
    sb[0][1] = 0.004;   // byte 18
    sb[17][31] = 2.0;   // byte 575: does not wrap round
    sb[5][3] = -1e300;  // byte 59: nor overflow
    sb[4][2] = 1.0 / 255 * 100.5;  // byte 40
    uint8_t out[kVisSamples];
    std::memset(out, 0xAA, sizeof out);
    FillVisMagnitudes(out, sb);
    EXPECT_EQ(out[0], 127);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out[18], 1);
    EXPECT_EQ(out[575], 255);
    EXPECT_EQ(out[18 * 3 + 5], 255);
    EXPECT_EQ(out[18 * 2 + 4], 100);
    int nonzero = 0;
    for (uint8_t b : out) nonzero += b != 0;
    EXPECT_EQ(nonzero, 6);
}

// One granule of little-endian 16-bit samples.
std::vector<uint8_t> Pcm16(const std::vector<int>& samples) {
    std::vector<uint8_t> b;
    for (int s : samples) {
        b.push_back(uint8_t(s & 0xFF));
        b.push_back(uint8_t((s >> 8) & 0xFF));
    }
    return b;
}

TEST(VisRecordPieces, WaveformsFollowTheOutputFormat) {
    VisRecord r;
    // 16-bit stereo: interleaved left and right, high bytes.
    std::vector<int> s;
    for (int i = 0; i < 576; i++) {
        s.push_back(i * 56 - 16000);
        s.push_back(-(i * 56) + 100);
    }
    auto pcm = Pcm16(s);
    FillVisWaveform(&r, pcm.data(), 2, 16, 0);
    for (int i = 0; i < 576; i++) {
        ASSERT_EQ(r.leftWave[i], int8_t((i * 56 - 16000) >> 8)) << i;
        ASSERT_EQ(r.rightWave[i], int8_t((-(i * 56) + 100) >> 8)) << i;
    }
    // 16-bit mono output: one sample per frame, shown on both sides.
    std::vector<int> m;
    for (int i = 0; i < 576; i++) m.push_back(32767 - i * 100);
    pcm = Pcm16(m);
    FillVisWaveform(&r, pcm.data(), 1, 16, 0);
    EXPECT_EQ(r.leftWave[0], 127);
    EXPECT_EQ(r.leftWave[575], int8_t((32767 - 57500) >> 8));
    EXPECT_EQ(std::memcmp(r.leftWave, r.rightWave, 576), 0);
    // Half rate: 288 frames spread over the 576 entries.
    FillVisWaveform(&r, pcm.data(), 1, 16, 1);
    EXPECT_EQ(r.leftWave[0], r.leftWave[1]);
    EXPECT_EQ(r.leftWave[574], int8_t((32767 - 287 * 100) >> 8));
    EXPECT_EQ(r.leftWave[575], r.leftWave[574]);
    // 8-bit stereo output ((s16 >> 9) + 128): back on the 16-bit scale.
    std::vector<uint8_t> b8;
    for (int i = 0; i < 576; i++) {
        b8.push_back(191);
        b8.push_back(64);
    }
    b8[0] = 128;
    b8[1] = 255;  // beyond the output's range: clamped, not wrapped
    FillVisWaveform(&r, b8.data(), 2, 8, 0);
    EXPECT_EQ(r.leftWave[0], 0);
    EXPECT_EQ(r.rightWave[0], 127);
    EXPECT_EQ(r.leftWave[1], 126);
    EXPECT_EQ(r.rightWave[1], -128);
}

// ------------------------------------------------------------ from the decoder

// The decoder thread with the fake output, the feed running at position 0.
class VisDecoder : public VisFeed {
protected:
    void SetUp() override {
        VisFeed::SetUp();
        savedSettings_ = g_settings;
        idle_ = plat::EventCreate(false, false);
        g_idle = idle_;
        g_settings.AudioOutputSystem = 0;
        g_settings.AudioOutput8Bit = 0;
        g_settings.DownSample = 0;
        g_settings.Channels = -1;
        g_settings.EqEnabled = 0;
        g_settings.MappingMode = 2;
        g_settings.DecoderPriority = 2;
        OverrideOutputSystem(0, &kFakeDriver);
        SetDecoderIdleHook([](const DecoderTrackReport&) { plat::EventSet(g_idle); });
        tid_ = StartDecoderThread(nullptr);
        ASSERT_GT(tid_, 0);
        vector_ = testutil::SharedDir() + "/vectors/l3-si.bit";
        plat::File f = plat::FileOpenRead(vector_.c_str());
        if (!f) GTEST_SKIP() << "no " << vector_;
        plat::FileClose(f);
    }
    void TearDown() override {
        ShutdownDecoderThread(tid_);
        SetDecoderIdleHook(nullptr);
        OverrideOutputSystem(0, nullptr);
        plat::EventClose(idle_);
        g_settings = savedSettings_;
        VisFeed::TearDown();
    }
    // Plays the vector to its end with a freshly opened output; the PCM
    // written (the track's tail stays in the PCM buffer). The synthesis and
    // overlap state goes on from the track before, so comparisons of two
    // plays follow a first one that sets it alike.
    std::vector<uint8_t> Play() {
        PostCloseOutput(tid_);
        PostPlay(vector_.c_str(), tid_);
        EXPECT_TRUE(plat::EventWait(idle_, 60000));
        std::lock_guard<std::mutex> g(out_.m);
        return out_.written;
    }
    // The queued records in order, taken by moving the position on to each
    // successor's time; the queue is empty afterwards.
    std::vector<VisRecord> Records() {
        std::vector<VisRecord> all;
        std::vector<uint32_t> times = Times();
        VisRecord r;
        for (size_t k = 0; k < times.size() && GetFirstVisRecord(&r); k++) {
            all.push_back(r);
            if (k + 1 < times.size()) {
                out_.position = int(times[k + 1]);
                ExpireVisRecords();
            }
        }
        FlushVisFeed();
        out_.position = 0;
        return all;
    }

    static plat::Event g_idle;
    plat::Event idle_ = nullptr;
    Settings savedSettings_{};
    int tid_ = -1;
    std::string vector_;
};
plat::Event VisDecoder::g_idle = nullptr;

// The granule bytes of 16-bit stereo output at full rate.
constexpr size_t kGranuleBytes = 576 * 4;

TEST_F(VisDecoder, OutputIsTheSameWithAndWithoutVisuals) {
    g_settings.LEDCalculateVisuals = 0;
    Play();
    Push(0xFFFFFFF0u);  // a stale record: the track start empties the queue
    std::vector<uint8_t> plain = Play();
    EXPECT_EQ(VisRecordCount(), 0);

    g_settings.LEDCalculateVisuals = 1;
    Push(0xFFFFFFF0u);
    std::vector<uint8_t> shown = Play();
    ASSERT_GT(plain.size(), 100 * kGranuleBytes);
    EXPECT_EQ(plain, shown);

    // One record per granule, stamped with the time at which it has
    // sounded; a mono stream shows its one channel on both sides.
    auto records = Records();
    ASSERT_GE(records.size(), plain.size() / kGranuleBytes);
    ASSERT_LE(records.size(), size_t(kVisQueueCap + 1));
    int loud = 0;
    for (size_t k = 0; k < records.size(); k++) {
        const VisRecord& r = records[k];
        ASSERT_EQ(r.time, VisTimeStamp(uint32_t((k + 1) * kGranuleBytes), 44100, 2, 16)) << k;
        ASSERT_EQ(std::memcmp(r.leftMagnitude, r.rightMagnitude, kVisSamples), 0) << k;
        for (uint8_t m : r.leftMagnitude) loud += m > 10;
        if ((k + 1) * kGranuleBytes > shown.size()) continue;  // still in the PCM buffer
        // The waveform is this granule's output, however the PCM buffer
        // was flushed in the middle of it.
        const uint8_t* pcm = shown.data() + k * kGranuleBytes;
        for (int i = 0; i < kVisSamples; i++) {
            ASSERT_EQ(r.leftWave[i], int8_t(pcm[4 * i + 1])) << k << " " << i;
            ASSERT_EQ(r.rightWave[i], int8_t(pcm[4 * i + 3])) << k << " " << i;
        }
    }
    EXPECT_GT(loud, 0);
}

TEST_F(VisDecoder, MonoOutputAndHalfRateStayTheSameToo) {
    g_settings.Channels = 3;
    g_settings.DownSample = 1;
    g_settings.LEDCalculateVisuals = 0;
    Play();
    std::vector<uint8_t> plain = Play();
    g_settings.LEDCalculateVisuals = 1;
    std::vector<uint8_t> shown = Play();
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(plain, shown);
    // 288 mono 16-bit samples a granule, each held over two entries.
    const size_t granule = 288 * 2;
    auto records = Records();
    ASSERT_GE(records.size(), shown.size() / granule);
    for (size_t k = 0; k * granule + granule <= shown.size(); k++) {
        const VisRecord& r = records[k];
        ASSERT_EQ(r.time, VisTimeStamp(uint32_t((k + 1) * granule), 22050, 1, 16));
        for (int i = 0; i < kVisSamples; i++) {
            ASSERT_EQ(r.leftWave[i], int8_t(shown[k * granule + 2 * (i / 2) + 1])) << k << " " << i;
            ASSERT_EQ(r.rightWave[i], r.leftWave[i]);
        }
    }
}

TEST_F(VisDecoder, ASeekEmptiesTheQueueAndRestampsFromTheNewPosition) {
    g_settings.LEDCalculateVisuals = 1;
    out_.writeGate = true;
    {
        std::lock_guard<std::mutex> g(out_.m);
        out_.setPositions.clear();
    }
    PostPlay(vector_.c_str(), tid_);
    // Held in its first Write, with the granules before it queued.
    ASSERT_TRUE(plat::EventWait(out_.entered, 60000));
    EXPECT_GT(VisRecordCount(), 0);
    PostSeek(50, tid_);
    plat::EventSet(out_.release);
    ASSERT_TRUE(plat::EventWait(idle_, 60000));

    int seconds;
    {
        std::lock_guard<std::mutex> g(out_.m);
        ASSERT_FALSE(out_.setPositions.empty());
        seconds = out_.setPositions.back();
    }
    ASSERT_GE(seconds, 1);  // 3 s of audio, sought to the middle
    // Only granules from after the seek are queued, stamped on from the
    // position the driver was set to.
    auto records = Records();
    ASSERT_FALSE(records.empty());
    const uint32_t base = uint32_t(seconds) * 176400u;
    for (size_t k = 0; k < records.size(); k++)
        ASSERT_EQ(records[k].time, VisTimeStamp(base + uint32_t((k + 1) * kGranuleBytes), 44100, 2, 16)) << k;
}

}  // namespace
