// NN filters (order, shift) of each compression level, in encoder order; the
// decoder runs them back to front.
#pragma once

#include <cstdint>
#include <vector>

#include "ape/TApeNNFilter.h"

namespace kestrune::ape {

struct TApeFilterSpec {
    int Order;
    int Shift;
};

inline std::vector<TApeFilterSpec> ApeFiltersOfLevel(int32_t level)
{
    switch (level) {
    case 2000:
        return {{16, 11}};
    case 3000:
        return {{64, 11}};
    case 4000:
        return {{256, 13}, {32, 10}};
    case 5000:
        return {{1280, 15}, {256, 13}, {16, 11}};
    default:
        return {};
    }
}

inline std::vector<TApeNNFilter> ApeMakeFilters(int32_t level, uint16_t version, TApeNNFilter::TKernel kernel)
{
    std::vector<TApeNNFilter> filters;
    for (const TApeFilterSpec& f : ApeFiltersOfLevel(level))
        filters.emplace_back(f.Order, f.Shift, version, kernel);
    return filters;
}

} // namespace kestrune::ape
