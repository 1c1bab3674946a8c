#include "cd/TDiscToc.h"

#include "cd/TSha1.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstdio>

namespace kestrune {

void TDiscToc::Validate() const
{
    if (Tracks.empty() || Tracks.size() > 99)
        throw EACSException("The table of contents holds " + std::to_string(Tracks.size()) +
                            " tracks; a disc has 1 to 99.");
    for (std::size_t i = 0; i < Tracks.size(); ++i) {
        const TTocTrack& t = Tracks[i];
        if (t.Number < 1 || t.Number > 99 || (i > 0 && t.Number != Tracks[i - 1].Number + 1))
            throw EACSException("Track numbers in the table of contents are out of order.");
        if (t.StartLsn < 0)
            throw EACSException("Track " + std::to_string(t.Number) + " starts inside the lead-in.");
        if (i > 0 && t.StartLsn <= Tracks[i - 1].StartLsn)
            throw EACSException("Track " + std::to_string(t.Number) + " starts before the track in front of it.");
    }
    if (LeadOutLsn <= Tracks.back().StartLsn)
        throw EACSException("The lead-out lies before the last track's start.");
}

std::vector<std::int32_t> TDiscToc::FrameOffsets() const
{
    std::vector<std::int32_t> offsets;
    offsets.reserve(Tracks.size());
    for (const TTocTrack& t : Tracks)
        offsets.push_back(t.StartLsn + LeadInSectors);
    return offsets;
}

int TDiscToc::DiscSeconds() const
{
    return (LeadOutLsn + LeadInSectors) / SectorsPerSecond;
}

std::uint32_t TDiscToc::CddbId() const
{
    Validate();
    std::uint32_t digitSum = 0;
    for (const std::int32_t offset : FrameOffsets()) {
        for (int seconds = offset / SectorsPerSecond; seconds > 0; seconds /= 10)
            digitSum += static_cast<std::uint32_t>(seconds % 10);
    }
    const auto length =
        static_cast<std::uint32_t>(DiscSeconds() - (Tracks.front().StartLsn + LeadInSectors) / SectorsPerSecond);
    return ((digitSum % 255U) << 24) | ((length & 0xFFFFU) << 8) | static_cast<std::uint32_t>(Tracks.size());
}

std::string TDiscToc::CddbIdText() const
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", CddbId());
    return text;
}

std::string TDiscToc::MusicBrainzId() const
{
    Validate();
    // First and last track number, the lead-out and 99 track offsets (0 for
    // tracks the disc does not have), in upper-case hexadecimal.
    std::string hex;
    char field[9];
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(Tracks.front().Number));
    hex += field;
    std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(Tracks.back().Number));
    hex += field;
    std::snprintf(field, sizeof field, "%08X", static_cast<unsigned>(LeadOutLsn + LeadInSectors));
    hex += field;
    for (int number = 1; number <= 99; ++number) {
        unsigned offset = 0;
        for (const TTocTrack& t : Tracks)
            if (t.Number == number)
                offset = static_cast<unsigned>(t.StartLsn + LeadInSectors);
        std::snprintf(field, sizeof field, "%08X", offset);
        hex += field;
    }
    const TSha1::TDigest digest = TSha1::Of(hex);

    // Base64 with the three characters that are safe in a URL.
    static constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._";
    std::string id;
    for (std::size_t i = 0; i < digest.size(); i += 3) {
        const std::size_t left = digest.size() - i;
        const std::uint32_t group = (std::uint32_t{digest[i]} << 16) |
                                    (left > 1 ? std::uint32_t{digest[i + 1]} << 8 : 0U) |
                                    (left > 2 ? std::uint32_t{digest[i + 2]} : 0U);
        id += Alphabet[(group >> 18) & 63U];
        id += Alphabet[(group >> 12) & 63U];
        id += left > 1 ? Alphabet[(group >> 6) & 63U] : '-';
        id += left > 2 ? Alphabet[group & 63U] : '-';
    }
    return id;
}

int TDiscToc::AudioTrackCount() const
{
    int count = 0;
    for (const TTocTrack& t : Tracks)
        count += t.IsAudio() ? 1 : 0;
    return count;
}

int TDiscToc::FirstAudioTrack() const
{
    const auto found = std::find_if(Tracks.begin(), Tracks.end(), [](const TTocTrack& T) { return T.IsAudio(); });
    return found == Tracks.end() ? 0 : found->Number;
}

int TDiscToc::LastAudioTrack() const
{
    const auto found = std::find_if(Tracks.rbegin(), Tracks.rend(), [](const TTocTrack& T) { return T.IsAudio(); });
    return found == Tracks.rend() ? 0 : found->Number;
}

} // namespace kestrune
