// Station lists: PLS and M3U playlists of internet radio streams, fetched
// by URL, with the titles they give their entries. A URL is a station list
// when its path ends in ".pls", ".m3u" or ".m3u8" (any case) or when its
// answer's Content-Type says so (audio/x-scpls, audio/x-mpegurl and their
// kin). Entries that are URLs are added as written, others are resolved
// against the list's URL; a title becomes the entry's listed title
// (stream_titles.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/http.h"

struct StationEntry {
    std::string location;  // as the list writes it
    std::string title;     // UTF-8; "" when the list gives none
};

// The entries of a PLS text (a "[playlist]" section: FileN, TitleN, in the
// order of N) or else of an M3U text (one location a line, "#EXTINF:len,title"
// before it). Titles in Latin-1 are converted to UTF-8.
std::vector<StationEntry> ParseStationList(const std::string& text);
bool IsStationListType(const char* contentType);
bool HasStationListExtension(const char* url);

// The body of an open request, up to max bytes. False when the transfer
// failed or the body is longer.
bool ReadWholeBody(plat::Http request, size_t max, std::string* body);

// Opens url (with the player's request). A station list adds its entries
// through PlaylistOpenItem (kOpenUrl for URLs), one level deeper; anything
// else is added as one entry, and with learnTitle its listed title becomes
// the station's icy-name or, failing that, the first StreamTitle of its
// stream. Returns 1; 0 after a message box when the URL cannot be fetched or
// answers with an error status.
int PlaylistOpenStationUrl(const char* url, bool learnTitle);
