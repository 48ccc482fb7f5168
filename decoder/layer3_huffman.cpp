// Layer III Huffman decoding and requantization (ISO/IEC 11172-3 2.4.3.4.6
// to 2.4.3.4.7.1): one pass per granule and channel that decodes each value
// pair and stores it already raised to the power 4/3 and scaled by its band's
// gain, short blocks straight into the interleaved order the IMDCT reads.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "decoder/input.h"
#include "decoder/layer3_internal.h"
#include "decoder/tables_layer3.h"
#include "decoder/tables_power.h"

Layer3Tables g_l3t;

const int32_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

namespace {
const int32_t kNoPretab[22] = {};

// How far the reader can get. The frame decoder starts every granule inside
// its frame's main data, and scale factors take at most 5 x 39 bits. The
// big-values loop stops at the first pair past the granule's budget, but
// even without that stop the worst granule (288 pairs of the longest code
// with two escapes: 17 + 2 x (13 + 1) bits, tables 16..23) reaches only
// 1620 bytes, plus 8 bytes of the cursor's lookahead: the zeroed slack behind
// the last frame slot holds it.
constexpr int kWorstBigValuesBytes = (288 * (17 + 2 * (13 + 1)) + 5 * 39 + 7) / 8 + 8;
static_assert(kWorstBigValuesBytes <= kSlackSize, "the frame area's slack must cover a runaway granule");

// First-level decoding tables: for each value of the next kLookupBits bits,
// the leaf and its code length (len << 8 | leaf), or, for a longer code,
// kLongCode | the tree node reached after kLookupBits bits.
constexpr int kLookupBits = 8;
constexpr uint16_t kLongCode = 0x8000;

// Whole big-value pairs by the next kPairBits bits. When the code and the
// sign bits of its nonzero values all lie in them (and, for a table with
// linbits, neither value is the escape 15), the entry has kWholePair, the
// pair's bits at kFirstTakenShift and its values with their signs (x | the
// sign of x << 4, then y likewise) at kValueShift and 5 bits on; when a
// second such pair follows within the same bits, kTwoPairs too, its values
// in the next two fields, and both pairs' bits lowest; else the first
// pair's bits lowest as well. When only the code lies in them (an escape,
// or signs past the bits): kCodeOnly | its length | the leaf << 8. Else 0.
// The bits taken sit lowest, where a shift by the entry takes its count
// from, and each value with its sign indexes the signed powers.
constexpr int kPairBits = 12;
constexpr uint32_t kWholePair = 0x80000000u;
constexpr uint32_t kTwoPairs = 0x40000000u;   // with kWholePair
constexpr uint32_t kCodeOnly = 0x40000000u;   // without it
constexpr uint32_t kWholeTaken = 63;
constexpr int kValueShift = 6;
constexpr int kFirstTakenShift = 26;

// Tree layouts repeat across tables (16..23 and 24..31 differ only in
// linbits), so the tables are made once per layout; whether the layout's
// first table has linbits decides the escape rule, which holds for all of
// them (linbits > 0 throughout 16..31).
constexpr int kTreeLayouts = 18;
struct LookupTables {
    uint8_t layoutOf[34];
    uint16_t first[kTreeLayouts][1 << kLookupBits];
    uint32_t pairs[kTreeLayouts][1 << kPairBits];
};

constexpr void BuildLookup(const int16_t* tree, uint16_t* lut) {
    for (int v = 0; v < (1 << kLookupBits); v++) {
        int i = 0;
        int len = 0;
        while (tree[i] < 0 && len < kLookupBits) {
            int bit = (v >> (kLookupBits - 1 - len)) & 1;
            i += bit ? 1 - tree[i] : 1;
            len++;
        }
        lut[v] = tree[i] >= 0 ? uint16_t((len << 8) | tree[i]) : uint16_t(kLongCode | i);
    }
}

// Fills the pair entries that begin with the bits `prefix` (plen of them)
// with `entry`, and adds a second pair where one follows whole within the
// bits: tree node i is reached by the second code's bits so far (len of them).
constexpr void FillSecondPair(const int16_t* tree, bool escapes, uint32_t* pairs, uint32_t entry, int prefix,
                              int plen, int i = 0) {
    if (tree[i] < 0 && plen < kPairBits) {
        FillSecondPair(tree, escapes, pairs, entry, prefix << 1, plen + 1, i + 1);
        FillSecondPair(tree, escapes, pairs, entry, prefix << 1 | 1, plen + 1, i + 1 - tree[i]);
        return;
    }
    const int x = tree[i] >> 4, y = tree[i] & 15;
    const int signs = (x != 0) + (y != 0);
    if (tree[i] < 0 || (escapes && (x == 15 || y == 15)) || plen + signs > kPairBits) {
        for (int tail = 0; tail < (1 << (kPairBits - plen)); tail++) pairs[prefix << (kPairBits - plen) | tail] = entry;
        return;
    }
    const int taken = plen + signs;
    const int rest = kPairBits - taken;
    for (int s = 0; s < (1 << signs); s++) {
        const uint32_t signX = x ? uint32_t(s >> (signs - 1)) & 1 : 0;
        const uint32_t signY = y ? uint32_t(s) & 1 : 0;
        const uint32_t two = (entry & ~kWholeTaken) | kTwoPairs | uint32_t(taken) |
                             (uint32_t(x) | signX << 4) << (kValueShift + 10) |
                             (uint32_t(y) | signY << 4) << (kValueShift + 15);
        for (int tail = 0; tail < (1 << rest); tail++) pairs[(prefix << signs | s) << rest | tail] = two;
    }
}

// Fills the pair entries whose first len bits are code, the path to tree
// node i: each leaf fills its range of entries once (the entries of longer
// codes stay 0), so the table costs its size and not its size times the
// code lengths.
constexpr void BuildPairLookup(const int16_t* tree, bool escapes, uint32_t* pairs, int i = 0, int len = 0,
                               int code = 0) {
    if (tree[i] < 0) {
        if (len == kPairBits) return;
        BuildPairLookup(tree, escapes, pairs, i + 1, len + 1, code << 1);
        BuildPairLookup(tree, escapes, pairs, i + 1 - tree[i], len + 1, code << 1 | 1);
        return;
    }
    const int x = tree[i] >> 4, y = tree[i] & 15;
    const int signs = (x != 0) + (y != 0);
    const int taken = len + signs;
    if ((escapes && (x == 15 || y == 15)) || taken > kPairBits) {
        const int rest = kPairBits - len;
        for (int tail = 0; tail < (1 << rest); tail++)
            pairs[code << rest | tail] = kCodeOnly | uint32_t(len) | uint32_t(tree[i]) << 8;
        return;
    }
    for (int s = 0; s < (1 << signs); s++) {  // the sign bits, x's first
        const uint32_t signX = x ? uint32_t(s >> (signs - 1)) & 1 : 0;
        const uint32_t signY = y ? uint32_t(s) & 1 : 0;
        const uint32_t entry = kWholePair | uint32_t(taken) | uint32_t(taken) << kFirstTakenShift |
                               (uint32_t(x) | signX << 4) << kValueShift | (uint32_t(y) | signY << 4) << (kValueShift + 5);
        FillSecondPair(tree, escapes, pairs, entry, code << signs | s, taken);
    }
}

// Trees compared by their entries: the compiler cannot always tell two
// arrays' addresses apart while it evaluates constants.
constexpr bool SameTree(const int16_t* a, int size, const HuffTableInfo& b) {
    if (size != b.treeSize) return false;
    for (int i = 0; i < size; i++)
        if (a[i] != b.tree[i]) return false;
    return true;
}

// Made by the compiler: walking the trees at run time was most of a short
// file's start-up.
constexpr LookupTables MakeLookupTables() {
    LookupTables t{};
    const int16_t* layouts[kTreeLayouts] = {};
    int firstTable[kTreeLayouts] = {};
    int n = 0;
    for (int k = 0; k < 34; k++) {
        int same = 0;
        while (same < n && !SameTree(layouts[same], kHuffTables[firstTable[same]].treeSize, kHuffTables[k])) same++;
        if (same == n) {
            if (n == kTreeLayouts) throw "kTreeLayouts is too small";
            layouts[n] = kHuffTables[k].tree;
            firstTable[n] = k;
            BuildLookup(kHuffTables[k].tree, t.first[n]);
            BuildPairLookup(kHuffTables[k].tree, kHuffTables[k].linbits > 0, t.pairs[n]);
            n++;
        } else if ((kHuffTables[k].linbits > 0) != (kHuffTables[firstTable[same]].linbits > 0)) {
            throw "a shared tree layout with and without linbits";
        }
        t.layoutOf[k] = uint8_t(same);
    }
    return t;
}
constexpr LookupTables kLookup = MakeLookupTables();

// Rows of N doubles, each row one aligned vector that a decoding loop copies
// whole, made by the compiler from value(row, lane).
template <int N, int Rows>
struct ValueRows {
    struct alignas(8 * N) Row {
        double v[N];
    } of[Rows];
};
template <int N, int Rows, typename F>
constexpr ValueRows<N, Rows> MakeValueRows(F value) {
    ValueRows<N, Rows> t{};
    for (int r = 0; r < Rows; r++)
        for (int l = 0; l < N; l++) t.of[r].v[l] = value(r, l);
    return t;
}

// Both values of a whole pair by x | y << 5, each value with its sign as the
// pair entries hold it (n, or n | 16 for -n^(4/3)).
constexpr auto kPairPowers = MakeValueRows<2, 1024>([](int i, int lane) {
    const int n = (i >> (5 * lane)) & 31;
    return (n & 16) ? -kPowerTable[n & 15] : kPowerTable[n & 15];
});

// The long bands and the three windows of the short bands tile the 576
// lines at every rate: the decoder's runs end exactly where the values do.
constexpr bool BandsTileTheLines() {
    for (int r = 0; r < 9; r++)
        if (kLongBoundary[r][0] != 0 || kLongBoundary[r][22] != 576 || kShortBoundary[r][0] != 0 ||
            kShortBoundary[r][13] != 192)
            return false;
    return true;
}
static_assert(BandsTileTheLines(), "the band tables must cover the 576 lines");

inline const uint16_t* FirstLevelOf(int table) { return kLookup.first[kLookup.layoutOf[table]]; }
inline const uint32_t* PairsOf(int table) { return kLookup.pairs[kLookup.layoutOf[table]]; }

}  // namespace

void InitLayer3SpectrumTables(int downSample) {
    // The gains and powers are the same for every down-sampling: built once.
    static bool fixedBuilt = false;
    if (!fixedBuilt) {
        for (int k = kGainMin; k <= kGainMax; k++) g_l3t.gain[k - kGainMin] = std::pow(2.0, -(k + 210) / 4.0);
        // The powers come made (8207 calls of pow would be most of a short
        // file's start-up).
        static_assert(kPowerTableEntries == kPowerTableSize, "tables_power.h is out of date");
        std::memcpy(g_l3t.power, kPowerTable, sizeof g_l3t.power);
        fixedBuilt = true;
    }

    int cap = 32 >> (downSample < 0 ? 0 : downSample > 2 ? 2 : downSample);
    for (int r = 0; r < 9; r++) {
        const int16_t* lb = kLongBoundary[r];
        const int16_t* sb = kShortBoundary[r];
        for (int i = 0; i < 23; i++) {
            g_l3t.longBound[r][i] = lb[i];
            g_l3t.longLimit[r][i] = int16_t(std::min((lb[i] + 7) / 18 + 1, cap));
        }
        for (int i = 0; i < 14; i++) {
            g_l3t.shortBound3[r][i] = int16_t(3 * sb[i]);
            g_l3t.shortLimit[r][i] = int16_t(std::min((3 * sb[i] - 1) / 18 + 1, cap));
        }
        for (int i = 0; i < 13; i++) g_l3t.shortWidth[r][i] = int16_t(sb[i + 1] - sb[i]);

        BandRun* m = g_l3t.longMap[r];
        for (int b = 0; b < 22; b++) m[b] = {int16_t((lb[b + 1] - lb[b]) / 2), lb[b], 3, int16_t(b)};
        m[22] = {0, 0, 0, 0};

        m = g_l3t.shortMap[r];
        int n = 0;
        for (int b = 0; b < 13; b++)
            for (int w = 0; w < 3; w++)
                m[n++] = {int16_t((sb[b + 1] - sb[b]) / 2), int16_t(3 * sb[b] + w), int16_t(w), int16_t(b)};
        m[n] = {0, 0, 0, 0};

        // Mixed blocks: the long bands below the switch point, then the short
        // bands from 3 up. MPEG-1 has 8 long bands (lines 0..35); the LSF
        // scale-factor layout (ISO/IEC 13818-3, nr_of_sfb) has 6, which end
        // where short band 3 starts at every LSF rate (line 36; 72 at 8 kHz).
        int nLong = r < 3 ? 8 : 6;
        g_l3t.mixedLongBands[r] = nLong;
        g_l3t.mixedLongSubbands[r] = lb[nLong] / 18;
        m = g_l3t.mixedMap[r];
        n = 0;
        for (int b = 0; b < nLong; b++) m[n++] = {int16_t((lb[b + 1] - lb[b]) / 2), lb[b], 3, int16_t(b)};
        for (int b = 3; b < 13; b++)
            for (int w = 0; w < 3; w++)
                m[n++] = {int16_t((sb[b + 1] - sb[b]) / 2), int16_t(3 * sb[b] + w), int16_t(w), int16_t(b)};
        m[n] = {0, 0, 0, 0};
    }
}

namespace {

inline double Gain(int k) {
    k = std::clamp(k, kGainMin, kGainMax);
    return g_l3t.gain[k - kGainMin];
}

// The granule's bits (every read loads eight bytes: the frame area's slack
// keeps them inside it).
using Cursor = BitCursor;

// One code of a tree from its first-level table: the leaf, and the code
// length in len. Codes longer than the table walk the tree on by the layout
// rule from where the table left them (bits is the next 32 bits; no code is
// longer than 19).
inline int DecodeCode(const uint16_t* lut, const int16_t* tree, uint32_t bits, int* len) {
    unsigned e = lut[bits >> (32 - kLookupBits)];
    if (!(e & kLongCode)) {
        *len = int(e >> 8);
        return int(e & 0xFF);
    }
    int i = int(e & 0x7FFF);
    int n = kLookupBits;
    while (tree[i] < 0) {
        i += ((bits << n) & 0x80000000u) ? 1 - tree[i] : 1;
        n++;
    }
    *len = n;
    return tree[i];
}

// v with its sign bit flipped when sign is 1: -v, exactly.
inline double WithSign(double v, uint64_t sign) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    b ^= sign << 63;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Whole count1 quadruples by the next kQuadBits bits (the longest code, 6
// bits, and four sign bits): the bits of the first quadruple at
// kQuadFirstShift, its values' pattern at kQuadPatternShift, and where a
// second whole quadruple follows within the bits, kQuadTwo and its pattern
// 8 bits higher; the bits of both (or of the one) lowest. A pattern holds
// each value in 2 bits, the first value lowest: 0 for 0, 1 for +1, 2 for
// -1 (a value's sign bit follows the code in the order of the values). Both
// count1 codes are shorter than the first-level tables' bits, so those give
// each code and its length.
constexpr int kQuadBits = 10;
constexpr int kQuadFirstShift = 6;
constexpr int kQuadPatternShift = 10;
constexpr uint32_t kQuadTwo = 0x80000000u;
struct QuadTables {
    uint32_t of[2][1 << kQuadBits];
};
// The quadruple whose code starts at bit `at` of the kQuadBits bits: its
// bits taken and pattern, or false when it does not lie whole in them.
constexpr bool QuadAt(const uint16_t* first, int bits, int at, int& taken, unsigned& pattern) {
    const unsigned e = first[((bits << at) & ((1 << kQuadBits) - 1)) >> (kQuadBits - kLookupBits)];
    if (e & kLongCode) throw "a count1 code longer than the first-level table";
    const int len = int(e >> 8), sym = int(e & 15);
    taken = at + len;
    pattern = 0;
    if (taken > kQuadBits) return false;
    for (int i = 0; i < 4; i++) {
        if (!((sym >> (3 - i)) & 1)) continue;
        if (taken == kQuadBits) return false;
        const int sign = (bits >> (kQuadBits - 1 - taken)) & 1;
        pattern |= unsigned(sign ? 2 : 1) << (2 * i);
        taken++;
    }
    return true;
}
constexpr QuadTables MakeQuadTables() {
    QuadTables t{};
    for (int table = 0; table < 2; table++) {
        const uint16_t* first = kLookup.first[kLookup.layoutOf[32 + table]];
        for (int bits = 0; bits < (1 << kQuadBits); bits++) {
            int taken = 0, taken2 = 0;
            unsigned pattern = 0, pattern2 = 0;
            if (!QuadAt(first, bits, 0, taken, pattern)) throw "a count1 quadruple longer than its look";
            uint32_t e = uint32_t(taken) | uint32_t(taken) << kQuadFirstShift | pattern << kQuadPatternShift;
            if (QuadAt(first, bits, taken, taken2, pattern2))
                e = kQuadTwo | uint32_t(taken2) | uint32_t(taken) << kQuadFirstShift | pattern << kQuadPatternShift |
                    pattern2 << (kQuadPatternShift + 8);
            t.of[table][bits] = e;
        }
    }
    return t;
}
constexpr QuadTables kQuads = MakeQuadTables();
// The four units a pattern stands for: a value is the gain times its unit
// (+0 for 0).
constexpr auto kQuadUnits = MakeValueRows<4, 256>([](int pattern, int lane) {
    const int u = (pattern >> (2 * lane)) & 3;
    return u == 1 ? 1.0 : u == 2 ? -1.0 : 0.0;
});

// Whole pairs and quadruples (at most kPairBits bits) come from a look at
// the stream one machine word wide (BitCursor::Look); longer pairs read the
// stream afresh.
static_assert(kLookBits - 7 >= kPairBits, "a look must hold a whole pair");

// The whole entries a look holds: each takes at most kPairBits bits.
constexpr int kEntriesPerLook = (kLookBits - 7) / kPairBits;

// A pair that does not come whole from its table entry: the code (from the
// entry, or the tree), the escapes (linbits behind a value 15; none for a
// table without linbits) and the signs from the stream at bitPos, without
// branches on the values; the two signed powers into v. Returns the bits
// taken.
unsigned LongPair(const uint8_t* base, uint32_t bitPos, uint32_t whole, const uint16_t* lut, const int16_t* tree,
                  int linbits, double* v) {
    uint64_t bits = Cursor{base, bitPos}.Peek64();
    int len;
    int leaf;
    if (whole & kCodeOnly) {
        len = int(whole & kWholeTaken);
        leaf = int((whole >> 8) & 255);
    } else {
        leaf = DecodeCode(lut, tree, uint32_t(bits >> 32), &len);
    }
    bits = ShiftUp(bits, unsigned(len));
    unsigned used = unsigned(len);
    int n[2] = {leaf >> 4, leaf & 15};
    uint64_t sign[2];
    for (int i = 0; i < 2; i++) {
        const int e = n[i] == 15 ? linbits : 0;
        n[i] += e ? int(TopBits(bits, unsigned(e))) : 0;
        bits = ShiftUp(bits, unsigned(e));
        used += unsigned(e);
        // A sign bit follows each nonzero value (power[0] is +0, and stays
        // unsigned).
        const unsigned nz = n[i] != 0;
        sign[i] = (bits >> 63) & nz;
        bits = ShiftUp(bits, nz);
        used += nz;
    }
    for (int i = 0; i < 2; i++) v[i] = WithSign(g_l3t.power[n[i]], sign[i]);
    return used;
}

// One channel's big values, decoded region by region into v as signed
// powers 4/3 (the gain comes later, run by run), entry by entry (Step), so
// that the two channels of a granule can go side by side: each entry waits
// for the one before it in its channel, and the other channel's entry fills
// that wait.
//
// The look is shifted by each entry's bits, and a fresh look holds
// kEntriesPerLook whole entries: they are taken without a test of the bits
// left (a test that went either way from one entry to the next and was often
// mispredicted). Pairs of at most kPairBits bits in all come whole from the
// pair table, two at a time where two fit; the others come from LongPair.
// The data runs past its budget when a pair (or an entry of two) ends past
// end: the reader stops there.
struct BigValues {
    const uint8_t* base;
    uint32_t bitPos;
    uint32_t end;            // the last bit the budget allows
    double* v;               // where the next values go
    const uint32_t* pairs;   // the current region's table
    const uint16_t* lut;
    const int16_t* tree;
    int linbits;
    int left;                // pairs left in the current region
    int region;              // the current region
    int regionPairs[3];
    int regionTable[3];
    LookWord look;
    int lookLeft;            // whole entries the look still holds
    uint32_t last;           // the last whole entry
    bool over;               // the budget is spent

    // Takes the next region with pairs; false when there is none.
    bool NextRegion() {
        while (++region < 3) {
            if (regionPairs[region] <= 0) continue;
            const int table = regionTable[region];
            pairs = PairsOf(table);
            lut = FirstLevelOf(table);
            tree = kHuffTables[table].tree;
            linbits = kHuffTables[table].linbits;
            left = regionPairs[region];
            lookLeft = 0;
            return true;
        }
        return false;
    }

    // The end of a region, or of the budget: a second pair past the region
    // is given back first (only the last entry can take one).
    bool Stop() {
        if (left < 0) {
            bitPos -= (last & kWholeTaken) - ((last >> kFirstTakenShift) & 15);
            v -= 2;
            left = 0;
        }
        if (bitPos > end) {
            over = true;
            return false;
        }
        return left > 0 || NextRegion();
    }

    // Decodes one entry; false when the big values are done.
    __attribute__((always_inline)) bool Step() {
        if (lookLeft == 0) {
            look = Cursor{base, bitPos}.Look();
            lookLeft = kEntriesPerLook;
        }
        const uint32_t whole = pairs[look >> (kLookBits - kPairBits)];
        unsigned used;
        if (whole & kWholePair) {
            // Both pairs' values are written, and both pairs taken when the
            // entry has two.
            const unsigned two = (whole & kTwoPairs) != 0;
            used = whole & kWholeTaken;
            std::memcpy(v, &kPairPowers.of[(whole >> kValueShift) & 1023], 16);
            std::memcpy(v + 2, &kPairPowers.of[(whole >> (kValueShift + 10)) & 1023], 16);
            v += 2 + 2 * two;
            left -= 1 + int(two);
            last = whole;
            look <<= used;
            lookLeft--;
        } else {
            used = LongPair(base, bitPos, whole, lut, tree, linbits, v);
            v += 2;
            left--;
            lookLeft = 0;
        }
        bitPos += used;
        if (left > 0 && bitPos <= end) return true;
        return Stop();
    }
};

// Count1 quadruples into v as units (+0, +1, -1; the gain comes later, run
// by run), from the cursor on while quadruples are left and the budget has
// bits. A quadruple whose code or sign bits do not all fit in the budget is
// the last: a code that does not fit gives four zeros, and of a quadruple
// whose sign bits run out only the values before the first missing sign are
// kept; the budget drops to 0. Returns the values written (v has room for
// 4 x quadruples + 4).
int DecodeQuadruples(Cursor& in, int table, int quadruples, int& budget, double* v) {
    const uint32_t* quads = kQuads.of[table];
    double* const first = v;
    // Looks at the stream as for the pairs: an entry takes at most 6 + 4 bits.
    constexpr int kQuadEntriesPerLook = (kLookBits - 7) / kQuadBits;
    uint32_t last = 0;  // the last entry taken
    bool cut = false;   // the next quadruple does not fit whole
    while (quadruples > 0 && budget > 0 && !cut) {
        LookWord look = in.Look();
        for (int k = 0; k < kQuadEntriesPerLook && quadruples > 0 && budget > 0; k++) {
            const uint32_t quad = quads[look >> (kLookBits - kQuadBits)];
            if (int((quad >> kQuadFirstShift) & 15) > budget) {
                cut = true;
                break;
            }
            // Both patterns' units are written, and both quadruples taken
            // when the entry has two; one too many is given back below.
            const unsigned used = quad & 63;
            const int two = (quad & kQuadTwo) != 0;
            std::memcpy(v, &kQuadUnits.of[(quad >> kQuadPatternShift) & 255], 32);
            std::memcpy(v + 4, &kQuadUnits.of[(quad >> (kQuadPatternShift + 8)) & 255], 32);
            v += 4 + 4 * two;
            quadruples -= 1 + two;
            budget -= int(used);
            in.pos += used;
            look <<= used;
            last = quad;
        }
    }
    if (quadruples < 0 || budget < 0) {  // the last entry's second quadruple
        const int back = int(last & 63) - int((last >> kQuadFirstShift) & 15);
        in.pos -= unsigned(back);
        budget += back;
        quadruples++;
        v -= 4;
    }
    if (quadruples > 0 && budget > 0) {  // the next quadruple does not fit whole
        int len;
        const int sym = DecodeCode(FirstLevelOf(32 + table), kHuffTables[32 + table].tree, in.Peek(), &len);
        if (len > budget) {
            for (int i = 0; i < 4; i++) v[i] = 0.0;
            v += 4;
        } else {
            in.pos += unsigned(len);
            budget -= len;
            for (int f = 3; f >= 0; f--, v++) {
                if (!(sym & (1 << f))) {
                    *v = 0.0;
                    continue;
                }
                if (--budget < 0) break;
                *v = in.Get(1) ? -1.0 : 1.0;
            }
        }
        budget = 0;
    }
    return int(v - first);
}

// One granule and channel: where its data starts and ends, its big values,
// and the values decoded so far (the big values as signed powers, then the
// count1 quadruples as units; the runs tile the 576 lines, and the values
// never pass them).
struct Spectrum {
    Cursor in;
    const uint8_t* endP;  // where the granule's data ends
    unsigned endBit;
    int budget;           // its bits left
    int quadruples;       // the most count1 quadruples it can hold
    BigValues big;
    bool bigDone;
    double values[576 + 4];
};

// Starts a granule whose data (after part2Bits of scale factors) begins at
// in: the big values' regions, and the budget of part2_3_length -
// part2Bits bits.
void BeginSpectrum(Spectrum& c, const GranuleInfo* gi, int part2Bits, Cursor in) {
    c.in = in;
    c.endP = in.base + (in.pos >> 3);
    c.endBit = in.pos & 7;
    c.budget = gi->part2_3_length - part2Bits;
    if (c.budget > 0) {
        unsigned k = c.endBit + unsigned(c.budget);
        c.endP += k >> 3;
        c.endBit = k & 7;
    }
    const int bigValues = std::clamp(gi->big_values, 0, 288);
    c.quadruples = (288 - bigValues) / 2;
    // Big values, region by region; short blocks have two regions.
    const int r1 = std::clamp(gi->region1start, 0, 288);
    const int r2 = std::clamp(gi->region2start, r1, 288);
    const int regionEnd[3] = {std::min(bigValues, r1), std::min(bigValues, r2), bigValues};
    BigValues& b = c.big;
    b.base = in.base;
    b.bitPos = in.pos;
    b.end = in.pos + uint32_t(std::max(c.budget, 0));
    b.v = c.values;
    b.last = 0;
    b.over = false;
    b.region = -1;
    for (int r = 0, from = 0; r < 3; r++) {
        b.regionPairs[r] = regionEnd[r] - from;
        b.regionTable[r] = gi->table_select[r] & 31;
        from = std::max(from, regionEnd[r]);
    }
    // A negative budget takes no value: the granule is lost.
    c.bigDone = c.budget < 0 || !b.NextRegion();
}

// The rest of a granule after its big values: the count1 quadruples, the
// values times their runs' gains into place (kMidSide: the side values,
// forming left and right from the mid values already in xr0), the lines
// above them zero, maxband, maxbandl and maxb, and the reader at the end of
// the granule's data. Returns 0, or 1 when the data ran past the budget.
template <bool kMidSide>
int FinishSpectrum(Spectrum& c, double* xr0, double* xr1, const int32_t* sf, GranuleInfo* gi, int rate) {
    double* const out = kMidSide ? xr1 : xr0;
    Cursor& in = c.in;
    int budget = c.budget - int(c.big.bitPos - in.pos);
    in.pos = c.big.bitPos;
    const int shift = gi->scalefac_scale + 1;
    const bool shortBlock = gi->block_type == 2;
    const bool mixed = shortBlock && gi->mixed_block_flag;
    const BandRun* run = shortBlock ? (mixed ? g_l3t.mixedMap[rate] : g_l3t.shortMap[rate]) : g_l3t.longMap[rate];
    const int32_t* pretab = gi->preflag ? kPretab : kNoPretab;

    int track[4] = {-1, -1, -1, -1};  // highest band with a nonzero value per window, 3 = long
    if (mixed) track[0] = track[1] = track[2] = 2;

    // Run state: values left in the current run, position, step, gain.
    int sfIndex = -1;
    int left = 0;
    int pos = 0;
    int step = 1;
    int window = 3;
    int band = 0;
    double gain = 0.0;
    bool runsDone = false;
    bool hit = false;  // the current run holds a nonzero value
    auto nextRun = [&]() {
        if (hit) track[window] = band;
        hit = false;
        if (sfIndex >= 0) run++;
        sfIndex++;
        if (run->pairs == 0) {
            runsDone = true;
            left = 0;
            return;
        }
        left = 2 * run->pairs;
        pos = run->start;
        window = run->window;
        band = run->band;
        int s = sf[std::min(sfIndex, kScaleFactorCount - 1)];
        if (window == 3) {
            step = 1;
            gain = Gain(gi->gainPos + ((s + (mixed ? 0 : pretab[band])) << shift));
        } else {
            step = 3;
            gain = Gain(gi->fullGain[window] + (s << shift));
        }
    };
    // The data ran past its granule: the values are lost anyway (the frame
    // is rejected), and the reader stays near its data. Else the count1
    // region follows.
    double* const values = c.values;
    int n = int(c.big.v - values);
    if (budget >= 0) n += DecodeQuadruples(in, gi->count1table_select & 1, c.quadruples, budget, values + n);
    for (int i = 0; i < n;) {
        if (left == 0) nextRun();
        if (runsDone) break;
        const int m = std::min(left, n - i);
        const double* v = values + i;
        // Two values at a time (runs and regions hold whole pairs; only a
        // count1 quadruple cut by the budget leaves one over), and whether
        // the run holds a nonzero value: any bit but the sign's.
        typedef double Pair __attribute__((vector_size(16)));
        typedef uint64_t Bits __attribute__((vector_size(16)));
        Bits any = {0, 0};
        const int whole = m & ~1;
        auto take = [&](int k) {
            Pair x;
            std::memcpy(&x, v + k, sizeof x);
            any |= reinterpret_cast<Bits>(x);
            return x * gain;
        };
        auto put = [&](int k, double scaled) {
            const int at = pos + step * k;
            if (kMidSide) {
                const double mid = xr0[at];
                xr0[at] = mid + scaled;
                xr1[at] = mid - scaled;
            } else {
                out[at] = scaled;
            }
        };
        if (!kMidSide && step == 1) {
            double* o = out + pos;
            for (int k = 0; k < whole; k += 2) {
                const Pair scaled = take(k);
                std::memcpy(o + k, &scaled, sizeof scaled);
            }
        } else {
            for (int k = 0; k < whole; k += 2) {
                const Pair scaled = take(k);
                put(k, scaled[0]);
                put(k + 1, scaled[1]);
            }
        }
        if (m & 1) {
            uint64_t bits;
            std::memcpy(&bits, v + whole, sizeof bits);
            any[0] |= bits;
            put(whole, v[whole] * gain);
        }
        hit = hit || ((any[0] | any[1]) << 1) != 0;
        pos += step * m;
        left -= m;
        i += m;
    }

    // Every position not written above becomes zero (the side channel: zero
    // side, so right = mid). The long runs tile the lines up to 576 without
    // a gap, so for long blocks that is everything from pos on.
    if (!shortBlock && !runsDone && pos >= 0 && pos < 576) {
        if (kMidSide)
            std::memcpy(xr1 + pos, xr0 + pos, sizeof(double) * size_t(576 - pos));
        else
            std::fill(out + pos, out + 576, 0.0);
        runsDone = true;
        left = 0;
    }
    for (;;) {
        while (left > 0) {
            if (kMidSide)
                xr1[pos] = xr0[pos];
            else
                out[pos] = 0.0;
            pos += step;
            left--;
        }
        if (runsDone) break;
        nextRun();
    }

    if (hit) track[window] = band;
    if (shortBlock) {
        for (int w = 0; w < 3; w++) gi->maxband[w] = track[w] + 1;
        gi->maxbandl = track[3] + 1;
        int m = std::max(track[0], std::max(track[1], track[2]));
        gi->maxb = m >= 0 ? g_l3t.shortLimit[rate][m + 1] : g_l3t.longLimit[rate][track[3] + 1];
    } else {
        gi->maxband[0] = gi->maxband[1] = gi->maxband[2] = 0;
        gi->maxbandl = track[3] + 1;
        gi->maxb = g_l3t.longLimit[rate][gi->maxbandl];
    }

    if (budget < 0) {
        g_bits.p = in.base + (in.pos >> 3);
        g_bits.bit = in.pos & 7;
        return 1;
    }
    g_bits.p = c.endP;
    g_bits.bit = c.endBit;
    return 0;
}

// One granule and channel at the reader.
template <bool kMidSide>
int DecodeOne(double* xr0, double* xr1, const int32_t* sf, GranuleInfo* gi, int rate, int part2Bits) {
    Spectrum c;
    BeginSpectrum(c, gi, part2Bits, Cursor::AtReader());
    if (!c.bigDone)
        while (c.big.Step()) {
        }
    return FinishSpectrum<kMidSide>(c, xr0, xr1, sf, gi, rate);
}

}  // namespace

int DecodeSpectrum(double* xr, const int32_t* scalefac, GranuleInfo* gi, int rateIndex, int part2Bits) {
    return DecodeOne<false>(xr, nullptr, scalefac, gi, rateIndex, part2Bits);
}

int DecodeSpectrumMidSide(double* xr0, double* xr1, const int32_t* scalefac, GranuleInfo* gi, int rateIndex,
                          int part2Bits) {
    return DecodeOne<true>(xr0, xr1, scalefac, gi, rateIndex, part2Bits);
}

int DecodeSpectrumPair(double* xr0, double* xr1, const int32_t* const* scalefac, GranuleInfo* gi0, GranuleInfo* gi1,
                       int rateIndex, const int* part2Bits, BitCursor at0, BitCursor at1, bool midSide) {
    Spectrum c[2];
    BeginSpectrum(c[0], gi0, part2Bits[0], at0);
    BeginSpectrum(c[1], gi1, part2Bits[1], at1);
    // The two channels' entries in turn, then the rest of the longer one.
    bool more0 = !c[0].bigDone, more1 = !c[1].bigDone;
    while (more0 && more1) {
        more0 = c[0].big.Step();
        more1 = c[1].big.Step();
    }
    while (more0) more0 = c[0].big.Step();
    while (more1) more1 = c[1].big.Step();
    if (FinishSpectrum<false>(c[0], xr0, nullptr, scalefac[0], gi0, rateIndex)) return 1;
    return midSide ? FinishSpectrum<true>(c[1], xr0, xr1, scalefac[1], gi1, rateIndex)
                   : FinishSpectrum<false>(c[1], xr1, nullptr, scalefac[1], gi1, rateIndex);
}
