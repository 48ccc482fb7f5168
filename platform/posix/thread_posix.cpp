// Threads with message queues, events, locks and time on POSIX.
//
// Every thread that asks for its id or reads its queue gets a queue of its
// own, registered by id so that ThreadPost can find it; it is unregistered
// when the thread ends, after which posts to the id fail as on Win32.
#include "platform/thread.h"

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace plat {

namespace {

struct Queue {
    std::mutex m;
    std::condition_variable cv;
    std::deque<ThreadMsg> q;
};

std::mutex g_registryMutex;
std::atomic<uint32_t> g_posts{0};
std::unordered_map<uint32_t, std::shared_ptr<Queue>>& Registry() {
    static auto* r = new std::unordered_map<uint32_t, std::shared_ptr<Queue>>();
    return *r;
}
std::atomic<uint32_t> g_nextId{1};
std::atomic<int> g_liveThreads{0};

// The calling thread's queue; unregisters it when the thread ends.
struct LocalQueue {
    uint32_t id = 0;
    std::shared_ptr<Queue> queue;
    int priority = PriorityNormal;
    ~LocalQueue() {
        if (id) {
            std::lock_guard<std::mutex> g(g_registryMutex);
            Registry().erase(id);
        }
    }
};
thread_local LocalQueue t_local;

void Adopt(uint32_t id, std::shared_ptr<Queue> q) {
    t_local.id = id;
    t_local.queue = std::move(q);
}

Queue& OwnQueue() {
    if (!t_local.id) {
        auto q = std::make_shared<Queue>();
        uint32_t id = g_nextId.fetch_add(1);
        {
            std::lock_guard<std::mutex> g(g_registryMutex);
            Registry()[id] = q;
        }
        Adopt(id, std::move(q));
    }
    return *t_local.queue;
}

}  // namespace

struct ThreadRec {
    pthread_t pth;
    uint32_t id;
    ThreadProc proc;
    void* arg;
    std::shared_ptr<Queue> queue;
    std::mutex m;
    bool done = false;  // the thread's function has returned (or it was cancelled)
    // The handle's side: one join at a time, and once joined the thread is
    // gone (its thread-local clean-up finished as well).
    std::timed_mutex joinLock;
    bool joined = false;
    std::atomic<int> refs{2};  // the creator's handle and the running thread
};

namespace {

// A forced end waits this long for the thread to be gone.
constexpr unsigned kTerminateWaitMs = 2000;

void Release(ThreadRec* t) {
    if (t->refs.fetch_sub(1) == 1) delete t;
}

// Marks the function's end however it leaves (return or cancellation). The
// thread has not ended yet: its thread-local values are cleaned up after.
struct EndGuard {
    ThreadRec* t;
    ~EndGuard() {
        g_liveThreads.fetch_sub(1);
        {
            std::lock_guard<std::mutex> g(t->m);
            t->done = true;
        }
        Release(t);
    }
};

void* ThreadMain(void* p) {
    auto* t = static_cast<ThreadRec*>(p);
    EndGuard guard{t};
    Adopt(t->id, t->queue);
    t->queue.reset();
    t->proc(t->arg);
    return nullptr;
}

}  // namespace

Thread ThreadStart(ThreadProc proc, void* arg, unsigned stackSize, uint32_t* id) {
    auto* t = new ThreadRec;
    t->proc = proc;
    t->arg = arg;
    t->queue = std::make_shared<Queue>();
    t->id = g_nextId.fetch_add(1);
    {
        std::lock_guard<std::mutex> g(g_registryMutex);
        Registry()[t->id] = t->queue;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, std::max<size_t>(stackSize, size_t(1) << 20));
    g_liveThreads.fetch_add(1);
    int rc = pthread_create(&t->pth, &attr, ThreadMain, t);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        g_liveThreads.fetch_sub(1);
        std::lock_guard<std::mutex> g(g_registryMutex);
        Registry().erase(t->id);
        delete t;
        return nullptr;
    }
    if (id) *id = t->id;
    return t;
}

uint32_t ThreadGetId(Thread t) { return t ? t->id : 0; }

// The thread has ended once it is joined: a Win32 thread handle is
// signalled only then too, not when the function returns.
bool ThreadWait(Thread t, unsigned ms) {
    if (!t) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::timed_mutex> g(t->joinLock, std::defer_lock);
    if (ms == kWaitInfinite)
        g.lock();
    else if (!g.try_lock_until(deadline))
        return false;
    if (t->joined) return true;
    int rc;
    if (ms == kWaitInfinite) {
        rc = pthread_join(t->pth, nullptr);
    } else {
        // steady_clock is CLOCK_MONOTONIC.
        const long long ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
        const timespec until{time_t(ns / 1000000000), long(ns % 1000000000)};
        rc = pthread_clockjoin_np(t->pth, nullptr, CLOCK_MONOTONIC, &until);
    }
    t->joined = rc == 0;
    return t->joined;
}

bool ThreadTerminate(Thread t, unsigned) {
    if (!t) return true;
    {
        std::lock_guard<std::timed_mutex> g(t->joinLock);
        if (t->joined) return true;
        std::lock_guard<std::mutex> d(t->m);
        if (!t->done) pthread_cancel(t->pth);
    }
    return ThreadWait(t, kTerminateWaitMs);
}

// A thread not joined by now is left to end by itself.
void ThreadClose(Thread t) {
    if (!t) return;
    {
        std::lock_guard<std::timed_mutex> g(t->joinLock);
        if (!t->joined) pthread_detach(t->pth);
    }
    Release(t);
}

int ThreadLiveCount() { return g_liveThreads.load(); }

uint32_t CurrentThreadId() {
    OwnQueue();
    return t_local.id;
}

bool ThreadPost(uint32_t threadId, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    std::shared_ptr<Queue> q;
    {
        std::lock_guard<std::mutex> g(g_registryMutex);
        auto it = Registry().find(threadId);
        if (it == Registry().end()) return false;
        q = it->second;
    }
    {
        std::lock_guard<std::mutex> g(q->m);
        q->q.push_back(ThreadMsg{msg, wParam, lParam});
    }
    q->cv.notify_one();
    g_posts.fetch_add(1, std::memory_order_release);
    return true;
}

uint32_t ThreadPostCount() { return g_posts.load(std::memory_order_acquire); }

bool ThreadPeekMessage(ThreadMsg* m) {
    Queue& q = OwnQueue();
    std::lock_guard<std::mutex> g(q.m);
    if (q.q.empty()) return false;
    *m = q.q.front();
    q.q.pop_front();
    return true;
}

bool ThreadGetMessage(ThreadMsg* m) {
    Queue& q = OwnQueue();
    std::unique_lock<std::mutex> g(q.m);
    q.cv.wait(g, [&q] { return !q.q.empty(); });
    *m = q.q.front();
    q.q.pop_front();
    return m->msg != kMsgQuit;
}

void SetCurrentThreadPriority(int priority) { t_local.priority = priority; }
int GetCurrentThreadPriority() { return t_local.priority; }

// -------------------------------------------------------------- events

struct EventRec {
    std::mutex m;
    std::condition_variable cv;
    bool manual;
    bool set;
    int waiters = 0;
    uint64_t pulses = 0;  // counts pulses, so a waiter knows one came while it waited
    int tokens = 0;       // waiters an automatic-reset pulse may still release
};

Event EventCreate(bool manualReset, bool initiallySet) {
    auto* e = new EventRec;
    e->manual = manualReset;
    e->set = initiallySet;
    return e;
}

void EventSet(Event e) {
    {
        std::lock_guard<std::mutex> g(e->m);
        e->set = true;
    }
    e->cv.notify_all();
}

void EventReset(Event e) {
    std::lock_guard<std::mutex> g(e->m);
    e->set = false;
}

void EventPulse(Event e) {
    {
        std::lock_guard<std::mutex> g(e->m);
        e->set = false;
        if (e->waiters == 0) return;
        e->pulses++;
        e->tokens = e->manual ? e->waiters : 1;
    }
    e->cv.notify_all();
}

bool EventWait(Event e, unsigned ms) {
    std::unique_lock<std::mutex> g(e->m);
    uint64_t seen = e->pulses;
    auto ready = [e, seen] {
        if (e->set) {
            if (!e->manual) e->set = false;
            return true;
        }
        if (e->pulses != seen && e->tokens > 0) {
            e->tokens--;
            return true;
        }
        return false;
    };
    e->waiters++;
    bool ok;
    if (ms == kWaitInfinite) {
        e->cv.wait(g, ready);
        ok = true;
    } else {
        ok = e->cv.wait_for(g, std::chrono::milliseconds(ms), ready);
    }
    e->waiters--;
    return ok;
}

void EventClose(Event e) { delete e; }

// --------------------------------------------------------------- locks

struct LockRec {
    std::recursive_mutex m;
};
Lock LockCreate() { return new LockRec; }
void LockEnter(Lock l) { l->m.lock(); }
void LockLeave(Lock l) { l->m.unlock(); }
void LockClose(Lock l) { delete l; }

// ---------------------------------------------------------------- time

uint32_t TickCount() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

void SleepMs(unsigned ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

// ------------------------------------------------------ default hooks

// There is no main window on POSIX unless a hook provides one.
intptr_t DefaultNotice(void*, unsigned, uintptr_t, intptr_t, bool) { return 0; }
int DefaultSaveDialog(void*, const char*, const char*, const char*, char* path, size_t size) {
    if (path && size) path[0] = '\0';
    return 0;
}

}  // namespace plat
