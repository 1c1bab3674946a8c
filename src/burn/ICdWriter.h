#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// What the CD writer reports, always on the window thread.
class ICdWriterEvents {
public:
    virtual ~ICdWriterEvents() = default;
    // 0 to 100 of the running operation (see CurrentOperation). An erase
    // ends at 100; a write ends at 100 during the finalising operation.
    virtual void OnOperationProgress(int Percent) = 0;
    // The running operation (or the drive scan) failed: a code and the
    // reason in words a user reads. After it no further progress arrives
    // for that operation. Codes: ecCancelled (-101) for a cancelled
    // operation and ecNoDisc (-104) when the disc went away; both are not
    // shown to the user.
    virtual void OnErrorEx(int Code, const std::string& Text) = 0;
    // A disc was put in, taken out or changed; the disc figures are stale.
    virtual void OnMediaChange() = 0;
};

// The CD writer the burn window drives: the drives that write audio CDs
// (real ones through libburn, and image drives that write a BIN/CUE image),
// the disc in the current drive and its figures, a queue of audio files,
// writing the queue as an audio disc, quick-erasing a CD-RW, the tray.
// Drive numbers are 1-based; figures (CompilationSize, UsedSpace,
// DiscCapacity) count 153535 to a second of audio (TCdFigures).
//
// Threads: Initialize may run on a worker thread (nothing else runs on the
// writer meanwhile); everything else on the window thread, where the events
// arrive through the dispatcher. WriteDisc and EraseDisc return once
// started. Failures of a call raise EACSException.
class ICdWriter {
public:
    static constexpr int ecCancelled = -101;
    static constexpr int ecNoDisc = -104;
    // The operation failed in the drive or the writer; the text says why.
    static constexpr int ecFailed = -100;
    // The drive cannot do what was asked (audio on a disc that is not a CD,
    // a write method it lacks); the text is the drive's reason.
    static constexpr int ecRefused = -102;

    // CurrentOperation values.
    static constexpr int opNone = 0;
    static constexpr int opErase = 1;
    static constexpr int opWrite = 11;
    static constexpr int opFinalise = 12;
    // WritePhase values.
    static constexpr int wpAnalysing = 0;
    static constexpr int wpReading = 1;
    static constexpr int wpWriting = 2;
    static constexpr int wpClosing = 3;

    virtual ~ICdWriter() = default;

    virtual void SetEvents(ICdWriterEvents* Events) = 0;

    // Finds the drives; a failure raises (the caller reports it).
    virtual void Initialize() = 0;
    virtual int DriveCount() const = 0;
    virtual int CurrentDrive() const = 0;
    virtual void SetCurrentDrive(int Drive) = 0;
    virtual std::string DriveText1() const = 0; // vendor, or "Image"
    virtual std::string DriveText2() const = 0; // model, or the cue's path
    virtual std::string DriveText3() const = 0; // revision
    // A speed factor; asking for more than the drive can gives its highest.
    virtual void SetWriteSpeed(int Speed) = 0;
    virtual int WriteSpeed() const = 0;

    // Re-reads the disc of the current drive before the getters below.
    virtual void Refresh() = 0;
    virtual int DiscState() const = 0;  // 0 none, 1 usable, 2 unrecognised
    // 0..8: CD-ROM, CD-R, CD-RW, DVD-ROM, ...; -1 a writable medium of
    // another kind (a pseudo-drive's file), which the drive judges itself
    // when the write starts: a job it cannot take ends in ecRefused.
    virtual int MediaType() const = 0;
    virtual int DiscStatus() const = 0; // 0 blank, 1 open, 2 closed, 3 unknown
    // The drive's own name of the medium, for a MediaType of -1 ("stdio
    // file"); empty when the drive names none.
    virtual std::string MediaName() const { return {}; }
    virtual long long CompilationSize() const = 0;
    virtual long long UsedSpace() const = 0;
    virtual long long DiscCapacity() const = 0;

    // The queue, written in order. AddTrack raises when the file cannot be
    // read as audio.
    virtual void AddTrack(const std::string& FileName) = 0;
    virtual void RemoveTrack(int Index) = 0;
    virtual void ClearTracks() = 0;
    virtual int TrackCount() const = 0;

    virtual void SetCloseDisc(bool Close) = 0;
    // 0 auto, 1 track at once, 2 disc at once.
    virtual void SetWriteMethod(int Method) = 0;
    virtual int WriteMethod() const = 0;
    // A method the drive imposes whatever is asked; 0 when none.
    virtual int DriveWriteMethod() const = 0;
    // Test mode: everything but the laser (real drives only).
    virtual void SetSimulate(bool Simulate) = 0;
    // Silence between tracks, in seconds (0 for none: live albums, mixes);
    // two unless set. A drive writing track at once keeps its own gap.
    virtual void SetGapSeconds(int Seconds) { (void)Seconds; }

    virtual void WriteDisc() = 0;
    virtual void EraseDisc(bool Quick) = 0;
    // Stops the running operation; OnErrorEx(ecCancelled) follows, no
    // completion.
    virtual void CancelWrite() = 0;

    virtual int CurrentOperation() const = 0;
    virtual int WritePhase() const = 0;
    virtual std::string CurrentItemName() const = 0;

    virtual void Eject() = 0;
    virtual void LoadTray() = 0;
    // Stops what runs and lets go of the drives.
    virtual void Shutdown() = 0;
    // The cue sheet the last completed write made, when the current drive
    // is an image drive; else empty.
    virtual std::string LastImage() const { return {}; }
};

} // namespace kestrune
