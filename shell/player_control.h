// Playback control behind the main window's commands and the decoder's
// notices: PlayerState, the stop sequence, play / pause / stop / next /
// previous, the stepping at the end of a track. Portable: it commands the
// decoder thread with posted thread messages and the output driver through
// g_outputDriver, so the window only maps clicks and messages onto it.
// Everything here runs on the user-interface thread.
#pragma once

#include <atomic>

// PlayerState: written only here, read by the LED display without a lock.
enum PlayerStateValue : int { Playing = 0, Paused = 1, Stopped = 2 };
extern std::atomic<int> PlayerState;

// The decoder thread the commands go to (-1: none). Resets PlayerState to
// Stopped and forgets any path the decoder held.
void SetPlayerDecoderThread(int threadId);
int PlayerDecoderThread();

// If paused: the driver's Resume, then Flush; then DCMD_STOP.
void PlayerStopSequence();
// Posts DCMD_PLAY_FILE with the current entry's path. 0 when there is none.
int PlayerPlayCurrent();

// Play (40010): stopped: DCMD_PLAY (the held path), or the current entry
// when the decoder holds no path yet (nothing to play: stays Stopped);
// paused: Resume only; playing: DCMD_STOP then DCMD_PLAY. Then Playing.
void PlayerPlay();
// Pause (40012): only while Playing: the driver's Pause, then Paused.
void PlayerPause();
// Stop (40011): the stop sequence, then Stopped.
void PlayerStop();
// Next (40013) / Previous (40014): step the playlist; if it moved, the stop
// sequence, a wait of waitMs for the decoder to act on it, and the current
// entry is played. Returns whether it moved.
int PlayerStep(int (*step)(), unsigned waitMs);
// Play current entry (40102): the stop sequence, then the current entry.
void PlayerPlayCurrentCommand();
// After the playlist was filled anew with its first entry selected: with
// ShufflePlay 1 shuffle it and start from its new first entry, so that no
// entry is passed over.
void PlayerShuffleNewList();

// DNOTE_TRACK_START: Playing.
void PlayerTrackStarted();
// DNOTE_TRACK_END: the next entry, or with RepeatPlay 1 the first; at the
// end of the list DCMD_CLOSE_OUTPUT and Stopped. Returns 1 when another
// entry was started.
int PlayerTrackEnded();
