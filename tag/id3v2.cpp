// ID3v2 tag reading (the ID3v2.2.0, ID3v2.3.0 and ID3v2.4.0 structures).
#include "tag/id3v2.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "decoder/header.h"
#include "decoder/stream_probe.h"
#include "platform/text_codec.h"
#include "tag/id3v1.h"
#include "tag/gain_values.h"

namespace {

// The most of one frame that is read; the rest of a longer frame is skipped.
constexpr uint32_t kFrameCap = 64 * 1024;

enum Field { kTitle, kArtist, kAlbum, kYear, kGenre, kComment, kUserText, kRelativeVolume };

struct FrameKind {
    const char* id;
    Field field;
};
// The frames read, by version: 2.2 has three-letter ids.
constexpr FrameKind kFrames22[] = {{"TT2", kTitle}, {"TP1", kArtist}, {"TAL", kAlbum},
                                   {"TYE", kYear},  {"TCO", kGenre},  {"COM", kComment}};
constexpr FrameKind kFrames34[] = {{"TIT2", kTitle}, {"TPE1", kArtist}, {"TALB", kAlbum}, {"TYER", kYear},
                                   {"TDRC", kYear},  {"TCON", kGenre},  {"COMM", kComment}};
// The frames the ReplayGain values come from (RVA2 also as some 2.3 writers put it).
constexpr FrameKind kGainFrames22[] = {{"TXX", kUserText}};
constexpr FrameKind kGainFrames34[] = {{"TXXX", kUserText}, {"RVA2", kRelativeVolume}};

char* FieldText(TagTexts* t, Field f, size_t* size) {
    switch (f) {
    case kTitle: *size = sizeof t->title; return t->title;
    case kArtist: *size = sizeof t->artist; return t->artist;
    case kAlbum: *size = sizeof t->album; return t->album;
    case kYear: *size = sizeof t->year; return t->year;
    case kGenre: *size = sizeof t->genre; return t->genre;
    default: *size = sizeof t->comment; return t->comment;
    }
}

bool AllFilled(const TagTexts& t) {
    return t.title[0] && t.artist[0] && t.album[0] && t.year[0] && t.genre[0] && t.comment[0];
}

uint32_t Syncsafe32(const uint8_t* p) {
    return (uint32_t(p[0] & 0x7F) << 21) | (uint32_t(p[1] & 0x7F) << 14) | (uint32_t(p[2] & 0x7F) << 7) |
           (p[3] & 0x7F);
}

// Frame ids are capital letters and digits (ID3v2.4.0 structure, 4).
bool ValidId(const uint8_t* id, int len) {
    for (int i = 0; i < len; ++i)
        if (!((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9'))) return false;
    return true;
}

// The bytes of one tag body in order, with whole-tag unsynchronisation
// undone when the tag has it (2.2, 2.3: the writer put a 0x00 behind each
// 0xFF that could be taken for a sync).
struct TagStream {
    plat::File file;
    int64_t pos;  // file offset of the first byte not yet buffered
    int64_t end;  // end of the tag body
    bool unsync;
    bool afterFF;
    int at, have;  // buf[at, have) are the next bytes
    uint8_t buf[4096];
};

// Undecoded bytes left in the tag.
int64_t Left(const TagStream& s) { return (s.end - s.pos) + (s.have - s.at); }
// The file offset of the next undecoded byte.
int64_t RawPos(const TagStream& s) { return s.pos - (s.have - s.at); }

bool NextRaw(TagStream& s, uint8_t* b) {
    if (s.at == s.have) {
        int64_t left = s.end - s.pos;
        if (left <= 0) return false;
        uint32_t ask = left < int64_t(sizeof s.buf) ? static_cast<uint32_t>(left) : uint32_t(sizeof s.buf);
        if (!FileReadAt(s.file, s.pos, s.buf, ask)) return false;
        s.pos += ask;
        s.at = 0;
        s.have = static_cast<int>(ask);
    }
    *b = s.buf[s.at++];
    return true;
}

bool NextByte(TagStream& s, uint8_t* b) {
    for (;;) {
        if (!NextRaw(s, b)) return false;
        if (s.unsync && s.afterFF && *b == 0) {
            s.afterFF = false;
            continue;
        }
        s.afterFF = *b == 0xFF;
        return true;
    }
}

// Reads n bytes of the tag; false when the tag ends first.
bool Read(TagStream& s, uint8_t* dst, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (!NextByte(s, dst + i)) return false;
    return true;
}

// Passes over n bytes: by seeking, unless unsynchronisation must be undone
// on the way. False when the tag ends first.
bool Skip(TagStream& s, uint64_t n) {
    if (s.unsync) {
        uint8_t b;
        for (; n > 0; --n)
            if (!NextByte(s, &b)) return false;
        return true;
    }
    uint64_t buffered = static_cast<uint64_t>(s.have - s.at);
    if (n <= buffered) {
        s.at += static_cast<int>(n);
        return true;
    }
    n -= buffered;
    s.at = s.have;
    if (n > static_cast<uint64_t>(s.end - s.pos)) return false;
    s.pos += static_cast<int64_t>(n);
    return true;
}

// Whether a 2.4 frame, the padding or the end of the tag is at offset.
bool FrameStartsAt(const TagStream& s, int64_t at) {
    if (at == s.end) return true;
    if (at > s.end) return false;
    uint8_t id[4];
    uint32_t n = s.end - at < 4 ? static_cast<uint32_t>(s.end - at) : 4;
    if (!FileReadAt(s.file, at, id, n)) return false;
    return id[0] == 0 || (n == 4 && ValidId(id, 4));
}

// A 2.4 frame size is syncsafe; some writers put a plain number there. The
// plain reading is taken when the syncsafe one cannot be, or when only the
// plain one lands on the next frame.
uint32_t FrameSize24(const TagStream& s, const uint8_t* sizeBytes) {
    uint32_t plain = Be32(sizeBytes);
    if (plain & 0x80808080u) return plain;
    uint32_t safe = Syncsafe32(sizeBytes);
    if (safe == plain) return safe;
    int64_t content = RawPos(s);
    if (FrameStartsAt(s, content + safe) || !FrameStartsAt(s, content + plain)) return safe;
    return plain;
}

// Undoes per-frame unsynchronisation (2.4) in place.
void UndoUnsync(std::vector<uint8_t>* data) {
    size_t out = 0;
    for (size_t i = 0; i < data->size(); ++i) {
        if (i > 0 && (*data)[i] == 0 && (*data)[i - 1] == 0xFF) continue;
        (*data)[out++] = (*data)[i];
    }
    data->resize(out);
}

// Code units of UTF-16 in [p, p + n) (n even) into UTF-8. False on an
// unpaired surrogate.
bool Utf16ToUtf8(const uint8_t* p, size_t n, bool littleEndian, std::string* out) {
    auto unit = [&](size_t i) -> uint32_t {
        return littleEndian ? (uint32_t(p[i + 1]) << 8) | p[i] : (uint32_t(p[i]) << 8) | p[i + 1];
    };
    for (size_t i = 0; i < n; i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xDC00 && u <= 0xDFFF) return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 > n) return false;
            uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, u);
    }
    return true;
}

// One terminated string in encoding enc from [p, p + n) as UTF-8. Returns
// the bytes it took (its terminator included), or -1 when it is malformed
// (UTF-16 of odd length or with an unpaired surrogate) or the encoding is
// unknown.
long DecodeString(int enc, const uint8_t* p, size_t n, std::string* out) {
    out->clear();
    if (enc == 0 || enc == 3) {
        const void* zero = std::memchr(p, 0, n);
        size_t len = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - p) : n;
        size_t used = zero ? len + 1 : len;
        if (enc == 3 && len >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3, len -= 3;
        const char* text = reinterpret_cast<const char*>(p);
        *out = enc == 3 && IsValidUtf8(text, len) ? std::string(text, len) : Latin1ToUtf8(text, len);
        return static_cast<long>(used);
    }
    if (enc != 1 && enc != 2) return -1;
    size_t len = 0;
    while (len + 1 < n && !(p[len] == 0 && p[len + 1] == 0)) len += 2;
    bool terminated = len + 1 < n;
    if (!terminated && len != n) return -1;  // an odd byte left over
    // Encoding 1 carries a byte-order mark (big-endian without one, as
    // Unicode has it); encoding 2 is big-endian, a mark tolerated.
    bool little = false;
    size_t from = 0;
    if (len >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
        little = p[0] == 0xFF;
        from = 2;
    }
    if (!Utf16ToUtf8(p + from, len - from, little, out)) return -1;
    return static_cast<long>(terminated ? len + 2 : len);
}

// The name of ID3v1 genre n as the genre table has it.
std::string GenreName(unsigned long n) { return kGenreTable[n < kGenreUnknown ? n : kGenreUnknown]; }

// A genre reference: digits (at most three), "RX" or "CR". False otherwise.
bool GenreReference(const std::string& ref, std::string* name) {
    if (ref == "RX") return *name = "Remix", true;
    if (ref == "CR") return *name = "Cover", true;
    if (ref.empty() || ref.size() > 3 || ref.find_first_not_of("0123456789") != std::string::npos) return false;
    *name = GenreName(std::stoul(ref));
    return true;
}

// TCO/TCON: "(n)" references (2.2, 2.3), then a refinement, which wins;
// "((" escapes a leading "("; a plain reference (2.4) on its own.
std::string ResolveGenre(const std::string& text) {
    std::string first, name;
    if (GenreReference(text, &name)) return name;
    size_t i = 0;
    while (i + 1 < text.size() && text[i] == '(' && text[i + 1] != '(') {
        size_t close = text.find(')', i);
        if (close == std::string::npos || !GenreReference(text.substr(i + 1, close - i - 1), &name)) break;
        if (first.empty()) first = name;
        i = close + 1;
    }
    std::string rest = text.substr(i);
    if (rest.compare(0, 2, "((") == 0) rest.erase(0, 1);
    return rest.empty() ? first : rest;
}

// What one tag gave, before it goes into the record.
struct Found {
    TagTexts* texts;
    bool any;
    std::string describedComment;  // a comment with a description, taken when none without comes
};

void Store(Found* found, Field field, std::string text) {
    if (field == kGenre) text = ResolveGenre(text);
    if (field == kYear) text = text.substr(0, text.find_first_of("-T"));  // a 2.4 timestamp's year
    BlankControlChars(&text);
    size_t size;
    char* dst = FieldText(found->texts, field, &size);
    if (text.empty() || dst[0]) return;
    Utf8CopyCut(dst, size, text.c_str());
    found->any = true;
}

// The content of a wanted frame: a text frame's first string, or a
// comment's text behind its language and description.
void TakeFrame(Found* found, Field field, const std::vector<uint8_t>& data, size_t from) {
    if (from >= data.size()) return;
    int enc = data[from];
    const uint8_t* p = data.data() + from + 1;
    size_t n = data.size() - from - 1;
    std::string text;
    if (field != kComment) {
        if (DecodeString(enc, p, n, &text) >= 0) Store(found, field, text);
        return;
    }
    if (n < 3) return;
    std::string description;
    long used = DecodeString(enc, p + 3, n - 3, &description);
    if (used < 0 || DecodeString(enc, p + 3 + used, n - 3 - static_cast<size_t>(used), &text) < 0) return;
    if (description.empty())
        Store(found, kComment, text);
    else if (found->describedComment.empty())
        found->describedComment = text;
}

// A TXXX frame's description and value into gains[0], or an RVA2 frame's
// master volume (adjustment in 1/512 dB, then the peak's bit count and the
// peak, full scale at 2^(bits-1)) into gains[1]: the track's, or the
// album's when so identified.
void TakeGainFrame(ReplayGainValues* gains, Field field, const std::vector<uint8_t>& data, size_t from) {
    if (from >= data.size()) return;
    const uint8_t* p = data.data() + from;
    size_t n = data.size() - from;
    if (field == kUserText) {
        std::string name, text;
        long used = DecodeString(p[0], p + 1, n - 1, &name);
        if (used >= 0 && DecodeString(p[0], p + 1 + used, n - 1 - size_t(used), &text) >= 0)
            TakeReplayGainText(name.c_str(), text.c_str(), gains);
        return;
    }
    gains++;
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(p, 0, n));
    if (!zero) return;
    std::string id(reinterpret_cast<const char*>(p), size_t(zero - p));
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool album = id == "album";
    for (size_t at = size_t(zero - p) + 1; at + 4 <= n;) {
        const int bits = p[at + 3];
        const size_t peakBytes = size_t(bits + 7) / 8;
        if (at + 4 + peakBytes > n) return;
        if (p[at] == 1) {  // the master volume
            const int16_t adjust = static_cast<int16_t>((uint32_t(p[at + 1]) << 8) | p[at + 2]);
            TakeReplayGainValue(album ? kRgAlbumGain : kRgTrackGain, adjust / 512.0, gains);
            if (bits > 0 && bits <= 32) {
                double peak = 0;
                for (size_t k = 0; k < peakBytes; k++) peak = peak * 256 + p[at + 4 + k];
                TakeReplayGainValue(album ? kRgAlbumPeak : kRgTrackPeak, std::ldexp(peak, 1 - bits), gains);
            }
            return;
        }
        at += 4 + peakBytes;
    }
}

// Reads the tag whose header is at offset into the texts still empty, or
// with gains, its ReplayGain frames into gains[0] (TXXX) and gains[1]
// (RVA2). True when it gave any text.
bool ReadOneTag(plat::File file, int64_t offset, int64_t fileSize, TagTexts* texts,
                ReplayGainValues* gains = nullptr) {
    uint8_t h[10];
    if (!FileReadAt(file, offset, h, 10)) return false;
    uint32_t total = Id3v2TagSize(h, 10);
    if (total == 0 || offset + total > fileSize) return false;
    const int version = h[3], flags = h[5];
    if (version < 2 || version > 4 || (version == 2 && (flags & 0x40))) return false;  // 2.2: compressed

    auto s = std::make_unique<TagStream>();
    s->file = file;
    s->pos = offset + 10;
    s->end = offset + total - ((flags & 0x10) ? 10 : 0);
    s->unsync = version < 4 && (flags & 0x80);
    if (version >= 3 && (flags & 0x40)) {
        // Extended header: 2.3 gives its size without the size field, 2.4
        // a syncsafe size that includes it.
        uint8_t e[4];
        if (!Read(*s, e, 4)) return false;
        uint32_t size = version == 3 ? Be32(e) : Syncsafe32(e);
        if (version == 4 && ((Be32(e) & 0x80808080u) || size < 6)) return false;
        if (!Skip(*s, version == 3 ? size : size - 4)) return false;
    }

    Found found{texts, false, {}};
    const int idLen = version == 2 ? 3 : 4, headerLen = version == 2 ? 6 : 10;
    std::vector<uint8_t> data;
    while ((gains || !AllFilled(*texts)) && Left(*s) >= headerLen) {
        uint8_t fh[10];
        if (!Read(*s, fh, static_cast<uint32_t>(headerLen)) || fh[0] == 0 || !ValidId(fh, idLen)) break;
        uint32_t size = version == 2 ? (uint32_t(fh[3]) << 16) | (uint32_t(fh[4]) << 8) | fh[5]
                        : version == 3 ? Be32(fh + 4)
                                       : FrameSize24(*s, fh + 4);
        if (size > Left(*s)) break;  // past the end of the tag

        const FrameKind* kinds = version == 2 ? kFrames22 : kFrames34;
        size_t kindCount = version == 2 ? std::size(kFrames22) : std::size(kFrames34);
        if (gains) {
            kinds = version == 2 ? kGainFrames22 : kGainFrames34;
            kindCount = version == 2 ? std::size(kGainFrames22) : std::size(kGainFrames34);
        }
        const Field* field = nullptr;
        for (size_t k = 0; k < kindCount; ++k)
            if (std::memcmp(kinds[k].id, fh, size_t(idLen)) == 0) field = &kinds[k].field;
        // Frame format flags: compression and encryption make a frame
        // unreadable here; grouping (and in 2.4 a data length) put bytes in
        // front of the content.
        uint8_t format = version == 2 ? 0 : fh[9];
        bool unreadable = version == 3 ? (format & 0xC0) != 0 : (format & 0x0C) != 0;
        if (!field || unreadable || size == 0) {
            if (!Skip(*s, size)) break;
            continue;
        }
        uint32_t take = size < kFrameCap ? size : kFrameCap;
        data.resize(take);
        if (!Read(*s, data.data(), take) || !Skip(*s, size - take)) break;
        size_t from = 0;
        if (version == 3 && (format & 0x20)) from = 1;
        if (version == 4) {
            from = ((format & 0x40) ? 1 : 0) + ((format & 0x01) ? 4 : 0);
            if ((format & 0x02) || (flags & 0x80)) {
                data.erase(data.begin(), data.begin() + static_cast<long>(from < data.size() ? from : data.size()));
                from = 0;
                UndoUnsync(&data);
            }
        }
        if (gains)
            TakeGainFrame(gains, *field, data, from);
        else
            TakeFrame(&found, *field, data, from);
    }
    if (!texts->comment[0] && !found.describedComment.empty()) Store(&found, kComment, found.describedComment);
    return found.any;
}

// Calls read(offset) for each tag of the file: those in front, one after
// the other, then one appended behind.
template <typename Read>
void ForEachTag(plat::File file, int64_t size, Read read) {
    int64_t at = 0;
    while (at + 10 <= size) {
        uint8_t h[10];
        uint32_t n = FileReadAt(file, at, h, 10) ? Id3v2TagSize(h, 10) : 0;
        if (n == 0) break;
        read(at);
        at += n;
    }
    int64_t appended = -1;
    if (at < size) AudioEndBeforeTags(FileReadAt, file, at, size, &appended);
    if (appended >= 0) read(appended);
}

}  // namespace

int ReadId3v2Tag(plat::File file, Id3v2Tag* tag) {
    if (!tag) return 0;
    std::memset(tag, 0, sizeof *tag);
    int64_t size = file ? plat::FileSize(file) : -1;
    if (size < 10) return 0;
    ForEachTag(file, size, [&](int64_t at) {
        uint8_t h[10];
        if (ReadOneTag(file, at, size, tag) && !tag->valid && FileReadAt(file, at, h, 10)) {
            tag->valid = 1;
            tag->version = h[3];
            tag->revision = h[4];
        }
    });
    return tag->valid;
}

void ReadId3v2ReplayGain(plat::File file, ReplayGainValues* values) {
    int64_t size = file && values ? plat::FileSize(file) : -1;
    if (size < 10) return;
    TagTexts scratch{};
    ReplayGainValues found[2] = {};
    ForEachTag(file, size, [&](int64_t at) { ReadOneTag(file, at, size, &scratch, found); });
    for (const ReplayGainValues& f : found)
        for (int i = 0; i < kRgValueCount; i++)
            if (f.has[i]) TakeReplayGainValue(ReplayGainValue(i), f.value[i], values);
}
