#!/usr/bin/env python3
"""Times loading a list of N station URLs with their titles through
`vorlo-decode --list`, as PLS (File<n> and Title<n> keys, in the former ANSI
code page) and as M3U (#EXTINF titles), and prints the best time of each and
their ratio: a PLS reads its titles from the one parse of the file, so the
two should take about as long. A second PLS states NumberOfEntries=2147483647
over the same keys, which must cost nothing more.

Usage: bench/station_list_bench.py [--entries N] [--rounds N] [--tool PATH]"""
import os
import tempfile

from bench_util import list_times, options


def main():
    args = options("entries", 5000, 5)
    n = args.entries
    with tempfile.TemporaryDirectory(prefix="vorlo_lists_") as top:
        urls = ["http://radio%d.example/stream" % i for i in range(1, n + 1)]
        titles = ["Station %d \u00e9t\u00e9" % i for i in range(1, n + 1)]
        keys = "".join("File%d=%s\nTitle%d=%s\n" % (i + 1, u, i + 1, t) for i, (u, t) in enumerate(zip(urls, titles)))
        lists = {
            "m3u": "#EXTM3U\n" + "".join("#EXTINF:-1,%s\n%s\n" % (t, u) for u, t in zip(urls, titles)),
            "pls": "[playlist]\n" + keys + "NumberOfEntries=%d\n" % n,
            "pls-lying-count": "[playlist]\n" + keys + "NumberOfEntries=2147483647\n",
        }
        best = {}
        for name, text in lists.items():
            path = os.path.join(top, name + (".m3u" if name == "m3u" else ".pls"))
            with open(path, "wb") as f:
                f.write(text.encode("utf-8" if name == "m3u" else "cp1252"))
            best[name] = min(list_times(args.tool, path, args.rounds, n))
        print("entries=%d " % n + " ".join("%s=%.3fs" % kv for kv in best.items()) +
              " pls/m3u=%.2f" % (best["pls"] / best["m3u"]))


if __name__ == "__main__":
    main()
