#include "cd/TCdioDriveProvider.h"

#include "cd/TCdioDrive.h"

#include <cdio/cdio.h>

#include <filesystem>

namespace kestrune {

namespace {

TDriveEntry DeviceEntry(const char* Device)
{
    TDriveEntry entry;
    entry.Name = Device;
    if (CdIo_t* cdio = cdio_open(Device, DRIVER_DEVICE)) {
        cdio_hwinfo_t info{};
        if (cdio_get_hwinfo(cdio, &info)) {
            entry.Text1 = info.psz_vendor;
            entry.Text2 = info.psz_model;
            entry.Text3 = info.psz_revision;
        }
        cdio_destroy(cdio);
    }
    return entry;
}

} // namespace

TCdioDriveProvider::TCdioDriveProvider(std::vector<std::string> Named, bool WithDevices)
    : FNamed(std::move(Named)), FWithDevices(WithDevices)
{
}

std::vector<TDriveEntry> TCdioDriveProvider::List()
{
    std::vector<TDriveEntry> drives;
    if (FWithDevices) {
        char** devices = cdio_get_devices(DRIVER_DEVICE);
        for (char** d = devices; d != nullptr && *d != nullptr; ++d)
            drives.push_back(DeviceEntry(*d));
        cdio_free_device_list(devices);
    }
    for (const std::string& name : FNamed) {
        bool listed = false;
        for (const TDriveEntry& d : drives)
            listed = listed || d.Name == name;
        if (listed)
            continue;
        if (TCdioDrive::IsImageName(name))
            drives.push_back({name, "CD image", std::filesystem::path(name).filename().string(), "BIN/CUE"});
        else
            drives.push_back(DeviceEntry(name.c_str()));
    }
    return drives;
}

std::unique_ptr<ICdDrive> TCdioDriveProvider::Open(const std::string& Name)
{
    return std::make_unique<TCdioDrive>(Name);
}

} // namespace kestrune
