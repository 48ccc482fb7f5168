// The stream's layout: what stands around the audio, the start-of-stream
// scan, the VBR header and the frames counted (see stream_probe.h).
#include "decoder/stream_probe.h"

#include <climits>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <memory>

#include "decoder/header.h"

namespace {

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

// A local file read through a buffer that covers Peek's reach, up to an
// end that SetEnd may bring nearer.
class FileCursor : public StreamCursor {
public:
    FileCursor(plat::File file, int64_t size)
        : file_(file), size_(size), bufSize_(size < kBufSize ? static_cast<int>(size) : kBufSize),
          buf_(new uint8_t[static_cast<size_t>(bufSize_) + 1]) {}
    int Peek(int ahead, uint8_t* dst, int n) override {
        if (ahead < 0 || n <= 0 || ahead + n > kPeekReach) return 0;
        int64_t from = pos_ + ahead;
        int64_t bufEnd = bufAt_ + bufLen_;
        if (from < bufAt_ || (from + n > bufEnd && bufEnd < size_)) {
            bufAt_ = pos_;
            bufLen_ = 0;
            if (plat::FileSeek(file_, pos_, plat::SeekBegin) == pos_) {
                int64_t room = size_ - pos_;
                int got = room > 0 ? plat::FileRead(file_, buf_.get(), uint32_t(room < bufSize_ ? room : bufSize_)) : 0;
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
    // The bytes from end on are not the stream's (tags behind the audio).
    void SetEnd(int64_t end) {
        size_ = end;
        if (bufAt_ + bufLen_ > end) bufLen_ = static_cast<int>(end > bufAt_ ? end - bufAt_ : 0);
    }

private:
    static constexpr int kBufSize = 2 * kPeekReach;
    plat::File file_;
    int64_t size_;
    int bufSize_;  // a small file is buffered whole
    int64_t pos_ = 0;
    int64_t bufAt_ = 0;  // file offset of buf_[0]
    int bufLen_ = 0;
    std::unique_ptr<uint8_t[]> buf_;
};

// Header words of a local file read forward through a large buffer.
class WordReader {
public:
    WordReader(plat::File file, int64_t begin, int64_t end)
        : file_(file), end_(end), size_(end - begin < kSize ? static_cast<int>(end - begin) + 4 : kSize),
          buf_(new uint8_t[static_cast<size_t>(size_)]) {}
    // The word at offset at; false when it does not lie wholly before the end.
    bool At(int64_t at, uint32_t* w) {
        if (at < 0 || at + 4 > end_) return false;
        if (at < bufAt_ || at + 4 > bufAt_ + bufLen_) {
            bufAt_ = at;
            bufLen_ = 0;
            int64_t room = end_ - at;
            if (plat::FileSeek(file_, at, plat::SeekBegin) == at) {
                int got = plat::FileRead(file_, buf_.get(), uint32_t(room < size_ ? room : size_));
                bufLen_ = got > 0 ? got : 0;
            }
            if (bufLen_ < 4) return false;
        }
        *w = Be32(buf_.get() + (at - bufAt_));
        return true;
    }

private:
    static constexpr int kSize = 1 << 16;
    plat::File file_;
    int64_t end_;
    int size_;  // the buffer's: a short stream is read whole
    int64_t bufAt_ = 0;
    int bufLen_ = 0;
    std::unique_ptr<uint8_t[]> buf_;
};

// Positions the frame reader's in-stream resynchronisation looks at behind
// the place where a header was expected.
constexpr int kResyncReach = 32767;

struct Walk {
    uint32_t count;  // frames walked
    bool constant;   // all of them at the reference's bitrate
    bool ended;      // the walk reached the end of the stream
    int64_t pos;     // where the next frame's header is looked for
    uint32_t word;   // the header word last accepted
};

// Walks the frames as the frame reader reads them, from the frame at
// walk->pos with header walk->word, for at most limit frames: a frame is
// read when its header and at least one body byte lie before the end; the
// next header is expected where the frame ends, and when it is not like
// ref, it is looked for in the bytes behind that place.
void WalkFrames(WordReader& in, int64_t end, uint32_t ref, uint32_t limit, Walk* walk) {
    for (uint32_t n = 0; n < limit; n++) {
        if (walk->pos + 4 >= end) {
            walk->ended = true;
            return;
        }
        walk->count++;
        if (((walk->word ^ ref) & 0x0000F000u) != 0) walk->constant = false;
        walk->pos += 4 + HeaderBodyLength(walk->word);
        uint32_t w;
        if (!in.At(walk->pos, &w)) {
            walk->ended = true;
            return;
        }
        int i = 0;
        while (!HeaderMatches(w, ref)) {
            if (++i > kResyncReach || !in.At(walk->pos + i, &w)) {
                walk->ended = true;  // the reader gives up here too
                return;
            }
        }
        walk->pos += i;
        walk->word = w;
    }
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
        int64_t room = end - at;
        int got = plat::FileRead(file, buf, uint32_t(room < int64_t(sizeof buf) ? room : int64_t(sizeof buf)));
        int i = got >= 8 ? FindConfirmedFrame(buf, got, ref) : -1;
        if (i >= 0 && ((Be32(buf + i) ^ ref) & 0x0000F000u) != 0) return false;
    }
    return true;
}

// The audio frames behind the first frame (and behind its VBR header frame).
uint32_t CountFrames(plat::File file, const StreamLayout& lay) {
    const int64_t end = lay.audioEnd;
    const uint32_t ref = lay.header;
    const bool whole = end - lay.firstFrame <= kExactCountLimit;
    // A long stream whose VBR header gives its length in bytes right is
    // taken at its word: its frames are not walked.
    if (!whole && lay.vbr.frames && lay.vbr.bytes == end - lay.firstFrame) return lay.vbr.frames;
    WordReader in(file, lay.firstFrame, end);
    Walk walk{0, true, false, lay.firstFrame, ref};
    constexpr uint32_t kHeadFrames = 64;  // walked before a long stream is judged constant
    WalkFrames(in, end, ref, whole ? UINT32_MAX : kHeadFrames, &walk);
    uint32_t header = lay.vbr.present ? 1 : 0;
    if (!walk.ended) {
        HeaderFields h = ParseHeaderWord(ref);
        int64_t from = lay.firstFrame + (lay.vbr.present ? lay.vbrFrameLen : 0);
        if (walk.constant && SameBitrateFurtherOn(file, from, end, ref)) {
            // Padding makes the average frame exactly nominal; a remainder
            // longer than a header is a frame cut short.
            double nominal = NominalFrameLength(h.layer, h.lsf, h.bitrateIndex, h.sampleRateIndex);
            double frames = (static_cast<double>(end - from) + nominal - 5.0) / nominal;
            return frames <= 0 ? 0 : frames >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(frames);
        }
        WalkFrames(in, end, ref, UINT32_MAX, &walk);
    }
    return walk.count > header ? walk.count - header : 0;
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
    // One position after the other; a file is looked at in blocks that a
    // candidate's confirmation can still see past (a pipe a position at a
    // time, so that a slow stream is not waited for).
    int counted = 0;
    int64_t moved = 0;
    uint8_t block[kLookAhead + 3];
    const int want = in.Seekable() ? static_cast<int>(sizeof block) : 4;
    for (bool more = true; more && moved < kScanReach;) {
        int got = in.Peek(0, block, want);
        int i = 0;
        more = got == want;
        for (; i + 4 <= got && moved + i < kScanReach; ++i) {
            w = Be32(block + i);
            if (moved + i > 0 && (found = Classify(in, i, w, passFreeFormat, &freeTries)) != kStartNone)
                return in.Skip(i) == i ? found : kStartNone;
            if ((w >> 16) != 0xFFFF && ++counted >= kScanCounted) {
                more = false;
                break;
            }
        }
        int64_t skipped = in.Skip(i);
        moved += skipped;
        if (skipped != i) break;
    }
    if (tentative && in.Rewind(moved)) return kStartFound;
    return kStartNone;
}

bool FileReadAt(void* file, int64_t offset, uint8_t* dst, uint32_t n) {
    auto* f = static_cast<plat::File>(file);
    return plat::FileSeek(f, offset, plat::SeekBegin) == offset && plat::FileRead(f, dst, n) == static_cast<int>(n);
}

void ResolveLayoutLengths(StreamLayout* lay, bool countKnown) {
    HeaderFields h = ParseHeaderWord(lay->header);
    const int spf = SamplesPerFrame(h.layer, h.lsf);
    lay->gapless = GetGaplessWindow(lay->vbr, spf, &lay->window) && (!countKnown || lay->vbr.frames == lay->frames);
    if (!countKnown) {
        lay->samples = lay->gapless ? lay->window.originalSamples : 0;
        lay->durationMs = -1;
        return;
    }
    lay->samples = lay->gapless ? lay->window.originalSamples : int64_t(lay->frames) * spf;
    lay->durationMs = -1;
    if (lay->frames > 0 && h.sampleRateIndex >= 0)
        lay->durationMs = lay->samples * 1000 / kSampleRateTable[h.sampleRateIndex];  // whole seconds agree
}

bool LayoutProblem(const StreamLayout& lay, const char** text, const char** caption) {
    *caption = "Decoder Error Message...";
    switch (lay.scan) {
    case kStartShort: *text = "This file holds no MPEG audio frames"; return true;
    case kStartNone:
        *text = "This does not look like a valid MPEG Audio File";
        *caption = "Synchronization Error...";
        return true;
    case kStartFreeFormat: return false;
    case kStartFound: break;
    }
    // A network input's frames are not counted: only its VBR header frame
    // with nothing behind it is known to hold none.
    if (lay.frames > 0 || (lay.fileSize == 0 && !lay.vbr.present)) return false;
    *text = lay.vbr.present ? "This file holds a VBR header frame and no audio frames"
                            : "This file holds no MPEG audio frames";
    return true;
}

int ReadStreamLayout(plat::File file, StreamLayout* lay) {
    std::memset(lay, 0, sizeof *lay);
    lay->scan = kStartShort;
    lay->firstFrame = -1;
    lay->durationMs = -1;
    lay->apeFooter = -1;
    int64_t size = plat::FileSize(file);
    if (size < 0) size = 0;
    lay->fileSize = size;

    FileCursor in(file, size);
    int64_t data = SkipToAudio(in);
    int64_t start = in.Tell();
    int64_t end = AudioEndBeforeTags(FileReadAt, file, start, size, nullptr, &lay->apeFooter);
    if (data > 0 && start + data < end) end = start + data;
    lay->audioStart = start;
    lay->audioEnd = end;
    in.SetEnd(end);
    lay->scan = ScanStreamStart(in, false);
    if (lay->scan != kStartFound && lay->scan != kStartFreeFormat) return 0;
    lay->firstFrame = in.Tell();
    uint8_t hb[4];
    if (in.Peek(0, hb, 4) < 4) return 0;
    lay->header = Be32(hb);
    if (lay->scan != kStartFound) return 0;

    // The first frame, zero-filled behind the end as the frame reader reads
    // it, for its VBR header.
    const int firstLen = HeaderBodyLength(lay->header) + 4;
    if (lay->firstFrame + 4 < end) {
        std::unique_ptr<uint8_t[]> frame(new uint8_t[static_cast<size_t>(firstLen)]());
        int64_t room = end - lay->firstFrame;
        uint32_t want = static_cast<uint32_t>(room < firstLen ? room : firstLen);
        if (FileReadAt(file, lay->firstFrame, frame.get(), want) &&
            ParseVbrHeader(frame.get(), static_cast<size_t>(firstLen), &lay->vbr))
            lay->vbrFrameLen = static_cast<uint32_t>(firstLen);
    }
    lay->frames = CountFrames(file, *lay);
    ResolveLayoutLengths(lay, true);
    return lay->frames > 0 ? 1 : 0;
}
