#pragma once

#include "cd/ICdDrive.h"

#include <string>
#include <vector>

namespace kestrune {

// The drives libcdio finds (/dev/sr*), followed by the BIN/CUE images the
// user named, which are listed as drives of their own.
class TCdioDriveProvider final : public ICdDriveProvider {
public:
    explicit TCdioDriveProvider(std::vector<std::string> Images = {}, bool WithDevices = true);

    std::vector<TDriveEntry> List() override;
    std::unique_ptr<ICdDrive> Open(const std::string& Name) override;

private:
    std::vector<std::string> FImages;
    bool FWithDevices;
};

} // namespace kestrune
