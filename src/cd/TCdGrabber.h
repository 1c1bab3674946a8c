#pragma once

#include "cd/ICdDrive.h"
#include "cd/ICdGrabberEvents.h"
#include "cd/TAlbumInfo.h"
#include "cd/TMediaWatch.h"
#include "cd/TTrackChecks.h"
#include "common/IDispatcher.h"
#include "common/TLifetime.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kestrune {

class TCddbClient;
class TMusicBrainzClient;
class TGrabPipe;
class TGrabTarget;

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
//
// While a drive is chosen and neither a grab nor a query runs, the drive is
// watched for a disc put in, taken out or swapped (TMediaWatch); each change
// arrives as OnMediaChange.
class TCdGrabber {
public:
    TCdGrabber(IDispatcher& Dispatcher, std::shared_ptr<ICdDriveProvider> Drives);
    ~TCdGrabber();
    TCdGrabber(const TCdGrabber&) = delete;
    TCdGrabber& operator=(const TCdGrabber&) = delete;

    void SetEvents(ICdGrabberEvents* Events) { FEvents = Events; }

    // The read mode (ICdDrive::Read): 0 plain reads, 1 overlap checking,
    // 2 every paranoia check but giving up on a sector, 3 every check.
    int ReadOption = 2;
    // How often an unreadable sector is read before it counts as unreadable.
    int ReadAttempts = 1;
    // What an unreadable sector does to the grab: raStop fails it (no
    // file), raSilence writes the sector as silence, raCut leaves it out;
    // the last two go on and count the sector in GrabChecks' Unreadable.
    static constexpr int raStop = 0;
    static constexpr int raSilence = 1;
    static constexpr int raCut = 2;
    int ReadAction = raStop;
    // Whether grabs measure the CRC and the AccurateRip sums of what they
    // read (GrabChecks). They cost about as much CPU as reading an image;
    // off when neither a verification nor a log will read them.
    bool MeasureChecks = true;

    void Initialize();
    int DriveCount() const { return static_cast<int>(FDrives.size()); }
    // The drives found by Initialize, by position from 0; listing them does
    // not choose one (choosing one looks at its medium).
    const std::vector<TDriveEntry>& Drives() const { return FDrives; }
    int CurrentDrive() const { return FCurrentDrive; }
    void SetCurrentDrive(int Drive);
    std::string DriveName() const;
    std::string DriveText1() const;
    std::string DriveText2() const;
    std::string DriveText3() const;

    // Re-reads the disc of the current drive. A drive or image that cannot be
    // opened raises with its reason. The album entries of a query stay while
    // the same disc is read again.
    void Refresh();
    int DiscState() const { return static_cast<int>(FPresence); }
    int SessionCount() const;
    int MediaType() const { return FMediaType; }
    std::uint32_t DiscId() const;
    const TDiscToc& Toc() const { return FToc; }
    const TCdText& CdText() const { return FCdText; }
    // The disc's CD-TEXT as an album entry (source "cdtext", a title for
    // every track of Toc); nothing when it names neither the album nor a track.
    static std::optional<TAlbumInfo> CdTextAlbum(const TCdText& Text, const TDiscToc& Toc);

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
    // The track's title in the chosen album entry; without entries, its
    // CD-TEXT title; empty when there is neither.
    std::string TrackTitle() const;

    // Asks Client for the disc's album entries and returns at once; the
    // course arrives as OnFreeDBQueryStatus. With MusicBrainz given, its
    // releases follow the CDDB entries as further entries, and the query
    // counts as found when either source found something; it failed only
    // when neither could be asked. When neither has the album and the disc
    // carries CD-TEXT, that becomes the one entry and the query counts as
    // found. Saved entries always go to Client's store. Raises without a
    // usable disc or while a query or grab runs.
    void QueryFreeDB(std::shared_ptr<TCddbClient> Client, std::shared_ptr<TMusicBrainzClient> MusicBrainz = nullptr);
    bool Querying() const { return FQueryWorker.joinable() && !FQueryFinished; }
    // Why the last query found nothing; read it after its end status.
    const std::string& QueryError() const { return FQueryError; }
    int AlbumMatchCount() const { return static_cast<int>(FAlbums.size()); }
    int AlbumMatch() const { return FAlbumMatch; }
    void SetAlbumMatch(int Match);
    std::string AlbumTitle() const;
    std::string AlbumArtist() const;
    std::string AlbumGenre() const;
    void SetAlbumTitle(const std::string& Text);
    void SetAlbumArtist(const std::string& Text);
    void SetAlbumGenre(const std::string& Text);
    // Stores the chosen entry, with the values set, where later queries for
    // this disc find it first. Raises when there is no client or entry.
    void SaveAlbumInfo();

    // The sample format of the next grabs' files: the disc's 44.1 kHz,
    // 16-bit stereo is converted to it (rate by libsoxr, depth and channels
    // exactly). Rates 8000 to 192000, 1 or 2 channels, 8, 16 or 24 bits;
    // raises otherwise, and while a grab runs. The checksums are always
    // those of the disc's own audio.
    void SetOutputFormat(int SampleRate, int Channels, int BitsPerSample);
    int OutputSampleRate() const { return FOutRate; }
    int OutputChannels() const { return FOutChannels; }
    int OutputBitsPerSample() const { return FOutBits; }

    // Starts grabbing the current track into a WAV file of the output format
    // (at first the disc's own: 44.1 kHz, 16-bit, stereo) and returns at once. The file appears under its name only
    // when every sector was read and written; a failed or cancelled grab
    // leaves nothing behind. Raises when a grab is running, no audio track
    // is selected, or the reader cannot be set up.
    void GrabToFile(const std::filesystem::path& Path);
    // Starts grabbing the current track into a pipe that an encoder reads as
    // its input, so the track is encoded while it is read; returns the pipe
    // (progress and GrabError as for GrabToFile). A failed or cancelled grab
    // fails the encoder's run; an encoder that stops fails the grab. Raises
    // as GrabToFile.
    std::shared_ptr<TGrabPipe> GrabToPipe();
    void CancelGrab();
    bool Grabbing() const { return FWorker.joinable() && !FFinished; }
    // Why the last grab ended without a file; empty after a finished grab.
    // Read it once progress 100 has arrived.
    const std::string& GrabError() const { return FGrabError; }
    // The checksums of a track (by its number on the disc) measured while it
    // was grabbed, for verification and the rip log; null until a grab of it
    // has finished since the disc was read.
    const TTrackChecks* GrabChecks(int TrackNumber) const;

    void Eject();
    void LoadTray();
    // Stops a running grab, ends the watch for disc changes and lets go of
    // the drive.
    void Shutdown();

    // How often the drive is looked at for a disc change (a second).
    void SetMediaPollInterval(std::chrono::milliseconds Interval) { FWatch.SetInterval(Interval); }

private:
    const TTocTrack& Selected() const;
    // The selected track, when a grab of it may start; raises otherwise.
    const TTocTrack& CheckGrab();
    void StartGrab(const TTocTrack& Track, std::unique_ptr<TGrabTarget> Target);
    std::vector<const TTocTrack*> SessionTracks(int Session) const;
    void EnsureIdle(const char* What) const;
    void Join();
    void PostProgress(double Progress);
    void PostQueryStatus(int Status);
    TAlbumInfo* Chosen();
    const TAlbumInfo* Chosen() const;
    void JoinQuery();

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

    int FOutRate = 44100;
    int FOutChannels = 2;
    int FOutBits = 16;

    std::thread FWorker;
    std::atomic<bool> FCancel{false};
    bool FFinished = true; // window thread only
    std::string FGrabError;
    std::map<int, TTrackChecks> FChecks;

    std::shared_ptr<TCddbClient> FClient;
    std::thread FQueryWorker;
    std::atomic<bool> FQueryCancel{false};
    bool FQueryFinished = true; // window thread only
    std::string FQueryError;
    std::vector<TAlbumInfo> FAlbums;
    int FAlbumMatch = 0;

    TMediaWatch FWatch;

    TLifetime Life;
};

} // namespace kestrune
