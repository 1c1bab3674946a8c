#pragma once

#include <stdexcept>
#include <string>

namespace kestrune {

// The exception of every pipeline component; carries the text the user sees.
class EACSException : public std::runtime_error {
public:
    explicit EACSException(const std::string& Message) : std::runtime_error(Message) {}
};

} // namespace kestrune
