// Internet radio, the stream side: what a URL's answer is (a stream or a
// station list), the entries and titles of station lists, and a stream's
// first title. The live and listed titles themselves are kept by
// stream_titles.h; the playlist adds a list's entries (station_list.h).
//
// A station list is a PLS or M3U playlist of streams. An answer is one when
// its Content-Type says so (audio/x-scpls, audio/x-mpegurl and their kin),
// or, when its Content-Type names no audio type, when the URL's path ends in
// ".pls", ".m3u" or ".m3u8" (any case): one rule for the playlist's open and
// for the stream's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/http.h"

struct StationEntry {
    std::string location;  // resolved against the list's URL by ReadStationList
    std::string title;     // UTF-8; "" when the list gives none
};

// The entries of a PLS text (a "[playlist]" section: FileN, TitleN, in the
// order of N) or else of an M3U text (one location a line, "#EXTINF:len,title"
// before it). Titles in Latin-1 are converted to UTF-8.
std::vector<StationEntry> ParseStationList(const std::string& text);
// The two halves of the rule, and the rule.
bool IsStationListType(const char* contentType);
bool HasStationListExtension(const char* url);
bool IsStationList(const char* url, const char* contentType);

// The message box of the Internet functions ("Internet Error").
void ShowInternetError(const char* text);
// The same with the client's last response text.
void ShowLastInternetError();
// The status text of an answer that is an error; "" for one that is none
// (2xx, or an answer without a status line).
std::string AnswerStatusText(const plat::HttpHead* head);
// True for an answer that is no error; else its status text is shown and
// false returned.
bool CheckAnswerStatus(const plat::HttpHead* head);

// The body of an open request, up to max bytes. False when the transfer
// failed or the body is longer.
bool ReadWholeBody(plat::Http request, size_t max, std::string* body);
// The entries of the station list an open request answers with, resolved
// against the URL the answer came from. False when the body cannot be read
// whole: after the message, or with its text in *error when error is given
// (a thread that shows no windows).
bool ReadStationList(plat::Http request, std::vector<StationEntry>* entries, std::string* error = nullptr);

// A StreamTitle in a metadata block, as UTF-8: false when the block holds
// none.
bool TitleOfIcyBlock(const std::string& block, std::string* title);
// The title to list for an open stream: its icy-name, else the first
// StreamTitle within its first MB; "" when there is neither.
std::string StreamListedTitle(plat::Http request);
