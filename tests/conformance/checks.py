"""What the check scripts of this folder share: where the tools and the
conformance vectors are, running a tool natively or under Wine, counting
results, reading the WAV files the tools write and comparing their PCM.

Not a check itself (not executable): scripts/test runs only the executable
files of this folder."""
import math
import os
import shutil
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The shared material beside the clone, or where VORLO_SHARED says.
SHARED = os.environ.get("VORLO_SHARED") or os.path.join(os.path.dirname(ROOT), "shared")
VECTORS = os.path.join(SHARED, "vectors")
NATIVE = os.environ.get("VORLO_DECODE_NATIVE", os.path.join(ROOT, "build", "native", "bin", "vorlo-decode"))
WIN32 = os.environ.get("VORLO_DECODE_WIN32", os.path.join(ROOT, "build", "win32", "bin", "vorlo-decode.exe"))
ENCODER = os.path.join(ROOT, "build", "native", "bin", "vorlo-encode")

_counts = {"passed": 0, "failed": 0, "skipped": 0}


def check(name, ok, detail=""):
    """Counts one result; a failure is printed with its detail."""
    if ok:
        _counts["passed"] += 1
    else:
        _counts["failed"] += 1
        print(f"FAIL {name}: {detail}")
    return ok


def skip(name, why):
    _counts["skipped"] += 1
    print(f"SKIP {name}: {why}")


def finish():
    """Prints the closing line and gives the exit status."""
    line = f"{_counts['passed']} passed, {_counts['failed']} failed"
    if _counts["skipped"]:
        line += f", {_counts['skipped']} skipped"
    print(line)
    return 0 if _counts["failed"] == 0 else 1


def tools():
    """The native tool, and the Windows one when Wine is there and --no-wine was not given."""
    found = [NATIVE]
    if "--no-wine" not in sys.argv and shutil.which("wine") and os.path.exists(WIN32):
        found.append(WIN32)
    return found


def is_windows(tool):
    return tool.endswith(".exe")


def host_path(tool, path):
    """A path as the tool sees it: under Wine the host's root is drive Z:."""
    return "Z:" + path if is_windows(tool) and path.startswith("/") else path


def run(tool, args, timeout=300, text=False):
    """Runs a tool (under Wine for a .exe, in the tests' Wine home) and returns
    the CompletedProcess, or None on a time-out."""
    env = None
    cmd = [tool] + list(args)
    if is_windows(tool):
        env = dict(os.environ)
        env["HOME"] = os.environ.get("VORLO_WINE_HOME", env.get("HOME", "/tmp"))
        cmd = ["wine"] + cmd
    try:
        return subprocess.run(cmd, capture_output=True, timeout=timeout, env=env, text=text)
    except subprocess.TimeoutExpired:
        return None


def read_wav(path):
    """(channels, rate, bits, data) of a WAV file, checking its header."""
    d = open(path, "rb").read()
    if d[:4] != b"RIFF" or d[8:12] != b"WAVE":
        raise ValueError("not a RIFF WAVE file")
    if struct.unpack("<I", d[4:8])[0] != len(d) - 8:
        raise ValueError("RIFF size does not match the file")
    pos = 12
    fmt = None
    while pos + 8 <= len(d):
        cid, size = d[pos:pos + 4], struct.unpack("<I", d[pos + 4:pos + 8])[0]
        body = d[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            tag, ch, rate, avg, align, bits = struct.unpack("<HHIIHH", body[:16])
            if tag != 1 or align != ch * bits // 8 or avg != rate * align:
                raise ValueError("inconsistent format record")
            fmt = (ch, rate, bits)
        elif cid == b"data":
            if fmt is None:
                raise ValueError("data before fmt")
            return fmt + (body,)
        pos += 8 + size + (size & 1)
    raise ValueError("no data chunk")


def write_wav(path, rate, frames, channels=2):
    """A 16-bit PCM WAV file holding the interleaved sample bytes frames."""
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(frames)) + b"WAVEfmt " +
                struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * 2 * channels, 2 * channels, 16) +
                b"data" + struct.pack("<I", len(frames)) + frames)


def samples16(data):
    return struct.unpack("<%dh" % (len(data) // 2), data[:len(data) // 2 * 2])


def pcm_difference(ours, theirs):
    """(RMS, maximum) difference in LSB over the samples both sequences hold;
    None when they share none."""
    n = min(len(ours), len(theirs))
    if n == 0:
        return None
    diff = [ours[i] - theirs[i] for i in range(n)]
    return math.sqrt(sum(x * x for x in diff) / n), max(abs(x) for x in diff)


def check_accuracy(name, ours, theirs):
    """The full-accuracy bound of a 16-bit decode (RMS below 2^-15/sqrt(12)
    of full scale, maximum at most 2 LSB) over the samples both hold (none:
    no check)."""
    d = pcm_difference(ours, theirs)
    if d is not None:
        check(name + " accuracy", d[0] < 2 ** -15 / math.sqrt(12) * 32768 and d[1] <= 2,
              f"rms {d[0]:.3f} LSB, max {d[1]} LSB")


def id3v2_text(version, frame_id, enc, text):
    """One ID3v2 text frame of the given version (2, 3 or 4) in text encoding
    enc: 0 Latin-1, 1 UTF-16 with its mark, 2 UTF-16BE, 3 UTF-8."""
    data = bytes([enc]) + {0: lambda t: t.encode("latin-1"), 1: lambda t: t.encode("utf-16"),
                           2: lambda t: t.encode("utf-16-be"), 3: lambda t: t.encode("utf-8")}[enc](text)
    n = len(data)
    if version == 2:
        return frame_id.encode() + n.to_bytes(3, "big") + data
    size = n.to_bytes(4, "big") if version == 3 else bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
    return frame_id.encode() + size + b"\x00\x00" + data


def id3v2_tag(version, frames, footer=False):
    """An ID3v2 tag holding frames (bytes), with a footer (2.4) when asked."""
    n = len(frames)
    head = b"ID3" + bytes([version, 0, 0x10 if footer else 0, (n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
    return head + frames + (b"3DI" + head[3:] if footer else b"")


def ape_tag(value):
    """An APEv2 tag with its header and one binary item holding value."""
    item = struct.pack("<II", len(value), 2) + b"Cover Art (Front)\x00" + value
    def block(is_header):
        return b"APETAGEX" + struct.pack("<IIII", 2000, len(item) + 32, 1, (1 << 31) | (is_header << 29)) + bytes(8)
    return block(1) + item + block(0)
