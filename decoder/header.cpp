// Header tables and header-level helpers (ISO/IEC 11172-3 2.4.2.3,
// ISO/IEC 13818-3 2.4.2.3; MPEG-2.5 extends the version bits).
#include "decoder/header.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

const int kBitrateTable[2][3][16] = {
    {   // MPEG-1
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    },
    {   // MPEG-2 LSF and MPEG-2.5
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    },
};

const int kSampleRateTable[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};

HeaderFields ParseHeaderWord(uint32_t w) {
    HeaderFields h;
    if (w & 0x00100000u) {
        h.mpeg25 = 0;
        h.lsf = (w & 0x00080000u) ? 0 : 1;
    } else {
        h.mpeg25 = 1;
        h.lsf = 1;
    }
    h.layer = 4 - static_cast<int>((w >> 17) & 3);
    h.crcPresent = ((w >> 16) & 1) ? 0 : 1;
    h.bitrateIndex = static_cast<int>((w >> 12) & 15);
    int code = static_cast<int>((w >> 10) & 3);
    h.sampleRateIndex = code == 3 ? -1 : code + (h.mpeg25 ? 6 : 3 * h.lsf);
    h.padding = static_cast<int>((w >> 9) & 1);
    h.mode = static_cast<int>((w >> 6) & 3);
    h.modeExtension = static_cast<int>((w >> 4) & 3);
    h.channels = h.mode == 3 ? 1 : 2;
    return h;
}

int HeaderBodyLength(uint32_t word) {
    HeaderFields h = ParseHeaderWord(word);
    if (h.layer < 1 || h.layer > 3 || h.sampleRateIndex < 0) return -1;
    int kbps = kBitrateTable[h.lsf][h.layer - 1][h.bitrateIndex];
    if (kbps == 0) return -1;
    int f = kSampleRateTable[h.sampleRateIndex];
    switch (h.layer) {
    case 1: return (12000 * kbps / f + h.padding) * 4 - 4;
    case 2: return 144000 * kbps / f + h.padding - 4;
    default: return 144000 * kbps / (f << h.lsf) + h.padding - 4;
    }
}

double NominalFrameLength(int layer, int lsf, int bitrateIndex, int sampleRateIndex) {
    if (layer < 1 || layer > 3 || sampleRateIndex < 0 || sampleRateIndex > 8 || bitrateIndex < 0 ||
        bitrateIndex > 15)
        return 1.0;
    double kbps = kBitrateTable[lsf ? 1 : 0][layer - 1][bitrateIndex];
    double f = kSampleRateTable[sampleRateIndex];
    double len;
    switch (layer) {
    case 1: len = 48000.0 * kbps / f; break;
    case 2: len = 144000.0 * kbps / f; break;
    default: len = 144000.0 * kbps / (f * (lsf ? 2 : 1)); break;
    }
    return len > 0 ? len : 1.0;  // never divide by a free-format length
}

double FrameDuration(int layer, int lsf, int sampleRateIndex) {
    if (layer < 1 || layer > 3 || sampleRateIndex < 0 || sampleRateIndex > 8) return 0.0;
    return SamplesPerFrame(layer, lsf) / static_cast<double>(kSampleRateTable[sampleRateIndex]);
}

int SamplesPerFrame(int layer, int lsf) {
    return layer == 1 ? 384 : (layer == 3 && lsf) ? 576 : 1152;
}

int Layer3SideInfoSize(int lsf, int channels) {
    return lsf ? (channels == 1 ? 9 : 17) : (channels == 1 ? 17 : 32);
}

uint32_t Id3v2TagSize(const uint8_t* p, size_t n) {
    // "ID3", version and revision below 0xFF, flags, four sync-safe size bytes
    // (ID3v2.4.0 structure, 3.1).
    if (n < 10 || p[0] != 'I' || p[1] != 'D' || p[2] != '3' || p[3] == 0xFF || p[4] == 0xFF)
        return 0;
    if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
    uint32_t size = (uint32_t(p[6]) << 21) | (uint32_t(p[7]) << 14) | (uint32_t(p[8]) << 7) | p[9];
    return size + 10 + ((p[5] & 0x10) ? 10 : 0);
}

namespace {
uint32_t Be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }

// CRC-16 with the polynomial x^16 + x^15 + x^2 + 1, bits taken LSB first,
// starting from 0: the checksum of the LAME extension.
uint32_t Crc16(const uint8_t* p, size_t n, size_t zeroAt) {
    uint32_t crc = 0;
    for (size_t i = 0; i < n; i++) {
        crc ^= (i == zeroAt || i == zeroAt + 1) ? 0u : p[i];
        for (int b = 0; b < 8; b++) crc = (crc & 1) ? (crc >> 1) ^ 0xA001u : crc >> 1;
    }
    return crc;
}

// The LAME extension at frame + at (36 bytes): encoder string (9), tag
// revision and VBR method, lowpass, replay gain (8), flags, bitrate, delay
// and padding (12 bits each), misc, gain, preset (2), music length (4),
// music CRC (2), tag CRC (2). The tag CRC covers the frame's bytes in front
// of it; some encoders take the frame's first 190 bytes with the CRC field
// as zero instead (the same bytes for a two-channel MPEG-1 frame). Either
// is accepted.
void ParseLameExtension(const uint8_t* frame, size_t frameLen, size_t at, VbrHeader* vbr) {
    if (at + 36 > frameLen) return;
    const size_t crcAt = at + 34;
    const uint32_t stored = Be16(frame + crcAt);
    if (Crc16(frame, crcAt, crcAt) != stored && !(frameLen >= 190 && Crc16(frame, 190, crcAt) == stored))
        return;
    const uint8_t* d = frame + at + 21;
    vbr->hasEncoderDelay = 1;
    vbr->encoderDelay = static_cast<int>((uint32_t(d[0]) << 4) | (d[1] >> 4));
    vbr->encoderPadding = static_cast<int>(((uint32_t(d[1]) & 15) << 8) | d[2]);
    // The peak is fixed point, 2^23 = full scale. Each gain field: name code
    // (3 bits: 1 radio, 2 audiophile), originator (3 bits, 0 = not set),
    // sign, and the gain in tenths of a dB (9 bits).
    vbr->peak = Be32(frame + at + 11) / 8388608.0;
    auto gain = [&](size_t off, uint32_t name, int* has, double* db) {
        const uint32_t v = Be16(frame + at + off);
        *has = (v >> 13) == name && ((v >> 10) & 7) != 0;
        *db = ((v >> 9) & 1 ? -0.1 : 0.1) * double(v & 0x1FF);
    };
    gain(15, 1, &vbr->hasRadioGain, &vbr->radioGainDb);
    gain(17, 2, &vbr->hasAudiophileGain, &vbr->audiophileGainDb);
}
}  // namespace

uint32_t Id3v2FooterTagSize(const uint8_t* p, size_t n) {
    // The footer repeats the header with "3DI" for "ID3" (ID3v2.4.0 structure, 3.4).
    if (n < 10 || p[0] != '3' || p[1] != 'D' || p[2] != 'I') return 0;
    uint8_t header[10];
    std::memcpy(header, p, 10);
    std::memcpy(header, "ID3", 3);
    header[5] |= 0x10;
    return Id3v2TagSize(header, 10);
}

uint32_t ApeTagSize(const uint8_t* p, size_t n) {
    // Preamble, version (1000 or 2000), size of the items and the footer,
    // item count, flags (bit 31 a header exists, bit 29 this is the header),
    // 8 reserved bytes; all little-endian.
    if (n < 32 || std::memcmp(p, "APETAGEX", 8) != 0) return 0;
    uint32_t version = Le32(p + 8), size = Le32(p + 12), flags = Le32(p + 20);
    if ((version != 1000 && version != 2000) || size < 32 || (flags & (1u << 29))) return 0;
    bool header = version == 2000 && (flags & (1u << 31));
    if (header && size > 0xFFFFFFFFu - 32) return 0;
    return header ? size + 32 : size;
}

int64_t AudioEndBeforeTags(ReadAtFn readAt, void* context, int64_t start, int64_t size, int64_t* appendedId3v2,
                           int64_t* apeFooter) {
    if (appendedId3v2) *appendedId3v2 = -1;
    if (apeFooter) *apeFooter = -1;
    int64_t end = size;
    bool id3v1 = false;
    // Each round takes one tag off the end; a bounded number of them.
    for (int round = 0; round < 64; ++round) {
        int64_t room = end - start;
        uint8_t b[32];
        if (!id3v1 && room >= 128 && readAt(context, end - 128, b, 3) && std::memcmp(b, "TAG", 3) == 0) {
            end -= 128;
            id3v1 = true;
            continue;
        }
        if (room >= 32 && readAt(context, end - 32, b, 32)) {
            uint32_t ape = ApeTagSize(b, 32);
            if (ape && ape <= room) {
                if (apeFooter && *apeFooter < 0) *apeFooter = end - 32;
                int64_t from = end - ape;
                // A header announced but not there: the tag is its items and footer.
                uint8_t h[8];
                if (ape != Le32(b + 12) && !(readAt(context, from, h, 8) && std::memcmp(h, "APETAGEX", 8) == 0))
                    from += 32;
                end = from;
                continue;
            }
        }
        if (room >= 20 && readAt(context, end - 10, b, 10)) {
            uint32_t tag = Id3v2FooterTagSize(b, 10);
            uint8_t h[10];
            if (tag && tag <= room && readAt(context, end - tag, h, 10) && Id3v2TagSize(h, 10) == tag) {
                end -= tag;
                if (appendedId3v2) *appendedId3v2 = end;
                continue;
            }
        }
        break;
    }
    return end;
}

bool ParseVbrHeader(const uint8_t* frame, size_t frameLen, VbrHeader* vbr) {
    std::memset(vbr, 0, sizeof *vbr);
    if (frameLen < 4) return false;
    uint32_t word = Be32(frame);
    HeaderFields h = ParseHeaderWord(word);
    if (h.layer != 3) return false;

    // Xing/Info follows the side information; some encoders count the CRC word.
    size_t base = 4 + static_cast<size_t>(Layer3SideInfoSize(h.lsf, h.channels));
    for (size_t at : {base, base + 2}) {
        if (at + 8 > frameLen) continue;
        const uint8_t* x = frame + at;
        if (std::memcmp(x, "Xing", 4) != 0 && std::memcmp(x, "Info", 4) != 0) continue;
        uint32_t flags = Be32(x + 4);
        size_t pos = at + 8;
        vbr->present = 1;
        if (flags & 1) {
            if (pos + 4 > frameLen) return true;
            vbr->frames = Be32(frame + pos);
            pos += 4;
        }
        if (flags & 2) {
            if (pos + 4 > frameLen) return true;
            vbr->bytes = Be32(frame + pos);
            pos += 4;
        }
        if (flags & 4) {
            if (pos + 100 > frameLen) return true;
            std::memcpy(vbr->xingToc, frame + pos, 100);
            vbr->hasToc = 1;
            // A table must rise; one that does not is ignored.
            for (int i = 1; i < 100; i++)
                if (vbr->xingToc[i] < vbr->xingToc[i - 1]) vbr->hasToc = 0;
            pos += 100;
        }
        if (flags & 8) pos += 4;  // the quality indicator
        ParseLameExtension(frame, frameLen, pos, vbr);
        return true;
    }

    // VBRI sits 32 bytes behind the header, whatever the mode.
    size_t at = 4 + 32;
    if (at + 26 <= frameLen && std::memcmp(frame + at, "VBRI", 4) == 0) {
        const uint8_t* v = frame + at;
        vbr->present = 1;
        vbr->isVbri = 1;
        vbr->bytes = Be32(v + 10);
        vbr->frames = Be32(v + 14);
        uint32_t entries = Be16(v + 18), scale = Be16(v + 20), entrySize = Be16(v + 22);
        uint32_t perEntry = Be16(v + 24);
        if (entries > 512 || entrySize < 1 || entrySize > 4 || perEntry == 0) return true;
        if (at + 26 + size_t(entries) * entrySize > frameLen) return true;
        const uint8_t* e = v + 26;
        for (uint32_t i = 0; i < entries; i++, e += entrySize) {
            uint32_t val = 0;
            for (uint32_t b = 0; b < entrySize; b++) val = (val << 8) | e[b];
            vbr->vbriToc[i] = val * scale;
        }
        vbr->vbriEntries = entries;
        vbr->vbriFramesPerEntry = perEntry;
        vbr->hasToc = entries > 0;
        return true;
    }
    return false;
}

int64_t VbrSeekOffset(const VbrHeader& vbr, uint32_t n, uint32_t headerFrameLen) {
    if (!vbr.present || !vbr.hasToc || vbr.frames == 0) return -1;
    if (n >= vbr.frames) n = vbr.frames - 1;
    if (!vbr.isVbri) {
        if (vbr.bytes == 0) return -1;
        double percent = 100.0 * n / vbr.frames;
        int i = static_cast<int>(percent);
        if (i > 99) i = 99;
        double a = vbr.xingToc[i];
        double b = i < 99 ? vbr.xingToc[i + 1] : 256.0;
        double pos = (a + (b - a) * (percent - i)) / 256.0 * vbr.bytes;
        int64_t off = static_cast<int64_t>(pos);
        return off < headerFrameLen ? headerFrameLen : off;
    }
    uint64_t off = headerFrameLen;
    uint32_t whole = n / vbr.vbriFramesPerEntry;
    for (uint32_t i = 0; i < whole && i < vbr.vbriEntries; i++) off += vbr.vbriToc[i];
    if (whole < vbr.vbriEntries)
        off += uint64_t(vbr.vbriToc[whole]) * (n % vbr.vbriFramesPerEntry) / vbr.vbriFramesPerEntry;
    return static_cast<int64_t>(off);
}

bool GetGaplessWindow(const VbrHeader& vbr, int samplesPerFrame, GaplessWindow* w) {
    if (!vbr.present || vbr.isVbri || !vbr.hasEncoderDelay || vbr.frames == 0) return false;
    const int64_t total = int64_t(vbr.frames) * samplesPerFrame;
    const int64_t tail = vbr.encoderPadding > kDecoderDelay ? vbr.encoderPadding - kDecoderDelay : 0;
    w->start = std::min<int64_t>(vbr.encoderDelay + kDecoderDelay, total);
    w->end = std::max(w->start, total - tail);
    w->originalSamples = std::max<int64_t>(0, total - vbr.encoderDelay - vbr.encoderPadding);
    return true;
}
