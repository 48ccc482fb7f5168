// ID3v1 tags: reading, writing and wiping on real files, with the message
// boxes recorded.
#include "platform/text_codec.h"
#include "tag/id3v1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

struct Shown {
    void* owner;
    std::string text, caption;
    unsigned flags;
};
std::vector<Shown> g_shown;

int RecordBox(void* owner, const char* text, const char* caption, unsigned flags) {
    g_shown.push_back({owner, text ? text : "", caption ? caption : "", flags});
    return plat::IdOk;
}

constexpr char kSeekError[] = "Error Setting Pointer";
constexpr char kTruncateError[] = "Error Wiping Tag!\n(File is Write Protected?)";
constexpr char kWriteError[] = "Error Writing Tag!\n(File is Write Protected?)";
constexpr char kReadError[] = "Error Reading Tag!";

using Bytes = std::vector<uint8_t>;

// Audio-like bytes that never hold "TAG" where a tag would start.
Bytes Audio(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x80 | (i * 37 + 11));
    return b;
}

void PutField(Bytes& tag, size_t at, size_t width, const std::string& text, uint8_t pad) {
    for (size_t i = 0; i < width; ++i) tag[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : pad;
}

// A 128-byte tag as a file holds it; texts longer than a field are cut.
Bytes TagBlock(const std::string& title, const std::string& artist, const std::string& album,
               const std::string& year, const std::string& comment, uint8_t genre, uint8_t pad = ' ') {
    Bytes t(128, 0);
    std::memcpy(t.data(), "TAG", 3);
    PutField(t, 3, 30, title, pad);
    PutField(t, 33, 30, artist, pad);
    PutField(t, 63, 30, album, pad);
    PutField(t, 93, 4, year, pad);
    PutField(t, 97, 30, comment, pad);
    t[127] = genre;
    return t;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <size_t N>
void SetText(char (&dst)[N], const char* text) {
    size_t n = std::min(std::strlen(text), N - 1);
    std::memcpy(dst, text, n);
    dst[n] = '\0';
}

Id3v1Tag Record(const char* title, const char* artist, const char* album, const char* year,
                const char* comment, int genre) {
    Id3v1Tag t{};
    SetText(t.title, title);
    SetText(t.artist, artist);
    SetText(t.album, album);
    SetText(t.year, year);
    SetText(t.comment, comment);
    t.genre = genre;
    return t;
}

const std::string k30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234";

class Id3v1Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        g_shown.clear();
        savedMainWindow_ = plat::MainWindow();
        plat::SetMainWindow(&mainWindow_);
        plat::SetMessageBoxHook(RecordBox);
    }
    void TearDown() override {
        plat::SetMessageBoxHook(nullptr);
        plat::SetMainWindow(savedMainWindow_);
    }

    std::string Make(const Bytes& content) {
        std::string path = dir_.File("song.mp3");
        testutil::WriteBytes(path, content);
        return path;
    }
    // Reads the file's tag into *tag; returns ReadId3v1Tag's result.
    static int ReadTag(const std::string& path, Id3v1Tag* tag) {
        plat::File f = plat::FileOpenRead(path.c_str());
        EXPECT_NE(f, nullptr);
        int r = ReadId3v1Tag(f, tag);
        plat::FileClose(f);
        return r;
    }
    static int WriteTag(const std::string& path, const Id3v1Tag& tag) {
        plat::File f = plat::FileOpenReadWrite(path.c_str());
        EXPECT_NE(f, nullptr);
        int r = WriteId3v1Tag(f, &tag);
        plat::FileClose(f);
        return r;
    }
    static int WipeTag(const std::string& path) {
        plat::File f = plat::FileOpenReadWrite(path.c_str());
        EXPECT_NE(f, nullptr);
        int r = WipeId3v1Tag(f);
        plat::FileClose(f);
        return r;
    }
    // A tag written through a handle without write access: refused, and the
    // file keeps its content.
    void ExpectReadOnlyWriteRefused(const Bytes& content) {
        auto path = Make(content);
        plat::File f = plat::FileOpenRead(path.c_str());
        ASSERT_NE(f, nullptr);
        Id3v1Tag t = Record("New", "a", "b", "2", "c", 1);
        EXPECT_EQ(WriteId3v1Tag(f, &t), 0);
        plat::FileClose(f);
        EXPECT_EQ(testutil::ReadBytes(path), content);
    }
    // Every message box shown so far: owned by the main window, OK only.
    void ExpectShown(const std::vector<std::string>& texts) {
        ASSERT_EQ(g_shown.size(), texts.size());
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(g_shown[i].text, texts[i]);
            EXPECT_EQ(g_shown[i].caption, "Error...");
            EXPECT_EQ(g_shown[i].flags, plat::MbOk);
            EXPECT_EQ(g_shown[i].owner, &mainWindow_);
        }
    }

    testutil::TempDir dir_;

private:
    int mainWindow_ = 0;
    void* savedMainWindow_ = nullptr;
};

using Id3v1Read = Id3v1Fixture;
using Id3v1Write = Id3v1Fixture;
using Id3v1Wipe = Id3v1Fixture;

// ---------------------------------------------------------------- reading

TEST_F(Id3v1Read, FieldsAreTrimmedOfTrailingSpacesOnly) {
    auto path = Make(Concat(Audio(1000), TagBlock("Song", "Two  Words ", "  Lead", "98", "c", 17)));
    Id3v1Tag t;
    std::memset(&t, 'x', sizeof t);
    ASSERT_EQ(ReadTag(path, &t), 1);
    EXPECT_EQ(t.valid, 1);
    EXPECT_STREQ(t.title, "Song");
    EXPECT_STREQ(t.artist, "Two  Words");
    EXPECT_STREQ(t.album, "  Lead");
    EXPECT_STREQ(t.year, "98");  // "98  "
    EXPECT_STREQ(t.comment, "c");
    EXPECT_EQ(t.genre, 17);
    EXPECT_STREQ(t.genreName, "Rock");
    ExpectShown({});
}

TEST_F(Id3v1Read, FullWidthFieldsKeepEveryCharacter) {
    auto path = Make(Concat(Audio(300), TagBlock(k30, k30, k30, "2001", k30, 0)));
    Id3v1Tag t;
    std::memset(&t, 'x', sizeof t);  // no terminator unless the reader writes one
    ASSERT_EQ(ReadTag(path, &t), 1);
    EXPECT_EQ(std::string(t.title), k30);
    EXPECT_EQ(std::string(t.artist), k30);
    EXPECT_EQ(std::string(t.album), k30);
    EXPECT_EQ(std::string(t.comment), k30);
    EXPECT_STREQ(t.year, "2001");
    EXPECT_STREQ(t.genreName, "Blues");
}

TEST_F(Id3v1Read, ZeroPaddingAndEmbeddedZeros) {
    Bytes tag = TagBlock("Zero", "", "", "1990", "", 1, 0);
    PutField(tag, 33, 30, std::string("Spaces then zeros   ") + std::string(10, '\0'), 0);
    PutField(tag, 63, 30, std::string("ab\0cd", 5), ' ');  // a reader stops at the zero
    auto path = Make(Concat(Audio(200), tag));
    Id3v1Tag t{};
    ASSERT_EQ(ReadTag(path, &t), 1);
    EXPECT_STREQ(t.title, "Zero");
    EXPECT_STREQ(t.artist, "Spaces then zeros");
    EXPECT_STREQ(t.album, "ab");
    EXPECT_STREQ(t.year, "1990");
    EXPECT_STREQ(t.comment, "");
    EXPECT_STREQ(t.genreName, "Classic Rock");
}

TEST_F(Id3v1Read, GenreBytesBeyondTheTableReadAsUnknown) {
    const struct { uint8_t byte; int genre; const char* name; } cases[] = {
        {0, 0, "Blues"}, {14, 14, "R&B"}, {43, 43, "Punk"},
        {44, 44, "Unknown"}, {80, 44, "Unknown"}, {255, 44, "Unknown"},
    };
    for (const auto& c : cases) {
        auto path = Make(Concat(Audio(10), TagBlock("t", "a", "b", "1", "c", c.byte)));
        Id3v1Tag t{};
        ASSERT_EQ(ReadTag(path, &t), 1) << int(c.byte);
        EXPECT_EQ(t.genre, c.genre) << int(c.byte);
        EXPECT_STREQ(t.genreName, c.name) << int(c.byte);
    }
    for (const char* name : kGenreTable) EXPECT_LT(std::strlen(name), sizeof(Id3v1Tag::genreName));
}

TEST_F(Id3v1Read, NoTagLeavesTheRecordAlone) {
    Bytes notATag = TagBlock("t", "a", "b", "1", "c", 0);
    notATag[2] = 'X';
    const Bytes files[] = {
        Audio(5000),                        // plain audio
        Concat(Audio(100), notATag),        // almost a tag
        {},                                 // empty
        Bytes{'T', 'A', 'G'},               // shorter than a tag
        Concat(Bytes{'T', 'A', 'G'}, Audio(124)),
    };
    for (const auto& content : files) {
        auto path = Make(content);
        Id3v1Tag t = Record("Old", "Kept", "As", "1999", "is", 5);
        t.valid = 1;
        EXPECT_EQ(ReadTag(path, &t), 0) << content.size();
        EXPECT_EQ(t.valid, 0);
        EXPECT_STREQ(t.title, "Old");
        EXPECT_STREQ(t.year, "1999");
        EXPECT_EQ(t.genre, 5);
    }
    ExpectShown({});
}

TEST_F(Id3v1Read, LeavesThePositionAtTheEnd) {
    const Bytes files[] = {
        Concat(Audio(700), TagBlock("t", "a", "b", "1", "c", 0)),
        TagBlock("only", "a", "tag", "", "", 9),
        Audio(700),
        Audio(50),
    };
    for (const auto& content : files) {
        auto path = Make(content);
        plat::File f = plat::FileOpenRead(path.c_str());
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(plat::FileSeek(f, 17, plat::SeekBegin), 17);
        Id3v1Tag t{};
        ReadId3v1Tag(f, &t);
        EXPECT_EQ(plat::FileTell(f), static_cast<int64_t>(content.size()));
        plat::FileClose(f);
    }
}

// ---------------------------------------------------------------- writing

TEST_F(Id3v1Write, AddsATagToAnUntaggedFile) {
    Bytes audio = Audio(4000);
    auto path = Make(audio);
    ASSERT_EQ(WriteTag(path, Record("Song", k30.c_str(), "", "98", "Comment", 17)), 1);
    Bytes after = testutil::ReadBytes(path);
    EXPECT_EQ(after, Concat(audio, TagBlock("Song", k30, "", "98", "Comment", 17, ' ')));

    Id3v1Tag t{};
    ASSERT_EQ(ReadTag(path, &t), 1);
    EXPECT_STREQ(t.title, "Song");
    EXPECT_EQ(std::string(t.artist), k30);
    EXPECT_STREQ(t.album, "");
    EXPECT_STREQ(t.year, "98");
    EXPECT_STREQ(t.genreName, "Rock");
    ExpectShown({});
}

TEST_F(Id3v1Write, ReplacesAnExistingTag) {
    Bytes audio = Audio(3000);
    auto path = Make(Concat(audio, TagBlock("Old title", "Old artist", "Old album", "1970", "old", 3)));
    ASSERT_EQ(WriteTag(path, Record("New", "Artist", "Album", "2024", "new", 8)), 1);
    ASSERT_EQ(WriteTag(path, Record("Newer", "Artist", "Album", "2025", "", 9)), 1);
    EXPECT_EQ(testutil::ReadBytes(path), Concat(audio, TagBlock("Newer", "Artist", "Album", "2025", "", 9)));
    ExpectShown({});
}

TEST_F(Id3v1Write, UnknownAndStrayGenresAreStoredAsZero) {
    auto path = Make(Concat(Audio(500), TagBlock("t", "a", "b", "1", "c", 255)));
    Id3v1Tag t{};
    ASSERT_EQ(ReadTag(path, &t), 1);
    ASSERT_EQ(t.genre, 44);
    ASSERT_EQ(WriteTag(path, t), 1);
    EXPECT_EQ(testutil::ReadBytes(path).back(), 0);

    for (int genre : {-1, 45, 1000}) {
        t.genre = genre;
        ASSERT_EQ(WriteTag(path, t), 1);
        EXPECT_EQ(testutil::ReadBytes(path).back(), 0) << genre;
    }
    t.genre = 43;
    ASSERT_EQ(WriteTag(path, t), 1);
    EXPECT_EQ(testutil::ReadBytes(path).back(), 43);
}

TEST_F(Id3v1Write, UnterminatedRecordTextsAreCutToTheirFields) {
    auto path = Make(Audio(256));
    Id3v1Tag t;
    std::memset(&t, 'x', sizeof t);
    t.genre = 2;
    ASSERT_EQ(WriteTag(path, t), 1);
    std::string x30(30, 'x');
    EXPECT_EQ(testutil::ReadBytes(path), Concat(Audio(256), TagBlock(x30, x30, x30, "xxxx", x30, 2)));
}

TEST_F(Id3v1Write, TextsAreLatin1InTheTagAndUtf8InTheRecord) {
    // "Café Señor": Latin-1 bytes in the file, UTF-8 in the record, and back.
    const std::string latin1 = "Caf\xE9 Se\xF1or", utf8 = "Caf\xC3\xA9 Se\xC3\xB1or";
    const std::string full(30, '\xE9');  // 30 Latin-1 characters take 60 bytes as UTF-8
    auto path = Make(Concat(Audio(256), TagBlock(latin1, full, "", "", "", 3)));
    Id3v1Tag t{};
    ASSERT_EQ(ReadTag(path, &t), 1);
    EXPECT_EQ(std::string(t.title), utf8);
    EXPECT_EQ(Utf8Length(t.artist, std::strlen(t.artist)), 30u);
    ASSERT_EQ(WriteTag(path, t), 1);
    EXPECT_EQ(testutil::ReadBytes(path), Concat(Audio(256), TagBlock(latin1, full, "", "", "", 3)));

    // What Latin-1 lacks is written as '?'.
    SetText(t.title, "\xD0\x9F\xD1\x96\xD1\x81\xD0\xBD\xD1\x8F \xE6\x9B\xB2");  // "Пісня 曲"
    ASSERT_EQ(WriteTag(path, t), 1);
    EXPECT_EQ(testutil::ReadBytes(path), Concat(Audio(256), TagBlock("????? ?", full, "", "", "", 3)));
}

TEST(Id3v1Text, StoredAsATagHoldsIt) {
    const struct {
        std::string text;
        int width;
        std::string stored;
        bool lost;
    } cases[] = {
        {"Caf\xC3\xA9", 30, "Caf\xC3\xA9", false},
        {"\xD0\x96ok", 30, "?ok", true},
        {std::string(31, 'a'), 30, std::string(30, 'a'), false},
        {std::string(29, 'a') + "\xC3\xA9\xD0\x96", 30, std::string(29, 'a') + "\xC3\xA9", false},  // Ж cut off first
        {"2024", 4, "2024", false},
    };
    for (const auto& c : cases) {
        char field[kId3v1TextSize];
        std::memset(field, 'x', sizeof field);
        EXPECT_EQ(Id3v1StoreText(field, sizeof field, c.text.c_str(), c.width), c.lost) << c.text;
        EXPECT_EQ(std::string(field), c.stored) << c.text;
    }
}

TEST_F(Id3v1Write, ShortFileReportsOnceAndAppends) {
    for (size_t size : {size_t{0}, size_t{3}, size_t{127}}) {
        g_shown.clear();
        Bytes content = size >= 3 ? Concat(Bytes{'T', 'A', 'G'}, Audio(size - 3)) : Audio(size);
        auto path = Make(content);
        EXPECT_EQ(WriteTag(path, Record("t", "a", "b", "1", "c", 4)), 1) << size;
        EXPECT_EQ(testutil::ReadBytes(path), Concat(content, TagBlock("t", "a", "b", "1", "c", 4))) << size;
        ExpectShown({kSeekError});
    }
}

TEST_F(Id3v1Write, ExactlyOneTagLongFileIsReplaced) {
    auto path = Make(TagBlock("only", "a", "tag", "", "", 9));
    ASSERT_EQ(WriteTag(path, Record("t", "a", "b", "1", "c", 4)), 1);
    EXPECT_EQ(testutil::ReadBytes(path), TagBlock("t", "a", "b", "1", "c", 4));
    ExpectShown({});
}

// A handle without write access makes the write fail: the old tag stays.
TEST_F(Id3v1Write, FailedWriteOverATagKeepsTheOldTag) {
    ExpectReadOnlyWriteRefused(Concat(Audio(900), TagBlock("Old", "a", "b", "1", "c", 0)));
    ExpectShown({kWriteError});
}

TEST_F(Id3v1Write, FailedWriteKeepsTheFileAsItWas) { ExpectReadOnlyWriteRefused(Audio(900)); }

TEST_F(Id3v1Write, ReadOnlyFileIsNotOpenedForWriting) {
    Bytes content = Concat(Audio(900), TagBlock("Old", "a", "b", "1", "c", 0));
    auto path = Make(content);
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    plat::File f = plat::FileOpenReadWrite(path.c_str());
    if (f) plat::FileClose(f);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    if (f) GTEST_SKIP() << "this user may write read-only files";

    Id3v1Tag t = Record("New", "a", "b", "2", "c", 1);
    EXPECT_EQ(WriteId3v1Tag(f, &t), 0);
    EXPECT_EQ(WipeId3v1Tag(f), 0);
    EXPECT_EQ(testutil::ReadBytes(path), content);
    ExpectShown({});
}

// ---------------------------------------------------------------- wiping

TEST_F(Id3v1Wipe, RemovesTheTag) {
    Bytes audio = Audio(2000);
    auto path = Make(Concat(audio, TagBlock("t", "a", "b", "1", "c", 0)));
    EXPECT_EQ(WipeTag(path), 1);
    EXPECT_EQ(testutil::ReadBytes(path), audio);
    EXPECT_EQ(WipeTag(path), 1);  // nothing left to remove
    EXPECT_EQ(testutil::ReadBytes(path), audio);

    path = Make(TagBlock("only", "a", "tag", "", "", 9));
    EXPECT_EQ(WipeTag(path), 1);
    EXPECT_TRUE(testutil::ReadBytes(path).empty());
    ExpectShown({});
}

TEST_F(Id3v1Wipe, UntaggedFileIsUnchanged) {
    Bytes notATag = TagBlock("t", "a", "b", "1", "c", 0);
    notATag[0] = 't';
    for (const Bytes& content : {Audio(2000), Concat(Audio(10), notATag)}) {
        auto path = Make(content);
        EXPECT_EQ(WipeTag(path), 1);
        EXPECT_EQ(testutil::ReadBytes(path), content);
    }
    ExpectShown({});
}

TEST_F(Id3v1Wipe, ShortFileReportsAndIsUnchanged) {
    Bytes content = Concat(Bytes{'T', 'A', 'G'}, Audio(60));
    auto path = Make(content);
    EXPECT_EQ(WipeTag(path), 1);
    EXPECT_EQ(testutil::ReadBytes(path), content);
    ExpectShown({kSeekError});
}

TEST_F(Id3v1Wipe, FailedTruncationIsReported) {
    Bytes content = Concat(Audio(900), TagBlock("t", "a", "b", "1", "c", 0));
    auto path = Make(content);
    plat::File f = plat::FileOpenRead(path.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(WipeId3v1Tag(f), 0);
    plat::FileClose(f);
    EXPECT_EQ(testutil::ReadBytes(path), content);
    ExpectShown({kTruncateError});
}

// ------------------------------------------------------- injected failures

// File operations that fail on demand and otherwise do the real thing.
struct Faults {
    int failSeekCall = -1;  // the seek call (counted from 0) that fails
    int seekCalls = 0;
    bool failRead = false;
    int writeLimit = -1;  // bytes a write gets through before the disk is full
    bool failTruncate = false;
};
Faults g_faults;

int64_t FaultySeek(plat::File f, int64_t offset, plat::SeekOrigin origin) {
    if (g_faults.seekCalls++ == g_faults.failSeekCall) return -1;
    return plat::FileSeek(f, offset, origin);
}
int FaultyRead(plat::File f, void* dst, uint32_t n) { return g_faults.failRead ? -1 : plat::FileRead(f, dst, n); }
int FaultyWrite(plat::File f, const void* src, uint32_t n) {
    if (g_faults.writeLimit >= 0 && n > static_cast<uint32_t>(g_faults.writeLimit))
        n = static_cast<uint32_t>(g_faults.writeLimit);
    return plat::FileWrite(f, src, n);
}
bool FaultyTruncate(plat::File f) { return !g_faults.failTruncate && plat::FileTruncate(f); }

class Id3v1Faults : public Id3v1Fixture {
protected:
    void SetUp() override {
        Id3v1Fixture::SetUp();
        g_faults = Faults{};
        static const Id3v1FileOps ops = {FaultySeek, FaultyRead, FaultyWrite, FaultyTruncate};
        SetId3v1FileOps(&ops);
    }
    void TearDown() override {
        SetId3v1FileOps(nullptr);
        Id3v1Fixture::TearDown();
    }
    const Bytes tagged_ = Concat(Audio(900), TagBlock("Old", "a", "b", "1", "c", 0));
    const Bytes untagged_ = Audio(900);
    const Id3v1Tag new_ = Record("New", "a", "b", "2", "c", 1);
};

// The old tag is overwritten in place: nothing is cut off first.
TEST_F(Id3v1Faults, ATagIsReplacedWithoutTruncation) {
    auto path = Make(tagged_);
    g_faults.failTruncate = true;
    EXPECT_EQ(WriteTag(path, new_), 1);
    EXPECT_EQ(testutil::ReadBytes(path), Concat(Audio(900), TagBlock("New", "a", "b", "2", "c", 1)));
    ExpectShown({});
}

TEST_F(Id3v1Faults, FailedSeekBackToTheOldTagStopsTheWrite) {
    auto path = Make(tagged_);
    g_faults.failSeekCall = 1;  // the seek back to the old tag
    EXPECT_EQ(WriteTag(path, new_), 0);
    EXPECT_EQ(testutil::ReadBytes(path), tagged_);
    ExpectShown({kSeekError});

    g_shown.clear();
    g_faults = Faults{};
    g_faults.failSeekCall = 1;
    EXPECT_EQ(WipeTag(path), 0);
    EXPECT_EQ(testutil::ReadBytes(path), tagged_);
    ExpectShown({kSeekError});
}

TEST_F(Id3v1Faults, FailedSeekToTheEndStopsTheWrite) {
    auto path = Make(untagged_);
    g_faults.failSeekCall = 1;  // the seek to the end, after finding no tag
    EXPECT_EQ(WriteTag(path, new_), 0);
    EXPECT_EQ(testutil::ReadBytes(path), untagged_);
    ExpectShown({kSeekError});
}

// Unless the old tag's place could be read, nothing is known about it.
TEST_F(Id3v1Faults, UnreadableEndChangesNothing) {
    auto path = Make(tagged_);
    g_faults.failRead = true;
    EXPECT_EQ(WriteTag(path, new_), 0);
    EXPECT_EQ(WipeTag(path), 0);
    EXPECT_EQ(testutil::ReadBytes(path), tagged_);
    ExpectShown({kReadError, kReadError});

    plat::File f = plat::FileOpenRead(path.c_str());
    ASSERT_NE(f, nullptr);
    Id3v1Tag t = Record("Old", "", "", "", "", 0);
    EXPECT_EQ(ReadId3v1Tag(f, &t), 0);
    EXPECT_EQ(t.valid, 0);
    EXPECT_EQ(plat::FileTell(f), static_cast<int64_t>(tagged_.size()));
    plat::FileClose(f);
}

// A write that stops part way is taken back: the old tag, or the end of an
// untagged file, is as it was, and the failure is reported.
TEST_F(Id3v1Faults, PartialWriteIsTakenBack) {
    for (const Bytes& content : {untagged_, tagged_}) {
        for (int limit : {0, 1, 60, 127}) {
            auto path = Make(content);
            g_shown.clear();
            g_faults = Faults{};
            g_faults.writeLimit = limit;
            EXPECT_EQ(WriteTag(path, new_), 0) << limit;
            EXPECT_EQ(testutil::ReadBytes(path), content) << limit;
            ExpectShown({kWriteError});
        }
    }
}

}  // namespace
