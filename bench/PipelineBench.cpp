// In-process figures: the cost of the chain and of the sample codecs per
// second of CD audio.

#include "formats/TWavHeaderBytes.h"
#include "formats/TWaveIn.h"
#include "formats/TWaveOut.h"
#include "pipeline/TMemoryStream.h"
#include "pipeline/TNULLOut.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace kestrune;

namespace {

constexpr int Rate = 44100;

// Seconds of a two-tone stereo signal as a WAV image of the given type.
std::vector<std::uint8_t> MakeWav(TWavType Type, int Seconds)
{
    std::vector<std::uint8_t> pcm(static_cast<size_t>(Rate) * Seconds * 4);
    for (size_t i = 0; i < pcm.size() / 4; ++i) {
        const auto l = static_cast<std::int16_t>(12000 * std::sin(i * 0.0627));
        const auto r = static_cast<std::int16_t>(9000 * std::sin(i * 0.0411));
        pcm[4 * i] = static_cast<std::uint8_t>(l & 0xFF);
        pcm[4 * i + 1] = static_cast<std::uint8_t>((l >> 8) & 0xFF);
        pcm[4 * i + 2] = static_cast<std::uint8_t>(r & 0xFF);
        pcm[4 * i + 3] = static_cast<std::uint8_t>((r >> 8) & 0xFF);
    }
    // A PCM header in front of the samples; other types go through our writer.
    std::vector<std::uint8_t> wav = TWavHeaderBytes::Pcm(2, Rate, 16, static_cast<std::int64_t>(pcm.size()));
    wav.insert(wav.end(), pcm.begin(), pcm.end());
    if (Type == TWavType::wtPCM)
        return wav;

    TMemoryStream in(std::move(wav));
    TWaveIn reader;
    reader.SetStream(&in);
    TMemoryStream out;
    TWaveOut writer;
    writer.SetStream(&out);
    writer.SetWavType(Type);
    writer.SetInput(&reader);
    writer.Run();
    writer.WaitForIdle(std::chrono::minutes(1));
    return out.Bytes();
}

void Run(TACSOutput& Out)
{
    Out.Run();
    Out.WaitForIdle(std::chrono::minutes(1));
}

void Report(benchmark::State& State)
{
    State.counters["audio_s_per_s"] = benchmark::Counter(10.0 * State.iterations(), benchmark::Counter::kIsRate);
}

// Ten seconds of WAV of the given type read through the chain into nothing.
void BM_ReadIntoNull(benchmark::State& State, TWavType Type)
{
    const auto wav = MakeWav(Type, 10);
    for (auto _ : State) {
        TMemoryStream stream(wav);
        TWaveIn in;
        in.SetStream(&stream);
        TNULLOut out;
        out.SetInput(&in);
        Run(out);
    }
    Report(State);
}
BENCHMARK_CAPTURE(BM_ReadIntoNull, Pcm, TWavType::wtPCM)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadIntoNull, DecodeImaAdpcm, TWavType::wtDVIADPCM)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncodeImaAdpcm(benchmark::State& State)
{
    const auto wav = MakeWav(TWavType::wtPCM, 10);
    for (auto _ : State) {
        TMemoryStream stream(wav);
        TWaveIn in;
        in.SetStream(&stream);
        TMemoryStream sink;
        TWaveOut out;
        out.SetStream(&sink);
        out.SetWavType(TWavType::wtDVIADPCM);
        out.SetInput(&in);
        Run(out);
    }
    Report(State);
}
BENCHMARK(BM_EncodeImaAdpcm)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
