// The settings window without its drawing: filling, reactions, Save's checks.
#include "settings/TIniFile.h"
#include "settings/TSettingsController.h"

#include "mocks/TFakeOptionsPlatform.h"
#include "mocks/TSettingsWindowDoubles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using C = TSettingsControl;
using test::TFakePlatform;

struct TShown {
    TDialogKind Kind;
    std::string Text;
    TDialogButtons Buttons;
};

class TScriptedDialogs final : public IDialogs {
public:
    std::vector<TShown> Shown;
    std::deque<TDialogResult> Answers; // OK when none is left
    TDialogResult Show(TDialogKind Kind, const std::string& Text, TDialogButtons Buttons) override
    {
        Shown.push_back({Kind, Text, Buttons});
        if (Answers.empty())
            return TDialogResult::drOK;
        const TDialogResult answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& s : Shown)
            texts.push_back(s.Text);
        return texts;
    }
};

// Echoes every selection the controller makes back as a change, as a list
// widget's change signal does, so a reaction while filling would show.
class TFakeView final : public ISettingsView {
public:
    TSettingsController* Controller = nullptr;
    bool FirstRunMode = false;
    bool BitrateVisible = false;
    bool ProxyVisible = false;
    TSettingsPage Page = TSettingsPage::spRecording;
    int PagesShown = 0;
    C Focused = C::scDriver;
    bool FocusSet = false;
    bool Closed = false;
    int Captures = 0;
    bool CaptureFinishes = true;
    std::function<void()> DuringCapture;

    std::string Notice;
    std::string WavFile; // what the file chooser answers
    int WavAsked = 0;

    void SetFirstRunMode(bool On) override { FirstRunMode = On; }
    void SetNotice(const std::string& Text) override { Notice = Text; }
    std::string ChooseWavFile() override
    {
        ++WavAsked;
        return WavFile;
    }
    void SetItems(C, const std::vector<std::string>&) override {}
    void SetSelection(C Control, int Index) override
    {
        if (Controller)
            Controller->Select(Control, Index);
    }
    void SetText(C Control, const std::string& Text) override
    {
        if (Controller)
            Controller->Edit(Control, Text);
    }
    void SetChecked(C Control, bool Checked) override
    {
        if (Controller)
            Controller->Check(Control, Checked);
    }
    void SetBitrateVisible(bool Visible) override { BitrateVisible = Visible; }
    void SetProxyVisible(bool Visible) override { ProxyVisible = Visible; }
    void ShowPage(TSettingsPage P) override
    {
        Page = P;
        ++PagesShown;
    }
    void Focus(C Control) override
    {
        Focused = Control;
        FocusSet = true;
    }
    bool RunNoiseCapture() override
    {
        ++Captures;
        if (DuringCapture)
            DuringCapture();
        return CaptureFinishes;
    }
    void Close() override { Closed = true; }
};

const std::vector<TAudioFormat> kAllFormats = [] {
    std::vector<TAudioFormat> all;
    for (const auto& q : TOptions::Qualities())
        all.push_back({q.SampleRate, q.BitsPerSample, q.Channels});
    return all;
}();

class SettingsControllerTest : public ::testing::Test {
protected:
    test::TTempDir Dir;
    TFakePlatform Platform;
    std::string Ini = Dir.File("kestrune.ini");
    std::unique_ptr<TOptions> Options;
    TFakeView View;
    TScriptedDialogs Dialogs;
    test::TFakeSettingsHost Host;
    test::TFakeBurnDrives Drives;
    test::TFakeFreeDBServers FreeDB;
    std::unique_ptr<TSettingsController> Controller;

    void SetUp() override
    {
        Platform.Formats = kAllFormats;
        Drives.Names = {"Writer A", "Writer B"};
        Drives.SpeedsOf = {{"4x", "12x", "24x"}, {"8x", "16x"}};
        FreeDB.Names.clear();
        Platform.Script = [](TFakeMixer& M) { M.ItemSelected = {false, true, false}; }; // records from Line In
    }
    // Loads the options from Text (no file when Text is empty) and fills the window.
    void Open(const std::string& Text = "[Recordings]\nInputLine=Line In\n", IFreeDBServers* Servers = nullptr)
    {
        if (!Text.empty())
            std::ofstream(Ini) << Text;
        Options = std::make_unique<TOptions>(Ini, Platform, TOptions::TDefaults{Dir.File("Records") + "/"});
        Controller = std::make_unique<TSettingsController>(*Options, View, Dialogs, Host, Drives, Servers);
        View.Controller = Controller.get();
        Controller->Fill();
    }
    std::string FileText() const
    {
        std::ifstream in(Ini);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(SettingsControllerTest, FillsEveryPageWithoutReactingToItsOwnSelections)
{
    FreeDB.Names = {std::string("freedb.example"), std::nullopt, std::string("cddb.example")};
    Open("[Recording]\nDriver=pulse:default\n[Recordings]\nInputLine=Line In\nFormat=WAV\nBitrate=14\n"
         "FormatString=11025 Hz, Stereo, 8-bit\n[CDWriter]\nSpeed=12\nMethod=2\nMode=1\n"
         "[Proxy]\nUse=1\nServer=proxy.lan\nPort=3128\n[Rip]\nReadOpt=2\nReadAct=1\nReadAtt=4\nFreeDBServer=1\n",
         &FreeDB);

    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_FALSE(View.FirstRunMode);
    EXPECT_EQ(View.Page, TSettingsPage::spRecording);
    // Each device's description first, its name after it.
    EXPECT_EQ(Controller->SelectedText(C::scDriver), "Server  (pulse:default)");
    EXPECT_EQ(Controller->Control(C::scQuality).Items.size(), 12u);
    EXPECT_EQ(Controller->SelectedText(C::scQuality), "11025 Hz, Stereo, 8-bit");
    EXPECT_EQ(Controller->SelectedText(C::scLines), "Line In");
    EXPECT_EQ(Controller->SelectedText(C::scFormat), "WAV");
    EXPECT_EQ(Controller->SelectedText(C::scBitrate), "192");
    EXPECT_FALSE(View.BitrateVisible);
    EXPECT_TRUE(View.ProxyVisible);
    EXPECT_EQ(Controller->Control(C::scProxyPort).Text, "3128");
    EXPECT_EQ(Controller->SelectedText(C::scWriteToCD), "Automatically when reach CD capacity");
    EXPECT_EQ(Controller->SelectedText(C::scSpeed), "12x");
    EXPECT_EQ(Controller->SelectedText(C::scMethod), "Disc at Once");
    EXPECT_EQ(Controller->SelectedText(C::scReadMode), "Secure Mode (Double precision ereror correction)");
    EXPECT_EQ(Controller->SelectedText(C::scReadAction), "SILENENCE");
    EXPECT_EQ(Controller->Control(C::scNumReads).Text, "4");
    // An index whose name cannot be read is skipped.
    EXPECT_EQ(Controller->Control(C::scFreeDBServer).Items,
              (std::vector<std::string>{"freedb.example", "cddb.example"}));
    EXPECT_EQ(Controller->SelectedText(C::scFreeDBServer), "cddb.example");
    EXPECT_EQ(Controller->Control(C::scRecognitionServer).Text, TOptions::DefaultRecognitionServer);

    // The echoed selections moved nothing: no line selected on a mixer, no drive changed.
    for (const auto& mixer : Platform.Opened)
        EXPECT_EQ(mixer->SelectorWrites, 0);
    EXPECT_TRUE(Drives.Changes.empty());
}

TEST_F(SettingsControllerTest, MessagesWhileFillingAndTheirFallbacks)
{
    // No capture device at all: said once, in the page, with the stand-ins
    // still offered and none chosen.
    Platform.Devices = {{"virtual:demo", "Demo", true}};
    Open();
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(View.Notice, TSettingsController::NoDeviceNotice);
    EXPECT_EQ(Controller->Control(C::scDriver).Items,
              (std::vector<std::string>{"Demo  (virtual:demo)", TSettingsController::WavFileEntry}));
    EXPECT_EQ(Controller->Control(C::scDriver).Selection, -1);
    EXPECT_TRUE(Controller->Control(C::scQuality).Items.empty());

    // A real device without a mixer: in the page, not in a box.
    Platform.Devices = {{"alsa:plughw:CARD=USB,DEV=0", "USB Audio, USB Audio", false}};
    Platform.Lines.clear();
    Open();
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(View.Notice, TSettingsController::NoMixerNotice);
    EXPECT_EQ(Controller->SelectedText(C::scDriver), "USB Audio, USB Audio  (alsa:plughw:CARD=USB,DEV=0)");

    // A stand-in named by the settings has no lines either, and says why.
    Platform.Devices = {{"virtual:demo", "Demo", true}};
    Open("[Recording]\nDriver=virtual:demo\n");
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(View.Notice, TSettingsController::StandInNotice);

    // No known line: the first is offered; a saved quality the device
    // cannot record falls back to its last one.
    Dialogs.Shown.clear();
    Platform.Devices = {{"alsa:hw:0,0", "Card", false}};
    Platform.Lines = {"Microphone", "CD Audio"};
    Platform.Script = {};
    Platform.Formats = {{11025, 8, 1}, {22050, 16, 1}};
    Open("[Recordings]\nFormatString=44100   Hz, Stereo, 16-bit\n");
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, TDialogKind::dkInformation);
    EXPECT_EQ(Dialogs.Shown[0].Text, "Please select the input line to be used for recording");
    EXPECT_EQ(Controller->SelectedText(C::scLines), "Microphone");
    EXPECT_EQ(Controller->SelectedText(C::scQuality), "22050  Hz, Mono,   16-bit");
    // Without a FreeDB component the public host is the one entry.
    EXPECT_EQ(Controller->Control(C::scFreeDBServer).Items, std::vector<std::string>{"gnudb.gnudb.org"});
}

TEST_F(SettingsControllerTest, FirstRunModeOnlySavesAndCapturesFirst)
{
    Host.First = true;
    Open("");
    Dialogs.Shown.clear(); // the fill's note about the unknown line
    EXPECT_TRUE(View.FirstRunMode);
    Dialogs.Answers = {TDialogResult::drNo}; // not to set up later
    Controller->Cancel();
    Controller->Shortcut(TSettingsFollowUp::sfBurn);
    EXPECT_FALSE(View.Closed);
    EXPECT_FALSE(fs::exists(Ini));
    EXPECT_EQ(Controller->FollowUp(), TSettingsFollowUp::sfNone);
    Dialogs.Shown.clear();

    // The user declines the capture: the save goes on, first-run mode stays.
    Dialogs.Answers = {TDialogResult::drCancel};
    ASSERT_TRUE(Controller->Save());
    EXPECT_EQ(View.Captures, 0);
    ASSERT_FALSE(Dialogs.Shown.empty());
    EXPECT_EQ(Dialogs.Shown[0].Kind, TDialogKind::dkWarning);
    EXPECT_EQ(Dialogs.Shown[0].Buttons, TDialogButtons::dbOKCancel);
    EXPECT_EQ(Dialogs.Shown[0].Text, "In order to capture correctly the noise level of your driver, \r\n"
                                     "please close all the applications that can generate sounds!");
    EXPECT_TRUE(Host.First);
    EXPECT_TRUE(fs::exists(Ini));

    // Next time the capture runs and finishes: first-run mode is over, and
    // the levels it measured reach the file.
    View.Closed = false;
    Dialogs.Shown.clear();
    Open("");
    EXPECT_TRUE(View.FirstRunMode);
    View.DuringCapture = [&] { Options->Level16 = 321; };
    ASSERT_TRUE(Controller->Save());
    EXPECT_EQ(View.Captures, 1);
    EXPECT_FALSE(Host.First);
    EXPECT_EQ(TIniFile(Ini).ReadInteger("Silence", "Level16", 0), 321);

    // A capture that does not finish leaves first-run mode on.
    Host.First = true;
    View.CaptureFinishes = false;
    Open("");
    EXPECT_FALSE(Controller->CaptureNoiseLevel());
    EXPECT_TRUE(Host.First);
}

TEST_F(SettingsControllerTest, FirstStartWithoutADevice)
{
    Host.First = true;
    Platform.Devices = {{"virtual:demo", "Demo", true}};
    Open("");
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(View.Page, TSettingsPage::spRecording); // where the notice is
    EXPECT_EQ(Controller->Control(C::scDriver).Selection, -1);

    // Nothing to measure: the save asks for no capture and ends the setup.
    ASSERT_TRUE(Controller->Save());
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(View.Captures, 0);
    EXPECT_FALSE(Host.First);
    EXPECT_EQ(Options->ChosenDriver(), "");

    // A WAV file as a card: the chooser's answer joins the list before the
    // entry and is what the save keeps; a stand-in is not measured either.
    Host.First = true;
    Open("");
    View.WavFile = "/music/a.wav";
    Controller->Select(C::scDriver, 1);
    EXPECT_EQ(View.WavAsked, 1);
    EXPECT_EQ(Controller->Control(C::scDriver).Items,
              (std::vector<std::string>{"Demo  (virtual:demo)", "WAV file /music/a.wav  (virtual:/music/a.wav)",
                                        TSettingsController::WavFileEntry}));
    EXPECT_EQ(Controller->Control(C::scDriver).Selection, 1);
    EXPECT_EQ(Controller->Control(C::scQuality).Items.size(), 12u);
    EXPECT_EQ(View.Notice, TSettingsController::StandInNotice);
    ASSERT_TRUE(Controller->Save());
    EXPECT_EQ(View.Captures, 0);
    EXPECT_EQ(TIniFile(Ini).ReadString("Recording", "Driver", ""), "virtual:/music/a.wav");
    EXPECT_EQ(Options->ChosenDriver(), "virtual:/music/a.wav");

    // A chooser left without a file puts the selection back.
    fs::remove(Ini);
    Open("");
    Controller->Select(C::scDriver, 0);
    View.WavFile.clear();
    Controller->Select(C::scDriver, 1);
    EXPECT_EQ(Controller->Control(C::scDriver).Selection, 0);
    EXPECT_EQ(Controller->Control(C::scDriver).Items.size(), 2u);
}

TEST_F(SettingsControllerTest, ClosingTheFirstTimeSetupIsAChoiceToSetUpLater)
{
    Host.First = true;
    Open("");
    Dialogs.Shown.clear();
    Dialogs.Answers = {TDialogResult::drNo};
    Controller->Cancel();
    EXPECT_FALSE(View.Closed);
    EXPECT_TRUE(Host.First);
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Text, TSettingsController::SetUpLaterQuestion);
    EXPECT_EQ(Dialogs.Shown[0].Buttons, TDialogButtons::dbYesNo);

    Dialogs.Answers = {TDialogResult::drYes};
    Controller->Cancel();
    EXPECT_TRUE(View.Closed);
    EXPECT_FALSE(Host.First);
    EXPECT_EQ(View.Captures, 0);
    EXPECT_TRUE(fs::exists(Ini)); // the next start begins no setup
    EXPECT_EQ(Dialogs.Shown.size(), 2u);
}

TEST_F(SettingsControllerTest, TheNoiseCaptureMeasuresTheDeviceShown)
{
    Platform.Devices = {{"alsa:a", "Card A", false}, {"alsa:b", "Card B", false}};
    Open("[Recording]\nDriver=alsa:a\n[Recordings]\nInputLine=Line In\n");
    Controller->Select(C::scDriver, 1);
    Controller->Select(C::scLines, 0); // another line: the save measures again
    std::string measured;
    View.DuringCapture = [&] { measured = Options->ChosenDriver(); };
    ASSERT_TRUE(Controller->Save());
    EXPECT_EQ(View.Captures, 1);
    EXPECT_EQ(measured, "alsa:b");
    EXPECT_EQ(TIniFile(Ini).ReadString("Recording", "Driver", ""), "alsa:b");
}

TEST_F(SettingsControllerTest, EachFailingFieldStopsSaveOnItsPageWithNothingWritten)
{
    struct TCase {
        const char* Name;
        std::function<void(TSettingsController&)> Enter;
        const char* Text;
        TSettingsPage Page;
        C Focus;
    };
    const std::vector<TCase> cases{
        // The newly chosen device records none of the qualities.
        {"quality", [](TSettingsController& S) { S.Select(C::scDriver, 1); }, "Please select the output quality",
         TSettingsPage::spRecording, C::scQuality},
        {"silence 1.5", [](TSettingsController& S) { S.Edit(C::scSilence, "1.5"); },
         "Silence length must be an integral value", TSettingsPage::spSplitTracks, C::scSilence},
        {"silence empty", [](TSettingsController& S) { S.Edit(C::scSilence, ""); },
         "Silence length must be an integral value", TSettingsPage::spSplitTracks, C::scSilence},
        {"silence negative", [](TSettingsController& S) { S.Edit(C::scSilence, "-20"); },
         "Silence length must be an integral value", TSettingsPage::spSplitTracks, C::scSilence},
        {"min length", [](TSettingsController& S) { S.Edit(C::scMinLength, "15s"); },
         "Minimum length must be an integral value", TSettingsPage::spSplitTracks, C::scMinLength},
    };
    Platform.FormatsOf["pulse:default"] = {};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove(Ini);
        View.FocusSet = false;
        View.Closed = false;
        Open();
        fs::remove(Ini);
        Dialogs.Shown.clear();
        Controller->Edit(C::scFolder, Dir.File("elsewhere") + "/");
        c.Enter(*Controller);
        EXPECT_FALSE(Controller->Save());
        ASSERT_EQ(Dialogs.Shown.size(), 1u);
        EXPECT_EQ(Dialogs.Shown[0].Kind, TDialogKind::dkWarning);
        EXPECT_EQ(Dialogs.Shown[0].Text, c.Text);
        EXPECT_EQ(View.Page, c.Page);
        EXPECT_TRUE(View.FocusSet);
        EXPECT_EQ(View.Focused, c.Focus);
        EXPECT_FALSE(View.Closed);
        EXPECT_FALSE(fs::exists(Ini));
        // What was assigned before the failing step stays in memory.
        EXPECT_EQ(Options->Folder, Dir.File("elsewhere") + "/");
    }
}

TEST_F(SettingsControllerTest, StepsBeforeAFailureHaveTakenEffect)
{
    Open("[Recordings]\nInputLine=Line In\nAutoRecognize=1\n");
    Controller->Edit(C::scSilence, "2500");
    Controller->Check(C::scRecognize, false);
    Controller->Edit(C::scMinLength, "x");
    EXPECT_FALSE(Controller->Save());
    EXPECT_EQ(Options->SilenceLg, 2500);
    EXPECT_FALSE(Options->AutoRecognize);
    EXPECT_EQ(Host.Applied, 1);
    EXPECT_EQ(FileText().find("2500"), std::string::npos);
}

TEST_F(SettingsControllerTest, GoodInputReachesTheFile)
{
    Open("[Recordings]\nInputLine=Line In\nFormat=MP3\nBitrate=3\nAutoRecognize=0\n");
    Controller->Select(C::scQuality, 0); // "11025 Hz, Mono,   8-bit"
    Controller->Select(C::scFormat, 0);  // WAV: the bit rate stays
    Controller->Edit(C::scSilence, " 2000");
    Controller->Edit(C::scMinLength, "20");
    Controller->Check(C::scRecognize, true);
    Controller->Select(C::scSpeed, 2); // "24x"
    Controller->Select(C::scMethod, 2);
    Controller->Check(C::scUseProxy, true);
    Controller->Edit(C::scProxyServer, "proxy.lan");
    Controller->Edit(C::scProxyPort, "8080.7");
    Controller->Edit(C::scNumReads, "99");
    Controller->Edit(C::scRecognitionKey, " abcKEY ");
    Controller->Edit(C::scRipFolder, Dir.File("rip") + "/");
    ASSERT_TRUE(Controller->Save());
    EXPECT_TRUE(View.Closed);
    EXPECT_EQ(Host.Applied, 1);
    EXPECT_EQ(Host.ServiceChanged, 1);

    const TOptions again(Ini, Platform, TOptions::TDefaults{Dir.File("Records") + "/"});
    EXPECT_EQ(again.FormatString, "11025 Hz, Mono,   8-bit");
    EXPECT_EQ(again.SamplesPerSec, 11025);
    EXPECT_EQ(again.Channels, 1);
    EXPECT_EQ(again.BitsPerSample, 8);
    EXPECT_EQ(again.Format, "WAV");
    EXPECT_EQ(again.Bitrate, 3);
    EXPECT_EQ(again.SilenceLg, 2000);
    EXPECT_EQ(again.MinLength, 20);
    EXPECT_TRUE(again.AutoRecognize);
    EXPECT_EQ(again.WriterSpeed, 24);
    EXPECT_EQ(again.WriterMethod, 3);
    EXPECT_EQ(again.WriterDrive, "Writer A");
    EXPECT_TRUE(again.UseProxy);
    EXPECT_EQ(again.ProxyServer, "proxy.lan");
    EXPECT_EQ(again.ProxyPort, 8080);
    EXPECT_EQ(again.ReadAtt, 10);
    EXPECT_EQ(again.InputLine, "Line In");
    EXPECT_EQ(again.RecognitionKey, "abcKEY");
    EXPECT_EQ(again.RipPath, Dir.File("rip") + "/");
}

TEST_F(SettingsControllerTest, UnchangedQualityTouchesNothingAndSpeedsParse)
{
    struct TCase {
        std::vector<std::vector<std::string>> Speeds;
        int Pick;
        int Saved;
    };
    for (const TCase& c : std::vector<TCase>{{{{"4x", "12x"}}, 1, 12}, {{{}}, -1, 4}, {{{"max"}}, 0, 4}}) {
        Drives.SpeedsOf = c.Speeds;
        Open("[Recording]\nSamplesPerSec=48000\n[Recordings]\nInputLine=Line In\nBitsPerSample=8\n"
             "FormatString=22050  Hz, Stereo, 16-bit\n[CDWriter]\nSpeed=8\n");
        if (c.Pick >= 0)
            Controller->Select(C::scSpeed, c.Pick);
        ASSERT_TRUE(Controller->Save());
        EXPECT_EQ(Options->SamplesPerSec, 48000);
        EXPECT_EQ(Options->BitsPerSample, 8);
        EXPECT_EQ(Options->WriterSpeed, c.Saved);
    }
}

TEST_F(SettingsControllerTest, EmptyListsKeepWhatTheOptionsHold)
{
    // No capture device, no CD writer: the saved device, line and writer
    // survive a save of the other pages.
    Platform.Devices.clear();
    Drives.Names.clear();
    Open("[Recording]\nDriver=usb:card\n[Recordings]\nInputLine=Mic\n[CDWriter]\nDrive=Writer Z\n");
    ASSERT_TRUE(Controller->Save());
    EXPECT_EQ(View.Captures, 0);
    const TIniFile file(Ini);
    EXPECT_EQ(file.ReadString("Recording", "Driver", ""), "usb:card");
    EXPECT_EQ(file.ReadString("Recordings", "InputLine", ""), "Mic");
    EXPECT_EQ(file.ReadString("CDWriter", "Drive", ""), "Writer Z");
}

TEST_F(SettingsControllerTest, AFileThatCannotBeWrittenIsReportedAndTheWindowStays)
{
    std::ofstream(Dir.File("a file")) << "not a folder";
    Ini = Dir.File("a file/kestrune.ini");
    Open("");
    Dialogs.Shown.clear();
    Controller->Select(C::scLines, 1); // the line the options hold: no capture asked
    Options->InputLine = "Line In";
    EXPECT_FALSE(Controller->Save());
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, TDialogKind::dkError);
    EXPECT_EQ(Dialogs.Shown[0].Text.rfind("The settings could not be saved: ", 0), 0u);
    EXPECT_FALSE(View.Closed);
}

TEST_F(SettingsControllerTest, ChosenLineActsOnTheMixerAtOnce)
{
    // Before any capture: the device's mixer is opened for the choice.
    Open();
    Controller->Select(C::scLines, 2);
    ASSERT_NE(Platform.Mixer, nullptr);
    EXPECT_EQ(Platform.OpenedFor, "alsa:hw:0,0");
    EXPECT_EQ(Platform.Mixer->ItemSelected, (std::vector<bool>{false, false, true}));

    // With the capture's mixer open, that one follows; choosing a line sets
    // no volume on it nor on the master.
    Open();
    Options->SetUpMixer(Options->ChosenDriver());
    TFakeMixer* capture = Platform.Mixer;
    Controller->Select(C::scLines, 0);
    EXPECT_EQ(Platform.Mixer, capture);
    EXPECT_EQ(capture->ItemSelected, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(Options->LineIndex, 0);
    EXPECT_EQ(capture->MasterWrites + capture->VolumeWrites, 0);

    // A changed line asks for a new noise capture when saving.
    Dialogs.Answers = {TDialogResult::drOK};
    ASSERT_TRUE(Controller->Save());
    EXPECT_EQ(View.Captures, 1);
    EXPECT_EQ(Options->InputLine, "Microphone");
}

TEST_F(SettingsControllerTest, RecognitionSwitchedOnAndOff)
{
    for (const bool on : {true, false}) {
        Host.Applied = 0;
        Open(std::string("[Recordings]\nInputLine=Line In\nAutoRecognize=") + (on ? "0" : "1") + "\n");
        Controller->Check(C::scRecognize, on);
        ASSERT_TRUE(Controller->Save());
        EXPECT_EQ(Options->AutoRecognize, on);
        EXPECT_EQ(Host.Applied, 1);
    }
    // Unchanged: no call.
    Host.Applied = 0;
    Open();
    ASSERT_TRUE(Controller->Save());
    EXPECT_EQ(Host.Applied, 0);
    EXPECT_EQ(Host.ServiceChanged, 0);
}

TEST_F(SettingsControllerTest, ReactionsOfFormatProxyAndDrives)
{
    Open("[Recordings]\nInputLine=Line In\nFormat=WAV\n");
    // Nothing selected in the bit-rate list: MP3 brings "128".
    Controller->Select(C::scBitrate, -1);
    Controller->Select(C::scFormat, 1);
    EXPECT_TRUE(View.BitrateVisible);
    EXPECT_EQ(Controller->SelectedText(C::scBitrate), "128");
    Controller->Select(C::scFormat, 0);
    EXPECT_FALSE(View.BitrateVisible);

    Controller->Check(C::scUseProxy, true);
    EXPECT_TRUE(View.ProxyVisible);
    Controller->Check(C::scUseProxy, false);
    EXPECT_FALSE(View.ProxyVisible);

    Controller->Select(C::scDrives, 1);
    EXPECT_EQ(Drives.Changes, std::vector<int>{1});
    EXPECT_EQ(Controller->Control(C::scSpeed).Items, (std::vector<std::string>{"8x", "16x"}));
    EXPECT_EQ(Controller->SelectedText(C::scSpeed), "8x");

    // Without a writer the CD Burning page stays shut.
    Drives.Ready = false;
    ASSERT_TRUE(Controller->ChooseTreeEntry(1));
    EXPECT_FALSE(Controller->ChooseTreeEntry(3));
    EXPECT_EQ(Dialogs.Texts().back(), "CD not available");
    EXPECT_EQ(View.Page, TSettingsPage::spSplitTracks);
    // The rip page has its entry too; nothing lies past it.
    EXPECT_TRUE(Controller->ChooseTreeEntry(5));
    EXPECT_EQ(View.Page, TSettingsPage::spRip);
    EXPECT_FALSE(Controller->ChooseTreeEntry(6));
}

TEST_F(SettingsControllerTest, ShortcutsCloseWithoutSaving)
{
    for (const auto next : {TSettingsFollowUp::sfWizard, TSettingsFollowUp::sfBurn, TSettingsFollowUp::sfConvert}) {
        fs::remove(Ini);
        View.Closed = false;
        Open("");
        Controller->Edit(C::scSilence, "777");
        Controller->Shortcut(next);
        EXPECT_TRUE(View.Closed);
        EXPECT_EQ(Controller->FollowUp(), next);
        EXPECT_FALSE(fs::exists(Ini));
        EXPECT_EQ(Options->SilenceLg, 1500);
    }
}

} // namespace
} // namespace kestrune
