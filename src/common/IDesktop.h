#pragma once

#include <string>

namespace kestrune {

// The desktop's default handlers: a file opens in the user's own player, a
// web address in the browser.
class IDesktop {
public:
    virtual ~IDesktop() = default;
    // Hands the file or address over and returns at once; false when no
    // handler could be started.
    virtual bool Open(const std::string& FileOrUrl) = 0;
};

} // namespace kestrune
