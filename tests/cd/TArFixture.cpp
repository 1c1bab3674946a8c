#include "cd/TArFixture.h"

#include "cd/TAccurateRipChecksum.h"

namespace kestrune::test {

std::vector<std::uint8_t> TArFixture::Audio(std::uint32_t Seed, int Sectors)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(std::size_t(Sectors) * TDiscToc::SectorBytes);
    std::uint32_t x = Seed;
    for (int i = 0; i < Sectors * 588; ++i) {
        x = x * 1664525U + 1013904223U;
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(x >> shift));
    }
    return bytes;
}

TArFixture::TDisc TArFixture::Disc(const std::vector<std::pair<std::uint32_t, int>>& Tracks)
{
    TDisc disc;
    std::int32_t at = 0;
    for (std::size_t i = 0; i < Tracks.size(); ++i) {
        const auto [seed, sectors] = Tracks[i];
        disc.Toc.Tracks.push_back({static_cast<int>(i) + 1, 0, at, sectors, TTrackType::ttAudio, false, ""});
        disc.Tracks.push_back(Audio(seed, sectors));
        TAccurateRipChecksum sums(std::int64_t{sectors} * 588, i == 0, i + 1 == Tracks.size());
        sums.Add(disc.Tracks.back().data(), disc.Tracks.back().size());
        disc.Sums.push_back({sums.V1(), sums.V2()});
        at += sectors;
    }
    disc.Toc.LeadOutLsn = at;
    disc.Disc = TAccurateRipDisc::FromToc(disc.Toc);
    return disc;
}

} // namespace kestrune::test
