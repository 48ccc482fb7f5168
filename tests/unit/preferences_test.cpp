// The preferences' portable rules: stored values the pages do not offer,
// the priority labels at and beyond the slider's ends, and the about links.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/preferences.h"

TEST(Preferences, UnofferedStoredValuesFallBackToTheFirstChoice) {
    EXPECT_EQ(NormalizedDownSample(2), 2);
    EXPECT_EQ(NormalizedDownSample(5), 0);
    EXPECT_EQ(NormalizedDownSample(-1), 0);
    EXPECT_EQ(NormalizedChannels(3), 3);
    EXPECT_EQ(NormalizedChannels(7), -1);
    EXPECT_EQ(NormalizedChannels(0), -1);
    EXPECT_EQ(OutputSystemFromText(".wav file"), 1);
    EXPECT_EQ(OutputSystemFromText(".wav file "), 0);
    EXPECT_EQ(OutputSystemFromText("Windows Media"), 0);
}

TEST(Preferences, PriorityLabelsClampToTheSliderRange) {
    EXPECT_STREQ(PriorityLabel(0), "Lowest Priority");
    EXPECT_STREQ(PriorityLabel(3), "Above Normal");
    EXPECT_STREQ(PriorityLabel(5), "RealTime Priority");
    EXPECT_STREQ(PriorityLabel(-4), "Lowest Priority");
    EXPECT_STREQ(PriorityLabel(9), "RealTime Priority");
}

TEST(Preferences, AboutLinksAreWholePathsOrEmpty) {
    AboutLink links[kAboutLinkCount];
    MakeAboutLinks("C:\\vorlo\\", links);
    EXPECT_STREQ(links[0].title, "VORLO Homepage");
    EXPECT_STREQ(links[0].address, "C:\\vorlo\\README.md");
    EXPECT_STREQ(links[1].address, "C:\\vorlo\\LICENSE");

    // 251 characters of directory: LICENSE fits in 259, README.md does not.
    const std::string deep = "C:\\" + std::string(247, 'd') + "\\";
    MakeAboutLinks(deep.c_str(), links);
    EXPECT_STREQ(links[0].address, "");
    EXPECT_EQ(links[1].address, deep + "LICENSE");
    EXPECT_FALSE(IsBrowsableAddress(links[0].address));
    EXPECT_FALSE(IsBrowsableAddress("ab"));
    EXPECT_TRUE(IsBrowsableAddress("abc"));
}

TEST(Preferences, GainFieldsTakeOnlyGainsWithinFifteenDecibels) {
    const struct {
        const char* text;
        bool ok;
        float db;
    } cases[] = {{"-3.5", true, -3.5f}, {"+15 dB", true, 15.0f}, {"-15.0", true, -15.0f},
                 {"15.1", false, 0}, {"loud", false, 0}, {"", false, 0}};
    for (const auto& c : cases) {
        float db = 7.0f;
        EXPECT_EQ(GainFieldFromText(c.text, &db), c.ok) << c.text;
        EXPECT_EQ(db, c.ok ? c.db : 7.0f) << c.text;
    }
    char text[16];
    GainFieldText(-4.5f, text, sizeof text);
    EXPECT_STREQ(text, "-4.5");
}
