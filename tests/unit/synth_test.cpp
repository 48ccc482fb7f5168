// Polyphase synthesis and the PCM buffer: the filter against the standard's
// direct method, rounding and clipping, the rate variants and wrappers, and
// the flush step against drivers that take all, part, nothing or fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decoder/synth.h"
#include "decoder/tables_synth.h"
#include "output/output_driver.h"
#include "decoder_test_util.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// ISO/IEC 11172-3 Figure A.2 as printed: shift V by 64, matrix, build U,
// window with D, sum; the result times 32768. D is recovered from the folded
// window (row r, position q: -32768 D[r + 32 q], rows 0..16) and the
// symmetry of Table 3-B.3 (D[512 - i] = -D[i] for the taps of rows 17..31).
struct ReferenceSynth {
    double V[2][1024] = {};
    double D[512];

    ReferenceSynth() {
        for (int i = 0; i < 512; i++) {
            int r = i % 32, q = i / 32;
            if (r <= 16) {
                D[i] = kSynthWindow[32 * r + q] / -32768.0;
                EXPECT_EQ(kSynthWindow[32 * r + q + 16], kSynthWindow[32 * r + q]);
            }
        }
        for (int i = 0; i < 512; i++)
            if (i % 32 > 16) D[i] = -D[512 - i];
        // Spot values of Table 3-B.3.
        EXPECT_EQ(D[0], 0.0);
        EXPECT_EQ(D[1] * 65536, -1);
        EXPECT_EQ(D[256] * 65536, 75038);
        EXPECT_NEAR(D[64], 0.003250122, 5e-9);
        EXPECT_NEAR(D[128], 0.031082153, 5e-9);
        EXPECT_NEAR(D[192], 0.100311279, 5e-9);
        EXPECT_NEAR(D[320], 0.100311279, 5e-9);
        EXPECT_NEAR(D[511], 0.000015259, 5e-9);
    }

    void Run(const double* S, int ch, double* out) {
        double* v = V[ch];
        std::memmove(v + 64, v, sizeof(double) * 960);
        for (int i = 0; i < 64; i++) {
            double s = 0;
            for (int k = 0; k < 32; k++) s += std::cos((16 + i) * (2 * k + 1) * kPi / 64) * S[k];
            v[i] = s;
        }
        double U[512];
        for (int i = 0; i < 8; i++)
            for (int j = 0; j < 32; j++) {
                U[i * 64 + j] = v[i * 128 + j];
                U[i * 64 + 32 + j] = v[i * 128 + 96 + j];
            }
        for (int j = 0; j < 32; j++) {
            double s = 0;
            for (int i = 0; i < 16; i++) s += U[j + 32 * i] * D[j + 32 * i];
            out[j] = s * 32768.0;
        }
    }
};

uint32_t g_seed = 12345;
double Rand(double amp) {
    g_seed = g_seed * 1103515245u + 12345u;
    return amp * ((g_seed >> 8) / double(1 << 24) * 2.0 - 1.0);
}
std::vector<double> RandomSlot(double amp) {
    std::vector<double> s(32);
    for (double& x : s) x = Rand(amp);
    return s;
}

int16_t Get16(const uint8_t* p, int i) {
    int16_t v;
    std::memcpy(&v, p + 2 * i, 2);
    return v;
}

StreamInfo Select(int ds, int eightBit, int mono) {
    StreamInfo si{};
    SelectSynthesis(&si, ds, eightBit, mono);
    return si;
}

TEST(SynthTables, WindowAndCosines) {
    EXPECT_EQ(kSynthWindow[1], 14.5);
    EXPECT_EQ(kSynthWindow[8], -37519.0);
    const double* tabs[5] = {kDctCos0, kDctCos1, kDctCos2, kDctCos3, kDctCos4};
    for (int t = 0; t < 5; t++) {
        int n = 64 >> t;
        for (int k = 0; k < n / 4; k++)
            EXPECT_NEAR(tabs[t][k], 1.0 / (2.0 * std::cos(kPi * (2 * k + 1) / n)), 1e-12);
    }
}

TEST(Synth, FullRateMatchesStandardFilter) {
    ResetSynthesisState();
    ReferenceSynth ref;
    StreamInfo si = Select(0, 0, 0);
    int maxDiff = 0, mismatches = 0, total = 0;
    for (int slot = 0; slot < 80; slot++) {
        auto l = RandomSlot(slot < 40 ? 0.05 : 0.3);
        auto r = RandomSlot(0.1);
        uint8_t out[128];
        si.synth(l.data(), r.data(), out);
        double rl[32], rr[32];
        ref.Run(l.data(), 0, rl);
        ref.Run(r.data(), 1, rr);
        for (int j = 0; j < 32; j++) {
            for (int c = 0; c < 2; c++) {
                double want = c ? rr[j] : rl[j];
                int expect = PcmRoundClip(want);
                int got = Get16(out, 2 * j + c);
                int d = std::abs(got - expect);
                maxDiff = std::max(maxDiff, d);
                mismatches += d != 0;
                total++;
            }
        }
    }
    EXPECT_LE(maxDiff, 1);
    EXPECT_LT(mismatches, total / 100);  // only sums within rounding noise of a half
}

TEST(Synth, SilenceGivesZeros) {
    ResetSynthesisState();
    StreamInfo si = Select(0, 0, 0);
    std::vector<double> zero(32, 0.0);
    uint8_t out[128];
    std::memset(out, 0x55, sizeof out);
    for (int i = 0; i < 20; i++) {
        si.synth(zero.data(), zero.data(), out);
    }
    for (int i = 0; i < 64; i++) EXPECT_EQ(Get16(out, i), 0);
}

TEST(Synth, RoundingTiesToEvenAndClipping) {
    EXPECT_EQ(PcmRoundClip(0.5), 0);
    EXPECT_EQ(PcmRoundClip(1.5), 2);
    EXPECT_EQ(PcmRoundClip(2.5), 2);
    EXPECT_EQ(PcmRoundClip(-0.5), 0);
    EXPECT_EQ(PcmRoundClip(-1.5), -2);
    EXPECT_EQ(PcmRoundClip(0.49999), 0);
    EXPECT_EQ(PcmRoundClip(-7.6), -8);
    EXPECT_EQ(PcmRoundClip(32766.5), 32766);
    EXPECT_EQ(PcmRoundClip(32767.4), 32767);
    EXPECT_EQ(PcmRoundClip(40000.0), 32767);
    EXPECT_EQ(PcmRoundClip(-32768.5), -32768);
    EXPECT_EQ(PcmRoundClip(-1e12), -32768);
    EXPECT_EQ(PcmRoundClip(1e300), 32767);
    EXPECT_EQ(PcmRoundClip(std::nan("")), 32767);

    // Through the filter: a full-scale DC slot overdriven eightfold.
    ResetSynthesisState();
    StreamInfo si = Select(0, 0, 1);
    std::vector<double> hot(32, 0.0), cold(32, 0.0);
    hot[0] = 8.0;
    cold[0] = -8.0;
    uint8_t out[64];
    bool sawTop = false, sawBottom = false;
    for (int i = 0; i < 24; i++) {
        si.monoWriter((i & 8) ? cold.data() : hot.data(), out);
        for (int j = 0; j < 32; j++) {
            sawTop |= Get16(out, j) == 32767;
            sawBottom |= Get16(out, j) == -32768;
        }
    }
    EXPECT_TRUE(sawTop);
    EXPECT_TRUE(sawBottom);
}

TEST(Synth, HalfAndQuarterRateAreSubsetsOfFullRate) {
    ResetSynthesisState();
    StreamInfo full = Select(0, 0, 0), half = Select(1, 0, 0), quarter = Select(2, 0, 0);
    for (int slot = 0; slot < 40; slot++) {
        auto l = RandomSlot(0.4), r = RandomSlot(0.4);
        uint8_t f[128], h[64], q[32];
        full.synth(l.data(), r.data(), f);
        half.synth(l.data(), r.data(), h);
        quarter.synth(l.data(), r.data(), q);
        for (int j = 0; j < 16; j++)
            for (int c = 0; c < 2; c++) ASSERT_EQ(Get16(h, 2 * j + c), Get16(f, 4 * j + c)) << slot << " " << j;
        for (int j = 0; j < 8; j++)
            for (int c = 0; c < 2; c++) ASSERT_EQ(Get16(q, 2 * j + c), Get16(f, 8 * j + c)) << slot << " " << j;
    }
}

TEST(Synth, WrappersAgreeWithSixteenBitStereo) {
    for (int ds = 0; ds < 3; ds++) {
        int n = 32 >> ds;
        // 16-bit stereo as the reference, one fresh history per entry point.
        std::vector<std::vector<double>> slots;
        for (int i = 0; i < 30; i++) slots.push_back(RandomSlot(0.5));
        // The mono writers render slots[i + shift]: channel 0's slots, or channel 1's for shift 7.
        auto run = [&](int eightBit, int mono, bool stereoPair, std::vector<uint8_t>* last, size_t shift = 0) {
            ResetSynthesisState();
            StreamInfo si = Select(ds, eightBit, mono);
            std::vector<uint8_t> out(si.bytesPerSlot + 16, 0xEE);
            for (size_t i = 0; i < slots.size(); i++) {
                if (stereoPair) {
                    si.synth(slots[i].data(), slots[(i + 7) % slots.size()].data(), out.data());
                } else {
                    si.monoWriter(slots[(i + shift) % slots.size()].data(), out.data());
                }
            }
            for (int k = si.bytesPerSlot; k < si.bytesPerSlot + 16; k++) EXPECT_EQ(out[k], 0xEE);  // no overrun
            *last = out;
            return si.bytesPerSlot;
        };
        std::vector<uint8_t> ref, b8, m2s16, m2s8, m16, m8, m16right;
        EXPECT_EQ(run(0, 0, true, &ref), 128 >> ds);
        EXPECT_EQ(run(1, 0, true, &b8), 64 >> ds);
        EXPECT_EQ(run(0, 0, false, &m2s16), 128 >> ds);
        EXPECT_EQ(run(1, 0, false, &m2s8), 64 >> ds);
        EXPECT_EQ(run(0, 1, false, &m16), 64 >> ds);
        EXPECT_EQ(run(1, 1, false, &m8), 32 >> ds);
        EXPECT_EQ(run(0, 1, false, &m16right, 7), 64 >> ds);
        for (int j = 0; j < n; j++) {
            int s0 = Get16(ref.data(), 2 * j), s1 = Get16(ref.data(), 2 * j + 1);
            EXPECT_EQ(b8[2 * j], (s0 >> 9) + 128);
            EXPECT_EQ(b8[2 * j + 1], (s1 >> 9) + 128);
            // The mono writers render channel 0's history.
            EXPECT_EQ(Get16(m2s16.data(), 2 * j), s0);
            EXPECT_EQ(Get16(m2s16.data(), 2 * j + 1), s0);
            EXPECT_EQ(m2s8[2 * j], (s0 >> 9) + 128);
            EXPECT_EQ(m2s8[2 * j + 1], (s0 >> 9) + 128);
            EXPECT_EQ(Get16(m16.data(), j), s0);
            EXPECT_EQ(m8[j], (s0 >> 9) + 128);
            EXPECT_EQ(Get16(m16right.data(), j), s1);  // channel 1 of the stereo entry alone
        }
    }
}

TEST(Synth, EightBitConversion) {
    EXPECT_EQ(Pcm8FromPcm16(0), 128);
    EXPECT_EQ(Pcm8FromPcm16(32767), 191);
    EXPECT_EQ(Pcm8FromPcm16(-32768), 64);
    EXPECT_EQ(Pcm8FromPcm16(-1), 127);
    EXPECT_EQ(Pcm8FromPcm16(511), 128);
    EXPECT_EQ(Pcm8FromPcm16(512), 129);
    for (int s = -32768; s < 32768; s += 37) EXPECT_EQ(Pcm8FromPcm16(s), (s >> 9) + 128) << s;
}

// ------------------------------------------------------------ flush step

struct FakeDriver {
    std::vector<int> offered;
    std::vector<uint8_t> taken;
    int takeAtMost = 1 << 30;
    int result = 0;  // when nonzero, Write returns it
} g_fake;

int FakeWrite(int length, const uint8_t* data) {
    g_fake.offered.push_back(length);
    if (g_fake.result) return g_fake.result;
    int take = length < g_fake.takeAtMost ? length : g_fake.takeAtMost;
    g_fake.taken.insert(g_fake.taken.end(), data, data + take);
    return take;
}

class PcmFlush : public ::testing::Test {
protected:
    void SetUp() override {
        g_fake = FakeDriver{};
        PcmBuffer.fill = 0;  // a test that starts over calls SetUp again
    }
    // Appends one slot of bytesPerSlot bytes counting up from `next`.
    int Slot(StreamInfo* si) {
        uint8_t* out = PcmSlotOut();
        EXPECT_LE(out + si->bytesPerSlot, PcmBuffer.data + kPcmBufferSize);
        for (int i = 0; i < si->bytesPerSlot; i++) out[i] = static_cast<uint8_t>(next_++);
        return PcmFlushStep(si);
    }
    testutil::PcmCapture capture_{FakeWrite};
    uint32_t next_ = 0;
};

TEST_F(PcmFlush, Thresholds) {
    EXPECT_EQ(PcmThreshold(0, 0, 0), 16384);
    EXPECT_EQ(PcmThreshold(1, 0, 0), 20480);
    EXPECT_EQ(PcmThreshold(5, 0, 0), 6114);
    EXPECT_EQ(PcmThreshold(8, 0, 0), 2048);
    EXPECT_EQ(PcmThreshold(0, 2, 1), 2048);
    EXPECT_EQ(PcmThreshold(5, 1, 1), 1528);

    // 44100 Hz: whole 16384-byte blocks; 16000 Hz: the slot boundary past 6114.
    for (int sri : {0, 5}) {
        SetUp();
        StreamInfo si = Select(0, 0, 0);
        PcmBuffer.threshold = PcmThreshold(sri, 0, 0);
        for (int i = 0; i < 600; i++) ASSERT_EQ(Slot(&si), 1);
        ASSERT_FALSE(g_fake.offered.empty());
        for (int n : g_fake.offered) EXPECT_EQ(n, sri == 0 ? 16384 : 6144);
        EXPECT_EQ(g_fake.taken.size() + PcmBuffer.fill, 600u * 128);
    }
    // 8-bit mono at quarter rate: 8 bytes a slot.
    StreamInfo si = Select(2, 1, 1);
    EXPECT_EQ(si.bytesPerSlot, 8);
}

TEST_F(PcmFlush, PartialTakesKeepTheRestInOrder) {
    StreamInfo si = Select(0, 0, 0);
    PcmBuffer.threshold = 16384;
    g_fake.takeAtMost = 5000;
    for (int i = 0; i < 2000; i++) ASSERT_EQ(Slot(&si), 1);
    for (size_t i = 0; i < g_fake.taken.size(); i++) ASSERT_EQ(g_fake.taken[i], static_cast<uint8_t>(i));
    EXPECT_EQ(g_fake.taken.size() + PcmBuffer.fill, 2000u * 128);
}

TEST_F(PcmFlush, RefusingDriverNeverOverflowsTheBuffer) {
    StreamInfo si = Select(0, 0, 0);
    PcmBuffer.threshold = 20480;
    g_fake.takeAtMost = 0;  // a wave device being reset takes nothing
    for (int i = 0; i < 3000; i++) {
        ASSERT_EQ(Slot(&si), 1);
        ASSERT_LE(PcmBuffer.fill, kPcmBufferSize - kPcmMaxSlotBytes);
    }
    for (int n : g_fake.offered) EXPECT_LE(n, kPcmMaxWrite);
    // Once it takes again, the newest PCM comes out in order, still in whole slots.
    g_fake.takeAtMost = 1 << 30;
    uint32_t firstKept = next_ - static_cast<uint32_t>(PcmBuffer.fill);
    int held = PcmBuffer.fill;
    ASSERT_EQ(Slot(&si), 1);
    ASSERT_GE(g_fake.taken.size(), static_cast<size_t>(std::min(held, kPcmMaxWrite)));
    for (size_t i = 0; i < g_fake.taken.size(); i++)
        ASSERT_EQ(g_fake.taken[i], static_cast<uint8_t>(firstKept + i));
}

TEST_F(PcmFlush, BigBufferIsHandedOverInPiecesOfAtMost32768) {
    StreamInfo si = Select(0, 0, 0);
    PcmBuffer.threshold = 16384;
    PcmBuffer.fill = 50000;  // left by a driver that took little for a while
    ASSERT_EQ(Slot(&si), 1);
    ASSERT_EQ(g_fake.offered.size(), 1u);
    EXPECT_EQ(g_fake.offered[0], kPcmMaxWrite);
    EXPECT_EQ(PcmBuffer.fill, 50000 + 128 - kPcmMaxWrite);
}

TEST_F(PcmFlush, FailingDriverReportsMinusTwoAndKeepsFill) {
    StreamInfo si = Select(0, 0, 0);
    PcmBuffer.threshold = 16384;
    g_fake.result = -1;  // a WAV file that cannot grow
    for (int i = 0; i < 127; i++) ASSERT_EQ(Slot(&si), 1);
    EXPECT_EQ(Slot(&si), -2);
    EXPECT_EQ(PcmBuffer.fill, 16384);
    for (int i = 0; i < 1000; i++) {
        EXPECT_EQ(Slot(&si), -2);
        ASSERT_LE(PcmBuffer.fill, kPcmBufferSize - kPcmMaxSlotBytes);
    }
}

}  // namespace
