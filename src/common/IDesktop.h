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
    // Moves the file into the desktop's trash (the freedesktop.org trash
    // beside the user's or the volume's files), where the user can bring it
    // back. False when it could not be moved; a desktop without a trash
    // moves nothing.
    virtual bool MoveToTrash(const std::string& /*File*/) { return false; }
};

} // namespace kestrune
