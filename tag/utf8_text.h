// UTF-8 text as the tag readers hand it out: appending code points, turning
// Latin-1 bytes into UTF-8, telling valid UTF-8 from anything else, and
// cutting a text to a byte width without splitting a character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Appends code point cp (at most U+10FFFF, no surrogate) as UTF-8.
void AppendUtf8(std::string* out, uint32_t cp);
// Each byte of [p, p + n) as the Latin-1 (ISO/IEC 8859-1) character it is.
std::string Latin1ToUtf8(const uint8_t* p, size_t n);
// Whether [p, p + n) is well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut short.
bool IsValidUtf8(const uint8_t* p, size_t n);
// The length of the longest start of the terminated text s that fits
// maxBytes bytes and ends on a character boundary (s is taken as UTF-8).
size_t Utf8CutLength(const char* s, size_t maxBytes);
// Copies s into dst (size bytes), cut by Utf8CutLength to size - 1 bytes,
// and terminates it.
void CopyUtf8Cut(char* dst, size_t size, const char* s);
