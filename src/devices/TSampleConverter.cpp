#include "devices/TSampleConverter.h"

#include "pipeline/EACSException.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kestrune {

namespace {

// Samples are carried as signed 24-bit values in an int32 between the steps.
std::int32_t ReadSample(const std::uint8_t* P, int Bits)
{
    switch (Bits) {
    case 8:
        return (static_cast<std::int32_t>(P[0]) - 128) * 65536;
    case 16:
        return static_cast<std::int32_t>(static_cast<std::int16_t>(P[0] | (P[1] << 8))) * 256;
    default: {
        const std::uint32_t U = static_cast<std::uint32_t>(P[0]) | (static_cast<std::uint32_t>(P[1]) << 8) |
                                (static_cast<std::uint32_t>(P[2]) << 16);
        return static_cast<std::int32_t>(U << 8) / 256;
    }
    }
}

// Writes one sample of Bits bits at P (BytesPerSample bytes).
void PutSample(std::int32_t V, int Bits, std::uint8_t* P)
{
    switch (Bits) {
    case 8:
        P[0] = static_cast<std::uint8_t>((V >> 16) + 128);
        break;
    case 16: {
        const std::int32_t S = V >> 8;
        P[0] = static_cast<std::uint8_t>(S & 0xFF);
        P[1] = static_cast<std::uint8_t>((S >> 8) & 0xFF);
        break;
    }
    default:
        P[0] = static_cast<std::uint8_t>(V & 0xFF);
        P[1] = static_cast<std::uint8_t>((V >> 8) & 0xFF);
        P[2] = static_cast<std::uint8_t>((V >> 16) & 0xFF);
        break;
    }
}

void CheckFormat(const TAudioFormat& F)
{
    if (!IsPipelineDepth(F.BitsPerSample) || F.Channels < 1 || F.Channels > 2 || F.SampleRate <= 0)
        throw EACSException("Unsupported audio format: " + std::to_string(F.SampleRate) + " Hz, " +
                            std::to_string(F.Channels) + " channels, " + std::to_string(F.BitsPerSample) + " bits");
}

} // namespace

void TSampleConverter::TSoxrFree::operator()(soxr* S) const
{
    soxr_delete(S);
}

TSampleConverter::TSampleConverter(const TAudioFormat& InFormat, const TAudioFormat& OutFormat)
    : In(InFormat), OutF(OutFormat)
{
    CheckFormat(In);
    CheckFormat(OutF);
    if (In.SampleRate != OutF.SampleRate) {
        soxr_error_t Err = nullptr;
        const soxr_io_spec_t Io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t Q = soxr_quality_spec(SOXR_HQ, 0);
        Resampler.reset(
            soxr_create(In.SampleRate, OutF.SampleRate, static_cast<unsigned>(OutF.Channels), &Err, &Io, &Q, nullptr));
        if (!Resampler || Err)
            throw EACSException(std::string("The sample rate converter could not be created: ") +
                                (Err ? Err : "unknown error"));
    }
}

TSampleConverter::~TSampleConverter() = default;

void TSampleConverter::Convert(const std::uint8_t* Data, std::size_t Bytes, std::vector<std::uint8_t>& Out)
{
    const std::size_t InFrame = static_cast<std::size_t>(In.FrameBytes());
    const std::size_t Frames = Bytes / InFrame;
    if (Frames == 0)
        return;
    if (In == OutF) {
        Out.insert(Out.end(), Data, Data + Frames * InFrame);
        return;
    }
    // Depth and channels first, to the output's channel count.
    const int Step = In.BytesPerSample();
    Wide.resize(Frames * static_cast<std::size_t>(OutF.Channels));
    for (std::size_t F = 0; F < Frames; ++F) {
        const std::uint8_t* P = Data + F * InFrame;
        const std::int32_t L = ReadSample(P, In.BitsPerSample);
        const std::int32_t R = In.Channels == 2 ? ReadSample(P + Step, In.BitsPerSample) : L;
        if (OutF.Channels == 1) {
            // Halving the sum rounds towards minus infinity like a shift.
            Wide[F] = static_cast<std::int32_t>((static_cast<std::int64_t>(L) + R) >> 1);
        } else {
            Wide[2 * F] = L;
            Wide[2 * F + 1] = R;
        }
    }
    if (!Resampler) {
        Emit(Wide.data(), Frames, Out);
        return;
    }
    FloatIn.resize(Wide.size());
    for (std::size_t I = 0; I < Wide.size(); ++I)
        FloatIn[I] = static_cast<float>(Wide[I]) / 8388608.0f;
    Resample(FloatIn.data(), Frames, Out);
}

void TSampleConverter::Flush(std::vector<std::uint8_t>& Out)
{
    if (Resampler)
        Resample(nullptr, 0, Out);
}

void TSampleConverter::Resample(const float* Samples, std::size_t Frames, std::vector<std::uint8_t>& Out)
{
    const std::size_t Ch = static_cast<std::size_t>(OutF.Channels);
    const std::size_t Room =
        static_cast<std::size_t>(static_cast<double>(Frames) * OutF.SampleRate / In.SampleRate) + 1024;
    FloatOut.resize(Room * Ch);
    std::size_t Done = 0;
    for (;;) {
        std::size_t Used = 0;
        std::size_t Made = 0;
        const soxr_error_t Err = soxr_process(Resampler.get(), Samples ? Samples + Done * Ch : nullptr, Frames - Done,
                                              Samples ? &Used : nullptr, FloatOut.data(), Room, &Made);
        if (Err)
            throw EACSException(std::string("Sample rate conversion failed: ") + Err);
        EmitFloat(FloatOut.data(), Made, Out);
        Done += Used;
        // Input all taken and the output not full: nothing more to come now.
        if ((Samples && Done >= Frames && Made < Room) || (!Samples && Made == 0))
            break;
    }
}

void TSampleConverter::EmitFloat(const float* Samples, std::size_t Frames, std::vector<std::uint8_t>& Out) const
{
    const std::size_t N = Frames * static_cast<std::size_t>(OutF.Channels);
    const std::size_t Step = static_cast<std::size_t>(OutF.BytesPerSample());
    std::size_t At = Out.size();
    Out.resize(At + N * Step);
    for (std::size_t I = 0; I < N; ++I, At += Step) {
        // Rounded half away from zero, as lround does, without its call:
        // the scaled sample is exact in a double, and so is adding a half.
        const double D = static_cast<double>(Samples[I]) * 8388608.0;
        const double R = std::clamp(D + (D < 0 ? -0.5 : 0.5), -8388608.0, 8388607.0);
        PutSample(static_cast<std::int32_t>(R), OutF.BitsPerSample, Out.data() + At);
    }
}

void TSampleConverter::Emit(const std::int32_t* Samples, std::size_t Frames, std::vector<std::uint8_t>& Out) const
{
    const std::size_t N = Frames * static_cast<std::size_t>(OutF.Channels);
    const std::size_t Step = static_cast<std::size_t>(OutF.BytesPerSample());
    std::size_t At = Out.size();
    Out.resize(At + N * Step);
    for (std::size_t I = 0; I < N; ++I, At += Step)
        PutSample(Samples[I], OutF.BitsPerSample, Out.data() + At);
}

} // namespace kestrune
