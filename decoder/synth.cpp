// Polyphase synthesis subband filter (ISO/IEC 11172-3, 2.4.3.2 and Annex A
// Figure A.2) in three rate variants, and the PCM accumulation buffer.
//
// Per slot and channel the 32 subband samples are matrixed into the V vector
// by a 32-point DCT-II, X[n] = sum_k S[k] cos(n (2k+1) pi / 64). The standard's
// V[i] = sum_k cos((16+i)(2k+1) pi / 64) S[k] then is V[m] = X[16+m] and
// V[32+m] = -X[16-m]; all other V values follow by symmetry. Only X[0..31] is
// kept, in two ring halves of 17 rows by 16 slots, so that the window stage
// becomes 16 multiply-adds per output sample over the folded window.
#include "decoder/synth.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "decoder/cpu_features.h"
#if VORLO_HAVE_AVX_PATHS
#include <immintrin.h>
#endif
#include "decoder/tables_synth.h"
#include "output/output_driver.h"

PcmBufferState PcmBuffer;

namespace {

// ----------------------------------------------------------------- the DCT

typedef double Pair __attribute__((vector_size(16)));

// One butterfly stage of the Lee DCT-II: an N-point transform from two N/2
// point ones. c[k] = 1 / (2 cos((2k+1) pi / 2N)). T is a double, or a Pair
// of doubles that goes through two transforms of the same size at once, each
// lane with exactly the operations of the scalar transform. The stages are
// inlined into one straight-line transform per call.
template <int N, typename T>
struct Dct {
    __attribute__((always_inline)) static inline void Run(const T* x, T* X);
};

template <int N>
constexpr const double* DctCos() {
    if constexpr (N == 32) return kDctCos0;
    else if constexpr (N == 16) return kDctCos1;
    else if constexpr (N == 8) return kDctCos2;
    else if constexpr (N == 4) return kDctCos3;
    else return kDctCos4;
}

template <int N, typename T>
inline void Dct<N, T>::Run(const T* x, T* X) {
    constexpr int H = N / 2;
    const double* c = DctCos<N>();
    T a[H], b[H], A[H], B[H];
    for (int k = 0; k < H; k++) {
        a[k] = x[k] + x[N - 1 - k];
        b[k] = (x[k] - x[N - 1 - k]) * c[k];
    }
    Dct<H, T>::Run(a, A);
    Dct<H, T>::Run(b, B);
    for (int k = 0; k < H - 1; k++) {
        X[2 * k] = A[k];
        X[2 * k + 1] = B[k] + B[k + 1];
    }
    X[N - 2] = A[H - 1];
    X[N - 1] = B[H - 1];
}

template <typename T>
struct Dct<1, T> {
    __attribute__((always_inline)) static inline void Run(const T* x, T* X) { X[0] = x[0]; }
};

// The last recombination of the 32-point transform, X[2k] = Z[k][0] and
// X[2k + 1] = Z[k][1] + Z[k + 1][1] (two at a time; adding -0.0 leaves any
// value as it is), stored straight into the ring rows: hx[m] = X[16 - m]
// for m = 0..16 and hv[m] = X[16 + m] for m = 0..15.
__attribute__((always_inline)) inline void StoreDct(const Pair* Z, double* hx, double* hv) {
    typedef long long Lanes __attribute__((vector_size(16)));
    const Pair minusZero = {-0.0, -0.0};
    for (int k = 0; k < 8; k++) {  // X[2k], X[2k + 1] to hx[16 - 2k], hx[15 - 2k]
        Pair v = Z[k] + __builtin_shuffle(minusZero, Z[k + 1], Lanes{0, 3});
        v = __builtin_shuffle(v, Lanes{1, 0});
        std::memcpy(hx + 15 - 2 * k, &v, sizeof v);
    }
    for (int k = 8; k < 15; k++) {  // X[2k], X[2k + 1] to hv[2k - 16], hv[2k - 15]
        Pair v = Z[k] + __builtin_shuffle(minusZero, Z[k + 1], Lanes{0, 3});
        std::memcpy(hv + 2 * k - 16, &v, sizeof v);
        if (k == 8) hx[0] = v[0];
    }
    std::memcpy(hv + 14, &Z[15], sizeof Z[15]);
}

// The 32-point transform: its two 16-point halves (sums and weighted
// differences) run side by side as the lanes of one Pair transform.
// The butterflies of the first stage and the recombination of the last go
// two at a time too; adding -0.0 leaves any value as it is.
inline void Dct32(const double* x, double* hx, double* hv) {
    typedef long long Lanes __attribute__((vector_size(16)));
    Pair z[16], Z[16];
    for (int k = 0; k < 16; k += 2) {
        Pair lo, hi, c;
        std::memcpy(&lo, x + k, sizeof lo);
        std::memcpy(&hi, x + 30 - k, sizeof hi);
        std::memcpy(&c, kDctCos0 + k, sizeof c);
        hi = __builtin_shuffle(hi, Lanes{1, 0});  // x[31 - k], x[30 - k]
        Pair a = lo + hi;
        Pair b = (lo - hi) * c;
        z[k] = __builtin_shuffle(a, b, Lanes{0, 2});
        z[k + 1] = __builtin_shuffle(a, b, Lanes{1, 3});
    }
    Dct<16, Pair>::Run(z, Z);
    StoreDct(Z, hx, hv);
}

// The 32-point transform four lanes wide with AVX (see WindowFullWide):
// after the first two stages the four 8-point transforms run side by side.
#if VORLO_HAVE_AVX_PATHS
typedef double Quad __attribute__((vector_size(32)));

__attribute__((target("avx"))) void Dct32Wide(const double* x, double* hx, double* hv) {
    typedef long long Lanes __attribute__((vector_size(16)));
    Pair z[16];
    for (int k = 0; k < 16; k += 2) {
        Pair lo, hi, c;
        std::memcpy(&lo, x + k, sizeof lo);
        std::memcpy(&hi, x + 30 - k, sizeof hi);
        std::memcpy(&c, kDctCos0 + k, sizeof c);
        hi = __builtin_shuffle(hi, Lanes{1, 0});
        Pair a = lo + hi;
        Pair b = (lo - hi) * c;
        z[k] = __builtin_shuffle(a, b, Lanes{0, 2});
        z[k + 1] = __builtin_shuffle(a, b, Lanes{1, 3});
    }
    // The second stage of both halves, as Dct<16, Pair> begins.
    Quad u[8], U[8];
    for (int k = 0; k < 8; k++) {
        Pair p = z[k] + z[15 - k];
        Pair q = (z[k] - z[15 - k]) * kDctCos1[k];
        u[k] = Quad{p[0], p[1], q[0], q[1]};
    }
    Dct<8, Quad>::Run(u, U);
    // Its recombination: Z[2k] = P[k], Z[2k + 1] = Q[k] + Q[k + 1].
    Pair Z[16];
    for (int k = 0; k < 7; k++) {
        Z[2 * k] = Pair{U[k][0], U[k][1]};
        Z[2 * k + 1] = Pair{U[k][2], U[k][3]} + Pair{U[k + 1][2], U[k + 1][3]};
    }
    Z[14] = Pair{U[7][0], U[7][1]};
    Z[15] = Pair{U[7][2], U[7][3]};
    StoreDct(Z, hx, hv);
}

const bool kAvx = CpuHasAvx();
#else
constexpr bool kAvx = false;
inline void Dct32Wide(const double*, double*, double*) {}
#endif

// ------------------------------------------------------------ rate variants

// Each ring half is kept slot-major: 16 slots of kRows values, the 17 rows of
// one DCT output in a row (padded to 24, so that every slot starts on a
// 64-byte line and no vector load of the window stage straddles two), so
// that neighbouring outputs of the window stage read neighbouring values and
// go two, four or eight at a time. The coefficients are line-aligned too.
constexpr int kRows = 24;
constexpr int kRingHalf = 16 * kRows;

struct SynthState {
    alignas(64) double ring[2][2][kRingHalf];  // [channel][half][slot * kRows + row]
    int offset;                                // slot of the newest V vector, shared by both channels
};
SynthState g_state[3] = {{{}, 1}, {{}, 1}, {{}, 1}};

// The window stage as coefficients per read offset o1 (always odd, 1..15):
// c[o1 >> 1][k][col] multiplies slot k of row col for outputs 0..15 (col =
// output, the alternating signs folded in), of row 16 for output 16 (col 16,
// even k only), and of row r = 1..15 for output 32 - r (col 16 + r, the sum's
// minus sign folded in). Each output's sum still runs over k = 0..15 in
// order with the same products: x - w*b and x + (-w)*b round alike.
struct SynthCoefficients {
    alignas(64) double c[8][16][32];
};
constexpr SynthCoefficients MakeSynthCoefficients() {
    SynthCoefficients t{};
    for (int j = 0; j < 8; j++) {
        const int o1 = 2 * j + 1;
        for (int k = 0; k < 16; k++) {
            for (int n = 0; n < 16; n++) {
                double w = kSynthWindow[16 - o1 + 32 * n + k];
                t.c[j][k][n] = (k & 1) ? -w : w;
            }
            t.c[j][k][16] = (k & 1) ? 0.0 : kSynthWindow[528 - o1 + k];
            for (int r = 1; r < 16; r++) t.c[j][k][16 + r] = -kSynthWindow[15 + o1 - k + 32 * r];
        }
    }
    return t;
}
constexpr SynthCoefficients kSynthCoef = MakeSynthCoefficients();

// The output gain, and whether it differs from 1.0 (so the multiply is
// skipped, and the output is bit for bit the same, when it does not).
double g_gain = 1.0;
bool g_gainOn = false;

inline void StoreSample(uint8_t* p, double sum) {
    if (g_gainOn) sum *= g_gain;
    int16_t s = static_cast<int16_t>(PcmRoundClip(sum));
    std::memcpy(p, &s, 2);
}

// Two window sums as 16-bit samples at p0 and p1, rounded and clipped as
// PcmRoundClip does: the minimum with 32767 also maps NaN to the top, the
// conversion rounds to nearest-even like the 2^52 + 2^31 addition, and the
// signed packing clips the bottom.
inline void StorePair(uint8_t* p0, uint8_t* p1, Pair sums) {
    if (g_gainOn) sums *= g_gain;
#ifdef __SSE2__
    __m128d v = _mm_min_pd(reinterpret_cast<__m128d>(sums), _mm_set1_pd(32767.0));
    __m128i i = _mm_packs_epi32(_mm_cvtpd_epi32(v), _mm_setzero_si128());
    uint32_t both = uint32_t(_mm_cvtsi128_si32(i));
    uint16_t lo = uint16_t(both), hi = uint16_t(both >> 16);
    std::memcpy(p0, &lo, 2);
    std::memcpy(p1, &hi, 2);
#else
    int16_t s0 = static_cast<int16_t>(PcmRoundClip(sums[0])), s1 = static_cast<int16_t>(PcmRoundClip(sums[1]));
    std::memcpy(p0, &s0, 2);
    std::memcpy(p1, &s1, 2);
#endif
}

// One output: the k-ordered sum over the slots of row `row` with column col.
inline double WindowSum(const double* c, const double* b, int row, int col, int kStep) {
    double sum = 0.0;
    for (int k = 0; k < 16; k += kStep) sum += c[32 * k + col] * b[kRows * k + row];
    return sum;
}

// Both sums that read rows r .. r + L - 1 (L the lanes of V), so that each
// slot's values are loaded once: outputs r .. r + L - 1 (columns r ..) and
// outputs 32 - r .. 33 - r - L (columns 16 + r ..). For r = 0 the lane of
// row 0 in the second sum has no output (its column belongs to row 16) and
// is dropped; every other lane is the k-ordered sum of its output.
template <typename V>
__attribute__((always_inline)) inline void WindowRows(const double* c, const double* b, int r, V& low, V& high) {
    V lo{}, hi{};
    for (int k = 0; k < 16; k++) {
        V v, cl, ch;
        std::memcpy(&v, b + kRows * k + r, sizeof v);
        std::memcpy(&cl, c + 32 * k + r, sizeof cl);
        std::memcpy(&ch, c + 32 * k + 16 + r, sizeof ch);
        lo += cl * v;
        hi += ch * v;
    }
    low = lo;
    high = hi;
}

// The full-rate window stage two outputs at a time.
inline void WindowFull(const double* c, const double* b, uint8_t* out, int stride) {
    Pair lo, hi;
    WindowRows(c, b, 0, lo, hi);
    StorePair(out, out + stride, lo);
    StorePair(out + 16 * stride, out + 31 * stride, Pair{WindowSum(c, b, 16, 16, 2), hi[1]});
    for (int r = 2; r < 16; r += 2) {
        WindowRows(c, b, r, lo, hi);
        StorePair(out + r * stride, out + (r + 1) * stride, lo);
        StorePair(out + (32 - r) * stride, out + (31 - r) * stride, hi);
    }
}

// The same four outputs at a time with AVX where the processor has it
// (detected at start-up; not for 64-bit Windows, where the compiler cannot
// realign the stack for 32-byte values): the same lanes, each with the same
// products in the same order.
#if VORLO_HAVE_AVX_PATHS
__attribute__((target("avx"))) void WindowFullWide(const double* c, const double* b, uint8_t* out, int stride) {
    Quad lo, hi;
    WindowRows(c, b, 0, lo, hi);
    StorePair(out, out + stride, Pair{lo[0], lo[1]});
    StorePair(out + 2 * stride, out + 3 * stride, Pair{lo[2], lo[3]});
    StorePair(out + 16 * stride, out + 31 * stride, Pair{WindowSum(c, b, 16, 16, 2), hi[1]});
    StorePair(out + 30 * stride, out + 29 * stride, Pair{hi[2], hi[3]});
    for (int r = 4; r < 16; r += 4) {
        WindowRows(c, b, r, lo, hi);
        StorePair(out + r * stride, out + (r + 1) * stride, Pair{lo[0], lo[1]});
        StorePair(out + (r + 2) * stride, out + (r + 3) * stride, Pair{lo[2], lo[3]});
        StorePair(out + (32 - r) * stride, out + (31 - r) * stride, Pair{hi[0], hi[1]});
        StorePair(out + (30 - r) * stride, out + (29 - r) * stride, Pair{hi[2], hi[3]});
    }
}

// Eight outputs at a time with AVX-512 where the processor has it.
typedef double Oct __attribute__((vector_size(64)));

__attribute__((target("avx512f"))) void WindowFullOct(const double* c, const double* b, uint8_t* out, int stride) {
    Oct lo, hi;
    WindowRows(c, b, 0, lo, hi);
    for (int n = 0; n < 8; n += 2) StorePair(out + n * stride, out + (n + 1) * stride, Pair{lo[n], lo[n + 1]});
    StorePair(out + 16 * stride, out + 31 * stride, Pair{WindowSum(c, b, 16, 16, 2), hi[1]});
    for (int l = 2; l < 8; l += 2) StorePair(out + (32 - l) * stride, out + (31 - l) * stride, Pair{hi[l], hi[l + 1]});
    WindowRows(c, b, 8, lo, hi);
    for (int n = 0; n < 8; n += 2) {
        StorePair(out + (8 + n) * stride, out + (9 + n) * stride, Pair{lo[n], lo[n + 1]});
        StorePair(out + (24 - n) * stride, out + (23 - n) * stride, Pair{hi[n], hi[n + 1]});
    }
}

// Eight samples n..n+7 from v's lanes, rounded and clipped as StorePair
// does (the minimum, the conversion to nearest-even, the signed saturation
// to 16 bits), at out, 2 bytes apart, or 4 apart with the 2 bytes between
// them left alone (masked stores: nothing past the last sample is touched).
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline void StoreOct(uint8_t* out, int stride, __m512d v) {
    if (g_gainOn) v = _mm512_mul_pd(v, _mm512_set1_pd(g_gain));
    const __m128i s = _mm256_cvtsepi32_epi16(_mm512_cvtpd_epi32(_mm512_min_pd(v, _mm512_set1_pd(32767.0))));
    if (stride == 2)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), s);
    else
        _mm256_mask_storeu_epi16(out, 0x5555, _mm256_cvtepu16_epi32(s));
}

// The eight-lane window with the 32 samples stored eight at a time: outputs
// 0..15 are the low sums of rows 0..7 and 8..15 as they stand, 16..23 the
// row-16 sum and the high sums of rows 8..15 from lane 7 down to lane 1, and
// 24..31 lane 0 of those and the high sums of rows 0..7 from lane 7 down to
// lane 1 (lane 0 of row 0 has no output).
__attribute__((target("avx512f,avx512bw,avx512vl"))) void WindowFullOctStore(const double* c, const double* b,
                                                                          uint8_t* out, int stride) {
    Oct lo0, hi0, lo8, hi8;
    WindowRows(c, b, 0, lo0, hi0);
    WindowRows(c, b, 8, lo8, hi8);
    const __m512d row16 = _mm512_set1_pd(WindowSum(c, b, 16, 16, 2));
    const __m512d h0 = reinterpret_cast<__m512d>(hi0), h8 = reinterpret_cast<__m512d>(hi8);
    const __m512d mid = _mm512_permutex2var_pd(h8, _mm512_setr_epi64(8, 7, 6, 5, 4, 3, 2, 1), row16);
    const __m512d top = _mm512_permutex2var_pd(h8, _mm512_setr_epi64(0, 15, 14, 13, 12, 11, 10, 9), h0);
    StoreOct(out, stride, reinterpret_cast<__m512d>(lo0));
    StoreOct(out + 8 * stride, stride, reinterpret_cast<__m512d>(lo8));
    StoreOct(out + 16 * stride, stride, mid);
    StoreOct(out + 24 * stride, stride, top);
}

const bool kWindowWide = kAvx;
const bool kWindowOct = CpuHasAvx512();
const bool kWindowOctStore = CpuHasAvx512BwVl();
#else
constexpr bool kWindowOctStore = false;
inline void WindowFullOctStore(const double*, const double*, uint8_t*, int) {}
constexpr bool kWindowWide = false;
constexpr bool kWindowOct = false;
inline void WindowFullWide(const double*, const double*, uint8_t*, int) {}
inline void WindowFullOct(const double*, const double*, uint8_t*, int) {}
#endif

// Where one channel's slot goes in its ring at ring offset `offset`:
// X[16-m] = -V[32+m] to rows 0..16 of hx, X[16+m] = V[m] to rows 0..15 of
// hv (the two kinds alternate halves from slot to slot), and the half b that
// the window stage then reads with coefficient set kSynthCoef.c[offset >> 1]
// (read offset offset | 1).
struct RingSlot {
    double* hx;
    double* hv;
    const double* b;
};
inline RingSlot PlaceSlot(double (*ring)[kRingHalf], int offset) {
    double* h0 = ring[0];
    double* h1 = ring[1];
    if (offset & 1) return {h1 + ((offset + 1) & 15) * kRows, h0 + offset * kRows, h0};
    return {h0 + offset * kRows, h1 + (offset + 1) * kRows, h1};
}

// The core of variant R (0 full, 1 half, 2 quarter rate): synthesises one
// slot of channel ch and writes 32 >> R samples, `stride` bytes apart, at out.
// Channel 0 advances the ring offset, so it must come first in each slot.
template <int R>
void SynthCore(const double* samples, int ch, uint8_t* out, int stride) {
    constexpr int S = 1 << R;  // output step
    SynthState& st = g_state[R];
    if (ch == 0) st.offset = (st.offset - 1) & 15;
    const RingSlot slot = PlaceSlot(st.ring[ch & 1], st.offset);
    const double* b = slot.b;
    if (kAvx)
        Dct32Wide(samples, slot.hx, slot.hv);
    else
        Dct32(samples, slot.hx, slot.hv);

    const double* c = kSynthCoef.c[st.offset >> 1][0];
    if (R == 0 && kWindowOctStore && (stride == 2 || stride == 4)) {
        WindowFullOctStore(c, b, out, stride);
    } else if (R == 0 && kWindowOct) {
        WindowFullOct(c, b, out, stride);
    } else if (R == 0 && kWindowWide) {
        WindowFullWide(c, b, out, stride);
    } else if (R == 0) {
        WindowFull(c, b, out, stride);
    } else {
        for (int n = 0; n < 16; n += S) {  // outputs 0 .. 15
            StoreSample(out, WindowSum(c, b, n, n, 1));
            out += stride;
        }
        StoreSample(out, WindowSum(c, b, 16, 16, 2));  // output 16
        out += stride;
        for (int r = 16 - S; r > 0; r -= S) {  // outputs 17 .. 31
            StoreSample(out, WindowSum(c, b, r, 16 + r, 1));
            out += stride;
        }
    }
}

// ------------------------------------------- both channels of a 16-bit slot
//
// Full rate, 16-bit stereo output, the common case: both channels share the
// ring offset and so the coefficients, and the window stage loads each
// coefficient vector once for the two. The sums become 32-bit integers as
// StorePair rounds them (the gain, the minimum with 32767, the conversion to
// nearest-even), the two channels are interleaved, and the signed packing to
// 16 bits clips the bottom on the way to whole-vector stores of sample
// frames (out holds frame f, channel 0 then 1, at 4 f).

// Keeps a loaded coefficient vector in a register for both channels'
// products (GCC would load it again for each). Clang checks the operand's
// size against the build's baseline, not the function's target, and does
// without.
template <typename V>
__attribute__((always_inline)) inline void KeepInRegister(V& v) {
#if !defined(__clang__) && (defined(__x86_64__) || defined(__i386__))
    asm("" : "+v"(v));
#endif
}

// The window sums of both channels for rows r .. r + L - 1: lo[ch] and
// hi[ch] are what WindowRows gives for channel ch (the same products, summed
// over k in the same order).
template <typename V>
__attribute__((always_inline)) inline void WindowRowsStereo(const double* c, const double* b0, const double* b1, int r,
                                                            V lo[2], V hi[2]) {
    V lo0{}, hi0{}, lo1{}, hi1{};
#pragma GCC unroll 16
    for (int k = 0; k < 16; k++) {
        V cl, ch, v0, v1;
        std::memcpy(&cl, c + 32 * k + r, sizeof cl);
        std::memcpy(&ch, c + 32 * k + 16 + r, sizeof ch);
        std::memcpy(&v0, b0 + kRows * k + r, sizeof v0);
        std::memcpy(&v1, b1 + kRows * k + r, sizeof v1);
        KeepInRegister(cl);
        KeepInRegister(ch);
        lo0 += cl * v0;
        hi0 += ch * v0;
        lo1 += cl * v1;
        hi1 += ch * v1;
    }
    lo[0] = lo0;
    hi[0] = hi0;
    lo[1] = lo1;
    hi[1] = hi1;
}

#if defined(__SSE2__) || VORLO_HAVE_AVX_PATHS
// Two window sums as 32-bit integers in lanes 0 and 1 (lanes 2 and 3 zero).
__attribute__((target("sse2"), always_inline)) inline __m128i RoundPair(Pair sums) {
    if (g_gainOn) sums *= g_gain;
    return _mm_cvtpd_epi32(_mm_min_pd(reinterpret_cast<__m128d>(sums), _mm_set1_pd(32767.0)));
}
#endif

#ifdef __SSE2__

// Two lanes at a time. Each row pair r, r + 1 gives frames r, r + 1 (low
// sums) and 32 - r, 31 - r (high sums); as integers, channel 0 then 1 per
// frame, g[r / 2] and h[r / 2] hold them frame by frame, so that frames
// 16 .. 31 pair the row-16 sum with frame 17 and then, two by two, the
// second frame of h[j] with the first of h[j - 1].
void WindowStereoPair(const double* c, const double* b0, const double* b1, uint8_t* out) {
    __m128i g[8], h[8];
#pragma GCC unroll 8
    for (int r = 0; r < 16; r += 2) {
        Pair lo[2], hi[2];
        WindowRowsStereo(c, b0, b1, r, lo, hi);
        g[r / 2] = _mm_unpacklo_epi32(RoundPair(lo[0]), RoundPair(lo[1]));
        h[r / 2] = _mm_unpacklo_epi32(RoundPair(hi[0]), RoundPair(hi[1]));
    }
    __m128i* o = reinterpret_cast<__m128i*>(out);
    for (int j = 0; j < 8; j += 2) _mm_storeu_si128(o + j / 2, _mm_packs_epi32(g[j], g[j + 1]));
    // Frames 16 + 2j, 17 + 2j: the first frame of h[8 - j] (the row-16 sum
    // for j = 0) and the second of h[7 - j].
    __m128i f[8];
    f[0] = RoundPair(Pair{WindowSum(c, b0, 16, 16, 2), WindowSum(c, b1, 16, 16, 2)});
    for (int j = 1; j < 8; j++) f[j] = h[8 - j];
    for (int j = 0; j < 8; j++)
        f[j] = _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(f[j]), _mm_castsi128_pd(h[7 - j]), 2));
    for (int j = 0; j < 8; j += 2) _mm_storeu_si128(o + 4 + j / 2, _mm_packs_epi32(f[j], f[j + 1]));
}
#else
void WindowStereoPair(const double* c, const double* b0, const double* b1, uint8_t* out) {
    WindowFull(c, b0, out, 4);
    WindowFull(c, b1, out + 2, 4);
}
#endif

#if VORLO_HAVE_AVX_PATHS
// Four lanes at a time with AVX. Rows r .. r + 3 give frames r .. r + 3
// (low sums) and 32 - r .. 29 - r (high sums, lane l for frame 32 - r - l).
// The high sums go to 16-bit frames in reverse order, w[r / 4] holding
// frames 29 - r .. 32 - r, so that each group of four frames from 16 on is
// the last frame of one (the row-16 sum's for the first) and the first
// three of the next.
__attribute__((target("avx"), always_inline)) inline __m128i RoundQuad(Quad sums) {
    if (g_gainOn) sums *= g_gain;
    return _mm256_cvtpd_epi32(_mm256_min_pd(reinterpret_cast<__m256d>(sums), _mm256_set1_pd(32767.0)));
}

__attribute__((target("avx"))) void WindowStereoQuad(const double* c, const double* b0, const double* b1,
                                                     uint8_t* out) {
    __m128i* o = reinterpret_cast<__m128i*>(out);
    __m128i w[4];
#pragma GCC unroll 4
    for (int r = 0; r < 16; r += 4) {
        Quad lo[2], hi[2];
        WindowRowsStereo(c, b0, b1, r, lo, hi);
        const __m128i l0 = RoundQuad(lo[0]), l1 = RoundQuad(lo[1]);
        _mm_storeu_si128(o + r / 4, _mm_packs_epi32(_mm_unpacklo_epi32(l0, l1), _mm_unpackhi_epi32(l0, l1)));
        const __m128i h0 = _mm_shuffle_epi32(RoundQuad(hi[0]), 0x1B), h1 = _mm_shuffle_epi32(RoundQuad(hi[1]), 0x1B);
        w[r / 4] = _mm_packs_epi32(_mm_unpacklo_epi32(h0, h1), _mm_unpackhi_epi32(h0, h1));
    }
    // The row-16 frame as the last of four.
    const __m128i r16 = _mm_shuffle_epi32(
        RoundPair(Pair{WindowSum(c, b0, 16, 16, 2), WindowSum(c, b1, 16, 16, 2)}), 0x44);
    __m128i last = _mm_packs_epi32(r16, r16);
    for (int g = 3; g >= 0; g--) {
        _mm_storeu_si128(o + 7 - g, _mm_alignr_epi8(w[g], last, 12));
        last = w[g];
    }
}

// Eight lanes at a time with AVX-512: the layout of WindowFullOctStore, both
// channels' integers side by side in one 16-lane vector (channel 0 in lanes
// 0..7, 1 in 8..15, and for the row-16 sum lanes 16 and 17 of the second
// operand) and permuted into frame order in one step.
__attribute__((target("avx512f"), always_inline)) inline __m512i RoundOcts(const Oct sums[2]) {
    const __m512d top = _mm512_set1_pd(32767.0);
    Oct s0 = sums[0], s1 = sums[1];
    if (g_gainOn) {
        s0 *= g_gain;
        s1 *= g_gain;
    }
    const __m256i i0 = _mm512_cvtpd_epi32(_mm512_min_pd(reinterpret_cast<__m512d>(s0), top));
    const __m256i i1 = _mm512_cvtpd_epi32(_mm512_min_pd(reinterpret_cast<__m512d>(s1), top));
    return _mm512_inserti64x4(_mm512_castsi256_si512(i0), i1, 1);
}
__attribute__((target("avx512f"), always_inline)) inline void StoreFrames8(uint8_t* at, __m512i frames) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm512_cvtsepi32_epi16(frames));
}

__attribute__((target("avx512f"))) void WindowStereoOct(const double* c, const double* b0, const double* b1,
                                                        uint8_t* out) {
    const __m512i interleave = _mm512_setr_epi32(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    Oct lo0[2], hi0[2], lo8[2], hi8[2];
    WindowRowsStereo(c, b0, b1, 0, lo0, hi0);
    StoreFrames8(out, _mm512_permutexvar_epi32(interleave, RoundOcts(lo0)));
    WindowRowsStereo(c, b0, b1, 8, lo8, hi8);
    StoreFrames8(out + 32, _mm512_permutexvar_epi32(interleave, RoundOcts(lo8)));
    const __m512i h0 = RoundOcts(hi0), h8 = RoundOcts(hi8);
    const __m512i r16 = _mm512_castsi128_si512(
        RoundPair(Pair{WindowSum(c, b0, 16, 16, 2), WindowSum(c, b1, 16, 16, 2)}));
    // Frames 16..23: the row-16 sum, then rows 15..9 (lanes 7..1 of h8).
    const __m512i mid = _mm512_setr_epi32(16, 17, 7, 15, 6, 14, 5, 13, 4, 12, 3, 11, 2, 10, 1, 9);
    StoreFrames8(out + 64, _mm512_permutex2var_epi32(h8, mid, r16));
    // Frames 24..31: row 8 (lane 0 of h8), then rows 7..1 (lanes 7..1 of h0).
    const __m512i top = _mm512_setr_epi32(0, 8, 23, 31, 22, 30, 21, 29, 20, 28, 19, 27, 18, 26, 17, 25);
    StoreFrames8(out + 96, _mm512_permutex2var_epi32(h8, top, h0));
}
#endif

// Both channels' places in their rings for the next slot at full rate (the
// ring offset advances once for the two), and the coefficients the window
// stage then uses.
struct StereoSlot {
    RingSlot r0, r1;
    const double* c;
};
inline StereoSlot NextStereoSlot() {
    SynthState& st = g_state[0];
    st.offset = (st.offset - 1) & 15;
    return {PlaceSlot(st.ring[0], st.offset), PlaceSlot(st.ring[1], st.offset), kSynthCoef.c[st.offset >> 1][0]};
}

void SynthStereoPair(const double* s0, const double* s1, uint8_t* out) {
    const StereoSlot s = NextStereoSlot();
    Dct32(s0, s.r0.hx, s.r0.hv);
    Dct32(s1, s.r1.hx, s.r1.hv);
    WindowStereoPair(s.c, s.r0.b, s.r1.b, out);
}

#if VORLO_HAVE_AVX_PATHS
// Both channels' 32-point transforms side by side, each lane with the
// operations of Dct32Wide. The first stage runs on Quads of channel 0's
// values k, k + 1 and channel 1's; the second gives per channel and k the
// Quad u[k] of Dct32Wide (the sums p and weighted differences q of both
// 16-point halves), and the 8-point transforms run on U: with AVX-512 one Oct
// of both channels (channel 0 in lanes 0..3, channel 1 in 4..7), with AVX
// one Quad per channel (V is the one or the other).
//
// With U[k] = (Pa, Pb, Qa, Qb) per channel (a the transform of the first
// stage's sums, b of its weighted differences), the two recombinations of
// Dct32Wide and StoreDct come to, for k = 0..7 and S = U[k] + U[k + 1],
//   X[4k] = Pa[k],            X[4k + 1] = Pb[k] + Sb,
//   X[4k + 2] = Sa,           X[4k + 3] = Sb + Pb[k + 1],
// which Recombine4 computes four at a time as (Pa, Pb, Sa, Sb) + (-0.0, Sb,
// -0.0, Pb[k + 1]), with U[8] all -0.0 (adding -0.0 leaves any value as it
// is: S = U[7] and X[31] = Qb[7]).
template <typename V>
__attribute__((always_inline)) inline V Recombine4(V u, V next) {
    const V s = u + next;
    V a, b;
    if constexpr (sizeof(V) == sizeof(Quad)) {
        const V minusZero = {-0.0, -0.0, -0.0, -0.0};
        a = __builtin_shufflevector(u, s, 0, 1, 6, 7);
        b = __builtin_shufflevector(s, next, 2, 3, 4, 5);
        b = __builtin_shufflevector(minusZero, b, 0, 5, 2, 7);
    } else {  // the same in each channel's four lanes
        const V minusZero = {-0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0};
        a = __builtin_shufflevector(u, s, 0, 1, 10, 11, 4, 5, 14, 15);
        b = __builtin_shufflevector(s, next, 2, 3, 8, 9, 6, 7, 12, 13);
        b = __builtin_shufflevector(minusZero, b, 0, 9, 2, 11, 4, 13, 6, 15);
    }
    return a + b;
}

// X[4k .. 4k + 3] of one channel to its ring rows: hx[m] = X[16 - m] (m =
// 0..16, reversed) and hv[m] = X[16 + m].
__attribute__((always_inline)) inline void StoreX4(Quad x, int k, const RingSlot& r) {
    if (k < 4) {
        const Quad reversed = __builtin_shufflevector(x, x, 3, 2, 1, 0);
        std::memcpy(r.hx + 13 - 4 * k, &reversed, sizeof reversed);
    } else {
        std::memcpy(r.hv + 4 * k - 16, &x, sizeof x);
        if (k == 4) r.hx[0] = x[0];
    }
}

template <typename V>
__attribute__((always_inline)) inline void Dct32Stereo(const double* x0, const double* x1, const RingSlot& r0,
                                                       const RingSlot& r1) {
    Quad z[16];  // z[k]: channel 0's (sum, weighted difference) of k, then channel 1's
    for (int k = 0; k < 16; k += 2) {
        Pair l0, l1, h0, h1, c;
        std::memcpy(&l0, x0 + k, sizeof l0);
        std::memcpy(&l1, x1 + k, sizeof l1);
        std::memcpy(&h0, x0 + 30 - k, sizeof h0);
        std::memcpy(&h1, x1 + 30 - k, sizeof h1);
        std::memcpy(&c, kDctCos0 + k, sizeof c);
        const Quad lo = __builtin_shufflevector(l0, l1, 0, 1, 2, 3);
        const Quad hi = __builtin_shufflevector(h0, h1, 1, 0, 3, 2);  // x[31 - k], x[30 - k]
        const Quad a = lo + hi;
        const Quad b = (lo - hi) * __builtin_shufflevector(c, c, 0, 1, 0, 1);
        z[k] = __builtin_shufflevector(a, b, 0, 4, 2, 6);
        z[k + 1] = __builtin_shufflevector(a, b, 1, 5, 3, 7);
    }
    // [transform][k]: one transform of both channels in Octs, one per channel in Quads.
    V u[2][8], X[2][8];
    constexpr int T = sizeof(V) == sizeof(Oct) ? 1 : 2;
    for (int k = 0; k < 8; k++) {
        const Quad p = z[k] + z[15 - k];
        const Quad q = (z[k] - z[15 - k]) * kDctCos1[k];
        if constexpr (T == 1) {
            u[0][k] = __builtin_shufflevector(p, q, 0, 1, 4, 5, 2, 3, 6, 7);
        } else {
            u[0][k] = __builtin_shufflevector(p, q, 0, 1, 4, 5);
            u[1][k] = __builtin_shufflevector(p, q, 2, 3, 6, 7);
        }
    }
    for (int t = 0; t < T; t++) {
        V U[9];
        Dct<8, V>::Run(u[t], U);
        for (int l = 0; l < int(sizeof(V) / sizeof(double)); l++) U[8][l] = -0.0;
        for (int k = 0; k < 8; k++) X[t][k] = Recombine4(U[k], U[k + 1]);
    }
    for (int k = 0; k < 8; k++) {
        if constexpr (T == 1) {
            StoreX4(__builtin_shufflevector(X[0][k], X[0][k], 0, 1, 2, 3), k, r0);
            StoreX4(__builtin_shufflevector(X[0][k], X[0][k], 4, 5, 6, 7), k, r1);
        } else {
            StoreX4(X[0][k], k, r0);
            StoreX4(X[1][k], k, r1);
        }
    }
}

__attribute__((target("avx"))) void SynthStereoQuad(const double* s0, const double* s1, uint8_t* out) {
    const StereoSlot s = NextStereoSlot();
    Dct32Stereo<Quad>(s0, s1, s.r0, s.r1);
    WindowStereoQuad(s.c, s.r0.b, s.r1.b, out);
}

__attribute__((target("avx512f"))) void SynthStereoOct(const double* s0, const double* s1, uint8_t* out) {
    const StereoSlot s = NextStereoSlot();
    Dct32Stereo<Oct>(s0, s1, s.r0, s.r1);
    WindowStereoOct(s.c, s.r0.b, s.r1.b, out);
}
#endif

// ----------------------------------------------------------- entry points

// s >> 4 indexes it, for -4096 .. 4095; entry i is (i >> 5) - 128 modulo 256.
struct Pcm8Table {
    uint8_t v[8192];
};
constexpr Pcm8Table MakePcm8Table() {
    Pcm8Table t{};
    for (int i = -4096; i < 4096; i++) {
        int q = i >= 0 ? i / 32 : -((-i + 31) / 32);  // arithmetic shift by 5
        t.v[i + 4096] = static_cast<uint8_t>((q - 128) & 0xFF);
    }
    return t;
}
constexpr Pcm8Table kPcm8 = MakePcm8Table();

inline uint8_t To8(const uint8_t* p) {
    int16_t s;
    std::memcpy(&s, p, 2);
    return kPcm8.v[(s >> 4) + 4096];
}

template <int R>
struct Variant {
    static constexpr int n = 32 >> R;

    // Channel by channel (at full rate, 16-bit output has SynthStereoPair and
    // its wider versions).
    static void Synth16(const double* s0, const double* s1, uint8_t* out) {
        SynthCore<R>(s0, 0, out, 4);
        SynthCore<R>(s1, 1, out + 2, 4);
    }
    static void Synth8(const double* s0, const double* s1, uint8_t* out) {
        uint8_t tmp[2][2 * n];
        SynthCore<R>(s0, 0, tmp[0], 2);
        SynthCore<R>(s1, 1, tmp[1], 2);
        for (int i = 0; i < n; i++) {
            out[2 * i] = To8(tmp[0] + 2 * i);
            out[2 * i + 1] = To8(tmp[1] + 2 * i);
        }
    }
    static void MonoToStereo16(const double* s, uint8_t* out) {
        SynthCore<R>(s, 0, out, 4);
#ifdef __SSE2__
        // Four sample frames at a time: words 0, 2, 4, 6 into 1, 3, 5, 7.
        for (int i = 0; i < n; i += 4) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + 4 * i));
            v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xA0), 0xA0);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), v);
        }
#else
        for (int i = 0; i < n; i++) std::memcpy(out + 4 * i + 2, out + 4 * i, 2);
#endif
    }
    static void MonoToStereo8(const double* s, uint8_t* out) {
        uint8_t tmp[2 * n];
        SynthCore<R>(s, 0, tmp, 2);
        for (int i = 0; i < n; i++) out[2 * i] = out[2 * i + 1] = To8(tmp + 2 * i);
    }
    static void Mono16(const double* s, uint8_t* out) { SynthCore<R>(s, 0, out, 2); }
    static void Mono8(const double* s, uint8_t* out) {
        uint8_t tmp[2 * n];
        SynthCore<R>(s, 0, tmp, 2);
        for (int i = 0; i < n; i++) out[i] = To8(tmp + 2 * i);
    }
};

// The full-rate 16-bit stereo entry for the widest vectors the processor runs.
SynthFn FullRateStereo16() {
#if VORLO_HAVE_AVX_PATHS
    if (kWindowOct) return SynthStereoOct;
    if (kAvx) return SynthStereoQuad;
#endif
    return SynthStereoPair;
}

struct SynthEntries {
    SynthFn synth16;
    SynthFn synth8;
    MonoWriterFn monoToStereo16;
    MonoWriterFn monoToStereo8;
    MonoWriterFn mono16;
    MonoWriterFn mono8;
};

template <int R>
constexpr SynthEntries EntriesOf() {
    return {Variant<R>::Synth16,        Variant<R>::Synth8, Variant<R>::MonoToStereo16,
            Variant<R>::MonoToStereo8, Variant<R>::Mono16, Variant<R>::Mono8};
}
constexpr SynthEntries kEntries[3] = {EntriesOf<0>(), EntriesOf<1>(), EntriesOf<2>()};

// Flush level by sample-rate index at full rate, 16-bit stereo: about 93 ms
// of PCM. The 16 kHz level of 6114 is not a multiple of a slot; the buffer
// is handed over at the next slot boundary, 6144 bytes.
constexpr int kThresholdBase[9] = {16384, 20480, 12288, 8192, 10240, 6114, 3072, 4096, 2048};

// Drops the oldest bytes so that `room` more fit; whole 4-byte sample
// frames, so the channels stay in step.
void DropOldest(int room) {
    int excess = PcmBuffer.fill - (kPcmBufferSize - room);
    if (excess <= 0) return;
    excess = (excess + 3) & ~3;
    if (excess >= PcmBuffer.fill) {
        PcmBuffer.fill = 0;
        return;
    }
    std::memmove(PcmBuffer.data, PcmBuffer.data + excess, static_cast<size_t>(PcmBuffer.fill - excess));
    PcmBuffer.fill -= excess;
}

struct PcmWindow {
    bool active;
    int64_t position;  // decoded sample of the next slot
    int64_t start, end;
} g_window;

// Keeps the part of the slot at data + fill that lies inside the window,
// moved to its front; returns its length in bytes.
int KeepWindowPart(int slot, int downsample) {
    const int shift = downsample >= 0 && downsample <= 2 ? downsample : 0;
    const int n = 32 >> shift;  // output sample frames in the slot
    const int frameBytes = slot / n;
    const int64_t pos = g_window.position;
    g_window.position += 32;
    if (pos >= g_window.start && pos + 32 <= g_window.end) return slot;
    // Output frame i starts at decoded sample pos + i * 2^shift.
    auto firstAtOrBehind = [&](int64_t at) {
        int64_t i = at <= pos ? 0 : ((at - pos) + (int64_t(1) << shift) - 1) >> shift;
        return static_cast<int>(i < n ? i : n);
    };
    const int from = firstAtOrBehind(g_window.start);
    const int to = std::max(from, firstAtOrBehind(g_window.end));
    uint8_t* out = PcmBuffer.data + PcmBuffer.fill;
    if (from > 0 && to > from) std::memmove(out, out + from * frameBytes, size_t((to - from) * frameBytes));
    return (to - from) * frameBytes;
}

}  // namespace

void PcmSetWindow(int64_t start, int64_t end) {
    g_window.active = true;
    g_window.start = start;
    g_window.end = end;
}

void PcmClearWindow() { g_window.active = false; }

void PcmSetGain(double factor) {
    g_gain = factor;
    g_gainOn = factor != 1.0;
}

void PcmSetWindowPosition(int64_t position) { g_window.position = position; }

int PcmRoundClip(double sum) {
    // Clipping first keeps the 2^52 + 2^31 trick inside its range (and maps
    // NaN to the top); for sums inside the range it rounds exactly as the
    // rounding followed by the clip would.
    if (!(sum < 32767.0)) sum = 32767.0;
    if (sum < -32768.0) sum = -32768.0;
    double t = sum + 4503601774854144.0;  // 2^52 + 2^31: one unit in the last place
    uint64_t bits;
    std::memcpy(&bits, &t, sizeof bits);
    return static_cast<int>(static_cast<int64_t>(bits & 0xFFFFFFFFu) - 2147483648LL);
}

uint8_t Pcm8FromPcm16(int s) {
    if (s < -32768) s = -32768;
    if (s > 32767) s = 32767;
    return kPcm8.v[(s >> 4) + 4096];
}

void ResetSynthesisState() {
    for (SynthState& st : g_state) {
        std::memset(st.ring, 0, sizeof st.ring);
        st.offset = 1;
    }
}

void SelectSynthesis(StreamInfo* si, int downsample, int eightBit, int monoOutput) {
    if (downsample < 0 || downsample > 2) downsample = 0;
    eightBit = eightBit ? 1 : 0;
    monoOutput = monoOutput ? 1 : 0;
    const SynthEntries& e = kEntries[downsample];
    si->synth = eightBit ? e.synth8 : downsample == 0 ? FullRateStereo16() : e.synth16;
    if (monoOutput)
        si->monoWriter = eightBit ? e.mono8 : e.mono16;
    else
        si->monoWriter = eightBit ? e.monoToStereo8 : e.monoToStereo16;
    si->bytesPerSlot = 128 >> (monoOutput + eightBit + downsample);
}

int PcmThreshold(int sampleRateIndex, int downsample, int eightBit) {
    if (sampleRateIndex < 0 || sampleRateIndex > 8) sampleRateIndex = 0;
    if (downsample < 0 || downsample > 2) downsample = 0;
    int t = kThresholdBase[sampleRateIndex] >> downsample;
    return eightBit ? t / 2 : t;
}

uint8_t* PcmSlotOut() {
    if (PcmBuffer.fill < 0) PcmBuffer.fill = 0;
    if (PcmBuffer.fill > kPcmBufferSize - kPcmMaxSlotBytes) DropOldest(kPcmMaxSlotBytes);
    return PcmBuffer.data + PcmBuffer.fill;
}

int PcmHandOver(const AudioOutputDriver* driver) {
    if (PcmBuffer.fill <= 0) return 0;
    int offer = PcmBuffer.fill < kPcmMaxWrite ? PcmBuffer.fill : kPcmMaxWrite;
    int took = (driver && driver->Write) ? driver->Write(offer, PcmBuffer.data) : 0;
    if (took > offer) took = offer;
    if (took <= 0) return took;
    if (took >= PcmBuffer.fill) {
        PcmBuffer.fill = 0;
    } else {
        std::memmove(PcmBuffer.data, PcmBuffer.data + took, static_cast<size_t>(PcmBuffer.fill - took));
        PcmBuffer.fill -= took;
    }
    return took;
}

int PcmFlushStep(StreamInfo* si) {
    int slot = si->bytesPerSlot;
    if (slot < 0) slot = 0;
    if (slot > kPcmMaxSlotBytes) slot = kPcmMaxSlotBytes;
    if (g_window.active && slot > 0) slot = KeepWindowPart(slot, si->downsample);
    PcmBuffer.added = slot;
    PcmBuffer.fill += slot;
    if (PcmBuffer.fill > kPcmBufferSize) PcmBuffer.fill = kPcmBufferSize;  // only if fill was out of range

    int result = 1;
    if (PcmBuffer.fill >= PcmBuffer.threshold || PcmBuffer.fill > kPcmBufferSize - kPcmMaxSlotBytes) {
        if (PcmHandOver(g_outputDriver) < 0) result = -2;
    }
    // A driver that keeps refusing must not push the next slot past the end.
    if (PcmBuffer.fill > kPcmBufferSize - kPcmMaxSlotBytes) DropOldest(kPcmMaxSlotBytes);
    return result;
}
