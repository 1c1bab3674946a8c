#pragma once

#include <cstdint>
#include <string>

namespace kestrune::ape {

// The program's own text for an SDK error code.
std::string ApeErrorText(int32_t code);

} // namespace kestrune::ape
