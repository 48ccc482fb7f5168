// The twelve-band equaliser on the Layer III spectrum: a 576-entry gain curve,
// piecewise linear between the bands' breakpoints, multiplied into every
// granule before alias reduction. The user interface thread recomputes the
// curve while the decoder thread may read it; each entry is one float store.
#pragma once

// Spectral line at which each band's gain applies exactly.
extern const int EqBreakpoints[12];
// The gain per spectral storage position (32 subbands x 18 lines).
extern float EqGainTable[576];

// Recomputes EqGainTable from the twelve band gains (0.0..2.0, 1.0 flat).
// Returns 1.
int ComputeEqualizerTable(const float* gains);
// Multiplies both channels' 576 values by EqGainTable.
void ApplyEqualizer(double* xr0, double* xr1);
