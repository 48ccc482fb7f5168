// The decoder thread's command protocol, against a recording output driver
// and a recording notice sink. The streams are silent Layer II frames (all
// allocations zero), 1152 samples each: 4608 bytes of 16-bit stereo PCM.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "decoder/decoder_thread.h"
#include "decoder/header.h"
#include "lame_tag.h"
#include "output/wav_file.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "settings/settings.h"
#include "test_util.h"

namespace {

// MPEG-1 Layer II, 128 kbit/s, 44100 Hz, stereo, no CRC: 417-byte frames.
constexpr uint32_t kL2_44k = 0xFFFD8000u;
// MPEG-2 Layer II, 64 kbit/s, 22050 Hz, stereo, no CRC.
constexpr uint32_t kL2_22k = 0xFFF58000u;
constexpr int kPcmPerFrame = 1152 * 4;

void MakeStream(const std::string& path, uint32_t word, int frames) {
    std::vector<uint8_t> b;
    int body = HeaderBodyLength(word);
    for (int i = 0; i < frames; i++) {
        b.push_back(uint8_t(word >> 24));
        b.push_back(uint8_t(word >> 16));
        b.push_back(uint8_t(word >> 8));
        b.push_back(uint8_t(word));
        b.insert(b.end(), size_t(body), 0);
    }
    testutil::WriteBytes(path, b);
}

// ------------------------------------------------------------ recording output

struct Call {
    std::string op;
    int a = 0, b = 0, c = 0;
};

struct FakeOut {
    std::mutex m;
    std::vector<Call> calls;
    int open = 0;
    int openResult = 1;
    int bufferCount = 10;
    int writeResult = 1;  // 1: take everything; -1: refuse
    int64_t bytes = 0;    // PCM bytes taken
    int openPriority = 0;
    // A gate that holds the decoder inside a Write of PCM.
    std::atomic<bool> gateArmed{false};
    plat::Event entered = nullptr, release = nullptr;
};
FakeOut* g_out;

void Record(const char* op, int a = 0, int b = 0, int c = 0) {
    std::lock_guard<std::mutex> g(g_out->m);
    g_out->calls.push_back(Call{op, a, b, c});
}

int FOpen(int rate, int channels, int device, int block, float, int eightBit) {
    Record("Open", rate, channels, eightBit);
    g_out->openPriority = plat::GetCurrentThreadPriority();
    g_out->open = g_out->openResult;
    return g_out->openResult;
}
int FClose(int immediate) {
    Record("Close", immediate);
    int was = g_out->open;
    g_out->open = 0;
    return was;
}
int FIsOpen() { return g_out->open; }
int FWrite(int length, const uint8_t*) {
    Record("Write", length);
    if (length > 0 && g_out->gateArmed.exchange(false)) {
        plat::EventSet(g_out->entered);
        plat::EventWait(g_out->release, plat::kWaitInfinite);
    }
    if (length <= 0) return length;
    if (g_out->writeResult < 0) return -1;
    std::lock_guard<std::mutex> g(g_out->m);
    g_out->bytes += length;
    return length;
}
int FFlush() { Record("Flush"); return 0; }
int FNone() { return 0; }
int FSetPosition(int s) { Record("SetPosition", s); return 0; }
int FSetVolume(int v) { Record("SetVolume", v); return 0; }
int FBufferCount() { return g_out->bufferCount; }

const AudioOutputDriver kFakeDriver = {FOpen,  FClose, FIsOpen,      FWrite, FFlush,
                                       FNone,  FNone,  FNone,        FSetPosition,
                                       FNone,  FSetVolume, FBufferCount, FNone};

// ------------------------------------------------------------ recording window

struct Notice {
    unsigned msg;
    intptr_t lParam;
    bool sent;
};
std::mutex g_noticeMutex;
std::vector<Notice> g_notices;
intptr_t RecordNotice(void*, unsigned msg, uintptr_t, intptr_t lParam, bool sent) {
    std::lock_guard<std::mutex> g(g_noticeMutex);
    g_notices.push_back(Notice{msg, lParam, sent});
    return 0;
}

std::vector<std::string> g_boxes;
int RecordBox(void*, const char* text, const char* caption, unsigned) {
    g_boxes.push_back(std::string(caption) + ": " + text);
    return plat::IdOk;
}

// Reports of the play commands, in order; the test takes them one by one.
plat::Event g_idle;
std::mutex g_reportMutex;
std::vector<DecoderTrackReport> g_reports;
size_t g_reportsTaken = 0;
DecoderTrackReport g_report;
void OnIdle(const DecoderTrackReport& r) {
    {
        std::lock_guard<std::mutex> g(g_reportMutex);
        g_reports.push_back(r);
    }
    plat::EventSet(g_idle);
}
// Waits for the next report into g_report. False after a minute without one.
bool NextReport() {
    for (int tries = 0; tries < 60; tries++) {
        {
            std::lock_guard<std::mutex> g(g_reportMutex);
            if (g_reports.size() > g_reportsTaken) {
                g_report = g_reports[g_reportsTaken++];
                return true;
            }
        }
        plat::EventWait(g_idle, 1000);
    }
    return false;
}

class DecoderThread : public ::testing::Test {
protected:
    void SetUp() override {
        out_.entered = plat::EventCreate(false, false);
        out_.release = plat::EventCreate(false, false);
        g_out = &out_;
        g_notices.clear();
        g_boxes.clear();
        g_reports.clear();
        g_reportsTaken = 0;
        g_idle = plat::EventCreate(false, false);
        plat::SetNoticeHook(RecordNotice);
        plat::SetMessageBoxHook(RecordBox);
        SetDecoderIdleHook(OnIdle);
        OverrideOutputSystem(0, &kFakeDriver);
        LoadDefaultSettings();
        a_ = dir_.File("a.mp2");
        b_ = dir_.File("b.mp2");
        MakeStream(a_, kL2_44k, 40);
        MakeStream(b_, kL2_44k, 25);
    }
    void TearDown() override {
        if (tid_ > 0) ShutdownDecoderThread(tid_);
        OverrideOutputSystem(0, nullptr);
        SetDecoderIdleHook(nullptr);
        plat::SetNoticeHook(nullptr);
        plat::SetMessageBoxHook(nullptr);
        plat::EventClose(g_idle);
        plat::EventClose(out_.entered);
        plat::EventClose(out_.release);
    }
    void Start() {
        tid_ = StartDecoderThread(nullptr);
        ASSERT_GT(tid_, 0);
    }
    // Plays a file and waits until the thread is idle again.
    void PlayAndWait(const std::string& path) {
        PostPlay(path.c_str(), tid_);
        ASSERT_TRUE(NextReport());
    }
    void Shutdown() {
        ShutdownDecoderThread(tid_);
        tid_ = -1;
    }
    std::vector<Notice> Notices() {
        std::lock_guard<std::mutex> g(g_noticeMutex);
        return g_notices;
    }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> g(out_.m);
        return out_.calls;
    }
    // The calls of one operation, in order.
    static std::vector<Call> Only(const std::vector<Call>& calls, const std::string& op) {
        std::vector<Call> out;
        for (const Call& x : calls)
            if (x.op == op) out.push_back(x);
        return out;
    }
    int Count(const std::vector<Call>& calls, const std::string& op) {
        return int(std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.op == op; }));
    }
    int CountNotices(unsigned msg) {
        auto n = Notices();
        return int(std::count_if(n.begin(), n.end(), [&](const Notice& x) { return x.msg == msg; }));
    }

    FakeOut out_;
    testutil::TempDir dir_;
    std::string a_, b_;
    int tid_ = -1;
};

TEST(DecoderPriority, Mapping) {
    const int cases[][2] = {{0, -2}, {1, -1}, {2, 0}, {3, 1}, {4, 2}, {5, 15}, {9, 0}, {-1, 0}};
    for (const auto& c : cases) EXPECT_EQ(MapDecoderPriority(c[0]), c[1]) << c[0];
}

TEST_F(DecoderThread, PlaysATrackToItsEnd) {
    g_settings.DecoderPriority = 5;
    Start();
    PlayAndWait(a_);
    EXPECT_EQ(g_report.opened, 1);
    EXPECT_EQ(g_report.stopped, 0);
    EXPECT_EQ(g_report.framesDecoded, 40);
    EXPECT_EQ(out_.openPriority, 15);

    auto n = Notices();
    ASSERT_GE(n.size(), 4u);
    EXPECT_EQ(n[0].msg, DNOTE_PROGRESS);
    EXPECT_EQ(n[0].lParam, 0);
    EXPECT_TRUE(n[0].sent);
    EXPECT_EQ(n[1].msg, DNOTE_TRACK_START);
    EXPECT_TRUE(n[1].sent);
    EXPECT_EQ(n[n.size() - 2].msg, DNOTE_PROGRESS);
    EXPECT_EQ(n[n.size() - 2].lParam, 100);
    EXPECT_TRUE(n[n.size() - 2].sent);
    EXPECT_EQ(n.back().msg, DNOTE_TRACK_END);
    EXPECT_TRUE(n.back().sent);
    // Progress in between is posted, and only when the percentage changes.
    intptr_t last = -1;
    int posted = 0;
    for (size_t i = 2; i + 2 < n.size(); i++) {
        EXPECT_EQ(n[i].msg, DNOTE_PROGRESS);
        EXPECT_FALSE(n[i].sent);
        EXPECT_GT(n[i].lParam, last);
        last = n[i].lParam;
        posted++;
    }
    EXPECT_GT(posted, 10);
    EXPECT_EQ(LastPostedProgress(), last);

    auto c = Calls();
    ASSERT_GE(c.size(), 4u);
    EXPECT_EQ(c[0].op, "SetVolume");  // EqVolume 7 at thread start
    EXPECT_EQ(c[0].a, 28);
    EXPECT_EQ(c[1].op, "SetPosition");  // a closed output: the position starts at 0
    EXPECT_EQ(c[2].op, "Open");
    EXPECT_EQ(c[2].a, 44100);
    EXPECT_EQ(c[2].b, 2);
    EXPECT_EQ(c[2].c, 0);
    EXPECT_EQ(c[3].op, "SetVolume");
    EXPECT_EQ(Count(c, "Close"), 0);  // the output stays open for the next track
    // Everything but the tail below the flush threshold has been written.
    EXPECT_EQ(out_.bytes, (40 * kPcmPerFrame) / 16384 * 16384);
}

TEST_F(DecoderThread, EndOfPlaylistWritesTheTailBeforeClosing) {
    Start();
    PlayAndWait(a_);
    PostCloseOutput(tid_);
    Shutdown();
    auto c = Calls();
    EXPECT_EQ(out_.bytes, 40 * kPcmPerFrame);
    ASSERT_EQ(Count(c, "Close"), 1);
    EXPECT_EQ(c.back().op, "Close");
    EXPECT_EQ(c.back().a, 0);
}

TEST_F(DecoderThread, TwoTracksAtOneRateShareTheOutput) {
    Start();
    PlayAndWait(a_);
    PlayAndWait(b_);
    PostCloseOutput(tid_);
    Shutdown();
    auto c = Calls();
    EXPECT_EQ(Count(c, "Open"), 1);
    EXPECT_EQ(Count(c, "Close"), 1);  // only at the end
    EXPECT_EQ(Count(c, "SetPosition"), 1);
    // The second track begins with an empty Write, the end-of-track mark.
    int empty = 0;
    for (const Call& x : c)
        if (x.op == "Write" && x.a == 0) empty++;
    EXPECT_EQ(empty, 1);
    // Both tracks, end to end, tails included.
    EXPECT_EQ(out_.bytes, 65 * kPcmPerFrame);
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 2);
}

// Silent Layer III tracks with the encoder's delay and padding: 40 frames
// of 1152 samples hold decoded samples [576 + 529, 46080 - (1000 - 529)).
// Played back to back at one format, they share the open output and give
// exactly the kept sample frames, at every rate and channel setting.
TEST_F(DecoderThread, GaplessTracksGiveTheEncodersInputAndShareTheOutput) {
    std::string g = dir_.File("g.mp3");
    testutil::WriteBytes(g, testutil::LameStream(0xFFFB9000u, 40, 576, 1000, testutil::LameCrc::kInFront));
    struct Case {
        int downsample, channels;
        int64_t bytesPerTrack;
    } cases[] = {
        {0, -1, (45609 - 1105) * 4},
        {1, -1, (22805 - 553) * 4},
        {2, 3, (11403 - 277) * 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.downsample);
        g_settings.DownSample = k.downsample;
        g_settings.Channels = k.channels;
        out_.bytes = 0;
        out_.calls.clear();
        Start();
        PlayAndWait(g);
        PlayAndWait(g);
        PostCloseOutput(tid_);
        Shutdown();
        EXPECT_EQ(Count(Calls(), "Open"), 1);
        EXPECT_EQ(out_.bytes, 2 * k.bytesPerTrack);
    }
}

TEST_F(DecoderThread, RateChangeReopensTheOutput) {
    std::string c22 = dir_.File("c.mp2");
    MakeStream(c22, kL2_22k, 20);
    Start();
    PlayAndWait(a_);
    PlayAndWait(c22);
    Shutdown();
    auto c = Calls();
    auto opens = Only(c, "Open");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].a, 44100);
    EXPECT_EQ(opens[1].a, 22050);
    // The first track's tail is played in its own format before the reopen.
    auto second = std::find_if(c.begin(), c.end(), [](const Call& x) { return x.op == "Open" && x.a == 22050; });
    ASSERT_NE(second, c.begin());
    EXPECT_EQ((second - 1)->op, "Close");
    EXPECT_EQ((second - 1)->a, 0);
    EXPECT_EQ((second - 2)->op, "Write");
    EXPECT_EQ((second - 2)->a, 40 * kPcmPerFrame % 16384);
}

TEST_F(DecoderThread, FormatChangeAtOneRateReopensTheOutput) {
    Start();
    PlayAndWait(a_);
    g_settings.Channels = 3;  // mono output from the next track on
    PlayAndWait(b_);
    Shutdown();
    auto opens = Only(Calls(), "Open");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[1].a, 44100);
    EXPECT_EQ(opens[1].b, 1);
}

TEST_F(DecoderThread, StopWhilePlayingEndsWithoutNotice) {
    Start();
    out_.gateArmed = true;
    PostPlay(a_.c_str(), tid_);
    ASSERT_TRUE(plat::EventWait(out_.entered, 60000));
    PostStop(tid_);
    plat::EventSet(out_.release);
    ASSERT_TRUE(NextReport());
    EXPECT_EQ(g_report.stopped, 1);
    EXPECT_LT(g_report.framesDecoded, 40);
    Shutdown();
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 0);
    EXPECT_EQ(CountNotices(DNOTE_TRACK_START), 1);
    auto c = Calls();
    ASSERT_GE(c.size(), 2u);
    EXPECT_EQ(c[c.size() - 2].op, "Flush");
    EXPECT_EQ(c.back().op, "Close");
    EXPECT_EQ(c.back().a, 1);
}

TEST_F(DecoderThread, StopFollowedByPlayChangesTheTrack) {
    Start();
    out_.gateArmed = true;
    PostPlay(a_.c_str(), tid_);
    ASSERT_TRUE(plat::EventWait(out_.entered, 60000));
    PostStop(tid_);
    PostPlay(b_.c_str(), tid_);  // waits in the queue for the idle loop
    plat::EventSet(out_.release);
    ASSERT_TRUE(NextReport());
    EXPECT_EQ(g_report.stopped, 1);
    ASSERT_TRUE(NextReport());
    EXPECT_EQ(g_report.stopped, 0);
    EXPECT_EQ(g_report.framesDecoded, 25);
    Shutdown();
    EXPECT_EQ(CountNotices(DNOTE_TRACK_START), 2);
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 1);
    EXPECT_EQ(Count(Calls(), "Open"), 2);  // the stop closed the output
}

TEST_F(DecoderThread, PlayFileWhilePlayingIsDropped) {
    Start();
    out_.gateArmed = true;
    PostPlay(a_.c_str(), tid_);
    ASSERT_TRUE(plat::EventWait(out_.entered, 60000));
    PostPlay(b_.c_str(), tid_);
    plat::EventSet(out_.release);
    ASSERT_TRUE(NextReport());
    EXPECT_EQ(g_report.framesDecoded, 40);
    Shutdown();
    EXPECT_EQ(CountNotices(DNOTE_TRACK_START), 1);
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 1);
}

TEST_F(DecoderThread, SeekFlushesAndSetsThePosition) {
    std::string longer = dir_.File("long.mp2");
    MakeStream(longer, kL2_44k, 400);  // about 10.4 s
    Start();
    out_.gateArmed = true;
    PostPlay(longer.c_str(), tid_);
    ASSERT_TRUE(plat::EventWait(out_.entered, 60000));
    PostSeek(50, tid_);
    plat::EventSet(out_.release);
    ASSERT_TRUE(NextReport());
    EXPECT_EQ(g_report.stopped, 0);
    // Half the frames are skipped; the two that SeekToFrame reads are not decoded.
    EXPECT_LT(g_report.framesDecoded, 260);
    EXPECT_GT(g_report.framesDecoded, 150);
    Shutdown();
    auto c = Calls();
    auto flush = std::find_if(c.begin(), c.end(), [](const Call& x) { return x.op == "Flush"; });
    ASSERT_NE(flush, c.end());
    ASSERT_NE(flush + 1, c.end());
    EXPECT_EQ((flush + 1)->op, "SetPosition");
    EXPECT_GE((flush + 1)->a, 4);
    EXPECT_LE((flush + 1)->a, 6);
    // Progress jumps to about half way.
    auto n = Notices();
    bool half = false;
    for (const Notice& x : n)
        if (x.msg == DNOTE_PROGRESS && !x.sent && x.lParam >= 49 && x.lParam <= 51) half = true;
    EXPECT_TRUE(half);
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 1);
}

TEST_F(DecoderThread, CommandsThatMeanNothingWhileIdle) {
    Start();
    PostStop(tid_);
    PostSeek(30, tid_);
    PostPlay(a_.c_str(), tid_);
    ASSERT_TRUE(NextReport());
    EXPECT_EQ(g_report.framesDecoded, 40);
    Shutdown();
    EXPECT_EQ(Count(Calls(), "Flush"), 0);
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 1);
}

TEST_F(DecoderThread, ProgressEqualToTheLastPostedIsNotPostedAgain) {
    // One frame: the frame count rounds down to 0, so the percentage is 0.
    std::string tiny = dir_.File("tiny.mp2");
    MakeStream(tiny, kL2_44k, 1);
    Start();
    PlayAndWait(tiny);
    auto posted = [&] {
        int k = 0;
        for (const Notice& x : Notices())
            if (x.msg == DNOTE_PROGRESS && !x.sent) k++;
        return k;
    };
    int first = posted();
    EXPECT_LE(first, 1);
    EXPECT_EQ(LastPostedProgress(), 0);
    PlayAndWait(tiny);
    EXPECT_EQ(posted(), first);
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 2);
}

TEST_F(DecoderThread, InputThatCannotBeOpened) {
    Start();
    std::string missing = dir_.File("missing.mp2");
    PlayAndWait(missing);
    EXPECT_EQ(g_report.opened, 0);
    Shutdown();
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Decoder Error Message...: Could not open file: " + missing);
    EXPECT_TRUE(Notices().empty());
}

TEST_F(DecoderThread, OutputThatCannotBeOpenedEndsAsAStop) {
    out_.openResult = 0;
    Start();
    PlayAndWait(a_);
    EXPECT_EQ(g_report.stopped, 1);
    EXPECT_EQ(g_report.framesDecoded, 0);
    Shutdown();
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 0);
    auto c = Calls();
    EXPECT_EQ(Count(c, "Write"), 0);
    EXPECT_EQ(c.back().op, "Close");
}

TEST_F(DecoderThread, RefusedWriteEndsAsAStop) {
    out_.writeResult = -1;
    Start();
    PlayAndWait(a_);
    EXPECT_EQ(g_report.stopped, 1);
    EXPECT_LT(g_report.framesDecoded, 40);
    Shutdown();
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 0);
    auto c = Calls();
    EXPECT_EQ(c.back().op, "Close");
    EXPECT_EQ(c.back().a, 1);
}

// ------------------------------------------------------ with the WAV file

std::string g_savePath;
int AnswerSave(void*, const char*, const char*, const char*, char* path, size_t size) {
    std::snprintf(path, size, "%s", g_savePath.c_str());
    return 1;
}
int64_t g_room = 0;
int SmallDisk(plat::File f, const void* src, uint32_t n) {
    int64_t room = g_room - plat::FileTell(f);
    if (room <= 0) return -1;
    return plat::FileWrite(f, src, room < n ? uint32_t(room) : n);
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t o) {
    return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | uint32_t(b[o + 3]) << 24;
}

class DecoderToWav : public DecoderThread {
protected:
    void SetUp() override {
        DecoderThread::SetUp();
        OverrideOutputSystem(0, nullptr);
        g_settings.AudioOutputSystem = 1;
        g_savePath = dir_.File("out.wav");
        plat::SetSaveDialogHook(AnswerSave);
    }
    void TearDown() override {
        DecoderThread::TearDown();
        SetWavFileWriter(nullptr);
        plat::SetSaveDialogHook(nullptr);
        g_settings.AudioOutputSystem = 0;
    }
};

TEST_F(DecoderToWav, WholeTrackAndTailInTheFile) {
    Start();
    PlayAndWait(a_);
    PostCloseOutput(tid_);
    Shutdown();
    auto b = testutil::ReadBytes(g_savePath);
    ASSERT_EQ(b.size(), 46u + 40 * kPcmPerFrame);
    EXPECT_EQ(Le32(b, 42), uint32_t(40 * kPcmPerFrame));
    EXPECT_EQ(Le32(b, 24), 44100u);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(DecoderToWav, ConformanceVectorThroughThePlayerPath) {
    std::string vec = testutil::SharedDir() + "/vectors/l2-fl10.bit";
    std::string ref = testutil::SharedDir() + "/vectors/l2-fl10.pcm";
    if (!plat::FileExists(vec.c_str())) GTEST_SKIP() << "no conformance vectors";
    Start();
    PlayAndWait(vec);
    EXPECT_EQ(g_report.framesDecoded, 49);
    PostCloseOutput(tid_);
    Shutdown();
    auto b = testutil::ReadBytes(g_savePath);
    auto r = testutil::ReadBytes(ref);
    ASSERT_EQ(b.size(), 46u + 49 * kPcmPerFrame);  // every frame, the tail included
    EXPECT_EQ(Le32(b, 24), 32000u);
    EXPECT_EQ(b[22], 2);
    ASSERT_GE(r.size(), b.size() - 46);
    const auto d = testutil::ComparePcm(testutil::AsSamples({b.begin() + 46, b.end()}), testutil::AsSamples(r));
    EXPECT_EQ(d.n, (b.size() - 46) / 2);
    EXPECT_LE(d.max, 1);
}

TEST_F(DecoderToWav, FullDiskStopsWithAValidFileAndOneMessage) {
    g_room = 46 + 50000;
    SetWavFileWriter(SmallDisk);
    Start();
    PlayAndWait(a_);
    EXPECT_EQ(g_report.stopped, 1);
    Shutdown();
    EXPECT_EQ(CountNotices(DNOTE_TRACK_END), 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Wave file output error: Could not write to file");
    auto b = testutil::ReadBytes(g_savePath);
    ASSERT_EQ(b.size(), 46u + 50000u);
    EXPECT_EQ(Le32(b, 4), uint32_t(b.size() - 8));
    EXPECT_EQ(Le32(b, 42), 50000u);
}

}  // namespace
