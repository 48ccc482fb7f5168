// vorlo-decode: the command-line face of the decoder.
//
//   vorlo-decode --info FILE     the stream's facts, one key=value a line;
//                                tag_* the ID3v1 tag's fields, id3v2_* the
//                                ID3v2 texts (UTF-8), each when there is one;
//                                rg_track_gain, rg_track_peak, rg_album_gain,
//                                rg_album_peak the ReplayGain values found
//                                (a station's URL adds stream_name= and
//                                stream_title=, its first StreamTitle)
//   vorlo-decode --list INPUT    the playlist INPUT makes (a file, a PLS or
//                                M3U list, a directory, a URL): path, length
//                                in ms (or ?), title and artist, tab-separated
//                                (a URL's title: the one its list gives, else
//                                the station's name or first StreamTitle)
//   vorlo-decode [options] INPUT OUTPUT
//                                decodes INPUT (a file, a URL, or a playlist
//                                or directory, played through as the player
//                                does) through the player's own path
//                                (decoder thread, PCM buffer, output driver)
//                                into OUTPUT: a .wav file, or - for the raw
//                                PCM on standard output; when the sample
//                                rate changes within a list, the next file
//                                is OUTPUT with -2, -3, ... before its
//                                extension
//     --downsample 0|1|2         full, half or quarter sample rate
//     --mono                     mono output
//     --8bit                     8-bit output
//     --eq G0,...,G11            the equaliser on, with these band gains
//     --replaygain off|track|album|auto
//                                the ReplayGain mode (default off); auto is
//                                album, or track with --shuffle
//     --preamp DB                added to a tagged gain (-15..15)
//     --untagged-gain DB         the gain of a file without one (-15..15)
//     --no-clip-prevention       the gain may push the peak past full scale
//     --shuffle                  shuffle play on (a list is shuffled)
//     --yes                      answer Yes to questions (default No)
//     --save-dir DIR             save a copy of an HTTP stream into DIR
//
// Messages that the player shows in a box go to standard error as
// "CAPTION: TEXT"; so does each new title of a station while it plays, as
// "Stream title: TITLE". Exit status: 0 the input played to its end, 1 the input
// could not be opened, held no MPEG audio or could not be written out
// (always with a message saying which), 2 usage.
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decoder/decoder_thread.h"
#include "decoder/equalizer.h"
#include "decoder/frame.h"
#include "decoder/input.h"
#include "output/http_stream.h"
#include "output/stream_titles.h"
#include "output/wav_file.h"
#include "platform/dir.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "playlist/playlist.h"
#include "playlist/playlist_files.h"
#include "playlist/playlist_listing.h"
#include "settings/settings.h"
#include "tag/replay_gain.h"
#include "tag/title_tags.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

int g_yesToQuestions = 0;
std::atomic<int> g_messages{0};  // messages shown so far

int StderrMessageBox(void*, const char* text, const char* caption, unsigned flags) {
    g_messages++;
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    if ((flags & 0xF) == plat::MbYesNo) return g_yesToQuestions ? plat::IdYes : plat::IdNo;
    return plat::IdOk;
}

int Usage() {
    std::fputs("usage: vorlo-decode --info FILE\n"
               "       vorlo-decode --list INPUT\n"
               "       vorlo-decode [--downsample 0|1|2] [--mono] [--8bit] [--eq G0,...,G11] [--yes]"
               " [--save-dir DIR]\n"
               "                    [--replaygain off|track|album|auto] [--preamp DB] [--untagged-gain DB]"
               " [--no-clip-prevention] [--shuffle] INPUT OUTPUT.wav|-\n",
               stderr);
    return 2;
}

// One tag's texts as --info prints them: PREFIX_title=... and so on.
void PrintTexts(const char* prefix, const char* title, const char* artist, const char* album, const char* year,
                const char* comment, const char* genre) {
    const char* names[] = {"title", "artist", "album", "year", "comment", "genre"};
    const char* values[] = {title, artist, album, year, comment, genre};
    for (int i = 0; i < 6; i++) std::printf("%s_%s=%s\n", prefix, names[i], values[i]);
}

// The ReplayGain values found, gains in dB and peaks as amplitudes.
void PrintReplayGain(plat::File f, const StreamLayout& layout) {
    ReplayGainValues rg;
    ReadReplayGain(f, layout, &rg);
    const char* names[kRgValueCount] = {"track_gain", "track_peak", "album_gain", "album_peak"};
    for (int i = 0; i < kRgValueCount; i++)
        if (rg.has[i]) std::printf(i % 2 ? "rg_%s=%.6f\n" : "rg_%s=%.2f\n", names[i], rg.value[i]);
}

// The first title of the station --info looks at, taken at its notice (the
// download thread runs ahead of the frames read).
const char* g_infoPath = "";
char g_firstTitle[kPlaylistPathSize];
std::atomic<int> g_titleNotices{0};

intptr_t TakeFirstTitle(void*, unsigned msg, uintptr_t, intptr_t, bool) {
    if (msg != kNoticeStreamTitle || g_titleNotices.load() > 0) return 0;
    if (!GetStreamTitle(g_infoPath, g_firstTitle, sizeof g_firstTitle)) g_firstTitle[0] = '\0';
    g_titleNotices.store(1);
    return 0;
}

// A station's name, and its first StreamTitle: the frames are read on (at
// most a few thousand) until the first title has come.
void PrintStationInfo(StreamInfo* si) {
    if (g_urlStream.stationName[0]) std::printf("stream_name=%s\n", g_urlStream.stationName);
    if (!g_urlStream.metaint) return;
    for (int frames = 0; g_titleNotices.load() == 0 && frames < 5000 && ReadFrame(si) == 1; frames++) {
    }
    if (g_titleNotices.load() > 0) std::printf("stream_title=%s\n", g_firstTitle);
}


int PrintInfo(const char* path) {
    g_infoPath = path;
    plat::SetNoticeHook(TakeFirstTitle);
    if (!OpenInput(path)) {
        char text[300];
        std::snprintf(text, sizeof text, "Could not open file: %.259s", path);
        plat::ShowMessageBox(plat::MainWindow(), text, "Decoder Error Message...", plat::MbIconError);
        return 1;
    }
    ResetHeaderHistory();
    StreamInfo si{};
    si.channelSelect = -1;
    if (ReadFrame(&si) != 1) {
        CloseInput();
        return 1;
    }
    int kbps = kBitrateTable[si.lsf][si.layer - 1][si.bitrateIndex];
    int frames = GetFrameCount(&si);
    double seconds = frames * FrameDuration(si.layer, si.lsf, si.sampleRateIndex);
    // With the encoder's delay and padding trimmed, the track is the encoder's input.
    const StreamLayout& layout = GetStreamLayout();
    bool trimmed = layout.gapless != 0;
    if (trimmed) seconds = static_cast<double>(layout.samples) / kSampleRateTable[si.sampleRateIndex];
    std::printf("layer=%d\n", si.layer);
    std::printf("version=%s\n", si.mpeg25 ? "2.5" : si.lsf ? "2" : "1");
    std::printf("samplerate=%d\n", kSampleRateTable[si.sampleRateIndex]);
    std::printf("bitrate=%d\n", kbps);
    std::printf("mode=%d\n", si.mode);
    std::printf("channels=%d\n", si.channels);
    std::printf("crc=%d\n", si.crcPresent);
    std::printf("frames=%d\n", frames);
    if (trimmed) std::printf("samples=%lld\n", static_cast<long long>(layout.samples));
    std::printf("seconds=%d\n", static_cast<int>(seconds));
    if (g_input.isNetwork) PrintStationInfo(&si);
    CloseInput();

    plat::File f = plat::FileOpenRead(path);
    if (f) {
        Id3v1Tag tag{};
        Id3v2Tag v2;
        TitleTags titles;
        ReadTitleTags(f, &titles, &tag, &v2);
        if (tag.valid) PrintTexts("tag", tag.title, tag.artist, tag.album, tag.year, tag.comment, tag.genreName);
        // The ID3v2 texts, UTF-8, behind the ID3v1 lines and in their order.
        if (v2.valid) {
            std::printf("id3v2_version=2.%d.%d\n", v2.version, v2.revision);
            PrintTexts("id3v2", v2.title, v2.artist, v2.album, v2.year, v2.comment, v2.genre);
        }
        PrintReplayGain(f, layout);
        plat::FileClose(f);
    }
    return 0;
}

// ------------------------------------------------------------ decoding

const char* g_outputPath = nullptr;  // the answer to the save dialog
plat::Event g_idle = nullptr;        // the decoder thread is waiting for a command
plat::Event g_closed = nullptr;      // the output has been closed
DecoderTrackReport g_report{};
int g_trackEnded = 0;

int g_saveDialogs = 0;  // how often the output has asked for a file

// The first file is OUTPUT; a list whose sample rate changes asks again and
// gets OUTPUT-2, OUTPUT-3, ...
int AnswerSaveDialog(void*, const char*, const char*, const char*, char* path, size_t size) {
    int n = ++g_saveDialogs;
    if (n == 1) {
        std::snprintf(path, size, "%s", g_outputPath);
        return 1;
    }
    return MakeNumberedOutputName(g_outputPath, n, path, size);
}

char g_playing[kPlaylistPathSize];  // the input being played

// The main window's side of the notices: the end of the track, and a
// station's titles.
intptr_t OnNotice(void*, unsigned msg, uintptr_t, intptr_t, bool) {
    if (msg == DNOTE_TRACK_END) g_trackEnded = 1;
    if (msg == kNoticeStreamLost)
        plat::ShowMessageBox(plat::MainWindow(), kConnectionLostText, kInternetErrorCaption, plat::MbOk);
    if (msg == kNoticeSaveFailed)
        plat::ShowMessageBox(plat::MainWindow(), kSaveWriteErrorText, kSaveErrorCaption,
                             plat::MbOk | plat::MbIconWarning);
    char title[kPlaylistPathSize];
    if (msg == kNoticeStreamTitle && GetStreamTitle(g_playing, title, sizeof title)) {
        std::fprintf(stderr, "Stream title: %s\n", title);
        std::fflush(stderr);
    }
    return 0;
}

void OnIdle(const DecoderTrackReport& report) {
    g_report = report;
    plat::EventSet(g_idle);
}

// Output system 1 as the tool uses it: the WAV file, or raw PCM on standard
// output; Close also tells the main thread that the output is done.
AudioOutputDriver g_toolDriver;
int (*g_innerClose)(int) = nullptr;

int ToolClose(int immediate) {
    int r = g_innerClose(immediate);
    plat::EventSet(g_closed);
    return r;
}

int g_stdoutOpen = 0;
int StdoutOpen(int, int, int, int, float, int) { return g_stdoutOpen = 1; }
int StdoutClose(int) {
    std::fflush(stdout);
    g_stdoutOpen = 0;
    return 0;
}
int StdoutIsOpen() { return g_stdoutOpen; }
// Whether all n bytes reached standard output. The Windows C runtime leaves
// a character device (NUL, a console) unbuffered and then writes a block
// smaller than its 4 KB buffer byte by byte, one system call each (the
// decoder hands over 3 KB at 11.025 kHz): there the block goes to the file
// descriptor in one write.
bool WriteStdout(const uint8_t* data, size_t n) {
#ifdef _WIN32
    while (n > 0) {
        const int k = _write(_fileno(stdout), data, static_cast<unsigned>(n));
        if (k <= 0) return false;
        data += k;
        n -= size_t(k);
    }
    return true;
#else
    return std::fwrite(data, 1, n, stdout) == n;
#endif
}

int StdoutWrite(int length, const uint8_t* data) {
    if (length <= 0) return length;
    if (!WriteStdout(data, size_t(length))) {
        plat::ShowMessageBox(plat::MainWindow(), "Could not write to file", "Wave file output error",
                             plat::MbOk | plat::MbIconWarning);
        return -1;
    }
    return length;
}

// Standard output paces the decoder thread itself, as the wave device does:
// a write blocks while the reader is behind. One buffer, so the thread does
// not sleep after each progress step as it does for a WAV file (which only
// leaves a window room to draw; the tool has none).
int StdoutGetBufferCount() { return 1; }

bool ParseGains(const char* text, float* gains) {
    const char* p = text;
    for (int i = 0; i < kEqBandCount; i++) {
        char* end = nullptr;
        double g = std::strtod(p, &end);
        if (end == p || g < 0.0 || g > 2.0) return false;
        gains[i] = static_cast<float>(g);
        p = end;
        if (i < kEqBandCount - 1) {
            if (*p != ',') return false;
            p++;
        }
    }
    return *p == '\0';
}

// The player's defaults, with the WAV file as the output.
void DefaultSettings() {
    LoadDefaultSettings();
    g_settings.AudioOutputSystem = 1;
}

// A playlist file or a directory is played entry by entry.
bool IsListInput(const char* input) {
    if (std::strstr(input, "://")) return false;
    if (plat::GetPathKind(input) == plat::PathIsDirectory) return true;
    size_t n = std::strlen(input);
    auto endsWith = [&](const char* ext) {
        size_t e = std::strlen(ext);
        if (n < e) return false;
        for (size_t k = 0; k < e; k++)
            if (std::tolower(static_cast<unsigned char>(input[n - e + k])) != ext[k]) return false;
        return true;
    };
    return endsWith(".pls") || endsWith(".m3u");
}

int Decode(const char* input, const char* output) {
    g_outputPath = output;
    char path[260];
    bool list = IsListInput(input);
    if (list) {
        g_settings.ReadFileInfo = 0;  // lengths and tags are not needed to play
        PlaylistClear();
        PlaylistOpenItem(kOpenLocal, input);
        if (g_settings.ShufflePlay == 1) PlaylistShuffle();
        if (!PlaylistFirstToPlay(0, path, sizeof path)) {
            std::fprintf(stderr, "vorlo-decode: %s holds nothing to play\n", input);
            g_messages++;
            return 1;
        }
    } else if (std::strlen(input) >= sizeof path) {
        // Never played cut: a cut name is some other file, a cut URL another stream.
        std::fprintf(stderr, "vorlo-decode: %s is longer than a path (259 bytes)\n", input);
        return 1;
    } else {
        std::snprintf(path, sizeof path, "%s", input);
    }
    bool toStdout = std::strcmp(output, "-") == 0;
    if (toStdout) {
        g_toolDriver = kWavFileDriver;  // the stubs
        g_toolDriver.Open = StdoutOpen;
        g_toolDriver.Close = StdoutClose;
        g_toolDriver.IsOpen = StdoutIsOpen;
        g_toolDriver.Write = StdoutWrite;
        g_toolDriver.GetBufferCount = StdoutGetBufferCount;
    } else {
        g_toolDriver = kWavFileDriver;
        plat::SetSaveDialogHook(AnswerSaveDialog);
    }
    g_innerClose = g_toolDriver.Close;
    g_toolDriver.Close = ToolClose;
    OverrideOutputSystem(1, &g_toolDriver);
    plat::SetNoticeHook(OnNotice);
    SetDecoderIdleHook(OnIdle);
    SetTrackGainHook(TrackReplayGain);
    g_idle = plat::EventCreate(false, false);
    g_closed = plat::EventCreate(true, false);
    ComputeEqualizerTable(g_settings.EqBand);

    int tid = StartDecoderThread(nullptr);
    if (tid < 0) {
        std::fputs("vorlo-decode: could not start the decoder thread\n", stderr);
        g_messages++;
        return 1;
    }
    // As the main window does: play an entry, and at its end step to the
    // next; a stop (the output refused its data) ends the list.
    int played = 0;
    bool stopped = false;
    for (;;) {
        g_trackEnded = 0;
        std::snprintf(g_playing, sizeof g_playing, "%s", path);
        PostPlay(path, tid);
        plat::EventWait(g_idle, plat::kWaitInfinite);
        if (g_report.stopped && g_report.opened) {
            stopped = true;
            break;
        }
        if (g_trackEnded && g_report.framesDecoded > 0) played++;
        if (!list || !PlaylistNextToPlay(0, path, sizeof path)) break;
    }
    if (g_toolDriver.IsOpen()) {
        // The end of the playlist: the output plays out what it holds.
        PostCloseOutput(tid);
        plat::EventWait(g_closed, plat::kWaitInfinite);
    }
    ShutdownDecoderThread(tid);
    plat::EventClose(g_idle);
    plat::EventClose(g_closed);
    std::fflush(stdout);
    return played > 0 && !stopped && (list || g_trackEnded) ? 0 : 1;
}

// A failure that no message has explained yet gets one line of its own.
int Failed(int status, const char* input, const char* what) {
    if (status != 0 && g_messages.load() == 0) std::fprintf(stderr, "vorlo-decode: %s %s\n", input, what);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    plat::SetMessageBoxHook(StderrMessageBox);
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0)
        return Failed(PrintInfo(argv[2]), argv[2], "gave no MPEG audio frame");
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0) {
        DefaultSettings();
        return Failed(PrintPlaylistListing(argv[2], stdout) > 0 ? 0 : 1, argv[2], "holds nothing to list");
    }

    DefaultSettings();
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; i++) {
        const char* a = argv[i];
        if (std::strcmp(a, "--downsample") == 0 && i + 1 < argc) {
            const char* v = argv[++i];
            if (std::strlen(v) != 1 || v[0] < '0' || v[0] > '2') return Usage();
            g_settings.DownSample = v[0] - '0';
        } else if (std::strcmp(a, "--mono") == 0) {
            g_settings.Channels = 3;
        } else if (std::strcmp(a, "--8bit") == 0) {
            g_settings.AudioOutput8Bit = 1;
        } else if (std::strcmp(a, "--eq") == 0 && i + 1 < argc) {
            if (!ParseGains(argv[++i], g_settings.EqBand)) return Usage();
            g_settings.EqEnabled = 1;
        } else if (std::strcmp(a, "--replaygain") == 0 && i + 1 < argc) {
            const char* modes[] = {"off", "track", "album", "auto"};
            const char* v = argv[++i];
            int m = 0;
            while (m < 4 && std::strcmp(v, modes[m]) != 0) m++;
            if (m == 4) return Usage();
            g_settings.ReplayGainMode = m;
        } else if ((std::strcmp(a, "--preamp") == 0 || std::strcmp(a, "--untagged-gain") == 0) && i + 1 < argc) {
            double db;
            if (!ParseGainText(argv[++i], &db) || db < -15.0 || db > 15.0) return Usage();
            (a[2] == 'p' ? g_settings.ReplayGainPreamp : g_settings.ReplayGainUntagged) = static_cast<float>(db);
        } else if (std::strcmp(a, "--no-clip-prevention") == 0) {
            g_settings.ReplayGainPreventClip = 0;
        } else if (std::strcmp(a, "--shuffle") == 0) {
            g_settings.ShufflePlay = 1;
        } else if (std::strcmp(a, "--yes") == 0) {
            g_yesToQuestions = 1;
        } else if (std::strcmp(a, "--save-dir") == 0 && i + 1 < argc) {
            g_settings.DownloadOption = 1;
            std::snprintf(g_settings.InternetDLDir, sizeof g_settings.InternetDLDir, "%s", argv[++i]);
        } else {
            return Usage();
        }
    }
    if (argc - i != 2) return Usage();
    return Failed(Decode(argv[i], argv[i + 1]), argv[i], "was not played");
}
