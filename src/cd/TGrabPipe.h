#pragma once

#include "pipeline/TACSInput.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace kestrune {

// The audio of a grab on its way into an encoder while the disc is read: the
// grabber's worker puts blocks in, the encoder's worker takes them out as
// the input of its chain. Only a few blocks wait in between, so a slow
// encoder holds the reading back rather than filling memory, and nothing of
// the track is kept on disk but the encoded file.
//
// Either side may end the run: a grab that fails or is stopped makes the
// encoder's next read raise with the reason (its file is then not made); an
// encoder that stops reading (a full disk, a failed open) makes the
// grabber's next Put return false.
class TGrabPipe final : public TACSInput {
public:
    // The format of the audio put in, and how many bytes the grab expects
    // to put (for the encoder's progress).
    TGrabPipe(int SampleRate, int Channels, int BitsPerSample, std::int64_t ExpectedBytes);

    // The grabber's side, on its worker.
    // Waits while the pipe is full; false once the encoder has gone.
    bool Put(const std::uint8_t* Data, std::size_t Bytes);
    // Every byte was put: the encoder's input ends after them.
    void Finish();
    // The grab ended without the whole track: the encoder's run fails with
    // Reason.
    void Fail(const std::string& Reason);

    // The encoder's side.
    int InBitsPerSample() override { return FBits; }
    int InChannels() override { return FChannels; }
    int InSampleRate() override { return FRate; }
    int TotalTime() override;
    // Waits a moment for audio; -1 when none came (the output asks again,
    // and can be stopped in between), 0 at the end, and raises with the
    // grab's reason when the grab failed.
    int ReadBlock(void* Buffer, int Size) override;
    void OpenInput() override;
    // The encoder is done with the pipe, whatever the reason: Put fails from
    // now on, so the grab does not wait for a reader that is gone.
    void CloseInput() override;

private:
    const int FRate;
    const int FChannels;
    const int FBits;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<std::vector<std::uint8_t>> FBlocks;
    std::size_t FFirstUsed = 0; // bytes of the front block already handed out
    std::size_t FQueued = 0;    // bytes waiting
    bool FFinished = false;
    bool FFailed = false;
    bool FClosed = false;
    std::string FReason;
};

} // namespace kestrune
