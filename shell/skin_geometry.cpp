// The main window's skin geometry (see skin_geometry.h).
#include "shell/skin_geometry.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/text_codec.h"

// ------------------------------------------------------------- the window

void ShapeCutRects(int W, int H, SkinRect out[kShapeCutCount]) {
    const SkinRect cuts[kShapeCutCount] = {
        {0, 71, 18, H},    {0, 0, 3, 1},      {0, 0, 1, 3},      {0, 69, 2, 70},
        {0, 70, 17, 71},   {32, 0, 34, 1},    {33, 0, 34, 3},    {34, 0, 98, 6},
        {35, 0, 97, 7},    {98, 0, 99, 2},    {98, 0, 101, 1},   {34, 14, 98, 17},
        {35, 13, 97, 18},  {W - 7, 0, W, 1},  {W - 5, 0, W, 3},  {W - 4, 0, W, 22},
        {W - 3, 0, W, H},
    };
    for (int i = 0; i < kShapeCutCount; ++i) out[i] = cuts[i];
}

void ShapeTabRects(int W, int y, SkinRect out[kShapeTabCount]) {
    out[0] = SkinRect{W - 3, y, W - 2, y + 15};
    out[1] = SkinRect{W - 2, y, W - 1, y + 12};
    out[2] = SkinRect{W - 1, y + 2, W, y + 5};
}

bool ShapeContains(int W, int H, int markerTop, int x, int y) {
    if (!SkinRectContains(SkinRect{0, 0, W, H}, x, y)) return false;
    if (markerTop != -1) {
        SkinRect tab[kShapeTabCount];
        ShapeTabRects(W, markerTop, tab);
        for (const SkinRect& r : tab)
            if (SkinRectContains(r, x, y)) return true;
    }
    SkinRect cuts[kShapeCutCount];
    ShapeCutRects(W, H, cuts);
    for (const SkinRect& r : cuts)
        if (SkinRectContains(r, x, y)) return false;
    return true;
}

// ------------------------------------------------------------ the palette

void BuildSkinPalette(SkinColour out[kPaletteSize]) {
    for (int i = 0; i < kPaletteSize; ++i) out[i] = SkinColour{255, 255, 255};
    for (int i = 0; i <= 128; ++i) {
        const uint8_t v = static_cast<uint8_t>((2 * i) % 256);
        out[i] = SkinColour{v, v, v};
    }
    for (int i = 1; i <= 32; ++i) {
        const uint8_t v = static_cast<uint8_t>((8 * i) % 256);
        out[128 + i] = SkinColour{v, v, 0};
    }
    for (int i = 1; i <= 8; ++i) {
        const uint8_t v = static_cast<uint8_t>((32 * i) % 256);
        out[160 + i] = SkinColour{v, 0, 0};
        out[168 + i] = SkinColour{0, v, 0};
        out[176 + i] = SkinColour{0, 0, v};
    }
}

// ------------------------------------------------------------ the elements

namespace {

constexpr SkinRect kNoRect{0, 0, 0, 0};

// A transport button: hit region at x..x+18, image 2 pixels to its left.
constexpr SkinElementInfo Transport(int hitX, int srcX, int command) {
    return SkinElementInfo{{hitX, 72, hitX + 18, 90}, kNoRect, kBmpTransport,
                           hitX - 2, 72, hitX - 2, 72, 18, 18, srcX, 0, srcX, 20,
                           {0, 0, 0, 0}, command};
}

const SkinElementInfo kElements[kElemCount] = {
    // close: union of two rectangles, image clipped to it
    {{4, 4, 29, 17}, {4, 4, 17, 29}, kBmpSmallButtons, 4, 4, 4, 4, 28, 28, 30, 0, 30, 30,
     {0, 0, 0, 0}, 40003},
    // expand: the pressed image sits one row higher
    {{251, 64, 258, 79}, kNoRect, kBmpSmallButtons, 251, 63, 251, 62, 8, 18, 58, 0, 58, 30,
     {0, 0, 0, 0}, 40103},
    // minimise
    {{4, 33, 21, 47}, kNoRect, kBmpSmallButtons, 4, 33, 4, 33, 14, 14, 0, 0, 0, 16,
     {0, 0, 0, 0}, kCmdMinimise},
    // title strip: part of the background
    {kTitleRect, kNoRect, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0}, 0},
    // open: drawn at its own place
    {{32, 72, 50, 90}, kNoRect, kBmpTransport, 32, 72, 32, 72, 18, 18, 1, 0, 1, 20,
     {0, 0, 0, 0}, 40001},
    Transport(52, 21, 40010),   // play
    Transport(72, 41, 40012),   // pause
    Transport(92, 61, 40011),   // stop
    Transport(112, 81, 40014),  // previous
    Transport(132, 101, 40013), // next
    // repeat and shuffle switches
    {{172, 72, 190, 81}, kNoRect, kBmpTransport, 170, 72, 170, 72, 18, 9, 141, 0, 141, 20,
     {0, 20, 40, 60}, 40016},
    {{172, 82, 190, 90}, kNoRect, kBmpTransport, 170, 82, 170, 82, 18, 9, 141, 10, 141, 30,
     {10, 30, 50, 70}, 40015},
    // dial, volume, equaliser, LED: drawn by their own code
    {kDialBox, kNoRect, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0}, 0},
    {kVolumeRect, kNoRect, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0}, 0},
    {kEqualizerRect, kNoRect, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0}, 0},
    {kLedRect, kNoRect, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0}, 0},
};

// The dial's ellipse inscribed in its box, tested at the pixel's centre.
bool DialEllipseContains(int x, int y) {
    const double cx = (kDialBox.left + kDialBox.right) / 2.0;
    const double cy = (kDialBox.top + kDialBox.bottom) / 2.0;
    const double rx = (kDialBox.right - kDialBox.left) / 2.0;
    const double ry = (kDialBox.bottom - kDialBox.top) / 2.0;
    const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

}  // namespace

const SkinElementInfo& SkinElementAt(int element) { return kElements[element]; }

bool SkinElementContains(int element, int x, int y) {
    if (element < 0 || element >= kElemCount) return false;
    if (element == kElemDial) return DialEllipseContains(x, y);
    const SkinElementInfo& e = kElements[element];
    return SkinRectContains(e.hit, x, y) || SkinRectContains(e.hit2, x, y);
}

int SkinHitTest(int x, int y) {
    for (int e = kElemClose; e <= kElemEqualizer; ++e)
        if (SkinElementContains(e, x, y)) return e;
    return kElemNone;
}

SkinRect SkinElementBounds(int element) {
    const SkinElementInfo& e = kElements[element];
    SkinRect r = e.hit;
    if (e.hit2.right > e.hit2.left) {
        if (e.hit2.left < r.left) r.left = e.hit2.left;
        if (e.hit2.top < r.top) r.top = e.hit2.top;
        if (e.hit2.right > r.right) r.right = e.hit2.right;
        if (e.hit2.bottom > r.bottom) r.bottom = e.hit2.bottom;
    }
    return r;
}

// ------------------------------------------------ the volume and equaliser

int VolumeSegmentAt(int x, int y) {
    for (int i = 0; i < kVolumeSegments; ++i)
        if (SkinRectContains(VolumeSegment(i), x, y)) return i;
    return -1;
}

int EqualizerRowAt(int band, int x, int y) {
    for (int r = 0; r < kEqRows; ++r)
        if (SkinRectContains(EqualizerCell(band, r), x, y)) return r;
    return -1;
}

int EqualizerRowForValue(float value) {
    const float v = 7.0f * value;
    if (!(v >= 0.0f)) return 0;  // negative or not a number
    if (v >= 14.0f) return 14;
    return static_cast<int>(v);
}

// --------------------------------------------------------------- the dial

void DialPolygon(int k, SkinPoint out[4]) {
    const double pi = 3.14159265358979323846;
    const double a = -pi + k * (pi / 180.0);
    const double b = a + pi / 180.0;
    const double sa = std::sin(a), ca = std::cos(a), sb = std::sin(b), cb = std::cos(b);
    // Conversion to int truncates toward zero; every coordinate is positive.
    out[0] = SkinPoint{static_cast<int>(kDialCentreX + kDialInner * sa),
                       static_cast<int>(kDialCentreY + kDialInner * ca)};
    out[1] = SkinPoint{static_cast<int>(kDialCentreX + kDialOuter * sa),
                       static_cast<int>(kDialCentreY + kDialOuter * ca)};
    out[2] = SkinPoint{static_cast<int>(kDialCentreX + kDialOuter * sb),
                       static_cast<int>(kDialCentreY + kDialOuter * cb)};
    out[3] = SkinPoint{static_cast<int>(kDialCentreX + kDialInner * sb),
                       static_cast<int>(kDialCentreY + kDialInner * cb)};
}

bool DialPolygonContains(int k, int x, int y) {
    SkinPoint p[4];
    DialPolygon(k, p);
    // GDI's scan conversion of an alternate-mode polygon region: on scan
    // line y, each edge with ymin <= y < ymax crosses at some xc, and the
    // pixel x is inside when an odd number of crossings satisfy xc <= x. So
    // pixels on left and top edges belong to the region, pixels on right and
    // bottom edges do not. Exact in integers.
    int crossings = 0;
    for (int i = 0, j = 3; i < 4; j = i++) {
        SkinPoint a = p[j], b = p[i];
        if (a.y == b.y) continue;
        if (a.y > b.y) {
            const SkinPoint t = a;
            a = b;
            b = t;
        }
        if (y < a.y || y >= b.y) continue;
        // xc = a.x + (y - a.y)(b.x - a.x)/(b.y - a.y) <= x, with b.y > a.y
        if ((a.x - x) * (b.y - a.y) + (y - a.y) * (b.x - a.x) <= 0) ++crossings;
    }
    return (crossings & 1) != 0;
}

int DialSeekPercentAt(int x, int y) {
    // Only the ring can hold the point: a cheap radius test first.
    const double dx = x + 0.5 - kDialCentreX, dy = y + 0.5 - kDialCentreY;
    const double r2 = dx * dx + dy * dy;
    if (r2 < (kDialInner - 2) * (kDialInner - 2) || r2 > (kDialOuter + 2) * (kDialOuter + 2))
        return -1;
    for (int k = 1; k < kDialSectors; ++k)
        if (DialPolygonContains(DialPolygonForDegree(k), x, y)) return k * 100 / 360;
    return -1;
}

int DialArcDegrees(int percent) {
    if (percent >= 100) return 360;
    if (percent <= 0) return 0;
    return 15 * (DialSweepDegrees(percent) / 15);
}

int DialSweepDegrees(int percent) {
    // floor(3.6 x p) in integers, free of the rounding of 3.6.
    return percent * 36 / 10 - (percent < 0 && percent * 36 % 10 != 0 ? 1 : 0);
}

int DialSweepSteps(int from, int to, int* out, int max) {
    int n = 0;
    if (from < to) {
        for (int d = from; d <= to && n < max; d += 6) out[n++] = d;
    } else if (from > to) {
        for (int d = from; d >= to && n < max; d -= 6) out[n++] = d;
    }
    return n;
}

// ---------------------------------------------------------------- the LED

namespace {
// U+00C0..U+00FF as the strip shows them: the base letter, or '?' for none.
constexpr char kLatin1Letters[] = "AAAAAAACEEEEIIIIDNOOOOOXOUUUUY??AAAAAAACEEEEIIIIDNOOOOO?OUUUUY?Y";
static_assert(sizeof kLatin1Letters == 64 + 1, "one letter for each of U+00C0..U+00FF");
}  // namespace

int LedGlyphIndex(char32_t c) {
    if (c >= 0xC0 && c <= 0xFF) c = static_cast<unsigned char>(kLatin1Letters[c - 0xC0]);
    switch (c) {
    case 0xA0: c = ' '; break;
    case 0x2018: case 0x2019: c = '\''; break;
    case 0x201C: case 0x201D: c = '"'; break;
    case 0x2013: case 0x2014: c = '-'; break;
    }
    if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    return c >= 32 && c < 32 + kGlyphCount ? static_cast<int>(c - 32) : kLedPlaceholderGlyph;
}

std::vector<int> LedGlyphsOf(const char* text) {
    std::vector<int> glyphs;
    const char* end = text + std::strlen(text);
    while (text < end) glyphs.push_back(LedGlyphIndex(Utf8Next(&text, end)));
    return glyphs;
}

void LedFormatTime(int ms, char* out, size_t size) {
    if (ms < 0) ms = 0;
    const int s = ms / 1000;
    std::snprintf(out, size, "%01d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
}

void LedAdvanceScroll(LedScroll* s, int autoScroll) {
    if (autoScroll == 1 && s->maxOffset > 0) {
        if (s->offset >= s->maxOffset) s->step = -2;
        if (s->offset <= 0) s->step = 2;
        s->offset += s->step;
    } else {
        s->offset = 0;
    }
}

int LedSymbolColumn(int playerState) {
    switch (playerState) {
    case 0: return 20;
    case 1: return 36;
    default: return 28;
    }
}
