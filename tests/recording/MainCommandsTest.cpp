#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "mocks/TFakeMainView.h"
#include "mocks/TNoDevices.h"
#include "recording/TMainCommands.h"
#include "recording/TMainController.h"
#include "settings/TIniFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The windows as a script: each Show answers what the test queued and is
// logged by name.
class TScriptedWindows final : public IMainWindows {
public:
    std::vector<std::string> Log;
    TWizardChoice Choice = TWizardChoice::wzCancelled;
    bool AlbumNext = false;
    TWizardAlbum AlbumSeen;
    TWizardAlbum AlbumAnswer;
    bool RecordPressed = false;
    std::deque<TWindowCommand> Leaves; // what the next windows leave behind
    bool WindowsExist = true;
    std::string ShownAlbum;
    int ShownGenre = -2;

    TWizardChoice ShowWizardStart() override
    {
        Log.push_back("wizard0");
        return Choice;
    }
    bool ShowWizardAlbum(TWizardAlbum& Album) override
    {
        Log.push_back("wizard1");
        AlbumSeen = Album;
        if (AlbumNext)
            Album = AlbumAnswer;
        return AlbumNext;
    }
    bool ShowWizardRecord() override
    {
        Log.push_back("wizard2");
        return RecordPressed;
    }
    void ShowAlbum(const std::string& AlbumName, int GenreIndex) override
    {
        ShownAlbum = AlbumName;
        ShownGenre = GenreIndex;
    }
    bool Available(TWindowCommand) const override { return WindowsExist; }
    TWindowCommand ShowSettings() override { return Shown("settings"); }
    TWindowCommand ShowConvert() override { return Shown("convert"); }
    TWindowCommand ShowBurn() override { return Shown("burn"); }
    TWindowCommand ShowRip() override { return Shown("rip"); }
    bool RipAvailable() const override { return WindowsExist; }
    void ShowAbout() override { Log.push_back("about"); }

private:
    TWindowCommand Shown(const std::string& Name)
    {
        Log.push_back(Name);
        if (Leaves.empty())
            return TWindowCommand::wcNone;
        const TWindowCommand next = Leaves.front();
        Leaves.pop_front();
        return next;
    }
};

class TRecordingDesktop final : public IDesktop {
public:
    std::vector<std::string> Opened;
    bool Open(const std::string& FileOrUrl) override
    {
        Opened.push_back(FileOrUrl);
        return true;
    }
};

struct TRig {
    TTempDir Dir;
    TNoDevices Platform;
    TPlainDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TFakeMainView View;
    TGenreList Genres;
    TScriptedWindows Windows;
    TRecordingDesktop Desktop;
    std::unique_ptr<TMainController> Main;
    std::unique_ptr<TMainCommands> Commands;

    explicit TRig(const std::string& HelpPage = "")
    {
        std::ofstream(Dir.File("kestrune.gen")) << "Blues\nClassic Rock\nJazz\n";
        // Ten seconds of a tone: a recording that the test stops.
        WriteWholeFile(Dir.File("capture.wav"), PcmWavImage(Sine16(22050 * 10, 2, 22050, 440, 8000), 2, 22050));
        TIniFile ini(Ini());
        ini.WriteString("Recording", "Driver", "virtual:" + Dir.File("capture.wav"));
        ini.UpdateFile();
        auto options = std::make_unique<TOptions>(Ini(), Platform, TOptions::TDefaults{Records()});
        Main = std::make_unique<TMainController>(std::move(options), TMainController::TViews{View, View, Dialogs, Dispatcher},
                                                 Genres, Dir.File("kestrune.gen"));
        Main->Recorder().SetAlbumName("Before");
        Main->Recorder().SetGenre("Jazz");
        Commands = std::make_unique<TMainCommands>(*Main, Windows, Dialogs, Desktop, HelpPage);
    }
    ~TRig()
    {
        if (Main->Recorder().Recording()) {
            Main->Recorder().StopRecording();
            Dispatcher.WaitServing([&] { return !Main->Recorder().Recording(); }, 20s);
        }
    }

    std::string Ini() const { return Dir.File("kestrune.ini"); }
    std::string Records() const { return Dir.Path().string() + "/Records/"; }
    std::string SavedFolder() const { return TIniFile(Ini()).ReadString("General", "Folder", "(none)"); }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& shown : Dialogs.Shown())
            texts.push_back(shown.Text);
        return texts;
    }
};

} // namespace

// Page one offers the recorder's album, genre and folder; Next takes the
// user's, saves the folder and shows them in the main window; "Record"
// starts the recording, leaving the last page any other way does not.
TEST(MainCommands, WizardRecordPathSavesAndRecords)
{
    for (const bool record : {true, false}) {
        TRig rig;
        rig.Windows.Choice = IMainWindows::TWizardChoice::wzRecord;
        rig.Windows.AlbumNext = true;
        rig.Windows.AlbumAnswer = {"Live at Home", {}, 0, rig.Dir.File("Elsewhere")};
        rig.Windows.AlbumAnswer.Genres = rig.Main->Genres().Names();
        rig.Windows.RecordPressed = record;
        rig.Commands->Wizard();

        EXPECT_EQ(rig.Windows.Log, (std::vector<std::string>{"wizard0", "wizard1", "wizard2"}));
        EXPECT_EQ(rig.Windows.AlbumSeen.AlbumName, "Before");
        EXPECT_EQ(rig.Windows.AlbumSeen.Genres, (std::vector<std::string>{"Blues", "Classic Rock", "Jazz"}));
        EXPECT_EQ(rig.Windows.AlbumSeen.GenreIndex, 2);
        EXPECT_EQ(rig.Windows.AlbumSeen.Folder, rig.Records());

        EXPECT_EQ(rig.Main->Recorder().GetAlbumName(), "Live at Home");
        EXPECT_EQ(rig.Main->Recorder().GetGenre(), "Blues");
        EXPECT_EQ(rig.Windows.ShownAlbum, "Live at Home");
        EXPECT_EQ(rig.Windows.ShownGenre, 0);
        EXPECT_EQ(rig.SavedFolder(), rig.Dir.File("Elsewhere") + "/");
        EXPECT_EQ(rig.Main->Recorder().Recording(), record);
    }
}

// Cancel on the first or the second page ends the wizard with nothing
// changed, saved or recorded.
TEST(MainCommands, WizardCancelChangesNothing)
{
    for (const bool onFirstPage : {true, false}) {
        TRig rig;
        const auto settingsBefore = ReadWholeFile(rig.Ini());
        rig.Windows.Choice = onFirstPage ? IMainWindows::TWizardChoice::wzCancelled : IMainWindows::TWizardChoice::wzRecord;
        rig.Windows.AlbumNext = false;
        rig.Commands->Wizard();

        EXPECT_EQ(rig.Windows.Log.size(), onFirstPage ? 1U : 2U);
        EXPECT_EQ(rig.Main->Recorder().GetAlbumName(), "Before");
        EXPECT_EQ(rig.Main->Recorder().GetGenre(), "Jazz");
        EXPECT_EQ(rig.Main->Options().Folder, rig.Records());
        EXPECT_EQ(ReadWholeFile(rig.Ini()), settingsBefore);
        EXPECT_EQ(rig.Windows.ShownGenre, -2) << "the main window's fields stay as they were";
        EXPECT_FALSE(rig.Main->Recorder().Recording());
    }
}

// A window may leave a command behind; it runs when the window has closed,
// and what it leaves runs in turn. Burn without a writer only warns.
TEST(MainCommands, FollowUpChain)
{
    struct TCase {
        const char* Name;
        std::function<void(TMainCommands&)> Command;
        bool Writer;
        std::deque<TWindowCommand> Leaves;
        IMainWindows::TWizardChoice WizardChoice;
        std::vector<std::string> Log;
        std::vector<std::string> Messages;
    };
    const std::vector<TCase> cases = {
        {"settings leaves the wizard", [](TMainCommands& c) { c.Settings(); }, false,
         {TWindowCommand::wcWizard}, IMainWindows::TWizardChoice::wzCancelled, {"settings", "wizard0"}, {}},
        {"burn leaves settings, settings leaves convert", [](TMainCommands& c) { c.Burn(); }, true,
         {TWindowCommand::wcSettings, TWindowCommand::wcConvert}, IMainWindows::TWizardChoice::wzCancelled,
         {"burn", "settings", "convert"}, {}},
        {"burn without a writer", [](TMainCommands& c) { c.Burn(); }, false, {},
         IMainWindows::TWizardChoice::wzCancelled, {}, {"No CD-RW drives available"}},
        {"wizard to convert", [](TMainCommands& c) { c.Wizard(); }, false, {},
         IMainWindows::TWizardChoice::wzConvert, {"wizard0", "convert"}, {}},
        {"wizard to burn without a writer", [](TMainCommands& c) { c.Wizard(); }, false, {},
         IMainWindows::TWizardChoice::wzBurn, {"wizard0"}, {"No CD-RW drives available"}},
        {"rip leaves settings", [](TMainCommands& c) { c.Rip(); }, false, {TWindowCommand::wcSettings},
         IMainWindows::TWizardChoice::wzCancelled, {"rip", "settings"}, {}},
        {"convert leaves nothing", [](TMainCommands& c) { c.Convert(); }, false, {},
         IMainWindows::TWizardChoice::wzCancelled, {"convert"}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRig rig;
        rig.Windows.Leaves = c.Leaves;
        rig.Windows.Choice = c.WizardChoice;
        rig.Commands->WriterAvailable = [&] { return c.Writer; };
        c.Command(*rig.Commands);
        EXPECT_EQ(rig.Windows.Log, c.Log);
        EXPECT_EQ(rig.Texts(), c.Messages);
    }
}

// Windows that do not exist yet are never shown, whatever the command.
TEST(MainCommands, MissingWindowsAreNotShown)
{
    TRig rig;
    rig.Windows.WindowsExist = false;
    rig.Commands->WriterAvailable = [] { return true; };
    rig.Commands->Settings();
    rig.Commands->Convert();
    rig.Commands->Burn();
    rig.Commands->Rip();
    EXPECT_TRUE(rig.Windows.Log.empty());
    EXPECT_EQ(rig.Commands->NextWindow(), TWindowCommand::wcNone);
}

// The help page shipped with the program opens in the desktop's browser; a
// missing one is an error the user sees, not a silent nothing.
TEST(MainCommands, OnlineHelpOpensTheShippedPage)
{
    TTempDir dir;
    const std::string page = dir.File("index.html");
    std::ofstream(page) << "<html></html>";
    TRig shipped(page);
    EXPECT_TRUE(shipped.Commands->OnlineHelp());
    EXPECT_EQ(shipped.Desktop.Opened, std::vector<std::string>{page});
    EXPECT_TRUE(shipped.Texts().empty());

    TRig missing(dir.File("gone.html"));
    EXPECT_FALSE(missing.Commands->OnlineHelp());
    EXPECT_TRUE(missing.Desktop.Opened.empty());
    ASSERT_EQ(missing.Texts().size(), 1U);
    EXPECT_EQ(missing.Dialogs.Shown()[0].Kind, TDialogKind::dkError);
}
