// The WAV file writer. Layout (little-endian): "RIFF" size "WAVE", a "fmt "
// chunk of 18 bytes (WAVEFORMATEX with its cbSize field), a "data" chunk
// with the PCM exactly as written, then a pad byte of 0 when the PCM count
// is odd (RIFF chunks are word aligned). The two sizes are filled in at
// Close; until then they hold 0.
#include "output/wav_file.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/thread.h"

namespace {

constexpr char kCaption[] = "Wave file output error";
constexpr uint32_t kRiffSizeOffset = 4;
constexpr uint32_t kDataSizeOffset = 42;
constexpr uint32_t kHeaderSize = 46;

// The most PCM a file takes: its RIFF size (the 38 bytes of the header
// after the size field, the data and a pad byte) must fit 32 bits.
constexpr uint64_t kWavMaxData = (0xFFFFFFFFull - (kHeaderSize - 8) - 1) & ~uint64_t{3};
static_assert(kWavMaxData == 4294967256ull, "whole frames of every format, the pad byte included");

struct WavFileState {
    plat::File file = nullptr;
    int open = 0;
    int writeFailed = 0;  // the file could not grow; the user has been told
    uint8_t buffer[kWavIoBufferSize];
    int bufferFill = 0;
    char path[260];
    WavFileWriteFn write = nullptr;
    uint64_t limit = 0;        // the tests' limit, 0 for kWavMaxData
    uint64_t fileLimit = 0;    // the PCM this file takes: whole frames up to the limit
    uint64_t dataBytes = 0;    // the PCM this file has taken so far
    int rate = 0, channels = 0, eightBit = 0;  // the format, for a next file
};
WavFileState g_wav;

int WriteBytes(const void* src, uint32_t n) {
    WavFileWriteFn fn = g_wav.write ? g_wav.write : plat::FileWrite;
    return fn(g_wav.file, src, n);
}

void Message(void* owner, const char* text) {
    plat::ShowMessageBox(owner, text, kCaption, plat::MbOk | plat::MbIconWarning);
}

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// Writes the I/O buffer to the file. On a short write, the bytes that made
// it stay in the file; the rest is dropped. Returns true when all went.
bool FlushIoBuffer() {
    int n = g_wav.bufferFill;
    g_wav.bufferFill = 0;
    return n == 0 || WriteBytes(g_wav.buffer, uint32_t(n)) == n;
}

// Asks for a file and writes its header; the format is g_wav's.
bool OpenFile() {
    g_wav.path[0] = '\0';
    static const char kFilter[] = "Waveform Audio\0*.wav\0";
    if (!plat::ShowSaveDialog(plat::MainWindow(), "Save a WaveForm Audio File...", kFilter, "WAV",
                              g_wav.path, sizeof g_wav.path))
        return false;
    g_wav.path[sizeof g_wav.path - 1] = '\0';

    uint32_t bits = g_wav.eightBit ? 8 : 16;
    uint32_t align = uint32_t(g_wav.channels) * bits / 8;
    uint8_t h[kHeaderSize];
    std::memcpy(h, "RIFF", 4);
    Put32(h + kRiffSizeOffset, 0);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 18);
    Put16(h + 20, 1);  // PCM
    Put16(h + 22, uint32_t(g_wav.channels));
    Put32(h + 24, uint32_t(g_wav.rate));
    Put32(h + 28, uint32_t(g_wav.rate) * align);
    Put16(h + 32, align);
    Put16(h + 34, bits);
    Put16(h + 36, 0);  // cbSize
    std::memcpy(h + 38, "data", 4);
    Put32(h + kDataSizeOffset, 0);

    g_wav.file = plat::FileCreate(g_wav.path);
    if (!g_wav.file) {
        Message(plat::MainWindow(), "Could not open file.");
        return false;
    }
    if (WriteBytes(h, kHeaderSize) != int(kHeaderSize)) {
        // A header that did not go out makes the file useless: remove it.
        plat::FileClose(g_wav.file);
        g_wav.file = nullptr;
        plat::FileDelete(g_wav.path);
        Message(plat::MainWindow(), "Could not write to file");
        return false;
    }
    const uint64_t limit = g_wav.limit ? g_wav.limit : kWavMaxData;
    const uint64_t frame = align ? align : 1;
    g_wav.fileLimit = limit >= frame ? limit / frame * frame : frame;
    g_wav.dataBytes = 0;
    g_wav.bufferFill = 0;
    g_wav.writeFailed = 0;
    return true;
}

void FinishFile();

// The file holds all it can: it is finished, and the PCM goes on in a next
// file, asked for as the first was (vorlo-decode answers OUT-2.wav, ...).
// False, with the user told, when there is none.
bool NextFile() {
    char full[400];
    std::snprintf(full, sizeof full, "%s holds all that a WAV file can (4 GiB); the rest goes into a new file.",
                  g_wav.path);
    FinishFile();
    Message(plat::MainWindow(), full);
    if (OpenFile()) return true;
    g_wav.open = 0;
    Message(plat::MainWindow(), "No new file: the rest of the audio was not written.");
    return false;
}

int WavOpen(int rate, int channels, int, int, float, int eightBit) {
    g_wav.rate = rate;
    g_wav.channels = channels;
    g_wav.eightBit = eightBit;
    if (!OpenFile()) return 0;
    g_wav.open = 1;
    return 1;
}

// Returns length, or -1 once the file cannot grow (the user is told once;
// everything after that is refused, and Close still finishes the file).
int WavWrite(int length, const uint8_t* data) {
    if (length <= 0) return length;
    if (!g_wav.open || g_wav.writeFailed) return -1;
    int done = 0;
    while (done < length) {
        if (g_wav.dataBytes == g_wav.fileLimit && !NextFile()) return -1;
        if (g_wav.bufferFill == kWavIoBufferSize && !FlushIoBuffer()) {
            g_wav.writeFailed = 1;
            Message(plat::MainWindow(), "Could not write to file");
            return -1;
        }
        int n = length - done;
        if (n > kWavIoBufferSize - g_wav.bufferFill) n = kWavIoBufferSize - g_wav.bufferFill;
        if (uint64_t(n) > g_wav.fileLimit - g_wav.dataBytes) n = int(g_wav.fileLimit - g_wav.dataBytes);
        std::memcpy(g_wav.buffer + g_wav.bufferFill, data + done, size_t(n));
        g_wav.bufferFill += n;
        g_wav.dataBytes += uint64_t(n);
        done += n;
    }
    return length;
}

bool WriteAt(uint32_t offset, uint32_t value) {
    uint8_t b[4];
    Put32(b, value);
    return plat::FileSeek(g_wav.file, offset, plat::SeekBegin) == int64_t(offset) &&
           WriteBytes(b, 4) == 4;
}

// Finishes the file so that it is a valid WAV of the PCM that reached the
// disk, and closes it. Each step runs whether or not an earlier one failed.
void FinishFile() {
    if (g_wav.writeFailed) {
        g_wav.bufferFill = 0;
    } else if (!FlushIoBuffer()) {
        g_wav.writeFailed = 1;
        Message(nullptr, "Could not write to file");
    }

    int64_t end = plat::FileSeek(g_wav.file, 0, plat::SeekEnd);
    uint32_t dataBytes = end > int64_t(kHeaderSize) ? uint32_t(end - kHeaderSize) : 0;
    bool ok = end >= int64_t(kHeaderSize);
    if (ok && (dataBytes & 1)) {
        static const uint8_t kPad = 0;
        if (WriteBytes(&kPad, 1) != 1) {
            // No room for the pad byte: give up the last sample byte instead.
            ok = plat::FileSeek(g_wav.file, end - 1, plat::SeekBegin) == end - 1 &&
                 plat::FileTruncate(g_wav.file);
            dataBytes--;
        }
    }
    if (!ok || !WriteAt(kDataSizeOffset, dataBytes)) Message(nullptr, "Ascend on data chunk failed!");
    uint32_t riffSize = kHeaderSize - 8 + dataBytes + (dataBytes & 1);
    if (!WriteAt(kRiffSizeOffset, riffSize)) Message(nullptr, "Ascend on RIFF chunk failed!");
    if (!plat::FileClose(g_wav.file)) Message(nullptr, "Could not close output file!");
    g_wav.file = nullptr;
}

int WavClose(int) {
    if (!g_wav.open) return 0;
    FinishFile();
    g_wav.open = 0;
    return 0;
}

int WavIsOpen() { return g_wav.open; }

int OutputStubInt(int) { return 0; }

}  // namespace

int OutputStub() { return 0; }

void SetWavFileWriter(WavFileWriteFn fn) { g_wav.write = fn; }
void SetWavFileDataLimit(uint64_t bytes) { g_wav.limit = bytes; }

const AudioOutputDriver kWavFileDriver = {
    WavOpen,    WavClose,      WavIsOpen,  WavWrite,      OutputStub, OutputStub, OutputStub,
    OutputStub, OutputStubInt, OutputStub, OutputStubInt, OutputStub, OutputStub,
};
