#include "formats/TFLACIn.h"

#include "codecs/TFLACLibrary.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kestrune {

// libFLAC's callbacks. They run inside libFLAC's calls on the thread that
// made them; no exception may cross libFLAC's C frames, so stream failures
// become statuses and libFLAC reports them through its state.
struct TFLACInCallbacks {
    static FLAC__StreamDecoderReadStatus Read(const FLAC__StreamDecoder*, FLAC__byte Buffer[], size_t* Bytes,
                                              void* Client)
    {
        TFLACIn& in = *static_cast<TFLACIn*>(Client);
        try {
            const std::int64_t n = in.Stream->Read(Buffer, static_cast<std::int64_t>(*Bytes));
            *Bytes = static_cast<size_t>(std::max<std::int64_t>(0, n));
            return *Bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                               : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
        } catch (...) {
            *Bytes = 0;
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        }
    }

    static FLAC__StreamDecoderSeekStatus Seek(const FLAC__StreamDecoder*, FLAC__uint64 Offset, void* Client)
    {
        TFLACIn& in = *static_cast<TFLACIn*>(Client);
        try {
            if (Offset > static_cast<FLAC__uint64>(std::numeric_limits<std::int64_t>::max()))
                return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
            in.Stream->Seek(static_cast<std::int64_t>(Offset), TSeekOrigin::soBeginning);
            return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
        } catch (...) {
            return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        }
    }

    static FLAC__StreamDecoderTellStatus Tell(const FLAC__StreamDecoder*, FLAC__uint64* Offset, void* Client)
    {
        TFLACIn& in = *static_cast<TFLACIn*>(Client);
        try {
            *Offset = static_cast<FLAC__uint64>(in.Stream->Position());
            return FLAC__STREAM_DECODER_TELL_STATUS_OK;
        } catch (...) {
            return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
        }
    }

    static FLAC__StreamDecoderLengthStatus Length(const FLAC__StreamDecoder*, FLAC__uint64* Length, void* Client)
    {
        TFLACIn& in = *static_cast<TFLACIn*>(Client);
        try {
            *Length = static_cast<FLAC__uint64>(in.Stream->Size());
            return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
        } catch (...) {
            return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
        }
    }

    static FLAC__bool Eof(const FLAC__StreamDecoder*, void* Client)
    {
        TFLACIn& in = *static_cast<TFLACIn*>(Client);
        try {
            return in.Stream->Position() >= in.Stream->Size();
        } catch (...) {
            return true;
        }
    }

    static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*, const FLAC__Frame* Frame,
                                                const FLAC__int32* const Buffer[], void* Client)
    {
        TFLACIn& in = *static_cast<TFLACIn*>(Client);
        const FLAC__FrameHeader& h = Frame->header;
        // A frame that disagrees with STREAMINFO (damage) is passed over: its
        // samples cannot be laid out in the format the input reports.
        if (!in.FValid || !in.GotStreamInfo || static_cast<int>(h.channels) != in.FChannels ||
            static_cast<int>(h.bits_per_sample) != in.StreamBits)
            return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        const int channels = in.FChannels;
        const int bytes = in.FBitsPerSample / 8;
        const std::size_t frames = h.blocksize;
        const std::size_t need = frames * static_cast<std::size_t>(channels) * static_cast<std::size_t>(bytes);
        // The buffer only grows (to the largest frame of the file), so
        // decoding allocates nothing per frame.
        if (in.Frame.size() < need)
            in.Frame.resize(need);
        std::uint8_t* out = in.Frame.data();
        const unsigned shift = static_cast<unsigned>(in.FBitsPerSample - in.StreamBits);
        for (std::size_t i = 0; i < frames; ++i) {
            for (int c = 0; c < channels; ++c) {
                const std::uint32_t v = static_cast<std::uint32_t>(Buffer[c][i]) << shift;
                switch (bytes) {
                case 1:
                    // FLAC's 8-bit samples are signed, the pipeline's unsigned.
                    *out++ = static_cast<std::uint8_t>((v + 128U) & 0xFFU);
                    break;
                case 2:
                    *out++ = static_cast<std::uint8_t>(v & 0xFFU);
                    *out++ = static_cast<std::uint8_t>((v >> 8) & 0xFFU);
                    break;
                default:
                    *out++ = static_cast<std::uint8_t>(v & 0xFFU);
                    *out++ = static_cast<std::uint8_t>((v >> 8) & 0xFFU);
                    *out++ = static_cast<std::uint8_t>((v >> 16) & 0xFFU);
                    break;
                }
            }
        }
        in.FrameStart = 0;
        in.FrameEnd = static_cast<int>(need);
        in.FrameDelivered = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* Block, void* Client)
    {
        TFLACIn& in = *static_cast<TFLACIn*>(Client);
        if (Block->type != FLAC__METADATA_TYPE_STREAMINFO || in.GotStreamInfo)
            return;
        const FLAC__StreamMetadata_StreamInfo& si = Block->data.stream_info;
        in.GotStreamInfo = true;
        in.FSampleRate = static_cast<int>(si.sample_rate);
        in.FChannels = static_cast<int>(si.channels);
        in.StreamBits = static_cast<int>(si.bits_per_sample);
        // Depths between the pipeline's are widened to the next one up.
        in.FBitsPerSample = in.StreamBits <= 8 ? 8 : in.StreamBits <= 16 ? 16 : 24;
        in.FTotalSamples = static_cast<std::int64_t>(std::min<FLAC__uint64>(si.total_samples, 1ULL << 40));
        in.LengthKnown = in.FTotalSamples > 0;
        in.FSize = in.LengthKnown ? in.FTotalSamples * (in.FBitsPerSample / 8) * in.FChannels : -1;
        if (in.FChannels > 2)
            in.Invalidate("FLAC with " + std::to_string(in.FChannels) + " channels is not supported");
        else if (in.StreamBits > 24)
            in.Invalidate(std::to_string(in.StreamBits) + "-bit FLAC samples are not supported");
        else if (in.FSampleRate == 0)
            in.Invalidate("the sample rate is 0");
    }

    static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus Status, void* Client)
    {
        // libFLAC resynchronises by itself and would go on with a gap; the
        // first damage in the audio is kept and ends the read after the call
        // (no exception may cross libFLAC). Damage before the first frame
        // is judged by the open.
        TFLACIn& in = *static_cast<TFLACIn*>(Client);
        if (!in.InMetadata && in.Damage.empty())
            in.Damage = in.Library->DecoderErrorStatus(Status);
    }
};

void TFLACIn::TDecoderDeleter::operator()(FLAC__StreamDecoder* D) const
{
    if (D && Library)
        Library->decoder_delete(D);
}

TFLACIn::TFLACIn() = default;

TFLACIn::~TFLACIn()
{
    if (OpenCount > 0) {
        try {
            Release();
        } catch (...) {
        }
    }
}

void TFLACIn::OpenFile()
{
    if (OpenCount == 0) {
        if (!StreamSupplied && FileName().empty())
            throw EACSException("File name is not assigned");
        // Bound on the first open: without libFLAC only FLAC fails.
        Library = TFLACLibrary::Load();
        if (!Library->HasDecoder())
            throw EACSException("Failed to initialize FLAC decoder. (" + std::string(TFLACLibrary::SoName) +
                                " lacks the stream decoder)");
        FValid = true;
        InvalidReason.clear();
        FSampleRate = FChannels = FBitsPerSample = StreamBits = 0;
        FTotalSamples = 0;
        FSize = 0;
        GotStreamInfo = LengthKnown = EndOfFile = SeekFailed = false;
        Damage.clear();
        FrameStart = FrameEnd = 0;
        OpenOwnStream();
        try {
            Stream->Seek(0, TSeekOrigin::soBeginning);
            Decoder = TDecoderHandle(Library->decoder_new(), TDecoderDeleter{Library.get()});
            if (!Decoder)
                throw EACSException("Failed to initialize FLAC decoder.");
            // A stream that carries an MD5 of its audio is checked against it
            // when it is read through from its start.
            if (Library->decoder_set_md5_checking)
                Library->decoder_set_md5_checking(Decoder.get(), true);
            const FLAC__StreamDecoderInitStatus status = Library->decoder_init_stream(
                Decoder.get(), &TFLACInCallbacks::Read, &TFLACInCallbacks::Seek, &TFLACInCallbacks::Tell,
                &TFLACInCallbacks::Length, &TFLACInCallbacks::Eof, &TFLACInCallbacks::Write,
                &TFLACInCallbacks::Metadata, &TFLACInCallbacks::Error, this);
            if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK)
                throw EACSException("Failed to initialize FLAC decoder. (" + Library->DecoderInitStatus(status) + ")");
            InMetadata = true;
            const bool ok = Library->decoder_process_until_end_of_metadata(Decoder.get());
            InMetadata = false;
            if (!GotStreamInfo)
                Invalidate("not a FLAC file");
            else if (!ok && FValid)
                Invalidate("damaged FLAC header (" + Library->DecoderState(Library->decoder_get_state(Decoder.get())) +
                           ")");
        } catch (...) {
            Release();
            throw;
        }
    }
    ++OpenCount;
}

void TFLACIn::Release()
{
    if (Decoder) {
        Library->decoder_finish(Decoder.get());
        Decoder.reset();
    }
    std::vector<std::uint8_t>().swap(Frame);
    FrameStart = FrameEnd = 0;
    ReleaseStream();
}

void TFLACIn::CloseFile()
{
    CountClose([this] { Release(); });
}

void TFLACIn::OpenInput()
{
    TACSFileIn::OpenInput();
    if (SeekFailed) {
        CloseInput();
        throw EACSException("Cannot read " + Name() + ": cannot seek to frame " + std::to_string(StartSample()) + ".");
    }
    // Without a length in STREAMINFO the file is read to its end.
    if (!LengthKnown && EndSample() == -1)
        FSize = -1;
}

bool TFLACIn::SeekSample(std::int64_t Sample)
{
    OpenFile();
    bool ok = true;
    if (FValid && Decoder) {
        FrameStart = FrameEnd = 0;
        FrameDelivered = false;
        EndOfFile = false;
        if (LengthKnown && Sample >= FTotalSamples) {
            // At or past the end: nothing is left to hand out.
            EndOfFile = true;
        } else {
            // libFLAC hands the frame holding the target to the write
            // callback, starting at the target; it is kept for ReadBlock.
            // libFLAC's probing for the frame is no damage of the audio.
            InMetadata = true;
            ok = Library->decoder_seek_absolute(Decoder.get(),
                                                static_cast<FLAC__uint64>(std::max<std::int64_t>(0, Sample)));
            InMetadata = false;
            if (!ok) {
                SeekFailed = true;
                FrameStart = FrameEnd = 0;
            }
        }
    }
    CloseFile();
    return ok;
}

std::string TFLACIn::ReadSoFar() const
{
    const auto seconds = [this](std::int64_t Bytes) {
        const int frameBytes = FChannels * (FBitsPerSample / 8);
        const double frames = static_cast<double>(Bytes) / frameBytes;
        char text[32];
        std::snprintf(text, sizeof text, "%.2f s", frames / FSampleRate);
        return std::string(text);
    };
    return Size() >= 0 ? seconds(Position()) + " of " + seconds(Size()) + " read" : seconds(Position()) + " read";
}

void TFLACIn::JudgeDamage()
{
    if (Damage.empty())
        return;
    // libFLAC loses sync on a frame cut by the end of the file as on one
    // damaged in the middle; whether any audio follows tells them apart.
    const std::string readSoFar = ReadSoFar();
    for (int attempt = 0; attempt < 64; ++attempt) {
        FrameDelivered = false;
        const bool ok = Library->decoder_process_single(Decoder.get());
        if (FrameDelivered || !ok)
            break;
        const FLAC__StreamDecoderState state = Library->decoder_get_state(Decoder.get());
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM) {
            // Without a length the file's end is the audio's end (a capture
            // that was never finished); with one, EndOfStream reports it cut.
            Damage.clear();
            FrameDelivered = false;
            return;
        }
        if (state == FLAC__STREAM_DECODER_ABORTED)
            break;
    }
    throw EACSException("Error reading FLAC file: the audio is damaged after " + readSoFar + " (" + Damage + ").");
}

void TFLACIn::EndOfStream()
{
    EndOfFile = true;
    if (Size() >= 0 && Position() < Size())
        throw EACSException("Error reading FLAC file: the file ends inside its audio: " + ReadSoFar() + ".");
    // The MD5 covers the whole stream; a read from the start (libFLAC stops
    // checking after a seek) can judge it now.
    if (StartSample() == 0 && EndSample() == -1 && !Library->decoder_finish(Decoder.get()))
        throw EACSException("Error reading FLAC file: the audio does not match the file's MD5 checksum (" +
                            ReadSoFar() + ").");
}

bool TFLACIn::NextFrame()
{
    FrameStart = FrameEnd = 0;
    if (EndOfFile)
        return false;
    if (Size() >= 0 && Position() >= Size()) {
        EndOfStream();
        return false;
    }
    for (;;) {
        FrameDelivered = false;
        const bool ok = Library->decoder_process_single(Decoder.get());
        JudgeDamage();
        if (FrameDelivered)
            return true;
        const FLAC__StreamDecoderState state = Library->decoder_get_state(Decoder.get());
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM) {
            EndOfStream();
            return false;
        }
        if (!ok || state == FLAC__STREAM_DECODER_ABORTED)
            throw EACSException("Error reading FLAC file (" + Library->DecoderState(state) + ")");
        // A frame passed over or a block read: decode on.
    }
}

int TFLACIn::ReadBlock(void* Buffer, int Count)
{
    if (!Busy())
        throw EACSException("The Stream is not opened");
    if (Count <= 0)
        return 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (FrameStart >= FrameEnd && !NextFrame()) {
            if (attempt == 0 && RestartIfLooping())
                continue;
            return 0;
        }
        std::int64_t n = std::min(Count, FrameEnd - FrameStart);
        if (Size() >= 0)
            n = std::min<std::int64_t>(n, Size() - Position());
        if (n <= 0) {
            FrameStart = FrameEnd;
            EndOfFile = true;
            if (attempt == 0 && RestartIfLooping())
                continue;
            return 0;
        }
        std::memcpy(Buffer, Frame.data() + FrameStart, static_cast<size_t>(n));
        FrameStart += static_cast<int>(n);
        FPosition += n;
        return static_cast<int>(n);
    }
    return 0;
}

} // namespace kestrune
