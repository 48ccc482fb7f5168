// The wave output device over winmm.
#include "platform/wave.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>

namespace plat {

struct WaveDeviceRec {
    HWAVEOUT hwo;
    WaveCallback callback;
};

namespace {

WAVEHDR* Sys(WaveHeader* h) { return static_cast<WAVEHDR*>(h->sys); }

WaveHeader* FromWaveHdr(DWORD_PTR p) {
    auto* w = reinterpret_cast<WAVEHDR*>(p);
    return w ? reinterpret_cast<WaveHeader*>(w->dwUser) : nullptr;
}

void CALLBACK WaveOutProc(HWAVEOUT, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    auto* dev = reinterpret_cast<WaveDeviceRec*>(instance);
    if (!dev || !dev->callback) return;
    switch (msg) {
        case WOM_OPEN: dev->callback(kWomOpen, nullptr); break;
        case WOM_CLOSE: dev->callback(kWomClose, nullptr); break;
        case WOM_DONE: dev->callback(kWomDone, FromWaveHdr(param1)); break;
        default: break;
    }
}

}  // namespace

unsigned WaveOpen(WaveDevice* dev, int index, const WaveFormat& fmt, WaveCallback callback,
                  uint32_t threadId, unsigned flags) {
    WAVEFORMATEX wf;
    wf.wFormatTag = fmt.formatTag;
    wf.nChannels = fmt.channels;
    wf.nSamplesPerSec = fmt.samplesPerSec;
    wf.nAvgBytesPerSec = fmt.avgBytesPerSec;
    wf.nBlockAlign = fmt.blockAlign;
    wf.wBitsPerSample = fmt.bitsPerSample;
    wf.cbSize = fmt.extraSize;
    auto* rec = new WaveDeviceRec{nullptr, callback};
    UINT id = index == kWaveMapper ? WAVE_MAPPER : static_cast<UINT>(index);
    MMRESULT r;
    if (callback)
        r = waveOutOpen(&rec->hwo, id, &wf, reinterpret_cast<DWORD_PTR>(WaveOutProc),
                        reinterpret_cast<DWORD_PTR>(rec), CALLBACK_FUNCTION | flags);
    else
        r = waveOutOpen(&rec->hwo, id, &wf, threadId, 0, CALLBACK_THREAD | flags);
    if (r != MMSYSERR_NOERROR) {
        delete rec;
        return r;
    }
    *dev = rec;
    return kWaveOk;
}

WaveHeader* WaveHeaderFromParam(intptr_t lParam) { return FromWaveHdr(static_cast<DWORD_PTR>(lParam)); }

unsigned WavePrepare(WaveDevice dev, WaveHeader* h) {
    auto* w = new WAVEHDR;
    ZeroMemory(w, sizeof *w);
    w->lpData = reinterpret_cast<LPSTR>(h->data);
    w->dwBufferLength = h->capacity;
    w->dwUser = reinterpret_cast<DWORD_PTR>(h);
    h->sys = w;
    return waveOutPrepareHeader(dev->hwo, w, sizeof *w);
}

unsigned WaveUnprepare(WaveDevice dev, WaveHeader* h) {
    WAVEHDR* w = Sys(h);
    if (!w) return MMSYSERR_INVALPARAM;
    // Unpreparing needs the full length the header was prepared with.
    w->dwBufferLength = h->capacity;
    MMRESULT r = waveOutUnprepareHeader(dev->hwo, w, sizeof *w);
    delete w;
    h->sys = nullptr;
    return r;
}

unsigned WaveWrite(WaveDevice dev, WaveHeader* h) {
    WAVEHDR* w = Sys(h);
    w->dwBufferLength = h->length;
    return waveOutWrite(dev->hwo, w, sizeof *w);
}

unsigned WavePause(WaveDevice dev) { return waveOutPause(dev->hwo); }
unsigned WaveRestart(WaveDevice dev) { return waveOutRestart(dev->hwo); }
unsigned WaveReset(WaveDevice dev) { return waveOutReset(dev->hwo); }

unsigned WaveClose(WaveDevice dev) {
    MMRESULT r = waveOutClose(dev->hwo);
    if (r == MMSYSERR_NOERROR) delete dev;
    return r;
}

unsigned WaveGetVolume(WaveDevice dev, uint32_t* volume) {
    DWORD v = 0;
    MMRESULT r = waveOutGetVolume(dev->hwo, &v);
    *volume = v;
    return r;
}

unsigned WaveSetVolume(WaveDevice dev, uint32_t volume) { return waveOutSetVolume(dev->hwo, volume); }

bool WaveErrorText(unsigned error, char* text, size_t size) {
    if (!text || size == 0) return false;
    text[0] = '\0';
    return waveOutGetErrorTextA(error, text, static_cast<UINT>(size)) == MMSYSERR_NOERROR &&
           text[0] != '\0';
}

unsigned WaveDeviceCount() { return waveOutGetNumDevs(); }

bool WaveDeviceName(int index, char* name, size_t size) {
    WAVEOUTCAPSA caps;
    if (waveOutGetDevCapsA(static_cast<UINT_PTR>(static_cast<UINT>(index)), &caps, sizeof caps) !=
        MMSYSERR_NOERROR)
        return false;
    std::snprintf(name, size, "%.31s", caps.szPname);
    return true;
}

}  // namespace plat
