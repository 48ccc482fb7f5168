// Hand-built Layer III streams whose first frame is written as the LAME
// family of encoders writes it: a Xing/Info header (frames, bytes, table,
// quality), then the LAME extension with the delay, the padding and the tag
// CRC, then silent frames.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "decoder/header.h"

namespace testutil {

enum class LameCrc {
    kInFront,     // over the frame's bytes in front of the CRC field
    kFirst190,    // over the frame's first 190 bytes, the field taken as zero
    kWrong,
    kNoExtension  // the Xing/Info header alone
};

inline std::vector<uint8_t> LameStream(uint32_t word, uint32_t frames, int delay, int padding, LameCrc crc) {
    const size_t length = size_t(HeaderBodyLength(word) + 4);
    std::vector<uint8_t> f(length * (frames + 1), 0);
    auto put = [&](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; i++) f[at + size_t(i)] = uint8_t(v >> (8 * (bytes - 1 - i)));
    };
    for (uint32_t n = 0; n <= frames; n++) put(n * length, word, 4);
    HeaderFields h = ParseHeaderWord(word);
    const size_t xing = 4 + size_t(Layer3SideInfoSize(h.lsf, h.channels)), ext = xing + 120;
    std::memcpy(&f[xing], "Info", 4);
    put(xing + 4, 0x0F, 4);
    put(xing + 8, frames, 4);
    put(xing + 12, (frames + 1) * uint32_t(length), 4);  // the whole stream, as the encoders count it
    for (int i = 0; i < 100; i++) f[xing + 16 + size_t(i)] = uint8_t(i * 256 / 100);
    if (crc == LameCrc::kNoExtension) return f;
    std::memcpy(&f[ext], "LAME3.100", 9);
    put(ext + 21, uint32_t(delay) << 12 | uint32_t(padding), 3);
    // CRC-16, polynomial 0x8005 bit-reversed, from 0.
    uint32_t sum = 0;
    for (size_t i = 0; i < (crc == LameCrc::kFirst190 ? 190 : ext + 34); i++) {
        sum ^= f[i];
        for (int k = 0; k < 8; k++) sum = (sum & 1) ? (sum >> 1) ^ 0xA001 : sum >> 1;
    }
    put(ext + 34, crc == LameCrc::kWrong ? sum ^ 0x0100 : sum, 2);
    return f;
}

}  // namespace testutil
