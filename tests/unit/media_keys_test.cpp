// The media keys' table: hot keys and application commands onto the
// commands of the skin's buttons.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "shell/media_keys.h"
#include "shell/player_control.h"

TEST(MediaKeys, KeysAndAppCommandsGiveTheButtonsCommands) {
    enum Kind { kHotKey, kAppCommand };
    const struct {
        Kind kind;
        int code;
        int state;
        int command;
    } cases[] = {
        {kHotKey, 0xB3, Playing, IDM_PAUSE},     {kHotKey, 0xB3, Paused, IDM_PLAY},
        {kHotKey, 0xB3, Stopped, IDM_PLAY},      {kHotKey, 0xB2, Playing, IDM_STOP},
        {kHotKey, 0xB0, Paused, IDM_NEXT},       {kHotKey, 0xB1, Stopped, IDM_PREVIOUS},
        {kHotKey, 0, Playing, 0},                {kHotKey, 'P', Playing, 0},
        {kAppCommand, 14, Playing, IDM_PAUSE},   {kAppCommand, 14, Stopped, IDM_PLAY},
        {kAppCommand, 46, Paused, IDM_PLAY},     {kAppCommand, 47, Playing, IDM_PAUSE},
        {kAppCommand, 13, Paused, IDM_STOP},     {kAppCommand, 11, Playing, IDM_NEXT},
        {kAppCommand, 12, Playing, IDM_PREVIOUS}, {kAppCommand, 8, Playing, 0},  // volume mute
        {kAppCommand, 0, Playing, 0},
    };
    for (const auto& c : cases) {
        const int got = c.kind == kHotKey ? MediaHotKeyCommand(c.code, c.state) : MediaAppCommand(c.code, c.state);
        EXPECT_EQ(got, c.command) << (c.kind == kHotKey ? "key " : "app command ") << c.code << " state " << c.state;
    }
}
