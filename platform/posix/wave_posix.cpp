// The fake wave output device of the POSIX side. One device at a time; a
// running device in automatic mode returns each buffer as soon as it is
// queued, in manual mode the test returns them with FakeWaveComplete.
#include "platform/wave.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/thread.h"

namespace plat {

struct WaveDeviceRec {
    WaveCallback callback;
    uint32_t threadId;
};

namespace {

std::mutex g_mutex;
WaveDeviceRec g_device;
FakeWaveState g_state;
std::deque<WaveHeader*> g_queue;
bool g_manual = false;
unsigned g_openError = kWaveOk;

constexpr unsigned kBadDeviceId = 2;   // MMSYSERR_BADDEVICEID
constexpr unsigned kInvalHandle = 5;   // MMSYSERR_INVALHANDLE

void Notify(const WaveDeviceRec& dev, unsigned notice, WaveHeader* h) {
    if (dev.callback)
        dev.callback(notice, h);
    else
        ThreadPost(dev.threadId, notice, 0, reinterpret_cast<intptr_t>(h));
}

// Returns up to n buffers (n < 0: all) if the device runs or force is set.
// The notices are given outside the lock, in queue order.
int Complete(int n, bool force) {
    std::deque<WaveHeader*> done;
    WaveDeviceRec dev;
    {
        std::lock_guard<std::mutex> g(g_mutex);
        if (!g_state.open || (g_state.paused && !force)) return 0;
        while (!g_queue.empty() && (n < 0 || int(done.size()) < n)) {
            WaveHeader* h = g_queue.front();
            g_queue.pop_front();
            if (!force) g_state.playedBytes += h->length;
            done.push_back(h);
        }
        g_state.queued = int(g_queue.size());
        dev = g_device;
    }
    for (WaveHeader* h : done) Notify(dev, kWomDone, h);
    return int(done.size());
}

}  // namespace

unsigned WaveOpen(WaveDevice* dev, int index, const WaveFormat& fmt, WaveCallback callback,
                  uint32_t threadId, unsigned flags) {
    WaveDeviceRec copy;
    {
        std::lock_guard<std::mutex> g(g_mutex);
        if (g_openError != kWaveOk) return g_openError;
        if (index < kWaveMapper || index > 0) return kBadDeviceId;
        if (g_state.open) return 4;  // MMSYSERR_ALLOCATED
        g_device = WaveDeviceRec{callback, threadId};
        g_queue.clear();
        g_state.open = true;
        g_state.paused = false;
        g_state.queued = 0;
        g_state.opens++;
        g_state.device = index;
        g_state.flags = flags;
        g_state.format = fmt;
        copy = g_device;
    }
    *dev = &g_device;
    Notify(copy, kWomOpen, nullptr);
    return kWaveOk;
}

WaveHeader* WaveHeaderFromParam(intptr_t lParam) { return reinterpret_cast<WaveHeader*>(lParam); }

unsigned WavePrepare(WaveDevice dev, WaveHeader* h) { return dev && h ? kWaveOk : kInvalHandle; }
unsigned WaveUnprepare(WaveDevice dev, WaveHeader* h) { return dev && h ? kWaveOk : kInvalHandle; }

unsigned WaveWrite(WaveDevice dev, WaveHeader* h) {
    bool play;
    {
        std::lock_guard<std::mutex> g(g_mutex);
        if (!dev || !g_state.open) return kInvalHandle;
        g_queue.push_back(h);
        g_state.queued = int(g_queue.size());
        g_state.writes++;
        play = !g_manual && !g_state.paused;
    }
    if (play) Complete(-1, false);
    return kWaveOk;
}

unsigned WavePause(WaveDevice dev) {
    std::lock_guard<std::mutex> g(g_mutex);
    if (!dev || !g_state.open) return kInvalHandle;
    g_state.paused = true;
    g_state.pauses++;
    return kWaveOk;
}

unsigned WaveRestart(WaveDevice dev) {
    bool play;
    {
        std::lock_guard<std::mutex> g(g_mutex);
        if (!dev || !g_state.open) return kInvalHandle;
        g_state.paused = false;
        g_state.restarts++;
        play = !g_manual;
    }
    if (play) Complete(-1, false);
    return kWaveOk;
}

unsigned WaveReset(WaveDevice dev) {
    {
        std::lock_guard<std::mutex> g(g_mutex);
        if (!dev || !g_state.open) return kInvalHandle;
        g_state.resets++;
    }
    Complete(-1, true);
    return kWaveOk;
}

unsigned WaveClose(WaveDevice dev) {
    WaveDeviceRec copy;
    {
        std::lock_guard<std::mutex> g(g_mutex);
        if (!dev || !g_state.open) return kInvalHandle;
        if (!g_queue.empty()) return 33;  // WAVERR_STILLPLAYING
        g_state.open = false;
        g_state.closes++;
        copy = g_device;
    }
    Notify(copy, kWomClose, nullptr);
    return kWaveOk;
}

unsigned WaveGetVolume(WaveDevice dev, uint32_t* volume) {
    std::lock_guard<std::mutex> g(g_mutex);
    if (!dev || !g_state.open) return kInvalHandle;
    *volume = g_state.volume;
    return kWaveOk;
}

unsigned WaveSetVolume(WaveDevice dev, uint32_t volume) {
    std::lock_guard<std::mutex> g(g_mutex);
    if (!dev || !g_state.open) return kInvalHandle;
    g_state.volume = volume;
    return kWaveOk;
}

bool WaveErrorText(unsigned error, char* text, size_t size) {
    const char* s = nullptr;
    switch (error) {
        case kBadDeviceId: s = "The specified device ID is out of range."; break;
        case 4: s = "The specified device is already in use."; break;
        case kInvalHandle: s = "The specified device handle is invalid."; break;
        case 32: s = "The specified format is not supported."; break;
        case 33: s = "The device is still playing."; break;
        default: return false;
    }
    std::snprintf(text, size, "%s", s);
    return true;
}

unsigned WaveDeviceCount() { return 1; }

bool WaveDeviceName(int index, char* name, size_t size) {
    if (index != 0) return false;
    std::snprintf(name, size, "%s", "Fake Wave Output");
    return true;
}

FakeWaveState GetFakeWaveState() {
    std::lock_guard<std::mutex> g(g_mutex);
    return g_state;
}

void FakeWaveResetCounters() {
    std::lock_guard<std::mutex> g(g_mutex);
    g_state.opens = g_state.closes = g_state.pauses = g_state.restarts = g_state.resets =
        g_state.writes = 0;
    g_state.playedBytes = 0;
}

void FakeWaveFailOpen(unsigned error) {
    std::lock_guard<std::mutex> g(g_mutex);
    g_openError = error;
}

void FakeWaveSetManual(bool manual) {
    std::lock_guard<std::mutex> g(g_mutex);
    g_manual = manual;
}

int FakeWaveComplete(int n) { return Complete(n, false); }

}  // namespace plat
