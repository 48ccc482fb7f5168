// Anonymous pipes: a producer thread writes, a reader reads the read end with
// plat::FileRead exactly as it reads a file, and sees the end of the data
// (0 bytes) once the write end is closed and the pipe drained.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace plat {

// Creates a pipe (CreatePipe) whose buffer is about suggestedSize bytes.
// Both ends are closed with FileClose. False (both ends nullptr) on failure.
bool PipeCreate(File* readEnd, File* writeEnd, uint32_t suggestedSize);
// Writes n bytes to the write end, blocking while the pipe is full. Returns
// the count written, or -1 when nothing could be written. Once the read end
// is closed a write fails (a blocked one included) and never raises a
// signal.
int PipeWrite(File writeEnd, const void* src, uint32_t n);

}  // namespace plat
