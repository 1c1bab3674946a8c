#include "codecs/TFLACLibrary.h"

namespace kestrune {

namespace {

// A name out of one of libFLAC's string tables. The tables have one entry per
// enumeration value; a value past the last known one (a newer library) is
// reported by number rather than read past the table.
std::string TableText(const char* const* Table, int Value, int Count)
{
    if (Table && Value >= 0 && Value < Count && Table[Value])
        return Table[Value];
    return "libFLAC status " + std::to_string(Value);
}

} // namespace

TFLACLibrary::TFLACLibrary() : Library(SoName)
{
    encoder_new = Library.Entry<decltype(encoder_new)>("FLAC__stream_encoder_new");
    encoder_delete = Library.Entry<decltype(encoder_delete)>("FLAC__stream_encoder_delete");
    encoder_set_verify = Library.Entry<decltype(encoder_set_verify)>("FLAC__stream_encoder_set_verify");
    encoder_set_streamable_subset =
        Library.Entry<decltype(encoder_set_streamable_subset)>("FLAC__stream_encoder_set_streamable_subset");
    encoder_set_channels = Library.Entry<decltype(encoder_set_channels)>("FLAC__stream_encoder_set_channels");
    encoder_set_bits_per_sample =
        Library.Entry<decltype(encoder_set_bits_per_sample)>("FLAC__stream_encoder_set_bits_per_sample");
    encoder_set_sample_rate = Library.Entry<decltype(encoder_set_sample_rate)>("FLAC__stream_encoder_set_sample_rate");
    encoder_set_do_mid_side_stereo =
        Library.Entry<decltype(encoder_set_do_mid_side_stereo)>("FLAC__stream_encoder_set_do_mid_side_stereo");
    encoder_set_loose_mid_side_stereo =
        Library.Entry<decltype(encoder_set_loose_mid_side_stereo)>("FLAC__stream_encoder_set_loose_mid_side_stereo");
    encoder_set_blocksize = Library.Entry<decltype(encoder_set_blocksize)>("FLAC__stream_encoder_set_blocksize");
    encoder_set_compression_level =
        Library.Entry<decltype(encoder_set_compression_level)>("FLAC__stream_encoder_set_compression_level");
    encoder_set_max_lpc_order =
        Library.Entry<decltype(encoder_set_max_lpc_order)>("FLAC__stream_encoder_set_max_lpc_order");
    encoder_set_qlp_coeff_precision =
        Library.Entry<decltype(encoder_set_qlp_coeff_precision)>("FLAC__stream_encoder_set_qlp_coeff_precision");
    encoder_set_do_qlp_coeff_prec_search = Library.Entry<decltype(encoder_set_do_qlp_coeff_prec_search)>(
        "FLAC__stream_encoder_set_do_qlp_coeff_prec_search");
    encoder_set_min_residual_partition_order = Library.Entry<decltype(encoder_set_min_residual_partition_order)>(
        "FLAC__stream_encoder_set_min_residual_partition_order");
    encoder_set_max_residual_partition_order = Library.Entry<decltype(encoder_set_max_residual_partition_order)>(
        "FLAC__stream_encoder_set_max_residual_partition_order");
    encoder_set_do_exhaustive_model_search = Library.Entry<decltype(encoder_set_do_exhaustive_model_search)>(
        "FLAC__stream_encoder_set_do_exhaustive_model_search");
    encoder_set_total_samples_estimate =
        Library.Entry<decltype(encoder_set_total_samples_estimate)>("FLAC__stream_encoder_set_total_samples_estimate");
    encoder_init_stream = Library.Entry<decltype(encoder_init_stream)>("FLAC__stream_encoder_init_stream");
    encoder_process_interleaved =
        Library.Entry<decltype(encoder_process_interleaved)>("FLAC__stream_encoder_process_interleaved");
    encoder_finish = Library.Entry<decltype(encoder_finish)>("FLAC__stream_encoder_finish");
    encoder_get_state = Library.Entry<decltype(encoder_get_state)>("FLAC__stream_encoder_get_state");
    encoder_get_blocksize = Library.Entry<decltype(encoder_get_blocksize)>("FLAC__stream_encoder_get_blocksize");
    EncoderStateString = static_cast<const char* const*>(Library.Symbol("FLAC__StreamEncoderStateString"));
    EncoderInitStatusString = static_cast<const char* const*>(Library.Symbol("FLAC__StreamEncoderInitStatusString"));

    decoder_new = Library.Entry<decltype(decoder_new)>("FLAC__stream_decoder_new");
    decoder_delete = Library.Entry<decltype(decoder_delete)>("FLAC__stream_decoder_delete");
    decoder_init_stream = Library.Entry<decltype(decoder_init_stream)>("FLAC__stream_decoder_init_stream");
    decoder_process_until_end_of_metadata = Library.Entry<decltype(decoder_process_until_end_of_metadata)>(
        "FLAC__stream_decoder_process_until_end_of_metadata");
    decoder_process_single = Library.Entry<decltype(decoder_process_single)>("FLAC__stream_decoder_process_single");
    decoder_get_state = Library.Entry<decltype(decoder_get_state)>("FLAC__stream_decoder_get_state");
    decoder_seek_absolute = Library.Entry<decltype(decoder_seek_absolute)>("FLAC__stream_decoder_seek_absolute");
    decoder_flush = Library.Entry<decltype(decoder_flush)>("FLAC__stream_decoder_flush");
    decoder_finish = Library.Entry<decltype(decoder_finish)>("FLAC__stream_decoder_finish");
    decoder_set_md5_checking =
        Library.Entry<decltype(decoder_set_md5_checking)>("FLAC__stream_decoder_set_md5_checking");
    DecoderStateString = static_cast<const char* const*>(Library.Symbol("FLAC__StreamDecoderStateString"));
    DecoderInitStatusString = static_cast<const char* const*>(Library.Symbol("FLAC__StreamDecoderInitStatusString"));
    DecoderErrorStatusString = static_cast<const char* const*>(Library.Symbol("FLAC__StreamDecoderErrorStatusString"));
}

std::shared_ptr<const TFLACLibrary> TFLACLibrary::Load()
{
    return ProcessBinding<TFLACLibrary>([] { return new TFLACLibrary(); });
}

bool TFLACLibrary::HasEncoder() const
{
    return encoder_new && encoder_delete && encoder_set_verify && encoder_set_streamable_subset &&
           encoder_set_channels && encoder_set_bits_per_sample && encoder_set_sample_rate &&
           encoder_set_do_mid_side_stereo && encoder_set_loose_mid_side_stereo && encoder_set_blocksize &&
           encoder_set_max_lpc_order && encoder_set_qlp_coeff_precision && encoder_set_do_qlp_coeff_prec_search &&
           encoder_set_min_residual_partition_order && encoder_set_max_residual_partition_order &&
           encoder_set_do_exhaustive_model_search && encoder_set_total_samples_estimate && encoder_init_stream &&
           encoder_process_interleaved && encoder_finish && encoder_get_state;
}

bool TFLACLibrary::HasDecoder() const
{
    return decoder_new && decoder_delete && decoder_init_stream && decoder_process_until_end_of_metadata &&
           decoder_process_single && decoder_get_state && decoder_seek_absolute && decoder_flush && decoder_finish;
}

// The table sizes are those of libFLAC 1.4's enumerations.
std::string TFLACLibrary::EncoderState(FLAC__StreamEncoderState State) const
{
    return TableText(EncoderStateString, static_cast<int>(State), FLAC__STREAM_ENCODER_MEMORY_ALLOCATION_ERROR + 1);
}

std::string TFLACLibrary::EncoderInitStatus(FLAC__StreamEncoderInitStatus Status) const
{
    return TableText(EncoderInitStatusString, static_cast<int>(Status),
                     FLAC__STREAM_ENCODER_INIT_STATUS_ALREADY_INITIALIZED + 1);
}

std::string TFLACLibrary::DecoderState(FLAC__StreamDecoderState State) const
{
    return TableText(DecoderStateString, static_cast<int>(State), FLAC__STREAM_DECODER_UNINITIALIZED + 1);
}

std::string TFLACLibrary::DecoderInitStatus(FLAC__StreamDecoderInitStatus Status) const
{
    return TableText(DecoderInitStatusString, static_cast<int>(Status),
                     FLAC__STREAM_DECODER_INIT_STATUS_ALREADY_INITIALIZED + 1);
}

std::string TFLACLibrary::DecoderErrorStatus(FLAC__StreamDecoderErrorStatus Status) const
{
    return TableText(DecoderErrorStatusString, static_cast<int>(Status),
                     FLAC__STREAM_DECODER_ERROR_STATUS_BAD_METADATA + 1);
}

} // namespace kestrune
