// The frame reader: finds MPEG audio frames in the input, parses each header
// into StreamInfo, chooses the layer decoder and reads the frame body into
// the next frame buffer. Runs on the decoder thread only.
#pragma once

#include <cstdint>

#include "decoder/header.h"
#include "decoder/stream_info.h"

// Reads the next frame: 1 when a frame was read (header parsed, body in the
// current frame buffer, bit reader on its first byte); 0 at the end of the
// stream, on a read failure, or when the user declined a resync.
int ReadFrame(StreamInfo* si);
// Frames in the stream: the Xing/Info or VBRI count when the stream has one,
// else the audio bytes over the nominal frame length; 0 for a network input.
int GetFrameCount(StreamInfo* si);
// Whole seconds played up to the read position; 0 for a network input.
int GetPlayedSeconds(StreamInfo* si);
// Positions the input near frame n and resets the reader: 1 done, 0 for a
// network input or past the end.
int SeekToFrame(StreamInfo* si, int n);
// Forgets the last and reference header words, so that the next header is
// validated as the first of a stream.
void ResetHeaderHistory();

// Called by OpenInput: forgets everything about the previous stream (header
// history, the audio start, the VBR header).
void ResetFrameReader();

// What the frame reader has learnt about the stream around its frames.
struct StreamLayout {
    int64_t audioStart;   // offset behind any ID3v2 tags or WAVE header, where the search for frames starts
    int64_t firstFrame;   // offset of the first frame accepted
    int64_t audioEnd;     // end of the audio (before ID3v1, APE, appended ID3v2 tags; at a WAVE data chunk's end); 0 on a network input
    VbrHeader vbr;        // the Xing/Info or VBRI header of the first frame
    uint32_t vbrFrameLen; // length of the frame that held it
    uint32_t framesRead;  // audio frames read since the open or the last seek
};
const StreamLayout& GetStreamLayout();

// The layer decoders the frame reader installs; each lives with its layer.
int DecodeLayer1Frame(StreamInfo* si);
int DecodeLayer2Frame(StreamInfo* si);
int DecodeLayer3Frame(StreamInfo* si);
// The Layer II allocation table 0..4 (ISO/IEC 11172-3 3-B.2a-d, ISO/IEC
// 13818-3 B.1) and its sblimit.
const Layer2AllocTable* GetLayer2AllocTable(int table, int* sblimit);
