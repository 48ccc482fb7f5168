// Anonymous pipes on Win32.
#include "platform/pipe.h"

#include <windows.h>

namespace plat {

bool PipeCreate(File* readEnd, File* writeEnd, uint32_t suggestedSize) {
    *readEnd = *writeEnd = nullptr;
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, nullptr, suggestedSize)) {
        // Whatever CreatePipe left behind is closed; nothing is handed out.
        if (r) CloseHandle(r);
        if (w) CloseHandle(w);
        return false;
    }
    *readEnd = reinterpret_cast<File>(r);
    *writeEnd = reinterpret_cast<File>(w);
    return true;
}

int PipeWrite(File writeEnd, const void* src, uint32_t n) {
    if (!writeEnd) return -1;
    DWORD put = 0;
    // A pipe whose read end is closed fails the write with ERROR_NO_DATA or
    // ERROR_BROKEN_PIPE; pipes raise no signals on Win32.
    if (!WriteFile(reinterpret_cast<HANDLE>(writeEnd), src, n, &put, nullptr)) return put ? int(put) : -1;
    return static_cast<int>(put);
}

}  // namespace plat
