#!/usr/bin/env python3
"""Times adding a directory tree of 10,000 MPEG audio files with their info
read (ReadFileInfo 1), through `vorlo-decode --list DIR`, and prints the
time per thousand files. The files are short lame encodes with ID3v2 and
ID3v1 tags (a few VBR with a Xing header), spread over 100 directories; the
scan reads only the start and the end of each file, so their length hardly
matters. The first, cold run fills the page cache; the best of the others
counts.

Usage: bench/playlist_scan_bench.py [--files N] [--rounds N] [--tool PATH]"""
import os
import shutil
import subprocess
import tempfile

from bench_util import list_times, options


def make_tree(top, files):
    src = os.path.join(top, "src.wav")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "anoisesrc=d=3:a=0.2",
                    "-ac", "2", "-ar", "44100", src], check=True)
    seeds = []
    for i, opts in enumerate([["-b", "128"], ["-b", "192", "--add-id3v2"], ["-V", "2", "--add-id3v2"]]):
        out = os.path.join(top, "seed%d.mp3" % i)
        subprocess.run(["lame", "--quiet"] + opts + ["--tt", "Title %d" % i, "--ta", "Artist", src, out],
                       check=True)
        seeds.append(out)
    tree = os.path.join(top, "tree")
    for n in range(files):
        d = os.path.join(tree, "d%02d" % (n % 100))
        os.makedirs(d, exist_ok=True)
        shutil.copyfile(seeds[n % len(seeds)], os.path.join(d, "song%05d.mp3" % n))
    return tree


def main():
    args = options("files", 10000, 3)
    with tempfile.TemporaryDirectory(prefix="vorlo_scan_") as top:
        tree = make_tree(top, args.files)
        # Every file listed with its info read.
        times = list_times(args.tool, tree, args.rounds + 1,
                           args.files, lambda lines: all(l.split("\t")[1] != "?" for l in lines))
        best = min(times[1:])
        print("files=%d cold=%.3fs best=%.3fs per_1000=%.3fs" % (args.files, times[0], best,
                                                                best * 1000 / args.files))


if __name__ == "__main__":
    main()
