#include "formats/TFLACOut.h"

#include "codecs/TFLACLibrary.h"
#include "common/Rounding.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/EACSException.h"
#include "pipeline/TAudioFormat.h"

#include <algorithm>

namespace kestrune {

// libFLAC's callbacks. They run inside libFLAC's calls on the thread that
// made them; no exception may cross libFLAC's C frames, so each failure is
// kept for the step to raise and reported to libFLAC as a status.
struct TFLACOutCallbacks {
    static void Keep(TFLACOut& Out, const char* What)
    {
        if (Out.CallbackFailure.empty())
            Out.CallbackFailure = What;
    }

    static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte Buffer[], size_t Bytes,
                                                uint32_t, uint32_t, void* Client)
    {
        TFLACOut& out = *static_cast<TFLACOut*>(Client);
        try {
            out.Stream->Write(Buffer, static_cast<std::int64_t>(Bytes));
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        } catch (const std::exception& e) {
            Keep(out, e.what());
        } catch (...) {
            Keep(out, "Cannot write the FLAC file.");
        }
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }

    static FLAC__StreamEncoderSeekStatus Seek(const FLAC__StreamEncoder*, FLAC__uint64 Offset, void* Client)
    {
        TFLACOut& out = *static_cast<TFLACOut*>(Client);
        try {
            out.Stream->Seek(static_cast<std::int64_t>(Offset), TSeekOrigin::soBeginning);
            return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
        } catch (const std::exception& e) {
            Keep(out, e.what());
        } catch (...) {
            Keep(out, "Cannot seek in the FLAC file.");
        }
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }

    static FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder*, FLAC__uint64* Offset, void* Client)
    {
        TFLACOut& out = *static_cast<TFLACOut*>(Client);
        try {
            *Offset = static_cast<FLAC__uint64>(out.Stream->Position());
            return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
        } catch (const std::exception& e) {
            Keep(out, e.what());
        } catch (...) {
            Keep(out, "Cannot seek in the FLAC file.");
        }
        return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
    }
};

void TFLACOut::TEncoderDeleter::operator()(FLAC__StreamEncoder* E) const
{
    if (E && Library)
        Library->encoder_delete(E);
}

TFLACOut::TFLACOut() = default;

TFLACOut::~TFLACOut()
{
    DestroyWorker();
}

void TFLACOut::SetBestModelSearch(bool Value)
{
    FBestModelSearch = Value;
    if (Value) {
        FEnableMidSideStereo = true;
        FEnableLooseMidSideStereo = false;
    }
}

void TFLACOut::SetEnableLooseMidSideStereo(bool Value)
{
    FEnableLooseMidSideStereo = Value;
    if (Value)
        FEnableMidSideStereo = true;
}

void TFLACOut::Configure(TACSInput& In, bool Subset)
{
    const TFLACLibrary& lib = *Library;
    FLAC__StreamEncoder* e = Encoder.get();
    lib.encoder_set_verify(e, FVerify);
    lib.encoder_set_streamable_subset(e, Subset);
    lib.encoder_set_channels(e, static_cast<uint32_t>(Channels));
    lib.encoder_set_bits_per_sample(e, static_cast<uint32_t>(Bits));
    lib.encoder_set_sample_rate(e, static_cast<uint32_t>(In.InSampleRate()));
    if (In.Size() > 0)
        lib.encoder_set_total_samples_estimate(
            e, static_cast<FLAC__uint64>(DivRoundHalfEven(In.Size(), static_cast<std::int64_t>(Bits / 8) * Channels)));
    // A preset sets everything below as the flac tool's level does (libFLAC
    // drops mid-side coding for anything but two channels by itself).
    if (FCompressionLevel >= 0 && lib.encoder_set_compression_level) {
        lib.encoder_set_compression_level(e, static_cast<uint32_t>(FCompressionLevel));
        return;
    }
    // Mid-side coding needs two channels; libFLAC is not told about it otherwise.
    if (Channels == 2) {
        lib.encoder_set_do_mid_side_stereo(e, FEnableMidSideStereo);
        lib.encoder_set_loose_mid_side_stereo(e, FEnableLooseMidSideStereo);
    }
    lib.encoder_set_blocksize(e, FBlockSize);
    lib.encoder_set_max_lpc_order(e, FMaxLPCOrder);
    // Coefficients of more than 31 - bits per sample bits could overflow
    // libFLAC's 32-bit prediction; the property keeps the lowered value.
    if (Bits + FQLPCoeffPrecision > 31)
        FQLPCoeffPrecision = static_cast<std::uint16_t>(31 - Bits);
    lib.encoder_set_qlp_coeff_precision(e, FQLPCoeffPrecision);
    lib.encoder_set_do_qlp_coeff_prec_search(e, FQLPCoeffPrecisionSearch);
    lib.encoder_set_min_residual_partition_order(e, FMinResidualPartitionOrder);
    lib.encoder_set_max_residual_partition_order(e, FMaxResidualPartitionOrder);
    lib.encoder_set_do_exhaustive_model_search(e, FBestModelSearch);
}

void TFLACOut::OpenOutput()
{
    EndOfInput = false;
    CallbackFailure.clear();
    // Bound on the first run: without libFLAC only FLAC fails.
    Library = TFLACLibrary::Load();
    if (!Library->HasEncoder())
        throw EACSException("Failed to initialize FLAC encoder. (" + std::string(TFLACLibrary::SoName) +
                            " lacks the stream encoder)");
    OpenOwnStream();
    Encoder = TEncoderHandle(Library->encoder_new(), TEncoderDeleter{Library.get()});
    if (!Encoder) {
        FreeOwnStream();
        throw EACSException("Failed to initialize FLAC encoder.");
    }
    TACSInput& in = RequireInput();
    try {
        in.OpenInput();
    } catch (...) {
        Encoder.reset();
        FreeOwnStream();
        throw;
    }
    try {
        Channels = in.InChannels();
        Bits = in.InBitsPerSample();
        if (!IsPipelineDepth(Bits))
            throw EACSException("Cannot encode " + std::to_string(Bits) + " bit sound into FLAC.");
        if (Channels < 1)
            throw EACSException("Cannot encode sound without channels into FLAC.");
        Configure(in, true);
        FLAC__StreamEncoderInitStatus status =
            Library->encoder_init_stream(Encoder.get(), &TFLACOutCallbacks::Write, &TFLACOutCallbacks::Seek,
                                         &TFLACOutCallbacks::Tell, nullptr, this);
        if (status == FLAC__STREAM_ENCODER_INIT_STATUS_NOT_STREAMABLE) {
            // The user's settings lie outside the streamable subset (a block
            // size above 4608, say): honour them instead of refusing. A refused
            // set-up leaves the encoder uninitialised, so it can try again.
            Library->encoder_set_streamable_subset(Encoder.get(), false);
            status = Library->encoder_init_stream(Encoder.get(), &TFLACOutCallbacks::Write, &TFLACOutCallbacks::Seek,
                                                  &TFLACOutCallbacks::Tell, nullptr, this);
        }
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            std::string reason = status == FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR
                                     ? Library->EncoderState(Library->encoder_get_state(Encoder.get()))
                                     : Library->EncoderInitStatus(status);
            if (!CallbackFailure.empty())
                reason = CallbackFailure;
            throw EACSException("Failed to initialize FLAC encoder. (" + reason + ")");
        }
        // A block size of 0 lets libFLAC choose one; the steps follow
        // whatever block size the encoder really uses.
        std::size_t frames = FBlockSize;
        if (Library->encoder_get_blocksize)
            frames = Library->encoder_get_blocksize(Encoder.get());
        if (frames == 0)
            throw EACSException("Failed to initialize FLAC encoder. (block size 0)");
        Block.assign(frames * static_cast<std::size_t>(Channels) * static_cast<std::size_t>(Bits / 8), 0);
        Samples.assign(frames * static_cast<std::size_t>(Channels), 0);
    } catch (...) {
        Encoder.reset();
        AbandonOpen(in);
        throw;
    }
}

bool TFLACOut::WriteStep(bool Abort)
{
    if (!CanOutput.load())
        return true;
    UpdateProgress();
    if (Abort) {
        // Frames already taken from the input are not lost on a stop.
        Encode(TakeHeldFrames());
        return false;
    }
    if (EndOfInput)
        return false;
    // Whole blocks, so that each step hands libFLAC one block.
    const TFrames got = ReadFrames(Block.data(), static_cast<int>(Block.size()), Channels * (Bits / 8), true);
    EndOfInput = got.Ended;
    if (got.Count == 0)
        return !got.Ended;
    Encode(got.Count);
    return true;
}

void TFLACOut::Encode(int Frames)
{
    if (Frames == 0 || !Encoder)
        return;
    const int frames = Frames;
    const std::size_t count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(Channels);
    const std::uint8_t* p = Block.data();
    FLAC__int32* s = Samples.data();
    switch (Bits) {
    case 8:
        // The pipeline's 8-bit samples are unsigned, FLAC's are signed.
        for (std::size_t i = 0; i < count; ++i)
            s[i] = static_cast<FLAC__int32>(p[i]) - 128;
        break;
    case 16:
        for (std::size_t i = 0; i < count; ++i, p += 2)
            s[i] = GetLe16s(p);
        break;
    default: // 24
        for (std::size_t i = 0; i < count; ++i, p += 3) {
            const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                    (static_cast<std::uint32_t>(p[2]) << 16);
            s[i] = static_cast<FLAC__int32>(v << 8) >> 8;
        }
        break;
    }
    if (!Library->encoder_process_interleaved(Encoder.get(), Samples.data(), static_cast<uint32_t>(frames)))
        FailEncode();
}

void TFLACOut::FailEncode()
{
    // A write that failed (a full disk) says more than libFLAC's state.
    if (!CallbackFailure.empty())
        throw EACSException(CallbackFailure);
    throw EACSException("Failed to encode data. (" + Library->EncoderState(Library->encoder_get_state(Encoder.get())) +
                        ")");
}

void TFLACOut::CloseOutput()
{
    std::exception_ptr failure;
    if (Encoder) {
        // Completes the last frame and rewrites STREAMINFO (length, MD5)
        // through the seek callback.
        if (!Library->encoder_finish(Encoder.get()))
            failure = std::make_exception_ptr(EACSException(
                !CallbackFailure.empty() ? CallbackFailure
                                         : "Failed to encode data. (" +
                                               Library->EncoderState(Library->encoder_get_state(Encoder.get())) + ")"));
        Encoder.reset();
    }
    std::vector<std::uint8_t>().swap(Block);
    std::vector<FLAC__int32>().swap(Samples);
    FinishClose(failure);
}

} // namespace kestrune
