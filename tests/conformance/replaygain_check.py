#!/usr/bin/env python3
"""ReplayGain: copies of a vector tagged with known gains, one per source
(ID3v2 TXXX, RVA2, APEv2, LAME tag), decode to the untagged decode scaled by
10^(gain/20) within 1 LSB in track, album and automatic mode (shuffled or
not), and --info shows the gains; so do the preamp, the untagged gain, the
sources' order, clipping prevention, mono, down-sampling, 8-bit and the
equaliser. Malformed values are ignored; mode off is byte-identical.

Usage: replaygain_check.py [--no-wine]. Prints "N passed, N failed" last."""
import math
import os
import struct
import sys
import tempfile

from checks import VECTORS, ape_tag_items, check, finish, host_path, id3v2_tag, read_wav, run, samples16, tools

TRACK, ALBUM = -6.0, -3.0


def frame24(fid, data):
    n = len(data)
    return fid + bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127]) + b"\0\0" + data


def txxx(name, value):
    """An ID3v2.3 TXXX frame, Latin-1."""
    data = b"\0" + name.encode() + b"\0" + value.encode("latin-1")
    return b"TXXX" + struct.pack(">I", len(data)) + b"\0\0" + data


def with_lame_frame(mp3, radio, audiophile):
    """mp3 with a LAME Info frame (the first frame's header without CRC or
    padding; a frame count that does not match, so nothing is trimmed)
    holding the two gains, in front of its first frame."""
    at = next(i for i in range(len(mp3) - 1) if mp3[i] == 0xFF and mp3[i + 1] & 0xE0 == 0xE0)
    f = bytearray(144 * 128000 // 44100)
    f[:4] = ((int.from_bytes(mp3[at:at + 4], "big") | 0x10000) & ~0x200).to_bytes(4, "big")
    f[36:52] = b"Info" + struct.pack(">III", 0x0F, 1, 1)  # frames, bytes, table, quality
    ext = 36 + 120
    f[ext:ext + 9] = b"LAME3.100"
    gain = lambda name, db: (name << 13) | (3 << 10) | ((db < 0) << 9) | round(abs(db) * 10)
    f[ext + 15:ext + 19] = struct.pack(">HH", gain(1, radio), gain(2, audiophile))
    crc = 0
    for b in f[:ext + 34]:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    f[ext + 34:ext + 36] = struct.pack(">H", crc)
    return mp3[:at] + bytes(f) + mp3[at:]


def decode(tool, src, opts=()):
    dst = src + ".out.wav"
    r = run(tool, list(opts) + [host_path(tool, src), host_path(tool, dst)])
    return read_wav(dst)[3] if r is not None and r.returncode == 0 else None


def scaled_match(name, ours, plain, gain):
    """ours against plain scaled by 10^(gain/20) and clipped, within 1 LSB;
    samples clipped in plain are left out (the gain acts before the clip)."""
    if ours is None or plain is None or len(ours) != len(plain):
        return check(name, False, "decode failed or of another length")
    f = 10 ** (gain / 20)
    worst = max(abs(x - max(-32768, min(32767, round(y * f))))
                for x, y in zip(samples16(ours), samples16(plain)) if -32768 < y < 32767)
    return check(name, worst <= 1, f"off by {worst} LSB from {gain:.2f} dB")


def main():
    mp3 = open(os.path.join(VECTORS, "l3-sin1k0db.bit"), "rb").read()  # a full-scale sine, 44.1 kHz stereo
    tmp = tempfile.mkdtemp(prefix="vorlo-rg-")
    def write(name, data):
        open(os.path.join(tmp, name), "wb").write(data)
        return os.path.join(tmp, name)
    gains = lambda t, a: txxx("REPLAYGAIN_TRACK_GAIN", t) + txxx("replaygain_album_gain", a)
    ape = ape_tag_items([("REPLAYGAIN_TRACK_GAIN", "%+.2f dB" % TRACK), ("Replaygain_Album_Gain", "%.2f" % ALBUM)])
    rva2 = lambda ident, g: frame24(b"RVA2", ident + b"\0\x01" + struct.pack(">h", round(g * 512)) + b"\0")
    sources = {"TXXX": write("txxx.mp3", id3v2_tag(3, gains("%+.2f dB" % TRACK, "%.2f dB" % ALBUM)) + mp3),
               "RVA2": write("rva2.mp3", id3v2_tag(4, rva2(b"track", TRACK) + rva2(b"Album", ALBUM)) + mp3),
               "APEv2": write("ape.mp3", mp3 + ape), "LAME": write("lame.mp3", with_lame_frame(mp3, TRACK, ALBUM))}
    plain_path = write("plain.mp3", mp3)
    native = tools()[0]
    plain = decode(native, plain_path)
    rg = ["--replaygain"]
    for source, path in sources.items():
        for mode, extra, gain in [("track", [], TRACK), ("album", [], ALBUM), ("auto", [], ALBUM),
                                  ("auto", ["--shuffle"], TRACK)]:
            scaled_match(f"{source} {mode} {extra}", decode(native, path, rg + [mode] + extra), plain, gain)
        r = run(native, ["--info", path], text=True)
        got = [l for l in (r.stdout if r else "").splitlines() if l.startswith("rg_")]
        check(f"{source} --info", "rg_track_gain=%.2f" % TRACK in got and "rg_album_gain=%.2f" % ALBUM in got, got)
        check(f"{source} mode off is the plain decode", decode(native, path) == plain)
    check("an untagged file in track mode is the plain decode", decode(native, plain_path, rg + ["track"]) == plain)

    peak = max(abs(s) for s in samples16(plain)) / 32768.0
    loud = write("loud.mp3", id3v2_tag(3, gains("+6 dB", "+6 dB") + txxx("REPLAYGAIN_TRACK_PEAK", "%.6f" % peak)) + mp3)
    eq = ["--eq", "1.5,1,1,0.5,1,1,1,1,1,1,1,1"]
    txxx_path = sources["TXXX"]
    cases = [("preamp", txxx_path, ["track", "--preamp", "4.5"], [], TRACK + 4.5),
             ("untagged gain", plain_path, ["album", "--untagged-gain", "-7.5"], [], -7.5),
             ("TXXX before APEv2", write("both.mp3", id3v2_tag(3, gains("-2", "-1")) + mp3 + ape), ["track"], [], -2),
             ("mono, half rate", txxx_path, ["track", "--mono", "--downsample", "1"], ["--mono", "--downsample", "1"],
              TRACK),
             ("quarter rate", txxx_path, ["album", "--downsample", "2"], ["--downsample", "2"], ALBUM),
             ("equaliser", txxx_path, ["track"] + eq, eq, TRACK),
             ("clipping prevented", loud, ["track"], [], -20 * math.log10(peak)),
             ("clipping allowed", loud, ["track", "--no-clip-prevention"], [], 6.0)]
    for i, bad in enumerate(["+abc dB", "1e300", "NaN", "-6.0 dBx", "99 dB"]):  # ignored: the file is untagged
        path = write(f"bad{i}.mp3", id3v2_tag(3, txxx("REPLAYGAIN_TRACK_GAIN", bad)) + mp3)
        cases.append((f"malformed {bad!r}", path, ["track", "--untagged-gain", "-1"], [], -1.0))
    for name, path, opts, plain_opts, gain in cases:
        scaled_match(name, decode(native, path, rg + opts), decode(native, plain_path, plain_opts), gain)
    # 8-bit output is the 16-bit output with the gain, mapped as the player maps it.
    eight, full = decode(native, txxx_path, rg + ["track", "--8bit"]), decode(native, txxx_path, rg + ["track"])
    check("8-bit", eight is not None and full is not None and
          eight == bytes((((s >> 9) - 128) & 0xFF) for s in samples16(full)), "8-bit output differs")
    for tool in tools()[1:]:
        scaled_match("win32 APEv2 album", decode(tool, sources["APEv2"], rg + ["album"]), plain, ALBUM)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
