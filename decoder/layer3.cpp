// The Layer III frame decoder (ISO/IEC 11172-3 2.4.1.7, 2.4.2.7, 2.4.3.4;
// ISO/IEC 13818-3 2.4.3.2 for the low sampling frequencies): side
// information, the bit reservoir, scale factors, and per granule the
// spectrum, stereo, equaliser, hybrid filter bank and polyphase synthesis.
#include <algorithm>
#include <cstring>

#include "decoder/equalizer.h"
#include "decoder/frame.h"
#include "decoder/input.h"
#include "decoder/layer3_internal.h"
#include "decoder/synth.h"
#include "output/vis_feed.h"
#include "settings/settings.h"

namespace {

// MPEG-1 scale-factor bit lengths by scalefac_compress (ISO/IEC 11172-3 2.4.2.7).
const int kSlen1[16] = {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
const int kSlen2[16] = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3};

// nr_of_sfb (ISO/IEC 13818-3 Table B.3): [block class: long, short,
// mixed][table 0..5][group 0..3].
const int kNrOfSfb[3][6][4] = {
    {{6, 5, 5, 5}, {6, 5, 7, 3}, {11, 10, 0, 0}, {7, 7, 7, 0}, {6, 6, 6, 3}, {8, 8, 5, 0}},
    {{9, 9, 9, 9}, {9, 9, 12, 6}, {18, 18, 0, 0}, {12, 12, 12, 0}, {12, 9, 9, 6}, {15, 12, 9, 0}},
    {{6, 9, 9, 9}, {6, 9, 12, 6}, {15, 18, 0, 0}, {6, 15, 12, 0}, {6, 12, 9, 6}, {6, 18, 9, 0}},
};

struct Layer3State {
    // Spectra and subband samples of the granule being decoded.
    double xr[2][576];
    double sb[2][18][32];
    // Bytes of genuine main data that lie in front of the next frame's main
    // data (what its main_data_begin may reach), and the frame count at which
    // that holds: a seek or a new input breaks the chain.
    int reservoirBytes;
    uint32_t lastFramesRead;
    // PCM bytes produced since the track started (the visual time stamp).
    uint32_t pcmBytes;
    bool tablesBuilt;
    int tablesDownSample;  // the down-sampling the tables were built for
} g_l3;

}  // namespace

void InitLayer3Tables(int downSample) {
    // The tables depend on the down-sampling only: built again when it changes.
    if (!g_l3.tablesBuilt || g_l3.tablesDownSample != downSample) {
        // LSF scalefac_compress decoding (ISO/IEC 13818-3 2.4.3.2): slen of the
        // four groups in bits 0-11, the nr_of_sfb table in 12-14, preflag in 15.
        for (int i = 0; i < 5; i++)
            for (int j = 0; j < 5; j++)
                for (int k = 0; k < 4; k++)
                    for (int l = 0; l < 4; l++) g_l3t.nSlen2[80 * i + 16 * j + 4 * k + l] = uint16_t(i | j << 3 | k << 6 | l << 9);
        for (int i = 0; i < 5; i++)
            for (int j = 0; j < 5; j++)
                for (int k = 0; k < 4; k++) g_l3t.nSlen2[400 + 20 * i + 4 * j + k] = uint16_t(i | j << 3 | k << 6 | 1 << 12);
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 3; j++) g_l3t.nSlen2[500 + 3 * i + j] = uint16_t(i | j << 3 | 2 << 12 | 1 << 15);
        // The right channel of intensity stereo, by scalefac_compress / 2.
        for (int i = 0; i < 5; i++)
            for (int j = 0; j < 6; j++)
                for (int k = 0; k < 6; k++) g_l3t.iSlen2[36 * i + 6 * j + k] = uint16_t(i | j << 3 | k << 6 | 3 << 12);
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                for (int k = 0; k < 4; k++) g_l3t.iSlen2[180 + 16 * i + 4 * j + k] = uint16_t(i | j << 3 | k << 6 | 4 << 12);
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 3; j++) g_l3t.iSlen2[244 + 3 * i + j] = uint16_t(i | j << 3 | 5 << 12);

        InitLayer3SpectrumTables(downSample);
        InitLayer3HybridTables();
        g_l3.tablesDownSample = downSample;
    }
    g_l3.pcmBytes = 0;
    g_l3.reservoirBytes = 0;
    g_l3.lastFramesRead = 0;
    g_l3.tablesBuilt = true;
}

void SetLayer3PlayedBytes(uint32_t bytes) { g_l3.pcmBytes = bytes; }

int ReadScaleFactorsMpeg1(const GranuleInfo* gi, int32_t* sf) {
    const int slen1 = kSlen1[gi->scalefac_compress & 15];
    const int slen2 = kSlen2[gi->scalefac_compress & 15];
    int n = 0;
    if (gi->block_type == 2) {
        int bits;
        if (gi->mixed_block_flag) {
            for (int i = 0; i < 8; i++) sf[n++] = int32_t(GetBitsFast(slen1));
            for (int i = 0; i < 9; i++) sf[n++] = int32_t(GetBitsFast(slen1));
            bits = 17 * slen1 + 18 * slen2;
        } else {
            for (int i = 0; i < 18; i++) sf[n++] = int32_t(GetBitsFast(slen1));
            bits = 18 * (slen1 + slen2);
        }
        for (int i = 0; i < 18; i++) sf[n++] = int32_t(GetBitsFast(slen2));
        sf[n++] = 0;
        sf[n++] = 0;
        sf[n++] = 0;
        return bits;
    }
    if (gi->scfsi < 0) {
        for (int i = 0; i < 11; i++) sf[i] = int32_t(GetBitsFast(slen1));
        for (int i = 11; i < 21; i++) sf[i] = int32_t(GetBitsFast(slen2));
        sf[21] = 0;
        return 11 * slen1 + 10 * slen2;
    }
    // Granule 1: a group whose scfsi bit is set keeps granule 0's values.
    static const int kGroupStart[5] = {0, 6, 11, 16, 21};
    int bits = 0;
    for (int g = 0; g < 4; g++) {
        if (gi->scfsi & (8 >> g)) continue;
        int slen = g < 2 ? slen1 : slen2;
        for (int i = kGroupStart[g]; i < kGroupStart[g + 1]; i++) sf[i] = int32_t(GetBitsFast(slen));
        bits += slen * (kGroupStart[g + 1] - kGroupStart[g]);
    }
    sf[21] = 0;
    return bits;
}

int ReadScaleFactorsLsf(GranuleInfo* gi, int32_t* sf, int intensityVariant) {
    unsigned word = intensityVariant ? g_l3t.iSlen2[(gi->scalefac_compress >> 1) & 255]
                                     : g_l3t.nSlen2[gi->scalefac_compress & 511];
    gi->preflag = int32_t((word >> 15) & 1);
    const int cls = gi->block_type == 2 ? (gi->mixed_block_flag ? 2 : 1) : 0;
    const int* counts = kNrOfSfb[cls][(word >> 12) & 7];
    int n = 0;
    int bits = 0;
    for (int g = 0; g < 4; g++) {
        int slen = int(word & 7);
        word >>= 3;
        for (int i = 0; i < counts[g] && n < kScaleFactorCount; i++) {
            gi->illegalPosition[n] = uint8_t((1 << slen) - 1);
            sf[n++] = slen ? int32_t(GetBits(slen)) : 0;
        }
        bits += slen * counts[g];
    }
    for (int i = 0; i < 2 * cls + 1 && n < kScaleFactorCount; i++) {
        gi->illegalPosition[n] = 0;
        sf[n++] = 0;
    }
    return bits;
}

namespace {

// Reads one granule and channel of side information (ISO/IEC 11172-3
// 2.4.1.7). Returns false for window switching with block type 0.
bool ReadGranuleInfo(GranuleInfo* gi, int lsf, int rate, int gainBase, bool ms) {
    gi->part2_3_length = int32_t(GetBits(12));
    gi->big_values = std::min(int32_t(GetBitsFast(9)), 288);
    gi->gainPos = gainBase - int32_t(GetBitsFast(8)) + (ms ? 2 : 0);
    gi->scalefac_compress = int32_t(lsf ? GetBits(9) : GetBitsFast(4));
    gi->longSubbands = g_l3t.mixedLongSubbands[rate];
    if (Get1Bit()) {
        gi->block_type = int32_t(GetBitsFast(2));
        gi->mixed_block_flag = int32_t(Get1Bit());
        gi->table_select[0] = int32_t(GetBitsFast(5));
        gi->table_select[1] = int32_t(GetBitsFast(5));
        gi->table_select[2] = 0;
        for (int w = 0; w < 3; w++) gi->fullGain[w] = gi->gainPos + 8 * int32_t(GetBitsFast(3));
        if (gi->block_type == 0) return false;
        // The implied region0_count (ISO/IEC 11172-3 2.4.2.7): 8 long bands,
        // or 3 short bands for block type 2. That is 36 lines in MPEG-1, 54
        // (long) and 36 (short) at the LSF rates, 108 and 72 at 8 kHz.
        gi->region1start = (gi->block_type == 2 ? g_l3t.shortBound3[rate][3] : g_l3t.longBound[rate][8]) / 2;
        gi->region2start = 288;
    } else {
        for (int i = 0; i < 3; i++) gi->table_select[i] = int32_t(GetBitsFast(5));
        int region0 = int(GetBitsFast(4));
        int region1 = int(GetBitsFast(3));
        // region0_count + region1_count + 2 may pass the 23 boundaries: the
        // regions then end with the spectrum.
        const int16_t* lb = g_l3t.longBound[rate];
        gi->region1start = lb[std::min(region0 + 1, 22)] / 2;
        gi->region2start = lb[std::min(region0 + region1 + 2, 22)] / 2;
        gi->block_type = 0;
        gi->mixed_block_flag = 0;
        for (int w = 0; w < 3; w++) gi->fullGain[w] = gi->gainPos;
    }
    if (!lsf) gi->preflag = int32_t(Get1Bit());
    gi->scalefac_scale = int32_t(Get1Bit());
    gi->count1table_select = int32_t(Get1Bit());
    return true;
}

// Points the reader `bits` bits behind p.
inline void SeekBits(const uint8_t* p, int bits) {
    g_bits.p = p + (bits >> 3);
    g_bits.bit = unsigned(bits & 7);
}

}  // namespace

int DecodeLayer3Frame(StreamInfo* si) {
    if (!g_l3.tablesBuilt) InitLayer3Tables(si->downsample);
    const int nch = si->channels == 1 ? 1 : 2;
    const int channelSelect = nch == 1 ? 0 : si->channelSelect;
    const int outChannels = (nch == 2 && channelSelect < 0) ? 2 : 1;
    const bool ms = si->mode == 1 && (si->modeExtension & 2);
    const bool is = si->mode == 1 && (si->modeExtension & 1);
    const int gainBase = channelSelect == 3 ? 4 : 0;
    const int lsf = si->lsf ? 1 : 0;
    const int rate = std::clamp(int(si->sampleRateIndex), 0, 8);
    const int granules = lsf ? 1 : 2;

    // Side information.
    GranuleInfo gi[2][2];  // [channel][granule]
    int mainDataBegin;
    if (lsf) {
        mainDataBegin = int(GetBitsFast(8));
        GetBitsFast(nch == 1 ? 1 : 2);
    } else {
        mainDataBegin = int(GetBits(9));
        GetBitsFast(nch == 1 ? 5 : 3);
        for (int ch = 0; ch < nch; ch++) {
            gi[ch][0].scfsi = -1;
            gi[ch][1].scfsi = int32_t(GetBitsFast(4));
        }
    }

    // The bit reservoir (ISO/IEC 11172-3 2.4.3.4.7.1). main_data_begin may
    // only reach back over main data this decoder holds: after a new input
    // or a seek there is none, and the frame's first granules would be
    // decoded from zeros. The count goes on through rejected frames.
    const uint32_t framesRead = FramesRead();
    if (framesRead != g_l3.lastFramesRead + 1) g_l3.reservoirBytes = 0;
    g_l3.lastFramesRead = framesRead;
    const int mainBytes = std::max(g_frames.currentSize - g_frames.SideInfoSize, 0);
    const int held = g_l3.reservoirBytes;
    g_l3.reservoirBytes = std::min(std::min(mainDataBegin, held) + mainBytes, kReserveSize - 1);

    bool valid = true;
    for (int gr = 0; gr < granules; gr++)
        for (int ch = 0; ch < nch; ch++) {
            if (lsf) gi[ch][gr].scfsi = -1;
            if (!ReadGranuleInfo(&gi[ch][gr], lsf, rate, gainBase, ms)) valid = false;
        }

    // Even a rejected frame keeps the older main data in front of its own,
    // for the frames after it.
    PrependReservoir(mainDataBegin);
    if (!valid || mainDataBegin > held) return 0;
    const uint8_t* mainData = g_bits.p;
    const int mainBits = 8 * (mainDataBegin + mainBytes);
    int bitPos = 0;  // start of the next granule and channel in mainData

    int32_t scalefac[2][kScaleFactorCount] = {};
    for (int gr = 0; gr < granules; gr++) {
        // Part2_3_length must stay inside the frame's main data.
        int need = 0;
        for (int ch = 0; ch < nch; ch++) need += gi[ch][gr].part2_3_length;
        if (bitPos + need > mainBits) return 0;

        GranuleInfo* g0 = &gi[0][gr];
        SeekBits(mainData, bitPos);
        int part2[2];
        part2[0] = lsf ? ReadScaleFactorsLsf(g0, scalefac[0], 0) : ReadScaleFactorsMpeg1(g0, scalefac[0]);
        if (nch == 1) {
            if (DecodeSpectrum(g_l3.xr[0], scalefac[0], g0, rate, part2[0])) return 0;
            bitPos += g0->part2_3_length;
        } else {
            // Both channels' scale factors, then both spectra side by side.
            const BitCursor at0 = BitCursor::AtReader();
            GranuleInfo* g1 = &gi[1][gr];
            SeekBits(mainData, bitPos + g0->part2_3_length);
            part2[1] = lsf ? ReadScaleFactorsLsf(g1, scalefac[1], is) : ReadScaleFactorsMpeg1(g1, scalefac[1]);
            const int32_t* const sf[2] = {scalefac[0], scalefac[1]};
            if (DecodeSpectrumPair(g_l3.xr[0], g_l3.xr[1], sf, g0, g1, rate, part2, at0, BitCursor::AtReader(), ms))
                return 0;
            bitPos += g0->part2_3_length + g1->part2_3_length;
            if (is) ApplyIntensityStereo(g_l3.xr[0], g_l3.xr[1], scalefac[1], g1, rate, ms, lsf);
            if (ms || is) g0->maxb = g1->maxb = std::max(g0->maxb, g1->maxb);
        }

        if (g_settings.EqEnabled) ApplyEqualizer(g_l3.xr[0], g_l3.xr[1]);

        // Channels through the hybrid filter bank. A single output channel
        // of a two-channel stream is the right channel (select 1) or the sum
        // of both (select 3, each already at half gain): each channel is
        // transformed with its own block type and overlap, since the two may
        // use different windows.
        int first = 0, last = outChannels - 1;
        if (nch == 2 && outChannels == 1) {
            if (channelSelect == 1) first = last = 1;
            if (channelSelect == 3) last = 1;
        }
        for (int ch = first; ch <= last; ch++) {
            Antialias(g_l3.xr[ch], &gi[ch][gr]);
            Hybrid(g_l3.xr[ch], g_l3.sb[ch], ch, &gi[ch][gr]);
        }
        const int src = (outChannels == 1 && channelSelect == 1) ? 1 : 0;
        if (outChannels == 1 && channelSelect == 3 && nch == 2) {
            for (int t = 0; t < 18; t++)
                for (int s = 0; s < 32; s++) g_l3.sb[0][t][s] += g_l3.sb[1][t][s];
        }

        // Polyphase synthesis of the 18 slots into the PCM buffer. The
        // visual record copies each slot before a flush may hand it on.
        const bool visuals = g_settings.LEDCalculateVisuals != 0;
        for (int t = 0; t < 18; t++) {
            uint8_t* at = PcmBuffer.data + PcmBuffer.fill;
            if (outChannels == 2) {
                si->synth(g_l3.sb[0][t], g_l3.sb[1][t], at);
            } else {
                si->monoWriter(g_l3.sb[src][t], at);
            }
            if (visuals) CaptureVisSlot(t, at, si->bytesPerSlot);
            if (PcmFlushStep(si) < 0) return -2;
            g_l3.pcmBytes += uint32_t(PcmBuffer.added);
        }

        // The granule's visual record: the subband samples that were
        // synthesised (one array for both sides when one channel is output),
        // stamped with the position at which the granule has sounded.
        if (visuals)
            PushGranuleVisuals(g_l3.sb[src], g_l3.sb[outChannels == 2 ? 1 : src],
                               VisFormat{si->outputChannels, si->outputBits, si->downsample, si->outputRate},
                               g_l3.pcmBytes);
    }
    return 1;
}
