#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrune {

// How a recording destination chooses among its sources: several at once
// (a mixer of switches) or exactly one (a multiplexer).
enum class TSelectorKind { skMixer, skMux };

// The mixer of a capture device, seen as the recording operations need it: a
// recording destination with numbered source lines, a source selector, a
// volume per source line and a master (playback) volume. The recording-line
// operations in MixerLines.h are built on it; ALSA, PulseAudio and a
// scriptable fake implement it.
//
// Every call answers false when the mixer cannot do it and then leaves its
// out-arguments as they were. Volumes are 16-bit, 0 to 65535, whatever the
// device's own scale. Control identifiers are chosen by the implementation and
// stay valid while it is open.
//
// Threads: the query and set calls come from one thread at a time (the window
// thread); the implementations guard their own state. The change handler is
// called on the implementation's event thread.
class IMixer {
public:
    virtual ~IMixer() = default;

    // The recording destination: its channel count and its number of source lines.
    virtual bool GetDestination(int& Channels, int& Connections) = 0;
    // Source line SourceIndex (0 to Connections - 1): its name and channel count.
    virtual bool GetSourceLine(int SourceIndex, std::string& Name, int& Channels) = 0;

    // The destination's selector control of the given kind and its item count.
    virtual bool FindSelector(TSelectorKind Kind, std::uint32_t& ControlId, int& Items) = 0;
    // Item names and values of a selector, Items x Channels entries: item k
    // fills the entries from k x Channels on, the same value in each.
    virtual bool ReadSelectorNames(std::uint32_t ControlId, int Items, int Channels,
                                   std::vector<std::string>& Names) = 0;
    virtual bool ReadSelectorValues(std::uint32_t ControlId, int Items, int Channels, std::vector<bool>& Values) = 0;
    // Item k counts as selected when its first entry is set. A multiplexer
    // records from the first selected item.
    virtual bool WriteSelectorValues(std::uint32_t ControlId, int Items, int Channels,
                                     const std::vector<bool>& Values) = 0;

    // The volume control of a source line and its channel count.
    virtual bool FindSourceVolume(int SourceIndex, std::uint32_t& ControlId, int& Channels) = 0;
    // The master (playback) volume control.
    virtual bool FindMasterVolume(std::uint32_t& ControlId) = 0;
    // Reads Channels values; one value reads the control as uniform (its
    // loudest channel).
    virtual bool ReadVolume(std::uint32_t ControlId, int Channels, std::vector<std::uint16_t>& Values) = 0;
    // Writes one value per channel; a single value sets every channel.
    virtual bool WriteVolume(std::uint32_t ControlId, const std::vector<std::uint16_t>& Values) = 0;

    // Called with a control's identifier when its value changed, also by
    // someone else (another program, the desktop's volume applet). Called on
    // the mixer's event thread; it must not call back into the mixer, only
    // hand the work on (to the window thread). An empty handler stops the calls.
    using TControlChange = std::function<void(std::uint32_t ControlId)>;
    virtual void SetOnControlChange(TControlChange Handler) = 0;
};

} // namespace kestrune
