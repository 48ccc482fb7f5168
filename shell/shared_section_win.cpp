// "VORLOCurrentFile" as a named file mapping backed by the page file.
#include "shell/shared_section.h"

#include <windows.h>

#include <cstring>

namespace {

struct SharedSectionState {
    HANDLE mapping;
    char* view;  // kCurrentFileSectionSize bytes while open
};
SharedSectionState s_section = {};

}  // namespace

bool OpenCurrentFileSection() {
    if (s_section.view) return true;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        kCurrentFileSectionSize, kCurrentFileSectionName);
    if (!mapping) return false;
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kCurrentFileSectionSize);
    if (!view) {
        CloseHandle(mapping);
        return false;
    }
    s_section.mapping = mapping;
    s_section.view = static_cast<char*>(view);
    return true;
}

void PublishCurrentFile(const char* path) {
    if (!s_section.view) return;
    size_t n = path ? strnlen(path, kCurrentFilePathMax) : 0;
    // Terminator first, so a reader never runs into a half-written tail.
    s_section.view[0] = '\0';
    std::memset(s_section.view + n, 0, kCurrentFileSectionSize - n);
    if (n > 1) std::memcpy(s_section.view + 1, path + 1, n - 1);
    if (n > 0) s_section.view[0] = path[0];
}

void CloseCurrentFileSection() {
    if (s_section.view) UnmapViewOfFile(s_section.view);
    if (s_section.mapping) CloseHandle(s_section.mapping);
    s_section = {};
}

bool ReadCurrentFileSection(char* buf, size_t size) {
    buf[0] = '\0';
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kCurrentFileSectionName);
    if (!mapping) return false;
    const char* view = static_cast<const char*>(
        MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kCurrentFileSectionSize));
    if (!view) {
        CloseHandle(mapping);
        return false;
    }
    size_t limit = size - 1 < kCurrentFileSectionSize ? size - 1 : kCurrentFileSectionSize;
    size_t n = strnlen(view, limit);
    std::memcpy(buf, view, n);
    buf[n] = '\0';
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return true;
}
