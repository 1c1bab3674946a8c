#pragma once

#include "formats/TVorbisBitRate.h"
#include "pipeline/TACSFileOut.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class TOggVorbisLibrary;
class TVorbisEncoderState;

// Encodes the stream it pulls into an Ogg Vorbis file: quality-based
// (DesiredNominalBitrate brAutoSelect, quality Compression) or bit-rate
// managed (nominal, maximum and minimum rates). With FileMode foAppend an
// existing Ogg file gets a new logical stream chained after its own.
//
// 8-bit input is widened and 24-bit input scaled down; the encoder takes
// any of the pipeline's depths. An encoder set-up the library rejects, and a
// failed write (a full disk), end the run through OnThreadException. A Stop
// still ends the logical stream properly, so the file stays playable.
//
// Threads: the setters are called by the owner while the output is idle;
// OpenOutput runs on the thread that calls Run, WriteStep and CloseOutput on
// the worker. A run fails with "<soname> library could not be loaded." when
// one of the four libraries is missing.
class TVorbisOut : public TACSFileOut {
public:
    static constexpr int BufferSize = 65536; // bytes of PCM taken per step

    TVorbisOut();
    ~TVorbisOut() override;

    // Quality for quality-based encoding, 0 to 1 (libvorbis takes -0.1 to 1).
    float Compression() const { return FCompression; }
    void SetCompression(float Value) { FCompression = Value; }
    // Comment lines "NAME=value". The list is cleared after every run.
    const std::vector<std::string>& Comments() const { return FComments; }
    void SetComments(const std::vector<std::string>& Lines) { FComments = Lines; }

    TVorbisBitRate DesiredNominalBitrate() const { return FNominal; }
    // Also pulls the limits along: a minimum above v comes down to v, a
    // maximum below v goes up to v, and brAutoSelect resets the maximum.
    void SetDesiredNominalBitrate(TVorbisBitRate Value);
    TVorbisBitRate DesiredMaximumBitrate() const { return FMaximum; }
    // Taken only while the nominal rate is set and v is brAutoSelect or not
    // below it.
    void SetDesiredMaximumBitrate(TVorbisBitRate Value);
    TVorbisBitRate MinimumBitrate() const { return FMinimum; }
    // Taken only when v is not above the nominal rate.
    void SetMinimumBitrate(TVorbisBitRate Value);

    // Serial number of the logical stream written. When appending, a serial
    // the file already uses is replaced by the next free one.
    std::int32_t Serial() const { return FSerial; }
    void SetSerial(std::int32_t Value) { FSerial = Value; }
    // The serial the last run wrote (after the append rule).
    std::int32_t SerialWritten() const { return FSerialWritten; }

    void SetFileMode(TFileOutputMode Mode) override { FFileMode = Mode; }

protected:
    void OpenOutput() override;
    bool WriteStep(bool Abort) override;
    void CloseOutput() override;

private:
    void PrepareAppend(int Channels, int SampleRate);
    void StartEncoder(int Channels, int SampleRate);
    void Encode(const std::uint8_t* Pcm, int Frames);
    // Moves finished blocks into pages and writes them; Flush forces out a
    // page even when it is not full.
    void Drain();
    void WritePages(bool Flush);
    void FinishStream();

    std::shared_ptr<const TOggVorbisLibrary> Lib;

    float FCompression = 0.2F;
    std::vector<std::string> FComments;
    TVorbisBitRate FNominal = TVorbisBitRate::brAutoSelect;
    TVorbisBitRate FMaximum = TVorbisBitRate::brAutoSelect;
    TVorbisBitRate FMinimum = TVorbisBitRate::brAutoSelect;
    std::int32_t FSerial = 0;
    std::int32_t FSerialWritten = 0;

    // The run's state, owned by the worker once the run started.
    std::unique_ptr<TVorbisEncoderState> Encoder;
    std::vector<std::int32_t> UsedSerials; // serials already in an appended file
    std::array<std::uint8_t, BufferSize> Buffer{};
    int Channels = 0;
    int BitsPerSample = 0;
    bool EndOfStream = false;
};

} // namespace kestrune
