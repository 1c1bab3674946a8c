#include "devices/TVirtualBackend.h"

#include "devices/TSampleConverter.h"
#include "formats/TWavHeaderBytes.h"
#include "formats/TWaveIn.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <thread>

namespace kestrune {

namespace {

using TClock = std::chrono::steady_clock;

// Where a capture source stands in its audio, in frames of the source's own
// format; shared by the source and the stream open on it.
struct TVirtualPlace {
    std::int64_t Frames = 0;
};

// A file, not one of the built-in names.
bool IsFileSpec(const std::string& Spec)
{
    return Spec != "demo" && Spec != "null" && Spec.size() > 4;
}

// The demo: a lead-in of quiet, then three "songs" (chords with a slow
// tremolo so the level varies like music), each followed by quiet. Quiet is
// a faint hiss, as a real line input has, well under the usual noise levels.
constexpr int DemoRate = 44100;
struct TDemoSong {
    double Seconds;
    double Hz[3];
};
constexpr TDemoSong DemoSongs[] = {
    {20.0, {220.0, 277.2, 329.6}}, {17.0, {196.0, 246.9, 293.7}}, {23.0, {261.6, 329.6, 392.0}}};
constexpr double DemoGap = 3.0;

std::int64_t DemoLength()
{
    double Seconds = DemoGap;
    for (const TDemoSong& S : DemoSongs)
        Seconds += S.Seconds + DemoGap;
    return static_cast<std::int64_t>(Seconds * DemoRate);
}

// Frames [First, First + Count) of the demo as 16-bit stereo.
void DemoFramesAt(std::int64_t First, std::int64_t Count, std::vector<std::uint8_t>& Out)
{
    Out.resize(static_cast<std::size_t>(Count) * 4);
    for (std::int64_t I = 0; I < Count; ++I) {
        const std::int64_t N = First + I;
        double T = static_cast<double>(N) / DemoRate - DemoGap;
        double L = 0;
        double R = 0;
        for (const TDemoSong& S : DemoSongs) {
            if (T < 0)
                break;
            if (T < S.Seconds) {
                const double Tremolo = 0.75 + 0.25 * std::sin(2 * std::numbers::pi * 0.5 * T);
                const double Fade = std::min({1.0, T * 10, (S.Seconds - T) * 10});
                for (int K = 0; K < 3; ++K) {
                    const double V = std::sin(2 * std::numbers::pi * S.Hz[K] * T);
                    L += V * (K == 2 ? 0.6 : 1.0);
                    R += V * (K == 0 ? 0.6 : 1.0);
                }
                L *= 0.25 * Tremolo * Fade;
                R *= 0.25 * Tremolo * Fade;
                break;
            }
            T -= S.Seconds + DemoGap;
        }
        // The hiss: a fixed pseudo-random sequence of +-8.
        const std::uint32_t H = static_cast<std::uint32_t>(N) * 2654435761u;
        const int Hiss = static_cast<int>((H >> 16) % 17) - 8;
        const auto ToSample = [Hiss](double V) {
            return static_cast<std::int16_t>(std::clamp(std::lround(V * 32767.0) + Hiss, -32768L, 32767L));
        };
        const std::int16_t SL = ToSample(L);
        const std::int16_t SR = ToSample(R);
        std::uint8_t* P = Out.data() + I * 4;
        P[0] = static_cast<std::uint8_t>(SL & 0xFF);
        P[1] = static_cast<std::uint8_t>((SL >> 8) & 0xFF);
        P[2] = static_cast<std::uint8_t>(SR & 0xFF);
        P[3] = static_cast<std::uint8_t>((SR >> 8) & 0xFF);
    }
}

// Sleeps until the moment Bytes of the stream are due, counted from Start.
void WaitUntilDue(TClock::time_point Start, std::int64_t Bytes, std::int64_t BytesPerSecond)
{
    const auto Due = Start + std::chrono::microseconds(Bytes * 1000000 / BytesPerSecond);
    std::this_thread::sleep_until(Due);
}

class TVirtualCapture final : public ICaptureStream {
public:
    TVirtualCapture(const std::string& Spec, const TAudioFormat& Format, bool RealTime,
                    std::shared_ptr<TVirtualPlace> At)
        : Place(std::move(At)), Out(Format), Paced(RealTime), Pos(Place->Frames)
    {
        TAudioFormat Src;
        if (Spec == "demo") {
            Src = TVirtualBackend::DemoFormat();
            Total = DemoLength();
        } else {
            File = std::make_unique<TWaveIn>();
            File->SetFileName(Spec);
            try {
                File->OpenFile();
            } catch (const std::exception& E) {
                throw EACSException("The sound device virtual:" + Spec + " could not be opened: " + E.what());
            }
            if (!File->Valid()) {
                File->CloseFile();
                throw EACSException("The sound device virtual:" + Spec + " could not be opened");
            }
            Src = {File->InSampleRate(), File->InBitsPerSample(), File->InChannels()};
            Total = File->TotalSamples();
            File->CloseFile();
            File->SetStartSample(std::min(Pos, Total));
            File->OpenInput();
        }
        Conv = std::make_unique<TSampleConverter>(Src, Out);
        Start = TClock::now();
    }

    ~TVirtualCapture() override
    {
        Place->Frames = Pos;
        if (File)
            File->CloseInput();
    }

    int Read(void* Buffer, int Size) override
    {
        const std::size_t FrameBytes = static_cast<std::size_t>(Out.FrameBytes());
        const std::size_t Want = static_cast<std::size_t>(Size) / FrameBytes * FrameBytes;
        if (Want == 0)
            return 0;
        while (Pending.size() - Taken < Want && !Drained)
            Produce(Want - (Pending.size() - Taken));
        const std::size_t N = std::min(Want, Pending.size() - Taken);
        if (N == 0)
            return 0;
        if (Paced)
            WaitUntilDue(Start, Delivered + static_cast<std::int64_t>(N),
                         static_cast<std::int64_t>(Out.SampleRate) * Out.FrameBytes());
        std::memcpy(Buffer, Pending.data() + Taken, N);
        Taken += N;
        Delivered += static_cast<std::int64_t>(N);
        if (Taken == Pending.size()) {
            Pending.clear();
            Taken = 0;
        }
        return static_cast<int>(N);
    }

private:
    // Converts enough source frames for about Bytes more bytes of output.
    void Produce(std::size_t Bytes)
    {
        const TAudioFormat& Src = Conv->InFormat();
        const std::int64_t OutFrames = static_cast<std::int64_t>(Bytes) / Out.FrameBytes();
        // Without a rate change a frame makes a frame, so exactly what is
        // asked is taken from the source and the place stays exact.
        std::int64_t Frames = Src.SampleRate == Out.SampleRate
                                  ? OutFrames
                                  : std::max<std::int64_t>(1024, OutFrames * Src.SampleRate / Out.SampleRate + 1);
        Frames = std::min(Frames, Total - Pos);
        if (Frames <= 0) {
            Conv->Flush(Pending);
            Drained = true;
            return;
        }
        if (File) {
            Raw.resize(static_cast<std::size_t>(Frames * Src.FrameBytes()));
            std::size_t Got = 0;
            while (Got < Raw.size()) {
                const int R = File->ReadBlock(Raw.data() + Got,
                                              static_cast<int>(std::min<std::size_t>(Raw.size() - Got, 1 << 20)));
                if (R <= 0)
                    break;
                Got += static_cast<std::size_t>(R);
            }
            if (Got == 0) {
                // The file is shorter than its header said.
                Total = Pos;
                return;
            }
            Raw.resize(Got);
            Frames = static_cast<std::int64_t>(Got) / Src.FrameBytes();
        } else {
            DemoFramesAt(Pos, Frames, Raw);
        }
        Pos += Frames;
        Conv->Convert(Raw.data(), Raw.size(), Pending);
    }

    std::shared_ptr<TVirtualPlace> Place;
    TAudioFormat Out;
    bool Paced;
    std::int64_t Pos; // source frames taken
    std::int64_t Total = 0;
    std::unique_ptr<TWaveIn> File;
    std::unique_ptr<TSampleConverter> Conv;
    std::vector<std::uint8_t> Raw;
    std::vector<std::uint8_t> Pending;
    std::size_t Taken = 0;
    bool Drained = false;
    std::int64_t Delivered = 0;
    TClock::time_point Start;
};

class TVirtualPlayback final : public IPlaybackStream {
public:
    // Nothing here can stop taking audio, so no wait needs a timeout.
    TVirtualPlayback(const std::string& Spec, const TAudioFormat& Format, bool RealTime) : Fmt(Format), Paced(RealTime)
    {
        if (Spec != "null") {
            File = std::fopen(Spec.c_str(), "wb");
            if (!File)
                throw EACSException("The sound device virtual:" + Spec + " could not be opened");
            WriteHeader(0);
        }
        Start = TClock::now();
    }

    ~TVirtualPlayback() override
    {
        if (File) {
            std::fflush(File);
            std::fseek(File, 0, SEEK_SET);
            WriteHeader(Written);
            std::fclose(File);
        }
    }

    void Write(const void* Data, int Size) override
    {
        // A card's queue holds ten blocks of 8192 bytes: wait for room.
        constexpr std::int64_t queue = std::int64_t{10} * 8192;
        if (Paced && QueuedBytes() + Size > queue)
            WaitUntilDue(Start, Written + Size - queue, BytesPerSecond());
        if (File && std::fwrite(Data, 1, static_cast<std::size_t>(Size), File) != static_cast<std::size_t>(Size))
            throw EACSException("The sound device's WAV file could not be written");
        Written += Size;
    }

    std::int64_t QueuedBytes() override
    {
        if (!Paced)
            return 0;
        const auto Elapsed = std::chrono::duration_cast<std::chrono::microseconds>(TClock::now() - Start).count();
        return std::max<std::int64_t>(0, Written - Elapsed * BytesPerSecond() / 1000000);
    }

    void Drain() override
    {
        if (Paced)
            WaitUntilDue(Start, Written, BytesPerSecond());
    }

private:
    std::int64_t BytesPerSecond() const { return static_cast<std::int64_t>(Fmt.SampleRate) * Fmt.FrameBytes(); }

    void WriteHeader(std::int64_t DataBytes)
    {
        const std::vector<std::uint8_t> header =
            TWavHeaderBytes::Pcm(Fmt.Channels, Fmt.SampleRate, Fmt.BitsPerSample, DataBytes);
        std::fwrite(header.data(), 1, header.size(), File);
    }

    TAudioFormat Fmt;
    bool Paced;
    std::FILE* File = nullptr;
    std::int64_t Written = 0;
    TClock::time_point Start;
};

class TVirtualSource final : public ICaptureSource {
public:
    explicit TVirtualSource(std::string S) : Spec(std::move(S)) {}
    std::unique_ptr<ICaptureStream> Open(const TAudioFormat& Format, bool RealTime, int) override
    {
        return std::make_unique<TVirtualCapture>(Spec, Format, RealTime, Place);
    }

private:
    std::string Spec;
    std::shared_ptr<TVirtualPlace> Place = std::make_shared<TVirtualPlace>();
};

} // namespace

std::vector<TDeviceInfo> TVirtualBackend::CaptureDevices()
{
    return {{"virtual:demo", "Demo signal: several songs separated by quiet", true}};
}

std::vector<TDeviceInfo> TVirtualBackend::PlaybackDevices()
{
    return {{"virtual:null", "Plays into nothing, in real time", true}};
}

std::optional<TDeviceInfo> TVirtualBackend::Unlisted(const std::string& Spec)
{
    if (!IsFileSpec(Spec))
        return std::nullopt;
    return TDeviceInfo{"virtual:" + Spec, "WAV file " + Spec, true};
}

std::vector<TAudioFormat> TVirtualBackend::CaptureFormats(const std::string& Spec,
                                                          const std::vector<TAudioFormat>& Candidates)
{
    // The card converts, so it takes every format asked for.
    if (Spec == "demo" || IsFileSpec(Spec))
        return Candidates;
    return {};
}

std::unique_ptr<ICaptureSource> TVirtualBackend::CaptureSource(const std::string& Spec)
{
    if (Spec != "demo" && !IsFileSpec(Spec))
        throw EACSException("Unknown capture device \"virtual:" + Spec + "\"");
    return std::make_unique<TVirtualSource>(Spec);
}

std::unique_ptr<IPlaybackStream> TVirtualBackend::OpenPlayback(const std::string& Spec, const TAudioFormat& Format,
                                                               bool RealTime, int)
{
    if (Spec != "null" && !IsFileSpec(Spec))
        throw EACSException("Unknown playback device \"virtual:" + Spec + "\"");
    return std::make_unique<TVirtualPlayback>(Spec, Format, RealTime);
}

TAudioFormat TVirtualBackend::DemoFormat()
{
    return {DemoRate, 16, 2};
}

std::int64_t TVirtualBackend::DemoFrames()
{
    return DemoLength();
}

} // namespace kestrune
