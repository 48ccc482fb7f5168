// MPEG audio frame headers: the bitrate and sample-rate tables, the header
// tests, frame lengths and durations, and the tags that may surround the
// frames (ID3v2 in front; ID3v1, APE and appended ID3v2 tags behind; a
// Xing/Info or VBRI header in the first frame).
// Every part of the program that needs header knowledge calls these; nothing
// parses headers a second time.
//
// A header word holds the four header bytes with the first byte in bits
// 31..24: sync 31-21, version 20-19, layer 18-17, protection 16, bitrate
// index 15-12, sample-rate index 11-10, padding 9, private 8, mode 7-6,
// mode extension 5-4, copyright 3, original 2, emphasis 1-0
// (ISO/IEC 11172-3, 2.4.1.3).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/byte_order.h"

// kbit/s by [lsf][layer-1][bitrate index]; indexes 0 (free format) and 15 hold 0.
extern const int kBitrateTable[2][3][16];
// Hz by sample-rate index 0..8: MPEG-1, MPEG-2 LSF, MPEG-2.5.
extern const int kSampleRateTable[9];

// The fields of a header word, decoded on their own (no stream history).
struct HeaderFields {
    int lsf;              // 0 MPEG-1, 1 MPEG-2 and MPEG-2.5
    int mpeg25;           // 1 for MPEG-2.5 (version code 00, and the reserved 01)
    int layer;            // 1..3, or 4 for the reserved layer code 00
    int crcPresent;
    int bitrateIndex;
    int sampleRateIndex;  // 0..8, or -1 for the reserved code 3
    int padding;
    int mode;
    int modeExtension;
    int channels;
};
HeaderFields ParseHeaderWord(uint32_t word);

// The start-of-stream validity test: sync set, layer not 00, bitrate index
// not 15, sample-rate code not 3.
inline bool HeaderIsValid(uint32_t w) {
    return (w & 0xFFE00000u) == 0xFFE00000u && (w & 0x00060000u) != 0 &&
           (w & 0x0000F000u) != 0x0000F000u && (w & 0x00000C00u) != 0x00000C00u;
}

// The in-stream match test. A candidate matches a stored header word when
// sync, version, layer and sample rate agree. The bitrate may change from
// frame to frame (variable-bitrate streams), and so may the protection and
// private bits (ISO/IEC 11172-3 2.4.2.3 sets them per frame; the conformance
// streams switch the CRC on mid-stream), but bitrate index 0 (free format)
// and 15 (forbidden) never match.
inline bool HeaderMatches(uint32_t candidate, uint32_t stored) {
    uint32_t br = candidate & 0x0000F000u;
    return ((candidate ^ stored) & 0xFFFE0C00u) == 0 && br != 0 && br != 0x0000F000u;
}

// Frame length without the four header bytes, padding included; -1 when the
// header gives none (free format, a reserved layer, bitrate or sample rate).
int HeaderBodyLength(uint32_t word);

// The nominal (unpadded) frame length in bytes and the frame's duration in
// seconds, in double precision; 1 and 0 for a layer outside 1..3.
double NominalFrameLength(int layer, int lsf, int bitrateIndex, int sampleRateIndex);
double FrameDuration(int layer, int lsf, int sampleRateIndex);
// PCM samples per channel in one frame: 384, 1152 or (Layer III LSF) 576.
int SamplesPerFrame(int layer, int lsf);

// Layer III side-information length in bytes (without the CRC word).
int Layer3SideInfoSize(int lsf, int channels);

// The size of a well-formed ID3v2 tag at p (header, body and the footer when
// flagged), or 0 when p does not start one. n must be at least 10.
uint32_t Id3v2TagSize(const uint8_t* p, size_t n);
// The size of the ID3v2 tag whose footer ("3DI", ID3v2.4.0 structure 3.4)
// is the 10 bytes at p (header, body and footer), or 0 when p is no footer.
uint32_t Id3v2FooterTagSize(const uint8_t* p, size_t n);
// The size of the APE tag (version 1 or 2) whose 32-byte footer
// ("APETAGEX") is at p: its items and footer, plus the 32-byte header when
// the footer says there is one. 0 when p is no footer. The header's own
// presence is checked by AudioEndBeforeTags.
uint32_t ApeTagSize(const uint8_t* p, size_t n);

// Reads n bytes at offset of a local file; false unless all of them came in.
using ReadAtFn = bool (*)(void* context, int64_t offset, uint8_t* dst, uint32_t n);
// Where the audio of a local file of size bytes ends, its audio starting at
// start (behind the ID3v2 tags in front): before the tags that may follow
// it, in any order: one ID3v1 tag, APE tags (with or without their header)
// and ID3v2 tags appended with a footer. Never below start. When
// appendedId3v2 is given it gets the offset of the last appended ID3v2 tag
// met, or -1; apeFooter, the offset of the footer of the APE tag nearest the
// file's end, or -1.
int64_t AudioEndBeforeTags(ReadAtFn readAt, void* context, int64_t start, int64_t size,
                           int64_t* appendedId3v2 = nullptr, int64_t* apeFooter = nullptr);

// A Xing/Info or VBRI header read from the first frame of a stream.
struct VbrHeader {
    int present;        // 1 when the first frame holds such a header
    int isVbri;         // 1 for VBRI, 0 for Xing/Info
    uint32_t frames;    // audio frames in the stream (the header frame excluded); 0 unknown
    uint32_t bytes;     // stream bytes, header frame included; 0 unknown
    int hasToc;
    uint8_t xingToc[100];  // Xing: byte position of each percent, in 1/256 of the stream
    // VBRI: the byte length of each run of framesPerEntry frames.
    uint32_t vbriEntries;
    uint32_t vbriFramesPerEntry;
    uint32_t vbriToc[512];
    // Xing/Info: the LAME extension behind the header, taken only when its
    // tag CRC holds.
    int hasEncoderDelay;  // 1 when the extension gave the two below
    int encoderDelay;     // samples the encoder put in front of its input, 0..4095
    int encoderPadding;   // samples it added behind, 0..4095
    // The extension's ReplayGain fields: the radio (track) and audiophile
    // (album) gain in dB, each when its name code says it is set, and the
    // peak amplitude (1.0 full scale), 0 when not given.
    int hasRadioGain;
    int hasAudiophileGain;
    double radioGainDb;
    double audiophileGainDb;
    double peak;
};
// Looks for a Xing/Info or VBRI header in the frame at frame (header
// included) of frameLen bytes. Returns true and fills vbr when found.
bool ParseVbrHeader(const uint8_t* frame, size_t frameLen, VbrHeader* vbr);
// The byte offset, from the start of the header frame, of frame n of the
// stream according to the header's table (n counts the audio frames); -1
// when the header has no table.
int64_t VbrSeekOffset(const VbrHeader& vbr, uint32_t n, uint32_t headerFrameLen);

// The decoder's delay (its hybrid and polyphase filter banks): the decoded
// signal lags the encoder's input by this many samples on top of the delay
// that the encoder itself put in front.
constexpr int kDecoderDelay = 529;

// The decoded samples of a stream that hold the encoder's input, counted
// per channel at the stream's sample rate from the first sample of the first
// audio frame: [start, end), start = delay + 529 and end = frames x
// samplesPerFrame - (padding - 529), each clamped to the decoded stream.
// With padding below 529 the end is the stream's end: the decoder never
// produces the last 529 - padding samples of the input.
struct GaplessWindow {
    int64_t start;
    int64_t end;
    int64_t originalSamples;  // frames x samplesPerFrame - delay - padding, at least 0
};
// True and w filled when vbr gives the encoder delay and padding and its
// frame count.
bool GetGaplessWindow(const VbrHeader& vbr, int samplesPerFrame, GaplessWindow* w);
