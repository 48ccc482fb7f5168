// Threads with message queues, events, locks, time, and the hooks through
// which a worker thread reaches the main window (notices, the save dialog).
//
// Win32 implements this over CreateThread and the thread's own message
// queue (PostThreadMessageA, PeekMessageA, GetMessageA), so that the wave
// device's callback-to-thread messages arrive in the same queue as ours.
// POSIX keeps one queue per thread of its own. Message values, priorities
// and the quit message carry their Win32 values on both sides.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

// ------------------------------------------------------------- threads

struct ThreadRec;
using Thread = ThreadRec*;  // nullptr is "no thread"

struct ThreadMsg {
    unsigned msg;
    uintptr_t wParam;
    intptr_t lParam;
};

constexpr unsigned kMsgQuit = 0x0012;    // WM_QUIT
constexpr unsigned kWaitInfinite = 0xFFFFFFFFu;

// Thread priorities (THREAD_PRIORITY_*).
enum : int {
    PriorityLowest = -2,
    PriorityBelowNormal = -1,
    PriorityNormal = 0,
    PriorityAboveNormal = 1,
    PriorityHighest = 2,
    PriorityTimeCritical = 15,
};

using ThreadProc = unsigned (*)(void* arg);

// Starts proc(arg) on a new thread that owns a message queue. The queue
// exists when this returns, so a message posted at once is not lost.
// stackSize is the initial stack like CreateThread's (POSIX gives at least
// 1 MB, since a thread stack there cannot grow). Returns nullptr on failure;
// *id (when given) receives the thread's id for ThreadPost.
Thread ThreadStart(ThreadProc proc, void* arg, unsigned stackSize, uint32_t* id);
uint32_t ThreadGetId(Thread t);
// Waits up to ms milliseconds for the thread to end. True when it has
// ended: its function has returned and its thread-local clean-up is done
// (on POSIX the thread is then joined).
bool ThreadWait(Thread t, unsigned ms);
// Ends the thread forcibly (TerminateThread) and waits up to 2 s for it to
// be gone, as a forced end is not immediate either. True when it has ended;
// until then nothing it uses may be freed. Last resort: whatever it held
// stays held. On POSIX the thread is cancelled at its next wait.
bool ThreadTerminate(Thread t, unsigned exitCode);
// Releases the handle (the thread itself may go on running; on POSIX a
// thread not waited for to its end is detached).
void ThreadClose(Thread t);
// Threads started by ThreadStart that have not yet returned.
int ThreadLiveCount();

// The calling thread's id (its queue is created on first use, as on Win32).
uint32_t CurrentThreadId();
// Posts a message to the queue of thread id. False when there is no such
// thread (or queue).
bool ThreadPost(uint32_t threadId, unsigned msg, uintptr_t wParam, intptr_t lParam);
// The number of messages ThreadPost has queued so far in this process
// (wrapping), counted after each one is in its queue: a busy thread polls
// this instead of its queue when looking at the queue is costly.
uint32_t ThreadPostCount();
// Takes one message from the calling thread's queue without waiting.
// False when the queue is empty. The quit message is returned like any other.
bool ThreadPeekMessage(ThreadMsg* m);
// Waits for one message. Returns false when it is the quit message (m still
// filled in), like GetMessageA returning 0.
bool ThreadGetMessage(ThreadMsg* m);
// Sets and reads the priority of the calling thread (Priority* values).
// POSIX records the value only.
void SetCurrentThreadPriority(int priority);
int GetCurrentThreadPriority();

// -------------------------------------------------------------- events

struct EventRec;
using Event = EventRec*;

// An event like CreateEventA's: manual or automatic reset, initial state.
Event EventCreate(bool manualReset, bool initiallySet);
void EventSet(Event e);
void EventReset(Event e);
// PulseEvent: releases the threads waiting right now (one of them for an
// automatic-reset event) and leaves the event reset. Nobody waiting: no effect.
void EventPulse(Event e);
// Waits up to ms milliseconds. True when the event was signalled.
bool EventWait(Event e, unsigned ms);
void EventClose(Event e);

// --------------------------------------------------------------- locks

// A critical section: recursive, not shared between processes.
struct LockRec;
using Lock = LockRec*;
Lock LockCreate();
void LockEnter(Lock l);
void LockLeave(Lock l);
void LockClose(Lock l);

// Holds a lock for the life of the object.
class LockHeld {
public:
    explicit LockHeld(Lock l) : lock_(l) { LockEnter(lock_); }
    ~LockHeld() { LockLeave(lock_); }
    LockHeld(const LockHeld&) = delete;
    LockHeld& operator=(const LockHeld&) = delete;

private:
    Lock lock_;
};

// ---------------------------------------------------------------- time

// Milliseconds since some start, wrapping at 2^32 (GetTickCount).
uint32_t TickCount();
void SleepMs(unsigned ms);

// ------------------------------------------------- the main window seen from a worker

// Notices from the core to the main window: Send runs the window's handler
// and waits for it (SendMessageA); Post queues it (PostMessageA). The shell,
// a tool or a test installs the hook; the default goes to the window as a
// Win32 window message, and nowhere on POSIX.
using NoticeHook = intptr_t (*)(void* window, unsigned msg, uintptr_t wParam, intptr_t lParam,
                                bool sent);
void SetNoticeHook(NoticeHook hook);  // nullptr restores the default
intptr_t SendNotice(void* window, unsigned msg, uintptr_t wParam, intptr_t lParam);
void PostNotice(void* window, unsigned msg, uintptr_t wParam, intptr_t lParam);

// The save-file dialog. path (size bytes, at least 260) receives the chosen
// path. filter is a list of label/pattern pairs as GetSaveFileNameA takes it
// (each string terminated, the list ending in an empty one). Returns 1 when
// a name was chosen, 0 when the user cancelled. Default: GetSaveFileNameA on
// Win32 (read-only box hidden, the given title and default extension),
// cancel on POSIX.
using SaveDialogHook = int (*)(void* owner, const char* title, const char* filter,
                               const char* defaultExt, char* path, size_t size);
void SetSaveDialogHook(SaveDialogHook hook);  // nullptr restores the default
int ShowSaveDialog(void* owner, const char* title, const char* filter, const char* defaultExt,
                   char* path, size_t size);

}  // namespace plat
