#pragma once

#include <cstdlib>

namespace kestrune::fuzz {

// A property of a fuzz target: when it does not hold the run stops here, so
// the fuzzer keeps the input that broke it.
inline void Check(bool Condition)
{
    if (!Condition)
        std::abort();
}

} // namespace kestrune::fuzz
