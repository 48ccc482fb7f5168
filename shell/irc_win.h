// Announcement of the playing track to an IRC client over DDE.
#pragma once

#ifndef _WIN32
#error "shell/irc_win.h is Win32 only"
#endif

// Formats IRCCommand with song (every "%s" gets it, its control characters
// blanked: the command is one line) and pokes the text into
// the DDE server IRCAppName, topic "command". A missing client is silent;
// the poke waits at most 1000 ms.
void AnnounceToIrc(const char* song);
