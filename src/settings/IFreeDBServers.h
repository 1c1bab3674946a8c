#pragma once

#include <optional>
#include <string>

namespace kestrune {

// The album-information component's server list, asked one index at a time.
// Window thread only.
class IFreeDBServers {
public:
    virtual ~IFreeDBServers() = default;
    // The host name of server Index, or none when the component cannot say.
    virtual std::optional<std::string> ServerName(int Index) = 0;
};

} // namespace kestrune
