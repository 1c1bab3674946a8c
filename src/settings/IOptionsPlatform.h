#pragma once

#include "devices/IMixer.h"
#include "devices/TDeviceInfo.h"
#include "pipeline/TAudioFormat.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// What the options store asks of the machine: the capture devices (real
// ones first) when it loads, what each can record, and the mixer that belongs
// to one when a capture starts or the settings window lists its lines. The desktop and command-line programs use
// TSystemOptionsPlatform; tests script their own. Called on the window thread.
class IOptionsPlatform {
public:
    virtual ~IOptionsPlatform() = default;
    virtual std::vector<TDeviceInfo> CaptureDevices() = 0;
    virtual std::vector<TAudioFormat> CaptureFormats(const std::string& Device) = 0;
    // The mixer of a capture device, or nullptr when it has none or it cannot be opened.
    virtual std::unique_ptr<IMixer> OpenMixer(const std::string& Device) = 0;
};

} // namespace kestrune
