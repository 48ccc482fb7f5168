// The equaliser's gain curve and its application to a granule.
#include <gtest/gtest.h>

#include "decoder/equalizer.h"

namespace {

void Gains(float* g, float all) {
    for (int i = 0; i < 12; i++) g[i] = all;
}

TEST(Equalizer, FlatCurveChangesNothing) {
    float g[12];
    Gains(g, 1.0f);
    EXPECT_EQ(ComputeEqualizerTable(g), 1);
    for (int i = 0; i < 576; i++) ASSERT_EQ(EqGainTable[i], 1.0f) << i;
    double a[576], b[576];
    for (int i = 0; i < 576; i++) a[i] = b[i] = 0.1 * i - 7;
    ApplyEqualizer(a, b);
    for (int i = 0; i < 576; i++) {
        ASSERT_EQ(a[i], 0.1 * i - 7);
        ASSERT_EQ(b[i], 0.1 * i - 7);
    }
}

TEST(Equalizer, LinearBetweenBreakpoints) {
    float g[12];
    Gains(g, 1.0f);
    g[0] = 0.0f;
    ComputeEqualizerTable(g);
    EXPECT_EQ(EqGainTable[0], 0.0f);
    EXPECT_FLOAT_EQ(EqGainTable[1], 0.2f);
    EXPECT_FLOAT_EQ(EqGainTable[2], 0.4f);
    EXPECT_FLOAT_EQ(EqGainTable[3], 0.6f);
    EXPECT_FLOAT_EQ(EqGainTable[4], 0.8f);
    for (int i = 5; i < 576; i++) ASSERT_EQ(EqGainTable[i], 1.0f) << i;

    // Band 11's point lies past the table: it is approached, never reached.
    Gains(g, 1.0f);
    g[11] = 2.0f;
    ComputeEqualizerTable(g);
    for (int i = 0; i <= 400; i++) ASSERT_EQ(EqGainTable[i], 1.0f) << i;
    EXPECT_FLOAT_EQ(EqGainTable[575], float(1.0 + 175.0 / 176.0));
    EXPECT_FLOAT_EQ(EqGainTable[488], 1.5f);
    for (int i = 401; i < 576; i++) ASSERT_GT(EqGainTable[i], EqGainTable[i - 1]) << i;

    // Slider steps of 1/7 at every breakpoint are met exactly.
    for (int i = 0; i < 12; i++) g[i] = float(i % 15) * 0.14285715f;
    ComputeEqualizerTable(g);
    for (int i = 0; i < 11; i++) EXPECT_EQ(EqGainTable[EqBreakpoints[i]], g[i]) << i;
}

TEST(Equalizer, AppliesToBothChannelsByPosition) {
    float g[12];
    Gains(g, 1.0f);
    g[3] = 2.0f;  // line 20
    ComputeEqualizerTable(g);
    double a[576], b[576];
    for (int i = 0; i < 576; i++) a[i] = b[i] = 1.0;
    ApplyEqualizer(a, b);
    EXPECT_EQ(a[20], 2.0);
    EXPECT_EQ(b[20], 2.0);
    EXPECT_EQ(a[15], 1.5);
    EXPECT_EQ(b[25], 1.5);
    EXPECT_EQ(a[30], 1.0);
    Gains(g, 1.0f);
    ComputeEqualizerTable(g);
}

}  // namespace
