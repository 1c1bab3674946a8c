#include "ape/TApeFrameDecoder.h"

#include <algorithm>

#include "ape/ApeConstants.h"
#include "ape/ApeFilterTable.h"
#include "ape/TApeCrc32.h"

namespace kestrune::ape {

namespace {

inline uint32_t ReadBigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

} // namespace

TApeFrameDecoder::TApeFrameDecoder(uint16_t version, int32_t level, int channels, int bits,
                                   TApeNNFilter::TKernel kernel)
    : FChannels(channels), FBits(bits), FLegacy(version < 3990), FFiltersX(ApeMakeFilters(level, version, kernel)),
      FFiltersY(ApeMakeFilters(level, version, kernel)), FX(kChunk), FY(kChunk), FC0(kChunk), FC1(kChunk)
{
}

void TApeFrameDecoder::ResetState()
{
    FStateX = TApeValueState();
    FStateY = TApeValueState();
    FPredX.Reset();
    FPredY.Reset();
    for (TApeNNFilter& f : FFiltersX)
        f.Reset();
    for (TApeNNFilter& f : FFiltersY)
        f.Reset();
}

void TApeFrameDecoder::DecodeResiduals(int32_t* dst, size_t n, TApeValueState& st)
{
    if (FLegacy) {
        for (size_t i = 0; i < n; ++i)
            dst[i] = FRange.DecodeValueLegacy(st);
    } else {
        // Local copies so the coder state stays in registers: the stores to
        // dst could otherwise alias it.
        TApeRangeDecoder range = FRange;
        TApeValueState state = st;
        for (size_t i = 0; i < n; ++i)
            dst[i] = range.DecodeValue(state);
        FRange = range;
        st = state;
    }
}

// Stereo values alternate Y, X in the stream.
void TApeFrameDecoder::DecodeResidualPairs(int32_t* y, int32_t* x, size_t n)
{
    if (FLegacy) {
        for (size_t i = 0; i < n; ++i) {
            y[i] = FRange.DecodeValueLegacy(FStateY);
            x[i] = FRange.DecodeValueLegacy(FStateX);
        }
    } else {
        TApeRangeDecoder range = FRange;
        TApeValueState stateY = FStateY, stateX = FStateX;
        for (size_t i = 0; i < n; ++i) {
            y[i] = range.DecodeValue(stateY);
            x[i] = range.DecodeValue(stateX);
        }
        FRange = range;
        FStateY = stateY;
        FStateX = stateX;
    }
}

void TApeFrameDecoder::WriteSamples(uint8_t*& out, const int32_t* c0, const int32_t* c1, size_t n, bool& bad)
{
    uint8_t* o = out;
    const bool stereo = FChannels == 2;
    switch (FBits) {
    case 8:
        for (size_t i = 0; i < n; ++i) {
            *o++ = uint8_t(uint32_t(c0[i]) + 128);
            if (stereo)
                *o++ = uint8_t(uint32_t(c1[i]) + 128);
        }
        break;
    case 16:
        if (stereo) {
            // A stereo result outside 16 bits cannot come from a correct frame.
            for (size_t i = 0; i < n; ++i) {
                bad |= c0[i] < -32768 || c0[i] > 32767 || c1[i] < -32768 || c1[i] > 32767;
                o[0] = uint8_t(c0[i]);
                o[1] = uint8_t(c0[i] >> 8);
                o[2] = uint8_t(c1[i]);
                o[3] = uint8_t(c1[i] >> 8);
                o += 4;
            }
        } else {
            // Mono keeps the low 16 bits: the Java encoder's files rely on that wrap.
            for (size_t i = 0; i < n; ++i) {
                o[0] = uint8_t(c0[i]);
                o[1] = uint8_t(c0[i] >> 8);
                o += 2;
            }
        }
        break;
    default:
        for (size_t i = 0; i < n; ++i) {
            o[0] = uint8_t(c0[i]);
            o[1] = uint8_t(c0[i] >> 8);
            o[2] = uint8_t(c0[i] >> 16);
            o += 3;
            if (stereo) {
                o[0] = uint8_t(c1[i]);
                o[1] = uint8_t(c1[i] >> 8);
                o[2] = uint8_t(c1[i] >> 16);
                o += 3;
            }
        }
        break;
    }
    out = o;
}

int32_t TApeFrameDecoder::Decode(const uint8_t* data, size_t bytes, uint32_t blocks, uint8_t* out)
{
    if (bytes < 4)
        return apeErrDecompressingFrame;
    const uint32_t crcWord = ReadBigEndian32(data);
    size_t pos = 4;
    uint32_t special = 0;
    if (crcWord & 0x80000000u) {
        if (bytes < 8)
            return apeErrDecompressingFrame;
        special = ReadBigEndian32(data + 4);
        pos = 8;
    }
    ResetState();
    const bool stereo = FChannels == 2;
    const bool silent = stereo ? (special & 3) == 3 : (special & 1) != 0;
    const bool pseudo = stereo && !silent && (special & 4) != 0;
    if (!silent)
        FRange.Start(data + pos, bytes - pos);

    uint8_t* o = out;
    bool bad = false;
    int32_t lastX = 0;
    int32_t* x = FX.data();
    int32_t* y = FY.data();
    int32_t* c0 = FC0.data();
    int32_t* c1 = FC1.data();
    for (uint32_t done = 0; done < blocks;) {
        const size_t n = std::min<size_t>(kChunk, blocks - done);
        if (silent) {
            std::fill(c0, c0 + n, 0);
            std::fill(c1, c1 + n, 0);
        } else if (!stereo || pseudo) {
            DecodeResiduals(x, n, FStateX);
            if (FRange.Failed())
                return apeErrDecompressingFrame;
            for (auto f = FFiltersX.rbegin(); f != FFiltersX.rend(); ++f)
                f->Decompress(x, n);
            for (size_t i = 0; i < n; ++i)
                c0[i] = FPredX.Decompress(x[i], 0);
            if (pseudo)
                std::copy(c0, c0 + n, c1);
        } else {
            DecodeResidualPairs(y, x, n);
            if (FRange.Failed())
                return apeErrDecompressingFrame;
            for (auto f = FFiltersY.rbegin(); f != FFiltersY.rend(); ++f)
                f->Decompress(y, n);
            for (auto f = FFiltersX.rbegin(); f != FFiltersX.rend(); ++f)
                f->Decompress(x, n);
            for (size_t i = 0; i < n; ++i) {
                const int32_t yv = FPredY.Decompress(y[i], lastX);
                const int32_t xv = FPredX.Decompress(x[i], yv);
                lastX = xv;
                c0[i] = WSub(xv, yv / 2);
                c1[i] = WAdd(c0[i], yv);
            }
        }
        WriteSamples(o, c0, c1, n, bad);
        done += uint32_t(n);
    }
    if (bad)
        return apeErrDecompressingFrame;
    const uint32_t crc = TApeCrc32::Compute(out, size_t(o - out)) >> 1;
    if (crc != (crcWord & 0x7FFFFFFFu))
        return apeErrInvalidChecksum;
    return apeOk;
}

} // namespace kestrune::ape
