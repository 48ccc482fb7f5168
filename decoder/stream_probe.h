// A quick look at a local MPEG audio file for its playing time, without
// touching the decoder's state: the playlist estimates the length of its
// entries with it while a track may be playing. The frame reader's rules
// apply (ID3v2 tags skipped, the tags behind the audio not counted, a first
// header found by the same validity and confirmation tests, a Xing/Info or
// VBRI frame count preferred).
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct StreamProbe {
    int64_t fileSize;
    int64_t audioStart;  // behind any ID3v2 tags
    int64_t audioEnd;    // before the tags behind the audio (ID3v1, APE, appended ID3v2)
    int64_t firstFrame;  // offset of the first accepted header; -1 when none
    uint32_t header;     // that header word
    int vbrPresent;      // 1 when the first frame is a Xing/Info or VBRI frame
    uint32_t frames;     // audio frames: the VBR header's count, or an estimate
    int64_t durationMs;  // playing time in milliseconds; -1 when unknown
};

// Reads what is needed of an open local file (the file position is left
// anywhere). Returns 1 with durationMs set when a usable first header was
// found; 0 when the file holds none within the first 32 KB of its audio
// (other data, free format, a read failure), with durationMs -1.
int ProbeStream(plat::File file, StreamProbe* probe);

// A ReadAtFn (decoder/header.h) over the open local file given as context.
bool FileReadAt(void* file, int64_t offset, uint8_t* dst, uint32_t n);
