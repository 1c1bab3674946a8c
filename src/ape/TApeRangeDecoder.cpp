#include "ape/TApeRangeDecoder.h"

namespace kestrune::ape {

namespace {

// Thresholds of ksum between the k values of the legacy coder: 2^(k+4).
inline uint32_t LegacyThreshold(uint32_t k)
{
    if (k == 0 || k > 27)
        return 0;
    return 1u << (k + 4);
}

} // namespace

uint32_t TApeRangeDecoder::DecodeSymbolLegacy()
{
    Normalise();
    FRange >>= 16;
    uint32_t cf = FLow / FRange;
    if (cf > 65535) {
        FFailed = true;
        cf = 65535;
    }
    uint32_t s;
    if (cf >= ApeModelLegacyCum(kApeModelLegacyFirstLinear)) {
        s = cf - 65472;
    } else {
        s = 0;
        while (kApeModelLegacy[s + 1] <= cf)
            ++s;
    }
    FLow -= FRange * ApeModelLegacyCum(s);
    FRange *= ApeModelLegacyCum(s + 1) - ApeModelLegacyCum(s);
    return s;
}

int32_t TApeRangeDecoder::DecodeValueLegacy(TApeValueState& st)
{
    uint32_t overflow = DecodeSymbolLegacy();
    int kk;
    if (overflow == 63) {
        kk = int(RawBits(5));
        overflow = 0;
    } else {
        kk = st.K < 1 ? 0 : int(st.K) - 1;
    }
    uint32_t bits;
    if (kk <= 16) {
        bits = RawBits(kk);
    } else {
        const uint32_t lo = RawBits(16);
        bits = lo | (RawBits(kk - 16) << 16);
    }
    const uint32_t x = bits + (kk < 32 ? overflow << kk : 0);
    st.KSum = st.KSum + ((x >> 1) + (x & 1)) - ((st.KSum + 16) >> 5);
    if (st.KSum < LegacyThreshold(st.K))
        --st.K;
    else if (LegacyThreshold(st.K + 1) != 0 && st.KSum >= LegacyThreshold(st.K + 1))
        ++st.K;
    return (x & 1) ? int32_t((x >> 1) + 1) : int32_t(0u - (x >> 1));
}

} // namespace kestrune::ape
