// The options the output drivers and the decoder thread read from the
// Settings record. Until the settings module exists, a stand-in record with
// the same field names and defaults lives here.
#pragma once

#if __has_include("shell/settings.h")
#include "shell/settings.h"
#else
#include <cstdint>

struct SettingsRecord {
    float AudioBufTime = 2.5f;
    int32_t AudioOutputSystem = 0;
    int32_t AudioOutput8Bit = 0;
    int32_t AudioBypassACM = 0;
    int32_t AudioAllowSyncDev = 0;
    int32_t WinMMCallback = 0;
    int32_t WinMMOutputDev = -1;
    int32_t EqEnabled = 0;
    int32_t EqVolume = 7;
    float EqBand[12] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    int32_t DownSample = 0;
    int32_t Channels = -1;
    int32_t DecoderPriority = 3;
};
extern SettingsRecord Settings;
#define VORLO_SETTINGS_STANDIN 1
#endif
