// Anonymous pipes on POSIX.
#include "platform/pipe.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace plat {

namespace {
// A File carries the descriptor plus one (as in file_posix.cpp).
File ToFile(int fd) { return reinterpret_cast<File>(static_cast<intptr_t>(fd) + 1); }
int ToFd(File f) { return static_cast<int>(reinterpret_cast<intptr_t>(f) - 1); }
}  // namespace

bool PipeCreate(File* readEnd, File* writeEnd, uint32_t suggestedSize) {
    *readEnd = *writeEnd = nullptr;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
#ifdef F_SETPIPE_SZ
    if (suggestedSize > 0) ::fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(suggestedSize));  // a hint only
#endif
    *readEnd = ToFile(fds[0]);
    *writeEnd = ToFile(fds[1]);
    return true;
}

int PipeWrite(File writeEnd, const void* src, uint32_t n) {
    if (!writeEnd) return -1;
    // A write to a pipe without reader raises SIGPIPE, which would end the
    // process. Block it on this thread for the write and take away the one
    // the write raised, so only EPIPE remains.
    sigset_t pipeSet, oldMask, pending;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &oldMask);
    sigpending(&pending);
    bool wasPending = sigismember(&pending, SIGPIPE);

    uint32_t done = 0;
    bool broken = false;
    auto* p = static_cast<const unsigned char*>(src);
    while (done < n) {
        ssize_t r = ::write(ToFd(writeEnd), p + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            broken = errno == EPIPE;
            break;
        }
        done += static_cast<uint32_t>(r);
    }
    if (broken && !wasPending) {
        timespec zero{0, 0};
        while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    return done || n == 0 ? static_cast<int>(done) : -1;
}

}  // namespace plat
