#!/usr/bin/env python3
"""Every thread ends before the process does: the native `vorlo-decode` (for
a file, --info, --list, and streams from test_server.py on 127.0.0.1:
plain, chunked, redirected, cut, ICY, a station list, a 404) and the unit tests run with thread_end_preload.c preloaded,
which makes the thread-local clean-up of every thread slow and fails the
process (status 99, with a message) when a thread has not ended by the
end of exit(). A thread nobody waits for to its very end is then always
caught, not once in thousands of runs.

The preload is first shown to catch a thread left running. Usage:
thread_end_check.py. Prints "N passed, N failed" last."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

import test_server
from checks import NATIVE, ROOT, VECTORS, check, finish

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.join(ROOT, "build", "native", "bin", "vorlo_tests")
STREAM = "l2-fl10.bit"
ENDED = re.compile(r"thread-end check: all (\d+) threads ended")


def run(cmd, preload, delay_ms, timeout=300):
    """(exit status, stderr, threads seen) of cmd under the preload."""
    env = dict(os.environ, LD_PRELOAD=preload, THREAD_END_REPORT="1", THREAD_END_DELAY_MS=str(delay_ms))
    try:
        p = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "timed out", 0
    err = p.stderr.decode("utf-8", "replace")
    m = ENDED.search(err)
    return p.returncode, err, int(m.group(1)) if m else 0


def main():
    work = tempfile.mkdtemp(prefix="vorlo-threadend-")
    preload = os.path.join(work, "thread_end_preload.so")
    p = subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", preload, os.path.join(HERE, "thread_end_preload.c"),
                        "-ldl", "-lpthread"], capture_output=True, text=True)
    if not check("the preload builds", p.returncode == 0, p.stderr):
        return finish()

    # A thread left running at exit is caught.
    rc, err, _ = run([sys.executable, "-c", "import threading, time\n"
                      "threading.Thread(target=time.sleep, args=(30,), daemon=True).start()"], preload, 200, 60)
    check("the preload catches a thread left running", rc == 99 and "1 of 1 threads still running at exit" in err,
          f"rc={rc} {err}")

    src = os.path.join(work, STREAM)
    shutil.copy(os.path.join(VECTORS, STREAM), src)
    with open(src, "rb") as f:
        test_server.Handler.files[STREAM] = test_server.Handler.audio = f.read()
    server, base = test_server.listen()
    out = os.path.join(work, "out.wav")
    # (what, arguments, threads at least, exit status)
    cases = [("a file", [src, out], 1, 0), ("a file to standard output", [src, "-"], 1, 0),
             ("--info of a file", ["--info", src], 0, 0), ("--list of a file", ["--list", src], 0, 0)]
    for kind in ("v", "chunked", "r301", "cut", "early"):
        cases.append((f"a /{kind}/ stream", [f"{base}/{kind}/{STREAM}", out], 2, 0))
    cases += [("a 404 answer", [f"{base}/v/missing.mp3", out], 1, 1),
              ("an ICY station", [f"{base}/icy8192", out], 2, 0),
              ("a station list by type", [f"{base}/stations", out], 2, 0),
              ("--info of a station", ["--info", f"{base}/icy8192"], 1, 0),
              ("--list of a station list", ["--list", f"{base}/stations.pls"], 0, 0)]
    for what, argv, least, status in cases:
        rc, err, seen = run([NATIVE] + argv, preload, 200)
        check(f"vorlo-decode, {what}: every thread ended before exit (exit status {status})",
              rc == status and seen >= least, f"rc={rc}, {seen} threads seen, at least {least} wanted: {err}")
    server.shutdown()

    if check("unit tests built", os.path.exists(TESTS), TESTS):
        rc, err, seen = run([TESTS, "--gtest_brief=1"], preload, 50, 600)
        check("the unit tests: every thread ended before exit", rc == 0 and seen > 0,
              f"rc={rc}, {seen} threads seen: {err[-3000:]}")
    shutil.rmtree(work, ignore_errors=True)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
