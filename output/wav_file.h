// Output system 1: the WAV file writer. Open asks for a file name with the
// save dialog and writes a RIFF WAVE header (an 18-byte format record);
// Write appends PCM through a buffer; Close fills in the chunk sizes and
// the pad byte. The other slots of the table do nothing and return 0.
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
