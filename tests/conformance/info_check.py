#!/usr/bin/env python3
"""Checks `vorlo-decode --info` against the stream headers themselves and
against ffprobe: every conformance vector, and files made with lame (CBR,
VBR with a Xing header, mono, 22.05, 11.025 and 8 kHz) wrapped in a 200 KB
ID3v2 tag in front and an ID3v1 tag behind (one with Latin-1 texts, which
come out in UTF-8); the ID3v2 texts of a file with ID3v2 tags in front and
behind, an APE and an ID3v1 tag, whose facts and decoded audio must be those
of the file without them. Runs the native tool and the Windows tool under
Wine, whose answers must be identical.

Usage: info_check.py [--no-wine]. Prints "N passed, N failed" last."""
import json
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

from checks import (NATIVE, VECTORS, ape_tag, check, finish, host_path, id3v2_tag, id3v2_text, read_wav, run,
                    tools)

BITRATES = [
    [[0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0],
     [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0],
     [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0]],
    [[0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0],
     [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0],
     [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0]],
]
RATES = [44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000]

def header(w):
    """The fields of a header word, or None when it is not a usable header."""
    if (w >> 21) != 0x7FF:
        return None
    ver = (w >> 19) & 3
    lsf = 0 if ver == 3 else 1
    m25 = ver < 2
    layer = 4 - ((w >> 17) & 3)
    bi = (w >> 12) & 15
    code = (w >> 10) & 3
    if layer == 4 or bi == 15 or code == 3:
        return None
    sri = code + (6 if m25 else 3 * lsf)
    kbps = BITRATES[lsf][layer - 1][bi]
    f = RATES[sri]
    pad = (w >> 9) & 1
    if kbps == 0:
        length = None
    elif layer == 1:
        length = (12000 * kbps // f + pad) * 4
    elif layer == 2:
        length = 144000 * kbps // f + pad
    else:
        length = 144000 * kbps // (f << lsf) + pad
    mode = (w >> 6) & 3
    return dict(layer=layer, version="2.5" if m25 else ("2" if lsf else "1"), lsf=lsf,
                samplerate=f, bitrate=kbps, mode=mode, channels=1 if mode == 3 else 2,
                crc=1 - ((w >> 16) & 1), length=length)


def matches(a, b):
    br = a & 0xF000
    return ((a ^ b) & 0xFFFE0C00) == 0 and br != 0 and br != 0xF000


def expected_info(data):
    """What the headers say: the first frame's facts and the number of frames."""
    pos = 0
    while len(data) - pos >= 10 and data[pos:pos + 3] == b"ID3" and data[pos + 3] != 0xFF \
            and data[pos + 4] != 0xFF and not any(b & 0x80 for b in data[pos + 6:pos + 10]):
        s = data[pos + 6:pos + 10]
        pos += (s[0] << 21 | s[1] << 14 | s[2] << 7 | s[3]) + 10 + (10 if data[pos + 5] & 0x10 else 0)
    end = len(data)
    if end - pos >= 128 and data[end - 128:end - 125] == b"TAG":
        end -= 128
    start = pos
    while pos + 4 <= end:
        w = int.from_bytes(data[pos:pos + 4], "big")
        h = header(w)
        if h and pos == start and h["bitrate"] == 0:
            return h  # free format: refused
        if h and h["length"]:
            nxt = pos + h["length"]
            if pos == start or nxt + 4 > end or matches(int.from_bytes(data[nxt:nxt + 4], "big"), w):
                break
        pos += 1
    else:
        return None
    ref = int.from_bytes(data[pos:pos + 4], "big")
    first = header(ref)
    # A Xing/Info header frame holds no audio and gives the count itself.
    side = (9 if first["channels"] == 1 else 17) if first["lsf"] else (17 if first["channels"] == 1 else 32)
    tag = data[pos + 4 + side:pos + 8 + side]
    if first["layer"] == 3 and tag in (b"Xing", b"Info"):
        flags = int.from_bytes(data[pos + 8 + side:pos + 12 + side], "big")
        frames = int.from_bytes(data[pos + 12 + side:pos + 16 + side], "big") if flags & 1 else None
        pos += first["length"]
        info = header(int.from_bytes(data[pos:pos + 4], "big"))
        info["frames"] = frames
        return info
    count = 0
    while pos + 4 <= end:
        w = int.from_bytes(data[pos:pos + 4], "big")
        if not matches(w, ref):
            break
        count += 1
        pos += header(w)["length"]
    first["frames"] = count
    return first


def run_info(tool, path):
    r = run(tool, ["--info", host_path(tool, path)], timeout=120)
    text = r.stdout.decode("utf-8", "replace").replace("\r", "")
    out = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
    return r.returncode, out, r.stderr.decode("utf-8", "replace").replace("\r", "")


def ffprobe(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "a",
                        "-show_entries", "stream=codec_name,sample_rate,channels,nb_read_frames",
                        "-of", "json", path], capture_output=True, text=True, timeout=120)
    try:
        streams = json.loads(r.stdout).get("streams", [])
    except ValueError:
        return None
    return streams[0] if streams and r.returncode == 0 else None


def check_file(name, path, which, xing_expected=None, tag=None):
    data = open(path, "rb").read()
    exp = expected_info(data)
    answers = [run_info(t, path) for t in which]
    rc, out, err = answers[0]
    if len(answers) > 1:
        check(name + " win32=native", answers[1][:2] == answers[0][:2],
              f"native {answers[0][:2]} win32 {answers[1][:2]}")
    if exp is None or exp["bitrate"] == 0:
        check(name + " refused", rc == 1 and "Synchronization Error" in err or "Invalid Bitrate" in err,
              f"rc={rc} err={err!r}")
        return
    check(name + " exit", rc == 0, f"rc={rc} err={err!r}")
    for key in ("layer", "version", "samplerate", "bitrate", "mode", "channels", "crc", "frames"):
        check(f"{name} {key}", out.get(key) == str(exp[key]), f"ours {out.get(key)} headers {exp[key]}")
    spf = 384 if exp["layer"] == 1 else (576 if exp["layer"] == 3 and exp["lsf"] else 1152)
    # A LAME tag's delay and padding (at most 4095 each) leave the encoder's
    # input (gapless_check.py checks the count itself).
    decoded = exp["frames"] * spf
    samples = int(out["samples"]) if "samples" in out else decoded
    check(name + " samples", decoded - 8190 <= samples <= decoded, f"ours {samples} of {decoded}")
    check(name + " seconds", out.get("seconds") == str(int(samples / exp["samplerate"])),
          f"ours {out.get('seconds')}")
    if xing_expected is not None:
        check(name + " xing", exp["frames"] == xing_expected, f"{exp['frames']} != {xing_expected}")
    probe = ffprobe(path)
    if probe:
        codec = {1: "mp1", 2: "mp2", 3: "mp3"}[exp["layer"]]
        check(name + " ffprobe", probe.get("codec_name", "").startswith(codec) and
              probe.get("sample_rate") == str(exp["samplerate"]) and probe.get("channels") == exp["channels"],
              f"ffprobe {probe}")
        # ffprobe counts one frame less than the Xing header of LSF files
        # that lame made (their last frame is all encoder padding).
        if xing_expected is not None and exp["lsf"] == 0:
            check(name + " ffprobe frames", probe.get("nb_read_frames") == str(out.get("frames")),
                  f"ffprobe {probe.get('nb_read_frames')} ours {out.get('frames')}")
    if tag:
        for key, value in tag.items():
            check(f"{name} tag_{key}", out.get("tag_" + key) == value, f"ours {out.get('tag_' + key)!r}")


def id3v2(size):
    """An ID3v2.3 tag holding a title and a picture frame of about size bytes."""
    rnd = random.Random(7)
    title = b"\x00Cover test"
    pic = b"\x00image/jpeg\x00\x03\x00" + bytes(rnd.getrandbits(8) for _ in range(size))
    frames = b"TIT2" + struct.pack(">I", len(title)) + b"\x00\x00" + title
    frames += b"APIC" + struct.pack(">I", len(pic)) + b"\x00\x00" + pic
    n = len(frames)
    return b"ID3\x03\x00\x00" + bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127]) + frames


def id3v1(title, artist, album, year, comment, genre):
    def field(s, n):
        return s.encode("latin-1")[:n].ljust(n, b" ")
    return b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) + \
        field(comment, 30) + bytes([genre])


def make_wav(path, seconds, rate=44100):
    rnd = random.Random(3)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        frames = bytearray()
        for i in range(int(seconds * rate)):
            t = i / rate
            v = 0.3 * math.sin(2 * math.pi * 440 * t) + 0.2 * math.sin(2 * math.pi * 1234 * t * (1 + t)) \
                + 0.05 * (rnd.random() - 0.5)
            s = int(max(-1, min(1, v)) * 32767)
            frames += struct.pack("<hh", s, -s // 2)
        w.writeframes(bytes(frames))


def check_id3v2(name, plain, tmp, which):
    """ID3v2 texts are printed as id3v2_* lines beside the unchanged tag_*
    lines, and tags around the audio (ID3v2 in front and appended, APE,
    ID3v1) change neither the facts nor the decoded audio."""
    body = open(plain, "rb").read()
    title = "Gr\u00fc\u00dfe \U0001F3B5"
    front = id3v2_tag(4, id3v2_text(4, "TIT2", 3, title) + id3v2_text(4, "TPE1", 1, "B\u00e4nd") +
                      id3v2_text(4, "TCON", 3, "17") + id3v2_text(4, "TDRC", 3, "2024-05-01"), footer=True)
    behind = id3v2_tag(4, id3v2_text(4, "TALB", 0, "Behind"), footer=True)
    v1 = id3v1("V1 title", "V1 artist", "V1 album", "1999", "", 8)
    tagged = os.path.join(tmp, name + "-id3v2.mp3")
    with open(tagged, "wb") as f:
        f.write(front + body + ape_tag(body[:2000]) + behind + v1)
    for tool in which:
        _, base, _ = run_info(tool, plain)
        rc, out, err = run_info(tool, tagged)
        where = f"{name} id3v2 {os.path.basename(tool)}"
        check(where + " exit", rc == 0, f"rc={rc} err={err!r}")
        check(where + " no id3v2 lines without a tag", not any(k.startswith("id3v2_") for k in base), str(base))
        facts = {k: v for k, v in out.items() if not k.startswith(("tag_", "id3v2_"))}
        check(where + " facts", facts == base, f"tagged {facts} plain {base}")
        expected = dict(id3v2_version="2.4.0", id3v2_title=title, id3v2_artist="B\u00e4nd", id3v2_album="Behind",
                        id3v2_year="2024", id3v2_comment="", id3v2_genre="Rock", tag_title="V1 title",
                        tag_artist="V1 artist", tag_genre="Jazz")
        for key, value in expected.items():
            check(f"{where} {key}", out.get(key) == value, f"ours {out.get(key)!r}")
    wavs = []
    for src in (plain, tagged):
        wav = src + ".wav"
        r = run(NATIVE, [src, wav], timeout=120)
        check(f"{name} id3v2 decode {os.path.basename(src)}", r is not None and r.returncode == 0,
              r.stderr if r else "time-out")
        wavs.append(read_wav(wav)[3] if os.path.exists(wav) else b"")
    check(name + " id3v2 same audio", wavs[0] == wavs[1] and wavs[0], f"{len(wavs[0])} and {len(wavs[1])} bytes")


def main():
    which = tools()
    for name in sorted(os.listdir(VECTORS)) if os.path.isdir(VECTORS) else []:
        if name.endswith(".bit"):
            check_file(name, os.path.join(VECTORS, name), which)

    tmp = tempfile.mkdtemp(prefix="vorlo_info_")
    try:
        wav = os.path.join(tmp, "src.wav")
        make_wav(wav, 6)
        variants = {
            "cbr128": ["-b", "128"],
            "vbr-v2": ["-V2"],
            "mono": ["-m", "m", "-b", "64"],
            "22k": ["--resample", "22.05", "-b", "64"],
            "11k": ["--resample", "11.025", "-b", "32"],
            "8k": ["--resample", "8", "-b", "16"],
        }
        tag = dict(title="Tagged Title", artist="Some Artist", album="An Album", year="2026",
                   comment="made for a test", genre="Jazz")
        for name, opts in variants.items():
            mp3 = os.path.join(tmp, name + ".mp3")
            subprocess.run(["lame", "--quiet", "--noreplaygain"] + opts + [wav, mp3], check=True)
            body = open(mp3, "rb").read()
            plain = expected_info(body)
            xing = plain["frames"] if body[:4] and b"Xing" in body[:200] or b"Info" in body[:200] else None
            wrapped = os.path.join(tmp, name + "-tagged.mp3")
            with open(wrapped, "wb") as f:
                f.write(id3v2(200 * 1024) + body + id3v1(tag["title"], tag["artist"], tag["album"],
                                                         tag["year"], tag["comment"], 8))
            check_file("lame-" + name, mp3, which, xing_expected=xing)
            if name in ("cbr128", "vbr-v2"):
                check_id3v2("lame-" + name, mp3, tmp, which)
            check_file("lame-" + name + "-tagged", wrapped, which, xing_expected=xing, tag=tag)
        # ID3v1 texts are Latin-1 in the file; the tool prints them in UTF-8.
        latin1 = dict(tag, title="Caf\u00e9 Se\u00f1or", artist="M\u00fcller", comment="\u00bfqu\u00e9?")
        wrapped = os.path.join(tmp, "latin1-tagged.mp3")
        with open(wrapped, "wb") as f:
            f.write(body + id3v1(latin1["title"], latin1["artist"], latin1["album"], latin1["year"],
                                 latin1["comment"], 8))
        check_file("latin1-tagged", wrapped, which, xing_expected=xing, tag=latin1)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
