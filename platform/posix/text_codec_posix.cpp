// The system's side of the text conversions on POSIX: strings are UTF-8,
// and text of the former code page is Windows-1252.
#include "platform/text_codec.h"

bool TextIsUtf8() { return true; }

unsigned LegacyCodePage() { return 1252; }

std::string AnsiToUtf8(const char* s, size_t n) { return Cp1252ToUtf8(s, n); }
