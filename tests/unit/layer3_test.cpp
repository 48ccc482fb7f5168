// Layer III: the generated tables against the ISO data, Huffman decoding and
// requantization of every code, the IMDCTs against the direct formula,
// intensity stereo, alias reduction, and hostile frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/layer3.h"
#include "decoder/layer3_internal.h"
#include "decoder/synth.h"
#include "decoder/tables_layer3.h"
#include "output/output_driver.h"
#include "settings/settings.h"
#include "decoder_test_util.h"
#include "test_util.h"

namespace {

const double kPi = 3.14159265358979323846;

std::string IsoTablesDir() { return testutil::SharedDir() + "/iso-tables"; }

using testutil::BitWriter;

// The codes of huffman.txt: table -> list of {symbol, codeword}.
struct IsoCodes {
    std::map<int, std::vector<std::pair<int, std::string>>> codes;
    int linbits[32] = {};
    bool ok = false;
};

IsoCodes ReadIsoCodes() {
    IsoCodes r;
    std::ifstream in(IsoTablesDir() + "/huffman.txt");
    if (!in) return r;
    std::string line;
    int table = -1;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream is(line);
        std::string word;
        is >> word;
        if (word == "linbits") {
            int t, l;
            is >> t >> l;
            r.linbits[t] = l;
        } else if (word == "share") {
            continue;
        } else if (word == "table") {
            is >> table;
        } else {
            std::istringstream all(line);
            std::vector<std::string> f;
            for (std::string s; all >> s;) f.push_back(s);
            int symbol = table >= 32 ? 8 * std::stoi(f[0]) + 4 * std::stoi(f[1]) + 2 * std::stoi(f[2]) + std::stoi(f[3])
                                     : 16 * std::stoi(f[0]) + std::stoi(f[1]);
            r.codes[table].push_back({symbol, f.back()});
        }
    }
    r.ok = !r.codes.empty();
    return r;
}

// The tree walk by its layout rule, over a string of bits.
int Walk(const int16_t* tree, int size, const std::string& bits, size_t* used) {
    int i = 0;
    *used = 0;
    while (tree[i] < 0) {
        if (*used >= bits.size()) return -1;
        i += bits[(*used)++] == '1' ? 1 - tree[i] : 1;
        if (i >= size) return -2;
    }
    return tree[i];
}

class Layer3 : public ::testing::Test {
protected:
    void SetUp() override { InitLayer3Tables(0); }
    testutil::DecoderSettings settings_;
};

GranuleInfo LongGranule(int table, int bigValues, int part23) {
    GranuleInfo gi{};
    gi.part2_3_length = part23;
    gi.big_values = bigValues;
    gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = table;
    gi.region1start = gi.region2start = 288;
    gi.gainPos = -210;  // gain 2^0
    gi.fullGain[0] = gi.fullGain[1] = gi.fullGain[2] = -210;
    gi.longSubbands = 2;
    return gi;
}

// ---------------------------------------------------------------- tables

TEST_F(Layer3, TreesDecodeEveryIsoCodeAndNothingElse) {
    IsoCodes iso = ReadIsoCodes();
    if (!iso.ok) GTEST_SKIP() << "no ISO tables in " << IsoTablesDir();
    for (int t = 0; t < 34; t++) {
        const HuffTableInfo& info = kHuffTables[t];
        int src = t < 16 || t >= 32 ? t : t < 24 ? 16 : 24;
        if (t < 32) EXPECT_EQ(info.linbits, iso.linbits[t]) << "table " << t;
        auto it = iso.codes.find(src);
        if (it == iso.codes.end()) {
            // Tables 0, 4, 14: one leaf (0, 0), no bits.
            EXPECT_EQ(info.treeSize, 1) << "table " << t;
            EXPECT_EQ(info.tree[0], 0) << "table " << t;
            continue;
        }
        // A complete prefix code of n leaves has n - 1 inner nodes.
        EXPECT_EQ(info.treeSize, int(2 * it->second.size() - 1)) << "table " << t;
        for (const auto& [symbol, code] : it->second) {
            size_t used = 0;
            EXPECT_EQ(Walk(info.tree, info.treeSize, code, &used), symbol) << "table " << t << " code " << code;
            EXPECT_EQ(used, code.size()) << "table " << t << " code " << code;
        }
    }
    // The layout example: table 1.
    const int16_t table1[7] = {-5, -3, -1, 17, 1, 16, 0};
    EXPECT_EQ(0, std::memcmp(kHuffTree1, table1, sizeof table1));
}

TEST_F(Layer3, BandBoundariesOfAllNineRates) {
    const int16_t l44[23] = {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576};
    const int16_t l8[23] = {0, 12, 24, 36, 48, 60, 72, 88, 108, 132, 160, 192, 232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576};
    const int16_t s3_32[14] = {0, 12, 24, 36, 48, 66, 90, 126, 174, 234, 312, 414, 540, 576};
    const int16_t s3_8[14] = {0, 24, 48, 72, 108, 156, 216, 288, 372, 480, 486, 492, 498, 576};
    EXPECT_EQ(0, std::memcmp(g_l3t.longBound[0], l44, sizeof l44));
    EXPECT_EQ(0, std::memcmp(g_l3t.longBound[8], l8, sizeof l8));
    EXPECT_EQ(0, std::memcmp(g_l3t.shortBound3[2], s3_32, sizeof s3_32));
    EXPECT_EQ(0, std::memcmp(g_l3t.shortBound3[8], s3_8, sizeof s3_8));
    EXPECT_EQ(g_l3t.longBound[4][18], 332);  // 24 kHz: widths 46, 54, 62 around it
    // Every rate's boundaries as the ISO data gives them.
    std::ifstream iso(IsoTablesDir() + "/layer3_bands.txt");
    int rows = 0;
    for (std::string line; std::getline(iso, line);) {
        std::istringstream in(line);
        std::string kind;
        int rate = 0;
        if (!(in >> kind >> rate) || kind[0] == '#') continue;
        int r = 0;
        while (r < 9 && kLayer3Rates[r] != rate) r++;
        ASSERT_LT(r, 9) << line;
        const bool isLong = kind == "long";
        for (int i = 0, b; i < (isLong ? 23 : 14) && in >> b; i++)
            ASSERT_EQ(isLong ? g_l3t.longBound[r][i] : g_l3t.shortBound3[r][i] / 3, b) << kind << " " << rate << " " << i;
        rows++;
    }
    if (iso.is_open()) EXPECT_EQ(rows, 18);
    EXPECT_EQ(0, std::memcmp(g_l3t.longBound[3], g_l3t.longBound[7], sizeof l44));  // 12 kHz as 22.05

    for (int r = 0; r < 9; r++) {
        // Every map covers the 576 lines exactly once.
        const BandRun* maps[3] = {g_l3t.longMap[r], g_l3t.shortMap[r], g_l3t.mixedMap[r]};
        for (int m = 0; m < 3; m++) {
            std::vector<int> hits(576, 0);
            int runs = 0;
            for (const BandRun* run = maps[m]; run->pairs; run++, runs++) {
                int step = run->window == 3 ? 1 : 3;
                for (int k = 0; k < 2 * run->pairs; k++) {
                    int pos = run->start + step * k;
                    ASSERT_GE(pos, 0);
                    ASSERT_LT(pos, 576) << "rate " << r << " map " << m;
                    hits[pos]++;
                }
            }
            for (int i = 0; i < 576; i++) ASSERT_EQ(hits[i], 1) << "rate " << r << " map " << m << " line " << i;
            EXPECT_EQ(runs, m == 0 ? 22 : m == 1 ? 39 : g_l3t.mixedLongBands[r] + 30);
        }
        // Mixed blocks: long bands up to where short band 3 starts.
        EXPECT_EQ(g_l3t.longBound[r][g_l3t.mixedLongBands[r]], g_l3t.shortBound3[r][3]) << "rate " << r;
        EXPECT_EQ(g_l3t.longLimit[r][0], 1);
        EXPECT_EQ(g_l3t.shortLimit[r][0], 1);
    }
    EXPECT_EQ(g_l3t.mixedLongSubbands[0], 2);
    EXPECT_EQ(g_l3t.mixedLongSubbands[3], 2);
    EXPECT_EQ(g_l3t.mixedLongSubbands[8], 4);
}

TEST_F(Layer3, TablesOfScaleFactorsGainsAndPowers) {
    // LSF scalefac_compress decoding (ISO/IEC 13818-3 2.4.3.2).
    for (int sfc = 0; sfc < 512; sfc++) {
        unsigned w = g_l3t.nSlen2[sfc];
        int s[4] = {int(w & 7), int(w >> 3 & 7), int(w >> 6 & 7), int(w >> 9 & 7)};
        if (sfc < 400) {
            EXPECT_EQ(s[0], (sfc >> 4) / 5);
            EXPECT_EQ(s[1], (sfc >> 4) % 5);
            EXPECT_EQ(s[2], (sfc % 16) >> 2);
            EXPECT_EQ(s[3], sfc % 4);
            EXPECT_EQ(w >> 12, 0u);
        } else if (sfc < 500) {
            EXPECT_EQ(s[0], ((sfc - 400) >> 2) / 5);
            EXPECT_EQ(s[1], ((sfc - 400) >> 2) % 5);
            EXPECT_EQ(s[2], (sfc - 400) % 4);
            EXPECT_EQ(w >> 12, 1u);
        } else {
            EXPECT_EQ(s[0], (sfc - 500) / 3);
            EXPECT_EQ(s[1], (sfc - 500) % 3);
            EXPECT_EQ(w >> 12, 2u + 8u);  // table 2, preflag
        }
    }
    for (int x = 0; x < 256; x++) {
        unsigned w = g_l3t.iSlen2[x];
        if (x < 180) {
            EXPECT_EQ(int(w & 7), x / 36);
            EXPECT_EQ(int(w >> 3 & 7), (x % 36) / 6);
            EXPECT_EQ(int(w >> 6 & 7), x % 6);
            EXPECT_EQ(w >> 12, 3u);
        } else if (x < 244) {
            EXPECT_EQ(int(w & 7), ((x - 180) % 64) >> 4);
            EXPECT_EQ(w >> 12, 4u);
        } else {
            EXPECT_EQ(int(w & 7), (x - 244) / 3);
            EXPECT_EQ(w >> 12, 5u);
        }
    }
    EXPECT_DOUBLE_EQ(g_l3t.gain[-210 - kGainMin], 1.0);
    EXPECT_DOUBLE_EQ(g_l3t.gain[-214 - kGainMin], 2.0);
    EXPECT_DOUBLE_EQ(g_l3t.gain[186 - kGainMin], std::pow(2.0, -396 / 4.0));  // past the standard's 121
    // The Windows C library's pow is a few units in the last place off, by
    // the x87 precision of the thread that first builds the table.
    EXPECT_NEAR(g_l3t.power[8206], std::pow(8206.0, 4.0 / 3.0), 1e-14 * std::pow(8206.0, 4.0 / 3.0));
    EXPECT_DOUBLE_EQ(g_l3t.power[8], 16.0);
}

// --------------------------------------------------- Huffman and requantization

// Encodes value pairs of table t with signs and escapes, decodes them with
// DecodeSpectrum and checks every value.
TEST_F(Layer3, EveryBigValuesCodeRoundTrips) {
    IsoCodes iso = ReadIsoCodes();
    if (!iso.ok) GTEST_SKIP() << "no ISO tables in " << IsoTablesDir();
    for (int t = 1; t < 32; t++) {
        int src = t < 16 ? t : t < 24 ? 16 : 24;
        if (!iso.codes.count(src)) continue;
        const auto& codes = iso.codes[src];
        const int linbits = kHuffTables[t].linbits;
        for (size_t first = 0; first < codes.size(); first += 64) {
            size_t n = std::min<size_t>(64, codes.size() - first);
            BitWriter w;
            std::vector<double> want;
            for (size_t i = 0; i < n; i++) {
                auto [symbol, code] = codes[first + i];
                w.PutCode(code);
                int v[2] = {symbol >> 4, symbol & 15};
                for (int k = 0; k < 2; k++) {
                    int mag = v[k];
                    if (mag == 15 && linbits) {
                        unsigned extra = (unsigned(i) * 37u + unsigned(k) * 11u + unsigned(t)) & ((1u << linbits) - 1);
                        w.Put(extra, linbits);
                        mag += int(extra);
                    }
                    bool neg = ((i + k) & 1) != 0;
                    if (mag) w.Put(neg, 1);
                    double value = std::pow(double(mag), 4.0 / 3.0);
                    want.push_back(neg && mag ? -value : value);
                }
            }
            w.Load();
            GranuleInfo gi = LongGranule(t, int(n), w.bits);
            int32_t sf[kScaleFactorCount] = {};
            double xr[576];
            for (double& x : xr) x = 99.0;
            ASSERT_EQ(DecodeSpectrum(xr, sf, &gi, 0, 0), 0) << "table " << t;
            for (size_t i = 0; i < want.size(); i++)
                ASSERT_NEAR(xr[i], want[i], 1e-9 * (1 + std::fabs(want[i]))) << "table " << t << " value " << first * 2 + i;
            for (size_t i = want.size(); i < 576; i++) ASSERT_EQ(xr[i], 0.0);
            // The reader stands at the end of the granule's data.
            EXPECT_EQ(g_bits.p - FrameBuffer(0), w.bits / 8);
            EXPECT_EQ(int(g_bits.bit), w.bits % 8);
        }
    }
}

TEST_F(Layer3, Count1QuadruplesAndTheirEnd) {
    IsoCodes iso = ReadIsoCodes();
    if (!iso.ok) GTEST_SKIP() << "no ISO tables in " << IsoTablesDir();
    for (int sel = 0; sel < 2; sel++) {
        BitWriter w;
        std::vector<double> want;
        for (const auto& [symbol, code] : iso.codes[32 + sel]) {
            w.PutCode(code);
            for (int f = 3; f >= 0; f--) {
                bool one = symbol & (1 << f);
                bool neg = ((symbol + f) & 1) != 0;
                if (one) w.Put(neg, 1);
                want.push_back(one ? (neg ? -1.0 : 1.0) : 0.0);
            }
        }
        // A last quadruple whose sign bit no longer fits: "0001" of table B
        // (or a one-value code of table A) without its sign.
        if (sel == 1) w.PutCode("1110");
        w.Load();
        GranuleInfo gi = LongGranule(0, 0, w.bits);
        gi.count1table_select = sel;
        int32_t sf[kScaleFactorCount] = {};
        double xr[576];
        ASSERT_EQ(DecodeSpectrum(xr, sf, &gi, 0, 0), 0) << "count1 " << sel;
        for (size_t i = 0; i < want.size(); i++) ASSERT_EQ(xr[i], want[i]) << "count1 " << sel << " value " << i;
        for (size_t i = want.size(); i < 576; i++) ASSERT_EQ(xr[i], 0.0);
        EXPECT_GT(gi.maxbandl, 0);
    }
}

TEST_F(Layer3, GainsScaleFactorsAndShortInterleaving) {
    // Table 1 codes: "1" = (0,0), "01" = (1,0), "001" = (0,1), "000" = (1,1).
    // Short block, 44.1 kHz: pair p of band 0 window 0 goes to 6p and 6p + 3.
    BitWriter w;
    for (int i = 0; i < 2; i++) {
        w.PutCode("000");
        w.Put(0, 1);
        w.Put(1, 1);  // (+1, -1)
    }
    w.Load();
    GranuleInfo gi = LongGranule(1, 2, w.bits);
    gi.block_type = 2;
    gi.region1start = 18;
    gi.scalefac_scale = 1;
    gi.fullGain[0] = -210 + 8 * 1;  // subblock_gain 1: 2^-2
    int32_t sf[kScaleFactorCount] = {};
    sf[0] = 1;  // band 0, window 0: 2^-(1+1)/2*1 = 2^-1
    double xr[576];
    ASSERT_EQ(DecodeSpectrum(xr, sf, &gi, 0, 0), 0);
    EXPECT_DOUBLE_EQ(xr[0], 0.125);
    EXPECT_DOUBLE_EQ(xr[3], -0.125);
    EXPECT_DOUBLE_EQ(xr[6], 0.125);
    EXPECT_DOUBLE_EQ(xr[9], -0.125);
    EXPECT_EQ(xr[1], 0.0);
    EXPECT_EQ(gi.maxband[0], 1);
    EXPECT_EQ(gi.maxband[1], 0);
    EXPECT_EQ(gi.maxb, 1);

    // Long block with pre-emphasis: band 11 (lines 62..73 at 44.1 kHz) gets
    // pretab 1 on top of its scale factor.
    BitWriter l;
    for (int i = 0; i < 32; i++) l.PutCode("1");
    l.PutCode("01");
    l.Put(1, 1);  // pair 32: (-1, 0) at line 64
    l.Load();
    gi = LongGranule(1, 33, l.bits);
    gi.preflag = 1;
    sf[11] = 2;  // (2 + 1) << 1 = 6 positions: 2^-1.5
    ASSERT_EQ(DecodeSpectrum(xr, sf, &gi, 0, 0), 0);
    EXPECT_DOUBLE_EQ(xr[64], -std::pow(2.0, -1.5));
    EXPECT_EQ(gi.maxbandl, 12);
    EXPECT_EQ(gi.maxb, (74 + 7) / 18 + 1);
}

TEST_F(Layer3, LsfMixedBlocksHaveSixLongBands) {
    // 22.05 kHz mixed block: long bands 0..5 (lines 0..35) with scale
    // factors 0..5, then short band 3 from line 36 with entries 6, 7, 8
    // (ISO/IEC 13818-3: 6 long and 27 short scale factors).
    BitWriter w;
    for (int i = 0; i < 15; i++) w.PutCode("1");
    w.PutCode("01");
    w.Put(0, 1);  // pair 15: +1 at line 30 (long band 5)
    w.PutCode("1");
    w.PutCode("1");
    w.PutCode("01");
    w.Put(0, 1);  // pair 18: +1 at short band 3, window 0, first line (36)
    w.Load();
    GranuleInfo gi = LongGranule(1, 19, w.bits);
    gi.block_type = 2;
    gi.mixed_block_flag = 1;
    gi.region1start = g_l3t.shortBound3[3][3] / 2;
    gi.fullGain[0] = -210 + 8;  // subblock gain 1
    int32_t sf[kScaleFactorCount] = {};
    sf[5] = 2;
    sf[6] = 4;
    double xr[576];
    ASSERT_EQ(DecodeSpectrum(xr, sf, &gi, 3, 0), 0);
    EXPECT_DOUBLE_EQ(xr[30], 0.5);
    EXPECT_DOUBLE_EQ(xr[36], std::pow(2.0, -4.0));
    EXPECT_EQ(xr[37], 0.0);
    EXPECT_EQ(gi.maxbandl, 6);
    EXPECT_EQ(gi.maxband[0], 4);
    EXPECT_EQ(gi.maxband[1], 3);
    EXPECT_EQ(gi.maxb, 3);
}

TEST_F(Layer3, MidSideFormsLeftAndRight) {
    BitWriter w;
    w.PutCode("01");
    w.Put(0, 1);  // side (+1, 0)
    w.Load();
    GranuleInfo gi = LongGranule(1, 1, w.bits);
    int32_t sf[kScaleFactorCount] = {};
    double mid[576], right[576];
    for (int i = 0; i < 576; i++) mid[i] = i;
    ASSERT_EQ(DecodeSpectrumMidSide(mid, right, sf, &gi, 0, 0), 0);
    EXPECT_EQ(mid[0], 1.0);
    EXPECT_EQ(right[0], -1.0);
    for (int i = 1; i < 576; i++) {
        ASSERT_EQ(mid[i], double(i));
        ASSERT_EQ(right[i], double(i));
    }
}

TEST_F(Layer3, OverrunIsReportedAndCount1StopsAtTheBudget) {
    // Big values that need more bits than the granule has.
    BitWriter w;
    for (int i = 0; i < 8; i++) w.PutCode("000"), w.Put(0, 2);
    w.Load();
    GranuleInfo gi = LongGranule(1, 8, 10);
    int32_t sf[kScaleFactorCount] = {};
    double xr[576];
    EXPECT_EQ(DecodeSpectrum(xr, sf, &gi, 0, 0), 1);
    // A budget already spent by the scale factors.
    w.Load();
    gi = LongGranule(1, 0, 4);
    EXPECT_EQ(DecodeSpectrum(xr, sf, &gi, 0, 6), 1);
    // Big values 0 and no Huffman bits: all zero, one subband.
    w.Load();
    gi = LongGranule(1, 0, 0);
    EXPECT_EQ(DecodeSpectrum(xr, sf, &gi, 0, 0), 0);
    EXPECT_EQ(gi.maxbandl, 0);
    EXPECT_EQ(gi.maxb, 1);
    for (double x : xr) ASSERT_EQ(x, 0.0);
}

// A plain decoder of one long-block granule at gain 1, bit by bit by the
// standard's order (code, linbits and sign per value; count1 codes and signs
// while the budget lasts), against which the table-driven decoders are
// checked on random data: whole pairs, two pairs per look, escapes, region
// and budget ends.
struct PlainSpectrum {
    int rc = 0;
    double side[576] = {};
    bool stored[576] = {};
};
PlainSpectrum PlainDecode(const std::vector<uint8_t>& data, int from, const GranuleInfo& gi) {
    PlainSpectrum r;
    int at = from;
    const int end = from + gi.part2_3_length;
    auto bit = [&]() { return (data[size_t(at >> 3)] >> (7 - (at & 7))) & 1; };
    auto read = [&](int n) {
        int v = 0;
        for (int i = 0; i < n; i++, at++) v = v << 1 | bit();
        return v;
    };
    auto walk = [&](const int16_t* tree) {
        int i = 0;
        while (tree[i] < 0) i += read(1) ? 1 - tree[i] : 1;
        return int(tree[i]);
    };
    const int bv = std::min(gi.big_values, 288);
    const int r1 = std::min(gi.region1start, 288), r2 = std::clamp(gi.region2start, r1, 288);
    int pos = 0;
    for (int i = 0; i < bv; i++) {
        const int region = i < std::min(bv, r1) ? 0 : i < std::min(bv, r2) ? 1 : 2;
        const HuffTableInfo& h = kHuffTables[gi.table_select[region]];
        const int leaf = walk(h.tree);
        for (int v : {leaf >> 4, leaf & 15}) {
            if (v == 15 && h.linbits) v += read(h.linbits);
            const bool neg = v && read(1);
            r.side[pos] = neg ? -g_l3t.power[v] : g_l3t.power[v];
            r.stored[pos++] = true;
        }
        if (at > end) {
            r.rc = 1;
            return r;
        }
    }
    for (int q = (288 - bv) / 2; q > 0 && at < end; q--) {
        const int sym = walk(kHuffTables[32 + gi.count1table_select].tree);
        if (at > end) break;  // the code does not fit: no values
        for (int f = 3; f >= 0; f--, pos++) {
            if (!(sym & (1 << f))) {
                r.stored[pos] = true;
                continue;
            }
            if (at >= end) return r;  // its sign does not fit: the end
            r.side[pos] = read(1) ? -1.0 : 1.0;
            r.stored[pos] = true;
        }
    }
    return r;
}

TEST_F(Layer3, SpectraMatchAPlainDecoderOnRandomData) {
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    const int kTables[] = {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 18, 20, 23, 24, 26, 29, 31};
    int decoded = 0;
    for (int round = 0; round < 400; round++) {
        BitWriter w;
        for (int i = 0; i < 1600; i++) w.Put(next(256), 8);
        w.Load();
        GranuleInfo gi[2];
        for (GranuleInfo& g : gi) {
            // Low tables on high lines and short budgets, so that both ends
            // come: region ends, count1, and data past the budget.
            g = LongGranule(0, int(next(289)), int(next(round < 200 ? 1500 : 5000)));
            for (int& t : g.table_select) t = kTables[next(sizeof kTables / sizeof kTables[0])];
            g.region1start = int(next(200));
            g.region2start = g.region1start + int(next(100));
            g.count1table_select = int(next(2));
        }
        const bool ms = round & 1;
        const PlainSpectrum want[2] = {PlainDecode(w.bytes, 0, gi[0]), PlainDecode(w.bytes, gi[0].part2_3_length, gi[1])};
        double xr[2][576];
        for (int i = 0; i < 576; i++) xr[1][i] = 99.0;
        int32_t sf[kScaleFactorCount] = {};
        const int32_t* const sfs[2] = {sf, sf};
        const int part2[2] = {0, 0};
        BitCursor at1 = BitCursor::AtReader();
        at1.pos += uint32_t(gi[0].part2_3_length);
        const int rc = DecodeSpectrumPair(xr[0], xr[1], sfs, &gi[0], &gi[1], 0, part2, BitCursor::AtReader(), at1, ms);
        ASSERT_EQ(rc, want[0].rc | want[1].rc) << "round " << round;
        double mono[576];
        w.Load();
        ASSERT_EQ(DecodeSpectrum(mono, sf, &gi[0], 0, 0), want[0].rc) << "round " << round;
        if (!want[0].rc)
            for (int i = 0; i < 576; i++) ASSERT_EQ(mono[i], want[0].side[i]) << "round " << round << " line " << i;
        if (rc) continue;
        decoded++;
        for (int i = 0; i < 576; i++) {
            const double l = want[0].side[i], s = want[1].side[i];
            if (ms) {
                ASSERT_EQ(xr[0][i], want[1].stored[i] ? l + s : l) << "round " << round << " line " << i;
                ASSERT_EQ(xr[1][i], want[1].stored[i] ? l - s : l) << "round " << round << " line " << i;
            } else {
                ASSERT_EQ(xr[0][i], l) << "round " << round << " line " << i;
                ASSERT_EQ(xr[1][i], s) << "round " << round << " line " << i;
            }
        }
    }
    EXPECT_GT(decoded, 40);  // enough granules that fit their budgets
}

TEST_F(Layer3, QuarterRateCapsTheSubbands) {
    InitLayer3Tables(2);
    BitWriter w;
    for (int i = 0; i < 287; i++) w.PutCode("1");
    w.PutCode("01");
    w.Put(0, 1);
    w.Load();
    GranuleInfo gi = LongGranule(1, 288, w.bits);
    int32_t sf[kScaleFactorCount] = {};
    double xr[576];
    ASSERT_EQ(DecodeSpectrum(xr, sf, &gi, 0, 0), 0);
    EXPECT_EQ(gi.maxbandl, 22);
    EXPECT_EQ(gi.maxb, 8);
}

// ---------------------------------------------------------- scale factors

TEST_F(Layer3, Mpeg1ScaleFactorsAndScfsi) {
    GranuleInfo gi{};
    gi.scalefac_compress = 15;  // slen 4, 3
    gi.scfsi = -1;
    BitWriter w;
    for (int i = 0; i < 11; i++) w.Put(unsigned(i), 4);
    for (int i = 11; i < 21; i++) w.Put(unsigned(i - 10), 3);
    w.Load();
    int32_t sf[kScaleFactorCount];
    EXPECT_EQ(ReadScaleFactorsMpeg1(&gi, sf), 11 * 4 + 10 * 3);
    EXPECT_EQ(sf[10], 10);
    EXPECT_EQ(sf[20], (20 - 10) & 7);
    EXPECT_EQ(sf[21], 0);
    // Granule 1 with all four scfsi bits: nothing read, values kept.
    gi.scfsi = 15;
    BitWriter none;
    none.Load();
    EXPECT_EQ(ReadScaleFactorsMpeg1(&gi, sf), 0);
    EXPECT_EQ(sf[10], 10);
    // scfsi 0b0101: groups 6..10 and 16..20 kept.
    gi.scfsi = 5;
    BitWriter g1;
    for (int i = 0; i < 6; i++) g1.Put(15, 4);
    for (int i = 11; i < 16; i++) g1.Put(7, 3);
    g1.Load();
    EXPECT_EQ(ReadScaleFactorsMpeg1(&gi, sf), 6 * 4 + 5 * 3);
    EXPECT_EQ(sf[0], 15);
    EXPECT_EQ(sf[6], 6);
    EXPECT_EQ(sf[11], 7);
    EXPECT_EQ(sf[16], 6);
    // Mixed short block: 17 of slen1, 18 of slen2, three zeros.
    gi.block_type = 2;
    gi.mixed_block_flag = 1;
    EXPECT_EQ(ReadScaleFactorsMpeg1(&gi, sf), 17 * 4 + 18 * 3);
    EXPECT_EQ(sf[35], 0);
}

TEST_F(Layer3, LsfScaleFactorsAndTheIntensityVariant) {
    GranuleInfo gi{};
    gi.scalefac_compress = 511;  // table 2 (11, 10 bands), slen 3 and 2, preflag
    BitWriter w;
    for (int i = 0; i < 11; i++) w.Put(5, 3);
    for (int i = 0; i < 10; i++) w.Put(2, 2);
    w.Load();
    int32_t sf[kScaleFactorCount];
    EXPECT_EQ(ReadScaleFactorsLsf(&gi, sf, 0), 11 * 3 + 10 * 2);
    EXPECT_EQ(gi.preflag, 1);
    EXPECT_EQ(sf[10], 5);
    EXPECT_EQ(sf[20], 2);
    EXPECT_EQ(sf[21], 0);
    EXPECT_EQ(gi.illegalPosition[10], 7);
    EXPECT_EQ(gi.illegalPosition[20], 3);
    // Intensity variant: scalefac_compress / 2 = 179 -> table 3, slen 4, 5, 5;
    // five-bit positions, no preflag.
    gi.scalefac_compress = 359;
    BitWriter r;
    for (int i = 0; i < 7; i++) r.Put(9, 4);
    for (int i = 0; i < 14; i++) r.Put(31, 5);
    r.Load();
    EXPECT_EQ(ReadScaleFactorsLsf(&gi, sf, 1), 7 * 4 + 14 * 5);
    EXPECT_EQ(gi.preflag, 0);
    EXPECT_EQ(sf[6], 9);
    EXPECT_EQ(sf[20], 31);
    EXPECT_EQ(gi.illegalPosition[6], 15);
    EXPECT_EQ(gi.illegalPosition[20], 31);
}

// ------------------------------------------------------------ stereo

TEST_F(Layer3, IntensityStereoMpeg1LongBlocks) {
    double l[576], r[576];
    for (int i = 0; i < 576; i++) l[i] = 1.0, r[i] = 0.0;
    int32_t sf[kScaleFactorCount] = {};
    for (int b = 0; b < 21; b++) sf[b] = b % 16;  // positions 0..15
    GranuleInfo gi{};
    gi.maxbandl = 3;  // right channel had values in bands 0..2
    ApplyIntensityStereo(l, r, sf, &gi, 0, 0, 0);
    const int16_t* lb = g_l3t.longBound[0];
    EXPECT_EQ(l[lb[2]], 1.0);  // below the intensity region
    EXPECT_EQ(r[lb[2]], 0.0);
    double t = std::tan(3 * kPi / 12);
    EXPECT_NEAR(l[lb[3]], t / (1 + t), 1e-12);
    EXPECT_NEAR(r[lb[3]], 1 / (1 + t), 1e-12);
    EXPECT_NEAR(l[lb[6]], 1.0, 1e-12);  // position 6: all left
    EXPECT_NEAR(r[lb[6]], 0.0, 1e-12);
    for (int b = 7; b < 16; b++) {  // 7 and above: not intensity-coded (9 would divide by zero)
        EXPECT_EQ(l[lb[b]], 1.0) << b;
        EXPECT_EQ(r[lb[b]], 0.0) << b;
    }
    // Band 21 takes band 20's position (20 % 16 = 4).
    double t4 = std::tan(4 * kPi / 12);
    EXPECT_NEAR(l[575], t4 / (1 + t4), 1e-12);

    // With mid/side too: the sqrt(2) variant.
    for (int i = 0; i < 576; i++) l[i] = 1.0, r[i] = 0.0;
    ApplyIntensityStereo(l, r, sf, &gi, 0, 1, 0);
    EXPECT_NEAR(l[lb[3]], std::sqrt(2.0) * t / (1 + t), 1e-12);

    // Values up to band 20: band 21 has no position and stays; above band
    // 21 nothing happens either.
    for (int maxbandl : {21, 22}) {
        for (int i = 0; i < 576; i++) l[i] = 1.0, r[i] = 0.5;
        gi.maxbandl = maxbandl;
        ApplyIntensityStereo(l, r, sf, &gi, 0, 0, 0);
        for (int i = 0; i < 576; i++) ASSERT_EQ(r[i], 0.5) << maxbandl;
    }
}

// The LSF rules (ISO/IEC 13818-3 2.4.3.2) at 22.05 kHz, on a left channel
// of 1.0 and a right one of 0.5 (so that an untouched line shows). Every
// scale-factor entry holds the illegal position 7 of a three-bit slen but
// those a case sets.
TEST_F(Layer3, IntensityStereoLsfRules) {
    struct Entry {
        int index, position, illegal;
    };
    struct Probe {
        int band, window;  // window 3: long band
        double l, r;
    };
    struct Case {
        const char* rule;
        int blockType, mixed, scale, ms, maxbandl;
        int maxband[3];
        std::vector<Entry> entries;
        std::vector<Probe> probes;
    };
    const double e0 = std::pow(2.0, -0.25), e1 = std::sqrt(0.5), s2 = std::sqrt(2.0);
    const Case cases[] = {
        {"odd position, scale 0: left times 2^(-(p+1)/8)", 0, 0, 0, 0, 0, {}, {{5, 3, 7}}, {{5, 3, e0 * e0, 1}}},
        {"even position, scale 1: right times 2^(-p/4)", 0, 0, 1, 0, 0, {}, {{5, 4, 7}}, {{5, 3, 1, e1 * e1}}},
        {"position 0: both channels the left value", 0, 0, 0, 0, 0, {}, {{5, 0, 7}}, {{5, 3, 1, 1}}},
        {"the illegal position is 2^slen - 1", 0, 0, 0, 0, 0, {}, {{5, 7, 7}, {6, 7, 15}, {7, 3, 3}},
         {{5, 3, 1, 0.5}, {6, 3, std::pow(e0, 4), 1}, {7, 3, 1, 0.5}}},
        {"bands below the right channel's last value stay", 0, 0, 0, 0, 6, {}, {{5, 0, 7}, {6, 0, 7}},
         {{5, 3, 1, 0.5}, {6, 3, 1, 1}}},
        {"band 21 takes band 20's position", 0, 0, 0, 0, 20, {}, {{20, 2, 7}}, {{20, 3, 1, e0}, {21, 3, 1, e0}}},
        {"band 20 illegal: band 21 is not coded either", 0, 0, 0, 0, 20, {}, {{20, 7, 7}}, {{21, 3, 1, 0.5}}},
        {"values up to band 20: band 21 alone at position 0", 0, 0, 0, 0, 21, {}, {{20, 2, 7}},
         {{20, 3, 1, 0.5}, {21, 3, 1, 1}}},
        {"values in band 21: nothing", 0, 0, 0, 0, 22, {}, {{20, 0, 7}}, {{21, 3, 1, 0.5}}},
        {"short: each window from its own highest band", 2, 0, 0, 0, 0, {5, 7, 13},
         {{3 * 4, 0, 7}, {3 * 5, 0, 7}, {3 * 6 + 1, 0, 7}, {3 * 7 + 1, 0, 7}, {3 * 5 + 2, 0, 7}},
         {{4, 0, 1, 0.5}, {5, 0, 1, 1}, {6, 1, 1, 0.5}, {7, 1, 1, 1}, {5, 2, 1, 0.5}}},
        {"short: band 12 takes band 11's position, or 0 when band 11 holds values", 2, 0, 0, 0, 0, {11, 12, 13},
         {{3 * 11, 2, 7}, {3 * 11 + 1, 2, 7}, {3 * 11 + 2, 2, 7}},
         {{11, 0, 1, e0}, {12, 0, 1, e0}, {11, 1, 1, 0.5}, {12, 1, 1, 1}, {12, 2, 1, 0.5}}},
        {"mixed, short part empty: the long bands above the last value too", 2, 1, 0, 0, 3, {3, 3, 3},
         {{2, 0, 7}, {3, 0, 7}, {6 + 1, 4, 7}}, {{2, 3, 1, 0.5}, {3, 3, 1, 1}, {3, 1, 1, e0 * e0}}},
        {"mixed, values in the short part: the long part stays", 2, 1, 0, 0, 0, {4, 3, 3},
         {{0, 0, 7}, {6 + 3, 0, 7}, {6 + 1, 0, 7}}, {{0, 3, 1, 0.5}, {4, 0, 1, 1}, {3, 1, 1, 1}}},
        {"mid/side: sqrt(2) ratios; a band not coded keeps its mid/side values", 0, 0, 0, 1, 0, {},
         {{5, 0, 7}, {6, 3, 3}}, {{5, 3, s2, s2}, {6, 3, 1, 0.5}}},
    };
    const int rate = 3;
    const int16_t* lb = g_l3t.longBound[rate];
    const int16_t* sb3 = g_l3t.shortBound3[rate];
    for (const Case& c : cases) {
        GranuleInfo gi{};
        gi.block_type = c.blockType;
        gi.mixed_block_flag = c.mixed;
        gi.scalefac_compress = c.scale;
        gi.maxbandl = c.maxbandl;
        for (int w = 0; w < 3; w++) gi.maxband[w] = c.maxband[w];
        int32_t sf[kScaleFactorCount];
        for (int i = 0; i < kScaleFactorCount; i++) sf[i] = 7, gi.illegalPosition[i] = 7;
        for (const Entry& e : c.entries) sf[e.index] = e.position, gi.illegalPosition[e.index] = uint8_t(e.illegal);
        double l[576], r[576];
        for (int i = 0; i < 576; i++) l[i] = 1.0, r[i] = 0.5;
        ApplyIntensityStereo(l, r, sf, &gi, rate, c.ms, 1);
        for (const Probe& p : c.probes) {
            int line = p.window == 3 ? lb[p.band] : sb3[p.band] + p.window;
            EXPECT_NEAR(l[line], p.l, 1e-12) << c.rule << ": band " << p.band << " window " << p.window;
            EXPECT_NEAR(r[line], p.r, 1e-12) << c.rule << ": band " << p.band << " window " << p.window;
        }
    }
}

TEST_F(Layer3, IntensityStereoShortBlocksAndMappingModes) {
    const int16_t* sb3 = g_l3t.shortBound3[0];
    const int16_t* sw = g_l3t.shortWidth[0];
    int32_t sf[kScaleFactorCount] = {};
    for (int i = 0; i < 36; i++) sf[i] = 0;  // position 0: all right
    sf[30] = 6, sf[31] = 6, sf[32] = 6;      // band 10: all left
    sf[33] = 3, sf[34] = 3, sf[35] = 3;      // band 11
    GranuleInfo gi{};
    gi.block_type = 2;
    gi.maxband[0] = gi.maxband[1] = gi.maxband[2] = 12;  // values up to band 11
    double l[576], r[576];
    auto reset = [&] {
        for (int i = 0; i < 576; i++) l[i] = 1.0, r[i] = 0.5;
    };
    // Mode 2: band 12 lies above the values but has no MPEG-1 position, and
    // keeps the right channel's own values.
    g_settings.MappingMode = 2;
    reset();
    ApplyIntensityStereo(l, r, sf, &gi, 0, 0, 0);
    for (int i = sb3[12]; i < 576; i++) ASSERT_EQ(r[i], 0.5);
    // Mode 1: band 12 with band 11's position.
    g_settings.MappingMode = 1;
    reset();
    ApplyIntensityStereo(l, r, sf, &gi, 0, 0, 0);
    double t3 = std::tan(3 * kPi / 12);
    EXPECT_NEAR(r[sb3[12] + 1], 1 / (1 + t3), 1e-12);
    EXPECT_NEAR(r[575], 1 / (1 + t3), 1e-12);
    // Mode 0: band 11 again with band 10's position (all left).
    g_settings.MappingMode = 0;
    reset();
    ApplyIntensityStereo(l, r, sf, &gi, 0, 0, 0);
    EXPECT_NEAR(r[sb3[11]], 0.0, 1e-12);
    EXPECT_EQ(r[sb3[12]], 0.5);
    // Mode 3: an averaged stretch: position (0 + 6 + 3 + 0) / 4 = 2.
    g_settings.MappingMode = 3;
    reset();
    ApplyIntensityStereo(l, r, sf, &gi, 0, 0, 0);
    int start = (sb3[10] + sb3[11] + sb3[12] + 576) / 4;
    int count = (sw[10] + sw[11] + sw[12]) / 4;
    double t2 = std::tan(2 * kPi / 12);
    int last = start + 3 * (count - 1);
    EXPECT_NEAR(r[last], 1 / (1 + t2), 1e-12);
    EXPECT_NEAR(r[start + 2], 1 / (1 + t2), 1e-12);
    EXPECT_EQ(r[last + 3], 0.5);
    // Mixed block with short values above band 3: the long part stays.
    g_settings.MappingMode = 2;
    gi.mixed_block_flag = 1;
    gi.maxband[0] = 5;
    gi.maxbandl = 0;
    reset();
    ApplyIntensityStereo(l, r, sf, &gi, 0, 0, 0);
    for (int i = 0; i < 36; i++) ASSERT_EQ(r[i], 0.5);
    gi.maxband[0] = gi.maxband[1] = gi.maxband[2] = 3;
    reset();
    ApplyIntensityStereo(l, r, sf, &gi, 0, 0, 0);
    EXPECT_NEAR(r[0], 1.0, 1e-12);  // long band 0, position 0
}

// ------------------------------------------------------ alias reduction

TEST_F(Layer3, AliasReductionBoundaries) {
    double x[576];
    auto fill = [&] {
        for (int i = 0; i < 576; i++) x[i] = 1.0 + i % 7;
    };
    GranuleInfo gi{};
    gi.block_type = 2;
    fill();
    Antialias(x, &gi);
    for (int i = 0; i < 576; i++) ASSERT_EQ(x[i], 1.0 + i % 7);  // short: none
    gi.mixed_block_flag = 1;
    gi.longSubbands = 2;
    fill();
    Antialias(x, &gi);
    EXPECT_NE(x[17], 1.0 + 17 % 7);  // between subbands 0 and 1 only
    EXPECT_EQ(x[35], 1.0 + 35 % 7);
    EXPECT_EQ(x[36], 1.0 + 36 % 7);
    // Long block: butterflies at boundaries 1..maxb-1, energy-preserving.
    gi = GranuleInfo{};
    gi.maxb = 3;
    fill();
    double a = x[35], b = x[36];
    Antialias(x, &gi);
    const double c = -0.6, s = std::sqrt(1 + c * c);
    EXPECT_NEAR(x[35], a / s - b * c / s, 1e-12);
    EXPECT_NEAR(x[36], b / s + a * c / s, 1e-12);
    EXPECT_NEAR(x[35] * x[35] + x[36] * x[36], a * a + b * b, 1e-9);
    EXPECT_EQ(x[53], 1.0 + 53 % 7);
}

// --------------------------------------------------------------- IMDCT

// The standard windows (ISO/IEC 11172-3 2.4.3.4.10.1).
double StandardWindow(int bt, int i) {
    auto s36 = [](int k) { return std::sin(kPi / 36 * (k + 0.5)); };
    auto s12 = [](int k) { return std::sin(kPi / 12 * (k + 0.5)); };
    switch (bt) {
    case 0:
        return s36(i);
    case 1:
        return i < 18 ? s36(i) : i < 24 ? 1.0 : i < 30 ? s12(i - 18) : 0.0;
    case 3:
        return i < 6 ? 0.0 : i < 12 ? s12(i - 6) : i < 18 ? 1.0 : s36(i);
    default:
        return s12(i);
    }
}

TEST_F(Layer3, Imdct36MatchesTheDirectFormula) {
    uint32_t seed = 12345;
    auto rnd = [&] {
        seed = seed * 1664525u + 1013904223u;
        return (int32_t(seed >> 8) - (1 << 23)) / double(1 << 23);
    };
    for (int bt : {0, 1, 3}) {
        for (int odd = 0; odd < 2; odd++) {
            double x[18], x0[18], prev[18], next[18], out[18 * 32];
            for (int k = 0; k < 18; k++) x[k] = x0[k] = rnd() * 1000;
            for (int t = 0; t < 18; t++) prev[t] = rnd();
            Imdct36(x, prev, next, odd ? g_l3t.windowOdd[bt] : g_l3t.window[bt], out);
            for (int i = 0; i < 36; i++) {
                double y = 0;
                for (int k = 0; k < 18; k++) y += x0[k] * std::cos(kPi / 72 * (2 * i + 19) * (2 * k + 1));
                y *= StandardWindow(bt, i);
                if (odd && (i & 1)) y = -y;  // frequency inversion
                if (i < 18)
                    ASSERT_NEAR(out[32 * i], y + prev[i], 1e-9) << "bt " << bt << " i " << i;
                else
                    ASSERT_NEAR(next[i - 18], y, 1e-9) << "bt " << bt << " i " << i;
            }
        }
    }
}

TEST_F(Layer3, Imdct12MatchesTheDirectFormula) {
    double x[18], x0[18], prev[18], next[18], out[18 * 32];
    for (int k = 0; k < 18; k++) x[k] = x0[k] = std::sin(k * 1.7) * 300;
    for (int t = 0; t < 18; t++) prev[t] = t * 0.25;
    for (int odd = 0; odd < 2; odd++) {
        std::memcpy(x, x0, sizeof x);
        Imdct12(x, prev, next, odd ? g_l3t.windowOdd[2] : g_l3t.window[2], out);
        double block[36] = {};
        for (int w = 0; w < 3; w++)
            for (int i = 0; i < 12; i++) {
                double y = 0;
                for (int k = 0; k < 6; k++) y += x0[3 * k + w] * std::cos(kPi / 24 * (2 * i + 7) * (2 * k + 1));
                block[6 + 6 * w + i] += y * StandardWindow(2, i);
            }
        for (int i = 0; i < 36; i++) {
            double y = odd && (i & 1) ? -block[i] : block[i];
            if (i < 18)
                ASSERT_NEAR(out[32 * i], y + prev[i], 1e-9) << i;
            else
                ASSERT_NEAR(next[i - 18], y, 1e-9) << i;
        }
    }
}

TEST_F(Layer3, HybridPassesTheOverlapAboveMaxb) {
    // Two granules of one impulse in subband 0: the second granule's output
    // is the first one's overlap; subbands above maxb carry only overlap.
    double xr[576] = {}, out[18][32];
    GranuleInfo gi{};
    gi.maxb = 1;
    for (int g = 0; g < 3; g++) Hybrid(xr, out, 1, &gi);  // clear channel 1's store
    xr[0] = 1.0;
    Hybrid(xr, out, 1, &gi);
    double first17 = out[17][0];
    std::memset(xr, 0, sizeof xr);
    Hybrid(xr, out, 1, &gi);
    double y18 = std::cos(kPi / 72 * (2 * 18 + 19)) * StandardWindow(0, 18);
    EXPECT_NEAR(out[0][0], y18, 1e-12);
    EXPECT_NEAR(first17, std::cos(kPi / 72 * (2 * 17 + 19)) * StandardWindow(0, 17), 1e-12);
    for (int t = 0; t < 18; t++)
        for (int s = 2; s < 32; s++) ASSERT_EQ(out[t][s], 0.0);
}

// ------------------------------------------------------------ whole frames

testutil::PcmRecord& g_rec = testutil::g_pcmRecord;

class Layer3Frames : public Layer3 {
protected:
    void SetUp() override {
        Layer3::SetUp();
        PcmBuffer.threshold = 16384;
        std::memset(g_frameArea, 0, sizeof g_frameArea);
    }
    // Puts a frame body in a slot and sets up the frame reader's state as the
    // frame reader would for it.
    void LoadFrame(const BitWriter& w, int slot, int size, int sideInfo) {
        w.Load(slot);
        g_frames.currentSize = size;
        g_frames.SideInfoSize = sideInfo;
        g_frames.previousBuffer = FrameBuffer(1 - slot);
        g_frames.previousSize = size;
    }
    StreamInfo Mono44() {
        StreamInfo si{};
        si.channels = 1;
        si.mode = 3;
        si.sampleRateIndex = 0;
        si.channelSelect = -1;
        SelectSynthesis(&si, 0, 0, 1);
        return si;
    }
    testutil::PcmCapture capture_;
};

// MPEG-1 mono side information: 17 bytes.
void PutMonoSideInfo(BitWriter& w, int mainDataBegin, int part23, int bigValues, int table, int globalGain,
                     int blockType = -1) {
    w.Put(unsigned(mainDataBegin), 9);
    w.Put(0, 5);
    w.Put(0, 4);  // scfsi
    for (int gr = 0; gr < 2; gr++) {
        w.Put(unsigned(part23), 12);
        w.Put(unsigned(bigValues), 9);
        w.Put(unsigned(globalGain), 8);
        w.Put(0, 4);
        if (blockType >= 0) {
            w.Put(1, 1);
            w.Put(unsigned(blockType), 2);
            w.Put(0, 1);
            w.Put(unsigned(table), 5);
            w.Put(unsigned(table), 5);
            w.Put(0, 9);
        } else {
            w.Put(0, 1);
            w.Put(unsigned(table), 5);
            w.Put(unsigned(table), 5);
            w.Put(unsigned(table), 5);
            w.Put(15, 4);
            w.Put(7, 3);
        }
        w.Put(0, 3);
    }
}

// A mono frame body of `size` bytes: that side information, zeros after it.
BitWriter SideInfoOnly(int size, int mainDataBegin, int part23, int bigValues, int table, int globalGain,
                       int blockType = -1) {
    BitWriter w;
    PutMonoSideInfo(w, mainDataBegin, part23, bigValues, table, globalGain, blockType);
    w.bytes.resize(size_t(size));
    return w;
}

TEST_F(Layer3Frames, RunawayBigValuesStayInsideTheFrameArea) {
    // 288 pairs of the longest escape (tables 16..23: value 15 with 13
    // linbits): far beyond any part2_3_length. The granule is rejected and
    // nothing is read or written outside the buffers (the sanitizer build
    // checks the reads), wherever the frame lies.
    std::string code;
    {
        IsoCodes iso = ReadIsoCodes();
        if (!iso.ok) GTEST_SKIP() << "no ISO tables in " << IsoTablesDir();
        size_t longest = 0;
        for (const auto& [symbol, c] : iso.codes[16])
            if ((symbol >> 4) == 15 && (symbol & 15) == 15) code = c;
        for (const auto& [symbol, c] : iso.codes[16]) longest = std::max(longest, c.size());
        EXPECT_EQ(longest, 17u);
    }
    for (int slot = 0; slot < 2; slot++) {
        BitWriter w;
        PutMonoSideInfo(w, 0, 4095, 288, 23, 100);
        while (w.bits < 8 * 3072 - 64) {
            w.PutCode(code);
            w.Put(0x1FFF, 13);
            w.Put(1, 1);
            w.Put(0x1FFF, 13);
            w.Put(0, 1);
        }
        w.bytes.resize(kBodyAreaSize);
        LoadFrame(w, slot, kBodyAreaSize, 17);
        StreamInfo si = Mono44();
        EXPECT_EQ(DecodeLayer3Frame(&si), 0);
        EXPECT_GE(g_bits.p, g_frameArea);
        EXPECT_LT(g_bits.p, g_frameArea + kFrameAreaSize - 3);
    }
}

TEST_F(Layer3Frames, InconsistentSideInformationIsRejectedQuietly) {
    StreamInfo si = Mono44();
    // part2_3_length beyond the frame's main data.
    LoadFrame(SideInfoOnly(200, 0, 4000, 10, 1, 150), 0, 200, 17);
    EXPECT_EQ(DecodeLayer3Frame(&si), 0);
    EXPECT_EQ(PcmBuffer.fill, 0);
    // Window switching with block type 0.
    LoadFrame(SideInfoOnly(200, 0, 0, 0, 1, 150, 0), 1, 200, 17);
    EXPECT_EQ(DecodeLayer3Frame(&si), 0);
    // Region counts past the 22 bands and big_values over 288 (table 0
    // reads no bits): decoded within the spectrum.
    BitWriter c;
    PutMonoSideInfo(c, 0, 300, 511, 0, 150);
    while (c.bytes.size() < 200) c.Put(0xFF, 8);
    LoadFrame(c, 0, 200, 17);
    EXPECT_EQ(DecodeLayer3Frame(&si), 1);
}

TEST_F(Layer3Frames, MainDataBeginBeforeTheHeldReservoir) {
    StreamInfo si = Mono44();
    // A silent frame (big_values 0, no data) that points 100 bytes back,
    // with nothing held before it: rejected, nothing written.
    LoadFrame(SideInfoOnly(400, 100, 0, 0, 0, 0), 0, 400, 17);
    EXPECT_EQ(DecodeLayer3Frame(&si), 0);
    EXPECT_EQ(PcmBuffer.fill, 0);
}

TEST_F(Layer3Frames, SilentFramesDecodeAndARefusedWriteEndsTheFrame) {
    StreamInfo si = Mono44();
    const BitWriter w = SideInfoOnly(400, 0, 0, 0, 0, 0);
    LoadFrame(w, 0, 400, 17);
    EXPECT_EQ(DecodeLayer3Frame(&si), 1);
    EXPECT_EQ(PcmBuffer.fill, 36 * si.bytesPerSlot);
    PcmBuffer.threshold = 64;
    g_rec.writeResult = -1;
    LoadFrame(w, 1, 400, 17);
    EXPECT_EQ(DecodeLayer3Frame(&si), -2);
}

TEST_F(Layer3Frames, HostileFramesNeverLeaveTheirArrays) {
    // Random bodies with random headers' modes, rates and channel choices.
    uint32_t seed = 777;
    auto rnd = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 600; round++) {
        StreamInfo si{};
        si.lsf = int(rnd() % 2);
        si.sampleRateIndex = si.lsf ? 3 + int(rnd() % 6) : int(rnd() % 3);
        si.mode = int(rnd() % 4);
        si.modeExtension = int(rnd() % 4);
        si.channels = si.mode == 3 ? 1 : 2;
        const int selects[5] = {-1, 0, 1, 3, 7};
        si.channelSelect = selects[rnd() % 5];
        int mono = si.channelSelect >= 0;
        SelectSynthesis(&si, int(rnd() % 3), 0, mono);
        g_settings.MappingMode = int(rnd() % 4);
        g_settings.EqEnabled = int(rnd() % 2);
        BitWriter w;
        for (int i = 0; i < kBodyAreaSize; i++) w.Put(rnd() & 0xFF, 8);
        // Mostly main_data_begin 0, so that the granules are decoded.
        if (round % 8) {
            w.bytes[0] = 0;
            if (!si.lsf) w.bytes[1] &= 0x7F;
        }
        int sideInfo = Layer3SideInfoSize(si.lsf, si.channels);
        int size = 100 + int(rnd() % (kBodyAreaSize - 100));
        LoadFrame(w, round % 2, size, sideInfo);
        int r = DecodeLayer3Frame(&si);
        EXPECT_TRUE(r == 0 || r == 1) << round;
        EXPECT_GE(PcmBuffer.fill, 0);
        EXPECT_LE(PcmBuffer.fill, kPcmBufferSize);
    }
}

}  // namespace
