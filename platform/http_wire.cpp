// HTTP heads, URLs and chunked bodies (see http_wire.h).
#include "platform/http_wire.h"

#include <cstring>

namespace plat {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameNoCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; i++)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string Trim(const char* begin, const char* end) {
    while (begin < end && (*begin == ' ' || *begin == '\t')) begin++;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r')) end--;
    return std::string(begin, end);
}

bool StartsWith(const char* data, size_t n, const char* prefix) {
    size_t k = std::strlen(prefix);
    return n >= k && std::memcmp(data, prefix, k) == 0;
}

// "<code> <reason>" at p: the code into *status, the text into *reason.
bool ParseCodeAndReason(const char* p, const char* end, int* status, std::string* reason) {
    while (p < end && *p == ' ') p++;
    const char* start = p;
    int code = 0, digits = 0;
    for (; p < end && *p >= '0' && *p <= '9' && digits < 3; p++, digits++) code = code * 10 + (*p - '0');
    if (digits != 3 || (p < end && *p != ' ' && *p != '\r')) return false;
    *status = code;
    *reason = Trim(start, end);
    return true;
}

int DefaultPort(const std::string& scheme) {
    if (scheme == "http") return 80;
    if (scheme == "https") return 443;
    if (scheme == "ftp") return 21;
    return 0;
}

}  // namespace

const char* HttpHead::Field(const char* name) const {
    for (const auto& f : fields)
        if (SameNoCase(f.first, name)) return f.second.c_str();
    return nullptr;
}

size_t FindHeadEnd(const char* data, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (data[i] != '\n') continue;
        if (i + 1 < n && data[i + 1] == '\n') return i + 2;
        if (i + 2 < n && data[i + 1] == '\r' && data[i + 2] == '\n') return i + 3;
    }
    return 0;
}

bool LacksStatusLine(const char* data, size_t n) {
    const char* forms[] = {"HTTP/", "ICY "};
    for (const char* f : forms) {
        size_t k = std::strlen(f);
        size_t m = n < k ? n : k;
        if (std::memcmp(data, f, m) == 0) return false;
    }
    return n > 0;
}

bool ParseHttpHead(const char* data, size_t n, HttpHead* head) {
    *head = HttpHead{};
    const char* end = data + n;
    const char* eol = static_cast<const char*>(std::memchr(data, '\n', n));
    const char* lineEnd = eol ? eol : end;
    const char* p = data;
    if (StartsWith(data, n, "ICY ")) {
        head->icy = true;
        p += 4;
    } else if (StartsWith(data, n, "HTTP/")) {
        p = static_cast<const char*>(std::memchr(data, ' ', static_cast<size_t>(lineEnd - data)));
        if (!p) return false;
    } else {
        return false;
    }
    if (!ParseCodeAndReason(p, lineEnd, &head->status, &head->reason)) return false;
    for (p = eol ? eol + 1 : end; p < end;) {
        const char* e = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* le = e ? e : end;
        const char* colon = static_cast<const char*>(std::memchr(p, ':', static_cast<size_t>(le - p)));
        if (Trim(p, le).empty()) break;  // the blank line
        if (colon) head->fields.emplace_back(Trim(p, colon), Trim(colon + 1, le));
        p = e ? e + 1 : end;
    }
    return true;
}

bool IsChunkedCoding(const char* te) {
    if (!te) return false;
    const char* last = std::strrchr(te, ',');
    std::string token = Trim(last ? last + 1 : te, te + std::strlen(te));
    return SameNoCase(token, "chunked");
}

bool HasControlBytes(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

std::string RequestTarget(const std::string& target) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : target) {
        auto b = static_cast<unsigned char>(c);
        if (b == ' ' || b >= 0x80) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

bool IsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool SplitUrl(const std::string& url, UrlParts* out) {
    *out = UrlParts{};
    size_t sep = url.find("://");
    if (sep == std::string::npos || sep == 0) return false;
    for (size_t i = 0; i < sep; i++) out->scheme += Lower(url[i]);
    size_t hostStart = sep + 3;
    size_t pathStart = url.find_first_of("/?#", hostStart);
    if (pathStart == std::string::npos) pathStart = url.size();
    std::string authority = url.substr(hostStart, pathStart - hostStart);
    size_t at = authority.rfind('@');  // user information is not sent
    if (at != std::string::npos) authority.erase(0, at + 1);
    std::string portText;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        out->host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') return false;
            portText = authority.substr(close + 2);
        }
    } else {
        size_t colon = authority.find(':');
        out->host = authority.substr(0, colon);
        if (colon != std::string::npos) portText = authority.substr(colon + 1);
    }
    if (out->host.empty()) return false;
    out->port = DefaultPort(out->scheme);
    if (!portText.empty()) {
        long v = 0;
        for (char c : portText) {
            if (c < '0' || c > '9' || v > 65535) return false;
            v = v * 10 + (c - '0');
        }
        out->port = static_cast<int>(v);
    }
    if (out->port <= 0 || out->port > 65535) return false;
    size_t fragment = url.find('#', pathStart);
    out->target = url.substr(pathStart, fragment == std::string::npos ? std::string::npos : fragment - pathStart);
    if (out->target.empty() || out->target[0] != '/') out->target.insert(0, "/");
    return true;
}

std::string ResolveUrl(const std::string& base, const std::string& ref) {
    size_t colon = ref.find(':');
    size_t slash = ref.find('/');
    if (colon != std::string::npos && colon > 0 && (slash == std::string::npos || colon < slash) &&
        ref.compare(colon, 3, "://") == 0)
        return ref;
    size_t sep = base.find("://");
    if (sep == std::string::npos) return ref;
    if (ref.compare(0, 2, "//") == 0) return base.substr(0, sep + 1) + ref;
    size_t pathStart = base.find_first_of("/?#", sep + 3);
    std::string origin = base.substr(0, pathStart);
    if (!ref.empty() && ref[0] == '/') return origin + ref;
    std::string path = pathStart == std::string::npos ? "" : base.substr(pathStart);
    size_t query = path.find_first_of("?#");
    if (query != std::string::npos) path.resize(query);
    if (path.empty()) path = "/";  // "http://h:1?x": the path is the root
    if (ref.empty()) return origin + path;
    if (ref[0] == '?') return origin + path + ref;
    return origin + path.substr(0, path.rfind('/') + 1) + ref;
}

size_t ChunkedDecoder::Feed(char* data, size_t n) {
    size_t out = 0;
    for (size_t i = 0; i < n && state_ != kDone && state_ != kBad; i++) {
        char c = data[i];
        switch (state_) {
        case kSize: {
            int digit = (c >= '0' && c <= '9') ? c - '0' : (Lower(c) >= 'a' && Lower(c) <= 'f') ? Lower(c) - 'a' + 10 : -1;
            if (digit >= 0) {
                if (left_ >> 56) {
                    state_ = kBad;
                    break;
                }
                left_ = left_ * 16 + static_cast<uint64_t>(digit);
                anyDigit_ = true;
            } else if (!anyDigit_) {
                state_ = kBad;
            } else if (c == '\r') {
                state_ = kSizeLf;
            } else if (c == '\n') {
                state_ = left_ ? kData : kTrailer;
            } else {
                state_ = kExtension;  // ";name=value" or blanks, passed over
            }
            break;
        }
        case kExtension:
            if (c == '\n') state_ = left_ ? kData : kTrailer;
            break;
        case kSizeLf:
            state_ = c == '\n' ? (left_ ? kData : kTrailer) : kBad;
            break;
        case kData: {
            size_t take = n - i < left_ ? n - i : static_cast<size_t>(left_);
            std::memmove(data + out, data + i, take);
            out += take;
            left_ -= take;
            i += take - 1;
            if (left_ == 0) state_ = kDataCr;
            break;
        }
        case kDataCr:
            state_ = c == '\r' ? kDataLf : c == '\n' ? kSize : kBad;
            anyDigit_ = false;
            break;
        case kDataLf:
            state_ = c == '\n' ? kSize : kBad;
            anyDigit_ = false;
            break;
        case kTrailer:
            if (c == '\n') {
                if (trailerLineEmpty_) state_ = kDone;
                trailerLineEmpty_ = true;
            } else if (c != '\r') {
                trailerLineEmpty_ = false;
            }
            break;
        default: break;
        }
    }
    return out;
}

}  // namespace plat
