// The AccurateRip answer comes from a server on the network: the parser must
// take any bytes, keep its bounds, and hand back either an error or chunks
// that are exactly what the bytes say (formatting them again gives the same
// bytes). The disc asked about is either a fixed one or the one that the
// input's first header names, so that the fuzzer gets past the id check.
#include "cd/TAccurateRipClient.h"
#include "cd/TAccurateRipDisc.h"
#include "cd/TAccurateRipResponse.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace kestrune;

void Check(std::string_view Body, const TAccurateRipDisc& Disc)
{
    const TAccurateRipResponse::TParsed parsed = TAccurateRipResponse::Parse(Body, Disc);
    if (parsed.Error.empty() == parsed.Chunks.empty())
        std::abort();
    if (!parsed.Error.empty())
        return;
    for (const std::vector<TAccurateRipEntry>& chunk : parsed.Chunks)
        if (chunk.size() != static_cast<std::size_t>(Disc.AudioTracks))
            std::abort();
    if (TAccurateRipResponse::Format(Disc, parsed.Chunks) != Body)
        std::abort();

    TAccurateRipLookup lookup;
    lookup.Status = TAccurateRipLookup::lsFound;
    lookup.Disc = Disc;
    lookup.Chunks = parsed.Chunks;
    const TAccurateRipSums sums{parsed.Chunks.front().front().Crc, parsed.Chunks.back().back().Crc};
    for (std::size_t t = 0; t <= static_cast<std::size_t>(Disc.AudioTracks); ++t) {
        const TAccurateRipVerdict v = TAccurateRipClient::Judge(lookup, t, sums);
        if (v.Confidence > v.Submissions || (v.Kind == TAccurateRipVerdict::vkAccurate) != (v.Confidence > 0))
            std::abort();
    }
}

std::uint32_t Le32(const std::uint8_t* P)
{
    return std::uint32_t{P[0]} | std::uint32_t{P[1]} << 8 | std::uint32_t{P[2]} << 16 | std::uint32_t{P[3]} << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string_view body(reinterpret_cast<const char*>(Data), Size);

    // Four tracks: 004-0002189a-00087f33-1f02e004.
    TDiscToc toc;
    toc.Tracks = {{1, 0, 0, 0, TTrackType::ttAudio, false, ""},
                  {2, 0, 11413, 0, TTrackType::ttAudio, false, ""},
                  {3, 0, 25024, 0, TTrackType::ttAudio, false, ""},
                  {4, 0, 45713, 0, TTrackType::ttAudio, false, ""}};
    toc.LeadOutLsn = 55220;
    static const TAccurateRipDisc fixed = TAccurateRipDisc::FromToc(toc);
    Check(body, fixed);

    if (Size >= TAccurateRipResponse::HeaderBytes && Data[0] > 0) {
        TAccurateRipDisc named;
        named.AudioTracks = Data[0];
        named.Id1 = Le32(Data + 1);
        named.Id2 = Le32(Data + 5);
        named.CddbId = Le32(Data + 9);
        Check(body, named);
    }
    return 0;
}
