#!/usr/bin/env python3
"""Tells whether a screenshot of the player's window shows a song name in the
LED's name row, unscrolled (LEDAutoScrollSongName=0).

  led_check.py SHOT GLYPHS NAME...

SHOT is a screenshot of the whole window (any format ImageMagick reads),
GLYPHS the glyph strip (bitmap 118). The expected row is composed from the
strip: one 12-pixel cell per character of the name, letters in capitals,
accented Latin letters as their base letter (by Unicode decomposition, not
by the player's table), '?' for any other character the strip lacks, blank
cells after the name; the panel shows the first 146 x 15 pixels at 29,29.
Several NAMEs are alternatives (a file title with or without extension).
Prints the name that matches, or "no match: N pixels differ" for the
closest. Exit status 0 on a match, 1 without one, 2 on bad usage.
"""
import subprocess
import sys
import unicodedata

CELL_W, CELL_H = 12, 15
LED_X, LED_Y, LED_W = 29, 29, 146


def rgb(path):
    """(width, height, bytes) of an image as 8-bit RGB."""
    size = subprocess.run(["identify", "-format", "%w %h", path + "[0]"],
                          capture_output=True, text=True, check=True).stdout.split()
    data = subprocess.run(["convert", path + "[0]", "-depth", "8", "rgb:-"],
                          capture_output=True, check=True).stdout
    return int(size[0]), int(size[1]), data


def glyph_code(ch):
    ch = {"\u00a0": " ", "\u2018": "'", "\u2019": "'", "\u201c": '"', "\u201d": '"',
          "\u2013": "-", "\u2014": "-"}.get(ch, ch)
    base = unicodedata.normalize("NFD", ch)[0] if "\u00c0" <= ch <= "\u00ff" else ch
    code = ord(base.upper()) if base.isascii() else 0
    return code if 32 <= code <= 120 else ord("?")


def expected_row(strip, name):
    sw, _, sdata = strip
    codes = [glyph_code(c) for c in name] + [32] * (LED_W // CELL_W + 1)
    rows = []
    for y in range(CELL_H):
        row = bytearray()
        for x in range(LED_W):
            code = codes[x // CELL_W]
            sx = (code - 32) * CELL_W + x % CELL_W
            row += sdata[(y * sw + sx) * 3:(y * sw + sx) * 3 + 3]
        rows.append(bytes(row))
    return rows


def shown_row(shot):
    w, h, data = shot
    if w < LED_X + LED_W or h < LED_Y + CELL_H:
        return None
    return [data[((LED_Y + y) * w + LED_X) * 3:((LED_Y + y) * w + LED_X + LED_W) * 3]
            for y in range(CELL_H)]


def differing(a, b):
    return sum(1 for ra, rb in zip(a, b) for i in range(0, len(ra), 3) if ra[i:i + 3] != rb[i:i + 3])


def main(argv):
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    shown = shown_row(rgb(argv[1]))
    if shown is None:
        print("no match: the shot is smaller than the window")
        return 1
    strip = rgb(argv[2])
    best = None
    for name in argv[3:]:
        n = differing(expected_row(strip, name), shown)
        if n == 0:
            print(name)
            return 0
        best = n if best is None else min(best, n)
    print("no match: %d pixels differ" % best)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
