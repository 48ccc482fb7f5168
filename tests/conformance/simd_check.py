#!/usr/bin/env python3
"""The decoder's vector paths against each other: every conformance vector
decoded by `vorlo-decode` with the widest paths the processor has, and again
kept to the four-lane (VORLO_SIMD=avx) and two-lane (VORLO_SIMD=sse2) paths,
must give the same bytes; at full and half rate natively, at full rate
also 12 dB louder without clip prevention (the output gain and the clipping
of every window path) and as mono (the mono outputs' stride), and for a few
vectors at full rate with the Windows build under Wine. On a processor without a wider
path the runs coincide and still pass.

Usage: simd_check.py [--no-wine]. Prints "N passed, N failed" last."""
import os
import subprocess
import sys

from checks import VECTORS, check, finish, host_path, is_windows, tools

WINE_VECTORS = ("l1-fl1", "l2-fl10", "l3-si_block")  # at full rate
REFUSED = ("l3-he_free",)  # free format: the tool asks for the bitrate
OPTIONS = ([], ["--downsample", "1"], ["--replaygain", "track", "--untagged-gain", "12", "--no-clip-prevention"],
           ["--mono"])  # the Windows build: the first only


def decode(tool, path, options, simd):
    env = dict(os.environ, WINEDEBUG="-all")
    env.pop("VORLO_SIMD", None)
    if simd:
        env["VORLO_SIMD"] = simd
    cmd = (["wine"] if is_windows(tool) else []) + [tool] + options + [host_path(tool, path), "-"]
    try:
        r = subprocess.run(cmd, capture_output=True, timeout=120, env=env)
    except subprocess.TimeoutExpired:
        return None
    return r.stdout if r.returncode == 0 else None


def main():
    names = sorted(f[:-4] for f in os.listdir(VECTORS) if f.endswith(".bit") and not f.startswith("ILL")
                   and f[:-4] not in REFUSED)
    for tool in tools():
        for name in names:
            if is_windows(tool) and name not in WINE_VECTORS:
                continue
            for options in OPTIONS[: 1 if is_windows(tool) else len(OPTIONS)]:
                path = os.path.join(VECTORS, name + ".bit")
                widest = decode(tool, path, options, None)
                if not check(f"{os.path.basename(tool)} {name} {options}", widest, "no output"):
                    continue
                for simd in ("avx", "sse2"):
                    out = decode(tool, path, options, simd)
                    check(f"{os.path.basename(tool)} {name} {options} VORLO_SIMD={simd}", out == widest,
                          "differs from the widest paths" if out else "no output")
    return finish()


if __name__ == "__main__":
    sys.exit(main())
