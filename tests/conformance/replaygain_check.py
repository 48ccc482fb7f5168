#!/usr/bin/env python3
"""ReplayGain: copies of a conformance vector tagged with known gains, one
per tag source (ID3v2 TXXX, ID3v2 RVA2, APEv2, the LAME tag), decode to the
untagged decode scaled by 10^(gain/20) within 1 LSB, in track, album and
automatic mode (album in order, track with --shuffle); --info shows the
values. The preamp, the untagged files' gain, the sources' order, clipping
prevention from the peak (and its absence), mono, half rate, 8-bit and the
equaliser are checked the same way; malformed values are never applied. Mode
off and an untagged file are byte-identical to the plain decode.

Usage: replaygain_check.py [--no-wine]. Prints "N passed, N failed" last."""
import math
import os
import struct
import sys
import tempfile

from checks import (VECTORS, ape_tag_items, check, finish, host_path, id3v2_tag, read_wav, run, samples16, tools)

VECTOR = os.path.join(VECTORS, "l3-sin1k0db.bit")  # 44.1 kHz stereo, a full-scale sine
TRACK, ALBUM = -6.0, -3.0


def txxx(version, name, value):
    """An ID3v2 (2.3 or 2.4) TXXX frame, Latin-1."""
    data = b"\x00" + name.encode() + b"\x00" + value.encode("latin-1")
    n = len(data)
    size = n.to_bytes(4, "big") if version == 3 else bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
    return b"TXXX" + size + b"\x00\x00" + data


def rva2(ident, db, peak=None):
    """An ID3v2.4 RVA2 frame: master volume in 1/512 dB, a 16-bit peak."""
    data = ident.encode() + b"\x00\x01" + struct.pack(">h", round(db * 512))
    data += b"\x10" + struct.pack(">H", round(peak * 32768)) if peak is not None else b"\x00"
    n = len(data)
    return b"RVA2" + bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127]) + b"\x00\x00" + data


def rg_frames(track, album, peak=None, names=("REPLAYGAIN_TRACK_GAIN", "replaygain_album_gain")):
    frames = txxx(3, names[0], track) + txxx(3, names[1], album)
    return frames + (txxx(3, "REPLAYGAIN_TRACK_PEAK", peak) if peak else b"")


def with_lame_frame(mp3, radio, audiophile):
    """mp3 with a LAME Info frame in front of its first frame (whose header
    it takes, without CRC or padding) holding the radio and audiophile
    gains, its CRC right, and a frame count that does not match (so nothing
    is trimmed)."""
    at = next(i for i in range(len(mp3) - 1) if mp3[i] == 0xFF and mp3[i + 1] & 0xE0 == 0xE0)
    word = (int.from_bytes(mp3[at:at + 4], "big") | 0x10000) & ~0x200
    length = 144 * 128000 // 44100
    f = bytearray(length)
    f[:4] = word.to_bytes(4, "big")
    xing = 4 + 32
    f[xing:xing + 16] = b"Info" + struct.pack(">III", 0x0F, 1, 1)  # frames, bytes, table, quality
    ext = xing + 120
    f[ext:ext + 9] = b"LAME3.100"
    def gain(name, db):
        return (name << 13) | (3 << 10) | ((1 << 9) if db < 0 else 0) | round(abs(db) * 10)
    f[ext + 15:ext + 19] = struct.pack(">HH", gain(1, radio), gain(2, audiophile))
    crc = 0
    for b in f[:ext + 34]:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    f[ext + 34:ext + 36] = struct.pack(">H", crc)
    return mp3[:at] + bytes(f) + mp3[at:]


def decode(tool, src, opts=()):
    """The decoded samples (a tuple), or None with the failure counted."""
    dst = src + ".%d.wav" % len(os.listdir(os.path.dirname(src)))
    r = run(tool, list(opts) + [host_path(tool, src), host_path(tool, dst)])
    if r is None or r.returncode != 0:
        return None
    data = read_wav(dst)[3]
    os.remove(dst)
    return data


def scaled_match(name, ours, plain, factor, eight_bit=False):
    """ours against plain scaled by factor (clipped), within 1 LSB."""
    if ours is None or plain is None:
        return check(name, False, "decode failed")
    if eight_bit:
        a, b = ours, bytes((((s >> 9) - 128) & 0xFF) for s in samples16(plain))
        return check(name, a == b, "8-bit output differs from the 16-bit one mapped")
    a, b = samples16(ours), samples16(plain)
    if len(a) != len(b):
        return check(name, False, f"{len(a)} samples, expected {len(b)}")
    # Samples clipped in the plain decode are left out: the gain acts on the
    # unclipped sums.
    worst = max(abs(x - max(-32768, min(32767, round(y * factor)))) for x, y in zip(a, b) if -32768 < y < 32767)
    return check(name, worst <= 1, f"off by {worst} LSB from factor {factor:.4f}")


def db(g):
    return 10 ** (g / 20)


def info(tool, path):
    r = run(tool, ["--info", host_path(tool, path)], text=True)
    return dict(l.split("=", 1) for l in (r.stdout if r else "").replace("\r", "").splitlines() if "=" in l)


def main():
    if not os.path.exists(VECTOR):
        print("replaygain_check: no vector at " + VECTOR)
        return 1
    mp3 = open(VECTOR, "rb").read()
    tmp = tempfile.mkdtemp(prefix="vorlo-rg-")
    def write(name, data):
        path = os.path.join(tmp, name)
        open(path, "wb").write(data)
        return path
    apev2 = ape_tag_items([("REPLAYGAIN_TRACK_GAIN", "%+.2f dB" % TRACK), ("Replaygain_Album_Gain", "%+.2f dB" % ALBUM)])
    sources = {
        "TXXX": write("txxx.mp3", id3v2_tag(3, rg_frames("%+.2f dB" % TRACK, "%.2f dB" % ALBUM)) + mp3),
        "RVA2": write("rva2.mp3", id3v2_tag(4, rva2("track", TRACK) + rva2("Album", ALBUM)) + mp3),
        "APEv2": write("ape.mp3", mp3 + apev2),
        "LAME": write("lame.mp3", with_lame_frame(mp3, TRACK, ALBUM)),
    }
    plain_path = write("plain.mp3", mp3)
    native = tools()[0]
    plain = decode(native, plain_path)
    peak = max(abs(s) for s in samples16(plain)) / 32768.0
    modes = [("track", (), TRACK), ("album", (), ALBUM), ("auto", (), ALBUM), ("auto", ("--shuffle",), TRACK)]
    for source, path in sources.items():
        for mode, extra, gain in modes:
            name = f"{source} {mode}{' shuffled' if extra else ''}"
            scaled_match(name, decode(native, path, ["--replaygain", mode, *extra]), plain, db(gain))
        got = info(native, path)
        check(f"{source} --info", got.get("rg_track_gain") == "%.2f" % TRACK and
              got.get("rg_album_gain") == "%.2f" % ALBUM, str({k: v for k, v in got.items() if k.startswith("rg_")}))
        check(f"{source} mode off is the plain decode", decode(native, path) == plain)
    check("an untagged file in track mode is the plain decode", decode(native, plain_path, ["--replaygain", "track"]) == plain)

    txxx_path = sources["TXXX"]
    cases = [
        ("preamp", txxx_path, ["--replaygain", "track", "--preamp", "4.5"], (), TRACK + 4.5),
        ("untagged gain", plain_path, ["--replaygain", "album", "--untagged-gain", "-7.5"], (), -7.5),
        ("TXXX before APEv2", write("both.mp3", id3v2_tag(3, rg_frames("-2 dB", "-1 dB")) + mp3 + apev2),
         ["--replaygain", "track"], (), -2.0),
        ("mono, half rate", txxx_path, ["--replaygain", "track", "--mono", "--downsample", "1"],
         ["--mono", "--downsample", "1"], TRACK),
        ("quarter rate", txxx_path, ["--replaygain", "album", "--downsample", "2"], ["--downsample", "2"], ALBUM),
        ("equaliser", txxx_path, ["--replaygain", "track", "--eq", "1.5,1,1,0.5,1,1,1,1,1,1,1,1"],
         ["--eq", "1.5,1,1,0.5,1,1,1,1,1,1,1,1"], TRACK),
    ]
    # Clipping: +6 dB on a full-scale sine whose peak the tag gives.
    loud = write("loud.mp3", id3v2_tag(3, rg_frames("+6.00 dB", "+6.00 dB", "%.6f" % peak)) + mp3)
    cases += [("clipping prevented", loud, ["--replaygain", "track"], (), -20 * math.log10(peak)),
              ("clipping allowed", loud, ["--replaygain", "track", "--no-clip-prevention"], (), 6.0)]
    # Malformed values are ignored: the file counts as untagged.
    for i, bad in enumerate(["+abc dB", "1e300", "NaN", "inf dB", "", "-6.0 dBx", "--6", "99 dB"]):
        path = write(f"bad{i}.mp3", id3v2_tag(3, txxx(3, "REPLAYGAIN_TRACK_GAIN", bad)) + mp3)
        cases.append((f"malformed {bad!r} ignored", path, ["--replaygain", "track", "--untagged-gain", "-1"], (), -1.0))
    for name, path, opts, plain_opts, gain in cases:
        base = decode(native, plain_path, list(plain_opts)) if plain_opts else plain
        scaled_match(name, decode(native, path, opts), base, db(gain))
    scaled_match("8-bit", decode(native, txxx_path, ["--replaygain", "track", "--8bit"]),
                 decode(native, txxx_path, ["--replaygain", "track"]), 1.0, eight_bit=True)
    # The Windows build: one source, one mode.
    for tool in tools()[1:]:
        scaled_match("win32 APEv2 album", decode(tool, sources["APEv2"], ["--replaygain", "album"]), plain, db(ALBUM))
    return finish()


if __name__ == "__main__":
    sys.exit(main())
