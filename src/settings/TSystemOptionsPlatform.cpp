#include "settings/TSystemOptionsPlatform.h"

#include "devices/TAlsaMixer.h"
#include "devices/TDeviceCatalog.h"
#include "devices/TPulseMixer.h"

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
    if (Device.rfind("alsa:", 0) == 0)
        return TAlsaMixer::Open(TAlsaMixer::ControlNameFor(Device.substr(5)));
    if (Device.rfind("pulse:", 0) == 0)
        return TPulseMixer::Open();
    return nullptr;
}

} // namespace kestrune
