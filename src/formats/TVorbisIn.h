#pragma once

#include "pipeline/TACSFileIn.h"
#include "pipeline/TStreamFailure.h"

#include <array>
#include <cstdint>
#include <exception>
#include <memory>

namespace kestrune {

class TOggVorbisLibrary;
struct TVorbisFileHandle;

// Decodes an Ogg Vorbis file into 16-bit PCM through libvorbisfile, which
// reads FileName or a supplied stream through callbacks over the TStream.
//
// A chained file is read link after link; a chain whose links differ in
// rate or channel count fails to open with the reason, since one reader
// hands out one layout and leaving a link out would lose its audio. The reader never hands out
// more than Size bytes. A file libvorbisfile cannot open fails in OpenInput
// with the reason; damaged data further in gives less audio (a gap is
// skipped, as oggdec does), never more than Size. A file whose last page is
// cut short (the file ends inside its audio) fails the read with how much was
// read, rather than passing for a shorter file.
//
// Threads: opened on the thread that runs the output, read and closed on the
// output's worker. Opening the input raises EACSException "<soname> library
// could not be loaded." when one of the four libraries is missing.
class TVorbisIn : public TACSFileIn {
public:
    static constexpr int BufferSize = 8192; // bytes of PCM per refill

    TVorbisIn();
    ~TVorbisIn() override;

    int ReadBlock(void* Buffer, int Count) override;
    void OpenFile() override;
    void CloseFile() override;
    // Positions at a frame of the file; false when the input is not
    // Rewindable.
    bool SeekSample(std::int64_t Sample) override;

private:
    friend struct TVorbisInCallbacks;
    // The byte source of libvorbisfile: the input's Stream.
    std::size_t StreamRead(void* Into, std::size_t Bytes);
    int StreamSeek(std::int64_t Offset, int Whence);
    long StreamTell();

    void Open();
    void Release();
    int Fill();
    // Raises when the stream's last Ogg page runs past the end of the file
    // (a cut file), saying how much was read (Pending bytes not yet counted).
    void FailIfCut(int Pending);
    // After a loop restart that left the file open: back to StartSample.
    void RewindIfStillOpen();

    std::shared_ptr<const TOggVorbisLibrary> Lib;
    std::unique_ptr<TVorbisFileHandle> File;
    std::array<std::uint8_t, BufferSize> Buffer{};
    int CurrentSection = -1; // the link ov_read last read from
    bool EndOfFile = false;
    // An exception raised by the stream inside a callback, carried across
    // the library and raised again once it returns.
    TStreamFailure StreamFailure;
};

} // namespace kestrune
