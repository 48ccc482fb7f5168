// Placeholder until the synthesis lands.
#include "decoder/synth.h"

PcmBufferState PcmBuffer;
int PcmFlushStep(StreamInfo*) { return 1; }
int PcmThreshold(int, int, int) { return 16384; }
void SelectSynthesis(StreamInfo* si, int downsample, int eightBit, int monoOutput) {
    si->bytesPerSlot = 128 >> (monoOutput + eightBit + downsample);
}
