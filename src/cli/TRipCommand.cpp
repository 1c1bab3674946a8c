#include "cli/TRipCommand.h"

#include "cd/TCdioDriveProvider.h"
#include "cli/TCliJobListener.h"
#include "cli/TCliSettings.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "rip/TRipController.h"
#include "settings/IOptionsPlatform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

namespace kestrune::cli {

namespace fs = std::filesystem;

namespace {

// The rip window's controls as the command line keeps them: only what the
// run's report needs is remembered.
class TCliRipView final : public IRipView {
public:
    std::vector<TRipRow> Rows;
    int Selected = -1;
    std::string Status;
    std::string Album, Artist, Genre;

    void SetDrives(const std::vector<std::string>&, int) override {}
    void SetStatus(const std::string& Text) override { Status = Text; }
    void SetDiscIdText(const std::string&) override {}
    void SetAlbumFields(const std::string& A, const std::string& B, const std::string& C) override
    {
        Album = A;
        Artist = B;
        Genre = C;
    }
    void SetAlbumEntryRange(int, int, int) override {}
    void SetRows(const std::vector<TRipRow>& R) override { Rows = R; }
    void RowChanged(int Index, const TRipRow& Row) override
    {
        if (Index >= 0 && Index < static_cast<int>(Rows.size()))
            Rows[static_cast<std::size_t>(Index)] = Row;
    }
    void SelectRow(int Index) override { Selected = Index; }
    void EnableControls(bool) override {}
    void EnableDriveChoice(bool) override {}
    void SetGrabButton(const std::string&, bool) override {}
    void ShowProgress(bool, int) override {}
    void SetBusy(bool) override {}
};

// The run's events on the terminal: one progress line naming the track
// being read, warnings and failures as they come. The verdicts wait for the
// report at the end, one line per track.
class TCliRipListener final : public TCliJobListener {
public:
    TCliRipListener(TCliOutput& O, const TCliRipView& V, const std::vector<int>& N)
        : TCliJobListener(O), View(V), Numbers(N)
    {
    }

    void JobProgress(TJobKind, double Fraction, const std::string&) override
    {
        const int row = View.Selected;
        int ordinal = 0, count = 0;
        for (std::size_t i = 0; i < View.Rows.size(); ++i)
            if (View.Rows[i].Checked) {
                ++count;
                ordinal += static_cast<int>(i) <= row ? 1 : 0;
            }
        const std::string what = row >= 0 && row < static_cast<int>(Numbers.size())
                                      ? "Ripping track " + std::to_string(Numbers[static_cast<std::size_t>(row)]) +
                                            " (" + std::to_string(ordinal) + " of " + std::to_string(count) + ")"
                                      : std::string("Ripping");
        Out.Progress(what, static_cast<int>(std::clamp(Fraction, 0.0, 1.0) * 100));
    }
    void JobMessage(TJobKind, TJobMessageKind Kind, const std::string& Text) override
    {
        if (Kind == TJobMessageKind::jmError)
            Out.Error(Text);
        else if (Kind == TJobMessageKind::jmWarning)
            Out.Info(Text);
    }

private:
    const TCliRipView& View;
    const std::vector<int>& Numbers;
};

int FormatIndex(const std::string& Name)
{
    static const std::map<std::string, int> formats{{"wav", TRipController::rfWav},
                                                    {"mp3", TRipController::rfMp3},
                                                    {"flac", TRipController::rfFlac},
                                                    {"ogg", TRipController::rfOgg},
                                                    {"ape", TRipController::rfApe}};
    const auto found = formats.find(Name);
    return found == formats.end() ? -1 : found->second;
}

std::string VerdictKey(TAccurateRipVerdict::TKind Kind)
{
    switch (Kind) {
    case TAccurateRipVerdict::vkAccurate:
        return "accurate";
    case TAccurateRipVerdict::vkNotInDatabase:
        return "not_in_database";
    case TAccurateRipVerdict::vkMismatch:
        return "mismatch";
    case TAccurateRipVerdict::vkNotChecked:
        break;
    }
    return "not_checked";
}

std::string Hex8(std::uint32_t Value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", Value);
    return text;
}

// The settings of the run: the settings file's, then what the options say.
TRipSettings SettingsOf(const TCliArgs& Args, const TOptions& Options, const std::string& AlbumInfo)
{
    TRipSettings settings = RipSettingsFrom(Options);
    if (Args.Has("--out-dir"))
        settings.RipPath = Args.Value("--out-dir");
    const auto timeout = std::chrono::milliseconds(Args.Integer("--timeout", 10, 1, 600) * 1000);
    settings.Cddb.Timeout = timeout;
    settings.MusicBrainz.Timeout = timeout;
    settings.AccurateRip.Timeout = timeout;
    settings.Cddb.Email = Args.Value("--email", settings.Cddb.Email);
    if (AlbumInfo == "musicbrainz") {
        // The saved entries still answer first; no CDDB server is asked.
        settings.Cddb.Servers.clear();
        settings.UseMusicBrainz = true;
        if (Args.Has("--server"))
            settings.MusicBrainz.Server = Args.Value("--server");
    } else if (Args.Has("--server")) {
        settings.Cddb.Servers = {Args.Value("--server")};
        settings.Cddb.ServerIndex = 0;
    }
    settings.Verify = !Args.Flag("--no-verify");
    if (Args.Has("--ar-server"))
        settings.AccurateRip.Server = Args.Value("--ar-server");
    settings.WriteLog = !Args.Flag("--no-log");
    return settings;
}

} // namespace

std::set<int> TRipCommand::ParseTrackList(const std::string& Text)
{
    std::set<int> tracks;
    const auto number = [&Text](const std::string& Part) {
        if (Part.empty() || Part.size() > 2 || Part.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(Part) < 1)
            throw EUsage("--tracks takes track numbers from 1 to 99 and ranges, as in 1,3-5; not \"" + Text + "\"");
        return std::stoi(Part);
    };
    std::size_t at = 0;
    while (at <= Text.size()) {
        const std::size_t comma = std::min(Text.find(',', at), Text.size());
        const std::string part = Text.substr(at, comma - at);
        const std::size_t dash = part.find('-');
        const int first = number(part.substr(0, dash));
        const int last = dash == std::string::npos ? first : number(part.substr(dash + 1));
        if (last < first)
            throw EUsage("--tracks: the range " + part + " runs backwards");
        for (int t = first; t <= last; ++t)
            tracks.insert(t);
        at = comma + 1;
    }
    return tracks;
}

const char* TRipCommand::Usage()
{
    return "Usage: kestrune-cli rip [options]\n"
           "\n"
           "Rips the audio tracks of a CD, or of a BIN/CUE image, into one file per\n"
           "track, tagged and named after the album information, as the rip window\n"
           "does. The files go into a folder of DIR named after the album, or \"Disc\"\n"
           "and the disc's CDDB id when the album has no name. A file that is there\n"
           "is never replaced: a track whose name is taken is written as NAME (2).\n"
           "Encoded formats are encoded while the disc is read; no WAV is written.\n"
           "Each file is printed with its AccurateRip verdict.\n"
           "A track that cannot be read leaves no file; the exit status is 1 when any\n"
           "chosen track has no file.\n"
           "\n"
           "Options:\n"
           "  --device DEV|IMAGE.cue  the drive (/dev/sr0) or image; the first drive when absent\n"
           "  --tracks LIST           the tracks to rip, as in 1,3-5 (default: every audio track)\n"
           "  --format FORMAT         wav (default), mp3, flac, ogg or ape\n"
           "  --album-info cddb|musicbrainz|none\n"
           "                          where the album and track names come from: the saved\n"
           "                          entries and the CDDB server, the MusicBrainz disc-id\n"
           "                          lookup, or none (the default); the disc's CD-TEXT\n"
           "                          stands in when the service has nothing\n"
           "  --album TEXT, --artist TEXT, --genre TEXT\n"
           "                          the album fields, in place of what was found\n"
           "  --out-dir DIR           where the files go (default: the settings' rip folder;\n"
           "                          also --folder)\n"
           "  --server HOST|URL       the CDDB server, or the MusicBrainz web service's base URL\n"
           "  --email ADDRESS         the address CDDB servers require (default: [Rip] Email)\n"
           "  --timeout SECONDS       how long to wait for a server (default 10)\n"
           "  --no-verify             do not ask the AccurateRip database about the rip\n"
           "  --ar-server URL         the AccurateRip database's address\n"
           "  --no-log                write no rip log beside the files\n"
           "  --config FILE           the settings file to read\n"
           "  encoder options         as the convert command takes them for MP3, Ogg Vorbis,\n"
           "                          Monkey's Audio and FLAC (kestrune-cli convert --help)\n"
           "  --json                  one JSON object per line on stdout: a \"track\" for each\n"
           "                          track, then the \"summary\"\n"
           "  --quiet                 print nothing but errors\n";
}

const std::set<std::string>& TRipCommand::Flags()
{
    static const std::set<std::string> flags{"--no-verify", "--no-log"};
    return flags;
}

const std::set<std::string>& TRipCommand::Options()
{
    static const std::set<std::string> options = [] {
        std::set<std::string> names{"--device", "--tracks", "--format",  "--album-info", "--album",
                                    "--artist", "--genre",  "--out-dir", "--server",     "--email",
                                    "--timeout", "--ar-server", "--config"};
        names.insert(TCliSettings::EncoderOptions().begin(), TCliSettings::EncoderOptions().end());
        return names;
    }();
    return options;
}

int TRipCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    if (!Args.Positional().empty())
        throw EUsage("rip takes no file names; name an image with --device IMAGE.cue");
    const int format = FormatIndex(Args.Value("--format", "wav"));
    if (format < 0)
        throw EUsage("--format takes wav, mp3, flac, ogg or ape");
    const std::string albumInfo = Args.Value("--album-info", "none");
    if (albumInfo != "cddb" && albumInfo != "musicbrainz" && albumInfo != "none")
        throw EUsage("--album-info takes cddb, musicbrainz or none");
    const std::set<int> wanted = Args.Has("--tracks") ? ParseTrackList(Args.Value("--tracks")) : std::set<int>{};

    TPlainDispatcher dispatcher;
    TNoSoundDevices platform;
    const std::unique_ptr<TOptions> options = TCliSettings::Open(Args, platform);
    const TRipSettings settings = SettingsOf(Args, *options, albumInfo);

    const std::string device = Args.Value("--device", "");
    auto drives = device.empty() ? std::make_shared<TCdioDriveProvider>()
                                 : std::make_shared<TCdioDriveProvider>(std::vector<std::string>{device}, false);
    TCliRipView view;
    // The window's questions have fixed answers here: no refresh is asked
    // for, and the boxes the run shows are told through its events.
    TPlainDialogs dialogs;
    TRipController controller(view, dialogs, dispatcher, drives, settings);
    std::vector<int> numbers;
    TCliRipListener listener(Out, view, numbers);
    controller.Events().Subscribe(&listener);

    controller.SetLoadAlbumInfo(albumInfo != "none");
    // The drives are read at once rather than from the window's timer; the
    // rip folder is made only once there is something to rip.
    controller.ScanDrives();
    TCliJobListener::Serve(dispatcher, Interrupted, [&] { return !controller.QueryRunning() || Interrupted.load(); },
                           [&] { controller.Close(); });
    if (Interrupted.load()) {
        Out.Error("interrupted");
        return 1;
    }

    TCdGrabber& grabber = controller.Grabber();
    if (grabber.DriveCount() == 0) {
        Out.Error("No CD drive was found; name one with --device, or an image with --device IMAGE.cue.");
        return 1;
    }
    if (view.Rows.empty()) {
        if (!controller.ErrorDetail().empty() && view.Status.rfind("Error", 0) == 0)
            Out.Error(controller.ErrorDetail());
        else if (grabber.DiscState() == 0)
            Out.Error("There is no disc in " + grabber.DriveName() + ".");
        else if (grabber.DiscState() == 2)
            Out.Error("The disc in " + grabber.DriveName() + " is not recognised.");
        else
            Out.Error("The disc in " + grabber.DriveName() + " has no tracks.");
        return 1;
    }
    if (albumInfo != "none" && !controller.AlbumInfoLoaded())
        Out.Info(view.Status + (controller.ErrorDetail().empty() ? "" : " " + controller.ErrorDetail()));

    // Rows follow the table of contents, session after session.
    for (const TTocTrack& track : grabber.Toc().Tracks)
        numbers.push_back(track.Number);
    if (numbers.size() != view.Rows.size()) {
        Out.Error("The disc's track list could not be read.");
        return 1;
    }
    if (!wanted.empty()) {
        for (const int number : wanted) {
            const auto found = std::find(numbers.begin(), numbers.end(), number);
            if (found == numbers.end())
                throw EUsage("--tracks: the disc has no track " + std::to_string(number));
            const TTocTrack& track = grabber.Toc().Tracks[static_cast<std::size_t>(found - numbers.begin())];
            if (!track.IsAudio()) {
                Out.Error("Track " + std::to_string(number) + " is a data track; only audio tracks can be ripped.");
                return 1;
            }
        }
        for (std::size_t i = 0; i < numbers.size(); ++i)
            controller.SetRowChecked(static_cast<int>(i), wanted.count(numbers[i]) != 0);
    }
    std::size_t chosen = 0;
    for (const TRipRow& row : controller.Rows())
        chosen += row.Checked ? 1 : 0;
    if (chosen == 0) {
        Out.Error("The disc has no audio tracks.");
        return 1;
    }

    controller.SetAlbumFields(Args.Value("--album", view.Album), Args.Value("--artist", view.Artist),
                              Args.Value("--genre", view.Genre));
    controller.SetFormat(format);
    TEncoderSettings encoders = controller.EncoderSettings();
    TCliSettings::ApplyEncoderOptions(Args, encoders);
    controller.SetEncoderSettings(encoders);

    if (!settings.RipPath.empty()) {
        std::error_code error;
        fs::create_directories(settings.RipPath, error);
        if (error || !fs::is_directory(settings.RipPath)) {
            Out.Error("cannot make the output folder \"" + settings.RipPath + "\"" +
                      (error ? ": " + error.message() : std::string()));
            return 1;
        }
    }

    controller.Grab();
    // Ctrl-C stops the run as the window's Stop button does: the track being
    // read leaves no file, and the run ends as cancelled.
    listener.Wait(dispatcher, Interrupted, [&] { controller.Grab(); });

    const TRipLog& log = controller.Log();
    const bool verified = log.Lookup.has_value() && log.Lookup->Status != TAccurateRipLookup::lsFailed;
    std::int64_t ripped = 0;
    for (const TRipLogTrack& track : log.Tracks) {
        std::string path;
        for (const std::string& written : controller.WrittenFiles())
            if (!track.File.empty() && fs::path(written).filename() == track.File)
                path = written;
        TCliOutput::TJson fields{{"number", track.Number}, {"file", path}};
        if (!track.Error.empty()) {
            fields["error"] = track.Error;
            Out.JsonOnlyObject("track", fields);
            continue;
        }
        ++ripped;
        if (controller.Grabber().MeasureChecks) {
            fields["crc32"] = Hex8(track.Checks.Crc32);
            fields["accuraterip_v1"] = Hex8(track.Checks.ArV1);
            fields["accuraterip_v2"] = Hex8(track.Checks.ArV2);
            fields["retries"] = track.Checks.Retries;
        }
        fields["verdict"] = verified ? VerdictKey(track.Verdict.Kind) : std::string("not_checked");
        fields["confidence"] = track.Verdict.Confidence;
        std::string text = "Track " + std::to_string(track.Number) + ": " + path;
        if (verified)
            text += ", " + TRipLog::VerdictText(track.Verdict);
        Out.ResultObject(text, "track", fields);
    }
    const auto tracks = static_cast<std::int64_t>(log.Tracks.size());
    const std::string outcome = listener.Outcome == TJobOutcome::joSucceeded   ? "succeeded"
                                : listener.Outcome == TJobOutcome::joCancelled ? "cancelled"
                                                                               : "failed";
    Out.JsonOnlyObject("summary",
                       {{"tracks", tracks}, {"ripped", ripped}, {"failed", tracks - ripped}, {"outcome", outcome}});
    controller.Close();
    if (listener.Outcome == TJobOutcome::joSucceeded)
        return 0;
    if (listener.Outcome == TJobOutcome::joCancelled)
        Out.Error(listener.Reason.empty() ? std::string("the rip was stopped") : listener.Reason);
    return 1;
}

} // namespace kestrune::cli
