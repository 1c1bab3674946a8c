#include "ape/TApeFrameEncoder.h"

#include <algorithm>

#include "ape/ApeFilterTable.h"
#include "ape/TApeCrc32.h"

namespace kestrune::ape {

namespace {

inline void WriteBigEndian32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

} // namespace

TApeFrameEncoder::TApeFrameEncoder(int32_t level, int channels, int bits, TApeNNFilter::TKernel kernel)
    : FChannels(channels), FBits(bits), FBlockAlign(channels * bits / 8),
      FFiltersX(ApeMakeFilters(level, 3990, kernel)), FFiltersY(ApeMakeFilters(level, 3990, kernel)), FX(kChunk),
      FY(kChunk), FEX(kChunk), FEY(kChunk)
{
}

size_t TApeFrameEncoder::MaxFrameBytes(uint32_t blocks) const
{
    return size_t(blocks) * size_t(FChannels) * TApeRangeEncoder::kMaxBytesPerValue + TApeRangeEncoder::kFrameOverhead;
}

void TApeFrameEncoder::ResetState()
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

// Silence and identical channels get flagged so the decoder can skip work;
// official encoders do this for 16-bit input only, and so do we, to stay
// byte-identical.
uint32_t TApeFrameEncoder::SpecialCodes(const uint8_t* pcm, uint32_t blocks) const
{
    if (FBits != 16)
        return 0;
    if (FChannels == 1) {
        for (size_t i = 0; i < size_t(blocks) * 2; ++i)
            if (pcm[i])
                return 0;
        return 1;
    }
    bool firstSilent = true, secondSilent = true, same = true;
    for (size_t i = 0; i < blocks; ++i) {
        const uint8_t* b = pcm + i * 4;
        firstSilent &= (b[0] | b[1]) == 0;
        secondSilent &= (b[2] | b[3]) == 0;
        same &= b[0] == b[2] && b[1] == b[3];
    }
    return (secondSilent ? 1u : 0u) | (firstSilent ? 2u : 0u) | (same ? 4u : 0u);
}

void TApeFrameEncoder::ReadSamples(const uint8_t* p, size_t n, int32_t* c0, int32_t* c1) const
{
    const bool stereo = FChannels == 2;
    switch (FBits) {
    case 8:
        for (size_t i = 0; i < n; ++i) {
            c0[i] = int32_t(*p++) - 128;
            if (stereo)
                c1[i] = int32_t(*p++) - 128;
        }
        break;
    case 16:
        for (size_t i = 0; i < n; ++i) {
            c0[i] = int16_t(uint16_t(p[0] | p[1] << 8));
            p += 2;
            if (stereo) {
                c1[i] = int16_t(uint16_t(p[0] | p[1] << 8));
                p += 2;
            }
        }
        break;
    default:
        for (size_t i = 0; i < n; ++i) {
            c0[i] = int32_t(uint32_t(p[0] | p[1] << 8 | p[2] << 16) << 8) >> 8;
            p += 3;
            if (stereo) {
                c1[i] = int32_t(uint32_t(p[0] | p[1] << 8 | p[2] << 16) << 8) >> 8;
                p += 3;
            }
        }
        break;
    }
}

size_t TApeFrameEncoder::Encode(const uint8_t* pcm, uint32_t blocks, uint8_t* out)
{
    const uint32_t crc = TApeCrc32::Compute(pcm, size_t(blocks) * size_t(FBlockAlign)) >> 1;
    const uint32_t special = SpecialCodes(pcm, blocks);
    WriteBigEndian32(out, special ? crc | 0x80000000u : crc);
    size_t pos = 4;
    if (special) {
        WriteBigEndian32(out + pos, special);
        pos += 4;
    }
    ResetState();
    FRange.Start(out + pos);

    const bool stereo = FChannels == 2;
    const bool silent = stereo ? (special & 3) == 3 : (special & 1) != 0;
    const bool pseudo = stereo && !silent && (special & 4) != 0;
    int32_t* x = FX.data();
    int32_t* y = FY.data();
    int32_t* ex = FEX.data();
    int32_t* ey = FEY.data();
    int32_t lastX = 0;
    for (uint32_t done = 0; done < blocks && !silent;) {
        const size_t n = std::min<size_t>(kChunk, blocks - done);
        ReadSamples(pcm + size_t(done) * size_t(FBlockAlign), n, x, y);
        if (!stereo || pseudo) {
            // Mono, or both channels alike: only X = the first channel is coded.
            for (size_t i = 0; i < n; ++i)
                ex[i] = FPredX.Compress(x[i], 0);
            for (TApeNNFilter& f : FFiltersX)
                f.Compress(ex, n);
            for (size_t i = 0; i < n; ++i)
                FRange.EncodeValue(ex[i], FStateX);
        } else {
            for (size_t i = 0; i < n; ++i) {
                const int32_t side = y[i] - x[i];
                x[i] = x[i] + side / 2;
                y[i] = side;
            }
            // Y is predicted from the previous block's X, X from the current Y.
            for (size_t i = 0; i < n; ++i) {
                ey[i] = FPredY.Compress(y[i], lastX);
                lastX = x[i];
            }
            for (size_t i = 0; i < n; ++i)
                ex[i] = FPredX.Compress(x[i], y[i]);
            for (TApeNNFilter& f : FFiltersY)
                f.Compress(ey, n);
            for (TApeNNFilter& f : FFiltersX)
                f.Compress(ex, n);
            for (size_t i = 0; i < n; ++i) {
                FRange.EncodeValue(ey[i], FStateY);
                FRange.EncodeValue(ex[i], FStateX);
            }
        }
        done += uint32_t(n);
    }
    return pos + FRange.Finish(out + pos);
}

} // namespace kestrune::ape
