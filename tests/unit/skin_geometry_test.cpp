// The main window's skin geometry: window shape, palette, press order, the
// volume and equaliser cells, the dial ring, and the LED's arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shell/skin_geometry.h"

namespace {

TEST(SkinShape, CornersAndTab) {
    const int W = kSkinWidth, H = kSkinHeightExpanded;
    // Cut corners and the notch below the left edge.
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, 0, 0));
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, 2, 0));
    EXPECT_TRUE(ShapeContains(W, H, kSkinMarkerRow, 3, 0));
    EXPECT_TRUE(ShapeContains(W, H, kSkinMarkerRow, 1, 1));
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, 5, 100));
    EXPECT_TRUE(ShapeContains(W, H, kSkinMarkerRow, 18, 100));
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, 50, 3));   // top gap
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, 50, 15));  // slot under the gap
    EXPECT_TRUE(ShapeContains(W, H, kSkinMarkerRow, 50, 10));
    // The right edge is cut away except for the expand button's tab.
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, W - 3, 40));
    EXPECT_TRUE(ShapeContains(W, H, kSkinMarkerRow, W - 4, 40));
    EXPECT_TRUE(ShapeContains(W, H, kSkinMarkerRow, W - 3, 64));
    EXPECT_TRUE(ShapeContains(W, H, kSkinMarkerRow, W - 3, 78));
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, W - 3, 79));
    EXPECT_TRUE(ShapeContains(W, H, kSkinMarkerRow, W - 2, 75));
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, W - 2, 76));
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, W - 1, 65));
    EXPECT_TRUE(ShapeContains(W, H, kSkinMarkerRow, W - 1, 66));
    EXPECT_FALSE(ShapeContains(W, H, -1, W - 3, 64));
    // Outside the client rectangle nothing belongs.
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, W, 64));
    EXPECT_FALSE(ShapeContains(W, H, kSkinMarkerRow, 100, H));
}

TEST(SkinPalette, Ramps) {
    SkinColour p[kPaletteSize];
    BuildSkinPalette(p);
    EXPECT_EQ(p[0].r, 0);
    EXPECT_EQ(p[64].g, 128);
    EXPECT_EQ(p[127].b, 254);
    EXPECT_EQ(p[128].r + p[128].g + p[128].b, 0);  // 256 mod 256: black
    EXPECT_EQ(p[129].r, 8);
    EXPECT_EQ(p[129].b, 0);
    EXPECT_EQ(p[159].g, 248);
    EXPECT_EQ(p[160].r + p[160].g, 0);
    EXPECT_EQ(p[161].r, 32);
    EXPECT_EQ(p[167].r, 224);
    EXPECT_EQ(p[168].r, 0);
    EXPECT_EQ(p[169].g, 32);
    EXPECT_EQ(p[169].r, 0);
    EXPECT_EQ(p[176].g, 0);
    EXPECT_EQ(p[183].b, 224);
    EXPECT_EQ(p[184].b, 0);
}

TEST(SkinElements, PressOrderAndRegions) {
    const struct {
        int x, y, element;
    } hits[] = {
        // the close box: its two rectangles, not the space between their arms
        {5, 5, kElemClose}, {28, 16, kElemClose}, {16, 28, kElemClose}, {28, 28, kElemNone},
        {10, 40, kElemMinimise}, {254, 70, kElemExpand}, {150, 10, kElemTitle}, {101, 10, kElemNone},
        // the transport row; 51,80 is the gap between open and play
        {33, 80, kElemOpen}, {52, 80, kElemPlay}, {51, 80, kElemNone}, {89, 89, kElemPause},
        {100, 80, kElemStop}, {120, 80, kElemPrevious}, {140, 80, kElemNext},
        {180, 72, kElemRepeat}, {180, 81, kElemNone}, {180, 89, kElemShuffle},
        // the dial's box corner is off its ellipse; the LED takes no press
        {216, 56, kElemDial}, {192, 32, kElemNone}, {40, 150, kElemVolume}, {100, 150, kElemEqualizer},
        {100, 40, kElemNone},
    };
    for (const auto& h : hits) EXPECT_EQ(SkinHitTest(h.x, h.y), h.element) << h.x << "," << h.y;

    // The transport images sit 2 pixels left of their regions.
    EXPECT_EQ(SkinElementAt(kElemPlay).upX, 50);
    EXPECT_EQ(SkinElementAt(kElemNext).upX, 130);
    EXPECT_EQ(SkinElementAt(kElemNext).pressedSrcY, 20);
    EXPECT_EQ(SkinElementAt(kElemOpen).upX, 32);
    EXPECT_EQ(SkinElementAt(kElemShuffle).switchRows[3], 70);
    EXPECT_EQ(SkinElementAt(kElemExpand).pressedY, 62);
    EXPECT_EQ(SkinElementAt(kElemClose).command, 40003);
    EXPECT_EQ(SkinElementAt(kElemExpand).command, 40103);
    EXPECT_EQ(SkinElementAt(kElemRepeat).command, 40016);
    EXPECT_EQ(SkinElementAt(kElemShuffle).command, 40015);
    const SkinRect b = SkinElementBounds(kElemClose);
    EXPECT_EQ(b.right, 29);
    EXPECT_EQ(b.bottom, 29);
}

TEST(SkinVolume, SegmentsAndSteps) {
    EXPECT_EQ(VolumeSegmentAt(40, 178), 0);
    EXPECT_EQ(VolumeSegmentAt(40, 174), 0);
    EXPECT_EQ(VolumeSegmentAt(40, 173), 1);
    EXPECT_EQ(VolumeSegmentAt(40, 99), 15);
    EXPECT_EQ(VolumeSegmentAt(40, 98), -1);  // inside the control, above the segments
    EXPECT_EQ(VolumeSegmentAt(46, 150), -1);
    EXPECT_EQ(VolumeSegmentAt(40, 179), -1);
    // A press at segment 12 with the volume at 7 climbs 8, 9, 10, 11, 12.
    int v = 7, steps = 0;
    while (v != 12) {
        v = VolumeStepToward(v, 12);
        ++steps;
        EXPECT_EQ(v, 7 + steps);
    }
    EXPECT_EQ(steps, 5);
    EXPECT_EQ(VolumeStepToward(3, 0), 2);
    EXPECT_EQ(VolumeStepToward(-1, 0), 0);
}

TEST(SkinEqualizer, CellsRowsAndValues) {
    EXPECT_EQ(EqualizerRowAt(0, 67, 173), 0);
    EXPECT_EQ(EqualizerRowAt(0, 76, 99), 14);
    EXPECT_EQ(EqualizerRowAt(0, 77, 150), -1);  // the gap between columns
    EXPECT_EQ(EqualizerRowAt(1, 81, 150), (173 - 150) / 5);
    EXPECT_EQ(EqualizerRowAt(11, 67 + 154, 140), EqualizerRowAt(0, 67, 140));
    EXPECT_EQ(EqualizerRowAt(11, 67 + 154, 98), -1);
    EXPECT_EQ(EqualizerRowForValue(1.0f), 7);
    EXPECT_EQ(EqualizerRowForValue(0.0f), 0);
    EXPECT_EQ(EqualizerRowForValue(2.0f), 14);
    EXPECT_EQ(EqualizerRowForValue(5.0f), 14);
    EXPECT_EQ(EqualizerRowForValue(-3.0f), 0);
    EXPECT_EQ(EqualizerRowForValue(0.0f / 0.0f), 0);
    // Every row's value reads back as the same row.
    for (int r = 0; r < kEqRows; ++r) EXPECT_EQ(EqualizerRowForValue(EqualizerValueForRow(r)), r);
    EXPECT_EQ(EqualizerValueForRow(7), 7 * 0.14285715f);
}

TEST(SkinDial, SectorsAndSeek) {
    // Polygon 0 lies at 12 o'clock, just anticlockwise of it; polygon 90 at
    // 9 o'clock.
    SkinPoint p[4];
    DialPolygon(0, p);
    EXPECT_EQ(p[0].x, 216);
    EXPECT_EQ(p[0].y, 42);
    EXPECT_EQ(p[1].y, 34);
    DialPolygon(90, p);
    EXPECT_EQ(p[0].x, 202);
    EXPECT_EQ(p[1].x, 194);

    EXPECT_EQ(DialSeekPercentAt(234, 56), 25);  // 3 o'clock
    // Truncated corners put the ring's pixels half a pixel up and left: the
    // column just left of the centre line is 6 o'clock.
    EXPECT_EQ(DialSeekPercentAt(215, 74), 50);  // 6 o'clock
    EXPECT_EQ(DialSeekPercentAt(197, 56), 74);  // 9 o'clock
    EXPECT_EQ(DialSeekPercentAt(216, 56), -1);  // the centre is off the ring
    EXPECT_EQ(DialSeekPercentAt(216, 47), -1);
    EXPECT_EQ(DialSeekPercentAt(216, 36), 0);   // just clockwise of 12 o'clock
    EXPECT_EQ(DialSeekPercentAt(214, 36), 98);  // just before it
    EXPECT_EQ(DialSeekPercentAt(215, 36), -1);  // the degree before 12 o'clock
    EXPECT_EQ(DialSeekPercentAt(240, 56), -1);  // outside the ring

    // Every ring pixel away from 12 o'clock belongs to some sector, and the
    // percentage grows clockwise around the right half.
    int last = -1;
    for (int y = 36; y <= 76; ++y) {
        const int pct = DialSeekPercentAt(234, y);
        if (y > 46 && y < 66) {
            EXPECT_GE(pct, 0) << y;
            EXPECT_GE(pct, last) << y;
            last = pct;
        }
    }
}

TEST(SkinDial, ArcAndSweep) {
    const int arcs[][2] = {{25, 90}, {26, 90}, {30, 105}, {100, 360}, {99, 345}, {0, 0}};
    for (const auto& a : arcs) EXPECT_EQ(DialArcDegrees(a[0]), a[1]) << a[0];
    EXPECT_EQ(DialSweepDegrees(26), 93);
    EXPECT_EQ(DialSweepDegrees(5), 18);

    int s[32];
    int n = DialSweepSteps(10, 90, s, 32);
    ASSERT_EQ(n, 14);
    EXPECT_EQ(s[0], 10);
    EXPECT_EQ(s[13], 88);
    n = DialSweepSteps(90, 10, s, 32);
    ASSERT_EQ(n, 14);
    EXPECT_EQ(s[13], 12);
    EXPECT_EQ(DialSweepSteps(40, 40, s, 32), 0);
    EXPECT_EQ(DialSweepSteps(0, 100, s, 4), 4);
}

TEST(SkinLed, CharactersBeyondTheStrip) {
    const int placeholder = LedGlyphIndex('?');
    const struct {
        char32_t c;
        int glyph;
    } cases[] = {
        {U'\u00E9', 'E' - 32},  {U'\u00C5', 'A' - 32}, {U'\u00F1', 'N' - 32}, {U'\u00FF', 'Y' - 32},
        {U'\u00DF', placeholder}, {U'\u00A0', 0},       {U'\u2019', '\'' - 32}, {U'\u2013', '-' - 32},
        {U'\u0416', placeholder}, {U'\u66F2', placeholder}, {U'{', placeholder}, {U'\t', placeholder},
    };
    for (const auto& c : cases) EXPECT_EQ(LedGlyphIndex(c.c), c.glyph) << static_cast<unsigned>(c.c);
    // One cell per character, whatever its bytes; a stray byte is one too.
    EXPECT_EQ(LedGlyphsOf("Caf\xC3\xA9 \xD0\x96\xE6\x9B\xB2"),
              (std::vector<int>{'C' - 32, 'A' - 32, 'F' - 32, 'E' - 32, 0, placeholder, placeholder}));
    EXPECT_EQ(LedGlyphsOf("a\xE9").size(), 2u);
    // So the strip scrolls by characters: 13 of them, 2-byte or not.
    std::string cyrillic;
    for (int i = 0; i < 13; ++i) cyrillic += "\xD0\x96";
    EXPECT_EQ(LedMaxOffset(static_cast<int>(LedGlyphsOf(cyrillic.c_str()).size())), 10);
}

TEST(SkinLed, GlyphsTimeAndScroll) {
    EXPECT_EQ(LedGlyphIndex(' '), 0);
    EXPECT_EQ(LedGlyphIndex('A'), 33);
    EXPECT_EQ(LedGlyphIndex('a'), 33);
    EXPECT_EQ(LedGlyphIndex('x'), LedGlyphIndex('X'));
    EXPECT_EQ(LedGlyphIndex('0'), 16);

    char t[16];
    LedFormatTime((3600 + 2 * 60 + 3) * 1000 + 999, t, sizeof t);
    EXPECT_STREQ(t, "1:02:03");
    LedFormatTime(0, t, sizeof t);
    EXPECT_STREQ(t, "0:00:00");
    LedFormatTime(-5, t, sizeof t);
    EXPECT_STREQ(t, "0:00:00");

    EXPECT_EQ(LedMaxOffset(12), 0);
    EXPECT_EQ(LedMaxOffset(13), 10);
    LedScroll s{0, 2, LedMaxOffset(13)};
    const int expect[] = {2, 4, 6, 8, 10, 8, 6, 4, 2, 0, 2};
    for (int e : expect) {
        LedAdvanceScroll(&s, 1);
        EXPECT_EQ(s.offset, e);
    }
    LedAdvanceScroll(&s, 0);
    EXPECT_EQ(s.offset, 0);
    LedScroll fixed{0, 2, LedMaxOffset(12)};
    LedAdvanceScroll(&fixed, 1);
    EXPECT_EQ(fixed.offset, 0);

    EXPECT_EQ(LedSymbolColumn(0), 20);
    EXPECT_EQ(LedSymbolColumn(1), 36);
    EXPECT_EQ(LedSymbolColumn(2), 28);
}

TEST(SkinScale, DpiWindowAndSkinPixels) {
    // dpi, Double Size, the scale
    const int scales[][3] = {{96, 0, 1}, {144, 0, 1}, {167, 0, 1}, {168, 0, 2}, {192, 0, 2},
                             {288, 0, 2}, {96, 1, 2}, {120, 1, 2}};
    for (const auto& c : scales) EXPECT_EQ(SkinScaleFor(c[0], c[1]), c[2]) << c[0] << " " << c[1];
    // window coordinate, scale, skin pixel
    const int points[][3] = {{0, 2, 0}, {1, 2, 0}, {2, 2, 1}, {515, 2, 257}, {-1, 2, -1},
                             {-2, 2, -1}, {-3, 2, -2}, {7, 1, 7}, {-7, 1, -7}};
    for (const auto& c : points) EXPECT_EQ(SkinFromWindow(c[0], c[1]), c[2]) << c[0];
    // A window area covers every skin pixel it touches; a scaled skin
    // rectangle comes back unchanged.
    const SkinRect a = SkinRectFromWindow(SkinRect{3, 4, 9, 10}, 2);
    EXPECT_TRUE(a.left == 1 && a.top == 2 && a.right == 5 && a.bottom == 5);
    const SkinRect w = SkinRectToWindow(kLedRect, 2);
    EXPECT_TRUE(w.left == 58 && w.top == 58 && w.right == 350 && w.bottom == 130);
    const SkinRect b = SkinRectFromWindow(w, 2);
    EXPECT_TRUE(b.left == kLedRect.left && b.right == kLedRect.right && b.bottom == kLedRect.bottom);
}

}  // namespace
