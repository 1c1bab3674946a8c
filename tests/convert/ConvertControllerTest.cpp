#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "convert/TConvertController.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;

namespace {

class TRecordingView final : public IConvertView {
public:
    void SetInFormat(const std::string& Text) override { InFormat = Text; }
    void SetOutFileName(const std::string& Name) override { OutFileName = Name; }
    void ShowStatusBar(bool Visible) override { StatusBar = Visible; }
    void SetGauge(std::int64_t Maximum, std::int64_t Value) override
    {
        GaugeMax = Maximum;
        GaugeValue = Value;
        ++GaugeUpdates;
    }
    void ConversionEnded() override { ++Ended; }

    std::string InFormat = "Choose an input file";
    std::string OutFileName;
    bool StatusBar = false;
    std::int64_t GaugeMax = 0, GaugeValue = 0;
    int GaugeUpdates = 0, Ended = 0;
};

struct TFixture {
    TRecordingView View;
    TPlainDialogs Dialogs;
    TPlainDispatcher Dispatcher;
    TConvertController Controller{View, Dialogs, Dispatcher};

    // Runs the window thread until the conversion is over.
    void Finish() { ASSERT_TRUE(Dispatcher.WaitServing([&] { return !Controller.Converting(); }, 10s)); }
    std::string LastMessage() const { return Dialogs.Shown().empty() ? "" : Dialogs.Shown().back().Text; }
};

} // namespace

TEST(ConvertController, FormatTableFilterAndNames)
{
    TFixture f;
    ASSERT_EQ(f.Controller.Formats().size(), 5u);
    EXPECT_EQ(f.Controller.FileFilter(),
              "All audio(*.wav;*.mp3;*.ogg;*.ape;*.ogg;*.flac)|*.wav;*.mp3;*.ogg;*.ape;*.ogg;*.flac|"
              "Wave (Microsoft) Audio File (*.wav)|*.wav|MP3 Audio File (*.mp3)|*.mp3|Ogg Vorbis Audio File|*.ogg|"
              "Ape File|*.ape|Flac File|*.flac|");

    f.Controller.SetInFileName("/music/song.MP3");
    EXPECT_EQ(f.Controller.InputIndex(), TConvertController::fiMp3);
    EXPECT_EQ(f.View.InFormat, "MP3 Audio File (*.mp3)");
    f.Controller.SetInFileName("/music/song.wma"); // unknown: the last recognised format stays
    EXPECT_EQ(f.Controller.InputIndex(), TConvertController::fiMp3);

    f.Controller.SetInFileName("/music/song.mp3");
    f.Controller.ChooseOutFormat(TConvertController::fiFlac);
    EXPECT_EQ(f.Controller.OutFileName(), "/music/song.flac");
    EXPECT_EQ(f.View.OutFileName, "/music/song.flac");
    f.Controller.ChooseOutFormat(TConvertController::fiOgg); // an existing name keeps its stem
    EXPECT_EQ(f.Controller.OutFileName(), "/music/song.ogg");
}

TEST(ConvertController, ChecksBeforeConvertingInOrder)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Sine16(1000, 1, 8000, 300, 5000), 1, 8000));
    struct TCase {
        std::string In;
        int Format;
        std::string Out;
        std::string Says;
    };
    const TCase cases[] = {
        {"", TConvertController::fiWav, "x.wav", "Input file name missing"},
        {dir.Path().string() + "/", TConvertController::fiWav, "x.wav", "Input file name missing"},
        {dir.File("in.wav"), -1, "x.wav", "Output format missing"},
        {dir.File("in.wav"), TConvertController::fiWav, "", "Output file name missing"},
        {dir.File("in.wav"), TConvertController::fiWav, dir.File("in.wav"),
         "The output file must be different from the input file!"},
        {dir.File("in.wav"), TConvertController::fiWav, dir.Path().string() + "/./in.wav",
         "The output file must be different from the input file!"},
        {dir.File("gone.wav"), TConvertController::fiWav, dir.File("x.wav"), "Input file missing"},
    };
    for (const TCase& c : cases) {
        TFixture f;
        f.Controller.SetInFileName(c.In);
        if (c.Format >= 0)
            f.Controller.ChooseOutFormat(c.Format);
        f.Controller.SetOutFileName(c.Out);
        f.Controller.Convert();
        EXPECT_FALSE(f.Controller.Converting()) << c.Says;
        EXPECT_EQ(f.LastMessage(), c.Says);
    }
    // The input survived every refusal.
    EXPECT_TRUE(std::filesystem::exists(dir.File("in.wav")));
}

TEST(ConvertController, WavToWavWritesFreshPcmAndAsksToListenWhenItCan)
{
    TTempDir dir;
    const auto image = PcmWavImage(Sine16(30000, 2, 22050, 440, 9000), 2, 22050);
    WriteWholeFile(dir.File("in.wav"), image);
    WriteWholeFile(dir.File("out.wav"), {'o', 'l', 'd'});

    TFixture f;
    std::string played;
    f.Controller.SetPlayer([&](TACSFileIn& Result) { played = Result.FileName(); });
    f.Dialogs.Script(TDialogResult::drYes);
    f.Controller.SetInFileName(dir.File("in.wav"));
    f.Controller.ChooseOutFormat(TConvertController::fiWav);
    f.Controller.SetOutFileName(dir.File("out.wav"));
    f.Controller.Convert();
    EXPECT_TRUE(f.Controller.Converting());
    EXPECT_TRUE(f.View.StatusBar);
    f.Finish();

    EXPECT_TRUE(f.Controller.Succeeded());
    EXPECT_FALSE(f.View.StatusBar);
    EXPECT_EQ(ReadWholeFile(dir.File("out.wav")), image);
    EXPECT_EQ(f.LastMessage(), "Conversion completed! Do you want to listen the converted file?");
    EXPECT_EQ(played, dir.File("out.wav"));
    EXPECT_GT(f.View.GaugeUpdates, 0);
    EXPECT_EQ(f.View.GaugeMax, static_cast<std::int64_t>(image.size() - 44));
}

TEST(ConvertController, FailureSaysConversionErrorAndLeavesNoHalfFile)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
    TFixture f;
    f.Controller.SetInFileName(dir.File("in.wav"));
    f.Controller.ChooseOutFormat(TConvertController::fiWav);
    f.Controller.SetOutFileName(dir.File("out.wav"));
    f.Controller.Convert();
    f.Finish();
    EXPECT_FALSE(f.Controller.Succeeded());
    EXPECT_EQ(f.LastMessage(), "Conversion error");
    EXPECT_EQ(f.Dialogs.Shown().back().Kind, TDialogKind::dkWarning);
    EXPECT_NE(f.Controller.LastError().find("Cannot read"), std::string::npos) << f.Controller.LastError();
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav")));
    EXPECT_FALSE(f.View.StatusBar);
}

TEST(ConvertController, CancelEndsWithConversionCanceled)
{
    TTempDir dir;
    // Long enough that the run is still going when Cancel arrives.
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Noise16(44100 * 60, 2, 7), 2, 44100));
    TFixture f;
    f.Controller.SetInFileName(dir.File("in.wav"));
    f.Controller.ChooseOutFormat(TConvertController::fiWav);
    f.Controller.WaveOut1().SetWavType(TWavType::wtDVIADPCM);
    f.Controller.SetOutFileName(dir.File("out.wav"));
    f.Controller.Convert();
    EXPECT_FALSE(f.Controller.Cancel()); // the window stays open
    f.Finish();
    EXPECT_FALSE(f.Controller.Succeeded());
    EXPECT_EQ(f.LastMessage(), "Conversion canceled");
    EXPECT_EQ(f.Dialogs.Shown().back().Kind, TDialogKind::dkInformation);
    EXPECT_TRUE(f.Controller.Cancel()); // nothing running: the window may close
}

TEST(ConvertController, Mp3SourceGoesThroughPrivateTemporaryWav)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Sine16(2 * 44100, 2, 44100, 440, 9000), 2, 44100));
    {
        TFixture f;
        f.Controller.SetInFileName(dir.File("in.wav"));
        f.Controller.ChooseOutFormat(TConvertController::fiMp3);
        f.Controller.Convert();
        f.Finish();
        ASSERT_TRUE(f.Controller.Succeeded()) << f.Controller.LastError();
    }
    TFixture f;
    f.Controller.SetInFileName(dir.File("in.mp3"));
    f.Controller.ChooseOutFormat(TConvertController::fiFlac);
    f.Controller.Convert();
    ASSERT_TRUE(f.Controller.Converting());
    EXPECT_EQ(f.View.GaugeMax, 0); // decoding reports percent only, later
    f.Finish();
    ASSERT_TRUE(f.Controller.Succeeded()) << f.Controller.LastError();
    TFLACIn check;
    check.SetFileName(dir.File("in.flac"));
    check.OpenFile();
    EXPECT_NEAR(static_cast<double>(check.TotalSamples()), 2 * 44100, 1152);
    check.CloseFile();
    // The decoded temporary file went with the conversion.
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
        EXPECT_FALSE(std::filesystem::exists(entry.path() / "temporary conversion file.wav")) << entry.path();
}

TEST(ConvertController, CancelWhileDecodingMp3EncodesNothing)
{
    TTempDir dir;
    WriteWholeFile(dir.File("long.wav"), PcmWavImage(Noise16(44100 * 20, 2, 11), 2, 44100));
    {
        TFixture f;
        f.Controller.SetInFileName(dir.File("long.wav"));
        f.Controller.ChooseOutFormat(TConvertController::fiMp3);
        f.Controller.MP3Out1().SetBitRate(TMP3BitRate::br320);
        f.Controller.Convert();
        f.Finish();
        ASSERT_TRUE(f.Controller.Succeeded()) << f.Controller.LastError();
    }
    TFixture f;
    f.Controller.SetInFileName(dir.File("long.mp3"));
    f.Controller.ChooseOutFormat(TConvertController::fiWav);
    f.Controller.SetOutFileName(dir.File("back.wav"));
    f.Controller.Convert();
    EXPECT_FALSE(f.Controller.Cancel());
    f.Finish();
    EXPECT_EQ(f.LastMessage(), "Conversion canceled");
    EXPECT_FALSE(std::filesystem::exists(dir.File("back.wav")));
}
