#pragma once

#include "burn/IBurnDrive.h"

#include <atomic>
#include <filesystem>
#include <mutex>

namespace kestrune {

// A drive that "burns" to a BIN/CUE image (TImageWriter), so that a user
// without a burner can make a disc to burn elsewhere and the tests can burn.
// It always holds a blank CD-R of the capacity given, a fresh one for every
// write: an image that exists already is kept, and the next write goes to the
// first free name after it ("disc.cue", then "disc-2.cue", "disc-3.cue", ...),
// so that a run of discs (the automatic writing mode) leaves one image each.
class TImageDrive final : public IBurnDrive {
public:
    // CapacityMinutes may hold a fraction (a small disc for the tests).
    TImageDrive(std::filesystem::path CuePath, double CapacityMinutes);

    const std::filesystem::path& CuePath() const { return FCuePath; }
    // The name the next write takes.
    std::filesystem::path NextImage() const;

    std::string Vendor() const override { return "Image"; }
    std::string Model() const override { return FCuePath.string(); }
    std::string Revision() const override { return {}; }
    // An image is written as fast as the files are read.
    int MaxWriteSpeed() override { return 1; }
    TBurnDisc ReadDisc() override;
    bool Write(const TBurnJob& Job, const TBurnStepFn& Step, const std::atomic<bool>& Stop) override;
    bool Erase(bool Quick, const TBurnStepFn& Step, const std::atomic<bool>& Stop) override;
    std::string LastImage() const override;

private:
    std::filesystem::path FCuePath;
    std::int64_t FCapacitySectors;
    mutable std::mutex FLastMutex;
    std::string FLastImage;
};

} // namespace kestrune
