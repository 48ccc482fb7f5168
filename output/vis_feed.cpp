// The visual data queue, its feed thread, and the Layer III decoder's side
// of it (the granule's record built from its subband samples and PCM).
#include "output/vis_feed.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "output/output_driver.h"
#include "platform/thread.h"

namespace {

// The queue. first, last and the links change only under the lock; count is
// written under it too, and read without it by the cap test of a push (only
// the pushing thread raises it, so that read can only see too high a count).
struct VisQueue {
    std::atomic<plat::Lock> lock{nullptr};  // created by the first start, never deleted
    // Set by a push into an empty queue (and by a stop): the feed thread
    // waits on it while nothing is queued. Created and kept like the lock.
    std::atomic<plat::Event> wake{nullptr};
    VisRecord* first = nullptr;
    VisRecord* last = nullptr;
    std::atomic<int> count{0};
    // Set when the feed thread had to be ended forcibly: it may have died
    // holding the lock or halfway through unlinking a record, so the next
    // start gives up that lock and queue (leaking them) and begins anew.
    std::atomic<bool> abandoned{false};
};
VisQueue g_vis;

// The feed thread; started and stopped by the interface thread only.
struct VisFeedThread {
    plat::Thread thread = nullptr;
    uint32_t id = 0;
    std::atomic<int> running{0};  // pushes are taken while set
    std::atomic<int> shown{1};    // ... and while the visuals can be seen
    std::atomic<unsigned> passes{0};
};
VisFeedThread g_feed;

// The Layer III producer's staging: the slots of the granule being
// synthesised and the record built from them. Decoder thread only.
constexpr int kSlots = 18;
constexpr int kMaxSlotBytes = 128;  // 32 samples x 2 channels x 2 bytes
struct GranuleStage {
    uint8_t pcm[kSlots * kMaxSlotBytes];
    VisRecord record;
};
GranuleStage g_stage;

// The queue's lock, or null when there is no usable queue: never started
// (nothing was ever taken), or given up after a forced end.
plat::Lock QueueLock() { return g_vis.abandoned.load() ? nullptr : g_vis.lock.load(); }

// Frees the whole chain; the caller holds the lock.
void FreeQueueLocked() {
    VisRecord* r = g_vis.first;
    while (r) {
        VisRecord* next = r->link;
        std::free(r);
        r = next;
    }
    g_vis.first = g_vis.last = nullptr;
    g_vis.count.store(0);
}

bool TakingPushes() { return g_feed.running.load() && g_feed.shown.load(); }

// The feed sleeps until the next record falls due, or, with nothing queued,
// until a push wakes it: it never polls.
unsigned VisFeedMain(void*) {
    plat::SetCurrentThreadPriority(plat::PriorityTimeCritical);
    for (;;) {
        plat::ThreadMsg m;
        // Anything but the quit message is discarded.
        if (plat::ThreadPeekMessage(&m) && m.msg == plat::kMsgQuit) return 1;
        plat::EventWait(g_vis.wake.load(), ExpireVisRecords());
        g_feed.passes++;
    }
}

}  // namespace

int StartVisFeed() {
    if (g_feed.thread) return 1;
    if (!g_vis.wake.load()) g_vis.wake.store(plat::EventCreate(false, false));
    if (!g_vis.lock.load() || g_vis.abandoned.load()) {
        g_vis.lock.store(plat::LockCreate());
        g_vis.first = g_vis.last = nullptr;
        g_vis.count.store(0);
        g_vis.abandoned.store(false);
    }
    g_feed.running.store(1);
    uint32_t id = 0;
    g_feed.thread = plat::ThreadStart(VisFeedMain, nullptr, kVisFeedStackSize, &id);
    if (!g_feed.thread) {
        g_feed.running.store(0);
        return 0;
    }
    g_feed.id = id;
    return 1;
}

int StopVisFeed() {
    if (!g_feed.thread) return 1;
    g_feed.running.store(0);
    // A post fails only when the thread's queue is gone, that is when the
    // thread has ended; keep trying while it lives, within the wait.
    const uint32_t start = plat::TickCount();
    while (!plat::ThreadPost(g_feed.id, plat::kMsgQuit, 0, 0)) {
        if (plat::ThreadWait(g_feed.thread, 10) || plat::TickCount() - start >= kVisFeedStopWait) break;
    }
    plat::EventSet(g_vis.wake.load());
    const bool ended = plat::ThreadWait(g_feed.thread, kVisFeedStopWait);
    if (!ended) {
        plat::ThreadTerminate(g_feed.thread, unsigned(-1));
        g_vis.abandoned.store(true);
    }
    plat::ThreadClose(g_feed.thread);
    g_feed.thread = nullptr;
    g_feed.id = 0;
    if (ended) FlushVisFeed();
    return ended ? 1 : 0;
}

void PushVisRecord(const VisRecord* record) {
    if (!record || !TakingPushes() || g_vis.count.load() > kVisQueueCap) return;
    auto* copy = static_cast<VisRecord*>(std::malloc(sizeof(VisRecord)));
    if (!copy) return;
    *copy = *record;
    copy->link = nullptr;
    plat::Lock lock = g_vis.lock.load();
    plat::LockEnter(lock);
    // The feed may have stopped since the test above.
    bool wasEmpty = false;
    if (TakingPushes() && g_vis.count.load() <= kVisQueueCap) {
        wasEmpty = !g_vis.first;
        if (g_vis.last)
            g_vis.last->link = copy;
        else
            g_vis.first = copy;
        g_vis.last = copy;
        g_vis.count.fetch_add(1);
        copy = nullptr;
    }
    plat::LockLeave(lock);
    std::free(copy);
    if (wasEmpty) plat::EventSet(g_vis.wake.load());
}

void SetVisFeedShown(bool shown) {
    g_feed.shown.store(shown ? 1 : 0);
    if (!shown) FlushVisFeed();
}

void FlushVisFeed() {
    plat::Lock lock = QueueLock();
    if (!lock) return;
    plat::LockEnter(lock);
    FreeQueueLocked();
    plat::LockLeave(lock);
}

unsigned ExpireVisRecords() {
    plat::Lock lock = QueueLock();
    if (!lock || g_vis.count.load() == 0) return plat::kWaitInfinite;
    // One position for the whole pass, read before the lock is taken, so
    // the lock is never held across a call into the driver.
    const AudioOutputDriver* driver = g_outputDriver;
    if (!driver || !driver->GetPosition) return kVisFeedMaxWaitMs;
    const uint32_t position = static_cast<uint32_t>(driver->GetPosition());
    plat::LockEnter(lock);
    uint32_t due = 0;  // the position at which the first record goes next
    while (VisRecord* r = g_vis.first) {
        VisRecord* next = r->link;
        due = next ? std::max(next->time, r->time + 1) : r->time + 1;
        if (due > position) break;  // r is not past, or it is the one sounding
        g_vis.first = next;
        if (!next) g_vis.last = nullptr;
        g_vis.count.fetch_sub(1);
        std::free(r);
    }
    const bool empty = !g_vis.first;
    plat::LockLeave(lock);
    // The position may also jump (a pause, a seek): the wait is bounded.
    if (empty) return plat::kWaitInfinite;
    return std::min<uint32_t>(due - position, kVisFeedMaxWaitMs);
}

unsigned VisFeedPasses() { return g_feed.passes.load(); }

int VisRecordCount() { return g_vis.abandoned.load() ? 0 : g_vis.count.load(); }

int GetVisRecordTimes(uint32_t* times, int max) {
    plat::Lock lock = QueueLock();
    if (!lock) return 0;
    plat::LockEnter(lock);
    int n = 0;
    for (const VisRecord* r = g_vis.first; r; r = r->link, n++)
        if (n < max) times[n] = r->time;
    plat::LockLeave(lock);
    return n;
}

bool GetFirstVisRecord(VisRecord* out) {
    plat::Lock lock = QueueLock();
    if (!lock) return false;
    plat::LockEnter(lock);
    const bool any = g_vis.first != nullptr;
    if (any) {
        *out = *g_vis.first;
        out->link = nullptr;
    }
    plat::LockLeave(lock);
    return any;
}

// ---------------------------------------------------------- Layer III side

uint32_t VisTimeStamp(uint32_t pcmBytes, int rate, int channels, int bits) {
    uint32_t perSecond = 0;
    if (rate > 0 && channels > 0 && bits >= 8)
        perSecond = uint32_t(rate) * uint32_t(channels) * uint32_t(bits / 8);
    uint32_t perMs = perSecond / 1000u;
    if (perMs == 0) perMs = 1;
    return pcmBytes / perMs;
}

void CaptureVisSlot(int slot, const uint8_t* pcm, int bytes) {
    if (slot < 0 || slot >= kSlots || bytes <= 0) return;
    if (bytes > kMaxSlotBytes) bytes = kMaxSlotBytes;
    std::memcpy(g_stage.pcm + slot * bytes, pcm, size_t(bytes));
}

void FillVisMagnitudes(uint8_t* out, const double (*sb)[32]) {
    for (int s = 0; s < 32; s++)
        for (int t = 0; t < kSlots; t++) {
            // Loud samples (|x| of 1 and more, or anything a hostile stream
            // yields) show as full scale rather than wrapping round to small.
            double v = std::fabs(sb[t][s]) * 255.0;
            out[kSlots * s + t] = v < 255.0 ? uint8_t(v) : uint8_t(255);
        }
}

void FillVisWaveform(VisRecord* r, const uint8_t* pcm, int channels, int bits, int downsample) {
    const int shift = downsample >= 0 && downsample <= 2 ? downsample : 0;
    const int ch = channels == 1 ? 1 : 2;
    const int bytes = bits == 8 ? 1 : 2;
    for (int i = 0; i < kVisSamples; i++) {
        const uint8_t* frame = pcm + (i >> shift) * ch * bytes;
        int8_t wave[2];
        for (int c = 0; c < ch; c++) {
            const uint8_t* s = frame + c * bytes;
            // 16-bit little-endian: the high byte is the sample >> 8. 8-bit
            // output is (s16 >> 9) + 128: twice its signed value is s16 >> 8
            // to within one.
            int v = bytes == 2 ? int(int8_t(s[1])) : (int(s[0]) - 128) * 2;
            wave[c] = int8_t(v < -128 ? -128 : v > 127 ? 127 : v);
        }
        r->leftWave[i] = wave[0];
        r->rightWave[i] = ch == 2 ? wave[1] : wave[0];
    }
}

void PushGranuleVisuals(const double (*left)[32], const double (*right)[32], const VisFormat& format,
                        uint32_t pcmBytes) {
    if (!TakingPushes()) return;
    VisRecord& r = g_stage.record;
    FillVisMagnitudes(r.leftMagnitude, left);
    FillVisMagnitudes(r.rightMagnitude, right);
    FillVisWaveform(&r, g_stage.pcm, format.channels, format.bits, format.downsample);
    r.time = VisTimeStamp(pcmBytes, format.rate, format.channels, format.bits);
    r.link = nullptr;
    PushVisRecord(&r);
}
