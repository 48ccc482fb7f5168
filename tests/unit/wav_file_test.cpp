// The WAV file writer: the exact bytes of the file, the save dialog, and
// what happens when the file cannot be created or cannot grow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output/wav_file.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "test_util.h"

namespace {

struct Box {
    std::string text, caption;
    void* owner;
    unsigned flags;
};
std::vector<Box> g_boxes;
int RecordBox(void* owner, const char* text, const char* caption, unsigned flags) {
    g_boxes.push_back(Box{text, caption, owner, flags});
    return plat::IdOk;
}

std::string g_answer;  // the path the save dialog returns; empty: cancel
std::vector<std::string> g_later;  // the answers after the first, in turn ("" cancels)
std::string g_title, g_ext;
std::vector<char> g_filter;
int AnswerDialog(void*, const char* title, const char* filter, const char* ext, char* path, size_t size) {
    g_title = title;
    g_ext = ext;
    const char* p = filter;
    while (*p) p += std::strlen(p) + 1;  // label, pattern, ... up to the empty string
    g_filter.assign(filter, p + 1);
    if (g_answer.empty()) return 0;
    std::snprintf(path, size, "%s", g_answer.c_str());
    if (!g_later.empty()) {
        g_answer = g_later.front();
        g_later.erase(g_later.begin());
    }
    return 1;
}

// A disk that holds only g_diskLimit bytes per file.
int64_t g_diskLimit = 0;
int LimitedWrite(plat::File f, const void* src, uint32_t n) {
    int64_t pos = plat::FileTell(f);
    int64_t room = g_diskLimit - pos;
    if (room <= 0) return -1;
    if (room < n) return plat::FileWrite(f, src, uint32_t(room));  // short write
    return plat::FileWrite(f, src, n);
}
int FailingWrite(plat::File, const void*, uint32_t) { return -1; }

uint32_t Get32(const std::vector<uint8_t>& b, size_t o) {
    return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | uint32_t(b[o + 3]) << 24;
}
uint16_t Get16(const std::vector<uint8_t>& b, size_t o) { return uint16_t(b[o] | b[o + 1] << 8); }

// Checks that bytes are a well-formed WAV as this writer makes them and
// returns its PCM.
std::vector<uint8_t> PcmOf(const std::vector<uint8_t>& b) {
    EXPECT_GE(b.size(), 46u);
    if (b.size() < 46) return {};
    uint32_t n = Get32(b, 42);
    EXPECT_EQ(b.size(), 46 + n + (n & 1));
    EXPECT_EQ(Get32(b, 4), b.size() - 8);
    if (b.size() < 46 + n) return {};
    return std::vector<uint8_t>(b.begin() + 46, b.begin() + 46 + n);
}

class WavFile : public ::testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        plat::SetMessageBoxHook(RecordBox);
        plat::SetSaveDialogHook(AnswerDialog);
        SetWavFileWriter(nullptr);
        path_ = dir_.File("out.wav");
        g_answer = path_;
    }
    void TearDown() override {
        if (D.IsOpen()) D.Close(0);
        SetWavFileWriter(nullptr);
        SetWavFileDataLimit(0);
        g_later.clear();
        plat::SetSaveDialogHook(nullptr);
        plat::SetMessageBoxHook(nullptr);
    }
    const AudioOutputDriver& D = kWavFileDriver;
    testutil::TempDir dir_;
    std::string path_;
};

TEST_F(WavFile, HeaderAndPadByteForOddData) {
    ASSERT_EQ(D.Open(44100, 2, -1, 16384, 2.5f, 0), 1);
    EXPECT_EQ(D.IsOpen(), 1);
    EXPECT_EQ(g_title, "Save a WaveForm Audio File...");
    EXPECT_EQ(g_ext, "WAV");
    const char kFilter[] = "Waveform Audio\0*.wav\0";
    EXPECT_EQ(g_filter, std::vector<char>(kFilter, kFilter + sizeof kFilter));
    const uint8_t pcm[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(D.Write(5, pcm), 5);
    EXPECT_EQ(D.Write(0, nullptr), 0);
    EXPECT_EQ(D.Close(0), 0);
    EXPECT_EQ(D.IsOpen(), 0);
    const std::vector<uint8_t> expect = {
        'R', 'I', 'F', 'F', 44, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        18, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0,
        4, 0, 16, 0, 0, 0, 'd', 'a', 't', 'a', 5, 0, 0, 0, 1, 2, 3, 4, 5, 0};
    EXPECT_EQ(testutil::ReadBytes(path_), expect);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(WavFile, EmptyFileAndMonoEightBitFormat) {
    ASSERT_EQ(D.Open(22050, 1, 0, 4096, 2.5f, 1), 1);
    D.Close(1);
    auto b = testutil::ReadBytes(path_);
    ASSERT_EQ(b.size(), 46u);
    EXPECT_EQ(Get32(b, 4), 38u);
    EXPECT_EQ(Get16(b, 22), 1);
    EXPECT_EQ(Get32(b, 24), 22050u);
    EXPECT_EQ(Get32(b, 28), 22050u);
    EXPECT_EQ(Get16(b, 32), 1);
    EXPECT_EQ(Get16(b, 34), 8);
    EXPECT_EQ(Get32(b, 42), 0u);
}

TEST_F(WavFile, LongWritesArriveWhole) {
    ASSERT_EQ(D.Open(48000, 2, -1, 16384, 2.5f, 0), 1);
    std::vector<uint8_t> all;
    for (int k = 0; k < 7; k++) {
        std::vector<uint8_t> blk(16384 + 3 * k);
        for (size_t i = 0; i < blk.size(); i++) blk[i] = uint8_t(i * 7 + k);
        ASSERT_EQ(D.Write(int(blk.size()), blk.data()), int(blk.size()));
        all.insert(all.end(), blk.begin(), blk.end());
    }
    D.Close(0);
    EXPECT_EQ(PcmOf(testutil::ReadBytes(path_)), all);
}

TEST_F(WavFile, CancelledDialogCreatesNothing) {
    g_answer.clear();
    EXPECT_EQ(D.Open(44100, 2, -1, 16384, 2.5f, 0), 0);
    EXPECT_EQ(D.IsOpen(), 0);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_FALSE(plat::FileExists(path_.c_str()));
    EXPECT_EQ(D.Close(0), 0);  // closed: touches nothing
}

TEST_F(WavFile, FileThatCannotBeCreated) {
    g_answer = dir_.File("no-such-dir") + "/x.wav";
    EXPECT_EQ(D.Open(44100, 2, -1, 16384, 2.5f, 0), 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Could not open file.");
    EXPECT_EQ(g_boxes[0].caption, "Wave file output error");
    EXPECT_EQ(g_boxes[0].flags & 0xF0, plat::MbIconWarning);
}

TEST_F(WavFile, FailedHeaderRemovesThePartialFile) {
    SetWavFileWriter(FailingWrite);
    EXPECT_EQ(D.Open(44100, 2, -1, 16384, 2.5f, 0), 0);
    EXPECT_EQ(D.IsOpen(), 0);
    EXPECT_FALSE(plat::FileExists(path_.c_str()));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Could not write to file");
    EXPECT_EQ(g_boxes[0].caption, "Wave file output error");
}

TEST_F(WavFile, FullDiskEndsWithAValidFileAndOneMessage) {
    g_diskLimit = 46 + 10001;  // room for an odd number of PCM bytes
    SetWavFileWriter(LimitedWrite);
    ASSERT_EQ(D.Open(44100, 2, -1, 16384, 2.5f, 0), 1);
    std::vector<uint8_t> blk(6000);
    for (size_t i = 0; i < blk.size(); i++) blk[i] = uint8_t(i * 13 + 1);
    int results[4];
    for (int& r : results) r = D.Write(int(blk.size()), blk.data());
    EXPECT_EQ(results[0], 6000);
    EXPECT_EQ(results[1], 6000);  // the first 8 KB buffer goes out
    EXPECT_EQ(results[2], -1);    // the second does not fit
    EXPECT_EQ(results[3], -1);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Could not write to file");
    EXPECT_EQ(g_boxes[0].caption, "Wave file output error");
    EXPECT_EQ(D.Close(1), 0);
    EXPECT_EQ(g_boxes.size(), 1u);
    auto b = testutil::ReadBytes(path_);
    auto pcm = PcmOf(b);
    // What reached the disk, less the odd last byte that left no room for
    // the pad byte; nothing invented.
    ASSERT_EQ(pcm.size(), 10000u);
    std::vector<uint8_t> expect(blk);
    expect.insert(expect.end(), blk.begin(), blk.begin() + 4000);
    EXPECT_EQ(pcm, expect);
}

TEST_F(WavFile, NoRoomForThePadByteDropsTheLastSampleByte) {
    g_diskLimit = 46 + 7;
    SetWavFileWriter(LimitedWrite);
    ASSERT_EQ(D.Open(44100, 1, -1, 16384, 2.5f, 1), 1);
    const uint8_t pcm[7] = {9, 8, 7, 6, 5, 4, 3};
    EXPECT_EQ(D.Write(7, pcm), 7);
    D.Close(0);
    EXPECT_TRUE(g_boxes.empty());
    auto b = testutil::ReadBytes(path_);
    EXPECT_EQ(PcmOf(b), std::vector<uint8_t>(pcm, pcm + 6));
}

// A file that holds all it can is finished with sizes that fit, and the
// rest goes on in the next file: whole frames in each, nothing lost, each
// change said; without a next file the rest is refused, and that is said.
TEST_F(WavFile, FullFilesGoOnInNewFilesAndNothingIsLost) {
    const struct {
        int channels, eightBit;
        uint64_t limit;
        int written, piece;
        std::vector<size_t> files;  // the PCM of each file
        bool cancelled;             // the dialog after the last file is cancelled
    } cases[] = {
        {2, 0, 102, 250, 37, {100, 100, 50}, false},  // 100: whole frames of 4 bytes
        {1, 1, 7, 20, 20, {7, 7, 6}, false},          // odd sizes: a pad byte each
        {2, 0, 3, 10, 1, {4, 4, 2}, false},           // a limit below a frame: one frame each
        {2, 0, 100, 250, 50, {100}, true},
    };
    for (const auto& c : cases) {
        g_boxes.clear();
        std::vector<std::string> names = {path_};
        for (size_t k = 2; k <= c.files.size(); ++k) names.push_back(dir_.File("out-" + std::to_string(k) + ".wav"));
        g_answer = path_;
        g_later.assign(names.begin() + 1, names.end());
        g_later.push_back("");
        SetWavFileDataLimit(c.limit);
        ASSERT_EQ(D.Open(44100, c.channels, -1, 16384, 2.5f, c.eightBit), 1);
        std::vector<uint8_t> pcm(size_t(c.written));
        for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(i * 7 + 3);
        int last = 0;
        for (int at = 0; at < c.written; at += c.piece) last = D.Write(std::min(c.piece, c.written - at), pcm.data() + at);
        D.Close(0);
        const bool complete = !c.cancelled;
        EXPECT_EQ(last, complete ? std::min(c.piece, c.written - (c.written - 1) / c.piece * c.piece) : -1);
        std::vector<uint8_t> joined;
        for (size_t k = 0; k < c.files.size(); ++k) {
            auto got = PcmOf(testutil::ReadBytes(names[k]));
            EXPECT_EQ(got.size(), c.files[k]) << names[k];
            joined.insert(joined.end(), got.begin(), got.end());
        }
        EXPECT_EQ(joined, std::vector<uint8_t>(pcm.begin(), pcm.begin() + joined.size()));
        ASSERT_EQ(g_boxes.size(), complete ? c.files.size() - 1 : c.files.size() + 1);
        EXPECT_NE(g_boxes[0].text.find("holds all that a WAV file can (4 GiB); the rest goes into a new file."),
                  std::string::npos);
        if (!complete) {
            EXPECT_EQ(g_boxes.back().text, "No new file: the rest of the audio was not written.");
        }
        for (const auto& n : names) std::remove(n.c_str());
    }
}

TEST_F(WavFile, UnusedSlotsAreStubs) {
    EXPECT_EQ(D.Flush(), 0);
    EXPECT_EQ(D.Pause(), 0);
    EXPECT_EQ(D.Resume(), 0);
    EXPECT_EQ(D.GetPosition(), 0);
    EXPECT_EQ(D.SetPosition(5), 0);
    EXPECT_EQ(D.GetVolume(), 0);
    EXPECT_EQ(D.SetVolume(40), 0);
    EXPECT_EQ(D.GetBufferCount(), 0);
    EXPECT_EQ(D.GetFreeBuffers(), 0);
}

}  // namespace
