#pragma once

#include <algorithm>
#include <cmath>

namespace kestrune {

// Where a level sits on the program's level meters: a decibel scale that
// puts FloorDb and below at 0 and full scale at 1, so the quiet levels that
// matter for telling silence from music get room of their own.
struct TMeterScale {
    static constexpr double FloorDb = -60.0;

    // Fraction: a sample magnitude as a fraction of full scale.
    static double Position(double Fraction)
    {
        if (!(Fraction > 0))
            return 0;
        const double decibels = 20 * std::log10(std::min(Fraction, 1.0));
        return std::clamp((decibels - FloorDb) / -FloorDb, 0.0, 1.0);
    }
};

} // namespace kestrune
