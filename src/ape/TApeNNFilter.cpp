#include "ape/TApeNNFilter.h"

#include <algorithm>
#include <cstring>

#include "ape/ApeNNKernels.h"
#include "ape/ApeConstants.h"
#include "ape/ApeWrap.h"
#include "ape/EAPEException.h"

namespace kestrune::ape {

TApeNNFilter::TApeNNFilter(int order, int shift, uint16_t version, bool simd)
    : FOrder(order),
      FShift(shift),
      FRound(1 << (shift - 1)),
      FOldSteps(version < 3980),
      FSimd(simd && SimdAvailable()),
      FCoef(size_t(order)),
      FHistory(size_t(order) + kWindow),
      FSteps(size_t(order) + kWindow)
{
    switch (order) {
    case 16: case 32: case 64: case 256: case 1280: break;
    default: throw EAPEException(apeErrBadParameter);
    }
    Reset();
}

bool TApeNNFilter::SimdAvailable() { return KESTRUNE_APE_HAVE_SSE2 != 0; }

void TApeNNFilter::Reset()
{
    std::fill(FCoef.begin(), FCoef.end(), int16_t(0));
    std::fill(FHistory.begin(), FHistory.end(), int16_t(0));
    std::fill(FSteps.begin(), FSteps.end(), int16_t(0));
    FPos = size_t(FOrder);
    FAverage = 0;
}

// Records the signal value u: the adaptation step it implies, the decay of the
// recent steps, and its saturated copy in the history.
inline void TApeNNFilter::Step(int32_t u)
{
    int16_t* d = FSteps.data() + FPos;
    if (!FOldSteps) {
        const int32_t m = u < 0 ? WNeg(u) : u;
        int16_t size;
        if (m > WMul(FAverage, 3))
            size = 32;
        else if (m > WMul(FAverage, 4) / 3)
            size = 16;
        else if (m > 0)
            size = 8;
        else
            size = 0;
        d[0] = u < 0 ? size : int16_t(-size);
        FAverage = WAdd(FAverage, WSub(m, FAverage) / 16);
        d[-1] = int16_t(d[-1] >> 1);
        d[-2] = int16_t(d[-2] >> 1);
        d[-8] = int16_t(d[-8] >> 1);
    } else {
        d[0] = u == 0 ? 0 : (u < 0 ? 4 : -4);
        d[-4] = int16_t(d[-4] >> 1);
        d[-8] = int16_t(d[-8] >> 1);
    }
    FHistory[FPos] = int16_t(std::clamp(u, -32768, 32767));
    if (++FPos == FHistory.size()) {
        const size_t n = size_t(FOrder);
        std::memmove(FHistory.data(), FHistory.data() + FPos - n, n * sizeof(int16_t));
        std::memmove(FSteps.data(), FSteps.data() + FPos - n, n * sizeof(int16_t));
        FPos = n;
    }
}

template <int N, bool Simd>
void TApeNNFilter::CompressRun(int32_t* data, size_t count)
{
    int16_t* c = FCoef.data();
    for (size_t i = 0; i < count; ++i) {
        const int32_t u = data[i];
        const int16_t* h = FHistory.data() + FPos - N;
        const int16_t* d = FSteps.data() + FPos - N;
        int32_t dot;
#if KESTRUNE_APE_HAVE_SSE2
        if constexpr (Simd)
            dot = nn::DotSse2<N>(c, h);
        else
#endif
            dot = nn::DotPortable<N>(c, h);
        const int32_t e = WSub(u, WAdd(dot, FRound) >> FShift);
        if (e != 0) {
            const int32_t dir = e > 0 ? -1 : 1;
#if KESTRUNE_APE_HAVE_SSE2
            if constexpr (Simd)
                nn::AdaptSse2<N>(c, d, dir);
            else
#endif
                nn::AdaptPortable<N>(c, d, dir);
        }
        Step(u);
        data[i] = e;
    }
}

template <int N, bool Simd>
void TApeNNFilter::DecompressRun(int32_t* data, size_t count)
{
    int16_t* c = FCoef.data();
    for (size_t i = 0; i < count; ++i) {
        const int32_t e = data[i];
        const int16_t* h = FHistory.data() + FPos - N;
        const int16_t* d = FSteps.data() + FPos - N;
        const int32_t dir = e > 0 ? -1 : (e < 0 ? 1 : 0);
        int32_t dot;
#if KESTRUNE_APE_HAVE_SSE2
        if constexpr (Simd)
            dot = nn::DotAdaptSse2<N>(c, h, d, dir);
        else
#endif
            dot = nn::DotAdaptPortable<N>(c, h, d, dir);
        const int32_t u = WAdd(e, WAdd(dot, FRound) >> FShift);
        Step(u);
        data[i] = u;
    }
}

#define KESTRUNE_APE_NN_DISPATCH(Run)                                              \
    switch (FOrder) {                                                              \
    case 16: FSimd ? Run<16, true>(data, count) : Run<16, false>(data, count); break;     \
    case 32: FSimd ? Run<32, true>(data, count) : Run<32, false>(data, count); break;     \
    case 64: FSimd ? Run<64, true>(data, count) : Run<64, false>(data, count); break;     \
    case 256: FSimd ? Run<256, true>(data, count) : Run<256, false>(data, count); break;  \
    default: FSimd ? Run<1280, true>(data, count) : Run<1280, false>(data, count); break; \
    }

void TApeNNFilter::Compress(int32_t* data, size_t count) { KESTRUNE_APE_NN_DISPATCH(CompressRun) }

void TApeNNFilter::Decompress(int32_t* data, size_t count) { KESTRUNE_APE_NN_DISPATCH(DecompressRun) }

}  // namespace kestrune::ape
