// The ends of threads: a wait is true only once the thread is gone, its
// thread-local clean-up included; a forced end is waited for; a handle
// closed early leaves the thread to end by itself.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/thread.h"

namespace {

constexpr unsigned kBoundMs = 10000;

// A thread whose thread-local clean-up waits for the test's word.
struct Gate {
    plat::Event inCleanUp = plat::EventCreate(true, false);
    plat::Event release = plat::EventCreate(true, false);
    std::atomic<bool> cleanedUp{false};
    ~Gate() {
        plat::EventClose(inCleanUp);
        plat::EventClose(release);
    }
};

struct SlowCleanUp {
    Gate* gate = nullptr;
    ~SlowCleanUp() {
        if (!gate) return;
        plat::EventSet(gate->inCleanUp);
        plat::EventWait(gate->release, kBoundMs);
        gate->cleanedUp.store(true);
    }
};
thread_local SlowCleanUp t_slow;

unsigned SlowToEnd(void* gate) {
    t_slow.gate = static_cast<Gate*>(gate);
    return 0;
}

unsigned WaitForRelease(void* gate) {
    plat::EventWait(static_cast<Gate*>(gate)->release, plat::kWaitInfinite);
    return 0;
}

}  // namespace

TEST(Thread, WaitIsTrueOnlyOnceTheThreadLocalCleanUpIsDone) {
    Gate gate;
    plat::Thread t = plat::ThreadStart(SlowToEnd, &gate, 0, nullptr);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(plat::EventWait(gate.inCleanUp, kBoundMs));
    EXPECT_FALSE(plat::ThreadWait(t, 0));
    EXPECT_FALSE(plat::ThreadWait(t, 50));
    plat::EventSet(gate.release);
    EXPECT_TRUE(plat::ThreadWait(t, kBoundMs));
    EXPECT_TRUE(gate.cleanedUp.load());
    EXPECT_TRUE(plat::ThreadWait(t, 0));  // and stays so
    EXPECT_TRUE(plat::ThreadTerminate(t, 1));  // nothing left to end
    plat::ThreadClose(t);
}

TEST(Thread, ForcedEndIsWaitedFor) {
#if defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)
    GTEST_SKIP() << "forced thread end under AddressSanitizer";
#endif
    Gate gate;
    const int before = plat::ThreadLiveCount();
    plat::Thread t = plat::ThreadStart(WaitForRelease, &gate, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(plat::ThreadWait(t, 20));
    EXPECT_TRUE(plat::ThreadTerminate(t, 1));
    EXPECT_TRUE(plat::ThreadWait(t, 0));
    EXPECT_EQ(plat::ThreadLiveCount(), before);
    plat::ThreadClose(t);
}

TEST(Thread, ClosedHandleLeavesTheThreadToEndByItself) {
    Gate gate;
    const int before = plat::ThreadLiveCount();
    plat::Thread t = plat::ThreadStart(WaitForRelease, &gate, 0, nullptr);
    ASSERT_NE(t, nullptr);
    plat::ThreadClose(t);
    EXPECT_EQ(plat::ThreadLiveCount(), before + 1);
    plat::EventSet(gate.release);
    for (int i = 0; i < 5000 && plat::ThreadLiveCount() != before; i++) plat::SleepMs(2);
    EXPECT_EQ(plat::ThreadLiveCount(), before);
}
