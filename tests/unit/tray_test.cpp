// The tray icon's picture and tip for a position.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/tray_tip.h"

TEST(TrayTip, IconByTenthsOfThePosition) {
    // Out of range (-5, 250) clamps instead of reading past the table.
    const int cases[][2] = {{0, 114}, {9, 114}, {10, 117}, {55, 115}, {69, 116},
                            {99, 123}, {100, 113}, {-5, 114}, {250, 113}};
    for (const auto& c : cases) EXPECT_EQ(TrayIconForPercent(c[0]), c[1]) << c[0];
}

TEST(TrayTip, TitleAndThreeDigitPercentCutTo63) {
    char tip[128];
    FormatTrayTip("song", 7, tip, sizeof tip);
    EXPECT_STREQ(tip, "Vor - song - 007%");
    FormatTrayTip(nullptr, 100, tip, sizeof tip);
    EXPECT_STREQ(tip, "Vor -  - 100%");

    const std::string title(200, 'x');
    FormatTrayTip(title.c_str(), 42, tip, sizeof tip);
    EXPECT_EQ(std::strlen(tip), 63u);
    EXPECT_EQ(std::string(tip), "Vor - " + std::string(57, 'x'));
    // A smaller buffer than the tip is never overrun.
    char small[10];
    FormatTrayTip("song", 7, small, sizeof small);
    EXPECT_STREQ(small, "Vor - son");
}

TEST(TrayTip, CutsCountCharactersAndKeepThemWhole) {
    std::string cyrillic;  // 60 characters of two bytes each
    for (int i = 0; i < 60; ++i) cyrillic += "\xD0\x96";
    char tip[kTrayTipBytes];
    FormatTrayTip(cyrillic.c_str(), 42, tip, sizeof tip);
    EXPECT_EQ(std::string(tip), "Vor - " + cyrillic.substr(0, 2 * 57));  // 63 characters
    // A buffer that ends inside a character ends before it instead.
    char small[12];
    FormatTrayTip("\xE6\x9B\xB2\xE6\x9B\xB2", 7, small, sizeof small);
    EXPECT_STREQ(small, "Vor - \xE6\x9B\xB2");
}
