// Loading and saving the settings record. One descriptor per key drives
// both directions: the table lists the keys in load order, kSaveOrder names
// the same rows in the order of the write calls (which is also the order of
// the keys in a new file).
#include "settings/settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

Settings g_settings;

namespace {

constexpr const char* kSection = "vor";
constexpr const char* kFileName = "vor.ini";

enum SettingType : uint8_t {
    kInt,       // "%d"
    kUnsigned,  // an int written with "%u"
    kFloat,     // read as text (default given as text) and converted
    kString,    // read with readSize, written as it stands
};

// Rows in load order; a row's id is its index in the table.
enum SettingId : uint8_t {
    sAudioBufTime, sAudioOutputSystem, sAudioOutput8Bit, sAudioBypassACM, sAudioAllowSyncDev,
    sWinMMCallback, sWinMMOutputDev, sEqEnabled, sEqLoudness, sEqVolume, sEqBand,
    sDownSample, sChannels, sDecoderPriority, sMappingMode, sShufflePlay, sRepeatPlay,
    sAutoPlayOnOpen, sMultipleInstances, sDownloadOption, sInternetDLDir,
    sDownloadPlayAfterSave, sPreviousDir, sShowSplashScreen, sMinimizeLocation,
    sStartupExpanded, sWinShade, sDoubleSize, sAlwaysOnTop, sEasyMove, sGlobalMediaKeys, sReadFileInfo, sPlaylistX,
    sPlaylistY, sPlaylistW, sPlaylistH, sWindowX, sWindowY, sLEDCalculateVisuals,
    sLEDTargetResolution, sLEDAutoScrollSongName, sSkin, sIRCAppName, sIRCCommand, sIRCEnabled,
    sIRCUseTag,
    sReplayGainMode, sReplayGainPreamp, sReplayGainUntagged, sReplayGainPreventClip,
    kSettingCount
};

struct SettingDesc {
    SettingId id;
    const char* key;          // with count > 1, a format taking the element index
    SettingType type;
    size_t offset;            // of the field (the first element) in Settings
    int count;                // elements of an array field, one key each
    int intDefault;           // kInt, kUnsigned
    const char* textDefault;  // kFloat, kString; nullptr: the executable's directory
    const char* format;       // kFloat: how the value is written
    uint32_t readSize;        // kString: the size passed to the read
    int (*fix)(int);          // kInt: applied to the value read, or nullptr
};

// A stored volume above the slider's 15 comes back as 14.
int FixEqVolume(int v) { return v > 15 ? 14 : v; }

#define INT_ROW(name, def) {s##name, #name, kInt, offsetof(Settings, name), 1, def, nullptr, nullptr, 0, nullptr}
#define STR_ROW(name, def, size) {s##name, #name, kString, offsetof(Settings, name), 1, 0, def, nullptr, size, nullptr}

constexpr SettingDesc kSettingTable[] = {
    {sAudioBufTime, "AudioBufTime", kFloat, offsetof(Settings, AudioBufTime), 1, 0, "02.50", "%02.02f", 0, nullptr},
    INT_ROW(AudioOutputSystem, 0),
    INT_ROW(AudioOutput8Bit, 0),
    INT_ROW(AudioBypassACM, 0),
    INT_ROW(AudioAllowSyncDev, 0),
    INT_ROW(WinMMCallback, 0),
    {sWinMMOutputDev, "WinMMOutputDev", kUnsigned, offsetof(Settings, WinMMOutputDev), 1, -1, nullptr, nullptr, 0, nullptr},
    INT_ROW(EqEnabled, 0),
    INT_ROW(EqLoudness, 0),
    {sEqVolume, "EqVolume", kInt, offsetof(Settings, EqVolume), 1, 7, nullptr, nullptr, 0, FixEqVolume},
    {sEqBand, "EqBand%02d", kFloat, offsetof(Settings, EqBand), kEqBandCount, 0, "01.00", "%1.12f", 0, nullptr},
    INT_ROW(DownSample, 0),
    INT_ROW(Channels, -1),
    INT_ROW(DecoderPriority, 3),
    INT_ROW(MappingMode, 2),
    INT_ROW(ShufflePlay, 0),
    INT_ROW(RepeatPlay, 0),
    INT_ROW(AutoPlayOnOpen, 1),
    INT_ROW(MultipleInstances, 0),
    INT_ROW(DownloadOption, 0),
    STR_ROW(InternetDLDir, nullptr, kSettingsDirSize - 1),
    INT_ROW(DownloadPlayAfterSave, 0),
    STR_ROW(PreviousDir, nullptr, kSettingsDirSize - 1),
    INT_ROW(ShowSplashScreen, 1),
    INT_ROW(MinimizeLocation, 0),
    INT_ROW(StartupExpanded, 0),
    INT_ROW(WinShade, 0),
    INT_ROW(DoubleSize, 0),
    INT_ROW(AlwaysOnTop, 0),
    INT_ROW(EasyMove, 0),
    INT_ROW(GlobalMediaKeys, 1),
    INT_ROW(ReadFileInfo, 1),
    INT_ROW(PlaylistX, 100),
    INT_ROW(PlaylistY, 100),
    INT_ROW(PlaylistW, 150),
    INT_ROW(PlaylistH, 150),
    INT_ROW(WindowX, 100),
    INT_ROW(WindowY, 100),
    INT_ROW(LEDCalculateVisuals, 0),
    INT_ROW(LEDTargetResolution, 3),
    INT_ROW(LEDAutoScrollSongName, 1),
    STR_ROW(Skin, "", kSettingsNameSize - 1),
    STR_ROW(IRCAppName, "mIrc", kSettingsNameSize - 1),
    STR_ROW(IRCCommand, "/me is listening to %s in VORLO v1.00", kSettingsNameSize - 1),
    INT_ROW(IRCEnabled, 1),
    INT_ROW(IRCUseTag, 0),
    // ReplayGain
    INT_ROW(ReplayGainMode, 0),
    {sReplayGainPreamp, "ReplayGainPreamp", kFloat, offsetof(Settings, ReplayGainPreamp), 1, 0, "0.0", "%.1f", 0, nullptr},
    {sReplayGainUntagged, "ReplayGainUntagged", kFloat, offsetof(Settings, ReplayGainUntagged), 1, 0, "0.0", "%.1f", 0,
     nullptr},
    INT_ROW(ReplayGainPreventClip, 1),
};

#undef INT_ROW
#undef STR_ROW

// The save order: the load order with MappingMode moved before DownSample
// and ReadFileInfo before MinimizeLocation.
struct SaveOrder {
    SettingId ids[kSettingCount];
};

constexpr SaveOrder MakeSaveOrder() {
    SaveOrder order{};
    int n = 0;
    for (int i = 0; i < kSettingCount; ++i) {
        const auto id = static_cast<SettingId>(i);
        if (id == sMappingMode || id == sReadFileInfo) continue;
        if (id == sDownSample) order.ids[n++] = sMappingMode;
        if (id == sMinimizeLocation) order.ids[n++] = sReadFileInfo;
        order.ids[n++] = id;
    }
    return order;
}

constexpr SaveOrder kSaveOrder = MakeSaveOrder();

constexpr bool TableIsIndexedById() {
    for (int i = 0; i < kSettingCount; ++i)
        if (kSettingTable[i].id != i) return false;
    return true;
}

constexpr bool SaveOrderIsAPermutation() {
    bool seen[kSettingCount] = {};
    for (SettingId id : kSaveOrder.ids) {
        if (seen[id]) return false;
        seen[id] = true;
    }
    return true;
}

static_assert(sizeof kSettingTable / sizeof kSettingTable[0] == kSettingCount, "one row per key");
static_assert(TableIsIndexedById(), "rows in SettingId order");
static_assert(SaveOrderIsAPermutation(), "every row saved once");

// A path (260 characters) plus the file name.
constexpr size_t kPathBufSize = 260 + 8;

char* Field(const SettingDesc& d, int element) {
    size_t size = d.type == kFloat ? sizeof(float) : sizeof(int);
    return reinterpret_cast<char*>(&g_settings) + d.offset + static_cast<size_t>(element) * size;
}

// The key of one element: the row's key, or its format filled with the index.
const char* KeyOf(const SettingDesc& d, int element, char* buf, size_t size) {
    if (d.count == 1) return d.key;
    std::snprintf(buf, size, d.key, element);
    return buf;
}

// One row from the settings file, or (path nullptr) at its default.
void LoadRow(const SettingDesc& d, const char* path, const char* exeDir) {
    for (int i = 0; i < d.count; ++i) {
        char keyBuf[32];
        const char* key = KeyOf(d, i, keyBuf, sizeof keyBuf);
        char* field = Field(d, i);
        switch (d.type) {
        case kInt:
        case kUnsigned: {
            int v = path ? static_cast<int>(plat::ProfileGetInt(kSection, key, d.intDefault, path))
                         : d.intDefault;
            if (d.fix) v = d.fix(v);
            std::memcpy(field, &v, sizeof v);
            break;
        }
        case kFloat: {
            char text[256];
            if (path) plat::ProfileGetString(kSection, key, d.textDefault, text, sizeof text, path);
            else std::snprintf(text, sizeof text, "%s", d.textDefault);
            float v = static_cast<float>(std::atof(text));
            std::memcpy(field, &v, sizeof v);
            break;
        }
        case kString: {
            const char* def = d.textDefault ? d.textDefault : exeDir;
            if (path) plat::ProfileGetString(kSection, key, def, field, d.readSize, path);
            else std::snprintf(field, d.readSize, "%s", def);
            break;
        }
        }
    }
}

void SaveRow(const SettingDesc& d, const char* path) {
    for (int i = 0; i < d.count; ++i) {
        char keyBuf[32];
        const char* key = KeyOf(d, i, keyBuf, sizeof keyBuf);
        const char* field = Field(d, i);
        // "%f" of the largest float takes 39 digits before the point.
        char text[512];
        switch (d.type) {
        case kInt:
        case kUnsigned: {
            int v;
            std::memcpy(&v, field, sizeof v);
            if (d.type == kInt) std::snprintf(text, sizeof text, "%d", v);
            else std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(v));
            break;
        }
        case kFloat: {
            float v;
            std::memcpy(&v, field, sizeof v);
            std::snprintf(text, sizeof text, d.format, static_cast<double>(v));
            break;
        }
        case kString:
            plat::ProfileWriteString(kSection, key, field, path);
            continue;
        }
        plat::ProfileWriteString(kSection, key, text, path);
    }
}

}  // namespace

void GetExeDirectory(char* buf, size_t size) {
    if (!buf || size == 0) return;
    char exe[260];
    plat::GetExePath(exe, sizeof exe);
    const char* sep = std::strrchr(exe, plat::kPathSeparator);
    size_t len = sep ? static_cast<size_t>(sep - exe) + 1 : 0;
    if (len > size - 1) len = size - 1;
    std::memcpy(buf, exe, len);
    buf[len] = '\0';
}

bool GetSettingsPath(char* buf, size_t size) {
    if (!buf || size == 0) return false;
    char dir[260];
    GetExeDirectory(dir, sizeof dir);
    int n = std::snprintf(buf, size, "%s%s", dir, kFileName);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        buf[0] = '\0';
        return false;
    }
    return true;
}

int LoadSettingsFrom(const char* path) {
    char exeDir[kSettingsDirSize];
    GetExeDirectory(exeDir, sizeof exeDir);
    for (const SettingDesc& d : kSettingTable) LoadRow(d, path, exeDir);
    return 1;
}

void LoadDefaultSettings() {
    char exeDir[kSettingsDirSize];
    GetExeDirectory(exeDir, sizeof exeDir);
    for (const SettingDesc& d : kSettingTable) LoadRow(d, nullptr, exeDir);
    g_settings.expanded = 0;
}

int SaveSettingsTo(const char* path) {
    for (SettingId id : kSaveOrder.ids) SaveRow(kSettingTable[id], path);
    return 1;
}

int LoadSettings() {
    char path[kPathBufSize];
    GetSettingsPath(path, sizeof path);
    return LoadSettingsFrom(path);
}

int SaveSettings() {
    char path[kPathBufSize];
    GetSettingsPath(path, sizeof path);
    return SaveSettingsTo(path);
}
