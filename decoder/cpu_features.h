// What the processor offers beyond the build's baseline, asked once at
// start-up by the paths that have a wider version.
#pragma once

#include <cstdlib>
#include <cstring>

// The 32-byte vector paths: x86 with GCC or clang, and not 64-bit Windows,
// where the compiler cannot realign the stack for 32-byte values.
// A build may leave them out by defining it as 0 beforehand.
#ifndef VORLO_HAVE_AVX_PATHS
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN64) && defined(__GNUC__)
#define VORLO_HAVE_AVX_PATHS 1
#else
#define VORLO_HAVE_AVX_PATHS 0
#endif
#endif

// The widest paths allowed: the environment variable VORLO_SIMD set to
// "sse2" keeps to the two-lane paths and "avx" to the four-lane ones (every
// path gives the same output; the checks compare them on one processor).
inline int SimdCap() {
    const char* v = std::getenv("VORLO_SIMD");
    if (v && std::strcmp(v, "sse2") == 0) return 0;
    if (v && std::strcmp(v, "avx") == 0) return 1;
    return 2;
}

// Whether the processor (and the system) runs AVX instructions.
inline bool CpuHasAvx() {
#if VORLO_HAVE_AVX_PATHS
    __builtin_cpu_init();
    return SimdCap() >= 1 && __builtin_cpu_supports("avx");
#else
    return false;
#endif
}

// Whether the processor (and the system) runs the 64-byte AVX-512 foundation
// instructions.
inline bool CpuHasAvx512() {
#if VORLO_HAVE_AVX_PATHS
    __builtin_cpu_init();
    return SimdCap() >= 2 && __builtin_cpu_supports("avx512f");
#else
    return false;
#endif
}

// Whether it also runs the AVX-512 byte-and-word and vector-length
// instructions (masked 16-bit stores, 256-bit forms).
inline bool CpuHasAvx512BwVl() {
#if VORLO_HAVE_AVX_PATHS
    return CpuHasAvx512() && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
}
