// Layer III stereo processing, alias reduction and the hybrid filter bank
// (ISO/IEC 11172-3 2.4.3.4.9 to 2.4.3.4.10.2): intensity stereo, the alias
// butterflies, the 36- and 12-point IMDCTs with windowing, overlap-add and
// frequency inversion.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "decoder/cpu_features.h"
#include "decoder/layer3_internal.h"
#include "settings/settings.h"

namespace {

const double kPi = 3.14159265358979323846;

// Alias-reduction coefficients c[i] (ISO/IEC 11172-3 Table B.9).
const double kAliasC[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

// The overlap store: [half][channel][576]; toggle per channel picks the half
// that holds the previous granule's overlap.
double g_overlap[2][2][576];
int g_overlapToggle[2];

// cos(pi m (2n + 1) / 18) for the 9-point DCT-III, n = 0..3.
double g_cos9[9][4];
// 0.5 / cos(pi (2n + 1) / 36): the odd half of the 18-point DCT-III.
double g_odd18[9];

// Two subbands at once: the lanes of a Pair are an even subband and the odd
// one above it, each computed with exactly the operations of the scalar
// transform. The constants are repeated in both lanes; the window rows pair
// WindowTable (even lane) with WindowTableOdd (odd lane).
typedef double Pair __attribute__((vector_size(16)));
Pair g_cos9Pair[9][4];
Pair g_odd18Pair[9];
Pair g_windowPair[4][36];
Pair g_cos6Pair[6][6];
// The same four lanes wide (subbands s .. s + 3; windows even, odd, even, odd).
#if VORLO_HAVE_AVX_PATHS
typedef double Quad __attribute__((vector_size(32)));
alignas(32) Quad g_cos9Quad[9][4];
alignas(32) Quad g_odd18Quad[9];
alignas(32) Quad g_windowQuad[4][36];
alignas(32) Quad g_cos6Quad[6][6];
#endif
// cos(pi j (2n + 1) / 12): the 6-point DCT-III of the short transform.
double g_cos6[6][6];

}  // namespace

void InitLayer3HybridTables() {
    for (int i = 0; i < 8; i++) {
        double s = std::sqrt(1.0 + kAliasC[i] * kAliasC[i]);
        g_l3t.cs[i] = 1.0 / s;
        g_l3t.ca[i] = kAliasC[i] / s;
    }
    for (int m = 0; m < 9; m++)
        for (int n = 0; n < 4; n++) g_cos9[m][n] = std::cos(kPi * m * (2 * n + 1) / 18.0);
    for (int n = 0; n < 9; n++) g_odd18[n] = 0.5 / std::cos(kPi * (2 * n + 1) / 36.0);
    for (int j = 0; j < 6; j++)
        for (int n = 0; n < 6; n++) g_cos6[j][n] = std::cos(kPi * j * (2 * n + 1) / 12.0);

    // Windows (ISO/IEC 11172-3 2.4.3.4.10.1) times the factor that turns the
    // DCT-III outputs below into the IMDCT: c36(i) = 0.5 / cos(pi (2i + 19) / 72),
    // c12(i) = 0.5 / cos(pi (2i + 7) / 24).
    auto c36 = [](int i) { return 0.5 / std::cos(kPi * (2 * i + 19) / 72.0); };
    auto c12 = [](int i) { return 0.5 / std::cos(kPi * (2 * i + 7) / 24.0); };
    auto sin36 = [](int i) { return std::sin(kPi * (2 * i + 1) / 72.0); };
    auto sin12 = [](int i) { return std::sin(kPi * (2 * i + 1) / 24.0); };
    double(*w)[36] = g_l3t.window;
    for (int i = 0; i < 36; i++) {
        w[0][i] = sin36(i) * c36(i);
        w[1][i] = (i < 18 ? sin36(i) : i < 24 ? 1.0 : i < 30 ? sin12(i - 18) : 0.0) * c36(i);
        w[2][i] = i < 12 ? sin12(i) * c12(i) : 0.0;
        w[3][i] = (i < 6 ? 0.0 : i < 12 ? sin12(i - 6) : i < 18 ? 1.0 : sin36(i)) * c36(i);
    }
    for (int r = 0; r < 4; r++)
        for (int i = 0; i < 36; i++) g_l3t.windowOdd[r][i] = (i & 1) ? -w[r][i] : w[r][i];
    for (int r = 0; r < 4; r++)
        for (int i = 0; i < 36; i++) g_windowPair[r][i] = Pair{w[r][i], g_l3t.windowOdd[r][i]};
    for (int m = 0; m < 9; m++)
        for (int n = 0; n < 4; n++) g_cos9Pair[m][n] = Pair{g_cos9[m][n], g_cos9[m][n]};
    for (int n = 0; n < 9; n++) g_odd18Pair[n] = Pair{g_odd18[n], g_odd18[n]};
    for (int j = 0; j < 6; j++)
        for (int n = 0; n < 6; n++) g_cos6Pair[j][n] = Pair{g_cos6[j][n], g_cos6[j][n]};
#if VORLO_HAVE_AVX_PATHS
    for (int l = 0; l < 4; l++) {
        for (int r = 0; r < 4; r++)
            for (int i = 0; i < 36; i++) g_windowQuad[r][i][l] = (l & 1) ? g_l3t.windowOdd[r][i] : w[r][i];
        for (int m = 0; m < 9; m++)
            for (int n = 0; n < 4; n++) g_cos9Quad[m][n][l] = g_cos9[m][n];
        for (int n = 0; n < 9; n++) g_odd18Quad[n][l] = g_odd18[n];
        for (int j = 0; j < 6; j++)
            for (int n = 0; n < 6; n++) g_cos6Quad[j][n][l] = g_cos6[j][n];
    }
#endif

    // Intensity ratios. MPEG-1: tan(p pi / 12) for p = 0..6; 7 and above
    // are not intensity positions (ISO/IEC 11172-3 2.4.3.4.9.3; the formula
    // would divide by zero at 9) and are never applied.
    for (int p = 0; p < 32; p++) {
        double l = 0.0, r = 0.0;
        if (p < 7) {
            double t = std::tan(p * kPi / 12.0);
            l = t / (1.0 + t);
            r = 1.0 / (1.0 + t);
            if (p == 6) l = 1.0, r = 0.0;  // tan(pi/2)
        }
        g_l3t.intensity[2][0][0][p] = l;
        g_l3t.intensity[2][0][1][p] = r;
        g_l3t.intensity[2][1][0][p] = l * std::sqrt(2.0);
        g_l3t.intensity[2][1][1][p] = r * std::sqrt(2.0);
    }
    // LSF (ISO/IEC 13818-3 2.4.3.2): base 2^(-(s + 1) / 4); positions up to
    // 31 (five-bit scale factors) follow the same formula.
    for (int s = 0; s < 2; s++) {
        double e = std::pow(2.0, -(s + 1) / 4.0);
        for (int p = 0; p < 32; p++) {
            double l = 1.0, r = 1.0;
            if (p & 1)
                l = std::pow(e, (p + 1) / 2);
            else if (p)
                r = std::pow(e, p / 2);
            g_l3t.intensity[s][0][0][p] = l;
            g_l3t.intensity[s][0][1][p] = r;
            g_l3t.intensity[s][1][0][p] = l * std::sqrt(2.0);
            g_l3t.intensity[s][1][1][p] = r * std::sqrt(2.0);
        }
    }
}

// ------------------------------------------------------------ intensity

namespace {

struct IntensityCtx {
    double* xr0;
    double* xr1;
    const double* left;   // ratio by position
    const double* right;
    const int32_t* sf;    // the right channel's scale factors: the positions
    const GranuleInfo* gi;
    bool lsf;
};

// Value p as the position of scale-factor entry i, or -1 for a band that is
// not intensity-coded: MPEG-1 positions run 0..6 (7 marks such a band, and
// the tan formula has no value above it); an LSF position is illegal when it
// is the largest value its entry's slen can hold (ISO/IEC 13818-3 2.4.3.2).
int Legal(const IntensityCtx& c, int p, int i) {
    if (i < 0 || i >= kScaleFactorCount || p < 0 || p > 31) return -1;
    if (c.lsf) return p == c.gi->illegalPosition[i] ? -1 : p;
    return p < 7 ? p : -1;
}
// The position entry i holds.
int Position(const IntensityCtx& c, int i) { return Legal(c, i >= 0 && i < kScaleFactorCount ? c.sf[i] : -1, i); }

// The position of the top band (long 21, short 12), which carries no scale
// factor: that of the band below it (entry below) when that band is
// intensity-coded too. When the right channel's last value lies in the band
// below, the top band alone lies above it: LSF codes it at position 0 (both
// channels take the left value, as the LSF conformance references decode
// such granules); MPEG-1 has no position for it and leaves it.
int TopPosition(const IntensityCtx& c, int below, bool belowCoded) {
    if (belowCoded) return Position(c, below);
    return c.lsf ? 0 : -1;
}

// Applies position p to count lines from start, stride step: the left
// channel's value v becomes v * left ratio and v * right ratio. Nothing
// happens for p = -1.
void ApplyPosition(const IntensityCtx& c, int p, int start, int count, int step) {
    if (p < 0 || p > 31) return;
    double l = c.left[p], r = c.right[p];
    for (int k = 0, i = start; k < count && i < 576; k++, i += step) {
        double v = c.xr0[i];
        c.xr0[i] = v * l;
        c.xr1[i] = v * r;
    }
}

}  // namespace

void ApplyIntensityStereo(double* xr0, double* xr1, const int32_t* sf, const GranuleInfo* gi, int rate, int msStereo,
                          int lsf) {
    int table = lsf ? (gi->scalefac_compress & 1) : 2;
    int ms = msStereo ? 1 : 0;
    IntensityCtx c{xr0, xr1, g_l3t.intensity[table][ms][0], g_l3t.intensity[table][ms][1], sf, gi, lsf != 0};
    const int16_t* lb = g_l3t.longBound[rate];

    // Long blocks: bands maxbandl..20 with their own positions, then band 21.
    if (gi->block_type != 2) {
        const int from = std::max(gi->maxbandl, 0);
        for (int b = from; b < 21; b++) ApplyPosition(c, Position(c, b), lb[b], lb[b + 1] - lb[b], 1);
        if (from <= 21) ApplyPosition(c, TopPosition(c, 20, from <= 20), lb[21], 576 - lb[21], 1);
        return;
    }

    const int16_t* sb3 = g_l3t.shortBound3[rate];
    const int16_t* sw = g_l3t.shortWidth[rate];
    const bool mixed = gi->mixed_block_flag != 0;
    // Scale-factor entry of short band b, window w: mixed blocks hold their
    // long bands in front of short band 3.
    const int offset = mixed ? 9 - g_l3t.mixedLongBands[rate] : 0;
    auto entry = [&](int b, int w) { return 3 * b + w - offset; };
    // Each window from its own maxband. MappingMode picks the treatment of
    // band 12: 2 (the default) is the standard's, the top-band rule; the
    // other values replace that rule with their own step.
    const int mappingMode = g_settings.MappingMode;
    bool anyShort = false;
    for (int w = 0; w < 3; w++) {
        int from = std::max(gi->maxband[w], 0);
        if (from >= 4) anyShort = true;
        for (int b = from; b < 12; b++) ApplyPosition(c, Position(c, entry(b, w)), sb3[b] + w, sw[b], 3);
        switch (mappingMode) {
        case 2:
            if (from <= 12) ApplyPosition(c, TopPosition(c, entry(11, w), from <= 11), sb3[12] + w, sw[12], 3);
            break;
        case 0:
            ApplyPosition(c, Position(c, entry(10, w)), sb3[11] + w, sw[11], 3);
            break;
        case 1:
            ApplyPosition(c, Position(c, entry(11, w)), sb3[12] + w, sw[12], 3);
            break;
        case 3: {
            int sum = 0;
            for (int b = 9; b < 13; b++) {
                int i = entry(b, w);
                sum += i >= 0 && i < kScaleFactorCount ? sf[i] : 7;
            }
            ApplyPosition(c, Legal(c, sum / 4, entry(11, w)), (sb3[10] + sb3[11] + sb3[12] + 576) / 4 + w,
                          (sw[10] + sw[11] + sw[12]) / 4, 3);
            break;
        }
        default:
            break;
        }
    }
    // Mixed blocks whose short part of the right channel is all zero: the
    // long bands above its last nonzero value too.
    if (mixed && !anyShort) {
        int nLong = g_l3t.mixedLongBands[rate];
        for (int b = std::max(gi->maxbandl, 0); b < nLong; b++)
            ApplyPosition(c, Position(c, b), lb[b], lb[b + 1] - lb[b], 1);
    }
}

// ------------------------------------------------------------ alias reduction

namespace {

// The butterflies of the subband boundaries 1 .. n, L = the lanes of V side
// by side: butterflies i .. i + L - 1, the lines below the boundary read and
// written in reverse lane order.
typedef long long LanesOfPair __attribute__((vector_size(16)));
typedef long long LanesOfQuad __attribute__((vector_size(32)));

template <typename V>
__attribute__((always_inline)) inline void AntialiasLanes(double* xr, int n) {
    constexpr int L = sizeof(V) / sizeof(double);
    using Lanes = std::conditional_t<L == 4, LanesOfQuad, LanesOfPair>;
    Lanes reverse{};
    for (int l = 0; l < L; l++) reverse[l] = L - 1 - l;
    for (int j = 1; j <= n; j++) {
        double* x = xr + 18 * j;
        for (int i = 0; i < 8; i += L) {
            V a, b, cs, ca;
            std::memcpy(&a, x - L - i, sizeof a);
            a = __builtin_shuffle(a, reverse);
            std::memcpy(&b, x + i, sizeof b);
            std::memcpy(&cs, g_l3t.cs + i, sizeof cs);
            std::memcpy(&ca, g_l3t.ca + i, sizeof ca);
            V lo = __builtin_shuffle(a * cs - b * ca, reverse);
            V hi = b * cs + a * ca;
            std::memcpy(x - L - i, &lo, sizeof lo);
            std::memcpy(x + i, &hi, sizeof hi);
        }
    }
}

// Four butterflies at a time with AVX where the processor has it.
#if VORLO_HAVE_AVX_PATHS
__attribute__((target("avx"))) void AntialiasWide(double* xr, int n) { AntialiasLanes<Quad>(xr, n); }
const bool kAliasWide = CpuHasAvx();
#else
constexpr bool kAliasWide = false;
inline void AntialiasWide(double*, int) {}
#endif

}  // namespace

void Antialias(double* xr, const GranuleInfo* gi) {
    int n;
    if (gi->block_type == 2)
        n = gi->mixed_block_flag ? gi->longSubbands - 1 : 0;
    else
        n = gi->maxb - 1;
    n = std::min(n, 31);
    if (kAliasWide)
        AntialiasWide(xr, n);
    else
        AntialiasLanes<Pair>(xr, n);
}

// ------------------------------------------------------------ IMDCT

namespace {

// F[n] = sum over m = 0..8 of a[m] cos(pi m (2n + 1) / 18), n = 0..8, using
// F[8 - n] = sum of (-1)^m a[m] cos(pi m (2n + 1) / 18). T is a double with
// g_cos9, or a Pair or Quad with its table.
template <typename T>
__attribute__((always_inline)) inline void Dct3_9(const T* a, T* f, const T (*c)[4]) {
    for (int n = 0; n < 4; n++) {
        T ev = a[0] + a[2] * c[2][n] + a[4] * c[4][n] + a[6] * c[6][n] + a[8] * c[8][n];
        T od = a[1] * c[1][n] + a[3] * c[3][n] + a[5] * c[5][n] + a[7] * c[7][n];
        f[n] = ev + od;
        f[8 - n] = ev - od;
    }
    f[4] = a[0] - a[2] + a[4] - a[6] + a[8];
}

// The IMDCT y[i] = sum X[k] cos(pi / 72 (2i + 19)(2k + 1)) is the 18-point
// DCT-IV z[m] = sum X[k] cos(pi / 72 (2m + 1)(2k + 1)) at m = i + 9, mirrored
// (z[35 - m] = -z[m], z[m + 36] = -z[m]). With X'[k] = X[k] + X[k - 1],
// 2 cos(pi (2m + 1) / 72) z[m] = D[m], the DCT-III of X'; the 1/(2 cos) is
// folded into the window rows (c36), which leaves y[i] = c36(i) D[t(i)] with
// t = i + 9, 26 - i, i - 27 on the three stretches. D splits into the
// 9-point DCT-III of the even X' and, again by the pre-addition, of the odd
// ones, scaled by 0.5 / cos(pi (2n + 1) / 36).
//
// V is a double (one subband), a Pair or a Quad (two or four neighbouring
// subbands, whose 18 lines follow each other in x, prev and next, and whose
// outputs are neighbours in out's rows); every lane takes exactly the
// operations of one subband. The spectrum is left as it is.
// (By reference: the Quad instances are inlined into AVX code only.)
template <typename V>
__attribute__((always_inline)) inline void Gather18(const double* p, V& v) {
    if constexpr (sizeof(V) == sizeof(double)) {
        v = p[0];
    } else {
        for (unsigned l = 0; l < sizeof(V) / sizeof(double); l++) v[l] = p[18 * l];
    }
}

template <typename V>
__attribute__((always_inline)) inline void Scatter18(double* p, const V& v) {
    if constexpr (sizeof(V) == sizeof(double)) {
        p[0] = v;
    } else {
        for (unsigned l = 0; l < sizeof(V) / sizeof(double); l++) p[18 * l] = v[l];
    }
}

// All 18 lines of each lane's subband: v[k] holds line k. Four lanes go by
// 4 x 4 transposes of rows of four lines (the last block, lines 14..17,
// overlaps the one before it and reads nothing outside the subbands).
typedef long long Lanes4 __attribute__((vector_size(32)));

template <typename V>
__attribute__((always_inline)) inline void Transpose4(V& a, V& b, V& c, V& d) {
    V t0 = __builtin_shuffle(a, b, Lanes4{0, 4, 2, 6});
    V t1 = __builtin_shuffle(a, b, Lanes4{1, 5, 3, 7});
    V t2 = __builtin_shuffle(c, d, Lanes4{0, 4, 2, 6});
    V t3 = __builtin_shuffle(c, d, Lanes4{1, 5, 3, 7});
    a = __builtin_shuffle(t0, t2, Lanes4{0, 1, 4, 5});
    b = __builtin_shuffle(t1, t3, Lanes4{0, 1, 4, 5});
    c = __builtin_shuffle(t0, t2, Lanes4{2, 3, 6, 7});
    d = __builtin_shuffle(t1, t3, Lanes4{2, 3, 6, 7});
}

template <typename V>
__attribute__((always_inline)) inline void GatherLines(const double* p, V* v) {
    if constexpr (sizeof(V) == 4 * sizeof(double)) {
        for (int k : {0, 4, 8, 12, 14}) {
            V r[4];
            std::memcpy(r, p + k, sizeof r[0]);
            std::memcpy(r + 1, p + 18 + k, sizeof r[0]);
            std::memcpy(r + 2, p + 36 + k, sizeof r[0]);
            std::memcpy(r + 3, p + 54 + k, sizeof r[0]);
            Transpose4(r[0], r[1], r[2], r[3]);
            for (int i = 0; i < 4; i++) v[k + i] = r[i];
        }
    } else {
        for (int k = 0; k < 18; k++) Gather18(p + k, v[k]);
    }
}

template <typename V>
__attribute__((always_inline)) inline void ScatterLines(double* p, const V* v) {
    if constexpr (sizeof(V) == 4 * sizeof(double)) {
        for (int k : {0, 4, 8, 12, 14}) {
            V r[4] = {v[k], v[k + 1], v[k + 2], v[k + 3]};
            Transpose4(r[0], r[1], r[2], r[3]);
            std::memcpy(p + k, r, sizeof r[0]);
            std::memcpy(p + 18 + k, r + 1, sizeof r[0]);
            std::memcpy(p + 36 + k, r + 2, sizeof r[0]);
            std::memcpy(p + 54 + k, r + 3, sizeof r[0]);
        }
    } else {
        for (int k = 0; k < 18; k++) Scatter18(p + k, v[k]);
    }
}

template <typename V>
__attribute__((always_inline)) inline void Imdct36Lanes(const double* x, const double* prev, double* next,
                                                        const V* win, const V (*cos9)[4], const V* odd18,
                                                        double* out) {
    V v[18];
    GatherLines(x, v);
    for (int k = 17; k >= 1; k--) v[k] += v[k - 1];
    for (int k = 17; k >= 3; k -= 2) v[k] += v[k - 2];
    V a[9], b[9], e[9], o[9];
    for (int m = 0; m < 9; m++) {
        a[m] = v[2 * m];
        b[m] = v[2 * m + 1];
    }
    Dct3_9(a, e, cos9);
    Dct3_9(b, o, cos9);
    V d[18];
    for (int n = 0; n < 9; n++) {
        V on = o[n] * odd18[n];
        d[n] = e[n] + on;
        d[17 - n] = e[n] - on;
    }
    V p[18], n[18];
    GatherLines(prev, p);
    for (int t = 0; t < 9; t++) {
        V o0 = win[t] * d[t + 9] + p[t];
        V o1 = win[t + 9] * d[17 - t] + p[t + 9];
        std::memcpy(out + 32 * t, &o0, sizeof o0);
        std::memcpy(out + 32 * (t + 9), &o1, sizeof o1);
        n[t] = win[t + 18] * d[8 - t];
        n[t + 9] = win[t + 27] * d[t];
    }
    ScatterLines(next, n);
}

// Subbands s (even) and s + 1 side by side.
void Imdct36Pair(const double* x, const double* prev, double* next, const Pair* win, double* out) {
    Imdct36Lanes<Pair>(x, prev, next, win, g_cos9Pair, g_odd18Pair, out);
}

// Four lanes wide with AVX where the processor has it: subbands s .. s + 3,
// s even.
#if VORLO_HAVE_AVX_PATHS
__attribute__((target("avx"))) void Imdct36Quad(const double* x, const double* prev, double* next, int row,
                                                double* out) {
    Imdct36Lanes<Quad>(x, prev, next, g_windowQuad[row], g_cos9Quad, g_odd18Quad, out);
}

const bool kImdctWide = CpuHasAvx();
#else
constexpr bool kImdctWide = false;
inline void Imdct36Quad(const double*, const double*, double*, int, double*) {}
#endif

}  // namespace

void Imdct36(double* x, const double* prev, double* next, const double* win, double* out) {
    Imdct36Lanes<double>(x, prev, next, win, g_cos9, g_odd18, out);
}

// Each window w: the 6-point DCT-IV of x[3k + w] by the same route (c12 in
// the window row), y_w[i] = c12(i) D[t(i)] with t = i + 3, 8 - i, i - 9;
// the windows overlap at 6 + 6w in the 36-sample block.
namespace {

// V as in Imdct36Lanes.
template <typename V>
__attribute__((always_inline)) inline void Imdct12Lanes(const double* x, const double* prev, double* next,
                                                        const V* win, const V (*cos6)[6], double* out) {
    V y[3][12];
    V lines[18];
    GatherLines(x, lines);
    for (int w = 0; w < 3; w++) {
        V v[6];
        for (int k = 0; k < 6; k++) v[k] = lines[3 * k + w];
        for (int k = 5; k >= 1; k--) v[k] += v[k - 1];
        V d[6];
        for (int n = 0; n < 6; n++) {
            V sum{};
            for (int j = 0; j < 6; j++) sum += v[j] * cos6[j][n];
            d[n] = sum;
        }
        for (int i = 0; i < 3; i++) y[w][i] = win[i] * d[i + 3];
        for (int i = 3; i < 9; i++) y[w][i] = win[i] * d[8 - i];
        for (int i = 9; i < 12; i++) y[w][i] = win[i] * d[i - 9];
    }
    V p[18], n[18];
    GatherLines(prev, p);
    for (int t = 0; t < 6; t++) {
        V o1 = y[0][t] + p[t + 6];
        V o2 = y[0][t + 6] + y[1][t] + p[t + 12];
        std::memcpy(out + 32 * t, &p[t], sizeof p[t]);
        std::memcpy(out + 32 * (t + 6), &o1, sizeof o1);
        std::memcpy(out + 32 * (t + 12), &o2, sizeof o2);
        n[t] = y[1][t + 6] + y[2][t];
        n[t + 6] = y[2][t + 6];
        n[t + 12] = V{};
    }
    ScatterLines(next, n);
}

// Subbands s (even) and s + 1 side by side.
void Imdct12Pair(const double* x, const double* prev, double* next, const Pair* win, double* out) {
    Imdct12Lanes<Pair>(x, prev, next, win, g_cos6Pair, out);
}

// Four lanes wide with AVX where the processor has it: subbands s .. s + 3.
#if VORLO_HAVE_AVX_PATHS
__attribute__((target("avx"))) void Imdct12Quad(const double* x, const double* prev, double* next, double* out) {
    Imdct12Lanes<Quad>(x, prev, next, g_windowQuad[2], g_cos6Quad, out);
}
#else
inline void Imdct12Quad(const double*, const double*, double*, double*) {}
#endif

}  // namespace

void Imdct12(double* x, const double* prev, double* next, const double* win, double* out) {
    Imdct12Lanes<double>(x, prev, next, win, g_cos6, out);
}

void Hybrid(double* xr, double (*out)[32], int channel, const GranuleInfo* gi) {
    int& toggle = g_overlapToggle[channel & 1];
    const double* prev = g_overlap[toggle][channel & 1];
    double* next = g_overlap[1 - toggle][channel & 1];
    toggle = 1 - toggle;

    const int maxb = std::clamp(gi->maxb, 0, 32);
    int s = 0;
    // mixed_block_flag: the lowest subbands take the normal window whatever
    // the block type (ISO/IEC 11172-3 2.4.2.7); only short blocks also code
    // them as long bands, which fill 4 subbands at 8 kHz.
    if (gi->mixed_block_flag) {
        int n = gi->block_type == 2 ? std::clamp(int(gi->longSubbands), 2, 32) : 2;
        for (; s + 1 < n; s += 2)
            Imdct36Pair(xr + 18 * s, prev + 18 * s, next + 18 * s, g_windowPair[0], &out[0][s]);
        for (; s < n; s++) {
            const double* win = (s & 1) ? g_l3t.windowOdd[0] : g_l3t.window[0];
            Imdct36(xr + 18 * s, prev + 18 * s, next + 18 * s, win, &out[0][s]);
        }
    }
    const int row = gi->block_type & 3;
    if (row == 2) {
        for (; s < maxb; s += 2) {
            if (kImdctWide && s + 2 < maxb) {
                Imdct12Quad(xr + 18 * s, prev + 18 * s, next + 18 * s, &out[0][s]);
                s += 2;
                continue;
            }
            Imdct12Pair(xr + 18 * s, prev + 18 * s, next + 18 * s, g_windowPair[2], &out[0][s]);
        }
    } else {
        // The pairs start at an even subband (the mixed part above covers
        // 2 or 4), so the odd lane is the odd subband.
        for (; s < maxb; s += 2) {
            if (kImdctWide && s + 2 < maxb) {
                Imdct36Quad(xr + 18 * s, prev + 18 * s, next + 18 * s, row, &out[0][s]);
                s += 2;
                continue;
            }
            Imdct36Pair(xr + 18 * s, prev + 18 * s, next + 18 * s, g_windowPair[row], &out[0][s]);
        }
    }
    for (; s < 32; s++) {
        for (int t = 0; t < 18; t++) {
            out[t][s] = prev[18 * s + t];
            next[18 * s + t] = 0.0;
        }
    }
}
