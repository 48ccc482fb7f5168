#include "shell/preferences.h"

#include <cstdio>
#include <cstring>

#include "tag/replay_gain.h"

namespace {

constexpr const char* kPriorityLabels[kPriorityPositions] = {
    "Lowest Priority", "Below Normal",     "Normal Priority",
    "Above Normal",    "Highest Priority", "RealTime Priority",
};

void SetLink(AboutLink& link, const char* title, const char* exeDir, const char* file) {
    std::snprintf(link.title, sizeof link.title, "%s", title);
    // A cut path would name another file: an address is whole or empty.
    const int n = std::snprintf(link.address, sizeof link.address, "%s%s", exeDir, file);
    if (n < 0 || static_cast<size_t>(n) >= sizeof link.address) link.address[0] = '\0';
}

}  // namespace

const char kAboutText[] =
    "VORLO 1.00\r\n"
    "Written and published by the VORLO developers\r\n"
    "\r\n"
    "...";

const char* PriorityLabel(int position) {
    if (position < 0) position = 0;
    if (position >= kPriorityPositions) position = kPriorityPositions - 1;
    return kPriorityLabels[position];
}

int NormalizedDownSample(int downSample) {
    return downSample >= 0 && downSample <= 2 ? downSample : 0;
}

int NormalizedChannels(int channels) {
    return channels == -1 || channels == 3 ? channels : -1;
}

int OutputSystemFromText(const char* text) {
    return std::strcmp(text, kOutputSystemWaveFile) == 0 ? 1 : 0;
}

void MakeAboutLinks(const char* exeDir, AboutLink (&links)[kAboutLinkCount]) {
    SetLink(links[0], "VORLO Homepage", exeDir, "README.md");
    SetLink(links[1], "VORLO Licence", exeDir, "LICENSE");
}

bool IsBrowsableAddress(const char* address) {
    return std::strlen(address) > 2;
}

bool GainFieldFromText(const char* text, float* db) {
    double v;
    if (!ParseGainText(text, &v) || v < -15.0 || v > 15.0) return false;
    *db = static_cast<float>(v);
    return true;
}

void GainFieldText(float db, char* text, size_t size) { std::snprintf(text, size, "%.1f", static_cast<double>(db)); }
