#include "skin/bmp.h"

#include <algorithm>
#include <cstdio>

#include "platform/byte_order.h"

namespace skin {
namespace {

// BITMAPINFOHEADER biCompression values.
enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3 };

bool Fail(std::string* error, const char* what) {
    *error = what;
    return false;
}

// One BI_BITFIELDS channel: a non-empty run of contiguous bits.
struct Channel {
    int shift = 0;
    uint32_t max = 0;
    bool Set(uint32_t mask) {
        if (!mask) return false;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        max = mask;
        return (mask & (mask + 1)) == 0;
    }
    uint32_t Get(uint32_t v) const {
        return uint32_t((uint64_t((v >> shift) & max) * 255 + max / 2) / max);
    }
};

struct Header {
    int64_t width = 0, height = 0;
    bool topDown = false;
    uint32_t bits = 0, compression = kBiRgb, colours = 0;
    Channel r, g, b;
};

// Expands RLE8/RLE4 data into one palette index per pixel, bottom-up rows.
// Pixels the data skips keep index 0.
bool DecodeRle(const uint8_t* p, const uint8_t* end, const Header& h, std::vector<uint8_t>* indices,
               std::string* error) {
    const int64_t w = h.width, rows = h.height;
    const bool four = h.bits == 4;
    int64_t x = 0, y = 0;  // y counts from the bottom row
    auto put = [&](uint8_t v) { (*indices)[size_t((rows - 1 - y) * w + x)] = v; ++x; };
    for (;;) {
        if (end - p < 2) return Fail(error, "RLE data ends without an end-of-bitmap mark");
        const unsigned n = p[0], v = p[1];
        p += 2;
        if (n) {  // a run of n pixels
            if (y >= rows || x + n > w) return Fail(error, "RLE run past the end of a row");
            for (unsigned i = 0; i < n; ++i) put(uint8_t(four ? (i & 1 ? v & 15 : v >> 4) : v));
        } else if (v == 0) {  // end of line
            x = 0;
            ++y;
        } else if (v == 1) {  // end of bitmap
            return true;
        } else if (v == 2) {  // delta
            if (end - p < 2) return Fail(error, "RLE delta cut short");
            x += p[0];
            y += p[1];
            p += 2;
            if (x > w || y > rows || (y == rows && x > 0)) return Fail(error, "RLE delta past the image");
        } else {  // v literal pixels, padded to a 16-bit boundary
            const size_t bytes = four ? (v + 1) / 2 : v;
            const size_t padded = (bytes + 1) & ~size_t(1);
            if (size_t(end - p) < padded) return Fail(error, "RLE literal run cut short");
            if (y >= rows || x + v > w) return Fail(error, "RLE literal run past the end of a row");
            for (unsigned i = 0; i < v; ++i) put(uint8_t(four ? (i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]));
            p += padded;
        }
    }
}

bool ReadHeader(const uint8_t* data, size_t size, Header* h, size_t* paletteAt, size_t* paletteEntry,
                std::string* error) {
    if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return Fail(error, "not a BMP file");
    const uint32_t infoSize = Le32(data + 14);
    const uint8_t* info = data + 14;
    if (infoSize == 12) {  // BITMAPCOREHEADER
        h->width = Le16(info + 4);
        h->height = Le16(info + 6);
        if (Le16(info + 8) != 1) return Fail(error, "planes is not 1");
        h->bits = Le16(info + 10);
        *paletteEntry = 3;
        *paletteAt = 14 + 12;
        return true;
    }
    if (infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 64 && infoSize != 108 &&
        infoSize != 124)
        return Fail(error, "unknown info header size");
    if (size < 14 + size_t(infoSize)) return Fail(error, "truncated header");
    h->width = int32_t(Le32(info + 4));
    h->height = int32_t(Le32(info + 8));
    if (Le16(info + 12) != 1) return Fail(error, "planes is not 1");
    h->bits = Le16(info + 14);
    h->compression = Le32(info + 16);
    h->colours = Le32(info + 32);
    *paletteEntry = 4;
    *paletteAt = 14 + infoSize;
    if (h->height < 0) {
        h->topDown = true;
        h->height = -h->height;
    }
    if (h->compression == kBiBitfields) {
        const uint8_t* masks = info + 40;
        if (infoSize == 40) {  // the three masks follow the header
            if (size < 14 + 40 + 12) return Fail(error, "truncated colour masks");
            *paletteAt += 12;
        }
        if (h->bits != 32 || !h->r.Set(Le32(masks)) || !h->g.Set(Le32(masks + 4)) || !h->b.Set(Le32(masks + 8)))
            return Fail(error, "unsupported colour masks");
    }
    return true;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Image* out, std::string* error) {
    *out = Image();
    Header h;
    size_t paletteAt = 0, entry = 0;
    if (!ReadHeader(data, size, &h, &paletteAt, &entry, error)) return false;
    const uint32_t c = h.compression;
    const bool indexed = h.bits == 1 || h.bits == 4 || h.bits == 8;
    if (!indexed && h.bits != 24 && h.bits != 32) return Fail(error, "unsupported bit depth");
    if (!(c == kBiRgb || (c == kBiRle8 && h.bits == 8) || (c == kBiRle4 && h.bits == 4) ||
          (c == kBiBitfields && h.bits == 32)))
        return Fail(error, "unsupported compression");
    if ((c == kBiRle8 || c == kBiRle4) && h.topDown) return Fail(error, "top-down RLE bitmap");
    if (h.width <= 0 || h.height <= 0) return Fail(error, "empty image");
    if (h.width > kBmpMaxSide || h.height > kBmpMaxSide || h.width * h.height > kBmpMaxPixels) {
        char text[64];
        std::snprintf(text, sizeof text, "%lld x %lld is too large", static_cast<long long>(h.width),
                      static_cast<long long>(h.height));
        return Fail(error, text);
    }

    // The palette. A core header gives no count: its palette fills the gap
    // before the pixels, up to the bit depth's size.
    const uint32_t offBits = Le32(data + 10);
    std::vector<uint32_t> palette;
    if (indexed) {
        const uint32_t most = 1u << h.bits;
        uint32_t n = h.colours ? h.colours : most;
        if (entry == 3 && offBits > paletteAt) n = std::min<uint32_t>(most, uint32_t((offBits - paletteAt) / 3));
        if (n > most) return Fail(error, "palette larger than the bit depth allows");
        if (size < paletteAt || (size - paletteAt) / entry < n) return Fail(error, "truncated palette");
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* q = data + paletteAt + i * entry;
            palette.push_back(uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0]);
        }
    }
    if (offBits > size) return Fail(error, "pixel data offset past the end of the file");
    if (offBits < paletteAt + palette.size() * entry) return Fail(error, "pixel data overlaps the headers");

    const size_t w = size_t(h.width), rows = size_t(h.height);
    Image img;
    img.width = int(w);
    img.height = int(rows);
    img.pixels.resize(w * rows);
    const uint8_t* pixels = data + offBits;
    const size_t avail = size - offBits;
    auto colour = [&](uint32_t index, uint32_t* px) {
        if (index >= palette.size()) return false;
        *px = palette[index];
        return true;
    };
    if (c == kBiRle8 || c == kBiRle4) {
        std::vector<uint8_t> indices(w * rows, 0);
        if (!DecodeRle(pixels, pixels + avail, h, &indices, error)) return false;
        for (size_t i = 0; i < indices.size(); ++i)
            if (!colour(indices[i], &img.pixels[i])) return Fail(error, "pixel index beyond the palette");
    } else {
        const size_t stride = (w * h.bits + 31) / 32 * 4;
        if (avail / stride < rows) return Fail(error, "truncated pixel data");
        for (size_t y = 0; y < rows; ++y) {
            const uint8_t* row = pixels + stride * (h.topDown ? y : rows - 1 - y);
            uint32_t* dst = &img.pixels[y * w];
            for (size_t x = 0; x < w; ++x) {
                if (indexed) {
                    const size_t bit = x * h.bits;
                    const uint32_t v = (row[bit / 8] >> (8 - h.bits - bit % 8)) & ((1u << h.bits) - 1);
                    if (!colour(v, &dst[x])) return Fail(error, "pixel index beyond the palette");
                } else if (h.bits == 24) {
                    const uint8_t* q = row + 3 * x;
                    dst[x] = uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
                } else if (c == kBiBitfields) {
                    const uint32_t v = Le32(row + 4 * x);
                    dst[x] = h.r.Get(v) << 16 | h.g.Get(v) << 8 | h.b.Get(v);
                } else {
                    dst[x] = Le32(row + 4 * x) & 0xFFFFFF;
                }
            }
        }
    }
    *out = std::move(img);
    return true;
}

}  // namespace skin
