#pragma once

#include "cli/TCliOutput.h"
#include "devices/TDeviceInfo.h"

#include <vector>

namespace kestrune::cli {

// Prints the recording lines of the mixers behind the real capture devices
// (each mixer once), the selected line marked, with each line's volume and the
// master volume, 0..65535. Reads only; nothing on the mixer changes.
void ReportMixerLines(const std::vector<TDeviceInfo>& CaptureDevices, TCliOutput& Out, bool Json);

} // namespace kestrune::cli
