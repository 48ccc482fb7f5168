#!/usr/bin/env python3
"""Draws "Ember", the user skin shipped beside the player as an example of
the skin format (resources/skins/Ember/, copied to Skins\\Ember beside
vorlo.exe by the build).

    make_skin_ember.py [OUTDIR]   write skin102.bmp ... skin135.bmp
                                  (default: resources/skins/Ember/)

The drawing is the built-in skin's (tools/make_skin.py) in warm colours:
every pixel's red and blue trade places (the teal LED turns amber, the
blue-grey slate turns brown, the red close key turns blue) and the body is
lifted a little. The files are 24-bit BI_RGB bottom-up DIBs, the simplest
kind a skin can hold; the player reads 1, 4, 8, 24 and 32-bit files alike.
Deterministic, standard library only; the committed files are this
script's output.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_skin  # noqa: E402

OUT = os.path.join(make_skin.ROOT, "resources", "skins", "Ember")


def ember(p):
    """The built-in pixel p (float r, g, b) in Ember's colours."""
    r, g, b = (min(255, max(0, int(round(v)))) for v in p)
    lift = lambda v: min(255, v + v // 8)  # noqa: E731
    return lift(b), lift(g), r


def bmp24(cv):
    """24-bit BI_RGB DIB, rows bottom-up, each padded to four bytes."""
    w, h = cv.w, cv.h
    pad = b"\0" * ((4 - 3 * w % 4) % 4)
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b = ember(cv.get(x, y))
            pixels += bytes((b, g, r))
        pixels += pad
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    return head + info + bytes(pixels)


def build_files():
    imgs = make_skin.build_images()
    return {"skin%d.bmp" % rid: bmp24(imgs[rid]) for rid in make_skin.SKIN_IDS}


def main(argv):
    return make_skin.write_files(build_files(), argv[1] if len(argv) > 1 else OUT)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
