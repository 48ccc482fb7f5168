// The visual data queue. The Layer III decoder queues one VisRecord per
// granule, stamped with the playing position (the output driver's
// GetPosition scale, milliseconds) at which that granule has sounded; the
// feed thread drops the first record once its successor is due, so that the
// first record of the queue is the one being heard now.
//
// Threads: the decoder thread pushes and flushes, the feed thread expires,
// the interface thread starts and stops the feed. One lock guards the queue;
// it lives as long as the process, so a decoder that is still running after
// the feed has stopped (the shutdown order ends the feed first) never meets
// a deleted lock.
#pragma once

#include <cstdint>


constexpr int kVisSamples = 576;  // one granule: 18 slots x 32 subbands
// A push is refused while more than this many records are queued, so at
// most kVisQueueCap + 1 records (about 2.3 MB) are ever held, even when
// nothing expires them (the WAV file output reports position 0).
constexpr int kVisQueueCap = 1000;
constexpr unsigned kVisFeedStackSize = 16384;
constexpr unsigned kVisFeedStopWait = 3000;  // ms before the thread is ended forcibly
// The longest the feed thread sleeps while records are queued: the playing
// position may stand still or jump without a word to the feed.
constexpr unsigned kVisFeedMaxWaitMs = 50;

struct VisRecord {
    VisRecord* link;  // next record; set by the queue
    uint32_t time;    // playing position in ms at which this granule has sounded
    // Byte 18 * s + t: |subband sample| of subband s, slot t, scaled to 0..255.
    uint8_t leftMagnitude[kVisSamples];
    uint8_t rightMagnitude[kVisSamples];
    // The high byte of each of the granule's output samples.
    int8_t leftWave[kVisSamples];
    int8_t rightWave[kVisSamples];
};

// Starts the feed thread (time-critical priority). 1 when it runs (also when
// it already ran), 0 when the thread could not be started. Pushes are taken
// only while the feed runs.
int StartVisFeed();
// Ends the feed thread: a posted quit message, a wait of at most
// kVisFeedStopWait ms, then a forced end. Frees the queued records (unless
// the thread had to be ended forcibly: it may have died inside the queue).
// 1 when the thread ended by itself or was not running, 0 when it was forced.
int StopVisFeed();

// Appends a copy of record (its link is ignored). Dropped when the feed is
// not running or not shown, when more than kVisQueueCap records are queued,
// or when no memory is left. Decoder thread.
void PushVisRecord(const VisRecord* record);
// Whether the visuals can be seen (the main window is on screen; shown at
// first). While not, the queue stays empty and pushes are dropped, so
// neither the feed thread nor the decoder does any work for them.
void SetVisFeedShown(bool shown);
// Frees every queued record (a new track, a seek).
void FlushVisFeed();
// One expiry pass against the current output driver's GetPosition, as the
// feed thread runs it: drops the first record while its time has passed and
// its successor's time has passed too; a lone record is dropped once its
// time has passed. No driver: nothing is due. Returns the ms until the next
// record falls due (at most kVisFeedMaxWaitMs), plat::kWaitInfinite when
// the queue is empty: how long the feed thread sleeps.
unsigned ExpireVisRecords();

// Records queued now.
int VisRecordCount();
// Expiry passes the feed thread has made so far.
unsigned VisFeedPasses();
// Copies the queue's time stamps in order into times (at most max); returns
// how many records are queued.
int GetVisRecordTimes(uint32_t* times, int max);
// Copies the first record (the one sounding) into out; false when empty.
bool GetFirstVisRecord(VisRecord* out);

// ---------------------------------------------------------- Layer III side
// Called by the Layer III decoder on the decoder thread only.

// The playing position in ms after pcmBytes bytes of output in the given
// format: pcmBytes / (rate * channels * bits / 8 / 1000), both divisions
// truncated, which is the scale the wave device's GetPosition counts in.
uint32_t VisTimeStamp(uint32_t pcmBytes, int rate, int channels, int bits);
// Keeps a copy of slot 0..17 of the granule being synthesised (bytes: the
// slot's PCM bytes, at most 128), before the PCM buffer may hand it on.
void CaptureVisSlot(int slot, const uint8_t* pcm, int bytes);
// Builds the granule's record and pushes it: magnitudes from the subband
// samples [slot][subband] that were synthesised (left and right the same
// array for one output channel), the waveform from the captured slots in the
// output format, time from pcmBytes.
struct VisFormat {
    int channels;    // 1 or 2
    int bits;        // 8 or 16
    int downsample;  // 0 full rate, 1 half, 2 quarter
    int rate;        // Hz after down-sampling
};
void PushGranuleVisuals(const double (*left)[32], const double (*right)[32], const VisFormat& format,
                        uint32_t pcmBytes);

// The pieces of PushGranuleVisuals.
// out[18 * s + t] = min(trunc(|sb[t][s]| * 255), 255).
void FillVisMagnitudes(uint8_t* out, const double (*sb)[32]);
// pcm: one granule of interleaved output, 576 >> downsample sample frames of
// channels (1 or 2) samples of bits (16 signed, or 8 unsigned around 128).
// Mono output gives both waveforms the same bytes; a down-sampled granule is
// spread over the 576 entries (each sample held 2^downsample entries).
void FillVisWaveform(VisRecord* r, const uint8_t* pcm, int channels, int bits, int downsample);
