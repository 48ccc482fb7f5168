#!/usr/bin/env python3
"""The stream's layout seen three ways: for every conformance vector and a
table of odd files, `--info` (frames, or samples when trimmed), the length
`--list` gives and the length of the decoded output agree. Files without
audio (a VBR header frame alone, tags only, junk only, empty) get a message
from `--info` and from playing, and no length in the listing. An Info frame
whose count disagrees with the frames behind it trims nothing.

Usage: layout_check.py [--no-wine]. Prints "N passed, N failed" last."""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from checks import (VECTORS, ape_tag, check, finish, host_path, id3v2_tag, id3v2_text, read_wav, run, tools,
                    write_wav)

NO_AUDIO = "This file holds no MPEG audio frames"
JUNK = "This does not look like a valid MPEG Audio File"
VBR_ONLY = "This file holds a VBR header frame and no audio frames"


def facts(tool, path):
    r = run(tool, ["--info", host_path(tool, path)], timeout=120, text=True)
    out = dict(l.split("=", 1) for l in r.stdout.replace("\r", "").splitlines() if "=" in l)
    return r.returncode, out, r.stderr.replace("\r", "")


def listed(tool, path):
    r = run(tool, ["--list", host_path(tool, path)], timeout=120, text=True)
    rows = [l.split("\t") for l in r.stdout.replace("\r", "").splitlines()]
    return rows[0][1] if rows and len(rows[0]) > 1 else None


def decoded(tool, path, out):
    if os.path.exists(out):
        os.remove(out)
    r = run(tool, [host_path(tool, path), host_path(tool, out)], timeout=300, text=True)
    samples = len(read_wav(out)[3]) // 4 if r.returncode == 0 and os.path.exists(out) else None
    return r.returncode, samples, r.stderr.replace("\r", "")


def check_file(tool, name, path, tmp, message=None, untrimmed=None):
    """Agreement of the three answers, or, with message, the message and no length."""
    name = f"{os.path.basename(tool)} {name}"
    rc, info, err = facts(tool, path)
    length = listed(tool, path)
    drc, got, derr = decoded(tool, path, os.path.join(tmp, "out.wav"))
    if message:
        check(name + " --info says why", rc == 1 and message in err, f"rc={rc} {err!r}")
        check(name + " playing says why", drc == 1 and message in derr, f"rc={drc} {derr!r}")
        check(name + " no length", length == "?", f"--list {length}")
        return
    if not check(name + " --info", rc == 0 and "frames" in info, f"rc={rc} {err!r}"):
        return
    layer, rate = int(info["layer"]), int(info["samplerate"])
    spf = 384 if layer == 1 else 576 if layer == 3 and info["version"] != "1" else 1152
    samples = int(info.get("samples", int(info["frames"]) * spf))
    check(name + " seconds", info.get("seconds") == str(samples // rate), f"{info} samples {samples}")
    check(name + " --list", length == str(samples // rate * 1000), f"--list {length}, --info {samples} samples")
    # A Layer III frame whose main data begins before the stream's first
    # frame cannot be decoded and is not played (l3-sin1k0db opens with two).
    lost = (samples - got) // spf if got is not None and (samples - got) % spf == 0 else -1
    check(name + " decoded", drc == 0 and (lost == 0 or (layer == 3 and 0 < lost <= 2)),
          f"rc={drc} {got} samples decoded, --info {samples} {derr!r}")
    if untrimmed is not None:
        check(name + " untrimmed", "samples" not in info and info["frames"] == str(untrimmed), str(info))


def frames_of(data):
    """The frames of a lame file: (offset, length) from its first header on."""
    out, pos = [], 0
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        h = int.from_bytes(data[pos:pos + 4], "big")
        kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320][(h >> 12) & 15]
        n = 144000 * kbps // 44100 + ((h >> 9) & 1)
        out.append(data[pos:pos + n])
        pos += n
    return out


def lame_crc(frame, at):
    crc = 0
    for b in frame[:at]:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_count(info_frame, count):
    """The Info frame saying count frames, its LAME tag CRC made good again."""
    f = bytearray(info_frame)
    x = f.find(b"Info")
    f[x + 8:x + 12] = struct.pack(">I", count)
    f[x + 154:x + 156] = struct.pack(">H", lame_crc(f, x + 154))
    return bytes(f)


def wave_wrapped(mp3):
    fmt = struct.pack("<HHIIHH", 0x55, 2, 44100, 16000, 1, 0) + struct.pack("<H", 0)
    return (b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(mp3) + 8 + 6) + b"WAVE" + b"fmt " +
            struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(mp3)) + mp3 +
            b"LIST" + struct.pack("<I", 6) + b"\xff\xfb\x90\x00ab")


def main():
    which = tools()
    tmp = tempfile.mkdtemp(prefix="vorlo_layout_")
    try:
        for name in sorted(os.listdir(VECTORS)) if os.path.isdir(VECTORS) else []:
            if not name.endswith(".bit"):
                continue
            free = "free" in name  # refused with the bitrate question
            for tool in which:
                if free:
                    check(f"{name} no length", listed(tool, os.path.join(VECTORS, name)) == "?")
                else:
                    check_file(tool, name, os.path.join(VECTORS, name), tmp)

        rate = 44100
        pcm = b"".join(struct.pack("<hh", int(8000 * math.sin(i * 0.05)), int(6000 * math.sin(i * 0.031)))
                       for i in range(3 * rate + 77))
        write_wav(os.path.join(tmp, "src.wav"), rate, pcm)
        mp3 = {}
        for kind, opts in (("cbr", ["-b", "128"]), ("vbr", ["-V2"])):
            subprocess.run(["lame", "--quiet"] + opts + [os.path.join(tmp, "src.wav"), os.path.join(tmp, kind + ".mp3")],
                           check=True)
            mp3[kind] = open(os.path.join(tmp, kind + ".mp3"), "rb").read()
        cbr = frames_of(mp3["cbr"])
        joined = (cbr[1:] * 2)[:200]
        v1 = b"TAG" + b"Title".ljust(30) + bytes(94) + b"\x0c"
        front = id3v2_tag(3, id3v2_text(3, "TIT2", 0, "Front"))
        odd = [  # name, bytes, message, untrimmed frame count
            ("vbr-header-only", frames_of(mp3["vbr"])[0], VBR_ONLY, None),
            ("vbr-header-and-tags", front + frames_of(mp3["vbr"])[0] + v1, VBR_ONLY, None),
            ("tags-only", front + v1, NO_AUDIO, None),
            ("empty", b"", NO_AUDIO, None),
            ("junk-only", b"Not audio at all. " * 3000, JUNK, None),
            ("junk-first", bytes(range(256)) * 12 + mp3["cbr"], None, None),
            ("id3v2-first", front + mp3["vbr"] + v1, None, None),
            ("wave-wrapper", wave_wrapped(mp3["cbr"]), None, None),
            ("id3v2-appended", mp3["cbr"] + id3v2_tag(4, id3v2_text(4, "TIT2", 3, "Behind"), footer=True), None, None),
            ("ape-at-end", mp3["vbr"] + ape_tag(mp3["vbr"][:1500]) + v1, None, None),
            ("info-count-mismatch", with_count(cbr[0], 2) + b"".join(joined), None, 200),
            ("joined-by-cat", mp3["cbr"] + mp3["cbr"], None, 2 * len(cbr) - 1),
        ]
        for name, data, message, untrimmed in odd:
            path = os.path.join(tmp, name + ".mp3")
            open(path, "wb").write(data)
            for tool in which:
                check_file(tool, name, path, tmp, message, untrimmed)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
