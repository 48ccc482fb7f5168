"""What the list benchmarks share: the tool's default path, their options
and the timing loop over `vorlo-decode --list`. Not a benchmark itself."""
import argparse
import os
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.join(ROOT, "build", "native", "bin", "vorlo-decode")


def options(count, count_default, rounds_default):
    """The parsed options --COUNT N, --rounds N and --tool PATH."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--" + count, type=int, default=count_default)
    ap.add_argument("--rounds", type=int, default=rounds_default)
    ap.add_argument("--tool", default=TOOL)
    return ap.parse_args()


def list_times(tool, path, rounds, count, accept=None):
    """The times of rounds runs of `tool --list path`; each listing must be
    count lines long, and accept(its lines) true when given."""
    times = []
    for _ in range(rounds):
        t = time.perf_counter()
        out = subprocess.run([tool, "--list", path], stdout=subprocess.PIPE, check=True).stdout
        times.append(time.perf_counter() - t)
        listed = out.decode("latin-1").splitlines()
        if len(listed) != count or (accept and not accept(listed)):
            raise SystemExit("%s: unexpected listing, %d lines, not %d" % (path, len(listed), count))
    return times
