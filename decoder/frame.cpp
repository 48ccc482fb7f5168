// Frame sync, header parsing and frame bodies (ISO/IEC 11172-3 2.4.2.3,
// ISO/IEC 13818-3 2.4.2.3), with the stream-level facts around them: ID3v2
// tags in front, an ID3v1 tag behind, a Xing/Info or VBRI header in the
// first frame.
#include "decoder/frame.h"

#include <cstdio>
#include <cstring>

#include "decoder/input.h"
#include "platform/platform.h"

namespace {

struct FrameReader {
    uint32_t header;       // the current header word
    uint32_t last;         // the last parsed header word; 0 = none yet
    uint32_t reference;    // the first header accepted in this stream; 0 = none yet
    int bodyLength;        // body length of the current frame
    int refBitrateIndex;   // the first header's bitrate: the nominal frame length's
    bool streamStartDone;  // the tags around the audio have been looked at
    bool vbrCheckPending;  // the next frame read is the stream's first
    bool skipFreeFormat;   // the user asked to resync past a free-format header
    bool firstFrameSeen;   // layout.firstFrame is known
    int frameCount;        // GetFrameCount's answer once known; -1 before
    StreamLayout layout;
} g_fr;

// Layer II table by [sample-rate index][single channel][bitrate index] for
// MPEG-1 (ISO/IEC 11172-3 Annex B, Table 3-B.2 header notes).
const uint8_t kLayer2TableChoice[3][2][16] = {
    {{0, 2, 2, 2, 2, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 0}, {0, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
    {{0, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 3, 3, 3, 3, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 0}, {0, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
};

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Reads one byte into the 4-byte window. False at the end or on failure.
bool ShiftIn(uint32_t* window) {
    uint8_t b;
    if (InputRead(&b, 1) != 1) return false;
    *window = (*window << 8) | b;
    return true;
}

// At the start of a stream a candidate is accepted only when the header its
// frame length predicts matches it too, or when the input ends right there:
// garbage in front of the audio often passes the validity test once.
// `at` is where the candidate's body starts, relative to the read position.
bool StartCandidateConfirmed(uint32_t word, int at = 0) {
    int body = HeaderBodyLength(word);
    if (body < 0) return true;  // free format: the bitrate question follows
    body += at;
    uint8_t next[4];
    int got = InputPeek(body, next, 4);
    if (got == 4) return HeaderMatches(Be32(next), word);
    if (got > 0) return true;  // the input ends inside the next header
    uint8_t last;
    return body == 0 || InputPeek(body - 1, &last, 1) == 1;  // ends exactly behind the body
}

bool InputReadAt(void*, int64_t offset, uint8_t* dst, uint32_t n) {
    return InputSeek(offset) && InputRead(dst, static_cast<int>(n)) == static_cast<int>(n);
}

// Skips ID3v2 tags at the start of the input and, in a local file, ends the
// audio before the tags behind it: the reader never takes their bytes for
// frames.
void LookAroundStream() {
    g_fr.streamStartDone = true;
    for (;;) {
        uint8_t h[10];
        if (InputPeek(0, h, 10) < 10) break;
        uint32_t size = Id3v2TagSize(h, 10);
        if (size == 0) break;
        if (InputSkip(size) < static_cast<int64_t>(size)) break;  // a size beyond the file ends here
    }
    g_fr.layout.audioStart = InputTell();

    g_fr.layout.audioEnd = g_input.isNetwork ? 0 : static_cast<int64_t>(g_input.fileSize);
    if (!g_input.isNetwork) {
        int64_t here = InputTell();
        g_fr.layout.audioEnd = AudioEndBeforeTags(InputReadAt, nullptr, here, g_fr.layout.audioEnd);
        InputSeek(here);
        InputSetEnd(g_fr.layout.audioEnd);
    }
}

enum ScanResult { kScanFound, kScanFailed };

// The start-of-stream scan: shifts the window one byte at a time until a
// header passes the validity test and is confirmed by the next one.
ScanResult ScanForStart(uint32_t* window) {
    int counted = 0;
    for (;;) {
        if (!ShiftIn(window)) break;
        if ((*window >> 16) == 0xFFFF) continue;  // passed over, not counted
        if (HeaderIsValid(*window) && !(g_fr.skipFreeFormat && ((*window >> 12) & 15) == 0) &&
            StartCandidateConfirmed(*window))
            return kScanFound;
        if (++counted >= 32768) break;
    }
    plat::ShowMessageBox(plat::MainWindow(), "This does not look like a valid MPEG Audio File",
                         "Synchronization Error...", plat::MbOk);
    return kScanFailed;
}

// Reads one frame: header, sync, parse and body.
int ReadFrameRaw(StreamInfo* si) {
    uint8_t hb[4];
    if (InputRead(hb, 4) < 4) return 0;
    uint32_t word = Be32(hb);

    if (word == g_fr.last && g_fr.last != 0) {
        si->headerChanged = 0;
    } else {
        si->headerChanged = 1;
        for (;;) {
            bool needScan = false;
            if (g_fr.reference == 0) {
                // A header right at the start of the audio is taken as it is;
                // one found anywhere else must be confirmed by the next.
                bool atStart = InputTell() - 4 == g_fr.layout.audioStart;
                if (!HeaderIsValid(word) || (g_fr.skipFreeFormat && ((word >> 12) & 15) == 0) ||
                    (!atStart && !StartCandidateConfirmed(word)))
                    needScan = true;
            } else if ((word & 0xFFE00000u) != 0xFFE00000u || !HeaderMatches(word, g_fr.reference)) {
                // Lost sync inside the stream: look for a header like the ones before.
                if (g_fr.last == 0) {
                    needScan = true;
                } else {
                    int failed = 0;
                    for (;;) {
                        if (!ShiftIn(&word)) return 0;
                        if (failed >= 32767) {
                            plat::ShowMessageBox(plat::MainWindow(), "Could not locate a VALID sync in the stream.",
                                                 "Synchronization Error...", plat::MbOk);
                            return 0;
                        }
                        if (HeaderMatches(word, g_fr.last) || HeaderMatches(word, g_fr.reference)) break;
                        failed++;
                    }
                }
            }
            if (needScan && ScanForStart(&word) != kScanFound) return 0;

            // Parse the accepted word.
            HeaderFields h = ParseHeaderWord(word);
            bool first = g_fr.last == 0;
            if (g_fr.reference == 0) {
                g_fr.reference = word;
                if (!g_fr.firstFrameSeen) {
                    g_fr.firstFrameSeen = true;
                    g_fr.layout.firstFrame = InputTell() - 4;
                }
            }
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
            g_fr.last = word;

            if (si->bitrateIndex == 0) {
                int answer = plat::ShowMessageBox(plat::MainWindow(), "Invalid Bitrate in stream, Try Resync?",
                                                  "Error In Stream...", plat::MbYesNo);
                // A free-format header never becomes the stream's reference.
                g_fr.last = g_fr.reference = 0;
                if (answer != plat::IdYes) return 0;
                g_fr.skipFreeFormat = true;
                if (ScanForStart(&word) != kScanFound) return 0;
                continue;  // parse the header the scan found
            }
            break;
        }

        int kbps = kBitrateTable[si->lsf][si->layer - 1][si->bitrateIndex];
        int f = kSampleRateTable[si->sampleRateIndex];
        switch (si->layer) {
        case 1:
            si->layerDecoder = DecodeLayer1Frame;
            si->jsbound = si->mode == 1 ? 4 * si->modeExtension + 4 : 32;
            g_fr.bodyLength = (12000 * kbps / f + si->padding) * 4 - 4;
            break;
        case 2: {
            si->layerDecoder = DecodeLayer2Frame;
            int table = si->lsf ? 4 : kLayer2TableChoice[si->sampleRateIndex][si->channels == 1][si->bitrateIndex];
            int sblimit = 0;
            si->allocTable = GetLayer2AllocTable(table, &sblimit);
            si->sblimit = sblimit;
            si->jsbound = si->mode == 1 ? 4 * si->modeExtension + 4 : si->sblimit;
            g_fr.bodyLength = 144000 * kbps / f + si->padding - 4;
            break;
        }
        case 3:
            si->layerDecoder = DecodeLayer3Frame;
            g_frames.SideInfoSize = Layer3SideInfoSize(si->lsf, si->channels) + (si->crcPresent ? 2 : 0);
            g_fr.bodyLength = 144000 * kbps / (f << si->lsf) + si->padding - 4;
            break;
        default:
            std::fputs("Sorry, unknown layer type.\n", stderr);
            return 0;
        }
        if (g_fr.bodyLength > kBodyAreaSize) g_fr.bodyLength = kBodyAreaSize;  // no header gives this
    }
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
    g_fr.frameCount = -1;
}

void ResetHeaderHistory() {
    g_fr.last = 0;
    g_fr.reference = 0;
}

const StreamLayout& GetStreamLayout() { return g_fr.layout; }

int ReadFrame(StreamInfo* si) {
    if (!g_fr.streamStartDone) LookAroundStream();
    int r = ReadFrameRaw(si);
    if (r == 1 && g_fr.vbrCheckPending) {
        g_fr.vbrCheckPending = false;
        // A Xing/Info or VBRI header frame carries no audio: note it and go on.
        uint8_t frame[4 + kBodyAreaSize];
        size_t len = 4 + static_cast<size_t>(g_frames.currentSize);
        frame[0] = uint8_t(g_fr.header >> 24);
        frame[1] = uint8_t(g_fr.header >> 16);
        frame[2] = uint8_t(g_fr.header >> 8);
        frame[3] = uint8_t(g_fr.header);
        std::memcpy(frame + 4, g_frames.currentBuffer, static_cast<size_t>(g_frames.currentSize));
        if (ParseVbrHeader(frame, len, &g_fr.layout.vbr)) {
            g_fr.layout.vbrFrameLen = static_cast<uint32_t>(len);
            r = ReadFrameRaw(si);
        }
    }
    if (r == 1) g_fr.layout.framesRead++;
    return r;
}

namespace {

// Whether a frame of the reference's bitrate starts within a few bytes of
// where a constant-bitrate stream would have frame k.
bool ConstantAt(const StreamInfo* si, int64_t start, int64_t end, int k, uint32_t ref) {
    int64_t at = start + static_cast<int64_t>(NominalLength(si) * k);
    for (int64_t pos = at - 2; pos <= at + 2; pos++) {
        uint8_t h[4];
        if (pos < start || pos + 4 > end || !InputSeek(pos) || InputRead(h, 4) < 4) continue;
        uint32_t w = Be32(h);
        if (HeaderMatches(w, ref) && ((w ^ ref) & 0x0000F000u) == 0) return true;
    }
    return false;
}

// Counts the frames of a local file. A constant-bitrate stream is counted
// from its length; one whose bitrate changes (and that has no Xing/Info or
// VBRI header to say how many frames it holds) is walked frame by frame.
// A stream that starts with a run of one bitrate is taken as constant only
// when a frame of that bitrate also sits where the constant stream's
// next-to-last frame would be. A frame cut short by the end of the file
// counts: it is decoded too.
int CountFrames(const StreamInfo* si) {
    const StreamLayout& lay = g_fr.layout;
    int64_t start = lay.firstFrame;
    if (lay.vbr.present) start += lay.vbrFrameLen;
    int64_t end = lay.audioEnd;
    if (end <= start) return 0;
    int64_t resume = InputTell();

    constexpr int kSample = 256;  // frames looked at before trusting a constant bitrate
    uint32_t ref = g_fr.reference;
    int count = 0;
    bool constant = true, walkedToEnd = false, metJunk = false;
    int64_t pos = start;
    for (;;) {
        if (pos >= end) {
            walkedToEnd = true;
            break;
        }
        uint8_t h[4];
        if (!InputSeek(pos) || InputRead(h, 4) < 4) {
            walkedToEnd = true;
            break;
        }
        uint32_t w = Be32(h);
        if (!HeaderMatches(w, ref)) {
            metJunk = true;
            break;
        }
        if (((w ^ ref) & 0x0000F000u) != 0) constant = false;
        count++;
        pos += HeaderBodyLength(w) + 4;
        if (constant && count == kSample) {
            double nominal = NominalLength(si);
            int last = static_cast<int>((static_cast<double>(end - start) + nominal - 5.0) / nominal) - 2;
            if (last <= kSample || ConstantAt(si, start, end, last, ref)) break;
            constant = false;  // the bitrate changes later on: walk on
        }
    }
    InputSeek(resume);

    if (walkedToEnd) return count;
    double frames;
    if (constant && !metJunk) {
        // Padding makes the average frame exactly nominal; a remainder longer
        // than a header is a frame cut short.
        double nominal = NominalLength(si);
        frames = (static_cast<double>(end - start) + nominal - 5.0) / nominal;
    } else {
        // The walk met something that is not a frame: estimate the rest.
        double average = count ? static_cast<double>(pos - start) / count : NominalLength(si);
        frames = count + static_cast<double>(end - pos) / average;
    }
    return frames < 0 ? 0 : static_cast<int>(frames);
}

}  // namespace

int GetFrameCount(StreamInfo* si) {
    if (g_input.isNetwork) return 0;
    if (!g_fr.streamStartDone) LookAroundStream();
    if (g_fr.layout.vbr.present && g_fr.layout.vbr.frames) return static_cast<int>(g_fr.layout.vbr.frames);
    if (g_fr.frameCount >= 0) return g_fr.frameCount;
    if (g_fr.reference == 0) {
        // No frame read yet: the nominal estimate from the header in hand.
        int64_t bytes = g_fr.layout.audioEnd - g_fr.layout.audioStart;
        return bytes > 0 ? static_cast<int>(static_cast<double>(bytes) / NominalLength(si)) : 0;
    }
    g_fr.frameCount = CountFrames(si);
    return g_fr.frameCount;
}

int GetPlayedSeconds(StreamInfo* si) {
    if (g_input.isNetwork) return 0;
    double duration = FrameDuration(si->layer, si->lsf, si->sampleRateIndex);
    double frames;
    if (g_fr.layout.vbr.present && g_fr.layout.vbr.frames) {
        // Byte offsets say little about time in a variable-bitrate stream.
        frames = g_fr.layout.framesRead;
    } else {
        int64_t offset = InputTell() - g_fr.layout.firstFrame;
        frames = static_cast<double>(static_cast<int64_t>(static_cast<double>(offset) / NominalLength(si)));
    }
    double seconds = frames * duration;
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

    // Find a header like the stream's first, confirmed by the one behind it.
    for (;;) {
        uint8_t w[4];
        if (InputPeek(0, w, 4) < 4) return 0;
        uint32_t word = Be32(w);
        if (g_fr.reference == 0 || HeaderMatches(word, g_fr.reference)) {
            if ((g_fr.reference != 0 || HeaderIsValid(word)) && StartCandidateConfirmed(word, 4))
                break;
        }
        if (InputSkip(1) != 1) return 0;
    }
    // The first of the two frames only serves as the previous frame of the second.
    ReadFrameRaw(si);
    ReadFrameRaw(si);
    g_fr.vbrCheckPending = false;
    g_fr.layout.framesRead = static_cast<uint32_t>(n) + 2;

    std::memset(g_frameArea, 0, sizeof g_frameArea);
    ResetBitReader();
    return 1;
}
