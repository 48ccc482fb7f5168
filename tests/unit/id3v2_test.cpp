// ID3v2 texts, the texts shown for a file (ID3v2, else ID3v1), and the tags
// behind the audio (APE, appended ID3v2) that the frame reader and the
// length probe leave out. The tags are made here by a small writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/stream_probe.h"
#include "tag/replay_gain.h"
#include "tag/title_tags.h"
#include "test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Be(uint32_t n, int bytes) {
    Bytes b;
    for (int i = bytes - 1; i >= 0; --i) b.push_back(uint8_t(n >> (8 * i)));
    return b;
}
Bytes Le32(uint32_t n) { return {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)}; }
Bytes Syncsafe(uint32_t n) {
    return {uint8_t(n >> 21 & 127), uint8_t(n >> 14 & 127), uint8_t(n >> 7 & 127), uint8_t(n & 127)};
}

// ------------------------------------------------------------ the writer

// utf8 in text encoding enc: 0 Latin-1 (code points below 256 only), 1
// UTF-16LE with its mark, 2 UTF-16BE, 3 UTF-8.
Bytes Encode(int enc, const std::string& utf8) {
    if (enc == 3) return Str(utf8);
    Bytes out = enc == 1 ? Bytes{0xFF, 0xFE} : Bytes{};
    for (size_t i = 0; i < utf8.size();) {
        uint8_t b = uint8_t(utf8[i]);
        int more = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        uint32_t cp = more == 0 ? b : b & (0x3F >> more);
        for (int k = 1; k <= more; ++k) cp = (cp << 6) | (uint8_t(utf8[i + k]) & 0x3F);
        i += size_t(more) + 1;
        if (enc == 0) {
            out.push_back(uint8_t(cp));
            continue;
        }
        std::vector<uint32_t> units{cp};
        if (cp >= 0x10000) units = {0xD800 + ((cp - 0x10000) >> 10), 0xDC00 + ((cp - 0x10000) & 0x3FF)};
        for (uint32_t u : units) out = Cat({out, enc == 1 ? Bytes{uint8_t(u), uint8_t(u >> 8)} : Be(u, 2)});
    }
    return out;
}

struct Frame {
    std::string id;
    Bytes content;
    uint8_t format = 0;  // the second flag byte (2.3, 2.4)
};
Frame Text(const std::string& id, int enc, const std::string& text) {
    return {id, Cat({{uint8_t(enc)}, Encode(enc, text)})};
}
Frame Comment(const std::string& id, int enc, const std::string& description, const std::string& text) {
    Bytes nul = enc == 1 || enc == 2 ? Bytes{0, 0} : Bytes{0};
    return {id, Cat({{uint8_t(enc)}, Str("eng"), Encode(enc, description), nul, Encode(enc, text)})};
}

struct Layout {
    int version;
    bool unsync = false;  // the whole tag (2.2, 2.3), each frame (2.4)
    bool extHeader = false;
    bool footer = false;
    size_t padding = 0;
    bool plainSizes = false;  // 2.4 frame sizes written as plain numbers
};

// A 0x00 behind each 0xFF followed by 0xE0 or more, by 0x00, or by nothing.
Bytes Unsync(const Bytes& in) {
    Bytes out;
    for (size_t i = 0; i < in.size(); ++i) {
        out.push_back(in[i]);
        if (in[i] == 0xFF && (i + 1 == in.size() || in[i + 1] >= 0xE0 || in[i + 1] == 0)) out.push_back(0);
    }
    return out;
}

Bytes Tag(const Layout& l, const std::vector<Frame>& frames) {
    Bytes body;
    if (l.extHeader) body = l.version == 3 ? Bytes{0, 0, 0, 6, 0, 0, 0, 0, 0, 0} : Bytes{0, 0, 0, 6, 1, 0};
    for (const Frame& f : frames) {
        bool unsync = l.version == 4 && l.unsync;
        Bytes content = unsync ? Unsync(f.content) : f.content;
        uint32_t n = uint32_t(content.size());
        Bytes size = l.version == 2 ? Be(n, 3) : l.version == 3 || l.plainSizes ? Be(n, 4) : Syncsafe(n);
        Bytes flags = l.version == 2 ? Bytes{} : Bytes{0, uint8_t(f.format | (unsync ? 0x02 : 0))};
        body = Cat({body, Str(f.id), size, flags, content});
    }
    body.resize(body.size() + l.padding, 0);
    if (l.version < 4 && l.unsync) body = Unsync(body);
    uint8_t flags = (l.unsync ? 0x80 : 0) | (l.extHeader ? 0x40 : 0) | (l.footer ? 0x10 : 0);
    Bytes head = Cat({Str("ID3"), {uint8_t(l.version), 0, flags}, Syncsafe(uint32_t(body.size()))});
    Bytes foot = Cat({Str("3DI"), Bytes(head.begin() + 3, head.end())});
    return Cat({head, body, l.footer ? foot : Bytes{}});
}

// MPEG-1 Layer III frames, 128 kbit/s, 44.1 kHz (418 bytes), each its own fill.
Bytes Frames(int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) b = Cat({b, Be(0xFFFB9000, 4), Bytes(414, uint8_t(0x10 + i))});
    return b;
}

Bytes Id3v1(const std::string& title) {
    Bytes t = Cat({Str("TAG"), Str(title), Bytes(125 - title.size(), ' ')});
    t[127] = 8;  // Jazz
    return t;
}

// An APE tag whose one item holds a copy of an audio frame: a reader that
// took the tag for audio would find that frame.
Bytes Ape(uint32_t version, bool header) {
    Bytes items = Cat({Le32(418), Le32(0), Str("Cover"), {0}, Frames(1)});
    auto block = [&](bool isHeader) {
        uint32_t flags = (header ? 1u << 31 : 0) | (isHeader ? 1u << 29 : 0);
        Bytes sizes = Cat({Le32(uint32_t(items.size() + 32)), Le32(1)});
        return Cat({Str("APETAGEX"), Le32(version), sizes, Le32(flags), Bytes(8, 0)});
    };
    return Cat({header ? block(true) : Bytes{}, items, block(false)});
}

std::vector<Frame> AllTexts(int version, int enc, const std::string& title) {
    bool v2 = version == 2;
    return {Text(v2 ? "TT2" : "TIT2", enc, title), Text(v2 ? "TP1" : "TPE1", enc, "Artist"),
            Text(v2 ? "TAL" : "TALB", enc, "Album"), Text(v2 ? "TYE" : version == 3 ? "TYER" : "TDRC", enc, "1999"),
            Text(v2 ? "TCO" : "TCON", enc, version == 4 ? "8" : "(8)"), Comment(v2 ? "COM" : "COMM", enc, "", "Note")};
}

class TagFile : public ::testing::Test {
protected:
    std::string Write(const Bytes& b) {
        std::string path = dir_.File("song.mp3");
        testutil::WriteBytes(path, b);
        return path;
    }
    Id3v2Tag ReadPath(const std::string& path, TitleTags* titles = nullptr) {
        Id3v2Tag tag;
        TitleTags own;
        plat::File f = plat::FileOpenRead(path.c_str());
        EXPECT_NE(f, nullptr);
        ReadTitleTags(f, titles ? titles : &own, nullptr, &tag);
        plat::FileClose(f);
        return tag;
    }
    Id3v2Tag Read(const Bytes& b, TitleTags* titles = nullptr) { return ReadPath(Write(b), titles); }
    testutil::TempDir dir_;
};

// ------------------------------------------------------------ the reader

TEST_F(TagFile, EveryVersionAndTextEncoding) {
    for (int version : {2, 3, 4})
        for (int enc = 0; enc < 4; ++enc) {
            SCOPED_TRACE("2." + std::to_string(version) + " encoding " + std::to_string(enc));
            std::string title = enc == 0 ? "Gr\xC3\xBC\xC3\x9F" "e" : "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x8E\xB5";
            Id3v2Tag t = Read(Cat({Tag({version}, AllTexts(version, enc, title)), Frames(3)}));
            EXPECT_EQ(t.version, version);
            std::string all = std::string(t.title) + "|" + t.artist + "|" + t.album + "|" + t.year + "|" + t.genre;
            EXPECT_EQ(all + "|" + t.comment, title + "|Artist|Album|1999|Jazz|Note");
        }
}

TEST_F(TagFile, UnsynchronisationExtendedHeadersFootersAndPadding) {
    // "ÿà" is FF E0 in Latin-1 and the UTF-16 mark FF FE: both need a 0x00 inserted.
    const std::string title = "\xC3\xBF\xC3\xA0 Title";
    const Layout layouts[] = {{2, true},        {3, true}, {4, true}, {3, false, true}, {4, false, true},
                              {3, true, true}, {4, true, true, true, 300}, {3, false, false, false, 1000}};
    for (const Layout& l : layouts)
        for (int enc : {0, 1}) {
            SCOPED_TRACE("2." + std::to_string(l.version) + (l.unsync ? " unsync" : "") + (l.extHeader ? " ext" : "") +
                         " encoding " + std::to_string(enc));
            Bytes tag = Tag(l, AllTexts(l.version, enc, title)), ff00{0xFF, 0};
            if (l.unsync) EXPECT_NE(std::search(tag.begin(), tag.end(), ff00.begin(), ff00.end()), tag.end());
            Id3v2Tag t = Read(Cat({tag, Frames(3)}));
            EXPECT_STREQ(t.title, title.c_str());
            EXPECT_STREQ(t.comment, "Note");
        }
}

TEST_F(TagFile, PlainFrameSizesIn24AreTolerated) {
    // 200 cannot be syncsafe (0xC8); 256 can (as 128), but that lands inside the text.
    for (size_t len : {199u, 255u}) {
        Layout l{4};
        l.plainSizes = true;
        Bytes tag = Tag(l, {Text("TIT2", 0, std::string(len, 'x')), Text("TPE1", 0, "Next")});
        Id3v2Tag t = Read(Cat({tag, Frames(2)}));
        EXPECT_EQ(t.title, std::string(len, 'x'));
        EXPECT_STREQ(t.artist, "Next");
    }
}

TEST_F(TagFile, TagsInARowAndAnAppendedTagMerge) {
    Layout appended{4};
    appended.footer = true;
    Bytes behind = Tag(appended, {Text("TIT2", 0, "Behind"), Text("TPE1", 0, "Behind artist")});
    Id3v2Tag t = Read(Cat({Tag({3}, {Text("TALB", 0, "First album")}),
                           Tag({4}, {Text("TIT2", 3, "Second title"), Text("TALB", 3, "Second album")}), Frames(3),
                           behind, Id3v1("Old")}));
    EXPECT_EQ(t.version, 3);
    EXPECT_STREQ(t.title, "Second title");
    EXPECT_STREQ(t.album, "First album");
    EXPECT_STREQ(t.artist, "Behind artist");
}

TEST_F(TagFile, ReplayGainFramesTxxxBeforeRva2) {
    auto txxx = [](const char* id, int enc, const std::string& name, const std::string& value) {
        Bytes nul = enc == 1 || enc == 2 ? Bytes{0, 0} : Bytes{0};
        return Frame{id, Cat({{uint8_t(enc)}, Encode(enc, name), nul, Encode(enc, value)})};
    };
    // Identification, then channels: type, adjustment (1/512 dB), peak bits, peak.
    auto rva2 = [](const std::string& ident, Bytes channels) { return Frame{"RVA2", Cat({Str(ident), {0}, channels})}; };
    const Bytes master = {1, 0xFA, 0x00, 16, 0x60, 0x00};  // -3 dB, peak 0.75
    const struct {
        Layout layout;
        std::vector<Frame> frames;
        int has[kRgValueCount];
        double value[kRgValueCount];
    } cases[] = {
        {{3}, {txxx("TXXX", 1, "replaygain_track_gain", "-7.25 dB")}, {1, 0, 0, 0}, {-7.25}},
        {{2}, {txxx("TXX", 0, "REPLAYGAIN_ALBUM_GAIN", "+1.5"), txxx("TXX", 0, "REPLAYGAIN_ALBUM_PEAK", "x")},
         {0, 0, 1, 0}, {0, 0, 1.5}},
        {{4, true}, {rva2("Album", master), txxx("TXXX", 3, "REPLAYGAIN_ALBUM_GAIN", "-1 dB")}, {0, 0, 1, 1},
         {0, 0, -1.0, 0.75}},
        {{4}, {rva2("track", Cat({{2, 0x02, 0x00, 8, 0xFF}, master}))}, {1, 1, 0, 0}, {-3.0, 0.75}},
        {{4}, {rva2("track", {1, 0x02})}, {0, 0, 0, 0}, {}},  // cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("2." + std::to_string(c.layout.version) + " " + c.frames[0].id);
        plat::File f = plat::FileOpenRead(Write(Cat({Tag(c.layout, c.frames), Frames(2)})).c_str());
        ReplayGainValues v{};
        ReadId3v2ReplayGain(f, &v);
        plat::FileClose(f);
        for (int i = 0; i < kRgValueCount; i++) EXPECT_EQ(v.has[i] ? v.value[i] : -99, c.has[i] ? c.value[i] : -99) << i;
    }
}

TEST_F(TagFile, GenreReferencesRefinementsYearsAndComments) {
    const struct {
        int version;
        std::string text, name;
    } genres[] = {
        {3, "(17)", "Rock"}, {4, "17", "Rock"}, {3, "(17)(6)", "Rock"}, {3, "(4)Eurodisco", "Eurodisco"},
        {3, "((Bracketed)", "(Bracketed)"}, {4, "RX", "Remix"}, {3, "(CR)", "Cover"}, {3, "(200)", "Unknown"},
        {4, std::string("Pop\0Rock", 8), "Pop"}, {3, "(12", "(12"}, {2, "Jazz Fusion", "Jazz Fusion"},
    };
    for (const auto& g : genres) {
        Bytes tag = Tag({g.version}, {Text(g.version == 2 ? "TCO" : "TCON", 0, g.text)});
        EXPECT_EQ(Read(Cat({tag, Frames(2)})).genre, g.name);
    }
    // A timestamp's year; the comment without a description wins, else the first.
    Id3v2Tag t = Read(Cat({Tag({4}, {Text("TDRC", 3, "2024-05-01T10:00"), Comment("COMM", 1, "iTunNORM", "0000"),
                                     Comment("COMM", 1, "", "The comment")}), Frames(2)}));
    EXPECT_STREQ(t.year, "2024");
    EXPECT_STREQ(t.comment, "The comment");
    EXPECT_STREQ(Read(Cat({Tag({3}, {Comment("COMM", 0, "Notes", "Described")}), Frames(2)})).comment, "Described");
}

TEST_F(TagFile, TextsComeOutAsValidUtf8) {
    const struct {
        Bytes content;
        std::string text;
    } cases[] = {
        {{3, 'C', 'a', 'f', 0xE9}, "Caf\xC3\xA9"},         // not UTF-8: taken as Latin-1
        {{3, 0xEF, 0xBB, 0xBF, 'O', 'k'}, "Ok"},            // a UTF-8 mark dropped
        {{0, 'a', '\t', 'b', '\n', 'c'}, "a b c"},          // controls blanked
        {{1, 0xFE, 0xFF, 0, 'B', 0, 'E'}, "BE"},            // UTF-16 big-endian by its mark
        {{1, 0, 'N', 0, 'o'}, "No"},                        // no mark: big-endian
        {{2, 0xD8, 0x3C, 0xDF, 0xB5}, "\xF0\x9F\x8E\xB5"},  // a surrogate pair
    };
    for (const auto& c : cases) EXPECT_EQ(Read(Cat({Tag({4}, {{"TIT2", c.content}}), Frames(2)})).title, c.text);
}

TEST_F(TagFile, HostileTagsGiveNoTitle) {
    const Bytes good = Tag({3}, {Text("TIT2", 0, "Title")});
    auto with = [](Bytes b, size_t at, uint8_t v) { return b[at] = v, b; };
    const struct {
        const char* what;
        Bytes tag;
    } cases[] = {
        {"tag size past the file", with(good, 6, 0x7F)},
        {"frame past the tag", with(good, 17, 0x40)},
        {"zero tag size", Cat({Str("ID3"), {3, 0, 0, 0, 0, 0, 0}})},
        {"zero frame size", with(good, 17, 0)},
        {"odd-length UTF-16", Tag({3}, {{"TIT2", {1, 0xFF, 0xFE, 'A', 0, 'B'}}})},
        {"unpaired high surrogate", Tag({4}, {{"TIT2", {2, 0xD8, 0x00, 0, 'A'}}})},
        {"unpaired low surrogate", Tag({4}, {{"TIT2", {2, 0, 'A', 0xDC, 0x00}}})},
        {"unknown encoding", Tag({4}, {{"TIT2", {7, 'A'}}})},
        {"compressed frame", Tag({3}, {{"TIT2", {0, 'A'}, 0x80}})},
        {"encrypted frame", Tag({4}, {{"TIT2", {0, 'A'}, 0x04}})},
        {"2.4 extended header below its size", with(Tag({4, false, true}, {Text("TIT2", 0, "A")}), 13, 3)},
        {"unknown version", with(good, 3, 5)},
        {"compressed 2.2 tag", with(Tag({2}, {Text("TT2", 0, "A")}), 5, 0x40)},
        {"invalid frame id", with(good, 10, 't')},
    };
    for (const auto& c : cases) EXPECT_STREQ(Read(Cat({c.tag, Frames(2)})).title, "") << c.what;
}

TEST_F(TagFile, AHugeFrameIsPassedOver) {
    // A 100 MB picture in front of the title, in a sparse file.
    constexpr uint32_t kPicture = 100u << 20;
    Bytes title = Cat({Str("TIT2"), Be(6, 4), {0, 0, 0}, Str("After")});
    Bytes head = Cat({Str("ID3"), {3, 0, 0}, Syncsafe(10 + kPicture + uint32_t(title.size())), Str("APIC"),
                      Be(kPicture, 4), {0, 0}});
    std::string path = Write(head);
    std::filesystem::resize_file(path, head.size() + kPicture);
    Bytes tail = Cat({title, Frames(2)});
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(tail.data()), std::streamsize(tail.size()));
    EXPECT_STREQ(ReadPath(path).title, "After");
}

// ------------------------------------------------------------ the texts shown

TEST_F(TagFile, TitlesFromId3v2ThenId3v1ThenNone) {
    const Bytes v2 = Tag({3}, {Text("TIT2", 0, "V2 title")}), picture = Tag({3}, {{"APIC", Bytes(100, 1)}});
    const struct {
        Bytes file;
        int source;
        const char* title;
    } cases[] = {
        {Cat({v2, Frames(2), Id3v1("V1 title")}), kTitleId3v2, "V2 title"},
        {Cat({picture, Frames(2), Id3v1("V1 title")}), kTitleId3v1, "V1 title"},
        {Frames(2), kTitleNone, ""},
    };
    for (const auto& c : cases) {
        TitleTags t;
        Read(c.file, &t);
        EXPECT_EQ(t.source, c.source);
        EXPECT_STREQ(t.title, c.title);
        EXPECT_STREQ(t.genre, c.source == kTitleNone ? "" : "Jazz");  // what ID3v2 lacks comes from ID3v1
    }
}

TEST(Id3v1FieldText, CutsOnACharacterBoundaryAndStartsTheEditorRecord) {
    const std::string a28(28, 'a');
    const struct {
        std::string text, field;
    } cases[] = {{std::string(40, 'a'), std::string(30, 'a')},
                 {a28 + "a\xC3\xA9" "b", a28 + "a\xC3\xA9"},
                 {a28 + "\xC3\xA9", a28 + "\xC3\xA9"},
                 {a28 + "\xF0\x9F\x8E\xB5zz", a28 + "\xF0\x9F\x8E\xB5z"}};
    for (const auto& c : cases) {
        TagTexts texts{};
        std::snprintf(texts.title, sizeof texts.title, "%s", c.text.c_str());
        std::snprintf(texts.genre, sizeof texts.genre, "Jazz");
        Id3v1Tag tag{};
        Id3v1FromTexts(texts, &tag);
        EXPECT_EQ(tag.title, c.field);
        EXPECT_EQ(tag.valid, 1);
        EXPECT_EQ(tag.genre, 8);
    }
}

// ------------------------------------------------------------ the audio between the tags

TEST_F(TagFile, TheAudioIsTheSameWhateverTagsSurroundIt) {
    struct Audio {
        int64_t durationMs;
        int frameCount;
        std::vector<Bytes> frames;  // what the frame reader hands out
    };
    auto look = [&](const Bytes& file) {
        Audio a{};
        std::string path = Write(file);
        plat::File f = plat::FileOpenRead(path.c_str());
        StreamLayout probe;
        ProbeStream(f, &probe);
        plat::FileClose(f);
        a.durationMs = probe.durationMs;
        EXPECT_EQ(OpenInput(path.c_str()), 1);
        ResetHeaderHistory();
        StreamInfo si{};
        while (ReadFrame(&si) == 1) {
            a.frames.emplace_back(g_frames.currentBuffer, g_frames.currentBuffer + g_frames.currentSize);
            if (a.frames.size() == 1) a.frameCount = GetFrameCount(&si);
        }
        CloseInput();
        return a;
    };
    const Bytes audio = Frames(30);
    const Audio plain = look(audio);
    ASSERT_EQ(plain.frames.size(), 30u);
    Layout footer{4};
    footer.footer = true;
    const Bytes appended = Tag(footer, {Text("TIT2", 0, "Behind")});
    const struct {
        const char* what;
        Bytes front, back;
    } cases[] = {
        {"2.3 unsynchronised in front", Tag({3, true}, AllTexts(3, 1, "\xC3\xBF\xC3\xA0")), {}},
        {"2.4 with a footer in front", Tag(footer, AllTexts(4, 3, "x")), {}},
        {"2.4 appended", {}, appended},
        {"2.4 appended before ID3v1", {}, Cat({appended, Id3v1("T")})},
        {"APEv2 with header before ID3v1", {}, Cat({Ape(2000, true), Id3v1("T")})},
        {"APEv2 without header after ID3v1", {}, Cat({Id3v1("T"), Ape(2000, false)})},
        {"APEv1", {}, Ape(1000, false)},
        {"2.2 in front; APEv2, appended 2.4, ID3v1", Tag({2}, AllTexts(2, 0, "x")),
         Cat({Ape(2000, true), appended, Id3v1("T")})},
    };
    for (const auto& c : cases) {
        Audio tagged = look(Cat({c.front, audio, c.back}));
        EXPECT_EQ(tagged.durationMs, plain.durationMs) << c.what;
        EXPECT_EQ(tagged.frameCount, plain.frameCount) << c.what;
        EXPECT_TRUE(tagged.frames == plain.frames) << c.what << ": " << tagged.frames.size() << " frames read";
    }
}

}  // namespace
