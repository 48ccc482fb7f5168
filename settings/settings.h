// The player's options: one process-wide record, read once at start-up from
// "vor.ini" beside the executable (section "vor") and written back whole.
//
// The user-interface thread owns and writes the record; the decoder thread
// polls a few of its fields (volume, priority, equaliser switch, visual data
// switch) with plain reads of aligned 32-bit values, so fields that other
// threads read must stay int or float.
#pragma once

#include <cstddef>

constexpr int kEqBandCount = 12;
// InternetDLDir and PreviousDir are read with a size of 259, IRCAppName and
// IRCCommand with 255: one character less than the buffer can hold.
constexpr size_t kSettingsDirSize = 260;
constexpr size_t kSettingsNameSize = 256;

// Fields are named after their keys.
struct Settings {
    float AudioBufTime;
    int AudioOutputSystem;
    int AudioOutput8Bit;
    int AudioBypassACM;
    int AudioAllowSyncDev;
    int WinMMCallback;
    int WinMMOutputDev;  // stored as unsigned text: -1 (the wave mapper) is 4294967295
    int EqEnabled;
    int EqLoudness;
    int EqVolume;        // 0..15; a stored value above 15 reads as 14
    float EqBand[kEqBandCount];
    int DownSample;
    int Channels;
    int DecoderPriority;
    int MappingMode;
    int ShufflePlay;
    int RepeatPlay;
    int AutoPlayOnOpen;
    int MultipleInstances;
    int DownloadOption;
    char InternetDLDir[kSettingsDirSize];
    int DownloadPlayAfterSave;
    char PreviousDir[kSettingsDirSize];
    int ShowSplashScreen;
    int MinimizeLocation;
    int StartupExpanded;
    int WinShade;
    int DoubleSize;  // 1: the skin at twice its size on any screen
    int AlwaysOnTop;
    int EasyMove;
    int GlobalMediaKeys;  // 1: the media keys act on the player while other windows have the focus
    int ReadFileInfo;
    int PlaylistX;
    int PlaylistY;
    int PlaylistW;
    int PlaylistH;
    int WindowX;
    int WindowY;
    int LEDCalculateVisuals;
    int LEDTargetResolution;
    int LEDAutoScrollSongName;
    char Skin[kSettingsNameSize];  // the user skin's folder or .zip in Skins\; empty: the built-in skin
    char IRCAppName[kSettingsNameSize];
    char IRCCommand[kSettingsNameSize];
    int IRCEnabled;
    int IRCUseTag;
    // ReplayGain (tag/replay_gain.h): 0 off, 1 track, 2 album, 3 automatic
    // (album in order, track when shuffled); the preamp and the untagged
    // files' gain in dB (-15..15); 1 to lower the gain so the peak stays
    // below full scale.
    int ReplayGainMode;
    float ReplayGainPreamp;
    float ReplayGainUntagged;
    int ReplayGainPreventClip;

    // Not stored: the main window's current expanded state, taken from
    // StartupExpanded when the window is created and given back to it when
    // the window is destroyed.
    int expanded;
};

extern Settings g_settings;

// The executable's directory with its trailing separator ("" when the
// executable's path holds no separator), at most size-1 characters.
void GetExeDirectory(char* buf, size_t size);
// The settings file: the executable's directory followed by "vor.ini".
// Returns false (and an empty buf) when buf is too small for the path.
bool GetSettingsPath(char* buf, size_t size);

// Fills every stored field of g_settings from the settings file; missing
// keys, or a missing file, give the defaults. Always returns 1.
int LoadSettings();
// Writes every stored field of g_settings to the settings file, one key at a
// time. Failed writes are ignored. Always returns 1.
int SaveSettings();

// Every stored field at its default, as a missing settings file gives them,
// without reading any file (tools and tests).
void LoadDefaultSettings();

// The same with an explicit file (tools and tests).
int LoadSettingsFrom(const char* path);
int SaveSettingsTo(const char* path);
