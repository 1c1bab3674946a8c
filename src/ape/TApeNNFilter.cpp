#include "ape/TApeNNFilter.h"

#include <algorithm>
#include <cstring>

#include "ape/ApeConstants.h"
#include "ape/ApeNNKernels.h"
#include "ape/ApeWrap.h"
#include "ape/EAPEException.h"

namespace kestrune::ape {

TApeNNFilter::TApeNNFilter(int order, int shift, uint16_t version, TKernel kernel)
    : FOrder(order), FShift(shift), FRound(1 << (shift - 1)), FOldSteps(version < 3980),
      FSimd(kernel != nkPortable && KernelAvailable(nkSse2)),
      FAvx2((kernel == nkAvx2 || kernel == nkBest) && KernelAvailable(nkAvx2)), FCoef(size_t(order)),
      FHistory(size_t(order) + kWindow), FSteps(size_t(order) + kWindow)
{
    switch (order) {
    case 16:
    case 32:
    case 64:
    case 256:
    case 1280:
        break;
    default:
        throw EAPEException(apeErrBadParameter);
    }
    Reset();
}

bool TApeNNFilter::KernelAvailable(TKernel kernel)
{
    switch (kernel) {
    case nkPortable:
        return true;
    case nkSse2:
        return KESTRUNE_APE_HAVE_SSE2 != 0;
    case nkAvx2:
        return KESTRUNE_APE_HAVE_SSE2 != 0 && nn::CpuHasAvx2();
    default:
        return true;
    }
}

void TApeNNFilter::Reset()
{
    std::fill(FCoef.begin(), FCoef.end(), int16_t(0));
    std::fill(FHistory.begin(), FHistory.end(), int16_t(0));
    std::fill(FSteps.begin(), FSteps.end(), int16_t(0));
    FPos = size_t(FOrder);
    FAverage = 0;
}

// The adaptation step a signal value u implies (format 3980 and later):
// larger when |u| stands out against the running average of |u|.
inline int16_t TApeNNFilter::NextStep(int32_t u)
{
    const int32_t m = u < 0 ? WNeg(u) : u;
    const int32_t big = WMul(FAverage, 3);
    const int32_t medium = WMul(FAverage, 4) / 3;
    // Selects rather than branches: which case applies is data-dependent.
    int16_t size = m > 0 ? 8 : 0;
    size = m > medium ? 16 : size;
    size = m > big ? 32 : size;
    FAverage = WAdd(FAverage, WSub(m, FAverage) / 16);
    return u < 0 ? size : int16_t(-size);
}

// Records the signal value u: the adaptation step it implies, the decay of the
// recent steps, and its saturated copy in the history.
inline void TApeNNFilter::Step(int32_t u)
{
    int16_t* d = FSteps.data() + FPos;
    if (!FOldSteps) {
        d[0] = NextStep(u);
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

#if KESTRUNE_APE_HAVE_SSE2

// Order 16 (levels 2000 and 5000) keeps coefficients, history and steps in
// six registers and shifts the windows there: through memory, every sample's
// scalar stores would stall the next sample's vector loads.
template <bool Decode>
void TApeNNFilter::Run16Registers(int32_t* data, size_t count)
{
    using nn::Load;
    using nn::Store;
    int16_t* c = FCoef.data();
    const int16_t* hp = FHistory.data() + FPos - 16;
    const int16_t* dp = FSteps.data() + FPos - 16;
    __m128i c0 = Load(c), c1 = Load(c + 8);
    __m128i h0 = Load(hp), h1 = Load(hp + 8);
    __m128i d0 = Load(dp), d1 = Load(dp + 8);
    // Lanes of the newer step register that decay this sample: t-8, t-2, t-1.
    const __m128i decay = _mm_setr_epi16(-1, 0, 0, 0, 0, 0, -1, -1);
    for (size_t i = 0; i < count; ++i) {
        const int32_t dot = nn::HorizontalSum(_mm_add_epi32(_mm_madd_epi16(c0, h0), _mm_madd_epi16(c1, h1)));
        const int32_t prediction = WAdd(dot, FRound) >> FShift;
        int32_t u, e;
        if constexpr (Decode) {
            e = data[i];
            u = WAdd(e, prediction);
            data[i] = u;
        } else {
            u = data[i];
            e = WSub(u, prediction);
            data[i] = e;
        }
        const __m128i dir = _mm_set1_epi16(int16_t(e > 0 ? -1 : (e < 0 ? 1 : 0)));
        c0 = _mm_add_epi16(c0, _mm_mullo_epi16(d0, dir));
        c1 = _mm_add_epi16(c1, _mm_mullo_epi16(d1, dir));
        const int16_t step = NextStep(u);
        d1 = _mm_or_si128(_mm_and_si128(decay, _mm_srai_epi16(d1, 1)), _mm_andnot_si128(decay, d1));
        d0 = _mm_or_si128(_mm_srli_si128(d0, 2), _mm_slli_si128(d1, 14));
        d1 = _mm_insert_epi16(_mm_srli_si128(d1, 2), step, 7);
        const int16_t saturated = int16_t(std::clamp(u, -32768, 32767));
        h0 = _mm_or_si128(_mm_srli_si128(h0, 2), _mm_slli_si128(h1, 14));
        h1 = _mm_insert_epi16(_mm_srli_si128(h1, 2), saturated, 7);
    }
    Store(c, c0);
    Store(c + 8, c1);
    // Only the newest 16 values matter from here on; they go to the window's start.
    Store(FHistory.data(), h0);
    Store(FHistory.data() + 8, h1);
    Store(FSteps.data(), d0);
    Store(FSteps.data() + 8, d1);
    FPos = 16;
}

#endif

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

#if KESTRUNE_APE_HAVE_AVX2

template <int N>
KESTRUNE_APE_AVX2 void TApeNNFilter::CompressRunAvx2(int32_t* data, size_t count)
{
    int16_t* c = FCoef.data();
    for (size_t i = 0; i < count; ++i) {
        const int32_t u = data[i];
        const int32_t dot = nn::DotAvx2<N>(c, FHistory.data() + FPos - N);
        const int32_t e = WSub(u, WAdd(dot, FRound) >> FShift);
        if (e != 0)
            nn::AdaptAvx2<N>(c, FSteps.data() + FPos - N, e > 0 ? -1 : 1);
        Step(u);
        data[i] = e;
    }
}

template <int N>
KESTRUNE_APE_AVX2 void TApeNNFilter::DecompressRunAvx2(int32_t* data, size_t count)
{
    int16_t* c = FCoef.data();
    for (size_t i = 0; i < count; ++i) {
        const int32_t e = data[i];
        const int32_t dir = e > 0 ? -1 : (e < 0 ? 1 : 0);
        const int32_t dot = nn::DotAdaptAvx2<N>(c, FHistory.data() + FPos - N, FSteps.data() + FPos - N, dir);
        const int32_t u = WAdd(e, WAdd(dot, FRound) >> FShift);
        Step(u);
        data[i] = u;
    }
}

// Run names a member template; a parenthesised template name would not parse.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define KESTRUNE_APE_NN_DISPATCH_AVX2(Run)                                                                             \
    if (FAvx2) {                                                                                                       \
        switch (FOrder) {                                                                                              \
        case 32:                                                                                                       \
            return Run<32>(data, count);                                                                               \
        case 64:                                                                                                       \
            return Run<64>(data, count);                                                                               \
        case 256:                                                                                                      \
            return Run<256>(data, count);                                                                              \
        case 1280:                                                                                                     \
            return Run<1280>(data, count);                                                                             \
        default:                                                                                                       \
            break;                                                                                                     \
        }                                                                                                              \
    }
#else
#define KESTRUNE_APE_NN_DISPATCH_AVX2(Run)
#endif

#define KESTRUNE_APE_NN_DISPATCH(Run)                                                                                  \
    switch (FOrder) {                                                                                                  \
    case 16:                                                                                                           \
        FSimd ? Run<16, true>(data, count) : Run<16, false>(data, count);                                              \
        break;                                                                                                         \
    case 32:                                                                                                           \
        FSimd ? Run<32, true>(data, count) : Run<32, false>(data, count);                                              \
        break;                                                                                                         \
    case 64:                                                                                                           \
        FSimd ? Run<64, true>(data, count) : Run<64, false>(data, count);                                              \
        break;                                                                                                         \
    case 256:                                                                                                          \
        FSimd ? Run<256, true>(data, count) : Run<256, false>(data, count);                                            \
        break;                                                                                                         \
    default:                                                                                                           \
        FSimd ? Run<1280, true>(data, count) : Run<1280, false>(data, count);                                          \
        break;                                                                                                         \
    }
// NOLINTEND(bugprone-macro-parentheses)

void TApeNNFilter::Compress(int32_t* data, size_t count)
{
#if KESTRUNE_APE_HAVE_SSE2
    if (FOrder == 16 && FSimd && !FOldSteps)
        return Run16Registers<false>(data, count);
#endif
    KESTRUNE_APE_NN_DISPATCH_AVX2(CompressRunAvx2)
    KESTRUNE_APE_NN_DISPATCH(CompressRun)
}

void TApeNNFilter::Decompress(int32_t* data, size_t count)
{
#if KESTRUNE_APE_HAVE_SSE2
    if (FOrder == 16 && FSimd && !FOldSteps)
        return Run16Registers<true>(data, count);
#endif
    KESTRUNE_APE_NN_DISPATCH_AVX2(DecompressRunAvx2)
    KESTRUNE_APE_NN_DISPATCH(DecompressRun)
}

} // namespace kestrune::ape
