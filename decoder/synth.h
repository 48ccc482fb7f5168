// Polyphase synthesis (ISO/IEC 11172-3 Annex A, synthesis subband filter)
// and the PCM accumulation buffer every layer decoder writes into.
#pragma once

#include <cstdint>

#include "decoder/stream_info.h"

struct AudioOutputDriver;

constexpr int kPcmBufferSize = 65536;
// The most one slot adds: 32 samples x 2 channels x 2 bytes.
constexpr int kPcmMaxSlotBytes = 128;
// The most one driver Write is offered.
constexpr int kPcmMaxWrite = 32768;

struct PcmBufferState {
    uint8_t* data;   // kPcmBufferSize bytes, allocated by the decoder thread
    int fill;        // bytes of PCM waiting at the start of data
    int threshold;   // flush level in bytes, set at every (re)configuration
    int added;       // bytes the last flush step added: bytesPerSlot, or less
                     // for a slot that the gapless window cut
};
extern PcmBufferState PcmBuffer;

// Where the next slot goes: data + fill. Invariant kept by the flush step:
// fill <= kPcmBufferSize - kPcmMaxSlotBytes, so a slot always fits; should
// fill be out of range anyway, the oldest bytes are dropped to make room.
uint8_t* PcmSlotOut();

// Offers min(fill, kPcmMaxWrite) bytes to driver->Write and removes what
// it took from the buffer's front: the bytes taken, 0 when it took none,
// or the driver's negative answer (the buffer unchanged).
int PcmHandOver(const AudioOutputDriver* driver);

// The flush step after every slot: fill += bytesPerSlot (only the part
// inside the gapless window, moved to data + fill) and, at the
// threshold, offer min(fill, kPcmMaxWrite) bytes to g_outputDriver->Write
// and keep what it did not take. Returns 1, or -2 when the driver refused
// the data (Write < 0), leaving fill unchanged. When a driver keeps taking
// less than it is given until the buffer cannot hold another slot, the
// oldest PCM is dropped: the buffer never grows past kPcmBufferSize.
int PcmFlushStep(StreamInfo* si);

// The gapless window: only the sample frames whose first decoded sample
// lies in [start, end) reach the output. Positions count decoded samples
// per channel at the stream's rate, before down-sampling: of the 2^d
// decoded samples behind one output sample at down-sampling d, the first
// decides, so the window keeps ceil(end / 2^d) - ceil(start / 2^d) output
// samples of a whole track. Each slot advances the position by 32.
// PcmClearWindow lets everything through (the state at start-up).
void PcmSetWindow(int64_t start, int64_t end);
void PcmClearWindow();
// The decoded-sample position of the next slot.
void PcmSetWindowPosition(int64_t position);

// The flush threshold for a configuration (sample-rate index 0..8,
// downsample 0..2): base >> downsample, halved for 8-bit output.
int PcmThreshold(int sampleRateIndex, int downsample, int eightBit);

// Chooses SynthFn and MonoWriterFn for downsample 0..2, 8- or 16-bit output,
// mono or stereo output, and sets bytesPerSlot.
void SelectSynthesis(StreamInfo* si, int downsample, int eightBit, int monoOutput);

// The factor every window sum is multiplied by before it is rounded (the
// track's ReplayGain); 1.0, the start-up value, leaves the sums untouched.
void PcmSetGain(double factor);

// A window sum as a 16-bit sample: rounded to the nearest integer, ties to
// even (by adding 2^52 + 2^31 in double precision), clipped to -32768..32767.
int PcmRoundClip(double sum);
// The 8-bit output of a 16-bit sample: (s >> 9) + 128, spanning 64..191.
uint8_t Pcm8FromPcm16(int s);

// Clears the history of all three rate variants (ring offset back to 1).
// The player never calls it; tests use it to start from a known state.
void ResetSynthesisState();
