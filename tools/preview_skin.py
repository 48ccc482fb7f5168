#!/usr/bin/env python3
"""Composes PNG previews of the main window from the skin bitmaps, the way
the window, LED and dial code paint them.

    preview_skin.py [SKINDIR] [OUTDIR]   (defaults: resources/, build/skin-preview/)

Writes expanded.png and collapsed.png at 1:1 and *-x3.png enlarged, with the
window shape cut out over a desktop-coloured backdrop, some keys pressed, the
LED showing a name and a time and the dial partly lit. Python standard
library only.
"""
import math
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_skin  # noqa: E402

ROOT = make_skin.ROOT


def read_bmp8(path):
    """(w, h, rows of (r, g, b)) from an 8-bit BI_RGB BMP, top row first."""
    data = open(path, "rb").read()
    off = struct.unpack_from("<I", data, 10)[0]
    hsize, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", data, 14)
    assert bpp == 8 and comp == 0
    pal = []
    for i in range(256):
        b, g, r, _ = data[14 + hsize + 4 * i:14 + hsize + 4 * i + 4]
        pal.append((r, g, b))
    stride = (w + 3) & ~3
    rows = []
    for y in range(h):
        src = off + (h - 1 - y) * stride
        rows.append([pal[i] for i in data[src:src + w]])
    return w, h, rows


def png(path, rows):
    h, w = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for (r, g, b) in row:
            raw += bytes((r, g, b))

    def chunk(tag, body):
        return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


class Screen:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.rows = [[(0, 0, 0)] * w for _ in range(h)]

    def blit(self, src, sx, sy, w, h, dx, dy, clip=None):
        """Copies w x h from src at sx,sy to dx,dy; clip(x, y) limits the
        destination; source pixels outside the bitmap are not copied."""
        sw, sh, srows = src
        for j in range(h):
            for i in range(w):
                x, y, u, v = dx + i, dy + j, sx + i, sy + j
                if not (0 <= x < self.w and 0 <= y < self.h and 0 <= u < sw and 0 <= v < sh):
                    continue
                if clip and not clip(x, y):
                    continue
                self.rows[y][x] = srows[v][u]


def in_rect(r):
    x0, y0, x1, y1 = r
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def sector_polys():
    polys = []
    for k in range(360):
        a = -math.pi + k * (math.pi / 180)
        b = a + math.pi / 180
        pts = [(216 + 14 * math.sin(a), 56 + 14 * math.cos(a)), (216 + 22 * math.sin(a), 56 + 22 * math.cos(a)),
               (216 + 22 * math.sin(b), 56 + 22 * math.cos(b)), (216 + 14 * math.sin(b), 56 + 14 * math.cos(b))]
        polys.append([(int(x), int(y)) for x, y in pts])
    return polys


def point_in_poly(px, py, pts):
    inside = False
    n = len(pts)
    for i in range(n):
        x0, y0 = pts[i]
        x1, y1 = pts[(i + 1) % n]
        if (y0 > py) != (y1 > py):
            xc = x0 + (py - y0) * (x1 - x0) / (y1 - y0)
            if px < xc:
                inside = not inside
    return inside


def arc_clip(deg):
    """Union of the sectors covering clockwise degrees 0..deg."""
    polys = sector_polys()
    chosen = [polys[k] for k in range(360) if 360 - k <= deg]
    cache = {}

    def f(x, y):
        if (x, y) not in cache:
            cache[(x, y)] = any(point_in_poly(x + 0.5, y + 0.5, p) for p in chosen)
        return cache[(x, y)]
    return f


def compose(skin, expanded, pressed, repeat_on, shuffle_on, name, time_text, state, dial_pct, volume, bands):
    H = 191 if expanded else 99
    scr = Screen(258, H)
    bg = skin[102]
    scr.blit(bg, 0, 0, 259, 191, 0, 0)
    if not expanded:
        scr.blit(bg, 0, 185, 259, 6, 0, 93)
    # close, minimise, expand
    p = "close" in pressed
    close_rgn = lambda x, y: (4 <= x < 29 and 4 <= y < 17) or (4 <= x < 17 and 4 <= y < 29)
    scr.blit(skin[108], 30, 30 if p else 0, 28, 28, 4, 4, close_rgn)
    p = "minimise" in pressed
    scr.blit(skin[108], 0, 16 if p else 0, 14, 14, 4, 33)
    p = "expand" in pressed
    scr.blit(skin[108], 58, 30 if p else 0, 8, 18, 251, 62 if p else 63, in_rect((251, 64, 258, 79)))
    for nm, _, dest, sx in make_skin.TRANSPORT:
        scr.blit(skin[121], sx, 20 if nm in pressed else 0, 18, 18, dest, 72)
    ry = (40 if repeat_on else 0) + (20 if "repeat" in pressed else 0)
    scr.blit(skin[121], 141, ry, 18, 9, 170, 72)
    sy = 10 + (40 if shuffle_on else 0) + (20 if "shuffle" in pressed else 0)
    scr.blit(skin[121], 141, sy, 18, 9, 170, 82)
    if expanded:
        scr.blit(bg, 37, 99, 9, 79, 37, 99)
        segs = [(37, 174 - 5 * i, 46, 179 - 5 * i) for i in range(volume + 1)]
        scr.blit(skin[128], 0, 0, 9, 79, 37, 99, lambda x, y: any(in_rect(s)(x, y) for s in segs))
        scr.blit(bg, 67, 99, 235, 79, 67, 99)
        for c, g in enumerate(bands):
            r = max(0, min(14, int(7 * g)))
            cell = (67 + 14 * c, 169 - 5 * r, 77 + 14 * c, 174 - 5 * r)
            scr.blit(skin[128], 9, 0, 9, 74, 67 + 14 * c, 99, in_rect(cell))
    # LED panel, drawn off-screen as the LED thread does
    panel = Screen(146, 36)
    panel.blit(bg, 29, 29, 146, 36, 0, 0)
    sx = {"playing": 20, "paused": 36, "stopped": 28}[state]
    panel.blit(skin[135], sx, 0, 8, 11, 60, 22)
    x = 72
    for ch in time_text:
        if x > 151:
            break
        panel.blit(skin[118], 12 * (ord(ch) - 32), 0, 12, 15, x, 20)
        x += 10
    strip = Screen(12 * len(name), 15)
    for i, ch in enumerate(name.upper()):
        code = ord(ch)
        if 32 <= code <= 120:
            strip.blit(skin[118], 12 * (code - 32), 0, 12, 15, 12 * i, 0)
    panel.blit((strip.w, strip.h, strip.rows), 0, 0, 146, 15, 0, 0)
    scr.blit((146, 36, panel.rows), 0, 0, 146, 36, 29, 29)
    # dial
    a = 360 if dial_pct == 100 else 15 * (int(3.6 * dial_pct) // 15)
    scr.blit(bg, 192, 31, 54, 54, 192, 31)
    scr.blit(skin[119], 0, 0, 64, 64, 192, 31, arc_clip(a))
    # window shape over a desktop colour
    mask = make_skin.window_mask()
    desk = (58, 110, 165)
    out = []
    for y in range(H):
        out.append([scr.rows[y][x] if mask[y][x] else desk for x in range(258)])
    # pad with desktop so the shape reads
    pad = 8
    full = [[desk] * (258 + 2 * pad) for _ in range(pad)]
    for row in out:
        full.append([desk] * pad + row + [desk] * pad)
    full += [[desk] * (258 + 2 * pad) for _ in range(pad)]
    return full


def scale(rows, k):
    out = []
    for row in rows:
        r = []
        for p in row:
            r += [p] * k
        for _ in range(k):
            out.append(r)
    return out


def main(argv):
    skindir = argv[1] if len(argv) > 1 else os.path.join(ROOT, "resources")
    outdir = argv[2] if len(argv) > 2 else os.path.join(ROOT, "build", "skin-preview")
    os.makedirs(outdir, exist_ok=True)
    skin = {rid: read_bmp8(os.path.join(skindir, "skin%d.bmp" % rid)) for rid in make_skin.SKIN_IDS}
    bands = [1.3, 1.45, 1.15, 1.0, 0.85, 0.72, 0.85, 1.0, 1.15, 1.3, 1.45, 1.6]
    shots = {
        "expanded": compose(skin, True, {"play"}, True, False, "VORLO DEMO", "0:00:42", "playing", 40, 11, bands),
        "collapsed": compose(skin, False, {"pause", "shuffle"}, False, True, "VORLO - DEMO TRACK 1.00 (LONG NAME)",
                             "1:02:03", "paused", 77, 5, bands),
        "pressed": compose(skin, True, {"close", "minimise", "expand", "open", "stop", "next", "repeat"}, True, True,
                           "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "0:12:34", "stopped", 100, 15, [0.0, 2.0] * 6),
    }
    for name, rows in shots.items():
        png(os.path.join(outdir, name + ".png"), rows)
        png(os.path.join(outdir, name + "-x3.png"), scale(rows, 3))
        print(os.path.join(outdir, name + ".png"))
    # the glyph strip, enlarged
    w, h, rows = skin[118]
    png(os.path.join(outdir, "glyphs-x3.png"), scale([row[:540] for row in rows], 3))
    png(os.path.join(outdir, "glyphs2-x3.png"), scale([row[540:] for row in rows], 3))
    # the icon's images over a light and a dark backdrop
    data = open(os.path.join(skindir, "vorlo.ico"), "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    tiles = []
    for k in range(count):
        w, _, _, _, _, _, _, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * k)
        px = data[off + 40:off + 40 + 4 * w * w]
        for back in ((235, 235, 235), (40, 60, 90)):
            tile = []
            for y in range(w):
                row = []
                for x in range(w):
                    b, g, r, a = px[4 * ((w - 1 - y) * w + x):4 * ((w - 1 - y) * w + x) + 4]
                    row.append(tuple((c * a + bk * (255 - a)) // 255 for c, bk in zip((r, g, b), back)))
                tile.append(row)
            tiles.append(scale(tile, 8 if w == 16 else 4))
    h = max(len(t) for t in tiles)
    rows = [[] for _ in range(h)]
    for t in tiles:
        for y in range(h):
            rows[y] += (t[y] if y < len(t) else [(128, 128, 128)] * len(t[0])) + [(128, 128, 128)] * 8
    png(os.path.join(outdir, "icon-x.png"), rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
