#!/usr/bin/env python3
"""Gapless lengths: chirps whose lengths are no multiple of a frame, made
with lame (44.1 kHz stereo CBR and VBR, 22.05 kHz mono), decode to exactly
the encoder's input: the same number of samples, and a cross-correlation
with the input that peaks at lag 0. So do the --mono and --downsample
outputs (trimmed on the decoded samples before down-sampling: an output
sample is kept when the first decoded sample behind it is), and two halves
of one chirp played as a playlist, which come out as one output with no
gap at the joint. `--info` gives samples=N. A tag whose CRC is wrong is
ignored: the whole decoded stream comes out, of which the trimmed output is
the exact middle.

Usage: gapless_check.py [--no-wine]. Prints "N passed, N failed" last."""
import math
import operator
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from checks import check, finish, host_path, read_wav, run, samples16, tools, write_wav

LAGS = list(range(-48, 49)) + [s * d for s in (-1, 1) for d in (529, 576, 1105, 1152)]


def chirp(rate, n, channels):
    """A rising chirp, the right channel a slower one: 16-bit interleaved bytes."""
    out = bytearray()
    for i in range(n):
        t = i / rate
        left = int(12000 * math.sin(2 * math.pi * (200 * t + 2000 * t * t)))
        right = int(9000 * math.sin(2 * math.pi * (330 * t + 700 * t * t)))
        out += struct.pack("<h", left) if channels == 1 else struct.pack("<hh", left, right)
    return bytes(out)


def lame_start(mp3):
    """The first decoded sample of the input: the tag's delay + 529."""
    d = open(mp3, "rb").read(512)
    x = max(d.find(b"Xing"), d.find(b"Info"))
    return (int.from_bytes(d[x + 141:x + 144], "big") >> 12) + 529


def peak_lag(ref, ours, at, length=8192):
    """The lag of the largest normalised cross-correlation of ours with ref
    around ref[at:at + length], and its value."""
    x = ref[at:at + length]
    ex = math.sqrt(sum(map(operator.mul, x, x))) or 1.0
    best = None
    for lag in LAGS:
        y = ours[at + lag:at + lag + length]
        if len(y) < length:
            continue
        c = sum(map(operator.mul, x, y)) / (ex * (math.sqrt(sum(map(operator.mul, y, y))) or 1.0))
        if best is None or c > best[1]:
            best = (lag, c)
    return best or (None, 0.0)


def decode(tool, src, dst, opts=()):
    if os.path.exists(dst):
        os.remove(dst)
    r = run(tool, list(opts) + [host_path(tool, src), host_path(tool, dst)])
    if r is None or r.returncode != 0:
        return None
    return read_wav(dst)


def info(tool, path):
    r = run(tool, ["--info", host_path(tool, path)], text=True)
    return dict(l.split("=", 1) for l in (r.stdout if r else "").replace("\r", "").splitlines() if "=" in l)


def check_aligned(name, ref, ours, at):
    lag, c = peak_lag(ref, ours, at)
    check(name + " peak at lag 0", lag == 0 and c > 0.9, f"lag {lag}, correlation {c:.3f}")


def main():
    which = tools()
    tmp = tempfile.mkdtemp(prefix="vorlo_gapless_")
    try:
        sources = {
            "44k-stereo": (44100, 2, 2 * 44100 + 377),
            "22k-mono": (22050, 1, 2 * 22050 + 123),
        }
        pcm = {}
        for name, (rate, ch, n) in sources.items():
            pcm[name] = chirp(rate, n, ch)
            write_wav(os.path.join(tmp, name + ".wav"), rate, pcm[name], ch)
        files = {  # name: source, lame options
            "cbr": ("44k-stereo", ["-b", "128"]),
            "vbr": ("44k-stereo", ["-V2"]),
            "mono22": ("22k-mono", ["-b", "64"]),
        }
        for name, (src, opts) in files.items():
            subprocess.run(["lame", "--quiet"] + opts + [os.path.join(tmp, src + ".wav"),
                                                        os.path.join(tmp, name + ".mp3")], check=True)
        # Two halves of the stereo chirp, cut inside a frame, as one album.
        cut = 44100 + 501
        half = [pcm["44k-stereo"][:cut * 4], pcm["44k-stereo"][cut * 4:]]
        for i, part in enumerate(half):
            write_wav(os.path.join(tmp, f"part{i}.wav"), 44100, part, 2)
            subprocess.run(["lame", "--quiet", "-b", "160", os.path.join(tmp, f"part{i}.wav"),
                            os.path.join(tmp, f"part{i}.mp3")], check=True)
        with open(os.path.join(tmp, "album.m3u"), "w") as f:
            f.write("part0.mp3\npart1.mp3\n")
        # The CBR file with a wrong tag CRC.
        data = bytearray(open(os.path.join(tmp, "cbr.mp3"), "rb").read())
        x = data.find(b"Info")
        data[x + 154] ^= 0x01
        open(os.path.join(tmp, "badcrc.mp3"), "wb").write(bytes(data))

        for tool in which:
            tag = os.path.basename(tool)
            for name, (src, _) in files.items():
                rate, ch, n = sources[src]
                mp3 = os.path.join(tmp, name + ".mp3")
                facts = info(tool, mp3)
                check(f"{tag} {name} --info samples", facts.get("samples") == str(n) and
                      facts.get("seconds") == str(n // rate), f"{facts}")
                out = decode(tool, mp3, os.path.join(tmp, name + ".out.wav"))
                if not check(f"{tag} {name} decodes", out is not None):
                    continue
                # Stereo output: a single channel comes out on both sides.
                ours, ref = samples16(out[3]), samples16(pcm[src])
                check(f"{tag} {name} length", out[:3] == (2, rate, 16) and len(ours) == 2 * n,
                      f"format {out[:3]}, {len(ours) // 2} samples, input {n}")
                for c in range(2):
                    check_aligned(f"{tag} {name} channel {c}", ref[c % ch::ch], ours[c::2], n // 3)

            # Mono mix and half rate of the stereo file.
            rate, ch, n = sources["44k-stereo"]
            ref = samples16(pcm["44k-stereo"])
            mono = decode(tool, os.path.join(tmp, "cbr.mp3"), os.path.join(tmp, "mono.wav"), ["--mono"])
            if check(f"{tag} --mono decodes", mono is not None):
                mix = [(a + b) // 2 for a, b in zip(ref[0::2], ref[1::2])]
                m = samples16(mono[3])
                check(f"{tag} --mono length", mono[:3] == (1, rate, 16) and len(m) == n, f"{mono[:3]} {len(m)}")
                check_aligned(f"{tag} --mono", mix, m, n // 3)
            halfout = decode(tool, os.path.join(tmp, "cbr.mp3"), os.path.join(tmp, "half.wav"), ["--downsample", "1"])
            if check(f"{tag} --downsample 1 decodes", halfout is not None):
                start = lame_start(os.path.join(tmp, "cbr.mp3"))
                h = samples16(halfout[3])[0::2]
                expect = (start + n + 1) // 2 - (start + 1) // 2
                check(f"{tag} --downsample 1 length", len(h) == expect, f"{len(h)} != {expect}")
                check_aligned(f"{tag} --downsample 1", ref[0::2][start & 1::2], h, n // 6)

            # The album: one output, the joint in its place.
            album = decode(tool, os.path.join(tmp, "album.m3u"), os.path.join(tmp, "album.wav"))
            if check(f"{tag} album decodes", album is not None and not os.path.exists(os.path.join(tmp, "album-2.wav"))):
                a = samples16(album[3])
                check(f"{tag} album length", len(a) == len(ref), f"{len(a) // 2} samples, input {n}")
                check_aligned(f"{tag} album joint", ref[0::2], a[0::2], cut - 4096)

            # A wrong CRC: every decoded sample, the trimmed output in the middle.
            bad = decode(tool, os.path.join(tmp, "badcrc.mp3"), os.path.join(tmp, "bad.wav"))
            good = decode(tool, os.path.join(tmp, "cbr.mp3"), os.path.join(tmp, "good.wav"))
            if check(f"{tag} wrong CRC decodes", bad is not None and good is not None):
                facts = info(tool, os.path.join(tmp, "badcrc.mp3"))
                start = lame_start(os.path.join(tmp, "cbr.mp3")) * 4
                check(f"{tag} wrong CRC: untrimmed", len(bad[3]) == int(facts["frames"]) * 1152 * 4 and
                      "samples" not in facts and bad[3][start:start + len(good[3])] == good[3],
                      f"{len(bad[3]) // 4} samples, {facts}")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
