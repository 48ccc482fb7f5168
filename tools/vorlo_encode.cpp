// vorlo-encode: a small MPEG audio Layer I / Layer II encoder of our own, for
// test streams and the demo track. It shares no code with the decoder.
//
//   vorlo-encode [options] INPUT OUTPUT
//
// INPUT is a 16-bit PCM WAV file, or raw 16-bit little-endian PCM when --rate
// is given; OUTPUT is the MPEG audio stream. "-" stands for standard input or
// output. Exit status: 0 done, 1 bad input or an I/O failure (OUTPUT is then
// left as it was), 2 usage.
//
// What it does, per ISO/IEC 11172-3 Annex C and ISO/IEC 13818-3:
//   - the analysis subband filter of C.1.3 (window C of Table C.1);
//   - scale factors per part of 12 subband samples and, for Layer II,
//     scale-factor selection information by the transmission patterns of
//     Table C.4;
//   - a greedy bit allocation that repeatedly gives one more quantizer step
//     to the subband with the lowest mask-to-noise ratio, the mask being the
//     absolute threshold of hearing (no psychoacoustic model: this keeps the
//     noise floor level under the threshold curve, which also serves the
//     plain signal-to-noise ratio well);
//   - quantization and grouping per Table 3-B.4;
//   - CBR with padding, so every bitrate is met exactly at 44.1 and 22.05 kHz;
//   - stereo, dual channel, single channel, and joint stereo as intensity
//     stereo above a bound chosen per frame (the widest stereo band for which
//     the allocation still covers every subband's mask); optional CRC-16.
//
// The filterbank delay (analysis plus synthesis, 481 samples) is taken out:
// after 31 samples of silence the first 16 subband slots are dropped, so that
// decoded sample n lines up with input sample n and the stream carries
// ceil(samples / frame size) frames. The price is that what the dropped slots
// held of the first 481 input samples is lost: a signal that starts at full
// level fades in over those 11 ms, while an input that begins with silence
// comes out whole.
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "encode_tables.h"

namespace {

using namespace enc;

constexpr double kPi = 3.14159265358979323846;

// Bitrates in kbit/s by [lsf][bitrate_index], ISO/IEC 11172-3 2.4.2.3 and
// ISO/IEC 13818-3 2.4.2.3; index 0 (free format) is not produced.
constexpr int kLayer1Kbps[2][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
};
constexpr int kLayer2Kbps[2][15] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
// Sampling frequencies by [lsf][sampling_frequency code].
constexpr int kSampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};

enum Mode { kModeStereo = 0, kModeJoint = 1, kModeDual = 2, kModeMono = 3 };
const char* const kModeNames[4] = {"stereo", "joint", "dual", "mono"};

// Input samples of silence placed before the signal and subband slots dropped
// after the filterbank, so that 481 + kLeadZeros = 32 * kDroppedSlots: the
// decoder's output then starts with input sample 0.
constexpr int kLeadZeros = 31;
constexpr int kDroppedSlots = 16;

// Level of a full-scale subband signal against the threshold of hearing.
constexpr double kFullScaleDb = 96.0;

// ---------------------------------------------------------------------------
// Options and stream parameters

struct Options {
    int layer = 2;
    int kbps = 0;            // 0: the default for layer, version and mode
    int mode = -1;           // -1: from the input's channel count
    bool crc = false;
    int rawRate = 0;         // > 0: the input is raw PCM
    int rawChannels = 0;
    bool quiet = false;
    int bands = 32;          // subbands that may carry signal (a band-limited stream)
    const char* input = nullptr;
    const char* output = nullptr;
};

struct StreamParams {
    int layer;
    int lsf;                 // 0 MPEG-1, 1 MPEG-2 low sampling frequencies
    int rateCode;
    int rate;
    int bitrateIndex;
    int kbps;
    int mode;
    int nch;                 // coded channels: 1 for single channel, else 2
    bool crc;
    int table;               // Layer II allocation table, 0..4
    int sblimit;             // subbands that carry allocation
    int parts;               // scale-factor parts per frame: 3 (Layer II), 1 (Layer I)
    int frameSamples;        // 1152 (Layer II) or 384 (Layer I)
    int slotBytes;           // 1 (Layer II) or 4 (Layer I)
    int slotsPerFrame;       // whole slots of an unpadded frame
    int slotRemainder;       // the fraction of a slot left over, in 1/rate
    double athDb[32];        // threshold of hearing per subband, dB SPL (full scale = 96 dB)
};

// Prints "vorlo-encode: MESSAGE" on standard error and returns status.
int Fail(int status, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int Fail(int status, const char* fmt, ...) {
    std::fputs("vorlo-encode: ", stderr);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
    return status;
}

int Usage() {
    std::fputs(
        "usage: vorlo-encode [options] INPUT OUTPUT\n"
        "  INPUT   16-bit PCM WAV file, or raw 16-bit little-endian PCM with --rate\n"
        "          (\"-\" reads standard input)\n"
        "  OUTPUT  MPEG audio stream (\"-\" writes standard output)\n"
        "options:\n"
        "  -l, --layer N       1 or 2 (default 2)\n"
        "  -b, --bitrate KBPS  bitrate in kbit/s (default 96 per channel for MPEG-1\n"
        "                      Layer II, 48 for MPEG-2; twice that for Layer I)\n"
        "  -m, --mode MODE     stereo, joint, dual or mono (default: stereo for two\n"
        "                      channels, mono for one; mono downmixes a stereo input)\n"
        "  -p, --crc           protect each frame with a CRC-16\n"
        "      --rate HZ       the input is raw PCM at this sample rate\n"
        "      --channels N    raw input channels, 1 or 2 (default 2)\n"
        "      --bands N       code only subbands 0..N-1 (1..32): a band-limited stream\n"
        "  -q, --quiet         no summary line\n"
        "Sample rates: 32000, 44100, 48000 (MPEG-1); 16000, 22050, 24000 (MPEG-2).\n",
        stderr);
    return 2;
}

// Parses a whole decimal integer; 0 when the text is not one.
bool ParseInt(const char* text, int* value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno || *end || v < 0 || v > 1000000) return false;
    *value = static_cast<int>(v);
    return true;
}

// Parses the command line; returns 0 when it is usable, else the exit status.
int ParseOptions(int argc, char** argv, Options* opt) {
    int positional = 0;
    bool channelsGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasInline = false;
        if (arg.size() > 2 && arg[0] == '-' && arg[1] == '-') {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInline = true;
            }
        }
        auto takeValue = [&](const char* name) -> const char* {
            if (hasInline) return value.c_str();
            if (i + 1 >= argc) {
                Fail(2, "option %s needs a value", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            Usage();
            return 2;
        } else if (arg == "-q" || arg == "--quiet") {
            opt->quiet = true;
        } else if (arg == "-p" || arg == "--crc") {
            opt->crc = true;
        } else if (arg == "--bands") {
            const char* v = takeValue("--bands");
            if (!v) return 2;
            if (!ParseInt(v, &opt->bands) || opt->bands < 1 || opt->bands > 32)
                return Fail(2, "--bands must be 1..32, not \"%s\"", v);
        } else if (arg == "-l" || arg == "--layer") {
            const char* v = takeValue("--layer");
            if (!v) return 2;
            if (!ParseInt(v, &opt->layer) || opt->layer < 1 || opt->layer > 2)
                return Fail(2, "--layer must be 1 or 2, not \"%s\"", v);
        } else if (arg == "-b" || arg == "--bitrate") {
            const char* v = takeValue("--bitrate");
            if (!v) return 2;
            if (!ParseInt(v, &opt->kbps) || opt->kbps == 0)
                return Fail(2, "--bitrate takes kbit/s, not \"%s\"", v);
        } else if (arg == "-m" || arg == "--mode") {
            const char* v = takeValue("--mode");
            if (!v) return 2;
            opt->mode = -1;
            for (int m = 0; m < 4; ++m)
                if (std::strcmp(v, kModeNames[m]) == 0) opt->mode = m;
            if (opt->mode < 0) return Fail(2, "--mode must be stereo, joint, dual or mono, not \"%s\"", v);
        } else if (arg == "--rate") {
            const char* v = takeValue("--rate");
            if (!v) return 2;
            if (!ParseInt(v, &opt->rawRate) || opt->rawRate == 0)
                return Fail(2, "--rate takes a sample rate in Hz, not \"%s\"", v);
        } else if (arg == "--channels") {
            const char* v = takeValue("--channels");
            if (!v) return 2;
            if (!ParseInt(v, &opt->rawChannels) || opt->rawChannels < 1 || opt->rawChannels > 2)
                return Fail(2, "--channels must be 1 or 2, not \"%s\"", v);
            channelsGiven = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail(2, "unknown option %s (try --help)", argv[i]);
        } else {
            if (positional == 0) opt->input = argv[i];
            else if (positional == 1) opt->output = argv[i];
            else return Fail(2, "one input and one output, please: \"%s\" is a third", argv[i]);
            ++positional;
        }
    }
    if (positional != 2) return Usage();
    if (channelsGiven && opt->rawRate == 0) return Fail(2, "--channels is for raw input; give --rate too");
    if (opt->rawRate && !channelsGiven) opt->rawChannels = 2;
    return 0;
}

// Absolute threshold of hearing in dB SPL (Terhardt's approximation).
double AthDb(double hz) {
    double k = hz / 1000.0;
    return 3.64 * std::pow(k, -0.8) - 6.5 * std::exp(-0.6 * (k - 3.3) * (k - 3.3)) + 1e-3 * k * k * k * k;
}

// Fills the stream parameters from the options and the input format, or
// explains why the combination is not a legal stream.
int SetupStream(const Options& opt, int rate, int inputChannels, StreamParams* sp) {
    *sp = StreamParams{};
    sp->layer = opt.layer;
    sp->lsf = -1;
    for (int lsf = 0; lsf < 2; ++lsf)
        for (int c = 0; c < 3; ++c)
            if (kSampleRates[lsf][c] == rate) sp->lsf = lsf, sp->rateCode = c;
    if (sp->lsf < 0)
        return Fail(1, "%d Hz is not an MPEG-1 or MPEG-2 sample rate (32000, 44100, 48000, 16000, 22050, 24000)",
                    rate);
    sp->rate = rate;
    sp->mode = opt.mode >= 0 ? opt.mode : (inputChannels == 2 ? kModeStereo : kModeMono);
    if (sp->mode != kModeMono && inputChannels != 2)
        return Fail(1, "mode %s needs a two-channel input", kModeNames[sp->mode]);
    sp->nch = sp->mode == kModeMono ? 1 : 2;
    sp->crc = opt.crc;

    const int(*kbpsTable)[15] = opt.layer == 1 ? kLayer1Kbps : kLayer2Kbps;
    int kbps = opt.kbps;
    if (kbps == 0) kbps = (opt.layer == 1 ? 2 : 1) * (sp->lsf ? 48 : 96) * sp->nch;
    sp->bitrateIndex = 0;
    for (int i = 1; i < 15; ++i)
        if (kbpsTable[sp->lsf][i] == kbps) sp->bitrateIndex = i;
    if (sp->bitrateIndex == 0) {
        std::string list;
        for (int i = 1; i < 15; ++i) list += (i > 1 ? " " : "") + std::to_string(kbpsTable[sp->lsf][i]);
        return Fail(1, "%d kbit/s is not a bitrate of this layer and sample rate; choose one of: %s", kbps,
                    list.c_str());
    }
    sp->kbps = kbps;
    // ISO/IEC 11172-3 2.4.2.3: MPEG-1 Layer II allows only some bitrate and
    // mode combinations.
    if (opt.layer == 2 && !sp->lsf) {
        bool ok = sp->nch == 1 ? kbps <= 192 : (kbps >= 64 && kbps != 80);
        if (!ok) return Fail(1, "%d kbit/s is not allowed for MPEG-1 Layer II in mode %s", kbps, kModeNames[sp->mode]);
    }

    if (opt.layer == 2) {
        sp->parts = 3;
        sp->frameSamples = 1152;
        sp->slotBytes = 1;
        if (sp->lsf) {
            sp->table = 4;
        } else {
            // ISO/IEC 11172-3 Table 3-B.2 (a-d) by bitrate per channel.
            int perChannel = kbps / sp->nch;
            if (perChannel <= 48) sp->table = rate == 32000 ? 3 : 2;
            else if (perChannel <= 80) sp->table = 0;
            else sp->table = rate == 48000 ? 0 : 1;
        }
        sp->sblimit = kAllocSblimit[sp->table];
        sp->slotsPerFrame = 144000 * kbps / rate;
        sp->slotRemainder = 144000 * kbps % rate;
    } else {
        sp->parts = 1;
        sp->frameSamples = 384;
        sp->slotBytes = 4;
        sp->table = -1;
        sp->sblimit = 32;
        sp->slotsPerFrame = 12000 * kbps / rate;
        sp->slotRemainder = 12000 * kbps % rate;
    }
    for (int sb = 0; sb < 32; ++sb) {
        double lo = rate * sb / 64.0, hi = rate * (sb + 1) / 64.0, best = 1e9;
        for (int k = 0; k <= 16; ++k) {
            double hz = lo + (hi - lo) * k / 16.0;
            if (hz >= 20.0) best = std::fmin(best, AthDb(hz));
        }
        sp->athDb[sb] = best;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// PCM input

struct PcmSource {
    FILE* f = nullptr;
    bool ownFile = false;
    int rate = 0;
    int channels = 0;
    bool limited = false;      // a WAV data chunk of known size
    uint64_t remaining = 0;    // bytes left in it
    uint64_t frames = 0;       // sample frames delivered
    bool eof = false;
    bool readError = false;
    bool truncated = false;    // the data chunk ended early or on a partial frame
};

uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool SkipBytes(FILE* f, uint64_t n) {
    unsigned char scratch[4096];
    while (n > 0) {
        size_t step = n > sizeof scratch ? sizeof scratch : static_cast<size_t>(n);
        if (std::fread(scratch, 1, step, f) != step) return false;
        n -= step;
    }
    return true;
}

// Reads a RIFF WAVE header up to the start of the sample data. Accepts
// 16-bit PCM (format 1, or WAVE_FORMAT_EXTENSIBLE with the PCM subformat),
// one or two channels.
int OpenWav(PcmSource* src, const char* name) {
    unsigned char head[12];
    if (std::fread(head, 1, 12, src->f) != 12 || std::memcmp(head, "RIFF", 4) || std::memcmp(head + 8, "WAVE", 4))
        return Fail(1, "%s: not a WAV file (give --rate for raw PCM)", name);
    bool haveFormat = false;
    for (;;) {
        unsigned char ck[8];
        if (std::fread(ck, 1, 8, src->f) != 8) return Fail(1, "%s: WAV file without a data chunk", name);
        uint32_t size = Le32(ck + 4);
        if (!std::memcmp(ck, "fmt ", 4)) {
            unsigned char fmt[40] = {};
            if (size < 16) return Fail(1, "%s: WAV format chunk too short", name);
            size_t take = size < sizeof fmt ? size : sizeof fmt;
            if (std::fread(fmt, 1, take, src->f) != take || !SkipBytes(src->f, size - take + (size & 1)))
                return Fail(1, "%s: WAV format chunk cut short", name);
            int tag = Le16(fmt);
            if (tag == 0xFFFE && size >= 40) tag = Le16(fmt + 24);  // the subformat GUID's first word
            int channels = Le16(fmt + 2), bits = Le16(fmt + 14);
            if (tag != 1 || bits != 16)
                return Fail(1, "%s: only 16-bit PCM WAV files are supported (this one is format %d, %d bits)", name,
                            tag, bits);
            if (channels < 1 || channels > 2)
                return Fail(1, "%s: only mono and stereo are supported (this one has %d channels)", name, channels);
            src->channels = channels;
            src->rate = static_cast<int>(Le32(fmt + 4));
            haveFormat = true;
        } else if (!std::memcmp(ck, "data", 4)) {
            if (!haveFormat) return Fail(1, "%s: WAV data chunk before its format chunk", name);
            // Writers that stream to a pipe leave 0xFFFFFFFF here: read to the end then.
            src->limited = size != 0xFFFFFFFFu;
            src->remaining = size;
            return 0;
        } else if (!SkipBytes(src->f, static_cast<uint64_t>(size) + (size & 1))) {
            return Fail(1, "%s: WAV file without a data chunk", name);
        }
    }
}

// Reads up to max sample frames as doubles in [-1, 1), channel 1 duplicated
// from channel 0 for mono input. Returns the count; 0 at the end.
int ReadPcm(PcmSource* src, double* left, double* right, int max) {
    if (src->eof) return 0;
    unsigned char buf[4096 * 4];
    size_t frameBytes = 2u * src->channels;
    size_t want = static_cast<size_t>(max) * frameBytes;
    if (want > sizeof buf) want = sizeof buf - sizeof buf % frameBytes;
    if (src->limited && want > src->remaining) want = static_cast<size_t>(src->remaining);
    size_t got = want ? std::fread(buf, 1, want, src->f) : 0;
    if (src->limited) src->remaining -= got;
    if (got < want || (src->limited && src->remaining < frameBytes)) {
        if (std::ferror(src->f)) src->readError = true;
        if (src->limited && (src->remaining > 0 || got < want)) src->truncated = true;
        src->eof = true;
    }
    if (got % frameBytes) src->truncated = true;
    int n = static_cast<int>(got / frameBytes);
    for (int i = 0; i < n; ++i) {
        const unsigned char* p = buf + i * frameBytes;
        left[i] = static_cast<int16_t>(Le16(p)) / 32768.0;
        right[i] = src->channels == 2 ? static_cast<int16_t>(Le16(p + 2)) / 32768.0 : left[i];
    }
    src->frames += n;
    return n;
}

// The encoder's view of the input: kLeadZeros of silence, the input, then
// silence without end (src->frames counts the real sample frames).
struct Feed {
    PcmSource* src;
    double buf[2][4096];
    int len = 0;
    int pos = 0;
    int lead = kLeadZeros;
};

void FeedNext(Feed* feed, double* l, double* r) {
    if (feed->lead > 0) {
        --feed->lead;
        *l = *r = 0.0;
        return;
    }
    if (feed->pos == feed->len) {
        feed->pos = 0;
        feed->len = ReadPcm(feed->src, feed->buf[0], feed->buf[1], 4096);
    }
    if (feed->pos < feed->len) {
        *l = feed->buf[0][feed->pos];
        *r = feed->buf[1][feed->pos];
        ++feed->pos;
    } else {
        *l = *r = 0.0;
    }
}

// ---------------------------------------------------------------------------
// Analysis subband filter, ISO/IEC 11172-3 C.1.3

double g_matrix[32][64];  // M[i][k] = cos((2i + 1)(k - 16) pi / 64)

void InitAnalysis() {
    for (int i = 0; i < 32; ++i)
        for (int k = 0; k < 64; ++k) g_matrix[i][k] = std::cos((2 * i + 1) * (k - 16) * kPi / 64.0);
}

struct Analysis {
    double x[512];  // X[0] is the newest input sample
};

// Shifts in 32 new samples (oldest first) and computes the 32 subband samples.
void AnalysisFilter(Analysis* a, const double in[32], double s[32]) {
    std::memmove(a->x + 32, a->x, 480 * sizeof(double));
    for (int i = 0; i < 32; ++i) a->x[31 - i] = in[i];
    double y[64];
    for (int i = 0; i < 64; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 8; ++j) sum += kAnalysisWindow[i + 64 * j] * a->x[i + 64 * j];
        y[i] = sum;
    }
    for (int i = 0; i < 32; ++i) {
        double sum = 0.0;
        for (int k = 0; k < 64; ++k) sum += g_matrix[i][k] * y[k];
        s[i] = sum;
    }
}

// ---------------------------------------------------------------------------
// Bit writer

struct BitWriter {
    unsigned char* buf;
    size_t bit;  // next bit to write, counted from the first byte's MSB
};

void PutBits(BitWriter* bw, uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
        if ((value >> i) & 1) bw->buf[bw->bit >> 3] |= static_cast<unsigned char>(0x80 >> (bw->bit & 7));
        ++bw->bit;
    }
}

// The CRC-16 of ISO/IEC 11172-3 error_check (generator x^16 + x^15 + x^2 + 1,
// register preset to all ones) over bits [from, to) of buf, continuing crc.
unsigned Crc16Bits(unsigned crc, const unsigned char* buf, size_t from, size_t to) {
    for (size_t b = from; b < to; ++b) {
        unsigned bit = (buf[b >> 3] >> (7 - (b & 7))) & 1;
        unsigned top = (crc >> 15) & 1;
        crc = (crc << 1) & 0xFFFF;
        if (top ^ bit) crc ^= 0x8005;
    }
    return crc;
}

// ---------------------------------------------------------------------------
// Scale factors

// The index of the smallest scale factor of Table 3-B.1 that is larger than
// the peak (index 0 when none is), as ISO/IEC 11172-3 Annex C computes it.
int ScaleFactorIndex(double peak) {
    int i = kScaleFactorCount - 1;
    while (i > 0 && kScaleFactor[i] <= peak) --i;
    return i;
}

struct ScfChoice {
    int idx[3];  // the index each part is coded with (Layer I: idx[0] only)
    int scfsi;   // Layer II scale-factor selection information
    int count;   // scale factors transmitted
};

int ScfClass(int d) {
    if (d <= -3) return 0;
    if (d < 0) return 1;
    if (d == 0) return 2;
    if (d < 3) return 3;
    return 4;
}

// ISO/IEC 11172-3 Table C.4: which scale factors a part uses, by the classes
// of scf1 - scf2 and scf2 - scf3. Digits 1..3 name a part's own scale factor,
// 4 the largest of the three (the smallest index). Every pattern gives each
// part a scale factor at least as large as its own.
constexpr const char* kScfPattern[5][5] = {
    {"123", "122", "122", "133", "123"},
    {"113", "111", "111", "444", "113"},
    {"111", "111", "111", "333", "113"},
    {"222", "222", "222", "333", "123"},
    {"123", "122", "122", "133", "123"},
};

ScfChoice ChooseScfsi(const int idx[3]) {
    const char* pat = kScfPattern[ScfClass(idx[0] - idx[1])][ScfClass(idx[1] - idx[2])];
    int largest = idx[0] < idx[1] ? idx[0] : idx[1];
    if (idx[2] < largest) largest = idx[2];
    ScfChoice c{};
    for (int p = 0; p < 3; ++p) c.idx[p] = pat[p] == '4' ? largest : idx[pat[p] - '1'];
    if (c.idx[0] != c.idx[1] && c.idx[1] != c.idx[2]) c.scfsi = 0, c.count = 3;
    else if (c.idx[0] == c.idx[1] && c.idx[1] == c.idx[2]) c.scfsi = 2, c.count = 1;
    else if (c.idx[0] == c.idx[1]) c.scfsi = 1, c.count = 2;
    else c.scfsi = 3, c.count = 2;
    return c;
}

// ---------------------------------------------------------------------------
// Quantization and bit allocation

struct Quantizer {
    int steps;
    int bits;      // per codeword
    bool grouped;  // one codeword carries three samples
};

int Nbal(const StreamParams& sp, int sb) { return sp.layer == 1 ? 4 : kAllocNbal[sp.table][sb]; }

int MaxAlloc(const StreamParams& sp, int sb) { return sp.layer == 1 ? 14 : (1 << Nbal(sp, sb)) - 1; }

// The quantizer of allocation value a >= 1 (Layer I: 2^(a+1) - 1 steps).
Quantizer QuantizerFor(const StreamParams& sp, int sb, int a) {
    if (sp.layer == 1) return {(1 << (a + 1)) - 1, a + 1, false};
    const QuantClass& q = kQuantClass[kAllocClass[sp.table][sb][a]];
    return {q.steps, q.bits, q.grouped};
}

// Sample bits of one channel's subband over a frame at allocation a.
int SampleBits(const StreamParams& sp, int sb, int a) {
    if (a == 0) return 0;
    Quantizer q = QuantizerFor(sp, sb, a);
    int samples = 12 * sp.parts;
    return q.grouped ? q.bits * samples / 3 : q.bits * samples;
}

// Signal-to-noise ratio of a quantizer relative to its full scale,
// ISO/IEC 11172-3 Table C.5.
double QuantizerSnrDb(int steps) {
    switch (steps) {
    case 3: return 7.00;
    case 5: return 11.00;
    case 7: return 16.00;
    case 9: return 20.84;
    case 15: return 25.28;
    case 31: return 31.59;
    case 63: return 37.75;
    case 127: return 43.84;
    case 255: return 49.89;
    case 511: return 55.93;
    case 1023: return 61.96;
    case 2047: return 67.98;
    case 4095: return 74.01;
    case 8191: return 80.03;
    case 16383: return 86.05;
    case 32767: return 92.01;
    default: return 98.01;  // 65535
    }
}

// The code of the nearest of the `steps` levels 2k/steps to x/scf; this is
// the A*x + B quantizer of ISO/IEC 11172-3 Annex C (take the top bits, invert
// the first) in closed form. Codes run 0..steps-1, so all ones never occurs.
int QuantizeSample(double x, double scf, int steps) {
    int half = (steps - 1) / 2;
    int k = static_cast<int>(std::floor(x / scf * steps * 0.5 + 0.5));
    if (k > half) k = half;
    if (k < -half) k = -half;
    return k + half;
}

// One frame's subband samples and what the allocation needs to know of them.
struct FrameAnalysis {
    double x[2][32][36];     // [channel][sb][sample]
    ScfChoice own[2][32];    // each channel's scale factors
    double smr[2][32];       // signal-to-mask ratio per channel, dB
    bool silent[2][32];
    // Intensity stereo (joint mode): the sum (L + R) / 2, its normalization
    // per part, and each channel's scale factors when sb lies past the bound.
    double sum[32][36];
    double sumNorm[32][3];
    ScfChoice joint[2][32];
};

int ScfBits(const StreamParams& sp, const ScfChoice& c) { return sp.layer == 1 ? 6 : 2 + 6 * c.count; }

ScfChoice ChooseScfsiFor(const StreamParams& sp, const int idx[3]) {
    return sp.layer == 1 ? ScfChoice{{idx[0], idx[0], idx[0]}, 0, 1} : ChooseScfsi(idx);
}

// Intensity stereo: both channels carry the normalized sum, each scaled back by its own scale factors, so channel c
// comes out as sum * scf_c / norm. With g_c the channel's level relative to
// the sum over the frame, the louder channel's scale factors fix the norm
// (scf / g, which stays above the sum's peak) and reproduce it exactly; the
// quieter channel gets the nearest scale factors, within 1 dB.
void AnalyseIntensity(const StreamParams& sp, FrameAnalysis* fa, const double energy[2][32]) {
    int samples = 12 * sp.parts;
    for (int sb = 0; sb < sp.sblimit; ++sb) {
        double sumEnergy = 0.0, peak[3] = {0.0, 0.0, 0.0};
        for (int n = 0; n < samples; ++n) {
            double v = 0.5 * (fa->x[0][sb][n] + fa->x[1][sb][n]);
            fa->sum[sb][n] = v;
            sumEnergy += v * v;
            peak[n / 12] = std::fmax(peak[n / 12], std::fabs(v));
        }
        if (sumEnergy == 0.0) {  // silence, or the channels cancel: nothing to carry
            int silentIdx[3] = {62, 62, 62};
            fa->joint[0][sb] = fa->joint[1][sb] = ChooseScfsiFor(sp, silentIdx);
            for (int p = 0; p < 3; ++p) fa->sumNorm[sb][p] = 1.0;
            continue;
        }
        double g[2] = {std::sqrt(energy[0][sb] / sumEnergy), std::sqrt(energy[1][sb] / sumEnergy)};
        int loud = g[1] > g[0] ? 1 : 0, quiet = 1 - loud;
        int need[3] = {62, 62, 62};
        for (int p = 0; p < sp.parts; ++p) need[p] = ScaleFactorIndex(g[loud] * peak[p]);
        ScfChoice louder = ChooseScfsiFor(sp, need);
        ScfChoice quieter = louder;
        for (int p = 0; p < 3; ++p) {
            double norm = kScaleFactor[louder.idx[p]] / g[loud];
            fa->sumNorm[sb][p] = norm;
            int idx = 62;
            if (g[quiet] > 0.0) {
                long v = std::lround(3.0 * (1.0 - std::log2(g[quiet] * norm)));
                idx = v < 0 ? 0 : v > 62 ? 62 : static_cast<int>(v);
            }
            quieter.idx[p] = idx;  // parts that share the louder's scale factor share this one too
        }
        fa->joint[loud][sb] = louder;
        fa->joint[quiet][sb] = quieter;
    }
}

void AnalyseFrame(const StreamParams& sp, FrameAnalysis* fa) {
    double energy[2][32] = {};
    for (int ch = 0; ch < sp.nch; ++ch) {
        for (int sb = 0; sb < sp.sblimit; ++sb) {
            int idx[3] = {0, 0, 0};
            double peak = 0.0;
            for (int p = 0; p < sp.parts; ++p) {
                double partPeak = 0.0;
                for (int n = 12 * p; n < 12 * p + 12; ++n) {
                    double v = fa->x[ch][sb][n];
                    partPeak = std::fmax(partPeak, std::fabs(v));
                    energy[ch][sb] += v * v;
                }
                idx[p] = ScaleFactorIndex(partPeak);
                peak = std::fmax(peak, partPeak);
            }
            fa->own[ch][sb] = ChooseScfsiFor(sp, idx);
            fa->silent[ch][sb] = peak == 0.0;
            double level = peak > 0.0 ? 20.0 * std::log10(peak) + kFullScaleDb : -200.0;
            fa->smr[ch][sb] = level - sp.athDb[sb];
        }
    }
    if (sp.mode == kModeJoint) AnalyseIntensity(sp, fa, energy);
}

struct Allocation {
    int bound;             // first intensity-coded subband; sblimit when none
    int alloc[2][32];
    double minMnr;         // lowest mask-to-noise ratio of a non-silent unit
};

// Greedy allocation within budgetBits (the frame minus header and CRC):
// while bits remain, give one more step to the unit (a channel's subband, or
// both channels' above the bound) with the lowest mask-to-noise ratio.
void Allocate(const StreamParams& sp, const FrameAnalysis& fa, int bound, int budgetBits, Allocation* out) {
    struct Unit {
        int sb, ch;        // ch 2: both channels (intensity)
        int alloc;
        double smr;
        int scfBits;
    };
    Unit units[64];
    int count = 0;
    int budget = budgetBits;
    for (int sb = 0; sb < sp.sblimit; ++sb) {
        if (sb < bound) {
            budget -= Nbal(sp, sb) * sp.nch;
            for (int ch = 0; ch < sp.nch; ++ch) {
                if (fa.silent[ch][sb]) continue;
                units[count++] = Unit{sb, ch, 0, fa.smr[ch][sb], ScfBits(sp, fa.own[ch][sb])};
            }
        } else {
            budget -= Nbal(sp, sb);
            if (fa.silent[0][sb] && fa.silent[1][sb]) continue;
            units[count++] = Unit{sb, 2, 0, std::fmax(fa.smr[0][sb], fa.smr[1][sb]),
                                  ScfBits(sp, fa.joint[0][sb]) + ScfBits(sp, fa.joint[1][sb])};
        }
    }
    for (;;) {
        int best = -1;
        double bestMnr = 1e300;
        int bestCost = 0;
        for (int u = 0; u < count; ++u) {
            const Unit& un = units[u];
            if (un.alloc >= MaxAlloc(sp, un.sb)) continue;
            int cost = SampleBits(sp, un.sb, un.alloc + 1) - SampleBits(sp, un.sb, un.alloc);
            if (un.alloc == 0) cost += un.scfBits;
            if (cost > budget) continue;
            double mnr = (un.alloc ? QuantizerSnrDb(QuantizerFor(sp, un.sb, un.alloc).steps) : 0.0) - un.smr;
            if (mnr < bestMnr) best = u, bestMnr = mnr, bestCost = cost;
        }
        if (best < 0) break;
        ++units[best].alloc;
        budget -= bestCost;
    }
    std::memset(out->alloc, 0, sizeof out->alloc);
    out->bound = bound;
    out->minMnr = 1e300;
    for (int u = 0; u < count; ++u) {
        const Unit& un = units[u];
        if (un.ch == 2) out->alloc[0][un.sb] = out->alloc[1][un.sb] = un.alloc;
        else out->alloc[un.ch][un.sb] = un.alloc;
        double mnr = (un.alloc ? QuantizerSnrDb(QuantizerFor(sp, un.sb, un.alloc).steps) : 0.0) - un.smr;
        out->minMnr = std::fmin(out->minMnr, mnr);
    }
}

// ---------------------------------------------------------------------------
// Frame assembly

// Encodes one frame from fa (subband samples filled in) into buf, which
// holds frameBytes zeroed bytes. The allocation never spends more than the
// frame holds; the rest of the frame stays zero (ancillary data).
void EncodeFrame(const StreamParams& sp, FrameAnalysis* fa, int padding, unsigned char* buf, int frameBytes) {
    AnalyseFrame(sp, fa);
    int budget = frameBytes * 8 - 32 - (sp.crc ? 16 : 0);

    Allocation al;
    int modeExtension = 0;
    if (sp.mode == kModeJoint) {
        // Widest stereo band whose allocation still meets every mask; if none
        // does, the bound with the best worst-case mask-to-noise ratio.
        Allocation best{};
        int bestExt = -1;
        bool bestMeets = false;
        for (int ext = 3; ext >= 0; --ext) {
            int bound = 4 * ext + 4;
            if (bound > sp.sblimit) continue;  // bound never lies past sblimit
            Allocation trial;
            Allocate(sp, *fa, bound, budget, &trial);
            bool meets = trial.minMnr >= 0.0;
            if (bestExt < 0 || (meets && !bestMeets) || (!bestMeets && trial.minMnr > best.minMnr)) {
                best = trial;
                bestExt = ext;
                bestMeets = meets;
            }
            if (meets) break;
        }
        al = best;
        modeExtension = bestExt;
    } else {
        Allocate(sp, *fa, sp.sblimit, budget, &al);
    }
    const int bound = al.bound;
    const int nch = sp.nch;

    BitWriter bw{buf, 0};
    // header (ISO/IEC 11172-3 and 13818-3 bitstream syntax)
    PutBits(&bw, 0xFFF, 12);             // syncword
    PutBits(&bw, sp.lsf ? 0 : 1, 1);     // ID
    PutBits(&bw, 4 - sp.layer, 2);       // layer
    PutBits(&bw, sp.crc ? 0 : 1, 1);     // protection_bit
    PutBits(&bw, sp.bitrateIndex, 4);    // bitrate_index
    PutBits(&bw, sp.rateCode, 2);        // sampling_frequency
    PutBits(&bw, padding, 1);            // padding_bit
    PutBits(&bw, 0, 1);                  // private_bit
    PutBits(&bw, sp.mode, 2);            // mode
    PutBits(&bw, modeExtension, 2);      // mode_extension
    PutBits(&bw, 0, 1);                  // copyright
    PutBits(&bw, 0, 1);                  // original/copy
    PutBits(&bw, 0, 2);                  // emphasis
    if (sp.crc) PutBits(&bw, 0, 16);     // crc_check, filled in below
    size_t protectedStart = bw.bit;

    auto scf = [&](int ch, int sb) -> const ScfChoice& { return sb < bound ? fa->own[ch][sb] : fa->joint[ch][sb]; };

    // allocation
    for (int sb = 0; sb < sp.sblimit; ++sb) {
        if (sb < bound)
            for (int ch = 0; ch < nch; ++ch) PutBits(&bw, al.alloc[ch][sb], Nbal(sp, sb));
        else
            PutBits(&bw, al.alloc[0][sb], Nbal(sp, sb));
    }
    // scfsi (Layer II)
    if (sp.layer == 2)
        for (int sb = 0; sb < sp.sblimit; ++sb)
            for (int ch = 0; ch < nch; ++ch)
                if (al.alloc[ch][sb]) PutBits(&bw, scf(ch, sb).scfsi, 2);
    size_t protectedEnd = bw.bit;
    // scale factors
    for (int sb = 0; sb < sp.sblimit; ++sb) {
        for (int ch = 0; ch < nch; ++ch) {
            if (!al.alloc[ch][sb]) continue;
            const ScfChoice& c = scf(ch, sb);
            if (sp.layer == 1) {
                PutBits(&bw, c.idx[0], 6);
                continue;
            }
            switch (c.scfsi) {
            case 0: PutBits(&bw, c.idx[0], 6); PutBits(&bw, c.idx[1], 6); PutBits(&bw, c.idx[2], 6); break;
            case 1: PutBits(&bw, c.idx[0], 6); PutBits(&bw, c.idx[2], 6); break;
            case 2: PutBits(&bw, c.idx[0], 6); break;
            default: PutBits(&bw, c.idx[0], 6); PutBits(&bw, c.idx[1], 6); break;
            }
        }
    }
    // samples: Layer II in 12 granules of 3, Layer I in 12 single samples
    int granules = 12, perGranule = sp.layer == 2 ? 3 : 1;
    for (int gr = 0; gr < granules; ++gr) {
        int part = sp.layer == 2 ? gr / 4 : 0;
        for (int sb = 0; sb < sp.sblimit; ++sb) {
            int codedSignals = sb < bound ? nch : 1;
            for (int k = 0; k < codedSignals; ++k) {
                int a = al.alloc[k][sb];
                if (!a) continue;
                Quantizer q = QuantizerFor(sp, sb, a);
                double scale = sb < bound ? kScaleFactor[fa->own[k][sb].idx[part]] : fa->sumNorm[sb][part];
                const double* x = (sb < bound ? fa->x[k][sb] : fa->sum[sb]) + gr * perGranule;
                if (q.grouped) {
                    int code = 0;
                    for (int j = 2; j >= 0; --j) code = code * q.steps + QuantizeSample(x[j], scale, q.steps);
                    PutBits(&bw, code, q.bits);
                } else {
                    for (int j = 0; j < perGranule; ++j) PutBits(&bw, QuantizeSample(x[j], scale, q.steps), q.bits);
                }
            }
        }
    }
    if (bw.bit > static_cast<size_t>(frameBytes) * 8) {
        std::fprintf(stderr, "vorlo-encode: internal error: frame overrun (%zu of %d bits)\n", bw.bit, frameBytes * 8);
        std::abort();
    }
    if (sp.crc) {
        unsigned crc = Crc16Bits(0xFFFF, buf, 16, 32);  // header bits from bitrate_index on
        crc = Crc16Bits(crc, buf, protectedStart, protectedEnd);
        buf[4] = static_cast<unsigned char>(crc >> 8);
        buf[5] = static_cast<unsigned char>(crc);
    }
}

// ---------------------------------------------------------------------------

int Encode(const Options& opt) {
    PcmSource src;
    const char* inName = opt.input;
    if (std::strcmp(inName, "-") == 0) {
        src.f = stdin;
        inName = "standard input";
    } else {
        src.f = std::fopen(inName, "rb");
        if (!src.f) return Fail(1, "cannot open %s: %s", inName, std::strerror(errno));
        src.ownFile = true;
    }
    struct Closer {
        PcmSource* s;
        ~Closer() { if (s->ownFile) std::fclose(s->f); }
    } closer{&src};

    if (opt.rawRate) {
        src.rate = opt.rawRate;
        src.channels = opt.rawChannels;
    } else if (OpenWav(&src, inName)) {
        return 1;
    }
    StreamParams sp;
    if (SetupStream(opt, src.rate, src.channels, &sp)) return 1;

    bool toStdout = std::strcmp(opt.output, "-") == 0;
    std::string partName = toStdout ? std::string() : std::string(opt.output) + ".part";
    FILE* out = toStdout ? stdout : std::fopen(partName.c_str(), "wb");
    if (!out) return Fail(1, "cannot create %s: %s", partName.c_str(), std::strerror(errno));
    auto abandon = [&](int status) {
        if (!toStdout) {
            std::fclose(out);
            std::remove(partName.c_str());
        }
        return status;
    };

    InitAnalysis();
    static Feed feed;
    feed = Feed{};
    feed.src = &src;
    static Analysis analysis[2];
    std::memset(analysis, 0, sizeof analysis);
    static FrameAnalysis fa;
    unsigned char frame[2048];

    const int slotsPerFrame = 12 * sp.parts;
    long long slots = 0;
    int slotInFrame = 0;
    long long frames = 0;
    int paddingAcc = 0;
    for (;;) {
        if (src.eof && frames * sp.frameSamples >= static_cast<long long>(src.frames)) break;
        double in[2][32];
        for (int i = 0; i < 32; ++i) {
            double l, r;
            FeedNext(&feed, &l, &r);
            if (sp.nch == 1) in[0][i] = 0.5 * (l + r);
            else in[0][i] = l, in[1][i] = r;
        }
        for (int ch = 0; ch < sp.nch; ++ch) {
            double s[32];
            AnalysisFilter(&analysis[ch], in[ch], s);
            if (slots < kDroppedSlots) continue;
            for (int sb = 0; sb < 32; ++sb) fa.x[ch][sb][slotInFrame] = sb < opt.bands ? s[sb] : 0.0;
        }
        if (slots++ < kDroppedSlots) continue;
        if (++slotInFrame < slotsPerFrame) continue;
        slotInFrame = 0;

        int padding = 0;
        paddingAcc += sp.slotRemainder;
        if (paddingAcc >= sp.rate) {
            paddingAcc -= sp.rate;
            padding = 1;
        }
        int frameBytes = (sp.slotsPerFrame + padding) * sp.slotBytes;
        std::memset(frame, 0, sizeof frame);
        EncodeFrame(sp, &fa, padding, frame, frameBytes);
        if (std::fwrite(frame, 1, frameBytes, out) != static_cast<size_t>(frameBytes))
            return abandon(Fail(1, "cannot write %s: %s", toStdout ? "standard output" : partName.c_str(),
                                std::strerror(errno)));
        ++frames;
    }
    if (src.readError) return abandon(Fail(1, "read error on %s", inName));
    if (src.frames == 0) return abandon(Fail(1, "%s holds no samples; nothing written", inName));
    if (std::fflush(out) != 0 || (!toStdout && std::fclose(out) != 0)) {
        if (!toStdout) std::remove(partName.c_str());
        return Fail(1, "cannot write %s: %s", toStdout ? "standard output" : partName.c_str(), std::strerror(errno));
    }
    if (!toStdout && std::rename(partName.c_str(), opt.output) != 0) {
        std::remove(partName.c_str());
        return Fail(1, "cannot rename the output to %s: %s", opt.output, std::strerror(errno));
    }
    if (src.truncated)
        std::fprintf(stderr, "vorlo-encode: warning: %s ends inside its sample data; encoded what was there\n",
                     inName);
    if (!opt.quiet) {
        static const char* const modeText[4] = {"stereo", "joint stereo", "dual channel", "single channel"};
        std::fprintf(stderr, "vorlo-encode: %s: %lld frames, %s Layer %s, %d Hz, %s, %d kbit/s%s\n",
                     toStdout ? "standard output" : opt.output, frames, sp.lsf ? "MPEG-2" : "MPEG-1",
                     sp.layer == 1 ? "I" : "II", sp.rate, modeText[sp.mode], sp.kbps, sp.crc ? ", CRC" : "");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    int status = ParseOptions(argc, argv, &opt);
    if (status) return status;
    return Encode(opt);
}
