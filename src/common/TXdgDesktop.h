#pragma once

#include "common/IDesktop.h"

#include <string>
#include <utility>

namespace kestrune {

// The default handlers through xdg-open (or another opener of the same
// kind, found on the PATH). The name is passed as one argument, never
// through a shell. The opener runs on its own; a thread of its own collects
// it when it ends, so no zombie is left behind.
class TXdgDesktop final : public IDesktop {
public:
    explicit TXdgDesktop(std::string OpenerProgram = "xdg-open") : Opener(std::move(OpenerProgram)) {}
    bool Open(const std::string& FileOrUrl) override;

private:
    std::string Opener;
};

} // namespace kestrune
