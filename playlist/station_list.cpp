// Station lists by URL in the playlist (see station_list.h).
#include "playlist/station_list.h"

#include <string>
#include <vector>

#include "output/http_stream.h"
#include "output/radio.h"
#include "output/stream_titles.h"
#include "playlist/playlist.h"
#include "playlist/playlist_files.h"

int PlaylistOpenStationUrl(const char* url, bool learnTitle) {
    if (!url) return 0;
    plat::Http session = plat::HttpOpenSession(kHttpUserAgent);
    std::string headers = std::string(kHttpAcceptHeader) + kIcyMetadataHeader;
    plat::Http request = session ? plat::HttpOpenUrl(session, url, headers.c_str()) : nullptr;
    const plat::HttpHead* head = plat::HttpResponseHead(request);
    int result = 1;
    std::vector<StationEntry> entries;
    if (!request) {
        ShowLastInternetError();
        result = 0;
    } else if (!CheckAnswerStatus(head)) {
        result = 0;
    } else if (IsStationList(url, head ? head->Field("Content-Type") : nullptr)) {
        if (ReadStationList(request, &entries)) {
            plat::HttpClose(request);
            request = nullptr;
            for (const StationEntry& e : entries) {
                if (!e.title.empty()) SetListedStreamTitle(e.location.c_str(), e.title.c_str());
                PlaylistOpenItem(kOpenUrl, e.location.c_str());
            }
        } else {
            result = 0;
        }
    } else {
        PlaylistAdd(url);
        if (learnTitle) {
            std::string title = StreamListedTitle(request);
            if (!title.empty()) SetListedStreamTitle(url, title.c_str());
        }
    }
    plat::HttpClose(request);
    plat::HttpClose(session);
    return result;
}
