// The decoder's input: the byte source (a local file, or the read end of the
// pipe that the HTTP download fills), the two frame buffers into which the
// frame reader reads each frame body, and the MSB-first bit reader over them.
// Single-threaded module state, touched only by the decoder thread.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/platform.h"

struct InputSource {
    plat::File handle;  // the open file or pipe; nullptr when closed
    int isNetwork;      // 1 when the path contains "://"
    int64_t fileSize;   // size of the local file; 1 for a network stream
};
extern InputSource g_input;

// The frame buffer area. Each slot is a 512-byte reserve, where the Layer III
// reservoir is put in front of the main data, and a body area that holds the
// largest body any accepted header describes (MPEG-2.5 Layer II at 8 kHz and
// 160 kbit/s: 2877 bytes). Behind the two slots lies zeroed slack, so that a
// reader running past the last body (a hostile stream) stays inside the area.
constexpr int kReserveSize = 512;
constexpr int kBodyAreaSize = 3072;
constexpr int kSlotSize = kReserveSize + kBodyAreaSize;
constexpr int kSlackSize = 8192;
constexpr int kFrameAreaSize = 2 * kSlotSize + kSlackSize;
extern uint8_t g_frameArea[kFrameAreaSize];
// FrameBuffer k: the body area of slot k.
inline uint8_t* FrameBuffer(int k) { return g_frameArea + k * kSlotSize + kReserveSize; }

// Frame-reader state shared with the frame reader.
struct FrameReaderState {
    uint8_t* currentBuffer;   // the body of the frame being decoded
    uint8_t* previousBuffer;  // the body of the frame before it
    int currentSize;          // body length of the current frame
    int previousSize;         // body length of the previous frame
    int nextBuffer;           // slot the next frame goes into; toggles per frame
    int SideInfoSize;         // Layer III side information of the current frame, CRC included
};
extern FrameReaderState g_frames;

// Bit reader: a byte pointer into the frame area and a bit position 0..7
// (0 = most significant bit).
struct BitReader {
    const uint8_t* p;
    unsigned bit;
};
extern BitReader g_bits;

// Opens a local file, or a URL through the HTTP stream opener; resets the
// frame reader and zeroes the frame area. Returns 1 on success, 0 on failure.
int OpenInput(const char* path);
// Closes the input. Returns nonzero when a handle was closed.
int CloseInput();

// The next n bits (0..17) as an unsigned value. Reads three bytes at the
// reader's position, which the frame area's slack keeps inside the area.
inline unsigned GetBits(int n) {
    const uint8_t* p = g_bits.p;
    uint32_t w = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    w = ((w << g_bits.bit) & 0xFFFFFFu) >> (24 - n);
    unsigned k = g_bits.bit + unsigned(n);
    g_bits.p = p + (k >> 3);
    g_bits.bit = k & 7;
    return w;
}
// The next n bits (0..9), reading only two bytes.
inline unsigned GetBitsFast(int n) {
    const uint8_t* p = g_bits.p;
    uint32_t w = (uint32_t(p[0]) << 8) | p[1];
    w = ((w << g_bits.bit) & 0xFFFFu) >> (16 - n);
    unsigned k = g_bits.bit + unsigned(n);
    g_bits.p = p + (k >> 3);
    g_bits.bit = k & 7;
    return w;
}
inline unsigned Get1Bit() {
    unsigned v = (g_bits.p[0] >> (7 - g_bits.bit)) & 1u;
    if (++g_bits.bit == 8) {
        g_bits.bit = 0;
        g_bits.p++;
    }
    return v;
}
// b shifted up by n < 32 bits. On 32-bit x86 the count's range lets the
// compiler leave out the test for counts of 32 and more: two instructions
// instead of five, in the loops' chains from one code to the next.
inline uint64_t ShiftUp(uint64_t b, unsigned n) {
#if defined(__i386__)
    return b << (n & 31);
#else
    return b << n;
#endif
}
// The top n bits of b, 0 < n < 32.
inline uint32_t TopBits(uint64_t b, unsigned n) {
#if defined(__i386__)
    return uint32_t(b >> 32) >> ((32 - n) & 31);
#else
    return uint32_t(b >> (64 - n));
#endif
}

// The word the decoding loops cut codes from: the next 64 bits (57 at least
// the stream's) on 64-bit machines, several codes a look; the next 32 (25 at
// least) elsewhere, where a 64-bit shift by a variable count takes several
// instructions and a 64-bit look would not stay in registers.
using LookWord = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
constexpr int kLookBits = 8 * sizeof(LookWord);

// A local copy of the reader for the loops that read value after value: a
// bit position from a byte pointer, kept in registers. Every read loads eight
// bytes at the position, which the frame area's slack keeps inside the area
// as it does for GetBits.
struct BitCursor {
    const uint8_t* base;
    uint32_t pos;

    static BitCursor AtReader() { return {g_bits.p, g_bits.bit}; }
    // Puts the reader where the cursor is.
    void ToReader() const {
        g_bits.p = base + (pos >> 3);
        g_bits.bit = pos & 7;
    }
    // The next 64 bits, the first of them the most significant; the last
    // (pos & 7) of them are zeros, so at least 57 are the stream's.
    uint64_t Peek64() const {
        uint64_t w;
        std::memcpy(&w, base + (pos >> 3), 8);
        return ShiftUp(__builtin_bswap64(w), pos & 7);
    }
    // The next 32 bits, the first of them the most significant.
    uint32_t Peek() const { return uint32_t(Peek64() >> 32); }
    // The next 32 bits of which the last (pos & 7) are zeros, so at least
    // 25 are the stream's: one load and one shift of a 32-bit word, for
    // machines whose 64-bit shifts take several instructions.
    uint32_t Peek25() const {
        uint32_t w;
        std::memcpy(&w, base + (pos >> 3), 4);
        return __builtin_bswap32(w) << (pos & 7);
    }
    // The next kLookBits bits, at least kLookBits - 7 of them the stream's.
    LookWord Look() const {
        if constexpr (kLookBits == 64)
            return Peek64();
        else
            return Peek25();
    }
    // The next n bits (0..25).
    unsigned Get(int n) {
        unsigned v = unsigned((uint64_t(Peek()) << n) >> 32);
        pos += unsigned(n);
        return v;
    }
};
// Puts the last len (0..511) bytes of the previous frame's body in front of
// the current frame's main data and points the reader there.
void PrependReservoir(int len);
// Points the reader at the start of the current frame body.
inline void ResetBitReader() {
    g_bits.p = g_frames.currentBuffer;
    g_bits.bit = 0;
}

// ----------------------------------------------------------- byte access
//
// The frame reader reads the input through a read-ahead buffer, so that it
// can look at the header that a candidate frame predicts before accepting
// it, on a file and on a pipe alike.

// Reads up to n bytes at the read position. Returns the count (0 at the end),
// or -1 when the read failed before anything was read.
int InputRead(void* dst, int n);
// Copies up to n bytes found `ahead` bytes behind the read position without
// consuming them (reading more input when needed). Returns the count copied;
// 0 when ahead + n exceeds kInputPeekReach.
constexpr int kInputPeekReach = 16384;
int InputPeek(int ahead, void* dst, int n);
// Moves the read position n bytes forward (a seek on a file, a read on a
// pipe). Returns the count skipped.
int64_t InputSkip(int64_t n);
// The read position: the offset of the next byte InputRead returns.
int64_t InputTell();
// Moves the read position to an absolute offset of a local file.
bool InputSeek(int64_t offset);
// Ends the input of a local file at offset for InputRead, InputPeek and
// InputSkip (the bytes behind it are tags, not audio); InputSeek may still
// go there. OpenInput lifts the end.
void InputSetEnd(int64_t offset);
