#include "shell/media_keys.h"

#include "resources/resource.h"
#include "shell/player_control.h"

const MediaKey kMediaKeys[kMediaKeyCount] = {
    {0xB3, 14, kMediaPlayPause, "Play/Pause"},
    {0xB2, 13, IDM_STOP, "Stop"},
    {0xB0, 11, IDM_NEXT, "Next Track"},
    {0xB1, 12, IDM_PREVIOUS, "Previous Track"},
    {0, 46, IDM_PLAY, "Play"},
    {0, 47, IDM_PAUSE, "Pause"},
};

namespace {

int Resolve(int command, int playerState) {
    if (command != kMediaPlayPause) return command;
    return playerState == Playing ? IDM_PAUSE : IDM_PLAY;
}

}  // namespace

int MediaHotKeyCommand(int virtualKey, int playerState) {
    for (const MediaKey& k : kMediaKeys)
        if (k.virtualKey && k.virtualKey == virtualKey) return Resolve(k.command, playerState);
    return 0;
}

int MediaAppCommand(int appCommand, int playerState) {
    for (const MediaKey& k : kMediaKeys)
        if (k.appCommand == appCommand) return Resolve(k.command, playerState);
    return 0;
}
