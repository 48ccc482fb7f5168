// Layer III decoding (ISO/IEC 11172-3 2.4.3.4, ISO/IEC 13818-3 2.4.3.2 for
// the low sampling frequencies and the 8/11.025/12 kHz extension): side
// information, scale factors and the bit reservoir; Huffman decoding with
// requantization; mid/side and intensity stereo; alias reduction; IMDCT,
// windowing and overlap (the hybrid filter bank). The frame decoder itself,
// DecodeLayer3Frame, is declared in decoder/frame.h.
#pragma once

#include <cstdint>

#include "decoder/input.h"
#include "decoder/stream_info.h"

constexpr int kScaleFactorCount = 39;

// Side information of one granule of one channel, as the frame decoder reads
// it, with the fields the spectrum decoder adds for the later stages.
struct GranuleInfo {
    int32_t scfsi;               // MPEG-1 granule 1: the four scfsi bits; granule 0: -1
    int32_t part2_3_length;      // main-data bits of scale factors and Huffman data
    int32_t big_values;          // value pairs of the big-values region, at most 288
    int32_t scalefac_compress;   // 4 bits (MPEG-1) or 9 bits (LSF)
    int32_t block_type;          // 0 normal, 1 start, 2 short, 3 stop
    int32_t mixed_block_flag;    // short block whose lowest subbands use long windows
    int32_t table_select[3];
    int32_t maxband[3];          // per short window: 1 + highest band with a nonzero value
    int32_t maxbandl;            // 1 + highest long band with a nonzero value
    int32_t maxb;                // subbands that alias reduction and the IMDCT process
    int32_t region1start;        // big-values region boundaries, in value pairs
    int32_t region2start;
    int32_t preflag;
    int32_t scalefac_scale;
    int32_t count1table_select;
    int32_t fullGain[3];         // GainTable position per short window
    int32_t gainPos;             // GainTable position of the global gain
    int32_t longSubbands;        // mixed blocks: subbands coded with long windows (2; 4 at 8 kHz)
    // LSF: per scale-factor entry, the largest value its slen can hold (2^slen
    // - 1), which as an intensity position marks a band that is not
    // intensity-coded.
    uint8_t illegalPosition[kScaleFactorCount];
};

// Builds every Layer III table for this track (the subband cap follows
// downSample 0..2) and forgets the reservoir and the PCM byte count. Called
// by the decoder thread at every track start.
void InitLayer3Tables(int downSample);
// Sets the running count of PCM bytes behind the visual time stamps: after
// a seek, to the bytes the output driver's SetPosition counts from.
void SetLayer3PlayedBytes(uint32_t bytes);

// Scale factors of one granule and channel (ISO/IEC 11172-3 2.4.2.7; the
// array layout is one entry per band, short bands band-major, window-minor,
// zeros for the bands that carry none). Read at the bit reader. Return the
// number of bits read (part2 length).
int ReadScaleFactorsMpeg1(const GranuleInfo* gi, int32_t* scalefac);
// LSF (ISO/IEC 13818-3 2.4.3.2); sets gi->preflag and gi->illegalPosition.
// intensityVariant: the right channel of an intensity-stereo frame.
int ReadScaleFactorsLsf(GranuleInfo* gi, int32_t* scalefac, int intensityVariant);

// Decodes one granule and channel of Huffman data at the bit reader into 576
// requantized values (short blocks interleaved: value k of window w of a band
// starting at 3*boundary B lies at B + 3k + w). Sets maxband, maxbandl and
// maxb. Returns 0, or 1 when the data needs more than part2_3_length -
// part2Bits bits (the values are then unusable). Leaves the reader at the end
// of the granule's part2_3_length.
int DecodeSpectrum(double* xr, const int32_t* scalefac, GranuleInfo* gi, int rateIndex, int part2Bits);
// The same for the side channel of a mid/side granule: xr0 holds the decoded
// mid channel on entry, and receives left = mid + side; xr1 receives right =
// mid - side.
int DecodeSpectrumMidSide(double* xr0, double* xr1, const int32_t* scalefac, GranuleInfo* gi,
                          int rateIndex, int part2Bits);
// Both channels of a granule at once, their data starting at at0 and at1
// (each after its scale factors, part2Bits[ch] bits): the two channels'
// codes are read side by side. xr1 gets the right channel, or with midSide
// the side channel formed with the mid channel in xr0 into left and right.
// Returns 1 when either channel's data ran past its budget.
int DecodeSpectrumPair(double* xr0, double* xr1, const int32_t* const* scalefac, GranuleInfo* gi0, GranuleInfo* gi1,
                       int rateIndex, const int* part2Bits, BitCursor at0, BitCursor at1, bool midSide);

// Intensity stereo (ISO/IEC 11172-3 2.4.3.4.9.3, ISO/IEC 13818-3 2.4.3.2) on
// the bands above the right channel's last nonzero value (long blocks) or
// above each short window's own last nonzero band, with the right channel's
// scale factors as intensity positions. The top band (long 21, short 12)
// takes the position of the band below it when that band is intensity-coded
// too; when the right channel's values end in the band below, LSF codes the
// top band at position 0 and MPEG-1 leaves it. A band whose position is
// illegal (MPEG-1: 7 and above; LSF: its gi->illegalPosition) is left as the
// earlier stages made it: mid/side decoded when msStereo is on. The
// MappingMode setting other than 2 replaces the short top-band rule.
void ApplyIntensityStereo(double* xr0, double* xr1, const int32_t* scalefacR, const GranuleInfo* giR,
                          int rateIndex, int msStereo, int lsf);
// Alias reduction butterflies between the subbands that gi->maxb covers.
void Antialias(double* xr, const GranuleInfo* gi);
// IMDCT, window, overlap-add and frequency inversion of one channel: xr (576
// values, changed) to out[slot][subband]; channel selects the overlap store.
void Hybrid(double* xr, double (*out)[32], int channel, const GranuleInfo* gi);

// The transforms of one subband. x: 18 spectral values; prev and
// next: the overlap rows; win: a 36-entry window row with the transform's
// 1/cos factors folded in; out: the subband's first output sample, the next
// slot 32 doubles further on.
void Imdct36(double* x, const double* prev, double* next, const double* win, double* out);
// x: the subband's 18 interleaved short values; win: the short window row.
void Imdct12(double* x, const double* prev, double* next, const double* win, double* out);
