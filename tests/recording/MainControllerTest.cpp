#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "mocks/TFakeMainView.h"
#include "mocks/TNoDevices.h"
#include "recording/TMainController.h"
#include "settings/TIniFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;

namespace {

struct TRig {
    TTempDir Dir;
    TNoDevices Platform;
    TPlainDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TFakeMainView View;
    TGenreList Genres;

    std::string Ini() const { return Dir.File("kestrune.ini"); }
    std::string Records() const { return Dir.Path().string() + "/Records/"; }

    std::unique_ptr<TMainController> Start(const std::string& GenreFile = "")
    {
        auto options = std::make_unique<TOptions>(Ini(), Platform, TOptions::TDefaults{Records()});
        return std::make_unique<TMainController>(
            std::move(options), TMainController::TViews{View, View, Dialogs, Dispatcher}, Genres, GenreFile);
    }

    std::vector<std::string> Warnings() const
    {
        std::vector<std::string> texts;
        for (const auto& shown : Dialogs.Shown())
            if (shown.Kind == TDialogKind::dkWarning)
                texts.push_back(shown.Text);
        return texts;
    }
};

constexpr std::chrono::year_month_day May1{std::chrono::year{2024}, std::chrono::May, std::chrono::day{1}};

} // namespace

TEST(MainController, FirstRunUntilTheSettingsAreSaved)
{
    TRig rig;
    {
        auto main = rig.Start();
        EXPECT_TRUE(main->FirstRun());
        EXPECT_FALSE(fs::exists(rig.Ini())) << "start-up must not write the settings";
        main->Options().Save();
    }
    EXPECT_FALSE(rig.Start()->FirstRun());
}

TEST(MainController, WarnsOnceWithoutACaptureDeviceAndUsesTheChosenOne)
{
    // On a first start the settings window that follows says it in its page.
    TRig rig;
    rig.Start();
    EXPECT_TRUE(rig.Warnings().empty());
    // Later starts warn once.
    rig.Start()->Options().Save();
    rig.Start();
    EXPECT_EQ(rig.Warnings(), std::vector<std::string>{"No input driver available!"});

    TRig configured;
    const std::string device = "virtual:" + configured.Dir.File("capture.wav");
    TIniFile ini(configured.Ini());
    ini.WriteString("Recording", "Driver", device);
    ini.UpdateFile();
    auto main = configured.Start();
    EXPECT_TRUE(configured.Warnings().empty());
    EXPECT_EQ(main->Recorder().AudioIn1().Device(), device);
}

TEST(MainController, DefaultAlbumNameTakesTheFirstFreeNumber)
{
    TRig rig;
    auto main = rig.Start();
    EXPECT_EQ(TMainController::DefaultAlbumName(rig.Records(), May1), "Kestrune 2024-05-01 (1)");
    fs::create_directories(rig.Records() + "Kestrune 2024-05-01 (1)");
    fs::create_directories(rig.Records() + "Kestrune 2024-05-01 (2)");
    // A file of that name is not an album folder.
    std::ofstream(rig.Records() + "Kestrune 2024-05-01 (3)") << "x";
    EXPECT_EQ(TMainController::DefaultAlbumName(rig.Records(), May1), "Kestrune 2024-05-01 (3)");

    main->Show(May1);
    EXPECT_EQ(main->Recorder().GetAlbumName(), "Kestrune 2024-05-01 (3)");
    main->Recorder().SetAlbumName("Live");
    main->Show(May1);
    EXPECT_EQ(main->Recorder().GetAlbumName(), "Live") << "a name the user gave stays";
}

TEST(MainController, GenreListFromTheFileOrEmpty)
{
    TRig rig;
    rig.Genres.LoadFromText("Stale\n");
    rig.Start(rig.Dir.File("missing.gen"));
    EXPECT_EQ(rig.Genres.Count(), 0);

    std::ofstream(rig.Dir.File("kestrune.gen")) << "Blues\r\nClassic Rock\r\n";
    rig.Start(rig.Dir.File("kestrune.gen"));
    EXPECT_EQ(rig.Genres.Names(), (std::vector<std::string>{"Blues", "Classic Rock"}));
}

TEST(MainController, RecognitionFollowsTheSetting)
{
    TRig rig;
    TIniFile ini(rig.Ini());
    ini.WriteString("Recognition", "Key", "test-key");
    ini.UpdateFile();
    auto main = rig.Start();
    EXPECT_TRUE(main->Recognition().ClientOpen());

    main->Options().AutoRecognize = false;
    main->ApplyAutoRecognize();
    EXPECT_FALSE(main->Recognition().ClientOpen());
    main->Options().AutoRecognize = true;
    main->ApplyAutoRecognize();
    EXPECT_TRUE(main->Recognition().ClientOpen());

    // A new key or server reopens the client with them; losing the key closes it.
    main->Options().RecognitionKey.clear();
    main->RecognitionServiceChanged();
    EXPECT_FALSE(main->Recognition().ClientOpen());
    EXPECT_NE(main->Recognition().Notice().find("no application key"), std::string::npos);

    // Without a key nothing opens, and the reason is there to show.
    TRig keyless;
    auto other = keyless.Start();
    EXPECT_FALSE(other->Recognition().ClientOpen());
    EXPECT_NE(other->Recognition().Notice().find("no application key"), std::string::npos);
}
