// Fuzz target: the ID3v2 reader and the texts shown for a file. The input
// is a whole file. ReadTitleTags reads its ID3v2 tags (in front and
// appended) and its ID3v1 tag: every ID3v2 text must be terminated within
// its field, valid UTF-8 and free of control characters, and the ID3v1
// fields the tag editor would start from must be at most 30 bytes of valid
// UTF-8. The end of the audio before the tags behind it must lie between
// the start of the audio and the end of the file.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decoder/header.h"
#include "decoder/stream_probe.h"
#include "tag/title_tags.h"
#include "tag/utf8_text.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

fuzz::MemFile g_file;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz-id3v2: %s\n", what);
        std::abort();
    }
}

void CheckText(const char* s, size_t size, size_t maxLength) {
    const void* end = std::memchr(s, 0, size);
    Check(end != nullptr, "unterminated text");
    size_t n = static_cast<size_t>(static_cast<const char*>(end) - s);
    Check(n <= maxLength, "text longer than its field");
    Check(IsValidUtf8(reinterpret_cast<const uint8_t*>(s), n), "text is not valid UTF-8");
    for (size_t i = 0; i < n; ++i) Check(static_cast<uint8_t>(s[i]) >= 0x20 && s[i] != 0x7F, "control character");
}

void CheckTexts(const TagTexts& t) {
    CheckText(t.title, sizeof t.title, sizeof t.title - 1);
    CheckText(t.artist, sizeof t.artist, sizeof t.artist - 1);
    CheckText(t.album, sizeof t.album, sizeof t.album - 1);
    CheckText(t.year, sizeof t.year, sizeof t.year - 1);
    CheckText(t.genre, sizeof t.genre, sizeof t.genre - 1);
    CheckText(t.comment, sizeof t.comment, sizeof t.comment - 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::MemFileInit(&g_file, "vorlo-fuzz-id3v2");
    plat::SetMessageBoxHook(fuzz::QuietMessageBox);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::MemFileSet(&g_file, data, size);
    plat::File f = plat::FileOpenRead(g_file.path);
    Check(f != nullptr, "memfd did not open");

    static TitleTags titles;
    static Id3v2Tag v2;
    static Id3v1Tag v1;
    std::memset(&v2, 0x5A, sizeof v2);
    std::memset(&v1, 0, sizeof v1);
    int source = ReadTitleTags(f, &titles, &v1, &v2);
    CheckTexts(v2);
    Check(v2.valid == 0 || v2.valid == 1, "valid is neither 0 nor 1");
    Check(!v2.valid || (v2.version >= 2 && v2.version <= 4), "version outside 2..4");
    Check(source == titles.source, "source returned and stored differ");
    if (source == kTitleId3v2) {
        Check(v2.valid && (v2.title[0] || v2.artist[0]), "ID3v2 source without an ID3v2 title or artist");
        Check(std::strcmp(titles.title, v2.title) == 0 || !v2.title[0], "title not the ID3v2 title");
    }
    Check(source != kTitleNone || (!titles.title[0] && !titles.artist[0]), "texts without a source");

    Id3v1Tag start{};
    Id3v1FromTexts(v2, &start);
    CheckText(start.title, sizeof start.title, 30);
    CheckText(start.artist, sizeof start.artist, 30);
    CheckText(start.album, sizeof start.album, 30);
    CheckText(start.comment, sizeof start.comment, 30);
    CheckText(start.year, sizeof start.year, 4);
    Check(start.genre >= 0 && start.genre < kGenreCount, "genre outside the table");

    StreamProbe probe;
    ProbeStream(f, &probe);
    int64_t appended = 0;
    int64_t end = AudioEndBeforeTags(FileReadAt, f, probe.audioStart, static_cast<int64_t>(size), &appended);
    Check(end >= probe.audioStart && end <= static_cast<int64_t>(size), "audio end outside the file");
    Check(appended == -1 || (appended >= end && appended < static_cast<int64_t>(size)), "appended tag outside the tail");
    plat::FileClose(f);
    return 0;
}
