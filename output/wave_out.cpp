// The wave device driver over the platform's wave output device.
//
// Shared between threads without a lock: the free-buffer count (taken by
// the writer, given back by the completion handler), the played bytes, the
// tick of the last returned block and the flags. The writer waits on a
// pulsed event with a time-out of one block's duration, so a missed pulse
// costs at most one block of delay.
#include "output/wave_out.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/thread.h"
#include "platform/wave.h"
#include "settings/settings.h"

namespace {

constexpr intptr_t kEndOfTrackMark = -2;
constexpr unsigned kCallbackThreadStack = 16384;

struct WaveOutState {
    plat::WaveDevice device = nullptr;  // null when closed
    plat::WaveFormat format{};
    plat::WaveHeader headers[kWaveBufferCount]{};
    plat::Event doneEvent = nullptr;
    int callbackMode = 0;  // 0 function, 1 thread
    plat::Thread callbackThread = nullptr;
    uint32_t callbackThreadId = 0;
    std::atomic<int> freeCount{0};
    // Written by Flush on the interface thread while a writer may wait.
    std::atomic<int> nextIndex{0};
    std::atomic<int> writesSinceStart{0};
    std::atomic<int> paused{0};
    std::atomic<int> startPending{0};
    std::atomic<int> abort{0};
    // Bumped by every flush, so that a Write that was waiting when a flush
    // came returns 0 even if the flush has already finished when it wakes.
    std::atomic<unsigned> flushCount{0};
    std::atomic<int> writerWaiting{0};
    std::atomic<uint32_t> playedBytes{0};
    std::atomic<uint32_t> lastTick{0};
    unsigned waitTime = 1;  // one block's duration in ms
};
WaveOutState g_wave;

void ShowDeviceError(unsigned error, const char* caption) {
    char text[256];
    if (!plat::WaveErrorText(error, text, sizeof text)) std::snprintf(text, sizeof text, "Unknown error");
    plat::ShowMessageBox(plat::MainWindow(), text, caption, plat::MbOk);
}

// The completion handler: device opened, or one block back from the device.
void OnDeviceNotice(unsigned notice, plat::WaveHeader* h) {
    if (notice == plat::kWomOpen) {
        g_wave.playedBytes.store(0);
    } else if (notice == plat::kWomDone && h) {
        if (h->length != 0) {
            g_wave.playedBytes.fetch_add(h->length);
            g_wave.lastTick.store(plat::TickCount());
        } else if (h->user == kEndOfTrackMark) {
            g_wave.playedBytes.store(0);
        }
        g_wave.freeCount.fetch_add(1);
        plat::EventPulse(g_wave.doneEvent);
    }
}

unsigned CallbackThreadMain(void*) {
    plat::SetCurrentThreadPriority(plat::PriorityTimeCritical);
    plat::ThreadMsg m;
    while (plat::ThreadGetMessage(&m)) {
        if (m.msg == plat::kWomOpen || m.msg == plat::kWomDone)
            OnDeviceNotice(m.msg, plat::WaveHeaderFromParam(m.lParam));
    }
    return 0;
}

void EndCallbackThread() {
    if (!g_wave.callbackThread) return;
    plat::ThreadPost(g_wave.callbackThreadId, plat::kMsgQuit, 0, 0);
    if (!plat::ThreadWait(g_wave.callbackThread, 2000)) plat::ThreadTerminate(g_wave.callbackThread, 1);
    plat::ThreadClose(g_wave.callbackThread);
    g_wave.callbackThread = nullptr;
    g_wave.callbackThreadId = 0;
}

int WaveOpen(int rate, int channels, int device, int blockBytes, float, int eightBit) {
    if (g_wave.device) return 0;
    plat::WaveFormat& f = g_wave.format;
    f.formatTag = 1;
    f.channels = static_cast<uint16_t>(channels);
    f.samplesPerSec = static_cast<uint32_t>(rate);
    f.bitsPerSample = eightBit ? 8 : 16;
    f.blockAlign = static_cast<uint16_t>(channels * f.bitsPerSample / 8);
    f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
    f.extraSize = 0;

    g_wave.doneEvent = plat::EventCreate(false, true);
    unsigned flags = 0;
    if (g_settings.AudioBypassACM) flags |= plat::WaveFormatDirect;
    if (g_settings.AudioAllowSyncDev) flags |= plat::WaveAllowSync;

    // Only a callback function and a callback thread are supported; any
    // other mode (from a hand-edited settings file) uses the function.
    g_wave.callbackMode = g_settings.WinMMCallback == 1 ? 1 : 0;
    g_wave.freeCount.store(kWaveBufferCount);
    unsigned err;
    if (g_wave.callbackMode == 1) {
        g_wave.callbackThread =
            plat::ThreadStart(CallbackThreadMain, nullptr, kCallbackThreadStack, &g_wave.callbackThreadId);
        err = g_wave.callbackThread
                  ? plat::WaveOpen(&g_wave.device, device, f, nullptr, g_wave.callbackThreadId, flags)
                  : 1;  // MMSYSERR_ERROR
    } else {
        err = plat::WaveOpen(&g_wave.device, device, f, OnDeviceNotice, 0, flags);
    }
    if (err != plat::kWaveOk) {
        g_wave.device = nullptr;
        ShowDeviceError(err, "waveOutOpen");
        EndCallbackThread();
        plat::EventClose(g_wave.doneEvent);
        g_wave.doneEvent = nullptr;
        return 0;
    }

    for (plat::WaveHeader& h : g_wave.headers) {
        h.data = static_cast<uint8_t*>(std::calloc(kWaveBufferSize, 1));
        h.capacity = kWaveBufferSize;
        h.length = 0;
        h.user = 0;
        h.sys = nullptr;
        plat::WavePrepare(g_wave.device, &h);
    }
    double wait = f.avgBytesPerSec ? 1000.0 * blockBytes / f.avgBytesPerSec : 1.0;
    g_wave.waitTime = wait >= 1.0 ? static_cast<unsigned>(wait) : 1u;
    g_wave.writesSinceStart = 0;
    g_wave.nextIndex = 0;
    g_wave.abort.store(0);

    plat::WavePause(g_wave.device);
    g_wave.paused.store(1);
    g_wave.startPending.store(1);
    return 1;
}

// Queues one block of at most kWaveBufferSize bytes (0: an end-of-track
// marker). Returns 0 when a flush aborted the wait.
int QueueBlock(int length, const uint8_t* data, unsigned flushSeen) {
    if (g_wave.nextIndex >= kWaveBufferCount) g_wave.nextIndex = 0;
    while (g_wave.freeCount.load() < 1) {
        if (g_wave.abort.load() || g_wave.flushCount.load() != flushSeen) {
            g_wave.writerWaiting.store(0);
            return 0;
        }
        g_wave.writerWaiting.store(1);
        plat::EventWait(g_wave.doneEvent, g_wave.waitTime);
        if (g_wave.nextIndex >= kWaveBufferCount) g_wave.nextIndex = 0;
    }
    g_wave.writerWaiting.store(0);
    if (g_wave.abort.load() || g_wave.flushCount.load() != flushSeen) return 0;

    int index = g_wave.nextIndex.load();
    if (index >= kWaveBufferCount) index = 0;
    plat::WaveHeader& h = g_wave.headers[index];
    if (length > 0) {
        std::memcpy(h.data, data, static_cast<size_t>(length));
        h.length = static_cast<uint32_t>(length);
        h.user = 0;
    } else {
        h.length = 0;
        h.user = kEndOfTrackMark;
    }
    g_wave.freeCount.fetch_sub(1);
    plat::WaveWrite(g_wave.device, &h);
    g_wave.nextIndex.store(index + 1);

    // The device starts with the fourth block queued since the open or flush.
    if (g_wave.writesSinceStart.load() < 3) {
        g_wave.writesSinceStart.fetch_add(1);
    } else if (g_wave.startPending.load()) {
        g_wave.startPending.store(0);
        plat::WaveRestart(g_wave.device);
        g_wave.paused.store(0);
    }
    return 1;
}

// Blocks longer than one device buffer (PcmBuffer may hold more after
// refused writes) are queued in buffer-sized pieces.
int WaveWrite(int length, const uint8_t* data) {
    if (!g_wave.device) return 0;
    unsigned flushSeen = g_wave.flushCount.load();
    if (length <= 0) return QueueBlock(0, nullptr, flushSeen) ? length : 0;
    int taken = 0;
    while (taken < length) {
        int n = length - taken < kWaveBufferSize ? length - taken : kWaveBufferSize;
        if (!QueueBlock(n, data + taken, flushSeen)) break;
        taken += n;
    }
    return taken;
}

int WaveFlush() {
    if (!g_wave.device) return 0;
    g_wave.abort.store(1);
    g_wave.flushCount.fetch_add(1);
    plat::WaveReset(g_wave.device);
    g_wave.writesSinceStart = 0;
    g_wave.nextIndex = 0;
    int r = static_cast<int>(plat::WavePause(g_wave.device));
    g_wave.paused.store(1);
    g_wave.startPending.store(1);
    g_wave.abort.store(0);
    return r;
}

// Waits until the device has given back every buffer. A running device
// that has returned nothing for a long time (it should never happen) is
// reset; a device the user paused is waited for.
void WaitForAllBuffers() {
    unsigned stall = g_wave.waitTime * 4 > 2000 ? g_wave.waitTime * 4 : 2000;
    int lastFree = g_wave.freeCount.load();
    uint32_t since = plat::TickCount();
    while (g_wave.freeCount.load() < kWaveBufferCount) {
        plat::SleepMs(g_wave.waitTime);
        int now = g_wave.freeCount.load();
        if (now != lastFree || g_wave.paused.load()) {
            lastFree = now;
            since = plat::TickCount();
        } else if (plat::TickCount() - since > stall) {
            plat::WaveReset(g_wave.device);
            since = plat::TickCount();
        }
    }
}

int WaveClose(int immediate) {
    if (!g_wave.device) return 0;
    if (immediate) {
        WaveFlush();
    } else if (g_wave.startPending.load() && g_wave.freeCount.load() < kWaveBufferCount) {
        // Fewer than four blocks since the open or flush: the device was
        // never started, and would never give them back. Play them out.
        g_wave.startPending.store(0);
        plat::WaveRestart(g_wave.device);
        g_wave.paused.store(0);
    }
    WaitForAllBuffers();
    for (plat::WaveHeader& h : g_wave.headers) {
        plat::WaveUnprepare(g_wave.device, &h);
        std::free(h.data);
        h.data = nullptr;
    }
    unsigned err = plat::WaveClose(g_wave.device);
    if (err != plat::kWaveOk) ShowDeviceError(err, "waveOutClose");
    if (g_wave.callbackMode == 1) EndCallbackThread();
    plat::EventClose(g_wave.doneEvent);
    g_wave.doneEvent = nullptr;
    g_wave.device = nullptr;
    return 1;
}

int WaveIsOpen() { return g_wave.device ? 1 : 0; }

int WavePause() {
    if (!g_wave.device) return 0;
    int r = static_cast<int>(plat::WavePause(g_wave.device));
    g_wave.paused.store(1);
    return r;
}

int WaveResume() {
    if (!g_wave.device) return 0;
    int r = static_cast<int>(plat::WaveRestart(g_wave.device));
    g_wave.paused.store(0);
    return r;
}

int WaveGetPosition() {
    uint32_t played = g_wave.playedBytes.load();
    if (!g_wave.device || played == 0) return 0;
    uint32_t perMs = g_wave.format.avgBytesPerSec / 1000u;
    if (perMs == 0) perMs = 1;
    uint32_t base = played / perMs;
    if (g_wave.paused.load()) return static_cast<int>(base);
    return static_cast<int>(base + (plat::TickCount() - g_wave.lastTick.load()));
}

int WaveSetPosition(int seconds) {
    uint32_t bytes = static_cast<uint32_t>(seconds) * g_wave.format.avgBytesPerSec;
    g_wave.playedBytes.store(bytes);
    return static_cast<int>(bytes);
}

int WaveGetVolume() {
    if (!g_wave.device) return -1;
    uint32_t v = 0;
    plat::WaveGetVolume(g_wave.device, &v);
    return static_cast<int>((v & 0xFFFFu) >> 10);
}

int WaveSetVolume(int volume) {
    if (!g_wave.device) return 0;
    uint32_t v = (static_cast<uint32_t>(volume) * 1024u) & 0xFFFFu;
    return static_cast<int>(plat::WaveSetVolume(g_wave.device, v | (v << 16)));
}

int WaveGetBufferCount() { return kWaveBufferCount; }
int WaveGetFreeBuffers() { return g_wave.freeCount.load(); }

}  // namespace

const AudioOutputDriver kWaveOutDriver = {
    WaveOpen,        WaveClose,       WaveIsOpen,         WaveWrite,         WaveFlush,
    WavePause,       WaveResume,      WaveGetPosition,    WaveSetPosition,   WaveGetVolume,
    WaveSetVolume,   WaveGetBufferCount, WaveGetFreeBuffers,
};

int GetWaveDeviceName(int index, char* text) {
    char name[32];
    if (!plat::WaveDeviceName(index, name, sizeof name)) {
        std::strcpy(text, "Bad Device");
        return 0;
    }
    std::snprintf(text, 32, "%.31s", name);
    return 1;
}

int WaveOutWriterWaiting() { return g_wave.writerWaiting.load(); }

int GetWaveDeviceCount() { return static_cast<int>(plat::WaveDeviceCount()); }
