// Faults from outside the player: streams cut anywhere, a file that shrinks
// while it plays, a directory that vanishes while it is scanned, a tag
// written to a file that cannot take it. None may crash, hang, or lose what
// was already decoded or written.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "decoder/decoder_thread.h"
#include "decoder/frame.h"
#include "decoder/header.h"
#include "decoder/input.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "playlist/playlist.h"
#include "playlist/playlist_files.h"
#include "shell/settings.h"
#include "tag/id3v1.h"
#include "test_util.h"

#ifdef _WIN32
#include <windows.h>
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;
constexpr unsigned kBoundMs = 60000;  // no step of a test may take longer

// ------------------------------------------------- an output that keeps the PCM

struct Sink {
    std::mutex m;
    Bytes pcm;
    int open = 0;
    plat::Event closed = nullptr;
    // Holds the decoder inside its next Write of PCM until released.
    std::atomic<bool> gateArmed{false};
    plat::Event entered = nullptr, release = nullptr;
};
Sink g_sink;

int SinkOpen(int, int, int, int, float, int) { return g_sink.open = 1; }
int SinkClose(int) {
    g_sink.open = 0;
    plat::EventSet(g_sink.closed);
    return 0;
}
int SinkIsOpen() { return g_sink.open; }
int SinkWrite(int length, const uint8_t* data) {
    if (length <= 0) return length;
    if (g_sink.gateArmed.exchange(false)) {
        plat::EventSet(g_sink.entered);
        plat::EventWait(g_sink.release, kBoundMs);
    }
    std::lock_guard<std::mutex> g(g_sink.m);
    g_sink.pcm.insert(g_sink.pcm.end(), data, data + length);
    return length;
}
int SinkNone() { return 0; }
int SinkNoneInt(int) { return 0; }
int SinkBuffers() { return 10; }  // paced like the device: no pause per progress step
const AudioOutputDriver kSinkDriver = {SinkOpen, SinkClose, SinkIsOpen,  SinkWrite,  SinkNone,
                                       SinkNone, SinkNone,  SinkNone,    SinkNoneInt, SinkNone,
                                       SinkNoneInt, SinkBuffers, SinkNone};

std::atomic<int> g_trackEnds{0};
intptr_t CountNotice(void*, unsigned msg, uintptr_t, intptr_t, bool) {
    if (msg == DNOTE_TRACK_END) g_trackEnds++;
    return 0;
}

std::mutex g_boxMutex;
std::vector<std::string> g_boxes;
int RecordBox(void*, const char* text, const char*, unsigned) {
    std::lock_guard<std::mutex> g(g_boxMutex);
    g_boxes.push_back(text);
    return plat::IdOk;
}

plat::Event g_idle = nullptr;
DecoderTrackReport g_report;
void OnIdle(const DecoderTrackReport& r) {
    g_report = r;
    plat::EventSet(g_idle);
}

class DecoderFaults : public ::testing::Test {
public:
    void SetUp() override {
        g_sink.pcm.clear();
        g_sink.open = 0;
        g_sink.closed = plat::EventCreate(false, false);
        g_sink.entered = plat::EventCreate(false, false);
        g_sink.release = plat::EventCreate(false, false);
        g_idle = plat::EventCreate(false, false);
        g_trackEnds = 0;
        g_boxes.clear();
        plat::SetNoticeHook(CountNotice);
        plat::SetMessageBoxHook(RecordBox);
        SetDecoderIdleHook(OnIdle);
        OverrideOutputSystem(0, &kSinkDriver);
        g_settings.AudioOutputSystem = 0;
        g_settings.AudioOutput8Bit = 0;
        g_settings.EqEnabled = 0;
        g_settings.EqVolume = 7;
        g_settings.DownSample = 0;
        g_settings.Channels = -1;
        g_settings.DecoderPriority = 2;
        tid_ = StartDecoderThread(nullptr);
        ASSERT_GT(tid_, 0);
    }
    void TearDown() override {
        plat::EventSet(g_sink.release);
        if (tid_ > 0) ShutdownDecoderThread(tid_);
        OverrideOutputSystem(0, nullptr);
        SetDecoderIdleHook(nullptr);
        plat::SetNoticeHook(nullptr);
        plat::SetMessageBoxHook(nullptr);
        for (plat::Event e : {g_idle, g_sink.closed, g_sink.entered, g_sink.release}) plat::EventClose(e);
    }
    // Plays a file to the end (or a stop) and waits until the thread is idle.
    bool Play(const std::string& path) {
        PostPlay(path.c_str(), tid_);
        return plat::EventWait(g_idle, kBoundMs);
    }
    // Ends the output, so that the PCM buffer's tail arrives; returns all PCM.
    Bytes Drain() {
        if (g_sink.open) {
            PostCloseOutput(tid_);
            EXPECT_TRUE(plat::EventWait(g_sink.closed, kBoundMs));
        }
        std::lock_guard<std::mutex> g(g_sink.m);
        Bytes pcm;
        pcm.swap(g_sink.pcm);
        return pcm;
    }
    int tid_ = -1;
    testutil::TempDir dir_;
};

// A stream of silent frames: zero allocations (Layers I, II) or empty
// granules (Layer III).
Bytes SilentFrames(uint32_t word, int count) {
    Bytes frame(size_t(4 + HeaderBodyLength(word)), 0);
    for (int i = 0; i < 4; i++) frame[size_t(i)] = uint8_t(word >> (24 - 8 * i));
    Bytes b;
    for (int i = 0; i < count; i++) b.insert(b.end(), frame.begin(), frame.end());
    return b;
}
constexpr uint32_t kLayer2Word = 0xFFFD8000u;  // MPEG-1 Layer II, 128 kbit/s, 44.1 kHz: 417 bytes
constexpr uint32_t kLayer3Word = 0xFFFB9000u;  // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz

// A track begins where the previous one left the synthesis and overlap
// state (consecutive files of one recording join without a seam). Silent
// frames of both kinds bring that state back to zero, so that every decode
// compared below starts from the same place.
void Settle(DecoderFaults* t, const testutil::TempDir& dir) {
    std::string l2 = dir.File("settle.mp2"), l3 = dir.File("settle.mp3");
    testutil::WriteBytes(l2, SilentFrames(kLayer2Word, 3));
    testutil::WriteBytes(l3, SilentFrames(kLayer3Word, 3));
    ASSERT_TRUE(t->Play(l2));
    ASSERT_TRUE(t->Play(l3));
    t->Drain();
}

// The offset just past each frame, as the frame reader finds them. Called
// while the decoder thread is idle, so the reader is free.
std::vector<int64_t> FrameEnds(const std::string& path) {
    std::vector<int64_t> ends;
    if (!OpenInput(path.c_str())) return ends;
    ResetHeaderHistory();
    StreamInfo si{};
    while (ReadFrame(&si) == 1) ends.push_back(InputTell());
    CloseInput();
    return ends;
}

// Cuts a stream after every whole frame and in the middle of every frame.
// Each cut plays to a normal end, decodes the frames it holds (a partly
// present one zero-filled), and its PCM begins with the whole stream's.
void CheckEveryCut(DecoderFaults* t, const std::string& name, const testutil::TempDir& dir) {
    std::string vec = testutil::SharedDir() + "/vectors/" + name;
    Bytes whole = testutil::ReadBytes(vec);
    if (whole.empty()) GTEST_SKIP() << "no conformance vectors";
    std::vector<int64_t> ends = FrameEnds(vec);
    ASSERT_GT(ends.size(), 4u);
    Settle(t, dir);
    ASSERT_TRUE(t->Play(vec));
    Bytes full = t->Drain();
    const size_t frames = ends.size();
    ASSERT_EQ(full.size() % frames, 0u) << name;
    const size_t perFrame = full.size() / frames;

    std::string cutPath = dir.File("cut.bit");
    for (size_t k = 0; k < frames; k++) {
        int64_t start = k ? ends[k - 1] : 0;
        for (int64_t cut : {start, (start + ends[k]) / 2}) {
            SCOPED_TRACE(name + " cut at " + std::to_string(cut));
            testutil::WriteBytes(cutPath, Bytes(whole.begin(), whole.begin() + cut));
            Settle(t, dir);
            int endsBefore = g_trackEnds;
            ASSERT_TRUE(t->Play(cutPath)) << "hung";
            EXPECT_EQ(g_report.opened, 1);
            EXPECT_EQ(g_report.stopped, 0);
            EXPECT_EQ(g_trackEnds, endsBefore + 1);
            const size_t held = k + (cut > start ? 1 : 0);
            EXPECT_EQ(size_t(g_report.framesDecoded), held);
            Bytes pcm = t->Drain();
            ASSERT_GE(pcm.size(), k * perFrame);
            EXPECT_LE(pcm.size(), held * perFrame);
            EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + long(k * perFrame), full.begin()));
        }
    }
    std::lock_guard<std::mutex> g(g_boxMutex);
    EXPECT_TRUE(g_boxes.empty()) << g_boxes.front();
}

TEST_F(DecoderFaults, LayerOneCutAnywhere) { CheckEveryCut(this, "l1-fl4.bit", dir_); }
TEST_F(DecoderFaults, LayerTwoCutAnywhere) { CheckEveryCut(this, "l2-fl13.bit", dir_); }
TEST_F(DecoderFaults, LayerThreeCutAnywhere) { CheckEveryCut(this, "l3-hecommon.bit", dir_); }

// Another program cuts the file while the decoder reads it through the file
// layer: the track ends normally with the frames that are left.
TEST_F(DecoderFaults, FileThatShrinksWhilePlaying) {
    const int frameBytes = 4 + HeaderBodyLength(kLayer2Word);
    std::string path = dir_.File("shrinks.mp2");
    testutil::WriteBytes(path, SilentFrames(kLayer2Word, 2000));

    g_sink.gateArmed = true;
    PostPlay(path.c_str(), tid_);
    ASSERT_TRUE(plat::EventWait(g_sink.entered, kBoundMs));
    // The decoder is held in its first Write, a few frames in.
    plat::File f = plat::FileOpenReadWrite(path.c_str());
    bool cut = f && plat::FileSeek(f, int64_t(1000) * frameBytes, plat::SeekBegin) >= 0 &&
               plat::FileTruncate(f);
    if (f) plat::FileClose(f);
    plat::EventSet(g_sink.release);
    ASSERT_TRUE(plat::EventWait(g_idle, kBoundMs));
    if (!cut) GTEST_SKIP() << "a file open for reading cannot be cut here";
    EXPECT_EQ(g_report.stopped, 0);
    EXPECT_EQ(g_report.framesDecoded, 1000);
    EXPECT_EQ(g_trackEnds, 1);
    EXPECT_EQ(Drain().size(), size_t(1000) * 1152 * 4);
}

// ------------------------------------------------------------ resources

struct Held {
    long threads = 0;  // threads of the process
    long handles = 0;  // open descriptors, or handles on Windows
    long heap = 0;     // bytes in use on the C heap (0 where not known)
};

Held CountHeld() {
    Held h;
#ifdef _WIN32
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    h.handles = long(n);
    h.threads = plat::ThreadLiveCount();
#else
    namespace fs = std::filesystem;
    for (const char* dir : {"/proc/self/task", "/proc/self/fd"}) {
        long n = 0;
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) n++;
        (dir[11] == 't' ? h.threads : h.handles) = n;
    }
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
    h.heap = long(mallinfo2().uordblks);
#endif
#endif
    return h;
}

// A thousand tracks started, moved and stopped leave no thread, handle or
// memory behind, and the decoder's own thread ends with the last command.
TEST_F(DecoderFaults, ThousandPlaySeekStopCyclesLeaveNothingBehind) {
    std::string path = dir_.File("cycle.mp3");
    testutil::WriteBytes(path, SilentFrames(kLayer3Word, 400));
    auto cycle = [&](int n) {
        for (int i = 0; i < n; i++) {
            PostPlay(path.c_str(), tid_);
            PostSeek(i % 101, tid_);
            PostStop(tid_);
            ASSERT_TRUE(plat::EventWait(g_idle, kBoundMs)) << "cycle " << i;
            if (i % 10 == 9) Drain();
        }
        Drain();
    };
    cycle(50);  // first use of every buffer and table
    Held before = CountHeld();
    cycle(1000);
    Held after = CountHeld();
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_LT(after.heap - before.heap, 16 * 1024);
    // Most tracks are left by the stop; one that a seek took near its end
    // may end first on a slow machine (valgrind runs one thread at a time).
    EXPECT_LT(g_trackEnds, 50);

    int live = plat::ThreadLiveCount();
    ShutdownDecoderThread(tid_);
    tid_ = -1;
    EXPECT_EQ(plat::ThreadLiveCount(), live - 1);
}

// ------------------------------------------------ a directory that vanishes

// The scan reads each file's tag as it adds it (ReadFileInfo): the first
// read removes the whole tree under the scan.
std::string g_vanishRoot;
std::vector<std::string> g_seenAtRemoval;
int RemoveTreeOnFirstRead(plat::File f, void* dst, uint32_t n) {
    if (!g_vanishRoot.empty()) {
        for (int i = 0; i < PlaylistCount(); i++) {
            PlaylistEntry e;
            if (PlaylistGetEntry(i, &e)) g_seenAtRemoval.push_back(e.path);
        }
        std::error_code ec;
        std::filesystem::remove_all(g_vanishRoot, ec);  // Windows keeps what is held open
        g_vanishRoot.clear();
    }
    return plat::FileRead(f, dst, n);
}

TEST(DirectoryFaults, TreeRemovedDuringTheScan) {
    testutil::TempDir dir;
    std::string root = dir.File("tree");
    for (const char* sub : {"a", "b", "c"}) {
        std::filesystem::create_directories(root + "/" + sub + "/deeper");
        for (const char* name : {"1.mp3", "2.mp3", "deeper/3.mp3"})
            testutil::WriteBytes(root + "/" + sub + "/" + name, Bytes(4000, 0));
    }
    PlaylistClear();
    plat::SetMessageBoxHook(RecordBox);
    g_boxes.clear();
    g_seenAtRemoval.clear();
    g_vanishRoot = root;
    const Id3v1FileOps ops = {plat::FileSeek, RemoveTreeOnFirstRead, plat::FileWrite, plat::FileTruncate};
    SetId3v1FileOps(&ops);
    int saved = g_settings.ReadFileInfo;
    g_settings.ReadFileInfo = 1;

    PlaylistOpenItem(kOpenLocal, root.c_str());

    g_settings.ReadFileInfo = saved;
    SetId3v1FileOps(nullptr);
    plat::SetMessageBoxHook(nullptr);
    EXPECT_TRUE(g_vanishRoot.empty()) << "no tag was read";
    // What was found before the tree went is kept; nothing else appears.
    std::vector<std::string> now;
    for (int i = 0; i < PlaylistCount(); i++) {
        PlaylistEntry e;
        ASSERT_TRUE(PlaylistGetEntry(i, &e));
        now.push_back(e.path);
        EXPECT_EQ(now.back().rfind(root, 0), 0u);
    }
    EXPECT_GE(now.size(), 1u);
    EXPECT_LE(now.size(), 9u);
    for (const auto& p : g_seenAtRemoval) EXPECT_NE(std::find(now.begin(), now.end(), p), now.end()) << p;
    for (const auto& text : g_boxes) EXPECT_EQ(text.rfind("Error Adding Directory: ", 0), 0u) << text;
    PlaylistClear();
}

// ------------------------------------------------- a tag for a read-only file

// A read-only file yields no handle for writing (the editor says so), or,
// where this user may write it all the same, a handle that reads only: the
// writer then changes nothing and says why.
TEST(TagFaults, ReadOnlyFileIsLeftAsItWasWithAMessage) {
    testutil::TempDir dir;
    Bytes audio(3000, 0x55);
    Bytes tagged = audio;
    Bytes old(128, ' ');
    std::copy_n("TAGOld", 6, old.begin());
    tagged.insert(tagged.end(), old.begin(), old.end());
    Id3v1Tag tag{};
    std::snprintf(tag.title, sizeof tag.title, "New");
    plat::SetMessageBoxHook(RecordBox);
    for (const Bytes& content : {audio, tagged}) {
        std::string path = dir.File("ro.mp3");
        testutil::WriteBytes(path, content);
        namespace fs = std::filesystem;
        fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        g_boxes.clear();
        plat::File f = plat::FileOpenRead(path.c_str());
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(WriteId3v1Tag(f, &tag), 0);
        plat::FileClose(f);
        fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
        EXPECT_EQ(testutil::ReadBytes(path), content);
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_NE(g_boxes[0].find("(File is Write Protected?)"), std::string::npos) << g_boxes[0];
    }
    plat::SetMessageBoxHook(nullptr);
}

}  // namespace
