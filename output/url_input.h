// The seam between the input source and the HTTP stream: OpenInput hands a
// URL here and reads the returned handle (the read end of a pipe that the
// download thread fills) exactly as it reads a file.
#pragma once

#include "platform/platform.h"

// Opens the URL. Returns the readable handle, or nullptr after telling the
// user why it failed.
plat::File OpenUrlInput(const char* url);
// Ends the download behind the handle that CloseInput has just closed.
void CloseUrlInput();
