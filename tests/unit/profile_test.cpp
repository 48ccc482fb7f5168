// The private-profile functions. The same suite runs natively (our INI code)
// and as the Windows exe under Wine (the real kernel32 functions); the byte
// strings expected here are what the real functions write, so both sides
// must produce them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "platform/platform.h"
#include "test_util.h"

namespace {

void PutText(const std::string& path, const std::string& text) {
    testutil::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string Get(const char* section, const char* key, const std::string& file, const char* def = "<def>",
                size_t size = 256) {
    char buf[512];
    size_t n = plat::ProfileGetString(section, key, def, buf, size, file.c_str());
    EXPECT_EQ(n, std::string(buf).size()) << section << "/" << key;
    return buf;
}

bool Put(const char* section, const char* key, const char* value, const std::string& file) {
    return plat::ProfileWriteString(section, key, value, file.c_str());
}

TEST(Profile, NewFileAndNewSectionsLayout) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    ASSERT_TRUE(Put("vor", "A", "1", f));
    EXPECT_EQ(testutil::ReadText(f), "[vor]\r\nA=1\r\n");
    ASSERT_TRUE(Put("vor", "B", "2", f));
    ASSERT_TRUE(Put("other", "C", "3", f));
    EXPECT_EQ(testutil::ReadText(f), "[vor]\r\nA=1\r\nB=2\r\n[other]\r\nC=3\r\n");
    // A new key goes to the end of its own section, not of the file.
    ASSERT_TRUE(Put("vor", "D", "4", f));
    EXPECT_EQ(testutil::ReadText(f), "[vor]\r\nA=1\r\nB=2\r\nD=4\r\n[other]\r\nC=3\r\n");
    // Names match without regard to case; the stored spelling stays.
    ASSERT_TRUE(Put("vor", "a", "X", f));
    ASSERT_TRUE(Put("VOR", "b", "", f));
    EXPECT_EQ(testutil::ReadText(f), "[vor]\r\nA=X\r\nB=\r\nD=4\r\n[other]\r\nC=3\r\n");
    EXPECT_EQ(Get("Vor", "d", f), "4");
    EXPECT_EQ(Get("OTHER", "c", f), "3");
    EXPECT_EQ(Get("vor", "b", f), "");  // present but empty: not the default
    EXPECT_EQ(Get("vor", "C", f), "<def>");
    EXPECT_EQ(Get("none", "A", f), "<def>");
}

TEST(Profile, Utf8TextAndItsByteOrderMark) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    const std::string cyrillic = "\xD0\x9F\xD1\x96\xD1\x81\xD0\xBD\xD1\x8F";
    PutText(f, "\xEF\xBB\xBF[vor]\r\nA=" + cyrillic + "\r\n");
    EXPECT_EQ(Get("vor", "A", f), cyrillic);
    ASSERT_TRUE(Put("vor", "B", "\xE6\x9B\xB2", f));
    EXPECT_EQ(testutil::ReadText(f), "\xEF\xBB\xBF[vor]\r\nA=" + cyrillic + "\r\nB=\xE6\x9B\xB2\r\n");
}

TEST(Profile, ReadTrimsBlanksAndOnePairOfQuotes) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    PutText(f,
            "; comment\r\n\r\n[ Vor ]\r\n  Key1  =  \"hello\"  \r\nnoequals\r\n\r\nK2=  x  \r\n"
            "K3=\"q\r\nK4=\"\"\r\nK5=\"a\"b\"\r\n K6 = \r\nK7='abc'\r\nmy key = v v \r\nK8=a=b\r\n"
            "K9=\"  q  \"\r\n[other]\r\nz=1");
    EXPECT_EQ(Get("vor", "key1", f), "hello");
    EXPECT_EQ(Get("VOR", "K2", f), "x");
    EXPECT_EQ(Get("vor", "k3", f), "\"q");  // an unmatched quote stays
    EXPECT_EQ(Get("vor", "k4", f), "");
    EXPECT_EQ(Get("vor", "k5", f), "a\"b");
    EXPECT_EQ(Get("vor", "k6", f), "");
    EXPECT_EQ(Get("vor", "k7", f), "abc");
    EXPECT_EQ(Get("vor", "MY KEY", f), "v v");
    EXPECT_EQ(Get("vor", "k8", f), "a=b");
    EXPECT_EQ(Get("vor", "k9", f), "  q  ");
    EXPECT_EQ(Get("vor", "noequals", f), "<def>");  // a line without '=' has no value
    EXPECT_EQ(Get("other", "z", f), "1");           // last line without CR LF
    // Queries are trimmed too.
    EXPECT_EQ(Get("  vor ", " key1  ", f), "hello");
}

TEST(Profile, WriteRewritesTheFileInCanonicalForm) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    PutText(f,
            "; comment\r\n\r\n[ Vor ]\r\n  Key1  =  \"hello\"  \r\nnoequals\r\n\r\nK2=  x  \r\n"
            "K3=\"q\r\n K6 = \r\n[other] junk\r\nz=1");
    ASSERT_TRUE(Put("vor", "K2", "new", f));
    EXPECT_EQ(testutil::ReadText(f),
              "; comment\r\n[Vor]\r\nKey1=\"hello\"\r\nnoequals\r\nK2=new\r\nK3=\"q\r\nK6=\r\n"
              "[other]\r\nz=1\r\n");
    // A key line without a value gets one.
    ASSERT_TRUE(Put("vor", "NOEQUALS", "v", f));
    EXPECT_EQ(Get("vor", "noequals", f), "v");
    EXPECT_NE(testutil::ReadText(f).find("\r\nnoequals=v\r\n"), std::string::npos);
}

TEST(Profile, WriteOfTheSameValueLeavesTheFileAlone) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    PutText(f, "[a]\r\n\r\nb = 1");
    ASSERT_TRUE(Put("A", "B", "1", f));
    ASSERT_TRUE(Put("a", "b", "  1", f));  // leading blanks of a value are dropped
    EXPECT_EQ(testutil::ReadText(f), "[a]\r\n\r\nb = 1");
    ASSERT_TRUE(Put("a", "b", "2", f));
    EXPECT_EQ(testutil::ReadText(f), "[a]\r\nb=2\r\n");
    ASSERT_TRUE(Put("a", "c", "  lead", f));
    EXPECT_EQ(testutil::ReadText(f), "[a]\r\nb=2\r\nc=lead\r\n");
    ASSERT_TRUE(Put("a", "c", "LEAD", f));  // values compare with case
    EXPECT_EQ(testutil::ReadText(f), "[a]\r\nb=2\r\nc=LEAD\r\n");
}

TEST(Profile, OnlyTheFirstSectionAndKeyOfANameCount) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    PutText(f, "[a]\r\nk=1\r\nk=2\r\n[b]\r\n[A]\r\nm=3\r\n[c]\r\n");
    EXPECT_EQ(Get("a", "k", f), "1");
    EXPECT_EQ(Get("a", "m", f), "<def>");
    ASSERT_TRUE(Put("a", "k", "9", f));
    ASSERT_TRUE(Put("a", "m", "4", f));
    ASSERT_TRUE(Put("b", "q", "5", f));
    EXPECT_EQ(testutil::ReadText(f), "[a]\r\nk=9\r\nk=2\r\nm=4\r\n[b]\r\nq=5\r\n[A]\r\nm=3\r\n[c]\r\n");
}

TEST(Profile, LinesBeforeHeadersLineBreaksAndOddHeaders) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    // LF and lone CR break lines too; blank lines and ^Z vanish; "[y" is no
    // header but a key without a value; "[]" is a header without a name.
    PutText(f, "top=1\rnext=2\n\n[x] junk\nm=1\n[y\nn=2\n \t\n[]\nh=3\r\n\x1a");
    EXPECT_EQ(Get("", "top", f), "1");
    EXPECT_EQ(Get("", "next", f), "2");
    EXPECT_EQ(Get("x", "m", f), "1");
    EXPECT_EQ(Get("x", "n", f), "2");
    EXPECT_EQ(Get("y", "n", f), "<def>");
    EXPECT_EQ(Get("", "h", f), "<def>");  // the unnamed section comes first
    ASSERT_TRUE(Put("x", "m", "5", f));
    EXPECT_EQ(testutil::ReadText(f), "top=1\r\nnext=2\r\n[x]\r\nm=5\r\n[y\r\nn=2\r\nh=3\r\n");
    // The unnamed section takes new keys at its end, before the first header.
    ASSERT_TRUE(Put("  ", "new", "6", f));
    EXPECT_EQ(testutil::ReadText(f), "top=1\r\nnext=2\r\nnew=6\r\n[x]\r\nm=5\r\n[y\r\nn=2\r\nh=3\r\n");
}

TEST(Profile, NamesOfNewSectionsAndKeysKeepTrailingBlanksUntilReadAgain) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    ASSERT_TRUE(Put("  sp sec  ", "  sp key  ", "v", f));
    EXPECT_EQ(testutil::ReadText(f), "[sp sec  ]\r\nsp key  =v\r\n");
    EXPECT_EQ(Get(" SP SEC", "sp key", f), "v");
    ASSERT_TRUE(Put("sp sec", "SP KEY", "w", f));
    EXPECT_EQ(testutil::ReadText(f), "[sp sec]\r\nsp key=w\r\n");
}

TEST(Profile, MissingFileGivesDefaultsAndWritesInAMissingDirectoryFail) {
    testutil::TempDir dir;
    std::string f = dir.File("none.ini");
    EXPECT_EQ(Get("s", "k", f, "dflt"), "dflt");
    EXPECT_EQ(plat::ProfileGetInt("s", "k", -7, f.c_str()), static_cast<unsigned>(-7));
    EXPECT_FALSE(plat::FileExists(f.c_str()));
    std::string g = dir.File("nodir/x.ini");
    EXPECT_FALSE(Put("s", "k", "v", g));
    EXPECT_FALSE(plat::FileExists(g.c_str()));
}

TEST(Profile, ValuesAndDefaultsAreCutToTheBuffer) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    PutText(f, "[s]\r\na=abcdef\r\nb=\"abcdef\"\r\n");
    EXPECT_EQ(Get("s", "a", f, "d", 4), "abc");
    EXPECT_EQ(Get("s", "a", f, "d", 1), "");
    EXPECT_EQ(Get("s", "a", f, "d", 6), "abcde");
    EXPECT_EQ(Get("s", "a", f, "d", 7), "abcdef");
    EXPECT_EQ(Get("s", "b", f, "d", 4), "abc");
    EXPECT_EQ(Get("s", "b", f, "d", 6), "abcde");
    EXPECT_EQ(Get("s", "b", f, "d", 8), "abcdef");
#ifndef _WIN32
    // Seven bytes hold the six quoted characters. (Wine's function keeps
    // only five at exactly this size; ours does not copy that.)
    EXPECT_EQ(Get("s", "b", f, "d", 7), "abcdef");
    EXPECT_EQ(Get("s", "zz", f, "\"abcd\"", 5), "abcd");
#endif
    EXPECT_EQ(Get("s", "zz", f, "abcdef", 4), "abc");
    // Size 0 leaves the buffer alone.
    char buf[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(plat::ProfileGetString("s", "a", "d", buf, 0, f.c_str()), 0u);
    EXPECT_EQ(buf[0], '#');
    // Defaults lose their trailing spaces and one pair of quotes.
    EXPECT_EQ(Get("s", "zz", f, "  dflt  "), "  dflt");
    EXPECT_EQ(Get("s", "zz", f, " "), " ");
    EXPECT_EQ(Get("s", "zz", f, "\"dq\""), "dq");
    EXPECT_EQ(Get("s", "zz", f, nullptr), "");
}

TEST(Profile, IntParsing) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    PutText(f,
            "[s]\r\na=  12abc\r\nb=-5\r\nc=4294967295\r\nd=0x10\r\ne=\r\nf=abc\r\ng=+7\r\n"
            "h=99999999999\r\ni= - 5\r\nj=\"42\"\r\nk=-2147483648\r\nl=2147483648\r\nn\r\n"
            "o=  \r\np=\" 9\"\r\nq=--3\r\nr=4294967296\r\nu=0010\r\nv=12 34\r\nw=0b101\r\n"
            "x=0o17\r\ny=0X1f\r\nz=-0x10\r\n"
            "cut29=00000000000000000000000000007\r\ncut30=000000000000000000000000000007\r\n");
    struct Case {
        const char* key;
        unsigned want;
    } cases[] = {
        {"a", 12},          {"b", 0xFFFFFFFBu}, {"c", 0xFFFFFFFFu}, {"d", 16},
        {"e", 77},          {"f", 0},           {"g", 7},           {"h", 1215752191u},
        {"i", 0},           {"j", 42},          {"k", 0x80000000u}, {"l", 0x80000000u},
        {"n", 77},          {"o", 77},          {"p", 9},           {"q", 0},
        {"r", 0},           {"u", 10},          {"v", 12},          {"w", 5},
        {"x", 15},          {"y", 0},           {"z", 0xFFFFFFF0u}, {"cut29", 7},
        {"cut30", 0},       {"missing", 77},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plat::ProfileGetInt("S", c.key, 77, f.c_str()), c.want) << c.key;
    EXPECT_EQ(static_cast<int>(plat::ProfileGetInt("s", "c", 0, f.c_str())), -1);
}

TEST(Profile, WritesLeaveNoOtherFilesBehind) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    for (int i = 0; i < 5; ++i) {
        std::string key = "k" + std::to_string(i);
        ASSERT_TRUE(Put("s", key.c_str(), "v", f));
    }
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_EQ(entry.path().filename().string(), "t.ini");
        ++count;
    }
    EXPECT_EQ(count, 1);
}

#ifndef _WIN32
// Our side replaces the file through a temporary file and a rename; a write
// that fails half-way must leave the previous file whole.
TEST(Profile, FailedWriteKeepsThePreviousFile) {
    testutil::TempDir dir;
    std::string f = dir.File("t.ini");
    std::string before = "[s]\r\nk=" + std::string(2000, 'v') + "\r\n";
    PutText(f, before);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 1024;  // no file of ours may grow past 1 KiB now
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = Put("s", "other", "x", f);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(testutil::ReadText(f), before);
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_EQ(entry.path().filename().string(), "t.ini");
        ++count;
    }
    EXPECT_EQ(count, 1);
}

TEST(Profile, WriteThroughASymbolicLinkReplacesItsTarget) {
    testutil::TempDir dir;
    std::string target = dir.File("real.ini");
    std::string link = dir.File("link.ini");
    PutText(target, "[s]\r\nk=1\r\n");
    std::filesystem::create_symlink(target, link);
    ASSERT_TRUE(Put("s", "k", "2", link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(testutil::ReadText(target), "[s]\r\nk=2\r\n");
}
#endif

}  // namespace
