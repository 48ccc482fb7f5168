// Layer I and Layer II frame decoders (ISO/IEC 11172-3, 2.4.1.5, 2.4.1.6,
// 2.4.2.5, 2.4.2.6, 2.4.3.2, 2.4.3.3; ISO/IEC 13818-3, 2.4.3.3).
//
// Every index taken from the stream is bounded by its field width and sized
// for: allocations select an entry inside their own subband's run of the
// allocation table, scale-factor index 63 has a (zero) column of M, grouped
// codes beyond L^3 land on zero rows, and jsbound and sblimit are clamped to
// the table in use. A hostile stream can only produce wrong sound.
#include "decoder/layer12.h"

#include <cstring>

#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/synth.h"

double g_layer12Multiplier[kLayer12Rows][64];
uint8_t g_layer2Group3[32][3];
uint8_t g_layer2Group5[128][3];
uint8_t g_layer2Group9[1024][3];

namespace {

constexpr Layer2AllocTable kAllocTables[5] = {
    {kLayer2Alloc_a, int(sizeof kLayer2Alloc_a / sizeof kLayer2Alloc_a[0]), kLayer2AllocSblimit[0]},
    {kLayer2Alloc_b, int(sizeof kLayer2Alloc_b / sizeof kLayer2Alloc_b[0]), kLayer2AllocSblimit[1]},
    {kLayer2Alloc_c, int(sizeof kLayer2Alloc_c / sizeof kLayer2Alloc_c[0]), kLayer2AllocSblimit[2]},
    {kLayer2Alloc_d, int(sizeof kLayer2Alloc_d / sizeof kLayer2Alloc_d[0]), kLayer2AllocSblimit[3]},
    {kLayer2Alloc_lsf, int(sizeof kLayer2Alloc_lsf / sizeof kLayer2Alloc_lsf[0]), kLayer2AllocSblimit[4]},
};

// Rows of M for the levels of the grouped quantizers, lowest level first.
constexpr uint8_t kLevels3[3] = {1, 0, 2};
constexpr uint8_t kLevels5[5] = {17, 18, 0, 19, 20};
constexpr uint8_t kLevels9[9] = {21, 1, 22, 23, 0, 24, 25, 2, 26};

template <int L, int N>
void FillGroup(uint8_t (&table)[N][3], const uint8_t (&levels)[L]) {
    std::memset(table, 0, sizeof table);
    int c = 0;
    for (int x2 = 0; x2 < L; x2++)
        for (int x1 = 0; x1 < L; x1++)
            for (int x0 = 0; x0 < L; x0++, c++) {
                table[c][0] = levels[x0];
                table[c][1] = levels[x1];
                table[c][2] = levels[x2];
            }
}

inline int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The output channel: -1 both (stereo output of a two-channel stream), else
// the channel the mono writer renders.
int OutputChannel(const StreamInfo* si, int nch) {
    int sel = si->channelSelect;
    if (nch == 1 || sel == 3 || sel > 1) sel = 0;
    return sel < 0 ? -1 : sel;
}

// Synthesises one slot from the two channels' 32 samples and runs the
// flush step: 1, or -2 when the output refused the data.
int OutputSlot(StreamInfo* si, int sel, const double* ch0, const double* ch1) {
    uint8_t* out = PcmSlotOut();
    if (sel < 0) {
        si->synth(ch0, ch1, out);
    } else {
        si->monoWriter(sel ? ch1 : ch0, out);
    }
    return PcmFlushStep(si);
}

bool ReadyToDecode(const StreamInfo* si) {
    return PcmBuffer.data && si->synth && si->monoWriter;
}

}  // namespace

void InitLayer12Tables() {
    // Constant tables: built once.
    static bool built = false;
    if (built) return;
    built = true;
    // m[k]: 0; the 3-step levels -2/3, 2/3; 2 / (2^k - 1) for ungrouped k-bit
    // codes (ISO/IEC 11172-3 Table 3-B.4, C (s + D) with the code read as a
    // fraction); the 5- and 9-step levels. The scale factors come from the
    // committed Table 3-B.1, so the products are the same on every platform.
    double m[kLayer12Rows] = {0.0, -2.0 / 3.0, 2.0 / 3.0};
    for (int k = 3; k <= 16; k++) m[k] = 2.0 / double((1 << k) - 1);
    const double levels5[4] = {-4.0 / 5.0, -2.0 / 5.0, 2.0 / 5.0, 4.0 / 5.0};
    const double levels9[6] = {-8.0 / 9.0, -4.0 / 9.0, -2.0 / 9.0, 2.0 / 9.0, 4.0 / 9.0, 8.0 / 9.0};
    for (int k = 0; k < 4; k++) m[17 + k] = levels5[k];
    for (int k = 0; k < 6; k++) m[21 + k] = levels9[k];
    for (int k = 0; k < kLayer12Rows; k++) {
        for (int i = 0; i < 63; i++) g_layer12Multiplier[k][i] = m[k] * kLayer12ScaleFactor[i];
        g_layer12Multiplier[k][63] = 0.0;  // index 63 is not a scale factor
    }
    FillGroup(g_layer2Group3, kLevels3);
    FillGroup(g_layer2Group5, kLevels5);
    FillGroup(g_layer2Group9, kLevels9);
}

// Ready before the first play command fills them again.
const bool g_layer12TablesBuilt = (InitLayer12Tables(), true);

const Layer2AllocTable* GetLayer2AllocTable(int table, int* sblimit) {
    if (table < 0 || table > 4) table = 0;
    if (sblimit) *sblimit = kAllocTables[table].sblimit;
    return &kAllocTables[table];
}

// ------------------------------------------------------------------ Layer I

int DecodeLayer1Frame(StreamInfo* si) {
    if (!ReadyToDecode(si)) return 0;
    const int nch = si->channels == 1 ? 1 : 2;
    const int sel = OutputChannel(si, nch);
    const int jsbound = nch == 2 ? Clamp(si->jsbound, 0, 32) : 32;
    const int bandLimit = 32 >> Clamp(si->downsample, 0, 2);
    const auto& M = g_layer12Multiplier;

    uint8_t allocation[2][32];  // 0..15: n + 1 bits a sample
    uint8_t scalefactor[2][32];
    std::memset(scalefactor, 63, sizeof scalefactor);

    for (int sb = 0; sb < 32; sb++) {
        if (sb < jsbound) {
            for (int ch = 0; ch < nch; ch++) allocation[ch][sb] = static_cast<uint8_t>(GetBitsFast(4));
            if (nch == 1) allocation[1][sb] = 0;
        } else {
            allocation[0][sb] = allocation[1][sb] = static_cast<uint8_t>(GetBitsFast(4));
        }
    }
    for (int sb = 0; sb < 32; sb++)
        for (int ch = 0; ch < nch; ch++)
            if (allocation[ch][sb]) scalefactor[ch][sb] = static_cast<uint8_t>(GetBitsFast(6));

    // The codes of a slot in stream order, each with its width (n + 1 bits,
    // 0 when nothing is allocated), the offset 2^n - 1 that centres it and
    // the factor of its scale factor: a sample is (code - offset) times that
    // factor; a subband without allocation reads no bits and gives +0.
    // Plain codes fill one sample (index ch * 32 + sb), joint ones the
    // subband's sample of both channels.
    struct Code {
        int width;
        int shift;  // kLookBits - 1 - width
        int offset;
        int at;
        double factor[2];
    };
    Code plain[64], joint[32];
    int nPlain = 0, nJoint = 0;
    for (int sb = 0; sb < 32; sb++)
        for (int ch = 0; ch < (sb < jsbound ? nch : 1); ch++) {
            const int n = allocation[ch][sb];
            Code c{n ? n + 1 : 0, kLookBits - 1 - (n ? n + 1 : 0), n ? (1 << n) - 1 : 0, ch * 32 + sb, {0.0, 0.0}};
            for (int k = 0; k < 2; k++)
                if (n) c.factor[k] = M[n + 1][scalefactor[sb < jsbound ? ch : k][sb]];
            if (sb < jsbound)
                plain[nPlain++] = c;
            else
                joint[nJoint++] = c;
        }

    // The next code of `word`, consumed from its top: (word >> (kLookBits -
    // 1 - w)) >> 1 is its top w bits for every width w = 0..16.
    auto take = [](LookWord& word, const Code& c) {
        int v = int((word >> c.shift) >> 1) - c.offset;
        word <<= c.width;
        return v;
    };
    double samples[2][32];
    double* flat = samples[0];  // samples[1] follows it
    BitCursor in = BitCursor::AtReader();
    for (int slot = 0; slot < 12; slot++) {
        // Two codes (at most 2 x 16 bits) from each look at the next 57 bits,
        // or one from each look at the next 25.
        int i = 0;
        for (; kLookBits == 64 && i + 1 < nPlain; i += 2) {
            LookWord word = in.Look();
            const Code& c0 = plain[i];
            const Code& c1 = plain[i + 1];
            flat[c0.at] = take(word, c0) * c0.factor[0];
            flat[c1.at] = take(word, c1) * c1.factor[0];
            in.pos += unsigned(c0.width + c1.width);
        }
        for (; i < nPlain; i++) {
            LookWord word = in.Look();
            flat[plain[i].at] = take(word, plain[i]) * plain[i].factor[0];
            in.pos += unsigned(plain[i].width);
        }
        for (int j = 0; j < nJoint; j++) {
            LookWord word = in.Look();
            const int v = take(word, joint[j]);
            samples[0][joint[j].at] = v * joint[j].factor[0];
            samples[1][joint[j].at] = v * joint[j].factor[1];
            in.pos += unsigned(joint[j].width);
        }
        if (nch == 1) std::memset(samples[1], 0, sizeof samples[1]);
        for (int sb = bandLimit; sb < 32; sb++) samples[0][sb] = samples[1][sb] = 0.0;
        if (OutputSlot(si, sel, samples[0], samples[1]) < 0) {
            in.ToReader();
            return -2;
        }
    }
    in.ToReader();
    return 1;
}

// ----------------------------------------------------------------- Layer II

namespace {

// The row stride of M.
constexpr int kLayer12Columns = int(sizeof g_layer12Multiplier[0] / sizeof g_layer12Multiplier[0][0]);

// The codes of one subband in a granule, in stream order: read once even
// when both channels share them (intensity stereo above the bound) and
// dequantized per channel. Made once a frame, so that the twelve granules
// run through a list with no tests of allocations and bounds.
struct Layer2Group {
    const uint8_t (*rows)[3];   // grouped: the three samples' rows of M by code; else null
    unsigned mask;              // grouped: the table's codes
    int bits;                   // grouped: the code's bits; else each sample's (the row of M)
    int d;                      // ungrouped: added to each code
    int outs;                   // channels it fills: 1, or 2 above the bound
    double* out[2];             // each channel's sample of the granule's first slot
    const double* factor[2][3]; // by channel and part: M[row][sf] (grouped: row 0)
};

// Its three samples a slot apart, from the codes at the cursor (grouped:
// M[rows[j]][sf]; else (code + d) times M[row][sf]).
inline void DecodeGroup(const Layer2Group& g, int part, BitCursor& in) {
    if (g.rows) {
        const uint8_t* r = g.rows[in.Get(g.bits) & g.mask];
        for (int k = 0; k < g.outs; k++) {
            const double* f = g.factor[k][part];
            for (int j = 0; j < 3; j++) g.out[k][32 * j] = f[kLayer12Columns * r[j]];
        }
        return;
    }
    int v[3];
    // All three (at most 3 x 16 bits) from one look at the next 57 bits, or
    // each from its own look at the next 25; (w >> (kLookBits - 1 - n)) >> 1
    // is the top n bits of w for n = 0..16.
    if constexpr (kLookBits == 64) {
        LookWord w = in.Look();
        for (int j = 0; j < 3; j++) {
            v[j] = int((w >> (kLookBits - 1 - g.bits)) >> 1) + g.d;
            w <<= g.bits;
        }
        in.pos += unsigned(3 * g.bits);
    } else {
        for (int j = 0; j < 3; j++) {
            v[j] = int((in.Look() >> (kLookBits - 1 - g.bits)) >> 1) + g.d;
            in.pos += unsigned(g.bits);
        }
    }
    for (int k = 0; k < g.outs; k++) {
        const double f = *g.factor[k][part];
        for (int j = 0; j < 3; j++) g.out[k][32 * j] = v[j] * f;
    }
}

}  // namespace

int DecodeLayer2Frame(StreamInfo* si) {
    if (!ReadyToDecode(si) || !si->allocTable) return 0;
    const Layer2AllocTable& table = *si->allocTable;
    const int nch = si->channels == 1 ? 1 : 2;
    const int sel = OutputChannel(si, nch);
    const int sblimit = Clamp(si->sblimit < table.sblimit ? si->sblimit : table.sblimit, 0, 32);
    const int jsbound = nch == 2 ? Clamp(si->jsbound, 0, sblimit) : sblimit;
    int bandLimit = 32 >> Clamp(si->downsample, 0, 2);
    if (bandLimit > sblimit) bandLimit = sblimit;

    // Entry of allocation 0 of each subband; allocation a selects entry a,
    // which is below 2^nbal and so inside the subband's run.
    const Layer2AllocEntry* entry[2][32];
    uint8_t allocation[2][32] = {};
    uint8_t scalefactor[2][32][3];
    std::memset(scalefactor, 63, sizeof scalefactor);

    int pos = 0;
    for (int sb = 0; sb < sblimit; sb++) {
        if (pos >= table.entryCount) return 0;
        int nbal = table.entries[pos].bits;
        if (sb < jsbound) {
            for (int ch = 0; ch < nch; ch++) allocation[ch][sb] = static_cast<uint8_t>(GetBits(nbal));
        } else {
            allocation[0][sb] = allocation[1][sb] = static_cast<uint8_t>(GetBits(nbal));
        }
        if (nch == 1) allocation[1][sb] = 0;
        for (int ch = 0; ch < 2; ch++) entry[ch][sb] = &table.entries[pos + allocation[ch][sb]];
        pos += 1 << nbal;
        if (pos > table.entryCount) return 0;  // a table that does not hold sblimit subbands
    }

    uint8_t scfsi[2][32] = {};
    for (int sb = 0; sb < sblimit; sb++)
        for (int ch = 0; ch < nch; ch++)
            if (allocation[ch][sb]) scfsi[ch][sb] = static_cast<uint8_t>(GetBitsFast(2));
    for (int sb = 0; sb < sblimit; sb++)
        for (int ch = 0; ch < nch; ch++) {
            if (!allocation[ch][sb]) continue;
            uint8_t* s = scalefactor[ch][sb];
            switch (scfsi[ch][sb]) {
            case 0:
                s[0] = static_cast<uint8_t>(GetBitsFast(6));
                s[1] = static_cast<uint8_t>(GetBitsFast(6));
                s[2] = static_cast<uint8_t>(GetBitsFast(6));
                break;
            case 1:
                s[0] = s[1] = static_cast<uint8_t>(GetBitsFast(6));
                s[2] = static_cast<uint8_t>(GetBitsFast(6));
                break;
            case 2:
                s[0] = s[1] = s[2] = static_cast<uint8_t>(GetBitsFast(6));
                break;
            default:
                s[0] = static_cast<uint8_t>(GetBitsFast(6));
                s[1] = s[2] = static_cast<uint8_t>(GetBitsFast(6));
                break;
            }
        }

    // The frame's list of code groups. Subbands without allocation, the
    // second channel of a mono stream and the subbands above the output's
    // band limit (read into scratch) stay zero.
    double samples[2][3][32];
    double scratch[3][32];
    std::memset(samples, 0, sizeof samples);
    const auto& M = g_layer12Multiplier;
    Layer2Group plan[64];
    int nPlan = 0;
    for (int sb = 0; sb < sblimit; sb++) {
        const int chans = sb < jsbound ? nch : 1;
        for (int ch = 0; ch < chans; ch++) {
            if (!allocation[ch][sb]) continue;
            const Layer2AllocEntry& e = *entry[ch][sb];
            Layer2Group& g = plan[nPlan++];
            g.rows = e.d == 3 ? g_layer2Group3 : e.d == 5 ? g_layer2Group5 : e.d > 0 ? g_layer2Group9 : nullptr;
            g.mask = e.d == 3 ? 31 : e.d == 5 ? 127 : 1023;
            g.bits = g.rows ? e.bits : Clamp(e.bits, 0, 16);
            g.d = e.d;
            g.outs = sb < jsbound ? 1 : 2;
            for (int k = 0; k < g.outs; k++) {
                const int c = sb < jsbound ? ch : k;
                g.out[k] = sb < bandLimit ? &samples[c][0][sb] : &scratch[0][sb];
                for (int part = 0; part < 3; part++) g.factor[k][part] = &M[g.rows ? 0 : g.bits][scalefactor[c][sb][part]];
            }
        }
    }

    BitCursor in = BitCursor::AtReader();
    for (int gr = 0; gr < 12; gr++) {
        const int part = gr >> 2;
        for (int i = 0; i < nPlan; i++) DecodeGroup(plan[i], part, in);
        for (int j = 0; j < 3; j++)
            if (OutputSlot(si, sel, samples[0][j], samples[1][j]) < 0) {
                in.ToReader();
                return -2;
            }
    }
    in.ToReader();
    return 1;
}
