// The media keys: Play/Pause, Stop, Next and Previous track, as global hot
// keys (WM_HOTKEY, by virtual key) and as application commands
// (WM_APPCOMMAND, which also carries Play and Pause alone). One table maps
// both onto the main window's command ids, the ones its skin buttons send.
// Portable: the codes are the Win32 values, checked against the system's
// headers where those exist (shell/media_keys_win.cpp).
#pragma once

struct MediaKey {
    int virtualKey;  // VK_MEDIA_*, 0: an application command alone
    int appCommand;  // APPCOMMAND_MEDIA_*
    int command;     // IDM_*, or kMediaPlayPause
    const char* name;
};

// The command of the play/pause key: Pause while playing, else Play.
constexpr int kMediaPlayPause = -1;
constexpr int kMediaKeyCount = 6;
extern const MediaKey kMediaKeys[kMediaKeyCount];

// The command id for a hot key's virtual key or an application command
// (0 when the code is no media key), given the PlayerState value now.
int MediaHotKeyCommand(int virtualKey, int playerState);
int MediaAppCommand(int appCommand, int playerState);
