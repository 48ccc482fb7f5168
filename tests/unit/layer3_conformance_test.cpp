// Layer III conformance: the l3-* vectors decoded through the frame reader,
// the Layer III decoder, the synthesis and a recording output driver, against
// their reference PCM (RMS of the difference below 0.289 LSB, at most 2 LSB).
//
// Alignment: the references begin with the first granule the decoder puts
// out; there is no delay to skip. Each reference lacks the stream's last
// frame, so the comparison runs over the reference's length. l3-he_mode
// switches between single-channel and two-channel frames; its reference holds
// each frame in its own channel count. l3-sin1k0db starts inside a stream:
// its first two frames reach (main_data_begin 461) before the data the file
// holds, so the decoder rejects them and begins with the third frame, as the
// reference does. l3-sin1k0db_ofs633.pcm is the same stream decoded from
// byte 633 (its second frame): there the third frame lacks data too, so that
// output begins one frame later, and without the overlap of the frame before.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/equalizer.h"
#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/layer3.h"
#include "decoder/synth.h"
#include "output/output_driver.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "decoder_test_util.h"
#include "test_util.h"

namespace {

using testutil::AsSamples;
using testutil::VectorDir;
bool Exists(const std::string& path) { return plat::FileExists(path.c_str()); }

// The overlap store lives across tracks; two granules of subbands that
// carry nothing empty it, so that each decode starts from silence.
void ClearOverlap() {
    double xr[576] = {}, out[18][32];
    GranuleInfo gi{};
    for (int ch = 0; ch < 2; ch++)
        for (int g = 0; g < 2; g++) Hybrid(xr, out, ch, &gi);
}

class Layer3Conformance : public ::testing::Test {
protected:
    void TearDown() override { CloseInput(); }

    // Decodes a stream as the decoder thread does, 16-bit at full rate (or
    // downsampled). channelSelect -1: each frame in its own channel count;
    // otherwise one output channel with that selection.
    std::vector<int16_t> Decode(const std::string& path, int channelSelect = -1, int downsample = 0,
                                int* rejected = nullptr) {
        testutil::g_pcmRecord.pcm.clear();
        PcmBuffer.fill = 0;
        ResetSynthesisState();
        InitLayer3Tables(downsample);
        ClearOverlap();
        if (!OpenInput(path.c_str())) return {};
        ResetHeaderHistory();
        StreamInfo si{};
        bool first = true;
        int bad = 0;
        while (ReadFrame(&si) == 1) {
            if (first || si.headerChanged) {
                int mono = si.channels == 1 || channelSelect >= 0;
                si.channelSelect = si.channels == 1 ? 3 : channelSelect;
                SelectSynthesis(&si, downsample, 0, mono);
                PcmBuffer.threshold = PcmThreshold(si.sampleRateIndex, downsample, 0);
                first = false;
            }
            if (si.crcPresent) GetBits(16);
            int r = si.layerDecoder(&si);
            if (r == -2) break;
            if (r != 1) bad++;
        }
        CloseInput();
        testutil::TakeUnflushedPcm();
        if (rejected) *rejected = bad;
        return AsSamples(testutil::g_pcmRecord.pcm);
    }

    testutil::DecoderSettings settings_;
    testutil::PcmCapture capture_;
};

using Diff = testutil::PcmDiff;
using testutil::ComparePcm;

TEST_F(Layer3Conformance, Vectors) {
    const char* names[] = {"l3-compl",     "l3-he_32khz", "l3-he_44khz", "l3-he_48khz", "l3-he_mode",
                           "l3-hecommon",  "l3-si",       "l3-si_block", "l3-si_huff",  "l3-test45"};
    if (!Exists(VectorDir() + "/l3-compl.bit")) GTEST_SKIP() << "no conformance vectors in " << VectorDir();
    for (const char* name : names) {
        std::string base = VectorDir() + "/" + name;
        int rejected = -1;
        auto ours = Decode(base + ".bit", -1, 0, &rejected);
        auto ref = AsSamples(testutil::ReadBytes(base + ".pcm"));
        ASSERT_FALSE(ref.empty()) << name;
        EXPECT_EQ(rejected, 0) << name;
        // The reference stops one frame early (at most).
        EXPECT_GE(ours.size(), ref.size()) << name;
        EXPECT_LE(ours.size(), ref.size() + 2 * 1152) << name;
        Diff d = ComparePcm(ours, ref);
        EXPECT_EQ(d.n, ref.size()) << name;
        EXPECT_LT(d.rms, 0.289) << name;
        EXPECT_LE(d.max, 2) << name;
        std::printf("  %-12s %7zu samples  rms %.4f  max %d\n", name, d.n, d.rms, d.max);
    }
}

TEST_F(Layer3Conformance, StreamStartingInsideItsReservoir) {
    std::string base = VectorDir() + "/l3-sin1k0db";
    if (!Exists(base + ".bit")) GTEST_SKIP() << "no conformance vectors in " << VectorDir();
    int rejected = -1;
    auto ours = Decode(base + ".bit", -1, 0, &rejected);
    EXPECT_EQ(rejected, 2);
    auto full = AsSamples(testutil::ReadBytes(base + ".pcm"));
    Diff f = ComparePcm(ours, full);
    EXPECT_EQ(f.n, full.size());
    EXPECT_LT(f.rms, 0.289);
    EXPECT_LE(f.max, 2);
    // From byte 633: one frame later; its first frame lacks the overlap.
    auto fromSecond = AsSamples(testutil::ReadBytes(base + "_ofs633.pcm"));
    const size_t frame = 2 * 1152;
    ASSERT_GT(ours.size(), frame);
    std::vector<int16_t> later(ours.begin() + frame, ours.end());
    Diff d = ComparePcm(later, fromSecond, 0, frame);
    EXPECT_EQ(d.n + frame, fromSecond.size());
    EXPECT_LT(d.rms, 0.289);
    EXPECT_LE(d.max, 2);
    std::printf("  l3-sin1k0db  rms %.4f max %d; from byte 633: rms %.4f max %d (one frame later)\n", f.rms, f.max,
                d.rms, d.max);
}

TEST_F(Layer3Conformance, ChannelSelectionAndMix) {
    std::string path = VectorDir() + "/l3-hecommon.bit";
    if (!Exists(path)) GTEST_SKIP() << "no conformance vectors in " << VectorDir();
    auto stereo = Decode(path);
    auto left = Decode(path, 0);
    auto right = Decode(path, 1);
    auto mix = Decode(path, 3);
    ASSERT_EQ(left.size() * 2, stereo.size());
    ASSERT_EQ(right.size(), left.size());
    ASSERT_EQ(mix.size(), left.size());
    // The overlap store outlives a decode, so the first granule differs.
    int maxL = 0, maxR = 0, maxMix = 0;
    bool differ = false;
    for (size_t i = 1152; i < left.size(); i++) {
        int l = stereo[2 * i], r = stereo[2 * i + 1];
        maxL = std::max(maxL, std::abs(left[i] - l));
        maxR = std::max(maxR, std::abs(right[i] - r));
        maxMix = std::max(maxMix, std::abs(2 * mix[i] - (l + r)));
        if (l != r) differ = true;
    }
    EXPECT_TRUE(differ);
    EXPECT_EQ(maxL, 0);
    EXPECT_EQ(maxR, 0);
    EXPECT_LE(maxMix, 3);  // the mix is rounded once, the two channels twice
}

TEST_F(Layer3Conformance, DownsampledOutputIsShortAndClean) {
    std::string path = VectorDir() + "/l3-hecommon.bit";
    if (!Exists(path)) GTEST_SKIP() << "no conformance vectors in " << VectorDir();
    auto full = Decode(path);
    auto half = Decode(path, -1, 1);
    auto quarter = Decode(path, -1, 2);
    EXPECT_EQ(half.size() * 2, full.size());
    EXPECT_EQ(quarter.size() * 4, full.size());
}

TEST_F(Layer3Conformance, EqualizerAppliesOnlyWhenEnabled) {
    std::string path = VectorDir() + "/l3-si.bit";
    if (!Exists(path)) GTEST_SKIP() << "no conformance vectors in " << VectorDir();
    auto plain = Decode(path);
    float gains[12];
    for (float& g : gains) g = 0.0f;
    ComputeEqualizerTable(gains);
    auto disabled = Decode(path);
    EXPECT_EQ(plain, disabled);
    g_settings.EqEnabled = 1;
    auto silent = Decode(path);
    ASSERT_EQ(silent.size(), plain.size());
    // All bands at 0: nothing after the overlap of the previous run.
    for (size_t i = 2 * 1152; i < silent.size(); i++) ASSERT_EQ(silent[i], 0) << i;
    for (float& g : gains) g = 1.0f;
    ComputeEqualizerTable(gains);
    auto flat = Decode(path);
    // The overlap store and the synthesis history outlive a decode; from the
    // second frame on the flat curve gives the plain output.
    Diff d = ComparePcm(flat, plain, 0, 2 * 1152);
    EXPECT_EQ(d.max, 0);
}

TEST_F(Layer3Conformance, DecodedBytesAreTheSameOnEveryPlatform) {
    std::string path = VectorDir() + "/l3-si_block.bit";
    if (!Exists(path)) GTEST_SKIP() << "no conformance vectors in " << VectorDir();
    // The same double arithmetic natively and in the SSE2 Win32 build.
    auto pcm = Decode(path);
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < pcm.size(); i++) {
        int16_t s = pcm[i];
        h = (h ^ uint8_t(s)) * 1099511628211ull;
        h = (h ^ uint8_t(uint16_t(s) >> 8)) * 1099511628211ull;
    }
    std::printf("  l3-si_block hash %llu\n", static_cast<unsigned long long>(h));
    EXPECT_EQ(h, 5562626964889960962ull);
}

}  // namespace
