#pragma once

#include "cd/ICdDrive.h"
#include "cd/ICdGrabberEvents.h"
#include "cd/TAccurateRipClient.h"
#include "cd/TCdGrabber.h"
#include "cd/TCddbClient.h"
#include "cd/TMusicBrainzClient.h"
#include "cd/TRipLog.h"
#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "common/TLifetime.h"
#include "rip/IRipView.h"
#include "settings/TEncoderSettings.h"

#include <array>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kestrune {

class TACSFileOut;
class TGrabPipe;

// What a rip is configured with, from the options and the command line.
struct TRipSettings {
    std::string RipPath;  // root of the ripped files
    int ReadOption = 2;   // the grabber's read mode (TCdGrabber::ReadOption)
    int ReadAttempts = 1; // reads of a sector before it counts as unreadable
    int ReadAction = 0;   // what an unreadable sector does (TCdGrabber::ReadAction)
    TCddbSettings Cddb;
    // The MusicBrainz releases offered after the CDDB entries; none when off.
    bool UseMusicBrainz = false;
    TMusicBrainzSettings MusicBrainz;
    // The rip verified against the AccurateRip database after the run, and
    // the rip log beside the files.
    bool Verify = true;
    TAccurateRipSettings AccurateRip;
    bool WriteLog = true;
    // The MP3 bit rate the run starts with, as a position in the bit-rate
    // list (the options' Bitrate).
    int Mp3BitrateIndex = 11;
};

class TOptions;
// The rip settings the options name: the rip folder, the album servers with
// port, proxy and e-mail, the read settings, the MP3 bit rate.
TRipSettings RipSettingsFrom(const TOptions& Options);

// Everything the rip window does besides drawing: the drives, the disc and
// its tracks, the album information (CDDB and MusicBrainz, else the disc's
// CD-TEXT), the album fields and entries, and the grab run that turns the
// checked tracks into files of the chosen format and sample format, tagged
// and named after their rows, then verified.
//
// The grab run is a job (jkRip): Started, Progress with the whole run's
// fraction and "Complete: 37.50%", Message for each track that failed, for
// the scratched-disc warning and for each track's verdict, Finished
// succeeded (every checked track has its file), failed (the reason names the
// first failure) or cancelled. A track that is stopped before its end or
// cannot be read leaves no file behind. The scratched-disc warning is also a
// box, once a run; after Finished the box "Grab finished" follows, with the
// folder of the files and the verification found (not after Close). The
// encoded formats are encoded while the track is read: the grabber's audio
// goes through a pipe straight into the encoder, and no WAV of the track is
// written.
//
// Every disc gets a folder of its own under the rip folder: the album's
// name, or "Disc " and the CDDB id when it has none. A rip never replaces
// or removes a file it did not make: a track whose name is taken in the
// folder (an earlier rip of the disc) gets "NAME (2)", and files are
// written under a temporary name and named only when complete.
//
// After the tracks, the AccurateRip database is asked on a thread of its own
// (unless Verify is off, its server empty or the run stopped), and the rip
// log is written as rip.log in the run's folder, or "rip (2).log" and so on
// when that name is taken (unless WriteLog is off).
//
// Threads: every public call on the window thread (the dispatcher's); the
// grabber, the encoder and the verification report back on that thread.
class TRipController final : private ICdGrabberEvents {
public:
    // Positions of the format list.
    static constexpr int rfWav = 0;
    static constexpr int rfMp3 = 1;
    static constexpr int rfFlac = 2;
    static constexpr int rfOgg = 3;
    static constexpr int rfApe = 4;
    // "WAV", "MP3", "FLAC", "Ogg Vorbis", "APE".
    static const std::vector<std::string>& FormatTexts();
    // The twelve sample formats, "11,025 Hz; 8 Bit; Mono;" ... "44,100 Hz;
    // 16 Bit; Stereo;" (the last, position 11, is the default).
    static const std::vector<std::string>& SampleFormatTexts();
    static constexpr int DefaultSampleFormat = 11;

    TRipController(IRipView& View, IDialogs& Dialogs, IDispatcher& Dispatcher,
                   std::shared_ptr<ICdDriveProvider> Drives, TRipSettings Settings);
    ~TRipController() override;
    TRipController(const TRipController&) = delete;
    TRipController& operator=(const TRipController&) = delete;

    // The window is shown: the rip folder is made and the drives are scanned
    // (posted, so the window is drawn first).
    void Show();
    void ScanDrives();
    // Position in the drive list, from 0.
    void ChooseDrive(int Index);
    void RefreshDisc();
    // Why the last refresh, save, eject or load failed: the status line says
    // only "Error: "; the command line prints this too.
    const std::string& ErrorDetail() const { return FErrorDetail; }

    // The check boxes "Load CD Album Information" and "Read track ISRC". The
    // setters only record the state; a click also asks whether to refresh.
    void SetLoadAlbumInfo(bool Checked) { FLoadAlbumInfo = Checked; }
    void SetReadIsrc(bool Checked) { FReadIsrc = Checked; }
    void ClickLoadAlbumInfo(bool Checked);
    void ClickReadIsrc(bool Checked);
    bool QueryRunning() const { return FQueryRunning; }
    bool AlbumInfoLoaded() const { return FAlbumInfoLoaded; }
    // The album entry chooser changed by the user, 1-based.
    void ChooseAlbumEntry(int Entry);

    const std::vector<TRipRow>& Rows() const { return FRows; }
    // In-place edits and check marks by the user.
    void SetRowCaption(int Index, const std::string& Caption);
    void SetRowChecked(int Index, bool Checked);
    // A click on a row (no grab running): the grabber follows its Tag.
    void ClickRow(int Index);

    // The album fields as the user typed them; used by Save and the run.
    void SetAlbumFields(const std::string& Album, const std::string& Artist, const std::string& Genre);
    void SaveAlbumInfo();

    // The format list and the sample format list, by position.
    void SetFormat(int Format);
    int Format() const { return FFormat; }
    void SetSampleFormat(int Position);
    // The format options are offered for every format but WAV.
    bool OptionsEnabled() const { return FFormat != rfWav; }
    // "Advanced Settings": for WAV the message that it has none, and false;
    // otherwise true, and the window opens the chosen format's dialog on
    // EncoderSettings and hands the result back.
    bool AskAdvancedSettings();
    const TEncoderSettings& EncoderSettings() const { return FEncoder; }
    void SetEncoderSettings(const TEncoderSettings& Settings) { FEncoder = Settings; }

    // "Grab Track": starts a run, or stops the running one.
    void Grab();
    bool Grabbing() const { return FRunning; }
    // The window may close unless an album query runs.
    bool CanClose() const { return !FQueryRunning; }
    // Closing: a running grab is stopped, its unfinished file removed, and the
    // drive let go.
    void Close();
    void Eject();
    void LoadTray();

    // The sample format chosen, by position.
    int SampleFormat() const { return FSampleFormat; }

    // What the last run wrote, and its log.
    const std::vector<std::string>& WrittenFiles() const { return FWritten; }
    const TRipLog& Log() const { return FLog; }
    TCdGrabber& Grabber() { return FGrabber; }
    TJobEvents& Events() { return FEvents; }

private:
    void OnMediaChange() override;
    void OnOperationProgress(double Progress) override;
    void OnGrabRetry(int Retry, int Sector) override;
    void OnFreeDBQueryStatus(int Status) override;

    void Fail(const std::exception& E);
    void EndQuery(const std::string& Status);
    void FillTracks();
    void AddRows();
    void SelectTrackOf(const TRipRow& Row);
    void StartRun();
    void StopRun();
    void NextTrack();
    bool StartTrack(std::size_t Row);
    // The disc's number of the track selected in the grabber, and its
    // place in the table of contents.
    int TrackNumber() const;
    std::size_t TocIndex() const;
    void TrackRead(const std::string& Error);
    // The encoder of the current track, made (raises when it cannot be)
    // and then run on the grab's pipe.
    void MakeEncoder();
    void RunEncoder();
    void StopEncoder();
    void EncoderEnded(const std::string& Error);
    // An encoded track ends once both its reading and its encoding have.
    void EncodedTrackEnded();
    void TrackDone(const std::string& Error);
    // Counts a track of the run as failed and tells why.
    void TrackFailed(const TRipRow& Row, const std::string& Error);
    void ShowRunProgress(double Overall);
    void SetRowPercent(const std::string& Text);
    void TagTrack(const std::filesystem::path& File);
    void Verify();
    void Verified(std::optional<TAccurateRipLookup> Lookup);
    void FinishRun();
    std::filesystem::path OutputFile() const;
    // The tags of a row as Vorbis comment fields: FLAC files and the Ogg
    // Vorbis encoder take them in this form.
    using TCommentFields = std::array<std::pair<const char*, std::string>, 4>;
    TCommentFields CommentFields(const TRipRow& Row) const;
    void JoinVerifier();
    // "Grab finished", then where the files went and what the verification
    // found.
    std::string FinishedText() const;
    // Ends the run, the query and the verification without a word.
    void StopEverything();

    IRipView& View;
    IDialogs& Dialogs;
    IDispatcher& Dispatcher;
    TRipSettings FSettings;
    TCdGrabber FGrabber;
    std::shared_ptr<TCddbClient> FCddb;
    std::shared_ptr<TMusicBrainzClient> FMusicBrainz;

    bool FLoadAlbumInfo = false;
    bool FReadIsrc = false;
    bool FAlbumInfoLoaded = false;
    bool FQueryRunning = false;
    std::vector<TRipRow> FRows;
    std::string FAlbum, FArtist, FGenre;
    // The CD-TEXT track titles by place in the table of contents, when the
    // CD-TEXT stands in for album information.
    std::vector<std::string> FCdTextTitles;
    int FFormat = rfWav;
    int FSampleFormat = DefaultSampleFormat;
    TEncoderSettings FEncoder;
    std::string FErrorDetail;
    bool FClosed = false;

    // The run: the checked rows one after the other.
    bool FRunning = false;
    bool FCancelRequested = false;
    bool FWarned = false;          // the scratched-disc warning was shown in this run
    bool FTrackBusy = false;       // the current track is being read or encoded
    bool FMediaChanged = false;    // the disc changed during the run
    int FTrackOrdinal = 0;         // 1-based among the run's rows
    int FLastRetry = 0;
    std::vector<std::size_t> FRunRows; // the rows checked when the run started
    std::size_t FRunRow = 0;       // 1 + the row of the current track
    std::filesystem::path FOutputFolder;
    std::filesystem::path FTrackBase; // folder and cleaned name, without extension
    std::shared_ptr<TGrabPipe> FPipe; // the current track's audio on its way to the encoder
    std::unique_ptr<TACSFileOut> FEncoderOut;
    bool FReadEnded = false, FEncodeEnded = false;
    std::string FReadError, FEncodeError;
    std::set<std::string> FNamesUsed;
    int FFailures = 0;
    std::string FFirstFailure;
    std::vector<std::string> FWritten;
    TRipLog FLog;
    std::thread FVerifier;
    std::atomic<bool> FVerifyCancel{false};

    TJobEvents FEvents{TJobKind::jkRip};
    TLifetime Life;
};

} // namespace kestrune
