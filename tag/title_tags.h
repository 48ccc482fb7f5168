// The texts the program shows for a file (the playlist entries, the LED
// display, the IRC announcement, the playlist editor, vorlo-decode): from
// its ID3v2 tags when they give a title or an artist, else from its ID3v1
// tag, else none (the caller then shows the file's name).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tag/id3v1.h"
#include "tag/id3v2.h"

enum TitleSource : int32_t {
    kTitleNone = 0,   // no tag: the texts are empty
    kTitleId3v1 = 1,  // the ID3v1 tag's texts
    kTitleId3v2 = 2,  // the ID3v2 texts, those they lack from the ID3v1 tag
};

struct TitleTags : TagTexts {
    int32_t source;  // a TitleSource
};

// Reads the tags of an open local file into titles. The ID3v1 tag is read
// with ReadId3v1Tag into v1 when given (so its rules apply: a file without
// one leaves v1's texts untouched), and the ID3v2 texts into v2 when given.
// Returns titles->source.
int ReadTitleTags(plat::File file, TitleTags* titles, Id3v1Tag* v1 = nullptr, Id3v2Tag* v2 = nullptr);

// The text for an ID3v1 field of width bytes: text (UTF-8) cut to width
// characters (each is one Latin-1 byte in the file) and to what dst (size
// bytes) holds with its terminator, on a character boundary. Every text
// that goes from the program into an ID3v1 field passes here.
void Id3v1FieldText(char* dst, size_t size, const char* text, size_t width);
// Fills an ID3v1 record from texts (the tag editor's starting values for a
// file that has only ID3v2 tags): each field by Id3v1FieldText, the genre
// by its name in kGenreTable ("Unknown" when not there; left as it was when
// texts have none). Sets valid to 1.
void Id3v1FromTexts(const TagTexts& texts, Id3v1Tag* tag);
