#!/usr/bin/env python3
"""Checks the committed skin in resources/ against its generator and against
the geometry that the window, LED and dial code use.

- tools/make_skin.py, run into a temporary directory, reproduces every
  committed file byte for byte (the build takes the committed files);
- every bitmap is an 8-bit BI_RGB DIB of its resource's size, carrying the
  window's logical palette in entries 0..184;
- images that the window draws over the background in their resting state
  (keys up, switches off) are exactly the background at their destination,
  and the pressed images differ from them;
- the LED panel, glyph cells and play-state symbols share one flat panel
  colour, every glyph from '!' to 'x' lights something, digits leave the two
  columns free that the next time digit overwrites;
- the lit volume bar, the equaliser knob column and the lit dial ring match
  the background wherever their clip regions show them but nothing is lit;
- vorlo.ico holds 16x16 and 32x32 32-bit images with AND masks;
- the shipped user skin resources/skins/Ember is what
  tools/make_skin_ember.py writes, byte for byte, one 24-bit BMP of the
  built-in size for every skin bitmap.

Usage: skin_check.py. Prints "N passed, N failed" last."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RES = os.path.join(ROOT, "resources")
TOOL = os.path.join(ROOT, "tools", "make_skin.py")
EMBER_TOOL = os.path.join(ROOT, "tools", "make_skin_ember.py")
EMBER = os.path.join(RES, "skins", "Ember")

SIZES = {102: (258, 191), 108: (100, 60), 118: (1070, 16), 119: (48, 47),
         121: (162, 80), 128: (18, 79), 135: (146, 36)}
FILES = ["skin%d.bmp" % rid for rid in sorted(SIZES)] + ["vorlo.ico"]

passed = 0
failed = 0


def check(name, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print("FAIL %s %s" % (name, detail))


def fixed_palette():
    pal = [((2 * i) % 256,) * 3 for i in range(129)]
    pal += [((8 * i) % 256, (8 * i) % 256, 0) for i in range(1, 33)]
    pal += [((32 * i) % 256, 0, 0) for i in range(1, 9)]
    pal += [(0, (32 * i) % 256, 0) for i in range(1, 9)]
    pal += [(0, 0, (32 * i) % 256) for i in range(1, 9)]
    return pal


class Bmp:
    """An 8-bit BMP: .w, .h, .bpp, .pal, .at(x, y) -> palette index."""

    def __init__(self, data):
        self.ok = data[:2] == b"BM" and len(data) >= 54
        if not self.ok:
            return
        size, _, _, off = struct.unpack_from("<IHHI", data, 2)
        (hsize, self.w, self.h, planes, self.bpp, self.comp, _, _, _,
         used, _) = struct.unpack_from("<IiiHHIIiiII", data, 14)
        self.size_ok = size == len(data) and hsize == 40 and planes == 1
        ncol = used or 256
        self.pal = [tuple(data[54 + 4 * i:54 + 4 * i + 3][::-1]) for i in range(ncol)]
        self.stride = (self.w + 3) & ~3
        self.off = off
        self.data = data
        self.size_ok = self.size_ok and off == 54 + 4 * ncol and \
            len(data) == off + self.stride * abs(self.h)

    def at(self, x, y):
        return self.data[self.off + (self.h - 1 - y) * self.stride + x]

    def block(self, x, y, w, h):
        return [[self.at(x + i, y + j) for i in range(w)] for j in range(h)]


def main():
    # --- regenerate and compare
    tmp = tempfile.mkdtemp(prefix="skin-check-")
    try:
        ember_files = ["skin%d.bmp" % rid for rid in sorted(SIZES)]
        for tool, res, files, out in ((TOOL, RES, FILES, tmp), (EMBER_TOOL, EMBER, ember_files,
                                                                os.path.join(tmp, "ember"))):
            r = subprocess.run([sys.executable, tool, out], capture_output=True, text=True)
            check("%s runs" % os.path.basename(tool), r.returncode == 0, r.stderr[-400:])
            for name in files:
                committed = os.path.join(res, name)
                fresh = os.path.join(out, name)
                have = os.path.exists(committed) and os.path.exists(fresh)
                check("%s exists" % committed, have)
                if have:
                    check("%s regenerates byte-identical" % committed,
                          open(committed, "rb").read() == open(fresh, "rb").read())
        check("Ember holds exactly the skin bitmaps", sorted(os.listdir(EMBER)) == ember_files)
        for rid, (w, h) in sorted(SIZES.items()):
            data = open(os.path.join(EMBER, "skin%d.bmp" % rid), "rb").read()
            _, bw, bh, _, bpp, comp = struct.unpack_from("<IiiHHI", data, 14)
            check("Ember skin%d is a 24-bit BMP of %dx%d" % (rid, w, h), (bw, bh, bpp, comp) == (w, h, 24, 0))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    # --- formats and sizes
    bmps = {}
    fixed = fixed_palette()
    for rid, (w, h) in sorted(SIZES.items()):
        path = os.path.join(RES, "skin%d.bmp" % rid)
        if not os.path.exists(path):
            continue
        b = Bmp(open(path, "rb").read())
        check("skin%d is a BMP" % rid, b.ok)
        if not b.ok:
            continue
        check("skin%d header and sizes consistent" % rid, b.size_ok)
        check("skin%d is %dx%d" % (rid, w, h), (b.w, b.h) == (w, h), "got %dx%d" % (b.w, b.h))
        check("skin%d is 8-bit BI_RGB" % rid, b.bpp == 8 and b.comp == 0, "bpp %d comp %d" % (b.bpp, b.comp))
        check("skin%d carries the window palette" % rid, len(b.pal) == 256 and b.pal[:185] == fixed)
        if b.size_ok and (b.w, b.h) == (w, h) and b.bpp == 8:
            bmps[rid] = b
    if len(bmps) != len(SIZES):
        print("%d passed, %d failed" % (passed, failed + 1))
        return 1
    bg, b108, b118, b119, b121, b128, b135 = (bmps[k] for k in (102, 108, 118, 119, 121, 128, 135))

    # --- resting images equal the background where they are drawn
    def same(name, img, sx, sy, w, h, dx, dy, rgn=None, expect=True):
        diff = 0
        for j in range(h):
            for i in range(w):
                x, y = dx + i, dy + j
                if x >= 258 or (rgn and not rgn(x, y)):
                    continue
                if img.at(sx + i, sy + j) != bg.at(x, y):
                    diff += 1
        check(name, (diff == 0) == expect, "%d pixels differ" % diff)

    close_rgn = lambda x, y: (4 <= x < 29 and 4 <= y < 17) or (4 <= x < 17 and 4 <= y < 29)
    expand_rgn = lambda x, y: 251 <= x < 258 and 64 <= y < 79
    same("close up = background", b108, 30, 0, 28, 28, 4, 4, close_rgn)
    same("close pressed differs", b108, 30, 30, 28, 28, 4, 4, close_rgn, False)
    same("minimise up = background", b108, 0, 0, 14, 14, 4, 33)
    same("minimise pressed differs", b108, 0, 16, 14, 14, 4, 33, None, False)
    same("expand up = background", b108, 58, 0, 8, 18, 251, 63, expand_rgn)
    same("expand pressed differs", b108, 58, 30, 8, 18, 251, 62, expand_rgn, False)
    for name, sx, dx in (("open", 1, 32), ("play", 21, 50), ("pause", 41, 70), ("stop", 61, 90),
                         ("previous", 81, 110), ("next", 101, 130)):
        same("%s up = background" % name, b121, sx, 0, 18, 18, dx, 72)
        same("%s pressed differs" % name, b121, sx, 20, 18, 18, dx, 72, None, False)
    for name, y0, dy in (("repeat", 0, 72), ("shuffle", 10, 82)):
        same("%s off up = background" % name, b121, 141, y0, 18, 9, 170, dy)
        for k in (20, 40, 60):
            same("%s state at y %d differs" % (name, y0 + k), b121, 141, y0 + k, 18, 9, 170, dy, None, False)
    # the four switch states are four different images
    for y0 in (0, 10):
        states = [tuple(map(tuple, b121.block(141, y0 + k, 18, 9))) for k in (0, 20, 40, 60)]
        check("switch at y %d has four distinct states" % y0, len(set(states)) == 4)

    # --- LED: one flat panel colour shared by the background, glyphs and symbols
    panel = bg.at(29, 29)
    name_row = {bg.at(x, y) for x in range(29, 175) for y in range(29, 44)}
    check("LED name row of the background is flat", name_row == {panel})
    check("glyph strip background is the panel colour", b118.at(0, 0) == panel and b118.at(1069, 15) == panel)
    check("symbol bitmap background is the panel colour", b135.at(0, 0) == panel)
    for code in range(32, 121):
        cell = b118.block(12 * (code - 32), 0, 12, 16)
        lit = sum(v != panel for row in cell for v in row)
        if code == 32:
            check("space glyph is blank", lit == 0)
        else:
            check("glyph %r lights something" % chr(code), lit > 0)
        check("glyph %r leaves row 15 blank" % chr(code), all(v == panel for v in cell[15]))
        if chr(code) in "0123456789:":
            check("glyph %r keeps columns 10-11 free" % chr(code),
                  all(row[10] == panel and row[11] == panel for row in cell))
    for code in range(97, 121):
        check("glyph %r repeats %r" % (chr(code), chr(code - 32)),
              b118.block(12 * (code - 32), 0, 12, 15) == b118.block(12 * (code - 64), 0, 12, 15))
    for x, kind in ((20, "playing"), (28, "stopped"), (36, "paused")):
        for y in (0, 10, 20):
            check("%s symbol row %d blank" % (kind, y), all(b135.at(x + i, y) == panel for i in range(8)))
        bright = b135.block(x, 0, 8, 11)
        dim = b135.block(x, 10, 8, 11)
        check("%s symbol lit in both blink phases" % kind,
              any(v != panel for r in bright for v in r) and any(v != panel for r in dim for v in r))
        check("%s symbol blinks" % kind, bright != dim)

    # --- lit volume bar and knob column agree with the background off their lit rows
    for i in range(16):
        gap = 178 - 5 * i              # window row of the gap under segment i
        if gap - 99 < 79:
            check("volume segment %d gap row matches background" % i,
                  all(b128.at(x, gap - 99) == bg.at(37 + x, gap) for x in range(9)))
        lit = [b128.at(x, 174 - 5 * i - 99) != bg.at(37 + x, 174 - 5 * i) for x in range(9)]
        check("volume segment %d lights" % i, all(lit[1:8]))
    for r in range(15):
        top = 70 - 5 * r
        check("knob row %d lights" % r,
              sum(b128.at(9 + x, top + 1) != bg.at(67 + x, 99 + top + 1) for x in range(9)) >= 7)
        if r:
            for c in range(12):
                x0 = 67 + 14 * c
                if not all(b128.at(9 + x, top + 4) == bg.at(x0 + x, 99 + top + 4) for x in range(9)):
                    break
            else:
                c = None
            check("knob row %d bottom line matches every column's background" % r, c is None, "column %s" % c)

    # --- dial: the lit image equals the background off the ring and lights it on the ring
    off_ring = on_ring_lit = on_ring = 0
    for y in range(47):
        for x in range(48):
            d = ((192 + x + 0.5 - 216) ** 2 + (31 + y + 0.5 - 56) ** 2) ** 0.5
            if d < 13.0 or d > 23.0:
                off_ring += b119.at(x, y) != bg.at(192 + x, 31 + y)
            elif 15.5 < d < 20.5:
                on_ring += 1
                on_ring_lit += b119.at(x, y) != bg.at(192 + x, 31 + y)
    check("dial image equals the background off the ring", off_ring == 0, "%d pixels" % off_ring)
    check("dial image lights the ring", on_ring_lit > 0.8 * on_ring, "%d of %d" % (on_ring_lit, on_ring))

    # --- icon
    path = os.path.join(RES, "vorlo.ico")
    data = open(path, "rb").read() if os.path.exists(path) else b""
    ok = len(data) > 6 and struct.unpack_from("<HHH", data, 0) == (0, 1, 2)
    check("vorlo.ico has two images", ok)
    if ok:
        sizes = []
        for k in range(2):
            w, h, _, _, planes, bpp, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * k)
            hs, bw, bh, _, bbpp = struct.unpack_from("<IiiHH", data, off)
            want = 40 + bw * bw * 4 + bw * ((bw + 31) // 32) * 4
            check("icon image %d header consistent" % k,
                  hs == 40 and bw == w and bh == 2 * w and bbpp == 32 and bpp == 32 and planes == 1
                  and size == want and off + size <= len(data))
            sizes.append(w)
        check("icon sizes are 16 and 32", sorted(sizes) == [16, 32])

    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
