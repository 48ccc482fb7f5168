// vorlo-decode: the command-line face of the decoder.
//
//   vorlo-decode --info FILE     the stream's facts, one key=value a line
//
// Messages that the player shows in a box go to standard error as
// "CAPTION: TEXT". Exit status: 0 done, 1 the input could not be opened or
// holds no MPEG audio, 2 usage.
#include <cstdio>
#include <cstring>

#include "decoder/frame.h"
#include "decoder/input.h"
#include "platform/platform.h"
#include "tag/id3v1.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

int g_yesToQuestions = 0;

int StderrMessageBox(void*, const char* text, const char* caption, unsigned flags) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    if ((flags & 0xF) == plat::MbYesNo) return g_yesToQuestions ? plat::IdYes : plat::IdNo;
    return plat::IdOk;
}

int Usage() {
    std::fputs("usage: vorlo-decode --info FILE\n", stderr);
    return 2;
}

int PrintInfo(const char* path) {
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
    std::printf("layer=%d\n", si.layer);
    std::printf("version=%s\n", si.mpeg25 ? "2.5" : si.lsf ? "2" : "1");
    std::printf("samplerate=%d\n", kSampleRateTable[si.sampleRateIndex]);
    std::printf("bitrate=%d\n", kbps);
    std::printf("mode=%d\n", si.mode);
    std::printf("channels=%d\n", si.channels);
    std::printf("crc=%d\n", si.crcPresent);
    std::printf("frames=%d\n", frames);
    std::printf("seconds=%d\n", static_cast<int>(seconds));
    CloseInput();

    plat::File f = plat::FileOpenRead(path);
    if (f) {
        Id3v1Tag tag{};
        if (ReadId3v1Tag(f, &tag)) {
            std::printf("tag_title=%s\n", tag.title);
            std::printf("tag_artist=%s\n", tag.artist);
            std::printf("tag_album=%s\n", tag.album);
            std::printf("tag_year=%s\n", tag.year);
            std::printf("tag_comment=%s\n", tag.comment);
            std::printf("tag_genre=%s\n", tag.genreName);
        }
        plat::FileClose(f);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    plat::SetMessageBoxHook(StderrMessageBox);
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0) return PrintInfo(argv[2]);
    return Usage();
}
