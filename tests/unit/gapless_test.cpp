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

TEST(LameExtension, DelayAndPaddingOnlyBehindAGoodCrc) {
    struct Case {
        const char* name;
        uint32_t word;
        int delay, padding;
        LameCrc crc;
        bool taken;
    } cases[] = {
        {"stereo", kStereo44k, 576, 1000, LameCrc::kInFront, true},
        {"mono, CRC in front of the field", kMono44k, 576, 703, LameCrc::kInFront, true},
        {"mono, CRC over 190 bytes", kMono44k, 576, 703, LameCrc::kFirst190, true},
        {"LSF", kStereo22k, 576, 705, LameCrc::kInFront, true},
        {"smallest values", kStereo44k, 0, 0, LameCrc::kInFront, true},
        {"largest values", kStereo44k, 4095, 4095, LameCrc::kInFront, true},
        {"wrong CRC", kStereo44k, 576, 1000, LameCrc::kWrong, false},
        {"no extension", kStereo44k, 576, 1000, LameCrc::kNoExtension, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = testutil::LameInfoFrame(c.word, 100, c.delay, c.padding, c.crc);
        VbrHeader vbr;
        ASSERT_TRUE(ParseVbrHeader(f.data(), f.size(), &vbr));
        EXPECT_EQ(vbr.frames, 100u);
        EXPECT_EQ(vbr.hasEncoderDelay, c.taken ? 1 : 0);
        if (c.taken) {
            EXPECT_EQ(vbr.encoderDelay, c.delay);
            EXPECT_EQ(vbr.encoderPadding, c.padding);
        }
    }
}

TEST(LameExtension, GaplessWindowIsClampedToTheStream) {
    struct Case {
        uint32_t frames;
        int samplesPerFrame, delay, padding;
        int64_t start, end, original;
    } cases[] = {
        {100, 1152, 576, 1000, 1105, 115200 - 471, 115200 - 1576},
        {100, 1152, 0, 0, 529, 115200, 115200},  // the last 529 samples never come out
        {100, 576, 4095, 4095, 4624, 57600 - 3566, 57600 - 8190},
        {2, 1152, 4095, 4095, 2304, 2304, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames * 10000 + c.delay);
        VbrHeader vbr{};
        vbr.present = vbr.hasEncoderDelay = 1;
        vbr.frames = c.frames;
        vbr.encoderDelay = c.delay;
        vbr.encoderPadding = c.padding;
        GaplessWindow w;
        ASSERT_TRUE(GetGaplessWindow(vbr, c.samplesPerFrame, &w));
        EXPECT_EQ(w.start, c.start);
        EXPECT_EQ(w.end, c.end);
        EXPECT_EQ(w.originalSamples, c.original);
    }
    VbrHeader unknownCount{};
    unknownCount.present = unknownCount.hasEncoderDelay = 1;
    GaplessWindow w;
    EXPECT_FALSE(GetGaplessWindow(unknownCount, 1152, &w));
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
        si.channelSelect = -1;
        for (int i = 0; i < 39; i++) ASSERT_EQ(ReadFrame(&si), 1);
        EXPECT_EQ(GetPlayedSeconds(&si), gapless ? 0 : 1);
        ASSERT_EQ(ReadFrame(&si), 1);
        EXPECT_EQ(GetPlayedSeconds(&si), 1);
        CloseInput();

        plat::File f = plat::FileOpenRead(path.c_str());
        ASSERT_TRUE(f);
        StreamProbe probe;
        EXPECT_EQ(ProbeStream(f, &probe), 1);
        plat::FileClose(f);
        // 60 x 1152 - 576 - 1000 samples, or all 60 frames.
        EXPECT_EQ(probe.durationMs, gapless ? 1532 : 1567);
    }
}

}  // namespace
