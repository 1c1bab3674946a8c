#include "devices/TAudioIn.h"

#include "devices/TDeviceCatalog.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

TAudioIn::TAudioIn()
{
    FSize = -1;
}

TAudioIn::~TAudioIn()
{
    CloseDevice();
}

void TAudioIn::SetBaseChannel(int Value)
{
    if (Busy())
        throw EACSException("Component is buisy");
    if (Value < 0 || Value >= TDeviceCatalog::CaptureDeviceCount())
        throw EACSException("Channel " + std::to_string(Value) + " is not available");
    FBaseChannel = Value;
}

void TAudioIn::SetDevice(const std::string& Value)
{
    if (Busy())
        throw EACSException("Component is buisy");
    // Another device is another source: a stand-in card chosen anew starts
    // from its beginning.
    if (Value != FDevice)
        Source.reset();
    FDevice = Value;
}

std::string TAudioIn::DeviceName() const
{
    if (!FDevice.empty())
        return FDevice;
    std::string listed = TDeviceCatalog::CaptureDeviceName(FBaseChannel);
    return TDeviceCatalog::IsVirtualName(listed) ? std::string() : listed;
}

void TAudioIn::OpenInput()
{
    if (Busy())
        throw EACSException("The component is buisy");
    BufEnd = 0;
    BufStart = 1;
    FPosition = 0;
    FEnded = false;
    RecBytes = static_cast<std::int64_t>(FBits / 8) * FRecTime * FChannels * FRate;
    if (DeviceOpenCount == 0) {
        const std::string Name = DeviceName();
        if (Name.empty())
            throw EACSException(NoDriverText);
        // The source stays from one run to the next while the device does,
        // so a stand-in card goes on where the last run stopped.
        if (!Source || SourceDevice != Name) {
            Source = TDeviceCatalog::CaptureSource(Name);
            SourceDevice = Name;
        }
        Stream = Source->Open({FRate, FBits, FChannels}, FRealTime, FTimeout);
        ++DeviceOpenCount;
    }
    FBusy = true;
    FSize = RecBytes;
}

int TAudioIn::ReadBlock(void* Buffer, int Size)
{
    if (!Busy())
        throw EACSException("The Stream is not opened");
    if (Size <= 0)
        return 0;
    const std::int64_t Pos = FPosition.load();
    if (RecBytes >= 0 && Pos >= RecBytes)
        return 0;
    if (BufStart > BufEnd) {
        BufStart = 1;
        BufEnd = 0;
        const int Got = Stream->Read(Own.data(), BufferSize);
        if (Got <= 0) {
            FEnded = true;
            return 0;
        }
        BufEnd = Got;
    }
    std::int64_t Count = std::min(Size, BufEnd - BufStart + 1);
    // The capture time ends exactly at RecTime seconds.
    if (RecBytes >= 0)
        Count = std::min(Count, RecBytes - Pos);
    std::memcpy(Buffer, Own.data() + (BufStart - 1), static_cast<std::size_t>(Count));
    BufStart += static_cast<int>(Count);
    FPosition = Pos + Count;
    return static_cast<int>(Count);
}

void TAudioIn::CloseInput()
{
    CloseDevice();
    FBusy = false;
}

void TAudioIn::CloseDevice()
{
    if (DeviceOpenCount == 1)
        Stream.reset();
    if (DeviceOpenCount > 0)
        --DeviceOpenCount;
}

} // namespace kestrune
