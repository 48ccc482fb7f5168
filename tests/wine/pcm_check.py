#!/usr/bin/env python3
"""Compares what the wave device played (ALSA file-plugin captures, raw
16-bit little-endian stereo) with the PCM that vorlo-decode writes.

The player always sets a wave volume (EqVolume x 4 x 1024 per channel, so
never the full 0xFFFF), and Wine's ALSA driver applies a stream volume below
1.0 to 16-bit samples as a single-precision product truncated toward zero.
The reference is therefore the decoded PCM passed through that same product;
the bytes must then match exactly.

  pcm_check.py contains VOLREG CAPTURE -- PCM...
      the capture holds the PCMs back to back, exactly, with nothing but
      silence before and after
  pcm_check.py freq 0 CAPTURE --
      prints the frequency (Hz, by zero crossings of the left channel) of
      the capture's last 4096 frames of sound: the test tones differ in it
  pcm_check.py runstart VOLREG CAPTURE -- PCM
      the longest run at the capture's sound end that matches the PCM
      contiguously: prints the fraction of the PCM where that run starts

  pcm_check.py soundat VOLREG CAPTURE OFFSET -- PCM
      the first sound of the capture behind byte OFFSET (its size before a
      seek): prints the fraction of the PCM where it lies

CAPTURE is a file prefix: the plugin writes NAME, NAME.0001, NAME.0002, ...
(one file per device open), read here in that order as one stream.
Exit status 0 when the check holds, 1 when it does not, 2 on bad usage.
"""
import array
import glob
import os
import struct
import sys


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def scaled(path, volreg):
    """The PCM as Wine's driver leaves it at wave volume volreg (0..0xFFFF),
    kept beside the PCM as PATH.vVOLREG for the next run."""
    cache = '%s.v%d' % (path, volreg)
    if os.path.exists(cache) and os.path.getmtime(cache) >= os.path.getmtime(path):
        with open(cache, 'rb') as f:
            return f.read()
    data = array.array('h')
    with open(path, 'rb') as f:
        data.frombytes(f.read())
    if sys.byteorder != 'little':
        data.byteswap()
    if volreg >= 0xFFFF:
        return data.tobytes()
    vol = f32(volreg / 65535.0)
    table = [int(f32(v * vol)) for v in range(-32768, 32768)]
    out = array.array('h', [table[v + 32768] for v in data]).tobytes()
    with open(cache + '.tmp', 'wb') as f:
        f.write(out)
    os.replace(cache + '.tmp', cache)
    return out


def capture(prefix, need=None):
    """The capture as one stream; with need, only its end: enough of the
    last files to hold need bytes before the trailing silence."""
    names = sorted(glob.glob(glob.escape(prefix)) + glob.glob(glob.escape(prefix) + '.[0-9]*'))
    parts = []
    for n in reversed(names):
        with open(n, 'rb') as f:
            data = f.read()
        data = data[:len(data) & ~3]
        parts.insert(0, data)
        if need is not None and len(b''.join(parts).rstrip(b'\0')) >= need:
            break
    return b''.join(parts)


def sound_end(blob):
    end = len(blob.rstrip(b'\0'))
    return (end + 3) & ~3


def main(argv):
    if len(argv) < 4 or '--' not in argv:
        print(__doc__)
        return 2
    sep = argv.index('--')
    mode, volreg, cap = argv[1], int(argv[2], 0), argv[3]
    offset = int(argv[4]) if mode == 'soundat' and sep > 4 else 0
    pcms = [scaled(p, volreg) for p in argv[sep + 1:]]
    need = {'freq': 16384, 'runstart': max([len(p) for p in pcms] or [0])}.get(mode)
    blob = capture(cap, need)
    if mode == 'contains':
        want = b''.join(pcms)
        at = blob.find(want)
        if at < 0:
            print('capture (%d bytes) does not hold the %d decoded bytes' % (len(blob), len(want)))
            return 1
        rest = blob[:at] + blob[at + len(want):]
        if rest.count(0) != len(rest):
            print('capture holds the decoded bytes at %d, but other sound besides' % at)
            return 1
        print('capture holds the %d decoded bytes exactly at %d (of %d)' % (len(want), at, len(blob)))
        return 0
    if mode == 'freq':
        end = sound_end(blob)
        frames = array.array('h', blob[max(0, end - 16384):end])
        if sys.byteorder != 'little':
            frames.byteswap()
        left = frames[0::2]
        if len(left) < 4096:
            print('0')
            return 1
        # Rising crossings with hysteresis at a quarter of the peak, so that
        # the low-level tail of a stream's end counts no cycles.
        level = max(abs(v) for v in left) // 4
        cycles, low, first, last = 0, False, None, None
        for i, v in enumerate(left):
            if v < -level:
                low = True
            elif v > level and low:
                low = False
                if first is None:
                    first = i
                else:
                    cycles += 1
                    last = i
        if not cycles:
            print('0')
            return 1
        print('%.0f' % (cycles * 44100.0 / (last - first)))
        return 0
    if mode == 'soundat':
        # Pieces of the capture behind the offset, located in the PCM; blocks
        # queued before the seek play on in order, the first piece that does
        # not follow on from the one before is where the seek went.
        p = pcms[0]
        rest = blob[offset & ~3:]
        pos, last, first = 0, None, None
        # The sound just before the offset, when there is some, is the first
        # piece the rest follows on from.
        before = blob[max(0, (offset & ~3) - 4096):offset & ~3]
        if len(before) == 4096 and p.find(before) >= 0:
            first = last = p.find(before)
        while pos + 4096 <= len(rest):
            if rest[pos:pos + 256].count(0) == 256:  # silence between blocks
                pos += 256
                continue
            at = p.find(rest[pos:pos + 4096])
            if at < 0:
                pos += 4
                continue
            if first is None:
                first = at
            elif abs(at - last - 4096) > 4096 and at >= 0:
                print('%.4f' % (at / len(p)))
                return 0
            last = at
            pos += 4096
        print('%.4f (no seek seen yet)' % ((first if first is not None else -1) / len(p)))
        return 1
    if mode == 'runstart':
        p = pcms[0]
        end = sound_end(blob)
        tail = blob[end - 4096:end]
        at = p.find(tail)
        if at < 0:
            print('-1 (the sound at the end is not from the file)')
            return 1
        # Walk back while the capture keeps matching the PCM, 4 bytes a frame.
        k = 0
        while at - k - 4 >= 0 and end - 4096 - k - 4 >= 0 and \
                blob[end - 4096 - k - 4:end - 4096 - k] == p[at - k - 4:at - k]:
            k += 4
        print('%.4f' % ((at - k) / len(p)))
        return 0
    print(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
