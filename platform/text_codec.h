// Text conversions between the encodings the player meets: UTF-8, which the
// program uses for every string inside; Latin-1, the encoding of ID3v1
// texts; the former ANSI code page of Windows (Windows-1252 in the West), in
// which older playlist files were written; and UTF-16, the "Unicode" text
// files of Windows editors. Portable and free of state, but for the three
// functions at the end, which ask the system (text_codec_win.cpp,
// text_codec_posix.cpp).
//
// Invalid UTF-8 input is never rejected: each byte that does not start a
// well-formed sequence (overlong forms, surrogates and code points above
// U+10FFFF included) stands for one character U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr char32_t kReplacementChar = 0xFFFD;

// Decodes the character at *p (p < end) and moves *p past it; an invalid
// byte yields kReplacementChar and moves one byte.
char32_t Utf8Next(const char** p, const char* end);
// Appends code point c (kReplacementChar for a surrogate or a value above
// U+10FFFF) as UTF-8.
void AppendUtf8(std::string* out, char32_t c);
// True when all n bytes form well-formed UTF-8.
bool IsValidUtf8(const char* s, size_t n);
// The number of characters in n bytes of UTF-8 (an invalid byte counts one).
size_t Utf8Length(const char* s, size_t n);
// The length of the longest head of s (terminated) that takes at most
// maxBytes bytes and at most maxChars characters without splitting one.
size_t Utf8CutLength(const char* s, size_t maxBytes, size_t maxChars = SIZE_MAX);
// Copies src into dst (size bytes) cut on a character boundary to at most
// size - 1 bytes, and terminates it. Returns the bytes copied.
size_t Utf8CopyCut(char* dst, size_t size, const char* src);

// Turns each control character (below U+0020, and DEL) into a space: texts
// from files and stations are shown in lines, and written as lines of
// key=value, which a line break or a tab inside a text would forge.
void BlankControlChars(std::string* s);

// Each byte is the code point of the same value.
std::string Latin1ToUtf8(const char* s, size_t n);
// Characters above U+00FF (and invalid bytes) become '?'; *lost, when given,
// is set to whether any did.
std::string Utf8ToLatin1(const char* s, size_t n, bool* lost = nullptr);
// True when every character of s fits Latin-1.
bool FitsLatin1(const char* s, size_t n);
// Windows-1252: Latin-1 with typographic characters in 0x80..0x9F; the five
// bytes that code page leaves unassigned keep their Latin-1 (control) value,
// as the system's conversion maps them.
std::string Cp1252ToUtf8(const char* s, size_t n);
// UTF-16 code units from n bytes (a trailing odd byte is ignored), little- or
// big-endian; an unpaired surrogate becomes kReplacementChar.
std::string Utf16ToUtf8(const char* s, size_t n, bool bigEndian);

// What the bytes of a text file are in.
enum class TextEncoding { Utf8, Utf16Le, Utf16Be, Legacy };
struct TextKind {
    TextEncoding encoding;
    size_t bomLength;  // the byte-order mark at the start, 0 when none
};
// A byte-order mark decides; without one the text is UTF-8 when utf8Expected
// (an .m3u8 file) or when it is valid UTF-8 (plain ASCII is), else it is in
// the former ANSI code page.
TextKind DetectTextEncoding(const char* s, size_t n, bool utf8Expected);

// ------------------------------------------------- what the system says

// True when the program's 8-bit strings are UTF-8: always on POSIX; on
// Windows when the process runs with UTF-8 as its active code page (the
// manifest asks for it; Windows 10 1903 and later grant it). When false, the
// strings are in the ANSI code page, as they always were, and the
// conversions to UTF-8 below are left out.
bool TextIsUtf8();
// The code page of 8-bit text written before UTF-8: on Windows the system's
// ANSI code page as the registry keeps it (Nls\CodePage\ACP: the process's
// own code page is UTF-8), 1252 when it cannot be read; on POSIX 1252.
unsigned LegacyCodePage();
// Text in LegacyCodePage() as the program's strings: UTF-8, or the bytes
// unchanged when TextIsUtf8() is false.
std::string AnsiToUtf8(const char* s, size_t n);

// A whole text file's bytes as the program's strings, by
// DetectTextEncoding (the byte-order mark dropped).
std::string TextFileToUtf8(const char* s, size_t n, bool utf8Expected);
