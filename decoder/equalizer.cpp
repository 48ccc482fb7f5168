// The equaliser's gain curve and its application to a granule's spectrum.
#include "decoder/equalizer.h"

const int EqBreakpoints[12] = {0, 5, 10, 20, 30, 50, 100, 150, 200, 300, 400, 576};
float EqGainTable[576];

int ComputeEqualizerTable(const float* gains) {
    for (int i = 0; i < 11; i++) {
        const int b0 = EqBreakpoints[i], b1 = EqBreakpoints[i + 1];
        const long double g0 = gains[i], g1 = gains[i + 1];
        const long double slope = (g1 - g0) / (long double)(b0 - b1);
        for (int j = b0 + 1; j < b1 && j < 576; j++) EqGainTable[j] = float(g0 + slope * (long double)(b0 - j));
        EqGainTable[b0] = gains[i];
    }
    // Band 11's breakpoint (576) lies past the table; it only anchors the
    // slope from band 10, so line 575 is g10 + (g11 - g10) * 175 / 176.
    return 1;
}

void ApplyEqualizer(double* xr0, double* xr1) {
    for (int p = 0; p < 576; p++) {
        const double g = EqGainTable[p];
        xr0[p] *= g;
        xr1[p] *= g;
    }
}
