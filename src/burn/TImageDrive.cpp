#include "burn/TImageDrive.h"

#include "burn/ICdWriter.h"

#include <cmath>

namespace kestrune {

namespace fs = std::filesystem;

TImageDrive::TImageDrive(fs::path CuePath, double CapacityMinutes)
    : FCuePath(std::move(CuePath)), FCapacitySectors(std::llround(CapacityMinutes * 60 * TCdFigures::SectorsPerSecond))
{
}

fs::path TImageDrive::NextImage() const
{
    auto taken = [](const fs::path& Cue) {
        std::error_code error;
        fs::path bin = Cue;
        bin.replace_extension(".bin");
        return fs::exists(Cue, error) || fs::exists(bin, error);
    };
    if (!taken(FCuePath))
        return FCuePath;
    const std::string stem = FCuePath.stem().string();
    for (int n = 2;; ++n) {
        fs::path next = FCuePath;
        next.replace_filename(stem + "-" + std::to_string(n) + ".cue");
        if (!taken(next))
            return next;
    }
}

TBurnDisc TImageDrive::ReadDisc()
{
    TBurnDisc disc;
    disc.DiscState = 1;
    disc.MediaType = 1;
    disc.DiscStatus = 0;
    disc.CapacitySectors = FCapacitySectors;
    return disc;
}

bool TImageDrive::Write(const TBurnJob& Job, const TBurnStepFn& Step, const std::atomic<bool>& Stop)
{
    TImageWriter writer(NextImage());
    writer.SetGapSectors(Job.GapSectors);
    writer.SetCapacitySectors(FCapacitySectors);

    TBurnStep step;
    step.Operation = ICdWriter::opWrite;
    step.Phase = ICdWriter::wpAnalysing;
    if (!Job.Tracks.empty())
        step.ItemName = fs::path(Job.Tracks.front().FileName).filename().string();
    Step(step);

    step.Phase = ICdWriter::wpWriting;
    writer.SetProgress([&](const TImageProgress& Progress) {
        // The image writer forgets a cancel that came before it started, so
        // the stop is handed on at every block.
        if (Stop)
            writer.Cancel();
        step.ItemName = fs::path(Progress.FileName).filename().string();
        step.Percent =
            Progress.SectorsTotal > 0 ? static_cast<int>(Progress.SectorsDone * 100 / Progress.SectorsTotal) : 0;
        Step(step);
    });
    if (Stop)
        return false;
    if (writer.Write(Job.Tracks) != TImageWriter::TResult::irWritten)
        return false;
    std::lock_guard lock(FLastMutex);
    FLastImage = writer.CuePath().string();
    return true;
}

bool TImageDrive::Erase(bool, const TBurnStepFn&, const std::atomic<bool>&)
{
    throw EBurnError(ICdWriter::ecRefused, "An image drive holds a CD-R, which cannot be erased.");
}

std::string TImageDrive::LastImage() const
{
    std::lock_guard lock(FLastMutex);
    return FLastImage;
}

} // namespace kestrune
