#pragma once

#include "burn/TImageWriter.h"
#include "pipeline/EACSException.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// A failure of a drive's operation with the code the writer reports for it.
class EBurnError : public EACSException {
public:
    EBurnError(int Code, const std::string& Message) : EACSException(Message), FCode(Code) {}
    int Code() const { return FCode; }

private:
    int FCode;
};

// The disc in a drive, as the burn window shows it. Sizes in sectors.
struct TBurnDisc {
    int DiscState = 0;  // 0 none, 1 usable, 2 unrecognised
    // 0 CD-ROM, 1 CD-R, 2 CD-RW, 3 DVD-ROM, 4 DVD+R, 5 DVD+RW, 6 DVD-R, 7 DVD-RW, 8 DVD-RAM;
    // -1 a writable medium of none of these kinds (the file behind a
    // pseudo-drive), named by MediaName: only the drive can say what it takes.
    int MediaType = 0;
    int DiscStatus = 3; // 0 blank, 1 open, 2 closed, 3 unknown
    std::int64_t UsedSectors = 0;
    std::int64_t CapacitySectors = 0; // the whole disc, used part included; 0 when unknown
    std::string MediaName;            // the drive's own name of the medium ("stdio file"); may be empty
};

// One write: the queue and how to lay it on the disc.
struct TBurnJob {
    std::vector<TImageTrack> Tracks;
    int GapSectors = TImageWriter::DefaultGapSectors;
    int Method = 0; // 0 auto, 1 track at once, 2 disc at once
    bool CloseDisc = true;
    bool Simulate = false;
    int Speed = 0; // a speed factor; 0 for the drive's highest
};

// Where a running operation stands; the writer turns it into its events.
struct TBurnStep {
    int Operation = 0; // ICdWriter::opErase, opWrite, opFinalise
    int Phase = 0;     // ICdWriter::wpAnalysing .. wpClosing
    int Percent = 0;
    std::string ItemName; // the queued file being read or written
};
using TBurnStepFn = std::function<void(const TBurnStep&)>;

// One drive the writer writes with: a real burner, or an image drive that
// writes a BIN/CUE image. The writer calls Write and Erase on a worker of its
// own and everything else on the window thread, never two at a time. A stop
// is asked for through the flag Write and Erase are given, which the writer
// sets from the window thread; it may be set before they start.
class IBurnDrive {
public:
    virtual ~IBurnDrive() = default;

    virtual std::string Vendor() const = 0;
    virtual std::string Model() const = 0;
    virtual std::string Revision() const = 0;

    // The highest write speed factor for the disc in the drive; 0 unknown.
    virtual int MaxWriteSpeed() = 0;
    // A write method the drive imposes whatever is asked; 0 when none.
    virtual int ImposedWriteMethod() const { return 0; }

    virtual TBurnDisc ReadDisc() = 0;

    // Writes the job, reporting through Step, until done or Stop is set.
    // Returns false when stopped; raises (EBurnError, or EACSException for
    // a failure with no code of its own) on failure.
    virtual bool Write(const TBurnJob& Job, const TBurnStepFn& Step, const std::atomic<bool>& Stop) = 0;
    virtual bool Erase(bool Quick, const TBurnStepFn& Step, const std::atomic<bool>& Stop) = 0;

    virtual void Eject() {}
    virtual void LoadTray() {}
    // Where the last completed write went, when it is a file; else empty.
    virtual std::string LastImage() const { return {}; }
};

// Finds the drives of one kind; raises when they cannot be looked for.
using TBurnDriveScan = std::function<std::vector<std::unique_ptr<IBurnDrive>>()>;

} // namespace kestrune
