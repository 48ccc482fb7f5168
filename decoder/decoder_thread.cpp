// The decoder thread: the play, stop, seek and close commands, the frame
// loop, and the notices back to the main window.
#include "decoder/decoder_thread.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/layer12.h"
#include "decoder/layer3.h"
#include "decoder/synth.h"
#include "output/vis_feed.h"
#include "output/wav_file.h"
#include "output/wave_out.h"
#include "platform/platform.h"
#include "platform/thread.h"
#include "settings/settings.h"

namespace {

constexpr int kPathSize = 260;

// Thread-owned state: touched by the decoder thread only.
struct DecoderState {
    void* mainWindow;
    char path[kPathSize];
    StreamInfo si;
    int priority;         // DecoderPriority as last applied
    int outputSystem;     // AudioOutputSystem as last applied
    int eqVolume;         // EqVolume as last applied
    int eightBitAtStart;  // AudioOutput8Bit when the thread started
    int outputRate;       // the output was last opened with these
    int outputChannelsOpen;
    int outputBitsOpen;
    int monoOutput;
    int eightBit;
    int bufferCount;
    int frameCounter;
    int firstFrame;
    int stopped;
    int framesDecoded;
    int gapless;          // the track's first frame gave a gapless window
    GaplessWindow window;
};
DecoderState g_dec;

enum LoopResult { kLoopIdle, kLoopQuit };

std::atomic<int> g_lastProgress{-1};
char g_playPath[kPathSize];
plat::Thread g_thread = nullptr;
std::atomic<DecoderIdleHook> g_idleHook{nullptr};
std::atomic<TrackGainHook> g_gainHook{nullptr};

// The driver table: the chosen system's slots, with Write guarded.
AudioOutputDriver g_driverTable;
int (*g_realWrite)(int, const uint8_t*) = nullptr;
std::atomic<int> g_outputRefused{0};
const AudioOutputDriver* g_override[2] = {nullptr, nullptr};

int GuardedWrite(int length, const uint8_t* data) {
    int r = g_realWrite(length, data);
    if (r < 0) g_outputRefused.store(1);
    return r;
}

const AudioOutputDriver* Out() { return g_outputDriver; }

void ApplyPriority(int setting) {
    g_dec.priority = setting;
    plat::SetCurrentThreadPriority(MapDecoderPriority(setting));
}

void ApplyVolume() {
    g_dec.eqVolume = g_settings.EqVolume;
    Out()->SetVolume(g_settings.EqVolume * 4);
}

void Notify(unsigned msg, intptr_t lParam, bool sent) {
    if (sent)
        plat::SendNotice(g_dec.mainWindow, msg, 0, lParam);
    else
        plat::PostNotice(g_dec.mainWindow, msg, 0, lParam);
}

// Hands the PCM waiting in PcmBuffer to the output, in pieces the driver
// takes, until it is empty or the driver takes no more.
void WritePcmTail() {
    while (PcmHandOver(Out()) > 0) {
    }
    PcmBuffer.fill = 0;
}

// Sets up the output for the current header. Returns 0 when the driver
// could not be opened.
int ConfigureOutput() {
    StreamInfo& si = g_dec.si;
    si.outputRate = kSampleRateTable[si.sampleRateIndex] >> si.downsample;
    si.outputBits = g_dec.eightBit ? 8 : 16;
    si.outputChannels = g_dec.monoOutput ? 1 : 2;
    PcmBuffer.threshold = PcmThreshold(si.sampleRateIndex, si.downsample, g_dec.eightBit);
    bool open = Out()->IsOpen() != 0;
    if (open && (si.outputRate != g_dec.outputRate || si.outputChannels != g_dec.outputChannelsOpen ||
                 si.outputBits != g_dec.outputBitsOpen)) {
        // Another format: what is still waiting belongs to the previous
        // track and is played out in its own format before the reopen.
        WritePcmTail();
        Out()->Close(0);
        open = false;
    }
    if (!open) {
        if (!Out()->Open(si.outputRate, si.outputChannels, g_settings.WinMMOutputDev, PcmBuffer.threshold,
                         g_settings.AudioBufTime, g_dec.eightBit))
            return 0;
        g_dec.outputRate = si.outputRate;
        g_dec.outputChannelsOpen = si.outputChannels;
        g_dec.outputBitsOpen = si.outputBits;
        ApplyVolume();
    }
    g_dec.firstFrame = 0;
    return 1;
}

// The encoder's delay and padding, when the track's layout trims by them,
// make the output hold exactly the encoder's input.
void StartGaplessWindow() {
    const StreamLayout& lay = GetStreamLayout();
    g_dec.gapless = lay.gapless;
    g_dec.window = lay.window;
    if (g_dec.gapless)
        PcmSetWindow(g_dec.window.start, g_dec.window.end);
    else
        PcmClearWindow();
}

// The track's output gain, from the hook (ReplayGain).
void StartTrackGain() {
    TrackGainHook hook = g_gainHook.load();
    PcmSetGain(hook && !g_input.isNetwork ? hook(g_dec.path, GetStreamLayout()) : 1.0);
}

// A network stream's frames cannot be counted ahead: once it holds more
// than its VBR header says, the rest plays untrimmed.
void CheckGaplessEnd() {
    if (g_dec.gapless && FramesRead() > GetStreamLayout().vbr.frames) {
        g_dec.gapless = 0;
        PcmSetWindow(g_dec.window.start, INT64_MAX);
    }
}

void Seek(int percent) {
    StreamInfo* si = &g_dec.si;
    float part = float(percent) * 0.01f;
    int n = static_cast<int>(float(GetFrameCount(si)) * part);
    if (g_dec.gapless) {
        // The percentage of the trimmed track, as a frame of the decoded one.
        const double sample = double(g_dec.window.start) + double(part) * double(g_dec.window.end - g_dec.window.start);
        n = static_cast<int>(sample / SamplesPerFrame(si->layer, si->lsf));
    }
    if (!SeekToFrame(si, n)) return;
    PcmBuffer.fill = 0;
    std::memset(PcmBuffer.data, 0, size_t(PcmBuffer.threshold));
    Out()->Flush();
    g_dec.frameCounter = n;
    const int seconds = GetPlayedSeconds(si);
    Out()->SetPosition(seconds);
    // The visual records of the old position are void; the new ones are
    // stamped from the position the driver now counts from.
    FlushVisFeed();
    SetLayer3PlayedBytes(uint32_t(seconds) *
                         uint32_t(si->outputRate * si->outputChannels * (si->outputBits / 8)));
}

void PostProgress() {
    int count = GetFrameCount(&g_dec.si);
    int percent = count > 0 ? static_cast<int>(float(g_dec.frameCounter) / float(count) * 100.0f) : 0;
    if (percent != g_lastProgress.load()) {
        g_lastProgress.store(percent);
        Notify(DNOTE_PROGRESS, percent, false);
        // The WAV file does not pace the thread; leave the interface room.
        if (g_dec.bufferCount < 1) plat::SleepMs(1);
    }
}

LoopResult FrameLoop() {
    StreamInfo* si = &g_dec.si;
    // Under Wine every look at the queue is a round trip to the server, which
    // costs more than decoding a frame when the output does not pace the
    // thread (a WAV file). The queue is looked at when a message has been
    // posted through the thread layer since the last look, and in any case
    // when kLookMs have passed (for posts from elsewhere): a command waits
    // for at most one frame, or kLookMs when not posted through ThreadPost.
    constexpr uint32_t kLookMs = 10;
    uint32_t lastLook = plat::TickCount() - kLookMs;
    uint32_t postsSeen = plat::ThreadPostCount();
    bool more = true;  // the last look found a message: there may be another
    // A seek needs the stream's first header (its frame length and the
    // reference word that the search matches); one that comes earlier waits
    // for the first frame instead of searching the file for nothing.
    int pendingSeek = -1;
    for (;;) {
        if (pendingSeek >= 0 && !g_dec.firstFrame) {
            Seek(pendingSeek);
            pendingSeek = -1;
        }
        plat::ThreadMsg m;
        const uint32_t now = plat::TickCount();
        const uint32_t posts = plat::ThreadPostCount();
        const bool look = more || posts != postsSeen || now - lastLook >= kLookMs;
        if (look) {
            lastLook = now;
            postsSeen = posts;
        }
        more = look && plat::ThreadPeekMessage(&m);
        if (more) {
            if (m.msg == plat::kMsgQuit) return kLoopQuit;
            if (m.msg == DCMD_STOP) {
                g_dec.stopped = 1;
                break;
            }
            if (m.msg == DCMD_SEEK) {
                if (g_dec.firstFrame)
                    pendingSeek = static_cast<int>(m.lParam);
                else
                    Seek(static_cast<int>(m.lParam));
            }
            // Anything else is dropped while playing.
        }
        if (!ReadFrame(si)) break;
        if (g_dec.firstFrame) {
            StartGaplessWindow();
            StartTrackGain();
        }
        CheckGaplessEnd();
        if (si->crcPresent) GetBits(16);
        if ((g_dec.firstFrame || si->headerChanged) && !ConfigureOutput()) {
            g_dec.stopped = 1;
            break;
        }
        g_dec.framesDecoded++;
        PcmSetWindowPosition(int64_t(FramesRead() - 1) * SamplesPerFrame(si->layer, si->lsf));
        int r = si->layerDecoder(si);
        if (r < 0 || g_outputRefused.load()) {
            // The output refused its data (a full disk): end as a stop.
            g_dec.stopped = 1;
            break;
        }
        if (r == 0) continue;
        PostProgress();
        if (g_settings.EqVolume != g_dec.eqVolume) ApplyVolume();
        if (g_settings.DecoderPriority != g_dec.priority) ApplyPriority(g_settings.DecoderPriority);
        g_dec.frameCounter++;
    }
    CloseInput();
    if (!g_dec.stopped) {
        Notify(DNOTE_PROGRESS, 100, true);
        Notify(DNOTE_TRACK_END, 0, true);
    } else {
        Out()->Flush();
        Out()->Close(1);
        PcmBuffer.fill = 0;
    }
    return kLoopIdle;
}

LoopResult Play() {
    StreamInfo* si = &g_dec.si;
    g_dec.stopped = 0;
    g_dec.frameCounter = 0;
    g_dec.framesDecoded = 0;
    g_outputRefused.store(0);
    si->channelSelect = g_settings.Channels;
    si->downsample = g_settings.DownSample < 0 || g_settings.DownSample > 2 ? 0 : g_settings.DownSample;

    if (g_settings.AudioOutputSystem != g_dec.outputSystem) {
        g_dec.outputSystem = g_settings.AudioOutputSystem;
        Out()->Close(1);
        SelectOutputDriver(g_dec.outputSystem);
    }
    if (g_settings.EqVolume != g_dec.eqVolume) ApplyVolume();
    g_dec.monoOutput = g_settings.Channels >= 0 ? 1 : 0;
    si->outputChannels = g_dec.monoOutput ? 1 : 2;
    g_dec.eightBit = g_settings.AudioOutput8Bit != 0 ? 1 : 0;
    if (g_settings.AudioOutput8Bit != g_dec.eightBitAtStart) Out()->Close(1);
    SelectSynthesis(si, si->downsample, g_dec.eightBit, g_dec.monoOutput);
    InitLayer12Tables();
    InitLayer3Tables(si->downsample);
    g_dec.bufferCount = Out()->GetBufferCount();

    DecoderTrackReport report{0, 0, 0};
    LoopResult result = kLoopIdle;
    if (!OpenInput(g_dec.path)) {
        char text[kPathSize + 32];
        std::snprintf(text, sizeof text, "Could not open file: %s", g_dec.path);
        plat::ShowMessageBox(g_dec.mainWindow, text, "Decoder Error Message...",
                             plat::MbIconError | plat::MbSetForeground | plat::MbTopmost);
    } else {
        report.opened = 1;
        if (Out()->IsOpen())
            Out()->Write(0, nullptr);  // the wave device marks the end of the previous track
        else
            Out()->SetPosition(0);
        Notify(DNOTE_PROGRESS, 0, true);
        Notify(DNOTE_TRACK_START, 0, true);
        ResetHeaderHistory();
        g_dec.firstFrame = 1;
        g_dec.gapless = 0;
        PcmClearWindow();
        FlushVisFeed();
        result = FrameLoop();
        report.stopped = g_dec.stopped;
        report.framesDecoded = g_dec.framesDecoded;
    }
    if (result == kLoopIdle) {
        DecoderIdleHook hook = g_idleHook.load();
        if (hook) hook(report);
    }
    return result;
}

void CloseOutput(intptr_t immediate) {
    if (immediate == 0 && Out()->IsOpen()) {
        // The end of the last track is still in PcmBuffer: play it too.
        WritePcmTail();
    }
    Out()->Close(static_cast<int>(immediate));
    PcmBuffer.fill = 0;
}

void CopyPath(char* dst, const char* src) {
    std::snprintf(dst, kPathSize, "%s", src ? src : "");
}

unsigned DecoderThreadMain(void* mainWindow) {
    g_dec = DecoderState{};
    g_dec.mainWindow = mainWindow;
    ApplyPriority(g_settings.DecoderPriority);
    g_dec.outputSystem = g_settings.AudioOutputSystem;
    SelectOutputDriver(g_dec.outputSystem);
    if (!g_outputDriver) SelectOutputDriver(0);  // an unknown system before any table was chosen
    ApplyVolume();
    g_dec.eightBitAtStart = g_settings.AudioOutput8Bit;
    PcmBuffer.data = static_cast<uint8_t*>(std::calloc(kPcmBufferSize, 1));
    PcmBuffer.fill = 0;
    g_dec.path[0] = '\0';

    plat::ThreadMsg m;
    while (plat::ThreadGetMessage(&m)) {
        LoopResult r = kLoopIdle;
        switch (m.msg) {
            case DCMD_PLAY_FILE:
                CopyPath(g_dec.path, reinterpret_cast<const char*>(m.lParam));
                r = Play();
                break;
            case DCMD_PLAY: r = Play(); break;
            case DCMD_CLOSE_OUTPUT: CloseOutput(m.lParam); break;
            case DCMD_PRIORITY:
                if (g_settings.DecoderPriority != g_dec.priority) ApplyPriority(g_settings.DecoderPriority);
                break;
            default: break;  // DCMD_STOP and DCMD_SEEK mean nothing while idle
        }
        if (r == kLoopQuit) break;
    }

    CloseInput();
    if (Out()->IsOpen()) Out()->Close(1);
    std::free(PcmBuffer.data);
    PcmBuffer.data = nullptr;
    PcmBuffer.fill = 0;
    return 1;
}

}  // namespace

int MapDecoderPriority(int setting) {
    switch (setting) {
        case 0: return plat::PriorityLowest;
        case 1: return plat::PriorityBelowNormal;
        case 2: return plat::PriorityNormal;
        case 3: return plat::PriorityAboveNormal;
        case 4: return plat::PriorityHighest;
        case 5: return plat::PriorityTimeCritical;
        default: return plat::PriorityNormal;
    }
}

void SelectOutputDriver(int system) {
    if (system != 0 && system != 1) return;
    const AudioOutputDriver* d = g_override[system];
    if (!d) d = system == 0 ? &kWaveOutDriver : &kWavFileDriver;
    g_driverTable = *d;
    g_realWrite = d->Write;
    g_driverTable.Write = GuardedWrite;
    g_outputDriver = &g_driverTable;
}

void OverrideOutputSystem(int system, const AudioOutputDriver* driver) {
    if (system == 0 || system == 1) g_override[system] = driver;
}

void SetDecoderIdleHook(DecoderIdleHook hook) { g_idleHook.store(hook); }

void SetTrackGainHook(TrackGainHook hook) { g_gainHook.store(hook); }

int LastPostedProgress() { return g_lastProgress.load(); }

int StartDecoderThread(void* mainWindow) {
    uint32_t id = 0;
    g_thread = plat::ThreadStart(DecoderThreadMain, mainWindow, kDecoderStackSize, &id);
    return g_thread ? static_cast<int>(id) : -1;
}

void ShutdownDecoderThread(int threadId) {
    plat::ThreadPost(static_cast<uint32_t>(threadId), plat::kMsgQuit, 0, 0);
    if (!g_thread) return;
    if (!plat::ThreadWait(g_thread, kDecoderShutdownWait)) plat::ThreadTerminate(g_thread, unsigned(-1));
    plat::ThreadClose(g_thread);
    g_thread = nullptr;
}

void PostPlay(const char* path, int threadId) {
    if (path) {
        CopyPath(g_playPath, path);
        plat::ThreadPost(static_cast<uint32_t>(threadId), DCMD_PLAY_FILE, 0,
                         reinterpret_cast<intptr_t>(g_playPath));
    } else {
        plat::ThreadPost(static_cast<uint32_t>(threadId), DCMD_PLAY, 0, 0);
    }
}

void PostStop(int threadId) { plat::ThreadPost(static_cast<uint32_t>(threadId), DCMD_STOP, 0, 0); }
void PostCloseOutput(int threadId) {
    plat::ThreadPost(static_cast<uint32_t>(threadId), DCMD_CLOSE_OUTPUT, 0, 0);
}
void PostSeek(int percent, int threadId) {
    plat::ThreadPost(static_cast<uint32_t>(threadId), DCMD_SEEK, 0, percent);
}
