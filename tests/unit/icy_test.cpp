// ICY metadata: blocks taken out of the stream wherever the reads cut it,
// the StreamTitle value, station texts in UTF-8 or Latin-1, icy-metaint.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/icy.h"

namespace {

std::vector<uint8_t> Audio(size_t n) {
    std::vector<uint8_t> a(n);
    uint32_t x = 12345;
    for (auto& b : a) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    return a;
}

// The audio with a block after every metaint bytes, the texts taken in turn
// ("" is a block of length 0).
std::vector<uint8_t> Interleave(const std::vector<uint8_t>& audio, uint32_t metaint,
                                const std::vector<std::string>& texts, std::vector<std::string>* expected) {
    std::vector<uint8_t> out;
    size_t k = 0;
    for (size_t at = 0; at < audio.size(); at += metaint) {
        size_t n = std::min<size_t>(metaint, audio.size() - at);
        out.insert(out.end(), audio.begin() + long(at), audio.begin() + long(at + n));
        if (n < metaint) break;
        const std::string& t = texts[k++ % texts.size()];
        size_t len = (t.size() + 15) / 16;
        out.push_back(uint8_t(len));
        out.insert(out.end(), t.begin(), t.end());
        out.insert(out.end(), len * 16 - t.size(), 0);
        if (!t.empty()) expected->push_back(t);
    }
    return out;
}

TEST(IcyDemux, GivesTheAudioAloneWhateverTheReadSizes) {
    const std::vector<std::string> texts = {
        "StreamTitle='Artist - Song';StreamUrl='';",
        "",
        "StreamTitle='Rock 'n' Roll; Live';",
        "StreamTitle='" + std::string(200, 'x') + "';",  // a block of 14 x 16 bytes
    };
    for (uint32_t metaint : {8192u, 16000u}) {
        std::vector<uint8_t> audio = Audio(metaint * 4 + 1000);
        std::vector<std::string> expected;
        const std::vector<uint8_t> stream = Interleave(audio, metaint, texts, &expected);
        std::vector<size_t> sizes;
        for (size_t s = 1; s <= 48; s++) sizes.push_back(s);
        for (size_t s : {size_t(255), size_t(2048), size_t(metaint - 1), size_t(metaint + 1), stream.size()})
            sizes.push_back(s);
        for (size_t size : sizes) {
            IcyDemux demux(metaint);
            std::vector<uint8_t> got, piece;
            std::vector<std::string> blocks;
            for (size_t at = 0; at < stream.size(); at += size) {
                piece.assign(stream.begin() + long(at), stream.begin() + long(std::min(stream.size(), at + size)));
                size_t n = demux.Feed(piece.data(), piece.size(), &blocks);
                got.insert(got.end(), piece.begin(), piece.begin() + long(n));
            }
            ASSERT_EQ(got, audio) << "metaint " << metaint << ", reads of " << size;
            ASSERT_EQ(blocks, expected) << "metaint " << metaint << ", reads of " << size;
            EXPECT_EQ(demux.BlockCount(), 4u);
        }
    }
}

TEST(IcyDemux, WithoutAnIntervalEverythingIsAudio) {
    std::vector<uint8_t> data = Audio(5000), copy = data;
    IcyDemux demux(0);
    EXPECT_EQ(demux.Feed(data.data(), data.size(), nullptr), data.size());
    EXPECT_EQ(data, copy);
}

TEST(IcyStreamTitle, TakesTheQuotedValue) {
    struct Case {
        const char* block;
        bool found;
        const char* title;
    } cases[] = {
        {"StreamTitle='Artist - Song';StreamUrl='';", true, "Artist - Song"},
        {"StreamTitle='Artist - Song';", true, "Artist - Song"},
        {"StreamTitle='It's; a test';StreamUrl='http://x/';", true, "It's; a test"},
        {"StreamTitle='Semi';colon';", true, "Semi';colon"},
        {"StreamTitle='';StreamUrl='';", true, ""},
        {"StreamUrl='u';StreamTitle='Second key';", true, "Second key"},
        {"StreamTitle='No end", true, "No end"},
        {"StreamTitle='Trailing quote'", true, "Trailing quote"},
        {"StreamUrl='only';", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        std::string title = "unchanged";
        EXPECT_EQ(IcyStreamTitle(c.block, &title), c.found) << c.block;
        if (c.found) {
            EXPECT_EQ(title, c.title) << c.block;
        }
    }
}

TEST(IcyTextToUtf8, KeepsUtf8ConvertsLatin1AndBlanksControls) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"Plain ASCII", "Plain ASCII"},
        {"Bj\xC3\xB6rk - J\xC3\xB3ga", "Bj\xC3\xB6rk - J\xC3\xB3ga"},                // UTF-8 kept
        {"\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x8E\xB5", "\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x8E\xB5"},
        {"Bj\xF6rk - J\xF3ga", "Bj\xC3\xB6rk - J\xC3\xB3ga"},                        // Latin-1
        {"Caf\xE9 \xC3\xA9", "Caf\xC3\xA9 \xC3\x83\xC2\xA9"},                        // mixed: all Latin-1
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                                            // overlong
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},                                // a surrogate
        {"cut \xE2\x82", "cut \xC3\xA2\xC2\x82"},                                    // a cut sequence
        // Control characters are blanked: a title cannot forge a line.
        {"A\nseconds=1\r\nid3v2_title=x", "A seconds=1  id3v2_title=x"},
        {"\t\x01\x1F\x7F\xE9", "    \xC3\xA9"},
    };
    for (const Case& c : cases) EXPECT_EQ(IcyTextToUtf8(c.in), c.out) << c.in;
}

TEST(IcyMetaint, ReadsTheInterval) {
    struct Case {
        const char* value;
        uint32_t metaint;
    } cases[] = {{"8192", 8192}, {" 16000 ", 16000}, {"0", 0}, {"", 0}, {"12a", 0},
                 {"-5", 0},      {"1048576", 1048576}, {"1048577", 0}, {"99999999999", 0}};
    for (const Case& c : cases) EXPECT_EQ(IcyMetaint(c.value), c.metaint) << c.value;
    EXPECT_EQ(IcyMetaint(nullptr), 0u);
}

}  // namespace
