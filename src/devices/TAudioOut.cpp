#include "devices/TAudioOut.h"

#include "devices/TDeviceCatalog.h"
#include "pipeline/EACSException.h"

namespace kestrune {

TAudioOut::TAudioOut()
{
    SetStepDelay(6);
}

TAudioOut::~TAudioOut()
{
    DestroyWorker();
}

void TAudioOut::SetBaseChannel(int Value)
{
    if (Busy())
        throw EACSException("Component is buisy");
    const int Count = TDeviceCatalog::PlaybackDeviceCount();
    if (Count == 0) {
        FBaseChannel = 0;
        return;
    }
    if (Value < 0 || Value >= Count)
        throw EACSException("Channel " + std::to_string(Value) + " is not available");
    FBaseChannel = Value;
}

void TAudioOut::SetDevice(const std::string& Value)
{
    if (Busy())
        throw EACSException("Component is buisy");
    FDevice = Value;
}

std::string TAudioOut::DeviceName() const
{
    return FDevice.empty() ? TDeviceCatalog::PlaybackDeviceName(FBaseChannel) : FDevice;
}

void TAudioOut::OpenOutput()
{
    TACSInput& In = RequireInput();
    In.OpenInput();
    try {
        const TAudioFormat Format{In.InSampleRate(), In.InBitsPerSample(), In.InChannels()};
        const std::string Name = DeviceName();
        if (Name.empty())
            throw EACSException("Channel " + std::to_string(FBaseChannel) + " is not available");
        Bits = Format.BitsPerSample;
        Stream = TDeviceCatalog::OpenPlayback(Name, Format, FRealTime, FTimeout);
    } catch (...) {
        In.CloseInput();
        throw;
    }
    LastProgress = 0;
}

bool TAudioOut::WriteStep(bool Abort)
{
    if (!Busy())
        return true;
    if (Abort || !CanOutput)
        return false;
    const int QueuedCount = static_cast<int>((Stream->QueuedBytes() + BlockSize - 1) / BlockSize);
    if (QueueTarget >= QueuedCount) {
        for (int I = 0; I < QueueTarget - QueuedCount + 1; ++I) {
            const int Got = ReadFromInput(Block.data(), BlockSize);
            if (Got < 1)
                return false;
            ApplyVolume(Block.data(), Got);
            Stream->Write(Block.data(), Got);
        }
    }
    if (OnProgress && RequireInput().Size() > 0)
        UpdateProgress();
    return true;
}

void TAudioOut::CloseOutput()
{
    if (Stream) {
        try {
            Stream->Drain();
        } catch (...) {
            // A device that stopped playing: what is left is dropped below.
        }
        Stream.reset();
    }
    if (TACSInput* In = Input())
        In->CloseInput();
}

void TAudioOut::ApplyVolume(std::uint8_t* Data, int Size) const
{
    const int V = FVolume.load();
    if (V == 255)
        return;
    if (Bits == 8) {
        for (int I = 0; I < Size; ++I)
            Data[I] = static_cast<std::uint8_t>(128 + (static_cast<int>(Data[I]) - 128) * V / 255);
    } else if (Bits == 16) {
        for (int I = 0; I + 1 < Size; I += 2) {
            const int S = static_cast<std::int16_t>(Data[I] | (Data[I + 1] << 8)) * V / 255;
            Data[I] = static_cast<std::uint8_t>(S & 0xFF);
            Data[I + 1] = static_cast<std::uint8_t>((S >> 8) & 0xFF);
        }
    } else {
        for (int I = 0; I + 2 < Size; I += 3) {
            const std::uint32_t U = static_cast<std::uint32_t>(Data[I]) |
                                    (static_cast<std::uint32_t>(Data[I + 1]) << 8) |
                                    (static_cast<std::uint32_t>(Data[I + 2]) << 16);
            const std::int64_t S = static_cast<std::int64_t>(static_cast<std::int32_t>(U << 8) / 256) * V / 255;
            Data[I] = static_cast<std::uint8_t>(S & 0xFF);
            Data[I + 1] = static_cast<std::uint8_t>((S >> 8) & 0xFF);
            Data[I + 2] = static_cast<std::uint8_t>((S >> 16) & 0xFF);
        }
    }
}

} // namespace kestrune
