#include "formats/TMP3DecodeThread.h"

#include "formats/TWavHeaderBytes.h"

#include "common/Rounding.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sys/types.h>
#include <vector>

namespace kestrune {

namespace {

// The decoder reads the input held in memory through these two callbacks,
// as it would read a file: it may seek, to look for a tag at the end.
struct TMemoryReader {
    const unsigned char* Data = nullptr;
    std::size_t Size = 0;
    std::size_t Pos = 0;
};

ssize_t ReadMemory(void* Handle, void* Buffer, size_t Count)
{
    auto* r = static_cast<TMemoryReader*>(Handle);
    const std::size_t n = std::min(Count, r->Size - r->Pos);
    if (n == 0)
        return 0; // an empty input has no block to copy from
    std::memcpy(Buffer, r->Data + r->Pos, n);
    r->Pos += n;
    return static_cast<ssize_t>(n);
}

off_t SeekMemory(void* Handle, off_t Offset, int Whence)
{
    auto* r = static_cast<TMemoryReader*>(Handle);
    off_t base = 0;
    if (Whence == SEEK_CUR)
        base = static_cast<off_t>(r->Pos);
    else if (Whence == SEEK_END)
        base = static_cast<off_t>(r->Size);
    else if (Whence != SEEK_SET)
        return -1;
    if ((Offset < 0 && -Offset > base) || (Offset > 0 && Offset > static_cast<off_t>(r->Size) - base))
        return -1;
    r->Pos = static_cast<std::size_t>(base + Offset);
    return static_cast<off_t>(r->Pos);
}

// True when the stream opens with a frame that states its length (a Xing,
// Info or VBRI frame, after an ID3v2 tag if there is one). Without one the
// library's length is a guess from the file's size, no promise.
bool HasLengthFrame(const std::vector<unsigned char>& Data)
{
    std::size_t at = 0;
    if (Data.size() >= 10 && std::memcmp(Data.data(), "ID3", 3) == 0) {
        const std::size_t size = (std::size_t{Data[6]} & 0x7F) << 21 | (std::size_t{Data[7]} & 0x7F) << 14 |
                                 (std::size_t{Data[8]} & 0x7F) << 7 | (std::size_t{Data[9]} & 0x7F);
        at = 10 + size + ((Data[5] & 0x10) != 0 ? 10 : 0);
    }
    const std::size_t end = std::min(Data.size(), at + 2048);
    for (std::size_t i = at; i + 4 <= end; ++i)
        for (const char* mark : {"Xing", "Info", "VBRI"})
            if (std::memcmp(Data.data() + i, mark, 4) == 0)
                return true;
    return false;
}

} // namespace

std::int64_t TMP3DecodeThread::EstimateDataBytes(std::int64_t InputBytes, long BitRate, long SampleRate, int Channels)
{
    if (BitRate <= 0 || SampleRate <= 0 || InputBytes <= 0)
        return 0;
    // ceil(144 × bit rate ÷ sample rate): the bytes of one such frame.
    const std::int64_t frameBytes = (144LL * BitRate + SampleRate - 1) / SampleRate;
    if (frameBytes <= 0)
        return 0;
    const std::int64_t frames = DivRoundHalfEven(InputBytes * 1152, frameBytes);
    return frames * Channels * 2;
}

TMP3DecodeThread::TMP3DecodeThread(TSetup S) : Setup(std::move(S)) {}

void TMP3DecodeThread::Start()
{
    if (!Thread.joinable() && !FFinished.load())
        Thread = std::thread([this] { Execute(); });
}

TMP3DecodeThread::~TMP3DecodeThread()
{
    StopRequested = true;
    if (Thread.joinable())
        Thread.join();
}

bool TMP3DecodeThread::WaitFinished(std::chrono::milliseconds Timeout) const
{
    std::unique_lock lock(FinishMutex);
    return FinishSignal.wait_for(lock, Timeout, [this] { return FFinished.load(); });
}

void TMP3DecodeThread::Execute()
{
    std::exception_ptr failure;
    try {
        Decode();
        Finish();
    } catch (...) {
        failure = std::current_exception();
        try {
            Finish();
        } catch (...) {
            // The first failure is the one the owner hears about.
        }
    }
    // The memory goes before the owner hears of the end.
    std::vector<unsigned char>().swap(Data);
    std::vector<unsigned char>().swap(Pending);
    try {
        if (failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                if (Setup.OnThreadException)
                    Setup.OnThreadException(Setup.Owner, e);
            }
        } else if (Setup.OnDone) {
            Setup.OnDone(Setup.Owner, HeaderWritten);
        }
    } catch (...) {
        // A handler's own failure has nowhere to go; the thread still ends.
    }
    {
        std::lock_guard lock(FinishMutex);
        FFinished = true;
    }
    FinishSignal.notify_all();
}

void TMP3DecodeThread::Decode()
{
    const TMpg123Library& lib = *Setup.Library;
    TStream& in = *Setup.Input;
    OutputStart = Setup.Output->Position();

    const std::int64_t size = std::max<std::int64_t>(0, in.Size() - in.Position());
    if (static_cast<std::uint64_t>(size) > std::numeric_limits<std::size_t>::max() / 2)
        throw EACSException("The MP3 file is too large.");
    Data.resize(static_cast<std::size_t>(size));
    if (size > 0 && !in.ReadExact(Data.data(), size))
        throw EACSException("The MP3 file could not be read to its end.");

    TMpg123Library::THandle handle = TMpg123Library::NewDecoder16(Setup.Library);
    // Damage is skipped however long it runs, as a decoder that goes on
    // after every error would; the library's own limit gives up after 1 KiB.
    if (lib.param)
        lib.param(handle.get(), MPG123_RESYNC_LIMIT, -1, 0.0);
    TMemoryReader reader{Data.data(), Data.size(), 0};
    if (lib.replace_reader_handle(handle.get(), ReadMemory, SeekMemory, nullptr) != MPG123_OK ||
        lib.open_handle(handle.get(), &reader) != MPG123_OK)
        return; // nothing decodable: OnDone with Success false
    struct TCloser {
        const TMpg123Library& Lib;
        mpg123_handle* Handle;
        ~TCloser() { Lib.close(Handle); }
    } closer{lib, handle.get()};

    Pending.reserve(WriteBufferBytes);
    while (!StopRequested.load()) {
        off_t frame = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        const int result = lib.decode_frame(handle.get(), &frame, &audio, &bytes);
        if (result == MPG123_NEW_FORMAT) {
            if (!HeaderWritten)
                OnFirstFrame(handle.get());
            continue;
        }
        if (result != MPG123_OK)
            break; // the end of the data, or damage the decoder cannot pass
        if (bytes > 0 && HeaderWritten)
            WriteAudio(audio, bytes);
    }
    Flush();
    const std::int64_t frames = Channels > 0 ? DataBytes / (2 * Channels) : 0;
    if (!StopRequested.load() && HeaderWritten && Announced > 0 && frames < Announced) {
        char seconds[96];
        std::snprintf(seconds, sizeof seconds, "%.2f s of the %.2f s its header announces read",
                      static_cast<double>(frames) / std::max(1L, SampleRate),
                      static_cast<double>(Announced) / std::max(1L, SampleRate));
        throw EACSException(std::string("Error reading MP3 file: the file ends inside its audio, or is damaged: ") +
                            seconds + ".");
    }
}

void TMP3DecodeThread::OnFirstFrame(mpg123_handle* Handle)
{
    const TMpg123Library& lib = *Setup.Library;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    lib.getformat(Handle, &rate, &channels, &encoding);
    if (rate <= 0 || channels < 1 || channels > 2 || encoding != MPG123_ENC_SIGNED_16)
        return;
    mpg123_frameinfo info{};
    if (lib.info(Handle, &info) == MPG123_OK)
        BitRate = static_cast<long>(info.bitrate) * 1000;
    SampleRate = rate;
    Channels = channels;
    // A length the stream's own header (a Xing or Info frame, read with the
    // first frame) gives is exact: a file that decodes to less was cut.
    long accurate = 0;
    if (HasLengthFrame(Data) && lib.getstate && lib.length &&
        lib.getstate(Handle, MPG123_ACCURATE, &accurate, nullptr) == MPG123_OK && accurate) {
        const off_t length = lib.length(Handle);
        if (length > 0)
            Announced = length;
    }
    // From here on every frame comes out in the first frame's layout: one
    // file, one header.
    lib.format_none(Handle);
    lib.format(Handle, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16);

    Estimate = EstimateDataBytes(static_cast<std::int64_t>(Data.size()), BitRate, SampleRate, Channels);
    const std::vector<std::uint8_t> h = TWavHeaderBytes::Pcm(Channels, static_cast<int>(SampleRate), 16, Estimate);
    Setup.Output->Write(h.data(), static_cast<std::int64_t>(h.size()));
    HeaderWritten = true;
}

void TMP3DecodeThread::WriteAudio(const unsigned char* Audio, std::size_t Bytes)
{
    // A frame never holds a partial sample frame; keep whole ones only, so
    // the data stays aligned whatever the library hands out.
    Pending.insert(Pending.end(), Audio, Audio + Bytes);
    DataBytes += static_cast<std::int64_t>(Bytes);
    if (Pending.size() >= WriteBufferBytes)
        Flush();
    if (Estimate != 0) {
        const int percent = PercentHalfEven(44 + DataBytes, Estimate);
        if (percent != LastProgress.load()) {
            LastProgress = percent;
            if (Setup.OnProgress)
                Setup.OnProgress(Setup.Owner);
        }
    }
}

void TMP3DecodeThread::Flush()
{
    if (Pending.empty())
        return;
    Setup.Output->Write(Pending.data(), static_cast<std::int64_t>(Pending.size()));
    Pending.clear();
}

void TMP3DecodeThread::Finish()
{
    std::exception_ptr failure;
    if (HeaderWritten && Setup.Output) {
        try {
            Flush();
            TStream& out = *Setup.Output;
            const std::int64_t length = out.Size() - OutputStart;
            std::uint8_t field[4];
            PutLe32(field, TWavHeaderBytes::Field32(std::max<std::int64_t>(0, length - TWavHeaderBytes::PcmBytes)));
            out.Seek(OutputStart + TWavHeaderBytes::PcmDataSizeAt, TSeekOrigin::soBeginning);
            out.Write(field, 4);
            PutLe32(field, TWavHeaderBytes::Field32(std::max<std::int64_t>(0, length - 8)));
            out.Seek(OutputStart + 4, TSeekOrigin::soBeginning);
            out.Write(field, 4);
            out.Seek(0, TSeekOrigin::soEnd);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    Pending.clear();
    // Streams the thread opened are closed; supplied ones stay with the owner.
    if (Setup.OwnInput) {
        Setup.OwnInput.reset();
        Setup.Input = nullptr;
    }
    if (Setup.OwnOutput) {
        Setup.OwnOutput.reset();
        Setup.Output = nullptr;
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace kestrune
