#include "cd/TGrabPipe.h"

#include "pipeline/EACSException.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace kestrune {

namespace {

// About a second of CD audio may wait: enough to even out the encoder's
// pace, small beside the track.
constexpr std::size_t Capacity = 176400;

} // namespace

TGrabPipe::TGrabPipe(int SampleRate, int Channels, int BitsPerSample, std::int64_t ExpectedBytes)
    : FRate(SampleRate), FChannels(Channels), FBits(BitsPerSample)
{
    FSize = ExpectedBytes;
}

bool TGrabPipe::Put(const std::uint8_t* Data, std::size_t Bytes)
{
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [this] { return FClosed || FFailed || FQueued < Capacity; });
    if (FClosed || FFailed)
        return false;
    if (Bytes > 0) {
        FBlocks.emplace_back(Data, Data + Bytes);
        FQueued += Bytes;
    }
    FChanged.notify_all();
    return true;
}

void TGrabPipe::Finish()
{
    {
        std::lock_guard lock(FMutex);
        FFinished = true;
    }
    FChanged.notify_all();
}

void TGrabPipe::Fail(const std::string& Reason)
{
    {
        std::lock_guard lock(FMutex);
        FFailed = true;
        FReason = Reason;
    }
    FChanged.notify_all();
}

int TGrabPipe::TotalTime()
{
    const std::int64_t frameBytes = std::int64_t{FChannels} * (FBits / 8);
    return frameBytes > 0 && FRate > 0 ? static_cast<int>(FSize.load() / frameBytes / FRate) : 0;
}

int TGrabPipe::ReadBlock(void* Buffer, int Size)
{
    std::unique_lock lock(FMutex);
    FChanged.wait_for(lock, std::chrono::milliseconds(100),
                      [this] { return FQueued > 0 || FFinished || FFailed || FClosed; });
    // What the grab read before it failed is not a track: the encoder's run
    // fails rather than finish a short file.
    if (FFailed)
        throw EACSException(FReason);
    if (FQueued == 0)
        return FFinished || FClosed ? 0 : -1;
    auto* out = static_cast<std::uint8_t*>(Buffer);
    std::size_t given = 0;
    while (given < static_cast<std::size_t>(Size) && !FBlocks.empty()) {
        const std::vector<std::uint8_t>& front = FBlocks.front();
        const std::size_t n = std::min(front.size() - FFirstUsed, static_cast<std::size_t>(Size) - given);
        std::memcpy(out + given, front.data() + FFirstUsed, n);
        given += n;
        FFirstUsed += n;
        if (FFirstUsed == front.size()) {
            FBlocks.pop_front();
            FFirstUsed = 0;
        }
    }
    FQueued -= given;
    FPosition += static_cast<std::int64_t>(given);
    lock.unlock();
    FChanged.notify_all();
    return static_cast<int>(given);
}

void TGrabPipe::OpenInput()
{
    FBusy = true;
}

void TGrabPipe::CloseInput()
{
    {
        std::lock_guard lock(FMutex);
        FClosed = true;
        FBlocks.clear();
        FQueued = 0;
        FFirstUsed = 0;
    }
    FBusy = false;
    FChanged.notify_all();
}

} // namespace kestrune
