#include "skin/zip.h"

#include <zlib.h>

#include <cstring>

#include "platform/byte_order.h"

namespace skin {
namespace {

bool Fail(std::string* error, const char* what) {
    *error = what;
    return false;
}

constexpr uint32_t kEndSignature = 0x06054b50, kCentralSignature = 0x02014b50, kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22, kCentralSize = 46, kLocalSize = 30;

}  // namespace

bool ZipList(const uint8_t* data, size_t size, std::vector<ZipEntry>* entries, std::string* error) {
    entries->clear();
    // The end record is the last 22 bytes, or ends a comment of up to 65535.
    if (size < kEndSize) return Fail(error, "not a zip archive");
    const uint8_t* end = nullptr;
    for (size_t at = size - kEndSize;; --at) {
        if (Le32(data + at) == kEndSignature && at + kEndSize + Le16(data + at + 20) == size) {
            end = data + at;
            break;
        }
        if (at == 0 || size - at >= kEndSize + 0xFFFF) break;
    }
    if (!end) return Fail(error, "not a zip archive (no end of central directory)");
    if (Le16(end + 4) != 0 || Le16(end + 6) != 0 || Le16(end + 8) != Le16(end + 10))
        return Fail(error, "multi-disk archive");
    const size_t count = Le16(end + 10);
    const size_t dirSize = Le32(end + 12), dirAt = Le32(end + 16);
    if (count == 0xFFFF || dirAt == 0xFFFFFFFF) return Fail(error, "zip64 archive");
    if (count > kZipMaxEntries) return Fail(error, "too many entries");
    const size_t endAt = size_t(end - data);
    if (dirAt > endAt || dirSize > endAt - dirAt) return Fail(error, "central directory out of bounds");
    const uint8_t* p = data + dirAt;
    const uint8_t* dirEnd = p + dirSize;
    for (size_t i = 0; i < count; ++i) {
        if (size_t(dirEnd - p) < kCentralSize || Le32(p) != kCentralSignature)
            return Fail(error, "damaged central directory");
        const size_t nameLen = Le16(p + 28), extraLen = Le16(p + 30), commentLen = Le16(p + 32);
        if (size_t(dirEnd - p) - kCentralSize < nameLen + extraLen + commentLen)
            return Fail(error, "damaged central directory");
        ZipEntry e;
        e.flags = uint16_t(Le16(p + 8));
        e.method = uint16_t(Le16(p + 10));
        e.crc = Le32(p + 16);
        e.packedSize = Le32(p + 20);
        e.size = Le32(p + 24);
        e.localOffset = Le32(p + 42);
        e.name.assign(reinterpret_cast<const char*>(p + kCentralSize), nameLen);
        if (e.name.find('\0') != std::string::npos) return Fail(error, "entry name holds a NUL");
        entries->push_back(std::move(e));
        p += kCentralSize + nameLen + extraLen + commentLen;
    }
    return true;
}

bool ZipExtract(const uint8_t* data, size_t size, const ZipEntry& e, std::vector<uint8_t>* out,
                std::string* error) {
    out->clear();
    if (e.flags & 1) return Fail(error, "encrypted entry");
    if (e.method != 0 && e.method != 8) return Fail(error, "unsupported compression method");
    if (e.size > kZipMaxEntrySize || e.packedSize == 0xFFFFFFFF) return Fail(error, "entry too large");
    // Deflate expands at most 1032 to 1: a larger stated size is a lie, and
    // is refused before any memory is taken for it.
    if (e.method == 8 && e.size / 1032 > e.packedSize) return Fail(error, "entry size beyond its data");
    if (e.localOffset > size || size - e.localOffset < kLocalSize || Le32(data + e.localOffset) != kLocalSignature)
        return Fail(error, "damaged local header");
    const uint8_t* local = data + e.localOffset;
    const size_t skip = kLocalSize + Le16(local + 26) + Le16(local + 28);
    if (size - e.localOffset < skip || size - e.localOffset - skip < e.packedSize)
        return Fail(error, "entry data out of bounds");
    const uint8_t* packed = local + skip;
    if (e.method == 0) {
        if (e.packedSize != e.size) return Fail(error, "stored entry sizes differ");
        out->assign(packed, packed + e.size);
    } else {
        out->resize(e.size);
        z_stream z;
        std::memset(&z, 0, sizeof z);
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return Fail(error, "zlib could not start");
        z.next_in = const_cast<Bytef*>(packed);
        z.avail_in = e.packedSize;
        Bytef spare = 0;  // a byte beyond the stated size shows a longer stream
        z.next_out = e.size ? out->data() : &spare;
        z.avail_out = e.size ? e.size : 1;
        int rc = inflate(&z, Z_FINISH);
        if (rc == Z_BUF_ERROR && z.total_out == e.size && e.size) {
            z.next_out = &spare;
            z.avail_out = 1;
            rc = inflate(&z, Z_FINISH);
        }
        const bool whole = rc == Z_STREAM_END && z.total_out == e.size;
        inflateEnd(&z);
        if (!whole) {
            out->clear();
            return Fail(error, "damaged deflate data");
        }
    }
    if (crc32(0, out->data(), uInt(out->size())) != e.crc) {
        out->clear();
        return Fail(error, "CRC mismatch");
    }
    return true;
}

}  // namespace skin
