// ReplayGain texts and the factor each mode makes.
#include <gtest/gtest.h>

#include <cmath>

#include "tag/replay_gain.h"

namespace {

TEST(ReplayGain, TextsReadStrictly) {
    struct Case {
        const char* text;
        bool gainOk;
        double gain;
        bool peakOk;
    } cases[] = {
        {"-6.50 dB", true, -6.5, false},  {"+3.2", true, 3.2, false},    {" 0.988 ", true, 0.988, true},
        {"-.5DB", true, -0.5, false},     {"12. db", true, 12.0, false},  {"60", true, 60.0, false},
        {"+abc dB", false, 0, false},     {"1e300", false, 0, false},    {"NaN", false, 0, false},
        {"inf", false, 0, false},         {"", false, 0, false},         {"-", false, 0, false},
        {"6 dB x", false, 0, false},      {"60.1", false, 0, false},     {"0x10", false, 0, false},
        {"1,5", false, 0, false},         {"--1", false, 0, false},      {"16.5", true, 16.5, false},
    };
    for (const Case& c : cases) {
        double v = 99;
        EXPECT_EQ(ParseGainText(c.text, &v), c.gainOk) << c.text;
        if (c.gainOk) EXPECT_DOUBLE_EQ(v, c.gain) << c.text;
        EXPECT_EQ(ParsePeakText(c.text, &v), c.peakOk) << c.text;
    }
    ReplayGainValues values{};
    EXPECT_TRUE(TakeReplayGainText("replaygain_Album_Gain", "bad", &values));  // known name, value ignored
    EXPECT_FALSE(values.has[kRgAlbumGain]);
    EXPECT_TRUE(TakeReplayGainText("REPLAYGAIN_ALBUM_GAIN", "-2 dB", &values));
    EXPECT_TRUE(TakeReplayGainText("REPLAYGAIN_ALBUM_GAIN", "-9 dB", &values));  // the first one stays
    EXPECT_DOUBLE_EQ(values.value[kRgAlbumGain], -2.0);
    EXPECT_FALSE(TakeReplayGainText("REPLAYGAIN_ALBUM", "-2 dB", &values));
}

TEST(ReplayGain, FactorPerModeWithPreampAndClipping) {
    auto db = [](double g) { return std::pow(10.0, g / 20.0); };
    const ReplayGainValues both = {{1, 1, 1, 1}, {-6.0, 0.5, -3.0, 0.9}};
    const ReplayGainValues trackOnly = {{1, 0, 0, 0}, {-6.0, 0, 0, 0}};
    const ReplayGainValues loudAlbum = {{0, 0, 1, 1}, {0, 0, 6.0, 0.8}};
    const ReplayGainValues none = {};
    struct Case {
        const ReplayGainValues* values;
        ReplayGainChoice choice;
        double want;
    } cases[] = {
        {&both, {kRgOff, 0, 5, 5, 1}, 1.0},
        {&both, {kRgTrack, 0, 0, 0, 1}, db(-6)},
        {&both, {kRgAlbum, 1, 0, 0, 1}, db(-3)},
        {&both, {kRgAuto, 0, 0, 0, 1}, db(-3)},
        {&both, {kRgAuto, 1, 0, 0, 1}, db(-6)},
        {&trackOnly, {kRgAlbum, 0, 2, 0, 1}, db(-4)},           // the other kind when one is missing
        {&both, {kRgTrack, 0, 40, 0, 0}, db(9)},                // the preamp held to 15 dB
        {&both, {kRgTrack, 0, 40, 0, 1}, 2.0},                  // ... and the peak of 0.5 allowing 2
        {&loudAlbum, {kRgTrack, 0, 0, 0, 1}, 1 / 0.8},          // the album's peak when the track has none
        {&loudAlbum, {kRgTrack, 0, 0, 0, 0}, db(6)},
        {&none, {kRgTrack, 0, 3, -7.5, 1}, db(-7.5)},           // untagged: its own gain, no preamp
        {&none, {kRgAuto, 0, 0, -99, 1}, db(-15)},
        {&none, {kRgTrack, 0, 0, 0, 1}, 1.0},
        {&none, {7, 0, 0, 6, 1}, 1.0},                          // an unknown mode is off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.choice.mode << " shuffled " << c.choice.shuffled);
        EXPECT_NEAR(ReplayGainFactor(*c.values, c.choice), c.want, 1e-12);
    }
}

}  // namespace
