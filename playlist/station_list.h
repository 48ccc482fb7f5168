// Station lists by URL in the playlist: a URL that answers with a station
// list (output/radio.h tells) adds the list's entries, each with the title
// the list gives it; any other URL is one entry.
//
// A window's thread does not wait for the network: once the window is
// given (StationListsOffThread), each URL is fetched and its list parsed by
// one worker thread, in the order they were opened (a second open while
// one is in flight waits behind it), and the worker posts the result to the
// window, whose thread adds the entries (PlaylistTakeFetchedList). A list
// named inside a fetched list is fetched in its turn, so its entries come
// after those of the list that names it. At most kStationListMaxFetches
// lists are fetched in one go, until the worker has nothing more to do.
#pragma once

#include <cstdint>

// The notice the worker posts to the window: lParam is the fetch, for
// PlaylistTakeFetchedList.
constexpr unsigned kNoticeStationList = 0x8213;
constexpr int kStationListMaxFetches = 256;

// Opens url (with the player's request). A station list adds its entries
// through PlaylistOpenItem (kOpenUrl), one level deeper; anything else is
// added as one entry, and with learnTitle its listed title becomes the
// station's icy-name or, failing that, the first StreamTitle of its stream.
// Returns 1; 0 after a message box when the URL cannot be fetched or
// answers with an error status. With a window given the fetch is queued
// instead, and 0 means it could not be ("Error Loading Playlist: %s" is for
// the caller to show, then as later when the fetch fails).
int PlaylistOpenStationUrl(const char* url, bool learnTitle);

// With a window: fetches go to the worker from now on. With nullptr (the
// window's destroy): the queued fetches are dropped, the one in flight is
// cut (its connection shut down; a worker still waiting for an answer is
// ended by force after a second) and the results not yet taken are freed,
// all within 4 s; fetches are made on the calling thread again.
void StationListsOffThread(void* window);
// Drops the fetches queued or in flight (the playlist is being replaced):
// their results are not added.
void DropStationListFetches();
// On the window's thread, for kNoticeStationList: adds the fetched entries,
// or shows why the fetch failed and "Error Loading Playlist: %s". 0 when
// fetch is no result of ours (any more).
int PlaylistTakeFetchedList(intptr_t fetch);
