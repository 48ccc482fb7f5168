// The start of an MPEG audio stream: what may stand in front of the frames
// (ID3v2 tags, a RIFF/WAVE header), the start-of-stream scan that finds the
// first frame, and a quick look at a local file for its playing time. The
// frame reader and the probe go through the same scan, so that playback,
// `vorlo-decode --info` and the playlist agree on where the audio starts.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Forward access to a stream's bytes around a read position: the frame
// reader's input (a file or a pipe) or a local file read by the probe.
class StreamCursor {
public:
    // How far behind the read position Peek may look (ahead + n).
    static constexpr int kPeekReach = 16384;
    virtual ~StreamCursor() = default;
    // Copies up to n bytes found `ahead` bytes behind the read position
    // without consuming them; the count copied, fewer at the end of input.
    virtual int Peek(int ahead, uint8_t* dst, int n) = 0;
    // Moves the read position n bytes forward; the count moved.
    virtual int64_t Skip(int64_t n) = 0;
    // Whether Rewind works (a file; not a pipe).
    virtual bool Seekable() const = 0;
    // Moves the read position n bytes back.
    virtual bool Rewind(int64_t n) = 0;
};

// Skips ID3v2 tags and a RIFF/WAVE header of an MPEG audio WAVE (format tag
// 0x50 or 0x55) up to its data chunk. Returns the data chunk's size when the
// read position is now at one, else -1.
int64_t SkipToAudio(StreamCursor& in);

// Whether the header word at the read position starts a frame: the header
// that its frame length points at matches it (HeaderMatches: the same
// version, layer and sample rate), or the input ends right there, or an
// ID3v1 tag fills the rest. A free-format word (no length in its header) is
// confirmed by the next free-format header like it, and the one behind
// that at the same spacing, give or take a padding slot.
bool HeaderConfirmed(StreamCursor& in, uint32_t word);

enum StartScan {
    kStartFound,       // a header with a bitrate, at the read position
    kStartFreeFormat,  // a free-format header (bitrate index 0), at the read position
    kStartShort,       // the input held fewer than 4 bytes
    kStartNone,        // no confirmed header within the scan's bounds
};
// The start-of-stream scan: moves the read position one byte at a time to
// the first header that passes the validity test and is confirmed. A valid
// header with a bitrate right at the read position is taken unconfirmed
// when the scan finds no confirmed one (on an input that cannot go back,
// none within 8 KB). Windows starting 0xFFFF
// (padding runs) are not counted; the scan gives up after 32,768 counted
// positions or 1 MiB in all. passFreeFormat passes over free-format headers
// (the user chose to resynchronise past one; the read position is then
// inside its frame, and nothing there is taken unconfirmed).
StartScan ScanStreamStart(StreamCursor& in, bool passFreeFormat);

struct StreamProbe {
    int64_t fileSize;
    int64_t audioStart;  // behind any ID3v2 tags or WAVE header
    int64_t audioEnd;    // before the tags behind the audio (ID3v1, APE, appended ID3v2), at the end of a WAVE data chunk
    int64_t firstFrame;  // offset of the first accepted header; -1 when none
    uint32_t header;     // that header word
    int vbrPresent;      // 1 when the first frame is a Xing/Info or VBRI frame
    uint32_t frames;     // audio frames: the VBR header's count, or an estimate
    int64_t durationMs;  // playing time in milliseconds; -1 when unknown
};

// Reads what is needed of an open local file (the file position is left
// anywhere) for its playing time, without touching the decoder's state: the
// playlist estimates the length of its entries with it while a track may be
// playing. A Xing/Info or VBRI frame count is preferred. Returns 1 with
// durationMs set when the scan found a first header with a bitrate; 0 when
// it found none (other data, free format, a read failure), with durationMs -1.
int ProbeStream(plat::File file, StreamProbe* probe);

// A ReadAtFn (decoder/header.h) over the open local file given as context.
bool FileReadAt(void* file, int64_t offset, uint8_t* dst, uint32_t n);
