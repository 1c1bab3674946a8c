#pragma once

#include "pipeline/TACSFileIn.h"

#include <FLAC/stream_decoder.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class TFLACLibrary;

// Reads FLAC files through libFLAC's stream decoder and hands out PCM of 8,
// 16 or 24 bits: 8-bit samples in the pipeline's unsigned form; depths
// between (12, 20 bits) are widened to the next of those three.
//
// A file of more than 2 channels or more than 24 bits per sample is not
// Valid and fails in OpenInput with the reason. Every frame is handed out,
// the last one included; with the total length known the input hands out
// exactly Size bytes, and a file whose STREAMINFO gives no length (a stream
// that was cut or never finished) is read to its end with Size -1. Damage is
// never a shorter success: a damaged frame, a file that ends before the
// length its STREAMINFO gives, and audio that does not match the STREAMINFO
// MD5 (checked when the whole file was read) make ReadBlock raise "Error
// reading FLAC file: ..." with how far the read came.
//
// Threads: opened on the thread that runs the output, read and closed on the
// output's worker.
class TFLACIn : public TACSFileIn {
public:
    // Loads nothing; opening raises EACSException "libFLAC.so.12 library
    // could not be loaded." when libFLAC is missing.
    TFLACIn();
    ~TFLACIn() override;

    void OpenInput() override;
    int ReadBlock(void* Buffer, int Count) override;
    void OpenFile() override;
    void CloseFile() override;
    // Positions the decoder at a frame (sample index); false when libFLAC
    // cannot seek there.
    bool SeekSample(std::int64_t Sample) override;

private:
    struct TDecoderDeleter {
        const TFLACLibrary* Library;
        void operator()(FLAC__StreamDecoder* D) const;
    };
    using TDecoderHandle = std::unique_ptr<FLAC__StreamDecoder, TDecoderDeleter>;

    friend struct TFLACInCallbacks;

    void Release();
    // Decodes frames until one delivers PCM; false at the end of the stream.
    // Raises when the audio is damaged, ends before its announced length,
    // or does not match its MD5.
    bool NextFrame();
    void EndOfStream();
    // Raises when libFLAC complained about the audio and more audio follows
    // (damage); a complaint at the very end is left to EndOfStream (a cut).
    void JudgeDamage();
    // "1.52 s of 3.00 s read": how far the read came.
    std::string ReadSoFar() const;

    std::shared_ptr<const TFLACLibrary> Library;
    TDecoderHandle Decoder{nullptr, TDecoderDeleter{nullptr}};

    // The decoded frame: interleaved PCM in the pipeline's form, and a 0-based
    // cursor (the next byte to hand out, the end of the valid bytes).
    std::vector<std::uint8_t> Frame;
    int FrameStart = 0;
    int FrameEnd = 0;
    bool FrameDelivered = false;

    int StreamBits = 0;       // bits per sample in the file
    bool LengthKnown = false; // STREAMINFO carries the total sample count
    bool GotStreamInfo = false;
    bool EndOfFile = false;
    bool SeekFailed = false;
    bool InMetadata = false;
    std::string Damage; // libFLAC's first complaint about the audio
};

} // namespace kestrune
