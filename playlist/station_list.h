// Station lists by URL in the playlist: a URL that answers with a station
// list (output/radio.h tells) adds the list's entries, each with the title
// the list gives it; any other URL is one entry.
#pragma once

// Opens url (with the player's request). A station list adds its entries
// through PlaylistOpenItem (kOpenUrl), one level deeper; anything else is
// added as one entry, and with learnTitle its listed title becomes the
// station's icy-name or, failing that, the first StreamTitle of its stream.
// Returns 1; 0 after a message box when the URL cannot be fetched or
// answers with an error status.
int PlaylistOpenStationUrl(const char* url, bool learnTitle);
