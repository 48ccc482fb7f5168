// The playing-time estimate of a local file (see stream_probe.h).
#include "decoder/stream_probe.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "decoder/header.h"

namespace {

// The start-of-stream scan looks this far into the audio, as the frame
// reader's does; the window holds one more frame and the header behind it.
constexpr int kScanLimit = 32768;
constexpr int kWindowSize = kScanLimit + 2 * 3072;
// Frames walked to tell a constant bitrate from a variable one.
constexpr int kWalkFrames = 64;
// A varying-bitrate stream up to this size is walked frame by frame; a
// longer one is sampled at kSamples places of kSampleSize bytes.
constexpr int64_t kWholeWalkLimit = 2 << 20;
constexpr int kSamples = 16;
constexpr int kSampleSize = 16384;

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool UsableHeader(uint32_t w) { return HeaderIsValid(w) && ((w >> 12) & 15) != 0; }

// A candidate at window[i] is confirmed when the header its length predicts
// matches it, or when the audio ends at or inside that next header.
bool Confirmed(const uint8_t* window, int have, int64_t audioLeft, int i, uint32_t w) {
    int64_t next = i + 4 + HeaderBodyLength(w);
    if (next + 4 <= have) return HeaderMatches(Be32(window + next), w);
    return next + 4 > audioLeft && next <= audioLeft;
}

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

    // ID3v2 tags in front (ISO/IEC 11172-3 knows none: they are skipped
    // whole, one after the other).
    int64_t start = 0;
    while (start + 10 <= size) {
        uint8_t h[10];
        if (!FileReadAt(file, start, h, 10)) break;
        uint32_t tag = Id3v2TagSize(h, 10);
        if (tag == 0) break;
        start += tag;
    }
    if (start > size) start = size;
    int64_t end = AudioEndBeforeTags(FileReadAt, file, start, size);
    probe->audioStart = start;
    probe->audioEnd = end;
    int64_t audio = end - start;
    if (audio < 4) return 0;

    int have = static_cast<int>(audio < kWindowSize ? audio : kWindowSize);
    std::unique_ptr<uint8_t[]> window(new uint8_t[static_cast<size_t>(have)]);
    if (plat::FileSeek(file, start, plat::SeekBegin) != start) return 0;
    have = plat::FileRead(file, window.get(), static_cast<uint32_t>(have));
    if (have < 4) return 0;
    const uint8_t* w = window.get();

    // The first header: taken as it is right at the start of the audio,
    // anywhere else only when the next header confirms it.
    int at = -1;
    if (UsableHeader(Be32(w))) {
        at = 0;
    } else {
        int counted = 0;
        for (int i = 1; i + 4 <= have && counted < kScanLimit; ++i) {
            uint32_t word = Be32(w + i);
            if ((word >> 16) == 0xFFFF) continue;
            ++counted;
            if (UsableHeader(word) && Confirmed(w, have, audio, i, word)) {
                at = i;
                break;
            }
        }
    }
    if (at < 0) return 0;
    uint32_t first = Be32(w + at);
    HeaderFields h = ParseHeaderWord(first);
    probe->firstFrame = start + at;
    probe->header = first;
    int firstLen = HeaderBodyLength(first) + 4;

    VbrHeader vbr;
    int avail = have - at;
    bool vbrFound = ParseVbrHeader(w + at, static_cast<size_t>(avail < firstLen ? avail : firstLen), &vbr);
    probe->vbrPresent = vbrFound;

    double frames;
    if (vbrFound && vbr.frames) {
        frames = vbr.frames;
    } else {
        // Walk the frames in the window: a constant bitrate is counted from
        // the length of the audio, a varying one from its average frame.
        int64_t audioFrom = at + (vbrFound ? firstLen : 0);
        Walk head = WalkFrames(w, have, audioFrom, first, kWalkFrames);
        double rest = static_cast<double>(audio - audioFrom);
        bool walkedAll = head.ended && have == audio;
        bool constant = head.constant && (walkedAll || SameBitrateFurtherOn(file, start + audioFrom, end, first));
        if (head.count == 0 || constant)
            frames = rest / NominalFrameLength(h.layer, h.lsf, h.bitrateIndex, h.sampleRateIndex);
        else
            frames = VaryingFrameCount(file, start + audioFrom, end, first, head);
    }
    if (frames < 0) frames = 0;
    probe->frames = frames > 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(frames);
    double ms = frames * FrameDuration(h.layer, h.lsf, h.sampleRateIndex) * 1000.0;
    probe->durationMs = static_cast<int64_t>(std::llround(ms));
    return 1;
}
