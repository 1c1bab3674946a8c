#pragma once

#include <cstddef>
#include <cstdint>

#include "ape/ApeModel.h"

namespace kestrune::ape {

// Per-channel state of the value coder (3990: ksum only; older files also k).
struct TApeValueState {
    uint32_t KSum = 16384;
    uint32_t K = 10;
};

// Range decoder of the frame payload plus the value coder on top of it. Works
// on the frame's logical bytes (groups already un-swapped). Reading past the
// frame or meeting an impossible code sets Failed() instead of throwing, so the
// per-value path stays branch-light; the frame decoder checks it once per chunk.
class TApeRangeDecoder {
public:
    void Start(const uint8_t* data, size_t bytes)
    {
        FPos = data;
        FEnd = data + bytes;
        FFailed = false;
        NextByte(); // the encoder's initial cache byte, always 0
        FBuf = NextByte();
        FLow = FBuf >> 1;
        FRange = 128;
    }

    bool Failed() const { return FFailed; }
    size_t Remaining() const { return size_t(FEnd - FPos); }

    // One residual of a 3990 stream.
    __attribute__((always_inline)) int32_t DecodeValue(TApeValueState& st)
    {
        const uint32_t pivot = st.KSum >> 5 ? st.KSum >> 5 : 1;
        uint32_t overflow = DecodeSymbol();
        if (overflow == 63) {
            const uint32_t hi = Raw16();
            overflow = (hi << 16) | Raw16();
        }
        uint32_t base;
        if (pivot < 65536) {
            base = Uniform(pivot);
        } else {
            const int shift = 32 - __builtin_clz(pivot) - 16;
            const uint32_t hi = Uniform((pivot >> shift) + 1);
            const uint32_t lo = Uniform(1u << shift);
            base = (hi << shift) + lo;
        }
        const uint32_t x = base + overflow * pivot;
        st.KSum = st.KSum + ((x >> 1) + (x & 1)) - ((st.KSum + 16) >> 5);
        return (x & 1) ? int32_t((x >> 1) + 1) : int32_t(0u - (x >> 1));
    }

    // One residual of a 3950..3989 stream (the older adaptive-k coder).
    int32_t DecodeValueLegacy(TApeValueState& st);

private:
    static constexpr uint32_t kBottom = 1u << 23;

    uint32_t NextByte()
    {
        if (FPos < FEnd)
            return *FPos++;
        FFailed = true;
        return 0;
    }

    void Normalise()
    {
        while (FRange <= kBottom) {
            FBuf = (FBuf << 8) | NextByte();
            FLow = (FLow << 8) | ((FBuf >> 1) & 0xFF);
            FRange <<= 8;
        }
    }

    uint32_t DecodeSymbol()
    {
        Normalise();
        FRange >>= 16;
        uint32_t cf = FLow / FRange;
        if (cf > 65535) {
            FFailed = true;
            cf = 65535;
        }
        uint32_t s;
        if (cf >= ApeModelCum(kApeModelFirstLinear)) {
            s = cf - 65472;
        } else {
            s = 0;
            while (kApeModelTop[s + 1] <= cf)
                ++s;
        }
        FLow -= FRange * ApeModelCum(s);
        FRange *= ApeModelCum(s + 1) - ApeModelCum(s);
        return s;
    }

    uint32_t DecodeSymbolLegacy();

    uint32_t Raw16()
    {
        Normalise();
        FRange >>= 16;
        const uint32_t v = FLow / FRange;
        FLow -= v * FRange;
        if (v >> 16)
            FFailed = true;
        return v;
    }

    // bits is 0..31.
    uint32_t RawBits(int bits)
    {
        Normalise();
        FRange >>= bits;
        if (FRange == 0) {
            FFailed = true;
            FRange = 1;
        }
        uint32_t v = FLow / FRange;
        FLow -= v * FRange;
        // Only a damaged stream gives more bits than asked for; keep the value
        // in range since it may size a later read.
        if (v >> bits) {
            FFailed = true;
            v &= (1u << bits) - 1;
        }
        return v;
    }

    uint32_t Uniform(uint32_t n)
    {
        Normalise();
        FRange /= n;
        const uint32_t v = FLow / FRange;
        FLow -= v * FRange;
        if (v >= n)
            FFailed = true;
        return v;
    }

    const uint8_t* FPos = nullptr;
    const uint8_t* FEnd = nullptr;
    uint32_t FLow = 0;
    uint32_t FRange = 0;
    uint32_t FBuf = 0;
    bool FFailed = false;
};

} // namespace kestrune::ape
