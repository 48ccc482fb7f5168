#!/usr/bin/env python3
"""Plays small streams again and again through `vorlo-decode URL -`, several
runs at a time so that both cores stay busy, against test_server.py on
127.0.0.1 (a free port; no other address is contacted): a chunked body, a 302 redirect, a body cut short by a
hang-up, and an ICY station with metadata. A race at the end of a run (a
thread still cleaning up while the process exits) shows as a crash, a
sanitizer report or a wrong output once in a few thousand runs.

Every run must exit with status 0, give the PCM of the same bytes decoded
from disk, say nothing on standard error but the expected messages, and
end within its own time bound; the whole check ends when its time runs
out, counting the runs not made as failures.

Usage: stream_stress_check.py [--tool PATH] [--runs N] [--jobs N]
  [--seconds N]. Defaults: the native tool, 2000 runs of each stream, 4 at
a time, 600 s in all. A sanitizer build of the tool runs with leak
detection (ASAN_OPTIONS unless set). Prints "N passed, N failed" last."""
import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import icy_check
import test_server
from checks import NATIVE, VECTORS, check, finish

SOURCE = "l2-fl10.bit"
SMALL = 12000  # bytes of it: a few dozen frames, one ICY metadata block
LOST = "VOR Internet Error Message...: The connection to the server was lost"


def decode(tool, env, path):
    p = subprocess.run([tool, path, "-"], capture_output=True, env=env, timeout=60)
    return p.stdout if p.returncode == 0 else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", default=NATIVE)
    ap.add_argument("--runs", type=int, default=2000)
    ap.add_argument("--jobs", type=int, default=4)
    ap.add_argument("--seconds", type=int, default=600)
    args = ap.parse_args()
    if not check("tool built", os.path.exists(args.tool), args.tool):
        return finish()
    env = dict(os.environ)
    env.setdefault("ASAN_OPTIONS", "detect_leaks=1:abort_on_error=1")
    env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1")

    work = tempfile.mkdtemp(prefix="vorlo-stress-")
    with open(os.path.join(VECTORS, SOURCE), "rb") as f:
        data = f.read()[:SMALL]
    test_server.Handler.files["s.bit"] = data
    test_server.Handler.audio = data
    files = {"whole": data, "cut": data[:test_server.cut_size(data)]}
    want = {}
    for name, body in files.items():
        path = os.path.join(work, name + ".bit")
        with open(path, "wb") as f:
            f.write(body)
        want[name] = decode(args.tool, env, path)
        check(f"{name} stream decodes from disk", want[name], path)
    server, base = test_server.listen()
    # (name, URL, expected PCM, expected lines on standard error)
    icy_titles = [f"Stream title: {t}" for t in icy_check.shown_titles(8192, data)]
    streams = [("chunked", f"{base}/chunked/s.bit", want["whole"], []),
               ("redirected", f"{base}/r302/s.bit", want["whole"], []),
               ("cut", f"{base}/cut/s.bit", want["cut"], [LOST]),
               ("icy", f"{base}/icy8192", want["whole"], icy_titles + [LOST])]

    deadline = time.monotonic() + args.seconds
    stop = threading.Event()

    def one(kind, url, pcm, lines):
        """None when the run was right, else what went wrong."""
        if stop.is_set() or time.monotonic() > deadline:
            stop.set()
            return "not run: the check's time ran out"
        try:
            p = subprocess.run([args.tool, url, "-"], capture_output=True, env=env, timeout=60)
        except subprocess.TimeoutExpired:
            return "timed out after 60 s"
        err = p.stderr.decode("utf-8", "replace").splitlines()
        if p.returncode != 0:
            return f"rc={p.returncode} " + "\n".join(err[-20:])
        if p.stdout != pcm:
            return f"{len(p.stdout)} bytes of PCM, not the {len(pcm)} from disk"
        if err != lines:
            return "standard error: " + repr(err[-20:])
        return None

    started = time.monotonic()
    failures = {s[0]: [] for s in streams}
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        runs = [(s[0], pool.submit(one, *s)) for _ in range(args.runs) for s in streams]
        for kind, fut in runs:
            why = fut.result()
            if why:
                failures[kind].append(why)
    server.shutdown()
    shutil.rmtree(work, ignore_errors=True)
    for kind, _, _, _ in streams:
        bad = failures[kind]
        check(f"{args.runs} runs of the {kind} stream, {args.jobs} at a time, all right", not bad,
              f"{len(bad)} wrong, the first: {bad[0] if bad else ''}")
    print(f"{len(streams) * args.runs} runs in {time.monotonic() - started:.0f} s")
    return finish()


if __name__ == "__main__":
    sys.exit(main())
