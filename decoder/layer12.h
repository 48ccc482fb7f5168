// Layers I and II (ISO/IEC 11172-3, 2.4.1.5-2.4.1.6 and 2.4.3.2-2.4.3.3;
// ISO/IEC 13818-3 for the low sampling frequencies): the requantization
// tables they share and the Layer II allocation tables. The frame decoders
// themselves are declared in decoder/frame.h.
#pragma once

#include <cstdint>

#include "decoder/tables_layer12.h"

// A Layer II bit allocation table: subband s takes 2^nbal(s) entries,
// subband s+1 starts right after them.
struct Layer2AllocTable {
    const Layer2AllocEntry* entries;
    int entryCount;
    int sblimit;
};

// Multiplier table M: row k holds m[k] times the scale factor 2^(1 - i/3)
// for index i = 0..62 and 0 at i = 63. Rows 3..16 serve ungrouped codes of k
// bits (m = 2 / (2^k - 1)); rows 1, 2 and 17..26 are the levels of the
// grouped 3-, 5- and 9-step quantizers; row 0 is all zeros.
constexpr int kLayer12Rows = 27;
extern double g_layer12Multiplier[kLayer12Rows][64];

// Grouping tables of the 3-, 5- and 9-step quantizers: for a codeword c the
// rows of M of its three samples, first sample first. Sized by the codeword
// width (32, 128, 1024 codes); codes at or above L^3 are not valid and give
// three zeros (row 0).
extern uint8_t g_layer2Group3[32][3];
extern uint8_t g_layer2Group5[128][3];
extern uint8_t g_layer2Group9[1024][3];

// Fills M and the grouping tables. Idempotent; called at every play command.
void InitLayer12Tables();
