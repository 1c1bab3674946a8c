#include "pipeline/TAudioProcessor.h"

#include "pipeline/EACSException.h"

namespace kestrune {

TACSInput& TAudioProcessor::Require() const
{
    TACSInput* in = Input();
    if (!in)
        throw EACSException("Input is not assigned.");
    return *in;
}

int TAudioProcessor::Parameter(const TGetParameterEvent& Handler, int (TACSInput::*Query)())
{
    TACSInput& in = Require();
    if (Handler) {
        int value = 0;
        Handler(this, value);
        return value;
    }
    return (in.*Query)();
}

int TAudioProcessor::InSampleRate()
{
    return Parameter(OnGetSampleRate, &TACSInput::InSampleRate);
}

int TAudioProcessor::InBitsPerSample()
{
    return Parameter(OnGetBitsPerSample, &TACSInput::InBitsPerSample);
}

int TAudioProcessor::InChannels()
{
    return Parameter(OnGetChannels, &TACSInput::InChannels);
}

int TAudioProcessor::TotalTime()
{
    return Parameter(OnGetTotalTime, &TACSInput::TotalTime);
}

int TAudioProcessor::ReadBlock(void* Buffer, int Size)
{
    Require();
    int result = Size;
    if (OnGetData)
        OnGetData(this, Buffer, result);
    else
        result = ReadFromInput(Buffer, Size);
    if (result > 0)
        FPosition += result;
    return result;
}

void TAudioProcessor::OpenInput()
{
    TACSInput& in = Require();
    if (OnInit) {
        // The handler opens the input itself and may say how much will come.
        std::int64_t total = Size();
        OnInit(this, total);
        FSize = total;
    } else {
        in.OpenInput();
        if (OnGetSize) {
            int size = 0;
            OnGetSize(this, size);
            FSize = size;
        } else {
            FSize = in.Size();
        }
    }
    FBusy = true;
    FPosition = 0;
}

void TAudioProcessor::CloseInput()
{
    TACSInput& in = Require();
    if (OnFlush)
        OnFlush(this);
    else
        in.CloseInput();
    FBusy = false;
}

} // namespace kestrune
