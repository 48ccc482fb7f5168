// Helpers of the tests of the layer decoders and the synthesis: frame
// bodies written bit by bit, the settings they decode with, and the PCM
// caught on its way out (a recording output driver and a PCM buffer of the
// player's size, installed for the lifetime of a PcmCapture).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/input.h"
#include "decoder/synth.h"
#include "output/output_driver.h"
#include "settings/settings.h"

namespace testutil {

// MSB-first bit writer of a frame body.
struct BitWriter {
    std::vector<uint8_t> bytes;
    int bits = 0;
    void Put(unsigned value, int n) {
        for (int i = n - 1; i >= 0; i--) {
            if (bits % 8 == 0) bytes.push_back(0);
            if (i < 32 && ((value >> i) & 1)) bytes.back() |= static_cast<uint8_t>(0x80 >> (bits % 8));
            bits++;
        }
    }
    void PutCode(const std::string& code) {
        for (char c : code) Put(c == '1', 1);
    }
    // Puts the bytes at the start of frame buffer `slot` (zeros behind them)
    // and points the reader there.
    void Load(int slot = 0) const {
        uint8_t* body = FrameBuffer(slot);
        std::memset(body, 0, kBodyAreaSize);
        if (!bytes.empty()) std::memcpy(body, bytes.data(), bytes.size());
        g_frames.currentBuffer = body;
        ResetBitReader();
    }
};

// The settings the decoder tests run with (MappingMode 2, the equaliser
// off) for the lifetime of the object; those before are put back.
class DecoderSettings {
public:
    DecoderSettings() : saved_(g_settings) {
        g_settings.MappingMode = 2;
        g_settings.EqEnabled = 0;
    }
    ~DecoderSettings() { g_settings = saved_; }
    DecoderSettings(const DecoderSettings&) = delete;
    DecoderSettings& operator=(const DecoderSettings&) = delete;

private:
    Settings saved_;
};

// What the recording driver took, in order.
struct PcmRecord {
    std::vector<uint8_t> pcm;
    int writeResult = 0;  // nonzero: what Write returns instead of taking all
};
inline PcmRecord g_pcmRecord;

inline int RecordPcm(int length, const uint8_t* data) {
    if (g_pcmRecord.writeResult) return g_pcmRecord.writeResult;
    if (length > 0 && data) g_pcmRecord.pcm.insert(g_pcmRecord.pcm.end(), data, data + length);
    return length;
}

// Points g_outputDriver at a driver whose Write is `write` (RecordPcm by
// default, with the record cleared) and PcmBuffer at a zeroed, empty buffer
// of kPcmBufferSize bytes; both are put back when the object goes.
class PcmCapture {
public:
    explicit PcmCapture(int (*write)(int, const uint8_t*) = RecordPcm) : buf_(kPcmBufferSize, 0) {
        g_pcmRecord = PcmRecord{};
        driver_.Write = write;
        saved_ = g_outputDriver;
        g_outputDriver = &driver_;
        PcmBuffer.data = buf_.data();
        PcmBuffer.fill = 0;
    }
    ~PcmCapture() {
        g_outputDriver = saved_;
        PcmBuffer.data = nullptr;
        PcmBuffer.fill = 0;
    }
    PcmCapture(const PcmCapture&) = delete;
    PcmCapture& operator=(const PcmCapture&) = delete;

private:
    AudioOutputDriver driver_{};
    const AudioOutputDriver* saved_ = nullptr;
    std::vector<uint8_t> buf_;
};

// Moves what the PCM buffer still holds (not yet offered to the driver) to
// the end of the record.
inline void TakeUnflushedPcm() {
    g_pcmRecord.pcm.insert(g_pcmRecord.pcm.end(), PcmBuffer.data, PcmBuffer.data + PcmBuffer.fill);
    PcmBuffer.fill = 0;
}

}  // namespace testutil
