#pragma once

#include "common/IDesktop.h"

namespace kestrune {

// The desktop's default handlers as Qt reaches them (the portal inside a
// sandbox, xdg-open elsewhere): a path opens in the user's player, an
// address in the browser.
class TQtDesktop final : public IDesktop {
public:
    bool Open(const std::string& FileOrUrl) override;
    bool MoveToTrash(const std::string& File) override;
};

} // namespace kestrune
