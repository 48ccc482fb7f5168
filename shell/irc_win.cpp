// Placeholder: the IRC announcement is being written.
#include "shell/irc_win.h"

void AnnounceToIrc(const char*) {}
