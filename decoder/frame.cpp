// Frame sync, header parsing and frame bodies (ISO/IEC 11172-3 2.4.2.3,
// ISO/IEC 13818-3 2.4.2.3). What stands around the frames, the VBR header
// and the frame count come from the stream's layout (stream_probe.h).
#include "decoder/frame.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "decoder/input.h"
#include "decoder/stream_probe.h"
#include "platform/platform.h"

namespace {

struct FrameReader {
    uint32_t header;       // the current header word
    uint32_t last;         // the last parsed header word; 0 = none yet
    uint32_t reference;    // the first header accepted in this stream; 0 = none yet
    int bodyLength;        // body length of the current frame
    int refBitrateIndex;   // the first header's bitrate: the nominal frame length's
    bool streamStartDone;  // the stream's layout has been read
    bool vbrCheckPending;  // the next frame read is the stream's first
    bool skipFreeFormat;   // the user asked to resync past a free-format header
    bool firstFrameSeen;   // the stream's first frame has been accepted
    bool firstFromLayout;  // ... at the layout's first frame, whose VBR header the layout has read
    bool seekedFirst;      // a seek came before the first frame: it is looked for from there
    uint32_t framesRead;   // audio frames read since the open or the last seek
    StreamLayout layout;
} g_fr;

// Layer II table by [sample-rate index][single channel][bitrate index] for
// MPEG-1 (ISO/IEC 11172-3 Annex B, Table 3-B.2 header notes).
const uint8_t kLayer2TableChoice[3][2][16] = {
    {{0, 2, 2, 2, 2, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 0}, {0, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
    {{0, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 3, 3, 3, 3, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 0}, {0, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
};

// Reads one byte into the 4-byte window. False at the end or on failure.
bool ShiftIn(uint32_t* window) {
    uint8_t b;
    if (InputRead(&b, 1) != 1) return false;
    *window = (*window << 8) | b;
    return true;
}

// The frame reader's input as the start-of-stream scan sees it.
static_assert(kInputPeekReach >= StreamCursor::kPeekReach, "the scan peeks further than the input");
class InputCursor : public StreamCursor {
public:
    int Peek(int ahead, uint8_t* dst, int n) override { return InputPeek(ahead, dst, n); }
    int64_t Skip(int64_t n) override { return InputSkip(n); }
    bool Seekable() const override { return !g_input.isNetwork; }
    bool Rewind(int64_t n) override { return InputSeek(InputTell() - n); }
};

// Reads the layout of a local file (what stands around its frames, its
// VBR header, its frames) and ends the input where its audio ends: the
// reader never takes the tags' bytes for frames. A network input only skips
// what stands in front of its frames.
void LookAroundStream() {
    g_fr.streamStartDone = true;
    if (g_input.isNetwork) {
        std::memset(&g_fr.layout, 0, sizeof g_fr.layout);
        g_fr.layout.firstFrame = -1;
        g_fr.layout.durationMs = -1;
        g_fr.layout.apeFooter = -1;
        InputCursor in;
        SkipToAudio(in);
        g_fr.layout.audioStart = InputTell();
        return;
    }
    ReadStreamLayout(g_input.handle, &g_fr.layout);
    InputSetEnd(g_fr.layout.audioEnd);
    InputSeek(g_fr.layout.audioStart);
}

// Tells why the stream holds nothing to play, when it does not: true then.
bool ShowLayoutProblem() {
    const char *text, *caption;
    if (!LayoutProblem(g_fr.layout, &text, &caption)) return false;
    plat::ShowMessageBox(plat::MainWindow(), text, caption, plat::MbOk);
    return true;
}

// The first header's word: a local file's first frame is where its layout
// found it (a stream without one is reported); a network stream, or a local
// one being resynchronised past a free-format header, goes through the
// start-of-stream scan. False at the end of the input, with a message when
// it held more than a few bytes.
bool ReadFirstHeader(uint32_t* word) {
    uint8_t hb[4];
    if (!g_input.isNetwork && !g_fr.firstFrameSeen && !g_fr.skipFreeFormat && !g_fr.seekedFirst) {
        if (ShowLayoutProblem() || !InputSeek(g_fr.layout.firstFrame) || InputRead(hb, 4) < 4) return false;
        g_fr.firstFromLayout = true;
        *word = Be32(hb);
        return true;
    }
    InputCursor in;
    StartScan found = ScanStreamStart(in, g_fr.skipFreeFormat);
    if (found == kStartShort) return false;
    if (found == kStartNone) {
        plat::ShowMessageBox(plat::MainWindow(), "This does not look like a valid MPEG Audio File",
                             "Synchronization Error...", plat::MbOk);
        return false;
    }
    if (InputRead(hb, 4) < 4) return false;
    *word = Be32(hb);
    return true;
}

// Lost sync inside the stream: shifts the window a byte at a time to a
// header like the last or the first one. False at the end of the input or
// when the search gives up (with its message).
bool Resync(uint32_t* word) {
    int failed = 0;
    for (;;) {
        if (!ShiftIn(word)) return false;
        if (failed >= 32767) {
            plat::ShowMessageBox(plat::MainWindow(), "Could not locate a VALID sync in the stream.",
                                 "Synchronization Error...", plat::MbOk);
            return false;
        }
        if (HeaderMatches(*word, g_fr.last) || HeaderMatches(*word, g_fr.reference)) return true;
        failed++;
    }
}

// Takes an accepted header word into si and sets up its layer and body
// length. A free-format first header asks the user whether to look past it.
// False when the frame cannot be read.
bool ParseHeader(StreamInfo* si, uint32_t word) {
    for (;;) {
        HeaderFields h = ParseHeaderWord(word);
        bool first = g_fr.last == 0;
        si->lsf = h.lsf;
        si->mpeg25 = h.mpeg25;
        if (first) {
            si->layer = h.layer;
            si->sampleRateIndex = h.sampleRateIndex;
            g_fr.refBitrateIndex = h.bitrateIndex;
        }
        // Bitrate and protection may change from frame to frame.
        si->bitrateIndex = h.bitrateIndex;
        si->crcPresent = h.crcPresent;
        si->padding = h.padding;
        si->privateBit = static_cast<int>((word >> 8) & 1);
        si->mode = h.mode;
        si->modeExtension = h.modeExtension;
        si->copyright = static_cast<int>((word >> 3) & 1);
        si->original = static_cast<int>((word >> 2) & 1);
        si->emphasis = static_cast<int>(word & 3);
        si->channels = h.channels;
        if (si->bitrateIndex != 0) break;

        // A free-format header never becomes the stream's reference.
        int answer = plat::ShowMessageBox(plat::MainWindow(), "Invalid Bitrate in stream, Try Resync?",
                                          "Error In Stream...", plat::MbYesNo);
        if (answer != plat::IdYes) return false;
        g_fr.skipFreeFormat = true;
        g_fr.firstFromLayout = false;
        if (!ReadFirstHeader(&word)) return false;
    }
    if (g_fr.reference == 0) {
        g_fr.reference = word;
        if (!g_fr.firstFrameSeen) {
            g_fr.firstFrameSeen = true;
            g_fr.layout.firstFrame = InputTell() - 4;
        }
    }
    g_fr.last = word;

    // Every header accepted has the layer, version and sample rate of the
    // stream's first.
    g_fr.bodyLength = HeaderBodyLength(word);
    switch (si->layer) {
    case 1:
        si->layerDecoder = DecodeLayer1Frame;
        si->jsbound = si->mode == 1 ? 4 * si->modeExtension + 4 : 32;
        break;
    case 2: {
        si->layerDecoder = DecodeLayer2Frame;
        int table = si->lsf ? 4 : kLayer2TableChoice[si->sampleRateIndex][si->channels == 1][si->bitrateIndex];
        int sblimit = 0;
        si->allocTable = GetLayer2AllocTable(table, &sblimit);
        si->sblimit = sblimit;
        si->jsbound = si->mode == 1 ? 4 * si->modeExtension + 4 : si->sblimit;
        break;
    }
    case 3:
        si->layerDecoder = DecodeLayer3Frame;
        g_frames.SideInfoSize = Layer3SideInfoSize(si->lsf, si->channels) + (si->crcPresent ? 2 : 0);
        break;
    default: g_fr.bodyLength = -1; break;
    }
    if (g_fr.bodyLength < 0) {
        std::fputs("Sorry, unknown layer type.\n", stderr);
        return false;
    }
    if (g_fr.bodyLength > kBodyAreaSize) g_fr.bodyLength = kBodyAreaSize;  // no header gives this
    return true;
}

// Reads one frame: header, sync, parse and body. The first header of a
// stream is the one the start-of-stream scan finds; later ones are read
// where the previous frame ends.
int ReadFrameRaw(StreamInfo* si) {
    uint32_t word;
    bool changed = true;
    if (g_fr.reference == 0) {
        if (!ReadFirstHeader(&word)) return 0;
    } else {
        uint8_t hb[4];
        if (InputRead(hb, 4) < 4) return 0;
        word = Be32(hb);
        changed = word != g_fr.last;
        if (changed && !HeaderMatches(word, g_fr.reference) && !Resync(&word)) return 0;
    }
    si->headerChanged = changed ? 1 : 0;
    if (changed && !ParseHeader(si, word)) return 0;
    g_fr.header = word;

    g_frames.previousBuffer = g_frames.currentBuffer;
    g_frames.previousSize = g_frames.currentSize;
    g_frames.currentBuffer = FrameBuffer(g_frames.nextBuffer);
    g_frames.nextBuffer ^= 1;
    int got = InputRead(g_frames.currentBuffer, g_fr.bodyLength);
    if (got <= 0) return 0;
    if (got < g_fr.bodyLength)
        std::memset(g_frames.currentBuffer + got, 0, static_cast<size_t>(g_fr.bodyLength - got));
    g_frames.currentSize = g_fr.bodyLength;
    ResetBitReader();
    return 1;
}

double NominalLength(const StreamInfo* si) {
    return NominalFrameLength(si->layer, si->lsf, g_fr.refBitrateIndex, si->sampleRateIndex);
}

}  // namespace

void ResetFrameReader() {
    std::memset(&g_fr, 0, sizeof g_fr);
    g_fr.vbrCheckPending = true;
}

void ResetHeaderHistory() {
    g_fr.last = 0;
    g_fr.reference = 0;
}

const StreamLayout& GetStreamLayout() {
    if (!g_fr.streamStartDone && g_input.handle) LookAroundStream();
    return g_fr.layout;
}

uint32_t FramesRead() { return g_fr.framesRead; }

int ReadFrame(StreamInfo* si) {
    if (!g_fr.streamStartDone) LookAroundStream();
    int r = ReadFrameRaw(si);
    if (r == 1 && g_fr.vbrCheckPending) {
        g_fr.vbrCheckPending = false;
        // A Xing/Info or VBRI header frame carries no audio: note it and go on.
        StreamLayout& lay = g_fr.layout;
        bool vbrFrame = lay.vbr.present != 0;
        if (!g_fr.firstFromLayout) {
            uint8_t frame[4 + kBodyAreaSize];
            size_t len = 4 + static_cast<size_t>(g_frames.currentSize);
            frame[0] = uint8_t(g_fr.header >> 24);
            frame[1] = uint8_t(g_fr.header >> 16);
            frame[2] = uint8_t(g_fr.header >> 8);
            frame[3] = uint8_t(g_fr.header);
            std::memcpy(frame + 4, g_frames.currentBuffer, static_cast<size_t>(g_frames.currentSize));
            vbrFrame = ParseVbrHeader(frame, len, &lay.vbr);
            lay.vbrFrameLen = vbrFrame ? static_cast<uint32_t>(len) : 0;
            if (g_input.isNetwork) {
                lay.scan = kStartFound;
                lay.header = g_fr.header;
                ResolveLayoutLengths(&lay, false);
            }
        }
        if (vbrFrame) {
            r = ReadFrameRaw(si);
            if (r == 0 && g_input.isNetwork) ShowLayoutProblem();
        }
    }
    if (r == 1) g_fr.framesRead++;
    return r;
}

int GetFrameCount(StreamInfo*) {
    if (g_input.isNetwork) return 0;
    if (!g_fr.streamStartDone) LookAroundStream();
    return g_fr.layout.frames > INT_MAX ? INT_MAX : static_cast<int>(g_fr.layout.frames);
}

int GetPlayedSeconds(StreamInfo* si) {
    if (g_input.isNetwork) return 0;
    double duration = FrameDuration(si->layer, si->lsf, si->sampleRateIndex);
    double frames;
    if (g_fr.layout.vbr.present && g_fr.layout.vbr.frames) {
        // Byte offsets say little about time in a variable-bitrate stream.
        frames = g_fr.framesRead;
    } else {
        int64_t offset = InputTell() - g_fr.layout.firstFrame;
        frames = static_cast<double>(static_cast<int64_t>(static_cast<double>(offset) / NominalLength(si)));
    }
    double seconds = frames * duration;
    // A gapless track starts behind the encoder and decoder delays.
    if (g_fr.layout.gapless) seconds -= double(g_fr.layout.window.start) / kSampleRateTable[si->sampleRateIndex];
    return seconds < 0 ? 0 : static_cast<int>(seconds);
}

int SeekToFrame(StreamInfo* si, int n) {
    if (g_input.isNetwork || n < 0) return 0;
    if (!g_fr.streamStartDone) LookAroundStream();
    int64_t target;
    int64_t vbrOffset = -1;
    if (g_fr.layout.vbr.present)
        vbrOffset = VbrSeekOffset(g_fr.layout.vbr, static_cast<uint32_t>(n), g_fr.layout.vbrFrameLen);
    if (vbrOffset >= 0)
        target = g_fr.layout.firstFrame + vbrOffset;
    else
        target = g_fr.layout.firstFrame + static_cast<int64_t>((NominalLength(si) + 8.0) * n);
    if (!InputSeek(target)) return 0;

    // Find a header like the stream's first, confirmed by the ones behind it.
    InputCursor in;
    for (;;) {
        uint8_t w[4];
        if (InputPeek(0, w, 4) < 4) return 0;
        uint32_t word = Be32(w);
        if (g_fr.reference == 0 ? HeaderIsValid(word) : HeaderMatches(word, g_fr.reference)) {
            if (HeaderConfirmed(in, word)) break;
        }
        if (InputSkip(1) != 1) return 0;
    }
    // The first of the two frames only serves as the previous frame of the second.
    if (!g_fr.firstFrameSeen) g_fr.seekedFirst = true;
    ReadFrameRaw(si);
    ReadFrameRaw(si);
    g_fr.vbrCheckPending = false;
    g_fr.framesRead = static_cast<uint32_t>(n) + 2;

    std::memset(g_frameArea, 0, sizeof g_frameArea);
    ResetBitReader();
    return 1;
}
