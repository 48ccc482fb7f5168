// Fuzz target: a received hand-over record. Bytes 0-3 are the code (little
// endian), bytes 4-7 a size, the rest the record's bytes; the size that
// arrives is never more than the bytes that came along (Windows copies
// exactly that many), so it is cut to them. Any record must give a
// terminated name of at most 259 bytes of valid UTF-8 that, when the bytes
// (up to the first NUL) are UTF-8 themselves, is their longest head that
// fits on a character boundary, and codes above 4 must be refused. No bytes at all
// come as a null pointer with the size as it was sent.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text_codec.h"
#include "shell/startup.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

using fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    uint32_t code = Le32(data);
    uint32_t size32 = Le32(data + 4);
    size_t avail = size - 8;
    if (size32 > avail && code != kHandOverPlayIndex) size32 = static_cast<uint32_t>(avail);
    // A copy of exactly the bytes that arrive, so that a read past them shows.
    std::vector<uint8_t> bytes(data + 8, data + 8 + (code == kHandOverPlayIndex ? 0 : size32));
    const void* ptr = bytes.empty() ? nullptr : bytes.data();

    HandOverRequest req;
    std::memset(&req, 0x5A, sizeof req);
    // No bytes: a null pointer with the size as it came (Wine hands that over).
    uint32_t sent = bytes.empty() ? Le32(data + 4) : static_cast<uint32_t>(bytes.size());
    bool ok = ParseHandOver(code, sent, ptr, &req);
    Check(ok == (code <= 4), "code acceptance");
    Check(std::memchr(req.name, 0, sizeof req.name) != nullptr, "name not terminated");
    size_t len = std::strlen(req.name);
    Check(len < kHandOverNameSize, "name too long");
    if (ok && (code == kHandOverAdd || code == kHandOverReplace)) {
        Check(IsValidUtf8(req.name, len), "name not UTF-8");
        std::string sent(reinterpret_cast<const char*>(bytes.data()),
                         bytes.empty() ? 0 : strnlen(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        if (IsValidUtf8(sent.data(), sent.size())) {
            size_t expect = Utf8CutLength(sent.c_str(), kHandOverNameSize - 1);
            Check(len == expect && std::memcmp(req.name, sent.data(), len) == 0, "name differs from the bytes");
        }
    } else {
        Check(len == 0, "name for a code without one");
    }
    return 0;
}
