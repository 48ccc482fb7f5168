// Fuzz target: the user skins' readers. The input is decoded as a BMP
// file, and listed as a zip archive whose every entry is extracted and, when
// that works, decoded as a BMP file in turn. A decoded image must hold
// exactly width * height pixels within the size limits.
#include <cstdint>
#include <string>
#include <vector>

#include "skin/bmp.h"
#include "skin/zip.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

void Decode(const uint8_t* data, size_t size) {
    skin::Image img;
    std::string error;
    if (skin::DecodeBmp(data, size, &img, &error)) {
        fuzz::Check(img.width > 0 && img.height > 0 && img.width <= skin::kBmpMaxSide &&
                        img.height <= skin::kBmpMaxSide,
                    "decoded image outside the size limits");
        fuzz::Check(img.pixels.size() == size_t(img.width) * size_t(img.height), "pixel count differs");
    } else {
        fuzz::Check(!error.empty() && img.pixels.empty(), "refused without a reason");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Decode(data, size);
    std::vector<skin::ZipEntry> entries;
    std::string error;
    if (!skin::ZipList(data, size, &entries, &error)) {
        fuzz::Check(!error.empty(), "archive refused without a reason");
        return 0;
    }
    std::vector<uint8_t> out;
    for (const skin::ZipEntry& e : entries) {
        if (skin::ZipExtract(data, size, e, &out, &error)) {
            fuzz::Check(out.size() == e.size, "extracted size differs");
            Decode(out.data(), out.size());
        }
    }
    return 0;
}
