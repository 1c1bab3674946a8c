#pragma once

#include <cstddef>
#include <cstdint>

#include "ape/ApeModel.h"
#include "ape/TApeRangeDecoder.h"

namespace kestrune::ape {

// Range encoder of the frame payload (keeps 31 bits of low, a pending byte and
// a run of pending 0xFF bytes for the carry) plus the 3990 value coder. It
// writes into a caller-provided buffer that is large enough for the frame
// (see MaxBytesPerValue), so nothing is checked or allocated per byte.
class TApeRangeEncoder {
public:
    // A value takes at most 8 bytes of output; more than enough head room.
    static constexpr size_t kMaxBytesPerValue = 12;
    static constexpr size_t kFrameOverhead = 32;

    void Start(uint8_t* out)
    {
        FOut = out;
        FLow = 0;
        FRange = 1u << 31;
        FCache = 0;
        FRun = 0;
    }

    // Returns the number of bytes written since Start.
    size_t Finish(uint8_t* begin);

    void EncodeValue(int32_t value, TApeValueState& st)
    {
        const uint32_t x = value > 0 ? (uint32_t(value) << 1) - 1 : 0u - (uint32_t(value) << 1);
        const uint32_t pivot = st.KSum >> 5 ? st.KSum >> 5 : 1;
        const uint32_t overflow = x / pivot;
        const uint32_t base = x - overflow * pivot;
        st.KSum = st.KSum + ((x >> 1) + (x & 1)) - ((st.KSum + 16) >> 5);
        if (overflow < 63) {
            EncodeSymbol(overflow);
        } else {
            EncodeSymbol(63);
            EncodeRaw16(overflow >> 16);
            EncodeRaw16(overflow & 0xFFFF);
        }
        if (pivot < 65536) {
            EncodeUniform(base, pivot);
        } else {
            const int shift = 32 - __builtin_clz(pivot) - 16;
            EncodeUniform(base >> shift, (pivot >> shift) + 1);
            EncodeUniform(base & ((1u << shift) - 1), 1u << shift);
        }
    }

private:
    void Emit(uint8_t b) { *FOut++ = b; }

    void Normalise()
    {
        while (FRange <= (1u << 23)) {
            if (FLow < 0x7F800000u) {
                Emit(FCache);
                for (; FRun; --FRun)
                    Emit(0xFF);
                FCache = uint8_t(FLow >> 23);
            } else if (FLow >= (1u << 31)) {
                Emit(uint8_t(FCache + 1));
                for (; FRun; --FRun)
                    Emit(0x00);
                FCache = uint8_t(FLow >> 23);
            } else {
                ++FRun;
            }
            FLow = (FLow << 8) & 0x7FFFFFFFu;
            FRange <<= 8;
        }
    }

    void EncodeSymbol(uint32_t s)
    {
        Normalise();
        const uint32_t r = FRange >> 16;
        FRange = r * (ApeModelCum(s + 1) - ApeModelCum(s));
        FLow += r * ApeModelCum(s);
    }

    void EncodeRaw16(uint32_t v)
    {
        Normalise();
        FRange >>= 16;
        FLow += FRange * v;
    }

    void EncodeUniform(uint32_t v, uint32_t n)
    {
        Normalise();
        FRange /= n;
        FLow += FRange * v;
    }

    uint8_t* FOut = nullptr;
    uint32_t FLow = 0;
    uint32_t FRange = 0;
    uint8_t FCache = 0;
    uint32_t FRun = 0;
};

} // namespace kestrune::ape
