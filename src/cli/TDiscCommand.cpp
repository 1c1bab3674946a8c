#include "cli/TDiscCommand.h"

#include "cd/TCdGrabber.h"
#include "cd/TCddbClient.h"
#include "cd/TCdioDrive.h"
#include "cd/TCdioDriveProvider.h"
#include "cd/TMusicBrainzClient.h"
#include "cli/TCliSettings.h"
#include "common/TPlainDispatcher.h"
#include "settings/TSystemOptionsPlatform.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <future>
#include <optional>

namespace kestrune::cli {

namespace {

TCliOutput::TJson AlbumJson(const TAlbumInfo& Album)
{
    return TCliOutput::TJson{{"source", Album.Source}, {"category", Album.Category}, {"disc_id", Album.DiscId},
                             {"artist", Album.Artist}, {"title", Album.Title},       {"genre", Album.Genre},
                             {"year", Album.Year},     {"tracks", Album.TrackTitles}};
}

void PrintAlbum(TCliOutput& Out, int Number, const TAlbumInfo& Album)
{
    std::string head =
        "Album " + std::to_string(Number) + " (" + Album.Source + "): " + Album.Artist + " / " + Album.Title;
    std::string extra = Album.Genre;
    if (!Album.Year.empty())
        extra += (extra.empty() ? "" : ", ") + Album.Year;
    if (!extra.empty())
        head += " [" + extra + "]";
    Out.ResultObject(head, "album", AlbumJson(Album));
    for (std::size_t i = 0; i < Album.TrackTitles.size(); ++i)
        Out.Text("  " + std::to_string(i + 1) + ". " + Album.TrackTitles[i]);
}

} // namespace

std::string TDiscCommand::TypeText(int Type)
{
    switch (Type) {
    case 0:
        return "AUDIO";
    case 1:
        return "DATA (Mode 1)";
    case 2:
        return "DATA (Mode 2)";
    case 21:
        return "DATA (Mode 2, Form 1)";
    case 22:
        return "DATA (Mode 2, Form 2)";
    case -1:
        return "Unrecognized";
    default:
        return "";
    }
}

std::string TDiscCommand::DurationText(int Minutes, int Seconds, int Fraction)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d:%03d", Minutes, Seconds, Fraction);
    return text;
}

const char* TDiscCommand::Usage()
{
    return "Usage: kestrune-cli disc [options]\n"
           "\n"
           "Reads the table of contents of the disc in a CD drive, or of a BIN/CUE\n"
           "image, and prints its tracks, its CDDB and MusicBrainz disc ids and the\n"
           "album entries found for it (the disc's CD-TEXT first).\n"
           "\n"
           "Options:\n"
           "  --device DEV|IMAGE.cue  the drive (/dev/sr0) or image; the first drive when absent\n"
           "  --album-info cddb|musicbrainz|none\n"
           "                          ask the saved entries and the CDDB server, or the\n"
           "                          MusicBrainz disc-id lookup (default none)\n"
           "  --server HOST|URL       the CDDB server (default: the settings' choice,\n"
           "                          gnudb.gnudb.org), or the MusicBrainz web service's\n"
           "                          base URL (default https://musicbrainz.org/ws/2)\n"
           "  --email ADDRESS         the address CDDB servers require (default: [Rip] Email)\n"
           "  --timeout SECONDS       how long to wait for the server (default 10)\n"
           "  --config FILE           the settings file to read\n"
           "  --json                  one JSON object per line on stdout: the disc, then each album\n"
           "  --quiet                 print nothing but errors\n";
}

const std::set<std::string>& TDiscCommand::Flags()
{
    static const std::set<std::string> flags;
    return flags;
}

const std::set<std::string>& TDiscCommand::Options()
{
    static const std::set<std::string> options{"--device", "--album-info", "--server",
                                               "--email",  "--timeout",    "--config"};
    return options;
}

int TDiscCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    if (!Args.Positional().empty())
        throw EUsage("disc takes no file names; name an image with --device IMAGE.cue");
    const std::string albumInfo = Args.Value("--album-info", "none");
    if (albumInfo != "cddb" && albumInfo != "musicbrainz" && albumInfo != "none")
        throw EUsage("--album-info takes cddb, musicbrainz or none");
    const long timeout = Args.Integer("--timeout", 10, 1, 600);

    const std::string device = Args.Value("--device", "");
    TPlainDispatcher dispatcher;
    TCdGrabber grabber(dispatcher, device.empty()
                                       ? std::make_shared<TCdioDriveProvider>()
                                       : std::make_shared<TCdioDriveProvider>(std::vector<std::string>{device}, false));
    try {
        grabber.Initialize();
        if (grabber.DriveCount() == 0) {
            Out.Error("No CD drive was found; name one with --device, or an image with --device IMAGE.cue.");
            return 1;
        }
        grabber.SetCurrentDrive(1);
        grabber.Refresh();
    } catch (const std::exception& e) {
        Out.Error(e.what());
        return 1;
    }
    if (grabber.DiscState() == 0) {
        Out.Error("There is no disc in " + grabber.DriveName() + ".");
        return 1;
    }
    if (grabber.DiscState() != 1) {
        Out.Error("The disc in " + grabber.DriveName() + " is not recognised.");
        return 1;
    }

    const TDiscToc& toc = grabber.Toc();
    TCliOutput::TJson tracks = TCliOutput::TJson::array();
    std::vector<std::string> lines;
    for (int s = 0; s < grabber.SessionCount(); ++s) {
        grabber.SetCurrentSession(s);
        for (int t = 0; t < grabber.TrackCount(); ++t) {
            grabber.SetCurrentTrack(t);
            const std::string duration =
                DurationText(grabber.TrackMinutes(), grabber.TrackSeconds(), grabber.TrackFraction());
            const TTocTrack* track = nullptr;
            int seen = 0;
            for (const TTocTrack& candidate : toc.Tracks)
                if (candidate.Session == s && seen++ == t)
                    track = &candidate;
            char line[160];
            std::snprintf(line, sizeof line, "%3d  %-22s %10s  LSN %-7d %-12s  %-12s", track->Number,
                          TypeText(grabber.TrackType()).c_str(), duration.c_str(), track->StartLsn, track->Isrc.c_str(),
                          track->PreEmphasis ? "pre-emphasis" : "");
            std::string text = line;
            if (!grabber.TrackTitle().empty())
                text += "  \"" + grabber.TrackTitle() + "\"";
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            lines.push_back(text);
            tracks.push_back(TCliOutput::TJson{{"number", track->Number},
                                               {"session", s + 1},
                                               {"type", TypeText(grabber.TrackType())},
                                               {"start_lsn", track->StartLsn},
                                               {"sectors", track->Sectors},
                                               {"duration", duration},
                                               {"isrc", track->Isrc},
                                               {"pre_emphasis", track->PreEmphasis},
                                               {"title", grabber.TrackTitle()}});
        }
    }
    std::string head = grabber.DriveName() + ": " + std::to_string(toc.Tracks.size()) + " tracks, lead-out LSN " +
                       std::to_string(toc.LeadOutLsn);
    if (!toc.Mcn.empty())
        head += ", MCN " + toc.Mcn;
    Out.ResultObject(head, "disc",
                     TCliOutput::TJson{{"device", grabber.DriveName()},
                                       {"cddb_id", toc.CddbIdText()},
                                       {"musicbrainz_id", toc.MusicBrainzId()},
                                       {"leadout_lsn", toc.LeadOutLsn},
                                       {"mcn", toc.Mcn},
                                       {"tracks", tracks}});
    for (const std::string& line : lines)
        Out.Text(line);
    Out.Text("CDDB ID: " + toc.CddbIdText());
    Out.Text("MusicBrainz ID: " + toc.MusicBrainzId());

    int albums = 0;
    if (const std::optional<TAlbumInfo> cdText = TCdGrabber::CdTextAlbum(grabber.CdText(), toc))
        PrintAlbum(Out, ++albums, *cdText);
    if (albumInfo == "none")
        return 0;

    TSystemOptionsPlatform platform;
    std::unique_ptr<TOptions> options = TCliSettings::Open(Args, platform);
    std::atomic<bool> cancel{false};
    std::function<TAlbumQueryResult()> ask;
    std::unique_ptr<TCddbClient> cddb;
    std::unique_ptr<TMusicBrainzClient> musicBrainz;
    if (albumInfo == "cddb") {
        TCddbSettings settings;
        settings.ServerIndex = options->FreeDBServer;
        settings.Port = options->FreeDBPort > 0 ? options->FreeDBPort : 80;
        if (options->UseProxy) {
            settings.ProxyHost = options->ProxyServer;
            settings.ProxyPort = options->ProxyPort;
        }
        settings.Email = Args.Value("--email", options->RipEmail);
        if (Args.Has("--server")) {
            settings.Servers = {Args.Value("--server")};
            settings.ServerIndex = 0;
        }
        settings.Timeout = std::chrono::milliseconds(timeout * 1000);
        settings.CacheFolder = TAlbumCache::DefaultFolder().string();
        settings.ClientVersion = KESTRUNE_VERSION;
        cddb = std::make_unique<TCddbClient>(settings);
        ask = [&] { return cddb->Query(toc, cancel); };
    } else {
        TMusicBrainzSettings settings;
        if (Args.Has("--server"))
            settings.Server = Args.Value("--server");
        if (options->UseProxy) {
            settings.ProxyHost = options->ProxyServer;
            settings.ProxyPort = options->ProxyPort;
        }
        settings.Timeout = std::chrono::milliseconds(timeout * 1000);
        settings.ClientVersion = KESTRUNE_VERSION;
        musicBrainz = std::make_unique<TMusicBrainzClient>(settings);
        ask = [&] { return musicBrainz->Query(toc, cancel); };
    }

    // The query runs on a thread of its own so that Ctrl-C can stop it.
    auto query = std::async(std::launch::async, ask);
    while (query.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (Interrupted.load())
            cancel = true;
    const TAlbumQueryResult result = query.get();
    if (result.Status == TAlbumQueryResult::csFailed) {
        Out.Error(result.Error);
        return 1;
    }
    if (result.Status == TAlbumQueryResult::csNoMatch) {
        Out.Info("No album information was found for this disc.");
        return 0;
    }
    for (const TAlbumInfo& album : result.Albums)
        PrintAlbum(Out, ++albums, album);
    return 0;
}

} // namespace kestrune::cli
