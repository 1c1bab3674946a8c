#pragma once

#include <cstdint>
#include <stdexcept>

namespace kestrune::ape {

// An SDK error code as an exception; the message is the one the program shows.
class EAPEException : public std::runtime_error {
public:
    explicit EAPEException(int32_t code);

    int32_t Code() const noexcept { return FCode; }

private:
    int32_t FCode;
};

} // namespace kestrune::ape
