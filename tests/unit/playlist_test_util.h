// Helpers shared by the playlist tests: MPEG-like files with a known
// length, tags, a clean playlist per test and recorded message boxes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "playlist/playlist.h"
#include "settings/settings.h"
#include "test_util.h"

namespace pltest {

using Bytes = std::vector<uint8_t>;

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo, no CRC: 16000 bytes of
// audio a second (ISO/IEC 11172-3, 2.4.2.3).
constexpr uint8_t kHeader128[4] = {0xFF, 0xFB, 0x90, 0x00};

inline Bytes Id3v1(const std::string& title, const std::string& artist) {
    Bytes t(128, ' ');
    std::memcpy(t.data(), "TAG", 3);
    for (size_t i = 0; i < title.size() && i < 30; ++i) t[3 + i] = static_cast<uint8_t>(title[i]);
    for (size_t i = 0; i < artist.size() && i < 30; ++i) t[33 + i] = static_cast<uint8_t>(artist[i]);
    t[127] = 13;
    return t;
}

// An ID3v2.3 tag of n bytes in all (header included).
inline Bytes Id3v2(uint32_t n) {
    Bytes t(n, 0);
    uint32_t body = n - 10;
    t[0] = 'I', t[1] = 'D', t[2] = '3', t[3] = 3, t[4] = 0, t[5] = 0;
    t[6] = (body >> 21) & 0x7F, t[7] = (body >> 14) & 0x7F, t[8] = (body >> 7) & 0x7F, t[9] = body & 0x7F;
    return t;
}

// A constant-bitrate stream of the given seconds: frames of silence-like
// bytes, padded as an encoder pads them (417 or 418 bytes), cut to the
// length of the audio.
inline Bytes Cbr128(int seconds) {
    const size_t size = static_cast<size_t>(seconds) * 16000;
    Bytes b(size, 0);
    const double frame = 144000.0 * 128 / 44100;
    for (size_t i = 0, at = 0; at < size; ++i) {
        size_t next = static_cast<size_t>(frame * double(i + 1));
        std::memcpy(b.data() + at, kHeader128, std::min<size_t>(4, size - at));
        if (next - at == 418 && at + 2 < size) b[at + 2] |= 0x02;  // the padding bit
        at = next;
    }
    return b;
}

inline Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A file for the playlist: seconds of 128 kbit/s audio and, with a title,
// an ID3v1 tag.
inline void MakeSong(const std::string& path, int seconds, const std::string& title = "",
                     const std::string& artist = "") {
    Bytes b = Cbr128(seconds);
    if (!title.empty()) b = Cat(b, Id3v1(title, artist));
    testutil::WriteBytes(path, b);
}

struct Shown {
    std::string text, caption;
    unsigned flags;
};
inline std::vector<Shown>& ShownBoxes() {
    static std::vector<Shown> shown;
    return shown;
}
inline int RecordBox(void*, const char* text, const char* caption, unsigned flags) {
    ShownBoxes().push_back({text ? text : "", caption ? caption : "", flags});
    return plat::IdOk;
}

// Paths of the entries in list order.
inline void CollectPath(const PlaylistEntry* e, int, int, void* ctx) {
    static_cast<std::vector<std::string>*>(ctx)->push_back(e->path);
}
inline std::vector<std::string> Paths() {
    std::vector<std::string> v;
    PlaylistForEach(CollectPath, &v);
    return v;
}
inline std::string CurrentPath() {
    PlaylistEntry e;
    return PlaylistGetCurrentEntry(&e) ? std::string(e.path) : std::string("<none>");
}

// Every test starts with an empty list, no file info read, no hook.
class PlaylistFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlaylistRefreshHook(nullptr);
        PlaylistClear();
        savedReadInfo_ = g_settings.ReadFileInfo;
        g_settings.ReadFileInfo = 0;
        ShownBoxes().clear();
        plat::SetMessageBoxHook(RecordBox);
    }
    void TearDown() override {
        plat::SetMessageBoxHook(nullptr);
        SetPlaylistRefreshHook(nullptr);
        PlaylistClear();
        g_settings.ReadFileInfo = savedReadInfo_;
    }
    void AddAll(std::initializer_list<const char*> names) {
        for (const char* n : names) ASSERT_EQ(PlaylistAdd(n), 1);
    }

private:
    int savedReadInfo_ = 0;
};

}  // namespace pltest
