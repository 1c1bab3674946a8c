#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>
#include <set>
#include <string>

namespace kestrune::cli {

// kestrune-cli disc: the table of contents of the disc in a drive (or of a
// BIN/CUE image), its CDDB and MusicBrainz identifiers, and the album
// entries found for it: from its CD-TEXT, and with --album-info cddb from
// the saved entries or a CDDB server, or with --album-info musicbrainz from
// the MusicBrainz disc-id lookup.
class TDiscCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();

    // 0 listed; 1 no disc, a damaged image or a failed album query.
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);

    // The rip window's texts: "AUDIO", "DATA (Mode 1)", ...; "4:07:013".
    static std::string TypeText(int Type);
    static std::string DurationText(int Minutes, int Seconds, int Fraction);
};

} // namespace kestrune::cli
