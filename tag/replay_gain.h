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
#include "tag/gain_values.h"

enum ReplayGainMode { kRgOff = 0, kRgTrack = 1, kRgAlbum = 2, kRgAuto = 3 };

// What the user chose (the settings' ReplayGain* fields).
struct ReplayGainChoice {
    int mode;             // a ReplayGainMode
    int shuffled;         // kRgAuto: album when 0, track when 1
    double preampDb;      // added to a tagged gain; held to -15..15
    double untaggedDb;    // the gain of a file without one; held to -15..15
    int preventClipping;  // 1: the factor is lowered so that peak x factor <= 1
};

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
