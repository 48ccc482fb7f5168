// Titles of URL entries, which have no tags: the title a station list gave
// the URL, and the live title of the stream being played (the station's
// icy-name until the first StreamTitle, then the latest StreamTitle). The
// name shown for a URL is the live title while there is one, else the
// listed title. Titles are kept whole, with their control characters
// blanked (a title is one line); a copy out is cut on a character boundary.
// Any thread may call these; one lock guards the table.
#pragma once

#include <cstddef>

// Records the title a station list gives url ("" forgets it).
void SetListedStreamTitle(const char* url, const char* title);
// Sets or ("" or nullptr) clears the live title of url.
void SetLiveStreamTitle(const char* url, const char* title);
// Copies the title shown for url (cut to size-1 bytes on a character
// boundary, terminated). False,
// with out untouched, when url has none.
bool GetStreamTitle(const char* url, char* out, size_t size);
// Forgets every title.
void ClearStreamTitles();
