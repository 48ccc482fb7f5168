// Input source, read-ahead buffer, frame buffers and the bit reservoir.
#include "decoder/input.h"

#include <cstring>

#include "decoder/frame.h"
#include "output/url_input.h"

InputSource g_input;
alignas(16) uint8_t g_frameArea[kFrameAreaSize];
FrameReaderState g_frames;
BitReader g_bits;

namespace {

// Read-ahead: bytes [start, end) of buf are the input from position `pos` on.
// The buffer is larger than two of the largest frames, so that a candidate
// header and the header its frame length predicts can be seen together.
constexpr int kReadAheadSize = kInputPeekReach;
struct ReadAhead {
    uint8_t buf[kReadAheadSize];
    int start;
    int end;
    int64_t pos;  // input offset of buf[start]
    bool eof;     // the source has reported its end (or a failure)
} g_ra;

// Where InputSetEnd ended a local file's input; -1 for none.
int64_t g_inputEnd = -1;

// n cut so that the n bytes at offset at end by g_inputEnd.
int WithinEnd(int64_t at, int n) {
    if (g_inputEnd < 0 || at + n <= g_inputEnd) return n;
    return at >= g_inputEnd ? 0 : static_cast<int>(g_inputEnd - at);
}

void ResetReadAhead(int64_t pos) {
    g_ra.start = g_ra.end = 0;
    g_ra.pos = pos;
    g_ra.eof = false;
}

// Makes at least `want` bytes available (fewer at the end of the input).
void Fill(int want) {
    if (want > kReadAheadSize) want = kReadAheadSize;
    while (g_ra.end - g_ra.start < want && !g_ra.eof) {
        if (g_ra.start > 0 && g_ra.end + (want - (g_ra.end - g_ra.start)) > kReadAheadSize) {
            std::memmove(g_ra.buf, g_ra.buf + g_ra.start, static_cast<size_t>(g_ra.end - g_ra.start));
            g_ra.end -= g_ra.start;
            g_ra.start = 0;
        }
        // A file is read in large pieces; a pipe only as far as needed, so
        // that a slow stream is never waited for beyond what is asked.
        int need = want - (g_ra.end - g_ra.start);
        int room = kReadAheadSize - g_ra.end;
        int ask = WithinEnd(g_ra.pos + (g_ra.end - g_ra.start), g_input.isNetwork ? need : room);
        if (ask <= 0) {
            g_ra.eof = true;
            break;
        }
        int got = plat::FileRead(g_input.handle, g_ra.buf + g_ra.end, static_cast<uint32_t>(ask));
        if (got <= 0) {
            g_ra.eof = true;
            break;
        }
        g_ra.end += got;
    }
}

}  // namespace

int InputRead(void* dst, int n) {
    if (!g_input.handle) return -1;
    auto* out = static_cast<uint8_t*>(dst);
    int done = 0;
    while (done < n) {
        if (g_ra.start == g_ra.end) {
            // Large reads (frame bodies) go straight through once the buffer is empty.
            if (n - done >= kReadAheadSize / 2 || g_ra.eof) {
                int ask = WithinEnd(g_ra.pos, n - done);
                if (g_ra.eof || ask <= 0) break;
                int got = plat::FileRead(g_input.handle, out + done, static_cast<uint32_t>(ask));
                if (got <= 0) {
                    g_ra.eof = true;
                    break;
                }
                done += got;
                g_ra.pos += got;
                continue;
            }
            Fill(n - done);
            if (g_ra.start == g_ra.end) break;
        }
        int take = g_ra.end - g_ra.start;
        if (take > n - done) take = n - done;
        std::memcpy(out + done, g_ra.buf + g_ra.start, static_cast<size_t>(take));
        g_ra.start += take;
        g_ra.pos += take;
        done += take;
    }
    return done;
}

int InputPeek(int ahead, void* dst, int n) {
    if (!g_input.handle || ahead < 0 || n <= 0) return 0;
    if (ahead + n > kReadAheadSize) return 0;
    Fill(ahead + n);
    int avail = g_ra.end - g_ra.start - ahead;
    if (avail <= 0) return 0;
    if (avail > n) avail = n;
    std::memcpy(dst, g_ra.buf + g_ra.start + ahead, static_cast<size_t>(avail));
    return avail;
}

int64_t InputSkip(int64_t n) {
    if (!g_input.handle || n <= 0) return 0;
    int64_t buffered = g_ra.end - g_ra.start;
    if (n <= buffered) {
        g_ra.start += static_cast<int>(n);
        g_ra.pos += n;
        return n;
    }
    if (!g_input.isNetwork) {
        int64_t target = g_ra.pos + n;
        int64_t size = plat::FileSize(g_input.handle);
        if (size >= 0 && target > size) target = size;
        if (g_inputEnd >= 0 && target > g_inputEnd) target = g_inputEnd > g_ra.pos ? g_inputEnd : g_ra.pos;
        int64_t from = g_ra.pos;
        if (!InputSeek(target)) return 0;
        return target - from;
    }
    int64_t done = 0;
    uint8_t scratch[4096];
    while (done < n) {
        int64_t want = n - done < int64_t(sizeof scratch) ? n - done : int64_t(sizeof scratch);
        int got = InputRead(scratch, static_cast<int>(want));
        if (got <= 0) break;
        done += got;
    }
    return done;
}

int64_t InputTell() { return g_ra.pos; }

bool InputSeek(int64_t offset) {
    if (!g_input.handle || g_input.isNetwork || offset < 0) return false;
    if (plat::FileSeek(g_input.handle, offset, plat::SeekBegin) != offset) return false;
    ResetReadAhead(offset);
    return true;
}

void InputSetEnd(int64_t offset) {
    g_inputEnd = offset < 0 ? 0 : offset;
    int64_t buffered = g_ra.end - g_ra.start;
    if (g_ra.pos + buffered > g_inputEnd)
        g_ra.end = g_ra.start + static_cast<int>(g_inputEnd > g_ra.pos ? g_inputEnd - g_ra.pos : 0);
}

int OpenInput(const char* path) {
    if (!path) return 0;
    CloseInput();
    g_inputEnd = -1;
    g_input.isNetwork = 0;
    size_t len = std::strlen(path);
    for (size_t i = 0; i + 4 <= len; i++)  // start positions 0 .. length-4
        if (path[i] == ':' && path[i + 1] == '/' && path[i + 2] == '/') g_input.isNetwork = 1;

    if (!g_input.isNetwork) {
        g_input.handle = plat::FileOpenRead(path);
        if (!g_input.handle) return 0;
        int64_t size = plat::FileSize(g_input.handle);
        g_input.fileSize = size < 0 ? 0 : size;
    } else {
        g_input.handle = OpenUrlInput(path);
        if (!g_input.handle) return 0;
        g_input.fileSize = 1;
    }
    ResetReadAhead(0);

    std::memset(g_frameArea, 0, sizeof g_frameArea);
    g_bits.bit = 0;
    g_frames.previousSize = g_frames.currentSize = 0;
    g_frames.SideInfoSize = 0;
    g_frames.nextBuffer = 0;
    // Slot 1's reserve only serves as the "previous frame" of the first frame.
    g_frames.currentBuffer = g_frameArea + kSlotSize;
    g_frames.previousBuffer = g_frames.currentBuffer;
    g_bits.p = g_frames.currentBuffer;
    ResetFrameReader();
    return 1;
}

int CloseInput() {
    if (!g_input.handle) return 0;
    int wasNetwork = g_input.isNetwork;
    plat::FileClose(g_input.handle);
    g_input.handle = nullptr;
    if (wasNetwork) CloseUrlInput();
    ResetReadAhead(0);
    return 1;
}

void PrependReservoir(int len) {
    if (len < 0) len = 0;
    if (len > kReserveSize - 1) len = kReserveSize - 1;
    uint8_t* dst = g_frames.currentBuffer + g_frames.SideInfoSize - len;
    // The previous body's tail; a body shorter than len is preceded by its own
    // reservoir, which holds the older main data, so the copy stays valid and
    // inside the previous slot.
    const uint8_t* src = g_frames.previousBuffer + g_frames.previousSize - len;
    if (len > 0) std::memmove(dst, src, static_cast<size_t>(len));
    g_bits.p = dst;
    g_bits.bit = 0;
}
