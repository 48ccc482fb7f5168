// The texts shown for a file (see title_tags.h).
#include "tag/title_tags.h"

#include <cstring>

#include "platform/text_codec.h"

namespace {

// The ID3v1 fields into the texts still empty: the one place where the
// tag's bytes become the program's text.
void FillFromId3v1(TitleTags* t, const Id3v1Tag& v1) {
    auto fill = [](char* dst, size_t size, const char* field) {
        if (!dst[0]) Utf8CopyCut(dst, size, field);
    };
    fill(t->title, sizeof t->title, v1.title);
    fill(t->artist, sizeof t->artist, v1.artist);
    fill(t->album, sizeof t->album, v1.album);
    fill(t->year, sizeof t->year, v1.year);
    fill(t->genre, sizeof t->genre, v1.genreName);
    fill(t->comment, sizeof t->comment, v1.comment);
}

}  // namespace

int ReadTitleTags(plat::File file, TitleTags* titles, Id3v1Tag* v1, Id3v2Tag* v2) {
    Id3v2Tag ownV2;
    Id3v1Tag ownV1{};
    if (!v2) v2 = &ownV2;
    if (!v1) v1 = &ownV1;
    std::memset(titles, 0, sizeof *titles);
    ReadId3v2Tag(file, v2);
    ReadId3v1Tag(file, v1);
    if (v2->valid && (v2->title[0] || v2->artist[0])) {
        static_cast<TagTexts&>(*titles) = *v2;
        titles->source = kTitleId3v2;
    } else if (v1->valid) {
        titles->source = kTitleId3v1;
    }
    if (v1->valid) FillFromId3v1(titles, *v1);
    return titles->source;
}

void Id3v1FieldText(char* dst, size_t size, const char* text, size_t width) {
    // Each character becomes one Latin-1 byte (or '?') when the tag is saved.
    if (size == 0) return;
    size_t n = Utf8CutLength(text, size - 1, width);
    std::memcpy(dst, text, n);
    dst[n] = '\0';
}

void Id3v1FromTexts(const TagTexts& texts, Id3v1Tag* tag) {
    constexpr size_t kWidth = 30, kYearWidth = 4;
    Id3v1FieldText(tag->title, sizeof tag->title, texts.title, kWidth);
    Id3v1FieldText(tag->artist, sizeof tag->artist, texts.artist, kWidth);
    Id3v1FieldText(tag->album, sizeof tag->album, texts.album, kWidth);
    Id3v1FieldText(tag->comment, sizeof tag->comment, texts.comment, kWidth);
    Id3v1FieldText(tag->year, sizeof tag->year, texts.year, kYearWidth);
    if (texts.genre[0]) {
        int genre = kGenreUnknown;
        for (int i = 0; i < kGenreUnknown; ++i)
            if (std::strcmp(texts.genre, kGenreTable[i]) == 0) genre = i;
        tag->genre = genre;
        std::memset(tag->genreName, 0, sizeof tag->genreName);
        std::strncpy(tag->genreName, kGenreTable[genre], sizeof tag->genreName - 1);
    }
    tag->valid = 1;
}
