// Placeholder until the tag reader lands.
#include "tag/id3v1.h"

const char* const kGenreTable[kGenreCount] = {};
int ReadId3v1Tag(plat::File, Id3v1Tag* tag) { tag->valid = 0; return 0; }
int WriteId3v1Tag(plat::File, const Id3v1Tag*) { return 0; }
int WipeId3v1Tag(plat::File) { return 0; }
