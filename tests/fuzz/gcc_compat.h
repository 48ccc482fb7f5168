// Force-included in the clang fuzz build only: GCC's __builtin_shuffle,
// which the decoder's vector code uses and clang lacks, as a plain lane
// copy with the same meaning (one vector: lane i = a[m[i] mod N]; two
// vectors: lane i = (a ++ b)[m[i] mod 2N]).
#pragma once
#ifdef __cplusplus
template <class V, class M>
inline V VorloShuffle(V a, M m) {
    constexpr int n = sizeof(V) / sizeof(a[0]);
    V r = a;
    for (int i = 0; i < n; i++) r[i] = a[m[i] & (n - 1)];
    return r;
}
template <class V, class M>
inline V VorloShuffle(V a, V b, M m) {
    constexpr int n = sizeof(V) / sizeof(a[0]);
    V r = a;
    for (int i = 0; i < n; i++) {
        int k = m[i] & (2 * n - 1);
        r[i] = k < n ? a[k] : b[k - n];
    }
    return r;
}
#define __builtin_shuffle VorloShuffle
// The shim is no AVX function, so clang refuses 32-byte vectors passed to it
// from one: the fuzz build keeps to the two-lane paths (the checks compare
// the wider ones with them byte for byte).
#define VORLO_HAVE_AVX_PATHS 0
#endif
