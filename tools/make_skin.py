#!/usr/bin/env python3
"""Draws the main window's skin and the program icon.

    make_skin.py [OUTDIR]      write skin102.bmp, skin108.bmp, skin118.bmp,
                               skin119.bmp, skin121.bmp, skin128.bmp,
                               skin135.bmp and vorlo.ico (default: resources/)

The generated files are committed in resources/; the build takes them from
there and never runs this script. Edit the drawing here, run it, look at the
preview (tools/preview_skin.py) and commit the script with its output.

Python standard library only, and deterministic: no clock, no unseeded
randomness, colours rounded to integers before they are matched to the
palette, so every run writes the same bytes.

Every bitmap is an 8-bit BI_RGB DIB carrying the window's logical palette:
entries 0..184 are fixed by the window code (greys 2i, then yellow, red,
green and blue ramps); entries 185..255 are this skin's own colours (an LED
teal ramp, a blue-grey slate ramp and a warm red ramp). Everything is drawn
in RGB with signed-distance shapes (anti-aliased edges), then mapped to the
nearest palette entry.

Geometry (window client coordinates, right/bottom exclusive) that the window,
LED and dial code rely on:

  102  258x191  background. LED panel 29,29,175,65 is flat LED_BG; dial ring
                centre 216,56, radii 14..22 unlit; volume 37,99,46,178 unlit;
                equaliser 67,99,235,174 without knobs; rows 185..190 are the
                bottom edge also used for the collapsed window (at 93..98).
  108  100x60   minimise 14x14 up at 0,0 / pressed at 0,16 (drawn at 4,33);
                close 28x28 up at 30,0 / pressed at 30,30 (drawn at 4,4,
                clipped to the L of 4,4,29,17 and 4,4,17,29); expand 8x18 up
                at 58,0 (drawn at 251,63) / pressed at 58,30 (drawn at 251,62),
                clipped to 251,64,258,79.
  121  162x80   open, play, pause, stop, previous, next: 18x18 at x = 1, 21,
                41, 61, 81, 101, y 0 (up) / 20 (pressed); repeat and shuffle
                18x9 at x 141: repeat y 0/20/40/60, shuffle y 10/30/50/70
                (off up, off pressed, on up, on pressed).
  128  18x79    columns 0..8: lit volume bar (drawn at 37,99, clipped to
                segments i = 37,174-5i,46,179-5i); columns 9..17: equaliser
                knob for every row r at rows 70-5r..73-5r (drawn at
                67+14c,99, clipped to cell 67+14c,169-5r,77+14c,174-5r).
  135  146x36   LED play-state symbols 8x11: playing x 20, stopped x 28,
                paused x 36; bright at y 0, dim at y 10 (row 10 is blank in
                both); the rest is the panel's flat background.
  118  1070x16  LED glyph strip: character code 32+n is the 12x15 cell at
                x = 12n; letters are 5x7 dots of 2x2 pixels at cell columns
                1..10, rows 1..14; digits are four dots wide (columns 1..8)
                so that time digits drawn 10 pixels apart keep a gap;
                codes 97..120 repeat the capitals.
  119  48x47    the lit dial ring, to be drawn at 192,31 (ring centre 24,25).
"""
import math
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

WIN_W, WIN_H = 258, 191

# ---------------------------------------------------------------- palette


def lerp(a, b, t):
    return a + (b - a) * t


def ramp(stops, n):
    """n colours along piecewise-linear (t, (r, g, b)) stops, t in 0..1."""
    out = []
    for i in range(n):
        t = i / (n - 1)
        for k in range(len(stops) - 1):
            t0, c0 = stops[k]
            t1, c1 = stops[k + 1]
            if t <= t1 or k == len(stops) - 2:
                u = (t - t0) / (t1 - t0)
                out.append(tuple(int(round(lerp(c0[j], c1[j], u))) for j in range(3)))
                break
    return out


LED_BG = (7, 16, 21)
TEAL_STOPS = [(0.0, LED_BG), (0.22, (12, 48, 58)), (0.55, (28, 140, 166)),
              (0.82, (78, 218, 246)), (1.0, (206, 252, 255))]
SLATE_STOPS = [(0.0, (10, 12, 16)), (0.45, (44, 50, 60)), (1.0, (150, 160, 176))]
RED_STOPS = [(0.0, (70, 18, 16)), (0.5, (200, 56, 44)), (1.0, (255, 150, 128))]


def make_palette():
    pal = []
    for i in range(129):
        v = (2 * i) % 256
        pal.append((v, v, v))
    for i in range(1, 33):
        v = (8 * i) % 256
        pal.append((v, v, 0))
    for i in range(1, 9):
        pal.append(((32 * i) % 256, 0, 0))
    for i in range(1, 9):
        pal.append((0, (32 * i) % 256, 0))
    for i in range(1, 9):
        pal.append((0, 0, (32 * i) % 256))
    assert len(pal) == 185
    pal += ramp(TEAL_STOPS, 40)
    pal += ramp(SLATE_STOPS, 24)
    pal += ramp(RED_STOPS, 7)
    assert len(pal) == 256
    return pal


PALETTE = make_palette()


def teal(t):
    """A colour on the LED ramp, t from 0 (panel black) to 1 (white hot)."""
    t = max(0.0, min(1.0, t))
    for k in range(len(TEAL_STOPS) - 1):
        t0, c0 = TEAL_STOPS[k]
        t1, c1 = TEAL_STOPS[k + 1]
        if t <= t1:
            u = (t - t0) / (t1 - t0)
            return tuple(lerp(c0[j], c1[j], u) for j in range(3))
    return TEAL_STOPS[-1][1]


def grey(v):
    return (v, v, v)


class Quantiser:
    def __init__(self, pal):
        self.pal = pal
        self.cache = {}

    def index(self, rgb):
        key = rgb
        hit = self.cache.get(key)
        if hit is not None:
            return hit
        r, g, b = rgb
        best, best_d = 0, None
        for i, (pr, pg, pb) in enumerate(self.pal):
            dr, dg, db = r - pr, g - pg, b - pb
            d = 3 * dr * dr + 4 * dg * dg + 2 * db * db
            if best_d is None or d < best_d:
                best, best_d = i, d
        self.cache[key] = best
        return best


QUANT = Quantiser(PALETTE)

# ---------------------------------------------------------------- canvas


class Canvas:
    """RGB float image; pixel (x, y) covers [x, x+1) x [y, y+1)."""

    def __init__(self, w, h, fill=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[float(fill[0]), float(fill[1]), float(fill[2])] for _ in range(w * h)]

    def copy(self):
        c = Canvas(0, 0)
        c.w, c.h = self.w, self.h
        c.px = [p[:] for p in self.px]
        return c

    def get(self, x, y):
        return self.px[y * self.w + x]

    def set(self, x, y, col):
        if 0 <= x < self.w and 0 <= y < self.h:
            p = self.px[y * self.w + x]
            p[0], p[1], p[2] = float(col[0]), float(col[1]), float(col[2])

    def blend(self, x, y, col, a):
        if a <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        if a > 1:
            a = 1.0
        p = self.px[y * self.w + x]
        p[0] += (col[0] - p[0]) * a
        p[1] += (col[1] - p[1]) * a
        p[2] += (col[2] - p[2]) * a

    def rect(self, x0, y0, x1, y1, col, a=1.0):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.blend(x, y, col, a)

    def shape(self, sdf, bbox, col, a=1.0, soft=1.0):
        """Paints where sdf < 0 with an anti-aliased edge of width `soft`.
        col is an (r, g, b) tuple or a function of (x, y) centre giving one."""
        x0, y0, x1, y1 = bbox
        fn = col if callable(col) else None
        for y in range(max(0, int(y0)), min(self.h, int(math.ceil(y1)))):
            cy = y + 0.5
            for x in range(max(0, int(x0)), min(self.w, int(math.ceil(x1)))):
                cx = x + 0.5
                d = sdf(cx, cy)
                cov = 0.5 - d / soft
                if cov <= 0:
                    continue
                if cov > 1:
                    cov = 1.0
                self.blend(x, y, fn(cx, cy) if fn else col, cov * a)

    def crop(self, x, y, w, h):
        c = Canvas(w, h)
        for j in range(h):
            for i in range(w):
                c.set(i, j, self.get(x + i, y + j))
        return c

    def paste(self, src, x, y):
        for j in range(src.h):
            for i in range(src.w):
                self.set(x + i, y + j, src.get(i, j))

    def indices(self):
        out = bytearray(self.w * self.h)
        for k, p in enumerate(self.px):
            out[k] = QUANT.index((int(round(p[0])), int(round(p[1])), int(round(p[2]))))
        return out


# signed distance functions (negative inside)

def sd_box(x0, y0, x1, y1, r=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(px, py):
        qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
        ox, oy = max(qx, 0.0), max(qy, 0.0)
        return math.hypot(ox, oy) + min(max(qx, qy), 0.0) - r
    return f


def sd_circle(cx, cy, r):
    return lambda px, py: math.hypot(px - cx, py - cy) - r


def sd_ring(cx, cy, r0, r1):
    def f(px, py):
        d = math.hypot(px - cx, py - cy)
        return max(d - r1, r0 - d)
    return f


def sd_segment(ax, ay, bx, by, r):
    def f(px, py):
        vx, vy = bx - ax, by - ay
        wx, wy = px - ax, py - ay
        t = max(0.0, min(1.0, (wx * vx + wy * vy) / (vx * vx + vy * vy)))
        return math.hypot(wx - t * vx, wy - t * vy) - r
    return f


def sd_poly(pts):
    """Convex polygon, points clockwise on screen (y down)."""
    edges = []
    n = len(pts)
    for i in range(n):
        ax, ay = pts[i]
        bx, by = pts[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        ln = math.hypot(ex, ey)
        edges.append((ax, ay, ey / ln, -ex / ln))

    def f(px, py):
        return max((px - ax) * nx + (py - ay) * ny for ax, ay, nx, ny in edges)
    return f


def sd_union(*fs):
    return lambda px, py: min(f(px, py) for f in fs)


class Rng:
    """Small LCG so the texture never depends on the library's generator."""

    def __init__(self, seed):
        self.s = seed & 0xFFFFFFFF

    def next(self):
        self.s = (self.s * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.s / 4294967296.0


# ---------------------------------------------------------------- small text

# 3x5 label font for engraved captions on the body.
TINY = {
    "A": ["###", "#.#", "###", "#.#", "#.#"], "B": ["##.", "#.#", "##.", "#.#", "##."],
    "C": ["###", "#..", "#..", "#..", "###"], "D": ["##.", "#.#", "#.#", "#.#", "##."],
    "E": ["###", "#..", "##.", "#..", "###"], "F": ["###", "#..", "##.", "#..", "#.."],
    "G": ["###", "#..", "#.#", "#.#", "###"], "H": ["#.#", "#.#", "###", "#.#", "#.#"],
    "I": ["###", ".#.", ".#.", ".#.", "###"], "K": ["#.#", "#.#", "##.", "#.#", "#.#"],
    "L": ["#..", "#..", "#..", "#..", "###"], "M": ["#.#", "###", "###", "#.#", "#.#"],
    "N": ["##.", "#.#", "#.#", "#.#", "#.#"], "O": ["###", "#.#", "#.#", "#.#", "###"],
    "P": ["###", "#.#", "###", "#..", "#.."], "Q": ["###", "#.#", "#.#", "###", "..#"],
    "R": ["##.", "#.#", "##.", "#.#", "#.#"], "S": ["###", "#..", "###", "..#", "###"],
    "T": ["###", ".#.", ".#.", ".#.", ".#."], "U": ["#.#", "#.#", "#.#", "#.#", "###"],
    "V": ["#.#", "#.#", "#.#", "#.#", ".#."], "Y": ["#.#", "#.#", ".#.", ".#.", ".#."],
    "Z": ["###", "..#", ".#.", "#..", "###"], "W": ["#.#", "#.#", "###", "###", "#.#"],
    "0": ["###", "#.#", "#.#", "#.#", "###"], "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["###", "..#", "###", "#..", "###"], "3": ["###", "..#", ".##", "..#", "###"],
    "4": ["#.#", "#.#", "###", "..#", "..#"], "5": ["###", "#..", "###", "..#", "###"],
    "6": ["###", "#..", "###", "#.#", "###"], "7": ["###", "..#", "..#", ".#.", ".#."],
    "8": ["###", "#.#", "###", "#.#", "###"], "9": ["###", "#.#", "###", "..#", "###"],
    "+": ["...", ".#.", "###", ".#.", "..."], "-": ["...", "...", "###", "...", "..."],
    ".": ["...", "...", "...", "...", ".#."], " ": ["...", "...", "...", "...", "..."],
    "~": [".....", ".#.#.", "#.#.#", ".#.#.", "....."],   # infinity
}


def tiny_width(text):
    return sum(len(TINY[ch][0]) + 1 for ch in text) - 1


def tiny_text(cv, x, y, text, col, a=1.0, shadow=None):
    """Engraved caption: glyphs in col, optional 1-pixel drop in shadow."""
    for layer, (dx, dy, c) in enumerate(((1, 1, shadow), (0, 0, col))):
        if c is None:
            continue
        cx = x
        for ch in text:
            rows = TINY[ch]
            for j, row in enumerate(rows):
                for i, v in enumerate(row):
                    if v == "#":
                        cv.blend(cx + i + dx, y + j + dy, c, a)
            cx += len(rows[0]) + 1

# ---------------------------------------------------------------- LED font

# 5x7 capitals and punctuation; digits use the left four columns only.
FONT = {
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
    "!": ["..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."],
    '"': [".#.#.", ".#.#.", ".....", ".....", ".....", ".....", "....."],
    "#": [".#.#.", ".#.#.", "#####", ".#.#.", "#####", ".#.#.", ".#.#."],
    "$": ["..#..", ".####", "#.#..", ".###.", "..#.#", "####.", "..#.."],
    "%": ["##...", "##..#", "...#.", "..#..", ".#...", "#..##", "...##"],
    "&": [".##..", "#..#.", "#.#..", ".#...", "#.#.#", "#..#.", ".##.#"],
    "'": ["..#..", "..#..", ".#...", ".....", ".....", ".....", "....."],
    "(": ["...#.", "..#..", ".#...", ".#...", ".#...", "..#..", "...#."],
    ")": [".#...", "..#..", "...#.", "...#.", "...#.", "..#..", ".#..."],
    "*": [".....", "..#..", "#.#.#", ".###.", "#.#.#", "..#..", "....."],
    "+": [".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."],
    ",": [".....", ".....", ".....", ".....", "..#..", "..#..", ".#..."],
    "-": [".....", ".....", ".....", ".###.", ".....", ".....", "....."],
    ".": [".....", ".....", ".....", ".....", ".....", ".....", "..#.."],
    "/": [".....", "....#", "...#.", "..#..", ".#...", "#....", "....."],
    "0": [".##..", "#..#.", "#..#.", "#..#.", "#..#.", "#..#.", ".##.."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".##..", "#..#.", "...#.", "..#..", ".#...", "#....", "####."],
    "3": ["###..", "...#.", "...#.", ".##..", "...#.", "...#.", "###.."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "####.", "...#.", "...#."],
    "5": ["####.", "#....", "###..", "...#.", "...#.", "#..#.", ".##.."],
    "6": [".##..", "#....", "#....", "###..", "#..#.", "#..#.", ".##.."],
    "7": ["####.", "...#.", "...#.", "..#..", ".#...", ".#...", ".#..."],
    "8": [".##..", "#..#.", "#..#.", ".##..", "#..#.", "#..#.", ".##.."],
    "9": [".##..", "#..#.", "#..#.", ".###.", "...#.", "...#.", ".##.."],
    ";": [".....", ".....", "..#..", ".....", "..#..", "..#..", ".#..."],
    "<": ["...#.", "..#..", ".#...", "#....", ".#...", "..#..", "...#."],
    "=": [".....", ".....", "#####", ".....", "#####", ".....", "....."],
    ">": [".#...", "..#..", "...#.", "....#", "...#.", "..#..", ".#..."],
    "?": [".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."],
    "@": [".###.", "#...#", "#.###", "#.#.#", "#.###", "#....", ".####"],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "J": ["..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    "X": ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "Z": ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    "[": [".###.", ".#...", ".#...", ".#...", ".#...", ".#...", ".###."],
    "\\": [".....", "#....", ".#...", "..#..", "...#.", "....#", "....."],
    "]": [".###.", "...#.", "...#.", "...#.", "...#.", "...#.", ".###."],
    "^": ["..#..", ".#.#.", "#...#", ".....", ".....", ".....", "....."],
    "_": [".....", ".....", ".....", ".....", ".....", ".....", "#####"],
    "`": [".#...", "..#..", ".....", ".....", ".....", ".....", "....."],
}
# ':' sits off the dot grid, centred in the gap between time digits.
COLON_DOTS = [(4, 5), (4, 9)]

GLYPH_W, GLYPH_H = 12, 15
GLYPH_FIRST, GLYPH_LAST = 32, 120

# brightness of the four pixels of one lit dot, and of the halo around it
DOT_LEVELS = ((0, 0, 0.96), (1, 0, 0.80), (0, 1, 0.80), (1, 1, 0.62))
HALO = 0.20


def glyph_pixels(ch):
    """Lit pixels of one cell as {(x, y): intensity} (cell coordinates)."""
    lit = {}
    if ch == ":":
        for (x, y) in COLON_DOTS:
            for dx, dy, v in DOT_LEVELS:
                lit[(x + dx, y + dy)] = v
        return lit
    rows = FONT[ch]
    for r, row in enumerate(rows):
        for c, v in enumerate(row):
            if v == "#":
                for dx, dy, lv in DOT_LEVELS:
                    lit[(1 + 2 * c + dx, 1 + 2 * r + dy)] = lv
    return lit


def draw_glyph(cv, ox, oy, ch, bright=1.0):
    """Draws one LED cell (12x15, panel background included) at ox, oy."""
    cv.rect(ox, oy, ox + GLYPH_W, oy + GLYPH_H, LED_BG)
    lit = glyph_pixels(ch)
    level = {}
    for (x, y), v in lit.items():
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                k = (x + dx, y + dy)
                if k not in lit and 0 <= k[0] < GLYPH_W and 0 <= k[1] < GLYPH_H:
                    level[k] = max(level.get(k, 0.0), HALO * (0.6 if dx and dy else 1.0))
    level.update(lit)
    for (x, y), v in level.items():
        cv.set(ox + x, oy + y, teal(0.22 + 0.78 * v * bright) if v >= 0.5 else
               teal(v * bright * 1.1))

# ---------------------------------------------------------------- window shape


def window_mask(w=WIN_W, h=WIN_H, marker=64):
    m = [[True] * w for _ in range(h)]

    def cut(x0, y0, x1, y1, val=False):
        for y in range(max(0, y0), min(h, y1)):
            for x in range(max(0, x0), min(w, x1)):
                m[y][x] = val
    W, H = w, h
    for r in [(0, 71, 18, H), (0, 0, 3, 1), (0, 0, 1, 3), (0, 69, 2, 70), (0, 70, 17, 71),
              (32, 0, 34, 1), (33, 0, 34, 3), (34, 0, 98, 6), (35, 0, 97, 7), (98, 0, 99, 2),
              (98, 0, 101, 1), (34, 14, 98, 17), (35, 13, 97, 18), (W - 7, 0, W, 1),
              (W - 5, 0, W, 3), (W - 4, 0, W, 22), (W - 3, 0, W, H)]:
        cut(*r)
    if marker != -1:
        y = marker
        cut(W - 3, y, W - 2, y + 15, True)
        cut(W - 2, y, W - 1, y + 12, True)
        cut(W - 1, y + 2, W, y + 5, True)
    return m

# ---------------------------------------------------------------- the body

BODY_TOP = 74       # grey level of the plate at the top of each deck
BODY_BOTTOM = 52    # ... and at its bottom
HILITE = (150, 152, 156)
SHADOW = (14, 15, 18)


def body_colour(y):
    if y < 93:
        t = y / 92.0
    else:
        t = (y - 93) / 97.0
    return lerp(BODY_TOP, BODY_BOTTOM, t)


def draw_body(cv, mask):
    rng = Rng(0x564F524C)
    row_noise = [rng.next() - 0.5 for _ in range(WIN_H)]
    streak = [rng.next() - 0.5 for _ in range(WIN_W + 64)]
    for y in range(WIN_H):
        base = body_colour(y) + 2.2 * row_noise[y]
        for x in range(WIN_W):
            if not mask[y][x]:
                cv.set(x, y, (0, 0, 0))
                continue
            # brushed grain: long horizontal streaks shifted per row
            s = streak[(x + 37 * y) % (WIN_W + 64)]
            v = base + 2.0 * s
            cv.set(x, y, (v, v, v + 3))
    # plate bevel: lit from the top left
    for y in range(WIN_H):
        for x in range(WIN_W):
            if not mask[y][x]:
                continue
            up = y == 0 or not mask[y - 1][x]
            left = x == 0 or not mask[y][x - 1]
            down = y == WIN_H - 1 or not mask[y + 1][x]
            right = x == WIN_W - 1 or not mask[y][x + 1]
            if down or right:
                cv.set(x, y, SHADOW)
            elif up or left:
                cv.set(x, y, HILITE)
            else:
                # second ring, softer
                up2 = y < 2 or not mask[y - 2][x]
                left2 = x < 2 or not mask[y][x - 2]
                down2 = y >= WIN_H - 2 or not mask[y + 2][x]
                right2 = x >= WIN_W - 2 or not mask[y][x + 2]
                if down2 or right2:
                    cv.blend(x, y, (24, 25, 28), 0.7)
                elif up2 or left2:
                    cv.blend(x, y, (112, 114, 118), 0.6)


def groove_h(cv, x0, x1, y):
    """An engraved horizontal line: dark above, light below."""
    for x in range(x0, x1):
        cv.blend(x, y, (20, 21, 24), 0.85)
        cv.blend(x, y + 1, (120, 122, 126), 0.45)


def inset_panel(cv, x0, y0, x1, y1, r, fill, depth=2):
    """A recessed well around the box x0,y0,x1,y1 (exclusive): a dark rim
    `depth` pixels wide outside the box, lit on its lower right lip."""
    outer = sd_box(x0 - depth, y0 - depth, x1 + depth, y1 + depth, r + depth)
    cv.shape(outer, (x0 - depth - 1, y0 - depth - 1, x1 + depth + 1, y1 + depth + 1), (112, 114, 118))
    rim = sd_box(x0 - depth + 0.0, y0 - depth + 0.0, x1 + depth - 1.0, y1 + depth - 1.0, r + depth - 0.5)
    cv.shape(rim, (x0 - depth - 1, y0 - depth - 1, x1 + depth + 1, y1 + depth + 1), (16, 17, 20))
    cv.shape(sd_box(x0, y0, x1, y1, r), (x0 - 1, y0 - 1, x1 + 1, y1 + 1), fill)


def draw_title(cv):
    # drag strip: a shallow recessed bar with the name and a grip
    x0, y0, x1, y1 = 104, 5, 250, 19
    cv.shape(sd_box(x0, y0, x1, y1, 3), (x0 - 1, y0 - 1, x1 + 1, y1 + 1), (108, 110, 114))
    cv.shape(sd_box(x0, y0, x1 - 1, y1 - 1, 3), (x0 - 1, y0 - 1, x1 + 1, y1 + 1), (18, 19, 23))
    cv.shape(sd_box(x0 + 1, y0 + 1, x1 - 1, y1 - 1, 2), (x0, y0, x1, y1),
             lambda px, py: grey(lerp(34, 44, (py - y0) / (y1 - y0))))
    # wordmark
    draw_wordmark(cv, 110, 8)
    tiny_text(cv, 160, 10, "MPEG AUDIO", (120, 126, 136), 1.0, (16, 17, 20))
    # grip ridges at the right
    for i in range(9):
        x = 206 + 4 * i
        for y in range(9, 16):
            cv.blend(x, y, (18, 19, 22), 0.8)
            cv.blend(x + 1, y, (92, 94, 98), 0.7)


WORD = {
    "V": ["#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "O": [".###.", "#...#", "#...#", "#...#", ".###."],
    "R": ["####.", "#...#", "####.", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#####"],
}


def draw_wordmark(cv, x, y):
    """VORLO in 5x5 letters with pixels drawn 1.6 wide for a wide logotype,
    teal with a soft glow."""
    text = "VORLO"
    sx = 1.5
    segs = []
    for k, ch in enumerate(text):
        rows = WORD[ch]
        ox = x + k * 9.0
        for j, row in enumerate(rows):
            for i, v in enumerate(row):
                if v == "#":
                    segs.append((ox + i * sx, y + j * 1.6, ox + i * sx + sx, y + j * 1.6 + 1.6))
    def sd(px, py):
        return min(sd_box(a, b, c, d)(px, py) for a, b, c, d in segs)
    bb = (x - 3, y - 3, x + 48, y + 12)
    cv.shape(lambda px, py: sd(px, py) - 1.5, bb, teal(0.45), 0.30, soft=2.5)
    cv.shape(sd, bb, lambda px, py: teal(lerp(0.95, 0.78, (py - y) / 8.0)))


def draw_handle(cv):
    # the bar between the top notch and the slot: a rubber grip
    for x in range(35, 97):
        for y in range(7, 13):
            v = 40 + (6 if (x + y) % 3 == 0 else 0)
            cv.set(x, y, (v, v, v + 2))
    for x in range(35, 97):
        cv.blend(x, 7, (130, 132, 136), 0.6)
        cv.blend(x, 12, (14, 15, 18), 0.7)


def draw_led_well(cv):
    inset_panel(cv, 29, 29, 175, 65, 2, LED_BG, depth=3)
    cv.rect(29, 29, 175, 65, LED_BG)
    # faint rule under the name row and a caption beside the time
    for x in range(2, 144, 2):
        cv.set(29 + x, 29 + 17, teal(0.14))
    tiny_text(cv, 29 + 38, 29 + 26, "TIME", teal(0.40))


DIAL_CX, DIAL_CY = 216, 56
DIAL_R0, DIAL_R1 = 14, 22


def ring_gap_sd(px, py):
    """Distance to the nearest of the 24 radial gaps (every 15 degrees)."""
    dx, dy = px - DIAL_CX, py - DIAL_CY
    ang = math.atan2(dx, -dy)          # clockwise from 12 o'clock
    step = math.pi / 12
    k = round(ang / step)
    a = k * step
    # distance from the point to the ray at angle a
    ux, uy = math.sin(a), -math.cos(a)
    return abs(dx * uy - dy * ux) - 0.55


def ring_sd(px, py):
    return max(sd_ring(DIAL_CX, DIAL_CY, DIAL_R0 + 0.6, DIAL_R1 - 0.6)(px, py), -ring_gap_sd(px, py))


def draw_dial_base(cv):
    cx, cy = DIAL_CX, DIAL_CY
    bb = (cx - 27, cy - 27, cx + 27, cy + 27)
    # metal bezel and the dark well of the ring
    cv.shape(sd_circle(cx, cy, 25.5), bb, lambda px, py: grey(lerp(120, 30, ((px - cx) + (py - cy) + 36) / 72)))
    cv.shape(sd_circle(cx, cy, 24.0), bb, lambda px, py: grey(lerp(36, 80, ((px - cx) + (py - cy) + 34) / 68)))
    cv.shape(sd_circle(cx, cy, 23.0), bb, (9, 12, 15))
    # unlit segments
    cv.shape(ring_sd, bb, lambda px, py: teal(0.17))
    cv.shape(lambda px, py: ring_sd(px, py) + 1.0, bb, teal(0.12))
    # the centre cap: a brushed knob with a tiny lamp
    cv.shape(sd_circle(cx, cy, 12.6), bb, (8, 9, 11))
    cv.shape(sd_circle(cx, cy, 11.6), bb,
             lambda px, py: grey(lerp(128, 40, ((px - cx) + (py - cy) + 16) / 32)))
    cv.shape(sd_circle(cx, cy, 10.4), bb,
             lambda px, py: grey(lerp(66, 92, ((px - cx) + (py - cy) + 15) / 30)
                                 + 5 * math.sin(3 * math.atan2(py - cy, px - cx))))
    cv.shape(sd_circle(cx, cy - 6.5, 1.3), bb, teal(0.55))


def draw_dial_lit(cv):
    """The lit ring on top of the base: brighter clockwise from 12 o'clock."""
    cx, cy = DIAL_CX, DIAL_CY
    bb = (cx - 27, cy - 27, cx + 27, cy + 27)

    def col(px, py):
        ang = math.atan2(px - cx, -(py - cy)) % (2 * math.pi)
        t = ang / (2 * math.pi)
        r = math.hypot(px - cx, py - cy)
        edge = 1.0 - min(1.0, abs(r - 18.0) / 4.5) ** 2
        return teal(0.64 + 0.20 * t + 0.10 * edge)
    cv.shape(ring_sd, bb, col)


VOL_X0, VOL_X1 = 37, 46


def vol_segment_rows(i):
    return 174 - 5 * i, 178 - 5 * i      # lit rows; 178-5i is the gap


def draw_volume(cv, lit):
    for i in range(16):
        y0, y1 = vol_segment_rows(i)
        if lit:
            t = i / 15.0
            c = teal(0.62 + 0.32 * t)
            box = sd_box(VOL_X0, y0, VOL_X1, y1, 0.8)
            cv.shape(box, (VOL_X0, y0, VOL_X1, y1), c)
            for x in range(VOL_X0 + 1, VOL_X1 - 1):
                cv.blend(x, y0, teal(1.0), 0.35)
        else:
            cv.shape(sd_box(VOL_X0, y0, VOL_X1, y1, 0.8), (VOL_X0, y0, VOL_X1, y1), teal(0.16))


EQ_X0 = 67


def eq_row_top(r):
    return 169 - 5 * r


def draw_eq_base(cv):
    for c in range(12):
        x = EQ_X0 + 14 * c
        # groove down the middle of the knob column
        for y in range(eq_row_top(14), eq_row_top(0) + 4):
            cv.set(x + 3, y, (6, 8, 10))
            cv.set(x + 4, y, (6, 8, 10))
            cv.set(x + 5, y, (40, 44, 50))
        # a tick for every row, longer at the ends and at the flat point
        for r in range(15):
            y = eq_row_top(r) + 1
            major = r in (0, 7, 14)
            for dx in ((0, 1, 7, 8) if major else (1, 7)):
                cv.set(x + dx, y, teal(0.30 if major else 0.2) if r == 7 else
                       (grey(22) if major else grey(28)))
            if r == 7:
                cv.set(x + 2, y, teal(0.3))
                cv.set(x + 6, y, teal(0.3))


def draw_eq_knob(cv, c, r):
    x = EQ_X0 + 14 * c
    y = eq_row_top(r)
    t = r / 14.0
    body = teal(0.58 + 0.36 * t)
    cv.shape(sd_box(x, y, x + 9, y + 4, 1.0), (x, y, x + 9, y + 4), body)
    for i in range(x + 1, x + 8):
        cv.blend(i, y, (235, 255, 255), 0.45)
        cv.blend(i, y + 3, LED_BG, 0.35)
    cv.blend(x + 4, y + 1, (255, 255, 255), 0.5)
    cv.blend(x + 4, y + 2, (255, 255, 255), 0.3)


def draw_lower_deck(cv):
    groove_h(cv, 20, 252, 93)
    # wells end by row 179 and the captions by row 184: rows 185..190 are
    # the bottom edge that the collapsed window borrows
    inset_panel(cv, VOL_X0 - 2, 97, VOL_X1 + 2, 178, 2, (9, 12, 15), depth=2)
    inset_panel(cv, EQ_X0 - 3, 97, 235 + 2, 176, 2, (9, 12, 15), depth=2)
    draw_volume(cv, False)
    draw_eq_base(cv)
    lab = (112, 118, 128)
    sh = (20, 21, 24)
    for k, ch in enumerate("VOL"):
        tiny_text(cv, 26, 160 + 6 * k, ch, lab, 1.0, sh)
    # equaliser scale (dB) and band captions (Hz at 44.1 kHz)
    for text, r in (("+6", 14), ("0", 7), ("-~", 0)):
        tiny_text(cv, 61 - tiny_width(text), eq_row_top(r) - 1, text, lab, 1.0, sh)
    labels = ["0", "190", "380", "770", "1K", "2K", "4K", "6K", "8K", "11K", "15K", "22K"]
    for c, s in enumerate(labels):
        cx = EQ_X0 + 14 * c + 4.5
        tiny_text(cv, int(round(cx - tiny_width(s) / 2.0)), 179, s, lab, 1.0, sh)
    tiny_text(cv, 242, 99, "EQ", lab, 1.0, sh)
    tiny_text(cv, 241, 179, "HZ", lab, 1.0, sh)


# ---------------------------------------------------------------- buttons


def key(cv, x0, y0, x1, y1, pressed, r=2.5, face=None):
    """A keycap occupying x0,y0,x1,y1: raised when up, sunk when pressed."""
    bb = (x0 - 2, y0 - 2, x1 + 2, y1 + 2)
    # drop shadow / socket
    cv.shape(sd_box(x0 - 0.5, y0 - 0.5, x1 + 0.5, y1 + 0.5, r + 0.5), bb, (12, 13, 16))
    if not pressed:
        cv.shape(sd_box(x0, y0, x1, y1 - 0.5, r), bb, (138, 140, 146))
        cv.shape(sd_box(x0 + 0.8, y0 + 0.8, x1 - 0.8, y1 - 1.2, r - 0.6), bb, (40, 42, 46))
        cv.shape(sd_box(x0 + 1, y0 + 1, x1 - 1, y1 - 1.5, r - 0.8), bb,
                 face or (lambda px, py: grey(lerp(96, 64, (py - y0) / (y1 - y0)))))
    else:
        cv.shape(sd_box(x0, y0, x1, y1, r), bb, (6, 7, 9))
        cv.shape(sd_box(x0 + 0.8, y0 + 1.2, x1 - 0.6, y1 - 0.6, r - 0.6), bb, (70, 72, 78))
        cv.shape(sd_box(x0 + 1, y0 + 1.6, x1 - 1, y1 - 1, r - 0.8), bb,
                 face or (lambda px, py: grey(lerp(40, 56, (py - y0) / (y1 - y0)))))


def glyph_colour(pressed):
    return teal(0.9) if pressed else (222, 226, 232)


def symbol(cv, sdf, bb, pressed):
    """Draws a button symbol: a dark engraving under it when up, a glow
    around it when pressed."""
    if pressed:
        cv.shape(lambda px, py: sdf(px, py) - 1.6, bb, teal(0.55), 0.35, soft=2.5)
        cv.shape(sdf, bb, glyph_colour(True))
    else:
        cv.shape(lambda px, py: sdf(px - 0.0, py - 1.0), bb, (16, 17, 20), 0.75)
        cv.shape(sdf, bb, glyph_colour(False))


TRANSPORT = [  # name, key left edge, image destination x, source x in 121
    ("open", 32, 32, 1), ("play", 52, 50, 21), ("pause", 72, 70, 41),
    ("stop", 92, 90, 61), ("prev", 112, 110, 81), ("next", 132, 130, 101),
]
KEY_Y0, KEY_Y1 = 73, 89


def draw_transport(cv, name, kx, pressed):
    key(cv, kx, KEY_Y0, kx + 16, KEY_Y1, pressed)
    dy = 1.0 if pressed else 0.0
    cx, cy = kx + 8.0, (KEY_Y0 + KEY_Y1) / 2.0 - 0.5 + dy
    bb = (kx, KEY_Y0, kx + 16, KEY_Y1 + 1)
    if name == "play":
        sd = sd_poly([(cx - 3.0, cy - 4.5), (cx + 4.2, cy), (cx - 3.0, cy + 4.5)])
    elif name == "pause":
        sd = sd_union(sd_box(cx - 4, cy - 4, cx - 1, cy + 4, 0.3), sd_box(cx + 1, cy - 4, cx + 4, cy + 4, 0.3))
    elif name == "stop":
        sd = sd_box(cx - 3.8, cy - 3.8, cx + 3.8, cy + 3.8, 0.6)
    elif name == "prev":
        sd = sd_union(sd_box(cx - 4.5, cy - 4, cx - 2.5, cy + 4),
                      sd_poly([(cx + 4.5, cy - 4.2), (cx + 4.5, cy + 4.2), (cx - 2.5, cy)]))
    elif name == "next":
        sd = sd_union(sd_box(cx + 2.5, cy - 4, cx + 4.5, cy + 4),
                      sd_poly([(cx - 4.5, cy - 4.2), (cx + 2.5, cy), (cx - 4.5, cy + 4.2)]))
    else:  # open / eject
        sd = sd_union(sd_poly([(cx, cy - 4.6), (cx + 4.6, cy + 0.6), (cx - 4.6, cy + 0.6)]),
                      sd_box(cx - 4.6, cy + 2.4, cx + 4.6, cy + 4.4))
    symbol(cv, sd, bb, pressed)


SWITCHES = [("repeat", 72, "RPT"), ("shuffle", 82, "SHF")]


def draw_switch(cv, y, label, pressed, on):
    x0, x1 = 170, 188
    y0, y1 = y + 0.5, y + 8.5
    key(cv, x0 + 0.5, y0, x1 - 0.5, y1, pressed, r=2.0)
    dy = 1 if pressed else 0
    lx, ly = x0 + 3.0, y + 4.5 + dy * 0.5
    bb = (x0, y, x1, y + 9)
    if on:
        cv.shape(sd_circle(lx, ly, 3.2), bb, teal(0.6), 0.45, soft=2.0)
        cv.shape(sd_circle(lx, ly, 1.5), bb, teal(0.96))
    else:
        cv.shape(sd_circle(lx, ly, 1.5), bb, (14, 30, 36))
    tiny_text(cv, x0 + 5, y + 2 + dy, label, teal(0.9) if on else (196, 200, 206), 1.0,
              None if pressed else (18, 19, 22))


def draw_minimise(cv, pressed):
    x0, y0 = 4, 33
    key(cv, x0 + 0.5, y0 + 0.5, x0 + 13.5, y0 + 13.5, pressed, r=2.5)
    dy = 1.0 if pressed else 0.0
    sd = sd_box(x0 + 3.5, y0 + 8 + dy, x0 + 10.5, y0 + 10 + dy, 0.4)
    symbol(cv, sd, (x0, y0, x0 + 14, y0 + 14), pressed)


def close_sd(inset=0.0):
    """The L-shaped close key, matching the union of 4,4,29,17 and 4,4,17,29."""
    a = sd_box(4 + inset, 4 + inset, 29 - inset, 17 - inset, 3.0)
    b = sd_box(4 + inset, 4 + inset, 17 - inset, 29 - inset, 3.0)
    return sd_union(a, b)


def draw_close(cv, pressed):
    bb = (2, 2, 32, 32)
    cv.shape(close_sd(-0.5), bb, (12, 13, 16))
    if not pressed:
        cv.shape(close_sd(0.0), bb, (138, 140, 146))
        cv.shape(close_sd(0.9), bb, (40, 42, 46))
        cv.shape(close_sd(1.1), bb, lambda px, py: grey(lerp(98, 62, ((px - 4) + (py - 4)) / 40)))
    else:
        cv.shape(close_sd(0.0), bb, (6, 7, 9))
        cv.shape(close_sd(0.9), bb, (70, 72, 78))
        cv.shape(close_sd(1.3), bb, lambda px, py: grey(lerp(40, 56, ((px - 4) + (py - 4)) / 40)))
    # the cross in the corner square, and a ridge along each arm
    dy = 0.8 if pressed else 0.0
    cx, cy = 10.5, 10.5 + dy
    sd = sd_union(sd_segment(cx - 3, cy - 3, cx + 3, cy + 3, 1.05),
                  sd_segment(cx - 3, cy + 3, cx + 3, cy - 3, 1.05))
    if pressed:
        cv.shape(lambda px, py: sd(px, py) - 1.6, bb, (230, 70, 50), 0.35, soft=2.5)
        cv.shape(sd, bb, (255, 132, 112))
    else:
        cv.shape(lambda px, py: sd(px, py - 1), bb, (16, 17, 20), 0.75)
        cv.shape(sd, bb, (222, 226, 232))


def draw_expand(cv, mask, pressed):
    """The tab on the right edge (region 251,64,258,79 in the window shape)."""
    for y in range(64, 79):
        for x in range(251, WIN_W):
            if not mask[y][x]:
                continue
            up = y == 64 or not mask[y - 1][x]
            down = y == 78 or not mask[y + 1][x]
            right = x + 1 >= WIN_W or not mask[y][x + 1]
            if pressed:
                v = 8 if up else (78 if down or right else 38)
            else:
                v = 150 if up else (12 if down or right else lerp(112, 78, (y - 64) / 14.0))
            cv.set(x, y, grey(v))
    # three engraved grip lines; lit while held
    for y in (68, 71, 74):
        for x in range(252, 256):
            if pressed:
                cv.set(x, y, teal(0.85))
            else:
                cv.set(x, y, grey(28))
                cv.set(x, y + 1, grey(140))


# ---------------------------------------------------------------- compositions


def draw_background(mask, state=None):
    """The window as drawn with every control at rest, or with `state`
    (a dict of element -> (pressed, on)) applied."""
    state = state or {}
    cv = Canvas(WIN_W, WIN_H)
    draw_body(cv, mask)
    draw_handle(cv)
    draw_title(cv)
    draw_led_well(cv)
    draw_dial_base(cv)
    draw_lower_deck(cv)
    draw_buttons(cv, mask, state)
    return cv


def draw_buttons(cv, mask, state):
    for name, kx, _, _ in TRANSPORT:
        draw_transport(cv, name, kx, state.get(name, (False, False))[0])
    for name, y, label in SWITCHES:
        p, on = state.get(name, (False, False))
        draw_switch(cv, y, label, p, on)
    draw_minimise(cv, state.get("minimise", (False, False))[0])
    draw_close(cv, state.get("close", (False, False))[0])
    draw_expand(cv, mask, state.get("expand", (False, False))[0])


def build_images():
    """Returns {resource id: Canvas} for the seven skin bitmaps."""
    mask = window_mask()
    bg = draw_background(mask)
    imgs = {102: bg}

    def with_state(st):
        cv = bg.copy()
        draw_buttons(cv, mask, st)
        return cv

    allp = {n: (True, False) for n in ("open", "play", "pause", "stop", "prev", "next",
                                       "repeat", "shuffle", "minimise", "close", "expand")}
    pressed = with_state(allp)
    on_up = with_state({"repeat": (False, True), "shuffle": (False, True)})
    on_pr = with_state({"repeat": (True, True), "shuffle": (True, True)})

    b108 = Canvas(100, 60, (60, 62, 66))
    b108.paste(bg.crop(4, 33, 14, 14), 0, 0)
    b108.paste(pressed.crop(4, 33, 14, 14), 0, 16)
    b108.paste(bg.crop(4, 4, 28, 28), 30, 0)
    b108.paste(pressed.crop(4, 4, 28, 28), 30, 30)
    b108.paste(bg.crop(251, 63, 7, 18), 58, 0)       # window is 258 wide: column 7
    b108.paste(pressed.crop(251, 62, 7, 18), 58, 30)  # of the 8 never shows
    imgs[108] = b108

    b121 = Canvas(162, 80, (60, 62, 66))
    for name, kx, dest, sx in TRANSPORT:
        b121.paste(bg.crop(dest, 72, 18, 18), sx, 0)
        b121.paste(pressed.crop(dest, 72, 18, 18), sx, 20)
    for (name, y, _), off in zip(SWITCHES, (0, 10)):
        b121.paste(bg.crop(170, y, 18, 9), 141, off)
        b121.paste(pressed.crop(170, y, 18, 9), 141, off + 20)
        b121.paste(on_up.crop(170, y, 18, 9), 141, off + 40)
        b121.paste(on_pr.crop(170, y, 18, 9), 141, off + 60)
    imgs[121] = b121

    lit = bg.copy()
    draw_volume(lit, True)
    for c in range(12):
        for r in range(15):
            draw_eq_knob(lit, c, r)
    b128 = Canvas(18, 79)
    b128.paste(lit.crop(37, 99, 9, 79), 0, 0)
    b128.paste(lit.crop(67, 99, 9, 79), 9, 0)
    imgs[128] = b128

    dial = bg.copy()
    draw_dial_lit(dial)
    imgs[119] = dial.crop(192, 31, 48, 47)

    b135 = Canvas(146, 36, LED_BG)
    for x, kind in ((20, "play"), (28, "stop"), (36, "pause")):
        draw_state_symbol(b135, x, 0, kind, 1.0)
        draw_state_symbol(b135, x, 10, kind, 0.45)
    imgs[135] = b135

    b118 = Canvas(1070, 16, LED_BG)
    for code in range(GLYPH_FIRST, GLYPH_LAST + 1):
        ch = chr(code)
        if "a" <= ch <= "z":
            ch = ch.upper()
        draw_glyph(b118, 12 * (code - GLYPH_FIRST), 0, ch)
    imgs[118] = b118
    return imgs


def draw_state_symbol(cv, x, y, kind, bright):
    """8x11 play-state symbol with rows y and y+10 left blank, so that the
    bright (y 0) and dim (y 10) copies may share their edge row."""
    cv.rect(x, y, x + 8, y + 11, LED_BG)
    cx, cy = x + 4.0, y + 5.5
    if kind == "play":
        sd = sd_poly([(cx - 2.6, cy - 4.0), (cx + 3.6, cy), (cx - 2.6, cy + 4.0)])
    elif kind == "pause":
        sd = sd_union(sd_box(cx - 3.0, cy - 3.5, cx - 0.8, cy + 3.5), sd_box(cx + 0.8, cy - 3.5, cx + 3.0, cy + 3.5))
    else:
        sd = sd_box(cx - 3.0, cy - 3.0, cx + 3.0, cy + 3.0, 0.3)
    bb = (x, y + 1, x + 8, y + 10)
    cv.shape(lambda px, py: sd(px, py) - 1.0, bb, teal(0.5 * bright), 0.5, soft=2.0)
    cv.shape(sd, bb, teal(0.25 + 0.7 * bright))

# ---------------------------------------------------------------- icon


def icon_rgba(size):
    """The program icon: a graphite disc with the lit seek ring and a play
    triangle. Returns rows of (r, g, b, a), a in 0..255, top row first."""
    s = size / 32.0
    cx = cy = size / 2.0
    ss = 4
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    px = x + (sx + 0.5) / ss
                    py = y + (sy + 0.5) / ss
                    c, a = icon_sample(px, py, cx, cy, s)
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            n = ss * ss
            a = acc[3] / n
            if a > 0:
                col = tuple(int(round(acc[k] / acc[3])) for k in range(3))
            else:
                col = (0, 0, 0)
            row.append(col + (int(round(a * 255)),))
        out.append(row)
    return out


def icon_sample(px, py, cx, cy, s):
    dx, dy = px - cx, py - cy
    r = math.hypot(dx, dy)
    if r > 15.6 * s:
        return (0, 0, 0), 0.0
    if r > 14.4 * s:
        return (150, 154, 160), 1.0
    ang = math.atan2(dx, -dy) % (2 * math.pi)
    if 9.0 * s <= r <= 13.4 * s:
        if ang <= 2 * math.pi * 0.72:
            return tuple(int(v) for v in teal(0.62 + 0.3 * ang / (2 * math.pi))), 1.0
        return tuple(int(v) for v in teal(0.2)), 1.0
    if r > 8.0 * s and r < 9.0 * s or r > 13.4 * s:
        return (14, 16, 20), 1.0
    # play triangle on the cap
    t = (dx / s, dy / s)
    if -3.2 <= t[0] and t[0] <= 5.0 and abs(t[1]) <= (5.0 - t[0]) * 0.62:
        return (236, 240, 244), 1.0
    g = int(lerp(110, 50, (dx + dy + 8 * s) / (16 * s)))
    return (g, g, g + 4), 1.0

# ---------------------------------------------------------------- file formats


def bmp8(cv):
    """8-bit BI_RGB DIB with the window palette, rows bottom-up."""
    idx = cv.indices()
    w, h = cv.w, cv.h
    stride = (w + 3) & ~3
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        pixels += idx[y * w:(y + 1) * w] + b"\0" * (stride - w)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + pal + bytes(pixels)


def ico_bytes(images):
    """ICO bytes from [(size, rows of (r, g, b, a))]: one 32-bit image and its
    AND mask (set where alpha is below half) per size."""
    blobs = []
    for size, rows in images:
        xor = bytearray()
        for row in reversed(rows):
            for (r, g, b, a) in row:
                xor += bytes((b, g, r, a))
        mstride = ((size + 31) // 32) * 4
        andm = bytearray()
        for row in reversed(rows):
            bits = bytearray(mstride)
            for x, (_, _, _, a) in enumerate(row):
                if a < 128:
                    bits[x >> 3] |= 0x80 >> (x & 7)
            andm += bits
        info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(xor) + len(andm), 0, 0, 0, 0)
        blobs.append((size, info + bytes(xor) + bytes(andm)))
    head = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    entries = b""
    body = b""
    for size, data in blobs:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset + len(body))
        body += data
    return head + entries + body


def ico(sizes):
    """The program icon's ICO, one image per size."""
    return ico_bytes([(size, icon_rgba(size)) for size in sizes])


SKIN_IDS = (102, 108, 118, 119, 121, 128, 135)
SIZES = {102: (258, 191), 108: (100, 60), 118: (1070, 16), 119: (48, 47),
         121: (162, 80), 128: (18, 79), 135: (146, 36)}


def build_files():
    """{file name: bytes} for everything this script writes."""
    imgs = build_images()
    files = {}
    for rid in SKIN_IDS:
        cv = imgs[rid]
        assert (cv.w, cv.h) == SIZES[rid], rid
        files["skin%d.bmp" % rid] = bmp8(cv)
    files["vorlo.ico"] = ico((16, 32))
    return files


def write_files(files, out):
    """Writes {file name: bytes} into the folder out, naming each file."""
    os.makedirs(out, exist_ok=True)
    for name, data in sorted(files.items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print(os.path.join(out, name))
    return 0


def main(argv):
    return write_files(build_files(), argv[1] if len(argv) > 1 else os.path.join(ROOT, "resources"))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
