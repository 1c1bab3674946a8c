// The PulseAudio backend for real, against a private server with a null
// sink: what is played into the sink is captured from its monitor.
#include "devices/PulseTestServer.h"
#include "devices/TAudioIn.h"
#include "devices/TAudioOut.h"
#include "devices/TDeviceCatalog.h"
#include "formats/TWaveIn.h"
#include "pipeline/EACSException.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace kestrune {
namespace {

using namespace kestrune::test;
using namespace std::chrono;

void OpenMonitor(TAudioIn& In)
{
    In.SetDevice(std::string("pulse:") + TPulseTestServer::Monitor);
    In.SetInSampleRate(44100);
    In.SetInChannels(2);
    In.SetInBitsPerSample(16);
    In.SetRecTime(-1);
    In.OpenInput();
}

std::vector<std::int16_t> Capture(TAudioIn& In, std::size_t Bytes)
{
    std::vector<std::uint8_t> Got(Bytes);
    std::size_t Have = 0;
    while (Have < Bytes) {
        const int N = In.ReadBlock(Got.data() + Have, static_cast<int>(Bytes - Have));
        EXPECT_GT(N, 0);
        if (N <= 0)
            break;
        Have += static_cast<std::size_t>(N);
    }
    Got.resize(Have);
    return AsSamples16(Got);
}

TEST(PulseDevice, ListsTheServersSourcesWithTheMonitor)
{
    TPulseTestServer Server;
    ASSERT_TRUE(Server.Running()) << Server.Error();
    const auto Capture = TDeviceCatalog::CaptureDevices();
    const auto Has = [&](const std::string& Name) {
        return std::any_of(Capture.begin(), Capture.end(), [&](const TDeviceInfo& D) { return D.Name == Name; });
    };
    EXPECT_TRUE(Has("pulse:default"));
    EXPECT_TRUE(Has(std::string("pulse:") + TPulseTestServer::Monitor));
    EXPECT_EQ(TDeviceCatalog::CaptureFormats(std::string("pulse:") + TPulseTestServer::Monitor),
              TDeviceCatalog::QualityFormats());
    // The monitor of the server's default sink ("what I hear") is the one
    // device marked for a first choice.
    std::vector<std::string> preferred;
    for (const TDeviceInfo& D : Capture)
        if (D.Preferred)
            preferred.push_back(D.Name);
    EXPECT_EQ(preferred, std::vector<std::string>{std::string("pulse:") + TPulseTestServer::Monitor});
    const auto Play = TDeviceCatalog::PlaybackDevices();
    EXPECT_TRUE(std::any_of(Play.begin(), Play.end(), [](const TDeviceInfo& D) { return D.Name == "pulse:ksink"; }));
}

TEST(PulseDevice, AToneIntoTheNullSinkIsCapturedFromItsMonitor)
{
    TPulseTestServer Server;
    ASSERT_TRUE(Server.Running()) << Server.Error();
    TTempDir Dir;
    // One second of 440 Hz, the same on both sides.
    const auto Mono = Sine16(44100, 1, 44100, 440.0, 10000);
    std::vector<std::int16_t> Tone;
    for (std::int16_t S : Mono)
        Tone.insert(Tone.end(), {S, S});
    WriteWholeFile(Dir.File("tone.wav"), PcmWavImage(Tone, 2, 44100));

    TAudioIn In;
    OpenMonitor(In);
    TWaveIn Reader;
    Reader.SetFileName(Dir.File("tone.wav"));
    TAudioOut Out;
    // The server's default sink is the null sink: playback goes to the default.
    Out.SetDevice("pulse:default");
    Out.SetInput(&Reader);
    std::string Error;
    Out.OnThreadException = [&](TComponent*, const std::exception& E) { Error = E.what(); };
    Out.Run();
    // Two and a half seconds of what the card plays: the tone is in it.
    const auto Got = Capture(In, 44100 * 4 * 5 / 2);
    In.CloseInput();
    ASSERT_TRUE(Out.WaitForIdle(seconds(10)));
    EXPECT_EQ(Error, "");

    // The loudest half second: the tone's level and pitch.
    const std::size_t Window = 44100 / 2 * 2;
    double Best = 0;
    std::size_t BestAt = 0;
    for (std::size_t At = 0; At + Window <= Got.size(); At += 4410 * 2) {
        double Sum = 0;
        for (std::size_t I = At; I < At + Window; ++I)
            Sum += static_cast<double>(Got[I]) * Got[I];
        if (Sum > Best) {
            Best = Sum;
            BestAt = At;
        }
    }
    EXPECT_NEAR(std::sqrt(Best / Window), 10000 / std::sqrt(2.0), 350);
    int Crossings = 0;
    for (std::size_t I = BestAt; I + 2 < BestAt + Window; I += 2)
        Crossings += (Got[I] < 0) != (Got[I + 2] < 0);
    EXPECT_NEAR(Crossings, 440, 6);
}

TEST(PulseDevice, AServerThatGoesAwayEndsTheCaptureWithAnError)
{
    auto Server = std::make_unique<TPulseTestServer>();
    ASSERT_TRUE(Server->Running()) << Server->Error();
    TAudioIn In;
    In.SetTimeout(2000);
    OpenMonitor(In);
    EXPECT_EQ(Capture(In, 8192).size(), 4096u);
    Server.reset();
    const auto Start = steady_clock::now();
    std::vector<std::uint8_t> Buf(4096);
    EXPECT_THROW(
        {
            // What was captured before the end may still come out first.
            for (int I = 0; I < 1000; ++I)
                In.ReadBlock(Buf.data(), 4096);
        },
        EACSException);
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - Start).count(), 4000);
    In.CloseInput();
}

} // namespace
} // namespace kestrune
