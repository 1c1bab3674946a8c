#include "formats/TMP3In.h"

#include "formats/TRiffChunkWalk.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kestrune {

// The callbacks handed to libmpg123. No exception may cross the C library: a
// failing stream is remembered and raised again after the call.
struct TMP3InCallbacks {
    static ssize_t Read(void* Source, void* Into, size_t Bytes)
    {
        return static_cast<TMP3In*>(Source)->StreamRead(Into, Bytes);
    }
    static off_t Seek(void* Source, off_t Offset, int Whence)
    {
        return static_cast<TMP3In*>(Source)->StreamSeek(Offset, Whence);
    }
};

TMP3In::TMP3In() = default;

TMP3In::~TMP3In()
{
    if (OpenCount > 0 || Handle) {
        try {
            Release();
        } catch (...) {
        }
    }
}

ssize_t TMP3In::StreamRead(void* Into, std::size_t Bytes)
{
    try {
        const std::int64_t got = Stream->Read(
            Into, static_cast<std::int64_t>(std::min<std::size_t>(Bytes, std::numeric_limits<ssize_t>::max())));
        return static_cast<ssize_t>(std::max<std::int64_t>(0, got));
    } catch (...) {
        StreamFailure.Keep();
        return -1;
    }
}

off_t TMP3In::StreamSeek(off_t Offset, int Whence)
{
    // -1 tells libmpg123 the source cannot seek; it then reads it as a
    // stream from its start, without a known length.
    if (!FRewindable)
        return -1;
    try {
        return static_cast<off_t>(Stream->Seek(Offset, SeekOriginOf(Whence)));
    } catch (...) {
        StreamFailure.Keep();
        return -1;
    }
}

void TMP3In::OpenFile()
{
    OpenParsed(
        [this] {
            EndOfFile = false;
            AnnouncedSamples = -1;
            FBitsPerSample = 16;
            FChannels = 0;
            FSampleRate = 0;
            FTotalSamples = 0;
            FSize = 0;
        },
        [this] { Open(); }, [this] { Release(); });
}

TMpg123Library::THandle TMP3In::OpenDecoder()
{
    TMpg123Library::THandle handle = TMpg123Library::NewDecoder16(Lib);
    mpg123_handle* h = handle.get();
    // Damage is skipped however long it runs, as the MP3 decoder does.
    if (Lib->param)
        Lib->param(h, MPG123_RESYNC_LIMIT, -1, 0.0);
    if (Lib->replace_reader_handle(h, &TMP3InCallbacks::Read, &TMP3InCallbacks::Seek, nullptr) != MPG123_OK)
        throw EACSException("libmpg123 refused to read through the program's streams");
    if (Lib->open_handle(h, this) != MPG123_OK) {
        StreamFailure.Rethrow();
        Invalidate("not an MP3 file");
        return {nullptr, TMpg123Library::THandleDeleter{Lib}};
    }
    return handle;
}

void TMP3In::Open()
{
    // Bound on the first file read, so a machine without the library can
    // still construct the input (and use every other format).
    Lib = TMpg123Library::Load();
    if (!Lib->HasStreamDecoder()) {
        Invalidate("libmpg123 lacks functions that the MP3 reader needs");
        return;
    }
    StreamFailure.Clear();
    if (const std::string foreign = ForeignFormat(); !foreign.empty()) {
        Invalidate("not an MP3 file (it is " + foreign + ")");
        return;
    }
    const std::int64_t start = FRewindable ? Stream->Position() : 0;

    // The length comes from a decoder of its own that only scans: a decoder
    // that has scanned and gone back to the start decodes a few samples one
    // step apart from one that has not, and the audio must be the same as
    // every other decoding of the file.
    if (FRewindable) {
        TMpg123Library::THandle scanner = OpenDecoder();
        struct TCloser {
            const TMpg123Library& Lib;
            mpg123_handle* Handle;
            ~TCloser()
            {
                if (Handle)
                    Lib.close(Handle);
            }
        } closer{*Lib, scanner.get()};
        if (!scanner || !FirstFormat(scanner.get()))
            return;
        // A length the stream's header gives is exact; one guessed from
        // the file's size is not worth keeping.
        long accurate = 0;
        if (Lib->getstate && Lib->getstate(scanner.get(), MPG123_ACCURATE, &accurate, nullptr) == MPG123_OK &&
            accurate) {
            const off_t announced = Lib->length(scanner.get());
            if (announced > 0)
                AnnouncedSamples = announced;
        }
        const int scanned = Lib->scan(scanner.get());
        StreamFailure.Rethrow();
        const off_t total = Lib->length(scanner.get());
        if (scanned != MPG123_OK || total <= 0) {
            Invalidate("not an MP3 file");
            return;
        }
        FTotalSamples = total;
        FSize = FTotalSamples * 2 * FChannels;
        Stream->Seek(start, TSeekOrigin::soBeginning);
    } else {
        // A stream that cannot seek has no known length.
        FSize = -1;
    }

    Handle = OpenDecoder();
    if (!Handle || !FirstFormat(Handle.get()))
        return;
    HandleOpen = true;
}

std::string TMP3In::ForeignFormat()
{
    // libmpg123 looks for frames wherever they may hide, and finds some in
    // the audio of other formats too; their signatures settle it first.
    if (!FRewindable)
        return {};
    const std::int64_t start = Stream->Position();
    std::uint8_t head[4]{};
    const bool whole = Stream->ReadExact(head, sizeof head);
    std::string foreign;
    if (whole && TRiffChunkWalk::SameCode(head, "RIFF")) {
        Stream->Seek(start, TSeekOrigin::soBeginning);
        const TWavHeader wav = TRiffChunkWalk::Walk(*Stream);
        // MPEG audio in a WAV file is still MPEG audio, which libmpg123 reads.
        if (wav.FormatTag != 0 && wav.FormatTag != 0x0050 && wav.FormatTag != 0x0055)
            foreign = "a WAV file";
    } else if (whole && std::memcmp(head, "fLaC", 4) == 0) {
        foreign = "a FLAC file";
    } else if (whole && std::memcmp(head, "OggS", 4) == 0) {
        foreign = "an Ogg file";
    } else if (whole && std::memcmp(head, "MAC ", 4) == 0) {
        foreign = "a Monkey's Audio file";
    }
    Stream->Seek(start, TSeekOrigin::soBeginning);
    return foreign;
}

bool TMP3In::FirstFormat(mpg123_handle* H)
{
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    const int status = Lib->getformat(H, &rate, &channels, &encoding);
    StreamFailure.Rethrow();
    if (status != MPG123_OK || rate <= 0 || channels < 1 || channels > 2 || encoding != MPG123_ENC_SIGNED_16) {
        Invalidate("not an MP3 file");
        return false;
    }
    FSampleRate = static_cast<int>(rate);
    FChannels = channels;
    // Every later frame comes out in the first frame's layout.
    Lib->format_none(H);
    Lib->format(H, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16);
    return true;
}

void TMP3In::Release()
{
    if (Handle)
        Lib->close(Handle.get());
    HandleOpen = false;
    Handle.reset();
    StreamFailure.Clear();
    ReleaseStream();
}

void TMP3In::CloseFile()
{
    CountClose([this] { Release(); });
}

bool TMP3In::SeekSample(std::int64_t Sample)
{
    if (!FRewindable)
        return false;
    const int before = OpenCount;
    OpenFile();
    if (OpenCount == before)
        return true; // the file could not be opened; OpenInput reports it
    if (FValid && HandleOpen) {
        const std::int64_t frame = std::clamp<std::int64_t>(Sample, 0, FTotalSamples);
        const off_t at = Lib->seek(Handle.get(), static_cast<off_t>(frame), SEEK_SET);
        try {
            StreamFailure.Rethrow();
        } catch (...) {
            CloseFile();
            throw;
        }
        EndOfFile = at < 0 || frame >= FTotalSamples;
        BufStart = 1;
        BufEnd = 0;
    }
    CloseFile();
    return true;
}

int TMP3In::Fill()
{
    const bool ended = EndOfFile;
    int filled = 0;
    while (filled < BufferSize && !EndOfFile) {
        std::size_t got = 0;
        const int status =
            Lib->read(Handle.get(), Buffer.data() + filled, static_cast<std::size_t>(BufferSize - filled), &got);
        StreamFailure.Rethrow();
        filled += static_cast<int>(got);
        if (status == MPG123_NEW_FORMAT)
            continue; // the layout is fixed; the library converts
        if (status != MPG123_OK) {
            EndOfFile = true; // MPG123_DONE, or damage it cannot pass
            break;
        }
        if (got == 0) {
            EndOfFile = true;
            break;
        }
    }
    const std::int64_t size = Size();
    if (size >= 0) {
        const std::int64_t left = size - Position();
        if (filled >= left) {
            filled = static_cast<int>(std::max<std::int64_t>(0, left));
            EndOfFile = true;
        }
    }
    // A read to the end of the whole file looks at how the file ends.
    if (!ended && EndOfFile && EndSample() == -1)
        FailIfCut(filled);
    return filled;
}

void TMP3In::FailIfCut(int Pending)
{
    const std::int64_t read = StartSample() + (Position() + Pending) / (std::int64_t{2} * std::max(1, FChannels));
    const bool shortOfHeader = AnnouncedSamples > 0 && read < AnnouncedSamples;
    const bool shortOfScan = Size() >= 0 && read < FTotalSamples;
    if (!shortOfHeader && !shortOfScan)
        return;
    char seconds[96];
    const double rate = std::max(1, FSampleRate);
    if (shortOfHeader)
        std::snprintf(seconds, sizeof seconds, "%.2f s of the %.2f s its header announces read",
                      static_cast<double>(read) / rate, static_cast<double>(AnnouncedSamples) / rate);
    else
        std::snprintf(seconds, sizeof seconds, "%.2f s read", static_cast<double>(read) / rate);
    throw EACSException(std::string("Error reading MP3 file: the file ends inside its audio, or is damaged: ") +
                        seconds + ".");
}

void TMP3In::RewindIfStillOpen()
{
    if (!EndOfFile)
        return;
    // The file stayed open (another open is outstanding): go back to the
    // first frame by seeking.
    EndOfFile = false;
    if (HandleOpen)
        Lib->seek(Handle.get(), static_cast<off_t>(StartSample()), SEEK_SET);
    StreamFailure.Rethrow();
}

int TMP3In::ReadBlock(void* Out, int Count)
{
    return ServeFromBuffer(
        Buffer.data(), Out, Count, [this] { return Fill(); }, [this] { RewindIfStillOpen(); });
}

} // namespace kestrune
