// StreamInfo: the decoded header of the current stream, the values derived
// from it and the decoder's function slots. One record per playback, owned by
// the decoder thread and passed by pointer to the frame reader and the layer
// decoders.
#pragma once

#include <cstdint>

struct StreamInfo;
struct Layer2AllocTable;

// Decodes the frame in the current frame buffer: 1 done, 0 skipped, -2 the
// output refused its data (Layer III).
using LayerDecoderFn = int (*)(StreamInfo* si);
// Synthesises one 32-sample slot of both channels into the interleaved
// two-channel PCM at out (channel 1 at the odd sample positions).
using SynthFn = void (*)(const double* ch0, const double* ch1, uint8_t* out);
// Renders one channel's slot: consecutive samples for mono output, each
// sample to both channels for stereo output.
using MonoWriterFn = void (*)(const double* samples, uint8_t* out);

struct StreamInfo {
    const Layer2AllocTable* allocTable;  // Layer II allocation table in use
    SynthFn synth;                       // set by the decoder thread
    MonoWriterFn monoWriter;             // set by the decoder thread
    LayerDecoderFn layerDecoder;         // chosen per header by the frame reader
    int32_t channels;                    // 1 for single channel (mode 3), else 2
    int32_t jsbound;                     // first subband in intensity stereo (Layers I, II)
    int32_t channelSelect;               // Channels setting: -1 stereo output, 3 mono output
    int32_t sblimit;                     // Layer II: subbands with allocation
    int32_t lsf;                         // 0 MPEG-1, 1 MPEG-2 and MPEG-2.5
    int32_t mpeg25;                      // 1 for MPEG-2.5
    int32_t downsample;                  // 0 full rate, 1 half, 2 quarter
    int32_t headerChanged;               // 0 when the header word equals the previous frame's
    int32_t bytesPerSlot;                // PCM bytes per 32-sample slot of one frame
    int32_t layer;                       // 1, 2 or 3
    int32_t crcPresent;                  // 1 when a 16-bit CRC follows the header
    int32_t bitrateIndex;                // 0..15
    int32_t sampleRateIndex;             // 0..8: 0-2 MPEG-1, 3-5 MPEG-2, 6-8 MPEG-2.5
    int32_t padding;
    int32_t privateBit;
    int32_t mode;                        // 0 stereo, 1 joint, 2 dual channel, 3 single channel
    int32_t modeExtension;
    int32_t copyright;
    int32_t original;
    int32_t emphasis;
    int32_t outputRate;                  // Hz after down-sampling (decoder thread)
    int32_t outputChannels;              // 1 or 2 (decoder thread)
    int32_t outputBits;                  // 8 or 16 (decoder thread)
};
