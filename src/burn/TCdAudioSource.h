#pragma once

#include "pipeline/TACSFileIn.h"
#include "pipeline/TAudioFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class TSampleConverter;

// One queued file as CD audio: 44.1 kHz stereo 16-bit little-endian frames,
// handed out in blocks as they are asked for. The file is read through the
// program's reader for its type (by extension: WAV with its ADPCM and MPEG
// kinds, MP3, Ogg Vorbis, FLAC, APE) and taken to the CD format by the
// program's sample converter (libsoxr for the rate) only where it differs.
// Memory stays the same whatever the file's length: a reader's buffer and a
// block of converted audio.
//
// Length: Frames() is the file's length in CD frames, known before the first
// read when the reader knows the file's length (all but a FLAC or Ogg stream
// whose header does not say it); for a converted rate it is the file's
// length times 44100 / its rate, to the nearest frame. Reading hands out
// exactly that many frames: the resampler's last frame or two are cut or
// filled with silence to meet it, so the figures shown before writing are
// the figures written. A source that ends well short of its length, or runs
// on beyond it, fails the read. Measure() learns an unknown length by
// reading the file through once.
//
// Failures raise EACSException with a text the user can act on: a file the
// program cannot read by its type, a file that is missing, unreadable or
// damaged (the reader's own text, "Cannot read "NAME": REASON.").
//
// Threads: one thread at a time; a source may be made on one thread and
// read on another.
class TCdAudioSource {
public:
    // Takes the file's name; nothing is opened yet. Raises when the file's
    // type is not one the program reads.
    explicit TCdAudioSource(std::string FileName);
    ~TCdAudioSource();
    TCdAudioSource(const TCdAudioSource&) = delete;
    TCdAudioSource& operator=(const TCdAudioSource&) = delete;

    const std::string& FileName() const { return FFileName; }

    // Looks at the file without reading its audio: its format and length.
    // Raises when the file cannot be read. Probed again after a Close, so a
    // file that changed or vanished since is noticed.
    void Probe();
    // The file's own format; probes first when needed.
    TAudioFormat SourceFormat();
    // True when the file is not CD audio as it stands and goes through the
    // sample converter.
    bool Converts();
    // Length in CD frames (1/44100 s of stereo), -1 when the reader cannot
    // tell before reading; probes first when needed.
    std::int64_t Frames();
    // Sectors the audio fills (the last one padded with silence), -1 when
    // the length is unknown.
    std::int64_t Sectors();
    // Reads the file through when its length is unknown (without keeping
    // anything) and returns Frames(), then known.
    std::int64_t Measure();

    // Opens the file for reading from its beginning.
    void Open();
    // Fills Buffer with up to MaxFrames frames of CD audio (4 bytes each);
    // returns the frames written, 0 at the end. Opens first when needed.
    std::size_t Read(std::uint8_t* Buffer, std::size_t MaxFrames);
    // Lets go of the file; never raises. The next Read starts over.
    void Close();

private:
    void MakeReader();
    // The format and length of the open reader.
    void TakeFormat();
    // Frames of CD audio that the file's own frames become.
    std::int64_t CdFramesOf(std::int64_t SourceFrames) const;
    // Decodes and converts the next block into Pending; false at the end of
    // the file.
    bool Refill();
    // How far a converted length may stray from Frames() before the source
    // counts as broken.
    std::int64_t Slack() const;

    std::string FFileName;
    std::unique_ptr<TACSFileIn> Reader;
    bool Probed = false;
    TAudioFormat Format;
    std::int64_t FFrames = -1;

    bool Opened = false;
    bool ReaderEnded = false;
    std::unique_ptr<TSampleConverter> Converter;
    std::vector<std::uint8_t> Raw;
    std::vector<std::uint8_t> Pending;
    std::size_t PendingAt = 0;
    std::int64_t Delivered = 0; // frames handed out since Open
};

} // namespace kestrune
