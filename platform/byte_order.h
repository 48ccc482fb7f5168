// Multi-byte fields of the file formats, read from bytes in either order.
#pragma once

#include <cstdint>

// The big-endian 32-bit word at p (MPEG header words, the fields of the VBR
// headers and the ID3v2 frames).
inline uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The little-endian 16- and 32-bit words at p (RIFF, APE, BMP and zip fields).
inline uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }
