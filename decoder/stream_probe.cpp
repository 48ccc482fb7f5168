// The playing-time estimate of a local file (see stream_probe.h).
#include "decoder/stream_probe.h"

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

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool ReadAt(plat::File f, int64_t offset, void* dst, uint32_t n) {
    return plat::FileSeek(f, offset, plat::SeekBegin) == offset &&
           plat::FileRead(f, dst, n) == static_cast<int>(n);
}

bool UsableHeader(uint32_t w) { return HeaderIsValid(w) && ((w >> 12) & 15) != 0; }

// A candidate at window[i] is confirmed when the header its length predicts
// matches it, or when the audio ends at or inside that next header.
bool Confirmed(const uint8_t* window, int have, int64_t audioLeft, int i, uint32_t w) {
    int64_t next = i + 4 + HeaderBodyLength(w);
    if (next + 4 <= have) return HeaderMatches(Be32(window + next), w);
    return next + 4 > audioLeft && next <= audioLeft;
}

}  // namespace

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
        if (!ReadAt(file, start, h, 10)) break;
        uint32_t tag = Id3v2TagSize(h, 10);
        if (tag == 0) break;
        start += tag;
    }
    if (start > size) start = size;
    int64_t end = size;
    if (end - start >= 128) {
        uint8_t t[3];
        if (ReadAt(file, end - 128, t, 3) && std::memcmp(t, "TAG", 3) == 0) end -= 128;
    }
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
        // the length of the audio, a varying one from the average frame.
        int64_t pos = at + (vbrFound ? firstLen : 0);
        int64_t audioFrom = pos;
        int count = 0;
        bool constant = true;
        while (count < kWalkFrames && pos + 4 <= have) {
            uint32_t word = Be32(w + pos);
            if (!HeaderMatches(word, first)) break;
            if (((word ^ first) & 0x0000F000u) != 0) constant = false;
            pos += HeaderBodyLength(word) + 4;
            ++count;
        }
        double bytes = static_cast<double>(audio - audioFrom);
        if (constant || count == 0)
            frames = bytes / NominalFrameLength(h.layer, h.lsf, h.bitrateIndex, h.sampleRateIndex);
        else
            frames = bytes / (static_cast<double>(pos - audioFrom) / count);
    }
    if (frames < 0) frames = 0;
    probe->frames = frames > 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(frames);
    double ms = frames * FrameDuration(h.layer, h.lsf, h.sampleRateIndex) * 1000.0;
    probe->durationMs = static_cast<int64_t>(std::llround(ms));
    return 1;
}
