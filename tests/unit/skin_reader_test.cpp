// The user skins' readers: BMP files of every supported kind against one
// 3 x 2 picture, hostile BMP files, zip archives, and a skin folder with
// missing and wrong-sized bitmaps.
#include <zlib.h>

#include <cstring>

#include "shell/user_skin.h"
#include "skin/bmp.h"
#include "skin/skin_files.h"
#include "skin/zip.h"
#include "tests/unit/test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes* b, size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) (*b)[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A BMP with a 40-byte info header (a 12-byte one when core), the palette
// (0x00RRGGBB entries; the count goes into biClrUsed unless clrUsed is
// given), extra bytes (colour masks) and the pixel bytes.
Bytes Bmp(int bits, int w, int h, uint32_t compression, std::vector<uint32_t> palette, const Bytes& pixels,
          bool core = false, const Bytes& extra = {}, int64_t clrUsed = -1) {
    const size_t info = core ? 12 : 40, entry = core ? 3 : 4;
    Bytes b(14 + info + extra.size() + palette.size() * entry);
    b[0] = 'B', b[1] = 'M';
    Put(&b, 10, uint32_t(b.size()), 4);
    Put(&b, 14, uint32_t(info), 4);
    if (core) {
        Put(&b, 18, uint32_t(w), 2), Put(&b, 20, uint32_t(h), 2), Put(&b, 22, 1, 2), Put(&b, 24, uint32_t(bits), 2);
    } else {
        Put(&b, 18, uint32_t(w), 4), Put(&b, 22, uint32_t(h), 4), Put(&b, 26, 1, 2), Put(&b, 28, uint32_t(bits), 2);
        Put(&b, 30, compression, 4);
        Put(&b, 46, clrUsed >= 0 ? uint32_t(clrUsed) : uint32_t(palette.size()), 4);
    }
    std::copy(extra.begin(), extra.end(), b.begin() + 14 + long(info));
    for (size_t i = 0; i < palette.size(); ++i) Put(&b, 14 + info + extra.size() + i * entry, palette[i], int(entry));
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

constexpr uint32_t A = 0x112233, B = 0x445566, C = 0x778899;
// The picture every good case holds: top row A B C, bottom row C A B.
const std::vector<uint32_t> kPalette = {A, B, C};
const Bytes kMasks = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};

struct BmpCase {
    const char* name;
    Bytes file;
    const char* error;  // nullptr: decodes to the picture
};

std::vector<BmpCase> Cases() {
    const Bytes rle8 = {1, 2, 1, 0, 1, 1, 0, 0, 1, 0, 1, 1, 1, 2, 0, 1};
    return {
        {"1-bit, two colours: A B A / B A B", Bmp(1, 3, 2, 0, {A, B}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}), nullptr},
        {"4-bit bottom-up", Bmp(4, 3, 2, 0, kPalette, {0x20, 0x10, 0, 0, 0x01, 0x20, 0, 0}), nullptr},
        {"4-bit top-down", Bmp(4, 3, -2, 0, kPalette, {0x01, 0x20, 0, 0, 0x20, 0x10, 0, 0}), nullptr},
        {"8-bit bottom-up", Bmp(8, 3, 2, 0, kPalette, {2, 0, 1, 0, 0, 1, 2, 0}), nullptr},
        {"8-bit top-down", Bmp(8, 3, -2, 0, kPalette, {0, 1, 2, 0, 2, 0, 1, 0}), nullptr},
        {"8-bit core header", Bmp(8, 3, 2, 0, kPalette, {2, 0, 1, 0, 0, 1, 2, 0}, true), nullptr},
        {"24-bit bottom-up", Bmp(24, 3, 2, 0, {}, {0x99, 0x88, 0x77, 0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0, 0, 0,
                                                   0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99, 0x88, 0x77, 0, 0, 0}), nullptr},
        {"32-bit top-down", Bmp(32, 3, -2, 0, {}, {0x33, 0x22, 0x11, 9, 0x66, 0x55, 0x44, 9, 0x99, 0x88, 0x77, 9,
                                                   0x99, 0x88, 0x77, 9, 0x33, 0x22, 0x11, 9, 0x66, 0x55, 0x44, 9}), nullptr},
        {"32-bit bit fields", Bmp(32, 3, 2, 3, {}, {0x99, 0x88, 0x77, 0, 0x33, 0x22, 0x11, 0, 0x66, 0x55, 0x44, 0,
                                                    0x33, 0x22, 0x11, 0, 0x66, 0x55, 0x44, 0, 0x99, 0x88, 0x77, 0}, false, kMasks), nullptr},
        {"RLE8", Bmp(8, 3, 2, 1, kPalette, rle8), nullptr},
        {"RLE4 literal runs", Bmp(4, 3, 2, 2, kPalette, {0, 3, 0x20, 0x10, 0, 0, 0, 3, 0x01, 0x20, 0, 1}), nullptr},
        {"not a BMP", {'B', 'X', 0, 0}, "not a BMP file"},
        {"truncated pixel data", Bmp(8, 3, 2, 0, kPalette, {2, 0, 1, 0, 0}), "truncated pixel data"},
        {"60000 x 60000", Bmp(24, 60000, 60000, 0, {}, {}), "60000 x 60000 is too large"},
        {"zero width", Bmp(24, 0, 2, 0, {}, {}), "empty image"},
        {"16-bit", Bmp(16, 3, 2, 0, {}, Bytes(16)), "unsupported bit depth"},
        {"RLE8 at 4 bits", Bmp(4, 3, 2, 1, kPalette, rle8), "unsupported compression"},
        {"top-down RLE", Bmp(8, 3, -2, 1, kPalette, rle8), "top-down RLE bitmap"},
        {"RLE run past the row", Bmp(8, 3, 2, 1, kPalette, {4, 0, 0, 1}), "RLE run past the end of a row"},
        {"RLE without end mark", Bmp(8, 3, 2, 1, kPalette, {3, 0, 0, 0}), "RLE data ends without an end-of-bitmap mark"},
        {"RLE delta off the image", Bmp(8, 3, 2, 1, kPalette, {0, 2, 1, 5, 0, 1}), "RLE delta past the image"},
        {"RLE literal cut short", Bmp(8, 3, 2, 1, kPalette, {0, 3, 1}), "RLE literal run cut short"},
        {"palette too large", Bmp(1, 3, 2, 0, kPalette, Bytes(8)), "palette larger than the bit depth allows"},
        {"palette past the end", Bmp(8, 3, 2, 0, {}, {}, false, {}, 200), "truncated palette"},
        {"index beyond the palette", Bmp(8, 3, 2, 0, kPalette, {3, 0, 1, 0, 0, 1, 2, 0}), "pixel index beyond the palette"},
        {"masks that are not runs", Bmp(32, 3, 2, 3, {}, Bytes(24), false, Bytes(12, 0x55)), "unsupported colour masks"},
    };
}

TEST(SkinBmp, EveryKindDecodesAndHostileFilesAreRefused) {
    for (const BmpCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        skin::Image img;
        std::string error;
        const bool ok = skin::DecodeBmp(c.file.data(), c.file.size(), &img, &error);
        EXPECT_EQ(ok, c.error == nullptr) << error;
        if (c.error) {
            EXPECT_EQ(error, c.error);
            EXPECT_TRUE(img.pixels.empty());
        } else if (ok) {
            const bool two = std::strncmp(c.name, "1-bit", 5) == 0;
            const std::vector<uint32_t> want = two ? std::vector<uint32_t>{A, B, A, B, A, B}
                                                   : std::vector<uint32_t>{A, B, C, C, A, B};
            EXPECT_EQ(img.width, 3);
            EXPECT_EQ(img.height, 2);
            EXPECT_EQ(img.pixels, want);
        }
        // Every cut of the file is refused.
        for (size_t n = 0; n < c.file.size(); ++n) EXPECT_FALSE(skin::DecodeBmp(c.file.data(), n, &img, &error)) << n;
    }
}

// A zip archive of (name, data, deflate?) entries, written as zip tools do.
Bytes Zip(const std::vector<std::tuple<std::string, Bytes, bool>>& files) {
    Bytes out, dir;
    auto le = [](Bytes* b, uint32_t v, int n) { for (int i = 0; i < n; ++i) b->push_back(uint8_t(v >> (8 * i))); };
    for (const auto& [name, data, deflate] : files) {
        Bytes packed = data;
        if (deflate) {
            uLongf n = compressBound(uLong(data.size()));
            Bytes z(n);
            compress2(z.data(), &n, data.data(), uLong(data.size()), 9);
            packed.assign(z.begin() + 2, z.begin() + long(n) - 4);  // the raw deflate stream
        }
        const uint32_t crc = uint32_t(crc32(0, data.data(), uInt(data.size())));
        const uint32_t at = uint32_t(out.size());
        for (Bytes* b : {&out, &dir}) {
            le(b, b == &out ? 0x04034b50 : 0x02014b50, 4);
            if (b == &dir) le(b, 20, 2);
            le(b, 20, 2), le(b, 0, 2), le(b, deflate ? 8 : 0, 2), le(b, 0, 4), le(b, crc, 4);
            le(b, uint32_t(packed.size()), 4), le(b, uint32_t(data.size()), 4), le(b, uint32_t(name.size()), 2);
            le(b, 0, 2);
            if (b == &dir) le(b, 0, 2), le(b, 0, 2), le(b, 0, 2), le(b, 0, 4), le(b, at, 4);
            b->insert(b->end(), name.begin(), name.end());
        }
        out.insert(out.end(), packed.begin(), packed.end());
    }
    const uint32_t dirAt = uint32_t(out.size());
    out.insert(out.end(), dir.begin(), dir.end());
    le(&out, 0x06054b50, 4), le(&out, 0, 4), le(&out, uint32_t(files.size()), 2), le(&out, uint32_t(files.size()), 2);
    le(&out, uint32_t(dir.size()), 4), le(&out, dirAt, 4), le(&out, 0, 2);
    return out;
}

TEST(SkinZip, StoredAndDeflatedEntriesAndDamage) {
    const Bytes text(3000, 'v');
    Bytes zip = Zip({{"Ember/a.txt", text, true}, {"b.txt", {1, 2, 3}, false}});
    std::vector<skin::ZipEntry> entries;
    std::string error;
    ASSERT_TRUE(skin::ZipList(zip.data(), zip.size(), &entries, &error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "Ember/a.txt");
    Bytes out;
    EXPECT_TRUE(skin::ZipExtract(zip.data(), zip.size(), entries[0], &out, &error) && out == text) << error;
    EXPECT_TRUE(skin::ZipExtract(zip.data(), zip.size(), entries[1], &out, &error) && out == Bytes({1, 2, 3}));
    // Damage: a changed byte of the deflated data, a stated size too small, a cut archive.
    Bytes bad = zip;
    bad[30 + 11 + 2] ^= 0x55;
    EXPECT_FALSE(skin::ZipExtract(bad.data(), bad.size(), entries[0], &out, &error));
    skin::ZipEntry shorter = entries[0];
    shorter.size = 100;
    EXPECT_FALSE(skin::ZipExtract(zip.data(), zip.size(), shorter, &out, &error));
    EXPECT_EQ(error, "damaged deflate data");
    EXPECT_FALSE(skin::ZipList(zip.data(), zip.size() - 1, &entries, &error));
    EXPECT_EQ(error, "not a zip archive (no end of central directory)");
    // Entries that lie about themselves are refused before anything is inflated.
    const std::pair<void (*)(skin::ZipEntry*), const char*> lies[] = {
        {[](skin::ZipEntry* e) { e->size = skin::kZipMaxEntrySize + 1; }, "entry too large"},
        {[](skin::ZipEntry* e) { e->size = 1u << 20; }, "entry size beyond its data"},
        {[](skin::ZipEntry* e) { e->flags = 1; }, "encrypted entry"},
        {[](skin::ZipEntry* e) { e->method = 12; }, "unsupported compression method"},
        {[](skin::ZipEntry* e) { e->localOffset = 7; }, "damaged local header"},
        {[](skin::ZipEntry* e) { e->packedSize = 1u << 20; }, "entry data out of bounds"},
        {[](skin::ZipEntry* e) { e->crc ^= 1; }, "CRC mismatch"},
    };
    ASSERT_TRUE(skin::ZipList(zip.data(), zip.size(), &entries, &error));
    for (const auto& [lie, want] : lies) {
        skin::ZipEntry e = entries[0];
        lie(&e);
        EXPECT_FALSE(skin::ZipExtract(zip.data(), zip.size(), e, &out, &error)) << want;
        EXPECT_EQ(error, want);
    }
}

TEST(UserSkin, MissingAndWrongSizedBitmapsFallBackAndAreNamed) {
    testutil::TempDir dir;
    const std::string skins = dir.Path() + "/";
    std::filesystem::create_directories(dir.File("Odd"));
    for (const SkinBitmapSpec& s : kSkinBitmapSpecs) {
        const int w = s.id == kBmpTransport ? 5 : s.width;
        if (s.id != kBmpLedGlyphs)
            testutil::WriteBytes(dir.File("Odd/" + SkinBitmapFileName(s.id)),
                                 Bmp(24, w, s.height, 0, {}, Bytes(size_t((w * 3 + 3) / 4 * 4 * s.height), 7)));
    }
    UserSkin skin;
    LoadUserSkin(skins, "Odd", &skin);
    EXPECT_EQ(skin.message, "Skin \"Odd\" uses the built-in bitmap for:\r\nskin118.bmp: missing"
                            "\r\nskin121.bmp: 5 x 80 instead of 162 x 80");
    EXPECT_EQ(skin.images[SkinBitmapIndex(kBmpBackground)].At(10, 10), 0x070707u);
    EXPECT_EQ(skin.images[SkinBitmapIndex(kBmpTransport)].width, 0);
    // The same files as an archive.
    std::vector<std::tuple<std::string, Bytes, bool>> files;
    for (const SkinBitmapSpec& s : kSkinBitmapSpecs)
        if (s.id != kBmpLedGlyphs && s.id != kBmpTransport)
            files.emplace_back("Odd/" + SkinBitmapFileName(s.id), testutil::ReadBytes(dir.File("Odd/" + SkinBitmapFileName(s.id))), true);
    testutil::WriteBytes(dir.File("Odd.zip"), Zip(files));
    EXPECT_EQ(skin::ListSkins(skins), std::vector<std::string>({"Odd", "Odd.zip"}));
    LoadUserSkin(skins, "Odd.zip", &skin);
    EXPECT_EQ(skin.message, "Skin \"Odd.zip\" uses the built-in bitmap for:\r\nskin118.bmp: missing\r\nskin121.bmp: missing");
    LoadUserSkin(skins, "Gone", &skin);
    EXPECT_EQ(skin.message, "Skin \"Gone\" cannot be used (missing); the built-in skin is shown.");
    LoadUserSkin(skins, "../Odd", &skin);
    EXPECT_EQ(skin.message, "Skin \"../Odd\" cannot be used (not a skin name); the built-in skin is shown.");
    EXPECT_EQ(SkinChoices(skins), std::vector<std::string>({"Built-in", "Odd", "Odd.zip"}));
    EXPECT_EQ(SkinSettingOf("Built-in"), "");
    EXPECT_EQ(SkinSettingOf("Odd.zip"), "Odd.zip");
}

}  // namespace
