// UTF-8 text for the tag readers (see utf8_text.h).
#include "tag/utf8_text.h"

#include <cstring>

void AppendUtf8(std::string* out, uint32_t cp) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string Latin1ToUtf8(const uint8_t* p, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) AppendUtf8(&out, p[i]);
    return out;
}

bool IsValidUtf8(const uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        uint8_t b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int more;
        uint32_t cp, least;
        if ((b & 0xE0) == 0xC0) {
            more = 1, cp = b & 0x1F, least = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            more = 2, cp = b & 0x0F, least = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            more = 3, cp = b & 0x07, least = 0x10000;
        } else {
            return false;  // a continuation byte first, or 0xF8..0xFF
        }
        if (n - i <= static_cast<size_t>(more)) return false;
        for (int k = 1; k <= more; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

size_t Utf8CutLength(const char* s, size_t maxBytes) {
    size_t n = strnlen(s, maxBytes + 1);
    if (n <= maxBytes) return n;
    n = maxBytes;
    // s[n] is the first byte left out: when it continues a character, that
    // character started before n and goes too.
    while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
    return n;
}

void CopyUtf8Cut(char* dst, size_t size, const char* s) {
    if (size == 0) return;
    size_t n = Utf8CutLength(s, size - 1);
    std::memmove(dst, s, n);
    dst[n] = '\0';
}
