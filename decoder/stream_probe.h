// The layout of an MPEG audio stream: what may stand in front of the frames
// (ID3v2 tags, a RIFF/WAVE header) and behind them (ID3v1, APE, appended
// ID3v2 tags), the start-of-stream scan that finds the first frame, its VBR
// header, and the frames and samples the stream holds. Playback, seeking,
// `vorlo-decode --info` and the playlist all take these facts from here, so
// that they agree.
#pragma once

#include <cstdint>

#include "decoder/header.h"
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

// A stream's layout: where its audio lies, what stands in front of and
// behind it, the VBR header of its first frame and how many frames and
// samples it holds. This module is its one owner: the frame reader, the
// playlist's lengths, `vorlo-decode --info`, the played time and seeking
// all take it from here.
struct StreamLayout {
    int64_t fileSize;     // the local file's size; 0 for a network input
    int64_t audioStart;   // behind any ID3v2 tags or WAVE header: where the search for frames starts
    int64_t audioEnd;     // before the tags behind the audio (ID3v1, APE, appended ID3v2), at the end of
                          // a WAVE data chunk; 0 for a network input
    StartScan scan;       // what the start-of-stream scan found
    int64_t firstFrame;   // offset of the first frame accepted; -1 when none
    uint32_t header;      // that frame's header word
    VbrHeader vbr;        // the Xing/Info or VBRI header of the first frame
    uint32_t vbrFrameLen; // length of the frame that held it
    uint32_t frames;      // audio frames (the VBR header frame excluded); 0 for a network input
    int gapless;          // 1 when the encoder's delay and padding trim the decoded stream
    GaplessWindow window; // that trim, when gapless
    int64_t samples;      // samples per channel played: the trimmed length or frames x samples per frame
    int64_t durationMs;   // playing time; -1 when the stream holds no audio frame (or on a network input)
    int64_t apeFooter;    // the footer of the APE tag nearest the end (its ReplayGain items); -1 when none
};

// The layout of an open local file (its position is left anywhere), found
// without touching the decoder's state: the playlist takes its lengths from
// it while a track may be playing. The frames are counted the way the frame
// reader will read them (its resynchronisation included) over the whole
// audio when it is at most kExactCountLimit bytes; a longer stream is taken
// at its VBR header's count when the header's byte count is the audio's,
// else counted from its length when its bitrate is constant, else walked
// whole too. The gapless trim applies only when the VBR header's count
// agrees with the frames counted. Returns 1
// when the stream holds an audio frame with a bitrate; 0 otherwise
// (LayoutProblem says why), with durationMs -1.
constexpr int64_t kExactCountLimit = 2 << 20;
int ReadStreamLayout(plat::File file, StreamLayout* layout);
// The playlist's name for it.
inline int ProbeStream(plat::File file, StreamLayout* layout) { return ReadStreamLayout(file, layout); }

// Fills in the trim, samples and duration of a layout whose header, vbr and
// frames are set. countKnown: frames were counted (a local file); a network
// input, whose frames cannot be counted ahead, takes the VBR header's trim
// as it stands.
void ResolveLayoutLengths(StreamLayout* layout, bool countKnown);

// Why a stream of this layout cannot be played: the message's text and
// caption, or false when it holds audio frames (a free-format stream is
// left to the frame reader's question).
bool LayoutProblem(const StreamLayout& layout, const char** text, const char** caption);

// A ReadAtFn (decoder/header.h) over the open local file given as context.
bool FileReadAt(void* file, int64_t offset, uint8_t* dst, uint32_t n);
