// The frame reader: finds MPEG audio frames in the input, parses each header
// into StreamInfo, chooses the layer decoder and reads the frame body into
// the next frame buffer. Runs on the decoder thread only.
#pragma once

#include <cstdint>

#include "decoder/header.h"
#include "decoder/stream_info.h"
#include "decoder/stream_probe.h"

// Reads the next frame: 1 when a frame was read (header parsed, body in the
// current frame buffer, bit reader on its first byte); 0 at the end of the
// stream, on a read failure, or when the user declined a resync.
int ReadFrame(StreamInfo* si);
// Audio frames in the stream, as its layout counts them; 0 for a network
// input.
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

// The layout of the open input (stream_probe.h): read at the first frame
// (or at the first call) for a local file; for a network input only what
// the frames read so far have shown (the audio start, the first frame, its
// VBR header).
const StreamLayout& GetStreamLayout();
// Audio frames read since the open or the last seek (a seek counts the two
// frames it reads).
uint32_t FramesRead();

// The layer decoders the frame reader installs; each lives with its layer.
int DecodeLayer1Frame(StreamInfo* si);
int DecodeLayer2Frame(StreamInfo* si);
int DecodeLayer3Frame(StreamInfo* si);
// The Layer II allocation table 0..4 (ISO/IEC 11172-3 3-B.2a-d, ISO/IEC
// 13818-3 B.1) and its sblimit.
const Layer2AllocTable* GetLayer2AllocTable(int table, int* sblimit);
