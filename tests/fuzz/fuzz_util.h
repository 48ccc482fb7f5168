// Helpers shared by the fuzz targets: the check that ends a run with its
// reason, the input as a file that lives in memory (a memfd, opened by path
// through /proc/self/fd like any file, so the platform file layer runs
// unchanged), and message boxes answered without a word.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/platform.h"

namespace fuzz {

// Ends the run when ok is false: "fuzz-NAME: WHAT" (the target's program
// name) on standard error, then abort, which the fuzzer reports as a finding.
inline void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    std::abort();
}

struct MemFile {
    int fd = -1;
    char path[64] = {};
};

// Creates the in-memory file once per process; aborts when it cannot.
inline void MemFileInit(MemFile* f, const char* name) {
    f->fd = memfd_create(name, 0);
    if (f->fd < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    std::snprintf(f->path, sizeof f->path, "/proc/self/fd/%d", f->fd);
}

// Replaces the file's contents with data.
inline void MemFileSet(MemFile* f, const uint8_t* data, size_t size) {
    if (ftruncate(f->fd, 0) != 0) std::abort();
    size_t done = 0;
    while (done < size) {
        ssize_t w = pwrite(f->fd, data + done, size - done, static_cast<off_t>(done));
        if (w <= 0) std::abort();
        done += static_cast<size_t>(w);
    }
}

// A private directory for targets that need real paths (a file to rewrite,
// a directory to list): on /dev/shm where it exists, removed at exit.
inline std::string g_workDir;
inline void RemoveWorkDir() {
    std::error_code ec;
    if (!g_workDir.empty()) std::filesystem::remove_all(g_workDir, ec);
}
inline const std::string& MakeWorkDir(const char* name) {
    std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/" : "/tmp/";
    std::string templ = base + name + "-XXXXXX";
    if (!mkdtemp(templ.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_workDir = templ + "/";
    std::atexit(RemoveWorkDir);
    return g_workDir;
}

// Writes data as the whole file at path.
inline void WriteWholeFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

// The answer every question gets (the default No), and the count of boxes.
inline int g_boxAnswer = plat::IdNo;
inline int g_boxCount = 0;
inline int QuietMessageBox(void*, const char*, const char*, unsigned flags) {
    g_boxCount++;
    return (flags & 0xF) == plat::MbYesNo ? g_boxAnswer : plat::IdOk;
}

// For LLVMFuzzerInitialize: the in-memory file, and message boxes that
// answer quietly.
inline void InitFileTarget(MemFile* f, const char* name) {
    MemFileInit(f, name);
    plat::SetMessageBoxHook(QuietMessageBox);
}

// The input as the whole in-memory file, opened for reading (and writing).
inline plat::File OpenInput(MemFile* f, const uint8_t* data, size_t size, bool writable = false) {
    MemFileSet(f, data, size);
    plat::File file = writable ? plat::FileOpenReadWrite(f->path) : plat::FileOpenRead(f->path);
    Check(file != nullptr, "memfd did not open");
    return file;
}

}  // namespace fuzz
