// Polyphase synthesis (ISO/IEC 11172-3 Annex A, synthesis subband filter)
// and the PCM accumulation buffer every layer decoder writes into.
#pragma once

#include <cstdint>

#include "decoder/stream_info.h"

constexpr int kPcmBufferSize = 65536;
// The most one slot adds: 32 samples x 2 channels x 2 bytes.
constexpr int kPcmMaxSlotBytes = 128;
// The most one driver Write is offered.
constexpr int kPcmMaxWrite = 32768;

struct PcmBufferState {
    uint8_t* data;   // kPcmBufferSize bytes, allocated by the decoder thread
    int fill;        // bytes of PCM waiting at the start of data
    int threshold;   // flush level in bytes, set at every (re)configuration
};
extern PcmBufferState PcmBuffer;

// Where the next slot goes: data + fill. Invariant kept by the flush step:
// fill <= kPcmBufferSize - kPcmMaxSlotBytes, so a slot always fits; should
// fill be out of range anyway, the oldest bytes are dropped to make room.
uint8_t* PcmSlotOut();

// The flush step after every slot: fill += bytesPerSlot and, at the
// threshold, offer min(fill, kPcmMaxWrite) bytes to g_outputDriver->Write
// and keep what it did not take. Returns 1, or -2 when the driver refused
// the data (Write < 0), leaving fill unchanged. When a driver keeps taking
// less than it is given until the buffer cannot hold another slot, the
// oldest PCM is dropped: the buffer never grows past kPcmBufferSize.
int PcmFlushStep(StreamInfo* si);

// The flush threshold for a configuration (sample-rate index 0..8,
// downsample 0..2): base >> downsample, halved for 8-bit output.
int PcmThreshold(int sampleRateIndex, int downsample, int eightBit);

// Chooses SynthFn and MonoWriterFn for downsample 0..2, 8- or 16-bit output,
// mono or stereo output, and sets bytesPerSlot.
void SelectSynthesis(StreamInfo* si, int downsample, int eightBit, int monoOutput);

// A window sum as a 16-bit sample: rounded to the nearest integer, ties to
// even (by adding 2^52 + 2^31 in double precision), clipped to -32768..32767.
int PcmRoundClip(double sum);
// The 8-bit output of a 16-bit sample: (s >> 9) + 128, spanning 64..191.
uint8_t Pcm8FromPcm16(int s);

// Clears the history of all three rate variants (ring offset back to 1).
// The player never calls it; tests use it to start from a known state.
void ResetSynthesisState();
