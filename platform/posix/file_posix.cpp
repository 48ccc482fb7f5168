// Files, the executable's path and the default message box on POSIX.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {
// A File carries the descriptor plus one, so that nullptr never is a valid file.
File ToFile(int fd) { return fd < 0 ? nullptr : reinterpret_cast<File>(static_cast<intptr_t>(fd) + 1); }
int ToFd(File f) { return static_cast<int>(reinterpret_cast<intptr_t>(f) - 1); }

File OpenWith(const char* path, int flags, mode_t mode = 0644) {
    if (!path) return nullptr;
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {  // CreateFile refuses directories too
        ::close(fd);
        return nullptr;
    }
    return ToFile(fd);
}
}  // namespace

File FileOpenRead(const char* path) { return OpenWith(path, O_RDONLY); }
File FileOpenReadWrite(const char* path) { return OpenWith(path, O_RDWR); }
File FileCreate(const char* path) { return OpenWith(path, O_RDWR | O_CREAT | O_TRUNC); }

namespace {

// Like ReadFile and WriteFile on a disk file: go on until n bytes are done,
// the end of the file, or an error (-1 when nothing was done).
template <typename Byte, typename Op>
int Transfer(File f, Byte* p, uint32_t n, Op op) {
    if (!f) return -1;
    uint32_t done = 0;
    while (done < n) {
        ssize_t r = op(ToFd(f), p + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            return done ? static_cast<int>(done) : -1;
        }
        if (r == 0) break;
        done += static_cast<uint32_t>(r);
    }
    return static_cast<int>(done);
}

}  // namespace

int FileRead(File f, void* dst, uint32_t n) {
    return Transfer(f, static_cast<unsigned char*>(dst), n,
                    [](int fd, unsigned char* p, size_t k) { return ::read(fd, p, k); });
}

int FileWrite(File f, const void* src, uint32_t n) {
    return Transfer(f, static_cast<const unsigned char*>(src), n,
                    [](int fd, const unsigned char* p, size_t k) { return ::write(fd, p, k); });
}

int64_t FileSeek(File f, int64_t offset, SeekOrigin origin) {
    if (!f) return -1;
    int whence = origin == SeekBegin ? SEEK_SET : origin == SeekCurrent ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(ToFd(f), static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t FileTell(File f) { return FileSeek(f, 0, SeekCurrent); }

int64_t FileSize(File f) {
    struct stat st;
    if (!f || fstat(ToFd(f), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool FileTruncate(File f) {
    int64_t pos = FileTell(f);
    return pos >= 0 && ::ftruncate(ToFd(f), static_cast<off_t>(pos)) == 0;
}

bool FileClose(File f) { return f && ::close(ToFd(f)) == 0; }

bool FileDelete(const char* path) { return path && ::unlink(path) == 0; }

bool FileExists(const char* path) {
    struct stat st;
    return path && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

size_t GetExePath(char* buf, size_t size) {
    if (!buf || size == 0) return 0;
    char tmp[4096];
    ssize_t n = ::readlink("/proc/self/exe", tmp, sizeof tmp - 1);
    if (n < 0) n = 0;
    size_t len = static_cast<size_t>(n) < size - 1 ? static_cast<size_t>(n) : size - 1;
    std::memcpy(buf, tmp, len);
    buf[len] = '\0';
    return len;
}

int DefaultMessageBox(void*, const char* text, const char* caption, unsigned flags) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return (flags & 0xF) == MbYesNo ? IdNo : IdOk;
}

}  // namespace plat
