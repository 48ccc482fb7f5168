// The wave output device: the part of the waveOut API the wave device
// driver needs, with its contract. Queued buffers play and come back done in
// the order they were queued; a reset returns every queued buffer as done at
// once; a device that is paused plays nothing until it is restarted.
//
// Win32 calls winmm. POSIX has no sound output: it offers a deterministic
// fake device instead, which plays a buffer the moment it is queued on a
// running device (or, in manual mode, only when a test says so).
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

// WAVEFORMATEX.
struct WaveFormat {
    uint16_t formatTag;  // 1 = PCM
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};

// One buffer lent to the device. The owner sets data, capacity, length and
// user; sys belongs to the platform (set by WavePrepare).
struct WaveHeader {
    uint8_t* data;
    uint32_t capacity;  // bytes at data
    uint32_t length;    // bytes to play when written; 0 is an empty buffer
    intptr_t user;      // free for the owner
    void* sys;
};

struct WaveDeviceRec;
using WaveDevice = WaveDeviceRec*;

// Device notices (MM_WOM_OPEN, MM_WOM_CLOSE, MM_WOM_DONE). Done carries the
// header that came back.
constexpr unsigned kWomOpen = 0x3BB;
constexpr unsigned kWomClose = 0x3BC;
constexpr unsigned kWomDone = 0x3BD;

// Open flags (WAVE_ALLOWSYNC, WAVE_FORMAT_DIRECT).
enum : unsigned { WaveAllowSync = 0x0002, WaveFormatDirect = 0x0008 };

constexpr unsigned kWaveOk = 0;  // MMSYSERR_NOERROR
constexpr int kWaveMapper = -1;

// Called for every device notice in callback-function mode, in the audio
// system's context: it may only update counters and signal events.
using WaveCallback = void (*)(unsigned notice, WaveHeader* header);

// Opens output device index (kWaveMapper for the mapper) for fmt. Notices
// go to callback when it is set, else they are posted to thread threadId as
// thread messages whose lParam turns back into the header through
// WaveHeaderFromParam. Returns kWaveOk and *dev, or the system's error code.
unsigned WaveOpen(WaveDevice* dev, int index, const WaveFormat& fmt, WaveCallback callback,
                  uint32_t threadId, unsigned flags);
WaveHeader* WaveHeaderFromParam(intptr_t lParam);
unsigned WavePrepare(WaveDevice dev, WaveHeader* h);
unsigned WaveUnprepare(WaveDevice dev, WaveHeader* h);
// Queues h->length bytes of h->data.
unsigned WaveWrite(WaveDevice dev, WaveHeader* h);
unsigned WavePause(WaveDevice dev);
unsigned WaveRestart(WaveDevice dev);
unsigned WaveReset(WaveDevice dev);
unsigned WaveClose(WaveDevice dev);
// Volume: left channel in the low 16 bits, right in the high 16 bits.
unsigned WaveGetVolume(WaveDevice dev, uint32_t* volume);
unsigned WaveSetVolume(WaveDevice dev, uint32_t volume);
// The system's text for an error code; false when it has none.
bool WaveErrorText(unsigned error, char* text, size_t size);
// Number of output devices, and the product name of one (false on failure).
unsigned WaveDeviceCount();
bool WaveDeviceName(int index, char* name, size_t size);

#ifndef _WIN32
// ---------------------------------------------- the fake device's controls

struct FakeWaveState {
    bool open;
    bool paused;
    int queued;            // buffers written and not yet returned
    int opens, closes, pauses, restarts, resets, writes;
    int device;            // index of the last open
    unsigned flags;        // flags of the last open
    WaveFormat format;     // format of the last open
    uint32_t volume;
    uint64_t playedBytes;  // bytes of all buffers returned while running
};
FakeWaveState GetFakeWaveState();
// Clears the counters (not the open device).
void FakeWaveResetCounters();
// Makes every following open fail with error (kWaveOk: succeed again).
void FakeWaveFailOpen(unsigned error);
// Manual mode: buffers come back only through FakeWaveComplete. Automatic
// mode (the default): a running device returns each buffer as it is queued.
void FakeWaveSetManual(bool manual);
// Returns up to n queued buffers as done, oldest first, if the device is
// running. Returns the number returned.
int FakeWaveComplete(int n);
#endif

}  // namespace plat
