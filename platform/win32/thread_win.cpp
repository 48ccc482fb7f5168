// Threads with message queues, events, locks, time and the default
// main-window hooks on Win32.
#include "platform/thread.h"

#include <windows.h>
#include <commdlg.h>

#include <atomic>

namespace plat {

struct ThreadRec {
    HANDLE handle;
    DWORD id;
};

namespace {

std::atomic<int> g_liveThreads{0};
std::atomic<uint32_t> g_posts{0};

// A forced end waits this long for the thread to be gone.
constexpr DWORD kTerminateWaitMs = 2000;

struct StartRec {
    ThreadProc proc;
    void* arg;
    HANDLE ready;
};

DWORD WINAPI ThreadMain(LPVOID p) {
    StartRec start = *static_cast<StartRec*>(p);
    // Create the queue before the creator returns, so PostThreadMessageA to
    // this thread cannot fail for want of one.
    MSG m;
    PeekMessageA(&m, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(start.ready);
    unsigned rc = start.proc(start.arg);
    g_liveThreads.fetch_sub(1);
    return rc;
}

}  // namespace

Thread ThreadStart(ThreadProc proc, void* arg, unsigned stackSize, uint32_t* id) {
    StartRec start{proc, arg, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    if (!start.ready) return nullptr;
    g_liveThreads.fetch_add(1);
    DWORD tid = 0;
    HANDLE h = CreateThread(nullptr, stackSize, ThreadMain, &start, 0, &tid);
    if (!h) {
        g_liveThreads.fetch_sub(1);
        CloseHandle(start.ready);
        return nullptr;
    }
    WaitForSingleObject(start.ready, INFINITE);
    CloseHandle(start.ready);
    auto* t = new ThreadRec{h, tid};
    if (id) *id = tid;
    return t;
}

uint32_t ThreadGetId(Thread t) { return t ? t->id : 0; }

bool ThreadWait(Thread t, unsigned ms) {
    return !t || WaitForSingleObject(t->handle, ms) == WAIT_OBJECT_0;
}

bool ThreadTerminate(Thread t, unsigned exitCode) {
    if (!t) return true;
    if (WaitForSingleObject(t->handle, 0) == WAIT_OBJECT_0) return true;
    if (TerminateThread(t->handle, exitCode)) g_liveThreads.fetch_sub(1);
    // TerminateThread only starts the end; the handle is signalled once the
    // thread is gone.
    return WaitForSingleObject(t->handle, kTerminateWaitMs) == WAIT_OBJECT_0;
}

void ThreadClose(Thread t) {
    if (!t) return;
    CloseHandle(t->handle);
    delete t;
}

int ThreadLiveCount() { return g_liveThreads.load(); }

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

bool ThreadPost(uint32_t threadId, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (!PostThreadMessageA(threadId, msg, wParam, lParam)) return false;
    g_posts.fetch_add(1, std::memory_order_release);
    return true;
}

uint32_t ThreadPostCount() { return g_posts.load(std::memory_order_acquire); }

bool ThreadPeekMessage(ThreadMsg* m) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    *m = ThreadMsg{msg.message, msg.wParam, msg.lParam};
    return true;
}

bool ThreadGetMessage(ThreadMsg* m) {
    MSG msg;
    BOOL r = GetMessageA(&msg, nullptr, 0, 0);
    if (r == -1) {  // no queue to read: behave as if told to quit
        *m = ThreadMsg{kMsgQuit, 0, 0};
        return false;
    }
    *m = ThreadMsg{msg.message, msg.wParam, msg.lParam};
    return r != 0;
}

void SetCurrentThreadPriority(int priority) { SetThreadPriority(GetCurrentThread(), priority); }
int GetCurrentThreadPriority() { return GetThreadPriority(GetCurrentThread()); }

// -------------------------------------------------------------- events

Event EventCreate(bool manualReset, bool initiallySet) {
    return reinterpret_cast<Event>(CreateEventA(nullptr, manualReset, initiallySet, nullptr));
}
void EventSet(Event e) { SetEvent(reinterpret_cast<HANDLE>(e)); }
void EventReset(Event e) { ResetEvent(reinterpret_cast<HANDLE>(e)); }
void EventPulse(Event e) { PulseEvent(reinterpret_cast<HANDLE>(e)); }
bool EventWait(Event e, unsigned ms) {
    return WaitForSingleObject(reinterpret_cast<HANDLE>(e), ms) == WAIT_OBJECT_0;
}
void EventClose(Event e) {
    if (e) CloseHandle(reinterpret_cast<HANDLE>(e));
}

// --------------------------------------------------------------- locks

struct LockRec {
    CRITICAL_SECTION cs;
};
Lock LockCreate() {
    auto* l = new LockRec;
    InitializeCriticalSection(&l->cs);
    return l;
}
void LockEnter(Lock l) { EnterCriticalSection(&l->cs); }
void LockLeave(Lock l) { LeaveCriticalSection(&l->cs); }
void LockClose(Lock l) {
    DeleteCriticalSection(&l->cs);
    delete l;
}

// ---------------------------------------------------------------- time

uint32_t TickCount() { return GetTickCount(); }
void SleepMs(unsigned ms) { Sleep(ms); }

// ------------------------------------------------------ default hooks

intptr_t DefaultNotice(void* window, unsigned msg, uintptr_t wParam, intptr_t lParam, bool sent) {
    HWND hwnd = static_cast<HWND>(window);
    if (!hwnd) return 0;
    if (sent) return SendMessageA(hwnd, msg, wParam, lParam);
    PostMessageA(hwnd, msg, wParam, lParam);
    return 0;
}

int DefaultSaveDialog(void* owner, const char* title, const char* filter, const char* defaultExt,
                      char* path, size_t size) {
    OPENFILENAMEA ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = static_cast<HWND>(owner);
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = static_cast<DWORD>(size);
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = defaultExt;
    ofn.Flags = OFN_HIDEREADONLY;
    return GetSaveFileNameA(&ofn) ? 1 : 0;
}

}  // namespace plat
