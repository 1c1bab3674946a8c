#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kestrune {

// SHA-1 of a short text. The MusicBrainz disc identifier is defined over it;
// nothing here relies on it for security.
class TSha1 {
public:
    using TDigest = std::array<std::uint8_t, 20>;
    static TDigest Of(std::string_view Text);
};

} // namespace kestrune
