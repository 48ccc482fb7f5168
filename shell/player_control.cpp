// Playback control (see player_control.h).
#include "shell/player_control.h"

#include "decoder/decoder_thread.h"
#include "output/output_driver.h"
#include "platform/thread.h"
#include "playlist/playlist.h"
#include "settings/settings.h"

std::atomic<int> PlayerState{Stopped};

namespace {

int g_decoderThread = -1;
// DCMD_PLAY replays the path the decoder holds from its last DCMD_PLAY_FILE;
// before the first one there is none.
bool g_heldPath = false;

}  // namespace

void SetPlayerDecoderThread(int threadId) {
    g_decoderThread = threadId;
    g_heldPath = false;
    PlayerState.store(Stopped);
}

int PlayerDecoderThread() { return g_decoderThread; }

void PlayerStopSequence() {
    if (PlayerState.load() == Paused && g_outputDriver) {
        g_outputDriver->Resume();
        g_outputDriver->Flush();
    }
    PostStop(g_decoderThread);
}

int PlayerPlayCurrent() {
    char path[kPlaylistPathSize];
    if (!PlaylistGetCurrentPath(path, sizeof path)) return 0;
    PostPlay(path, g_decoderThread);
    g_heldPath = true;
    return 1;
}

void PlayerPlay() {
    switch (PlayerState.load()) {
    case Stopped:
        if (g_heldPath)
            PostPlay(nullptr, g_decoderThread);
        else if (!PlayerPlayCurrent())
            return;  // nothing to play: the decoder would report an empty name
        break;
    case Paused:
        if (g_outputDriver) g_outputDriver->Resume();
        break;
    default:
        PostStop(g_decoderThread);
        PostPlay(nullptr, g_decoderThread);
        break;
    }
    PlayerState.store(Playing);
}

void PlayerPause() {
    if (PlayerState.load() != Playing) return;
    if (g_outputDriver) g_outputDriver->Pause();
    PlayerState.store(Paused);
}

void PlayerStop() {
    PlayerStopSequence();
    PlayerState.store(Stopped);
}

int PlayerStep(int (*step)(), unsigned waitMs) {
    if (!step()) return 0;
    PlayerStopSequence();
    plat::SleepMs(waitMs);
    PlayerPlayCurrent();
    return 1;
}

void PlayerPlayCurrentCommand() {
    PlayerStopSequence();
    PlayerPlayCurrent();
}

void PlayerShuffleNewList() {
    if (g_settings.ShufflePlay == 1 && PlaylistShuffle()) PlaylistSelect(0, nullptr);
}

void PlayerTrackStarted() { PlayerState.store(Playing); }

int PlayerTrackEnded() {
    if (PlaylistNext() || (g_settings.RepeatPlay == 1 && PlaylistSelect(0, nullptr))) {
        if (PlayerPlayCurrent()) return 1;
    }
    PostCloseOutput(g_decoderThread);
    PlayerState.store(Stopped);
    return 0;
}
