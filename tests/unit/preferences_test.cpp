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
