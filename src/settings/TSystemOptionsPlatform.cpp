#include "settings/TSystemOptionsPlatform.h"

#include "devices/TDeviceCatalog.h"

namespace kestrune {

std::vector<TDeviceInfo> TSystemOptionsPlatform::CaptureDevices()
{
    return TDeviceCatalog::CaptureDevices();
}

std::vector<TAudioFormat> TSystemOptionsPlatform::CaptureFormats(const std::string& Device)
{
    return TDeviceCatalog::CaptureFormats(Device);
}

std::unique_ptr<IMixer> TSystemOptionsPlatform::OpenMixer(const std::string& Device)
{
    return TDeviceCatalog::OpenMixer(Device);
}

} // namespace kestrune
