#include "rip/TRipController.h"

#include "cd/TAccurateRipResponse.h"
#include "cd/TArFixture.h"
#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "cd/TFakeCddbServer.h"
#include "cd/TFakeWebServices.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "formats/FlacComments.h"
#include "formats/TFLACIn.h"
#include "formats/TMACIn.h"
#include "formats/TMP3In.h"
#include "formats/TVorbisIn.h"
#include "formats/TWaveIn.h"
#include "mocks/TFakeOptionsPlatform.h"
#include "rip/TRipDoubles.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <thread>

#include <sys/mount.h>

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::TCueImage;
using test::TCueImageTrack;
using test::TJobRecord;
using test::TMemoryDrive;
using test::TMemoryDriveProvider;
using test::TRecordingRipView;

std::vector<std::uint8_t> ReadAll(const fs::path& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The chunks of a RIFF WAVE file by their ids (the last of each id).
std::map<std::string, std::vector<std::uint8_t>> RiffChunks(const std::vector<std::uint8_t>& File)
{
    std::map<std::string, std::vector<std::uint8_t>> chunks;
    std::size_t at = 12;
    while (at + 8 <= File.size()) {
        const std::string id(File.begin() + static_cast<long>(at), File.begin() + static_cast<long>(at) + 4);
        std::uint32_t size = 0;
        std::memcpy(&size, File.data() + at + 4, 4);
        const std::size_t end = std::min(File.size(), at + 8 + size);
        chunks[id].assign(File.begin() + static_cast<long>(at) + 8, File.begin() + static_cast<long>(end));
        at = end + (size & 1);
    }
    return chunks;
}

std::string Contains(const std::vector<std::uint8_t>& Bytes, const std::string& Text)
{
    const auto found = std::search(Bytes.begin(), Bytes.end(), Text.begin(), Text.end());
    return found == Bytes.end() ? std::string() : Text;
}

// How alike two 16-bit stereo signals are (the left sides, normalised
// cross-correlation over their first 20000 frames), at the best shift of the
// second by up to 4000 frames.
double BestCorrelation(const std::vector<std::uint8_t>& A, const std::vector<std::uint8_t>& B)
{
    auto left = [](const std::vector<std::uint8_t>& Bytes) {
        std::vector<double> out(Bytes.size() / 4);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = std::int16_t(Bytes[i * 4] | Bytes[i * 4 + 1] << 8);
        return out;
    };
    const std::vector<double> a = left(A);
    const std::vector<double> b = left(B);
    double best = -1;
    for (std::size_t shift = 0; shift <= 4000 && shift < b.size(); ++shift) {
        const std::size_t n = std::min({a.size(), b.size() - shift, std::size_t(20000)});
        double ab = 0, aa = 0, bb = 0;
        for (std::size_t i = 0; i < n; ++i) {
            ab += a[i] * b[i + shift];
            aa += a[i] * a[i];
            bb += b[i + shift] * b[i + shift];
        }
        if (aa > 0 && bb > 0)
            best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

// Three audio tracks of 90 sectors each (so the grabber reports 50% after
// its first block), a pregap before the third, and a data track.
TCueImage ThreeTracks()
{
    TCueImage image;
    image.Tracks = {
        {TCueImageTrack::tkSine, 90, 0, "USABC2400001", false, "", ""},
        {TCueImageTrack::tkNoise, 60, 0, "", false, "", ""},
        {TCueImageTrack::tkSine, 90, 30, "", true, "", ""},
        {TCueImageTrack::tkData, 40, 0, "", false, "", ""},
    };
    return image;
}

// The audio of track Index of an image, as a grab must give it.
std::vector<std::uint8_t> TrackAudio(const TCueImage& Image, std::size_t Index)
{
    const std::vector<std::uint8_t> bin = Image.Bin();
    const std::vector<int> starts = Image.Starts();
    const std::size_t from = std::size_t(starts[Index]) * 2352;
    const std::size_t to = Index + 1 < starts.size() ? std::size_t(starts[Index + 1]) * 2352 : bin.size();
    return {bin.begin() + static_cast<long>(from), bin.begin() + static_cast<long>(to)};
}

class RipControllerTest : public ::testing::Test {
protected:
    RipControllerTest()
    {
        Settings.RipPath = (Dir.Path() / "rips").string();
        Settings.Verify = false;
        Settings.Cddb.Email = "ripper@example.org";
        Settings.Cddb.Timeout = std::chrono::milliseconds(2000);
        Settings.Cddb.CacheFolder = (Dir.Path() / "cache").string();
    }

    // The window is shown with a drive served from memory.
    std::shared_ptr<TMemoryDriveProvider> OpenMemory(std::shared_ptr<TMemoryDrive::TDisc> Disc)
    {
        auto drives = std::make_shared<TMemoryDriveProvider>(std::move(Disc));
        Make(drives);
        Controller->Show();
        Dispatcher.ProcessPending();
        return drives;
    }

    int BoxesSaying(const std::string& Text) const
    {
        return static_cast<int>(std::count_if(Dialogs.Shown().begin(), Dialogs.Shown().end(),
                                              [&](const TPlainDialogs::TShown& S) { return S.Text == Text; }));
    }

    // Every file below the rip folder, as paths relative to it.
    std::vector<std::string> AllFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(Settings.RipPath))
            if (e.is_regular_file())
                names.push_back(fs::relative(e.path(), Settings.RipPath).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    void Make(std::shared_ptr<ICdDriveProvider> Drives)
    {
        Controller = std::make_unique<TRipController>(View, Dialogs, Dispatcher, std::move(Drives), Settings);
        Controller->Events().Subscribe(&Job);
    }

    // The window is shown with the image as its only drive.
    void Open(const fs::path& Cue)
    {
        Make(std::make_shared<TCdioDriveProvider>(std::vector<std::string>{Cue.string()}, false));
        Controller->Show();
        Dispatcher.ProcessPending();
    }

    // Starts a run and serves the window thread until it has finished.
    void RunToEnd()
    {
        Job = TJobRecord{};
        Controller->Grab();
        ASSERT_TRUE(Dispatcher.WaitServing([this] { return Job.Ended; }, std::chrono::seconds(60)));
    }

    // A new window on a new rip folder, for the next case of a table.
    void Reset(const std::string& RipFolder)
    {
        Controller.reset();
        Settings.RipPath = (Dir.Path() / RipFolder).string();
    }

    // The folder of a run on a disc without album information: its disc id.
    fs::path RunFolder() const
    {
        char id[16];
        std::snprintf(id, sizeof id, "%08x", Controller->Grabber().DiscId());
        return fs::path(Settings.RipPath) / ("Disc " + std::string(id));
    }

    // Name as AllFiles lists it for a file of the run's folder.
    std::string InRun(const std::string& Name) const { return (RunFolder().filename() / Name).string(); }

    std::vector<std::string> Files(const fs::path& Folder) const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TTempDir Dir;
    TPlainDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TRecordingRipView View;
    TJobRecord Job;
    TRipSettings Settings;
    std::unique_ptr<TRipController> Controller;
};

// A disc of fixture audio: tracks laid end to end from sector 0.
std::shared_ptr<TMemoryDrive::TDisc> MemoryDisc(const test::TArFixture::TDisc& Fixture)
{
    auto disc = std::make_shared<TMemoryDrive::TDisc>();
    disc->Toc = Fixture.Toc;
    for (const auto& track : Fixture.Tracks)
        disc->Audio.insert(disc->Audio.end(), track.begin(), track.end());
    return disc;
}

TEST_F(RipControllerTest, ReadsTheDiscIntoTheList)
{
    const TCueImage image = ThreeTracks();
    const fs::path cue = image.Write(Dir.Path(), "disc");
    Open(cue);

    EXPECT_TRUE(fs::is_directory(Settings.RipPath));
    EXPECT_EQ(View.Drives, std::vector<std::string>{"[" + cue.string() + "]  CD image  disc.cue  BIN/CUE"});
    EXPECT_EQ(View.ChosenDrive, 0);
    // The scan, the refresh and the fill in their order; the media name last.
    const std::vector<std::string> statuses{"Loading CD information...", "Accessing CD / DVD-drive(s)", "Refresh CD",
                                            "Refreshing track list view...", "", "CD-ROM"};
    EXPECT_EQ(View.Statuses, statuses);
    EXPECT_TRUE(View.ControlsOn);
    EXPECT_FALSE(View.Busy);
    EXPECT_EQ(View.EntryMinimum, 1);
    EXPECT_EQ(View.EntryMaximum, 1);
    EXPECT_EQ(View.EntryValue, 1);

    std::uint32_t id = Controller->Grabber().Toc().CddbId();
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", id);
    EXPECT_EQ(View.DiscIdText, std::string("CDDB ID: ") + hex);

    // Without "Read track ISRC" the column stays empty, not "N/A".
    const std::vector<TRipRow> rows{
        {"Session1_Track1", true, "AUDIO", "", "0:01.200", "0%", "0"},
        {"Session1_Track2", true, "AUDIO", "", "0:01.200", "0%", "1"},
        {"Session1_Track3", true, "AUDIO", "", "0:01.200", "0%", "2"},
        {"Session1_Track4", false, "DATA (Mode 1)", "", "0:00.533", "0%", "3"},
    };
    EXPECT_EQ(View.Rows, rows);
    EXPECT_EQ(Controller->Rows(), rows);
    EXPECT_EQ(View.Selected, 0);

    // Checking the box asks first; Yes reads the disc again with the codes.
    Dialogs.Script(TDialogResult::drYes);
    Controller->ClickReadIsrc(true);
    ASSERT_EQ(Dialogs.Shown().size(), 1U);
    EXPECT_EQ(Dialogs.Shown()[0].Text, "Refresh the CD Information?");
    EXPECT_EQ(Dialogs.Shown()[0].Buttons, TDialogButtons::dbYesNo);
    EXPECT_EQ(View.Rows[0].Isrc, "USABC2400001");
    EXPECT_EQ(View.Rows[1].Isrc, "N/A");
    EXPECT_EQ(View.Rows[3].Isrc, "N/A");

    // No leaves the list as it is.
    Dialogs.Script(TDialogResult::drNo);
    const std::size_t shown = View.Statuses.size();
    Controller->ClickReadIsrc(false);
    EXPECT_EQ(View.Statuses.size(), shown);
    EXPECT_EQ(View.Rows[0].Isrc, "USABC2400001");
}

TEST_F(RipControllerTest, WavRunCopiesTheTracksBitForBitNamedAndTagged)
{
    const TCueImage image = ThreeTracks();
    Open(image.Write(Dir.Path(), "disc"));
    Controller->SetRowCaption(0, "Intro/Outro?");
    Controller->SetRowCaption(2, "Late");
    Controller->SetAlbumFields("AC/DC", "Artist", "Rock");

    RunToEnd();
    EXPECT_EQ(Job.Started, 1);
    EXPECT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    // Second track at 50%: (50 + 100) / 3.
    const std::vector<std::string> progress{"Complete: 16.67%", "Complete: 33.33%", "Complete: 50.00%",
                                            "Complete: 66.67%", "Complete: 83.33%", "Complete: 100.00%"};
    EXPECT_EQ(Job.ProgressTexts, progress);
    EXPECT_DOUBLE_EQ(Job.Fractions.back(), 1.0);
    EXPECT_EQ(View.Gauge, (std::vector<int>{0, 16, 33, 50, 66, 83, 100}));
    EXPECT_EQ(View.Percents[1], (std::vector<std::string>{"0%", "50.00%", "100.00%"}));
    EXPECT_TRUE(View.Saw("Grab track \"Intro-Outro-\""));
    ASSERT_FALSE(Dialogs.Shown().empty());
    EXPECT_EQ(Dialogs.Shown().back().Text.rfind("Grab finished\n\n", 0), 0u) << Dialogs.Shown().back().Text;
    EXPECT_EQ(Dialogs.Shown().back().Kind, TDialogKind::dkInformation);
    EXPECT_EQ(View.Statuses.back(), "");
    EXPECT_FALSE(View.ProgressVisible);
    EXPECT_TRUE(View.ControlsOn);
    EXPECT_EQ(View.GrabCaption, "Grab Track");

    // The album makes one folder inside the rip folder, its separator cleaned.
    const fs::path folder = fs::path(Settings.RipPath) / "AC-DC";
    EXPECT_EQ(Files(Settings.RipPath), std::vector<std::string>{"AC-DC"});
    EXPECT_EQ(Files(folder), (std::vector<std::string>{"Intro-Outro-.wav", "Late.wav", "Session1_Track2.wav", "rip.log"}));
    const char* names[] = {"Intro-Outro-.wav", "Session1_Track2.wav", "Late.wav"};
    for (std::size_t t = 0; t < 3; ++t) {
        SCOPED_TRACE(names[t]);
        auto chunks = RiffChunks(ReadAll(folder / names[t]));
        EXPECT_TRUE(chunks["data"] == TrackAudio(image, t));
        // The title tag keeps the name as the row shows it.
        EXPECT_EQ(Contains(chunks["LIST"], "AC/DC"), "AC/DC");
        EXPECT_EQ(Contains(chunks["LIST"], "Artist"), "Artist");
    }
    EXPECT_EQ(Contains(RiffChunks(ReadAll(folder / names[0]))["LIST"], "Intro/Outro?"), "Intro/Outro?");
    EXPECT_EQ(Controller->WrittenFiles().size(), 3U);
}

TEST_F(RipControllerTest, DisclessDrivesAndNoDrives)
{
    struct TCase {
        const char* Name;
        bool Drive;
        TDiscPresence Presence;
        bool Tracks;
        const char* Status;
        bool Warned;
    };
    const TCase cases[] = {
        {"no drive", false, TDiscPresence::dpNone, false, "CD\\DVD drives were not detected!", false},
        {"no disc", true, TDiscPresence::dpNone, false, "No disc", false},
        {"unrecognised", true, TDiscPresence::dpUnrecognised, true, "Unrecognized", false},
        {"empty", true, TDiscPresence::dpUsable, false, "Empty disc", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        View = TRecordingRipView{};
        std::shared_ptr<TMemoryDrive::TDisc> disc;
        if (c.Drive) {
            disc = MemoryDisc(test::TArFixture::Disc({{1, 75}}));
            disc->Presence = c.Presence;
            if (!c.Tracks)
                disc->Toc = TDiscToc{};
        }
        Controller.reset();
        const int warnedBefore = BoxesSaying("Disc is empty or drive not support this disc type!");
        OpenMemory(disc);
        EXPECT_EQ(View.Statuses.back(), c.Status);
        EXPECT_TRUE(View.Rows.empty());
        EXPECT_EQ(View.DiscIdText, "");
        EXPECT_EQ(BoxesSaying("Disc is empty or drive not support this disc type!") - warnedBefore, c.Warned ? 1 : 0);
        // Without drives nothing can be used; without a disc the drive list
        // stays open to choose another.
        if (!c.Drive) {
            EXPECT_FALSE(View.ControlsOn);
            EXPECT_FALSE(View.DriveChoiceOn);
        } else {
            EXPECT_TRUE(View.DriveChoiceOn);
        }
    }
}

TEST_F(RipControllerTest, SecondSessionListsAfterTheFirstAndGrabsByItsTag)
{
    const test::TArFixture::TDisc fixture = test::TArFixture::Disc({{1, 75}, {2, 75}, {3, 90}});
    auto disc = MemoryDisc(fixture);
    disc->Toc.Tracks[2].Session = 1;
    OpenMemory(disc);
    ASSERT_EQ(View.Rows.size(), 3U);
    EXPECT_EQ(View.Rows[2].Caption, "Session2_Track1");
    EXPECT_EQ(View.Rows[2].Tag, "100");
    EXPECT_EQ(View.Rows[1].Tag, "1");
    EXPECT_EQ(View.Statuses.back(), "CD-R");

    Controller->SetRowChecked(0, false);
    Controller->SetRowChecked(1, false);
    RunToEnd();
    EXPECT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    EXPECT_EQ(View.Selected, 2);
    const auto chunks = RiffChunks(ReadAll(RunFolder() / "Session2_Track1.wav"));
    EXPECT_TRUE(chunks.at("data") == fixture.Tracks[2]);
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{InRun("Session2_Track1.wav"), InRun("rip.log")}));
}

TEST_F(RipControllerTest, AlbumEntriesFromTheServer)
{
    test::TFakeCddbServer server;
    server.Answer = [](const std::string& Cmd) -> std::pair<int, std::string> {
        if (Cmd.rfind("cddb query", 0) == 0)
            return {200, "210 Found exact matches\r\nrock 0d000603 A / One\r\njazz 0d000603 B / Two\r\n.\r\n"};
        const bool rock = Cmd.find("rock") != std::string::npos;
        return {200, std::string("210 x follows\r\nDTITLE=") + (rock ? "A / One" : "B / Two") +
                         "\r\nTTITLE0=" + (rock ? "r1" : "j1") + "\r\nTTITLE1=x\r\nTTITLE2=y\r\n.\r\n"};
    };
    Settings.Cddb.Servers = {server.Url()};
    Open(ThreeTracks().Write(Dir.Path(), "disc"));

    // Checking the box asks; Yes starts the query, and the window may not
    // close while it runs.
    Dialogs.Script(TDialogResult::drYes);
    Controller->ClickLoadAlbumInfo(true);
    EXPECT_EQ(View.Statuses.back(), "Quering CD Album information from FreeDB server...");
    EXPECT_TRUE(Controller->QueryRunning());
    EXPECT_FALSE(Controller->CanClose());
    EXPECT_FALSE(View.ControlsOn);
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return !Controller->QueryRunning(); }, std::chrono::seconds(20)));
    EXPECT_TRUE(Controller->CanClose());
    EXPECT_TRUE(Controller->AlbumInfoLoaded());
    for (const char* status : {"Connecting to  server...", "Quering for album entry...", "FreeDB information loaded"})
        EXPECT_TRUE(View.Saw(status)) << status;
    EXPECT_EQ(View.Statuses.back(), "");
    EXPECT_EQ(View.EntryMinimum, 1);
    EXPECT_EQ(View.EntryMaximum, 2);
    EXPECT_EQ(View.EntryValue, 1);
    EXPECT_EQ(View.Album, "One");
    EXPECT_EQ(View.Artist, "A");
    EXPECT_EQ(View.Genre, "rock");
    EXPECT_EQ(View.Rows[0].Caption, "r1");
    EXPECT_EQ(View.Rows[3].Caption, "Session1_Track4");

    Controller->ChooseAlbumEntry(2);
    EXPECT_EQ(View.EntryValue, 2);
    EXPECT_EQ(View.Album, "Two");
    EXPECT_EQ(View.Artist, "B");
    EXPECT_EQ(View.Genre, "jazz");
    EXPECT_EQ(View.Rows[0].Caption, "j1");

    // Unchecking keeps what the last query found: the first entry again.
    Dialogs.Script(TDialogResult::drYes);
    Controller->ClickLoadAlbumInfo(false);
    EXPECT_EQ(View.Album, "One");
    EXPECT_EQ(View.Rows[0].Caption, "r1");
    EXPECT_EQ(View.EntryMaximum, 1);

    // Saved fields answer the next query before the server; nothing is said.
    Controller->SetAlbumFields("Edited", "Someone", "Mine");
    const std::size_t boxes = Dialogs.Shown().size();
    Controller->SaveAlbumInfo();
    EXPECT_EQ(Dialogs.Shown().size(), boxes);

    // A server that cannot be reached: the titles fall back to the names.
    Controller.reset();
    View = TRecordingRipView{};
    Settings.Cddb.Servers = {"http://127.0.0.1:9/~cddb/cddb.cgi"};
    Settings.Cddb.CacheFolder.clear();
    Open(ThreeTracks().Write(Dir.Path(), "disc"));
    Dialogs.Script(TDialogResult::drYes);
    Controller->ClickLoadAlbumInfo(true);
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return !Controller->QueryRunning(); }, std::chrono::seconds(20)));
    EXPECT_TRUE(View.Saw("Connection failed!"));
    EXPECT_FALSE(Controller->AlbumInfoLoaded());
    EXPECT_EQ(View.Rows[0].Caption, "Session1_Track1");
    EXPECT_EQ(View.Album, "");
    EXPECT_NE(Controller->ErrorDetail(), "");
}

// Each encoded format: the file decodes to the track's audio (exactly for
// the lossless ones), carries its tags, and no WAV was written beside it.
TEST_F(RipControllerTest, EncodedFormatsDecodeRightAndAreTagged)
{
    TCueImage image;
    image.Tracks = {{TCueImageTrack::tkSine, 150, 0, "", false, "", ""},
                    {TCueImageTrack::tkNoise, 120, 0, "", false, "", ""}};
    Open(image.Write(Dir.Path(), "disc"));
    Controller->SetRowCaption(0, "Intro/Outro?");
    Controller->SetAlbumFields("Album", "Artist", "Rock");
    struct TCase {
        int Format;
        const char* Extension;
        bool Lossless;
    };
    const TCase cases[] = {{TRipController::rfMp3, ".mp3", false},
                           {TRipController::rfFlac, ".flac", true},
                           {TRipController::rfOgg, ".ogg", false},
                           {TRipController::rfApe, ".ape", true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Extension);
        Controller->SetFormat(c.Format);
        View.Percents.clear();
        RunToEnd();
        ASSERT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
        const fs::path folder = fs::path(Settings.RipPath) / "Album";
        const std::vector<std::string> names{std::string("Intro-Outro-") + c.Extension,
                                             std::string("Session1_Track2") + c.Extension};
        EXPECT_EQ(Files(folder), (std::vector<std::string>{names[0], names[1], "rip.log"}));
        // The track is encoded as it is read: its percentages climb once
        // to the end.
        const std::vector<std::string>& percents = View.Percents[0];
        ASSERT_GE(percents.size(), 3U);
        EXPECT_EQ(percents.back(), "100%");
        for (std::size_t p = 2; p + 1 < percents.size(); ++p)
            EXPECT_LE(std::stod(percents[p - 1]), std::stod(percents[p])) << percents[p];

        for (std::size_t t = 0; t < 2; ++t) {
            const std::string file = (folder / names[t]).string();
            std::unique_ptr<TACSFileIn> in;
            if (c.Format == TRipController::rfMp3)
                in = std::make_unique<TMP3In>();
            else if (c.Format == TRipController::rfFlac)
                in = std::make_unique<TFLACIn>();
            else if (c.Format == TRipController::rfOgg)
                in = std::make_unique<TVorbisIn>();
            else
                in = std::make_unique<TMACIn>();
            in->SetFileName(file);
            const std::vector<std::uint8_t> decoded = test::ReadAll(*in);
            const std::vector<std::uint8_t> audio = TrackAudio(image, t);
            if (c.Lossless) {
                EXPECT_TRUE(decoded == audio) << t;
            } else {
                // Lossy codecs add their delay and padding, never a second;
                // the tone comes back as the same wave, shifted by that delay
                // (noise is no fair test of a perceptual codec).
                EXPECT_NEAR(double(decoded.size()), double(audio.size()), 44100.0 * 4 * 0.1) << t;
                if (t == 0) {
                    EXPECT_GT(BestCorrelation(audio, decoded), 0.99);
                }
            }
        }
        const std::vector<std::uint8_t> first = ReadAll(folder / names[0]);
        if (c.Format == TRipController::rfOgg) {
            EXPECT_EQ(Contains(first, "TITLE=Intro/Outro?"), "TITLE=Intro/Outro?");
            EXPECT_EQ(Contains(first, "ARTIST=Artist"), "ARTIST=Artist");
        } else if (c.Format == TRipController::rfFlac) {
            EXPECT_EQ(ReadFlacComments((folder / names[0]).string()),
                      (std::vector<std::string>{"TITLE=Intro/Outro?", "ARTIST=Artist", "ALBUM=Album", "GENRE=Rock"}));
        } else {
            ASSERT_GT(first.size(), 128U);
            const std::vector<std::uint8_t> tag(first.end() - 128, first.end());
            EXPECT_EQ(std::string(tag.begin(), tag.begin() + 3), "TAG");
            EXPECT_EQ(std::string(tag.begin() + 3, tag.begin() + 3 + 12), "Intro/Outro?");
        }
        fs::remove_all(folder);
    }
}

TEST_F(RipControllerTest, StopLeavesNoHalfFile)
{
    auto drives = OpenMemory(MemoryDisc(test::TArFixture::Disc({{1, 200}, {2, 200}})));
    drives->Gate->AtLsn = 150;
    Controller->Grab();
    ASSERT_TRUE(drives->Gate->WaitReached(std::chrono::seconds(20)));
    Dispatcher.ProcessPending();
    EXPECT_EQ(View.GrabCaption, "Stop grabing");
    EXPECT_TRUE(View.GrabEnabled);
    EXPECT_EQ(Job.Started, 1);

    Controller->Grab();
    EXPECT_EQ(View.Statuses.back(), "Canceling...");
    EXPECT_FALSE(View.GrabEnabled);
    EXPECT_EQ(View.Gauge.back(), 0);
    drives->Gate->Open();
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return Job.Ended; }, std::chrono::seconds(20)));
    EXPECT_EQ(Job.Outcome, TJobOutcome::joCancelled);
    EXPECT_TRUE(Job.MessagesOf(TJobMessageKind::jmError).empty());
    EXPECT_EQ(Dialogs.Shown().back().Text.rfind("Grab finished", 0), 0u) << Dialogs.Shown().back().Text;
    // Neither the stopped track nor the next one left anything but the log.
    EXPECT_EQ(AllFiles(), std::vector<std::string>{InRun("rip.log")});
    EXPECT_FALSE(Controller->Grabbing());
}

TEST_F(RipControllerTest, UnreadableSectorsGiveReadErrorsAndOneWarning)
{
    const test::TArFixture::TDisc fixture = test::TArFixture::Disc({{1, 60}, {2, 60}, {3, 60}});
    auto disc = MemoryDisc(fixture);
    disc->Unreadable = {10, 70, 75};
    // A sector of the third track reads at the second attempt: no error.
    disc->Flaky = {130};
    Settings.ReadOption = 0;
    Settings.ReadAttempts = 2;
    auto drives = OpenMemory(disc);
    RunToEnd();

    // The user's read settings reach the drive.
    EXPECT_EQ(drives->Gate->ReadOption.load(), 0);
    EXPECT_EQ(drives->Gate->Attempts.load(), 2);
    EXPECT_TRUE(View.Saw("Read disc error."));
    EXPECT_TRUE(View.Saw("Attempt 1 of 2 attempts of reading the track sector 10"));
    EXPECT_TRUE(View.Saw("Attempt 1 of 2 attempts of reading the track sector 130"));
    // The last attempt names the sector as the ones before it: by its place
    // on the disc (the second track starts at sector 60).
    EXPECT_TRUE(View.Saw("Attempt 1 of 2 attempts of reading the track sector 70"));
    EXPECT_TRUE(View.Saw("Attempt 2 of 2 attempts of reading the track sector 70"));
    const std::string warning =
        "DorerOVOdorode detects that this CD may be scratched. Please set the options for grabbing old or scratched "
        "CDs.";
    EXPECT_EQ(BoxesSaying(warning), 1);
    EXPECT_EQ(Job.MessagesOf(TJobMessageKind::jmWarning), std::vector<std::string>{warning});
    ASSERT_EQ(Job.MessagesOf(TJobMessageKind::jmError).size(), 2U);
    EXPECT_EQ(Job.Outcome, TJobOutcome::joFailed);
    EXPECT_EQ(Job.Reason, Job.MessagesOf(TJobMessageKind::jmError)[0]);
    EXPECT_NE(Job.Reason.find("Session1_Track1"), std::string::npos);
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{InRun("Session1_Track3.wav"), InRun("rip.log")}));
    EXPECT_TRUE(RiffChunks(ReadAll(RunFolder() / "Session1_Track3.wav")).at("data") == fixture.Tracks[2]);

    // The next run warns again, once.
    RunToEnd();
    EXPECT_EQ(BoxesSaying(warning), 2);
}

// With the action "silence" or "cut" an unreadable sector no longer costs
// the track: the file is made, the damage is told and logged.
TEST_F(RipControllerTest, TheReadActionKeepsTracksWithUnreadableSectors)
{
    const test::TArFixture::TDisc fixture = test::TArFixture::Disc({{1, 30}, {2, 30}});
    for (const int action : {TCdGrabber::raSilence, TCdGrabber::raCut}) {
        SCOPED_TRACE(action);
        Reset("rips" + std::to_string(action));
        auto disc = MemoryDisc(fixture);
        disc->Unreadable = {7};
        Settings.ReadOption = 3;
        Settings.ReadAttempts = 2;
        Settings.ReadAction = action;
        auto drives = OpenMemory(disc);
        RunToEnd();

        EXPECT_EQ(drives->Gate->ReadOption.load(), 3);
        EXPECT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
        const std::string told = action == TCdGrabber::raSilence
                                     ? "1 sector could not be read and was replaced by silence."
                                     : "1 sector could not be read and was left out.";
        const auto warnings = Job.MessagesOf(TJobMessageKind::jmWarning);
        EXPECT_NE(std::find(warnings.begin(), warnings.end(), "\"Session1_Track1\": " + told), warnings.end());
        std::vector<std::uint8_t> expected = fixture.Tracks[0];
        const auto sector = expected.begin() + 7 * TDiscToc::SectorBytes;
        if (action == TCdGrabber::raSilence)
            std::fill(sector, sector + TDiscToc::SectorBytes, std::uint8_t{0});
        else
            expected.erase(sector, sector + TDiscToc::SectorBytes);
        const fs::path folder = RunFolder();
        EXPECT_TRUE(RiffChunks(ReadAll(folder / "Session1_Track1.wav")).at("data") == expected);
        EXPECT_TRUE(RiffChunks(ReadAll(folder / "Session1_Track2.wav")).at("data") == fixture.Tracks[1]);
        const std::vector<std::uint8_t> log = ReadAll(folder / "rip.log");
        EXPECT_NE(std::string(log.begin(), log.end()).find("  Damaged: " + told), std::string::npos);
    }
}

TEST_F(RipControllerTest, VerdictsFromAccurateRipAndTheLog)
{
    const test::TArFixture::TDisc fixture = test::TArFixture::Disc({{11, 80}, {12, 70}, {13, 90}});
    // Track 1 known by its v1 sum, track 2 only under other sums, track 3
    // never submitted.
    const std::vector<std::vector<TAccurateRipEntry>> chunks{
        {{5, fixture.Sums[0].V1, 0}, {3, fixture.Sums[1].V1 + 1, 0}, {0, 0, 0}}};
    test::TFakeAccurateRip database(200, TAccurateRipResponse::Format(fixture.Disc, chunks));
    Settings.Verify = true;
    Settings.AccurateRip.Server = database.Root() + "/";
    OpenMemory(MemoryDisc(fixture));
    RunToEnd();
    EXPECT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    EXPECT_EQ(Job.MessagesOf(TJobMessageKind::jmInfo),
              (std::vector<std::string>{"Track 1: accurately ripped (confidence 5, AccurateRip v1)",
                                        "Track 3: not in the AccurateRip database"}));
    EXPECT_EQ(Job.MessagesOf(TJobMessageKind::jmWarning),
              std::vector<std::string>{"Track 2: mismatched: none of 3 submitted rips has these checksums"});
    ASSERT_EQ(Controller->Log().Tracks.size(), 3U);
    EXPECT_EQ(Controller->Log().Tracks[0].Verdict.Kind, TAccurateRipVerdict::vkAccurate);
    const std::vector<std::uint8_t> log = ReadAll(RunFolder() / "rip.log");
    EXPECT_EQ(Contains(log, "accurately ripped (confidence 5, AccurateRip v1)"),
              "accurately ripped (confidence 5, AccurateRip v1)");
    EXPECT_EQ(Contains(log, "Session1_Track2.wav"), "Session1_Track2.wav");
    EXPECT_EQ(Contains(log, "/dev/fake0"), "/dev/fake0");
    // The closing message sums it up beside the folder of the files.
    EXPECT_EQ(Dialogs.Shown().back().Text,
              "Grab finished\n\n3 tracks in " + RunFolder().string() +
                  "\nAccurateRip: 1 accurate, 1 not matching any submission, 1 not in the database.");
}

// A row checked once the run has started is not part of it: the run's
// figures end at 100.
TEST_F(RipControllerTest, RowsCheckedDuringARunWait)
{
    OpenMemory(MemoryDisc(test::TArFixture::Disc({{1, 90}, {2, 90}})));
    Controller->SetRowChecked(1, false);
    Controller->Grab();
    Controller->SetRowChecked(1, true);
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return Job.Ended; }, std::chrono::seconds(60)));
    EXPECT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    EXPECT_EQ(Job.ProgressTexts, (std::vector<std::string>{"Complete: 50.00%", "Complete: 100.00%"}));
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{InRun("Session1_Track1.wav"), InRun("rip.log")}));
}

TEST_F(RipControllerTest, NothingCheckedEndsAtOnce)
{
    OpenMemory(MemoryDisc(test::TArFixture::Disc({{1, 75}})));
    Controller->SetRowChecked(0, false);
    RunToEnd();
    EXPECT_EQ(Job.Outcome, TJobOutcome::joSucceeded);
    EXPECT_EQ(Dialogs.Shown().back().Text, "Grab finished");
    EXPECT_TRUE(AllFiles().empty());
    // WAV has no options to set.
    EXPECT_FALSE(Controller->AskAdvancedSettings());
    EXPECT_EQ(Dialogs.Shown().back().Text, "No advanced settings for the WAV format!");
    Controller->SetFormat(TRipController::rfMp3);
    EXPECT_TRUE(Controller->AskAdvancedSettings());
}

// Names made from rows never take the place of other files: two rows of one
// name, and a file of the user's under a track's name.
TEST_F(RipControllerTest, NamesNeverOverwriteOtherFiles)
{
    const TCueImage image = ThreeTracks();
    Open(image.Write(Dir.Path(), "disc"));
    Controller->SetRowCaption(0, "Same");
    Controller->SetRowCaption(1, "Same");
    Controller->SetRowChecked(2, false);
    Controller->SetAlbumFields("..", "", "");
    Controller->SetFormat(TRipController::rfMp3);
    const fs::path folder = fs::path(Settings.RipPath) / "--";
    fs::create_directories(folder);
    std::ofstream(folder / "Same.mp3") << "mine";
    RunToEnd();
    EXPECT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    EXPECT_EQ(Files(folder), (std::vector<std::string>{"Same (2).mp3", "Same (3).mp3", "Same.mp3", "rip.log"}));
    const std::vector<std::uint8_t> mine = ReadAll(folder / "Same.mp3");
    EXPECT_EQ(std::string(mine.begin(), mine.end()), "mine");
    // Nothing was written beside the rip folder.
    EXPECT_EQ(Files(Settings.RipPath), std::vector<std::string>{"--"});
}

// A small disk mounted for the test (tmpfs needs the right to mount; the
// test is skipped without it).
class TSmallDisk {
public:
    TSmallDisk(const fs::path& Where, const char* Size) : FWhere(Where)
    {
        fs::create_directories(Where);
        FMounted = ::mount("tmpfs", Where.c_str(), "tmpfs", 0, (std::string("size=") + Size).c_str()) == 0;
    }
    ~TSmallDisk()
    {
        if (FMounted)
            ::umount2(FWhere.c_str(), MNT_DETACH);
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;
    bool Mounted() const { return FMounted; }

private:
    fs::path FWhere;
    bool FMounted = false;
};

// A quiet tone: FLAC packs it into a small part of its WAV size.
std::shared_ptr<TMemoryDrive::TDisc> ToneDisc(int Tracks, int Sectors)
{
    auto disc = std::make_shared<TMemoryDrive::TDisc>();
    for (int t = 0; t < Tracks; ++t)
        disc->Toc.Tracks.push_back({t + 1, 0, t * Sectors, Sectors, TTrackType::ttAudio, false, ""});
    disc->Toc.LeadOutLsn = Tracks * Sectors;
    for (int f = 0; f < Tracks * Sectors * 588; ++f) {
        const auto v = static_cast<std::int16_t>(std::lround(200.0 * std::sin(f * 2.0 * M_PI * 441.0 / 44100.0)));
        for (int side = 0; side < 2; ++side) {
            disc->Audio.push_back(static_cast<std::uint8_t>(v & 0xFF));
            disc->Audio.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        }
    }
    return disc;
}

// An encoded rip needs room for the encoded files only: on a disk too small
// for one track's WAV, the FLAC rip succeeds and no WAV ever appears. A WAV
// rip there fails as "Disk full" and leaves no half file, and the FLAC
// files stay.
TEST_F(RipControllerTest, EncodingWhileReadingNeedsRoomForTheEncodedFilesOnly)
{
    TSmallDisk disk(Dir.Path() / "small", "1m");
    if (!disk.Mounted())
        GTEST_SKIP() << "no right to mount a small disk";
    Settings.RipPath = (Dir.Path() / "small").string();
    // Each track's WAV (1.2 MB) is larger than the disk.
    OpenMemory(ToneDisc(2, 500));
    Controller->SetFormat(TRipController::rfFlac);
    RunToEnd();
    EXPECT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{InRun("Session1_Track1.flac"), InRun("Session1_Track2.flac"),
                                                    InRun("rip.log")}));
    TFLACIn in;
    in.SetFileName((RunFolder() / "Session1_Track2.flac").string());
    EXPECT_EQ(test::ReadAll(in).size(), 500U * TDiscToc::SectorBytes);

    Controller->SetFormat(TRipController::rfWav);
    Controller->SetRowChecked(1, false);
    RunToEnd();
    EXPECT_EQ(Job.Outcome, TJobOutcome::joFailed);
    EXPECT_NE(Job.Reason.find("Disk full"), std::string::npos) << Job.Reason;
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{InRun("Session1_Track1.flac"), InRun("Session1_Track2.flac"),
                                                    InRun("rip (2).log"), InRun("rip.log")}));
}

// Two discs without album information ripped into one rip folder each get
// a folder of their own: the second replaces nothing of the first.
TEST_F(RipControllerTest, DiscsWithoutInformationKeepTheirOwnFolders)
{
    const test::TArFixture::TDisc first = test::TArFixture::Disc({{1, 75}, {2, 75}});
    const test::TArFixture::TDisc second = test::TArFixture::Disc({{3, 800}, {4, 80}});
    OpenMemory(MemoryDisc(first));
    RunToEnd();
    ASSERT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    // The folder is named by the disc id the window shows.
    const fs::path firstFolder = RunFolder();
    const std::string shown = View.DiscIdText.substr(std::string("CDDB ID: ").size());
    EXPECT_EQ(firstFolder.filename().string(), "Disc " + std::string(8 - shown.size(), '0') + shown);
    OpenMemory(MemoryDisc(second));
    RunToEnd();
    ASSERT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    ASSERT_NE(RunFolder(), firstFolder);
    const std::pair<fs::path, const test::TArFixture::TDisc*> rips[] = {{firstFolder, &first}, {RunFolder(), &second}};
    for (const auto& [folder, fixture] : rips) {
        SCOPED_TRACE(folder.string());
        EXPECT_EQ(Files(folder), (std::vector<std::string>{"Session1_Track1.wav", "Session1_Track2.wav", "rip.log"}));
        for (std::size_t t = 0; t < 2; ++t)
            EXPECT_TRUE(RiffChunks(ReadAll(folder / ("Session1_Track" + std::to_string(t + 1) + ".wav"))).at("data") ==
                        fixture->Tracks[t]);
    }
}

// A second rip of a disc, stopped half-way, removes nothing of the first:
// its finished track takes the next free name, its stopped one leaves
// nothing, and both logs stay.
TEST_F(RipControllerTest, AStoppedReripLeavesTheEarlierRipWhole)
{
    const test::TArFixture::TDisc fixture = test::TArFixture::Disc({{1, 60}, {2, 200}});
    auto drives = OpenMemory(MemoryDisc(fixture));
    Controller->SetFormat(TRipController::rfFlac);
    RunToEnd();
    ASSERT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    const std::vector<std::string> earlier = Files(RunFolder());
    ASSERT_EQ(earlier, (std::vector<std::string>{"Session1_Track1.flac", "Session1_Track2.flac", "rip.log"}));
    std::map<std::string, std::vector<std::uint8_t>> before;
    for (const std::string& name : earlier)
        before[name] = ReadAll(RunFolder() / name);

    // What a killed rip left half-written is cleared by the next run; its
    // writer (a process number no process has) is gone.
    const fs::path leftover = RunFolder() / ".Session1_Track2.flac.4194303-0.kestrune-part";
    std::ofstream(leftover) << "half";

    // Held in the second track, then stopped.
    drives->Gate->AtLsn = 150;
    Job = TJobRecord{};
    Controller->Grab();
    ASSERT_TRUE(Dispatcher.WaitServing(
        [&] { return drives->Gate->WaitReached(std::chrono::milliseconds(1)) || Job.Ended; }, std::chrono::seconds(20)))
        << Job.Reason;
    ASSERT_FALSE(Job.Ended) << Job.Reason;
    Controller->Grab();
    drives->Gate->Open();
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return Job.Ended; }, std::chrono::seconds(20)));
    EXPECT_EQ(Job.Outcome, TJobOutcome::joCancelled);
    EXPECT_EQ(Files(RunFolder()), (std::vector<std::string>{"Session1_Track1 (2).flac", "Session1_Track1.flac",
                                                            "Session1_Track2.flac", "rip (2).log", "rip.log"}));
    for (const auto& [name, bytes] : before)
        EXPECT_TRUE(ReadAll(RunFolder() / name) == bytes) << name;
    EXPECT_FALSE(fs::exists(leftover));
}

TEST_F(RipControllerTest, ClosingDuringARunStopsItWithoutAHalfFile)
{
    auto drives = OpenMemory(MemoryDisc(test::TArFixture::Disc({{1, 200}, {2, 100}})));
    drives->Gate->AtLsn = 150;
    Controller->Grab();
    ASSERT_TRUE(drives->Gate->WaitReached(std::chrono::seconds(20)));
    // The drive answers a little later, as a real one would after the stop.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        drives->Gate->Open();
    });
    const std::size_t boxes = Dialogs.Shown().size();
    Controller->Close();
    late.join();
    Dispatcher.ProcessPending();
    EXPECT_TRUE(Job.Ended);
    EXPECT_EQ(Job.Outcome, TJobOutcome::joCancelled);
    EXPECT_EQ(Dialogs.Shown().size(), boxes);
    EXPECT_FALSE(Controller->Grabbing());
    EXPECT_TRUE(AllFiles().empty());
}

// The sample format chosen reaches the files, through the encoders too.
TEST_F(RipControllerTest, SampleFormatReachesTheFiles)
{
    const std::vector<std::string>& texts = TRipController::SampleFormatTexts();
    ASSERT_EQ(texts.size(), 12U);
    EXPECT_EQ(texts[TRipController::DefaultSampleFormat], "44,100 Hz; 16 Bit; Stereo;");
    EXPECT_EQ(texts[4], "22,050 Hz; 8 Bit; Mono;");
    EXPECT_EQ(TRipController::FormatTexts(),
              (std::vector<std::string>{"WAV", "MP3", "FLAC", "Ogg Vorbis", "APE"}));

    OpenMemory(MemoryDisc(test::TArFixture::Disc({{1, 150}})));
    struct TCase {
        int Format;
        int Position;
        int Rate, Channels, Bits;
        const char* File;
    };
    const TCase cases[] = {{TRipController::rfWav, 4, 22050, 1, 8, "Session1_Track1.wav"},
                           {TRipController::rfFlac, 3, 11025, 2, 16, "Session1_Track1.flac"},
                           {TRipController::rfApe, 9, 44100, 1, 16, "Session1_Track1.ape"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        Controller->SetFormat(c.Format);
        Controller->SetSampleFormat(c.Position);
        RunToEnd();
        ASSERT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
        std::unique_ptr<TACSFileIn> in;
        if (c.Format == TRipController::rfWav)
            in = std::make_unique<TWaveIn>();
        else if (c.Format == TRipController::rfFlac)
            in = std::make_unique<TFLACIn>();
        else
            in = std::make_unique<TMACIn>();
        in->SetFileName((RunFolder() / c.File).string());
        const std::vector<std::uint8_t> audio = test::ReadAll(*in);
        EXPECT_EQ(in->InSampleRate(), c.Rate);
        EXPECT_EQ(in->InChannels(), c.Channels);
        EXPECT_EQ(in->InBitsPerSample(), c.Bits);
        EXPECT_NEAR(double(audio.size()), 150.0 * 588 * c.Rate / 44100 * c.Channels * c.Bits / 8,
                    8.0 * c.Channels * c.Bits / 8);
    }
}

// A disc change noticed during a run leaves the run alone; the disc is read
// again once the run has ended.
TEST_F(RipControllerTest, DiscChangeDuringARunIsReadAfterIt)
{
    struct TTrayOnEncoding final : TJobListenerBase {
        TRipController* Controller = nullptr;
        bool Done = false;
        void JobProgress(TJobKind, double Fraction, const std::string&) override
        {
            // The track is read and encoded, the run not yet over: the
            // drive is idle.
            if (!Done && Fraction >= 1.0) {
                Done = true;
                Controller->Grabber().LoadTray();
            }
        }
    } tray;
    OpenMemory(MemoryDisc(test::TArFixture::Disc({{1, 75}})));
    tray.Controller = Controller.get();
    Controller->Events().Subscribe(&tray);
    Controller->SetFormat(TRipController::rfFlac);
    RunToEnd();
    Controller->Events().Unsubscribe(&tray);
    ASSERT_TRUE(tray.Done);
    EXPECT_EQ(Job.Outcome, TJobOutcome::joSucceeded) << Job.Reason;
    const auto finished = std::find(View.Statuses.rbegin(), View.Statuses.rend(), "Complete: 100.00%");
    ASSERT_NE(finished, View.Statuses.rend());
    // Read again after the run's end, not during it.
    EXPECT_NE(std::find(View.Statuses.rbegin(), finished, "Refresh CD"), finished);
    EXPECT_EQ(std::count(View.Statuses.begin(), View.Statuses.end(), "Refresh CD"), 2);
    EXPECT_EQ(View.Rows.size(), 1U);
}

TEST(RipSettingsTest, FromTheOptions)
{
    test::TTempDir dir;
    test::TFakePlatform platform;
    TOptions options(dir.File("k.ini"), platform, TOptions::TDefaults{dir.File("Records") + "/"});
    options.RipPath = "/music/rips/";
    options.ReadOpt = 3;
    options.ReadAtt = 40;
    options.ReadAct = 2;
    options.FreeDBServer = 2;
    options.FreeDBPort = 0;
    options.RipEmail = "me@example.org";
    options.ProxyServer = "proxy.lan";
    options.ProxyPort = 3128;
    options.UseProxy = false;
    options.Bitrate = 14;
    TRipSettings s = RipSettingsFrom(options);
    EXPECT_EQ(s.RipPath, "/music/rips/");
    EXPECT_EQ(s.ReadOption, 3);
    EXPECT_EQ(s.ReadAttempts, 10);
    EXPECT_EQ(s.ReadAction, TCdGrabber::raCut);
    EXPECT_EQ(s.Cddb.ServerIndex, 2);
    EXPECT_EQ(s.Cddb.Port, 80);
    EXPECT_EQ(s.Cddb.Email, "me@example.org");
    EXPECT_EQ(s.Mp3BitrateIndex, 14);
    // A proxy that is switched off is not used.
    EXPECT_EQ(s.Cddb.ProxyHost, "");
    EXPECT_EQ(s.AccurateRip.ProxyHost, "");

    options.UseProxy = true;
    options.ReadOpt = 1;
    options.ReadAtt = 0;
    options.ReadAct = 0;
    s = RipSettingsFrom(options);
    EXPECT_EQ(s.ReadOption, 1);
    EXPECT_EQ(s.ReadAttempts, 1);
    EXPECT_EQ(s.ReadAction, TCdGrabber::raStop);
    EXPECT_EQ(s.Cddb.ProxyHost, "proxy.lan");
    EXPECT_EQ(s.MusicBrainz.ProxyPort, 3128);
    EXPECT_EQ(s.AccurateRip.ProxyHost, "proxy.lan");

    // The bit rate chosen with the run's MP3 files.
    test::TRecordingRipView view;
    TPlainDialogs dialogs;
    TPlainDispatcher dispatcher;
    TRipController controller(view, dialogs, dispatcher, std::make_shared<TMemoryDriveProvider>(), s);
    EXPECT_EQ(controller.EncoderSettings().Mp3.BitRate, TMP3BitRate::br192);
}

} // namespace
} // namespace kestrune
