// ReplayGain: a track's and its album's loudness correction and peak, read
// from the file's tags, and the one factor the output is scaled by.
//
// The values come from, in this order, each from the first source that has
// it: ID3v2 TXXX frames (REPLAYGAIN_TRACK_GAIN, _TRACK_PEAK, _ALBUM_GAIN,
// _ALBUM_PEAK, names in any case), ID3v2 RVA2 frames (master volume;
// identification "album" for the album, anything else the track), APEv2
// items of the TXXX names, and the LAME tag (radio gain the track's,
// audiophile gain the album's, its peak the track's). A value that does not
// read strictly as a number in range is not there.
#pragma once

#include "decoder/stream_probe.h"
#include "platform/platform.h"

enum ReplayGainValue { kRgTrackGain, kRgTrackPeak, kRgAlbumGain, kRgAlbumPeak, kRgValueCount };

// Gains in dB, peaks as amplitudes (1.0 full scale).
struct ReplayGainValues {
    int has[kRgValueCount];
    double value[kRgValueCount];
};

enum ReplayGainMode { kRgOff = 0, kRgTrack = 1, kRgAlbum = 2, kRgAuto = 3 };

// What the user chose (the settings' ReplayGain* fields).
struct ReplayGainChoice {
    int mode;             // a ReplayGainMode
    int shuffled;         // kRgAuto: album when 0, track when 1
    double preampDb;      // added to a tagged gain; held to -15..15
    double untaggedDb;    // the gain of a file without one; held to -15..15
    int preventClipping;  // 1: the factor is lowered so that peak x factor <= 1
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

// The values of an open local file whose layout is given (where its APE tag
// and LAME tag are), in the order above.
void ReadReplayGain(plat::File file, const StreamLayout& layout, ReplayGainValues* values);

// The linear factor for values under choice: 1.0 when off.
double ReplayGainFactor(const ReplayGainValues& values, const ReplayGainChoice& choice);

// The choice the settings make (g_settings), shuffle included.
ReplayGainChoice ReplayGainChoiceFromSettings();

// The factor a local file plays with under the settings: the decoder
// thread's track-gain hook (decoder_thread.h).
double TrackReplayGain(const char* path, const StreamLayout& layout);
