// The virtual sound card, the sample converter, the catalog's lists and the
// rules TAudioIn and TAudioOut keep whatever the device.
#include "devices/TAudioIn.h"
#include "devices/TAudioOut.h"
#include "devices/TDeviceCatalog.h"
#include "devices/TSampleConverter.h"
#include "devices/TVirtualBackend.h"
#include "formats/TWaveIn.h"
#include "formats/TWaveOut.h"
#include "pipeline/EACSException.h"
#include "pipeline/TNULLOut.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace kestrune {
namespace {

using namespace kestrune::test;
using namespace std::chrono;

// Reads an input to its end (or Limit bytes), checking the 4096-byte cap.
std::vector<std::uint8_t> Drain(TACSInput& In, std::size_t Limit = SIZE_MAX)
{
    std::vector<std::uint8_t> All;
    std::vector<std::uint8_t> Buf(16384);
    while (All.size() < Limit) {
        const int Want = static_cast<int>(std::min<std::size_t>(Buf.size(), Limit - All.size()));
        const int N = In.ReadBlock(Buf.data(), Want);
        EXPECT_LE(N, TAudioIn::BufferSize);
        if (N <= 0)
            break;
        All.insert(All.end(), Buf.begin(), Buf.begin() + N);
    }
    return All;
}

class VirtualDevice : public ::testing::Test {
protected:
    // A 44100 Hz stereo 16-bit file of noise: every sample differs, so any
    // lost, repeated or shifted byte shows.
    std::string MakeFile(int Frames, const std::string& Name = "in.wav")
    {
        Samples = Noise16(Frames, 2, 7, 20000);
        std::string F = Dir.File(Name);
        WriteWholeFile(F, PcmWavImage(Samples, 2, 44100));
        return F;
    }

    static void Use(TAudioIn& In, const std::string& File, TAudioFormat F, int RecTime = -1)
    {
        In.SetDevice("virtual:" + File);
        In.SetRealTime(false);
        In.SetInSampleRate(F.SampleRate);
        In.SetInChannels(F.Channels);
        In.SetInBitsPerSample(F.BitsPerSample);
        In.SetRecTime(RecTime);
    }

    TTempDir Dir;
    std::vector<std::int16_t> Samples;
};

TEST_F(VirtualDevice, FileInItsOwnFormatComesOutExactlyAndTheEndEndsTheCapture)
{
    const std::string F = MakeFile(30000);
    TAudioIn In;
    EXPECT_EQ(In.Size(), -1);
    Use(In, F, {44100, 16, 2});
    In.OpenInput();
    EXPECT_LT(In.Size(), 0) << "RecTime -1 sets no limit";
    const auto Got = Drain(In);
    EXPECT_EQ(Got, AsBytes(Samples));
    EXPECT_TRUE(In.EndOfCapture());
    EXPECT_EQ(In.ReadBlock(nullptr, 0), 0);
    In.CloseInput();

    // A device at its end stays there, as a finished tape would, until it
    // is chosen anew.
    In.OpenInput();
    EXPECT_FALSE(In.EndOfCapture());
    EXPECT_TRUE(Drain(In).empty());
    EXPECT_TRUE(In.EndOfCapture());
    In.CloseInput();
    In.SetDevice("virtual:demo");
    Use(In, F, {44100, 16, 2});
    In.OpenInput();
    EXPECT_EQ(Drain(In, 4096).size(), 4096u);
    In.CloseInput();
}

TEST_F(VirtualDevice, KeepsItsPlaceWhenClosedAndOpenedBetweenTracks)
{
    const std::string F = MakeFile(20000);
    const auto File = AsBytes(Samples);
    TAudioIn In;
    Use(In, F, {44100, 16, 2});
    // Three "tracks" of odd lengths, then the rest. Each goes on where the
    // last device buffer taken ended: the unread rest of that buffer is the
    // audio between two runs, which is not recorded.
    std::size_t Start = 0;
    for (std::size_t Track : {std::size_t{10002}, std::size_t{4}, std::size_t{33336}, std::size_t{SIZE_MAX}}) {
        In.OpenInput();
        const auto Part = Drain(In, Track);
        In.CloseInput();
        const std::size_t Len = std::min(Track, File.size() - Start);
        ASSERT_EQ(Part.size(), Len);
        EXPECT_TRUE(std::equal(Part.begin(), Part.end(), File.begin() + static_cast<long>(Start))) << Start;
        Start += (Len + 4095) / 4096 * 4096;
    }
    EXPECT_GE(Start, File.size());
}

// The place in the file is the capture's own, not the process's: another
// capture of the same file, and a capture after the device was renamed,
// start at the beginning.
TEST_F(VirtualDevice, EachCaptureHasItsOwnPlace)
{
    const std::string F = MakeFile(10000);
    const auto File = AsBytes(Samples);
    TAudioIn First;
    Use(First, F, {44100, 16, 2});
    First.OpenInput();
    Drain(First, 8192);
    First.CloseInput();

    TAudioIn Second;
    Use(Second, F, {44100, 16, 2});
    Second.OpenInput();
    const auto Head = Drain(Second, 4096);
    Second.CloseInput();
    ASSERT_EQ(Head.size(), 4096u);
    EXPECT_TRUE(std::equal(Head.begin(), Head.end(), File.begin()));

    First.SetDevice("virtual:demo");
    Use(First, F, {44100, 16, 2});
    First.OpenInput();
    EXPECT_EQ(Drain(First).size(), File.size()) << "the whole file again";
    First.CloseInput();
}

TEST_F(VirtualDevice, RecTimeGivesSizeAndEndsTheReadsExactly)
{
    TAudioIn In;
    In.SetDevice("virtual:demo");
    In.SetRealTime(false);
    In.SetInBitsPerSample(8);
    In.SetInChannels(1);
    In.SetInSampleRate(22050);
    In.SetRecTime(20);
    EXPECT_EQ(In.TotalTime(), 20);
    In.OpenInput();
    EXPECT_EQ(In.Size(), 441000);
    std::vector<std::uint8_t> Buf(16384);
    EXPECT_EQ(In.ReadBlock(Buf.data(), 16384), 4096) << "one device buffer at most";
    EXPECT_EQ(Drain(In).size(), 441000u - 4096u);
    EXPECT_EQ(In.Position(), 441000);
    EXPECT_FALSE(In.EndOfCapture()) << "the time ran out, not the device";
    In.CloseInput();
}

TEST_F(VirtualDevice, ComponentRulesAndTexts)
{
    TAudioIn In;
    std::vector<std::uint8_t> Buf(64);
    const auto Message = [](auto&& F) {
        try {
            F();
        } catch (const EACSException& E) {
            return std::string(E.what());
        }
        return std::string("(nothing raised)");
    };
    EXPECT_EQ(Message([&] { In.ReadBlock(Buf.data(), 64); }), "The Stream is not opened");
    const int Count = TDeviceCatalog::CaptureDeviceCount();
    EXPECT_EQ(Message([&] { In.SetBaseChannel(Count); }), "Channel " + std::to_string(Count) + " is not available");
    EXPECT_NO_THROW(In.SetBaseChannel(Count - 1));
    // The last entry is a stand-in: it is used only when named.
    EXPECT_EQ(Message([&] { In.OpenInput(); }), "No input driver available!");
    EXPECT_FALSE(In.Busy());
    Use(In, MakeFile(1000), {44100, 16, 2});
    In.OpenInput();
    EXPECT_EQ(Message([&] { In.OpenInput(); }), "The component is buisy");
    EXPECT_EQ(Message([&] { In.SetBaseChannel(0); }), "Component is buisy");
    In.CloseInput();

    TAudioOut Out;
    EXPECT_EQ(Out.StepDelay(), 6);
    EXPECT_EQ(Out.Volume(), 255);
    const int Plays = TDeviceCatalog::PlaybackDeviceCount();
    EXPECT_EQ(Message([&] { Out.SetBaseChannel(Plays); }), "Channel " + std::to_string(Plays) + " is not available");

    TAudioIn Missing;
    Missing.SetDevice("virtual:" + Dir.File("absent.wav"));
    EXPECT_NE(Message([&] { Missing.OpenInput(); }).find("absent.wav"), std::string::npos);
    EXPECT_FALSE(Missing.Busy());
}

// The converter as a plug layer: exact integer results without a rate change.
TEST(SampleConverter, DepthAndChannelsWithoutARateChange)
{
    struct TCase {
        TAudioFormat In;
        std::vector<std::uint8_t> Data;
        TAudioFormat Out;
        std::vector<std::uint8_t> Want;
    };
    const TCase Cases[] = {
        // 16 -> 8 keeps the top byte, made unsigned.
        {{8000, 16, 1}, {0x00, 0x80, 0xFF, 0x7F, 0x34, 0x12}, {8000, 8, 1}, {0x00, 0xFF, 0x92}},
        // 8 -> 16 widens.
        {{8000, 8, 1}, {0x00, 0x80, 0xFF}, {8000, 16, 1}, {0x00, 0x80, 0x00, 0x00, 0x00, 0x7F}},
        // Mono to stereo copies; stereo to mono averages.
        {{8000, 16, 1}, {0x10, 0x00}, {8000, 16, 2}, {0x10, 0x00, 0x10, 0x00}},
        {{8000, 16, 2}, {0x10, 0x00, 0x30, 0x00, 0xFE, 0xFF, 0x00, 0x00}, {8000, 16, 1}, {0x20, 0x00, 0xFF, 0xFF}},
        // 24 -> 16 drops the low byte; a trailing partial frame is ignored.
        {{8000, 24, 1}, {0xAA, 0x34, 0x12, 0x00, 0x00, 0x80, 0x01}, {8000, 16, 1}, {0x34, 0x12, 0x00, 0x80}},
    };
    for (const TCase& C : Cases) {
        TSampleConverter Conv(C.In, C.Out);
        std::vector<std::uint8_t> Got;
        Conv.Convert(C.Data.data(), C.Data.size(), Got);
        Conv.Flush(Got);
        EXPECT_EQ(Got, C.Want) << C.In.BitsPerSample << "/" << C.In.Channels << " -> " << C.Out.BitsPerSample << "/"
                               << C.Out.Channels;
    }
}

TEST(SampleConverter, RateChangeKeepsLengthPitchAndLevel)
{
    const int Frames = 44100;
    const auto Tone = Sine16(Frames, 1, 44100, 1000.0, 16000);
    const auto Bytes = AsBytes(Tone);
    TSampleConverter Conv({44100, 16, 1}, {22050, 16, 1});
    std::vector<std::uint8_t> Got;
    // Fed in odd pieces, as a device reads.
    for (std::size_t At = 0; At < Bytes.size(); At += 2 * 777)
        Conv.Convert(Bytes.data() + At, std::min<std::size_t>(2 * 777, Bytes.size() - At), Got);
    Conv.Flush(Got);
    const auto Out = AsSamples16(Got);
    EXPECT_NEAR(static_cast<double>(Out.size()), 22050.0, 2.0);
    // Away from the edges: 1000 Hz is 2000 sign changes a second, at the same level.
    int Crossings = 0;
    double Sum = 0;
    for (std::size_t I = 2205; I + 1 < 22050 - 2205; ++I) {
        Crossings += (Out[I] < 0) != (Out[I + 1] < 0);
        Sum += static_cast<double>(Out[I]) * Out[I];
    }
    EXPECT_NEAR(Crossings, 2000 * 0.8, 4);
    EXPECT_NEAR(std::sqrt(Sum / (22050 - 4410)), 16000 / std::sqrt(2.0), 200);
}

TEST_F(VirtualDevice, DeliversTheFormatAskedForWithAllTheAudio)
{
    const std::string F = MakeFile(44100);
    for (TAudioFormat Want : TDeviceCatalog::QualityFormats()) {
        TAudioIn In;
        Use(In, F, Want);
        In.OpenInput();
        const auto Got = Drain(In);
        In.CloseInput();
        EXPECT_EQ(Got.size() % static_cast<std::size_t>(Want.FrameBytes()), 0u);
        const std::size_t frames = Got.size() / static_cast<std::size_t>(Want.FrameBytes());
        EXPECT_NEAR(static_cast<double>(frames), Want.SampleRate, 2.0) << TDeviceCatalog::QualityString(Want);
    }
}

TEST_F(VirtualDevice, RealTimeIsPacedAndFastIsNot)
{
    const std::string F = MakeFile(44100 / 2); // half a second
    for (bool Real : {false, true}) {
        TAudioIn In;
        Use(In, F, {44100, 16, 2});
        In.SetRealTime(Real);
        const auto Start = steady_clock::now();
        In.OpenInput();
        EXPECT_EQ(Drain(In).size(), 44100u / 2 * 4);
        In.CloseInput();
        const auto Took = duration_cast<milliseconds>(steady_clock::now() - Start).count();
        if (Real)
            EXPECT_GE(Took, 480);
        else
            EXPECT_LT(Took, 300);
    }
}

TEST(VirtualDemo, SeveralSongsSeparatedByQuiet)
{
    TAudioIn In;
    In.SetDevice("virtual:demo");
    In.SetRealTime(false);
    In.SetInBitsPerSample(16);
    In.SetInChannels(1);
    In.SetInSampleRate(11025);
    In.SetRecTime(-1);
    In.OpenInput();
    const auto Got = AsSamples16(Drain(In));
    In.CloseInput();
    EXPECT_TRUE(In.EndOfCapture());
    EXPECT_NEAR(static_cast<double>(Got.size()), TVirtualBackend::DemoFrames() / 4.0, 2.0);
    // Count the sounding stretches between quiet runs of over 1.5 s (level 300).
    int Songs = 0;
    bool InSong = false;
    std::size_t Quiet = 0;
    for (std::int16_t S : Got) {
        if (std::abs(S) >= 300) {
            Songs += InSong ? 0 : 1;
            InSong = true;
            Quiet = 0;
        } else if (++Quiet > 11025 * 3 / 2) {
            InSong = false;
        }
    }
    EXPECT_EQ(Songs, 3);
}

TEST(DeviceCatalog, ListsAndQualityStrings)
{
    const auto Capture = TDeviceCatalog::CaptureDevices();
    ASSERT_FALSE(Capture.empty());
    EXPECT_EQ(Capture.back().Name, "virtual:demo");
    EXPECT_TRUE(Capture.back().Virtual);
    // Real devices come first: no virtual device before a real one.
    bool SeenVirtual = false;
    for (const TDeviceInfo& D : Capture) {
        EXPECT_FALSE(SeenVirtual && !D.Virtual) << D.Name;
        SeenVirtual = SeenVirtual || D.Virtual;
    }
    const auto WithFile = TDeviceCatalog::CaptureDevices("virtual:/music/set.wav");
    EXPECT_EQ(WithFile.back().Name, "virtual:/music/set.wav");
    EXPECT_EQ(WithFile.size(), Capture.size() + 1);
    EXPECT_EQ(TDeviceCatalog::CaptureDevices("alsa:hw:9").size(), Capture.size());
    EXPECT_EQ(TDeviceCatalog::PlaybackDevices().back().Name, "virtual:null");

    const auto& Q = TDeviceCatalog::QualityFormats();
    ASSERT_EQ(Q.size(), 12u);
    const char* Want[] = {"11025 Hz, Mono,   8-bit",    "11025 Hz, Mono,   16-bit",  "11025 Hz, Stereo, 8-bit",
                          "11025 Hz, Stereo, 16-bit",   "22050  Hz, Mono,   8-bit",  "22050  Hz, Mono,   16-bit",
                          "22050  Hz, Stereo, 8-bit",   "22050  Hz, Stereo, 16-bit", "44100   Hz, Mono,   8-bit",
                          "44100   Hz, Mono,   16-bit", "44100   Hz, Stereo, 8-bit", "44100   Hz, Stereo, 16-bit"};
    for (std::size_t I = 0; I < 12; ++I)
        EXPECT_EQ(TDeviceCatalog::QualityString(Q[I]), Want[I]);
    EXPECT_EQ(TDeviceCatalog::QualityString({48000, 16, 2}), "");
    EXPECT_EQ(TDeviceCatalog::CaptureFormats("virtual:demo"), Q);
    EXPECT_TRUE(TDeviceCatalog::CaptureFormats("bogus:x").empty());
}

// A recording chain: the virtual file through TAudioIn into the WAV writer
// ends by itself at the end of the file, as a normal end.
TEST_F(VirtualDevice, EndOfFileEndsARecordingRunNormally)
{
    const std::string F = MakeFile(30000);
    TAudioIn In;
    Use(In, F, {44100, 16, 2});
    TWaveOut Out;
    Out.SetFileName(Dir.File("rec.wav"));
    Out.SetInput(&In);
    std::atomic<int> Done{0};
    std::atomic<int> Failed{0};
    Out.OnDone = [&](TComponent*) { ++Done; };
    Out.OnThreadException = [&](TComponent*, const std::exception&) { ++Failed; };
    Out.Run();
    ASSERT_TRUE(Out.WaitForIdle(seconds(20)));
    EXPECT_EQ(Done.load(), 1);
    EXPECT_EQ(Failed.load(), 0);
    EXPECT_TRUE(In.EndOfCapture());
    const auto Rec = ReadWholeFile(Dir.File("rec.wav"));
    ASSERT_GT(Rec.size(), 44u);
    EXPECT_EQ(std::vector<std::uint8_t>(Rec.end() - static_cast<long>(Samples.size() * 2), Rec.end()),
              AsBytes(Samples));
}

// Playing a file: TAudioOut with a file reader as input, on the virtual
// device that writes what it plays.
TEST_F(VirtualDevice, PlaysAFileInputWithVolume)
{
    const std::string F = MakeFile(50000);
    for (int Volume : {255, 128}) {
        TWaveIn Reader;
        Reader.SetFileName(F);
        TAudioOut Out;
        Out.SetDevice("virtual:" + Dir.File("played.wav"));
        Out.SetRealTime(false);
        Out.SetVolume(static_cast<std::uint8_t>(Volume));
        Out.SetInput(&Reader);
        std::atomic<int> Done{0};
        Out.OnDone = [&](TComponent*) { ++Done; };
        Out.Run();
        ASSERT_TRUE(Out.WaitForIdle(seconds(20)));
        EXPECT_EQ(Done.load(), 1);
        const auto Played = ReadWholeFile(Dir.File("played.wav"));
        ASSERT_EQ(Played.size(), 44 + Samples.size() * 2);
        std::vector<std::int16_t> Want = Samples;
        for (auto& S : Want)
            S = static_cast<std::int16_t>(S * Volume / 255);
        EXPECT_EQ(std::vector<std::uint8_t>(Played.begin() + 44, Played.end()), AsBytes(Want)) << Volume;
    }
}

// Real-time playback queues about nine blocks and no more: a 1 s file does
// not finish before its audio could have been played.
TEST_F(VirtualDevice, RealTimePlaybackTakesItsTime)
{
    const std::string F = MakeFile(44100 / 2);
    TWaveIn Reader;
    Reader.SetFileName(F);
    TAudioOut Out;
    Out.SetDevice("virtual:null");
    Out.SetInput(&Reader);
    const auto Start = steady_clock::now();
    Out.Run();
    ASSERT_TRUE(Out.WaitForIdle(seconds(10)));
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - Start).count(), 450);
}

// Capture without a time limit ends only through Stop, and playback of a
// long file stops promptly: neither run waits on for its device.
TEST_F(VirtualDevice, StopEndsRealTimeRunsPromptly)
{
    const std::string F = MakeFile(44100 * 10);
    TAudioIn In;
    In.SetDevice("virtual:demo");
    In.SetInSampleRate(22050);
    In.SetInChannels(2);
    In.SetInBitsPerSample(16);
    In.SetRecTime(-1);
    TNULLOut Null;
    Null.SetInput(&In);
    TWaveIn Reader;
    Reader.SetFileName(F);
    TAudioOut Player;
    Player.SetDevice("virtual:null");
    Player.SetInput(&Reader);
    for (TACSOutput* Out : {static_cast<TACSOutput*>(&Null), static_cast<TACSOutput*>(&Player)}) {
        std::atomic<int> Done{0};
        Out->OnDone = [&](TComponent*) { ++Done; };
        Out->Run();
        std::this_thread::sleep_for(milliseconds(300));
        EXPECT_EQ(Out->Status(), TACSOutputStatus::tosBusy) << "still running after 300 ms";
        const auto Start = steady_clock::now();
        Out->Stop();
        ASSERT_TRUE(Out->WaitForIdle(seconds(5)));
        EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - Start).count(), 1500);
        EXPECT_EQ(Done.load(), 1);
    }
    EXPECT_FALSE(In.EndOfCapture());
    EXPECT_GT(In.Position(), 0);
}

} // namespace
} // namespace kestrune
