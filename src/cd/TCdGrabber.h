#pragma once

#include "cd/ICdDrive.h"
#include "cd/ICdGrabberEvents.h"
#include "common/IDispatcher.h"
#include "common/TLifetime.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kestrune {

// The CD grabber the rip window drives: the drive list, the disc in the
// current drive, its sessions and tracks, and grabbing one track into a WAV
// file on a thread of its own. Drive numbers are 1-based; session and track
// numbers 0-based and counted within the current session. Everything is
// called on the window thread; events come back there through the
// dispatcher. Failures raise EACSException.
//
// A track runs from its INDEX 01 to the next track's INDEX 01: the pregap
// (INDEX 00) in front of a track is grabbed as the end of the track before
// it, as cd-paranoia does.
class TCdGrabber {
public:
    TCdGrabber(IDispatcher& Dispatcher, std::shared_ptr<ICdDriveProvider> Drives);
    ~TCdGrabber();
    TCdGrabber(const TCdGrabber&) = delete;
    TCdGrabber& operator=(const TCdGrabber&) = delete;

    void SetEvents(ICdGrabberEvents* Events) { FEvents = Events; }

    // 1: read through the paranoia checks; 0: plain reads.
    int ReadOption = 1;
    // How often an unreadable sector is read before the grab fails.
    int ReadAttempts = 1;

    void Initialize();
    int DriveCount() const { return static_cast<int>(FDrives.size()); }
    int CurrentDrive() const { return FCurrentDrive; }
    void SetCurrentDrive(int Drive);
    std::string DriveName() const;
    std::string DriveText1() const;
    std::string DriveText2() const;
    std::string DriveText3() const;

    // Re-reads the disc of the current drive. A drive or image that cannot be
    // opened raises with its reason.
    void Refresh();
    int DiscState() const { return static_cast<int>(FPresence); }
    int SessionCount() const;
    int MediaType() const { return FMediaType; }
    std::uint32_t DiscId() const;
    const TDiscToc& Toc() const { return FToc; }
    const TCdText& CdText() const { return FCdText; }

    int CurrentSession() const { return FCurrentSession; }
    void SetCurrentSession(int Session);
    int TrackCount() const;
    int CurrentTrack() const { return FCurrentTrack; }
    void SetCurrentTrack(int Track);

    int TrackMinutes() const;
    int TrackSeconds() const;
    // Thousandths of a second beyond TrackSeconds.
    int TrackFraction() const;
    int TrackType() const;
    std::string TrackISRC() const;
    bool TrackPreEmphasis() const;
    // The disc's CD-TEXT title of the track, empty when it has none.
    std::string TrackTitle() const;

    // Starts grabbing the current track into a WAV file (44.1 kHz, 16-bit,
    // stereo) and returns at once. The file appears under its name only
    // when every sector was read and written; a failed or cancelled grab
    // leaves nothing behind. Raises when a grab is running, no audio track
    // is selected, or the reader cannot be set up.
    void GrabToFile(const std::filesystem::path& Path);
    void CancelGrab();
    bool Grabbing() const { return FWorker.joinable() && !FFinished; }
    // Why the last grab ended without a file; empty after a finished grab.
    // Read it once progress 100 has arrived.
    const std::string& GrabError() const { return FGrabError; }

    void Eject();
    void LoadTray();
    // Stops a running grab and lets go of the drive.
    void Shutdown();

private:
    const TTocTrack& Selected() const;
    std::vector<const TTocTrack*> SessionTracks(int Session) const;
    void EnsureIdle(const char* What) const;
    void Join();
    void PostProgress(double Progress);

    IDispatcher& FDispatcher;
    std::shared_ptr<ICdDriveProvider> FProvider;
    ICdGrabberEvents* FEvents = nullptr;

    std::vector<TDriveEntry> FDrives;
    int FCurrentDrive = 0;
    std::unique_ptr<ICdDrive> FDrive;

    TDiscPresence FPresence = TDiscPresence::dpNone;
    int FMediaType = -1;
    TDiscToc FToc;
    TCdText FCdText;
    int FCurrentSession = 0;
    int FCurrentTrack = 0;

    std::thread FWorker;
    std::atomic<bool> FCancel{false};
    bool FFinished = true; // window thread only
    std::string FGrabError;

    TLifetime Life;
};

} // namespace kestrune
