#include "cd/TCdioDriveProvider.h"

#include "cd/TCdioDrive.h"
#include "cd/TCueSheet.h"
#include "pipeline/EACSException.h"

#include <cdio/cdio.h>

#include <filesystem>

namespace kestrune {

namespace {

// Size and modification time of a file, or "-" while it is missing.
std::string FileStamp(const std::filesystem::path& Path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(Path, error);
    if (error)
        return "-";
    const auto time = std::filesystem::last_write_time(Path, error);
    if (error)
        return "-";
    return std::to_string(size) + "@" + std::to_string(time.time_since_epoch().count());
}

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
    TCdioDrive::QuietLibrary();
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

std::optional<std::string> TCdioDriveProvider::MediaStamp(const std::string& Name)
{
    if (TCdioDrive::IsImageName(Name)) {
        const std::filesystem::path cue(Name);
        const std::string cueStamp = FileStamp(cue);
        if (cueStamp == "-")
            return std::string();
        try {
            return cueStamp + " " + FileStamp(TCueSheet::CheckImage(cue).DataFile);
        } catch (const EACSException&) {
            return cueStamp + " ?"; // a damaged image: it changes when the cue sheet does
        }
    }
    TCdioDrive::QuietLibrary();
    // A handle of its own for a moment: one held open would keep the drive
    // from ejecting. The drive keeps its change flag between openings, and
    // asking it does not spin the disc up.
    CdIo_t* cdio = cdio_open(Name.c_str(), DRIVER_DEVICE);
    if (cdio == nullptr)
        return std::nullopt;
    const int changed = cdio_get_media_changed(cdio);
    cdio_destroy(cdio);
    if (changed < 0)
        return std::nullopt;
    const std::lock_guard<std::mutex> lock(FChangesMutex);
    unsigned& changes = FChanges[Name];
    if (changed > 0)
        ++changes;
    return "changes " + std::to_string(changes);
}

} // namespace kestrune
