#include "pipeline/TACSFileIn.h"

#include "common/Rounding.h"
#include "pipeline/EACSException.h"
#include "pipeline/TFileStream.h"

#include <algorithm>

namespace kestrune {

template <typename F>
int TACSFileIn::Query(F Field)
{
    if (!FRewindable)
        return Field();
    OpenFile();
    const int value = Field();
    CloseFile();
    return value;
}

int TACSFileIn::InBitsPerSample()
{
    return Query([this] { return FBitsPerSample; });
}

int TACSFileIn::InChannels()
{
    return Query([this] { return FChannels; });
}

int TACSFileIn::InSampleRate()
{
    return Query([this] { return FSampleRate; });
}

int TACSFileIn::TotalTime()
{
    OpenFile();
    int seconds = 0;
    const std::int64_t bytesPerSecond = static_cast<std::int64_t>(FSampleRate) * FChannels * (FBitsPerSample / 8);
    if (bytesPerSecond > 0 && Size() > 0)
        seconds = static_cast<int>(DivRoundHalfEven(Size(), bytesPerSecond));
    CloseFile();
    return seconds;
}

void TACSFileIn::OpenOwnStream()
{
    if (!StreamSupplied)
        AdoptStream(std::make_unique<TFileStream>(FFileName, TFileOpenMode::fmOpenRead));
}

void TACSFileIn::ReleaseStream()
{
    if (!StreamSupplied)
        FreeOwnStream();
    else if (FRewindable && Stream)
        Stream->Seek(0, TSeekOrigin::soBeginning);
}

std::string TACSFileIn::Name() const
{
    return FFileName.empty() ? std::string("the stream") : "\"" + FFileName + "\"";
}

std::string TACSFileIn::AsReason(const std::string& Message)
{
    std::string text = Message;
    while (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

void TACSFileIn::OpenInput()
{
    if (Busy())
        throw EACSException("The component is buisy");
    if (!StreamSupplied && FFileName.empty())
        throw EACSException("The file name is not assigned");
    OpenFile();
    // A file with a header and not one frame of audio is no recording; a
    // run on it would end at once with empty results called finished.
    if (FValid && FTotalSamples == 0 && FSize == 0)
        Invalidate("it holds no audio");
    if (!FValid) {
        const std::string reason = InvalidReason.empty() ? "not a supported audio file" : InvalidReason;
        CloseFile();
        const std::string name =
            StreamSupplied && FFileName.empty() ? std::string("the stream") : "\"" + FFileName + "\"";
        throw EACSException("Cannot read " + name + ": " + reason + ".");
    }
    if (FStartSample != 0)
        SeekSample(FStartSample);
    if (FStartSample != 0 || FEndSample != -1) {
        const std::int64_t end = FEndSample == -1 ? FTotalSamples : FEndSample;
        const std::int64_t frames = std::max<std::int64_t>(0, end - FStartSample);
        FSize = frames * (FBitsPerSample / 8) * FChannels;
    }
    FBusy = true;
    BufStart = 1;
    BufEnd = 0;
    FPosition = 0;
}

void TACSFileIn::CloseInput()
{
    CloseFile();
    FBusy = false;
}

void TACSFileIn::AbortInput()
{
    TACSInput::AbortInput();
    // Whatever the count was, the file is released now.
    for (int left = OpenCount; left > 0 && OpenCount > 0; --left) {
        try {
            CloseFile();
        } catch (...) {
            break;
        }
    }
    OpenCount = 0;
}

bool TACSFileIn::RestartIfLooping()
{
    if (!FLoop)
        return false;
    CloseInput();
    OpenInput();
    return true;
}

} // namespace kestrune
