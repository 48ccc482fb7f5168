// Strict reading of ReplayGain texts, and the record they fill.
#include "tag/gain_values.h"

#include <cctype>
#include <cmath>

namespace {

constexpr const char* kNames[kRgValueCount] = {"REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK",
                                               "REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_PEAK"};

bool SameName(const char* a, const char* b) {
    for (; *a && *b; a++, b++)
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

const char* SkipSpaces(const char* p) {
    while (*p == ' ' || *p == '\t') p++;
    return p;
}

// Digits with an optional fraction ("12", "12.", "12.5", ".5") at p, exactly
// as written (no exponent, no infinity or NaN); the end, or nullptr.
const char* ReadDecimal(const char* p, double* v) {
    double whole = 0, scale = 1;
    bool digits = false;
    for (; *p >= '0' && *p <= '9'; p++, digits = true) whole = whole * 10 + (*p - '0');
    if (*p == '.')
        for (p++; *p >= '0' && *p <= '9'; p++, digits = true) whole += (*p - '0') * (scale /= 10);
    if (!digits) return nullptr;
    *v = whole;
    return p;
}

bool InRange(ReplayGainValue which, double v) {
    const bool peak = which == kRgTrackPeak || which == kRgAlbumPeak;
    return std::isfinite(v) && (peak ? v >= 0 && v <= kRgMaxPeak : std::fabs(v) <= kRgMaxGainDb);
}

}  // namespace

bool ParseGainText(const char* text, double* db) {
    if (!text) return false;
    const char* p = SkipSpaces(text);
    const bool minus = *p == '-';
    if (*p == '+' || *p == '-') p++;
    double v;
    if (!(p = ReadDecimal(p, &v))) return false;
    p = SkipSpaces(p);
    if ((p[0] == 'd' || p[0] == 'D') && (p[1] == 'b' || p[1] == 'B')) p = SkipSpaces(p + 2);
    if (*p || !InRange(kRgTrackGain, v)) return false;
    *db = minus ? -v : v;
    return true;
}

bool ParsePeakText(const char* text, double* peak) {
    if (!text) return false;
    const char* p = SkipSpaces(text);
    double v;
    if (!(p = ReadDecimal(p, &v)) || *SkipSpaces(p) || !InRange(kRgTrackPeak, v)) return false;
    *peak = v;
    return true;
}

void TakeReplayGainValue(ReplayGainValue which, double value, ReplayGainValues* values) {
    if (values->has[which] || !InRange(which, value)) return;
    values->has[which] = 1;
    values->value[which] = value;
}

bool TakeReplayGainText(const char* name, const char* text, ReplayGainValues* values) {
    for (int i = 0; i < kRgValueCount; i++) {
        if (!SameName(name, kNames[i])) continue;
        double v;
        const bool peak = i == kRgTrackPeak || i == kRgAlbumPeak;
        if (peak ? ParsePeakText(text, &v) : ParseGainText(text, &v)) TakeReplayGainValue(ReplayGainValue(i), v, values);
        return true;
    }
    return false;
}
