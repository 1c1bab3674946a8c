#pragma once

#include "codecs/TLameLibrary.h"
#include "formats/TMP3BitRate.h"
#include "pipeline/TACSFileOut.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrune {

// Encodes the stream it pulls into an MP3 file at a constant bit rate,
// always as two channels (a mono input becomes two equal channels), through
// LAME loaded at run time. 8- and 24-bit input is converted to the 16-bit
// samples the encoder takes. When the run ends the info frame that the
// encoder reserved at the start of the file is filled in (exact length,
// encoder delay and padding), and the ID3 tag properties that are not empty
// go into an ID3v1 tag at the end.
//
// Every run creates its file anew: FileMode stays foRewrite.
//
// Threads: the owner (window thread) calls the setters and Run; BitRate is
// read once per run in OpenOutput, on the thread that calls Run. WriteStep
// and CloseOutput run on the worker, which reads the tag properties at the
// end of the run. An encoder error or a failed write (a full disk) ends the
// run through OnThreadException; the file is then completed as far as it can
// be.
class TMP3Out : public TACSFileOut {
public:
    // Loads nothing: a run raises "libmp3lame.so.0 library could not be
    // loaded." when the encoder library is missing.
    TMP3Out();
    ~TMP3Out() override;

    TMP3BitRate BitRate() const { return FBitRate.load(); }
    // Any of the 18 bit rates, at any time (it applies from the next run);
    // a value outside the enumeration is ignored.
    void SetBitRate(TMP3BitRate Value);

    // Tag texts, UTF-8; written as ISO-8859-1 (other characters become "?").
    // An empty text adds nothing; all empty (the default) means no tag.
    std::string Id3TagTitle() const;
    std::string Id3TagArtist() const;
    std::string Id3TagAlbum() const;
    std::string Id3TagYear() const;
    std::string Id3TagTrack() const;
    std::string Id3TagComment() const;
    void SetId3TagTitle(const std::string& Value);
    void SetId3TagArtist(const std::string& Value);
    void SetId3TagAlbum(const std::string& Value);
    void SetId3TagYear(const std::string& Value);
    void SetId3TagTrack(const std::string& Value);
    void SetId3TagComment(const std::string& Value);

    // Frames the encoder takes per step at most, as 16-bit samples: 16384
    // bytes of 16-bit stereo (mono input: 8192 frames given as two channels).
    static constexpr int TransferBytes = 16384;
    // The encoder's worst case for one step: 1.25 × 8192 + 7200 bytes.
    static constexpr int MP3BufferBytes = 17440;

protected:
    void OpenOutput() override;
    bool WriteStep(bool Abort) override;
    void CloseOutput() override;

private:
    enum TTagField { tfTitle, tfArtist, tfAlbum, tfYear, tfTrack, tfComment, tfCount };
    std::string Tag(TTagField Field) const;
    void SetTag(TTagField Field, const std::string& Value);
    void Encode(int Frames);
    void WriteTags();
    void WriteInfoFrame();

    struct TEncoderCloser {
        std::shared_ptr<const TLameLibrary> Library;
        void operator()(lame_global_struct* Handle) const;
    };

    std::shared_ptr<const TLameLibrary> Lame;
    std::atomic<TMP3BitRate> FBitRate{TMP3BitRate::br128};
    mutable std::mutex TagMutex;
    std::string Tags[tfCount];

    // The run's state: made in OpenOutput, owned by the worker afterwards.
    std::unique_ptr<lame_global_struct, TEncoderCloser> Encoder;
    std::vector<std::uint8_t> InBuffer;  // PCM as the input delivers it
    std::vector<std::int16_t> Samples;   // 8- and 24-bit input widened or narrowed
    std::vector<std::uint8_t> MP3Buffer; // MP3BufferBytes
    int Channels = 0;
    int Bits = 0;
    int FrameBytes = 0;
    int StepFrames = 0;           // frames asked from the input per step
    std::int64_t StreamStart = 0; // where the MP3 data begins in Stream
};

} // namespace kestrune
