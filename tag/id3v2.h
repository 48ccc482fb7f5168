// ID3v2 tags, versions 2.2, 2.3 and 2.4: the texts a player shows (title,
// artist, album, year, genre, comment), read from the tags in front of the
// audio and from one appended behind it (ID3v2.4 with a footer). Reading
// only: the program writes ID3v1 tags.
//
// What is read: the frames TT2/TIT2 (title), TP1/TPE1 (artist), TAL/TALB
// (album), TYE/TYER/TDRC (year), TCO/TCON (genre) and COM/COMM (comment),
// in text encodings 0 (Latin-1), 1 (UTF-16 with a byte-order mark; big-
// endian without one), 2 (UTF-16BE) and 3 (UTF-8); whole-tag
// unsynchronisation (2.2, 2.3) and per-frame unsynchronisation (2.4),
// extended headers, footers and padding. Compressed and encrypted frames are
// skipped, and so is every frame not listed: a large one (a picture) by
// seeking, never by reading it into memory. Texts come out as valid UTF-8,
// whatever the tag holds; a text that is not valid UTF-8 where the tag says
// UTF-8 is taken as Latin-1. A malformed tag (sizes past the file or the
// tag, UTF-16 of odd length or with unpaired surrogates) gives nothing from
// the broken part, and never more than the bytes it holds.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The texts of a tag, each UTF-8 and terminated (empty when absent), cut on
// a character boundary to fit.
struct TagTexts {
    char title[256];
    char artist[256];
    char album[256];
    char year[16];
    char genre[128];
    char comment[256];
};

struct Id3v2Tag : TagTexts {
    int32_t valid;     // 1 when a tag gave at least one of the texts
    int32_t version;   // of the first tag that gave one: 2, 3 or 4
    int32_t revision;
};

// Reads the ID3v2 tags of an open local file: each text from the first tag,
// in file order, that has it (the tags in front first, then an appended
// one). Returns valid; the file position is left anywhere.
int ReadId3v2Tag(plat::File file, Id3v2Tag* tag);

// Adds the ReplayGain values (tag/gain_values.h) of the same tags, in the
// same order, that values still lacks: TXXX frames first (TXX in 2.2),
// then RVA2 frames. The file position is left anywhere.
struct ReplayGainValues;
void ReadId3v2ReplayGain(plat::File file, ReplayGainValues* values);

