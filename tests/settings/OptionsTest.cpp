// The options store over an explicit ini file, with scripted devices and mixer.
#include "settings/TIniFile.h"
#include "settings/TOptions.h"

#include "devices/TFakeMixer.h"
#include "mocks/TFakeOptionsPlatform.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kestrune {
namespace {

namespace fs = std::filesystem;

using test::TFakePlatform;

class OptionsTest : public ::testing::Test {
protected:
    test::TTempDir Dir;
    TFakePlatform Platform;
    std::string Ini = Dir.File("kestrune.ini");

    void WriteIni(const std::string& Text) { std::ofstream(Ini) << Text; }
    std::unique_ptr<TOptions> Load()
    {
        return std::make_unique<TOptions>(Ini, Platform, TOptions::TDefaults{Dir.File("Records") + "/"});
    }
    // Loads, and sets up the mixer of the chosen device as a capture start does.
    std::unique_ptr<TOptions> LoadForCapture()
    {
        auto o = Load();
        o->SetUpMixer(o->ChosenDriver());
        return o;
    }
};

TEST_F(OptionsTest, WithoutFileEveryFieldHasItsDefault)
{
    const auto o = Load();
    EXPECT_EQ(o->IniFileName, Ini);
    EXPECT_EQ(o->Folder, Dir.File("Records") + "/");
    EXPECT_TRUE(fs::is_directory(Dir.File("Records")));
    EXPECT_FALSE(fs::exists(Ini)); // nothing is written except by Save
    EXPECT_EQ(o->Driver, "");
    EXPECT_EQ(o->InputLine, "");
    EXPECT_EQ(o->FormatString, "44100   Hz, Stereo, 16-bit");
    EXPECT_EQ(o->SamplesPerSec, 44100);
    EXPECT_EQ(o->BitsPerSample, 16);
    EXPECT_EQ(o->Channels, 2);
    EXPECT_EQ(o->Format, "MP3");
    EXPECT_EQ(o->Bitrate, 11);
    EXPECT_TRUE(o->AutoRecognize);
    EXPECT_EQ(o->SilenceLg, 1500);
    EXPECT_EQ(o->MinLength, 15);
    EXPECT_EQ(o->Level8, 10);
    EXPECT_EQ(o->Level16, 1500);
    EXPECT_EQ(o->WriterMode, 0);
    EXPECT_EQ(o->WriterDrive, "");
    EXPECT_EQ(o->WriterSpeed, 4);
    EXPECT_TRUE(o->CloseAtEnd);
    EXPECT_EQ(o->WriterMethod, 1);
    EXPECT_FALSE(o->UseProxy);
    EXPECT_EQ(o->ProxyServer, "");
    EXPECT_EQ(o->ProxyPort, 0);
    EXPECT_EQ(o->RipPath, Dir.File("Records") + "/Rip/"); // beside the recordings
    EXPECT_EQ(o->ReadOpt, 0);
    EXPECT_EQ(o->ReadAtt, 1);
    EXPECT_EQ(o->ReadAct, 0);
    EXPECT_EQ(o->FreeDBServer, 0);
    EXPECT_EQ(o->FreeDBPort, 80);
    EXPECT_EQ(o->RecognitionServer, "https://api.acoustid.org/v2/lookup");
    EXPECT_EQ(o->RecognitionKey, "");
    EXPECT_EQ(o->PlaybackDriver, "");
    EXPECT_EQ(o->RipEmail, "");
    EXPECT_EQ(o->ImagePath, "");
    EXPECT_EQ(o->ImageMinutes, 80);
    EXPECT_EQ(o->ImageCuePath(), Dir.File("Records") + "/CD image.cue");
    EXPECT_EQ(o->DriverIndex, 0);
    EXPECT_EQ(o->DriverNames, (std::vector<std::string>{"alsa:hw:0,0", "pulse:default", "virtual:demo"}));
}

TEST_F(OptionsTest, ReadingRules)
{
    WriteIni("[Recording]\nSamplesPerSec=44100\n"
             "[Recordings]\nSamplesPerSec=11025\nAutoRecognize=0\nBitrate=0x10\nChannels=abc\nFormat=WAV\n"
             "[CDWriter]\nCloseAtEnd=5\nSpeed= 8 \n"
             "[Proxy]\nUse=0X1\nPort=-1\n"
             "[silence]\nsilencelg=-5\nMinLength=0x7FFFFFFF\nLevel16=99999\n"
             "[Recordings]\nBitsPerSample=0\n");
    const auto o = Load();
    EXPECT_EQ(o->SamplesPerSec, 44100); // from "Recording", not "Recordings"
    EXPECT_FALSE(o->AutoRecognize);
    EXPECT_EQ(o->Bitrate, 16);  // hexadecimal
    EXPECT_EQ(o->Channels, 2);  // not an integer: the default
    EXPECT_TRUE(o->CloseAtEnd); // 5 is true
    EXPECT_EQ(o->WriterSpeed, 8);
    EXPECT_TRUE(o->UseProxy);
    EXPECT_EQ(o->ProxyPort, 0);    // out of range
    EXPECT_EQ(o->SilenceLg, 1500); // a negative length, section and key in any case
    EXPECT_EQ(o->MinLength, 0x7FFFFFFF);
    EXPECT_EQ(o->Level16, 1500);
    EXPECT_EQ(o->BitsPerSample, 16); // 0 bits, in a second section of the same name
}

TEST_F(OptionsTest, MonoIsStereoForMp3)
{
    for (const auto& [format, channels] : {std::pair{"MP3", 2}, std::pair{"WAV", 1}, std::pair{"mp3", 2}}) {
        WriteIni(std::string("[Recordings]\nChannels=1\nFormat=") + format + "\n");
        EXPECT_EQ(Load()->Channels, channels) << format;
    }
}

TEST_F(OptionsTest, CaptureDeviceChoice)
{
    Platform.Devices = {{"alsa:a", "", false}, {"alsa:b", "", false}, {"alsa:c", "", false}};
    WriteIni("[Recording]\nDriver=alsa:b\n");
    auto o = Load();
    EXPECT_EQ(o->DriverIndex, 1);
    EXPECT_EQ(o->DriverNames.size(), 3u);
    EXPECT_EQ(o->ChosenDriver(), "alsa:b");

    WriteIni("[Recording]\nDriver=ALSA:b\n"); // names compare exactly
    EXPECT_EQ(Load()->DriverIndex, 0);

    // Stand-ins are never chosen by themselves, but one that is named is.
    Platform.Devices = {{"virtual:demo", "", true}};
    for (const char* text : {"", "[Recording]\nDriver=alsa:gone\n"}) {
        WriteIni(text);
        o = Load();
        EXPECT_EQ(o->DriverIndex, -1) << text;
        EXPECT_EQ(o->ChosenDriver(), "") << text;
    }
    WriteIni("[Recording]\nDriver=virtual:demo\n");
    EXPECT_EQ(Load()->ChosenDriver(), "virtual:demo");
    WriteIni("[Recording]\nDriver=virtual:/music/a.wav\n");
    o = LoadForCapture();
    EXPECT_EQ(o->DriverNames, (std::vector<std::string>{"virtual:demo", "virtual:/music/a.wav"}));
    EXPECT_EQ(o->DriverIndex, 1);
    EXPECT_EQ(o->Mixer, nullptr);
    EXPECT_EQ(o->LineIndex, -1);

    // Without a saved device the first real one, wherever the list puts it.
    Platform.Devices = {{"virtual:demo", "", true}, {"alsa:late", "", false}};
    WriteIni("");
    EXPECT_EQ(Load()->ChosenDriver(), "alsa:late");

    // A sound server that answers: its monitor of the default sink records
    // what the user hears and comes before the first device; a saved device
    // still wins, and a stand-in is never preferred.
    Platform.Devices = {{"alsa:hw:0,0", "Card", false},
                        {"pulse:default", "Server", false},
                        {"pulse:sink.monitor", "Monitor of Sink", false, true}};
    WriteIni("");
    EXPECT_EQ(Load()->ChosenDriver(), "pulse:sink.monitor");
    WriteIni("[Recording]\nDriver=alsa:hw:0,0\n");
    EXPECT_EQ(Load()->ChosenDriver(), "alsa:hw:0,0");
    Platform.Devices = {{"virtual:demo", "Demo", true, true}, {"alsa:hw:0,0", "Card", false}};
    WriteIni("");
    o = Load();
    EXPECT_EQ(o->ChosenDriver(), "alsa:hw:0,0");
    EXPECT_EQ(o->DriverDescriptions, (std::vector<std::string>{"Demo", "Card"}));

    Platform.Devices.clear();
    WriteIni("");
    o = Load();
    EXPECT_EQ(o->DriverIndex, -1);
    EXPECT_TRUE(o->DriverNames.empty());
}

TEST(OptionsKeywords, KeywordRule)
{
    struct TCase {
        std::vector<std::string> Lines;
        int Expected;
    };
    const TCase cases[] = {
        {{"Microphone", "Line In", "Wave Out Mix"}, 2},
        {{"Line In", "Mono Out"}, 1},
        {{"CD Audio", "Microphone"}, -1},
        {{"Microphone", "Stereo Mix", "Monitor of Null Output"}, 2}, // the playback mix first
        {{"Mono Mix", "Line In", "Stereo"}, 2},                      // mono only as a last resort
        {{"Mono Mix", "Mono Out", "Line In"}, 1},                    // the last mono candidate
        {{"Aux", "Recording Master"}, 1},
        {{}, -1},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TOptions::KeywordLine(c.Lines), c.Expected) << ::testing::PrintToString(c.Lines);
}

TEST_F(OptionsTest, RecordingLineChoice)
{
    struct TCase {
        std::vector<std::string> Lines;
        std::vector<bool> Selected;
        std::string InputLine;
        int LineIndex;
        std::vector<bool> SelectedAfter;
    };
    const TCase cases[] = {
        // The mixer already records from the saved line.
        {{"Microphone", "Line In", "Stereo Mix"}, {false, true, false}, "Line In", 1, {false, true, false}},
        // The saved line, in another case, is selected.
        {{"Microphone", "Line In", "Stereo Mix"}, {true, false, false}, "line in", 1, {false, true, false}},
        // No saved line: the keyword rule, and the mixer keeps its selection.
        {{"Microphone", "Line In", "Stereo Mix"}, {true, false, false}, "", 2, {true, false, false}},
        {{"Microphone", "Line In", "Stereo Mix"}, {true, false, false}, "Gone", 2, {true, false, false}},
        {{"CD Audio", "Microphone"}, {true, false}, "", -1, {true, false}},
        // Nothing selected and no saved line: still the keyword rule.
        {{"Microphone", "Wave Out Mix"}, {false, false}, "", 1, {false, false}},
    };
    for (const TCase& c : cases) {
        Platform.Lines = c.Lines;
        Platform.Script = [&](TFakeMixer& M) { M.ItemSelected = c.Selected; };
        WriteIni("[Recordings]\nInputLine=" + c.InputLine + "\n");
        const auto o = LoadForCapture();
        EXPECT_EQ(o->LineNames, c.Lines);
        EXPECT_EQ(o->LineIndex, c.LineIndex) << c.InputLine;
        EXPECT_EQ(Platform.Mixer->ItemSelected, c.SelectedAfter) << c.InputLine;
    }
}

// The desktop's volumes are the user's: setting up a capture selects the
// line to record from and sets no volume, whatever the master volume reads.
TEST_F(OptionsTest, CaptureSetUpLeavesEveryVolumeAlone)
{
    struct TCase {
        std::uint16_t Master;
        bool Readable;
        std::uint16_t LineVolume;
    };
    const TCase cases[] = {{65535, true, 65535}, {50000, true, 1000}, {10000, true, 30000}, {12345, false, 0}};
    Platform.Lines = {"Microphone", "Line In", "Stereo Mix"};
    for (const TCase& c : cases) {
        Platform.Script = [&](TFakeMixer& M) {
            M.Master = c.Master;
            M.MasterReadFails = !c.Readable;
            for (TFakeMixer::TLine& line : M.Lines)
                line.Volume = {c.LineVolume, c.LineVolume};
            M.ItemSelected = {true, false, false};
        };
        WriteIni("[Recordings]\nInputLine=Stereo Mix\n");
        const auto o = LoadForCapture();
        TFakeMixer& mixer = *Platform.Mixer;
        ASSERT_EQ(o->LineIndex, 2) << c.Master;
        EXPECT_EQ(mixer.ItemSelected, (std::vector<bool>{false, false, true})) << c.Master; // the line is chosen
        EXPECT_EQ(mixer.MasterWrites, 0) << c.Master;
        EXPECT_EQ(mixer.VolumeWrites, 0) << c.Master;
        EXPECT_EQ(mixer.Master, c.Master);
        for (std::size_t line = 0; line < 3; ++line)
            EXPECT_EQ(mixer.LineVolume(line), (std::vector<std::uint16_t>{c.LineVolume, c.LineVolume})) << c.Master;
    }
}

// Loading and saving the settings change nothing on the sound card; the
// mixer is set when a capture starts, on the device that capture uses.
TEST_F(OptionsTest, MixerIsSetUpOnlyWhenACaptureStarts)
{
    Platform.Lines = {"Microphone", "Line In", "Stereo Mix"};
    Platform.Script = [](TFakeMixer& M) {
        M.Master = 60000;
        M.ItemSelected = {true, false, false};
    };
    WriteIni("[Recordings]\nInputLine=Line In\n");
    auto o = Load();
    o->Save();
    EXPECT_EQ(Platform.OpenedFor, "");
    EXPECT_EQ(o->Mixer, nullptr);
    EXPECT_EQ(o->LineIndex, -1);

    // The settings window's list: read from the mixer, nothing set on it.
    const TOptions::TLineChoice lines = o->ListLines("pulse:default");
    EXPECT_EQ(lines.Names, Platform.Lines);
    EXPECT_EQ(lines.Index, 1);
    ASSERT_EQ(Platform.Opened.size(), 1u);
    const TFakeMixer& listed = *Platform.Opened[0];
    EXPECT_EQ(listed.MasterWrites + listed.VolumeWrites + listed.SelectorWrites, 0);
    EXPECT_EQ(o->ListLines("virtual:demo").Names, std::vector<std::string>{});

    // The capture's own device, not the saved one.
    o->SetUpMixer("pulse:default");
    EXPECT_EQ(Platform.OpenedFor, "pulse:default");
    ASSERT_EQ(Platform.Opened.size(), 2u);
    TFakeMixer& used = *Platform.Opened[1];
    EXPECT_EQ(o->LineIndex, 1);
    EXPECT_EQ(used.ItemSelected, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(used.MasterValue(), 60000);
    EXPECT_EQ(used.MasterWrites + used.VolumeWrites, 0);

    // Another capture on a device without a mixer closes the one before.
    o->SetUpMixer("virtual:demo");
    EXPECT_EQ(o->Mixer, nullptr);
    EXPECT_TRUE(o->LineNames.empty());
    EXPECT_EQ(o->LineIndex, -1);
}

TEST_F(OptionsTest, ListFormatsFromTheDevice)
{
    Platform.Formats = {{44100, 16, 2}, {11025, 8, 1}, {22050, 16, 1}, {48000, 16, 2}, {44100, 24, 2}};
    const auto o = Load();
    std::vector<std::string> list{"old"};
    o->ListFormats(0, list);
    EXPECT_EQ(list, (std::vector<std::string>{"11025 Hz, Mono,   8-bit", "22050  Hz, Mono,   16-bit",
                                              "44100   Hz, Stereo, 16-bit"}));
    o->ListFormats(9, list);
    EXPECT_TRUE(list.empty());
}

TEST_F(OptionsTest, SaveWritesEveryFieldInOrderAndReadsBack)
{
    auto o = Load();
    o->Folder = "/music/rec/";
    o->Driver = "alsa:hw:0,0";
    o->InputLine = "  Line In";
    o->Level16 = 2345;
    o->RecognitionKey = "k3y";
    o->RipEmail = "me@example.org";
    o->Save();
    EXPECT_EQ(test::ReadWholeFile(Ini).size(), TIniFile(Ini).Text().size());
    EXPECT_EQ(TIniFile(Ini).Text(),
              "[General]\nFolder=/music/rec/\n"
              "[Recording]\nDriver=alsa:hw:0,0\nSamplesPerSec=44100\n"
              "[Recordings]\nInputLine=\"  Line In\"\nBitsPerSample=16\nChannels=2\n"
              "FormatString=44100   Hz, Stereo, 16-bit\nFormat=MP3\nBitrate=11\nAutoRecognize=1\n"
              "[Silence]\nSilenceLg=1500\nMinLength=15\nLevel8=10\nLevel16=2345\n"
              "[CDWriter]\nMode=0\nDrive=\nSpeed=4\nCloseAtEnd=1\nMethod=1\nImagePath=\nImageMinutes=80\n"
              "[Proxy]\nUse=0\nServer=\nPort=0\n"
              "[Rip]\nPath=" +
                  Dir.File("Records") +
                  "/Rip/\nReadOpt=0\nReadAtt=1\nReadAct=0\nFreeDBServer=0\n"
                  "FreeDBPort=80\nEmail=me@example.org\n"
                  "[Recognition]\nServer=https://api.acoustid.org/v2/lookup\nKey=k3y\n"
                  "[Playback]\nDriver=\n");
    o.reset();
    o = Load();
    EXPECT_EQ(o->Folder, "/music/rec/");
    EXPECT_EQ(o->InputLine, "  Line In");
    EXPECT_EQ(o->Level16, 2345);
    EXPECT_EQ(o->RipEmail, "me@example.org");
    // Only the settings file is left in the folder: the new file replaced it.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(Dir.Path()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
}

TEST_F(OptionsTest, SaveKeepsWhatItDoesNotKnowAndUpdatesInPlace)
{
    WriteIni("; my settings\n[Extra]\nmine=1\n[Silence]\n; quiet\nminlength=3\n");
    auto o = Load();
    o->MinLength = 9;
    o->Save();
    const std::string text = TIniFile(Ini).Text();
    EXPECT_EQ(text.rfind("; my settings\n[Extra]\nmine=1\n[Silence]\n; quiet\nMinLength=9\nSilenceLg=1500\n", 0), 0u)
        << text;
}

TEST_F(OptionsTest, SaveThatCannotWriteRaisesAndKeepsTheOldFile)
{
    const auto o = std::make_unique<TOptions>("/proc/kestrune-no/kestrune.ini", Platform,
                                              TOptions::TDefaults{Dir.File("Records") + "/"});
    EXPECT_THROW(o->Save(), std::runtime_error);
}

TEST(IniFile, Reading)
{
    const TIniFile ini = TIniFile::FromText("\xEF\xBB\xBF[A]\r\nk=first\r\nK=second\r\n n = \" spaced \" \r\n"
                                            "broken\n=novalue\n[b\n[ B ]\nx=0x\ny=0xFFFFFFFF\nz=2147483648\n"
                                            "w=-2147483648\nv=0x123456789\n");
    EXPECT_EQ(ini.ReadString("a", "K", ""), "first");
    EXPECT_EQ(ini.ReadString("A", "n", ""), " spaced ");
    EXPECT_TRUE(ini.SectionExists("b"));
    EXPECT_EQ(ini.ReadInteger("B", "x", 7), 7);
    EXPECT_EQ(ini.ReadInteger("B", "y", 7), -1);
    EXPECT_EQ(ini.ReadInteger("B", "z", 7), 7);
    EXPECT_EQ(ini.ReadInteger("B", "w", 7), -2147483647 - 1);
    EXPECT_EQ(ini.ReadInteger("B", "v", 7), 7);
    EXPECT_FALSE(ini.ValueExists("A", "broken"));
}

TEST(IniFile, WrittenValuesReadBack)
{
    TIniFile ini = TIniFile::FromText("[S]\nk=1\n");
    for (const std::string value : {"plain", " lead", "trail ", "\"quoted\"", "", "a=b;c", "[x]"}) {
        ini.WriteString("S", "k", value);
        EXPECT_EQ(TIniFile::FromText(ini.Text()).ReadString("S", "k", "?"), value);
    }
    // A second byte-order mark is text of the first line, also after writing.
    TIniFile marked = TIniFile::FromText("\xEF\xBB\xBF\xEF\xBB\xBF[S]\nk=1\n");
    EXPECT_FALSE(marked.SectionExists("S"));
    marked.WriteString("T", "k", "2");
    EXPECT_FALSE(TIniFile::FromText(marked.Text()).SectionExists("S"));

    ini.WriteString("S", "k", "two\nlines");
    EXPECT_EQ(TIniFile::FromText(ini.Text()).ReadString("S", "k", "?"), "two lines");
}

} // namespace
} // namespace kestrune
