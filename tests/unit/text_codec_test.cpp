// Text conversions: UTF-8 decoding and cutting, Latin-1, Windows-1252,
// UTF-16, and how a text file's encoding is told.
#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Utf8(char32_t c) {
    std::string s;
    AppendUtf8(&s, c);
    return s;
}

TEST(TextCodec, Utf8SequencesValidOrNot) {
    const struct {
        std::string bytes;
        bool valid;
        size_t chars;
    } cases[] = {
        {"plain", true, 5},
        {"Caf\xC3\xA9", true, 4},
        {"\xD0\x9F\xD1\x96\xD1\x81\xD0\xBD\xD1\x8F", true, 5},  // Пісня
        {"\xE6\x9B\xB2", true, 1},                              // 曲
        {"\xF0\x9F\x8E\xB5", true, 1},                          // U+1F3B5
        {"\xEF\xBF\xBD", true, 1},                              // U+FFFD itself
        {"Caf\xE9", false, 4},                                  // Latin-1 é
        {"\xC0\xAF", false, 2},                                 // overlong '/'
        {"\xED\xA0\x80", false, 3},                             // a surrogate
        {"\xF4\x90\x80\x80", false, 4},                         // above U+10FFFF
        {"\xE6\x9B", false, 2},                                 // cut short
        {"\x80", false, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.bytes.data(), c.bytes.size()), c.valid) << c.bytes;
        EXPECT_EQ(Utf8Length(c.bytes.data(), c.bytes.size()), c.chars) << c.bytes;
    }
    for (char32_t c : {U'A', U'\u00E9', U'\u0416', U'\u66F2', U'\U0001F3B5'}) {
        const std::string s = Utf8(c);
        const char* p = s.c_str();
        EXPECT_EQ(Utf8Next(&p, s.c_str() + s.size()), c);
        EXPECT_EQ(p, s.c_str() + s.size());
    }
    EXPECT_EQ(Utf8(0xD800), "\xEF\xBF\xBD");
}

TEST(TextCodec, CutsNeverSplitACharacter) {
    const std::string s = "a\xC3\xA9\xE6\x9B\xB2z";  // a é 曲 z: 1 + 2 + 3 + 1 bytes
    const struct {
        size_t maxBytes, maxChars, want;
    } cases[] = {
        {0, SIZE_MAX, 0}, {1, SIZE_MAX, 1}, {2, SIZE_MAX, 1}, {3, SIZE_MAX, 3},
        {5, SIZE_MAX, 3}, {6, SIZE_MAX, 6}, {7, SIZE_MAX, 7}, {99, SIZE_MAX, 7},
        {99, 2, 3},       {99, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8CutLength(s.c_str(), c.maxBytes, c.maxChars), c.want) << c.maxBytes << " " << c.maxChars;
    char dst[6];
    EXPECT_EQ(Utf8CopyCut(dst, sizeof dst, s.c_str()), 3u);
    EXPECT_STREQ(dst, "a\xC3\xA9");
}

TEST(TextCodec, Latin1BothWays) {
    EXPECT_EQ(Latin1ToUtf8("Caf\xE9 Se\xF1or", 10), "Caf\xC3\xA9 Se\xC3\xB1or");
    EXPECT_EQ(Latin1ToUtf8("\xFF\x80", 2), "\xC3\xBF\xC2\x80");
    const struct {
        std::string utf8, latin1;
        bool lost;
    } cases[] = {
        {"Caf\xC3\xA9 Se\xC3\xB1or", "Caf\xE9 Se\xF1or", false},
        {"\xC3\xBF", "\xFF", false},
        {"\xD0\x96ok", "?ok", true},      // Ж
        {"\xE2\x82\xAC", "?", true},      // € is not Latin-1
        {"\xE9t\xE9", "?t?", true},       // invalid bytes
    };
    for (const auto& c : cases) {
        bool lost = !c.lost;
        EXPECT_EQ(Utf8ToLatin1(c.utf8.data(), c.utf8.size(), &lost), c.latin1) << c.utf8;
        EXPECT_EQ(lost, c.lost) << c.utf8;
        EXPECT_EQ(FitsLatin1(c.utf8.data(), c.utf8.size()), !c.lost) << c.utf8;
    }
}

TEST(TextCodec, Windows1252AndUtf16) {
    EXPECT_EQ(Cp1252ToUtf8("\x80\x92\x9F\xE9", 4), "\xE2\x82\xAC\xE2\x80\x99\xC5\xB8\xC3\xA9");
    EXPECT_EQ(Cp1252ToUtf8("\x81\x8D", 2), "\xC2\x81\xC2\x8D");  // unassigned: their Latin-1 value
    // "Ж" and U+1F3B5 (a surrogate pair), then a lone high surrogate.
    EXPECT_EQ(Utf16ToUtf8("\x16\x04\x3C\xD8\xB5\xDF\x00\xD8", 8, false),
              "\xD0\x96\xF0\x9F\x8E\xB5\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8("\x04\x16\x00\x41\x00", 5, true), "\xD0\x96" "A");  // odd byte ignored
}

TEST(TextCodec, TextFileEncodings) {
    const struct {
        std::string bytes;
        bool utf8Expected;
        TextEncoding encoding;
        std::string text;
    } cases[] = {
        {"\xEF\xBB\xBF" "Caf\xC3\xA9", false, TextEncoding::Utf8, "Caf\xC3\xA9"},
        {"\xFF\xFE\x16\x04", false, TextEncoding::Utf16Le, "\xD0\x96"},
        {"\xFE\xFF\x04\x16", false, TextEncoding::Utf16Be, "\xD0\x96"},
        {"Caf\xC3\xA9", false, TextEncoding::Utf8, "Caf\xC3\xA9"},
        {"plain", false, TextEncoding::Utf8, "plain"},
        {"Caf\xE9", true, TextEncoding::Utf8, "Caf\xE9"},  // .m3u8: UTF-8, even when broken
        {"Caf\xE9", false, TextEncoding::Legacy, "Caf\xC3\xA9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DetectTextEncoding(c.bytes.data(), c.bytes.size(), c.utf8Expected).encoding, c.encoding)
            << c.bytes;
        if (c.encoding != TextEncoding::Legacy || LegacyCodePage() == 1252)
            EXPECT_EQ(TextFileToUtf8(c.bytes.data(), c.bytes.size(), c.utf8Expected), c.text) << c.bytes;
    }
}

TEST(TextCodec, TheProgramsStringsAreUtf8) {
    // Natively always; under Windows by the manifest's code page.
    EXPECT_TRUE(TextIsUtf8());
    if (LegacyCodePage() != 1252) GTEST_SKIP() << "the system's former code page is " << LegacyCodePage();
    EXPECT_EQ(AnsiToUtf8("\x80 na\xEFve", 7), "\xE2\x82\xAC na\xC3\xAFve");
}

}  // namespace
