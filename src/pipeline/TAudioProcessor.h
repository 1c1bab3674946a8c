#pragma once

#include "pipeline/TACSConverter.h"

#include <cstdint>
#include <functional>

namespace kestrune {

class TAudioProcessor;

using TAudioProcessorInitEvent = std::function<void(TComponent* Sender, std::int64_t& TotalSize)>;
using TAudioProcessorFlushEvent = std::function<void(TComponent* Sender)>;
using TGetParameterEvent = std::function<void(TComponent* Sender, int& Param)>;
using TGetDataEvent = std::function<void(TComponent* Sender, void* Data, int& n)>;

// Passes its input through and lets the owner replace any input operation
// with a handler. A data handler does the reading itself (usually
// Input()->ReadBlock on the same buffer), may change the bytes in place, and
// may hand on fewer bytes, 0 (end) or -1 (nothing this time).
//
// Handlers run where the operation runs: OnInit on the thread that called the
// output's Run, the others on the output's worker.
class TAudioProcessor final : public TACSConverter {
public:
    int InBitsPerSample() override;
    int InChannels() override;
    int InSampleRate() override;
    int TotalTime() override;
    int ReadBlock(void* Buffer, int Size) override;
    void OpenInput() override;
    void CloseInput() override;

    TAudioProcessorInitEvent OnInit;
    TAudioProcessorFlushEvent OnFlush;
    TGetDataEvent OnGetData;
    TGetParameterEvent OnGetSampleRate;
    TGetParameterEvent OnGetBitsPerSample;
    TGetParameterEvent OnGetChannels;
    TGetParameterEvent OnGetTotalTime;
    TGetParameterEvent OnGetSize;

private:
    TACSInput& Require() const;
    int Parameter(const TGetParameterEvent& Handler, int (TACSInput::*Query)());
};

} // namespace kestrune
