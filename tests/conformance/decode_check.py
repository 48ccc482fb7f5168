#!/usr/bin/env python3
"""Decodes the conformance vectors with `vorlo-decode` — the
player's own path: decoder thread, PCM buffer, WAV file output — natively and
with the Windows build under Wine, and checks:
  - the decoded samples against the reference within the full-accuracy bound
    of ISO/IEC 11172-4 (RMS difference below 2^-15/sqrt(12) of full scale,
    maximum difference at most 2^-14: 0.289 and 2 LSB at 16 bits);
  - that both builds write identical WAV files;
  - the output variants: --8bit is (s >> 9) + 128 of the 16-bit decode,
    --mono the first channel of the stereo decode, --downsample 1 and 2 the
    even and every fourth sample of a full-rate decode of a band-limited
    stream, each with the right WAV header;
  - that the illegal streams end without a crash or a hang, and that the
    free-format stream is refused with the bitrate question.
Layer III references hold every frame but the last, each frame in its own
channel count (l3-he_mode switches between mono and stereo frames).

Usage: decode_check.py [--no-wine]. Prints "N passed, N failed" last."""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from checks import (ENCODER, NATIVE, VECTORS, check, check_accuracy, finish, host_path, read_wav,
                    run as run_tool, samples16, tools, write_wav)


def decode(tool, src, dst, options=()):
    r = run_tool(tool, list(options) + [host_path(tool, src), host_path(tool, dst)])
    if r is None:
        return None, "time-out"
    return r.returncode, r.stderr.decode("latin-1")


def compare_reference(name, data, ref_path, channels, stream_channels):
    ref = open(ref_path, "rb").read()
    ours = samples16(data)
    if channels == 2 and stream_channels == 1:
        # A single-channel stream plays on both channels of a stereo output.
        check(name + " both channels", ours[0::2] == ours[1::2])
        ours = ours[0::2]
    theirs = samples16(ref)
    n = min(len(ours), len(theirs))
    # Every frame of the stream is decoded, the last one included.
    info = subprocess.run([NATIVE, "--info", ref_path[:-4] + ".bit"], capture_output=True, text=True).stdout
    facts = dict(line.split("=", 1) for line in info.splitlines() if "=" in line)
    per_frame = 384 if facts.get("layer") == "1" else 1152
    expected = int(facts.get("frames", 0)) * per_frame * stream_channels
    check(name + " length", n > 0 and len(ours) == expected, f"ours {len(ours)} expected {expected}")
    check_accuracy(name, ours, theirs)


def frame_channels(path):
    """The channel count of each frame of a Layer III stream, and its samples
    per channel per frame."""
    d = open(path, "rb").read()
    rates = [44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000]
    kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0]
    kbps_lsf = [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0]
    pos, out, spf = 0, [], 1152
    while pos + 4 <= len(d):
        w = int.from_bytes(d[pos:pos + 4], "big")
        ver = (w >> 19) & 3
        code = (w >> 10) & 3
        bi = (w >> 12) & 15
        if (w >> 21) != 0x7FF or code == 3 or bi in (0, 15) or ((w >> 17) & 3) != 1:
            pos += 1
            continue
        lsf = 0 if ver == 3 else 1
        f = rates[code + (6 if ver < 2 else 3 * lsf)]
        spf = 576 if lsf else 1152
        out.append(1 if ((w >> 6) & 3) == 3 else 2)
        pos += 144000 * (kbps_lsf if lsf else kbps)[bi] // (f << lsf) + ((w >> 9) & 1)
    return out, spf


def compare_layer3(name, data, src, channels):
    ours = samples16(data)
    theirs = samples16(open(src[:-4] + ".pcm", "rb").read())
    layout, spf = frame_channels(src)
    if channels == 2 and min(layout) == 1:
        # Single-channel frames play on both channels: the reference keeps
        # each frame in its own channel count.
        mapped, at, same = [], 0, True
        for c in layout:
            block = ours[at:at + 2 * spf]
            if c == 1:
                same = same and block[0::2] == block[1::2]
            mapped.extend(block[0::2] if c == 1 else block)
            at += 2 * spf
        check(name + " mono frames on both channels", same)
        ours = mapped
    # The references hold every frame but the last.
    per_frame = spf * max(layout)
    check(name + " length", len(theirs) <= len(ours) <= len(theirs) + per_frame,
          f"ours {len(ours)} reference {len(theirs)}")
    check_accuracy(name, ours, theirs)


def tone_level(x, freq, rate):
    """The amplitude of one frequency in a stretch of x (a single DFT bin)."""
    w = 2 * math.pi * freq / rate
    c = s = 0.0
    for i, v in enumerate(x[5000:20000]):
        c += v * math.cos(w * i)
        s += v * math.sin(w * i)
    return math.hypot(c, s)


def layer3_variants(tmp, run):
    """The equaliser, mono mix and half rate on a Layer III stream made by lame."""
    if not shutil.which("lame"):
        check("lame present", False)
        return
    rate = 44100
    frames = bytearray()
    for i in range(rate * 2):
        t = i / rate
        left = 0.3 * math.sin(2 * math.pi * 150 * t) + 0.2 * math.sin(2 * math.pi * 6000 * t) + \
            0.1 * math.sin(2 * math.pi * 15000 * t)
        right = 0.25 * math.sin(2 * math.pi * 150 * t + 1) + 0.2 * math.sin(2 * math.pi * 6000 * t + 2)
        frames += struct.pack("<hh", int(left * 30000), int(right * 30000))
    wav, mp3 = os.path.join(tmp, "l3tones.wav"), os.path.join(tmp, "l3tones.mp3")
    write_wav(wav, rate, frames)
    subprocess.run(["lame", "--quiet", "-b", "192", "-m", "s", wav, mp3], check=True)
    full = run(mp3, [], "full")
    flat = run(mp3, ["--eq", ",".join(["1"] * 12)], "eq-flat")
    cut = run(mp3, ["--eq", ",".join(["0"] + ["1"] * 11)], "eq-cut")
    mono = run(mp3, ["--mono"], "mono")
    half = run(mp3, ["--downsample", "1"], "half")
    if not (full and flat and cut and mono and half):
        return
    s = samples16(full[3])
    left, right = s[0::2], s[1::2]
    check("layer 3 equaliser flat = no equaliser", flat[3] == full[3])
    c = samples16(cut[3])[0::2]
    check("layer 3 equaliser band 0 cut attenuates the lowest lines",
          tone_level(c, 150, rate) < 0.8 * tone_level(left, 150, rate) and
          abs(tone_level(c, 6000, rate) / tone_level(left, 6000, rate) - 1) < 0.01)
    m = samples16(mono[3])
    check("layer 3 mono header", mono[:3] == (1, rate, 16), str(mono[:3]))
    check("layer 3 mono = mix of both channels",
          len(m) == len(left) and max(abs(m[i] - (left[i] + right[i]) / 2) for i in range(len(m))) <= 1)
    h = samples16(half[3])[0::2]
    check("layer 3 half rate header", half[:3] == (2, rate // 2, 16), str(half[:3]))
    # 15 kHz lies in subband 21: at half rate it is gone, not folded to 7050 Hz.
    check("layer 3 half rate keeps the lowest 16 subbands",
          tone_level(h, 6000, rate // 2) > 0.9 * tone_level(left, 6000, rate) and
          tone_level(h, 7050, rate // 2) < 0.01 * tone_level(left, 15000, rate))


def main():
    tmp = tempfile.mkdtemp(prefix="vorlo_decode_")
    try:
        names = sorted(f[:-4] for f in os.listdir(VECTORS) if f.endswith(".bit")) if os.path.isdir(VECTORS) else []
        for name in names:
            src = os.path.join(VECTORS, name + ".bit")
            legal = name.startswith(("l1-", "l2-", "l3-"))
            if name == "l3-he_free":
                rc, err = decode(NATIVE, src, os.path.join(tmp, "free.wav"))
                check(name + " refused", rc == 1 and "Error In Stream...: Invalid Bitrate in stream, Try Resync?" in err,
                      f"rc={rc} {err}")
                continue
            outputs = []
            for tool in tools():
                dst = os.path.join(tmp, f"{name}-{os.path.basename(tool)}.wav")
                rc, err = decode(tool, src, dst)
                if not legal:
                    check(f"{name} {os.path.basename(tool)} ends", rc in (0, 1), f"rc={rc} {err}")
                    continue
                check(f"{name} {os.path.basename(tool)} exit", rc == 0, f"rc={rc} {err}")
                outputs.append(dst)
            if not legal or not outputs or not os.path.exists(outputs[0]):
                continue
            try:
                ch, rate, bits, data = read_wav(outputs[0])
            except (OSError, ValueError) as e:
                check(name + " wav", False, str(e))
                continue
            check(name + " format", bits == 16 and ch in (1, 2), f"{ch} channels, {bits} bits")
            if name.startswith("l3-"):
                compare_layer3(name, data, src, ch)
            else:
                stream_channels = 1 if (open(src, "rb").read(4)[3] >> 6) == 3 else 2
                compare_reference(name, data, os.path.join(VECTORS, name + ".pcm"), ch, stream_channels)
            if len(outputs) > 1:
                same = os.path.exists(outputs[1]) and open(outputs[0], "rb").read() == open(outputs[1], "rb").read()
                check(name + " win32 == native", same)

        variants(tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return finish()


def variants(tmp):
    def run(src, opts, tag):
        dst = os.path.join(tmp, f"{os.path.basename(src)}-{tag}.wav")
        rc, err = decode(NATIVE, src, dst, opts)
        check(f"{os.path.basename(src)} {tag} exit", rc == 0, f"rc={rc} {err}")
        return read_wav(dst) if rc == 0 else None

    for name in ("l2-fl10", "l1-fl2", "l2-test32"):
        src = os.path.join(VECTORS, name + ".bit")
        if not os.path.exists(src):
            continue
        full = run(src, [], "full")
        eight = run(src, ["--8bit"], "8bit")
        mono = run(src, ["--mono"], "mono")
        if not (full and eight and mono):
            continue
        ch, rate, _, data = full
        s = samples16(data)
        check(name + " 8bit header", eight[:3] == (ch, rate, 8), str(eight[:3]))
        check(name + " 8bit = (s >> 9) + 128", list(eight[3]) == [((x >> 9) + 128) & 255 for x in s])
        check(name + " mono header", mono[:3] == (1, rate, 16), str(mono[:3]))
        check(name + " mono = channel 0", list(samples16(mono[3])) == list(s[0::ch]))

    layer3_variants(tmp, run)

    # Down-sampling: a stream with nothing above a quarter of its band.
    if not os.path.exists(ENCODER):
        check("encoder present", False, ENCODER)
        return
    wav = os.path.join(tmp, "lowband.wav")
    rate = 44100
    frames = bytearray()
    for i in range(rate * 2):
        t = i / rate
        v = 0.4 * math.sin(2 * math.pi * 300 * t) + 0.3 * math.sin(2 * math.pi * 2100 * t + 1)
        frames += struct.pack("<hh", int(v * 20000), int(-v * 15000))
    write_wav(wav, rate, frames)
    for layer in ("1", "2"):
        mp = os.path.join(tmp, f"lowband-l{layer}.mp{layer}")
        r = subprocess.run([ENCODER, "-q", "--layer", layer, "--bands", "8", wav, mp], capture_output=True)
        check(f"encode low band layer {layer}", r.returncode == 0, r.stderr.decode())
        if r.returncode:
            continue
        full = run(mp, [], "full")
        half = run(mp, ["--downsample", "1"], "half")
        quarter = run(mp, ["--downsample", "2"], "quarter")
        if not (full and half and quarter):
            continue
        s = samples16(full[3])
        left, right = s[0::2], s[1::2]
        for got, step, tag in ((half, 2, "half"), (quarter, 4, "quarter")):
            check(f"layer {layer} {tag} header", got[:3] == (2, rate // step, 16), str(got[:3]))
            g = samples16(got[3])
            check(f"layer {layer} {tag} = every {step}th sample",
                  list(g[0::2]) == list(left[0::step]) and list(g[1::2]) == list(right[0::step]),
                  f"{len(g)} vs {len(s) // step}")


if __name__ == "__main__":
    sys.exit(main())
