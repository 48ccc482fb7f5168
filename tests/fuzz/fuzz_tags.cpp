// Fuzz target: the tags around the audio. The input is a whole file:
// ReadId3v1Tag on it (what it reads must survive WriteId3v1Tag and a second
// read unchanged (but "Unknown", which is written as genre 0), and
// WipeId3v1Tag must take exactly the tag away), and the header
// layer's ID3v2 size and Xing/Info/VBRI parsing on its first bytes, as the
// frame reader calls them, and the playlist's length probe (ProbeStream),
// which reads the tags around the audio with the same rules.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decoder/header.h"
#include "decoder/stream_probe.h"
#include "tag/id3v1.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

fuzz::MemFile g_file;

using fuzz::Check;

bool Terminated(const char* s, size_t size) { return std::memchr(s, 0, size) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::InitFileTarget(&g_file, "vorlo-fuzz-tags");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The header layer, over the input as the first bytes of a stream.
    if (size >= 10) {
        uint32_t id3v2 = Id3v2TagSize(data, size);
        (void)id3v2;
    }
    static VbrHeader vbr;
    std::memset(&vbr, 0, sizeof vbr);
    if (ParseVbrHeader(data, size, &vbr)) {
        Check(vbr.vbriEntries <= 512, "VBRI table larger than its array");
        for (uint32_t n : {0u, 1u, vbr.frames / 2, vbr.frames, vbr.frames + 1, 0xFFFFFFFFu})
            (void)VbrSeekOffset(vbr, n, static_cast<uint32_t>(size));
    }

    // ID3v1 over the file.
    plat::File f = fuzz::OpenInput(&g_file, data, size, true);

    StreamLayout probe;
    std::memset(&probe, 0x5A, sizeof probe);
    if (ProbeStream(f, &probe)) {
        Check(probe.durationMs >= 0, "probe found a header but no duration");
        Check(probe.firstFrame >= probe.audioStart && probe.firstFrame < probe.audioEnd, "first frame outside the audio");
    } else {
        Check(probe.durationMs == -1, "probe failed but gave a duration");
    }
    Id3v1Tag tag;
    std::memset(&tag, 0x5A, sizeof tag);
    int had = ReadId3v1Tag(f, &tag);
    if (had) {
        Check(tag.valid == 1, "tag read but not valid");
        Check(Terminated(tag.title, sizeof tag.title) && Terminated(tag.artist, sizeof tag.artist) &&
                  Terminated(tag.album, sizeof tag.album) && Terminated(tag.year, sizeof tag.year) &&
                  Terminated(tag.comment, sizeof tag.comment) && Terminated(tag.genreName, sizeof tag.genreName),
              "unterminated field");
        Check(tag.genre >= 0 && tag.genre < kGenreCount, "genre out of range");
        // What was read is written back unchanged and reads the same.
        Check(WriteId3v1Tag(f, &tag) == 1, "write back failed");
        Id3v1Tag again{};
        Check(ReadId3v1Tag(f, &again) == 1, "tag gone after write back");
        Check(std::strcmp(tag.title, again.title) == 0 && std::strcmp(tag.artist, again.artist) == 0 &&
                  std::strcmp(tag.album, again.album) == 0 && std::strcmp(tag.year, again.year) == 0 &&
                  std::strcmp(tag.comment, again.comment) == 0 &&
                  (tag.genre == again.genre || (tag.genre == kGenreUnknown && again.genre == 0)),
              "tag changed by write back");
        Check(plat::FileSize(f) == static_cast<int64_t>(size), "write back changed the file size");
    } else {
        Check(tag.valid == 0, "no tag but valid");
    }
    // The wipe takes the one tag at the end away (a file may hold another
    // one in front of it, which then is the last 128 bytes).
    int64_t before = plat::FileSize(f);
    Check(WipeId3v1Tag(f) == 1, "wipe failed");
    Check(plat::FileSize(f) == (had ? before - 128 : before), "wipe took the wrong length");
    plat::FileClose(f);
    return 0;
}
