// ICY metadata (see icy.h).
#include "output/icy.h"

#include <cstring>

#include "platform/text_codec.h"

namespace {

constexpr uint32_t kMaxMetaint = 1u << 20;

bool IsKeyChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// True when text from at on is only NULs and blanks, or starts a key
// ("Name='").
bool EndsValue(const std::string& text, size_t at) {
    size_t k = at;
    while (k < text.size() && (text[k] == ' ' || text[k] == '\0')) k++;
    if (k == text.size()) return true;
    size_t name = k;
    while (k < text.size() && IsKeyChar(text[k])) k++;
    return k > name && k + 1 < text.size() && text[k] == '=' && text[k + 1] == '\'';
}

}  // namespace

void IcyDemux::Reset(uint32_t metaint) {
    metaint_ = metaint;
    audioLeft_ = metaint;
    metaLeft_ = 0;
    inBlock_ = false;
    text_.clear();
    blockCount_ = 0;
}

size_t IcyDemux::Feed(uint8_t* data, size_t n, std::vector<std::string>* blocks) {
    if (metaint_ == 0) return n;
    size_t out = 0, at = 0;
    while (at < n) {
        if (audioLeft_ > 0) {
            size_t take = n - at < audioLeft_ ? n - at : audioLeft_;
            std::memmove(data + out, data + at, take);
            out += take;
            at += take;
            audioLeft_ -= static_cast<uint32_t>(take);
        } else if (!inBlock_) {
            metaLeft_ = size_t(data[at++]) * 16;
            inBlock_ = true;
            text_.clear();
        } else {
            size_t take = n - at < metaLeft_ ? n - at : metaLeft_;
            text_.append(reinterpret_cast<const char*>(data + at), take);
            at += take;
            metaLeft_ -= take;
        }
        if (inBlock_ && metaLeft_ == 0) {
            inBlock_ = false;
            audioLeft_ = metaint_;
            blockCount_++;
            size_t end = text_.find('\0');
            if (end != std::string::npos) text_.resize(end);
            if (!text_.empty() && blocks) blocks->push_back(text_);
        }
    }
    return out;
}

bool IcyStreamTitle(const std::string& block, std::string* title) {
    static const char kKey[] = "StreamTitle='";
    size_t start = block.find(kKey);
    if (start == std::string::npos) return false;
    start += sizeof kKey - 1;
    size_t end = std::string::npos;
    for (size_t q = block.find('\'', start); q != std::string::npos; q = block.find('\'', q + 1)) {
        if (q + 1 == block.size() || (block[q + 1] == ';' && EndsValue(block, q + 2)) ||
            EndsValue(block, q + 1)) {
            end = q;
            break;
        }
    }
    if (end == std::string::npos) end = block.rfind('\'');
    if (end == std::string::npos || end < start) end = block.size();
    if (title) *title = block.substr(start, end - start);
    return true;
}

std::string IcyTextToUtf8(const std::string& text) {
    std::string out = IsValidUtf8(text.data(), text.size()) ? text : Latin1ToUtf8(text.data(), text.size());
    BlankControlChars(&out);
    return out;
}

uint32_t IcyMetaint(const char* value) {
    if (!value) return 0;
    while (*value == ' ' || *value == '\t') value++;
    uint32_t v = 0;
    const char* p = value;
    for (; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + uint32_t(*p - '0');
        if (v > kMaxMetaint) return 0;
    }
    while (*p == ' ' || *p == '\t') p++;
    return p > value && *p == '\0' ? v : 0;
}
