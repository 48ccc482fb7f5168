// HTTP stream: the Internet handles, the pipe and the download thread.
#include "output/http_stream.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output/icy.h"
#include "output/radio.h"
#include "output/stream_titles.h"
#include "platform/pipe.h"
#include "settings/settings.h"

UrlStream g_urlStream;

namespace {

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    for (size_t i = 0; prefix[i]; i++) {
        char c = i < s.size() ? s[i] : '\0';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != prefix[i]) return false;
    }
    return true;
}

// The head of the answer: an error status fails the open with its text;
// a station's name and metadata interval are kept for the thread.
bool TakeResponseHead() {
    const plat::HttpHead* head = plat::HttpResponseHead(g_urlStream.request);
    g_urlStream.metaint = 0;
    g_urlStream.station = 0;
    g_urlStream.stationName[0] = '\0';
    if (!head) return true;
    if (!CheckAnswerStatus(head)) return false;
    g_urlStream.metaint = IcyMetaint(head->Field("icy-metaint"));
    bool icyFields = false;
    for (const auto& f : head->fields) icyFields = icyFields || StartsWithNoCase(f.first, "icy-");
    g_urlStream.station = head->icy || icyFields ? 1 : 0;
    if (const char* name = head->Field("icy-name"))
        std::snprintf(g_urlStream.stationName, sizeof g_urlStream.stationName, "%s", IcyTextToUtf8(name).c_str());
    return true;
}

// Makes title (the station's name when empty) the live title, and tells the
// main window.
void PublishTitle(const std::string& title) {
    SetLiveStreamTitle(g_urlStream.url, title.empty() ? g_urlStream.stationName : title.c_str());
    plat::PostNotice(plat::MainWindow(), kNoticeStreamTitle, 0, 0);
}

// An answer that is a station list (by its Content-Type) is read, and the
// request replaced by one for the list's first entry, whose title becomes
// the URL's listed title. One level: a list naming a list plays no further.
bool FollowStationList(const char* url, const char* headers) {
    const plat::HttpHead* head = plat::HttpResponseHead(g_urlStream.request);
    if (!head || !IsStationList(url, head->Field("Content-Type"))) return true;
    std::vector<StationEntry> entries;
    bool read = ReadStationList(g_urlStream.request, &entries);
    plat::HttpClose(g_urlStream.request);
    g_urlStream.request = nullptr;
    if (!read) return false;
    if (entries.empty()) {
        ShowInternetError("The station list names no stream");
        return false;
    }
    if (!entries[0].title.empty()) SetListedStreamTitle(url, entries[0].title.c_str());
    g_urlStream.request = plat::HttpOpenUrl(g_urlStream.root, entries[0].location.c_str(), headers);
    if (!g_urlStream.request) ShowLastInternetError();
    return g_urlStream.request && TakeResponseHead();
}

void CloseInternetHandles() {
    plat::HttpClose(g_urlStream.request);
    plat::HttpClose(g_urlStream.root);
    g_urlStream.request = nullptr;
    g_urlStream.root = nullptr;
}

// Closes a handle held in an atomic slot, unless someone took it already.
void CloseSlot(std::atomic<plat::File>& slot) {
    plat::File f = slot.exchange(nullptr);
    if (f) plat::FileClose(f);
}

}  // namespace

namespace {

// A Windows device name, whatever follows its first dot: "nul", "COM1.mp3".
bool IsDeviceName(const char* name) {
    std::string stem(name, std::strcspn(name, "."));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool BuildSavePath(const char* dir, const char* name, char* path, size_t size) {
    if (!dir || !name || !path || size == 0) return false;
    path[0] = '\0';
    // The name comes from the server's side of the URL: it must name a file
    // inside dir and nothing else.
    if (!name[0] || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    if (std::strpbrk(name, "\\/:") || IsDeviceName(name)) return false;
    size_t dirLen = std::strlen(dir);
    bool hasSeparator = dirLen > 0 && (dir[dirLen - 1] == '\\' || dir[dirLen - 1] == '/');
    size_t need = dirLen + (hasSeparator ? 0 : 1) + std::strlen(name);
    if (need + 1 > size) return false;
    std::memcpy(path, dir, dirLen);
    size_t at = dirLen;
    if (!hasSeparator) path[at++] = plat::kPathSeparator;
    std::strcpy(path + at, name);
    return true;
}

bool PickFreeSavePath(const char* dir, const char* name, char* path, size_t size) {
    if (!BuildSavePath(dir, name, path, size)) return false;
    const char* dot = std::strrchr(name, '.');
    if (!dot || dot == name) dot = name + std::strlen(name);
    for (int n = 2; plat::FileExists(path); n++) {
        if (n > 9999) return false;
        std::string numbered = std::string(name, dot) + " (" + std::to_string(n) + ")" + dot;
        if (!BuildSavePath(dir, numbered.c_str(), path, size)) return false;
    }
    return true;
}

unsigned DownloadThread(void* arg) {
    const char* name = static_cast<const char*>(arg);
    g_urlStream.stop.store(0);

    if (g_settings.DownloadOption == 1) {
        char path[kSaveNameSize];
        plat::File save = nullptr;
        if (!g_urlStream.saveNameTooLong && PickFreeSavePath(g_settings.InternetDLDir, name, path, sizeof path))
            save = plat::FileCreate(path);
        if (save)
            g_urlStream.saveFile.store(save);
        else
            plat::ShowMessageBox(plat::MainWindow(), kSaveErrorText, kSaveErrorCaption,
                                 plat::MbOk | plat::MbIconWarning);
    }

    IcyDemux demux(g_urlStream.metaint);
    std::vector<std::string> blocks;
    std::string title;  // the latest StreamTitle
    uint8_t buf[kDownloadPiece];
    while (!g_urlStream.stop.load()) {
        plat::ThreadMsg m;
        if (plat::ThreadPeekMessage(&m) && m.msg == plat::kMsgQuit) {
            g_urlStream.stop.store(1);
            break;
        }
        // Whatever has come: a slow station's audio goes on to the decoder
        // at once, and the closer's shutdown ends the wait.
        int got = plat::HttpReadSome(g_urlStream.request, buf, kDownloadPiece);
        if (got <= 0) {  // the end of the body, a failed read, or the closer's shutdown
            if (!g_urlStream.quit.load() && (got < 0 || g_urlStream.station)) g_urlStream.lost.store(1);
            g_urlStream.stop.store(1);
            continue;
        }
        uint32_t audio = static_cast<uint32_t>(demux.Feed(buf, static_cast<size_t>(got), &blocks));
        for (const std::string& block : blocks) {
            std::string t;
            if (TitleOfIcyBlock(block, &t) && t != title) {
                title = t;
                PublishTitle(title);
            }
        }
        blocks.clear();
        if (audio == 0) continue;
        // Blocks while the pipe is full, which paces the download to the
        // decoder. Fails once the decoder has closed its end; not reported.
        plat::PipeWrite(g_urlStream.writeEnd.load(), buf, audio);
        plat::File save = g_urlStream.saveFile.load();
        if (save && plat::FileWrite(save, buf, audio) != static_cast<int>(audio)) {
            CloseSlot(g_urlStream.saveFile);  // keeps what was written
            plat::PostNotice(plat::MainWindow(), kNoticeSaveFailed, 0, 0);
        }
    }

    // The decoder reads what the pipe still holds, then sees the end of data.
    CloseSlot(g_urlStream.writeEnd);
    CloseSlot(g_urlStream.saveFile);
    return 1;
}

plat::File OpenUrlStream(const char* url) {
    g_urlStream.lastCloseForced = 0;
    g_urlStream.root = plat::HttpOpenSession(kHttpUserAgent);
    if (!g_urlStream.root) {
        ShowLastInternetError();
        return nullptr;
    }
    std::string headers = std::string(kHttpAcceptHeader) + kIcyMetadataHeader;
    g_urlStream.request = plat::HttpOpenUrl(g_urlStream.root, url, headers.c_str());
    if (!g_urlStream.request) {
        ShowLastInternetError();
        CloseInternetHandles();
        return nullptr;
    }
    if (!TakeResponseHead() || !FollowStationList(url, headers.c_str())) {
        CloseInternetHandles();
        return nullptr;
    }
    if (!plat::HttpSetStatusCallback(g_urlStream.request)) {
        CloseInternetHandles();
        ShowInternetError(kNoCallbackText);
        return nullptr;
    }

    plat::File readEnd = nullptr, writeEnd = nullptr;
    if (!plat::PipeCreate(&readEnd, &writeEnd, kPipeSize)) {
        CloseInternetHandles();
        ShowInternetError(kNoBufferText);
        return nullptr;
    }
    g_urlStream.readEnd = readEnd;
    g_urlStream.writeEnd.store(writeEnd);

    const char* slash = std::strrchr(url, '/');
    const char* name = slash ? slash + 1 : url;
    size_t nameLen = std::strlen(name);
    g_urlStream.saveNameTooLong = nameLen >= kSaveNameSize;
    if (g_urlStream.saveNameTooLong) nameLen = 0;
    std::memcpy(g_urlStream.saveName, name, nameLen);
    g_urlStream.saveName[nameLen] = '\0';

    std::snprintf(g_urlStream.url, sizeof g_urlStream.url, "%s", url);
    if (g_urlStream.stationName[0]) SetLiveStreamTitle(g_urlStream.url, g_urlStream.stationName);
    g_urlStream.lost.store(0);
    g_urlStream.stop.store(0);
    g_urlStream.quit.store(0);
    g_urlStream.thread = plat::ThreadStart(DownloadThread, g_urlStream.saveName, kDownloadStackSize,
                                           &g_urlStream.threadId);
    if (!g_urlStream.thread) {
        plat::FileClose(readEnd);
        CloseSlot(g_urlStream.writeEnd);
        g_urlStream.readEnd = nullptr;
        g_urlStream.threadId = 0;
        CloseInternetHandles();
        SetLiveStreamTitle(g_urlStream.url, nullptr);
        ShowInternetError(kNoThreadText);
        return nullptr;
    }
    return readEnd;
}

void CloseUrlStream() {
    // The read end is closed already: a download thread blocked on a full
    // pipe has its write fail and comes round to its quit check.
    g_urlStream.readEnd = nullptr;
    bool forced = false, ended = true;
    if (g_urlStream.thread) {
        plat::ThreadPost(g_urlStream.threadId, plat::kMsgQuit, 0, 0);
        g_urlStream.quit.store(1);
        plat::HttpShutdown(g_urlStream.request);
        if (!plat::ThreadWait(g_urlStream.thread, kDownloadQuitWaitMs)) {
            forced = true;
            // Ending a thread is asynchronous (the call waits a while for
            // it); its handles are only taken from it once it is gone.
            ended = plat::ThreadTerminate(g_urlStream.thread, 1);
            if (ended) {
                CloseSlot(g_urlStream.writeEnd);
                CloseSlot(g_urlStream.saveFile);
            }
        }
        plat::ThreadClose(g_urlStream.thread);
        g_urlStream.thread = nullptr;
        g_urlStream.threadId = 0;
    }
    g_urlStream.lastCloseForced = forced ? 1 : 0;
    SetLiveStreamTitle(g_urlStream.url, nullptr);
    g_urlStream.url[0] = '\0';
    if (g_urlStream.lost.exchange(0) && !forced) plat::PostNotice(plat::MainWindow(), kNoticeStreamLost, 0, 0);
    if (ended) {
        CloseInternetHandles();
    } else {
        // A thread that would not end even when told to may still be inside
        // the request: it keeps its handles rather than have them pulled
        // from under it.
        g_urlStream.request = nullptr;
        g_urlStream.root = nullptr;
        g_urlStream.writeEnd.store(nullptr);
        g_urlStream.saveFile.store(nullptr);
    }
}
