// Text conversions (see text_codec.h).
#include "platform/text_codec.h"

#include <cstring>

namespace {

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Windows-1252 0x80..0x9F; 0 marks the five unassigned bytes.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

char32_t Utf8Next(const char** p, const char* end) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(*p);
    const unsigned char* e = reinterpret_cast<const unsigned char*>(end);
    const unsigned char b = s[0];
    ++*p;
    if (b < 0x80) return b;
    int more;
    char32_t c, least;
    if (b >= 0xC2 && b <= 0xDF) {
        more = 1, c = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        more = 2, c = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        more = 3, c = b & 0x07, least = 0x10000;
    } else {
        return kReplacementChar;
    }
    if (e - s <= more) return kReplacementChar;
    for (int i = 1; i <= more; ++i) {
        if (!IsContinuation(s[i])) return kReplacementChar;
        c = (c << 6) | (s[i] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacementChar;
    *p += more;
    return c;
}

void AppendUtf8(std::string* out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacementChar;
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool IsValidUtf8(const char* s, size_t n) {
    const char* end = s + n;
    while (s < end) {
        const char* at = s;
        // A real U+FFFD in the text takes three bytes; an invalid byte one.
        if (Utf8Next(&s, end) == kReplacementChar && s - at != 3) return false;
    }
    return true;
}

size_t Utf8Length(const char* s, size_t n) {
    const char* end = s + n;
    size_t count = 0;
    for (; s < end; ++count) Utf8Next(&s, end);
    return count;
}

size_t Utf8CutLength(const char* s, size_t maxBytes, size_t maxChars) {
    const char* end = s + strnlen(s, maxBytes + 4);
    const char* p = s;
    size_t chars = 0;
    while (p < end && chars < maxChars) {
        const char* next = p;
        Utf8Next(&next, end);
        if (static_cast<size_t>(next - s) > maxBytes) break;
        p = next;
        ++chars;
    }
    return static_cast<size_t>(p - s);
}

size_t Utf8CopyCut(char* dst, size_t size, const char* src) {
    if (!dst || size == 0) return 0;
    size_t n = src ? Utf8CutLength(src, size - 1) : 0;
    std::memmove(dst, src, n);
    dst[n] = '\0';
    return n;
}

void BlankControlChars(std::string* s) {
    for (char& c : *s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
}

std::string Latin1ToUtf8(const char* s, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) AppendUtf8(&out, static_cast<unsigned char>(s[i]));
    return out;
}

std::string Utf8ToLatin1(const char* s, size_t n, bool* lost) {
    std::string out;
    bool any = false;
    const char* end = s + n;
    while (s < end) {
        char32_t c = Utf8Next(&s, end);
        if (c > 0xFF) {
            c = '?';
            any = true;
        }
        out.push_back(static_cast<char>(c));
    }
    if (lost) *lost = any;
    return out;
}

bool FitsLatin1(const char* s, size_t n) {
    bool lost = false;
    Utf8ToLatin1(s, n, &lost);
    return !lost;
}

std::string Cp1252ToUtf8(const char* s, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t c = b;
        if (b >= 0x80 && b <= 0x9F && kCp1252High[b - 0x80]) c = kCp1252High[b - 0x80];
        AppendUtf8(&out, c);
    }
    return out;
}

std::string Utf16ToUtf8(const char* s, size_t n, bool bigEndian) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(s);
    auto unit = [&](size_t i) -> char32_t {
        return bigEndian ? (b[2 * i] << 8 | b[2 * i + 1]) : (b[2 * i + 1] << 8 | b[2 * i]);
    };
    const size_t units = n / 2;
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        }
        AppendUtf8(&out, c);  // a lone surrogate becomes U+FFFD
    }
    return out;
}

TextKind DetectTextEncoding(const char* s, size_t n, bool utf8Expected) {
    if (n >= 3 && std::memcmp(s, "\xEF\xBB\xBF", 3) == 0) return {TextEncoding::Utf8, 3};
    if (n >= 2 && std::memcmp(s, "\xFF\xFE", 2) == 0) return {TextEncoding::Utf16Le, 2};
    if (n >= 2 && std::memcmp(s, "\xFE\xFF", 2) == 0) return {TextEncoding::Utf16Be, 2};
    if (utf8Expected || IsValidUtf8(s, n)) return {TextEncoding::Utf8, 0};
    return {TextEncoding::Legacy, 0};
}

std::string TextFileToUtf8(const char* s, size_t n, bool utf8Expected) {
    const TextKind kind = DetectTextEncoding(s, n, utf8Expected);
    s += kind.bomLength;
    n -= kind.bomLength;
    switch (kind.encoding) {
    case TextEncoding::Utf16Le: return Utf16ToUtf8(s, n, false);
    case TextEncoding::Utf16Be: return Utf16ToUtf8(s, n, true);
    case TextEncoding::Legacy: return AnsiToUtf8(s, n);
    case TextEncoding::Utf8: break;
    }
    return std::string(s, n);
}
