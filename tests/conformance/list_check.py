#!/usr/bin/env python3
"""Checks `vorlo-decode --list`: a directory tree of files made with lame
(CBR and VBR with a Xing header, with and without a 100 KB ID3v2 tag in
front, ID3v1 tags behind; ID3v2 2.2, 2.3 and 2.4 texts in front or appended,
an APE tag; a Cyrillic name with Latin-1 tag texts) gives every file with its
length within one second of ffprobe's and its title and artist (ID3v2's where
there are, else ID3v1's), in UTF-8; PLS and M3U lists with relative,
absolute, URL, comment and blank entries, CR LF and LF line ends give their
entries in order, and M3U8 and Windows-1252 M3U lists their names. Native
tool. Prints "N passed, N failed" last."""
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

from checks import NATIVE as TOOL, ape_tag, check, finish, id3v2_tag, id3v2_text


def listing(path):
    r = subprocess.run([TOOL, "--list", path], capture_output=True, text=True, timeout=120)
    rows = [line.split("\t") for line in r.stdout.splitlines()]
    return r.returncode, rows


def ffprobe_seconds(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "json", path],
                       capture_output=True, text=True, timeout=60)
    return float(json.loads(r.stdout)["format"]["duration"])


def id3v2(size):
    body = b"APIC" + struct.pack(">I", size) + b"\x00\x00" + bytes(random.Random(5).getrandbits(8) for _ in range(size))
    n = len(body)
    return b"ID3\x03\x00\x00" + bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127]) + body


def id3v1(title, artist):
    f = lambda s, n: s.encode("latin-1")[:n].ljust(n, b" ")
    return b"TAG" + f(title, 30) + f(artist, 30) + f("", 30) + f("2026", 4) + f("", 30) + bytes([12])


def make_wav(path, seconds):
    rnd = random.Random(9)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(44100)
        data = bytearray()
        for i in range(int(seconds * 44100)):
            t = i / 44100
            v = 0.3 * math.sin(2 * math.pi * 330 * t * (1 + 0.5 * t)) + 0.1 * (rnd.random() - 0.5)
            data += struct.pack("<hh", int(v * 30000), int(v * 20000))
        w.writeframes(bytes(data))


def main():
    tmp = tempfile.mkdtemp(prefix="vorlo_list_")
    try:
        tree = os.path.join(tmp, "music")
        os.makedirs(os.path.join(tree, "album", "disc2"))
        wav = os.path.join(tmp, "src.wav")
        make_wav(wav, 7.3)
        made = {}
        variants = [("cbr", ["-b", "128"], False), ("cbr-v2tag", ["-b", "160"], True),
                    ("vbr", ["-V2"], False), ("vbr-v2tag", ["-V4"], True)]
        dirs = [tree, os.path.join(tree, "album"), os.path.join(tree, "album", "disc2"), os.path.join(tree, "album")]
        for (name, opts, tagged), d in zip(variants, dirs):
            mp3 = os.path.join(tmp, name + ".mp3")
            subprocess.run(["lame", "--quiet"] + opts + [wav, mp3], check=True)
            body = open(mp3, "rb").read()
            path = os.path.join(d, name + ".mp3")
            with open(path, "wb") as f:
                f.write((id3v2(100 * 1024) if tagged else b"") + body + id3v1("Title " + name, "Artist " + name))
            made[path] = (ffprobe_seconds(mp3), "Title " + name, "Artist " + name)
        # ID3v2 texts win over the ID3v1 tag: 2.2 Latin-1, 2.3 UTF-16 in
        # front, 2.4 UTF-8 appended behind the audio; an APE tag behind the
        # audio (holding a copy of its first frame) is not audio.
        cbr = os.path.join(tree, "cbr.mp3")
        body = open(cbr, "rb").read()[:-128]
        title, artist = "Gr\u00fc\u00dfe \U0001F3B5", "B\u00e4nd"
        v2 = {v: id3v2_tag(v, id3v2_text(v, "TT2" if v == 2 else "TIT2", enc, t) +
                           id3v2_text(v, "TP1" if v == 2 else "TPE1", enc, a), footer=v == 4)
              for v, enc, t, a in ((2, 0, "Gr\u00fc\u00dfe", "B\u00e4nd"), (3, 1, title, artist), (4, 3, title, artist))}
        old = id3v1("Old title", "Old artist")
        for name, data, t, a in (("v22.mp3", v2[2] + body + old, "Gr\u00fc\u00dfe", "B\u00e4nd"),
                                 ("v23-ape.mp3", v2[3] + body + ape_tag(body[:1000]) + old, title, artist),
                                 ("v24-appended.mp3", body + v2[4] + old, title, artist)):
            path = os.path.join(tree, name)
            open(path, "wb").write(data)
            made[path] = (made[cbr][0], t, a)
        # A Cyrillic name and Latin-1 tag texts: the listing says both in UTF-8.
        named = os.path.join(tree, "\u041f\u0456\u0441\u043d\u044f.mp3")
        with open(named, "wb") as f:
            f.write(body + id3v1("Caf\u00e9 Se\u00f1or", "M\u00fcller"))
        made[named] = (ffprobe_seconds(mp3), "Caf\u00e9 Se\u00f1or", "M\u00fcller")
        open(os.path.join(tree, "notes.txt"), "w").write("not audio\n")

        rc, rows = listing(tree)
        check("directory exit", rc == 0, f"rc={rc}")
        seen = {r[0]: r for r in rows}
        # Every file of the tree is added, audio or not (a text file's length is unread).
        notes = os.path.join(tree, "notes.txt")
        check("directory entries", sorted(seen) == sorted(list(made) + [notes]), f"{sorted(seen)}")
        check("non-audio entry", seen.get(notes, [None, None])[1] == "?", str(seen.get(notes)))
        for path, (seconds, title, artist) in made.items():
            row = seen.get(path)
            if not row or len(row) != 4:
                check(path + " row", False, str(row))
                continue
            check(os.path.basename(path) + " duration", row[1] != "?" and abs(int(row[1]) / 1000 - seconds) <= 1.0,
                  f"ours {row[1]} ms, ffprobe {seconds:.3f} s")
            check(os.path.basename(path) + " tag", row[2:] == [title, artist], str(row[2:]))

        # Lists: relative, absolute, URL, comment and blank entries.
        a = os.path.join(tree, "cbr.mp3")
        rel = "album/vbr-v2tag.mp3"
        url = "http://127.0.0.1:9/stream.mp3"
        m3u = "#EXTM3U\n#EXTINF:7,Some title\n" + "cbr.mp3\n\n" + rel + "\n" + a + "\n# comment\n" + url + "\n"
        expected = [a, os.path.join(tree, rel), a, url]
        for name, text in (("lf.m3u", m3u), ("crlf.m3u", m3u.replace("\n", "\r\n")),
                           ("bom.m3u", "\ufeff" + m3u)):
            p = os.path.join(tree, name)
            open(p, "w", encoding="utf-8", newline="").write(text)
            rc, rows = listing(p)
            check(name + " entries", rc == 0 and [r[0] for r in rows] == expected, f"rc={rc} {[r[0] for r in rows]}")
            check(name + " url unread", rows and rows[-1][1:2] == ["?"], str(rows[-1:]))
        # An .m3u8 is UTF-8; an .m3u that is not valid UTF-8 is Windows-1252.
        for name, data, want in (("names.m3u8", os.path.basename(named).encode() + b"\n", named),
                                 ("legacy.m3u", b"Caf\xe9.mp3\r\n", os.path.join(tree, "Caf\u00e9.mp3"))):
            p = os.path.join(tree, name)
            open(p, "wb").write(data)
            rc, rows = listing(p)
            check(name + " entries", rc == 0 and [r[0] for r in rows] == [want], f"rc={rc} {[r[0] for r in rows]}")
        pls = ("[playlist]\nFile1=cbr.mp3\nTitle1=x\nFile2=\nFile3=" + rel + "\nFile4=" + a + "\nFile5=" + url +
               "\nNumberOfEntries=5\nVersion=2\n")
        for name, text in (("lf.pls", pls), ("crlf.pls", pls.replace("\n", "\r\n"))):
            p = os.path.join(tree, name)
            open(p, "w", newline="").write(text)
            rc, rows = listing(p)
            check(name + " entries", rc == 0 and [r[0] for r in rows] == expected, f"rc={rc} {[r[0] for r in rows]}")
        for path, (seconds, _, _) in made.items():
            if path == a:
                row = [r for r in rows if r[0] == a][0]
                check("pls entry duration", abs(int(row[1]) / 1000 - seconds) <= 1.0, str(row))
        hostile_lists(tree)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return finish()


def hostile_lists(tree):
    """Hostile lists and names: each ends at once with its entries and, where
    something is passed over, its message; nothing is listed cut."""
    deep = tree
    while len(deep) < 258:
        deep = os.path.join(deep, "d" * min(200, 258 - len(deep) - 1))
    os.makedirs(deep)
    for n in ("a.mp3", "b.mp3"):
        open(os.path.join(deep, n), "wb").write(b"\xff\xfb\x90\x00" + bytes(417))
    long_url = "http://127.0.0.1:9/" + "u" * 300
    cases = [
        ("count.pls", b"[playlist]\nNumberOfEntries=2147483647\nFile2147483647=a.mp3\n", [os.path.join(tree, "a.mp3")], ""),
        ("long.m3u", (long_url + "\ncbr.mp3\n").encode(), [os.path.join(tree, "cbr.mp3")], "Passed Over: " + long_url[:40]),
        (deep, None, [], "2 paths longer than 259 bytes were passed over; the first: " + deep),
        (long_url, None, [], "Path Longer Than 259 Bytes, Passed Over: " + long_url[:40]),
    ]
    for name, data, entries, message in cases:
        path = name if data is None else os.path.join(tree, name)
        if data is not None:
            open(path, "wb").write(data)
        r = subprocess.run([TOOL, "--list", path], capture_output=True, text=True, timeout=20)
        got = [line.split("\t")[0] for line in r.stdout.splitlines()]
        label = os.path.basename(name)[:30]
        check(f"hostile {label}: its entries", got == entries, str(got))
        check(f"hostile {label}: its message", (message in r.stderr) if message else r.stderr == "", r.stderr[:300])
    rc = subprocess.run([TOOL, long_url, os.path.join(tree, "long.wav")], capture_output=True, text=True, timeout=20)
    check("a URL longer than a path is refused, never played cut", rc.returncode == 1 and "longer than a path" in rc.stderr,
          rc.stderr[:300])


if __name__ == "__main__":
    sys.exit(main())
