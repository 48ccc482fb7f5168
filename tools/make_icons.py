#!/usr/bin/env python3
"""Draws the tray, mini controller and document icons.

    make_icons.py [OUTDIR]            write the .ico files (default: resources/)
    make_icons.py --preview PNG       a grid of every icon at 16 and 32 pixels,
                                      1:1 and enlarged, on light and dark ground

Icons (file: resource id):
  tray000.ico .. tray100.ico  113..123  the position in eleven steps: the seek
                                        ring of the skin lit clockwise from the
                                        top in tenths (tray000 = 0 %, tray050 =
                                        50 %, ...); the window picks by percent / 10
  mini.ico                    124       the mini controller: a slate panel with
                                        the play key and the position slider
  doc_audio.ico               131       "VOR MPEG Audio File": a page with the
                                        program's disc
  doc_playlist.ico            132       "VOR Playlist File" and the playlist
                                        editor: a page with list rows, one lit

Each .ico holds a 16x16 and a 32x32 image, 32-bit with alpha and an AND
mask. Colours come from the skin (tools/make_skin.py): the LED teal ramp,
the graphite of the body and the grey rim of the program icon, so the icons
sit with the window. Python standard library only and deterministic.
"""
import math
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_skin  # noqa: E402

ROOT = make_skin.ROOT
teal = make_skin.teal
lerp = make_skin.lerp

RIM = (150, 154, 160)
WELL = (14, 16, 20)
PAPER = (236, 238, 240)
PAPER_EDGE = (92, 98, 108)
TRAY_STEPS = 11


def tcol(t):
    return tuple(int(v) for v in teal(t))


def over(dst, src):
    """src (rgb, a) painted over dst (rgb, a)."""
    (sc, sa), (dc, da) = src, dst
    a = sa + da * (1 - sa)
    if a <= 0:
        return (0, 0, 0), 0.0
    c = tuple((sc[k] * sa + dc[k] * da * (1 - sa)) / a for k in range(3))
    return c, a


# Every sampler takes (x, y) in units of a 32-unit square and returns (rgb, a).

def disc_sample(x, y, fill, cx=16.0, cy=16.0, scale=1.0, segmented=True, cap_play=True):
    """The seek disc of the program icon: grey rim, dark well, a ring lit
    clockwise from the top over `fill` (0..1), graphite cap with the play key.
    A segmented ring shows tenths as separate lamps."""
    dx, dy = (x - cx) / scale, (y - cy) / scale
    r = math.hypot(dx, dy)
    if r > 15.6:
        return (0, 0, 0), 0.0
    if r > 14.4:
        return RIM, 1.0
    ang = math.atan2(dx, -dy) % (2 * math.pi)
    if 7.4 <= r <= 13.4:
        frac = ang / (2 * math.pi)
        if segmented:
            # a dark spoke between tenths, wider on the outside
            edge = (frac * 10) % 1.0
            spoke = 0.55 / (2 * math.pi * r / 10)
            if edge < spoke / 2 or edge > 1 - spoke / 2:
                return WELL, 1.0
            step = int(frac * 10)
            if step < round(fill * 10):
                return tcol(0.66 + 0.28 * (step + 0.5) / 10 + 0.06 * (r - 7.4) / 6), 1.0
            return tcol(0.3), 1.0
        if frac <= fill:
            return tcol(0.62 + 0.3 * frac), 1.0
        return tcol(0.2), 1.0
    if r > 13.4 or r > 6.4:
        return WELL, 1.0
    if cap_play and -2.4 <= dx <= 3.8 and abs(dy) <= (3.8 - dx) * 0.62:
        return (236, 240, 244), 1.0
    g = int(lerp(118, 54, (dx + dy + 6.4) / 12.8))
    return (g, g, g + 4), 1.0


def tray_sample(step):
    return lambda x, y: disc_sample(x, y, step / 10.0)


def page_sample(x, y, fold=8.0):
    """A sheet with the top right corner folded down; None outside."""
    x0, y0, x1, y1 = 5.0, 1.0, 27.0, 31.0
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return None
    cut = (x - (x1 - fold)) + (y0 - y) + 0.0  # > 0 beyond the fold line
    if cut > 0:
        return None
    if x < x0 + 1 or x > x1 - 1 or y < y0 + 1 or y > y1 - 1 or cut > -1.2:
        return PAPER_EDGE, 1.0
    shade = int(lerp(246, 214, (y - y0) / (y1 - y0)))
    return (shade, shade + 1, shade + 3), 1.0


def fold_sample(x, y, fold=8.0):
    """The folded-over corner flap of the page."""
    x1, y0 = 27.0, 1.0
    fx, fy = x - (x1 - fold), y - y0
    if 0 <= fx <= fold and 0 <= fy <= fold and fx <= fy:
        if fx < 1 or fy > fold - 1 or fy - fx < 1.2:
            return PAPER_EDGE, 1.0
        return (196, 200, 206), 1.0
    return None


def doc_audio_sample(x, y):
    c = page_sample(x, y)
    out = ((0, 0, 0), 0.0) if c is None else c
    f = fold_sample(x, y)
    if f is not None:
        out = f
    d = disc_sample(x, y, 0.7, cx=16.0, cy=19.6, scale=0.6, segmented=False)
    return over(out, d) if d[1] > 0 else out


def doc_playlist_sample(x, y):
    c = page_sample(x, y)
    if c is None:
        f = fold_sample(x, y)
        return f if f is not None else ((0, 0, 0), 0.0)
    f = fold_sample(x, y)
    if f is not None:
        return f
    # five list rows; the third is the playing entry, lit in LED teal
    for i in range(5):
        ry = 9.0 + 4.4 * i
        if ry <= y < ry + 2.6:
            if i == 2:
                if 7.6 <= x <= 24.4:
                    return tcol(0.72), 1.0
            elif 8.0 <= x <= (24.0 if i % 2 == 0 else 20.5):
                return (72, 80, 92), 1.0
        if i == 2 and ry - 1.0 <= y < ry + 3.6 and 6.5 <= x <= 25.5 and not (7.6 <= x <= 24.4 and ry <= y < ry + 2.6):
            return WELL, 1.0
    return c


def mini_sample(x, y):
    """A small slate controller: rounded panel, play key, slider with thumb."""
    panel = make_skin.sd_box(1.0, 5.0, 31.0, 27.0, 4.0)(x, y)
    if panel > 0:
        return (0, 0, 0), 0.0
    if panel > -1.3:
        return RIM, 1.0
    # play key in a dark key well
    if make_skin.sd_box(4.0, 8.0, 14.0, 17.0, 1.5)(x, y) < 0:
        dx, dy = x - 8.0, y - 12.5
        if -2.2 <= dx <= 3.0 and abs(dy) <= (3.0 - dx) * 0.7:
            return tcol(0.9), 1.0
        return WELL, 1.0
    # stop key
    if make_skin.sd_box(17.0, 8.0, 27.0, 17.0, 1.5)(x, y) < 0:
        if 19.8 <= x <= 24.2 and 10.3 <= y <= 14.7:
            return (210, 214, 220), 1.0
        return WELL, 1.0
    # slider groove lit to the thumb, the thumb at 60 %
    if 20.0 <= y <= 23.0 and 4.0 <= x <= 28.0:
        return (tcol(0.74) if x < 18.4 else WELL), 1.0
    if make_skin.sd_box(17.0, 18.0, 21.0, 25.0, 1.0)(x, y) < 0:
        return (214, 218, 224), 1.0
    g = int(lerp(74, 40, (y - 5.0) / 22.0))
    return (g, g + 3, g + 9), 1.0


def rgba(sample, size, ss=4):
    """Rows of (r, g, b, a) for one image, supersampled ss x ss per pixel."""
    k = 32.0 / size
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    c, a = sample((x + (sx + 0.5) / ss) * k, (y + (sy + 0.5) / ss) * k)
                    for j in range(3):
                        acc[j] += c[j] * a
                    acc[3] += a
            a = acc[3] / (ss * ss)
            col = tuple(int(round(acc[j] / acc[3])) for j in range(3)) if acc[3] > 0 else (0, 0, 0)
            row.append(col + (int(round(a * 255)),))
        out.append(row)
    return out


def icon_set():
    """[(file name, sampler)] in resource id order."""
    out = [("tray%03d.ico" % (10 * i), tray_sample(i)) for i in range(TRAY_STEPS)]
    out.append(("mini.ico", mini_sample))
    out.append(("doc_audio.ico", doc_audio_sample))
    out.append(("doc_playlist.ico", doc_playlist_sample))
    return out


def png(path, rows):
    w, h = len(rows[0]), len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for c in row:
            raw += bytes(c)
    with open(path, "wb") as f:
        def chunk(tag, body):
            return (struct.pack(">I", len(body)) + tag + body
                    + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def preview(path):
    """One cell per icon: 16 and 32 at 1:1, then both enlarged 4x, on a light
    ground (top) and the dark ground of a task bar (bottom)."""
    icons = icon_set()
    cell_w, cell_h = 16 + 32 + 64 + 128 + 50, 2 * (128 + 8) + 8
    cols = 3
    W = cols * cell_w + 8
    H = ((len(icons) + cols - 1) // cols) * cell_h + 8
    img = [[(200, 200, 200)] * W for _ in range(H)]
    for n, (_, sample) in enumerate(icons):
        ox, oy = 8 + (n % cols) * cell_w, 8 + (n // cols) * cell_h
        for band, ground in enumerate(((228, 230, 234), (36, 40, 48))):
            by = oy + band * (128 + 8)
            for y in range(128):
                for x in range(cell_w - 10):
                    img[by + y][ox + x] = ground
            x = ox + 4
            for size in (16, 32):
                px = rgba(sample, size)
                for zoom in (1, 4):
                    pass
                for y in range(size):
                    for xx in range(size):
                        r, g, b, a = px[y][xx]
                        t = a / 255
                        img[by + 4 + y][x + xx] = tuple(int(round(ground[k] * (1 - t) + (r, g, b)[k] * t)) for k in range(3))
                x += size + 6
            for size in (16, 32):
                px = rgba(sample, size)
                z = 64 // size if size == 16 else 4
                for y in range(size * z):
                    for xx in range(size * z):
                        r, g, b, a = px[y // z][xx // z]
                        t = a / 255
                        img[by + y][x + xx] = tuple(int(round(ground[k] * (1 - t) + (r, g, b)[k] * t)) for k in range(3))
                x += size * z + 6
    png(path, img)


def main(argv):
    if len(argv) > 2 and argv[1] == "--preview":
        os.makedirs(os.path.dirname(os.path.abspath(argv[2])), exist_ok=True)
        preview(argv[2])
        return 0
    out = argv[1] if len(argv) > 1 else os.path.join(ROOT, "resources")
    os.makedirs(out, exist_ok=True)
    for name, sample in icon_set():
        with open(os.path.join(out, name), "wb") as f:
            f.write(make_skin.ico_bytes([(16, rgba(sample, 16)), (32, rgba(sample, 32))]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
