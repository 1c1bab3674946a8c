#pragma once

#include <string>

namespace kestrune {

// One capture or playback device as the lists show it. Name is the device
// name used everywhere (options, command line, lists): "virtual:demo",
// "virtual:PATH.wav", "alsa:NAME", "pulse:SOURCE".
struct TDeviceInfo {
    std::string Name;
    std::string Description;
    bool Virtual = false;
    // The sound server's monitor of its default sink: recording it records
    // what the user hears, which is what a new user most likely wants.
    bool Preferred = false;
};

} // namespace kestrune
