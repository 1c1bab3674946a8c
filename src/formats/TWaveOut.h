#pragma once

#include "formats/TRiffChunkWalk.h"
#include "formats/TWavType.h"
#include "pipeline/TACSFileOut.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace kestrune {

// Stores the stream it pulls as a RIFF WAVE file, plain PCM (8, 16 or 24
// bits) or IMA ADPCM of 16-bit input, as a new file or appended to an
// existing WAV file of the same format.
//
// Threads: the setters are called by the owner while the output is idle;
// OpenOutput runs on the thread that calls Run, WriteStep and CloseOutput on
// the worker. A failed read or write (a full disk) ends the run through
// OnThreadException; the header is still completed when it can be.
//
// RIFF size fields are 32-bit: a file past 4 GiB gets 0xFFFFFFFF in them,
// which the reader of this program takes as "up to the end of the file".
class TWaveOut : public TACSFileOut {
public:
    static constexpr int BufferSize = 16384; // bytes of PCM per step

    TWaveOut() = default;
    ~TWaveOut() override;

    TWavType WavType() const { return FWavType.load(); }
    // Only wtPCM and wtDVIADPCM, and only while idle; otherwise ignored.
    void SetWavType(TWavType Value);
    // ADPCM block size in bytes. Only while idle and only a size that mono
    // and stereo input can both be written in (AdpcmBlockProblem says
    // nothing for either); otherwise ignored. An append run takes the
    // existing file's value.
    std::uint16_t BlockSize() const { return FBlockSize.load(); }
    void SetBlockSize(std::uint16_t Value);
    // Why Channels-channel sound cannot be written in ADPCM blocks of
    // BlockSize bytes, as the run's failure text; empty when it can.
    static std::string AdpcmBlockProblem(int Channels, int BlockSize);
    // Stores foRewrite or foAppend as given.
    void SetFileMode(TFileOutputMode Mode) override { FFileMode = Mode; }

protected:
    void OpenOutput() override;
    bool WriteStep(bool Abort) override;
    void CloseOutput() override;

private:
    // Closes the input and the file, then raises Message (OpenOutput failures).
    [[noreturn]] void FailOpen(const std::string& Message);
    void OpenAppend(TACSInput& In);
    void WriteNewHeader(TACSInput& In);
    void WriteAdpcmBlock();
    void PatchHeader();
    void WriteLe32At(std::int64_t Offset, std::uint64_t Value);

    std::atomic<TWavType> FWavType{TWavType::wtPCM};
    std::atomic<std::uint16_t> FBlockSize{512};

    // The run's state, owned by the worker once the run started.
    std::array<std::uint8_t, BufferSize> Buffer{};
    std::vector<std::uint8_t> Block;
    bool EndOfInput = false;
    int Channels = 0;
    int SamplesPerBlock = 0;
    int PendingBytes = 0; // ADPCM: PCM bytes gathered for the next block
    std::uint8_t StepIndex[2] = {0, 0};

    bool Appending = false;
    std::int64_t HeaderStart = 0;    // where the header of a new file begins
    std::int64_t DataStart = 0;      // first byte of the wave data
    std::int64_t DataWritten = 0;    // bytes of wave data in the file (old and new)
    std::int64_t DataAnnounced = 0;  // what the header written at open says
    std::int64_t DeliveredBytes = 0; // ADPCM: PCM bytes the input delivered in this run
    std::int64_t DataSizeOffset = 0;
    std::int64_t FactOffset = -1;
    // Chunks that stood after the data of an appended file (a tag), put back
    // behind the new audio when the run ends.
    std::vector<std::uint8_t> Trailer;
};

} // namespace kestrune
