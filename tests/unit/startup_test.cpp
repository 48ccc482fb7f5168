// Start-up: command-line splitting, the hand-over records between two
// instances, opening the arguments, the "VORLOCurrentFile" section, and (on
// Win32) sending the records and the message loop.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "playlist/playlist_files.h"
#include "playlist_test_util.h"
#include "shell/shared_section.h"
#include "shell/startup.h"
#include "test_util.h"

#ifdef _WIN32
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include "shell/main_window.h"
#include "settings/settings.h"
#include "shell/startup_win.h"
#endif

namespace {

// 256 KB: kept off the stack.
std::unique_ptr<ArgumentList> Split(const char* line) {
    auto list = std::make_unique<ArgumentList>();
    SplitCommandLine(line, list.get());
    return list;
}

std::vector<std::string> Args(const char* line) {
    auto list = Split(line);
    std::vector<std::string> v;
    for (int i = 0; i < list->count; ++i) v.push_back(list->args[i]);
    return v;
}

using V = std::vector<std::string>;

TEST(SplitCommandLine, UsualQuoting) {
    // What the shell passes for a registered file type.
    EXPECT_EQ(Args("\"C:\\Program Files\\VORLO\\vorlo.exe\" \"D:\\My Music\\a b.mp3\""),
              (V{"C:\\Program Files\\VORLO\\vorlo.exe", "D:\\My Music\\a b.mp3"}));
    EXPECT_EQ(Args("\"C:\\vor lo\\vorlo.exe\" D:\\a.mp3"), (V{"C:\\vor lo\\vorlo.exe", "D:\\a.mp3"}));
    EXPECT_EQ(Args("vorlo.exe \"a 1.mp3\" \"b 2.mp3\" \"c.pls\""),
              (V{"vorlo.exe", "a 1.mp3", "b 2.mp3", "c.pls"}));
    EXPECT_EQ(Args("vorlo.exe a.mp3 b.mp3 /x c.m3u"),
              (V{"vorlo.exe", "a.mp3", "b.mp3", "/x", "c.m3u"}));
    EXPECT_EQ(Args("vorlo.exe"), (V{"vorlo.exe"}));
}

TEST(SplitCommandLine, QuotesAndSpacesAtTheEdges) {
    // One space separates; a second one starts the next argument.
    EXPECT_EQ(Args("vorlo.exe  a.mp3"), (V{"vorlo.exe", " a.mp3"}));
    EXPECT_EQ(Args("\"vorlo.exe\"  a.mp3"), (V{"vorlo.exe", " a.mp3"}));
    // A closing quote ends the argument even without a space after it.
    EXPECT_EQ(Args("\"vorlo.exe\"a.mp3"), (V{"vorlo.exe", "a.mp3"}));
    // A quote inside an argument ends it and opens quotes for the next.
    EXPECT_EQ(Args("vorlo.exe a\"b c\" d"), (V{"vorlo.exe", "a", "b c", "d"}));
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ(Args("vorlo.exe \"a b c"), (V{"vorlo.exe", "a b c"}));
    // A trailing space starts nothing; an empty pair of quotes is an argument.
    EXPECT_EQ(Args("vorlo.exe "), (V{"vorlo.exe"}));
    EXPECT_EQ(Args("vorlo.exe \"\" b"), (V{"vorlo.exe", "", "b"}));
    EXPECT_EQ(Args(""), V{});
    auto none = Split(nullptr);
    EXPECT_EQ(none->count, 0);
}

TEST(SplitCommandLine, CutsLongArgumentsAndTooManyArguments) {
    std::string longArg(3000, 'x');
    std::string line = "vorlo.exe \"" + longArg + "\" tail";
    V v = Args(line.c_str());
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[1], std::string(kArgumentSize - 1, 'x'));
    EXPECT_EQ(v[2], "tail");

    // Unquoted, the cut argument still ends at its space.
    line = "vorlo.exe " + longArg + " tail";
    v = Args(line.c_str());
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[1].size(), kArgumentSize - 1);
    EXPECT_EQ(v[2], "tail");

    line = "vorlo.exe";
    for (int i = 1; i < 400; ++i) line += " f" + std::to_string(i);
    auto list = Split(line.c_str());
    ASSERT_EQ(list->count, kMaxArguments);
    EXPECT_STREQ(list->args[kMaxArguments - 1], "f255");
}

TEST(SplitCommandLine, AnyBytesStayInBounds) {
    // A pseudo-random line of quotes, spaces and other bytes: each argument
    // stays terminated inside its buffer.
    uint32_t seed = 12345;
    std::string line;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        int r = (seed >> 16) % 16;
        line += r == 0 ? '"' : r < 3 ? ' ' : static_cast<char>(1 + (seed >> 8) % 255);
    }
    auto list = Split(line.c_str());
    EXPECT_GT(list->count, 0);
    EXPECT_LE(list->count, kMaxArguments);
    for (int i = 0; i < list->count; ++i)
        EXPECT_LT(strnlen(list->args[i], kArgumentSize), kArgumentSize);
}

TEST(HandOver, RecordsForASecondStart) {
    HandOverRecord r[kMaxArguments + 1];
    EXPECT_EQ(BuildHandOver(*Split("vorlo.exe"), r, kMaxArguments + 1), 0);
    // Switches and blank names are no files: the running player is left alone.
    EXPECT_EQ(BuildHandOver(*Split("vorlo.exe /play /x \"  \""), r, kMaxArguments + 1), 0);

    auto list = Split("\"vorlo.exe\" \"a 1.mp3\" /x b.pls");
    ASSERT_EQ(BuildHandOver(*list, r, kMaxArguments + 1), 4);
    EXPECT_EQ(r[0].code, kHandOverClear);
    EXPECT_EQ(r[0].size, 0u);
    EXPECT_EQ(r[1].code, kHandOverAdd);
    EXPECT_EQ(r[1].size, 7u);  // no terminator
    EXPECT_EQ(std::string(static_cast<const char*>(r[1].data), r[1].size), "a 1.mp3");
    EXPECT_EQ(r[2].code, kHandOverAdd);
    EXPECT_EQ(std::string(static_cast<const char*>(r[2].data), r[2].size), "b.pls");
    EXPECT_EQ(r[3].code, kHandOverPlayFirst);

    // A full list of 255 files fits, with clear and play first around it.
    std::string line = "vorlo.exe";
    for (int i = 1; i < 300; ++i) line += " f" + std::to_string(i);
    EXPECT_EQ(BuildHandOver(*Split(line.c_str()), r, kMaxArguments + 1), kMaxArguments + 1);
    EXPECT_EQ(r[kMaxArguments].code, kHandOverPlayFirst);
    // A short record array still ends with play first.
    EXPECT_EQ(BuildHandOver(*Split(line.c_str()), r, 5), 5);
    EXPECT_EQ(r[4].code, kHandOverPlayFirst);
    EXPECT_EQ(BuildHandOver(*Split(line.c_str()), r, 1), 0);
}

TEST(HandOver, ParsesEveryCode) {
    HandOverRequest q;
    EXPECT_TRUE(ParseHandOver(kHandOverClear, 0, nullptr, &q));
    EXPECT_EQ(q.code, 0u);
    EXPECT_TRUE(ParseHandOver(kHandOverPlayFirst, 0, nullptr, &q));
    EXPECT_EQ(q.code, 4u);

    const char name[] = "D:\\music\\a.mp3";
    ASSERT_TRUE(ParseHandOver(kHandOverAdd, sizeof name - 1, name, &q));
    EXPECT_EQ(q.code, 1u);
    EXPECT_STREQ(q.name, name);
    ASSERT_TRUE(ParseHandOver(kHandOverReplace, 4, name, &q));
    EXPECT_EQ(q.code, 2u);
    EXPECT_STREQ(q.name, "D:\\m");

    ASSERT_TRUE(ParseHandOver(kHandOverPlayIndex, 7, nullptr, &q));
    EXPECT_EQ(q.index, 7);
    EXPECT_STREQ(q.name, "");
    ASSERT_TRUE(ParseHandOver(kHandOverPlayIndex, 0xFFFFFFFFu, nullptr, &q));
    EXPECT_EQ(q.index, -1);

    for (uint32_t code : {5u, 6u, 0x100u, 0xFFFFFFFFu}) {
        q.code = 99;
        EXPECT_FALSE(ParseHandOver(code, sizeof name - 1, name, &q)) << code;
        EXPECT_EQ(q.code, 0u);
        EXPECT_STREQ(q.name, "");
    }
}

TEST(HandOver, NamesAreWholeAndReadNoFurtherThanTheirSize) {
    HandOverRequest q;
    // 2000 bytes without any terminator, in a buffer of exactly that size:
    // whole up to the room of 1023, which no path fits.
    std::unique_ptr<char[]> bytes(new char[2000]);
    std::memset(bytes.get(), 'n', 2000);
    for (uint32_t size : {259u, 260u, 1000u, 1023u, 2000u}) {
        ASSERT_TRUE(ParseHandOver(kHandOverAdd, size, bytes.get(), &q));
        EXPECT_EQ(std::string(q.name), std::string(std::min(size, 1023u), 'n'));
    }

    // A size of 3 reads 3 bytes from a 3-byte buffer.
    std::unique_ptr<char[]> three(new char[3]{'a', 'b', 'c'});
    ASSERT_TRUE(ParseHandOver(kHandOverAdd, 3, three.get(), &q));
    EXPECT_STREQ(q.name, "abc");

    // An embedded terminator ends the name; a null pointer gives no name.
    const char embedded[] = {'a', '\0', 'b'};
    ASSERT_TRUE(ParseHandOver(kHandOverAdd, 3, embedded, &q));
    EXPECT_STREQ(q.name, "a");
    ASSERT_TRUE(ParseHandOver(kHandOverReplace, 500, nullptr, &q));
    EXPECT_STREQ(q.name, "");
    ASSERT_TRUE(ParseHandOver(kHandOverAdd, 0, three.get(), &q));
    EXPECT_STREQ(q.name, "");
}

TEST(HandOver, NamesAreUtf8) {
    HandOverRequest q;
    const struct {
        std::string sent, received;
    } cases[] = {
        {"Z:\\\xD0\x9F\xD1\x96\xD1\x81\xD0\xBD\xD1\x8F.mp3", "Z:\\\xD0\x9F\xD1\x96\xD1\x81\xD0\xBD\xD1\x8F.mp3"},
        // From a sender in the former code page: Windows-1252 here.
        {"Z:\\Caf\xE9.mp3", "Z:\\Caf\xC3\xA9.mp3"},
        {std::string(258, 'n') + "\xE6\x9B\xB2", std::string(258, 'n') + "\xE6\x9B\xB2"},
        // Past the room: cut before a character that does not fit whole.
        {std::string(1021, 'n') + "\xE6\x9B\xB2", std::string(1021, 'n')},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(ParseHandOver(kHandOverAdd, static_cast<uint32_t>(c.sent.size()), c.sent.data(), &q));
        EXPECT_EQ(std::string(q.name), c.received);
    }
}

TEST(HandOver, WhatIsSentIsWhatIsReceived) {
    std::string longName(600, 'L');
    std::string line = "vorlo.exe \"C:\\a b\\c.mp3\" http://h/s.mp3 \"" + longName + "\"";
    auto list = Split(line.c_str());
    HandOverRecord r[kMaxArguments + 1];
    int n = BuildHandOver(*list, r, kMaxArguments + 1);
    ASSERT_EQ(n, 5);
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) {
        HandOverRequest q;
        ASSERT_TRUE(ParseHandOver(r[i].code, r[i].size, r[i].data, &q));
        if (q.code == kHandOverAdd) names.push_back(q.name);
    }
    EXPECT_EQ(names, (V{"C:\\a b\\c.mp3", "http://h/s.mp3", longName}));
}

// The names are relative to a temporary working directory, since on POSIX
// an absolute path begins with '/', which the command line takes for a switch.
class OpenArguments : public pltest::PlaylistFixture {
protected:
    void SetUp() override {
        PlaylistFixture::SetUp();
        saved_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.Path());
    }
    void TearDown() override {
        std::filesystem::current_path(saved_);
        PlaylistFixture::TearDown();
    }
    testutil::TempDir dir_;
    std::filesystem::path saved_;
};

TEST_F(OpenArguments, OpensFilesAndUrlsAndPassesOverSwitches) {
    pltest::MakeSong(dir_.File("a.mp3"), 1);
    pltest::MakeSong(dir_.File("b b.mp2"), 1);
    auto list = Split("\"vorlo.exe\" a.mp3 /min \"b b.mp2\" http://example.invalid/x.mp3");
    EXPECT_EQ(OpenCommandLineArguments(*list), 3);
    EXPECT_EQ(pltest::Paths(), (V{"a.mp3", "b b.mp2", "http://example.invalid/x.mp3"}));
    EXPECT_TRUE(pltest::ShownBoxes().empty());
}

TEST_F(OpenArguments, AMissingFileIsReportedAndTheRestOpened) {
    pltest::MakeSong(dir_.File("a.mp3"), 1);
    OpenCommandLineArguments(*Split("vorlo.exe \"missing one.mp3\" a.mp3"));
    EXPECT_EQ(pltest::Paths(), (V{"a.mp3"}));
    ASSERT_EQ(pltest::ShownBoxes().size(), 1u);
    EXPECT_NE(pltest::ShownBoxes()[0].text.find("missing one.mp3"), std::string::npos);
    EXPECT_EQ(pltest::ShownBoxes()[0].caption, "Error...");
}

// A name longer than a path, from the command line or a second start, is
// refused with its message, never opened cut.
TEST_F(OpenArguments, NamesLongerThanAPathAreRefused) {
    const std::string tooLong = std::string(259, 'a') + "b";
    OpenCommandLineArguments(*Split(("vorlo.exe " + tooLong + " http://h/" + std::string(300, 'u')).c_str()));
    HandOverRequest q;
    ASSERT_TRUE(ParseHandOver(kHandOverAdd, static_cast<uint32_t>(tooLong.size()), tooLong.data(), &q));
    PlaylistOpenItem(ArgumentOpenKind(q.name), q.name);
    EXPECT_EQ(PlaylistCount(), 0);
    ASSERT_EQ(pltest::ShownBoxes().size(), 3u);
    for (const auto& box : pltest::ShownBoxes()) EXPECT_EQ(box.text.rfind("Path Longer Than 259 Bytes", 0), 0u);
}

TEST_F(OpenArguments, ProgramAloneOpensNothing) {
    EXPECT_EQ(OpenCommandLineArguments(*Split("\"C:\\x\\vorlo.exe\"")), 0);
    EXPECT_EQ(OpenCommandLineArguments(*Split("vorlo.exe /a /b")), 0);
    EXPECT_EQ(PlaylistCount(), 0);
    EXPECT_TRUE(pltest::ShownBoxes().empty());
}

TEST(CurrentFileSection, HoldsTheLastPublishedPath) {
    char buf[400];
    CloseCurrentFileSection();
    PublishCurrentFile("ignored while closed");
    ASSERT_TRUE(OpenCurrentFileSection());
    ASSERT_TRUE(OpenCurrentFileSection());  // a second open changes nothing
    ASSERT_TRUE(ReadCurrentFileSection(buf, sizeof buf));
    EXPECT_STREQ(buf, "");  // zero until the first track starts

    PublishCurrentFile("C:\\music\\a long name.mp3");
    ASSERT_TRUE(ReadCurrentFileSection(buf, sizeof buf));
    EXPECT_STREQ(buf, "C:\\music\\a long name.mp3");

    // A shorter path leaves nothing of the longer one behind.
    PublishCurrentFile("C:\\b.mp3");
    ASSERT_TRUE(ReadCurrentFileSection(buf, sizeof buf));
    EXPECT_STREQ(buf, "C:\\b.mp3");

    std::string tooLong(500, 'p');
    PublishCurrentFile(tooLong.c_str());
    ASSERT_TRUE(ReadCurrentFileSection(buf, sizeof buf));
    EXPECT_EQ(std::string(buf), std::string(kCurrentFilePathMax, 'p'));
    char small[10];
    ASSERT_TRUE(ReadCurrentFileSection(small, sizeof small));
    EXPECT_STREQ(small, "ppppppppp");

    PublishCurrentFile(nullptr);
    ASSERT_TRUE(ReadCurrentFileSection(buf, sizeof buf));
    EXPECT_STREQ(buf, "");

    CloseCurrentFileSection();
    EXPECT_FALSE(ReadCurrentFileSection(buf, sizeof buf));
    EXPECT_STREQ(buf, "");
    CloseCurrentFileSection();  // twice is harmless
}

#ifdef _WIN32

// A window of a private class that records the copy-data records it gets.
struct Received {
    uint32_t code;
    std::string bytes;
    uint32_t size;
};
std::vector<Received>& ReceivedRecords() {
    static std::vector<Received> v;
    return v;
}
std::vector<WPARAM>& ReceivedCommands() {
    static std::vector<WPARAM> v;
    return v;
}

LRESULT CALLBACK RecorderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COPYDATA) {
        auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        ReceivedRecords().push_back(
            {static_cast<uint32_t>(cds->dwData),
             cds->lpData ? std::string(static_cast<const char*>(cds->lpData), cds->cbData) : "",
             static_cast<uint32_t>(cds->cbData)});
        return 1;
    }
    if (msg == WM_COMMAND) {
        ReceivedCommands().push_back(wParam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeRecorderWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecorderProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VorloStartupTestRecorder";
        registered = RegisterClassA(&wc) != 0;
    }
    // Message-only: needs no display.
    return CreateWindowExA(0, "VorloStartupTestRecorder", "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

TEST(HandOverWin32, SendsClearAddsAndPlayFirstInOrder) {
    HWND w = MakeRecorderWindow();
    ASSERT_NE(w, nullptr);
    ReceivedRecords().clear();
    EXPECT_EQ(SendHandOver(w, *Split("\"vorlo.exe\" \"a b.mp3\" /q c.m3u")), 4);
    ASSERT_EQ(ReceivedRecords().size(), 4u);
    EXPECT_EQ(ReceivedRecords()[0].code, 0u);
    EXPECT_EQ(ReceivedRecords()[1].code, 1u);
    EXPECT_EQ(ReceivedRecords()[1].bytes, "a b.mp3");
    EXPECT_EQ(ReceivedRecords()[1].size, 7u);
    EXPECT_EQ(ReceivedRecords()[2].bytes, "c.m3u");
    EXPECT_EQ(ReceivedRecords()[3].code, 4u);

    ReceivedRecords().clear();
    EXPECT_EQ(SendHandOver(w, *Split("\"vorlo.exe\"")), 0);
    EXPECT_TRUE(ReceivedRecords().empty());
    DestroyWindow(w);
}

TEST(MessageLoopWin32, TranslatesAcceleratorsAndReturnsTheQuitCode) {
    HWND w = MakeRecorderWindow();
    ASSERT_NE(w, nullptr);
    ACCEL esc = {FVIRTKEY | FNOINVERT, VK_ESCAPE, 40001};
    HACCEL table = CreateAcceleratorTableA(&esc, 1);
    ASSERT_NE(table, nullptr);
    HWND savedMain = g_hMainWindow;
    HACCEL savedAccel = g_hAccelerators;
    g_hMainWindow = w;
    g_hAccelerators = table;
    ReceivedCommands().clear();

    PostMessageA(w, WM_KEYDOWN, VK_ESCAPE, 1);
    PostQuitMessage(7);
    EXPECT_EQ(RunMessageLoop(), 7);
    ASSERT_EQ(ReceivedCommands().size(), 1u);
    EXPECT_EQ(LOWORD(ReceivedCommands()[0]), 40001);
    EXPECT_EQ(HIWORD(ReceivedCommands()[0]), 1);  // from an accelerator

    g_hMainWindow = savedMain;
    g_hAccelerators = savedAccel;
    DestroyAcceleratorTable(table);
    DestroyWindow(w);
}

INT_PTR CALLBACK EmptyPageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A one-page modeless sheet from an in-memory template, as the preferences
// code will make it.
HWND MakeModelessSheet(HWND owner) {
    static WORD tmpl[32];
    std::memset(tmpl, 0, sizeof tmpl);
    auto* dt = reinterpret_cast<DLGTEMPLATE*>(tmpl);
    dt->style = WS_CHILD | DS_CONTROL;
    dt->cx = 100;
    dt->cy = 50;  // no menu, class, title or controls: the zero words after it
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_DLGINDIRECT;
    page.pResource = dt;
    page.pfnDlgProc = EmptyPageProc;
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_MODELESS | PSH_PROPSHEETPAGE;
    header.hwndParent = owner;
    header.pszCaption = "Sheet";
    header.nPages = 1;
    header.ppsp = &page;
    return reinterpret_cast<HWND>(PropertySheetA(&header));
}

TEST(MessageLoopWin32, AClosedPreferencesSheetIsFinished) {
    HWND w = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 20, 20, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (!w) GTEST_SKIP() << "no display for top-level windows";
    char ini[MAX_PATH];
    ASSERT_TRUE(GetSettingsPath(ini, sizeof ini));
    bool iniExisted = GetFileAttributesA(ini) != INVALID_FILE_ATTRIBUTES;
    HWND savedMain = g_hMainWindow;
    int savedTop = g_settings.AlwaysOnTop;
    g_hMainWindow = w;
    g_settings.AlwaysOnTop = 1;

    EnableWindow(w, FALSE);  // the sheet's owner is disabled while it is open
    HWND sheet = MakeModelessSheet(w);
    ASSERT_NE(sheet, nullptr);
    g_hPreferencesSheet = sheet;
    // An open sheet is left alone.
    PostMessageA(w, WM_NULL, 0, 0);
    PostQuitMessage(0);
    RunMessageLoop();
    EXPECT_EQ(g_hPreferencesSheet, sheet);
    EXPECT_TRUE(IsWindow(sheet));

    // OK closes the page; the loop then finishes the sheet at the next message.
    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    PostMessageA(w, WM_NULL, 0, 0);
    PostQuitMessage(0);
    RunMessageLoop();
    EXPECT_EQ(g_hPreferencesSheet, nullptr);
    EXPECT_FALSE(IsWindow(sheet));
    EXPECT_TRUE(IsWindowEnabled(w));
    EXPECT_TRUE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NE(GetFileAttributesA(ini), INVALID_FILE_ATTRIBUTES);  // settings saved

    if (!iniExisted) DeleteFileA(ini);
    g_hPreferencesSheet = nullptr;
    g_hMainWindow = savedMain;
    g_settings.AlwaysOnTop = savedTop;
    DestroyWindow(w);
}

#endif  // _WIN32

}  // namespace
