#pragma once

#include "settings/IOptionsPlatform.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrune::test {

// A machine without sound devices or mixers, for options stores whose devices
// a test names itself (virtual ones, mostly).
class TNoDevices final : public IOptionsPlatform {
public:
    std::vector<TDeviceInfo> CaptureDevices() override { return {}; }
    std::vector<TAudioFormat> CaptureFormats(const std::string&) override { return {}; }
    std::unique_ptr<IMixer> OpenMixer(const std::string&) override { return nullptr; }
};

} // namespace kestrune::test
