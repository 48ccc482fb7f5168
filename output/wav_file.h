// Output system 1: the WAV file writer. Open asks for a file name with the
// save dialog and writes a RIFF WAVE header (an 18-byte format record);
// Write appends PCM through a buffer; Close fills in the chunk sizes and
// the pad byte. The other slots of the table do nothing and return 0.
//
// A file takes at most 4 GiB of PCM (its 32-bit sizes must not wrap: about
// 6.8 hours of 44.1 kHz stereo), in whole sample frames. When it is full,
// Write finishes it, says so, and goes on in a new file asked for with the
// save dialog as the first was (vorlo-decode answers OUT-2.wav, OUT-3.wav,
// ...); without one it says that the rest was not written and returns -1.
#pragma once

#include <cstdint>

#include "output/output_driver.h"
#include "platform/platform.h"

extern const AudioOutputDriver kWavFileDriver;

// The stub of the unused slots: does nothing, returns 0.
int OutputStub();

// The size of the I/O buffer in front of the file.
constexpr int kWavIoBufferSize = 8192;

// Every write to the file goes through this function (plat::FileWrite by
// default; nullptr restores it). Lets a test stand in for a full disk.
using WavFileWriteFn = int (*)(plat::File f, const void* src, uint32_t n);
void SetWavFileWriter(WavFileWriteFn fn);
// The PCM a file takes before the next one begins, in bytes (whole frames
// of it); 0 restores the format's own limit. For tests.
void SetWavFileDataLimit(uint64_t bytes);
