#include "cd/TCdioDriveProvider.h"

#include "cd/TCdioDrive.h"

#include <cdio/cdio.h>

#include <filesystem>

namespace kestrune {

TCdioDriveProvider::TCdioDriveProvider(std::vector<std::string> Images, bool WithDevices)
    : FImages(std::move(Images)), FWithDevices(WithDevices)
{
}

std::vector<TDriveEntry> TCdioDriveProvider::List()
{
    std::vector<TDriveEntry> drives;
    if (FWithDevices) {
        char** devices = cdio_get_devices(DRIVER_DEVICE);
        for (char** d = devices; d != nullptr && *d != nullptr; ++d) {
            TDriveEntry entry;
            entry.Name = *d;
            if (CdIo_t* cdio = cdio_open(*d, DRIVER_DEVICE)) {
                cdio_hwinfo_t info{};
                if (cdio_get_hwinfo(cdio, &info)) {
                    entry.Text1 = info.psz_vendor;
                    entry.Text2 = info.psz_model;
                    entry.Text3 = info.psz_revision;
                }
                cdio_destroy(cdio);
            }
            drives.push_back(entry);
        }
        cdio_free_device_list(devices);
    }
    for (const std::string& image : FImages)
        drives.push_back({image, "CD image", std::filesystem::path(image).filename().string(), "BIN/CUE"});
    return drives;
}

std::unique_ptr<ICdDrive> TCdioDriveProvider::Open(const std::string& Name)
{
    return std::make_unique<TCdioDrive>(Name);
}

} // namespace kestrune
