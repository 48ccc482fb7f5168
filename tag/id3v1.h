// ID3v1 tags: the last 128 bytes of an MP3 file.
//
//   offset  size  field
//   0       3     "TAG"
//   3       30    title
//   33      30    artist
//   63      30    album
//   93      4     year (text)
//   97      30    comment
//   127     1     genre index
//
// Text fields are written padded with spaces; zero padding is read as well.
// Their bytes are Latin-1 by convention: the record holds them as UTF-8 (as
// every string of the program), converted when read and converted back when
// written, where a character that Latin-1 lacks becomes '?'.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// UTF-8 takes up to two bytes for a Latin-1 character.
constexpr int kId3v1TextSize = 61;  // 30 Latin-1 characters as UTF-8, a terminator
constexpr int kId3v1YearSize = 9;   // 4 of them

struct Id3v1Tag {
    int32_t valid;       // 1 when the record holds a tag read from a file
    char title[kId3v1TextSize];  // UTF-8
    char artist[kId3v1TextSize];
    char album[kId3v1TextSize];
    char year[kId3v1YearSize];
    char comment[kId3v1TextSize];
    char genreName[33];  // the genre's name from kGenreTable
    int32_t genre;       // index into kGenreTable, 0..44
};

constexpr int kGenreCount = 45;
constexpr int kGenreUnknown = 44;
// The first 44 genres of the ID3v1 list, then "Unknown".
extern const char* const kGenreTable[kGenreCount];

// Reads the tag of an open file into tag. Returns 1 when there is one; else 0,
// with valid 0 and the other fields untouched. Leaves the file position at
// the end of the file.
int ReadId3v1Tag(plat::File file, Id3v1Tag* tag);
// Writes tag as the file's tag, over any tag already there (in place) or
// appended: each text cut to the field's width in Latin-1 characters.
// Returns 1 when all 128 bytes were written; a failure is reported and
// leaves the old tag (or the untagged end) as it was.
int WriteId3v1Tag(plat::File file, const Id3v1Tag* tag);
// Stores text (UTF-8) into a record field of size bytes as a tag holds it:
// cut to width characters, each character that Latin-1 lacks replaced by
// '?'. Returns true when some were replaced.
bool Id3v1StoreText(char* field, size_t size, const char* text, int width);
// Removes the file's tag, if it has one. Returns 1 when the file holds no tag
// afterwards.
int WipeId3v1Tag(plat::File file);

// The file operations under the three functions above: the platform's unless
// replaced, which tests do to reach the failure paths.
struct Id3v1FileOps {
    int64_t (*seek)(plat::File file, int64_t offset, plat::SeekOrigin origin);
    int (*read)(plat::File file, void* dst, uint32_t n);
    int (*write)(plat::File file, const void* src, uint32_t n);
    bool (*truncate)(plat::File file);
};
// Installs a copy of ops; nullptr restores the platform's operations.
void SetId3v1FileOps(const Id3v1FileOps* ops);
