// ReplayGain texts and the factor each mode makes.
#include <gtest/gtest.h>

#include <cmath>

#include "tag/replay_gain.h"

namespace {

TEST(ReplayGain, TextsReadStrictly) {
    const struct {
        const char* text;
        bool gainOk, peakOk;
        double gain;
    } cases[] = {
        {"-6.50 dB", true, false, -6.5},  {"+3.2", true, false, 3.2},    {" 0.988 ", true, true, 0.988},
        {"-.5DB", true, false, -0.5},     {"12. db", true, false, 12.0},  {"60", true, false, 60.0},
        {"+abc dB", false, false, 0},     {"1e300", false, false, 0},    {"NaN", false, false, 0},
        {"inf", false, false, 0},         {"", false, false, 0},         {"-", false, false, 0},
        {"6 dB x", false, false, 0},      {"60.1", false, false, 0},     {"0x10", false, false, 0},
        {"1,5", false, false, 0},         {"--1", false, false, 0},      {"16.5", true, false, 16.5},
    };
    for (const auto& c : cases) {
        double v = 99;
        EXPECT_EQ(ParseGainText(c.text, &v), c.gainOk) << c.text;
        if (c.gainOk) EXPECT_DOUBLE_EQ(v, c.gain) << c.text;
        EXPECT_EQ(ParsePeakText(c.text, &v), c.peakOk) << c.text;
    }
}

// The rules the decode check does not reach: fallbacks and limits.
TEST(ReplayGain, FactorFallbacksAndLimits) {
    auto db = [](double g) { return std::pow(10.0, g / 20.0); };
    const ReplayGainValues both = {{1, 1, 1, 1}, {-6.0, 0.5, -3.0, 0.9}};
    const ReplayGainValues trackOnly = {{1, 0, 0, 0}, {-6.0, 0, 0, 0}};
    const ReplayGainValues loudAlbum = {{0, 0, 1, 1}, {0, 0, 6.0, 0.8}};
    const ReplayGainValues none = {};
    const struct {
        const ReplayGainValues* values;
        ReplayGainChoice choice;
        double want;
    } cases[] = {
        {&both, {kRgOff, 0, 5, 5, 1}, 1.0},
        {&both, {kRgAuto, 1, 0, 0, 1}, db(-6)},
        {&trackOnly, {kRgAlbum, 0, 2, 0, 1}, db(-4)},   // the other kind when one is missing
        {&both, {kRgTrack, 0, 40, 0, 0}, db(9)},        // the preamp held to 15 dB
        {&both, {kRgTrack, 0, 40, 0, 1}, 2.0},          // ... and the peak of 0.5 allowing 2
        {&loudAlbum, {kRgTrack, 0, 0, 0, 1}, 1 / 0.8},  // the album's peak when the track has none
        {&none, {kRgTrack, 0, 3, -7.5, 1}, db(-7.5)},   // untagged: its own gain, no preamp
        {&none, {kRgAuto, 0, 0, -99, 1}, db(-15)},
        {&none, {7, 0, 0, 6, 1}, 1.0},                  // an unknown mode is off
    };
    for (const auto& c : cases)
        EXPECT_NEAR(ReplayGainFactor(*c.values, c.choice), c.want, 1e-12) << "mode " << c.choice.mode;
}

}  // namespace
