#!/usr/bin/env python3
"""Times vorlo-decode against ffmpeg's decoder on the same 60-second stream,
side by side in one run (alternating, several rounds), and prints the ratio.
This machine is shared and noisy: only the ratio means something.

Usage: bench/decode_bench.py [layer2|layer3|all] [--rounds N]"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.join(ROOT, "build", "native", "bin", "vorlo-decode")

CASES = {
    # name: (ffmpeg encoder options, ffmpeg decoder, extension)
    "layer2": (["-c:a", "mp2", "-b:a", "192k"], "mp2float", "mp2"),
    "layer3": (["-c:a", "libmp3lame", "-b:a", "192k"], "mp3float", "mp3"),
}


def make_input(path, encoder):
    src = "sine=frequency=440:duration=60,aformat=channel_layouts=stereo"
    noise = "anoisesrc=d=60:c=pink:a=0.1"
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", src, "-f", "lavfi", "-i", noise,
                    "-filter_complex", "[0][1]amix=inputs=2,aresample=44100", "-ac", "2"] + encoder + [path],
                   check=True)


def timed(cmd):
    t = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - t


def main():
    which = [a for a in sys.argv[1:] if not a.startswith("--") and not a.isdigit()] or ["layer2"]
    if which == ["all"]:
        which = list(CASES)
    rounds = 7
    if "--rounds" in sys.argv:
        rounds = int(sys.argv[sys.argv.index("--rounds") + 1])
    tmp = tempfile.mkdtemp(prefix="vorlo_bench_")
    for name in which:
        encoder, decoder, ext = CASES[name]
        path = os.path.join(tmp, "input." + ext)
        try:
            make_input(path, encoder)
        except subprocess.CalledProcessError:
            print(f"{name}: cannot make the input (ffmpeg encoder missing?)")
            continue
        ours, theirs = [], []
        for _ in range(rounds):
            ours.append(timed([TOOL, path, "-"]))
            theirs.append(timed(["ffmpeg", "-v", "error", "-threads", "1", "-c:a", decoder, "-i", path,
                                 "-f", "s16le", "-"]))
        o, t = statistics.median(ours), statistics.median(theirs)
        print(f"{name}: vorlo-decode {o * 1000:.0f} ms, ffmpeg ({decoder}) {t * 1000:.0f} ms, "
              f"ratio {o / t:.2f} (median of {rounds}; 60 s of 44.1 kHz stereo)")


if __name__ == "__main__":
    main()
