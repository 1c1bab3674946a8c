#pragma once

#include "pipeline/TACSStreamedInput.h"

#include <cstdint>
#include <string>

namespace kestrune {

// Base of the format readers. A reader implements OpenFile, CloseFile and
// SeekSample; opening is counted, so a format query while the input is open
// neither reopens nor closes the file.
//
// A file that the reader cannot read (not its format, damaged, a depth it
// cannot carry) fails in OpenInput with a message naming the file and the
// reason, so a run never reports an empty result as a finished job.
class TACSFileIn : public TACSStreamedInput {
public:
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value) { FFileName = Value; }
    bool Loop() const { return FLoop; }
    void SetLoop(bool Value) { FLoop = Value; }
    // First frame handed out, and the frame after the last one (-1: the end).
    std::int64_t StartSample() const { return FStartSample; }
    void SetStartSample(std::int64_t Value) { FStartSample = Value; }
    std::int64_t EndSample() const { return FEndSample; }
    void SetEndSample(std::int64_t Value) { FEndSample = Value; }

    int InBitsPerSample() override;
    int InChannels() override;
    int InSampleRate() override;
    int TotalTime() override;
    void OpenInput() override;
    void CloseInput() override;
    void AbortInput() override;

    // Opens (first call) and parses the file; sets Valid, the format fields,
    // TotalSamples and Size. Counted.
    virtual void OpenFile() = 0;
    // Releases the file on the call that matches the first OpenFile.
    virtual void CloseFile() = 0;
    // Positions the stream at a frame; false when the input cannot seek.
    virtual bool SeekSample(std::int64_t Sample) = 0;

    bool Valid() const { return FValid; }
    std::int64_t TotalSamples() const { return FTotalSamples; }

protected:
    // Called by readers when their data ends: with Loop set the input starts
    // again from StartSample and true is returned.
    bool RestartIfLooping();
    // Marks the file unreadable with the reason shown to the user.
    void Invalidate(const std::string& Reason)
    {
        FValid = false;
        InvalidReason = Reason;
    }
    // Opens FileName for reading when no stream was supplied.
    void OpenOwnStream();

    int OpenCount = 0;
    bool FValid = false;
    std::string InvalidReason;
    int FBitsPerSample = 0;
    int FSampleRate = 0;
    int FChannels = 0;
    std::int64_t FTotalSamples = 0;

private:
    template <typename F>
    int Query(F Field);

    std::string FFileName;
    bool FLoop = false;
    std::int64_t FStartSample = 0;
    std::int64_t FEndSample = -1;
};

} // namespace kestrune
