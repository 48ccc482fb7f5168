// The main window's skin geometry: where every element sits, what it draws
// from which bitmap, the window's shape, the palette, and the arithmetic of
// the controls (hit testing, the dial sector under a point, the volume and
// equaliser values under a drag position, the dial's arc, the LED's scroll
// and time text). Portable: the Win32 window and the display threads build
// their GDI regions and blits from these numbers.
//
// Coordinates are client pixels; rectangles are left, top, right, bottom
// with right and bottom exclusive, as GDI regions take them. A point (x, y)
// names the pixel whose centre is (x + 0.5, y + 0.5); polygon tests use that
// centre, so a pixel lies in a rectangle exactly when GDI's PtInRegion says so.
#pragma once

#include <vector>

#include <cstddef>
#include <cstdint>

struct SkinRect {
    int left, top, right, bottom;
};

constexpr bool SkinRectContains(const SkinRect& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}
constexpr bool SkinRectsMeet(const SkinRect& a, const SkinRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// ------------------------------------------------------------- the window

constexpr int kSkinWidth = 258;
constexpr int kSkinHeightExpanded = 191;
constexpr int kSkinHeightCollapsed = 99;
constexpr int kSkinMarkerRow = 64;  // top row of the expand button's tab

// ------------------------------------------------------------- the scale

// The skin is drawn at a whole scale (every skin pixel a square of scale x
// scale window pixels): 2 from 168 dots per inch (175 %) or when Double Size
// forces it, else 1. Every region, hit test and drag works in skin pixels;
// the window converts at its edge with the functions below.
constexpr int kSkinDoubleDpi = 168;
constexpr int SkinScaleFor(int dpi, int doubleSize) {
    return doubleSize || dpi >= kSkinDoubleDpi ? 2 : 1;
}
// The skin pixel holding a window coordinate (rounded toward minus infinity,
// so a captured pointer left of or above the window stays outside it).
constexpr int SkinFromWindow(int v, int scale) {
    return v >= 0 ? v / scale : -((-v + scale - 1) / scale);
}
constexpr SkinRect SkinRectToWindow(const SkinRect& r, int scale) {
    return SkinRect{r.left * scale, r.top * scale, r.right * scale, r.bottom * scale};
}
// The skin rectangle covering a rectangle of window pixels.
constexpr SkinRect SkinRectFromWindow(const SkinRect& r, int scale) {
    return SkinRect{SkinFromWindow(r.left, scale), SkinFromWindow(r.top, scale),
                    -SkinFromWindow(-r.right, scale), -SkinFromWindow(-r.bottom, scale)};
}

// Skin bitmap resource numbers.
enum : int {
    kBmpBackground = 102,  // 258 x 191
    kBmpSmallButtons = 108,  // 100 x 60: minimise, close, expand
    kBmpLedGlyphs = 118,   // 1070 x 16: 89 glyphs of 12 x 15, codes 32..120
    kBmpDialLit = 119,     // 48 x 47: the lit ring
    kBmpTransport = 121,   // 162 x 80: transport buttons and the two switches
    kBmpLevels = 128,      // 18 x 79: lit volume bar, equaliser knob column
    kBmpLedSymbols = 135,  // 146 x 36: play-state symbols
};

// The rectangles that are cut from the client rectangle, and the ones that
// are added back for the expand button's tab at the marker row.
constexpr int kShapeCutCount = 17;
constexpr int kShapeTabCount = 3;
void ShapeCutRects(int width, int height, SkinRect out[kShapeCutCount]);
void ShapeTabRects(int width, int markerTop, SkinRect out[kShapeTabCount]);
// True when the pixel belongs to the window's shape (markerTop -1: no tab).
bool ShapeContains(int width, int height, int markerTop, int x, int y);

// ------------------------------------------------------------ the palette

struct SkinColour {
    uint8_t r, g, b;
};
constexpr int kPaletteSize = 256;
// The 256 logical palette entries: greys, yellows, reds, greens and blues.
// Entries 185..255 carry no meaning and are white.
void BuildSkinPalette(SkinColour out[kPaletteSize]);

// ------------------------------------------------------------ the elements

// Elements in the order in which a button press tests them.
enum SkinElement : int {
    kElemClose,
    kElemExpand,
    kElemMinimise,
    kElemTitle,
    kElemOpen,
    kElemPlay,
    kElemPause,
    kElemStop,
    kElemPrevious,
    kElemNext,
    kElemRepeat,
    kElemShuffle,
    kElemDial,
    kElemVolume,
    kElemEqualizer,
    kElemLed,  // not pressable: drawn by the LED thread
    kElemCount,
    kElemNone = -1,
};

// How an element is drawn and what a completed click does. Buttons draw the
// source image at (upSrc) or (pressedSrc) to the destination, clipped to
// their region; the two switches pick their row from their on/off setting
// as well (switchRows: up off, pressed off, up on, pressed on).
struct SkinElementInfo {
    SkinRect hit;         // the hit region (Close adds hit2)
    SkinRect hit2;        // a second rectangle of the region, or all zero
    int bitmap;           // source bitmap, 0 when the element draws nothing itself
    int upX, upY;         // destination when up
    int pressedX, pressedY;  // destination when pressed
    int width, height;    // size of the image copied
    int upSrcX, upSrcY;
    int pressedSrcX, pressedSrcY;
    int switchRows[4];    // source rows of a switch, else all zero
    int command;          // command id of a completed click, 0 for none
};

// Command sent by a minimise click: minimising is done by the window itself.
constexpr int kCmdMinimise = -1;

const SkinElementInfo& SkinElementAt(int element);
// True when the element's region holds the pixel (the dial: its ellipse).
bool SkinElementContains(int element, int x, int y);
// The element that takes a press at the pixel, testing in press order
// (close first, equaliser last); kElemNone when none does. The LED display
// takes no press.
int SkinHitTest(int x, int y);
// The bounding rectangle of an element's region.
SkinRect SkinElementBounds(int element);

// Pressable buttons (close .. shuffle, minus the title strip).
constexpr bool SkinIsButton(int element) {
    return element >= kElemClose && element <= kElemShuffle && element != kElemTitle;
}

// The rectangle of the title strip and the seek dial's ellipse box.
constexpr SkinRect kTitleRect{102, 4, 285, 19};
constexpr SkinRect kDialBox{191, 31, 240, 81};
constexpr SkinRect kLedRect{29, 29, 175, 65};
constexpr SkinRect kVolumeRect{37, 98, 46, 179};
constexpr SkinRect kEqualizerRect{67, 98, 235, 174};

// ------------------------------------------------------------- the volume

constexpr int kVolumeSegments = 16;
// Segment i (0 at the bottom).
constexpr SkinRect VolumeSegment(int i) { return SkinRect{37, 174 - 5 * i, 46, 179 - 5 * i}; }
// The segment holding the pixel, or -1.
int VolumeSegmentAt(int x, int y);
// The volume one animation step from current toward target.
constexpr int VolumeStepToward(int current, int target) {
    return current < target ? current + 1 : current > target ? current - 1 : current;
}

// ---------------------------------------------------------- the equaliser

constexpr int kEqRows = 15;
constexpr int kEqRowSlots = 16;  // slot 15 of each column holds no cell
// Cell (c, r), r = 0 at the bottom.
constexpr SkinRect EqualizerCell(int c, int r) {
    return SkinRect{67 + 14 * c, 169 - 5 * r, 77 + 14 * c, 174 - 5 * r};
}
// The row of band c's cell holding the pixel, or -1.
int EqualizerRowAt(int band, int x, int y);
// The value a band takes from row r.
constexpr float EqualizerValueForRow(int r) { return static_cast<float>(r) * 0.14285715f; }
// The lit row for a band value: trunc(7 x value), kept within 0..14 (a
// hand-edited settings file may hold any value).
int EqualizerRowForValue(float value);

// --------------------------------------------------------------- the dial

constexpr int kDialCentreX = 216;
constexpr int kDialCentreY = 56;
constexpr int kDialInner = 14;
constexpr int kDialOuter = 22;
constexpr int kDialSectors = 360;

struct SkinPoint {
    int x, y;
};
// The four corners of ring polygon k (0..359). Polygon k covers clockwise
// degrees 359 - k to 360 - k from 12 o'clock.
void DialPolygon(int k, SkinPoint out[4]);
// True when the pixel lies in ring polygon k (alternate fill).
bool DialPolygonContains(int k, int x, int y);
// The ring polygon covering clockwise degrees (deg - 1 .. deg) from 12
// o'clock, deg = 1..360.
constexpr int DialPolygonForDegree(int deg) { return 360 - deg; }
// The seek percentage for a press at the pixel: for the first sector k =
// 1..359 (clockwise degrees k - 1 to k) holding it, trunc(k x 100 / 360);
// -1 when the pixel is off the ring or in the last degree before 12 o'clock.
int DialSeekPercentAt(int x, int y);
// The arc shown for a percentage: 360 for 100, else whole 15-degree steps.
int DialArcDegrees(int percent);
// The degrees reached by a sweep position d: floor(3.6 x d).
int DialSweepDegrees(int percent);
// The displayed percentages a sweep passes through from `from` toward
// `to` in steps of 6 (from itself first, never beyond to). Returns the count
// written (at most max).
int DialSweepSteps(int from, int to, int* out, int max);

// ---------------------------------------------------------------- the LED

constexpr int kLedX = 29, kLedY = 29, kLedWidth = 146, kLedHeight = 36;
constexpr int kGlyphWidth = 12, kGlyphHeight = 15;
constexpr int kGlyphCount = 89;  // codes 32..120
// The cell shown for a character the strip has no glyph for: the '?' glyph.
constexpr int kLedPlaceholderGlyph = '?' - 32;
// The glyph drawn for a character (a Unicode code point): letters in upper
// case, accented Latin letters as their base letter, typographic quotes and
// dashes as their ASCII forms, a no-break space as the space; every other
// character the strip lacks shows kLedPlaceholderGlyph.
int LedGlyphIndex(char32_t c);
// The glyphs of a UTF-8 text, one per character (not per byte).
std::vector<int> LedGlyphsOf(const char* text);
// The played time "%01d:%02d:%02d" (hours, minutes, seconds) of ms;
// negative times read as 0.
void LedFormatTime(int ms, char* out, size_t size);
// Scroll state of the name strip: the offset moves by step (+2 or -2)
// between 0 and maxOffset, turning at either end.
struct LedScroll {
    int offset;
    int step;
    int maxOffset;
};
// The largest offset for a name of `chars` characters (glyphs).
constexpr int LedMaxOffset(int chars) {
    return chars * kGlyphWidth - kLedWidth > 0 ? chars * kGlyphWidth - kLedWidth : 0;
}
// One frame's scroll: with autoScroll and maxOffset > 0 the offset turns at
// the ends and moves by the step; otherwise it stays 0.
void LedAdvanceScroll(LedScroll* s, int autoScroll);
// Source column of the play-state symbol in bitmap 135 for a PlayerState
// (0 playing, 1 paused, 2 stopped).
int LedSymbolColumn(int playerState);
