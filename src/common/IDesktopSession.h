#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

// The user's desktop session: keeps it awake while a long job needs the
// machine, and puts short notes on the screen. Every call returns at once;
// a desktop that offers neither service simply shows nothing.
class IDesktopSession {
public:
    virtual ~IDesktopSession() = default;

    // Keeps the session from going idle and asleep until Release. Reason is
    // what the desktop shows when the user asks why. A second Inhibit while
    // one is held does nothing.
    virtual void Inhibit(const std::string& Reason) = 0;
    // Lets the session sleep again; nothing when nothing is held.
    virtual void Release() = 0;
    // True between Inhibit and Release (whether or not the desktop has
    // answered yet).
    virtual bool Inhibited() const = 0;

    // Shows a notification. A later one with the same Key replaces the
    // earlier one on the screen instead of adding a second.
    virtual void Notify(std::uint64_t Key, const std::string& Summary, const std::string& Body) = 0;
};

} // namespace kestrune
