#include "rip/TRipController.h"

#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "rip/TRipDoubles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::TCueImage;
using test::TCueImageTrack;
using test::TJobRecord;
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
    RipControllerTest() { Settings.RipPath = (Dir.Path() / "rips").string(); }

    void Make(std::shared_ptr<ICdDriveProvider> Drives)
    {
        Settings.Verify = false;
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
        {"Session1_Track1", true, "AUDIO", "", "0:01:200", "0%", "0"},
        {"Session1_Track2", true, "AUDIO", "", "0:01:200", "0%", "1"},
        {"Session1_Track3", true, "AUDIO", "", "0:01:200", "0%", "2"},
        {"Session1_Track4", false, "DATA (Mode 1)", "", "0:00:533", "0%", "3"},
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
    EXPECT_EQ(Dialogs.Shown().back().Text, "Grab finished");
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

} // namespace
} // namespace kestrune
