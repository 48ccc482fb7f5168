#!/usr/bin/env python3
"""The VORLO demo track: about 20 seconds of original music, synthesised.

    demo_music.py wav OUT.wav       write the music as 16-bit stereo 44.1 kHz WAV
    demo_music.py id3v1 FILE        give FILE the track's ID3v1 tag (an old tag
                                    at the end is replaced)

Nine bars at 108 BPM over Cmaj7 - Am7 - Fmaj7 - G6, twice, resolving to
Cmaj7: a soft pad, a bass, an FM electric-piano melody with a ping-pong
echo, a plucked (Karplus-Strong) arpeggio, and quiet drums. Python standard
library only; the only noise comes from a generator with a fixed seed, so
every run writes the same samples.
"""
import math
import random
import struct
import sys
import wave

RATE = 44100
BPM = 108
BEAT = 60.0 / BPM
BAR = 4 * BEAT
BARS = 9
LEAD = 0.05          # silence before the first note
LENGTH = LEAD + BARS * BAR + 0.4
N = int(LENGTH * RATE)
SEED = 20260101

TITLE = "VORLO Demo"
ARTIST = "The VORLO developers"
ALBUM = ""
YEAR = "2026"
COMMENT = "Made with vorlo-encode"
GENRE = 12           # "Other"

# Pad voicings and bass roots (MIDI note numbers), one chord a bar.
PROGRESSION = [
    ((52, 55, 59, 60), 36),  # Cmaj7
    ((52, 55, 57, 60), 45),  # Am7
    ((53, 57, 60, 64), 41),  # Fmaj7
    ((55, 59, 62, 64), 43),  # G6
]
CHORDS = PROGRESSION * 2 + [((52, 55, 59, 60), 36)]

# Melody: (bar, beat, length in beats, note).
MELODY = [
    (0, 0.0, 1.0, 76), (0, 1.0, 0.5, 79), (0, 1.5, 0.5, 81), (0, 2.0, 1.0, 79), (0, 3.0, 1.0, 76),
    (1, 0.0, 1.5, 72), (1, 1.5, 0.5, 76), (1, 2.0, 0.5, 74), (1, 2.5, 0.5, 72), (1, 3.0, 1.0, 69),
    (2, 0.0, 0.5, 69), (2, 0.5, 0.5, 72), (2, 1.0, 1.0, 76), (2, 2.0, 1.5, 79), (2, 3.5, 0.5, 77),
    (3, 0.0, 0.5, 74), (3, 0.5, 0.5, 76), (3, 1.0, 1.0, 74), (3, 2.0, 1.0, 71), (3, 3.0, 1.0, 67),
    (4, 0.0, 0.5, 79), (4, 0.5, 0.5, 81), (4, 1.0, 1.0, 84), (4, 2.0, 0.5, 81), (4, 2.5, 0.5, 79), (4, 3.0, 1.0, 76),
    (5, 0.0, 1.0, 76), (5, 1.0, 0.5, 74), (5, 1.5, 0.5, 72), (5, 2.0, 1.0, 74), (5, 3.0, 1.0, 76),
    (6, 0.0, 0.5, 77), (6, 0.5, 0.5, 76), (6, 1.0, 1.0, 72), (6, 2.0, 0.5, 69), (6, 2.5, 0.5, 72), (6, 3.0, 1.0, 77),
    (7, 0.0, 1.0, 79), (7, 1.0, 0.5, 74), (7, 1.5, 0.5, 76), (7, 2.0, 1.0, 79), (7, 3.0, 1.0, 83),
    (8, 0.0, 4.0, 84),
]


def hz(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


def at(bar, beat=0.0):
    """Sample index of a bar and beat."""
    return int((LEAD + bar * BAR + beat * BEAT) * RATE)


class Mix:
    def __init__(self):
        self.left = [0.0] * N
        self.right = [0.0] * N

    def add(self, start, samples, gain, pan):
        """Adds mono samples at start; pan -1 (left) .. 1 (right), equal power."""
        gl = gain * math.cos((pan + 1) * math.pi / 4)
        gr = gain * math.sin((pan + 1) * math.pi / 4)
        left, right = self.left, self.right
        end = min(N, start + len(samples))
        for i in range(start, end):
            v = samples[i - start]
            left[i] += gl * v
            right[i] += gr * v


def pad_table(size=4096, harmonics=10):
    """One cycle of a soft sawtooth: harmonics falling faster than 1/h."""
    table = [0.0] * size
    for h in range(1, harmonics + 1):
        a = (0.7 ** (h - 1)) / h
        for i in range(size):
            table[i] += a * math.sin(2 * math.pi * h * i / size)
    peak = max(abs(v) for v in table)
    return [v / peak for v in table]


def pad_voice(freq, length, table):
    size = len(table)
    step = freq * size / RATE
    attack, release = int(0.35 * RATE), int(0.8 * RATE)
    total = length + release
    out = [0.0] * total
    phase = 0.0
    lp = 0.0
    for i in range(total):
        if i < attack:
            env = i / attack
        elif i < length:
            env = 1.0
        else:
            env = 1.0 - (i - length) / release
        lp += 0.18 * (table[int(phase) % size] - lp)  # one-pole low-pass for warmth
        out[i] = env * lp
        phase += step
    return out


def bass_note(freq, length):
    out = [0.0] * length
    w = 2 * math.pi * freq / RATE
    for i in range(length):
        t = i / RATE
        env = min(1.0, i / 220.0) * (0.35 + 0.65 * math.exp(-t / 0.18))
        if i > length - 400:
            env *= (length - i) / 400.0
        out[i] = env * (math.sin(w * i) + 0.25 * math.sin(2 * w * i))
    return out


def fm_piano(freq, length):
    """Two-operator FM, modulator at the carrier frequency, index decaying."""
    total = length + int(0.4 * RATE)
    out = [0.0] * total
    w = 2 * math.pi * freq / RATE
    for i in range(total):
        t = i / RATE
        index = 2.2 * math.exp(-t / 0.12) + 0.25
        env = min(1.0, i / 130.0) * math.exp(-t / 0.7)
        if i > length:
            env *= max(0.0, 1.0 - (i - length) / (0.4 * RATE))
        out[i] = env * math.sin(w * i + index * math.sin(w * i))
    return out


def pluck(freq, length, rng):
    """Karplus-Strong plucked string, its noise burst from rng."""
    period = max(2, int(round(RATE / freq)))
    line = [rng.uniform(-1.0, 1.0) for _ in range(period)]
    # soften the excitation
    for k in range(1, period):
        line[k] = 0.5 * (line[k] + line[k - 1])
    out = [0.0] * length
    pos = 0
    prev = 0.0
    for i in range(length):
        cur = line[pos]
        nxt = 0.996 * 0.5 * (cur + prev)
        prev = cur
        line[pos] = nxt
        out[i] = cur
        pos += 1
        if pos == period:
            pos = 0
    for i in range(max(0, length - 300), length):  # no click at the cut
        out[i] *= (length - i) / 300.0
    return out


def kick():
    length = int(0.45 * RATE)
    out = [0.0] * length
    phase = 0.0
    for i in range(length):
        t = i / RATE
        phase += 2 * math.pi * (48.0 + 95.0 * math.exp(-t / 0.035)) / RATE
        out[i] = math.exp(-t / 0.22) * math.sin(phase) * min(1.0, i / 40.0)
    return out


def snare(rng):
    length = int(0.25 * RATE)
    out = [0.0] * length
    lo = prev = hi = 0.0
    for i in range(length):
        t = i / RATE
        n = rng.uniform(-1.0, 1.0)
        lo += 0.35 * (n - lo)
        soft = 0.5 * (lo + prev)  # nothing left at half the sample rate
        prev = lo
        hi += 0.05 * (soft - hi)
        band = soft - hi
        tone = math.sin(2 * math.pi * 185.0 * t) * math.exp(-t / 0.04)
        out[i] = band * math.exp(-t / 0.07) * 1.6 + 0.5 * tone
    return out


def hat(rng, velocity):
    """Noise band-limited to about 3-12 kHz: bright, but not harsh."""
    length = int(0.09 * RATE)
    out = [0.0] * length
    smooth = prev = low = 0.0
    for i in range(length):
        n = rng.uniform(-1.0, 1.0)
        smooth += 0.7 * (n - smooth)   # one-pole low-pass
        band = 0.5 * (smooth + prev)   # and a zero at half the sample rate
        prev = smooth
        low += 0.35 * (band - low)     # minus its low part
        out[i] = velocity * 2.0 * (band - low) * math.exp(-(i / RATE) / 0.022)
    return out


def render():
    rng = random.Random(SEED)
    mix = Mix()
    table = pad_table()

    # Pad: two slightly detuned oscillators per chord tone, spread apart.
    for bar, (voicing, _) in enumerate(CHORDS):
        length = int((BAR if bar < BARS - 1 else 2 * BAR) * RATE)
        for k, note in enumerate(voicing):
            for detune, pan in ((-0.004, -0.6), (0.004, 0.6)):
                voice = pad_voice(hz(note) * (1 + detune), length, table)
                mix.add(at(bar), voice, 0.045, pan * (0.4 + 0.2 * k))

    # Bass: root on 1, a push on the "and" of 2, fifth-less and simple.
    for bar, (_, root) in enumerate(CHORDS):
        if bar == BARS - 1:
            mix.add(at(bar), bass_note(hz(root), int(2 * BAR * RATE)), 0.30, 0.0)
            continue
        for beat, beats in ((0.0, 1.5), (1.5, 1.0), (2.5, 1.5)):
            mix.add(at(bar, beat), bass_note(hz(root), int(beats * BEAT * RATE)), 0.30, 0.0)

    # Melody, with a dotted-eighth ping-pong echo.
    lead_l = [0.0] * N
    for bar, beat, beats, note in MELODY:
        samples = fm_piano(hz(note), int(beats * BEAT * RATE))
        start = at(bar, beat)
        for i in range(start, min(N, start + len(samples))):
            lead_l[i] += samples[i - start]
    mix.add(0, lead_l, 0.20, 0.1)
    delay = int(0.75 * BEAT * RATE)
    echo_l, echo_r = [0.0] * N, [0.0] * N
    for i in range(delay, N):
        echo_l[i] = 0.35 * lead_l[i - delay] + 0.45 * echo_r[i - delay]
        echo_r[i] = 0.45 * echo_l[i - delay]
    mix.add(0, echo_l, 0.16, -0.8)
    mix.add(0, echo_r, 0.16, 0.8)

    # Plucked arpeggio on eighths, an octave above the pad, from bar 2 on.
    pattern = (0, 1, 2, 3, 2, 1, 2, 3)
    for bar, (voicing, _) in enumerate(CHORDS[:-1]):
        if bar == 0:
            continue
        for step, k in enumerate(pattern):
            note = voicing[k] + 12
            mix.add(at(bar, step * 0.5), pluck(hz(note), int(0.6 * RATE), rng), 0.10, -0.45)

    # Drums from bar 2: kick on 1 and 3 (and the "and" of 3 every other bar),
    # soft snare on 2 and 4, hats on the eighths.
    k, s = kick(), None
    for bar in range(1, BARS - 1):
        for beat in (0.0, 2.0) + ((2.5,) if bar % 2 == 0 else ()):
            mix.add(at(bar, beat), k, 0.42, 0.0)
        for beat in (1.0, 3.0):
            s = snare(rng)
            mix.add(at(bar, beat), s, 0.08, -0.15)
        for step in range(8):
            velocity = (1.0 if step % 2 else 0.6) * rng.uniform(0.75, 1.0)
            mix.add(at(bar, step * 0.5), hat(rng, velocity), 0.04, 0.35)
    mix.add(at(BARS - 1), k, 0.42, 0.0)

    # A little room: each side hears the other late and low.
    room = int(0.013 * RATE)
    left, right = mix.left, mix.right
    for i in range(N - 1, room - 1, -1):
        left[i] += 0.12 * right[i - room]
        right[i] += 0.12 * left[i - room]

    # Fade out over the last bar and a half, then normalise to -1 dBFS.
    fade_from = at(BARS - 1, 2.0)
    for i in range(fade_from, N):
        g = 1.0 - (i - fade_from) / (N - fade_from)
        g = g * g
        left[i] *= g
        right[i] *= g
    peak = max(max(abs(v) for v in left), max(abs(v) for v in right))
    scale = 10 ** (-1 / 20) / peak
    return [v * scale for v in left], [v * scale for v in right]


def write_wav(path):
    left, right = render()
    frames = bytearray()
    for l, r in zip(left, right):
        frames += struct.pack("<hh", int(round(l * 32767)), int(round(r * 32767)))
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))


def id3v1_field(text, width):
    data = text.encode("latin-1")[:width]
    return data + b" " * (width - len(data))


def write_id3v1(path):
    """ID3v1: "TAG", title 30, artist 30, album 30, year 4, comment 30,
    genre 1; text fields padded with spaces."""
    tag = (b"TAG" + id3v1_field(TITLE, 30) + id3v1_field(ARTIST, 30) + id3v1_field(ALBUM, 30)
           + id3v1_field(YEAR, 4) + id3v1_field(COMMENT, 30) + bytes([GENRE]))
    assert len(tag) == 128
    with open(path, "rb") as f:
        data = f.read()
    if len(data) >= 128 and data[-128:-125] == b"TAG":
        data = data[:-128]
    with open(path, "wb") as f:
        f.write(data + tag)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("wav", "id3v1"):
        sys.stderr.write(__doc__)
        return 2
    if sys.argv[1] == "wav":
        write_wav(sys.argv[2])
    else:
        write_id3v1(sys.argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main())
