// A small reader of zip archives held in memory: the central directory,
// and entries that are stored or deflated (through zlib). No zip64, no
// encryption, no multi-disk archives: such archives or entries are refused
// with a reason. Sizes are capped so that a hostile archive cannot make the
// reader take more than kZipMaxEntrySize for one entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

constexpr size_t kZipMaxEntries = 4096;
constexpr uint32_t kZipMaxEntrySize = 64u << 20;

struct ZipEntry {
    std::string name;  // as stored ('/' separates folders)
    uint16_t method = 0, flags = 0;
    uint32_t crc = 0, packedSize = 0, size = 0;
    uint32_t localOffset = 0;  // of the entry's local header
};

// Lists the entries of the archive data[0, size). On failure returns false
// with *error saying why.
bool ZipList(const uint8_t* data, size_t size, std::vector<ZipEntry>* entries, std::string* error);

// Extracts one listed entry of the same archive, checking its local header,
// its size and its CRC-32.
bool ZipExtract(const uint8_t* data, size_t size, const ZipEntry& entry, std::vector<uint8_t>* out,
                std::string* error);

}  // namespace skin
