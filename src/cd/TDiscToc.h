#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// What a track is, in the codes the rip window shows: audio, the two data
// modes and the two forms of mode 2, or something the drive could not name.
enum class TTrackType : int {
    ttAudio = 0,
    ttMode1 = 1,
    ttMode2 = 2,
    ttMode2Form1 = 21,
    ttMode2Form2 = 22,
    ttUnknown = -1,
};

// One track of a disc's table of contents. Positions are logical sector
// numbers (LSN: 0 is the first sector after the 2-second lead-in).
struct TTocTrack {
    int Number = 0;            // as the disc numbers it, 1..99
    int Session = 0;           // 0-based
    std::int32_t StartLsn = 0; // its INDEX 01
    std::int32_t Sectors = 0;  // up to the next track's INDEX 01 (or the lead-out)
    TTrackType Type = TTrackType::ttAudio;
    bool PreEmphasis = false;
    std::string Isrc; // empty when the disc carries none

    bool IsAudio() const { return Type == TTrackType::ttAudio; }
};

// A disc's table of contents and the identifiers that album databases use
// for it.
//
// Pregaps: the INDEX 00 gap in front of track N+1 belongs to track N, which
// is how the CD reading library and cd-paranoia count it. A track therefore
// runs from its own INDEX 01 to the next track's INDEX 01, and reading it
// gives the same bytes that cd-paranoia gives for it.
struct TDiscToc {
    static constexpr int SectorBytes = 2352;
    static constexpr int SectorsPerSecond = 75;
    // The lead-in that frame offsets count and LSNs do not.
    static constexpr int LeadInSectors = 150;

    std::vector<TTocTrack> Tracks;
    std::int32_t LeadOutLsn = 0;
    std::string Mcn; // the disc's catalogue number, empty when absent

    // Checks what the identifiers rely on: 1 to 99 tracks numbered upwards
    // without gaps, each starting after the one before, all before the
    // lead-out. Raises EACSException with the reason otherwise.
    void Validate() const;

    // The freedb/gnudb disc identifier and its usual form, eight lower-case
    // hexadecimal digits.
    std::uint32_t CddbId() const;
    std::string CddbIdText() const;

    // The MusicBrainz disc identifier: 28 characters of base64 over the
    // SHA-1 of the hexadecimal table of contents.
    std::string MusicBrainzId() const;

    // Frame offsets (LSN + 150) of the tracks and the disc length in whole
    // seconds, as the CDDB query sends them.
    std::vector<std::int32_t> FrameOffsets() const;
    int DiscSeconds() const;

    int AudioTrackCount() const;
    // Numbers of the first and the last audio track, 0 when there is none:
    // the frames at the disc's edges count differently in the AccurateRip
    // sums of these two.
    int FirstAudioTrack() const;
    int LastAudioTrack() const;
};

} // namespace kestrune
