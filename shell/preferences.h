// The portable rules behind the preferences and about sheets: which stored
// values the Decoder page accepts, the priority slider's labels, the output
// system list's texts and the about sheet's text and links.
#pragma once

#include <cstddef>

constexpr int kPriorityPositions = 6;   // slider 0..5, as DecoderPriority
constexpr char kOutputSystemWaveFile[] = ".wav file";     // AudioOutputSystem 1
constexpr char kOutputSystemWindows[] = "Windows Media";  // AudioOutputSystem 0
constexpr char kWaveMapperName[] = "Wave Mapper";         // WinMMOutputDev -1

// The label under the priority slider for a position; positions outside
// 0..5 are clamped.
const char* PriorityLabel(int position);

// DownSample as the Quality radios show it: 0..2 stay, anything else is 0.
int NormalizedDownSample(int downSample);
// Channels as the Output radios show it: -1 and 3 stay, anything else is -1.
int NormalizedChannels(int channels);
// AudioOutputSystem for an entry of the output system list: 1 for exactly
// ".wav file", else 0.
int OutputSystemFromText(const char* text);

// A ReplayGain page field (preamp, untagged files' gain) from its text:
// false, and db untouched, unless it reads as a gain of -15..15 dB.
bool GainFieldFromText(const char* text, float* db);
// The field's text for a value.
void GainFieldText(float db, char* text, size_t size);

// The about page's text, lines separated by CR LF.
extern const char kAboutText[];

constexpr size_t kLinkTextSize = 260;
struct AboutLink {
    char title[kLinkTextSize];
    char address[kLinkTextSize];
};
constexpr int kAboutLinkCount = 2;
// The links of the about sheet: the README and LICENSE files that ship
// beside the executable, as absolute paths below exeDir (which ends with
// its separator). Paths too long for an address are left empty.
void MakeAboutLinks(const char* exeDir, AboutLink (&links)[kAboutLinkCount]);
// "Browse To" opens only addresses longer than 2 characters.
bool IsBrowsableAddress(const char* address);
