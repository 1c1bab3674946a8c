#pragma once

#include "pipeline/EACSException.h"
#include "pipeline/TACSStreamedInput.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace kestrune {

// Base of the format readers. A reader implements OpenFile, CloseFile and
// SeekSample; opening is counted, so a format query while the input is open
// neither reopens nor closes the file.
//
// A file that the reader cannot read (not its format, damaged, a depth it
// cannot carry) fails in OpenInput with a message naming the file and the
// reason, so a run never reports an empty result as a finished job. A file
// whose length is known to be zero frames fails likewise ("it holds no
// audio"). A reader whose file ends before the length its own header
// announces (a cut file) hands out what it holds and then fails the read,
// saying how much was read.
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
    // The counterpart of OpenOwnStream: the reader's own stream is freed, a
    // supplied one is rewound so the next open starts at its beginning.
    void ReleaseStream();
    // Counts a CloseFile: Release runs on the close that matches the first
    // OpenFile, and a close without an open does nothing.
    template <typename TRelease>
    void CountClose(TRelease&& Release)
    {
        if (OpenCount == 1)
            Release();
        if (OpenCount > 0)
            --OpenCount;
    }
    // The first OpenFile of a reader that parses through a library: Reset
    // clears what the last file left, the stream is opened (one that cannot
    // be opened makes the file unreadable, and the open is not counted: there
    // is nothing to close), then Parse; a parse that throws or finds the file
    // unreadable lets go of it again through Release. Counted.
    template <typename TReset, typename TParse, typename TRelease>
    void OpenParsed(TReset&& Reset, TParse&& Parse, TRelease&& Release)
    {
        if (OpenCount == 0) {
            FValid = true;
            InvalidReason.clear();
            Reset();
            try {
                OpenOwnStream();
            } catch (const std::exception& e) {
                Invalidate(AsReason(e.what()));
                return;
            }
            try {
                Parse();
            } catch (...) {
                Release();
                throw;
            }
            if (!FValid) {
                Release();
                return;
            }
        }
        ++OpenCount;
    }
    // The file as messages name it: in quotes, or "the stream".
    std::string Name() const;
    // An exception text used as a reason inside "Cannot read ...: <reason>."
    static std::string AsReason(const std::string& Message);

    // ReadBlock of a reader that decodes into a buffer of its own (Data, with
    // the BufStart/BufEnd cursor): hands out up to Count bytes, refilling the
    // buffer through Refill (the bytes it put there; 0 at the end). At the
    // end a looping input starts again; Restarted then runs before the one
    // more refill, for a reader whose file stayed open.
    template <typename TRefill, typename TRestarted>
    int ServeFromBuffer(const std::uint8_t* Data, void* Out, int Count, TRefill&& Refill, TRestarted&& Restarted);

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

template <typename TRefill, typename TRestarted>
int TACSFileIn::ServeFromBuffer(const std::uint8_t* Data, void* Out, int Count, TRefill&& Refill,
                                TRestarted&& Restarted)
{
    if (!Busy())
        throw EACSException("The Stream is not opened");
    if (Count <= 0)
        return 0;
    if (BufStart > BufEnd) {
        BufStart = 1;
        BufEnd = Refill();
        if (BufEnd <= 0) {
            if (!RestartIfLooping())
                return 0;
            Restarted();
            BufStart = 1;
            BufEnd = Refill();
            if (BufEnd <= 0)
                return 0;
        }
    }
    const int n = std::min(Count, BufEnd - BufStart + 1);
    std::memcpy(Out, Data + BufStart - 1, static_cast<size_t>(n));
    BufStart += n;
    FPosition += n;
    return n;
}

} // namespace kestrune
