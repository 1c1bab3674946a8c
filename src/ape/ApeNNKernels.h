// Inner loops of the NN filters: the dot product of coefficients and history
// (int32 wrap) and the sign-driven coefficient update (int16 wrap). Each has a
// portable version and an SSE2 version; they must give identical results,
// which the tests check. The order N is a template argument so the loops are
// fully known to the compiler.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#define KESTRUNE_APE_HAVE_SSE2 1
#else
#define KESTRUNE_APE_HAVE_SSE2 0
#endif

namespace kestrune::ape::nn {

template <int N>
inline int32_t DotPortable(const int16_t* c, const int16_t* h)
{
    uint32_t sum = 0;
    for (int j = 0; j < N; ++j)
        sum += uint32_t(int32_t(c[j]) * int32_t(h[j]));
    return int32_t(sum);
}

// c[j] += dir * d[j], dir in {-1, 0, 1}.
template <int N>
inline void AdaptPortable(int16_t* c, const int16_t* d, int32_t dir)
{
    for (int j = 0; j < N; ++j)
        c[j] = int16_t(c[j] + dir * d[j]);
}

// The decoder knows the adaptation direction before the dot product, so it
// does both in one pass; the dot uses the coefficients before the update.
template <int N>
inline int32_t DotAdaptPortable(int16_t* c, const int16_t* h, const int16_t* d, int32_t dir)
{
    uint32_t sum = 0;
    for (int j = 0; j < N; ++j) {
        sum += uint32_t(int32_t(c[j]) * int32_t(h[j]));
        c[j] = int16_t(c[j] + dir * d[j]);
    }
    return int32_t(sum);
}

#if KESTRUNE_APE_HAVE_SSE2

inline int32_t HorizontalSum(__m128i v)
{
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
    return _mm_cvtsi128_si32(v);
}

inline __m128i Load(const int16_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(int16_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// pmaddwd wraps exactly like the int32 sum (the only overflowing pair,
// 2 x (-32768)^2, becomes 0x80000000, which is that sum modulo 2^32).
template <int N>
inline int32_t DotSse2(const int16_t* c, const int16_t* h)
{
    static_assert(N % 16 == 0);
    __m128i acc0 = _mm_setzero_si128();
    __m128i acc1 = _mm_setzero_si128();
    for (int j = 0; j < N; j += 16) {
        acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(Load(c + j), Load(h + j)));
        acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(Load(c + j + 8), Load(h + j + 8)));
    }
    return HorizontalSum(_mm_add_epi32(acc0, acc1));
}

template <int N>
inline void AdaptSse2(int16_t* c, const int16_t* d, int32_t dir)
{
    const __m128i m = _mm_set1_epi16(int16_t(dir));
    for (int j = 0; j < N; j += 8)
        Store(c + j, _mm_add_epi16(Load(c + j), _mm_mullo_epi16(Load(d + j), m)));
}

template <int N>
inline int32_t DotAdaptSse2(int16_t* c, const int16_t* h, const int16_t* d, int32_t dir)
{
    static_assert(N % 16 == 0);
    const __m128i m = _mm_set1_epi16(int16_t(dir));
    __m128i acc0 = _mm_setzero_si128();
    __m128i acc1 = _mm_setzero_si128();
    for (int j = 0; j < N; j += 16) {
        const __m128i c0 = Load(c + j);
        const __m128i c1 = Load(c + j + 8);
        acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(c0, Load(h + j)));
        acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(c1, Load(h + j + 8)));
        Store(c + j, _mm_add_epi16(c0, _mm_mullo_epi16(Load(d + j), m)));
        Store(c + j + 8, _mm_add_epi16(c1, _mm_mullo_epi16(Load(d + j + 8), m)));
    }
    return HorizontalSum(_mm_add_epi32(acc0, acc1));
}

#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define KESTRUNE_APE_HAVE_AVX2 1
} // namespace kestrune::ape::nn
#include <immintrin.h>
namespace kestrune::ape::nn {

// AVX2 versions for the long filters (levels 3000 to 5000), chosen at run time.
#define KESTRUNE_APE_AVX2 __attribute__((target("avx2")))

KESTRUNE_APE_AVX2 inline __m256i Load256(const int16_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
KESTRUNE_APE_AVX2 inline void Store256(int16_t* p, __m256i v)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
KESTRUNE_APE_AVX2 inline int32_t HorizontalSum256(__m256i v)
{
    __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0x4E));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0xB1));
    return _mm_cvtsi128_si32(x);
}

template <int N>
KESTRUNE_APE_AVX2 inline int32_t DotAvx2(const int16_t* c, const int16_t* h)
{
    static_assert(N % 32 == 0);
    __m256i acc0 = _mm256_setzero_si256();
    __m256i acc1 = _mm256_setzero_si256();
    for (int j = 0; j < N; j += 32) {
        acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(Load256(c + j), Load256(h + j)));
        acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(Load256(c + j + 16), Load256(h + j + 16)));
    }
    return HorizontalSum256(_mm256_add_epi32(acc0, acc1));
}

template <int N>
KESTRUNE_APE_AVX2 inline void AdaptAvx2(int16_t* c, const int16_t* d, int32_t dir)
{
    const __m256i m = _mm256_set1_epi16(int16_t(dir));
    for (int j = 0; j < N; j += 16)
        Store256(c + j, _mm256_add_epi16(Load256(c + j), _mm256_mullo_epi16(Load256(d + j), m)));
}

template <int N>
KESTRUNE_APE_AVX2 inline int32_t DotAdaptAvx2(int16_t* c, const int16_t* h, const int16_t* d, int32_t dir)
{
    static_assert(N % 32 == 0);
    const __m256i m = _mm256_set1_epi16(int16_t(dir));
    __m256i acc0 = _mm256_setzero_si256();
    __m256i acc1 = _mm256_setzero_si256();
    for (int j = 0; j < N; j += 32) {
        const __m256i c0 = Load256(c + j);
        const __m256i c1 = Load256(c + j + 16);
        acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(c0, Load256(h + j)));
        acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(c1, Load256(h + j + 16)));
        Store256(c + j, _mm256_add_epi16(c0, _mm256_mullo_epi16(Load256(d + j), m)));
        Store256(c + j + 16, _mm256_add_epi16(c1, _mm256_mullo_epi16(Load256(d + j + 16), m)));
    }
    return HorizontalSum256(_mm256_add_epi32(acc0, acc1));
}

inline bool CpuHasAvx2()
{
    return __builtin_cpu_supports("avx2");
}

#else
#define KESTRUNE_APE_HAVE_AVX2 0
inline bool CpuHasAvx2()
{
    return false;
}
#endif

} // namespace kestrune::ape::nn
