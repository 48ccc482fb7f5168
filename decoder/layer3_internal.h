// Tables shared by the Layer III files, built by InitLayer3Tables.
#pragma once

#include <cstdint>

#include "decoder/layer3.h"

// GainTable position k (kGainMin..kGainMax) holds 2^(-(k + 210) / 4). The
// standard positions run from -256 to 121; scale factors of five bits (LSF)
// with subblock gain 7 reach 186, so the table goes on by its formula, and
// lookups are clamped to its ends.
constexpr int kGainMin = -256;
constexpr int kGainMax = 255;
// Largest escaped value: 15 + 2^13 - 1.
constexpr int kPowerTableSize = 8207;

// A run of value pairs that share one scale factor.
struct BandRun {
    int16_t pairs;   // value pairs in the run; 0 ends a list
    int16_t start;   // first spectral position
    int16_t window;  // 0..2 short window, 3 long
    int16_t band;    // scale-factor band
};

struct Layer3Tables {
    double gain[kGainMax - kGainMin + 1];  // indexed k - kGainMin
    double power[kPowerTableSize];         // n^(4/3)
    // Per sampling rate: the runs of long, short and mixed blocks, each
    // ended by an empty run.
    BandRun longMap[9][23];
    BandRun shortMap[9][40];
    BandRun mixedMap[9][39];
    int mixedLongBands[9];     // long bands of a mixed block (8 MPEG-1, 6 LSF)
    int mixedLongSubbands[9];  // subbands they fill (2; 4 at 8 kHz)
    int16_t longLimit[9][23];  // subbands to process by 1 + highest long band
    int16_t shortLimit[9][14]; // ... by 1 + highest short band
    int16_t longBound[9][23];  // long boundaries in lines
    int16_t shortBound3[9][14];// short boundaries times 3
    int16_t shortWidth[9][13]; // short widths per window
    double window[4][36];      // window rows by block type, 1/cos factors folded in
    double windowOdd[4][36];   // the same with odd entries negated (frequency inversion)
    double cs[8], ca[8];       // alias reduction
    // Intensity ratios by position 0..31: [lsf scale 0/1 or MPEG-1 (2)]
    // [mid/side 0/1][left 0 / right 1][position].
    double intensity[3][2][2][32];
    uint16_t nSlen2[512];
    uint16_t iSlen2[256];
};
extern Layer3Tables g_l3t;

// The pre-emphasis table (ISO/IEC 11172-3 Table B.6) with a 0 for band 21.
extern const int32_t kPretab[22];

// The parts of InitLayer3Tables that belong to each file.
void InitLayer3SpectrumTables(int downSample);
void InitLayer3HybridTables();
