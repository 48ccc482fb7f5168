// INI text with the semantics of the Win32 private-profile functions as
// Wine implements them, over text in memory: the POSIX profile functions
// keep their files with it, and the PLS reader of both platforms parses
// playlists with it (after turning their bytes into UTF-8).
//
// - Text is read as lines split at any run of CR and LF; each line is
//   trimmed of blanks (ASCII white space and ^Z) and blank lines vanish. A
//   UTF-8 byte-order mark at the start is passed over (and written back).
// - "[name]" (the last ']' of the line closes it, the rest is ignored) opens
//   a section; the name is trimmed. Lines before the first header belong to
//   an unnamed section.
// - Any other line is a key: the text before the first '=' (trimmed) is the
//   name, the text after it (trimmed) the value. A line without '=' is a key
//   without a value, which reads as missing.
// - Section and key names compare without regard to ASCII case, after the
//   query is trimmed. Only the first section of a name is ever searched, and
//   the first key of a name in it.
// - A value is returned without one pair of enclosing quotes (" or ').
// - Written text is "[name]" headers (none for the unnamed section),
//   "name=value" or the bare name, every line ended by CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace plat {

struct IniKey {
    std::string name;
    std::string value;
    bool hasValue;  // false for a line without '='
};

struct IniSection {
    std::string name;  // empty for the lines before the first header
    std::vector<IniKey> keys;
};

// sections[0] is always the unnamed section.
struct IniFile {
    std::vector<IniSection> sections;
    bool utf8Mark = false;  // the text began with a UTF-8 byte-order mark
};

bool IniIsBlank(char c);
// The bounds [b, e) of s without leading (and, if wanted, trailing) blanks.
void IniTrim(const char*& b, const char*& e, bool trailing = true);
void IniParse(const char* p, const char* end, IniFile* ini);
std::string IniSerialize(const IniFile& ini);
// The first section of that name (trimmed), or nullptr.
IniSection* IniFindSection(IniFile* ini, const char* name);
// The first key of that name (trimmed) in s, or nullptr.
IniKey* IniFindKey(IniSection* s, const char* name);
// The value of the key, or nullptr when the section, the key or its value is
// missing.
const char* IniFindValue(IniFile* ini, const char* section, const char* key);
// Copies value into buf without one pair of enclosing quotes, cut to size-1
// bytes. Returns the length copied. (Wine's function drops one more
// character when the buffer ends exactly at the closing quote; a buffer that
// can hold the text gets all of it here.)
size_t IniCopyEntry(const char* value, char* buf, size_t size);
// GetPrivateProfileIntA over ini: the leading number of the value's first 29
// characters, as RtlUnicodeStringToInteger with base 0 reads it; def when
// the value is missing or empty.
unsigned IniGetInt(IniFile* ini, const char* section, const char* key, int def);

}  // namespace plat
