#pragma once

#include <cstdint>

namespace kestrune {

__extension__ typedef __int128 TInt128;

// Numerator / Denominator rounded to the nearest integer, halves to even,
// computed exactly in integers (both operands non-negative, Denominator > 0).
inline std::int64_t DivRoundHalfEven(std::int64_t Numerator, std::int64_t Denominator)
{
    const std::int64_t q = Numerator / Denominator;
    const std::int64_t r = Numerator % Denominator;
    const std::int64_t twice = 2 * r;
    if (twice > Denominator || (twice == Denominator && (q & 1) != 0))
        return q + 1;
    return q;
}

// Part / Whole as a percentage, rounded halves to even, without overflow for
// any 64-bit byte counts.
inline int PercentHalfEven(std::int64_t Part, std::int64_t Whole)
{
    const TInt128 n = static_cast<TInt128>(Part) * 100;
    const TInt128 q = n / Whole;
    const TInt128 r = n % Whole;
    const TInt128 twice = 2 * r;
    TInt128 result = q;
    if (twice > Whole || (twice == Whole && (q & 1) != 0))
        ++result;
    return static_cast<int>(result);
}

} // namespace kestrune
