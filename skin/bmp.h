// A small reader of BMP files (Windows device-independent bitmaps): 1, 4
// and 8 bits with a palette (uncompressed, and RLE4/RLE8), 24 bits, and 32
// bits (plain or with BI_BITFIELDS masks), rows stored bottom-up or
// top-down. Every field is checked against the file before it is used: a
// truncated, oversized or inconsistent file is refused with a reason, in
// time bounded by the file's size and the pixel limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

// Larger images are refused before any pixel memory is taken.
constexpr int kBmpMaxSide = 8192;
constexpr int64_t kBmpMaxPixels = int64_t(4) << 20;

// Pixels as 0x00RRGGBB, row 0 at the top, width * height of them.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Decodes a whole BMP file. On failure returns false with *error saying
// why ("truncated pixel data", "4000 x 4000 is too large", ...) and leaves
// *out empty.
bool DecodeBmp(const uint8_t* data, size_t size, Image* out, std::string* error);

}  // namespace skin
