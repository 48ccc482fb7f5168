// Hand-built first frames of Layer III streams as the LAME family of
// encoders writes them: a Xing/Info header (frame count, byte count, table,
// quality) followed by the LAME extension with the encoder delay and padding
// and its tag CRC.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "decoder/header.h"

namespace testutil {

enum class LameCrc {
    kInFront,     // over the frame's bytes in front of the CRC field
    kFirst190,    // over the frame's first 190 bytes, the field taken as zero
    kWrong,       // one that matches neither
    kNoExtension  // a Xing/Info header alone, zeros behind it
};

// CRC-16, polynomial 0x8005 reflected (0xA001), initial value 0.
inline uint16_t LameCrc16(const std::vector<uint8_t>& b, size_t n) {
    uint16_t crc = 0;
    for (size_t i = 0; i < n; i++) {
        crc = uint16_t(crc ^ b[i]);
        for (int k = 0; k < 8; k++) crc = uint16_t((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

inline std::vector<uint8_t> LameInfoFrame(uint32_t word, uint32_t frames, int delay, int padding, LameCrc crc) {
    const int length = HeaderBodyLength(word) + 4;
    std::vector<uint8_t> f(size_t(length), 0);
    auto put = [&](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; i++) f[at + size_t(i)] = uint8_t(v >> (8 * (bytes - 1 - i)));
    };
    put(0, word, 4);
    HeaderFields h = ParseHeaderWord(word);
    const size_t xing = 4 + size_t(Layer3SideInfoSize(h.lsf, h.channels));
    std::memcpy(&f[xing], "Info", 4);
    put(xing + 4, 0x0F, 4);
    put(xing + 8, frames, 4);
    put(xing + 12, frames * uint32_t(length), 4);
    for (int i = 0; i < 100; i++) f[xing + 16 + size_t(i)] = uint8_t(i * 256 / 100);
    if (crc == LameCrc::kNoExtension) return f;
    const size_t ext = xing + 120;
    std::memcpy(&f[ext], "LAME3.100", 9);
    put(ext + 21, uint32_t(delay) << 12 | uint32_t(padding), 3);
    const size_t field = ext + 34;
    uint16_t value = crc == LameCrc::kFirst190 ? LameCrc16(f, 190) : LameCrc16(f, field);
    if (crc == LameCrc::kWrong) value = uint16_t(value ^ 0x0100);
    put(field, value, 2);
    return f;
}

// The frame followed by `frames` silent frames of the same header.
inline std::vector<uint8_t> LameStream(uint32_t word, uint32_t frames, int delay, int padding, LameCrc crc) {
    std::vector<uint8_t> b = LameInfoFrame(word, frames, delay, padding, crc);
    std::vector<uint8_t> silent(size_t(HeaderBodyLength(word) + 4), 0);
    for (int i = 0; i < 4; i++) silent[size_t(i)] = uint8_t(word >> (24 - 8 * i));
    for (uint32_t n = 0; n < frames; n++) b.insert(b.end(), silent.begin(), silent.end());
    return b;
}

}  // namespace testutil
