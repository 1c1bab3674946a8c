#pragma once

#include "burn/IBurnDrive.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// libburn's header declares its types in this name space for C++.
namespace burn {
struct burn_drive;
}

namespace kestrune {

// A real burner driven through libburn: audio tracks written track at once
// or disc at once (with the gaps, CD-TEXT and ISRCs of the queue), the
// disc's state and size, its speeds, quick or full erase of a CD-RW, the
// tray, and test writes.
//
// The audio is streamed: libburn pulls each track sector by sector from the
// file's TCdAudioSource on its own writing thread, so nothing is decoded
// ahead or held whole.
//
// libburn refuses what a drive or disc cannot take (audio on anything but a
// CD, a write type the drive lacks) before it writes; its reason is the text
// of the ecRefused error. Its own messages are queued, never printed, and
// become the text of a failure.
class TLibburnDrive final : public IBurnDrive {
public:
    // The drives libburn finds on the machine (Addresses empty), or the
    // drives named ("/dev/sr0", or a "stdio:" pseudo-drive over a file).
    // Raises when libburn cannot start; a named drive that cannot be opened
    // is left out.
    static std::vector<std::unique_ptr<IBurnDrive>> Scan(const std::vector<std::string>& Addresses = {});

    ~TLibburnDrive() override;
    TLibburnDrive(const TLibburnDrive&) = delete;
    TLibburnDrive& operator=(const TLibburnDrive&) = delete;

    std::string Vendor() const override { return FVendor; }
    std::string Model() const override { return FModel; }
    std::string Revision() const override { return FRevision; }
    int MaxWriteSpeed() override;
    TBurnDisc ReadDisc() override;
    bool Write(const TBurnJob& Job, const TBurnStepFn& Step, const std::atomic<bool>& Stop) override;
    bool Erase(bool Quick, const TBurnStepFn& Step, const std::atomic<bool>& Stop) override;
    void Eject() override;
    void LoadTray() override;

    // What libburn holds while drives of it live: the library and the
    // arrays its scans handed out.
    struct THold;

private:
    TLibburnDrive(std::shared_ptr<THold> Hold, burn::burn_drive* Drive, bool Grabbed, std::string Vendor,
                  std::string Model, std::string Revision);
    void Grab();
    // Waits until the drive is idle again, reporting and cancelling; false
    // when a cancelled drive did not stop in time.
    bool Follow(const std::function<void()>& Poll, const std::atomic<bool>& Stop);

    std::shared_ptr<THold> FHold;
    burn::burn_drive* FDrive;
    bool FGrabbed;
    std::string FVendor;
    std::string FModel;
    std::string FRevision;
};

} // namespace kestrune
