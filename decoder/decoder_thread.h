// The decoder thread: plays one track at a time on a long-lived worker
// thread. The main window commands it with posted thread messages (DCMD_*)
// and hears back through notices to the main window (DNOTE_*): the track
// start, the 0 % and 100 % progress and the track end are sent and wait for
// the window's handler; the progress in between is posted.
#pragma once

#include <cstdint>

#include "output/output_driver.h"

// Thread messages to the decoder thread (wParam always 0).
constexpr unsigned DCMD_PLAY = 0x8100;          // play the held path
constexpr unsigned DCMD_PLAY_FILE = 0x8101;     // lParam: address of a path; copied, then played
constexpr unsigned DCMD_STOP = 0x8102;          // leave the playing track
constexpr unsigned DCMD_CLOSE_OUTPUT = 0x8103;  // lParam: Close's immediate flag (idle only)
constexpr unsigned DCMD_SEEK = 0x8104;          // lParam: percent 0..100 (playing only)
constexpr unsigned DCMD_PRIORITY = 0x8105;      // re-apply DecoderPriority (idle only)

// Notices to the main window.
constexpr unsigned DNOTE_TRACK_END = 0x8200;    // sent: the track played to its end
constexpr unsigned DNOTE_TRACK_START = 0x8201;  // sent: the input opened, decoding begins
constexpr unsigned DNOTE_PROGRESS = 0x8202;     // lParam percent: sent for 0 and 100, else posted

constexpr unsigned kDecoderStackSize = 16384;
constexpr unsigned kDecoderShutdownWait = 3000;

// Starts the thread; mainWindow owns its message boxes and receives its
// notices. Returns the thread id, or -1.
int StartDecoderThread(void* mainWindow);
// Posts the quit message, waits up to 3000 ms, then ends the thread
// forcibly, and releases it.
void ShutdownDecoderThread(int threadId);
// With a path: copies it (at most 259 characters) into a process-wide
// buffer and posts DCMD_PLAY_FILE with its address; without: DCMD_PLAY.
void PostPlay(const char* path, int threadId);
void PostStop(int threadId);
void PostCloseOutput(int threadId);  // lParam 0: plays out what is queued
void PostSeek(int percent, int threadId);

// The thread priority for a DecoderPriority value (0..5; others: normal).
int MapDecoderPriority(int setting);

// Fills the output driver table for AudioOutputSystem 0 (wave device) or 1
// (WAV file) and points g_outputDriver at it; other values leave it as it
// is. A Write through the table that fails (< 0) is remembered, so that the
// decoder thread ends the track as a stop whatever layer is playing.
void SelectOutputDriver(int system);
// Puts another driver in the place of output system 0 or 1 (nullptr: the
// real one again); for tests.
void OverrideOutputSystem(int system, const AudioOutputDriver* driver);

// How a play command ended, told to the hook when the thread is idle again.
struct DecoderTrackReport {
    int opened;         // the input opened
    int stopped;        // left by a stop, a failed output Open or a refused Write
    int framesDecoded;  // frames handed to the layer decoder
};
using DecoderIdleHook = void (*)(const DecoderTrackReport& report);
void SetDecoderIdleHook(DecoderIdleHook hook);

// The output gain of a local file about to play, from its path and layout
// (its ReplayGain, read from its tags above the decoder): asked at each
// track's first frame. Without a hook, and for a network stream, the gain
// is 1.0 and the output is left exactly as decoded.
struct StreamLayout;
using TrackGainHook = double (*)(const char* path, const StreamLayout& layout);
void SetTrackGainHook(TrackGainHook hook);

// The last posted progress value: -1 at start, never reset.
int LastPostedProgress();
