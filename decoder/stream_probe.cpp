// The start of a stream and the playing-time estimate of a local file (see
// stream_probe.h).
#include "decoder/stream_probe.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "decoder/header.h"

namespace {

// The first frames are walked in a window this large.
constexpr int kWindowSize = 32768 + 2 * 3072;
// Frames walked to tell a constant bitrate from a variable one.
constexpr int kWalkFrames = 64;
// A varying-bitrate stream up to this size is walked frame by frame; a
// longer one is sampled at kSamples places of kSampleSize bytes.
constexpr int64_t kWholeWalkLimit = 2 << 20;
constexpr int kSamples = 16;
constexpr int kSampleSize = 16384;

// The start-of-stream scan's bounds: counted positions, and all positions.
constexpr int kScanCounted = 32768;
constexpr int64_t kScanReach = 1 << 20;
// Free-format frames are looked for within these lengths: from the
// shortest frame that any bitrate gives to more than a frame buffer holds.
constexpr int kMinFreeFrame = 24;
constexpr int kMaxFreeFrame = 4096;
// Free-format candidates looked at per scan; the rest are passed over, so
// that a stream full of them costs no more than this many searches.
constexpr int kFreeFormatTries = 64;

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Whether the input ends exactly `at` bytes behind the read position.
bool EndsAt(StreamCursor& in, int at) {
    uint8_t b;
    return in.Peek(at, &b, 1) == 0 && (at == 0 || in.Peek(at - 1, &b, 1) == 1);
}

// Whether an ID3v1 tag fills the last 128 bytes of the input from `at` on.
bool Id3v1At(StreamCursor& in, int at) {
    uint8_t t[3];
    return in.Peek(at, t, 3) == 3 && std::memcmp(t, "TAG", 3) == 0 && EndsAt(in, at + 128);
}

// A free-format header like word: the same sync, version, layer and sample
// rate, and bitrate index 0.
bool FreeFormatLike(uint32_t x, uint32_t word) {
    return ((x ^ word) & 0xFFFE0C00u) == 0 && (x & 0x0000F000u) == 0;
}

// A free-format frame has no length in its header: the next header like it
// gives one, and the header behind that must lie one such length (give or
// take a padding slot) further on, unless the input ends first.
bool FreeFormatConfirmed(StreamCursor& in, uint32_t word) {
    HeaderFields h = ParseHeaderWord(word);
    if (h.layer < 1 || h.layer > 3 || h.sampleRateIndex < 0) return false;
    int slot = h.layer == 1 ? 4 : 1;
    uint8_t buf[2 * kMaxFreeFrame + 8];
    int got = in.Peek(0, buf, static_cast<int>(sizeof buf));
    int len = -1;
    for (int i = kMinFreeFrame; i <= kMaxFreeFrame && i + 4 <= got; ++i)
        if (FreeFormatLike(Be32(buf + i), word)) {
            len = i;
            break;
        }
    if (len < 0) return false;
    for (int i = 2 * len - slot; i <= 2 * len + slot; ++i) {
        if (i + 4 > got) return true;
        if (FreeFormatLike(Be32(buf + i), word)) return true;
    }
    return false;
}

// Skips a RIFF/WAVE header whose format is MPEG audio up to the payload of
// its data chunk: the data chunk's size, or -1 (nothing skipped). The chunks
// in front of the data (fmt, fact, a short LIST) must lie within reach of
// Peek; behind a longer one the scan finds the frames itself.
int64_t SkipWaveHeader(StreamCursor& in) {
    uint8_t h[12];
    if (in.Peek(0, h, 12) < 12 || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0)
        return -1;
    int format = -1;
    int at = 12;
    while (at + 10 <= StreamCursor::kPeekReach) {
        uint8_t c[10];
        int got = in.Peek(at, c, 10);
        if (got < 8) return -1;
        uint32_t size = Le32(c + 4);
        if (std::memcmp(c, "fmt ", 4) == 0 && got == 10) format = c[8] | (c[9] << 8);
        if (std::memcmp(c, "data", 4) == 0) {
            // WAVE_FORMAT_MPEG (Layers I and II) and WAVE_FORMAT_MPEGLAYER3.
            if (format != 0x50 && format != 0x55) return -1;
            return in.Skip(at + 8) == at + 8 ? static_cast<int64_t>(size) : -1;
        }
        int64_t next = at + 8 + int64_t(size) + (size & 1);  // chunks are padded to even lengths
        if (next > StreamCursor::kPeekReach) return -1;
        at = static_cast<int>(next);
    }
    return -1;
}

// A local file read through a buffer that covers Peek's reach.
class FileCursor : public StreamCursor {
public:
    FileCursor(plat::File file, int64_t size) : file_(file), size_(size), buf_(new uint8_t[kBufSize]) {}
    int Peek(int ahead, uint8_t* dst, int n) override {
        if (ahead < 0 || n <= 0 || ahead + n > kPeekReach) return 0;
        int64_t from = pos_ + ahead;
        int64_t bufEnd = bufAt_ + bufLen_;
        if (from < bufAt_ || (from + n > bufEnd && bufEnd < size_)) {
            bufAt_ = pos_;
            bufLen_ = 0;
            if (plat::FileSeek(file_, pos_, plat::SeekBegin) == pos_) {
                int got = plat::FileRead(file_, buf_.get(), kBufSize);
                bufLen_ = got > 0 ? got : 0;
            }
            bufEnd = bufAt_ + bufLen_;
        }
        int64_t avail = bufEnd - from;
        if (avail <= 0) return 0;
        if (avail > n) avail = n;
        std::memcpy(dst, buf_.get() + (from - bufAt_), static_cast<size_t>(avail));
        return static_cast<int>(avail);
    }
    int64_t Skip(int64_t n) override {
        if (n <= 0) return 0;
        if (n > size_ - pos_) n = size_ - pos_;
        pos_ += n;
        return n;
    }
    bool Seekable() const override { return true; }
    bool Rewind(int64_t n) override {
        if (n < 0 || n > pos_) return false;
        pos_ -= n;
        return true;
    }
    int64_t Tell() const { return pos_; }

private:
    static constexpr int kBufSize = 2 * kPeekReach;
    plat::File file_;
    int64_t size_;
    int64_t pos_ = 0;
    int64_t bufAt_ = 0;  // file offset of buf_[0]
    int bufLen_ = 0;
    std::unique_ptr<uint8_t[]> buf_;
};

struct Walk {
    int64_t bytes;  // bytes of the frames walked
    int count;      // frames walked
    bool constant;  // all of them at the first one's bitrate
    bool ended;     // the walk reached the end of the buffer
};

// Walks the frames like ref from buf[pos] while they match and lie within
// the buffer.
Walk WalkFrames(const uint8_t* buf, int64_t len, int64_t pos, uint32_t ref, int limit) {
    Walk walk{0, 0, true, false};
    while (walk.count < limit) {
        if (pos + 4 > len) {
            walk.ended = true;
            break;
        }
        uint32_t word = Be32(buf + pos);
        if (!HeaderMatches(word, ref)) break;
        if (((word ^ ref) & 0x0000F000u) != 0) walk.constant = false;
        int64_t frameLen = HeaderBodyLength(word) + 4;
        pos += frameLen;
        walk.bytes += frameLen;
        ++walk.count;
    }
    return walk;
}

// The frame at offset i of buf (got bytes) when it is like ref and the
// next header confirms it; the first such frame at or behind i, or -1.
int FindConfirmedFrame(const uint8_t* buf, int got, uint32_t ref) {
    for (int i = 0; i + 4 <= got; ++i) {
        uint32_t word = Be32(buf + i);
        if (!HeaderMatches(word, ref)) continue;
        int64_t next = i + 4 + HeaderBodyLength(word);
        if (next + 4 <= got && HeaderMatches(Be32(buf + next), ref)) return i;
    }
    return -1;
}

// Whether the frames a quarter, half and three quarters into [from, end)
// have ref's bitrate: a stream that starts at a constant bitrate may still
// change it later.
bool SameBitrateFurtherOn(plat::File file, int64_t from, int64_t end, uint32_t ref) {
    uint8_t buf[4096];
    for (int k = 1; k < 4; ++k) {
        int64_t at = from + (end - from) * k / 4;
        if (plat::FileSeek(file, at, plat::SeekBegin) != at) continue;
        int got = plat::FileRead(file, buf, sizeof buf);
        int i = got >= 8 ? FindConfirmedFrame(buf, got, ref) : -1;
        if (i >= 0 && ((Be32(buf + i) ^ ref) & 0x0000F000u) != 0) return false;
    }
    return true;
}

// Frames of a varying-bitrate stream without a Xing/Info or VBRI count, in
// [from, end) of the file. A short stream is walked whole; a long one is
// sampled at evenly spread places, each entered at a header like the
// first that the next one confirms. Falls back on head, the walk of the
// stream's first frames.
double VaryingFrameCount(plat::File file, int64_t from, int64_t end, uint32_t ref, const Walk& head) {
    int64_t rest = end - from;
    double bytes = static_cast<double>(head.bytes), count = head.count;
    if (rest <= kWholeWalkLimit) {
        std::unique_ptr<uint8_t[]> all(new uint8_t[static_cast<size_t>(rest)]);
        if (plat::FileSeek(file, from, plat::SeekBegin) == from &&
            plat::FileRead(file, all.get(), static_cast<uint32_t>(rest)) == static_cast<int>(rest)) {
            Walk walk = WalkFrames(all.get(), rest, 0, ref, INT_MAX);
            if (walk.ended || walk.count == 0) return walk.count ? walk.count : rest / (bytes / count);
            bytes = static_cast<double>(walk.bytes);
            count = walk.count;
            return count + static_cast<double>(rest - walk.bytes) / (bytes / count);
        }
    } else {
        std::unique_ptr<uint8_t[]> window(new uint8_t[kSampleSize]);
        for (int k = 1; k < kSamples; ++k) {
            int64_t at = from + rest * k / kSamples;
            int got;
            if (plat::FileSeek(file, at, plat::SeekBegin) != at ||
                (got = plat::FileRead(file, window.get(), kSampleSize)) < 8)
                continue;
            int i = FindConfirmedFrame(window.get(), got, ref);
            if (i < 0) continue;
            Walk walk = WalkFrames(window.get(), got, i, ref, INT_MAX);
            bytes += static_cast<double>(walk.bytes);
            count += walk.count;
        }
    }
    return static_cast<double>(rest) / (bytes / count);
}

}  // namespace

int64_t SkipToAudio(StreamCursor& in) {
    // ID3v2 tags (ISO/IEC 11172-3 knows none: they are skipped whole, one
    // after the other).
    for (;;) {
        uint8_t h[10];
        if (in.Peek(0, h, 10) < 10) return -1;
        uint32_t size = Id3v2TagSize(h, 10);
        if (size == 0) break;
        if (in.Skip(size) < static_cast<int64_t>(size)) return -1;  // a size beyond the input ends here
    }
    return SkipWaveHeader(in);
}

bool HeaderConfirmed(StreamCursor& in, uint32_t word) {
    if ((word & 0x0000F000u) == 0) return FreeFormatConfirmed(in, word);
    int body = HeaderBodyLength(word);
    if (body < 0) return false;
    int at = 4 + body;
    uint8_t h[4];
    int got = in.Peek(at, h, 4);
    if (got == 4) return HeaderMatches(Be32(h), word) || Id3v1At(in, at);
    return got == 0 && EndsAt(in, at);
}

namespace {

// The cursor seen `ahead` bytes further on, for a look at a candidate
// without moving the read position.
class AheadCursor : public StreamCursor {
public:
    AheadCursor(StreamCursor& in, int ahead) : in_(in), ahead_(ahead) {}
    int Peek(int ahead, uint8_t* dst, int n) override { return in_.Peek(ahead_ + ahead, dst, n); }
    int64_t Skip(int64_t) override { return 0; }
    bool Seekable() const override { return false; }
    bool Rewind(int64_t) override { return false; }

private:
    StreamCursor& in_;
    int ahead_;
};

// How far a candidate's confirmation peeks (two free-format frames and the
// header behind them), and so how far behind the read position a candidate
// can be looked at without moving it.
constexpr int kConfirmReach = 2 * kMaxFreeFrame + 8;
constexpr int kLookAhead = StreamCursor::kPeekReach - kConfirmReach;

// What the header word w, `ahead` bytes behind the read position, starts:
// a confirmed frame with a bitrate, a confirmed free-format frame, or
// nothing (kStartNone).
StartScan Classify(StreamCursor& in, int ahead, uint32_t w, bool passFreeFormat, int* freeTries) {
    if (!HeaderIsValid(w)) return kStartNone;
    AheadCursor at(in, ahead);
    if ((w & 0x0000F000u) != 0) return HeaderConfirmed(at, w) ? kStartFound : kStartNone;
    if (passFreeFormat || (*freeTries)++ >= kFreeFormatTries) return kStartNone;
    return FreeFormatConfirmed(at, w) ? kStartFreeFormat : kStartNone;
}

}  // namespace

StartScan ScanStreamStart(StreamCursor& in, bool passFreeFormat) {
    uint8_t b[4];
    if (in.Peek(0, b, 4) < 4) return kStartShort;
    int freeTries = 0;
    uint32_t w = Be32(b);
    StartScan found = Classify(in, 0, w, passFreeFormat, &freeTries);
    if (found != kStartNone) return found;
    // A header with a bitrate right at the start of the audio is taken as it
    // is (a stream cut inside its first frame, a frame followed by other
    // data) unless the scan finds a confirmed one: then it was other data
    // that looked like a header. An input that cannot go back is looked at
    // only as far as Peek reaches.
    bool tentative = !passFreeFormat && HeaderIsValid(w) && (w & 0x0000F000u) != 0;
    if (tentative && !in.Seekable()) {
        for (int i = 1; i <= kLookAhead && in.Peek(i, b, 4) == 4; ++i) {
            found = Classify(in, i, Be32(b), passFreeFormat, &freeTries);
            if (found != kStartNone) return in.Skip(i) == i ? found : kStartNone;
        }
        return kStartFound;
    }
    int counted = 0;
    int64_t moved = 0;
    for (; moved < kScanReach; ++moved) {
        if (in.Peek(0, b, 4) < 4) break;
        w = Be32(b);
        if (moved > 0 && (found = Classify(in, 0, w, passFreeFormat, &freeTries)) != kStartNone) return found;
        if ((w >> 16) != 0xFFFF && ++counted >= kScanCounted) break;
        if (in.Skip(1) != 1) break;
    }
    if (tentative && in.Rewind(moved)) return kStartFound;
    return kStartNone;
}

bool FileReadAt(void* file, int64_t offset, uint8_t* dst, uint32_t n) {
    auto* f = static_cast<plat::File>(file);
    return plat::FileSeek(f, offset, plat::SeekBegin) == offset && plat::FileRead(f, dst, n) == static_cast<int>(n);
}

int ProbeStream(plat::File file, StreamProbe* probe) {
    std::memset(probe, 0, sizeof *probe);
    probe->firstFrame = -1;
    probe->durationMs = -1;
    int64_t size = plat::FileSize(file);
    if (size < 4) return 0;
    probe->fileSize = size;

    FileCursor in(file, size);
    int64_t data = SkipToAudio(in);
    int64_t start = in.Tell();
    int64_t end = AudioEndBeforeTags(FileReadAt, file, start, size);
    if (data > 0 && start + data < end) end = start + data;
    probe->audioStart = start;
    probe->audioEnd = end;
    if (end - start < 4 || ScanStreamStart(in, false) != kStartFound) return 0;
    int64_t firstAt = in.Tell();
    if (firstAt + 4 > end) return 0;

    // The frames from the first on, as far as the window holds them.
    int64_t audio = end - firstAt;
    int have = static_cast<int>(audio < kWindowSize ? audio : kWindowSize);
    std::unique_ptr<uint8_t[]> window(new uint8_t[static_cast<size_t>(have)]);
    if (plat::FileSeek(file, firstAt, plat::SeekBegin) != firstAt) return 0;
    have = plat::FileRead(file, window.get(), static_cast<uint32_t>(have));
    if (have < 4) return 0;
    const uint8_t* w = window.get();
    uint32_t first = Be32(w);
    HeaderFields h = ParseHeaderWord(first);
    probe->firstFrame = firstAt;
    probe->header = first;
    int firstLen = HeaderBodyLength(first) + 4;

    VbrHeader vbr;
    bool vbrFound = ParseVbrHeader(w, static_cast<size_t>(have < firstLen ? have : firstLen), &vbr);
    probe->vbrPresent = vbrFound;

    double frames;
    if (vbrFound && vbr.frames) {
        frames = vbr.frames;
    } else {
        // Walk the frames in the window: a constant bitrate is counted from
        // the length of the audio, a varying one from its average frame.
        int64_t audioFrom = vbrFound ? firstLen : 0;
        Walk head = WalkFrames(w, have, audioFrom, first, kWalkFrames);
        double rest = static_cast<double>(audio - audioFrom);
        bool walkedAll = head.ended && have == audio;
        bool constant = head.constant && (walkedAll || SameBitrateFurtherOn(file, firstAt + audioFrom, end, first));
        if (head.count == 0 || constant)
            frames = rest / NominalFrameLength(h.layer, h.lsf, h.bitrateIndex, h.sampleRateIndex);
        else
            frames = VaryingFrameCount(file, firstAt + audioFrom, end, first, head);
    }
    if (frames < 0) frames = 0;
    probe->frames = frames > 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(frames);
    double ms = frames * FrameDuration(h.layer, h.lsf, h.sampleRateIndex) * 1000.0;
    GaplessWindow gapless;  // the encoder's input, without its delay and padding
    if (vbrFound && GetGaplessWindow(vbr, SamplesPerFrame(h.layer, h.lsf), &gapless))
        ms = static_cast<double>(gapless.originalSamples) * 1000.0 / kSampleRateTable[h.sampleRateIndex];
    probe->durationMs = static_cast<int64_t>(std::llround(ms));
    return 1;
}
