// ReplayGain values as the tags hold them: the record of a track's and its
// album's gain and peak, and the strict reading of their texts, for the
// readers of each tag kind (ID3v2, APEv2, the LAME tag).
#pragma once

enum ReplayGainValue { kRgTrackGain, kRgTrackPeak, kRgAlbumGain, kRgAlbumPeak, kRgValueCount };

// Gains in dB, peaks as amplitudes (1.0 full scale).
struct ReplayGainValues {
    int has[kRgValueCount];
    double value[kRgValueCount];
};

constexpr double kRgMaxGainDb = 60.0;  // gains beyond +-60 dB are malformed
constexpr double kRgMaxPeak = 16.0;    // so are peaks above this or below 0

// A gain text ("-6.5 dB", "+3.20", any case of "dB") into dB: an optional
// sign, digits with an optional fraction, an optional unit, spaces around.
// False for anything else ("+abc dB", "1e300", "nan") or out of range.
bool ParseGainText(const char* text, double* db);
// A peak text ("0.988"): digits with an optional fraction, within range.
bool ParsePeakText(const char* text, double* peak);
// Takes value as `which` when it is in range and values has none yet.
void TakeReplayGainValue(ReplayGainValue which, double value, ReplayGainValues* values);
// Takes one named value ("REPLAYGAIN_TRACK_GAIN", any case) from a tag's
// text when it is valid and values has none of that name yet. True when the
// name is one of the four.
bool TakeReplayGainText(const char* name, const char* text, ReplayGainValues* values);
