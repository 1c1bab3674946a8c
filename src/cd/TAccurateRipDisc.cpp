#include "cd/TAccurateRipDisc.h"

#include "pipeline/EACSException.h"

#include <cstdio>

namespace kestrune {

TAccurateRipDisc TAccurateRipDisc::FromToc(const TDiscToc& Toc)
{
    Toc.Validate();
    TAccurateRipDisc disc;
    for (const TTocTrack& t : Toc.Tracks) {
        if (!t.IsAudio())
            continue;
        const auto start = static_cast<std::uint32_t>(t.StartLsn);
        disc.Id1 += start;
        // A track at sector 0 would vanish from the product, so it counts as 1.
        disc.Id2 += (start == 0 ? 1U : start) * static_cast<std::uint32_t>(t.Number);
        ++disc.AudioTracks;
    }
    if (disc.AudioTracks == 0)
        throw EACSException("The disc holds no audio tracks to verify.");
    disc.FirstAudioTrack = Toc.FirstAudioTrack();
    disc.LastAudioTrack = Toc.LastAudioTrack();
    const auto leadOut = static_cast<std::uint32_t>(Toc.LeadOutLsn);
    disc.Id1 += leadOut;
    disc.Id2 += leadOut * static_cast<std::uint32_t>(disc.AudioTracks + 1);
    disc.CddbId = Toc.CddbId();
    return disc;
}

std::string TAccurateRipDisc::Name() const
{
    char text[40];
    std::snprintf(text, sizeof text, "%03d-%08x-%08x-%08x", AudioTracks, Id1, Id2, CddbId);
    return text;
}

std::string TAccurateRipDisc::UrlPath() const
{
    char id[9];
    std::snprintf(id, sizeof id, "%08x", Id1);
    return std::string{id[7], '/', id[6], '/', id[5], '/'} + "dBAR-" + Name() + ".bin";
}

} // namespace kestrune
