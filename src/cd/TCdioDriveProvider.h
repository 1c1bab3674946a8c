#pragma once

#include "cd/ICdDrive.h"

#include <map>
#include <mutex>
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
    // An image: the size and modification time of its cue sheet and data
    // file (empty while the cue sheet is missing). A real drive: how often
    // the drive has said its medium changed, asked without reading the disc.
    std::optional<std::string> MediaStamp(const std::string& Name) override;

private:
    std::mutex FChangesMutex;
    std::map<std::string, unsigned> FChanges;
    std::vector<std::string> FNamed;
    bool FWithDevices;
};

} // namespace kestrune
