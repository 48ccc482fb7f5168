// Polyphase synthesis (ISO/IEC 11172-3 Annex A, synthesis subband filter)
// and the PCM accumulation buffer every layer decoder writes into.
#pragma once

#include <cstdint>

#include "decoder/stream_info.h"

constexpr int kPcmBufferSize = 65536;

struct PcmBufferState {
    uint8_t* data;   // kPcmBufferSize bytes, allocated by the decoder thread
    int fill;        // bytes of PCM waiting at the start of data
    int threshold;   // flush level in bytes, set at every (re)configuration
};
extern PcmBufferState PcmBuffer;

// The flush step after every slot: fill += bytesPerSlot and, at the
// threshold, hand the buffer to g_outputDriver->Write. Returns 1, or -2 when
// the driver refused the data (Write < 0), leaving fill unchanged.
int PcmFlushStep(StreamInfo* si);

// The flush threshold for a configuration (sample-rate index 0..8).
int PcmThreshold(int sampleRateIndex, int downsample, int eightBit);

// Chooses SynthFn and MonoWriterFn for downsample 0..2, 8- or 16-bit output,
// mono or stereo output, and sets bytesPerSlot.
void SelectSynthesis(StreamInfo* si, int downsample, int eightBit, int monoOutput);
