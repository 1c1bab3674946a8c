#pragma once

#include "codecs/TMpg123Library.h"
#include "pipeline/TACSFileIn.h"
#include "pipeline/TStreamFailure.h"

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <sys/types.h>

namespace kestrune {

// Decodes an MP3 file (MPEG audio layers I to III) into 16-bit PCM through
// libmpg123, block by block as the output asks: the file is read through the
// input's stream, never held whole, so it serves playback as well as a
// conversion.
//
// Opening scans the frames once, so TotalSamples and Size are exact before
// the first read (the encoder's delay and padding taken off, as mpg123 -w
// does), and SeekSample lands on the frame asked for. The rate and channel
// count are those of the first frame; later frames of another layout are
// converted to it by the library. Damaged frames are skipped. A file without
// one decodable frame fails in OpenInput ("not an MP3 file"). A file cut
// short of the length its own header announces hands out what it holds and
// then fails the read at its end with how much was read, rather than passing
// for a shorter file.
//
// Threads: opened on the thread that runs the output, read and closed on the
// output's worker. Opening raises EACSException "libmpg123.so.0 library could
// not be loaded." when the library is missing.
class TMP3In : public TACSFileIn {
public:
    static constexpr int BufferSize = 16384; // bytes of PCM per refill

    TMP3In();
    ~TMP3In() override;

    int ReadBlock(void* Buffer, int Count) override;
    void OpenFile() override;
    void CloseFile() override;
    // Positions at a frame (sample) of the file; false when the input is not
    // Rewindable.
    bool SeekSample(std::int64_t Sample) override;

private:
    friend struct TMP3InCallbacks;
    // The byte source of libmpg123: the input's Stream.
    ssize_t StreamRead(void* Into, std::size_t Bytes);
    off_t StreamSeek(off_t Offset, int Whence);

    void Open();
    // A decoder reading the stream from where it stands; null (the file
    // marked unreadable) when libmpg123 finds nothing it can read there.
    TMpg123Library::THandle OpenDecoder();
    // Takes the layout of the decoder's first frame and keeps the decoder
    // to it; false (the file marked unreadable) when there is no frame.
    bool FirstFormat(mpg123_handle* Decoder);
    // What the file is when it is plainly another format ("a WAV file"),
    // else empty.
    std::string ForeignFormat();
    void Release();
    int Fill();
    void FailIfCut(int Pending);
    // After a loop restart that left the file open: back to StartSample.
    void RewindIfStillOpen();

    std::shared_ptr<const TMpg123Library> Lib;
    TMpg123Library::THandle Handle;
    bool HandleOpen = false; // the decoder holds the first frame's layout
    std::array<std::uint8_t, BufferSize> Buffer{};
    bool EndOfFile = false;
    // Frames the stream's own header (a Xing or Info frame) announces; -1
    // when it has none.
    std::int64_t AnnouncedSamples = -1;
    // An exception raised by the stream inside a callback, carried across
    // the library and raised again once it returns.
    TStreamFailure StreamFailure;
};

} // namespace kestrune
