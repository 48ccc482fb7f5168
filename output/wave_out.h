// Output system 0: the wave device driver. Ten 32 KB device buffers; the
// device is held paused until the fourth block since the open or the last
// flush is queued; Write blocks while every buffer is queued; the position
// comes from the bytes of the blocks the device has returned.
#pragma once

#include "output/output_driver.h"

constexpr int kWaveBufferCount = 10;
constexpr int kWaveBufferSize = 32768;

extern const AudioOutputDriver kWaveOutDriver;

// The product name of output device index (at most 31 characters) into
// text, which holds at least 32 bytes. Returns 1, or 0 with "Bad Device"
// when the device's capabilities cannot be read.
int GetWaveDeviceName(int index, char* text);
// 1 while a Write is waiting for the device to give back a buffer.
int WaveOutWriterWaiting();
// Number of output devices the audio preferences list.
int GetWaveDeviceCount();
