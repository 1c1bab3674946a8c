// The ALSA backend for real, without a card: a private ALSA configuration
// whose capture device reads a raw file and whose playback device writes one.
#include "devices/TAudioIn.h"
#include "devices/TAudioOut.h"
#include "devices/TDeviceCatalog.h"
#include "formats/TWaveIn.h"
#include "pipeline/EACSException.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace kestrune {
namespace {

using namespace kestrune::test;

constexpr const char* Config = R"(
pcm.testcap {
    @args [ INFILE ]
    @args.INFILE { type string default "/dev/zero" }
    type plug
    slave {
        pcm {
            type file
            slave { pcm { type null } }
            file "/dev/null"
            infile $INFILE
            format "raw"
        }
        format S16_LE  rate 44100  channels 2
    }
}
pcm.testplay {
    type file
    slave { pcm { type null } }
    file { @func getenv vars [ TEST_PLAY_FILE ] default "/dev/null" }
    format "raw"
}
)";

class AlsaDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Dir = new TTempDir;
        std::ofstream(Dir->File("alsa-test.conf")) << Config;
        // Replaces the whole configuration: hermetic, and no sound server is reached.
        setenv("ALSA_CONFIG_PATH", Dir->File("alsa-test.conf").c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        delete Dir;
        Dir = nullptr;
    }
    static TTempDir* Dir;
};
TTempDir* AlsaDevice::Dir = nullptr;

TEST_F(AlsaDevice, CapturedSamplesAreTheSamplesInTheFile)
{
    const auto Samples = Noise16(44100 * 2, 2, 3, 25000);
    WriteWholeFile(Dir->File("in.raw"), AsBytes(Samples));
    TAudioIn In;
    In.SetDevice("alsa:testcap:INFILE=" + Dir->File("in.raw"));
    In.SetInSampleRate(44100);
    In.SetInChannels(2);
    In.SetInBitsPerSample(16);
    In.SetRecTime(1);
    In.OpenInput();
    EXPECT_EQ(In.Size(), 176400);
    std::vector<std::uint8_t> Got;
    std::vector<std::uint8_t> Buf(16384);
    for (int N; (N = In.ReadBlock(Buf.data(), 16384)) > 0;) {
        ASSERT_LE(N, 4096);
        Got.insert(Got.end(), Buf.begin(), Buf.begin() + N);
    }
    In.CloseInput();
    const auto File = AsBytes(Samples);
    ASSERT_EQ(Got.size(), 176400u);
    EXPECT_TRUE(std::equal(Got.begin(), Got.end(), File.begin()));
}

TEST_F(AlsaDevice, FormatsComeFromTheDevicesCapabilities)
{
    // The plug layer takes every format of the quality list.
    EXPECT_EQ(TDeviceCatalog::CaptureFormats("alsa:testcap"), TDeviceCatalog::QualityFormats());
    // The bare file device (no plug) has no rate or format of its own fixed,
    // but a device that does not exist accepts nothing.
    EXPECT_TRUE(TDeviceCatalog::CaptureFormats("alsa:nosuchdevice").empty());

    // What the plug converts is really delivered: 22050 Hz mono 8-bit.
    WriteWholeFile(Dir->File("tone.raw"), AsBytes(Sine16(44100 * 2, 2, 44100, 500.0, 20000)));
    TAudioIn In;
    In.SetDevice("alsa:testcap:INFILE=" + Dir->File("tone.raw"));
    In.SetInSampleRate(22050);
    In.SetInChannels(1);
    In.SetInBitsPerSample(8);
    In.SetRecTime(1);
    In.OpenInput();
    std::vector<std::uint8_t> Got(22050);
    std::size_t Have = 0;
    for (int N; (N = In.ReadBlock(Got.data() + Have, static_cast<int>(Got.size() - Have))) > 0;)
        Have += static_cast<std::size_t>(N);
    In.CloseInput();
    EXPECT_EQ(Have, 22050u);
    int Loud = 0;
    for (std::uint8_t V : Got)
        Loud += std::abs(V - 128) > 20;
    EXPECT_GT(Loud, 5000) << "the tone came through";
}

TEST_F(AlsaDevice, PlaysAFileIntoTheDevice)
{
    const auto Samples = Noise16(30000, 2, 5, 20000);
    WriteWholeFile(Dir->File("play.wav"), PcmWavImage(Samples, 2, 44100));
    setenv("TEST_PLAY_FILE", Dir->File("played.raw").c_str(), 1);
    TWaveIn Reader;
    Reader.SetFileName(Dir->File("play.wav"));
    TAudioOut Out;
    Out.SetDevice("alsa:testplay");
    Out.SetInput(&Reader);
    std::atomic<int> Done{0};
    std::string Error;
    Out.OnDone = [&](TComponent*) { ++Done; };
    Out.OnThreadException = [&](TComponent*, const std::exception& E) { Error = E.what(); };
    Out.Run();
    ASSERT_TRUE(Out.WaitForIdle(std::chrono::seconds(20)));
    EXPECT_EQ(Done.load(), 1) << Error;
    const auto Played = ReadWholeFile(Dir->File("played.raw"));
    const auto Want = AsBytes(Samples);
    // The device may pad with silence while it drains: compare the prefix.
    ASSERT_GE(Played.size(), Want.size());
    EXPECT_TRUE(std::equal(Want.begin(), Want.end(), Played.begin()));
}

TEST_F(AlsaDevice, ADeviceThatCannotBeOpenedFailsWithItsName)
{
    TAudioIn In;
    In.SetDevice("alsa:nosuchdevice");
    try {
        In.OpenInput();
        FAIL() << "opened";
    } catch (const EACSException& E) {
        EXPECT_NE(std::string(E.what()).find("alsa:nosuchdevice"), std::string::npos) << E.what();
    }
    EXPECT_FALSE(In.Busy());

    // The same on the playing side, reported through the output's event.
    TFakeInput Src({44100, 16, 2}, std::vector<std::uint8_t>(4096), 4096);
    TAudioOut Out;
    Out.SetDevice("alsa:nosuchdevice");
    Out.SetInput(&Src);
    std::string Error;
    Out.OnThreadException = [&](TComponent*, const std::exception& E) { Error = E.what(); };
    Out.Run();
    ASSERT_TRUE(Out.WaitForIdle(std::chrono::seconds(5)));
    EXPECT_NE(Error.find("alsa:nosuchdevice"), std::string::npos) << Error;
    EXPECT_EQ(Src.Opens.load(), Src.Closes.load()) << "the input is closed again";
}

} // namespace
} // namespace kestrune
