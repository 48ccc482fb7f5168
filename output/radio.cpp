// Internet radio, the stream side (see radio.h).
#include "output/radio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "output/http_stream.h"
#include "output/icy.h"
#include "platform/platform.h"

namespace {

// A station list larger than this is no station list.
constexpr size_t kMaxListSize = 1 << 20;
// Looking for a stream's first StreamTitle reads at most this much of it.
constexpr size_t kMaxTitleSearch = 1 << 20;
// A response text: up to 1024 characters.
constexpr size_t kResponseTextSize = 1025;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string LowerText(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = Lower(c);
    return out;
}

std::string TrimLine(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) b++;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) e--;
    return s.substr(b, e - b);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (at <= text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(TrimLine(text.substr(at, end - at)));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') end++;
        at = end + 1;
    }
    return lines;
}

// "FileN=value" or "TitleN=value": N, or 0 when line is not that key.
int NumberedKey(const std::string& line, const char* key, std::string* value) {
    size_t k = std::strlen(key);
    if (LowerText(line.substr(0, k)) != key) return 0;
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == k) return 0;
    std::string digits = TrimLine(line.substr(k, eq - k));
    if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    *value = TrimLine(line.substr(eq + 1));
    return std::atoi(digits.c_str());
}

}  // namespace

std::vector<StationEntry> ParseStationList(const std::string& text) {
    std::vector<StationEntry> out;
    std::vector<std::string> lines = Lines(text);
    bool pls = false;
    for (const std::string& l : lines) pls = pls || LowerText(l) == "[playlist]";
    if (pls) {
        std::map<int, StationEntry> byNumber;
        for (const std::string& l : lines) {
            std::string value;
            if (int n = NumberedKey(l, "file", &value)) byNumber[n].location = value;
            if (int n = NumberedKey(l, "title", &value)) byNumber[n].title = IcyTextToUtf8(value);
        }
        for (auto& e : byNumber)
            if (!e.second.location.empty()) out.push_back(e.second);
        return out;
    }
    std::string title;
    for (const std::string& l : lines) {
        if (l.empty()) continue;
        if (l[0] == '#') {
            if (LowerText(l.substr(0, 8)) == "#extinf:") {
                size_t comma = l.find(',');
                title = comma == std::string::npos ? "" : IcyTextToUtf8(TrimLine(l.substr(comma + 1)));
            }
            continue;
        }
        out.push_back(StationEntry{l, title});
        title.clear();
    }
    return out;
}

bool IsStationListType(const char* contentType) {
    if (!contentType) return false;
    std::string t = LowerText(contentType);
    t = TrimLine(t.substr(0, t.find(';')));
    for (const char* k : {"audio/x-scpls", "audio/scpls", "application/pls+xml", "audio/x-mpegurl", "audio/mpegurl",
                          "application/x-mpegurl", "application/vnd.apple.mpegurl"})
        if (t == k) return true;
    return false;
}

bool HasStationListExtension(const char* url) {
    if (!url) return false;
    std::string u = url;
    size_t sep = u.find("://");
    if (sep != std::string::npos) {
        size_t path = u.find_first_of("/?#", sep + 3);  // the host is not the name
        if (path == std::string::npos || u[path] != '/') return false;
        u = u.substr(path, u.find_first_of("?#", path) - path);
    }
    u = LowerText(u);
    for (const char* ext : {".pls", ".m3u", ".m3u8"}) {
        size_t e = std::strlen(ext);
        if (u.size() > e && u.compare(u.size() - e, e, ext) == 0) return true;
    }
    return false;
}

bool IsStationList(const char* url, const char* contentType) {
    if (IsStationListType(contentType)) return true;
    if (contentType) {
        std::string t = LowerText(contentType);
        if (t.compare(0, 6, "audio/") == 0) return false;  // a stream, whatever its name
    }
    return HasStationListExtension(url);
}

bool ReadWholeBody(plat::Http request, size_t max, std::string* body) {
    body->clear();
    char buf[kDownloadPiece];
    for (;;) {
        int got = plat::HttpRead(request, buf, sizeof buf);
        if (got < 0) return false;
        if (got == 0) return true;
        body->append(buf, static_cast<size_t>(got));
        if (body->size() > max) return false;
    }
}

bool ReadStationList(plat::Http request, std::vector<StationEntry>* entries, std::string* error) {
    entries->clear();
    std::string body;
    if (!ReadWholeBody(request, kMaxListSize, &body)) {
        if (error)
            *error = kConnectionLostText;
        else
            ShowInternetError(kConnectionLostText);
        return false;
    }
    const std::string base = plat::HttpFinalUrl(request);
    *entries = ParseStationList(body);
    for (StationEntry& e : *entries) e.location = plat::ResolveUrl(base, e.location);
    return true;
}

void ShowInternetError(const char* text) {
    plat::ShowMessageBox(plat::MainWindow(), text, kInternetErrorCaption, plat::MbOk);
}

void ShowLastInternetError() {
    char text[kResponseTextSize];
    plat::HttpLastResponseText(text, sizeof text);
    ShowInternetError(text);
}

std::string AnswerStatusText(const plat::HttpHead* head) {
    if (!head || head->status == 0 || head->status / 100 == 2) return "";
    char text[kResponseTextSize];
    if (head->reason.empty())
        std::snprintf(text, sizeof text, "The server answered with status %d", head->status);
    else
        std::snprintf(text, sizeof text, "%s", head->reason.c_str());
    return text;
}

bool CheckAnswerStatus(const plat::HttpHead* head) {
    const std::string text = AnswerStatusText(head);
    if (!text.empty()) ShowInternetError(text.c_str());
    return text.empty();
}

bool TitleOfIcyBlock(const std::string& block, std::string* title) {
    std::string t;
    if (!IcyStreamTitle(block, &t)) return false;
    *title = IcyTextToUtf8(t);
    return true;
}

std::string StreamListedTitle(plat::Http request) {
    const plat::HttpHead* head = plat::HttpResponseHead(request);
    if (!head) return "";
    if (const char* name = head->Field("icy-name"))
        if (*name) return IcyTextToUtf8(name);
    IcyDemux demux(IcyMetaint(head->Field("icy-metaint")));
    std::vector<std::string> blocks;
    uint8_t buf[kDownloadPiece];
    size_t read = 0;
    while (read < kMaxTitleSearch && head->Field("icy-metaint")) {
        int got = plat::HttpRead(request, buf, sizeof buf);
        if (got <= 0) break;
        read += static_cast<size_t>(got);
        demux.Feed(buf, static_cast<size_t>(got), &blocks);
        for (const std::string& b : blocks) {
            std::string t;
            if (TitleOfIcyBlock(b, &t) && !t.empty()) return t;
        }
        blocks.clear();
    }
    return "";
}
