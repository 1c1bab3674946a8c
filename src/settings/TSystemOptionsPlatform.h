#pragma once

#include "settings/IOptionsPlatform.h"

namespace kestrune {

// The machine itself: the device catalogue, and for the mixer the ALSA card
// of an "alsa:" device or the PulseAudio server of a "pulse:" one. Virtual
// devices have no mixer.
class TSystemOptionsPlatform final : public IOptionsPlatform {
public:
    std::vector<TDeviceInfo> CaptureDevices() override;
    std::vector<TAudioFormat> CaptureFormats(const std::string& Device) override;
    std::unique_ptr<IMixer> OpenMixer(const std::string& Device) override;
};

} // namespace kestrune
