// The encoder delay and padding of the LAME extension, the decoded samples
// they leave, and the played time and length of a stream that has them.
#include <gtest/gtest.h>

#include <string>

#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/stream_probe.h"
#include "lame_tag.h"
#include "test_util.h"

namespace {

using testutil::LameCrc;

constexpr uint32_t kStereo44k = 0xFFFB9000;  // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo
constexpr uint32_t kMono44k = 0xFFFB50C0;    // MPEG-1 Layer III, 64 kbit/s, 44.1 kHz, single channel
constexpr uint32_t kStereo22k = 0xFFF38000;  // MPEG-2 Layer III, 64 kbit/s, 22.05 kHz, stereo

// 100 frames: the window and the input's length, or no window.
TEST(LameExtension, DelayAndPaddingOnlyBehindAGoodCrc) {
    struct Case {
        uint32_t word;
        int delay, padding;
        LameCrc crc;
        bool taken;
        int64_t start, end, original;
    } cases[] = {
        {kStereo44k, 576, 1000, LameCrc::kInFront, true, 1105, 115200 - 471, 115200 - 1576},
        {kMono44k, 576, 703, LameCrc::kInFront, true, 1105, 115200 - 174, 115200 - 1279},
        {kMono44k, 576, 703, LameCrc::kFirst190, true, 1105, 115200 - 174, 115200 - 1279},
        // Padding below 529: the decoder never gives the input's last samples.
        {kStereo44k, 0, 0, LameCrc::kInFront, true, 529, 115200, 115200},
        {kStereo22k, 4095, 4095, LameCrc::kInFront, true, 4624, 57600 - 3566, 57600 - 8190},
        {kStereo44k, 576, 1000, LameCrc::kWrong, false},
        {kStereo44k, 576, 1000, LameCrc::kNoExtension, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word << std::dec << " " << c.delay << " crc " << int(c.crc));
        auto f = testutil::LameStream(c.word, 100, c.delay, c.padding, c.crc);
        VbrHeader vbr;
        ASSERT_TRUE(ParseVbrHeader(f.data(), size_t(HeaderBodyLength(c.word) + 4), &vbr));
        EXPECT_EQ(vbr.frames, 100u);
        GaplessWindow w{};
        ASSERT_EQ(GetGaplessWindow(vbr, SamplesPerFrame(3, c.word == kStereo22k), &w), c.taken);
        EXPECT_EQ(w.start, c.start);
        EXPECT_EQ(w.end, c.end);
        EXPECT_EQ(w.originalSamples, c.original);
    }
    // A stream shorter than delay and padding keeps nothing.
    VbrHeader tiny = {};
    tiny.present = tiny.hasEncoderDelay = 1;
    tiny.frames = 2;
    tiny.encoderDelay = tiny.encoderPadding = 4095;
    GaplessWindow w;
    ASSERT_TRUE(GetGaplessWindow(tiny, 1152, &w));
    EXPECT_EQ(w.start, 2304);
    EXPECT_EQ(w.end, 2304);
    EXPECT_EQ(w.originalSamples, 0);
}

// 39 frames of 1152 samples are 1.019 s decoded, 0.994 s of the encoder's
// input behind its 576 + 529 samples of delay.
TEST(LameExtension, PlayedTimeAndLengthCountTheEncodersInput) {
    for (LameCrc crc : {LameCrc::kInFront, LameCrc::kWrong}) {
        const bool gapless = crc == LameCrc::kInFront;
        SCOPED_TRACE(gapless);
        testutil::TempDir dir;
        std::string path = dir.File("lame.mp3");
        testutil::WriteBytes(path, testutil::LameStream(kStereo44k, 60, 576, 1000, crc));
        ASSERT_EQ(OpenInput(path.c_str()), 1);
        ResetHeaderHistory();
        StreamInfo si{};
        for (int i = 0; i < 39; i++) ASSERT_EQ(ReadFrame(&si), 1);
        EXPECT_EQ(GetPlayedSeconds(&si), gapless ? 0 : 1);
        CloseInput();

        plat::File f = plat::FileOpenRead(path.c_str());
        ASSERT_TRUE(f);
        StreamLayout probe;
        EXPECT_EQ(ProbeStream(f, &probe), 1);
        plat::FileClose(f);
        EXPECT_EQ(probe.durationMs, gapless ? 1531 : 1567);  // 60 x 1152 - 576 - 1000 samples, or 60 frames
    }
}

// The end is trimmed only when the tag counts the frames the file holds:
// files joined or cut behind the tag's back play whole.
TEST(LameExtension, TrimOnlyWhenTheCountAgrees) {
    struct Case {
        uint32_t tagFrames, fileFrames;
    } cases[] = {{60, 60}, {2, 200}, {60, 59}, {60, 121}, {6000, 6000}, {2, 6000}};  // 6000: past the whole walk
    // 48 kHz at 128 kbit/s: 384 bytes a frame, no padding, so that a long
    // stream counted from its length is exact.
    constexpr uint32_t kStereo48k = 0xFFFB9400;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tagFrames << " of " << c.fileFrames);
        std::vector<uint8_t> b = testutil::LameStream(kStereo48k, c.tagFrames, 576, 1000, LameCrc::kInFront);
        std::vector<uint8_t> more = testutil::LameStream(kStereo48k, c.fileFrames, 576, 1000, LameCrc::kNoExtension);
        b.resize(b.size() / (c.tagFrames + 1));  // the tag's frame, then the file's frames
        b.insert(b.end(), more.begin() + long(more.size() / (c.fileFrames + 1)), more.end());
        testutil::TempDir dir;
        std::string path = dir.File("lame.mp3");
        testutil::WriteBytes(path, b);
        plat::File f = plat::FileOpenRead(path.c_str());
        ASSERT_TRUE(f);
        StreamLayout lay;
        EXPECT_EQ(ReadStreamLayout(f, &lay), 1);
        plat::FileClose(f);
        const bool agree = c.tagFrames == c.fileFrames;
        EXPECT_EQ(lay.frames, c.fileFrames);
        EXPECT_EQ(lay.gapless, agree ? 1 : 0);
        EXPECT_EQ(lay.samples, agree ? int64_t(c.fileFrames) * 1152 - 1576 : int64_t(c.fileFrames) * 1152);
    }
}

}  // namespace

