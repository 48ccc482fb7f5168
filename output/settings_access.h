// The Settings record as the output drivers and the decoder thread see it.
// While the settings module is being built, a stand-in record with the same
// fields is used.
#pragma once

#if __has_include("shell/settings.h")
#include "shell/settings.h"
#else
struct Settings {
    float AudioBufTime;
    int AudioOutputSystem;
    int AudioOutput8Bit;
    int AudioBypassACM;
    int AudioAllowSyncDev;
    int WinMMCallback;
    int WinMMOutputDev;
    int EqEnabled;
    int EqLoudness;
    int EqVolume;
    float EqBand[12];
    int DownSample;
    int Channels;
    int DecoderPriority;
};
extern Settings g_settings;
#endif
