// The settings record against real files, through the platform's profile
// functions (ours natively, kernel32's under Wine).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "settings/settings.h"
#include "test_util.h"

namespace {

std::string ExeDir() {
    char exe[260];
    plat::GetExePath(exe, sizeof exe);
    std::string s = exe;
    size_t sep = s.rfind(plat::kPathSeparator);
    return sep == std::string::npos ? std::string() : s.substr(0, sep + 1);
}

void PutText(const std::string& path, const std::string& text) {
    testutil::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// The value of a key as the file holds it.
std::string Stored(const std::string& file, const char* key) {
    char buf[512];
    plat::ProfileGetString("vor", key, "<missing>", buf, sizeof buf, file.c_str());
    return buf;
}

void ExpectDefaults(const Settings& s, const std::string& exeDir) {
    EXPECT_EQ(s.AudioBufTime, 2.5f);
    EXPECT_EQ(s.AudioOutputSystem, 0);
    EXPECT_EQ(s.AudioOutput8Bit, 0);
    EXPECT_EQ(s.AudioBypassACM, 0);
    EXPECT_EQ(s.AudioAllowSyncDev, 0);
    EXPECT_EQ(s.WinMMCallback, 0);
    EXPECT_EQ(s.WinMMOutputDev, -1);
    EXPECT_EQ(s.EqEnabled, 0);
    EXPECT_EQ(s.EqLoudness, 0);
    EXPECT_EQ(s.EqVolume, 7);
    for (int i = 0; i < kEqBandCount; ++i) EXPECT_EQ(s.EqBand[i], 1.0f) << i;
    EXPECT_EQ(s.DownSample, 0);
    EXPECT_EQ(s.Channels, -1);
    EXPECT_EQ(s.DecoderPriority, 3);
    EXPECT_EQ(s.MappingMode, 2);
    EXPECT_EQ(s.ShufflePlay, 0);
    EXPECT_EQ(s.RepeatPlay, 0);
    EXPECT_EQ(s.AutoPlayOnOpen, 1);
    EXPECT_EQ(s.MultipleInstances, 0);
    EXPECT_EQ(s.DownloadOption, 0);
    EXPECT_EQ(std::string(s.InternetDLDir), exeDir);
    EXPECT_EQ(s.DownloadPlayAfterSave, 0);
    EXPECT_EQ(std::string(s.PreviousDir), exeDir);
    EXPECT_EQ(s.ShowSplashScreen, 1);
    EXPECT_EQ(s.MinimizeLocation, 0);
    EXPECT_EQ(s.StartupExpanded, 0);
    EXPECT_EQ(s.WinShade, 0);
    EXPECT_EQ(s.DoubleSize, 0);
    EXPECT_EQ(s.AlwaysOnTop, 0);
    EXPECT_EQ(s.EasyMove, 0);
    EXPECT_EQ(s.GlobalMediaKeys, 1);
    EXPECT_EQ(s.ReadFileInfo, 1);
    EXPECT_EQ(s.PlaylistX, 100);
    EXPECT_EQ(s.PlaylistY, 100);
    EXPECT_EQ(s.PlaylistW, 150);
    EXPECT_EQ(s.PlaylistH, 150);
    EXPECT_EQ(s.WindowX, 100);
    EXPECT_EQ(s.WindowY, 100);
    EXPECT_EQ(s.LEDCalculateVisuals, 0);
    EXPECT_EQ(s.LEDTargetResolution, 3);
    EXPECT_EQ(s.LEDAutoScrollSongName, 1);
    EXPECT_STREQ(s.Skin, "");
    EXPECT_STREQ(s.IRCAppName, "mIrc");
    EXPECT_STREQ(s.IRCCommand, "/me is listening to %s in VORLO v1.00");
    EXPECT_EQ(s.IRCEnabled, 1);
    EXPECT_EQ(s.IRCUseTag, 0);
    EXPECT_EQ(s.ReplayGainMode, 0);
    EXPECT_EQ(s.ReplayGainPreamp, 0.0f);
    EXPECT_EQ(s.ReplayGainUntagged, 0.0f);
    EXPECT_EQ(s.ReplayGainPreventClip, 1);
}

TEST(Settings, FileLiesBesideTheExecutable) {
    std::string dir = ExeDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), plat::kPathSeparator);
    char buf[300];
    GetExeDirectory(buf, sizeof buf);
    EXPECT_EQ(std::string(buf), dir);
    ASSERT_TRUE(GetSettingsPath(buf, sizeof buf));
    EXPECT_EQ(std::string(buf), dir + "vor.ini");
    EXPECT_FALSE(GetSettingsPath(buf, dir.size() + 7));  // no room for the terminator
    EXPECT_STREQ(buf, "");
}

TEST(Settings, MissingFileGivesTheDefaults) {
    testutil::TempDir dir;
    std::memset(&g_settings, 0x5A, sizeof g_settings);
    EXPECT_EQ(LoadSettingsFrom(dir.File("vor.ini").c_str()), 1);
    ExpectDefaults(g_settings, ExeDir());
    // The same defaults without any file, for the tools and the tests.
    std::memset(&g_settings, 0x5A, sizeof g_settings);
    LoadDefaultSettings();
    ExpectDefaults(g_settings, ExeDir());
}

TEST(Settings, EmptySectionOrOtherSectionsGiveTheDefaults) {
    testutil::TempDir dir;
    std::string f = dir.File("vor.ini");
    PutText(f, "[other]\r\nEqVolume=3\r\n[vor]\r\n");
    LoadSettingsFrom(f.c_str());
    ExpectDefaults(g_settings, ExeDir());
}

TEST(Settings, EqVolumeAboveFifteenReadsAsFourteen) {
    testutil::TempDir dir;
    std::string f = dir.File("vor.ini");
    struct Case {
        const char* stored;
        int want;
    } cases[] = {{"16", 14}, {"15", 15}, {"0", 0}, {"99", 14}, {"-1", -1}, {"loud", 0}};
    for (const Case& c : cases) {
        PutText(f, std::string("[vor]\r\nEqVolume=") + c.stored + "\r\n");
        LoadSettingsFrom(f.c_str());
        EXPECT_EQ(g_settings.EqVolume, c.want) << c.stored;
    }
    // Nothing is clamped on the way out.
    LoadSettingsFrom(dir.File("none.ini").c_str());
    g_settings.EqVolume = 40;
    SaveSettingsTo(f.c_str());
    EXPECT_EQ(Stored(f, "EqVolume"), "40");
}

TEST(Settings, NumberFormatsOnDisk) {
    testutil::TempDir dir;
    std::string f = dir.File("vor.ini");
    LoadSettingsFrom(dir.File("none.ini").c_str());
    g_settings.WinMMOutputDev = -1;
    g_settings.AudioBufTime = 2.5f;
    g_settings.EqBand[3] = 1.0f;
    g_settings.EqBand[4] = 2.0f / 7;
    g_settings.Channels = -1;
    SaveSettingsTo(f.c_str());
    EXPECT_EQ(Stored(f, "WinMMOutputDev"), "4294967295");
    EXPECT_EQ(Stored(f, "AudioBufTime"), "2.50");
    EXPECT_EQ(Stored(f, "EqBand03"), "1.000000000000");
    EXPECT_EQ(Stored(f, "EqBand04"), "0.285714298487");
    EXPECT_EQ(Stored(f, "Channels"), "-1");
    g_settings.WinMMOutputDev = 0;
    LoadSettingsFrom(f.c_str());
    EXPECT_EQ(g_settings.WinMMOutputDev, -1);
    EXPECT_EQ(g_settings.AudioBufTime, 2.5f);
    EXPECT_EQ(g_settings.EqBand[4], 2.0f / 7);
}

TEST(Settings, TextThatIsNoNumberReadsAsZero) {
    testutil::TempDir dir;
    std::string f = dir.File("vor.ini");
    PutText(f, "[vor]\r\nAudioBufTime=slow\r\nEqBand00=\r\nEqBand01= 1.5 \r\nPlaylistX=x1\r\n"
               "WinMMOutputDev=  2junk\r\n");
    LoadSettingsFrom(f.c_str());
    EXPECT_EQ(g_settings.AudioBufTime, 0.0f);
    EXPECT_EQ(g_settings.EqBand[0], 0.0f);  // present but empty: not the default
    EXPECT_EQ(g_settings.EqBand[1], 1.5f);
    EXPECT_EQ(g_settings.EqBand[2], 1.0f);
    EXPECT_EQ(g_settings.PlaylistX, 0);
    EXPECT_EQ(g_settings.WinMMOutputDev, 2);
}

TEST(Settings, StringsAreCutToTheirReadSizes) {
    testutil::TempDir dir;
    std::string f = dir.File("vor.ini");
    std::string longDir(300, 'd');
    std::string longName(300, 'n');
    PutText(f, "[vor]\r\nInternetDLDir=" + longDir + "\r\nPreviousDir=" + longDir.substr(0, 258) +
                   "\r\nIRCAppName=" + longName + "\r\nIRCCommand=" + longName.substr(0, 254) + "\r\n");
    LoadSettingsFrom(f.c_str());
    EXPECT_EQ(std::string(g_settings.InternetDLDir), longDir.substr(0, 258));
    EXPECT_EQ(std::string(g_settings.PreviousDir), longDir.substr(0, 258));
    EXPECT_EQ(std::string(g_settings.IRCAppName), longName.substr(0, 254));
    EXPECT_EQ(std::string(g_settings.IRCCommand), longName.substr(0, 254));
}

// Every stored field set away from its default.
void SetNonDefaults(Settings* s) {
    s->AudioBufTime = 3.25f;
    s->AudioOutputSystem = 1;
    s->AudioOutput8Bit = 1;
    s->AudioBypassACM = 1;
    s->AudioAllowSyncDev = 1;
    s->WinMMCallback = 1;
    s->WinMMOutputDev = 2;
    s->EqEnabled = 1;
    s->EqLoudness = 1;
    s->EqVolume = 15;
    for (int i = 0; i < kEqBandCount; ++i) s->EqBand[i] = static_cast<float>(i + 2) / 7;
    s->DownSample = 2;
    s->Channels = 3;
    s->DecoderPriority = 5;
    s->MappingMode = 1;
    s->ShufflePlay = 1;
    s->RepeatPlay = 1;
    s->AutoPlayOnOpen = 0;
    s->MultipleInstances = 1;
    s->DownloadOption = 1;
    std::strcpy(s->InternetDLDir, "C:\\Downloads\\Streams\\");
    s->DownloadPlayAfterSave = 1;
    std::string longDir(258, 'p');
    std::strcpy(s->PreviousDir, longDir.c_str());
    s->ShowSplashScreen = 0;
    s->MinimizeLocation = 1;
    s->StartupExpanded = 1;
    s->WinShade = 1;
    s->DoubleSize = 1;
    s->AlwaysOnTop = 1;
    s->EasyMove = 1;
    s->GlobalMediaKeys = 0;
    s->ReadFileInfo = 0;
    s->PlaylistX = -20;
    s->PlaylistY = 640;
    s->PlaylistW = 300;
    s->PlaylistH = 420;
    s->WindowX = -1;
    s->WindowY = 2000;
    s->LEDCalculateVisuals = 1;
    s->LEDTargetResolution = 1;
    s->LEDAutoScrollSongName = 0;
    std::strcpy(s->Skin, "Ember.zip");
    std::strcpy(s->IRCAppName, "xchat");
    std::string longCommand(254, 'c');
    std::strcpy(s->IRCCommand, longCommand.c_str());
    s->IRCEnabled = 0;
    s->IRCUseTag = 1;
    s->ReplayGainMode = 3;
    s->ReplayGainPreamp = -4.5f;
    s->ReplayGainUntagged = 12.5f;
    s->ReplayGainPreventClip = 0;
}

TEST(Settings, EveryKeyRoundTrips) {
    testutil::TempDir dir;
    std::string f = dir.File("vor.ini");
    LoadSettingsFrom(f.c_str());
    SetNonDefaults(&g_settings);
    Settings saved = g_settings;
    EXPECT_EQ(SaveSettingsTo(f.c_str()), 1);
    std::memset(&g_settings, 0, sizeof g_settings);
    EXPECT_EQ(LoadSettingsFrom(f.c_str()), 1);
    const Settings& s = g_settings;
    EXPECT_EQ(s.AudioBufTime, saved.AudioBufTime);
    EXPECT_EQ(s.AudioOutputSystem, saved.AudioOutputSystem);
    EXPECT_EQ(s.AudioOutput8Bit, saved.AudioOutput8Bit);
    EXPECT_EQ(s.AudioBypassACM, saved.AudioBypassACM);
    EXPECT_EQ(s.AudioAllowSyncDev, saved.AudioAllowSyncDev);
    EXPECT_EQ(s.WinMMCallback, saved.WinMMCallback);
    EXPECT_EQ(s.WinMMOutputDev, saved.WinMMOutputDev);
    EXPECT_EQ(s.EqEnabled, saved.EqEnabled);
    EXPECT_EQ(s.EqLoudness, saved.EqLoudness);
    EXPECT_EQ(s.EqVolume, saved.EqVolume);
    for (int i = 0; i < kEqBandCount; ++i) EXPECT_EQ(s.EqBand[i], saved.EqBand[i]) << i;
    EXPECT_EQ(s.DownSample, saved.DownSample);
    EXPECT_EQ(s.Channels, saved.Channels);
    EXPECT_EQ(s.DecoderPriority, saved.DecoderPriority);
    EXPECT_EQ(s.MappingMode, saved.MappingMode);
    EXPECT_EQ(s.ShufflePlay, saved.ShufflePlay);
    EXPECT_EQ(s.RepeatPlay, saved.RepeatPlay);
    EXPECT_EQ(s.AutoPlayOnOpen, saved.AutoPlayOnOpen);
    EXPECT_EQ(s.MultipleInstances, saved.MultipleInstances);
    EXPECT_EQ(s.DownloadOption, saved.DownloadOption);
    EXPECT_STREQ(s.InternetDLDir, saved.InternetDLDir);
    EXPECT_EQ(s.DownloadPlayAfterSave, saved.DownloadPlayAfterSave);
    EXPECT_STREQ(s.PreviousDir, saved.PreviousDir);
    EXPECT_EQ(s.ShowSplashScreen, saved.ShowSplashScreen);
    EXPECT_EQ(s.MinimizeLocation, saved.MinimizeLocation);
    EXPECT_EQ(s.StartupExpanded, saved.StartupExpanded);
    EXPECT_EQ(s.WinShade, saved.WinShade);
    EXPECT_EQ(s.DoubleSize, saved.DoubleSize);
    EXPECT_EQ(s.AlwaysOnTop, saved.AlwaysOnTop);
    EXPECT_EQ(s.EasyMove, saved.EasyMove);
    EXPECT_EQ(s.GlobalMediaKeys, saved.GlobalMediaKeys);
    EXPECT_EQ(s.ReadFileInfo, saved.ReadFileInfo);
    EXPECT_EQ(s.PlaylistX, saved.PlaylistX);
    EXPECT_EQ(s.PlaylistY, saved.PlaylistY);
    EXPECT_EQ(s.PlaylistW, saved.PlaylistW);
    EXPECT_EQ(s.PlaylistH, saved.PlaylistH);
    EXPECT_EQ(s.WindowX, saved.WindowX);
    EXPECT_EQ(s.WindowY, saved.WindowY);
    EXPECT_EQ(s.LEDCalculateVisuals, saved.LEDCalculateVisuals);
    EXPECT_EQ(s.LEDTargetResolution, saved.LEDTargetResolution);
    EXPECT_EQ(s.LEDAutoScrollSongName, saved.LEDAutoScrollSongName);
    EXPECT_STREQ(s.Skin, saved.Skin);
    EXPECT_STREQ(s.IRCAppName, saved.IRCAppName);
    EXPECT_STREQ(s.IRCCommand, saved.IRCCommand);
    EXPECT_EQ(s.IRCEnabled, saved.IRCEnabled);
    EXPECT_EQ(s.IRCUseTag, saved.IRCUseTag);
    EXPECT_EQ(s.ReplayGainMode, saved.ReplayGainMode);
    EXPECT_EQ(s.ReplayGainPreamp, saved.ReplayGainPreamp);
    EXPECT_EQ(s.ReplayGainUntagged, saved.ReplayGainUntagged);
    EXPECT_EQ(s.ReplayGainPreventClip, saved.ReplayGainPreventClip);
    // A second save of the same record changes nothing.
    std::string first = testutil::ReadText(f);
    SaveSettingsTo(f.c_str());
    EXPECT_EQ(testutil::ReadText(f), first);
}

TEST(Settings, NewFileHoldsTheKeysInSaveOrder) {
    testutil::TempDir dir;
    std::string f = dir.File("vor.ini");
    LoadSettingsFrom(f.c_str());
    std::strcpy(g_settings.InternetDLDir, "C:\\dl\\");
    std::strcpy(g_settings.PreviousDir, "D:\\music\\");
    g_settings.EqBand[11] = 0.0f;
    SaveSettingsTo(f.c_str());
    EXPECT_EQ(testutil::ReadText(f),
              "[vor]\r\n"
              "AudioBufTime=2.50\r\n"
              "AudioOutputSystem=0\r\n"
              "AudioOutput8Bit=0\r\n"
              "AudioBypassACM=0\r\n"
              "AudioAllowSyncDev=0\r\n"
              "WinMMCallback=0\r\n"
              "WinMMOutputDev=4294967295\r\n"
              "EqEnabled=0\r\n"
              "EqLoudness=0\r\n"
              "EqVolume=7\r\n"
              "EqBand00=1.000000000000\r\n"
              "EqBand01=1.000000000000\r\n"
              "EqBand02=1.000000000000\r\n"
              "EqBand03=1.000000000000\r\n"
              "EqBand04=1.000000000000\r\n"
              "EqBand05=1.000000000000\r\n"
              "EqBand06=1.000000000000\r\n"
              "EqBand07=1.000000000000\r\n"
              "EqBand08=1.000000000000\r\n"
              "EqBand09=1.000000000000\r\n"
              "EqBand10=1.000000000000\r\n"
              "EqBand11=0.000000000000\r\n"
              "MappingMode=2\r\n"
              "DownSample=0\r\n"
              "Channels=-1\r\n"
              "DecoderPriority=3\r\n"
              "ShufflePlay=0\r\n"
              "RepeatPlay=0\r\n"
              "AutoPlayOnOpen=1\r\n"
              "MultipleInstances=0\r\n"
              "DownloadOption=0\r\n"
              "InternetDLDir=C:\\dl\\\r\n"
              "DownloadPlayAfterSave=0\r\n"
              "PreviousDir=D:\\music\\\r\n"
              "ShowSplashScreen=1\r\n"
              "ReadFileInfo=1\r\n"
              "MinimizeLocation=0\r\n"
              "StartupExpanded=0\r\n"
              "WinShade=0\r\n"
              "DoubleSize=0\r\n"
              "AlwaysOnTop=0\r\n"
              "EasyMove=0\r\n"
              "GlobalMediaKeys=1\r\n"
              "PlaylistX=100\r\n"
              "PlaylistY=100\r\n"
              "PlaylistW=150\r\n"
              "PlaylistH=150\r\n"
              "WindowX=100\r\n"
              "WindowY=100\r\n"
              "LEDCalculateVisuals=0\r\n"
              "LEDTargetResolution=3\r\n"
              "LEDAutoScrollSongName=1\r\n"
              "Skin=\r\n"
              "IRCAppName=mIrc\r\n"
              "IRCCommand=/me is listening to %s in VORLO v1.00\r\n"
              "IRCEnabled=1\r\n"
              "IRCUseTag=0\r\n"
              "ReplayGainMode=0\r\n"
              "ReplayGainPreamp=0.0\r\n"
              "ReplayGainUntagged=0.0\r\n"
              "ReplayGainPreventClip=1\r\n");
}

TEST(Settings, SaveKeepsOtherSectionsAndReplacesKeysInPlace) {
    testutil::TempDir dir;
    std::string f = dir.File("vor.ini");
    PutText(f, "[Other]\r\nx=1\r\n[VOR]\r\nIRCUseTag=1\r\nEqVolume=12\r\nUnknown=keep\r\n[Last]\r\ny=2\r\n");
    LoadSettingsFrom(f.c_str());
    EXPECT_EQ(g_settings.IRCUseTag, 1);
    EXPECT_EQ(g_settings.EqVolume, 12);
    g_settings.EqVolume = 3;
    SaveSettingsTo(f.c_str());
    std::string text = testutil::ReadText(f);
    EXPECT_EQ(text.rfind("[Other]\r\nx=1\r\n[VOR]\r\nIRCUseTag=1\r\nEqVolume=3\r\nUnknown=keep\r\nAudioBufTime=2.50\r\n", 0),
              0u)
        << text;
    EXPECT_NE(text.find("ReplayGainPreventClip=1\r\n[Last]\r\ny=2\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("[vor]"), std::string::npos);
}

}  // namespace
