// ReplayGain values from the tags, and the output factor they make.
#include "tag/replay_gain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "decoder/header.h"
#include "settings/settings.h"
#include "tag/id3v2.h"

namespace {

double Held(double db) { return std::isfinite(db) ? std::fmax(-15.0, std::fmin(15.0, db)) : 0.0; }

// The text items of the APE tag whose footer is at footer: item value size
// and flags (4 bytes each, little-endian), key and its terminator, value.
void ReadApeItems(plat::File file, int64_t footer, ReplayGainValues* values) {
    uint8_t f[32];
    if (footer < 0 || !FileReadAt(file, footer, f, 32) || std::memcmp(f, "APETAGEX", 8) != 0) return;
    const uint32_t size = Le32(f + 12), count = Le32(f + 16);
    if (size < 32 || int64_t(size) - 32 > footer) return;
    int64_t at = footer + 32 - size;
    for (uint32_t i = 0; i < count && i < 1024 && at + 9 < footer; i++) {
        uint8_t item[8 + 257 + 64];
        const uint32_t ask = uint32_t(std::min<int64_t>(sizeof item, footer - at));
        if (!FileReadAt(file, at, item, ask)) return;
        const uint32_t length = Le32(item), flags = Le32(item + 4);
        const void* end = std::memchr(item + 8, 0, ask - 8);
        if (!end) return;
        const size_t keyLen = static_cast<const uint8_t*>(end) - (item + 8);
        const uint8_t* value = item + 8 + keyLen + 1;
        if (length > uint64_t(footer - at)) return;
        if (((flags >> 1) & 3) == 0 && length < 64 && value + length <= item + ask) {
            char text[64];
            std::memcpy(text, value, length);
            text[length] = '\0';
            TakeReplayGainText(reinterpret_cast<const char*>(item + 8), text, values);
        }
        at += 8 + int64_t(keyLen) + 1 + length;
    }
}

}  // namespace

void ReadReplayGain(plat::File file, const StreamLayout& layout, ReplayGainValues* values) {
    std::memset(values, 0, sizeof *values);
    if (!file) return;
    ReadId3v2ReplayGain(file, values);
    ReadApeItems(file, layout.apeFooter, values);
    const VbrHeader& v = layout.vbr;
    if (v.hasRadioGain) TakeReplayGainValue(kRgTrackGain, v.radioGainDb, values);
    if (v.hasAudiophileGain) TakeReplayGainValue(kRgAlbumGain, v.audiophileGainDb, values);
    if (v.peak > 0) TakeReplayGainValue(kRgTrackPeak, v.peak, values);
}

double ReplayGainFactor(const ReplayGainValues& values, const ReplayGainChoice& choice) {
    if (choice.mode != kRgTrack && choice.mode != kRgAlbum && choice.mode != kRgAuto) return 1.0;
    const bool album = choice.mode == kRgAlbum || (choice.mode == kRgAuto && !choice.shuffled);
    // The chosen kind, else the other one.
    auto pick = [&](ReplayGainValue track, ReplayGainValue albumValue, double* v) {
        const ReplayGainValue first = album ? albumValue : track, second = album ? track : albumValue;
        if (values.has[first]) return *v = values.value[first], true;
        if (values.has[second]) return *v = values.value[second], true;
        return false;
    };
    double db, peak;
    if (!pick(kRgTrackGain, kRgAlbumGain, &db)) return std::pow(10.0, Held(choice.untaggedDb) / 20.0);
    double factor = std::pow(10.0, (db + Held(choice.preampDb)) / 20.0);
    if (choice.preventClipping && pick(kRgTrackPeak, kRgAlbumPeak, &peak) && peak * factor > 1.0)
        factor = 1.0 / peak;
    return factor;
}

ReplayGainChoice ReplayGainChoiceFromSettings() {
    return {g_settings.ReplayGainMode, g_settings.ShufflePlay == 1, g_settings.ReplayGainPreamp,
            g_settings.ReplayGainUntagged, g_settings.ReplayGainPreventClip != 0};
}

double TrackReplayGain(const char* path, const StreamLayout& layout) {
    const ReplayGainChoice choice = ReplayGainChoiceFromSettings();
    if (choice.mode == kRgOff) return 1.0;
    ReplayGainValues values{};
    plat::File f = plat::FileOpenRead(path);
    if (f) {
        ReadReplayGain(f, layout, &values);
        plat::FileClose(f);
    }
    return ReplayGainFactor(values, choice);
}
