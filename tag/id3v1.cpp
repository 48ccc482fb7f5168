// ID3v1 tags: reading, writing and wiping the last 128 bytes of a file.
#include "tag/id3v1.h"

#include <cstring>
#include <string>

#include "platform/text_codec.h"

const char* const kGenreTable[kGenreCount] = {
    "Blues",      "Classic Rock", "Country",     "Dance",      "Disco",       "Funk",
    "Grunge",     "Hip-Hop",      "Jazz",        "Metal",      "New Age",     "Oldies",
    "Other",      "Pop",          "R&B",         "Rap",        "Reggae",      "Rock",
    "Techno",     "Industrial",   "Alternative", "Ska",        "Death Metal", "Pranks",
    "Soundtrack", "Euro-Techno",  "Ambient",     "Trip-Hop",   "Vocal",       "Jazz+Funk",
    "Fusion",     "Trance",       "Classical",   "Instrumental", "Acid",      "House",
    "Game",       "Sound Clip",   "Gospel",      "Noise",      "AlternRock",  "Bass",
    "Soul",       "Punk",         "Unknown",
};

namespace {

constexpr uint32_t kTagSize = 128;

constexpr Id3v1FileOps kPlatformOps = {plat::FileSeek, plat::FileRead, plat::FileWrite, plat::FileTruncate};
Id3v1FileOps g_ops = kPlatformOps;

// Field offsets and widths inside the 128-byte block.
constexpr int kTitleAt = 3, kArtistAt = 33, kAlbumAt = 63, kYearAt = 93, kCommentAt = 97;
constexpr int kGenreAt = 127;
constexpr int kTextWidth = 30, kYearWidth = 4;

static_assert(sizeof(Id3v1Tag::title) > 2 * kTextWidth && sizeof(Id3v1Tag::artist) > 2 * kTextWidth &&
                  sizeof(Id3v1Tag::album) > 2 * kTextWidth && sizeof(Id3v1Tag::comment) > 2 * kTextWidth &&
                  sizeof(Id3v1Tag::year) > 2 * kYearWidth,
              "every record field holds its tag field as UTF-8 and a terminator");

void ShowError(const char* text) {
    plat::ShowMessageBox(plat::MainWindow(), text, "Error...", plat::MbOk);
}

constexpr char kSeekError[] = "Error Setting Pointer";
constexpr char kTruncateError[] = "Error Wiping Tag!\n(File is Write Protected?)";
constexpr char kWriteError[] = "Error Writing Tag!\n(File is Write Protected?)";
constexpr char kReadError[] = "Error Reading Tag!";

bool SeekToTag(plat::File file) { return g_ops.seek(file, -int64_t{kTagSize}, plat::SeekEnd) >= 0; }

bool HasTagMark(const unsigned char* block) { return std::memcmp(block, "TAG", 3) == 0; }

// Reads the 128 bytes at the current position. False unless all came in.
bool ReadBlock(plat::File file, unsigned char* block) {
    return g_ops.read(file, block, kTagSize) == static_cast<int>(kTagSize);
}

// Copies one text field out of the tag into dst (dstSize > 2 * width): up
// to width bytes, stopping at a zero byte, without trailing spaces, as
// UTF-8. dst is always terminated, and the bytes after the text are zero.
void ReadField(char* dst, size_t dstSize, const unsigned char* src, int width) {
    std::memset(dst, 0, dstSize);
    int len = 0;
    while (len < width && src[len] != 0) ++len;
    while (len > 0 && src[len - 1] == ' ') --len;
    const char* text = reinterpret_cast<const char*>(src);
    const std::string utf8 = TextIsUtf8() ? Latin1ToUtf8(text, static_cast<size_t>(len))
                                          : std::string(text, static_cast<size_t>(len));
    std::memcpy(dst, utf8.data(), utf8.size());
}

// The record's text (which need not be terminated within size bytes) as the
// tag's bytes.
std::string FieldBytes(const char* src, size_t size) {
    const size_t len = strnlen(src, size);
    return TextIsUtf8() ? Utf8ToLatin1(src, len) : std::string(src, len);
}

// Puts one text field of the record into the tag: at most width characters,
// padded with spaces.
void WriteField(unsigned char* dst, const char* src, size_t size, int width) {
    const std::string bytes = FieldBytes(src, size);
    const size_t len = bytes.size() < static_cast<size_t>(width) ? bytes.size() : static_cast<size_t>(width);
    std::memcpy(dst, bytes.data(), len);
    std::memset(dst + len, ' ', static_cast<size_t>(width) - len);
}

// Cuts off the tag known to end the file. Reports failures to the user.
bool CutTag(plat::File file) {
    if (!SeekToTag(file)) {
        ShowError(kSeekError);
        return false;
    }
    if (!g_ops.truncate(file)) {
        ShowError(kTruncateError);
        return false;
    }
    return true;
}

}  // namespace

void SetId3v1FileOps(const Id3v1FileOps* ops) { g_ops = ops ? *ops : kPlatformOps; }

int ReadId3v1Tag(plat::File file, Id3v1Tag* tag) {
    if (!tag) return 0;
    tag->valid = 0;
    if (!file) return 0;

    unsigned char block[kTagSize] = {};
    // A file shorter than a tag fails the seek and has none.
    bool found = SeekToTag(file) && ReadBlock(file, block) && HasTagMark(block);
    // After a full read the position already is the end; otherwise put it there.
    if (!found) {
        g_ops.seek(file, 0, plat::SeekEnd);
        return 0;
    }

    ReadField(tag->title, sizeof tag->title, block + kTitleAt, kTextWidth);
    ReadField(tag->artist, sizeof tag->artist, block + kArtistAt, kTextWidth);
    ReadField(tag->album, sizeof tag->album, block + kAlbumAt, kTextWidth);
    ReadField(tag->year, sizeof tag->year, block + kYearAt, kYearWidth);
    ReadField(tag->comment, sizeof tag->comment, block + kCommentAt, kTextWidth);

    int genre = block[kGenreAt];
    if (genre >= kGenreUnknown) genre = kGenreUnknown;
    tag->genre = genre;
    std::memset(tag->genreName, 0, sizeof tag->genreName);
    std::strncpy(tag->genreName, kGenreTable[genre], sizeof tag->genreName - 1);

    tag->valid = 1;
    return 1;
}

int WriteId3v1Tag(plat::File file, const Id3v1Tag* tag) {
    if (!file || !tag) return 0;

    unsigned char block[kTagSize] = {};
    std::memcpy(block, "TAG", 3);
    WriteField(block + kTitleAt, tag->title, sizeof tag->title, kTextWidth);
    WriteField(block + kArtistAt, tag->artist, sizeof tag->artist, kTextWidth);
    WriteField(block + kAlbumAt, tag->album, sizeof tag->album, kTextWidth);
    WriteField(block + kYearAt, tag->year, sizeof tag->year, kYearWidth);
    WriteField(block + kCommentAt, tag->comment, sizeof tag->comment, kTextWidth);
    // "Unknown" and anything outside the table are stored as 0.
    block[kGenreAt] = static_cast<unsigned char>(tag->genre >= 0 && tag->genre < kGenreUnknown ? tag->genre : 0);

    // The new tag goes over the old one, in place, or behind the audio when
    // there is none: the old tag stays until the new one is there.
    int64_t at = g_ops.seek(file, -int64_t{kTagSize}, plat::SeekEnd);
    unsigned char old[kTagSize];
    bool replacing = false;
    if (at < 0) {
        ShowError(kSeekError);  // shorter than a tag, so there is none to replace
        at = g_ops.seek(file, 0, plat::SeekEnd);
    } else {
        // Unless the old tag is known to be there or absent, a new one could
        // end up behind it, inside the audio.
        if (!ReadBlock(file, old)) {
            ShowError(kReadError);
            return 0;
        }
        replacing = HasTagMark(old);
        if (!replacing) at += kTagSize;
    }
    if (at < 0 || g_ops.seek(file, at, plat::SeekBegin) != at) {
        ShowError(kSeekError);
        return 0;
    }
    if (g_ops.write(file, block, kTagSize) == static_cast<int>(kTagSize)) return 1;
    // Put back what was there: the old tag over a partial new one, or the
    // file's end before the bytes appended. Then say so: the caller has no
    // other way to learn the tag was not saved.
    if (g_ops.seek(file, at, plat::SeekBegin) == at) {
        if (replacing)
            g_ops.write(file, old, kTagSize);
        else
            g_ops.truncate(file);
    }
    ShowError(kWriteError);
    return 0;
}

bool Id3v1StoreText(char* field, size_t size, const char* text, int width) {
    if (!field || size == 0) return false;
    if (!text) text = "";
    const size_t cut = Utf8CutLength(text, SIZE_MAX / 2, static_cast<size_t>(width));
    bool lost = false;
    std::string stored(text, cut);
    if (TextIsUtf8()) {
        const std::string latin1 = Utf8ToLatin1(text, cut, &lost);
        stored = Latin1ToUtf8(latin1.data(), latin1.size());
    }
    Utf8CopyCut(field, size, stored.c_str());
    return lost;
}

int WipeId3v1Tag(plat::File file) {
    if (!file) return 0;
    if (!SeekToTag(file)) {
        ShowError(kSeekError);
        // A file shorter than a tag holds none.
        int64_t size = plat::FileSize(file);
        return size >= 0 && size < kTagSize ? 1 : 0;
    }
    unsigned char block[kTagSize];
    if (!ReadBlock(file, block)) {
        ShowError(kReadError);
        return 0;
    }
    if (!HasTagMark(block)) return 1;
    return CutTag(file) ? 1 : 0;
}
