#pragma once

#include "devices/IMixer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// One source line of the recording destination, kept with its own source
// index: a source that cannot be queried is left out without moving the
// others, so a name always leads to the line it came from.
struct TRecordingSource {
    std::string Name;
    int SourceIndex = -1;
};

// The recording destination as ListRecordingSources found it.
struct TRecordingDestination {
    bool Valid = false;
    int Channels = 0;
    int Connections = 0;
    std::vector<TRecordingSource> Sources;
};

// The destination's source selector as GetSelectedSource found it.
struct TSourceSelector {
    bool Valid = false;
    TSelectorKind Kind = TSelectorKind::skMux;
    std::uint32_t ControlId = 0;
    int Items = 0;
};

// The master volume that answers when it cannot be read.
inline constexpr std::uint16_t kUnknownMasterVolume = 30000;
// How many leading characters of a line name SelectSource compares.
inline constexpr std::size_t kSourceNameMatchLength = 20;

// The six recording-line operations. None reports an error: a failing mixer
// call ends the operation and leaves records, lists and variables as they
// were. All run on the window thread.

// Appends the recording destination's source names to List and fills
// Destination (its Sources pair each name with its source index).
void ListRecordingSources(IMixer& Mixer, std::vector<std::string>& List, TRecordingDestination& Destination);

// Sets Name to the selected source (the last one in item order when several
// are selected) and fills Selector. A mixer of switches is preferred to a
// multiplexer.
void GetSelectedSource(IMixer& Mixer, const TRecordingDestination& Destination, std::string& Name,
                       TSourceSelector& Selector);

// Selects every item whose name agrees with Name in its first 20 characters,
// letter case aside, and clears all others.
void SelectSource(IMixer& Mixer, const TRecordingDestination& Destination, const TSourceSelector& Selector,
                  const std::string& Name);

// Sets the volume (0..65535) of source line SourceIndex on its first and last channel.
void SetSourceVolume(IMixer& Mixer, const TRecordingDestination& Destination, int SourceIndex, std::uint16_t Volume);

// The master volume (0..65535), or 30000 when it cannot be read. ControlId is
// set once the control is found.
std::uint16_t GetMasterVolume(IMixer& Mixer, std::uint32_t& ControlId);

// Sets a one-channel control to Value when it can be read.
void SetControlValue(IMixer& Mixer, std::uint32_t ControlId, std::uint16_t Value);

// True when the two names agree in their first 20 characters, letter case aside.
bool SourceNamesMatch(const std::string& A, const std::string& B);

} // namespace kestrune
