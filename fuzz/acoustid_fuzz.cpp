// Lookup answers come from a server on the network and may be anything: the
// parser must take any bytes, and what it hands on must keep its promises.
#include "recognition/TAcoustIdParser.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    using kestrune::TAcoustIdParser;
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);
    const kestrune::TLookupResult result = TAcoustIdParser::Parse(text);
    if (result.Candidates.size() > TAcoustIdParser::MaxCandidates)
        std::abort();
    if (!result.Ok && (!result.Candidates.empty() || !result.BestId.empty() || result.Error.empty()))
        std::abort();
    if (!result.BestId.empty() && !TAcoustIdParser::IsIdentifier(result.BestId))
        std::abort();
    for (auto it = result.Candidates.begin(); it != result.Candidates.end(); ++it) {
        if (it->Title.empty() && it->Artist.empty() && it->Album.empty())
            std::abort();
        if (std::find(result.Candidates.begin(), it, *it) != it)
            std::abort();
    }
    return 0;
}
