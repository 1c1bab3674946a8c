#pragma once

#include "pipeline/TACSFileOut.h"

#include <FLAC/stream_encoder.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

class TFLACLibrary;

// Encodes the stream it pulls into a FLAC file through libFLAC's stream
// encoder. Takes 8-, 16- and 24-bit PCM; 8-bit samples are turned from the
// pipeline's unsigned form into FLAC's signed form.
//
// Every step encodes one block of BlockSize frames (the last one may be
// shorter). Settings outside FLAC's streamable subset (a block size above
// 4608 at 48 kHz or below, say) are honoured: the subset restriction is then
// switched off. A set-up that libFLAC refuses, a rejected block and a failed
// write all end the run through OnThreadException with the reason; a file
// that cannot be finished is never reported as done.
//
// FileMode is always foRewrite: every run creates its file anew.
//
// Threads: the setters are called by the owner while the output is idle;
// OpenOutput runs on the thread that calls Run, WriteStep and CloseOutput on
// the worker.
class TFLACOut : public TACSFileOut {
public:
    // Loads nothing; a run fails with "libFLAC.so.12 library could not be
    // loaded." when libFLAC is missing.
    TFLACOut();
    ~TFLACOut() override;

    // libFLAC's compression preset, 0 (fastest) to 8 (smallest), as the flac
    // tool's -0 ... -8; it then chooses the block size, predictors, partition
    // orders and mid-side coding itself, and the settings of those below are
    // not used. -1 (the default) uses them.
    int CompressionLevel() const { return FCompressionLevel; }
    void SetCompressionLevel(int Value) { FCompressionLevel = Value >= -1 && Value <= 8 ? Value : FCompressionLevel; }
    // Exhaustive model search. Setting it true also sets
    // EnableMidSideStereo true and EnableLooseMidSideStereo false.
    bool BestModelSearch() const { return FBestModelSearch; }
    void SetBestModelSearch(bool Value);
    // Frames (samples per channel) in each FLAC block and in each step.
    std::uint16_t BlockSize() const { return FBlockSize; }
    void SetBlockSize(std::uint16_t Value) { FBlockSize = Value; }
    // Mid-side stereo coding; stereo input only.
    bool EnableMidSideStereo() const { return FEnableMidSideStereo; }
    void SetEnableMidSideStereo(bool Value) { FEnableMidSideStereo = Value; }
    // Adaptive mid-side switching; stereo input only. Setting it true also
    // sets EnableMidSideStereo true.
    bool EnableLooseMidSideStereo() const { return FEnableLooseMidSideStereo; }
    void SetEnableLooseMidSideStereo(bool Value);
    // Highest linear prediction order; 0 means fixed predictors only.
    std::uint16_t MaxLPCOrder() const { return FMaxLPCOrder; }
    void SetMaxLPCOrder(std::uint16_t Value) { FMaxLPCOrder = Value; }
    std::uint16_t MaxResidualPartitionOrder() const { return FMaxResidualPartitionOrder; }
    void SetMaxResidualPartitionOrder(std::uint16_t Value) { FMaxResidualPartitionOrder = Value; }
    std::uint16_t MinResidualPartitionOrder() const { return FMinResidualPartitionOrder; }
    void SetMinResidualPartitionOrder(std::uint16_t Value) { FMinResidualPartitionOrder = Value; }
    // Quantised predictor coefficient precision in bits; 0 lets libFLAC
    // choose. A run lowers it to 31 - bits per sample when the sum would pass
    // 31, and the property keeps the lowered value.
    std::uint16_t QLPCoeffPrecision() const { return FQLPCoeffPrecision; }
    void SetQLPCoeffPrecision(std::uint16_t Value) { FQLPCoeffPrecision = Value; }
    bool QLPCoeffPrecisionSearch() const { return FQLPCoeffPrecisionSearch; }
    void SetQLPCoeffPrecisionSearch(bool Value) { FQLPCoeffPrecisionSearch = Value; }
    // Decode the output alongside and compare (slower).
    bool Verify() const { return FVerify; }
    void SetVerify(bool Value) { FVerify = Value; }

protected:
    void OpenOutput() override;
    bool WriteStep(bool Abort) override;
    void CloseOutput() override;

private:
    struct TEncoderDeleter {
        const TFLACLibrary* Library;
        void operator()(FLAC__StreamEncoder* E) const;
    };
    using TEncoderHandle = std::unique_ptr<FLAC__StreamEncoder, TEncoderDeleter>;

    void Configure(TACSInput& In, bool Subset);
    // Encodes Frames whole frames from the start of the block buffer.
    void Encode(int Frames);
    [[noreturn]] void FailEncode();

    friend struct TFLACOutCallbacks;

    std::shared_ptr<const TFLACLibrary> Library;

    int FCompressionLevel = -1;
    bool FBestModelSearch = false;
    std::uint16_t FBlockSize = 4608;
    bool FEnableMidSideStereo = true;
    bool FEnableLooseMidSideStereo = false;
    std::uint16_t FMaxLPCOrder = 0;
    std::uint16_t FMaxResidualPartitionOrder = 0;
    std::uint16_t FMinResidualPartitionOrder = 0;
    std::uint16_t FQLPCoeffPrecision = 0;
    bool FQLPCoeffPrecisionSearch = false;
    bool FVerify = false;

    // The run's state, owned by the worker once the run started.
    TEncoderHandle Encoder{nullptr, TEncoderDeleter{nullptr}};
    std::vector<std::uint8_t> Block;  // PCM of one block, as the input hands it out
    std::vector<FLAC__int32> Samples; // the same block widened for libFLAC
    int Bits = 0;
    int Channels = 0;
    bool EndOfInput = false;
    // The first failure inside a callback (a write that raised), which the
    // step reports instead of libFLAC's generic state.
    std::string CallbackFailure;
};

} // namespace kestrune
