#include "ape/EAPEException.h"

#include "ape/ApeErrorText.h"

namespace kestrune::ape {

EAPEException::EAPEException(int32_t code) : std::runtime_error("MACDll error: " + ApeErrorText(code)), FCode(code) {}

} // namespace kestrune::ape
