// The media keys' table: hot keys (by virtual key) and application commands
// onto the commands of the skin's buttons.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "shell/media_keys.h"
#include "shell/player_control.h"

TEST(MediaKeys, KeysAndAppCommandsGiveTheButtonsCommands) {
    const struct {
        bool hotKey;
        int code, state, command;
    } cases[] = {
        {true, 0xB3, Playing, IDM_PAUSE}, {true, 0xB3, Paused, IDM_PLAY},   {true, 0xB3, Stopped, IDM_PLAY},
        {true, 0xB2, Playing, IDM_STOP},  {true, 0xB0, Paused, IDM_NEXT},   {true, 0xB1, Stopped, IDM_PREVIOUS},
        {true, 0, Playing, 0},            {true, 'P', Playing, 0},          {false, 14, Playing, IDM_PAUSE},
        {false, 14, Stopped, IDM_PLAY},   {false, 46, Paused, IDM_PLAY},    {false, 47, Playing, IDM_PAUSE},
        {false, 13, Paused, IDM_STOP},    {false, 11, Playing, IDM_NEXT},   {false, 12, Playing, IDM_PREVIOUS},
        {false, 8, Playing, 0},           {false, 0, Playing, 0},  // 8: volume mute
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.hotKey ? MediaHotKeyCommand(c.code, c.state) : MediaAppCommand(c.code, c.state), c.command)
            << (c.hotKey ? "key " : "app command ") << c.code << " in state " << c.state;
}
