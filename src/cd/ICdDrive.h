#pragma once

#include "cd/TDiscToc.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

// Whether a drive holds a disc that can be read, in the grabber's codes.
enum class TDiscPresence : int {
    dpNone = 0,
    dpUsable = 1,
    dpUnrecognised = 2,
};

// CD-TEXT of the first language block: the disc's fields and one entry per
// track of the table of contents (empty texts where the disc has none).
struct TCdText {
    std::string AlbumTitle;
    std::string AlbumPerformer;
    std::vector<std::string> TrackTitles;
    std::vector<std::string> TrackPerformers;
};

// Reads one stretch of audio sectors in order. Used on the grab's worker
// thread only, and only while its drive is otherwise left alone.
class ISectorReader {
public:
    virtual ~ISectorReader() = default;
    // The next sector's 2352 bytes (16-bit little-endian stereo). False when
    // it could not be read within the allowed attempts; the call after that
    // reads the sector behind it, so a grab may go on past a damaged spot.
    virtual bool Next(std::uint8_t* Out) = 0;
};

// A CD drive: a real one or a disc image standing in for one. Raises
// EACSException when an operation fails.
class ICdDrive {
public:
    // Called on the reading thread for each read that failed and is tried
    // again: the attempt number (1 for the first retry) and the sector. It
    // returns whether to go on trying: the mode that never gives up on a
    // sector gives up once the grab is stopped.
    using TRetry = std::function<bool(int Attempt, std::int32_t Sector)>;

    virtual ~ICdDrive() = default;

    virtual TDiscPresence Presence() = 0;
    virtual TDiscToc Toc() = 0;
    virtual TCdText CdText() = 0;
    // 0..8: CD-ROM, CD-R, CD-RW, DVD-ROM, DVD+R, DVD+RW, DVD-R, DVD-RW,
    // DVD-RAM; -1 when the drive cannot tell.
    virtual int MediaType() = 0;

    // A reader for Sectors sectors from FirstLsn. ReadOption is the user's
    // read mode: 0 reads plainly, 1 checks the overlap of successive reads,
    // 2 runs every paranoia check but gives up on a sector after Attempts
    // reads, 3 runs every check and never gives up on a sector (until the
    // retry callback says so). Attempts is how often a failing sector is
    // read before giving up.
    virtual std::unique_ptr<ISectorReader> Read(std::int32_t FirstLsn, std::int32_t Sectors, int ReadOption,
                                                int Attempts, TRetry OnRetry) = 0;

    virtual void Eject() = 0;
    virtual void LoadTray() = 0;
};

// One entry of the drive list: its name (a device path or an image's path)
// and three describing texts (vendor, model, revision for a real drive).
struct TDriveEntry {
    std::string Name;
    std::string Text1;
    std::string Text2;
    std::string Text3;
};

// Where the grabber finds its drives.
class ICdDriveProvider {
public:
    virtual ~ICdDriveProvider() = default;
    virtual std::vector<TDriveEntry> List() = 0;
    // Raises EACSException with the reason when the drive cannot be opened.
    virtual std::unique_ptr<ICdDrive> Open(const std::string& Name) = 0;

    // A cheap look at the medium in the drive Name, for noticing a disc
    // that is put in, taken out or swapped: a text that differs whenever the
    // medium did change (what it says is the provider's own). No value when
    // this drive cannot be watched. Called about once a second from a
    // thread of its own, also while the window thread uses the provider, so
    // it must neither spin a disc up nor touch a drive handed out by Open.
    virtual std::optional<std::string> MediaStamp(const std::string& /*Name*/) { return std::nullopt; }
};

} // namespace kestrune
