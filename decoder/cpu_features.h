// What the processor offers beyond the build's baseline, asked once at
// start-up by the paths that have a wider version.
#pragma once

// The 32-byte vector paths: x86 with GCC or clang, and not 64-bit Windows,
// where the compiler cannot realign the stack for 32-byte values.
// VORLO_NO_AVX_PATHS leaves them out (a build that checks the SSE2 paths).
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN64) && defined(__GNUC__) && \
    !defined(VORLO_NO_AVX_PATHS)
#define VORLO_HAVE_AVX_PATHS 1
#else
#define VORLO_HAVE_AVX_PATHS 0
#endif

// Whether the processor (and the system) runs AVX instructions.
inline bool CpuHasAvx() {
#if VORLO_HAVE_AVX_PATHS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
#else
    return false;
#endif
}

// Whether the processor (and the system) runs the 64-byte AVX-512 foundation
// instructions.
inline bool CpuHasAvx512() {
#if VORLO_HAVE_AVX_PATHS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f");
#else
    return false;
#endif
}
