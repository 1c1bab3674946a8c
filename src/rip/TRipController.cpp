#include "rip/TRipController.h"

#include "cd/TAccurateRipDisc.h"
#include "cd/TGrabPipe.h"
#include "common/TPartFile.h"
#include "formats/FlacComments.h"
#include "formats/TFLACOut.h"
#include "formats/TMACOut.h"
#include "formats/TMP3Out.h"
#include "formats/TVorbisOut.h"
#include "formats/TagTrackFile.h"
#include "pipeline/EACSException.h"
#include "rip/TRipTexts.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

struct TSampleFormat {
    const char* Text;
    int Rate;
    int Channels;
    int Bits;
};

constexpr TSampleFormat SampleFormats[] = {
    {"11,025 Hz; 8 Bit; Mono;", 11025, 1, 8},    {"11,025 Hz; 16 Bit; Mono;", 11025, 1, 16},
    {"11,025 Hz; 8 Bit; Stereo;", 11025, 2, 8},  {"11,025 Hz; 16 Bit; Stereo;", 11025, 2, 16},
    {"22,050 Hz; 8 Bit; Mono;", 22050, 1, 8},    {"22,050 Hz; 16 Bit; Mono;", 22050, 1, 16},
    {"22,050 Hz; 8 Bit; Stereo;", 22050, 2, 8},  {"22,050 Hz; 16 Bit; Stereo;", 22050, 2, 16},
    {"44,100 Hz; 8 Bit; Mono;", 44100, 1, 8},    {"44,100 Hz; 16 Bit; Mono;", 44100, 1, 16},
    {"44,100 Hz; 8 Bit; Stereo;", 44100, 2, 8},  {"44,100 Hz; 16 Bit; Stereo;", 44100, 2, 16},
};

// The extension of each rip format.
const char* Extension(int Format)
{
    switch (Format) {
    case TRipController::rfMp3:
        return ".mp3";
    case TRipController::rfFlac:
        return ".flac";
    case TRipController::rfOgg:
        return ".ogg";
    case TRipController::rfApe:
        return ".ape";
    default:
        return ".wav";
    }
}

// A full disk is what a user can mend, and is said so in plain words.
std::string DiskFullText(const std::string& Error)
{
    if (Error.rfind("Disk full", 0) == 0 || Error.find(std::strerror(ENOSPC)) == std::string::npos)
        return Error;
    return "Disk full: " + Error;
}

// The name Base + Extension in Folder, or, when a file of that name exists
// or the run has used it, the first free "Base (N)" + Extension: a rip
// never replaces a file it did not make.
std::string FreeName(const fs::path& Folder, const std::string& Base, const std::string& Extension,
                     const std::set<std::string>& Used)
{
    std::string name = Base;
    std::error_code error;
    for (int n = 2; Used.count(name) != 0 || fs::exists(Folder / (name + Extension), error); ++n)
        name = Base + " (" + std::to_string(n) + ")";
    return name;
}

// Album text names a folder: it must stay one folder inside the rip folder,
// so separators become "-" and a name of dots alone is not taken as "here"
// or "up".
std::string CleanFolderName(const std::string& Name)
{
    std::string clean = Name;
    for (char& c : clean)
        if (c == '/' || c == '\\')
            c = '-';
    if (clean.find_first_not_of('.') == std::string::npos)
        std::replace(clean.begin(), clean.end(), '.', '-');
    return clean;
}

// "NAME=value" for each field that has a value.
template <typename TFields>
void AppendComments(const TFields& Fields, std::vector<std::string>& Comments)
{
    for (const auto& [name, value] : Fields)
        if (!value.empty())
            Comments.push_back(std::string(name) + "=" + value);
}

std::string Hex(std::uint32_t Value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", Value);
    return text;
}

} // namespace

const std::vector<std::string>& TRipController::FormatTexts()
{
    static const std::vector<std::string> texts = {"WAV", "MP3", "FLAC", "Ogg Vorbis", "APE"};
    return texts;
}

const std::vector<std::string>& TRipController::SampleFormatTexts()
{
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> list;
        for (const TSampleFormat& f : SampleFormats)
            list.emplace_back(f.Text);
        return list;
    }();
    return texts;
}

TRipController::TRipController(IRipView& V, IDialogs& D, IDispatcher& Disp, std::shared_ptr<ICdDriveProvider> Drives,
                               TRipSettings Settings)
    : View(V), Dialogs(D), Dispatcher(Disp), FSettings(std::move(Settings)), FGrabber(Disp, std::move(Drives))
{
    FGrabber.SetEvents(this);
    if (const auto rate = TMp3Settings::FromIndex(FSettings.Mp3BitrateIndex))
        FEncoder.Mp3.BitRate = *rate;
}

TRipController::~TRipController()
{
    Life.End();
    // Nobody hears of it any more, but nothing half-made is left behind.
    StopEverything();
    FGrabber.SetEvents(nullptr);
}

void TRipController::StopEverything()
{
    FClosed = true;
    FCancelRequested = true;
    FVerifyCancel = true;
    // The grab stops and its unfinished file goes with it; the encoder is
    // told first, so that it fails (and leaves no file) rather than take
    // the end of its input for the end of the track.
    if (FPipe)
        FPipe->Fail("The grab was stopped.");
    FGrabber.Shutdown();
    StopEncoder();
    JoinVerifier();
    FQueryRunning = false;
    FTrackBusy = false;
}

void TRipController::JoinVerifier()
{
    if (FVerifier.joinable())
        FVerifier.join();
}

void TRipController::Fail(const std::exception& E)
{
    FErrorDetail = E.what();
    View.SetStatus("Error: ");
}

void TRipController::Show()
{
    if (!FSettings.RipPath.empty()) {
        std::error_code ignored;
        fs::create_directories(FSettings.RipPath, ignored);
    }
    FQueryRunning = false;
    View.SetStatus("Loading CD information...");
    Dispatcher.Post(Life.Token(), [this] { ScanDrives(); });
}

void TRipController::ScanDrives()
{
    if (FRunning || FQueryRunning || FClosed)
        return;
    View.SetBusy(true);
    View.EnableControls(false);
    View.SetStatus("Accessing CD / DVD-drive(s)");
    FAlbumInfoLoaded = false;
    FWarned = false;
    try {
        FGrabber.ReadOption = FSettings.ReadOption;
        FGrabber.ReadAttempts = FSettings.ReadAttempts;
        FGrabber.ReadAction = FSettings.ReadAction;
        // Nothing reads a track's sums without a verification or a log, and
        // they cost about as much as reading an image.
        FGrabber.MeasureChecks = FSettings.Verify || FSettings.WriteLog;
        FGrabber.Initialize();
        std::vector<std::string> entries;
        for (const TDriveEntry& drive : FGrabber.Drives())
            entries.push_back(RipTexts::DriveEntry(drive.Name, drive.Text1, drive.Text2, drive.Text3));
        if (entries.empty())
            throw EACSException("No drive was found.");
        View.SetDrives(entries, 0);
        ChooseDrive(0);
        View.SetBusy(false);
        View.EnableControls(true);
    } catch (const std::exception& e) {
        FErrorDetail = e.what();
        View.SetBusy(false);
        View.SetStatus("CD\\DVD drives were not detected!");
    }
}

void TRipController::ChooseDrive(int Index)
{
    if (FRunning || FQueryRunning || Index < 0 || Index >= FGrabber.DriveCount())
        return;
    try {
        FGrabber.SetCurrentDrive(Index + 1);
    } catch (const std::exception& e) {
        Fail(e);
        return;
    }
    RefreshDisc();
}

void TRipController::RefreshDisc()
{
    if (FRunning || FQueryRunning || FClosed)
        return;
    View.SetStatus("Refresh CD");
    FRows.clear();
    View.SetRows(FRows);
    View.EnableControls(false);
    View.SetAlbumEntryRange(0, 0, 0);
    FAlbum.clear();
    FArtist.clear();
    FGenre.clear();
    View.SetAlbumFields("", "", "");
    try {
        FGrabber.Refresh();
        if (FGrabber.DiscState() == 0) {
            View.SetStatus("No disc");
            View.EnableDriveChoice(true);
        } else if (FGrabber.DiscState() == 2) {
            // Asked before the sessions: a disc the drive cannot recognise
            // has no table of contents to count them in.
            View.SetStatus("Unrecognized");
            View.EnableDriveChoice(true);
        } else if (FGrabber.SessionCount() <= 0) {
            View.SetStatus("Empty disc");
            Dialogs.Warning("Disc is empty or drive not support this disc type!");
            View.EnableDriveChoice(true);
        } else {
            View.SetDiscIdText("CDDB ID: " + Hex(FGrabber.DiscId()));
            if (FLoadAlbumInfo) {
                View.SetStatus("Quering CD Album information from FreeDB server...");
                FQueryRunning = true;
                FCddb = std::make_shared<TCddbClient>(FSettings.Cddb);
                FMusicBrainz =
                    FSettings.UseMusicBrainz ? std::make_shared<TMusicBrainzClient>(FSettings.MusicBrainz) : nullptr;
                FGrabber.QueryFreeDB(FCddb, FMusicBrainz);
            } else {
                View.EnableControls(true);
                FillTracks();
                const std::string media = RipTexts::MediaName(FGrabber.MediaType());
                if (!media.empty())
                    View.SetStatus(media);
            }
        }
    } catch (const std::exception& e) {
        FQueryRunning = false;
        Fail(e);
    }
}

void TRipController::OnFreeDBQueryStatus(int Status)
{
    if (FClosed)
        return;
    switch (Status) {
    case 1:
        View.EnableControls(false);
        View.SetStatus("Connecting to  server...");
        break;
    case 2:
        View.EnableControls(false);
        View.SetStatus("Quering for album entry...");
        break;
    case 3:
        FAlbumInfoLoaded = true;
        EndQuery("FreeDB information loaded");
        break;
    case -2:
        FAlbumInfoLoaded = false;
        EndQuery("No FreeDB information available for this CD!");
        break;
    case -1:
        FAlbumInfoLoaded = false;
        FErrorDetail = FGrabber.QueryError();
        EndQuery("Connection failed!");
        break;
    default:
        break;
    }
}

void TRipController::EndQuery(const std::string& Status)
{
    FQueryRunning = false;
    View.EnableControls(true);
    View.SetStatus(Status);
    FillTracks();
}

void TRipController::FillTracks()
{
    if (FGrabber.SessionCount() == 0) {
        View.SetAlbumEntryRange(0, 0, 0);
        return;
    }
    View.EnableControls(false);
    View.SetStatus("Refreshing track list view...");
    View.SetBusy(true);
    int maximum = 1;
    try {
        if (FLoadAlbumInfo)
            maximum = FGrabber.AlbumMatchCount();
        else
            FGrabber.SetAlbumMatch(0);
    } catch (const std::exception&) {
        // Entry 0 is always allowed; nothing to do.
    }
    // A query that found nothing leaves the chooser at its one place.
    View.SetAlbumEntryRange(1, std::max(maximum, 1), FGrabber.AlbumMatch() + 1);
    FCdTextTitles.clear();
    if (FAlbumInfoLoaded) {
        FAlbum = FGrabber.AlbumTitle();
        FArtist = FGrabber.AlbumArtist();
        FGenre = FGrabber.AlbumGenre();
    } else if (const auto cdText = TCdGrabber::CdTextAlbum(FGrabber.CdText(), FGrabber.Toc())) {
        // No album information was asked for or found: the disc's own
        // CD-TEXT names the album and the tracks, as the disc command shows.
        FAlbum = cdText->Title;
        FArtist = cdText->Artist;
        FGenre.clear();
        FCdTextTitles = cdText->TrackTitles;
    } else {
        FAlbum.clear();
        FArtist.clear();
        FGenre.clear();
    }
    View.SetAlbumFields(FAlbum, FArtist, FGenre);
    AddRows();
    View.EnableControls(true);
    View.SetStatus("");
    View.SetBusy(false);
}

void TRipController::AddRows()
{
    FRows.clear();
    for (int s = 0; s < FGrabber.SessionCount(); ++s) {
        FGrabber.SetCurrentSession(s);
        for (int t = 0; t < FGrabber.TrackCount(); ++t) {
            FGrabber.SetCurrentTrack(t);
            TRipRow row;
            std::string title;
            if (FAlbumInfoLoaded) {
                title = FGrabber.TrackTitle();
            } else {
                const std::size_t index = TocIndex();
                title = index < FCdTextTitles.size() ? FCdTextTitles[index] : std::string();
            }
            row.Caption = title.empty() ? RipTexts::DefaultTrackName(s, t) : title;
            row.Checked = FGrabber.TrackType() == 0;
            row.Type = RipTexts::TrackTypeText(FGrabber.TrackType());
            if (FReadIsrc) {
                const std::string isrc = FGrabber.TrackISRC();
                row.Isrc = isrc.empty() ? "N/A" : isrc;
            }
            row.Duration =
                RipTexts::DurationText(FGrabber.TrackMinutes(), FGrabber.TrackSeconds(), FGrabber.TrackFraction());
            row.Percent = "0%";
            row.Tag = RipTexts::TagText(s, t);
            FRows.push_back(row);
        }
    }
    View.SetRows(FRows);
    if (!FRows.empty()) {
        View.SelectRow(0);
        try {
            SelectTrackOf(FRows.front());
        } catch (const std::exception&) {
            // A Tag that names no track of the disc selects nothing.
        }
    }
}

void TRipController::SelectTrackOf(const TRipRow& Row)
{
    const int tag = RipTexts::ParseTag(Row.Tag);
    FGrabber.SetCurrentSession(tag / 100);
    FGrabber.SetCurrentTrack(tag - 100 * (tag / 100));
}

void TRipController::ClickLoadAlbumInfo(bool Checked)
{
    FLoadAlbumInfo = Checked;
    if (Checked)
        FAlbumInfoLoaded = false;
    if (Dialogs.Confirm("Refresh the CD Information?", TDialogButtons::dbYesNo))
        RefreshDisc();
}

void TRipController::ClickReadIsrc(bool Checked)
{
    FReadIsrc = Checked;
    if (Dialogs.Confirm("Refresh the CD Information?", TDialogButtons::dbYesNo))
        RefreshDisc();
}

void TRipController::ChooseAlbumEntry(int Entry)
{
    if (FRunning || FQueryRunning)
        return;
    try {
        FGrabber.SetAlbumMatch(Entry - 1);
    } catch (const std::exception&) {
        return;
    }
    FillTracks();
}

void TRipController::SetRowCaption(int Index, const std::string& Caption)
{
    if (Index >= 0 && Index < static_cast<int>(FRows.size()))
        FRows[static_cast<std::size_t>(Index)].Caption = Caption;
}

void TRipController::SetRowChecked(int Index, bool Checked)
{
    if (Index >= 0 && Index < static_cast<int>(FRows.size()))
        FRows[static_cast<std::size_t>(Index)].Checked = Checked;
}

void TRipController::ClickRow(int Index)
{
    if (FRunning || Index < 0 || Index >= static_cast<int>(FRows.size()))
        return;
    try {
        SelectTrackOf(FRows[static_cast<std::size_t>(Index)]);
    } catch (const std::exception&) {
        // A Tag that names no track of the disc selects nothing.
    }
}

void TRipController::SetAlbumFields(const std::string& Album, const std::string& Artist, const std::string& Genre)
{
    FAlbum = Album;
    FArtist = Artist;
    FGenre = Genre;
}

void TRipController::SaveAlbumInfo()
{
    try {
        FGrabber.SetAlbumTitle(FAlbum);
        FGrabber.SetAlbumArtist(FArtist);
        FGrabber.SetAlbumGenre(FGenre);
        FGrabber.SaveAlbumInfo();
    } catch (const std::exception& e) {
        // Nothing is said when the fields were stored; a store that failed
        // is not passed over in silence.
        FErrorDetail = e.what();
        Dialogs.Error(e.what());
    }
}

void TRipController::SetFormat(int Format)
{
    if (Format >= rfWav && Format <= rfApe)
        FFormat = Format;
}

void TRipController::SetSampleFormat(int Position)
{
    if (Position >= 0 && Position < static_cast<int>(std::size(SampleFormats)))
        FSampleFormat = Position;
}

bool TRipController::AskAdvancedSettings()
{
    if (FFormat == rfWav) {
        Dialogs.Information("No advanced settings for the WAV format!");
        return false;
    }
    return true;
}

void TRipController::Eject()
{
    if (FRunning || FQueryRunning)
        return;
    try {
        FGrabber.Eject();
    } catch (const std::exception& e) {
        Fail(e);
    }
}

void TRipController::LoadTray()
{
    if (FRunning || FQueryRunning)
        return;
    try {
        FGrabber.LoadTray();
    } catch (const std::exception& e) {
        Fail(e);
    }
}

void TRipController::OnMediaChange()
{
    if (FClosed)
        return;
    // A run is not disturbed by a disc that changes while a track is
    // encoded; the disc is read again once the run has ended.
    if (FRunning) {
        FMediaChanged = true;
        return;
    }
    if (FQueryRunning)
        return;
    RefreshDisc();
    FAlbumInfoLoaded = false;
}

// ---------------------------------------------------------------- the run

void TRipController::Grab()
{
    if (FClosed)
        return;
    if (FRunning)
        StopRun();
    else if (!FQueryRunning)
        StartRun();
}

void TRipController::StopRun()
{
    if (FCancelRequested)
        return;
    View.ShowProgress(true, 0);
    FCancelRequested = true;
    FEvents.SetStopping();
    View.SetStatus("Canceling...");
    View.SetGrabButton("Stop grabing", false);
    FGrabber.CancelGrab();
    FVerifyCancel = true;
}

void TRipController::StartRun()
{
    View.EnableControls(false);
    View.ShowProgress(true, 0);
    FRunning = true;
    FCancelRequested = false;
    FMediaChanged = false;
    FWarned = false;
    FVerifyCancel = false;
    FTrackBusy = false;
    FFailures = 0;
    FFirstFailure.clear();
    FWritten.clear();
    FNamesUsed.clear();
    FLog = TRipLog{};
    FEvents.Started("Grab Track");
    try {
        const TSampleFormat& format = SampleFormats[FSampleFormat];
        FGrabber.SetOutputFormat(format.Rate, format.Channels, format.Bits);
        FOutputFolder = FSettings.RipPath.empty() ? fs::path(".") : fs::path(FSettings.RipPath);
        // Every disc gets a folder of its own: one without a name is known by
        // its disc id, so two unnamed discs never share (and overwrite) one.
        char discId[16];
        std::snprintf(discId, sizeof discId, "%08x", FGrabber.DiscId());
        FOutputFolder /= FAlbum.empty() ? "Disc " + std::string(discId) : CleanFolderName(FAlbum);
        fs::create_directories(FOutputFolder);
        // What a killed rip left half-written here goes; finished files stay.
        TPartFile::ClearLeftovers(FOutputFolder);
    } catch (const std::exception& e) {
        FFailures = 1;
        FFirstFailure = e.what();
        FEvents.Message(TJobMessageKind::jmError, e.what());
        View.SetStatus("Error: ");
        FinishRun();
        return;
    }

    FLog.DriveName = FGrabber.DriveName();
    FLog.DriveModel = FGrabber.DriveText1() + " " + FGrabber.DriveText2() + " " + FGrabber.DriveText3();
    FLog.ReadMode = FGrabber.ReadOption;
    FLog.ReadAttempts = FGrabber.ReadAttempts;
    FLog.ReadAction = FGrabber.ReadAction;
    FLog.Artist = FArtist;
    FLog.Album = FAlbum;
    try {
        FLog.Disc = TAccurateRipDisc::FromToc(FGrabber.Toc());
    } catch (const std::exception&) {
        FLog.Disc.reset();
    }

    // The rows checked now are the run's, so that its figures add up to
    // 100; a name is read when its track starts, so the rows to come may
    // still be renamed.
    FRunRows.clear();
    for (std::size_t i = 0; i < FRows.size(); ++i)
        if (FRows[i].Checked) {
            FRunRows.push_back(i);
            FRows[i].Percent = "0%";
            View.RowChanged(static_cast<int>(i), FRows[i]);
        }
    FTrackOrdinal = 0;
    FRunRow = 0;
    NextTrack();
}

void TRipController::NextTrack()
{
    while (!FCancelRequested && FTrackOrdinal < static_cast<int>(FRunRows.size())) {
        FRunRow = FRunRows[static_cast<std::size_t>(FTrackOrdinal)] + 1;
        if (StartTrack(FRunRow - 1))
            return;
    }
    Verify();
}

bool TRipController::StartTrack(std::size_t Row)
{
    ++FTrackOrdinal;
    const TRipRow& row = FRows[Row];
    FLog.Tracks.emplace_back();
    try {
        SelectTrackOf(row);
        FLog.Tracks.back().Number = TrackNumber();
        View.SelectRow(static_cast<int>(Row));
        FTrackBusy = true;

        // Two rows of one name, or a file of that name already in the
        // folder (an earlier rip of the disc), give the track the next free
        // "NAME (2)": nothing the user has is replaced.
        const std::string clean = RipTexts::CleanTrackName(row.Caption);
        const std::string name = FreeName(FOutputFolder, clean, Extension(FFormat), FNamesUsed);
        FNamesUsed.insert(name);
        FTrackBase = FOutputFolder / name;
        View.SetStatus("Grab track \"" + clean + "\"");
        FLastRetry = 0;

        if (FFormat == rfWav) {
            FGrabber.GrabToFile(OutputFile());
        } else {
            // Encoded while it is read: no WAV of the track is ever written.
            FReadEnded = FEncodeEnded = false;
            FReadError.clear();
            FEncodeError.clear();
            // The encoder is made first: one that cannot be made (a codec
            // library missing) must not leave a grab feeding a pipe nobody
            // reads.
            MakeEncoder();
            FPipe = FGrabber.GrabToPipe();
            RunEncoder();
        }
        View.SetGrabButton("Stop grabing", true);
        return true;
    } catch (const std::exception& e) {
        // A grab already feeding the pipe stops at once rather than wait for
        // an encoder that never ran.
        if (FPipe)
            FPipe->CloseInput();
        FPipe.reset();
        View.ShowProgress(false, 0);
        FTrackBusy = false;
        View.SetStatus("Error: ");
        FLog.Tracks.back().Error = e.what();
        TrackFailed(row, e.what());
        return false;
    }
}

void TRipController::TrackFailed(const TRipRow& Row, const std::string& Error)
{
    ++FFailures;
    const std::string text = "\"" + Row.Caption + "\": " + Error;
    if (FFirstFailure.empty())
        FFirstFailure = text;
    FEvents.Message(TJobMessageKind::jmError, text);
}

std::size_t TRipController::TocIndex() const
{
    std::size_t index = 0;
    int inSession = 0;
    for (const TTocTrack& t : FGrabber.Toc().Tracks) {
        if (t.Session == FGrabber.CurrentSession() && inSession++ == FGrabber.CurrentTrack())
            return index;
        ++index;
    }
    return index;
}

int TRipController::TrackNumber() const
{
    int index = 0;
    for (const TTocTrack& t : FGrabber.Toc().Tracks)
        if (t.Session == FGrabber.CurrentSession() && index++ == FGrabber.CurrentTrack())
            return t.Number;
    return 0;
}

void TRipController::ShowRunProgress(double Overall)
{
    const std::string text = "Complete: " + RipTexts::PercentText(Overall) + "%";
    View.ShowProgress(true, static_cast<int>(std::floor(Overall)));
    View.SetStatus(text);
    FEvents.Progress(Overall / 100.0, text);
}

void TRipController::SetRowPercent(const std::string& Text)
{
    if (FRunRow == 0 || FRunRow > FRows.size())
        return;
    const std::size_t index = FRunRow - 1;
    FRows[index].Percent = Text;
    View.RowChanged(static_cast<int>(index), FRows[index]);
}

void TRipController::OnOperationProgress(double Progress)
{
    if (FClosed || !FRunning || !FTrackBusy)
        return;
    // The encoder follows the reading closely, so the reading's progress is
    // the track's.
    const double half = Progress;
    ShowRunProgress((half + (FTrackOrdinal - 1) * 100.0) / static_cast<double>(FRunRows.size()));
    if (!(FCancelRequested && Progress == 100))
        SetRowPercent(RipTexts::PercentText(half) + "%");
    if (Progress < 100) {
        FLastRetry = 0;
        return;
    }
    TrackRead(FGrabber.GrabError());
}

void TRipController::OnGrabRetry(int Retry, int Sector)
{
    if (FClosed || !FRunning || !FTrackBusy)
        return;
    const std::string attempt = "Attempt " + std::to_string(Retry) + " of " + std::to_string(FGrabber.ReadAttempts) +
                                " attempts of reading the track sector " + std::to_string(Sector);
    View.SetStatus(attempt);
    FLastRetry = Retry;
    // Once a run: a scratched disc retries many sectors, and one box for
    // each would bury the window.
    if (!FWarned) {
        FWarned = true;
        const std::string warning = "DorerOVOdorode detects that this CD may be scratched. Please set the options "
                                    "for grabbing old or scratched CDs.";
        FEvents.Message(TJobMessageKind::jmWarning, warning);
        Dialogs.Warning(warning);
    }
}

void TRipController::TrackRead(const std::string& Error)
{
    View.SetGrabButton("Grab Track", true);
    if (!Error.empty()) {
        if (FLastRetry != 0 && FLastRetry == FGrabber.ReadAttempts)
            View.SetStatus("Read disc error.");
        else if (!FCancelRequested)
            View.SetStatus("Error: ");
        if (FFormat != rfWav) {
            FReadEnded = true;
            FReadError = Error;
            EncodedTrackEnded();
            return;
        }
        TrackDone(Error);
        return;
    }
    if (const TTrackChecks* checks = FGrabber.GrabChecks(FLog.Tracks.back().Number)) {
        FLog.Tracks.back().Checks = *checks;
        // The file is made, but not of the disc's audio alone: said once
        // for the track, and in the log.
        if (checks->Unreadable > 0)
            FEvents.Message(TJobMessageKind::jmWarning, "\"" + FRows[FRunRow - 1].Caption + "\": " +
                                                            TRipLog::UnreadableText(*checks, FGrabber.ReadAction));
    }
    if (FFormat == rfWav) {
        TrackDone("");
        return;
    }
    View.SetGrabButton("Stop grabing", !FCancelRequested);
    FReadEnded = true;
    EncodedTrackEnded();
}

void TRipController::MakeEncoder()
{
    StopEncoder();
    FEncoderOut.reset();
    switch (FFormat) {
    case rfMp3: {
        auto out = std::make_unique<TMP3Out>();
        FEncoder.Mp3.ApplyTo(*out);
        FEncoderOut = std::move(out);
        break;
    }
    case rfOgg: {
        auto out = std::make_unique<TVorbisOut>();
        TOggSettings settings = FEncoder.Ogg;
        // Ogg Vorbis carries its tags in the stream's comments, written by
        // the encoder; the user's own comments stay unless they name the
        // same field.
        const auto fields = CommentFields(FRows[FRunRow - 1]);
        std::vector<std::string> comments;
        for (const std::string& line : settings.Comments) {
            const std::string key = line.substr(0, line.find('='));
            bool ours = false;
            for (const auto& field : fields)
                ours = ours || std::equal(key.begin(), key.end(), field.first, field.first + std::strlen(field.first),
                                          [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
            if (!ours)
                comments.push_back(line);
        }
        AppendComments(fields, comments);
        settings.Comments = comments;
        settings.ApplyTo(*out);
        FEncoderOut = std::move(out);
        break;
    }
    case rfFlac: {
        auto out = std::make_unique<TFLACOut>();
        FEncoder.Flac.ApplyTo(*out);
        FEncoderOut = std::move(out);
        break;
    }
    default: {
        auto out = std::make_unique<TMACOut>();
        FEncoder.Ape.ApplyTo(*out);
        FEncoderOut = std::move(out);
        break;
    }
    }
    // The name was chosen free; a file that appears there meanwhile is kept
    // and the track fails. A stopped track leaves nothing.
    FEncoderOut->SetOverwrite(false);
    FEncoderOut->SetKeepCutShort(false);
    FEncoderOut->SetFileName(OutputFile().string());
}

void TRipController::RunEncoder()
{
    FEncoderOut->SetInput(FPipe.get());
    const TLifetimeToken owner = Life.Token();
    FEncoderOut->OnDone = [this, owner](TComponent*) { Dispatcher.Post(owner, [this] { EncoderEnded(""); }); };
    FEncoderOut->OnThreadException = [this, owner](TComponent*, const std::exception& E) {
        Dispatcher.Post(owner, [this, message = std::string(E.what())] { EncoderEnded(message); });
    };
    // A failure to open arrives as a thread exception, like any other.
    FEncoderOut->Run();
}

void TRipController::StopEncoder()
{
    if (!FEncoderOut)
        return;
    if (FEncoderOut->Busy())
        FEncoderOut->Stop();
    FEncoderOut->WaitForIdle(std::chrono::seconds(30));
}

void TRipController::EncoderEnded(const std::string& Error)
{
    if (FClosed || !FTrackBusy || FFormat == rfWav || FEncodeEnded)
        return;
    FEncodeEnded = true;
    FEncodeError = Error;
    // An encoder that failed reads no more: the grab must not wait for it.
    if (!Error.empty() && FPipe)
        FPipe->CloseInput();
    EncodedTrackEnded();
}

void TRipController::EncodedTrackEnded()
{
    if (!FReadEnded || !FEncodeEnded)
        return;
    // Both have stopped: the encoder's worker is let go before its file is
    // tagged or the next track starts.
    StopEncoder();
    FPipe.reset();
    if (FReadError.empty() && FEncodeError.empty()) {
        SetRowPercent("100%");
        ShowRunProgress(FTrackOrdinal * 100.0 / static_cast<double>(FRunRows.size()));
        TrackDone("");
        return;
    }
    // A failed read reaches the encoder as its own failure, with the same
    // reason; a failed encoder (a full disk) stops the read with "The
    // encoder stopped.", so the encoder's reason is the one to tell.
    const bool encoderFirst = !FEncodeError.empty() && FEncodeError != FReadError;
    const std::string error = DiskFullText(encoderFirst ? FEncodeError : FReadError);
    if (encoderFirst)
        View.SetStatus(error);
    TrackDone(error);
}

TRipController::TCommentFields TRipController::CommentFields(const TRipRow& Row) const
{
    return {{{"TITLE", Row.Caption}, {"ARTIST", FArtist}, {"ALBUM", FAlbum}, {"GENRE", FGenre}}};
}

fs::path TRipController::OutputFile() const
{
    fs::path file = FTrackBase;
    file += Extension(FFormat);
    return file;
}

void TRipController::TrackDone(const std::string& Error)
{
    FTrackBusy = false;
    TRipLogTrack& logged = FLog.Tracks.back();
    const TRipRow& row = FRows[FRunRow - 1];
    if (Error.empty()) {
        const fs::path file = OutputFile();
        logged.File = file.filename().string();
        FWritten.push_back(file.string());
        TagTrack(file);
    } else {
        logged.Error = Error;
        // A stopped track is no failure of the run; it ends as cancelled.
        if (!FCancelRequested || FLastRetry != 0)
            TrackFailed(row, Error);
    }
    // The next track starts from the window's loop, not inside this event.
    Dispatcher.Post(Life.Token(), [this] {
        if (FRunning && !FClosed)
            NextTrack();
    });
}

void TRipController::TagTrack(const fs::path& File)
{
    const std::string extension = File.extension().string();
    // Ogg Vorbis got its comments from the encoder.
    if (extension == ".ogg")
        return;
    const TRipRow& row = FRows[FRunRow - 1];
    try {
        if (extension == ".flac") {
            // FLAC readers expect Vorbis comments, not a tag after the frames.
            std::vector<std::string> comments;
            AppendComments(CommentFields(row), comments);
            WriteFlacComments(File.string(), comments);
        } else {
            TagTrackFile(File.string(), row.Caption, FArtist, FAlbum, FGenre);
        }
    } catch (const std::exception& e) {
        FEvents.Message(TJobMessageKind::jmWarning, "\"" + row.Caption + "\": " + e.what());
    }
}

// ------------------------------------------------------- after the run

void TRipController::Verify()
{
    std::vector<const TRipLogTrack*> read;
    for (const TRipLogTrack& t : FLog.Tracks)
        if (t.Error.empty())
            read.push_back(&t);
    if (FCancelRequested || read.empty() || !FSettings.Verify || FSettings.AccurateRip.Server.empty() ||
        !FLog.Disc) {
        Verified(std::nullopt);
        return;
    }
    View.SetStatus("Verifying the tracks with AccurateRip...");
    JoinVerifier();
    FVerifier = std::thread([this, owner = Life.Token(), settings = FSettings.AccurateRip, toc = FGrabber.Toc()] {
        TAccurateRipLookup lookup;
        try {
            TAccurateRipClient client(settings);
            lookup = client.Lookup(toc, FVerifyCancel);
        } catch (const std::exception& e) {
            lookup.Status = TAccurateRipLookup::lsFailed;
            lookup.Error = e.what();
        }
        Dispatcher.Post(owner, [this, lookup = std::move(lookup)]() mutable { Verified(std::move(lookup)); });
    });
}

void TRipController::Verified(std::optional<TAccurateRipLookup> Lookup)
{
    if (FClosed)
        return;
    if (Lookup) {
        const TDiscToc& toc = FGrabber.Toc();
        for (TRipLogTrack& t : FLog.Tracks) {
            if (!t.Error.empty())
                continue;
            std::size_t audioIndex = 0;
            for (const TTocTrack& track : toc.Tracks)
                if (track.IsAudio() && track.Number < t.Number)
                    ++audioIndex;
            t.Verdict = TAccurateRipClient::Judge(*Lookup, audioIndex, TAccurateRipSums{t.Checks.ArV1, t.Checks.ArV2});
            if (Lookup->Status == TAccurateRipLookup::lsFailed)
                continue;
            FEvents.Message(t.Verdict.Kind == TAccurateRipVerdict::vkMismatch ? TJobMessageKind::jmWarning
                                                                               : TJobMessageKind::jmInfo,
                            "Track " + std::to_string(t.Number) + ": " + TRipLog::VerdictText(t.Verdict));
        }
        if (Lookup->Status == TAccurateRipLookup::lsFailed)
            FEvents.Message(TJobMessageKind::jmWarning, "The rip could not be verified: " + Lookup->Error);
        FLog.Lookup = std::move(*Lookup);
    }
    if (FSettings.WriteLog && !FLog.Tracks.empty()) {
        try {
            // The log of an earlier rip in this folder stays.
            FLog.Write(FOutputFolder / (FreeName(FOutputFolder, "rip", ".log", {}) + ".log"));
        } catch (const std::exception& e) {
            FEvents.Message(TJobMessageKind::jmWarning, e.what());
        }
    }
    FinishRun();
}

void TRipController::FinishRun()
{
    FRunning = false;
    FTrackBusy = false;
    View.EnableControls(true);
    View.SetGrabButton("Grab Track", true);
    View.SetStatus("");
    View.ShowProgress(false, 0);
    if (FCancelRequested)
        FEvents.Finished(TJobOutcome::joCancelled, "The grab was stopped.");
    else if (FFailures > 0)
        FEvents.Finished(TJobOutcome::joFailed, FFirstFailure);
    else
        FEvents.Finished(TJobOutcome::joSucceeded, "");
    FCancelRequested = false;
    Dialogs.Information(FinishedText());
    if (FMediaChanged) {
        FMediaChanged = false;
        OnMediaChange();
    }
}

std::string TRipController::FinishedText() const
{
    // Where the files went and what the verification found: the two things
    // a user looks for after a rip.
    std::string text = "Grab finished";
    int written = 0, accurate = 0, mismatched = 0, unknown = 0;
    for (const TRipLogTrack& t : FLog.Tracks) {
        if (!t.Error.empty())
            continue;
        ++written;
        accurate += t.Verdict.Kind == TAccurateRipVerdict::vkAccurate ? 1 : 0;
        mismatched += t.Verdict.Kind == TAccurateRipVerdict::vkMismatch ? 1 : 0;
        unknown += t.Verdict.Kind == TAccurateRipVerdict::vkNotInDatabase ? 1 : 0;
    }
    if (written == 0)
        return text;
    text += "\n\n" + std::to_string(written) + (written == 1 ? " track" : " tracks") + " in " + FOutputFolder.string();
    if (!FLog.Lookup) {
        text += "\nNot verified (verification is off or the rip was stopped).";
    } else if (FLog.Lookup->Status == TAccurateRipLookup::lsFailed) {
        text += "\nNot verified: " + FLog.Lookup->Error;
    } else if (FLog.Lookup->Status == TAccurateRipLookup::lsNotInDatabase) {
        text += "\nNot verified: the disc is not in the AccurateRip database.";
    } else {
        text += "\nAccurateRip: " + std::to_string(accurate) + " accurate";
        if (mismatched > 0)
            text += ", " + std::to_string(mismatched) + " not matching any submission";
        if (unknown > 0)
            text += ", " + std::to_string(unknown) + " not in the database";
        text += ".";
    }
    return text;
}

void TRipController::Close()
{
    if (FClosed)
        return;
    const bool running = FRunning;
    StopEverything();
    FRunning = false;
    if (running)
        FEvents.Finished(TJobOutcome::joCancelled, "The grab was stopped.");
}

} // namespace kestrune
