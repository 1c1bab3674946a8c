#pragma once

#include "cd/ICdDrive.h"

#include <string>
#include <vector>

namespace kestrune {

// The drives libcdio finds (/dev/sr*), followed by the drives and BIN/CUE
// images the user named (an image is listed as a drive of its own).
class TCdioDriveProvider final : public ICdDriveProvider {
public:
    explicit TCdioDriveProvider(std::vector<std::string> Named = {}, bool WithDevices = true);

    std::vector<TDriveEntry> List() override;
    std::unique_ptr<ICdDrive> Open(const std::string& Name) override;

private:
    std::vector<std::string> FNamed;
    bool FWithDevices;
};

} // namespace kestrune
