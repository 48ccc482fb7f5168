// Fuzz target: the frame reader with every layer decoder behind it, run the
// way the decoder thread runs a track (without the thread), into a driver
// that keeps nothing.
//
// Input: two bytes of configuration, then the stream.
//   byte 0: bits 0-1 DownSample (3 is out of range: full rate, as the
//           thread does), bits 2-3 Channels (-1, 0, 1, 3), bit 4
//           AudioOutput8Bit, bit 5 EqEnabled, bit 6 visual records, bit 7
//           the answer to the resync question (Yes/No)
//   byte 1: bits 0-1 MappingMode, bits 2-3 the driver (takes all, takes
//           half, takes nothing, refuses after a few writes), bits 4-7:
//           with 0 no seek, else a seek after that many frames to the
//           percent (byte 1 * 7) % 101
// Also: the --info facts (bitrate, rate, duration) of the first frame,
// GetFrameCount, GetPlayedSeconds and SeekToFrame.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decoder/equalizer.h"
#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/layer12.h"
#include "decoder/layer3.h"
#include "decoder/synth.h"
#include "output/output_driver.h"
#include "output/vis_feed.h"
#include "settings/settings.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

fuzz::MemFile g_file;
int g_driverMode = 0;
int g_writes = 0;
int g_open = 0;

int FakeOpen(int, int, int, int, float, int) { return g_open = 1; }
int FakeClose(int) {
    int was = g_open;
    g_open = 0;
    return was;
}
int FakeIsOpen() { return g_open; }
int FakeWrite(int length, const uint8_t* data) {
    if (length > 0 && data) {
        // Touch the first and last byte, so that a write past the buffer shows.
        volatile uint8_t sink = data[0];
        sink = data[length - 1];
        (void)sink;
    }
    g_writes++;
    switch (g_driverMode) {
    case 1: return length > 1 ? length / 2 : length;
    case 2: return 0;
    case 3: return g_writes > 3 ? -1 : length;
    default: return length;
    }
}
int FakeZero() { return 0; }
int FakeSetPosition(int) { return 0; }
int FakeSetVolume(int) { return 1; }
int FakeBuffers() { return 1; }

const AudioOutputDriver kFakeDriver = {
    FakeOpen, FakeClose, FakeIsOpen, FakeWrite, FakeZero, FakeZero, FakeZero,
    FakeZero, FakeSetPosition, FakeZero, FakeSetVolume, FakeBuffers, FakeBuffers,
};

constexpr int kChannelValues[4] = {-1, 0, 1, 3};

// The decoder thread's output set-up for the current header.
void Configure(StreamInfo* si, int eightBit, int mono) {
    si->outputRate = kSampleRateTable[si->sampleRateIndex] >> si->downsample;
    si->outputBits = eightBit ? 8 : 16;
    si->outputChannels = mono ? 1 : 2;
    PcmBuffer.threshold = PcmThreshold(si->sampleRateIndex, si->downsample, eightBit);
    if (!g_open) g_outputDriver->Open(si->outputRate, si->outputChannels, -1, PcmBuffer.threshold, 2.5f, eightBit);
}

// The decoder thread's seek to a percentage of the stream.
void Seek(StreamInfo* si, int percent) {
    int n = static_cast<int>(float(GetFrameCount(si)) * (float(percent) * 0.01f));
    if (!SeekToFrame(si, n)) return;
    PcmBuffer.fill = 0;
    std::memset(PcmBuffer.data, 0, size_t(PcmBuffer.threshold));
    int seconds = GetPlayedSeconds(si);
    FlushVisFeed();
    SetLayer3PlayedBytes(uint32_t(seconds) * uint32_t(si->outputRate * si->outputChannels * (si->outputBits / 8)));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::MemFileInit(&g_file, "vorlo-fuzz-stream");
    plat::SetMessageBoxHook(fuzz::QuietMessageBox);
    PcmBuffer.data = static_cast<uint8_t*>(std::calloc(kPcmBufferSize, 1));
    g_outputDriver = &kFakeDriver;
    g_settings.EqVolume = 7;
    StartVisFeed();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t c0 = data[0], c1 = data[1];
    fuzz::MemFileSet(&g_file, data + 2, size - 2);

    g_settings.DownSample = c0 & 3;
    g_settings.Channels = kChannelValues[(c0 >> 2) & 3];
    g_settings.AudioOutput8Bit = (c0 >> 4) & 1;
    g_settings.EqEnabled = (c0 >> 5) & 1;
    g_settings.LEDCalculateVisuals = (c0 >> 6) & 1;
    fuzz::g_boxAnswer = (c0 >> 7) ? plat::IdYes : plat::IdNo;
    g_settings.MappingMode = c1 & 3;
    g_driverMode = (c1 >> 2) & 3;
    const int seekAfter = c1 >> 4;
    const int seekPercent = (c1 * 7) % 101;
    if (g_settings.EqEnabled) {
        float gains[kEqBandCount];
        for (int i = 0; i < kEqBandCount; i++) gains[i] = float((c1 + 37 * i) % 201) / 100.0f;
        ComputeEqualizerTable(gains);
    }

    // The track start as Play() does it.
    StreamInfo si{};
    si.channelSelect = g_settings.Channels;
    si.downsample = g_settings.DownSample > 2 ? 0 : g_settings.DownSample;
    const int mono = g_settings.Channels >= 0 ? 1 : 0;
    const int eightBit = g_settings.AudioOutput8Bit;
    si.outputChannels = mono ? 1 : 2;
    SelectSynthesis(&si, si.downsample, eightBit, mono);
    InitLayer12Tables();
    InitLayer3Tables(si.downsample);
    g_writes = 0;
    g_open = 0;
    PcmBuffer.fill = 0;
    if (!OpenInput(g_file.path)) std::abort();
    ResetHeaderHistory();
    FlushVisFeed();

    bool first = true;
    for (int frame = 0; frame < 4000; frame++) {
        if (seekAfter && frame == seekAfter) Seek(&si, seekPercent);
        if (!ReadFrame(&si)) break;
        if (si.crcPresent) GetBits(16);
        if (first) {
            // What --info prints of the first frame.
            volatile int kbps = kBitrateTable[si.lsf][si.layer - 1][si.bitrateIndex];
            volatile int rate = kSampleRateTable[si.sampleRateIndex];
            volatile double seconds = GetFrameCount(&si) * FrameDuration(si.layer, si.lsf, si.sampleRateIndex);
            (void)kbps, (void)rate, (void)seconds;
        }
        if (first || si.headerChanged) Configure(&si, eightBit, mono);
        first = false;
        int r = si.layerDecoder(&si);
        if (r < 0) break;
        if (r > 0) GetPlayedSeconds(&si);
    }
    CloseInput();
    FlushVisFeed();
    return 0;
}
