// Layers I and II: tables, hand-built frames (dequantized values captured
// before the synthesis), hostile frames, the output's refusal, and the
// conformance vectors decoded to PCM and compared with their references.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/layer12.h"
#include "decoder/synth.h"
#include "output/output_driver.h"
#include "platform/platform.h"
#include "decoder_test_util.h"
#include "test_util.h"

namespace {

// ------------------------------------------------------------- fixtures

testutil::PcmRecord& g_rec = testutil::g_pcmRecord;

// Slots as the layer decoder hands them to the synthesis.
std::vector<std::vector<double>> g_slots[2];
void CaptureSynth(const double* s0, const double* s1, uint8_t*) {
    g_slots[0].emplace_back(s0, s0 + 32);
    g_slots[1].emplace_back(s1, s1 + 32);
}
void CaptureMono(const double* s, uint8_t*) { g_slots[0].emplace_back(s, s + 32); }

int AnswerNo(void*, const char*, const char*, unsigned flags) {
    return (flags & 0xF) == plat::MbYesNo ? plat::IdNo : plat::IdOk;
}

class Layer12 : public ::testing::Test {
protected:
    void SetUp() override {
        InitLayer12Tables();
        g_slots[0].clear();
        g_slots[1].clear();
        PcmBuffer.threshold = 16384;
        plat::SetMessageBoxHook(AnswerNo);
        ResetSynthesisState();
    }
    void TearDown() override {
        plat::SetMessageBoxHook(nullptr);
        CloseInput();
    }
    testutil::PcmCapture capture_;
};

using testutil::BitWriter;

StreamInfo CaptureInfo(int channels, int layer) {
    StreamInfo si{};
    si.channels = channels;
    si.channelSelect = channels == 2 ? -1 : 3;
    si.synth = CaptureSynth;
    si.monoWriter = CaptureMono;
    si.bytesPerSlot = 128;
    si.layer = layer;
    si.jsbound = 32;
    return si;
}

// ---------------------------------------------------------------- tables

TEST_F(Layer12, AllocationTables) {
    const int sblimits[5] = {27, 30, 8, 12, 30};
    for (int t = 0; t < 5; t++) {
        int sblimit = -1;
        const Layer2AllocTable* table = GetLayer2AllocTable(t, &sblimit);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(sblimit, sblimits[t]);
        int pos = 0;
        for (int sb = 0; sb < sblimit; sb++) {
            int nbal = table->entries[pos].bits;
            EXPECT_EQ(table->entries[pos].d, 0);
            EXPECT_GE(nbal, 2);
            EXPECT_LE(nbal, 4);
            pos += 1 << nbal;
        }
        EXPECT_EQ(pos, table->entryCount);
    }
    int sblimit = 0;
    EXPECT_EQ(GetLayer2AllocTable(7, &sblimit), GetLayer2AllocTable(0, &sblimit));
    // Table 3-B.2a subband 0: 3 steps grouped, then 7, 15, ... 65535 steps.
    const Layer2AllocEntry* a = GetLayer2AllocTable(0, &sblimit)->entries;
    EXPECT_EQ(a[1].bits, 5);
    EXPECT_EQ(a[1].d, 3);
    EXPECT_EQ(a[2].bits, 3);
    EXPECT_EQ(a[2].d, -3);
    EXPECT_EQ(a[3].bits, 4);
    EXPECT_EQ(a[3].d, -7);
    EXPECT_EQ(a[15].bits, 16);
    EXPECT_EQ(a[15].d, -32767);
    // Subband 3: 3, 5, 7, 9 steps.
    EXPECT_EQ(a[3 * 16 + 2].bits, 7);
    EXPECT_EQ(a[3 * 16 + 2].d, 5);
    EXPECT_EQ(a[3 * 16 + 4].bits, 10);
    EXPECT_EQ(a[3 * 16 + 4].d, 9);
}

TEST_F(Layer12, MultipliersAndGrouping) {
    const auto& M = g_layer12Multiplier;
    EXPECT_DOUBLE_EQ(M[3][0], 2.0 / 7.0 * 2.0);
    EXPECT_DOUBLE_EQ(M[16][3], 2.0 / 65535.0);
    EXPECT_DOUBLE_EQ(M[1][6], -2.0 / 3.0 * 0.5);
    EXPECT_DOUBLE_EQ(M[26][1], 8.0 / 9.0 * std::pow(2.0, 1.0 - 1.0 / 3.0));
    for (int k = 0; k < kLayer12Rows; k++) EXPECT_EQ(M[k][63], 0.0);
    for (int i = 0; i < 64; i++) EXPECT_EQ(M[0][i], 0.0);
    // 3 levels: code 0 all lowest, 13 all middle, 26 all highest; 27..31 zero.
    for (int j = 0; j < 3; j++) {
        EXPECT_DOUBLE_EQ(M[g_layer2Group3[0][j]][0], -4.0 / 3.0);
        EXPECT_EQ(M[g_layer2Group3[13][j]][0], 0.0);
        EXPECT_DOUBLE_EQ(M[g_layer2Group3[26][j]][0], 4.0 / 3.0);
        for (int c = 27; c < 32; c++) EXPECT_EQ(g_layer2Group3[c][j], 0);
        for (int c = 125; c < 128; c++) EXPECT_EQ(g_layer2Group5[c][j], 0);
        for (int c = 729; c < 1024; c++) EXPECT_EQ(g_layer2Group9[c][j], 0);
    }
    // c = x0 + 5 x1 + 25 x2, first sample first.
    EXPECT_DOUBLE_EQ(M[g_layer2Group5[1 + 5 * 3 + 25 * 4][0]][0], 2 * -2.0 / 5.0);
    EXPECT_DOUBLE_EQ(M[g_layer2Group5[1 + 5 * 3 + 25 * 4][1]][0], 2 * 2.0 / 5.0);
    EXPECT_DOUBLE_EQ(M[g_layer2Group5[1 + 5 * 3 + 25 * 4][2]][0], 2 * 4.0 / 5.0);
    EXPECT_DOUBLE_EQ(M[g_layer2Group9[8 + 9 * 1][0]][0], 2 * 8.0 / 9.0);
    EXPECT_DOUBLE_EQ(M[g_layer2Group9[8 + 9 * 1][1]][0], 2 * -2.0 / 3.0);
}

// ------------------------------------------------------- Layer I frames

TEST_F(Layer12, LayerOneMonoReadsThirtyTwoAllocations) {
    BitWriter w;
    w.Put(0, 32 * 4);  // all allocations 0: nothing else follows
    w.Put(0xFFFF, 16);
    w.Load();
    StreamInfo si = CaptureInfo(1, 1);
    EXPECT_EQ(DecodeLayer1Frame(&si), 1);
    EXPECT_EQ(g_bits.p - FrameBuffer(0), 16);
    EXPECT_EQ(g_bits.bit, 0u);
    ASSERT_EQ(g_slots[0].size(), 12u);
    for (auto& s : g_slots[0])
        for (double v : s) EXPECT_EQ(v, 0.0);
}

TEST_F(Layer12, LayerOneTwoBitCodes) {
    // Mono, subband 0 allocation 1 (2-bit codes), scale factor index 3 (1.0);
    // subband 1 allocation 1 with index 63.
    BitWriter w;
    w.Put(1, 4);
    w.Put(1, 4);
    w.Put(0, 30 * 4);
    w.Put(3, 6);
    w.Put(63, 6);
    const unsigned codes[12] = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
    for (unsigned c : codes) {
        w.Put(c, 2);
        w.Put(3, 2);
    }
    w.Load();
    StreamInfo si = CaptureInfo(1, 1);
    ASSERT_EQ(DecodeLayer1Frame(&si), 1);
    ASSERT_EQ(g_slots[0].size(), 12u);
    const double want[4] = {-2.0 / 3.0, 0.0, 2.0 / 3.0, 4.0 / 3.0};  // code 3 is forbidden but decoded
    for (int i = 0; i < 12; i++) {
        EXPECT_DOUBLE_EQ(g_slots[0][i][0], want[codes[i]]);
        EXPECT_EQ(g_slots[0][i][1], 0.0);  // index 63
    }
}

TEST_F(Layer12, LayerOneJointStereoAndRates) {
    // Joint stereo, jsbound 4; every subband allocation 15 (16-bit codes).
    BitWriter w;
    for (int sb = 0; sb < 32; sb++) w.Put(sb < 4 ? 0xFF : 15, sb < 4 ? 8 : 4);
    for (int sb = 0; sb < 32; sb++) {
        w.Put(0, 6);  // channel 0: 2.0
        w.Put(3, 6);  // channel 1: 1.0
    }
    for (int slot = 0; slot < 12; slot++)
        for (int sb = 0; sb < 32; sb++)
            for (int ch = 0; ch < (sb < 4 ? 2 : 1); ch++) w.Put(0xC000, 16);
    for (int ds = 0; ds < 3; ds++) {
        g_slots[0].clear();
        g_slots[1].clear();
        w.Load();
        StreamInfo si = CaptureInfo(2, 1);
        si.jsbound = 4;
        si.downsample = ds;
        ASSERT_EQ(DecodeLayer1Frame(&si), 1);
        ASSERT_EQ(g_slots[0].size(), 12u);
        ASSERT_EQ(g_slots[1].size(), 12u);
        double v = (0xC000 - 32768 + 1) * 2.0 / 65535.0;
        for (int sb = 0; sb < 32; sb++) {
            bool live = sb < (32 >> ds);
            EXPECT_DOUBLE_EQ(g_slots[0][5][sb], live ? v * 2.0 : 0.0) << sb;
            EXPECT_DOUBLE_EQ(g_slots[1][5][sb], live ? v : 0.0) << sb;
        }
    }
    // Mono output of the stereo stream plays channel 0 through the mono writer.
    g_slots[0].clear();
    g_slots[1].clear();
    w.Load();
    StreamInfo si = CaptureInfo(2, 1);
    si.jsbound = 4;
    si.channelSelect = 3;
    ASSERT_EQ(DecodeLayer1Frame(&si), 1);
    ASSERT_EQ(g_slots[0].size(), 12u);
    EXPECT_TRUE(g_slots[1].empty());
    EXPECT_DOUBLE_EQ(g_slots[0][0][0], (0xC000 - 32767) * 2.0 / 65535.0 * 2.0);
}

// ------------------------------------------------------ Layer II frames

TEST_F(Layer12, LayerTwoGroupedCodesAndSelectionInfo) {
    // Table 3-B.2c (sblimit 8), mono. Subband 0 allocation 1 (3 steps,
    // grouped, 5 bits); selection information 2: one index (3 -> 1.0) for
    // all three parts. Subband 1 allocation 3 (9 steps, 10 bits), selection
    // 1: indices (0, 0, 6) -> 2.0, 2.0, 0.5.
    int sblimit = 0;
    const Layer2AllocTable* table = GetLayer2AllocTable(2, &sblimit);
    BitWriter w;
    w.Put(1, 4);
    w.Put(3, 4);
    for (int sb = 2; sb < 8; sb++) w.Put(0, 3);
    w.Put(2, 2);
    w.Put(1, 2);
    w.Put(3, 6);
    w.Put(0, 6);
    w.Put(6, 6);
    const unsigned g3[12] = {0, 13, 26, 31, 0, 13, 26, 31, 0, 13, 26, 5};
    for (int gr = 0; gr < 12; gr++) {
        w.Put(g3[gr], 5);
        w.Put(8 + 9 * 4 + 81 * 0, 10);  // 8/9, 0, -8/9
    }
    w.Load();
    StreamInfo si = CaptureInfo(1, 2);
    si.allocTable = table;
    si.sblimit = sblimit;
    si.jsbound = sblimit;
    ASSERT_EQ(DecodeLayer2Frame(&si), 1);
    ASSERT_EQ(g_slots[0].size(), 36u);
    for (int gr = 0; gr < 12; gr++) {
        double level = g3[gr] == 0 ? -2.0 / 3.0 : g3[gr] == 13 ? 0.0 : g3[gr] == 26 ? 2.0 / 3.0 : 0.0;
        double scale1 = gr < 8 ? 2.0 : 0.5;
        for (int j = 0; j < 3; j++) {
            const auto& s = g_slots[0][3 * gr + j];
            if (g3[gr] == 5) {  // x0 = 2, x1 = 1, x2 = 0
                const double l[3] = {2.0 / 3.0, 0.0, -2.0 / 3.0};
                EXPECT_DOUBLE_EQ(s[0], l[j]);
            } else {
                EXPECT_DOUBLE_EQ(s[0], level) << gr;  // 31 is not a valid code: silence
            }
            const double l9[3] = {8.0 / 9.0, 0.0, -8.0 / 9.0};
            EXPECT_DOUBLE_EQ(s[1], l9[j] * scale1) << gr;
            for (int sb = 2; sb < 32; sb++) EXPECT_EQ(s[sb], 0.0);
        }
    }
}

TEST_F(Layer12, LayerTwoIntensityStereoAndQuarterRate) {
    // Table 3-B.2a, joint stereo with jsbound 4: subband 10 has the shared
    // allocation 3 (7 steps, 3-bit codes) and each channel its own selection
    // information and scale factors.
    int sblimit = 0;
    const Layer2AllocTable* table = GetLayer2AllocTable(0, &sblimit);
    BitWriter w;
    for (int sb = 0; sb < sblimit; sb++) {
        int nbal = sb < 3 ? 4 : sb < 11 ? 4 : sb < 23 ? 3 : 2;
        int a = sb == 10 ? 3 : 0;
        w.Put(a, nbal);
        if (sb < 4) w.Put(0, nbal);
    }
    w.Put(2, 2);  // channel 0 selection
    w.Put(2, 2);  // channel 1 selection
    w.Put(0, 6);  // channel 0: 2.0
    w.Put(6, 6);  // channel 1: 0.5
    for (int gr = 0; gr < 12; gr++)
        for (int j = 0; j < 3; j++) w.Put(6, 3);  // (6 - 3) * 2/7
    for (int ds : {0, 2}) {
        g_slots[0].clear();
        g_slots[1].clear();
        w.Load();
        StreamInfo si = CaptureInfo(2, 2);
        si.allocTable = table;
        si.sblimit = sblimit;
        si.jsbound = 4;
        si.downsample = ds;
        ASSERT_EQ(DecodeLayer2Frame(&si), 1);
        ASSERT_EQ(g_slots[0].size(), 36u);
        ASSERT_EQ(g_slots[1].size(), 36u);
        for (int i = 0; i < 36; i++) {
            EXPECT_DOUBLE_EQ(g_slots[0][i][10], ds == 2 ? 0.0 : 3 * 2.0 / 7.0 * 2.0);
            EXPECT_DOUBLE_EQ(g_slots[1][i][10], ds == 2 ? 0.0 : 3 * 2.0 / 7.0 * 0.5);
        }
    }
}

TEST_F(Layer12, HostileFramesStayInBounds) {
    // Random bodies with every table, odd jsbound and sblimit values, both
    // channel counts and every rate: decoded without reading or writing
    // outside the tables (the sanitizer build checks the bounds).
    uint32_t seed = 99;
    std::vector<uint8_t> body(kBodyAreaSize);
    int sblimit = 0;
    for (int round = 0; round < 60; round++) {
        for (auto& b : body) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(seed >> 24);
        }
        if (round % 3 == 0) std::fill(body.begin(), body.end(), 0xFF);  // all allocations maximal, index 63
        std::memcpy(FrameBuffer(0), body.data(), body.size());
        g_frames.currentBuffer = FrameBuffer(0);
        ResetBitReader();
        StreamInfo si{};
        SelectSynthesis(&si, round % 3, round % 2, round % 4 == 1);
        si.channels = 1 + (round % 5 != 0);
        si.channelSelect = round % 4 == 1 ? 3 : round % 7 == 3 ? 1 : -1;
        si.downsample = round % 3;
        si.jsbound = (round * 7) % 40 - 4;
        si.allocTable = GetLayer2AllocTable(round % 5, &sblimit);
        si.sblimit = round % 6 == 0 ? 32 : sblimit;
        PcmBuffer.threshold = PcmThreshold(round % 9, si.downsample, round % 2);
        EXPECT_EQ(DecodeLayer1Frame(&si), 1);
        ResetBitReader();
        EXPECT_EQ(DecodeLayer2Frame(&si), 1);
        EXPECT_LE(PcmBuffer.fill, kPcmBufferSize - kPcmMaxSlotBytes);
    }
}

TEST_F(Layer12, RefusedOutputEndsTheFrame) {
    BitWriter w;
    w.Put(0, 64 * 4);
    w.Load();
    StreamInfo si{};
    SelectSynthesis(&si, 0, 0, 0);
    si.channels = 2;
    si.channelSelect = -1;
    si.jsbound = 32;
    PcmBuffer.threshold = 256;  // the second slot reaches it
    g_rec.writeResult = -1;     // a WAV file that cannot grow
    EXPECT_EQ(DecodeLayer1Frame(&si), -2);
    EXPECT_EQ(PcmBuffer.fill, 256);
    int sblimit = 0;
    si.allocTable = GetLayer2AllocTable(0, &sblimit);
    si.sblimit = sblimit;
    si.jsbound = sblimit;
    ResetBitReader();
    EXPECT_EQ(DecodeLayer2Frame(&si), -2);
    // Without a PCM buffer nothing is decoded.
    PcmBuffer.data = nullptr;
    EXPECT_EQ(DecodeLayer1Frame(&si), 0);
    EXPECT_EQ(DecodeLayer2Frame(&si), 0);
}

// ------------------------------------------------------------ conformance

using testutil::AsSamples;
using testutil::VectorDir;
bool Exists(const std::string& path) { return plat::FileExists(path.c_str()); }

// Decodes a stream as the decoder thread does: stereo output for two
// channels, mono output for one; 16-bit, full rate unless told otherwise.
// Returns the PCM written plus the unflushed tail.
std::vector<uint8_t> DecodeFile(const std::string& path, int downsample = 0, int* frames = nullptr) {
    g_rec.pcm.clear();
    PcmBuffer.fill = 0;
    ResetSynthesisState();
    std::vector<uint8_t> none;
    if (!OpenInput(path.c_str())) return none;
    ResetHeaderHistory();
    StreamInfo si{};
    si.downsample = downsample;
    bool first = true;
    int n = 0;
    while (ReadFrame(&si) == 1) {
        if (first || si.headerChanged) {
            int mono = si.channels == 1;
            si.channelSelect = mono ? 3 : -1;
            SelectSynthesis(&si, downsample, 0, mono);
            PcmBuffer.threshold = PcmThreshold(si.sampleRateIndex, downsample, 0);
            first = false;
        }
        if (si.crcPresent) GetBits(16);
        if (si.layerDecoder(&si) == -2) break;
        n++;
    }
    CloseInput();
    testutil::TakeUnflushedPcm();
    if (frames) *frames = n;
    return g_rec.pcm;
}

uint64_t Fnv1a(const std::vector<uint8_t>& b) {
    uint64_t h = 14695981039346656037ull;
    for (uint8_t c : b) h = (h ^ c) * 1099511628211ull;
    return h;
}

TEST_F(Layer12, ConformanceVectors) {
    const char* names[] = {"l1-fl1", "l1-fl2", "l1-fl3", "l1-fl4", "l1-fl5", "l1-fl6",
                           "l1-fl7", "l1-fl8", "l2-fl10", "l2-fl11", "l2-fl12", "l2-fl13",
                           "l2-fl14", "l2-fl15", "l2-fl16", "l2-test32"};
    if (!Exists(VectorDir() + "/l1-fl1.bit")) GTEST_SKIP() << "no conformance vectors in " << VectorDir();
    for (const char* name : names) {
        std::string base = VectorDir() + "/" + name;
        auto ours = AsSamples(DecodeFile(base + ".bit"));
        auto ref = AsSamples(testutil::ReadBytes(base + ".pcm"));
        ASSERT_FALSE(ours.empty()) << name;
        ASSERT_FALSE(ref.empty()) << name;
        // The references are zero-padded to a round size and run a little
        // past the last whole frame: compare over what both hold, and
        // require ours to reach to within two frames of the reference's end.
        size_t last = ref.size();
        while (last > 0 && ref[last - 1] == 0) last--;
        EXPECT_GE(ours.size() + 2 * 1152, last) << name;
        const testutil::PcmDiff d = testutil::ComparePcm(ours, ref);
        EXPECT_LT(d.rms, 0.289) << name;
        EXPECT_LE(d.max, 2) << name;
        std::printf("  %-10s %7zu samples  rms %.4f  max %d\n", name, d.n, d.rms, d.max);
    }
}

TEST_F(Layer12, DecodedBytesAreTheSameOnEveryPlatform) {
    std::string path = VectorDir() + "/l2-fl16.bit";
    if (!Exists(path)) GTEST_SKIP() << "no conformance vectors in " << VectorDir();
    // The same double arithmetic natively and in the SSE2 Win32 build.
    EXPECT_EQ(Fnv1a(DecodeFile(path)), 9857034017264785965ull) << "full rate";
    EXPECT_EQ(Fnv1a(DecodeFile(VectorDir() + "/l1-fl7.bit", 1)), 13313926055194790473ull) << "half rate";
}

TEST_F(Layer12, IllegalStreamsDecodeWithoutHarm) {
    const char* names[] = {"ILL2_center2", "ILL2_dual", "ILL2_dynx22", "ILL2_dynx31", "ILL2_dynx32",
                           "ILL2_ext_switching", "ILL2_layer1", "ILL2_layer3", "ILL2_mono",
                           "ILL2_multilingual", "ILL2_overalloc1", "ILL2_overalloc2", "ILL2_prediction",
                           "ILL2_samples", "ILL2_scf63", "ILL2_tca21", "ILL2_tca30", "ILL2_tca30_PC",
                           "ILL2_tca31_PC", "ILL2_tca31_mtx0", "ILL2_tca31_mtx2", "ILL2_tca32_PC",
                           "ILL2_wrongcrc", "ILL4_ext_id1", "ILL4_sync", "ILL4_wrong_length1",
                           "ILL4_wrong_length2", "ILL4_wrongcrc"};
    if (!Exists(VectorDir() + "/ILL2_mono.bit")) GTEST_SKIP() << "no illegal streams in " << VectorDir();
    for (const char* name : names) {
        for (int ds = 0; ds < 3; ds++) {
            std::string path = VectorDir() + "/" + name + ".bit";
            if (!Exists(path)) continue;
            auto pcm = DecodeFile(path, ds);
            EXPECT_EQ(pcm.size() % 2, 0u) << name;
        }
    }
}

}  // namespace
