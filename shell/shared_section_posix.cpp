// "VORLOCurrentFile" natively: no other program looks for it here, so the
// section is a buffer of this process with the same layout and rules.
#include "shell/shared_section.h"

#include <cstring>

namespace {

struct SharedSectionState {
    bool open;
    char bytes[kCurrentFileSectionSize];
};
SharedSectionState s_section = {};

}  // namespace

bool OpenCurrentFileSection() {
    if (!s_section.open) std::memset(s_section.bytes, 0, sizeof s_section.bytes);
    s_section.open = true;
    return true;
}

void PublishCurrentFile(const char* path) {
    if (!s_section.open) return;
    size_t n = path ? strnlen(path, kCurrentFilePathMax) : 0;
    std::memset(s_section.bytes, 0, sizeof s_section.bytes);
    std::memcpy(s_section.bytes, path ? path : "", n);
}

void CloseCurrentFileSection() { s_section.open = false; }

bool ReadCurrentFileSection(char* buf, size_t size) {
    buf[0] = '\0';
    if (!s_section.open) return false;
    size_t limit = size - 1 < kCurrentFileSectionSize ? size - 1 : kCurrentFileSectionSize;
    size_t n = strnlen(s_section.bytes, limit);
    std::memcpy(buf, s_section.bytes, n);
    buf[n] = '\0';
    return true;
}
