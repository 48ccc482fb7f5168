// The input source, the bit reader and the frame reader, over streams built
// frame by frame in the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/stream_probe.h"
#include "test_util.h"

namespace {

struct Box {
    std::string text, caption;
    unsigned flags;
};
std::vector<Box> g_boxes;
int g_answer = plat::IdNo;

int RecordBox(void*, const char* text, const char* caption, unsigned flags) {
    g_boxes.push_back({text, caption, flags});
    return (flags & 0xF) == plat::MbYesNo ? g_answer : plat::IdOk;
}

using Bytes = std::vector<uint8_t>;

// Header words for the streams below.
constexpr uint32_t kL3_44k_128 = 0xFFFB9000;   // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo
constexpr uint32_t kL3_44k_128_pad = 0xFFFB9200;
constexpr uint32_t kL3_22k_64 = 0xFFF38000;    // MPEG-2 Layer III, 64 kbit/s, 22.05 kHz, stereo
constexpr uint32_t kL2_48k_192 = 0xFFFDA400;   // MPEG-1 Layer II, 192 kbit/s, 48 kHz, no CRC
constexpr uint32_t kL1_44k_384_nocrc = 0xFFFFC000;  // MPEG-1 Layer I, 384 kbit/s, 44.1 kHz
constexpr uint32_t kL2_25_8k_160 = 0xFFE5E800;  // MPEG-2.5 Layer II, 160 kbit/s, 8 kHz
constexpr uint32_t kL3_free = 0xFFFB0000;      // free format

void Put32(Bytes& b, uint32_t w) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(w >> s));
}

// Appends one frame: the header and a body of the length the header gives,
// filled with `fill` (never 0xFF, so the body holds no false sync).
void AddFrame(Bytes& b, uint32_t word, uint8_t fill = 0x55) {
    int body = HeaderBodyLength(word);
    ASSERT_GT(body, 0);
    Put32(b, word);
    b.insert(b.end(), size_t(body), fill);
}

Bytes Frames(uint32_t word, int n) {
    Bytes b;
    for (int i = 0; i < n; i++) AddFrame(b, word, uint8_t(i & 0x7F));
    return b;
}

// n frames, `gap` bytes of 0x12 (no sync in them), then m more frames.
Bytes FramesAroundGarbage(uint32_t word, int n, size_t gap, int m) {
    Bytes b = Frames(word, n);
    b.insert(b.end(), gap, 0x12);
    Bytes more = Frames(word, m);
    b.insert(b.end(), more.begin(), more.end());
    return b;
}

// A free-format stream: frames of a length that no header gives.
Bytes FreeFormatFrames(int n) {
    Bytes b;
    for (int i = 0; i < n; i++) {
        Put32(b, kL3_free);
        b.insert(b.end(), 500, 0x11);
    }
    return b;
}

Bytes Id3v2(uint32_t size, uint8_t flags = 0, uint8_t fill = 0xFF) {
    Bytes b = {'I', 'D', '3', 3, 0, flags,
               uint8_t((size >> 21) & 127), uint8_t((size >> 14) & 127), uint8_t((size >> 7) & 127), uint8_t(size & 127)};
    // A body full of sync-like bytes: the scan must never look inside.
    for (uint32_t i = 0; i < size; i++) b.push_back(i % 3 == 2 ? 0xFB : fill);
    if (flags & 0x10) b.insert(b.end(), {'3', 'D', 'I', 3, 0, flags, b[6], b[7], b[8], b[9]});
    return b;
}

class FrameReader : public ::testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        g_answer = plat::IdNo;
        plat::SetMessageBoxHook(RecordBox);
    }
    void TearDown() override {
        CloseInput();
        plat::SetMessageBoxHook(nullptr);
    }
    // Writes the stream to a file and opens it.
    void Open(const Bytes& b) {
        path_ = dir_.File("stream.mp3");
        testutil::WriteBytes(path_, b);
        ASSERT_EQ(OpenInput(path_.c_str()), 1);
        ResetHeaderHistory();
        si_ = StreamInfo{};
        si_.channelSelect = -1;
    }
    int CountFrames() {
        int n = 0;
        while (ReadFrame(&si_) == 1) n++;
        return n;
    }
    testutil::TempDir dir_;
    std::string path_;
    StreamInfo si_{};
};

TEST(BitReader, ReadsMsbFirstAcrossBytes) {
    alignas(4) uint8_t buf[8] = {0xA5, 0x3C, 0xFF, 0x00, 0x80, 0, 0, 0};
    g_bits = {buf, 0};
    EXPECT_EQ(GetBits(0), 0u);
    EXPECT_EQ(g_bits.p, buf);
    EXPECT_EQ(GetBits(8), 0xA5u);
    EXPECT_EQ(g_bits.p, buf + 1);
    EXPECT_EQ(g_bits.bit, 0u);

    // 17 bits from bit position 7 use all 24 bits of the window.
    g_bits = {buf, 7};
    EXPECT_EQ(GetBits(17), 0x13CFFu);  // 1 | 0011 1100 | 1111 1111
    EXPECT_EQ(g_bits.p, buf + 3);
    EXPECT_EQ(g_bits.bit, 0u);

    g_bits = {buf, 3};
    EXPECT_EQ(GetBitsFast(9), 0x53u);  // 0 0101 | 0011
    EXPECT_EQ(GetBitsFast(0), 0u);
    EXPECT_EQ(g_bits.p, buf + 1);
    EXPECT_EQ(g_bits.bit, 4u);

    g_bits = {buf + 4, 0};
    EXPECT_EQ(Get1Bit(), 1u);
    EXPECT_EQ(Get1Bit(), 0u);
    EXPECT_EQ(g_bits.bit, 2u);
}

TEST_F(FrameReader, NetworkPathsAreRecognisedByTheirScheme) {
    EXPECT_EQ(OpenInput("http://127.0.0.1:1/none.mp3"), 0);
    EXPECT_EQ(g_input.isNetwork, 1);
    // "://" in the last three characters does not count.
    EXPECT_EQ(OpenInput("no-such-file://"), 0);
    EXPECT_EQ(g_input.isNetwork, 0);
    EXPECT_EQ(OpenInput(dir_.File("missing.mp3").c_str()), 0);
    EXPECT_EQ(g_input.isNetwork, 0);
}

TEST_F(FrameReader, OpenZeroesTheFrameAreaAndAnEmptyReservoirReadsZeros) {
    std::memset(g_frameArea, 0xAB, sizeof g_frameArea);
    Open(Frames(kL3_44k_128, 3));
    for (uint8_t b : g_frameArea) ASSERT_EQ(b, 0);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(g_frames.SideInfoSize, 32);
    // The first frame's reservoir lies in zeroed memory.
    PrependReservoir(100);
    for (int i = 0; i < 100; i++) ASSERT_EQ(GetBits(8), 0u);
    PrependReservoir(0);
    EXPECT_EQ(g_bits.p, g_frames.currentBuffer + g_frames.SideInfoSize);
}

TEST_F(FrameReader, ReservoirTakesThePreviousBodysTail) {
    Bytes b;
    AddFrame(b, kL3_44k_128, 0x11);
    AddFrame(b, kL3_44k_128, 0x22);
    b[4 + 412] = 0x99;  // last byte of the first body
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    ASSERT_EQ(ReadFrame(&si_), 1);
    PrependReservoir(2);
    EXPECT_EQ(GetBits(8), 0x11u);
    EXPECT_EQ(GetBits(8), 0x99u);
    EXPECT_EQ(GetBits(8), 0x22u);  // then the current main data
}

TEST_F(FrameReader, ParsesHeadersAndBodyLengths) {
    Bytes b;
    AddFrame(b, kL3_44k_128);
    AddFrame(b, kL3_44k_128_pad);
    AddFrame(b, kL3_44k_128);
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(si_.layer, 3);
    EXPECT_EQ(si_.lsf, 0);
    EXPECT_EQ(si_.sampleRateIndex, 0);
    EXPECT_EQ(si_.bitrateIndex, 9);
    EXPECT_EQ(si_.channels, 2);
    EXPECT_EQ(si_.headerChanged, 1);
    EXPECT_EQ(g_frames.currentSize, 413);
    EXPECT_EQ(si_.layerDecoder, &DecodeLayer3Frame);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(g_frames.currentSize, 414);
    EXPECT_EQ(si_.padding, 1);
    EXPECT_EQ(si_.headerChanged, 1);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(g_frames.currentSize, 413);
    EXPECT_EQ(ReadFrame(&si_), 0);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(FrameReader, RepeatedHeaderTakesTheFastPath) {
    Open(Frames(kL3_22k_64, 3));
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(si_.headerChanged, 1);
    EXPECT_EQ(si_.lsf, 1);
    EXPECT_EQ(g_frames.currentSize, 204);
    EXPECT_EQ(g_frames.SideInfoSize, 17);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(si_.headerChanged, 0);
    EXPECT_EQ(g_frames.currentSize, 204);
}

TEST_F(FrameReader, ModeAndPaddingChangesNeverResync) {
    Bytes b;
    uint32_t words[] = {kL3_44k_128, kL3_44k_128 | 0xC0, kL3_44k_128_pad | 0x40, kL3_44k_128 | 0x30};
    for (uint32_t w : words) AddFrame(b, w);
    Open(b);
    EXPECT_EQ(CountFrames(), 4);
    EXPECT_EQ(si_.mode, 0);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(FrameReader, VariableBitrateFramesKeepTheirLengths) {
    Bytes b;
    uint32_t rates[] = {0x9, 0x5, 0xE, 0x1, 0xB, 0x9};
    for (uint32_t r : rates) AddFrame(b, (kL3_44k_128 & ~0xF000u) | (r << 12));
    Open(b);
    std::vector<int> sizes;
    while (ReadFrame(&si_) == 1) sizes.push_back(g_frames.currentSize);
    EXPECT_EQ(sizes, (std::vector<int>{413, 204, 1040, 100, 622, 413}));
    EXPECT_EQ(GetFrameCount(&si_), 6);
}

// A long run of one bitrate before the rate changes: not a constant stream.
TEST_F(FrameReader, BitrateThatChangesLateIsCountedFrameByFrame) {
    Bytes b = Frames(kL3_44k_128, 300);
    for (int i = 0; i < 200; i++) AddFrame(b, (kL3_44k_128 & ~0xF000u) | (0xB << 12));
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(GetFrameCount(&si_), 500);
}

TEST_F(FrameReader, ProtectionMaySwitchMidStream) {
    Bytes b = Frames(kL3_44k_128, 2);
    AddFrame(b, kL3_44k_128 & ~0x10000u);  // CRC on
    AddFrame(b, kL3_44k_128);
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    ASSERT_EQ(ReadFrame(&si_), 1);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(si_.crcPresent, 1);
    EXPECT_EQ(g_frames.SideInfoSize, 34);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(si_.crcPresent, 0);
}

TEST_F(FrameReader, TinyFilesSayTheyHoldNoAudio) {
    for (size_t n = 0; n <= 3; n++) {
        Open(Bytes(n, 0xFF));
        EXPECT_EQ(ReadFrame(&si_), 0) << n;
    }
    ASSERT_EQ(g_boxes.size(), 4u);
    EXPECT_EQ(g_boxes[3].text, "This file holds no MPEG audio frames");
}

TEST_F(FrameReader, TextIsNotMpegAudio) {
    std::string text;
    while (text.size() < 50000) text += "This is plain text, not audio. ";
    Open(Bytes(text.begin(), text.end()));
    EXPECT_EQ(ReadFrame(&si_), 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "This does not look like a valid MPEG Audio File");
    EXPECT_EQ(g_boxes[0].caption, "Synchronization Error...");
    // The scan gave up after 32768 counted positions, not at the end of the text.
    EXPECT_LT(InputTell(), 32768 + 8);
}

TEST_F(FrameReader, LayerOneWithoutCrcIsFoundAtOffsetZero) {
    Open(Frames(kL1_44k_384_nocrc, 3));
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(si_.layer, 1);
    EXPECT_EQ(si_.jsbound, 32);
    EXPECT_EQ(g_frames.currentSize, 412);  // (12000 * 384 / 44100) * 4 - 4
    EXPECT_EQ(CountFrames(), 2);
}

TEST_F(FrameReader, FalseSyncInFrontOfTheAudioIsPassedOver) {
    // Garbage holding a header that passes the validity test but is not
    // followed by the header its length predicts.
    Bytes b(100, 0x00);
    Put32(b, 0xFFFB5000);
    b.insert(b.end(), 300, 0x01);
    size_t audio = b.size();
    Bytes frames = Frames(kL2_48k_192, 4);
    b.insert(b.end(), frames.begin(), frames.end());
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(si_.layer, 2);
    EXPECT_EQ(si_.bitrateIndex, 0xA);
    EXPECT_EQ(GetStreamLayout().firstFrame, int64_t(audio));
    EXPECT_EQ(CountFrames(), 3);
    EXPECT_EQ(GetFrameCount(&si_), 4);
    EXPECT_TRUE(g_boxes.empty());
}

// Bytes in memory, read as a file (seekable) or as a pipe.
class MemoryCursor : public StreamCursor {
public:
    MemoryCursor(const Bytes& b, bool seekable) : b_(b), seekable_(seekable) {}
    int Peek(int ahead, uint8_t* dst, int n) override {
        if (ahead + n > kPeekReach || pos_ + size_t(ahead) >= b_.size()) return 0;
        size_t got = std::min(size_t(n), b_.size() - pos_ - size_t(ahead));
        std::memcpy(dst, b_.data() + pos_ + size_t(ahead), got);
        return int(got);
    }
    int64_t Skip(int64_t n) override {
        n = std::min<int64_t>(n, int64_t(b_.size() - pos_));
        pos_ += size_t(n);
        return n;
    }
    bool Seekable() const override { return seekable_; }
    bool Rewind(int64_t n) override {
        if (!seekable_ || n > int64_t(pos_)) return false;
        pos_ -= size_t(n);
        return true;
    }
    size_t pos_ = 0;

private:
    const Bytes& b_;
    bool seekable_;
};

// Where the start-of-stream scan stops, on a file and on a pipe: a header at
// the start is taken unconfirmed only when no confirmed one follows (a pipe
// looks 8 KB ahead); a free-format stream is found, or passed over after a
// Yes.
TEST(StartScan, WhereTheScanStops) {
    struct Case {
        const char* what;
        size_t junk;       // bytes of other data in front of the frames
        uint32_t plant;    // a word put into them, or 0
        size_t plantAt;
        uint32_t frames;   // the frames' header word (free format: 500-byte bodies)
        bool pipe;
        bool passFree;
        StartScan result;
        size_t at;
    };
    const Case cases[] = {
        {"unconfirmed at the start", 3000, kL3_44k_128, 0, kL2_48k_192, false, false, kStartFound, 3000},
        {"unconfirmed at the start, pipe", 3000, kL3_44k_128, 0, kL2_48k_192, true, false, kStartFound, 3000},
        {"beyond a pipe's look-ahead", 9000, kL3_44k_128, 0, kL2_48k_192, true, false, kStartFound, 0},
        {"free-format stream", 100, 0, 0, kL3_free, false, false, kStartFreeFormat, 100},
        {"free-format stream after a Yes", 100, 0, 0, kL3_free, false, true, kStartNone, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b(c.junk, 0x12);
        if (c.plant) {
            Bytes w;
            Put32(w, c.plant);
            std::copy(w.begin(), w.end(), b.begin() + long(c.plantAt));
        }
        Bytes frames = c.frames == kL3_free ? FreeFormatFrames(4) : Frames(c.frames, 4);
        b.insert(b.end(), frames.begin(), frames.end());
        MemoryCursor in(b, !c.pipe);
        EXPECT_EQ(ScanStreamStart(in, c.passFree), c.result);
        if (c.result != kStartNone) EXPECT_EQ(in.pos_, c.at);
    }
}

TEST_F(FrameReader, Id3v2TagsInFrontAreSkipped) {
    Bytes b = Id3v2(200 * 1024);
    Bytes second = Id3v2(5000, 0x10);  // with a footer
    b.insert(b.end(), second.begin(), second.end());
    size_t audio = b.size();
    Bytes frames = Frames(kL3_44k_128, 10);
    b.insert(b.end(), frames.begin(), frames.end());
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(GetStreamLayout().audioStart, int64_t(audio));
    EXPECT_EQ(GetStreamLayout().firstFrame, int64_t(audio));
    EXPECT_EQ(GetFrameCount(&si_), 10);
    EXPECT_EQ(CountFrames(), 9);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(FrameReader, Id3v2SizeBeyondTheFileEndsAtTheEnd) {
    Bytes b = Id3v2(100);
    b[6] = 0x7F;  // claims about 256 MB
    Open(b);
    EXPECT_EQ(ReadFrame(&si_), 0);
    EXPECT_EQ(InputTell(), int64_t(b.size()));
}

TEST_F(FrameReader, Id3v1TagIsNotCountedAsAudio) {
    Bytes b = Frames(kL2_48k_192, 20);
    Bytes tag(128, ' ');
    std::memcpy(tag.data(), "TAG", 3);
    b.insert(b.end(), tag.begin(), tag.end());
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(GetFrameCount(&si_), 20);
    EXPECT_EQ(GetStreamLayout().audioEnd, int64_t(b.size() - 128));
}

TEST_F(FrameReader, XingHeaderGivesTheCountAndIsNotDecoded) {
    Bytes b;
    Put32(b, kL3_44k_128);
    Bytes body(413, 0);
    std::memcpy(body.data() + 32, "Xing", 4);
    body[32 + 7] = 0x07;  // frames, bytes, table of contents
    uint32_t frames = 1000, bytes = 1000 * 418;
    for (int i = 0; i < 4; i++) body[40 + i] = uint8_t(frames >> (24 - 8 * i));
    for (int i = 0; i < 4; i++) body[44 + i] = uint8_t(bytes >> (24 - 8 * i));
    for (int i = 0; i < 100; i++) body[48 + i] = uint8_t(i * 256 / 100);
    b.insert(b.end(), body.begin(), body.end());
    AddFrame(b, (kL3_44k_128 & ~0xF000u) | 0xB000, 0x33);  // 192 kbit/s
    for (int i = 0; i < 20; i++) AddFrame(b, kL3_44k_128, 0x44);
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    // The first frame handed out is the first audio frame.
    EXPECT_EQ(si_.bitrateIndex, 0xB);
    EXPECT_EQ(g_frames.currentBuffer[0], 0x33);
    // The header says 1000 frames; the file holds 21, which are counted.
    EXPECT_EQ(GetFrameCount(&si_), 21);
    const StreamLayout& lay = GetStreamLayout();
    EXPECT_TRUE(lay.vbr.present);
    EXPECT_EQ(lay.vbr.frames, 1000u);
    EXPECT_EQ(lay.vbrFrameLen, 417u);
}

TEST_F(FrameReader, FreeFormatAsksAndStopsOnNo) {
    Open(FreeFormatFrames(4));
    EXPECT_EQ(ReadFrame(&si_), 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Invalid Bitrate in stream, Try Resync?");
    EXPECT_EQ(g_boxes[0].caption, "Error In Stream...");
    EXPECT_EQ(g_boxes[0].flags & 0xF, unsigned(plat::MbYesNo));
}

TEST_F(FrameReader, FreeFormatResyncsToTheNextUsableHeaderOnYes) {
    g_answer = plat::IdYes;
    Bytes b = FreeFormatFrames(4);
    Bytes frames = Frames(kL3_44k_128, 3);
    b.insert(b.end(), frames.begin(), frames.end());
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(si_.bitrateIndex, 9);
    EXPECT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(CountFrames(), 2);
}

TEST_F(FrameReader, GarbageInsideTheStreamIsSkipped) {
    Open(FramesAroundGarbage(kL3_44k_128, 3, 777, 3));
    EXPECT_EQ(CountFrames(), 6);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(FrameReader, LostSyncGivesUpAfterItsBound) {
    Open(FramesAroundGarbage(kL3_44k_128, 2, 40000, 2));
    EXPECT_EQ(CountFrames(), 2);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Could not locate a VALID sync in the stream.");
    EXPECT_EQ(g_boxes[0].caption, "Synchronization Error...");
}

TEST_F(FrameReader, ShortLastBodyIsZeroFilled) {
    Bytes b = Frames(kL3_44k_128, 2);
    b.resize(b.size() - 100);
    Open(b);
    ASSERT_EQ(ReadFrame(&si_), 1);
    std::memset(FrameBuffer(1), 0xEE, kBodyAreaSize);
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(g_frames.currentBuffer, FrameBuffer(1));
    EXPECT_EQ(g_frames.currentBuffer[312], 1);
    for (int i = 313; i < 413; i++) ASSERT_EQ(g_frames.currentBuffer[i], 0) << i;
    EXPECT_EQ(ReadFrame(&si_), 0);
}

TEST_F(FrameReader, Mpeg25LowRatesAndTheLargestBody) {
    Open(Frames(kL2_25_8k_160, 3));
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(si_.mpeg25, 1);
    EXPECT_EQ(si_.sampleRateIndex, 8);
    EXPECT_EQ(g_frames.currentSize, 2876);
    EXPECT_EQ(g_frames.currentBuffer[2875], 0);  // body byte i & 0x7F of frame 0
    EXPECT_EQ(CountFrames(), 2);
    EXPECT_EQ(kSampleRateTable[7], 12000);
}

TEST_F(FrameReader, SeekingAndPlayedTime) {
    // 48 kHz Layer II at 192 kbit/s: 576 bytes and 24 ms a frame.
    Open(Frames(kL2_48k_192, 200));
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(GetFrameCount(&si_), 200);
    EXPECT_EQ(GetPlayedSeconds(&si_), 0);
    ASSERT_EQ(SeekToFrame(&si_, 100), 1);
    for (uint8_t b : g_frameArea) ASSERT_EQ(b, 0);
    // Frames n and n+1 were read; (576 + 8) * 100 bytes lands in frame 101.
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(GetPlayedSeconds(&si_), 2);  // 104 frames * 24 ms
    EXPECT_EQ(SeekToFrame(&si_, 5000), 0);
    EXPECT_EQ(ReadFrame(&si_), 0);
}

// A file past 4 GiB (sparse: frames at its start, a hole, frames and an
// ID3v1 tag near its end): the audio ends before the tag, a seek reaches
// the frames behind 4 GiB and they play to the end.
TEST_F(FrameReader, FilesPast4GiBPlayToTheirEnd) {
    const int64_t frame = 576;  // kL2_48k_192
    const int64_t tailAt = ((int64_t(1) << 32) / frame + 100) * frame;
    const int tail = 12;
    path_ = dir_.File("large.mp2");
    {
        std::ofstream out(path_, std::ios::binary);
        Bytes head = Frames(kL2_48k_192, 20), end = Frames(kL2_48k_192, tail);
        Bytes tag(128, ' ');
        std::memcpy(tag.data(), "TAG", 3);
        end.insert(end.end(), tag.begin(), tag.end());
        out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
        out.seekp(std::streamoff(tailAt));
        out.write(reinterpret_cast<const char*>(end.data()), std::streamsize(end.size()));
        if (!out.good()) GTEST_SKIP() << "no room for a sparse file of 4 GiB";
    }
    ASSERT_EQ(OpenInput(path_.c_str()), 1);
    ResetHeaderHistory();
    ASSERT_EQ(ReadFrame(&si_), 1);
    EXPECT_EQ(g_input.fileSize, tailAt + tail * frame + 128);
    EXPECT_EQ(GetStreamLayout().audioEnd, tailAt + tail * frame);
    // (576 + 8) x n from the start lands one frame into the tail.
    const int n = int((tailAt + frame) / (frame + 8));
    ASSERT_EQ(SeekToFrame(&si_, n), 1);
    EXPECT_GE(InputTell(), tailAt);
    EXPECT_EQ(CountFrames(), tail - 3);  // behind the frame passed over and the two the seek read
    EXPECT_EQ(InputTell(), tailAt + tail * frame);
    EXPECT_TRUE(g_boxes.empty());
    CloseInput();
    std::remove(path_.c_str());
}

}  // namespace

