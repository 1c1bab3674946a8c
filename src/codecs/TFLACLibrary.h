#pragma once

#include "codecs/TDynamicLibrary.h"

#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>

#include <memory>
#include <string>

namespace kestrune {

// The entry points of libFLAC that the FLAC components call, looked up by
// name from "libFLAC.so.12". Only types and constants come from the library's
// header; every call goes through these pointers, so the program starts and
// runs without libFLAC and only the FLAC format reports it missing.
//
// libFLAC 1.4 has no seekable stream encoder and decoder any more: its stream
// encoder and decoder, initialised with seek, tell and length callbacks, do
// the same work (the encoder rewrites STREAMINFO when it finishes, the decoder
// seeks to a sample).
//
// An entry point the library lacks is null; users check Has... before use.
// The library is loaded once per process and shared; encoder and decoder
// instances are independent, so any thread may use its own.
class TFLACLibrary {
public:
    static constexpr const char* SoName = "libFLAC.so.12";

    // The shared binding. Raises EACSException "libFLAC.so.12 library could
    // not be loaded." when the library is missing (and tries again next time).
    static std::shared_ptr<const TFLACLibrary> Load();

    // Stream encoder.
    decltype(&::FLAC__stream_encoder_new) encoder_new = nullptr;
    decltype(&::FLAC__stream_encoder_delete) encoder_delete = nullptr;
    decltype(&::FLAC__stream_encoder_set_verify) encoder_set_verify = nullptr;
    decltype(&::FLAC__stream_encoder_set_streamable_subset) encoder_set_streamable_subset = nullptr;
    decltype(&::FLAC__stream_encoder_set_channels) encoder_set_channels = nullptr;
    decltype(&::FLAC__stream_encoder_set_bits_per_sample) encoder_set_bits_per_sample = nullptr;
    decltype(&::FLAC__stream_encoder_set_sample_rate) encoder_set_sample_rate = nullptr;
    decltype(&::FLAC__stream_encoder_set_do_mid_side_stereo) encoder_set_do_mid_side_stereo = nullptr;
    decltype(&::FLAC__stream_encoder_set_loose_mid_side_stereo) encoder_set_loose_mid_side_stereo = nullptr;
    decltype(&::FLAC__stream_encoder_set_blocksize) encoder_set_blocksize = nullptr;
    decltype(&::FLAC__stream_encoder_set_max_lpc_order) encoder_set_max_lpc_order = nullptr;
    decltype(&::FLAC__stream_encoder_set_qlp_coeff_precision) encoder_set_qlp_coeff_precision = nullptr;
    decltype(&::FLAC__stream_encoder_set_do_qlp_coeff_prec_search) encoder_set_do_qlp_coeff_prec_search = nullptr;
    decltype(&::FLAC__stream_encoder_set_min_residual_partition_order) encoder_set_min_residual_partition_order =
        nullptr;
    decltype(&::FLAC__stream_encoder_set_max_residual_partition_order) encoder_set_max_residual_partition_order =
        nullptr;
    decltype(&::FLAC__stream_encoder_set_do_exhaustive_model_search) encoder_set_do_exhaustive_model_search = nullptr;
    decltype(&::FLAC__stream_encoder_set_total_samples_estimate) encoder_set_total_samples_estimate = nullptr;
    decltype(&::FLAC__stream_encoder_init_stream) encoder_init_stream = nullptr;
    decltype(&::FLAC__stream_encoder_process_interleaved) encoder_process_interleaved = nullptr;
    decltype(&::FLAC__stream_encoder_finish) encoder_finish = nullptr;
    decltype(&::FLAC__stream_encoder_get_state) encoder_get_state = nullptr;
    decltype(&::FLAC__stream_encoder_get_blocksize) encoder_get_blocksize = nullptr;
    // Optional: without it a compression level falls back to the writer's
    // own settings.
    decltype(&::FLAC__stream_encoder_set_compression_level) encoder_set_compression_level = nullptr;
    const char* const* EncoderStateString = nullptr;
    const char* const* EncoderInitStatusString = nullptr;

    // Stream decoder.
    decltype(&::FLAC__stream_decoder_new) decoder_new = nullptr;
    decltype(&::FLAC__stream_decoder_delete) decoder_delete = nullptr;
    decltype(&::FLAC__stream_decoder_init_stream) decoder_init_stream = nullptr;
    decltype(&::FLAC__stream_decoder_process_until_end_of_metadata) decoder_process_until_end_of_metadata = nullptr;
    decltype(&::FLAC__stream_decoder_process_single) decoder_process_single = nullptr;
    decltype(&::FLAC__stream_decoder_get_state) decoder_get_state = nullptr;
    decltype(&::FLAC__stream_decoder_seek_absolute) decoder_seek_absolute = nullptr;
    decltype(&::FLAC__stream_decoder_flush) decoder_flush = nullptr;
    decltype(&::FLAC__stream_decoder_finish) decoder_finish = nullptr;
    // Optional: without it a file's MD5 is not checked.
    decltype(&::FLAC__stream_decoder_set_md5_checking) decoder_set_md5_checking = nullptr;
    const char* const* DecoderStateString = nullptr;
    const char* const* DecoderInitStatusString = nullptr;
    const char* const* DecoderErrorStatusString = nullptr;

    // True when every entry point that encoding (decoding) needs was found.
    bool HasEncoder() const;
    bool HasDecoder() const;

    // libFLAC's names of encoder and decoder states, for messages; a neutral
    // text when the library lacks the table.
    std::string EncoderState(FLAC__StreamEncoderState State) const;
    std::string EncoderInitStatus(FLAC__StreamEncoderInitStatus Status) const;
    std::string DecoderState(FLAC__StreamDecoderState State) const;
    std::string DecoderInitStatus(FLAC__StreamDecoderInitStatus Status) const;
    std::string DecoderErrorStatus(FLAC__StreamDecoderErrorStatus Status) const;

private:
    TFLACLibrary();

    TDynamicLibrary Library;
};

} // namespace kestrune
