#pragma once

#include "settings/IOptionsPlatform.h"

namespace kestrune {

// The machine itself: the device catalogue, whose back-ends also give each
// device's mixer (virtual devices have none).
class TSystemOptionsPlatform final : public IOptionsPlatform {
public:
    std::vector<TDeviceInfo> CaptureDevices() override;
    std::vector<TAudioFormat> CaptureFormats(const std::string& Device) override;
    std::unique_ptr<IMixer> OpenMixer(const std::string& Device) override;
};

} // namespace kestrune
