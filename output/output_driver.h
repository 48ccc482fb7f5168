// The table of output operations. All PCM leaves the player through the
// current driver: the wave device (output system 0) or the WAV file writer
// (output system 1). Positions are milliseconds, volume 0..63.
#pragma once

#include <cstdint>

struct AudioOutputDriver {
    // sample rate, channels, device index, block bytes, buffer time, 8-bit flag -> 1 ready / 0 failed
    int (*Open)(int rate, int channels, int device, int blockBytes, float bufferTime, int eightBit);
    int (*Close)(int immediate);          // 1 closed / 0 not open
    int (*IsOpen)();
    int (*Write)(int length, const uint8_t* data);  // bytes taken; 0 aborted; -1 failure
    int (*Flush)();
    int (*Pause)();
    int (*Resume)();
    int (*GetPosition)();                 // milliseconds played
    int (*SetPosition)(int seconds);
    int (*GetVolume)();                   // 0..63, -1 when not open
    int (*SetVolume)(int volume);
    int (*GetBufferCount)();
    int (*GetFreeBuffers)();
};

// The driver in use; the decoder thread chooses it per play command.
extern const AudioOutputDriver* g_outputDriver;
