#pragma once

#include "cd/TDiscToc.h"

#include <cstdint>
#include <string>

namespace kestrune {

// How the AccurateRip database names a disc: two sums over the audio
// tracks' start sectors and the lead-out, and the freedb identifier. Data
// tracks add nothing to the sums, but a data track after the audio (an
// enhanced CD) still moves the lead-out, which counts where the disc's own
// table of contents puts it.
struct TAccurateRipDisc {
    int AudioTracks = 0;
    std::uint32_t Id1 = 0;
    std::uint32_t Id2 = 0;
    std::uint32_t CddbId = 0;
    // Numbers of the first and last audio track: the checksums of those two
    // leave out the frames at the disc's edges.
    int FirstAudioTrack = 0;
    int LastAudioTrack = 0;

    // Raises EACSException when the table is not valid or holds no audio.
    static TAccurateRipDisc FromToc(const TDiscToc& Toc);

    // "TTT-ID1-ID2-CDDBID", the form logs and the database's file names use.
    std::string Name() const;
    // The answer's place under the database root: three folders named by
    // the last three digits of Id1, then dBAR-NAME.bin.
    std::string UrlPath() const;
};

} // namespace kestrune
