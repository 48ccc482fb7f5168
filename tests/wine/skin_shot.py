#!/usr/bin/env python3
"""Compares a screenshot of the main window with a skin's background.

    skin_shot.py match SHOT.png BMP   "match N of M": of the M pixels the
        window draws from the background alone (everything but the title
        strip, the LED panel, the dial thread's square, the volume bar and the equaliser),
        N equal the BMP's pixel (an 8-bit or 24-bit BI_RGB file)
    skin_shot.py led SHOT.png         "led R,G,B": the commonest colour of the
        LED panel's name strip (drawn from the glyph bitmap)
"""
import collections
import struct
import subprocess
import sys

SKIPPED = [(102, 4, 258, 19), (29, 29, 175, 65), (191, 31, 246, 85), (37, 98, 46, 179), (67, 98, 235, 174)]

ROW = (32, 72, 190, 90)
# The middles of the six keys and of the two switches (repeat, shuffle).
KEYS = [(x + 3, 75, x + 15, 87) for x in (32, 52, 72, 92, 112, 132)] + [(174, 74, 188, 79), (174, 84, 188, 88)]


def shot(path):
    geo = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True).stdout
    w, h = map(int, geo.split())
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True).stdout
    return w, h, lambda x, y: tuple(raw[3 * (y * w + x):3 * (y * w + x) + 3])


def bmp(path):
    d = open(path, "rb").read()
    off, = struct.unpack_from("<I", d, 10)
    w, h, _, bits = struct.unpack_from("<iiHH", d, 18)
    stride = (w * bits + 31) // 32 * 4
    pal = [tuple(d[54 + 4 * i:57 + 4 * i][::-1]) for i in range(256)] if bits == 8 else None

    def at(x, y):
        row = off + (h - 1 - y) * stride
        return pal[d[row + x]] if bits == 8 else tuple(d[row + 3 * x:row + 3 * x + 3][::-1])
    return w, h, at


def main(argv):
    if argv[1] == "match":
        w, h, got = shot(argv[2])
        bw, bh, want = bmp(argv[3])
        row = bmp(argv[4])[2] if len(argv) > 4 else want
        n = m = 0
        for y in range(min(h, bh)):
            for x in range(min(w, bw)):
                if any(l <= x < r and t <= y < b for l, t, r, b in SKIPPED):
                    continue
                src = want
                if len(argv) > 4 and ROW[0] <= x < ROW[2] and ROW[1] <= y < ROW[3]:
                    if not any(l <= x < r and t <= y < b for l, t, r, b in KEYS):
                        continue  # the keys' clipped edges
                    src = row
                m += 1
                n += got(x, y) == src(x, y)
        print("match %d of %d" % (n, m))
    else:
        w, h, got = shot(argv[2])
        c = collections.Counter(got(x, y) for y in range(30, 44) for x in range(30, 174))
        print("led %d,%d,%d" % c.most_common(1)[0][0])


if __name__ == "__main__":
    main(sys.argv)
