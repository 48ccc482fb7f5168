// Fuzz target: the ID3v2 reader and the texts shown for a file. The input
// is a whole file. ReadTitleTags reads its ID3v2 tags (in front and
// appended) and its ID3v1 tag: every ID3v2 text must be terminated within
// its field, valid UTF-8 and free of control characters, and the ID3v1
// fields the tag editor would start from must be at most 30 bytes of valid
// UTF-8. The end of the audio before the tags behind it must lie between
// the start of the audio and the end of the file. The ReplayGain values read
// from its tags (ID3v2, APE, LAME) must be finite and within their ranges.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decoder/header.h"
#include "decoder/stream_probe.h"
#include "platform/text_codec.h"
#include "tag/replay_gain.h"
#include "tag/title_tags.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

fuzz::MemFile g_file;

using fuzz::Check;

void CheckText(const char* s, size_t size, size_t maxLength) {
    const void* end = std::memchr(s, 0, size);
    Check(end != nullptr, "unterminated text");
    size_t n = static_cast<size_t>(static_cast<const char*>(end) - s);
    Check(n <= maxLength, "text longer than its field");
    Check(IsValidUtf8(s, n), "text is not valid UTF-8");
    for (size_t i = 0; i < n; ++i) Check(static_cast<uint8_t>(s[i]) >= 0x20 && s[i] != 0x7F, "control character");
}


}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::InitFileTarget(&g_file, "vorlo-fuzz-id3v2");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::File f = fuzz::OpenInput(&g_file, data, size);

    // The ID3v1 texts are the tag's bytes as they are: only ID3v2's are checked.
    static TitleTags titles;
    static Id3v2Tag v2;
    std::memset(&v2, 0x5A, sizeof v2);
    ReadTitleTags(f, &titles, nullptr, &v2);
    for (const char* text : {v2.title, v2.artist, v2.album, v2.comment}) CheckText(text, sizeof v2.title, 255);
    CheckText(v2.year, sizeof v2.year, sizeof v2.year - 1);
    CheckText(v2.genre, sizeof v2.genre, sizeof v2.genre - 1);
    Check(!v2.valid || (v2.version >= 2 && v2.version <= 4), "version outside 2..4");
    // The tag editor's starting record.
    Id3v1Tag start{};
    Id3v1FromTexts(v2, &start);
    for (const char* text : {start.title, start.artist, start.album, start.comment}) {
        CheckText(text, kId3v1TextSize, kId3v1TextSize - 1);
        Check(Utf8Length(text, std::strlen(text)) <= 30, "field text of more than 30 characters");
    }
    CheckText(start.year, sizeof start.year, sizeof start.year - 1);
    Check(Utf8Length(start.year, std::strlen(start.year)) <= 4, "year of more than 4 characters");

    StreamLayout probe;
    ProbeStream(f, &probe);
    int64_t appended = 0;
    int64_t end = AudioEndBeforeTags(FileReadAt, f, probe.audioStart, static_cast<int64_t>(size), &appended);
    Check(end >= probe.audioStart && end <= static_cast<int64_t>(size), "audio end outside the file");
    Check(appended == -1 || (appended >= end && appended < static_cast<int64_t>(size)), "appended tag misplaced");
    ReplayGainValues rg;
    ReadReplayGain(f, probe, &rg);
    for (int i = 0; i < kRgValueCount; i++)
        Check(!rg.has[i] || (i % 2 ? rg.value[i] >= 0 && rg.value[i] <= kRgMaxPeak : std::fabs(rg.value[i]) <= kRgMaxGainDb),
              "ReplayGain value out of range");
    plat::FileClose(f);
    return 0;
}
