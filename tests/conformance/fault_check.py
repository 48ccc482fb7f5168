#!/usr/bin/env python3
"""Faults that need the real system around vorlo-decode (the player's own
path: decoder thread, PCM buffer, WAV file output, HTTP stream):

- a WAV target on a file system that fills up (a small tmpfs; needs the right
  to mount, else skipped): the message, exit 1, and a valid WAV whose PCM is
  the start of the whole decode;
- an HTTP server that accepts and never answers: the open gives up after its
  60 s bound with its message;
- an HTTP server that sends the head and part of the body, then stalls: the
  stream ends after the same bound and what came is decoded; also with the
  Windows tool under Wine, when both are there.

    tests/conformance/fault_check.py [BUILD_DIR]   (default build/native;
                                                    VORLO_NATIVE_BIN overrides the bin dir)

Last line: "N passed, N failed"; exit status 1 on any failure.
"""
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checks  # noqa: E402  (the Windows tool and running it under Wine)

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
build = sys.argv[1] if len(sys.argv) > 1 else "build/native"
if not os.path.isdir(build):
    build = os.path.join(ROOT, build)
BIN = os.environ.get("VORLO_NATIVE_BIN", os.path.join(build, "bin"))
DECODE = os.path.join(BIN, "vorlo-decode")
VECTORS = checks.VECTORS
BOUND = 60 + 30  # the client's stated bound, and room to end

results = {"passed": 0, "failed": 0}
lock = threading.Lock()


def check(name, ok, why=""):
    with lock:
        results["passed" if ok else "failed"] += 1
        print(("ok    " if ok else "FAIL  ") + name + ("" if ok else ": " + why), flush=True)


def decode(args, timeout=BOUND):
    try:
        p = subprocess.run([DECODE] + args, capture_output=True, timeout=timeout)
        return p.returncode, p.stdout, p.stderr.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return None, b"", "timed out"


def full_disk():
    vec = os.path.join(VECTORS, "l2-fl10.bit")
    rc, ref, _ = decode([vec, "-"])
    if rc != 0 or not os.path.exists(vec):
        check("full disk: reference decode", False, "rc %s" % rc)
        return
    with tempfile.TemporaryDirectory(prefix="vorlo-fault-") as mnt:
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", mnt],
                          capture_output=True).returncode != 0:
            print("skip  full disk: cannot mount a tmpfs here")
            return
        try:
            out = os.path.join(mnt, "out.wav")
            rc, _, err = decode([vec, out])
            check("full disk: exit 1", rc == 1, "rc %s" % rc)
            check("full disk: the message", "Wave file output error: Could not write to file" in err, err)
            b = open(out, "rb").read()
            n = struct.unpack_from("<I", b, 42)[0] if len(b) >= 46 else -1
            ok = (len(b) >= 46 and b[:4] == b"RIFF" and struct.unpack_from("<I", b, 4)[0] == len(b) - 8
                  and len(b) == 46 + n + (n & 1))
            check("full disk: a valid WAV of %d PCM bytes" % n, ok and n > 0, "sizes do not agree")
            check("full disk: the PCM is the start of the whole decode", ok and b[46:46 + n] == ref[:n])
        finally:
            subprocess.run(["umount", mnt])


def serve(handler):
    """A one-connection server on the loopback; returns its URL and a stop."""
    srv = socket.socket()
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", 0))
    srv.listen(4)
    done = threading.Event()

    def run():
        conns = []
        srv.settimeout(0.5)
        while not done.is_set():
            try:
                c, _ = srv.accept()
            except socket.timeout:
                continue
            conns.append(c)
            handler(c)
        for c in conns:
            c.close()
        srv.close()

    threading.Thread(target=run, daemon=True).start()
    return "http://127.0.0.1:%d/stream.mp3" % srv.getsockname()[1], done


def never_answers():
    url, done = serve(lambda c: None)
    rc, _, err = decode([url, "-"])
    done.set()
    check("silent server: gives up within its bound", rc is not None, err)
    check("silent server: exit 1 with its message",
          rc == 1 and "VOR Internet Error Message...: The server did not answer in time" in err, err)


def stalls_in_the_body(windows=False):
    vec = os.path.join(VECTORS, "l3-he_44khz.bit")
    body = open(vec, "rb").read()
    part = body[:20000]

    def handler(c):
        c.recv(4096)
        c.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: %d\r\n\r\n" % len(body))
        c.sendall(part)  # and then nothing more, the connection held open

    url, done = serve(handler)
    if windows:
        p = checks.run(checks.WIN32, [url, "-"], timeout=BOUND)
        rc, pcm, err = (p.returncode, p.stdout, p.stderr.decode(errors="replace")) if p else (None, b"", "timed out")
    else:
        rc, pcm, err = decode([url, "-"])
    done.set()
    name = "stalled body" + (" (Windows tool)" if windows else "")
    check(name + ": the stream ends within its bound", rc is not None, err)
    _, ref, _ = decode([vec, "-"])
    # Whole frames that arrived are decoded as from the file.
    frames = len(pcm) // 4608
    check(name + ": what came is decoded (%d frames)" % frames,
          rc == 0 and frames > 10 and pcm[:(frames - 1) * 4608] == ref[:(frames - 1) * 4608], "rc %s" % rc)


if not os.access(DECODE, os.X_OK):
    check("setup", False, DECODE + " not found")
else:
    jobs = [threading.Thread(target=f) for f in (full_disk, never_answers, stalls_in_the_body)]
    if checks.WIN32 in checks.tools():
        jobs.append(threading.Thread(target=stalls_in_the_body, args=(True,)))
    for j in jobs:
        j.start()
    for j in jobs:
        j.join()
print("%d passed, %d failed" % (results["passed"], results["failed"]))
sys.exit(1 if results["failed"] else 0)
